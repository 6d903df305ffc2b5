// kelbrin-check and kelbrin-export, run as their own processes on a working
// directory laid out here with the station's own code: the export against F2
// for the same records, the check against records made to fail each check,
// and what both do with damaged directories and a station at work.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "screens/DataFileDialogs.h"
#include "screens/Journal.h"
#include "screens/LayoutFiles.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"
#include "screens/TableLoading.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "platform/CodePage.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/TempDir.h"
#include "tests/tools/ToolRun.h"

namespace {

using namespace std::string_literals;

const std::string kCheck = KELBRIN_CHECK_PATH;
const std::string kExport = KELBRIN_EXPORT_PATH;

class RecordTools : public ::testing::Test {
  protected:
    RecordTools() {
        FillFieldTypeTable();
        ResetFieldModel();
        ResetDataFiles();
        Mode = ModeEntry;
    }
    ~RecordTools() override {
        StoredRecords.File().Close();
        for (int slot = 0; slot <= MaxFields; ++slot) ReleaseSlot(slot);
        ResetFieldModel();
        ResetDataFiles();
        Mode = ModeDefinition;
    }
    // The layout in the field table, as the station journals it.
    void JournalLayout() { WriteDefinitionFile(kLayoutJournal); }
    ToolResult Check() { return RunTool(kCheck, {dir.path()}); }
    ToolResult Export(const std::string& output, const std::string& mode) {
        return RunTool(kExport, {dir.path(), dir.path() + "/" + output, "--mode", mode});
    }

    TempDir dir;
    ConsoleHarness console;
};

TEST_F(RecordTools, ExportWritesWhatF2WritesInEveryForm) {
    // Signs, umlauts and the national characters of both EBCDIC forms, unkeyed
    // places, end marks, an empty record and a cut-off tail (a write cut off,
    // never stored: neither exports it), over more than one block of records.
    UseLayout({{'A', 7}, {'N', 5}, {'J', 4}, {'R', 5}, {'I', 3}, {'E', 2}});
    // The export needs no tables: one that has gone since is not missed.
    dir.Write("Tab/orte", "Berlin\n");
    ASSERT_TRUE(LoadTable("orte", 1));
    JournalLayout();
    std::filesystem::remove(dir.path() + "/Tab/orte");
    const std::string alphabet = "AZaz09 -!#@$*\x84\x8E\x94\x99\x81\x9A\xE1\xF8JKR\0"s;
    std::mt19937 random(7);
    std::string records;
    for (int i = 0; i < 1100; ++i) {
        std::string record(static_cast<std::size_t>(RecordLength()), '\0');
        if (i != 17) {
            for (char& c : record) c = alphabet[random() % alphabet.size()];
        }
        records += record;
    }
    records += "Rest";
    dir.Write(kRecordJournal, records);
    dir.Write(kRecordLengthFile, std::to_string(RecordLength()) + "\n");
    ASSERT_EQ(StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
    ResetRecordStore();

    const char* modes[] = {"ascii", "ebcdic", "din", "tab"};
    for (int mode = 0; mode < 4; ++mode) {
        ConversionMode = mode;
        const std::string lost = DescribeExportLosses(SaveDataTo("station"));
        const ToolResult result = Export("tool", modes[mode]);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        // What the form could not hold is said as the station says it.
        EXPECT_EQ(result.err, lost.empty()
                                  ? ""
                                  : "kelbrin-export: " + dir.path() + "/tool: geschrieben, aber " +
                                        OemToUtf8(lost) + " !!!\n")
            << modes[mode];
        const std::string station = dir.Read("station");
        EXPECT_GT(station.size(), 1000u * 20);
        EXPECT_EQ(dir.Read("tool"), station) << modes[mode];
    }
    EXPECT_EQ(dir.Read(kRecordJournal), records);
}

// A FIFO or a device as OUTPUT is refused before anything is opened or
// locked: first with a reader on the FIFO (the records would go into the
// pipe), then without one (the export would wait for ever, holding the lock).
TEST_F(RecordTools, ExportWritesOnlyARegularFile) {
    UseLayout({{'A', 4}});
    JournalLayout();
    dir.Write(kRecordJournal, "abcd");
    ASSERT_EQ(::mkfifo((dir.path() + "/pipe").c_str(), 0600), 0);
    const int reader = ::open((dir.path() + "/pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ToolResult result = Export("pipe", "ascii");
    char got[8];
    EXPECT_EQ(::read(reader, got, sizeof got), 0);
    ::close(reader);
    ASSERT_EQ(result.exitCode, 4);
    EXPECT_EQ(result.err, "kelbrin-export: " + dir.path() +
                              "/pipe: Kann Datei nicht schreiben !!! Das ist eine Pipe, keine "
                              "gewöhnliche Datei.\n");
    EXPECT_EQ(Export("pipe", "ascii").exitCode, 4);
    std::filesystem::create_symlink("/dev/null", dir.path() + "/device");
    result = Export("device", "tab");
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_NE(result.err.find("Das ist ein Gerät, keine gewöhnliche Datei."), std::string::npos);
}

TEST_F(RecordTools, CheckListsEveryFailedCheck) {
    dir.Write("Tab/orte", "Berlin\nBern\nBonn\n");
    dir.Write("Tab/adr", "Altdorf\t01067\t\nHauptstr.\t1-19\n");
    UseLayout({{'C', 4}, {'N', 3}, {'N', 1}, {'A', 8}, {'A', 12}, {'N', 5}, {'A', 10}, {'T', 1}});
    FieldTable[2].RangeFrom = 1;
    FieldTable[2].RangeTo = 99;
    FieldTable[3].RangeFrom = 135;  // digits 1, 3, 5, while field 2 lies in 10..20
    FieldTable[3].RangeTo = DigitSetMarker;
    FieldExtras[3] = {0, 2, 10, 20};
    TableAssignments[4].Name = "orte";
    ASSERT_TRUE(LoadTable("orte", 4));
    FieldExtras[5].AddressColumn = 1;
    FieldExtras[6].AddressColumn = 3;
    FieldExtras[7].AddressColumn = 4;
    FieldTable[8].RangeFrom = 1;  // the counter runs from 1 to 7
    FieldTable[8].RangeTo = 7;
    JournalLayout();

    const std::string good = "1236 505Berlin  Hauptstr. 3 01067Altdorf   1";
    std::vector<std::string> records(8, good);
    records[1].replace(0, 4, "1235");  // 2: check digit
    records[2].replace(4, 4, "1007");  // 3: range; the 7 passes, field 2 is not in 10..20
    records[3].replace(4, 4, " 157");  // 4: a 7 while field 2 holds 15
    records[4] = std::string(good.size(), '\0');  // 5: empty
    records[5].replace(8, 8, "Ber     ");         // 6: only the start of two entries
    records[6].replace(33, 10, "Neudorf   ");     // 7: not at that postal code
    records[7].replace(28, 15, std::string("99999\0\0\0\0\0\0\0\0\0\0", 15));  // 8: no town there
    std::string bytes;
    for (const std::string& record : records) bytes += record;  // 8: the counter's 8
    bytes += "1236";                                            // 9: cut off
    dir.Write(kRecordJournal, bytes);
    dir.Write(kRecordLengthFile, "44\n");  // a write cut off: the length is known

    const ToolResult result = Check();
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "Satz 2, Feld 1 (C Prüfziffer Modulus 11): Prüfziffer falsch: \"1235\"\n"
              "Satz 3, Feld 2 (N Num Standard): nicht im Bereich 1 bis 99: \"100\"\n"
              "Satz 4, Feld 3 (N Num Standard): Ziffer nicht erlaubt (nur 135) (solange Feld 2 "
              "im Bereich 10 bis 20): \"7\"\n"
              "Satz 6, Feld 4 (A Alpha Standard): nicht in der Tabelle orte: \"Ber     \"\n"
              "Satz 7, Feld 7 (A Alpha Standard): nicht in den Adressdaten: \"Neudorf   \"\n"
              "Satz 8, Feld 7 (A Alpha Standard): nicht in den Adressdaten: \"          \"\n"
              "Satz 8, Feld 8 (T Num Satz-Zähler): Satzzähler zu groß: \"8\"\n"
              "Satz 9: unvollständig, nur 4 von 44 Zeichen\n"
              "Satz 9, Feld 8 (T Num Satz-Zähler): Satzzähler zu groß: \"9\"\n"
              "9 Sätze, davon 1 leer, 7 mit Warnungen\n");
}

TEST_F(RecordTools, DamagedDirectoriesAndAWorkingStation) {
    // Nothing to read: both tools say so and end with their own codes.
    ToolResult result = Check();
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("KELBRIN4.CR1: Kann Datei nicht lesen !!!"), std::string::npos);
    EXPECT_EQ(Export("out", "din").exitCode, 2);
    dir.Write(kLayoutJournal, "FeldDefX");
    result = Check();
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kelbrin-check: KELBRIN4.CR1: Keine FeldDefinitions-Datei !!!\n");

    // A table that went missing: the rest is checked, but not all of it.
    UseLayout({{'A', 4}, {'N', 2}});
    TableAssignments[1].Name = "weg";
    dir.Write("Tab/weg", "Eins\n");
    ASSERT_TRUE(LoadTable("weg", 1));
    JournalLayout();
    dir.Write(kRecordJournal, "Zwei12");
    std::filesystem::remove(dir.path() + "/Tab/weg");
    result = Check();
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kelbrin-check: Kann Tabelle weg nicht lesen !!! Feld 1 ungeprüft.\n");
    EXPECT_EQ(result.out, "1 Satz, davon 0 leer, 0 mit Warnungen\n");
    dir.Write("Tab/weg", "Zwei\n");
    EXPECT_EQ(Check().exitCode, 0);

    // Records of another length than the layout's are never read.
    dir.Write(kRecordLengthFile, "3\n");
    result = Check();
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err,
              "kelbrin-check: KELBRIN4.CR2: Die Sätze sind 3 Zeichen lang, der Satzaufbau in "
              "KELBRIN4.CR1 6 !!! Nichts gelesen.\n");
    EXPECT_EQ(Export("out", "ascii").exitCode, 2);
    EXPECT_FALSE(dir.Exists("out"));
    dir.Write(kRecordLengthFile, "6\n");

    // Wrong calls; the record file is never written over.
    EXPECT_EQ(RunTool(kExport, {dir.path(), dir.path() + "/out"}).exitCode, 1);
    EXPECT_EQ(Export("out", "utf8").exitCode, 1);
    EXPECT_EQ(Export("kelbrin4.cr2", "tab").exitCode, 1);
    EXPECT_EQ(dir.Read(kRecordJournal), "Zwei12");
    EXPECT_EQ(RunTool(kCheck, {dir.path(), "zwei"}).exitCode, 2);

    // A station at work: the export is refused and writes nothing; the check
    // reads what is stored and says that a station works there.
    int lock = -1;
    ASSERT_EQ(LockWorkingDirectory(dir.path(), false, lock), 0);
    result = Export("out", "ascii");
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find("arbeitet eine Kelbrin-Station !!!"), std::string::npos);
    EXPECT_FALSE(dir.Exists("out"));
    result = Check();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.err.find("Hinweis: In " + dir.path() + " arbeitet eine Kelbrin-Station"),
              std::string::npos);
    ::close(lock);
    EXPECT_EQ(Export("out", "ascii").exitCode, 0);
    EXPECT_EQ(dir.Read("out"), "Zwei12");
}

}  // namespace
