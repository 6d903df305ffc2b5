// The record file: storing, walking, inserting and deleting records, and what
// happens when the disk fails under a commit or a rewrite.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/FaultInjection.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/TempDir.h"

namespace {

class RecordJournal : public ::testing::Test {
  protected:
    RecordJournal() {
        ResetFieldModel();
        FillFieldTypeTable();
        Mode = ModeEntry;
        UseLayout({{'A', 4}, {'A', 2}});
        EXPECT_EQ(StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::Create), 0);
        ResetRecordStore();
    }
    ~RecordJournal() override {
        ClearFaults();
        StoredRecords.File().Close();
        ResetFieldModel();
        Mode = ModeDefinition;
    }

    static void Key(const std::string& text) {
        WorkRecord.fill(0);
        std::copy(text.begin(), text.end(), WorkRecord.begin());
        NoteRecordKeyed();
    }
    static std::string Work() {
        return std::string(WorkRecord.begin(), WorkRecord.begin() + RecordLength());
    }
    // Appends records behind the last one, as the operator keys them.
    static void Append(std::initializer_list<std::string> texts) {
        for (const std::string& text : texts) {
            LastRecord(false);
            if (!IsEmptyRecord(WorkRecord)) NextRecord(false);
            Key(text);
            ASSERT_TRUE(CommitRecord(true));
        }
    }
    static void GoTo(int number) {
        OpenRecordAt(static_cast<int64_t>(number - 1) * RecordLength(), false);
    }
    // The record file's slots as text, an empty record as "-".
    std::string Slots() const {
        const std::string bytes = dir.Read(kRecordJournal);
        const std::size_t length = static_cast<std::size_t>(RecordLength());
        std::string slots;
        for (std::size_t at = 0; at + length <= bytes.size(); at += length) {
            const std::string slot = bytes.substr(at, length);
            slots +=
                slot.find_first_not_of(std::string("\0\r\n", 3)) == std::string::npos ? "-" : slot;
            slots += '|';
        }
        if (bytes.size() % length != 0) slots += "+" + std::to_string(bytes.size() % length);
        return slots;
    }

    // Files beside the verification state, which notes who keyed each record,
    // and the journal of corrections, which is made once and kept.
    int FilesInDirectory() const {
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            files += entry.path().filename() != kVerificationFile &&
                     entry.path().filename() != kCorrectionJournal;
        return files;
    }

    TempDir dir;
    ConsoleHarness console;
};

}  // namespace

TEST_F(RecordJournal, StoringAndWalkingThroughTheRecords) {
    // An empty file has no last record: the first place, cleared.
    Key("zzzzzz");
    EXPECT_FALSE(LastRecord(false));
    EXPECT_EQ(StoredRecords.Position(), 0);
    EXPECT_EQ(CurrentRecordNumber, 1);
    EXPECT_EQ(Work(), std::string(6, '\0'));

    Append({"aaaa11", "bbbb22", "cccc33"});
    EXPECT_EQ(Slots(), "aaaa11|bbbb22|cccc33|");
    EXPECT_TRUE(FirstRecord(false));
    EXPECT_EQ(Work(), "aaaa11");
    EXPECT_TRUE(NextRecord(false));
    EXPECT_EQ(CurrentRecordNumber, 2);
    EXPECT_TRUE(PreviousRecord(false));
    EXPECT_EQ(Work(), "aaaa11");
    EXPECT_FALSE(PreviousRecord(false));  // nothing before the first: nothing moves
    EXPECT_EQ(StoredRecords.Position(), 0);

    // A cut-off tail is never read as a record; stepping past the last record
    // gives the append position, and a commit there overwrites the tail.
    dir.Write(kRecordJournal, dir.Read(kRecordJournal) + "dddd");
    EXPECT_TRUE(LastRecord(false));
    EXPECT_EQ(Work(), "cccc33");
    EXPECT_FALSE(NextRecord(false));
    EXPECT_EQ(CurrentRecordNumber, 4);
    EXPECT_EQ(Work(), std::string(6, '\0'));
    Key("eeee44");
    ASSERT_TRUE(CommitRecord(true));
    EXPECT_EQ(Slots(), "aaaa11|bbbb22|cccc33|eeee44|");

    // Empty records at the end do not count for the last record.
    dir.Write(kRecordJournal, dir.Read(kRecordJournal) + std::string("\0\0\0\0\r\n", 6));
    EXPECT_TRUE(LastRecord(false));
    EXPECT_EQ(Work(), "eeee44");
    EXPECT_EQ(CurrentRecordNumber, 4);

    // Without fields no record operation runs.
    FieldCount = 0;
    EXPECT_FALSE(LoadRecord(false));
    EXPECT_FALSE(CommitRecord(true));
    EXPECT_FALSE(LastRecord(false));
    EXPECT_FALSE(NextRecord(false));
    InsertRecord();
    DeleteRecord();
    FieldCount = 2;
    EXPECT_EQ(Slots(), "aaaa11|bbbb22|cccc33|eeee44|-|");

    // A record of one character is a record like any other.
    UseLayout({{'A', 1}});
    dir.Write(kRecordJournal, "xy");
    GoTo(2);
    EXPECT_EQ(Work(), "y");
    EXPECT_EQ(CurrentRecordNumber, 2);
}

TEST_F(RecordJournal, InsertingAndDeletingMoveTheLaterRecords) {
    Append({"aaaa11", "bbbb22", "cccc33"});
    GoTo(2);
    Key("BBBB22");  // keyed but not yet committed: the insert keeps it
    InsertRecord();
    EXPECT_EQ(Slots(), "aaaa11|-|BBBB22|cccc33|");
    EXPECT_EQ(StoredRecords.Position(), 6);
    EXPECT_EQ(CurrentRecordNumber, 2);
    EXPECT_EQ(Work(), std::string(6, '\0'));

    DeleteRecord();  // the empty record goes; the file keeps its size
    EXPECT_EQ(Slots(), "aaaa11|BBBB22|cccc33|-|");
    EXPECT_EQ(Work(), "BBBB22");

    GoTo(1);
    DeleteRecord();
    EXPECT_EQ(Slots(), "BBBB22|cccc33|-|-|");
    GoTo(2);
    DeleteRecord();  // the last record: only its place is cleared
    EXPECT_EQ(Slots(), "BBBB22|-|-|-|");

    // Behind the last record a delete clears only that record, and at the
    // append position an untouched record gives nothing to insert before.
    GoTo(3);
    DeleteRecord();
    GoTo(5);
    DeleteRecord();
    InsertRecord();
    EXPECT_EQ(Slots(), "BBBB22|-|-|-|");

    // At the append position a keyed record is stored before one is inserted.
    Key("ffff66");
    InsertRecord();
    EXPECT_EQ(Slots(), "BBBB22|-|-|-|-|ffff66|");
    EXPECT_EQ(FilesInDirectory(), 2);  // the records and their length: no new file left
}

TEST_F(RecordJournal, StoredRecordsCarryCountersEndMarksAndOverpunchedSigns) {
    UseLayout({{'A', 4}, {'T', 3}, {'N', 4}, {'E', 2}});
    LoadRecord(false);  // record 1, at the append position
    Key(std::string("abcd\0\0\0-12", 11));
    ASSERT_TRUE(CommitRecord(true));
    // In memory the minus sign stays; on disk the last digit carries it.
    EXPECT_EQ(Work(), "abcd  1 -12\r\n");
    EXPECT_EQ(Slots(), "abcd  1  1K\r\n|");

    // Moved records are numbered anew. The inserted place holds no record,
    // not even a counter, until the operator keys into it; then it gets its
    // counter like any record keyed.
    InsertRecord();
    const std::string cleared = std::string(11, '\0') + "\r\n";
    EXPECT_EQ(dir.Read(kRecordJournal), cleared + "abcd  2  1K\r\n");
    EXPECT_EQ(CurrentRecordNumber, 1);
    EXPECT_TRUE(CommitRecord(true));  // left untouched: nothing is written
    EXPECT_EQ(dir.Read(kRecordJournal), cleared + "abcd  2  1K\r\n");
    Key("wxyz");
    EXPECT_TRUE(CommitRecord(true));
    EXPECT_EQ(Slots(), "wxyz  1" + std::string(4, '\0') + "\r\n|abcd  2  1K\r\n|");
    DeleteRecord();
    // The freed last place holds no record either.
    EXPECT_EQ(dir.Read(kRecordJournal), "abcd  1  1K\r\n" + cleared);

    // Verify mode formats what it loads: the stored sign comes back as a minus.
    Mode = ModeVerify;
    ASSERT_TRUE(OpenRecordAt(0, true));
    EXPECT_EQ(Work(), "abcd  1 -12\r\n");

    // Stop in verify mode stores the record on the screen as keyed: the verify
    // comparison does not hold it back, and the screen's mode is left alone.
    GoTo(1);
    std::copy_n("wxyz", 4, WorkRecord.begin());
    EXPECT_TRUE(SaveBeforeEnd());
    EXPECT_EQ(Mode, ModeVerify);
    EXPECT_EQ(Slots().substr(0, 4), "wxyz");
}

TEST_F(RecordJournal, TheFirstFieldsSignIsOverpunchedToo) {
    UseLayout({{'N', 3}, {'E', 2}});
    LoadRecord(false);
    Key("-5");
    ASSERT_TRUE(CommitRecord(true));
    EXPECT_EQ(Slots(), "  N\r\n|");
}

// A power failure in the middle of correcting a stored record leaves each
// sector of it old or new: the next start completes the correction from its
// journal, and leaves a record alone that a later change made another.
TEST_F(RecordJournal, ACorrectionCutShortIsCompletedAtTheNextStart) {
    UseLayout({{'A', 700}});
    const std::string a(700, 'a'), b(700, 'b'), x(700, 'x');
    Append({a, b, a});
    GoTo(2);
    Key(x);
    ASSERT_TRUE(CommitRecord(true));
    ASSERT_TRUE(dir.Exists(kCorrectionJournal));
    const auto restart = [&](const std::string& second) {
        std::string file = a + second + a;
        dir.Write(kRecordJournal, file);
        StoredRecords.CloseFile();
        bool made = true;
        ASSERT_EQ(StoredRecords.OpenFile(made), 0);
        EXPECT_FALSE(made);
    };
    // A journal that cannot be read ends the start, and names itself.
    InjectFault(FaultyCall::Read, kCorrectionJournal, EIO);
    StoredRecords.CloseFile();
    bool made = true;
    EXPECT_EQ(StoredRecords.OpenFile(made), EIO);
    EXPECT_STREQ(StoredRecords.OpenFailure(), kCorrectionJournal);
    ClearFaults();
    // Record 2 lies at 700..1399: the sector ending at 1024 old, the rest new.
    restart(b.substr(0, 324) + x.substr(324));
    EXPECT_EQ(dir.Read(kRecordJournal), a + x + a);
    // The journal is done with: a record changed later is not "completed".
    restart(b.substr(0, 324) + x.substr(324));
    EXPECT_EQ(dir.Read(kRecordJournal), a + b.substr(0, 324) + x.substr(324) + a);
}

TEST_F(RecordJournal, AFailingDiskIsShownAndTheNextCommitStoresTheRecord) {
    Append({"aaaa11", "bbbb22"});
    for (FaultyCall call : {FaultyCall::Write, FaultyCall::Flush}) {
        SCOPED_TRACE(static_cast<int>(call));
        const std::size_t boxes = console.host().MessageBoxes().size();
        GoTo(2);
        Key(call == FaultyCall::Write ? "BBBB22" : "BBBB23");  // a change to store
        InjectFault(call, kRecordJournal, EIO);
        EXPECT_FALSE(CommitRecord(true));  // never reported as stored
        ASSERT_EQ(console.host().MessageBoxes().size(), boxes + 1);
        EXPECT_EQ(console.host().MessageBoxes().back().text,
                  "Ein-/Ausgabefehler 5: Lese- oder Schreibfehler des Datenträgers.");
        EXPECT_EQ(Work().substr(0, 4), "BBBB");  // still on the screen
        EXPECT_EQ(StoredRecords.Position(), 6);
        ClearFaults();
        EXPECT_TRUE(CommitRecord(true));
        EXPECT_EQ(Slots(), "aaaa11|" + Work() + "|");
    }

    // A rewrite that fails changes nothing at all.
    const std::string before = dir.Read(kRecordJournal);
    for (FaultyCall call : {FaultyCall::Write, FaultyCall::Flush, FaultyCall::Rename}) {
        SCOPED_TRACE(static_cast<int>(call));
        GoTo(1);
        // The new file is a hidden one beside the record file, named after it.
        InjectFault(call, std::string(kRecordJournal) + (call == FaultyCall::Rename ? "" : "."),
                    ENOSPC);
        InsertRecord();
        EXPECT_EQ(InjectedFailures(), 1);
        ClearFaults();
        EXPECT_EQ(console.host().MessageBoxes().back().text,
                  "Ein-/Ausgabefehler 28: kein Platz mehr auf dem Datenträger.");
        EXPECT_EQ(dir.Read(kRecordJournal), before);
        EXPECT_EQ(FilesInDirectory(), 2);  // no new file left beside records and length
        EXPECT_EQ(Work(), "aaaa11");
        EXPECT_TRUE(NextRecord(false));  // the record file is still the open one
        EXPECT_EQ(Work(), "BBBB23");
    }

    // Leaving while the record cannot be stored: the station stays once, and
    // a second attempt ends it. An end that stored everything starts anew.
    for (int round = 0; round < 2; ++round) {
        Key(round == 0 ? "CCCC33" : "CCCC34");
        InjectFault(FaultyCall::Write, kRecordJournal, EIO, 0);
        EXPECT_FALSE(SaveBeforeEnd()) << round;
        ClearFaults();
        EXPECT_TRUE(SaveBeforeEnd()) << round;
    }
    EXPECT_EQ(Slots(), "aaaa11|CCCC34|");

    // A delete behind the last record clears that place, flushed like any
    // record: a failing flush is told.
    dir.Write(kRecordJournal, dir.Read(kRecordJournal) + std::string("\0\0\0\0\r\n", 6));
    GoTo(3);
    const std::size_t boxes = console.host().MessageBoxes().size();
    InjectFault(FaultyCall::Flush, kRecordJournal, EIO);
    DeleteRecord();
    EXPECT_EQ(InjectedFailures(), 1);
    ClearFaults();
    EXPECT_EQ(console.host().MessageBoxes().size(), boxes + 1);
    EXPECT_EQ(Slots(), "aaaa11|CCCC34|-|");
}
