// Data files: exporting the records in the four forms, loading them back, and
// what a failing disk or a Stop in the middle leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <map>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "console/ConsoleKeyboard.h"
#include "screens/DataFileDialogs.h"
#include "screens/FieldEngine.h"
#include "screens/Journal.h"
#include "screens/LineEditor.h"
#include "screens/OperatorRecord.h"
#include "screens/RecordActions.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/SignOverpunch.h"
#include "platform/CodePage.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/FaultInjection.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/RecordFiles.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace std::string_literals;

// The function key that chooses each conversion mode in the dialog.
uint16_t ModeKey(int mode) {
    static const std::map<int, uint16_t> keys = {{ConversionAscii, VkF8},
                                                 {ConversionEbcdicHash, VkF6},
                                                 {ConversionEbcdicDin, VkF7},
                                                 {ConversionAsciiTab, VkF9}};
    return keys.at(mode);
}

void StartSession() {
    ResetFieldModel();
    FillFieldTypeTable();
    ResetRecordActions();
    ResetLineEditor();
    ResetDataFiles();
    ResetRecordStore();
    Mode = ModeEntry;
    SubMode = SubMain;
}

// Answers the save dialog: the directory as offered, the name, the mode key.
void AnswerSave(std::vector<ScriptEvent>& script, const std::string& name, int mode) {
    const auto typed = script::Type("\r" + name);
    script.insert(script.end(), typed.begin(), typed.end());
    script.push_back(script::Key(ModeKey(mode)));
    script.push_back(script::Key(VkReturn, 0, '\r'));
}

// A number's digits without leading blanks and zeros (a minus sign may have
// taken the place of a leading zero).
std::string Digits(const FieldDef& field, RecordBuffer& record) {
    const std::span<uint8_t> bytes = FieldBytes(field, record);
    std::string digits(bytes.begin(), bytes.end());
    digits.erase(0, digits.find_first_not_of(" 0"));
    return digits;
}

class DataFiles : public ::testing::Test {
  protected:
    DataFiles() { StartSession(); }
    ~DataFiles() override {
        ClearFaults();
        StoredRecords.File().Close();
        ResetFieldModel();
        ResetDataFiles();
        Mode = ModeDefinition;
    }

    void Records(const std::string& bytes) {
        StoredRecords.File().Close();
        dir.Write(kRecordJournal, bytes);
        ASSERT_EQ(StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
        ResetRecordStore();
    }
    std::string Records() const { return dir.Read(kRecordJournal); }

    // Exports to `name` in `mode` through the dialog; the file's bytes. With
    // `message`: the message with a wait that ends it.
    std::string Save(const std::string& name, int mode, const std::string& message = "") {
        std::vector<ScriptEvent> script;
        AnswerSave(script, name, mode);
        console.Add(script);
        ExpectMessage(message);
        SubMode = SubSaveData;  // as F2 leaves it
        EXPECT_TRUE(console.Run(SaveData));
        CheckMessage(message);
        SubMode = SubMain;
        return dir.Exists(name) ? dir.Read(name) : "(none)";
    }
    // Loads `name` in `mode`: the browser offers the last name, Enter takes it.
    void Load(const std::string& name, int mode, const std::string& message = "") {
        DataFileName = name;
        console.Type("\r");
        console.Add(script::Key(ModeKey(mode)));
        console.Type("\r");
        ExpectMessage(message);
        SubMode = SubLoadData;  // as F3 leaves it
        EXPECT_TRUE(console.Run(LoadData));
        CheckMessage(message);
        SubMode = SubMain;
    }
    // A message waits for a key: the key that ends it.
    void ExpectMessage(const std::string& utf8) {
        if (!utf8.empty()) console.Type(" ");
    }
    // The message, read as the operator reads it (broken over the rows from
    // row 12 at column 25), begins with `utf8`. It stays on the screen after
    // its key: a long transfer lets script events through before it shows.
    void CheckMessage(const std::string& utf8) {
        if (utf8.empty()) return;
        std::string text;
        for (int y = 12; y <= 25; ++y) {
            std::string row = console.Text(25, y, 56);
            row.erase(row.find_last_not_of(' ') + 1);
            if (!row.empty()) text += (text.empty() ? "" : " ") + row;
        }
        EXPECT_EQ(text.substr(0, utf8.size()), utf8);
    }
    int FilesInDirectory() const {
        const auto entries = std::filesystem::directory_iterator(dir.path());
        return static_cast<int>(std::distance(begin(entries), end(entries)));
    }

    TempDir dir;
    ConsoleHarness console;
};

}  // namespace

TEST_F(DataFiles, EmptyRecordsAreSkippedAndAsciiShowsMinusSigns) {
    UseLayout({{'A', 3}, {'J', 5}, {'E', 2}});
    // -123 right-justified, an empty record (0, CR, LF only), a full -12345.
    Records("AB\0  12L\0\0"s + "\0\0\0\0\0\0\0\0\r\n"s + "XYZ1234N\0\0"s);
    // The operator stands on the last record: every record goes out all the same.
    ASSERT_EQ(StoredRecords.File().Seek(20), 0);
    EXPECT_EQ(Save("a.dat", ConversionAscii), "AB  -123\r\nXYZ1234N\r\n");
    EXPECT_EQ(Save("t.dat", ConversionAsciiTab), "AB\t -123\r\nXYZ\t1234N\r\n");
    for (int mode : {ConversionEbcdicHash, ConversionEbcdicDin})
        EXPECT_EQ(Save("e.dat", mode).size(), 20u) << mode;
    // The record file is read, never written.
    EXPECT_EQ(Records(), "AB\0  12L\0\0"s + "\0\0\0\0\0\0\0\0\r\n"s + "XYZ1234N\0\0"s);
}

TEST_F(DataFiles, EbcdicNationalCharactersAndEndMarks) {
    UseLayout({{'A', 3}, {'E', 2}});
    Records("äÄ#"_oem + "\0\0"s + "!ab\0\0"s);
    // #@$*: ä, Ä and # share one code; the end mark is EBCDIC CR and LF.
    EXPECT_EQ(Save("h.dat", ConversionEbcdicHash), "\x7B\x7B\x7B\x0D\x25\x5A\x81\x82\x0D\x25"s);
    // DIN: the exclamation mark has no code, and the operator is told.
    EXPECT_EQ(Save("d.dat", ConversionEbcdicDin,
                   "Gesichert, aber 1 Zeichen ohne Entsprechung in EBCDIC (ÄÖÜäöüß=DIN), als 00 "
                   "geschrieben; Satz 2 !!!"),
              "\xC0\x4A\x7B\x0D\x25\x00\x81\x82\x0D\x25"s);

    dir.Write("in.dat", "\x7B\x7B\x40\x0D\x25"s);
    Load("in.dat", ConversionEbcdicHash);
    EXPECT_EQ(Records(), "ÄÄ "_oem + "\r\n");
    Load("in.dat", ConversionEbcdicDin);
    EXPECT_EQ(Records(), "## \r\n");
    // An end mark of one place holds the line feed alone.
    UseLayout({{'A', 2}, {'E', 1}});
    Records("ab\0"s);
    EXPECT_EQ(Save("l.dat", ConversionAscii), "ab\n");
}

TEST_F(DataFiles, EbcdicTablesForEveryByte) {
    // File byte -> character, as the two EBCDIC forms define them; bytes not
    // named read as 0.
    std::array<std::array<uint8_t, 256>, 2> load{};  // [0] #@$*, [1] DIN
    const auto map = [&](int from, int to, int first) {
        for (int b = from; b <= to; ++b)
            load[0][b] = load[1][b] = static_cast<uint8_t>(first + b - from);
    };
    for (const auto& [from, to, first] : std::vector<std::tuple<int, int, int>>{
             {0x00, 0x03, 0x00}, {0x05, 0x05, 0x09}, {0x07, 0x07, 0x7F}, {0x0B, 0x13, 0x0B},
             {0x16, 0x16, 0x08}, {0x18, 0x19, 0x18}, {0x1C, 0x1F, 0x1C}, {0x25, 0x25, 0x0A},
             {0x26, 0x26, 0x17}, {0x27, 0x27, 0x1B}, {0x2D, 0x2F, 0x05}, {0x32, 0x32, 0x16},
             {0x37, 0x37, 0x04}, {0x3C, 0x3D, 0x14}, {0x3F, 0x3F, 0x1A}, {0x40, 0x40, 0x20},
             {0x4B, 0x4B, 0x2E}, {0x4C, 0x4C, 0x3C}, {0x4D, 0x4D, 0x28}, {0x4E, 0x4E, 0x2B},
             {0x4F, 0x4F, 0x7C}, {0x50, 0x50, 0x26}, {0x5D, 0x5D, 0x29}, {0x5E, 0x5E, 0x3B},
             {0x60, 0x60, 0x2D}, {0x61, 0x61, 0x2F}, {0x6B, 0x6B, 0x2C}, {0x6C, 0x6C, 0x25},
             {0x6D, 0x6D, 0x5F}, {0x6E, 0x6F, 0x3E}, {0x7A, 0x7A, 0x3A}, {0x7D, 0x7D, 0x27},
             {0x7E, 0x7E, 0x3D}, {0x7F, 0x7F, 0x22}, {0x81, 0x89, 'a'},  {0x91, 0x99, 'j'},
             {0xA2, 0xA9, 's'},  {0xBB, 0xBD, 0x5B}, {0xC1, 0xC9, 'A'},  {0xD1, 0xD9, 'J'},
             {0xE2, 0xE9, 'S'},  {0xF0, 0xF9, '0'},  {0xFB, 0xFB, 0x7B}, {0xFD, 0xFD, 0x7D},
             {0xFF, 0xFF, 0x7E}})
        map(from, to, first);
    for (const auto& [b, hash, din] : std::vector<std::tuple<int, int, int>>{{0x4A, 0x60, 0x8E},
                                                                             {0x5A, 0x21, 0x9A},
                                                                             {0x5B, 0x9A, 0x24},
                                                                             {0x5C, 0xE1, 0x2A},
                                                                             {0x6A, 0x5E, 0x94},
                                                                             {0x7B, 0x8E, 0x23},
                                                                             {0x7C, 0x99, 0x40},
                                                                             {0xA1, 0x00, 0xE1},
                                                                             {0xC0, 0x00, 0x84},
                                                                             {0xD0, 0xF8, 0x81},
                                                                             {0xE0, 0xE0, 0x99}}) {
        load[0][b] = static_cast<uint8_t>(hash);
        load[1][b] = static_cast<uint8_t>(din);
    }
    // Character -> file byte: the one byte that reads as it, then the shared
    // codes of the #@$* form and the overpunched 0 of the DIN form.
    std::array<std::array<uint8_t, 256>, 2> save{};
    for (int t = 0; t < 2; ++t)
        for (int b = 0; b < 256; ++b)
            if (load[t][b] != 0) save[t][load[t][b]] = static_cast<uint8_t>(b);
    for (const auto& [c, like] : std::vector<std::pair<int, int>>{{0x84, 0x8E},
                                                                  {0x23, 0x8E},
                                                                  {0x94, 0x99},
                                                                  {0x40, 0x99},
                                                                  {0x81, 0x9A},
                                                                  {0x24, 0x9A},
                                                                  {0x2A, 0xE1}})
        save[0][c] = save[0][like];
    save[1][0xF8] = save[1][0x81];

    UseLayout({{'A', 256}});
    std::string every(256, '\0');
    for (int b = 0; b < 256; ++b) every[b] = static_cast<char>(b);
    for (const int mode : {ConversionEbcdicHash, ConversionEbcdicDin}) {
        const auto& expectLoad = load[mode == ConversionEbcdicDin];
        const auto& expectSave = save[mode == ConversionEbcdicDin];
        ConversionMode = mode;
        dir.Write("alle.dat", every);
        LoadDataFrom("alle.dat");
        const std::string loaded = Records();
        ASSERT_EQ(loaded.size(), 256u);
        for (int b = 0; b < 256; ++b)
            EXPECT_EQ(uint8_t(loaded[b]), expectLoad[b]) << mode << " " << b;

        Records(every);
        SaveDataTo("raus.dat");
        const std::string saved = dir.Read("raus.dat");
        ASSERT_EQ(saved.size(), 256u);
        for (int c = 0; c < 256; ++c)  // 0 is written as a blank
            EXPECT_EQ(uint8_t(saved[c]), expectSave[c == 0 ? ' ' : c]) << mode << " " << c;
    }
}

TEST_F(DataFiles, TabLinesFillTheFieldsInOrder) {
    UseLayout({{'A', 4}, {'A', 3}, {'A', 1}});
    Records(
        "AB  \0\0\0"
        "7"s);
    EXPECT_EQ(Save("t.txt", ConversionAsciiTab), "AB\t\t7\r\n");

    // The line above; more values than fields; fewer; a value longer than its
    // field; an empty line inside; a last line without line end.
    dir.Write("in.txt", "AB\t\t7\r\n1\t2\t3\t4\r\nx\r\nlonger\tabcdef\r\n\r\nend");
    Load("in.txt", ConversionAsciiTab,
         "Geladen, aber nicht alles übernommen: 2 Werte zu lang für das Feld (gekürzt), 1 Wert "
         "ohne Feld (weggelassen); Sätze 2, 4 !!!");
    EXPECT_EQ(Records(),
              "AB\0\0\0\0\0"
              "7"s +
                  "1\0\0\0"
                  "2\0\0"
                  "3"s +
                  "x\0\0\0\0\0\0\0"s + "longabc\0"s + std::string(8, '\0') + "end\0\0\0\0\0"s);
    EXPECT_EQ(StoredRecords.Position(), 0);
}

// A line holds a TAB between every two fields, also where an end mark stands
// between them; a TAB, CR or LF inside a field would split the line, so it is
// written as a blank, and the operator is told.
TEST_F(DataFiles, TabLinesKeepEveryFieldApart) {
    UseLayout({{'A', 3}, {'E', 2}, {'A', 3}, {'A', 2}, {'E', 2}});
    Records("abc\r\nxyz\0\0\r\n"s + "a\tb\0\0c\rde\n\r\n"s);
    EXPECT_EQ(Save("t.txt", ConversionAsciiTab,
                   "Gesichert, aber 3 Tabulator- oder Zeilenende-Zeichen in Feldern, als "
                   "Leerzeichen geschrieben; Satz 2 !!!"),
              "abc\txyz\t\r\na b\tc d\te\r\n");
    Load("t.txt", ConversionAsciiTab);
    EXPECT_EQ(Records(), "abc\0\0xyz\0\0\0\0"s + "a b\0\0c de\0\0\0"s);

    ExportLosses many{ConversionEbcdicHash, 9, {}};
    for (int64_t number : {3, 3, 4, 8, 9, 10, 12, 15}) many.records.Add(number);
    EXPECT_EQ(OemToUtf8(DescribeExportLosses(many)),
              "9 Zeichen ohne Entsprechung in EBCDIC (ÄÖÜß=#@$*), als 00 geschrieben; Sätze 3, 4, "
              "8, 9, 10 und 2 weitere");
}

// Every line end is one (CR alone too); what a load does not take as the file
// holds it is counted for the operator, never passed off as a clean load.
TEST_F(DataFiles, LoadsSayWhatTheyDidNotTake) {
    UseLayout({{'A', 4}, {'A', 3}, {'E', 2}});
    std::string lines;
    for (int i = 0; i < 1999; ++i) lines += std::to_string(i % 10) + "\t\r";
    dir.Write("cr.txt", lines);
    Load("cr.txt", ConversionAsciiTab);
    EXPECT_EQ(Records().size(), 1999u * 9);
    EXPECT_EQ(Records().substr(1998 * 9), "8\0\0\0\0\0\0\0\0"s);

    // A 0 byte, values too long, one too many, blanks cut or left over (no
    // loss), a line too long, a last line without line end.
    dir.Write("in.txt", "a\0b\tc\n"s + "vier5\tdrei\tzu viel\r" + "ok  \tab   \t  \r\n" +
                            std::string(4000, 'x') + "\nend");
    Load("in.txt", ConversionAsciiTab,
         "Geladen, aber nicht alles übernommen: 1 Zeile über 3681 Zeichen (gekürzt), 3 Werte zu "
         "lang für das Feld (gekürzt), 1 Wert ohne Feld (weggelassen), 1 Nullbyte (leer "
         "gelassen); Sätze 1, 2, 4 !!!");
    EXPECT_EQ(Records(), "a\0b\0c\0\0\0\0"s + "vierdre\0\0"s + "ok  ab \0\0"s + "xxxx\0\0\0\0\0"s +
                             "end\0\0\0\0\0\0"s);

    // Fixed length: bytes the form has no character for, a short last record.
    UseLayout({{'A', 5}});
    Records("");
    dir.Write("in.dat", "\xC1\xA1\xC2\xC0\xC3\xC4\xC5"s);
    Load("in.dat", ConversionEbcdicHash,
         "Geladen, aber nicht alles übernommen: 2 Bytes ohne Entsprechung (als 00 geladen), "
         "letzter Satz 3 Zeichen zu kurz (mit 00 aufgefüllt); Sätze 1, 2 !!!");
    EXPECT_EQ(Records(), "A\0B\0CDE\0\0\0"s);
}

TEST_F(DataFiles, AShortFixedInputKeepsItsLastRecord) {
    UseLayout({{'A', 5}});
    dir.Write("in.dat", "abcdefghijkl");
    Load("in.dat", ConversionAscii,
         "Geladen, aber nicht alles übernommen: letzter Satz 3 Zeichen zu kurz (mit 00 "
         "aufgefüllt); Satz 3 !!!");
    EXPECT_EQ(Records(), "abcdefghijkl\0\0\0"s);
    // Reachable as a record of its own.
    EXPECT_TRUE(OpenRecordAt(10, false));
}

TEST_F(DataFiles, AFailedLoadLeavesTheRecordsAsTheyWere) {
    UseLayout({{'A', 2}});
    const std::string before = "r1r2r3";
    Records(before);
    dir.Write("empty.dat", "");
    dir.Write("in.dat", "xxyyzz");

    Load("empty.dat", ConversionAscii, "Kann Datei nicht lesen !!!");
    Load("empty.dat", ConversionEbcdicDin, "Kann Datei nicht lesen !!!");
    Load("empty.dat", ConversionAsciiTab, "Kann Datei nicht lesen (Len=0) !!!");
    EXPECT_EQ(Records(), before);

    // The disk fails writing the new record file, or putting it in place.
    for (FaultyCall call : {FaultyCall::Write, FaultyCall::Rename}) {
        InjectFault(call, kRecordJournal, ENOSPC);
        Load("in.dat", ConversionAscii);
        EXPECT_EQ(InjectedFailures(), 1);
        ClearFaults();
        EXPECT_EQ(Records(), before);
        // No new record file left behind: the records, their length, the inputs.
        EXPECT_EQ(FilesInDirectory(), 4);
    }
    EXPECT_EQ(console.host().MessageBoxes().size(), 2u);
    // The record file in use is still the old one.
    ASSERT_TRUE(OpenRecordAt(2, false));
    EXPECT_EQ(std::string(WorkRecord.begin(), WorkRecord.begin() + 2), "r2");
}

TEST_F(DataFiles, AFailedSaveLeavesTheOldFile) {
    UseLayout({{'A', 2}});
    Records("r1r2");
    dir.Write("out.dat", "OLD");
    for (FaultyCall call : {FaultyCall::Write, FaultyCall::Flush, FaultyCall::Rename}) {
        InjectFault(call, "out.dat", EIO);
        EXPECT_EQ(Save("out.dat", ConversionAscii, "Kann Datei nicht schreiben !!!"), "OLD");
        EXPECT_EQ(InjectedFailures(), 1);
        ClearFaults();
        EXPECT_EQ(FilesInDirectory(), 2);
    }
    EXPECT_EQ(Save("out.dat", ConversionAscii), "r1r2");

    // The station's own files are never saved over, by any spelling or link.
    dir.Write("KELBRIN4.CR1", "LAYOUT");
    std::filesystem::create_symlink("KELBRIN4.CR2", dir.path() + "/zeiger");
    for (const char* name : {"KELBRIN4.CR2", "kelbrin4.cr1", "./Kelbrin4.sta", "zeiger"}) {
        Save(name, ConversionAscii, "Kann Datei nicht schreiben !!!");
        EXPECT_EQ(Records(), "r1r2") << name;
        EXPECT_EQ(dir.Read("KELBRIN4.CR1"), "LAYOUT") << name;
        EXPECT_FALSE(dir.Exists("KELBRIN4.STA")) << name;
    }
}

// Records of every kind of character and sign, exported and loaded again in
// each mode: what comes back is what went out, but for the changes each form
// makes on purpose.
TEST_F(DataFiles, EveryModeLoadsWhatItSaved) {
    UseLayout({{'A', 8}, {'J', 6}, {'R', 4}, {'E', 2}});
    const std::string alphabet = "AZaz09 .,-/+*#@$!^`~äöüÄÖÜß°é"_oem;
    struct OneWay {
        int mode;
        std::map<char, char> changes;  // characters that come back as others
    };
    const std::vector<OneWay> modes = {
        {ConversionAscii, {}},
        {ConversionAsciiTab, {}},
        {ConversionEbcdicHash,
         {{'\x84', '\x8E'},
          {'\x94', '\x99'},
          {'\x81', '\x9A'},
          {'#', '\x8E'},
          {'@', '\x99'},
          {'$', '\x9A'},
          {'*', '\xE1'},
          {'\x82', '\0'}}},
        {ConversionEbcdicDin,
         {{'!', '\0'}, {'^', '\0'}, {'`', '\0'}, {'\xF8', '\x81'}, {'\x82', '\0'}}},
    };

    std::mt19937 random(14);
    std::string records;
    for (int r = 0; r < 300; ++r) {
        RecordBuffer record{};
        const int filled = static_cast<int>(random() % 9);  // the rest never keyed
        for (int i = 0; i < filled; ++i) record[i] = alphabet[random() % alphabet.size()];
        // Numbers as the record file holds them: negative ones overpunched.
        for (int n : {2, 3}) {
            const FieldDef& field = FieldTable[n];
            const int digits = 1 + static_cast<int>(random() % field.Length);
            std::span<uint8_t> bytes = FieldBytes(field, record);
            const uint8_t pad = HasFlag(field.Type, ZeroFill) ? '0' : ' ';
            for (std::size_t i = 0; i < bytes.size(); ++i)
                bytes[i] =
                    i + digits < bytes.size() ? pad : static_cast<uint8_t>('0' + random() % 10);
            if (random() % 2) Overpunch(field, record, SignVariant::Din);
        }
        records.append(record.begin(), record.begin() + RecordLength());
    }

    for (const OneWay& way : modes) {
        SCOPED_TRACE(way.mode);
        Records(records);
        // The EBCDIC forms lack codes for some of the characters.
        const bool ebcdic = way.mode == ConversionEbcdicHash || way.mode == ConversionEbcdicDin;
        Save("round.dat", way.mode, ebcdic ? "Gesichert, aber " : "");
        Load("round.dat", way.mode);
        const std::string loaded = Records();
        ASSERT_EQ(loaded.size(), records.size());
        for (std::size_t at = 0; at < records.size(); at += 20) {
            RecordBuffer sent{}, back{};
            std::copy_n(records.begin() + at, 20, sent.begin());
            std::copy_n(loaded.begin() + at, 20, back.begin());
            // The text: never-keyed places come back as blanks in fixed forms;
            // a tab line drops trailing blanks, so they come back never keyed.
            std::string text(sent.begin(), sent.begin() + 8);
            for (char& c : text) {
                if (c == '\0') c = ' ';
                if (way.changes.count(c)) c = way.changes.at(c);
            }
            if (way.mode == ConversionAsciiTab) {
                const std::size_t end = text.find_last_not_of(' ');
                text.resize(end == std::string::npos ? 0 : end + 1);
                text.resize(8, '\0');
            }
            EXPECT_EQ(std::string(back.begin(), back.begin() + 8), text) << at / 20;
            // The numbers: their digits and signs, in whichever form.
            for (int n : {2, 3}) {
                const bool negative = NormaliseSign(FieldTable[n], sent);
                EXPECT_EQ(NormaliseSign(FieldTable[n], back), negative) << at / 20;
                EXPECT_EQ(Digits(FieldTable[n], back), Digits(FieldTable[n], sent)) << at / 20;
            }
            // The end mark travels in fixed forms and is not part of a tab line.
            EXPECT_EQ(std::string(back.begin() + 18, back.begin() + 20),
                      way.mode == ConversionAsciiTab ? "\0\0"s : "\r\n"s);
        }
    }
}

// Random layouts of every field type and random records (signs, umlauts,
// characters a form has no code for, TAB and line ends, places never keyed),
// exported in each form and loaded again: every field comes back as the form
// carries it, the export names exactly the characters it could not write, the
// load takes everything, and the loaded records export to the same file.
TEST_F(DataFiles, EveryExportLoadsBackIntoTheSameRecords) {
    const std::string alphabet = "Az09 -*#@$!^`~äöüÄÖÜß°é\t\r\n"_oem;
    // What a character comes back as in each form; 0 where the form has no code.
    std::map<int, std::map<uint8_t, uint8_t>> changes;
    changes[ConversionAsciiTab] = {{'\t', ' '}, {'\r', ' '}, {'\n', ' '}};
    changes[ConversionEbcdicHash] = {{0x84, 0x8E}, {0x94, 0x99}, {0x81, 0x9A}, {'#', 0x8E},
                                     {'@', 0x99},  {'$', 0x9A},  {'*', 0xE1},  {0x82, 0}};
    changes[ConversionEbcdicDin] = {{'!', 0}, {'^', 0}, {'`', 0}, {0xF8, 0x81}, {0x82, 0}};
    const auto number = [](std::span<uint8_t> bytes) {
        std::string digits;
        for (uint8_t b : bytes)
            if (b >= '0' && b <= '9') digits += static_cast<char>(b);
        return digits.erase(0, digits.find_first_not_of('0'));
    };
    std::string letters = "EEEEEEE";  // end marks often, also between fields
    for (char type = 'A'; type <= 'Z'; ++type) letters += type;

    std::mt19937 random(2025);
    for (int round = 0; round < 16; ++round) {
        std::vector<std::pair<char, int>> layout(1 + random() % 7);
        for (auto& [type, length] : layout) {
            type = letters[random() % letters.size()];
            length = 1 + static_cast<int>(random() % (type == 'E' ? 3 : 9));
        }
        UseLayout(layout);
        const auto length = static_cast<std::size_t>(RecordLength());
        std::string records;
        for (int r = 0; r < 40; ++r) {
            RecordBuffer record{};
            for (int n = 1; n <= FieldCount && random() % 8 != 0; ++n) {
                const FieldDef& field = FieldTable[n];
                const std::span<uint8_t> bytes = FieldBytes(field, record);
                const std::size_t used = random() % (bytes.size() + 1);  // the rest never keyed
                if (HasFlag(field.Type, EndMarker)) {
                    if (used > 0) bytes.back() = '\n';
                    if (used > 0 && bytes.size() > 1) bytes[bytes.size() - 2] = '\r';
                } else if (!IsNumericType(field.Type)) {
                    for (std::size_t i = 0; i < used; ++i)
                        bytes[i] = alphabet[random() % alphabet.size()];
                } else if (used > 0) {
                    // A number as stored: at either end, padded, perhaps negative.
                    const std::size_t from = random() % 2 ? bytes.size() - used : 0;
                    for (std::size_t i = 0; i < from + used; ++i)
                        bytes[i] = static_cast<uint8_t>(
                            i < from ? (HasFlag(field.Type, ZeroFill) ? '0' : ' ')
                                     : '0' + random() % 10);
                    if (random() % 2) Overpunch(field, record, SignVariant::Din);
                }
            }
            records.append(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(length));
        }

        for (const int mode :
             {ConversionAscii, ConversionEbcdicHash, ConversionEbcdicDin, ConversionAsciiTab}) {
            SCOPED_TRACE(testing::Message() << "round " << round << ", mode " << mode);
            const bool tab = mode == ConversionAsciiTab;
            Records(records);
            ConversionMode = mode;
            const ExportLosses lost = SaveDataTo("out.dat");
            const std::string file = dir.Read("out.dat");
            if (file.empty()) continue;  // only end marks: every record empty, nothing to load
            EXPECT_FALSE(LoadDataFrom("out.dat").Any());
            const std::string loaded = Records();

            std::size_t at = 0;  // in the loaded records
            ExportLosses expected{mode, 0, {}};
            for (std::size_t r = 0; r * length < records.size(); ++r) {
                if (records.find_first_not_of("\r\n\0"s, r * length) >= (r + 1) * length)
                    continue;  // empty: never exported
                RecordBuffer sent{}, back{};
                std::copy_n(records.begin() + static_cast<std::ptrdiff_t>(r * length), length,
                            sent.begin());
                ASSERT_LE(at + length, loaded.size());
                std::copy_n(loaded.begin() + static_cast<std::ptrdiff_t>(at), length, back.begin());
                at += length;
                for (int n = 1; n <= FieldCount; ++n) {
                    const FieldDef& field = FieldTable[n];
                    const std::span<uint8_t> bytes = FieldBytes(field, sent),
                                             got = FieldBytes(field, back);
                    if (IsNumericType(field.Type)) {
                        EXPECT_EQ(NormaliseSign(field, back), NormaliseSign(field, sent)) << n;
                        EXPECT_EQ(number(got), number(bytes)) << n;
                        continue;
                    }
                    // End marks: CR LF in fixed forms, nothing in a tab line.
                    const bool endMark = HasFlag(field.Type, EndMarker);
                    std::string expect(bytes.size(), tab ? '\0' : ' ');
                    if (endMark && !tab)
                        expect.replace(expect.size() - std::min<std::size_t>(2, expect.size()), 2,
                                       bytes.size() > 1 ? "\r\n" : "\n");
                    for (std::size_t i = 0; i < bytes.size() && !endMark; ++i) {
                        const uint8_t c = bytes[i] == 0 ? ' ' : bytes[i];
                        const auto change = changes[mode].find(c);
                        expect[i] =
                            static_cast<char>(change == changes[mode].end() ? c : change->second);
                        if (change != changes[mode].end() && (tab || change->second == 0)) {
                            ++expected.characters;
                            expected.records.Add(static_cast<int64_t>(r) + 1);
                        }
                    }
                    // A tab line drops trailing blanks: they come back never keyed.
                    if (tab && !endMark) {
                        expect.erase(expect.find_last_not_of(' ') + 1);
                        expect.resize(bytes.size(), '\0');
                    }
                    EXPECT_EQ(std::string(got.begin(), got.end()), expect) << n;
                }
            }
            EXPECT_EQ(at, loaded.size());
            EXPECT_EQ(lost.characters, expected.characters);
            EXPECT_EQ(lost.records.count, expected.records.count);
            EXPECT_EQ(lost.records.first, expected.records.first);

            // Saved again: the same file, but that what had no code is now a
            // blank and a line of nothing but TABs (a record of blanks) is gone.
            std::string again = file;
            if (!tab && mode != ConversionAscii)
                std::replace(again.begin(), again.end(), '\0', '\x40');
            for (std::size_t from = 0; tab && from < again.size();) {
                const std::size_t end = again.find("\r\n", from);
                if (again.find_first_not_of('\t', from) < end) {
                    from = end + 2;
                } else {
                    again.erase(from, end + 2 - from);
                }
            }
            EXPECT_EQ(SaveDataTo("again.dat").characters, 0);
            EXPECT_EQ(dir.Read("again.dat"), again);
        }
    }
}

TEST(DataFilesStop, StopWhileSavingStoresOnlyTheOperatorsRecord) {
    TempDir dir;
    constexpr int kRecords = 3000;
    const std::string records = OldRecords(kRecords);
    dir.Write(kRecordJournal, records);

    StationHarness station([] {
        StartSession();
        UseLayout({{'A', 6}, {'E', 2}});
        ASSERT_EQ(StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
        ResetRecordStore();
        OpenRecordAt(4 * 8, false);
        std::copy_n("OPER  ", 6, WorkRecord.begin());  // keyed into record 5
        SubMode = SubSaveData;
        SaveData();
    });
    std::vector<ScriptEvent> script;
    AnswerSave(script, "out.dat", ConversionAscii);
    station.Add(script);
    // A long export lets window events through now and then: Stop comes
    // while the export is on record 1024.
    station.Add(script::Stop());
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);

    ExpectOnlyRecordChanged(dir.Read(kRecordJournal), records, 5, "OPER  \r\n");
    EXPECT_FALSE(dir.Exists("out.dat"));
}
