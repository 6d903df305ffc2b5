#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "console/WinCrt.h"
#include "screens/EntryScreen.h"
#include "screens/FieldCursor.h"
#include "screens/FieldEngine.h"
#include "screens/FieldValidation.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/FieldRules.h"
#include "model/FieldTypes.h"
#include "tests/kit/ConsoleHarness.h"

namespace {

using namespace std::string_literals;

class FieldValidation : public ::testing::Test {
  protected:
    void SetUp() override {
        FillFieldTypeTable();
        ResetFieldModel();
        ResetEntryScreen();
        Mode = ModeEntry;
    }
    void TearDown() override {
        ResetFieldModel();
        Mode = ModeDefinition;
    }

    // Fields of the given types, the first one holding `keyed` (its length).
    void Layout(const std::vector<uint8_t>& types, const std::string& keyed, int length = 4) {
        ResetFieldModel();
        for (uint8_t type : types) {
            PutField(FieldCount + 1, type,
                     FieldCount == 0 ? static_cast<int>(keyed.size()) : length);
        }
        Put(WorkRecord, 1, keyed);
    }
    static void Put(RecordBuffer& record, int n, const std::string& bytes) {
        std::copy(bytes.begin(), bytes.end(), record.begin() + FieldTable[n].RecordPos - 1);
    }
    static std::string Get(const RecordBuffer& record, int n) {
        const auto first = record.begin() + FieldTable[n].RecordPos - 1;
        return std::string(first, first + FieldTable[n].Length);
    }
    // The beeps of one field exit.
    int ExitBeeps(int n) {
        const int before = console.host().Beeps();
        FieldExit(n, true);
        return console.host().Beeps() - before;
    }

    ConsoleHarness console;
};

}  // namespace

TEST_F(FieldValidation, FieldExitGivesTheStoredForm) {
    const std::vector<std::tuple<uint8_t, std::string, std::string>> cases = {
        {'R', "-42\0\0"s, "-0042"},  // "Num Rechtsb. (Null)": the sign keeps the first place
        {'J', "-12\0"s, " -12"},      {'O', "-12\0"s, "-12 "},  // unformatted: left where keyed
        {'J', "1234R", "1234R"},  // a full negative field keeps its overpunch
        {'A', "AB\0\0"s, "AB  "},     {'I', "AB\0\0"s, "  AB"},
        {'J', "  \0 "s, "\0\0\0\0"s},  // nothing keyed
    };
    for (const auto& [type, keyed, stored] : cases) {
        Layout({type}, keyed);
        EXPECT_EQ(ExitBeeps(1), 0) << keyed;
        EXPECT_EQ(Get(WorkRecord, 1), stored) << keyed;
    }
}

TEST_F(FieldValidation, CheckDigitsByModulus10And11) {
    // 'C' modulus 11, 'H' modulus 10; a failed check beeps and keeps the field.
    const std::vector<std::tuple<uint8_t, std::string, bool>> cases = {
        {'C', "124", true},      {'C', "123", false},  // weights 3 and 2: r = 11 - 7
        {'H', "123", true},      {'H', "124", false},  // plain digit sum
        {'C', "60", true},       {'C', "61", false},   // remainder 1: r = 10 counts as 0
        {'C', "00", true},                             // remainder 0: r = 11 counts as 0
        {'C', "  5", false},     {'H', "  0", false},  // no digit before the check digit
        {'C', "10000009", true},                       // weights run 2..7 and start again
        {'C', "1 07", true},                           // a blank still counts in the distance
        {'H', "12L", true},      {'H', "12K", false},  // a negative last digit: L = -3
    };
    for (const auto& [type, keyed, passes] : cases) {
        Layout({type}, keyed);
        EXPECT_EQ(ExitBeeps(1), passes ? 0 : 1) << type << " " << keyed;
        EXPECT_EQ(Get(WorkRecord, 1), keyed);
    }
}

TEST_F(FieldValidation, NumberInRangeReadsNumbersAndDigitSets) {
    const std::vector<std::tuple<std::string, int32_t, int32_t, bool, bool>> cases = {
        {"1 5 ", 135, DigitSetMarker, false, true},  // blanks pass a digit set
        {"105 ", 135, DigitSetMarker, false, false},
        {"105 ", -135, DigitSetMarker, false, true},  // a negative set allows '0'
        {"   5", -10, -1, true, true},
        {"   5", -10, -1, false, false},
        {"12 3", 0, 999999999, false, false},  // not one number
        {"123456789", 0, 999999999, false, true},
        {"1234567891", 0, 999999999, false, false},  // too long
        {"  \0\0"s, -5, 5, false, false},            // no digit at all
        {"x-07", 7, 7, false, true},                 // text before the first digit is skipped
    };
    for (const auto& [field, lower, upper, negative, inside] : cases) {
        Layout({'O'}, field);
        EXPECT_EQ(NumberInRange(1, WorkRecord, lower, upper, negative), inside) << field;
    }
    EXPECT_FALSE(NumberInRange(2, WorkRecord, 0, 9, false));
}

TEST_F(FieldValidation, RangeChecksWithAndWithoutACondition) {
    // Field 2 may hold 1..99 while the condition field lies in its range.
    struct Case {
        uint8_t firstType;
        std::string first;
        int16_t conditionField;
        int32_t from, to;
        std::string second;
        bool beeps;
    };
    const std::vector<Case> cases = {
        {'J', " 7", 1, 1, 5, " 100", false},  // condition outside: no range
        {'J', " 3", 1, 1, 5, " 100", true},      {'J', " 3", 1, 1, 5, "  99", false},
        {'J', "-3", 1, -5, -1, " 100", true},     // the condition field's sign counts
        {'J', " 7", 0, 1, 5, " 100", true},       // no condition
        {'J', " 7", 3, 1, 5, " 100", true},       // beyond the field count: no condition
        {'A', " 7", 1, 1, 5, " 100", true},       // an alpha field is no condition
        {'J', " 7", 2, -200, -50, "-100", true},  // the field itself, with its own sign
        {'J', " 7", 2, 50, 200, "-100", false},
    };
    for (const Case& c : cases) {
        Layout({c.firstType, 'J'}, c.first);
        FieldTable[2].RangeFrom = 1;
        FieldTable[2].RangeTo = 99;
        FieldExtras[2] = FieldExtra{0, c.conditionField, c.from, c.to};
        Put(WorkRecord, 2, c.second);
        EXPECT_EQ(ExitBeeps(2), c.beeps ? 1 : 0) << c.first << " " << c.conditionField;
        EXPECT_EQ(Get(WorkRecord, 1), c.first) << "the condition field keeps its sign";
        EXPECT_EQ(Get(WorkRecord, 2), c.second);
    }
}

TEST_F(FieldValidation, RecordCounterWritesTheRecordNumber) {
    Layout({'T'}, "\0\0\0"s);
    CurrentRecordNumber = 12;
    EXPECT_EQ(ExitBeeps(1), 0);
    EXPECT_EQ(Get(WorkRecord, 1), " 12");
    EXPECT_EQ(Get(VerifyRecord, 1), "12\0"s);

    FieldTable[1].RangeFrom = 998;  // start 998, maximum 999
    FieldTable[1].RangeTo = 999;
    CurrentRecordNumber = 2;
    EXPECT_EQ(ExitBeeps(1), 0);
    EXPECT_EQ(Get(WorkRecord, 1), "999");
    CurrentRecordNumber = 3;     // 1000: above the maximum, and too long for three places
    EXPECT_EQ(ExitBeeps(1), 1);  // one counter, one beep
    EXPECT_EQ(Get(WorkRecord, 1) + Get(VerifyRecord, 1), "000000");
}

TEST_F(FieldValidation, ValidateAllInEntryModeFillsFieldsNeverVisited) {
    Layout({'A', 'E'}, "AB\0"s, 2);
    EXPECT_TRUE(ValidateAll(false));  // loading: the record stays as read
    EXPECT_EQ(Get(WorkRecord, 1) + Get(WorkRecord, 2), "AB\0\0\0"s);
    EXPECT_TRUE(ValidateAll(true));  // committing
    EXPECT_EQ(Get(WorkRecord, 1) + Get(WorkRecord, 2), "AB \r\n");
    EXPECT_EQ(Get(VerifyRecord, 2), "\r\n");
}

TEST_F(FieldValidation, VerifyComparesTheFormattedInputAndArmsEveryMismatch) {
    Mode = ModeVerify;
    Layout({'E', 'J', 'J', 'J'}, "\0\0"s);
    Put(WorkRecord, 2, "  12");
    Put(VerifyRecord, 2, "12\0\0"s);  // keyed left, formatted to match
    Put(WorkRecord, 3, "  34");
    Put(VerifyRecord, 3, "35\0\0"s);
    Put(WorkRecord, 4, "  56");  // not keyed again: only an empty field would match
    console.Type("x");           // the key that starts keying again
    bool passed = true;
    ASSERT_TRUE(console.Run([&] {
        PlaceCursorAtRecordPos(1);
        passed = ValidateAll(true);
    }));
    EXPECT_FALSE(passed);
    EXPECT_EQ(console.host().Beeps(), 2);
    EXPECT_EQ(Get(VerifyRecord, 2), "  12");
    // Both mismatches are kept for Korrektur and emptied for keying again, and
    // every field was processed although the last one failed first.
    EXPECT_EQ(Get(DupRecord, 3), "  35");
    EXPECT_EQ(Get(VerifyRecord, 3) + Get(VerifyRecord, 4), std::string(8, '\0'));
    EXPECT_EQ(Get(WorkRecord, 1), "\r\n");
    // The field armed last is the first mismatch: the cursor is on its first
    // digit, and the key waits for the record loop.
    EXPECT_EQ(CursorRecordPos(), FieldTable[3].RecordPos + 2);
    EXPECT_TRUE(KeyQueue.KeyAvailable);
    EXPECT_FALSE(RekeyPending);
}

TEST_F(FieldValidation, EntryFieldsDrawTheKeyedBufferAcrossRows) {
    Layout({'A'}, "\0\r\n\x07\x7F\x81"s);
    FieldTable[1].ScreenPos = 79;  // the last two cells of row 2, then row 3
    Put(VerifyRecord, 1, "123456");
    MoveCursor(10, 5);
    DrawEntryField(1);
    EXPECT_EQ(console.Text(79, 2, 2) + console.Text(1, 3, 5), ".┘┌??ü ");
    EXPECT_EQ(console.Cell(2, 3).color, kYellow);
    EXPECT_EQ(CursorX * 100 + CursorY, 1005);  // the cursor stays

    Mode = ModeVerify;
    DrawAllEntryFields(3);
    EXPECT_EQ(console.Text(79, 2, 2) + console.Text(1, 3, 4), "123456");
    EXPECT_EQ(CursorRecordPos(), 3);

    // On the last row a field is drawn up to the screen's end, never beyond.
    FieldTable[1].ScreenPos = 22 * 80 + 78;
    DrawEntryField(1);
    EXPECT_EQ(console.Text(78, 24, 3), "123");
    EXPECT_EQ(console.Text(1, 25, 3), "   ");  // the legend line is not written
}

TEST_F(FieldValidation, ArmRekeyStartsWhereTheStoredValueBegins) {
    Mode = ModeVerify;
    const std::vector<std::tuple<uint8_t, std::string, int>> cases = {
        {'A', "  AB", 2},      {'A', "\0 0-"s, 2},  // alpha: only blanks and unkeyed places
        {'J', "  -12", 3},     {'J', "0012", 0},    // numeric: also the sign
        {'R', "00120", 2},     {'R', "-0000", 4},   // zero-filled: also zeros
        {'J', "\0\0\0\0"s, 0},
    };
    for (const auto& [type, stored, offset] : cases) {
        Layout({type}, stored);
        Put(VerifyRecord, 1, std::string(stored.size(), '9'));
        RekeyPending = true;
        console.Add(script::Key(VkRight));  // a cursor key leaves the field alone
        ASSERT_TRUE(console.Run([] { ArmRekey(1); }));
        EXPECT_EQ(CursorRecordPos(), 1 + offset) << stored;
        EXPECT_EQ(Get(VerifyRecord, 1), std::string(stored.size(), '9'));
        EXPECT_TRUE(RekeyPending && KeyQueue.KeyAvailable);
        ResetKeyboard();
    }

    Layout({'J'}, "  12");
    Put(VerifyRecord, 1, "  13");
    MismatchBeepArmed = false;
    console.Type("7");  // a character starts keying again
    ASSERT_TRUE(console.Run([] { ArmRekey(1); }));
    EXPECT_EQ(Get(DupRecord, 1), "  13");  // kept for Korrektur
    EXPECT_EQ(Get(VerifyRecord, 1), "\0\0\0\0"s);
    EXPECT_EQ(console.Text(1, 2, 4), "....");
    EXPECT_TRUE(!RekeyPending && MismatchBeepArmed);
    EXPECT_EQ(ReadKey(), '7');  // still there for the record loop

    Mode = ModeEntry;  // nothing happens, and nothing waits for a key
    Put(VerifyRecord, 1, "  13");
    ASSERT_TRUE(console.Run([] { ArmRekey(1); }));
    EXPECT_EQ(Get(VerifyRecord, 1), "  13");
}

// Damaged layouts (fields of length 0 or less, fields running past the record
// or the screen, condition fields that do not exist) and arbitrary bytes in the
// records: every check, sign helper and drawing stays inside the buffers (the
// sanitizer build reports any stray access).
TEST_F(FieldValidation, DamagedLayoutsAndArbitraryRecordsNeverLeaveTheBuffers) {
    std::mt19937 random(1840);
    const auto pick = [&](std::initializer_list<int32_t> values) {
        return *(values.begin() + random() % values.size());
    };
    const auto between = [&](int low, int high) {
        return low + static_cast<int>(random() % static_cast<unsigned>(high - low + 1));
    };
    for (int round = 0; round < 300; ++round) {
        ResetFieldModel();
        FieldCount = static_cast<uint16_t>(between(1, 40));
        for (int n = 1; n <= FieldCount; ++n) {
            FieldTable[n] =
                FieldDef{static_cast<int16_t>(between(-40, 1900)),
                         static_cast<int16_t>(between(-100, 1900)),
                         static_cast<int16_t>(between(-3, 120)),
                         static_cast<uint8_t>(random() % 2 ? 'A' + random() % 26 : random()),
                         pick({1, 0, -135, 135, 998, INT32_MIN, INT32_MAX}),
                         pick({0, 99, 999, DigitSetMarker, INT32_MIN, INT32_MAX})};
            FieldExtras[n] = FieldExtra{static_cast<int16_t>(between(0, 6)),
                                        static_cast<int16_t>(between(-3, FieldCount + 3)),
                                        pick({1, -5, INT32_MIN}), pick({0, 5, INT32_MAX})};
        }
        for (RecordBuffer* record : {&WorkRecord, &VerifyRecord, &DupRecord}) {
            for (uint8_t& byte : *record) byte = static_cast<uint8_t>(random());
        }
        CurrentRecordNumber = pick({0, 1, 3, INT32_MAX});
        DeliverKey(0x58, 0, 'x');  // a waiting key: a mismatch never blocks
        ASSERT_TRUE(console.Run([&] {
            MoveCursor(between(1, 80), between(2, 24));
            Mode = ModeVerify;
            ValidateAll(true);
            Mode = ModeEntry;
            ValidateAll(true);
            DrawAllEntryFields(between(-5, 1845));
            for (int n = -1; n <= FieldCount + 1; ++n) FieldIsEmpty(n);
        }));
    }
}
