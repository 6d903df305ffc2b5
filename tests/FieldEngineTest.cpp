// Keying one field: what a character does to the keyed buffer and the cursor,
// the sign key, digit sets, in-field editing, and the automatic skips when the
// cursor lands on a field, across records at either end.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "console/WinCrt.h"
#include "screens/EntryScreen.h"
#include "screens/FieldCursor.h"
#include "screens/FieldEngine.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/RecordActions.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace std::string_literals;

class FieldEngine : public ::testing::Test {
  protected:
    FieldEngine() {
        FillFieldTypeTable();
        ResetFieldModel();
        ResetEntryScreen();
        ResetRecordActions();
        Mode = ModeEntry;
        EXPECT_EQ(StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::Create), 0);
        ResetRecordStore();
    }
    ~FieldEngine() override {
        StoredRecords.File().Close();
        ResetFieldModel();
        ResetRecordActions();
        Mode = ModeDefinition;
    }

    // Fields back to back, in the record and on the screen: type and length.
    static void Layout(const std::vector<std::pair<char, int>>& fields) {
        UseLayout(fields);
        CurrentRecordNumber = 1;
    }
    static void Put(RecordBuffer& record, const std::string& bytes) {
        record.fill(0);
        std::copy(bytes.begin(), bytes.end(), record.begin());
    }
    static std::string Get(const RecordBuffer& record) {
        return std::string(record.begin(), record.begin() + RecordLength());
    }
    int Beeps() { return console.host().Beeps(); }

    TempDir dir;
    ConsoleHarness console;
};

}  // namespace

TEST_F(FieldEngine, CharactersAreKeyedAndShownAndMinusTogglesTheSign) {
    Layout({{'N', 4}, {'A', 2}});
    PlaceCursorAtRecordPos(1);
    KeyNumTable['a'] = '7';  // a site's numeric remapping applies in numeric fields only
    for (uint8_t key : {'a', 'x', ' '}) KeyCharacter(key);
    EXPECT_EQ(Beeps(), 1) << "only the letter";
    EXPECT_EQ(Get(WorkRecord), "7x \0\0\0"s);
    KeyCharacter('1');  // the field's last place: on into the next field
    KeyCharacter('a');
    KeyNumTable['a'] = 'a';
    EXPECT_EQ(Get(WorkRecord), "7x 1a\0"s);
    EXPECT_EQ(console.Text(1, 2, 6), "7x 1a.");
    KeyCharacter('b');  // the last place of the record: the cursor goes past it
    EXPECT_EQ(CursorField(), 3);
    KeyCharacter('c');
    EXPECT_EQ(Get(WorkRecord), "7x 1ab");

    // '-' toggles the sign of the whole field; the cursor follows its character.
    const std::vector<std::tuple<std::string, int, std::string, int>> signs = {
        {"  12", 2, " -12", 2},
        {" -12", 2, "  12", 2},
        {"123 ", 1, "-123", 2},
        {"123 ", 4, "-123", 4},  // never out of the field
    };
    for (const auto& [before, at, after, cursor] : signs) {
        Put(WorkRecord, before);
        PlaceCursorAtRecordPos(at);
        KeyCharacter('-');
        EXPECT_EQ(Get(WorkRecord).substr(0, 4), after) << before;
        EXPECT_EQ(CursorRecordPos(), cursor) << before;
        EXPECT_EQ(console.Text(1, 2, 4), after);
    }
    EXPECT_EQ(Beeps(), 1);
}

TEST_F(FieldEngine, DigitSetsBeepOnOtherDigitsWhileTheirConditionHolds) {
    // Field 2 keeps a digit set; field 1 may switch it off.
    struct Case {
        int32_t set;
        uint8_t key;
        int16_t condition;
        std::string first;
        bool beeps;
    };
    const std::vector<Case> cases = {
        {135, '3', 0, "", false},   {135, '2', 0, "", true},    {135, '0', 0, "", true},
        {-135, '0', 0, "", false},  {-135, '5', 0, "", false},  {-135, '4', 0, "", true},
        {135, '2', 1, " 7", false},  // condition field outside 1..5: no test
        {135, '2', 1, " 3", true},  {135, '2', 1, "-3", false},  // its sign counts
    };
    for (const Case& c : cases) {
        Layout({{'O', 2}, {'O', 3}});
        FieldTable[2].RangeFrom = c.set;
        FieldTable[2].RangeTo = DigitSetMarker;
        FieldExtras[2] = FieldExtra{0, c.condition, 1, 5};
        Put(WorkRecord, c.first);
        PlaceCursorAtRecordPos(3);
        const int before = Beeps();
        KeyCharacter(c.key);
        EXPECT_EQ(Beeps() - before, c.beeps ? 1 : 0) << c.set << " " << c.key << " " << c.first;
        EXPECT_EQ(Get(WorkRecord), c.first + std::string(2 - c.first.size(), '\0') +
                                       static_cast<char>(c.key) + "\0\0"s);
    }
}

TEST_F(FieldEngine, VerifyKeysIntoTheVerifyRecordAndBeepsOncePerVisit) {
    Layout({{'A', 4}});
    Mode = ModeVerify;
    Put(WorkRecord, "abcd");
    PlaceCursorAtRecordPos(1);
    for (uint8_t key : {'a', 'x', 'y'}) KeyCharacter(key);
    EXPECT_EQ(Beeps(), 1);
    EXPECT_EQ(Get(VerifyRecord), "axy\0"s);
    EXPECT_EQ(Get(WorkRecord), "abcd");
    EXPECT_EQ(console.Text(1, 2, 4), "axy.");
    MismatchBeepArmed = true;  // the cursor came back to the field
    KeyCharacter('z');
    EXPECT_EQ(Beeps(), 2);
}

TEST_F(FieldEngine, InsDelBackspaceAndEscStayInsideTheField) {
    Layout({{'A', 4}, {'A', 2}});
    Put(WorkRecord, "abcdef");
    PlaceCursorAtRecordPos(4);
    InsertBlankAtCursor();  // the last place: only that byte changes
    EXPECT_EQ(Get(WorkRecord), "abc ef");
    PlaceCursorAtRecordPos(2);
    InsertBlankAtCursor();
    EXPECT_EQ(Get(WorkRecord), "a bcef");
    DeleteAtCursor();
    EXPECT_EQ(Get(WorkRecord), "abc\0ef"s);
    PlaceCursorAtRecordPos(5);
    BackspaceAtCursor();  // into the field before, at its last place
    EXPECT_EQ(Get(WorkRecord), "abc\0ef"s);
    EXPECT_EQ(CursorRecordPos(), 4);
    BackspaceAtCursor();
    EXPECT_EQ(Get(WorkRecord), "ab\0\0ef"s);
    ClearFieldAtCursor();
    EXPECT_EQ(Get(WorkRecord), "\0\0\0\0ef"s);
    EXPECT_EQ(CursorRecordPos(), 1);
    EXPECT_EQ(console.Text(1, 2, 4), "....");
}

TEST_F(FieldEngine, FieldEnterSkipsByTypeModeAndDupSkip) {
    // Alpha, Alpha Auto Skip, Bypass, end mark, record counter, Num Auto Dup,
    // Num Standard ohne Prüfung; an Alpha field closes the record.
    Layout({{'A', 2}, {'K', 2}, {'B', 2}, {'E', 2}, {'T', 2}, {'D', 2}, {'V', 2}, {'A', 2}});
    const auto skipped = [](int n) {
        PlaceCursorAtRecordPos(FieldTable[n].RecordPos);
        FieldEnter(n, true);
        const bool moved = CursorRecordPos() != FieldTable[n].RecordPos;
        if (moved) {
            EXPECT_EQ(CursorRecordPos(), FieldTable[n + 1].RecordPos) << n;
        }
        return moved;
    };
    // Entry mode, Dup/Skip off, then on.
    const std::vector<std::vector<bool>> entry = {
        {false, false, true, true, true, false, false},
        {false, true, true, true, true, true, false},
    };
    for (bool on : {false, true}) {
        DupSkipOn = on;
        for (int n = 1; n <= 7; ++n) EXPECT_EQ(skipped(n), entry[on][n - 1]) << n << " " << on;
    }
    // Verify mode on record 1: an auto-dup field has no previous record to
    // match and a filled auto-skip field must be keyed: both beep and hold.
    Mode = ModeVerify;
    Put(WorkRecord, "\0\0ab"s);
    const int before = Beeps();
    EXPECT_FALSE(skipped(2));
    EXPECT_FALSE(skipped(6));
    EXPECT_EQ(Beeps() - before, 2);
    WorkRecord.fill(0);
    EXPECT_TRUE(skipped(2));
    DupSkipOn = false;
    EXPECT_TRUE(skipped(7));
    EXPECT_FALSE(skipped(2));
    EXPECT_EQ(Beeps() - before, 2);

    // Backward: onto the field before, at its start or at its last place.
    Mode = ModeEntry;
    PlaceCursorAtRecordPos(5);
    FieldEnter(3, false);
    EXPECT_EQ(CursorRecordPos(), 3);
    PlaceCursorAtRecordPos(6);
    FieldEnter(3, false);
    EXPECT_EQ(CursorRecordPos(), 4);
}

TEST_F(FieldEngine, SkippingOffEitherEndOfTheRecordChangesRecords) {
    // Bypass first and last: a record counter.
    Layout({{'B', 1}, {'A', 2}, {'T', 2}});
    for (const std::string keyed : {"ab", "cd"}) {
        Put(WorkRecord, "\0"s + keyed);
        NoteRecordKeyed();
        PlaceCursorAtRecordPos(4);
        FieldEnter(3, true);
        EXPECT_EQ(CursorRecordPos(), 1);
    }
    EXPECT_EQ(dir.Read(kRecordJournal), "\0ab 1\0cd 2"s);
    EXPECT_EQ(CurrentRecordNumber, 3);
    EXPECT_EQ(Get(WorkRecord), "\0\0\0\0\0"s);
    EXPECT_EQ(console.Text(1, 2, 5), ".....");

    // Before field 1: the previous record, on the last field's start or last place.
    PlaceCursorAtRecordPos(1);
    FieldEnter(1, false);
    EXPECT_EQ(CurrentRecordNumber, 2);
    EXPECT_EQ(CursorRecordPos(), 4);
    EXPECT_EQ(console.Text(1, 2, 5), ".cd 2");
    EXPECT_EQ(dir.Read(kRecordJournal), "\0ab 1\0cd 2"s) << "untouched, record 3 is no record";
    OpenRecordAt(0, false);
    PlaceCursorAtRecordPos(1);
    FieldEnter(1, false);  // no record before the first: passed forwards
    EXPECT_EQ(CurrentRecordNumber, 1);
    EXPECT_EQ(CursorRecordPos(), 2);
}

TEST_F(FieldEngine, SettlingPassesRunsOfSkippedFieldsButAtMost20Records) {
    Layout({{'A', 2}, {'K', 2}, {'A', 2}});
    DupSkipOn = true;
    SettleState state{3, 1, RecordOpenings()};
    PlaceCursorAtRecordPos(3);  // back from field 3 onto the auto-skip field
    EXPECT_EQ(SettleCursor(state, false), 1);
    EXPECT_EQ(CursorRecordPos(), 1);
    Put(WorkRecord, "ab");
    MismatchBeepArmed = false;
    PlaceCursorAtRecordPos(3);  // forward: field 1 is left and drawn, field 3 reached
    EXPECT_EQ(SettleCursor(state, false), 3);
    EXPECT_EQ(CursorRecordPos(), 5);
    EXPECT_TRUE(MismatchBeepArmed);
    EXPECT_EQ(console.Text(1, 2, 2), "ab");

    // Records of nothing but skipped fields: the 20th record move ends the
    // chain, and records passed over are not written again.
    Layout({{'B', 1}, {'T', 2}});
    std::string records;
    for (int i = 1; i <= 30; ++i) records += "\0"s + (i < 10 ? " " : "") + std::to_string(i);
    dir.Write(kRecordJournal, records);
    OpenRecordAt(0, false);
    state = SettleState{};
    PlaceCursorAtRecordPos(1);
    SettleCursor(state, false);
    EXPECT_EQ(CurrentRecordNumber, 21);
    EXPECT_EQ(dir.Read(kRecordJournal), records);
    // Backwards from there it ends 20 records before, on record 1.
    state = SettleState{2, 21, RecordOpenings()};
    SettleCursor(state, false);
    EXPECT_EQ(CurrentRecordNumber, 1);
    EXPECT_EQ(CursorRecordPos(), 2);
    // Behind the last record nobody can key into such a record: it is never
    // stored, and going round it ends.
    dir.Write(kRecordJournal, "");
    OpenRecordAt(0, false);
    state = SettleState{};
    SettleCursor(state, false);
    EXPECT_EQ(CurrentRecordNumber, 1);
    EXPECT_EQ(dir.Read(kRecordJournal), "");
}
