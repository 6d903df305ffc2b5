// Every record holds what the operator keyed, where it was keyed: a choice
// from a list on the last field, program keys and layouts of another record
// length, failing reads and writes, record files beyond 4 GiB, long walks over
// empty records, leaving after clearing everything, and records nobody keyed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "console/WinCrt.h"
#include "screens/Journal.h"
#include "screens/LayoutFiles.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/ProgramKeys.h"
#include "tests/kit/FaultInjection.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace std::string_literals;

// A name, a right-justified number and the end mark: 9 bytes a record.
constexpr const char* kForm = "a4\rn+3\re+2\r";

class RecordPlace : public ::testing::Test {
  protected:
    ~RecordPlace() override { ClearFaults(); }
    void Check(std::function<void()> check) {
        station.Add(script::Idle());
        station.Add(script::Call(std::move(check)));
    }
    std::string Records() const { return dir.Read(kRecordJournal); }
    std::size_t Boxes() { return station.host().MessageBoxes().size(); }
    // The message in the middle of the screen, its rows joined again.
    static std::string Message(StationHarness& on) {
        std::string text;
        for (int y = 12; y <= 25; ++y) {
            std::string row = on.Text(25, y, 56);
            row.erase(row.find_last_not_of(' ') + 1);
            if (!row.empty()) text += (text.empty() ? "" : " ") + row;
        }
        return text;
    }
    int CursorPos() const {
        int x = 0, y = 0;
        station.Cursor(x, y);
        return x + (y - 2) * 80;
    }
    // A definition file of fields back to back, with program keys.
    static void WriteLayout(const std::string& name,
                            const std::vector<std::pair<char, int>>& fields,
                            const std::vector<std::string>& keys = {}) {
        FillFieldTypeTable();
        ResetFieldModel();
        UseLayout(fields);
        for (std::size_t k = 0; k < keys.size(); ++k) SetProgramKey(static_cast<int>(k), keys[k]);
        WriteDefinitionFile(name);
        ClearProgramKeys();
        ResetFieldModel();
    }

    TempDir dir;
    StationHarness station;
};

}  // namespace

TEST_F(RecordPlace, AChoiceOnTheLastFieldCompletesItsOwnRecord) {
    // Street, postal code and town from the address data, the town last.
    dir.Write("Tab/adr", "Immenhof\t10493\tP\nAhornweg\nImmenhof\t10506\tP\nSchulplatz\n");
    station.Type("a20\rn+5\ra+20\re+2\r");
    station.Key(VkHome);
    station.Type("1");  // street
    station.Key(VkHome);
    for (int i = 0; i < 20; ++i) station.Key(VkRight);
    station.Type("3");  // postal code
    station.Key(VkHome);
    for (int i = 0; i < 25; ++i) station.Key(VkRight);
    station.Type("4");  // town
    station.Key(VkF9);
    station.Type("\r\rImm\r");
    station.Key(VkDown);  // the second town of that name
    station.Type("\r");
    Check([&] {
        EXPECT_EQ(Records(),
                  std::string(20, '\0') + "10506Immenhof" + std::string(12, ' ') + "\r\n");
        EXPECT_EQ(CurrentRecordNumber, 2);
    });
    station.Start();
}

TEST_F(RecordPlace, AChoiceOnALastTableFieldStaysInItsRecordWhateverOpensOrEndsTheList) {
    dir.Write("Tab/orte", "Berlin\nBern\nBonn\n");
    station.Type("a4\ra+6\rtorte\re+2\r");
    station.Key(VkF9);
    station.Type("x\rBer\r");  // two fit: the list
    station.Key(VkDown);
    station.Type("\r");
    Check([&] {
        EXPECT_EQ(Records(), "x   Bern  \r\n");
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(CursorPos(), 1);
    });
    // Esc keeps what was typed; no empty record is written, none skipped.
    station.Type("y\rBer\r");
    station.Key(VkEscape);
    Check([&] {
        EXPECT_EQ(Records(), "x   Bern  \r\ny   Ber   \r\n");
        EXPECT_EQ(CurrentRecordNumber, 3);
    });
    // Down opens the list even for one fit; the record is complete, then the
    // next one comes.
    station.Type("z\rBo");
    station.Key(VkDown);
    station.Type("\r");
    Check([&] {
        EXPECT_EQ(Records().substr(24), "z   Bonn  \r\n");
        EXPECT_EQ(CurrentRecordNumber, 4);
    });
    // Stop while the list is open stores the record as keyed and ends: no
    // second list waits for an operator who may be gone (a hang-up).
    station.Type("w\rBer\r");
    station.Add(script::Stop());
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(Records().substr(36), "w   Ber   \r\n");
}

TEST_F(RecordPlace, RecordsAreNeverReadOrWrittenUnderAnotherLength) {
    const std::vector<std::string> keys = {"KURZ.DEF", "LANG.DEF", "GLEICH.DEF"};
    WriteLayout("KURZ.DEF", {{'A', 4}, {'N', 2}}, keys);
    WriteLayout("LANG.DEF", {{'A', 4}, {'N', 5}}, keys);
    WriteLayout("GLEICH.DEF", {{'N', 2}, {'A', 4}}, keys);  // the same length: shares the file
    dir.Write(kLayoutJournal, dir.Read("KURZ.DEF"));
    station.Type("n");
    station.Key(VkF9);
    station.Type("abcd12");
    station.Add(script::Alt('2'));  // LANG: another length
    Check([&] {
        EXPECT_EQ(Message(station),
                  "Der Satzaufbau LANG.DEF hat 9 Zeichen, die Sätze 6 !!! Programmtasten "
                  "wechseln nur zwischen Satzaufbauten gleicher Satzlänge.");
    });
    station.Type(" ");
    Check([&] {
        EXPECT_EQ(Mode, ModeEntry);
        EXPECT_EQ(RecordLength(), 6);
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(station.Text(1, 1, 12), "Pos 1   Satz");
    });
    // A layout that cannot be read once is not taken on a second read.
    station.Add(script::Call([] { InjectFault(FaultyCall::Read, "LANG.DEF", EIO); }));
    station.Add(script::Alt('2'));
    Check([&] {
        ClearFaults();
        EXPECT_EQ(Message(station), "Kann Datei nicht lesen !!!");
    });
    station.Type(" ");
    Check([&] { EXPECT_EQ(RecordLength(), 6); });
    station.Add(script::Alt('3'));  // GLEICH: the same length
    Check([&] {
        EXPECT_EQ(FieldTable[1].Type, 'N');
        EXPECT_EQ(RecordLength(), 6);
    });
    station.Add(script::Stop());
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(Records(), "abcd12");
    EXPECT_EQ(dir.Read(kRecordLengthFile), "6\n");

    // The layout journal replaced from outside by one of another length: the
    // start says so, and the records are not opened under it.
    for (const std::string damage : {"other length", "no whole number"}) {
        SCOPED_TRACE(damage);
        if (damage == "no whole number") {
            dir.Write(kRecordLengthFile, "");  // lost: the size alone speaks
            dir.Write(kRecordJournal, "abcd12abcd");
        }
        dir.Write(kLayoutJournal, dir.Read("LANG.DEF"));
        StationHarness again;
        again.Add(script::Idle());
        again.Add(script::Call([&] {
            const std::string text = damage == "no whole number"
                                         ? "ist keine ganze Zahl von Sätzen zu 9 Zeichen !!!"
                                         : "KELBRIN4.CR2 sind 6 Zeichen lang, der Satzaufbau 9 !!!";
            EXPECT_NE(Message(again).find(text), std::string::npos) << Message(again);
        }));
        again.Type(" n");
        again.Key(VkF9);
        again.Type(" ");
        again.Add(script::Call([] { EXPECT_EQ(Mode, ModeDefinition); }));
        again.Add(script::Stop());
        EXPECT_EQ(again.Start(), StationHarness::Outcome::ProcessEnded);
    }
    EXPECT_EQ(Records(), "abcd12abcd");
}

TEST_F(RecordPlace, AFailedReadLeavesTheOperatorOnHisOwnRecord) {
    station.Type(kForm);
    station.Key(VkF9);
    station.Type("aaaa1\rbbbb2\rcccc3\r");
    station.Key(VkHome);
    station.Add(script::Call([] { InjectFault(FaultyCall::Read, kRecordJournal, EIO); }));
    station.Key(VkNext);  // reading record 2 fails
    Check([&] {
        ClearFaults();
        EXPECT_EQ(Boxes(), 1u);
        EXPECT_EQ(CurrentRecordNumber, 1);
        EXPECT_EQ(station.Text(1, 2, 4), "aaaa");
    });
    // The next character makes the move, then lands where it would have.
    station.Type("B");
    Check([&] {
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(CursorPos(), 2);
    });
    station.Key(VkNext);
    Check([&] { EXPECT_EQ(Records(), "aaaa  1\r\nBbbb  2\r\ncccc  3\r\n"); });
    // A record that cannot be read when the screen opens again: told once, and
    // the station goes back to the layout screen instead of trying for ever.
    station.Key(VkF2);
    station.Add(script::Call([] { InjectFault(FaultyCall::Read, kRecordJournal, EIO, 0); }));
    station.Key(VkEscape);
    Check([&] {
        ClearFaults();
        EXPECT_EQ(Boxes(), 2u);
        EXPECT_EQ(Mode, ModeDefinition);
    });
    station.Start();
    EXPECT_EQ(Records(), "aaaa  1\r\nBbbb  2\r\ncccc  3\r\n");
}

TEST_F(RecordPlace, AfterARefusedCommitEveryKeyActsAndLandsWhereItWouldHave) {
    station.Type(kForm);
    station.Key(VkF9);
    station.Type("aaaa1\rbbbb");
    station.Add(script::Call([] { InjectFault(FaultyCall::Write, kRecordJournal, ENOSPC, 0); }));
    station.Type("123");  // the record's last character: it cannot be stored
    Check([&] {
        ClearFaults();  // room is made
        EXPECT_EQ(Boxes(), 1u);
        EXPECT_EQ(CurrentRecordNumber, 2);
    });
    station.Type("cc");  // keying goes on in the next record
    Check([&] {
        EXPECT_EQ(Records(), "aaaa  1\r\nbbbb123\r\n");
        EXPECT_EQ(CurrentRecordNumber, 3);
        EXPECT_EQ(station.Text(1, 2, 4), "cc..");
    });
    // PgDn refused with the cursor inside the record: the next character goes
    // to the same place of the next record, not over this one.
    station.Key(VkHome);
    station.Type("A");
    station.Add(script::Call([] { InjectFault(FaultyCall::Write, kRecordJournal, ENOSPC, 0); }));
    station.Key(VkNext);
    Check([&] {
        ClearFaults();
        EXPECT_EQ(Boxes(), 2u);
        EXPECT_EQ(CurrentRecordNumber, 1);
    });
    station.Type("X");
    Check([&] {
        EXPECT_EQ(Records().substr(0, 9), "Aaaa  1\r\n");
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(station.Text(1, 2, 4), "bXbb");
    });
    station.Start();
}

TEST_F(RecordPlace, ARecordFileBeyond4GiBKeepsEveryRecordAtItsPlace) {
    WriteLayout(kLayoutJournal, {{'A', 4}, {'N', 3}, {'E', 2}});
    // Records 1 and 477218590 only, a hole between: the last one lies beyond 4 GiB.
    constexpr int64_t kLast = 477218590;
    dir.Write(kRecordJournal, "");
    const int fd = ::open(kRecordJournal, O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "firs  1\r\n", 9, 0), 9);
    ASSERT_EQ(::pwrite(fd, "last  2\r\n", 9, (kLast - 1) * 9), 9);
    ::close(fd);
    dir.Write(kRecordLengthFile, "9\n");
    station.Type("n");
    station.Key(VkF9);
    station.Key(VkEnd);
    Check([&] {
        EXPECT_EQ(CurrentRecordNumber, kLast);
        EXPECT_EQ(station.Text(1, 2, 4), "last");
    });
    station.Key(VkF2);  // away and back
    station.Key(VkEscape);
    Check([&] { EXPECT_EQ(CurrentRecordNumber, kLast); });
    station.Key(VkHome);
    station.Key(VkEnd);
    station.Key(VkUp, ShiftKey);  // its first position
    station.Type("L");
    station.Key(VkHome);
    station.Start();
    char record[10] = {};
    const int in = ::open(kRecordJournal, O_RDONLY);
    ASSERT_EQ(::pread(in, record, 9, (kLast - 1) * 9), 9);
    ::close(in);
    EXPECT_EQ(std::string(record, 9), "Last  2\r\n");
}

TEST_F(RecordPlace, TheWalkToTheLastRecordStopsOnEscAndLetsStopThrough) {
    WriteLayout(kLayoutJournal, {{'A', 4}, {'E', 2}});
    // One record, then 8 MB of empty ones: blocks enough to be asked between.
    dir.Write(kRecordJournal, "eins\r\n"s + std::string(6 * 1400000, '\0'));
    station.Type("n");
    station.Key(VkF9);
    station.Key(VkEnd);
    Check([&] { EXPECT_EQ(CurrentRecordNumber, 1); });
    station.Key(VkNext);
    station.Key(VkNext);
    station.Key(VkEnd);
    station.Key(VkEscape);  // comes while the walk runs: it stops there
    Check([&] { EXPECT_EQ(CurrentRecordNumber, 3); });
    station.Key(VkEnd);
    station.Add(script::Stop());
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(Records().substr(0, 6), "eins\r\n");
    EXPECT_EQ(Records().size(), 6u + 6 * 1400000);

    // Stop while an insert moves the records stores the operator's record at
    // its place, not one moving by, and the records stay where they were.
    StationHarness again;
    again.Type("n");
    again.Key(VkF9);
    again.Type("EINS");
    again.Key(VkHome);
    again.Key(VkF7);
    again.Add(script::Stop());
    EXPECT_EQ(again.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(Records(), "EINS\r\n"s + std::string(6 * 1400000, '\0'));
}

TEST_F(RecordPlace, F1AndEntfEndTheSessionInEntryAndVerifyMode) {
    for (const bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        TempDir here;
        StationHarness again;
        again.Type(kForm);
        again.Key(VkF9);
        again.Type("abcd1\r");
        if (verify) again.Key(VkF9);
        again.Key(VkF1);
        again.Key(VkDelete);
        EXPECT_EQ(again.Start(), StationHarness::Outcome::ProcessEnded);
        EXPECT_EQ(again.host().ExitCode(), 0);
        EXPECT_FALSE(here.Exists(kLayoutJournal));
        EXPECT_FALSE(here.Exists(kRecordJournal));
    }
}

TEST_F(RecordPlace, ARecordNobodyKeyedIntoIsNoRecord) {
    // A record counter first: it alone must not make a record.
    station.Type("t+3\ra+4\re+2\r");
    station.Key(VkF9);
    station.Type("abcd");
    station.Key(VkNext);  // a new record behind the last...
    station.Key(VkNext);  // ... has nothing behind it
    Check([&] {
        EXPECT_EQ(Records(), "  1abcd\r\n");
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(station.Text(9, 1, 6), "Satz 2");
    });
    station.Key(VkPrior);
    station.Key(VkF8);  // the only record goes; its place holds no record now
    Check([&] { EXPECT_EQ(Records(), "\0\0\0\0\0\0\0\r\n"s); });
    station.Key(VkF1);
    station.Type("n");
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);

    // A layout of nothing but fields passed over writes nothing.
    TempDir here;
    StationHarness again;
    again.Type("t+3\re+2\r");
    again.Key(VkF9);
    again.Add(script::Idle());
    again.Add(script::Call([&] {
        EXPECT_EQ(here.Read(kRecordJournal), "");
        EXPECT_EQ(CurrentRecordNumber, 1);
        EXPECT_EQ(again.Text(9, 1, 6), "Satz 1");
    }));
    again.Start();
}
