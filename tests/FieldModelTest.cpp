#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "console/ConsoleScreen.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/ScreenLayout.h"
#include "platform/CodePage.h"
#include "screens/FieldCursor.h"

namespace {

// Stands in for the journal: the layout as it was before the edit.
std::vector<FieldDef> journalCopy;
uint16_t journalCount = 0;

void RememberLayout() {
    journalCopy.assign(FieldTable.begin(), FieldTable.end());
    journalCount = FieldCount;
}

class FieldModel : public ::testing::Test {
  protected:
    void SetUp() override {
        FillFieldTypeTable();
        ResetFieldModel();
        FieldHooks = FieldEditHooks{};
        FieldHooks.WriteJournal = [] { RememberLayout(); };
        RememberLayout();
        MoveCursor(1, 2);
    }
    void TearDown() override { FieldHooks = FieldEditHooks{}; }

    // Puts the console cursor on record position p.
    void CursorAt(int p) { PlaceCursorAtRecordPos(p); }
};

::testing::AssertionResult InvariantsHold() {
    int expectedStart = 1;
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& f = FieldTable[n];
        if (f.Length < 1)
            return ::testing::AssertionFailure() << "field " << n << " has length " << f.Length;
        if (f.RecordPos != expectedStart)
            return ::testing::AssertionFailure() << "gap before field " << n;
        expectedStart += f.Length;
        if (n > 1 && f.ScreenPos < FieldTable[n - 1].ScreenPos + FieldTable[n - 1].Length) {
            return ::testing::AssertionFailure() << "field " << n << " overlaps on the screen";
        }
        if (f.ScreenPos < 1)
            return ::testing::AssertionFailure() << "field " << n << " before the screen";
    }
    if (RecordLength() > MaxRecordLength) return ::testing::AssertionFailure() << "record too long";
    if (FieldCount > 0) {
        const FieldDef& last = FieldTable[FieldCount];
        if (last.ScreenPos + last.Length - 1 > MaxRecordLength) {
            return ::testing::AssertionFailure() << "last field runs off the screen";
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(FieldModel, AnEmptyLayout) {
    EXPECT_EQ(RecordLength(), 0);
    EXPECT_EQ(CursorRecordPos(), 1);
    EXPECT_EQ(FieldAtRecordPos(1), 1);
    PlaceCursorAtRecordPos(5);
    EXPECT_EQ(CursorX, 1);
    EXPECT_EQ(CursorY, 2);
    EXPECT_EQ(RecordPosOf(1, 1), 1);
    EXPECT_EQ(RecordPosOf(0, 1), 0);
    EXPECT_EQ(RecordPosOf(1, 1), 1);  // 1 > count 0: behind the record
}

TEST_F(FieldModel, QueriesMapRecordAndScreenPositions) {
    PutField(1, 'A', 10);
    PutField(2, 'N', 5);
    FieldTable[2].ScreenPos = 81;  // the second field starts on the next row
    EXPECT_EQ(RecordLength(), 15);
    EXPECT_EQ(FieldAtRecordPos(12), 2);
    EXPECT_EQ(FieldAtRecordPos(16), 3);
    EXPECT_EQ(RecordPosOf(2, 3), 13);
    EXPECT_EQ(RecordPosOf(-1, 3), 0);
    PlaceCursorAtRecordPos(13);
    EXPECT_EQ(CursorX, 3);
    EXPECT_EQ(CursorY, 3);
    EXPECT_EQ(CursorRecordPos(), 13);
    EXPECT_EQ(CursorField(), 2);
    MoveCursor(40, 2);  // a gap on the screen belongs to no field
    EXPECT_EQ(CursorRecordPos(), 16);
    PlaceCursorAtRecordPos(99);  // the cell after the last field
    EXPECT_EQ(CursorX, 6);
    EXPECT_EQ(CursorY, 3);
}

TEST_F(FieldModel, FieldsThatDoNotFitAreDropped) {
    PutField(1, 'A', 1840);
    EXPECT_EQ(FieldCount, 1);
    PutField(2, 'A', 1);  // would end at screen position 1841
    EXPECT_EQ(FieldCount, 1);
    ResetFieldModel();
    PutField(1, 'A', 1000);
    FieldTable[1].ScreenPos = 1;
    PutField(2, 'A', 900);  // record would be 1900 long
    EXPECT_EQ(FieldCount, 1);
    PutField(2, 'A', 0);
    PutField(2, 'A', 1841);
    PutField(0, 'A', 5);
    EXPECT_EQ(FieldCount, 1);
}

TEST_F(FieldModel, SplittingRetypingAndMerging) {
    PutField(1, 'N', 10);
    FieldTable[1].RangeFrom = 5;
    FieldTable[1].RangeTo = 9;
    FieldExtras[1].AddressColumn = 3;
    CursorAt(4);
    EXPECT_TRUE(SetTypeSplitOrMerge(1, 'A', CursorRecordPos()));
    ASSERT_EQ(FieldCount, 2);
    EXPECT_EQ(FieldTable[1].Length, 3);
    EXPECT_EQ(FieldTable[2].Length, 7);
    EXPECT_EQ(FieldTable[2].Type, 'A');
    EXPECT_FALSE(HasRange(FieldTable[2]));
    EXPECT_EQ(FieldExtras[2].AddressColumn, 0);
    EXPECT_EQ(FieldTable[2].ScreenPos, 4);

    // Retyping on the first character keeps range and extras, even across kinds.
    CursorAt(1);
    SetTypeSplitOrMerge(1, 'A', CursorRecordPos());
    EXPECT_EQ(FieldTable[1].Type, 'A');
    EXPECT_EQ(FieldTable[1].RangeTo, 9);
    EXPECT_EQ(FieldExtras[1].AddressColumn, 3);

    // '-' inside a field or on field 1 does nothing; on the start of field 2 it merges.
    CursorAt(5);
    SetTypeSplitOrMerge(2, '-', CursorRecordPos());
    CursorAt(1);
    SetTypeSplitOrMerge(1, '-', CursorRecordPos());
    EXPECT_EQ(FieldCount, 2);
    CursorAt(4);
    EXPECT_TRUE(SetTypeSplitOrMerge(2, '.', CursorRecordPos()));
    EXPECT_EQ(FieldCount, 1);
    EXPECT_EQ(FieldTable[1].Length, 10);
}

TEST_F(FieldModel, MergingAcrossAGapAsksForARedraw) {
    PutField(1, 'A', 5);
    PutField(2, 'A', 5);
    PutField(3, 'N', 2);
    FieldExtras[3].ConditionField = 7;
    FieldTable[2].ScreenPos = 81;
    FieldTable[3].ScreenPos = 161;
    CursorAt(6);
    EXPECT_FALSE(SetTypeSplitOrMerge(2, ' ', CursorRecordPos()));
    ASSERT_EQ(FieldCount, 2);
    EXPECT_EQ(FieldTable[1].Length, 10);
    EXPECT_EQ(FieldTable[1].ScreenPos, 1);
    // The following field moved down with its companions.
    EXPECT_EQ(FieldTable[2].Type, 'N');
    EXPECT_EQ(FieldExtras[2].ConditionField, 7);
    EXPECT_TRUE(InvariantsHold());
}

// Field n's condition as "field:from" (from tells whose condition it is).
std::string Condition(int n) {
    return std::to_string(FieldExtras[n].ConditionField) + ":" +
           std::to_string(FieldExtras[n].ConditionFrom);
}

TEST_F(FieldModel, ConditionsFollowTheirFieldAndGoWithIt) {
    for (int n = 1; n <= 4; ++n) {
        PutField(n, 'N', 5);
        FieldExtras[n].ConditionFrom = 10 * n;
        FieldExtras[n].ConditionTo = 99;
    }
    FieldExtras[1].ConditionField = 2;
    FieldExtras[2].ConditionField = 4;
    FieldExtras[3].ConditionField = 1;
    FieldExtras[4].ConditionField = 3;

    CursorAt(3);  // field 1 splits into 1 and a new 2; fields 2 to 4 become 3 to 5
    SetTypeSplitOrMerge(1, 'A', CursorRecordPos());
    ASSERT_EQ(FieldCount, 5);
    EXPECT_EQ(Condition(1), "3:10");
    EXPECT_EQ(Condition(2), "0:1");
    EXPECT_EQ(Condition(3), "5:20");
    EXPECT_EQ(Condition(4), "1:30");
    EXPECT_EQ(Condition(5), "4:40");

    CursorAt(11);  // the old field 3, now 4, joins the old field 2: its conditions go
    EXPECT_TRUE(SetTypeSplitOrMerge(4, '-', CursorRecordPos()));
    ASSERT_EQ(FieldCount, 4);
    EXPECT_EQ(Condition(1), "3:10");
    EXPECT_EQ(Condition(3), "4:20");
    EXPECT_EQ(Condition(4), "0:1");
    EXPECT_EQ(FieldExtras[4].ConditionTo, 0);

    RemoveLastField();  // the old field 4 goes, and the old field 2's condition on it
    EXPECT_EQ(Condition(3), "0:1");
    EXPECT_EQ(FieldExtras[3].ConditionTo, 0);
    EXPECT_EQ(Condition(1), "3:10");
}

TEST_F(FieldModel, GrowingPushesOnlyTouchingFieldsAndShrinkingNeverPulls) {
    PutField(1, 'A', 5);
    PutField(2, 'A', 5);
    PutField(3, 'A', 5);
    FieldTable[3].ScreenPos = 81;
    EXPECT_TRUE(ResizeField(1, +1));
    EXPECT_EQ(FieldTable[2].ScreenPos, 7);
    EXPECT_EQ(FieldTable[2].RecordPos, 7);
    EXPECT_EQ(FieldTable[3].ScreenPos, 81);
    EXPECT_EQ(FieldTable[3].RecordPos, 12);
    EXPECT_TRUE(ResizeField(1, -1));
    EXPECT_EQ(FieldTable[2].ScreenPos, 7);  // stays where it was pushed
    EXPECT_EQ(FieldTable[2].RecordPos, 6);
    EXPECT_TRUE(ResizeField(9, +1));  // no such field: nothing, no undo
    FieldTable[1].Length = 1;
    EXPECT_TRUE(ResizeField(1, -1));  // length 0 is refused
    EXPECT_EQ(FieldTable[1].Length, 1);
}

TEST_F(FieldModel, GrowingPastTheScreenIsUndone) {
    PutField(1, 'A', 1830);
    PutField(2, 'A', 10);
    // The journal lags behind (its last write failed): the undo must not read it.
    EXPECT_FALSE(ResizeField(1, +1));
    EXPECT_EQ(FieldTable[1].Length, 1830);
    EXPECT_EQ(FieldTable[2].ScreenPos, 1831);
    EXPECT_TRUE(InvariantsHold());
}

TEST_F(FieldModel, CharactersInsertedAndDeletedStayInTheirField) {
    PutField(1, 'A', 4);
    PutField(2, 'A', 3);
    RecordBuffer buffer{};
    const std::string text = "abcdxyz";
    std::copy(text.begin(), text.end(), buffer.begin());
    InsertCharInField(2, '!', buffer);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 7), "a!bcxyz");
    InsertCharInField(4, '?', buffer);  // last position: only that byte
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 7), "a!b?xyz");
    DeleteCharInField(5, buffer);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 6), "a!b?yz");
    EXPECT_EQ(buffer[6], 0);
    RecordBuffer before = buffer;
    DeleteCharInField(9, buffer);  // in no field
    InsertCharInField(9, 'q', buffer);
    EXPECT_FALSE(RecordsDiffer(before, buffer));
    buffer[1839] = 1;
    EXPECT_TRUE(RecordsDiffer(before, buffer));
}

TEST_F(FieldModel, LayoutMarksFrameTheFieldsAndCanBeReset) {
    PutField(1, 'A', 2);
    FieldTable[1].ScreenPos = 82;  // row 3, columns 2 and 3
    LayoutCell(2, 2) = 'L';        // text is never changed
    LayoutCell(3, 4) = EmptyCellFieldBelow;
    MarkFieldFrames();
    EXPECT_EQ(LayoutCell(2, 2), 'L');
    EXPECT_EQ(LayoutCell(3, 2), EmptyCellFieldBelow);
    EXPECT_EQ(LayoutCell(2, 4), EmptyCellFieldAbove);
    EXPECT_EQ(LayoutCell(3, 4), EmptyCellFieldsBoth);
    EXPECT_EQ(LayoutCell(4, 4), EmptyCell);
    PutField(2, 'A', 1);
    FieldTable[2].ScreenPos = 242;  // row 5, column 2: (2, 4) lies between two fields
    MarkFieldFrames();
    EXPECT_EQ(LayoutCell(2, 4), EmptyCellFieldsBoth);
    // A field on row 2 marks nothing on the status row, one on row 24 nothing on 25.
    PutField(2, 'A', 1);
    FieldTable[2].ScreenPos = 1840;
    MarkFieldFrames();
    EXPECT_EQ(LayoutCell(80, 23), EmptyCellFieldBelow);
    EXPECT_EQ(LayoutCell(80, 25), EmptyCell);
    ResetLayoutMarks();
    EXPECT_EQ(LayoutCell(3, 4), EmptyCell);
    EXPECT_EQ(LayoutCell(2, 2), 'L');
    ClearLayout();
    EXPECT_EQ(LayoutCell(2, 2), EmptyCell);
}

TEST_F(FieldModel, LongRandomEditingKeepsTheInvariants) {
    std::mt19937 random(20261208);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (int step = 0; step < 20000; ++step) {
        const int op = pick(0, 9);
        if (op <= 2) {
            PutField(FieldCount + 1, static_cast<uint8_t>('A' + pick(0, 25)),
                     pick(1, op == 0 ? 200 : 20));
        } else if (op <= 5 && FieldCount > 0) {
            CursorAt(pick(1, RecordLength()));
            const uint8_t c =
                pick(0, 1) ? static_cast<uint8_t>('A' + pick(0, 25)) : " -."[pick(0, 2)];
            SetTypeSplitOrMerge(CursorField(), c, CursorRecordPos());
        } else if (op <= 8 && FieldCount > 0) {
            RememberLayout();
            ResizeField(pick(1, FieldCount), pick(0, 1) ? 1 : -1);
        } else if (op == 9) {
            RemoveLastField();
        }
        ASSERT_TRUE(InvariantsHold()) << "after step " << step << " (operation " << op << ")";
        if (FieldCount > 1500) ResetFieldModel();
    }
}

TEST(FieldTypes, TableAndKinds) {
    FillFieldTypeTable();
    // The address columns by number; a number out of range names nothing.
    std::string columns;
    for (int column = 0; column <= 7; ++column) columns += AddressColumnName(column) + "|";
    EXPECT_EQ(columns, "|Str.|Hausnr.|PLZ|Ort|Ortszus.|Ortsteil||");
    EXPECT_EQ(TypeOf('B').Name,
              "\x9A"
              "bergehen (Bypass)");
    EXPECT_EQ(TypeOf('T').Flags, Bypass | RightJustify | RecordCounter);
    EXPECT_EQ(TypeOf('N').Flags, TypeOf('J').Flags);
    EXPECT_TRUE(IsNumericType('C'));
    EXPECT_FALSE(IsNumericType('Z'));
    EXPECT_EQ(TypeOf('x').Kind, KindNone);  // no type letter: harmless
    EXPECT_EQ(TypeOf(0).Flags, 0);
    for (char letter = 'A'; letter <= 'Z'; ++letter) EXPECT_NE(TypeOf(letter).Kind, KindNone);

    // Every row: the name the status line shows, the kind, and what the type does.
    struct Row {
        char letter;
        const char* name;  // UTF-8
        FieldKind kind;
        int flags;
    };
    const Row rows[] = {
        {'A', "Alpha Standard", KindAlpha, 0},
        {'B', "Übergehen (Bypass)", KindAlpha, Bypass},
        {'C', "Prüfziffer Modulus 11", KindNumeric, RightJustify | CheckDigit | Modulus11},
        {'D', "Num Auto Dup", KindNumeric, RightJustify | AutoDup | AutoSkip},
        {'E', "Endemarke (CR+LF)", KindAlpha, Bypass | EndMarker},
        {'F', "Prüfziffer Modulus 10 Auto Skip", KindNumeric,
         RightJustify | AutoSkip | CheckDigit | Modulus10},
        {'G', "Prüfziffer Modulus 11 Auto Skip", KindNumeric,
         RightJustify | AutoSkip | CheckDigit | Modulus11},
        {'H', "Prüfziffer Modulus 10", KindNumeric, RightJustify | CheckDigit | Modulus10},
        {'I', "Alpha Rechtsb. (Space)", KindAlpha, RightJustify},
        {'J', "Num Rechtsb. (Space)", KindNumeric, RightJustify},
        {'K', "Alpha Auto Skip", KindAlpha, AutoSkip},
        {'L', "Prüfziffer Modulus 10 Auto Dup", KindNumeric,
         RightJustify | AutoDup | AutoSkip | CheckDigit | Modulus10},
        {'M', "Prüfziffer Modulus 11 Auto Dup", KindNumeric,
         RightJustify | AutoDup | AutoSkip | CheckDigit | Modulus11},
        {'N', "Num Standard", KindNumeric, RightJustify},
        {'O', "Num Unformatiert", KindNumeric, 0},
        {'P', "Num Unformatiert Auto Dup", KindNumeric, AutoDup | AutoSkip},
        {'Q', "Num Unformatiert Auto Skip", KindNumeric, AutoSkip},
        {'R', "Num Rechtsb. (Null)", KindNumeric, RightJustify | ZeroFill},
        {'S', "Num Auto Skip", KindNumeric, RightJustify | AutoSkip},
        {'T', "Num Satz-Zähler", KindNumeric, Bypass | RightJustify | RecordCounter},
        {'U', "Alpha Auto Dup", KindAlpha, AutoDup | AutoSkip},
        {'V', "Num Standard ohne Prüfung", KindNumeric, RightJustify | NoVerify},
        {'W', "Alpha Standard ohne Prüfung", KindAlpha, NoVerify},
        {'X', "Num Rechtsb. (Null) ohne Prüfung", KindNumeric, RightJustify | ZeroFill | NoVerify},
        {'Y', "Num Rechtsb. (Space) ohne Prüfung", KindNumeric, RightJustify | NoVerify},
        {'Z', "Alpha Rechtsb. (Space) o. Prüfung", KindAlpha, RightJustify | NoVerify},
    };
    for (const Row& row : rows) {
        const FieldType& type = TypeOf(static_cast<uint8_t>(row.letter));
        EXPECT_EQ(OemToUtf8(type.Name), row.name) << row.letter;
        EXPECT_EQ(type.Kind, row.kind) << row.letter;
        EXPECT_EQ(type.Flags, row.flags) << row.letter;
    }
}
