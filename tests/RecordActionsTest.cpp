// The operator actions on records: searching, Dup from the previous record,
// Korrektur and Satz-Scan in verify mode, and Stop in the middle of a search.
#include <gtest/gtest.h>

#include <cstdio>

#include "console/WinCrt.h"
#include "core/FieldEngine.h"
#include "core/FieldModel.h"
#include "core/FieldTypes.h"
#include "core/FieldValidation.h"
#include "core/LineEditor.h"
#include "core/RecordActions.h"
#include "core/Session.h"
#include "files/Journal.h"
#include "platform/CodePage.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

// Fields one behind the other: type letter and length.
void Layout(std::initializer_list<std::pair<char, int>> fields) {
    FieldCount = 0;
    int position = 1;
    for (const auto& [type, length] : fields) {
        FieldDef& field = FieldTable[++FieldCount];
        field = FieldDef{};
        field.RecordPos = field.ScreenPos = static_cast<int16_t>(position);
        field.Length = static_cast<int16_t>(length);
        field.Type = static_cast<uint8_t>(type);
        position += length;
    }
}

void StartSession(int32_t mode) {
    ResetFieldModel();
    FillFieldTypeTable();
    ResetRecordActions();
    ResetLineEditor();
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
    ASSERT_EQ(RecordFile.Seek(static_cast<int64_t>(number - 1) * RecordLength()), 0);
    LoadRecord(false);
}

class RecordActions : public ::testing::Test {
  protected:
    // Two fields of 4 and 2 characters; `records` as the record file.
    void Open(int32_t mode, const std::string& records) {
        StartSession(mode);
        Layout({{'A', 4}, {'A', 2}});
        dir.Write(kRecordJournal, records);
        ASSERT_EQ(RecordFile.Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
    }
    ~RecordActions() override {
        RecordFile.Close();
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

    // One behind the last record opens an empty record; the record left is
    // stored first. Two behind goes nowhere.
    RunSearch(script::Type("5\r"));
    EXPECT_EQ(CurrentRecordNumber, 1);
    RunSearch(script::Type("4\r"));
    EXPECT_EQ(dir.Read(kRecordJournal), "Aaaa11bbbb22cccc33");
    EXPECT_EQ(CurrentRecordNumber, 4);
    EXPECT_EQ(RecordFile.Position(), 18);
    EXPECT_EQ(Bytes(WorkRecord), std::string(6, '\0'));
    EXPECT_EQ(CursorPos(), 2);
    RunSearch(script::Type("2\r"));
    EXPECT_EQ(Bytes(WorkRecord), "bbbb22");
    EXPECT_EQ(RecordFile.Position(), 6);
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
