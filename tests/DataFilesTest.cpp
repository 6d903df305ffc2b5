// Data files: exporting the records in the four forms, loading them back, and
// what a failing disk or a Stop in the middle leaves behind.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "console/ConsoleKeyboard.h"
#include "core/FieldEngine.h"
#include "core/FieldModel.h"
#include "core/FieldTypes.h"
#include "core/LineEditor.h"
#include "core/RecordActions.h"
#include "core/Session.h"
#include "files/DataFiles.h"
#include "files/Journal.h"
#include "files/SignOverpunch.h"
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
        RecordFile.Close();
        ResetFieldModel();
        ResetDataFiles();
        Mode = ModeDefinition;
    }

    void Records(const std::string& bytes) {
        RecordFile.Close();
        dir.Write(kRecordJournal, bytes);
        ASSERT_EQ(RecordFile.Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
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
        SubMode = SubMain;
    }
    void ExpectMessage(const std::string& utf8) {
        if (utf8.empty()) return;
        console.Add(script::Call([this, utf8] {
            EXPECT_NE(console.host().Screen().find(utf8), std::string::npos) << utf8;
        }));
        console.Type(" ");
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
    ASSERT_EQ(RecordFile.Seek(20), 0);
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
    // DIN: the exclamation mark has no code.
    EXPECT_EQ(Save("d.dat", ConversionEbcdicDin), "\xC0\x4A\x7B\x0D\x25\x00\x81\x82\x0D\x25"s);

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
    Load("in.txt", ConversionAsciiTab);
    EXPECT_EQ(Records(),
              "AB\0\0\0\0\0"
              "7"s +
                  "1\0\0\0"
                  "2\0\0"
                  "3"s +
                  "x\0\0\0\0\0\0\0"s + "longabc\0"s + std::string(8, '\0') + "end\0\0\0\0\0"s);
    EXPECT_EQ(RecordFile.Position(), 0);
}

TEST_F(DataFiles, AShortFixedInputKeepsItsLastRecord) {
    UseLayout({{'A', 5}});
    dir.Write("in.dat", "abcdefghijkl");
    Load("in.dat", ConversionAscii);
    EXPECT_EQ(Records(), "abcdefghijkl\0\0\0"s);
    // Reachable as a record of its own.
    ASSERT_EQ(RecordFile.Seek(10), 0);
    EXPECT_TRUE(LoadRecord(false));
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
    ASSERT_EQ(RecordFile.Seek(2), 0);
    ASSERT_TRUE(LoadRecord(false));
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
        Save("round.dat", way.mode);
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

TEST(DataFilesStop, StopWhileSavingStoresOnlyTheOperatorsRecord) {
    TempDir dir;
    constexpr int kRecords = 3000;
    const std::string records = OldRecords(kRecords);
    dir.Write(kRecordJournal, records);

    StationHarness station([] {
        StartSession();
        UseLayout({{'A', 6}, {'E', 2}});
        ASSERT_EQ(RecordFile.Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
        ResetRecordStore();
        ASSERT_EQ(RecordFile.Seek(4 * 8), 0);
        LoadRecord(false);
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
