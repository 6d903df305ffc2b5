#include <gtest/gtest.h>

#include "console/WinCrt.h"
#include "files/Tables.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "screens/DataFileDialogs.h"
#include "screens/LayoutFiles.h"
#include "screens/LineEditor.h"
#include "screens/Prompts.h"
#include "screens/RecordActions.h"
#include "screens/Session.h"
#include "screens/StatusLine.h"
#include "tests/kit/ConsoleHarness.h"

namespace {

class StatusLine : public ::testing::Test {
  protected:
    void SetUp() override {
        FillFieldTypeTable();
        ResetFieldModel();
        Mode = ModeDefinition;
        SubMode = SubMain;
        ResetRecordActions();
        ResetDataFiles();
        ResetPrompts();
        ResetLineEditor();
        ResetDefinitionFiles();
    }
    void TearDown() override {
        Mode = ModeDefinition;
        SubMode = SubMain;
    }

    // The colour of every cell of a row from `from` to `to` (1-based, inclusive).
    void ExpectColors(int y, int from, int to, uint32_t color) {
        for (int x = from; x <= to; ++x)
            EXPECT_EQ(console.Cell(x, y).color, color) << "column " << x;
    }
    static std::string Padded(std::string text) {
        text.resize(80, ' ');
        return text;
    }

    ConsoleHarness console;
};

}  // namespace

TEST_F(StatusLine, DefinitionModeStatusShowsEveryPart) {
    PutField(1, 'A', 10);
    PutField(2, 'N', 5);
    FieldTable[2].RangeFrom = 1;
    FieldTable[2].RangeTo = 99;
    MoveCursor(7, 9);
    const int column = ShowStatus("Len", RecordLength(), 0, 2, true);
    EXPECT_EQ(column, 4);
    std::string expected = Padded("Len 15");
    expected.replace(19, 36, "Feld 2 (11-15) [1...99] Num Standard");
    expected.replace(72, 7, "FeldDef");
    EXPECT_EQ(console.Row(1), expected);
    ExpectColors(1, 1, 3, kDarkGrey);
    ExpectColors(1, 5, 6, kRed);
    ExpectColors(1, 20, 24, kDarkGrey);
    ExpectColors(1, 25, 25, kRed);
    ExpectColors(1, 26, 55, kDarkGrey);
    ExpectColors(1, 73, 79, kRed);
    EXPECT_FALSE(console.Cell(1, 1).underline);
    EXPECT_EQ(CursorX, 7);  // the cursor is back where it was
    EXPECT_EQ(CursorY, 9);
}

TEST_F(StatusLine, RecordNumberTablesAddressesAndConditions) {
    PutField(1, 'N', 4);
    FieldTable[1].RangeFrom = -135;
    FieldTable[1].RangeTo = DigitSetMarker;
    FieldExtras[1].ConditionField = 2;
    FieldExtras[1].AddressColumn = 3;
    Mode = ModeVerify;
    ShowStatus("Pos", 3, 1000000, 1, true);
    EXPECT_EQ(console.Row(1).substr(8, 8), "S1000000");
    EXPECT_EQ(console.Text(20, 1, 40), "Feld 1 (1-4) {0135,Adr:PLZ} Num Standard");
    EXPECT_EQ(console.Row(1).substr(72, 8), " Prüfen");

    // Outside the count only title, number and mode word appear.
    ShowStatus("Pos", 12, 7, 2, true);
    EXPECT_EQ(console.Row(1), Padded("Pos 12  Satz 7").replace(72, 8, " Prüfen "));
    // Without `full` only the number changes.
    ShowStatus("ignored", 3, 0, 0, false);
    EXPECT_EQ(console.Row(1).substr(0, 14), "Pos 3   Satz 7");
}

TEST_F(StatusLine, LongTypeNamesAreShortened) {
    PutField(1, 'X', 4);  // "Num Rechtsb. (Null) ohne Prüfung", 32 characters
    ShowStatus("Len", 0, 0, 1, true);
    EXPECT_EQ(console.Text(33, 1, 33), "Num Rechtsb. (Null) ohne Prüfung ");
    FieldTable[1].RangeFrom = 1;
    FieldTable[1].RangeTo = 99;
    ShowStatus("Len", 0, 0, 1, true);
    // "[1...99] " leaves 31 columns before column 73: too few for the name.
    EXPECT_EQ(console.Text(33, 1, 15), "[1...99] Num X ");
    FieldTable[1].RangeFrom = -100000000;
    FieldTable[1].RangeTo = 100000000;
    TableAssignments[1].Name = "ORTE1234";
    TableAssignments[1].Table = NewLookupTable();
    ShowStatus("Len", 0, 0, 1, true);
    // Two columns left: the letter alone.
    EXPECT_EQ(console.Text(33, 1, 40), "[-100000000...100000000,Tab:ORTE1234] X ");
    // A long title simply runs under the later parts.
    ShowStatus(std::string(30, '-'), 0, 0, 0, true);
    EXPECT_EQ(console.Text(1, 1, 31), std::string(30, '-') + " ");
}

TEST_F(StatusLine, TablesShowInsteadOfAnEmptyRange) {
    PutField(1, 'N', 4);  // range from 1 to 0: none
    TableAssignments[1].Name = "ORTE";
    ShowStatus("Len", 0, 0, 1, true);
    EXPECT_EQ(console.Row(1).substr(19, 26), "Feld 1 (1-4) Num Standard ");
    TableAssignments[1].Table = NewLookupTable();
    ShowStatus("Len", 0, 0, 1, true);
    EXPECT_EQ(console.Row(1).substr(19, 37), "Feld 1 (1-4) [Tab:ORTE] Num Standard ");
}

TEST_F(StatusLine, EntryLegendWithDupSkipOn) {
    Mode = ModeEntry;
    DupSkipOn = true;
    MoveCursor(3, 4);
    ShowLegend(LegendFor());
    EXPECT_EQ(
        console.Row(25),
        Padded(" F1Ende F2Save F3Load F4Dup/Skip F5Suchen F6Dup F7Ins Satz F8Del Satz   F9Modus"));
    ExpectColors(25, 1, 1, kDarkGrey);
    ExpectColors(25, 2, 3, kRed);       // F1
    ExpectColors(25, 4, 8, kDarkGrey);  // Ende
    ExpectColors(25, 22, 24, kOrange);  // " F4" switched on
    ExpectColors(25, 25, 33, kWhite);   // "Dup/Skip " dark grey on black shows white
    ExpectColors(25, 34, 35, kRed);     // F5
    EXPECT_EQ(CursorX, 3);
    EXPECT_EQ(CursorY, 4);
    EXPECT_EQ(TextColor, kDarkGrey);
    DupSkipOn = false;
    ShowDupSkip();
    ExpectColors(25, 22, 24, kRed);
    ExpectColors(25, 25, 33, kDarkGrey);
}

TEST_F(StatusLine, ConversionLegendHighlightsExactlyTheChosenMode) {
    Mode = ModeEntry;
    SubMode = SubSaveData;
    const int columns[4] = {59, 13, 35, 68};  // modes 0, 1, 2, 3
    for (int mode = 0; mode < 4; ++mode) {
        ConversionMode = mode;
        ShowLegend(LegendFor());
        for (int other = 0; other < 4; ++other) {
            const uint32_t expected = other == mode ? kOrange : kRed;
            EXPECT_EQ(console.Cell(columns[other] + 1, 25).color, expected) << mode << " " << other;
        }
    }
    EXPECT_EQ(console.Row(25).substr(0, 13), " ESCAbbruch  ");
}

TEST_F(StatusLine, LegendsForEveryModeAndTheirSwitches) {
    ShowLegend("no keys here");
    ExpectColors(25, 1, 12, kDarkGrey);
    SubMode = SubWriteDefinition;
    SaveWithProgramKeys = true;
    ShowLegend(LegendFor());
    EXPECT_EQ(console.Text(1, 25, 44), " ESC Abbruch   F4 mit Programmtasten sichern");
    ExpectColors(25, 15, 18, kOrange);
    SubMode = 7;
    EXPECT_EQ(LegendFor(), "");
    Mode = ModeVerify;
    SubMode = SubPrintData;
    EXPECT_EQ(LegendFor(), LegendEscape);
    Mode = ModeEntry;
    EXPECT_EQ(LegendFor(), "");
    Mode = ModeEnd;
    EXPECT_EQ(LegendFor(), "");
    // The range switches only while the number editor asks for a range.
    Mode = ModeDefinition;
    SubMode = SubMain;
    ShowLegend(LegendRange);
    EXPECT_EQ(console.Cell(44, 25).color, kDarkGrey);
    RangePromptActive = true;
    RangeKind = DigitSet;
    ShowLegend(LegendRange);
    EXPECT_EQ(console.Text(43, 25, 37), " F6Zahl  F7Ziffern   F8mit Bedingung ");
    EXPECT_EQ(console.Cell(44, 25).color, kRed);
    EXPECT_EQ(console.Cell(52, 25).color, kOrange);
}
