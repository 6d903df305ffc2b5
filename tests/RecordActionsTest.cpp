// The operator actions on records: searching, Dup from the previous record,
// Korrektur and Satz-Scan in verify mode, and Stop in the middle of a search.
#include <gtest/gtest.h>

#include <cstdio>

#include "console/WinCrt.h"
#include "screens/FieldCursor.h"
#include "screens/FieldEngine.h"
#include "screens/FieldValidation.h"
#include "screens/Journal.h"
#include "screens/LineEditor.h"
#include "screens/OperatorRecord.h"
#include "screens/RecordActions.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "platform/CodePage.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/FaultInjection.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/RecordFiles.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

void StartSession(int32_t mode) {
    ResetFieldModel();
    FillFieldTypeTable();
    ResetRecordActions();
    ResetLineEditor();
    ResetRecordStore();
    Mode = mode;
    SubMode = SubMain;
}

void Put(RecordBuffer& record, const std::string& bytes) {
    record.fill(0);
    std::copy(bytes.begin(), bytes.end(), record.begin());
}

std::string Bytes(const RecordBuffer& record) {
    return std::string(record.begin(), record.begin() + RecordLength());
}

void GoTo(int number) {
    OpenRecordAt(static_cast<int64_t>(number - 1) * RecordLength(), false);
}

class RecordActions : public ::testing::Test {
  protected:
    // Two fields of 4 and 2 characters; `records` as the record file.
    void Open(int32_t mode, const std::string& records) {
        StartSession(mode);
        UseLayout({{'A', 4}, {'A', 2}});
        dir.Write(kRecordJournal, records);
        ASSERT_EQ(StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
        ResetRecordStore();
    }
    ~RecordActions() override {
        StoredRecords.File().Close();
        ResetFieldModel();
        Mode = ModeDefinition;
    }
    // Runs Search with the keys of `script` typed at the prompt.
    void RunSearch(std::vector<ScriptEvent> script) {
        console.Add(script);
        EXPECT_TRUE(console.Run(Search));
    }
    int CursorPos() const { return CursorRecordPos(); }

    TempDir dir;
    ConsoleHarness console;
};

}  // namespace

TEST_F(RecordActions, SearchPromptAndRecordNumbers) {
    Open(ModeEntry, "aaaa11bbbb22cccc33");
    GoTo(1);
    PlaceCursorAtRecordPos(2);
    std::string prompt;
    auto seePrompt = script::Call([&] {
        prompt = console.Text(1, 1, 30);
        int x = 0, y = 0;  // the cursor waits behind the prompt
        console.host().CursorCell(x, y);
        EXPECT_EQ(y, 1);
        EXPECT_EQ(x, static_cast<int>(prompt.find(": ")) + 3);
        EXPECT_EQ(console.Cell(15, 25).color, SearchKind == SearchByContent ? kOrange : kRed);
        EXPECT_EQ(console.Cell(34, 25).color, SearchKind == SearchByContent ? kRed : kOrange);
    });

    // Enter at once with no earlier term: nothing is searched.
    WorkRecord[0] = 'A';  // keyed, not stored
    RunSearch({seePrompt, script::Key(VkReturn)});
    EXPECT_EQ(prompt.rfind("Suchbegriff: ", 0), 0u);
    EXPECT_EQ(CurrentRecordNumber, 1);
    EXPECT_EQ(CursorPos(), 2);
    EXPECT_EQ(dir.Read(kRecordJournal), "aaaa11bbbb22cccc33");

    // F7 switches to record numbers while typing; "0" and letters go nowhere.
    std::vector<ScriptEvent> keys{script::Key(VkF7), seePrompt};
    for (const auto& key : script::Type("0\r")) keys.push_back(key);
    RunSearch(keys);
    EXPECT_EQ(SearchKind, SearchByRecordNumber);
    EXPECT_EQ(CurrentRecordNumber, 1);
    RunSearch(script::Type("2x\r"));
    EXPECT_EQ(CurrentRecordNumber, 1);
    RunSearch({seePrompt, script::Key(VkEscape)});
    EXPECT_EQ(prompt.rfind("Suchbegriff [2x]: ", 0), 0u);
    // Afterwards the status line and the legend are the record's again.
    EXPECT_EQ(console.Text(1, 1, 14), "Pos 2   Satz 1");
    EXPECT_EQ(console.Text(1, 25, 12), " F1Ende F2Sa");

    // One behind the last record opens an empty record; the record left is
    // stored first. Two behind goes nowhere.
    RunSearch(script::Type("5\r"));
    EXPECT_EQ(CurrentRecordNumber, 1);
    RunSearch(script::Type("4\r"));
    EXPECT_EQ(dir.Read(kRecordJournal), "Aaaa11bbbb22cccc33");
    EXPECT_EQ(CurrentRecordNumber, 4);
    EXPECT_EQ(StoredRecords.Position(), 18);
    EXPECT_EQ(Bytes(WorkRecord), std::string(6, '\0'));
    EXPECT_EQ(CursorPos(), 2);
    RunSearch(script::Type("2\r"));
    EXPECT_EQ(Bytes(WorkRecord), "bbbb22");
    EXPECT_EQ(StoredRecords.Position(), 6);
}

TEST_F(RecordActions, ContentSearchOrderCaseAndUmlauts) {
    // "xy  xy", "MüLLEt", "äpfxy ", "zqölzq" (code page 850)
    Open(ModeEntry, "xy  xyM\x81LLEt\x84pfxy zq\x94lzq");
    GoTo(2);
    PlaceCursorAtRecordPos(3);

    // From the next record on (record 3, not record 1), at the last match.
    RunSearch(script::Type("Xy\r"));
    EXPECT_EQ(CurrentRecordNumber, 3);
    EXPECT_EQ(CursorPos(), 4);
    // Enter alone searches the same term again and wraps round to record 1.
    RunSearch(script::Type("\r"));
    EXPECT_EQ(CurrentRecordNumber, 1);
    EXPECT_EQ(CursorPos(), 5);

    // Umlauts compare in upper case both ways.
    RunSearch(script::Type("mÜl\r"));
    EXPECT_EQ(CurrentRecordNumber, 2);
    EXPECT_EQ(CursorPos(), 1);
    RunSearch(script::Type("ÄPF\r"));
    EXPECT_EQ(CurrentRecordNumber, 3);
    RunSearch(script::Type("ÖL\r"));
    EXPECT_EQ(CurrentRecordNumber, 4);
    EXPECT_EQ(CursorPos(), 3);

    // A term only in the starting record is found there, scanned last, at
    // its last occurrence; no hit leaves record and cursor as they were.
    RunSearch(script::Type("ZQ\r"));
    EXPECT_EQ(CurrentRecordNumber, 4);
    EXPECT_EQ(CursorPos(), 5);
    RunSearch(script::Type("qqq\r"));
    EXPECT_EQ(CurrentRecordNumber, 4);
    EXPECT_EQ(CursorPos(), 5);

    // A key pressed while searching is taken; Esc stops, any other goes on.
    GoTo(1);
    PlaceCursorAtRecordPos(2);
    std::vector<ScriptEvent> keys = script::Type("öl\r");
    keys.push_back(script::Key(VkEscape));
    RunSearch(keys);
    EXPECT_EQ(CurrentRecordNumber, 1);
    EXPECT_EQ(CursorPos(), 2);
    keys = script::Type("öl\ra");
    RunSearch(keys);
    EXPECT_EQ(CurrentRecordNumber, 4);
    EXPECT_FALSE(KeyQueue.KeyAvailable);
    EXPECT_EQ(dir.Read(kRecordJournal), "xy  xyM\x81LLEt\x84pfxy zq\x94lzq");
}

TEST_F(RecordActions, DupFromThePreviousRecordInEntryAndVerifyMode) {
    Open(ModeEntry, "aaaa11");
    // Record 1 has no previous record: entry mode changes nothing.
    GoTo(1);
    EXPECT_FALSE(VerifyAgainstPrevious(2));
    DupField(2);
    EXPECT_EQ(Bytes(WorkRecord), "aaaa11");

    // On the new record 2 what was keyed is stored first, then the field comes
    // from record 1; the record stays the operator's, at its place.
    GoTo(2);
    Put(WorkRecord, "bb");
    NoteRecordKeyed();
    PlaceCursorAtRecordPos(5);
    DupField(2);
    EXPECT_EQ(dir.Read(kRecordJournal), std::string("aaaa11bb  \0\0", 12));
    EXPECT_EQ(Bytes(WorkRecord), "bb  11");
    EXPECT_EQ(StoredRecords.Position(), 6);
    EXPECT_EQ(CurrentRecordNumber, 2);
    EXPECT_TRUE(VerifyAgainstPrevious(2));
    EXPECT_FALSE(VerifyAgainstPrevious(1));
    EXPECT_TRUE(VerifyAgainstPrevious(3));  // no such field
    EXPECT_EQ(Bytes(WorkRecord), "bb  11");
    EXPECT_EQ(StoredRecords.Position(), 6);
    DupField(0);
    DupField(3);
    EXPECT_EQ(Bytes(WorkRecord), "bb  11");
    // What Dup stores first is flushed like any record: a failing flush is told.
    InjectFault(FaultyCall::Flush, kRecordJournal, EIO);
    EXPECT_TRUE(console.Run([] { DupField(2); }));
    EXPECT_EQ(InjectedFailures(), 1);
    ClearFaults();

    // Verify mode: the field goes into the verify input, the stored record
    // stays, and the fetched field is not kept for Korrektur.
    Mode = ModeVerify;
    dir.Write(kRecordJournal, "aaaa11bbbb22");
    GoTo(2);
    DupField(2);
    EXPECT_EQ(Bytes(VerifyRecord), "bbbb11");
    EXPECT_EQ(Bytes(WorkRecord), "bbbb22");
    EXPECT_EQ(Bytes(DupRecord).substr(4), std::string(2, '\0'));
    EXPECT_EQ(dir.Read(kRecordJournal), "aaaa11bbbb22");
    // Without a previous record the verify input of the field is emptied.
    GoTo(1);
    DupRecord.fill('z');
    DupField(1);
    EXPECT_EQ(Bytes(VerifyRecord), std::string("\0\0\0\0"
                                               "11",
                                               6));
    EXPECT_EQ(Bytes(DupRecord).substr(0, 4), std::string(4, '\0'));

    // Entry mode with Dup/Skip on: an auto-dup field is filled from the
    // previous record as the cursor lands on it, shown, and passed.
    Mode = ModeEntry;
    UseLayout({{'A', 4}, {'U', 2}, {'A', 1}});
    dir.Write(kRecordJournal, "aaaa11x");
    GoTo(2);
    Put(WorkRecord, "bbbb");
    DupSkipOn = true;
    PlaceCursorAtRecordPos(5);
    ASSERT_TRUE(console.Run([] { FieldEnter(2, true); }));
    EXPECT_EQ(Bytes(WorkRecord), std::string("bbbb11\0", 7));
    EXPECT_EQ(console.Text(5, 2, 2), "11");
    EXPECT_EQ(CursorPos(), 7);
}

TEST_F(RecordActions, KorrekturAndSatzScanInVerifyMode) {
    Open(ModeVerify, "abcd12wxyz34");
    GoTo(1);
    DrawAllEntryFields(1);
    console.Add(script::Key(VkF8));  // stays unread: each arming returns at once
    ASSERT_TRUE(console.Run([] {
        // A mismatch: the rejected input stays (F8 is no character), and F8
        // makes it the stored value.
        std::copy_n("abXd", 4, VerifyRecord.begin());
        EXPECT_FALSE(FieldExit(1, false));
        Korrektur(1);
    }));
    EXPECT_EQ(dir.Read(kRecordJournal), "abXd12wxyz34");
    EXPECT_EQ(Bytes(WorkRecord), "abXd12");
    EXPECT_EQ(console.Text(1, 2, 6), "abXd12");

    // An untouched field keeps its verify input, whatever lies in the DupRecord.
    Put(DupRecord, "qqqqqq");
    ASSERT_TRUE(console.Run([] { Korrektur(2); }));
    EXPECT_EQ(dir.Read(kRecordJournal), "abXd12wxyz34");
    // Armed and nothing typed yet: the input kept aside counts.
    std::fill_n(VerifyRecord.begin(), 4, 0);
    ASSERT_TRUE(console.Run([] { Korrektur(1); }));
    EXPECT_EQ(dir.Read(kRecordJournal), "qqqq12wxyz34");
    EXPECT_EQ(Bytes(VerifyRecord), "qqqq12");

    // Satz-Scan throws the verify input of the record away.
    std::copy_n("zzzzzz", 6, VerifyRecord.begin());
    ASSERT_TRUE(console.Run([] { DrawAllEntryFields(1); }));
    ASSERT_EQ(console.Text(1, 2, 6), "zzzzzz");
    ASSERT_TRUE(console.Run(SatzScan));
    EXPECT_EQ(Bytes(VerifyRecord), "qqqq12");
    EXPECT_EQ(console.Text(1, 2, 6), "qqqq12");

    // Esc at the search prompt in the middle of a field: the field is armed
    // again, so the next character re-keys it from its start.
    PlaceCursorAtRecordPos(3);
    RunSearch({script::Key(VkEscape), script::Type("k")[0]});
    EXPECT_EQ(CursorPos(), 1);
    EXPECT_EQ(Bytes(VerifyRecord), std::string(4, '\0') + "12");
    EXPECT_EQ(Bytes(DupRecord).substr(0, 4), "qqqq");
}

TEST(RecordActionsStop, StopWhileSearchingStoresOnlyTheOperatorsRecord) {
    TempDir dir;
    // 3000 records of an older file: their end markers were never written, so
    // storing any of them again would change it.
    constexpr int kRecords = 3000;
    const std::string records = OldRecords(kRecords);
    dir.Write(kRecordJournal, records);

    StationHarness station([] {
        StartSession(ModeEntry);
        UseLayout({{'A', 6}, {'E', 2}});
        ASSERT_EQ(StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
        ResetRecordStore();
        GoTo(5);
        Put(WorkRecord, "OPER");  // keyed into record 5
        NoteRecordKeyed();
        PlaceCursorAtRecordPos(3);
        Search();
    });
    station.Type("nirgends\r");
    // The search looks at the keyboard once per record: Stop comes while
    // record 1006 is in the buffers.
    for (int i = 0; i < 999; ++i) station.Add(script::Call([] {}));
    station.Add(script::Call([] { EXPECT_EQ(CurrentRecordNumber, 1005); }));
    station.Add(script::Stop());
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);

    // Record 5 as a commit stores it (blank-filled, end marker written); every
    // other record byte for byte as it was.
    ExpectOnlyRecordChanged(dir.Read(kRecordJournal), records, 5, "OPER  \r\n");
}
