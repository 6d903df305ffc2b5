#include <gtest/gtest.h>

#include "console/WinCrt.h"
#include "platform/CodePage.h"
#include "tests/kit/ConsoleHarness.h"

namespace {

class ConsoleScreen : public ::testing::Test {
  protected:
    ConsoleHarness console;

    std::string CellText(int x, int y) { return console.Cell(x, y).ch; }
    void ExpectCursor(int x, int y) {
        EXPECT_EQ(CursorX, x);
        EXPECT_EQ(CursorY, y);
    }
};

}  // namespace

TEST_F(ConsoleScreen, ClearScreenLaysOutTheThreeControls) {
    EXPECT_EQ(console.main.LineCount(), 24);
    for (int line = 0; line < 23; ++line) EXPECT_EQ(console.main.LineLength(line), 81);
    EXPECT_EQ(console.main.LineText(23), std::u32string(81, kFillerGlyph));
    EXPECT_EQ(console.main.Cell(0, 80).ch, kFillerGlyph);
    EXPECT_EQ(console.main.Cell(3, 3).color, kGrey);
    EXPECT_EQ(console.status.LineText(0), std::u32string(80, U' '));
    ExpectCursor(1, 1);
    EXPECT_TRUE(console.status.Focused());
    EXPECT_FALSE(console.main.Focused());
}

TEST_F(ConsoleScreen, TwoCharactersAtTheRowEndTakeTheWholeStringPath) {
    MoveCursor(79, 5);
    WriteText("AB");
    EXPECT_EQ(CellText(79, 5), "A");
    EXPECT_EQ(CellText(80, 5), "B");
    ExpectCursor(1, 6);
    // The filler behind column 80 is never touched.
    EXPECT_EQ(console.main.Cell(3, 80).ch, kFillerGlyph);
}

TEST_F(ConsoleScreen, TextRunningPastColumn80WrapsCharacterByCharacter) {
    MoveCursor(79, 5);
    WriteText("ABC");
    EXPECT_EQ(CellText(80, 5), "B");
    EXPECT_EQ(CellText(1, 6), "C");
    ExpectCursor(2, 6);

    // Row 1 continues on row 2, row 24 on row 25: there is no scrolling.
    MoveCursor(80, 1);
    WriteText("XY");
    EXPECT_EQ(CellText(80, 1), "X");
    EXPECT_EQ(CellText(1, 2), "Y");
    MoveCursor(80, 24);
    WriteText("XY");
    EXPECT_EQ(CellText(1, 25), "Y");
    ExpectCursor(2, 25);
}

TEST_F(ConsoleScreen, Row25PilesUpInItsLastColumn) {
    MoveCursor(79, 25);
    WriteText("ABC");
    EXPECT_EQ(CellText(79, 25), "A");
    EXPECT_EQ(CellText(80, 25), "C");
    ExpectCursor(80, 25);
    MoveCursor(79, 25);
    WriteText("AB");
    ExpectCursor(80, 25);
}

TEST_F(ConsoleScreen, DisplayColourRulesRewriteTheTextColour) {
    SetForeColor(kWhite);
    SetBackColor(kDarkGrey);
    WriteText("x");
    EXPECT_EQ(TextColor, kBlack);
    EXPECT_EQ(console.Cell(1, 1).color, kBlack);
    // The rewrite persists: a later blue ground gives black underlined text.
    SetBackColor(kBlue);
    MoveCursor(1, 3);
    WriteText("y");
    EXPECT_EQ(console.Cell(1, 3).color, kBlack);
    EXPECT_TRUE(console.Cell(1, 3).underline);

    SetForeColor(kDarkGrey);
    SetBackColor(kBlack);
    WriteText("");  // an empty write changes no cell but applies the rules
    EXPECT_EQ(TextColor, kWhite);
    EXPECT_EQ(CursorX, 2);
    SetForeColor(kDarkGrey);
    SetBackColor(kWhite);
    WriteText("z");
    EXPECT_EQ(TextColor, kWhite);
    SetForeColor(kYellow);
    SetBackColor(kSilver);
    WriteText("z");
    EXPECT_EQ(TextColor, kYellow);
}

TEST_F(ConsoleScreen, UnderlineOnlyInTheMainArea) {
    SetForeColor(kDarkGrey);
    SetBackColor(kBlue);
    MoveCursor(1, 2);
    WriteText("ab");
    EXPECT_EQ(console.Cell(1, 2).color, kBlack);
    EXPECT_TRUE(console.Cell(2, 2).underline);
    SetForeColor(kDarkGrey);
    MoveCursor(1, 1);
    WriteText("ab");
    EXPECT_EQ(console.Cell(1, 1).color, kBlack);
    EXPECT_FALSE(console.Cell(1, 1).underline);
    // A later write with other colours takes the underline away again.
    SetForeColor(kYellow);
    MoveCursor(1, 2);
    WriteText("c");
    EXPECT_FALSE(console.Cell(1, 2).underline);
}

TEST_F(ConsoleScreen, PassThroughGlyphsAndUmlauts) {
    MoveCursor(1, 2);
    WriteText("\xDB\x81\xD9\xDA\xDC\xDD\xDE\xB0");
    EXPECT_EQ(console.Cell(1, 2).code, kFillerGlyph);
    EXPECT_EQ(CellText(2, 2), "ü");
    EXPECT_EQ(CellText(3, 2), "┘");
    EXPECT_EQ(CellText(4, 2), "┌");
    // Frame marks: edge above, edge below, both (upper and lower one eighth).
    EXPECT_EQ(CellText(5, 2), "▔");
    EXPECT_EQ(CellText(6, 2), "▁");
    EXPECT_EQ(console.Cell(7, 2).code, U'\U0001FB80');
    EXPECT_EQ(CellText(8, 2), "░");
}

TEST_F(ConsoleScreen, ClearToLineEndKeepsTheCursor) {
    MoveCursor(1, 25);
    WriteText("legend");
    MoveCursor(1, 25);
    ClearToLineEnd();
    EXPECT_EQ(console.Row(25), std::string(80, ' '));
    ExpectCursor(1, 25);
    MoveCursor(5, 3);
    WriteText("abcdef");
    MoveCursor(7, 3);
    ClearToLineEnd();
    EXPECT_EQ(console.Row(3).substr(0, 8), "    ab  ");
    ExpectCursor(7, 3);
}

TEST_F(ConsoleScreen, BatchingCollectsARunAndShowsItAtTheFlush) {
    MoveCursor(3, 4);
    BeginBatch();
    WriteText("a");
    WriteText("b");
    EXPECT_EQ(CellText(3, 4), " ");  // nothing shown yet
    SetForeColor(kRed);              // a colour change flushes the run first
    EXPECT_EQ(CellText(4, 4), "b");
    WriteText("c");
    EXPECT_EQ(CellText(5, 4), " ");  // still batching after the colour change
    FlushBatch();
    EXPECT_EQ(console.Cell(5, 4).color, kRed);
    EXPECT_EQ(console.Cell(4, 4).color, kBlack);  // white on dark grey shows black
    ExpectCursor(6, 4);
    WriteText("d");  // the flush ended batching: this shows at once
    EXPECT_EQ(CellText(6, 4), "d");
}

TEST_F(ConsoleScreen, BatchingAcrossTheRowEndRestartsOnTheNextRow) {
    MoveCursor(78, 6);
    BeginBatch();
    for (char ch : std::string("wxyz")) WriteText(std::string(1, ch));
    // The character at column 80 flushed the run and batching began again at (1, 7).
    EXPECT_EQ(console.Row(6).substr(77), "wxy");
    EXPECT_EQ(CellText(1, 7), " ");  // the new run is not shown yet
    FlushBatch();
    EXPECT_EQ(CellText(1, 7), "z");
    ExpectCursor(2, 7);

    // A flush of a run that starts in column 80 writes the single cell.
    MoveCursor(80, 8);
    BeginBatch();
    WriteText("q");
    EXPECT_EQ(CellText(80, 8), "q");
    ExpectCursor(1, 9);
    FlushBatch();
}

TEST_F(ConsoleScreen, ExpandPathIsAbsoluteAndCut) {
    EXPECT_EQ(ExpandPath("/tmp/../etc/./x"), "/etc/x");
    EXPECT_EQ(ExpandPath("\\tmp\\a.def"), "/tmp/a.def");
    EXPECT_EQ(ExpandPath(std::string(300, 'a')).size(), 255u);
}

TEST_F(ConsoleScreen, ScriptedProcedureEchoesTypedKeys) {
    console.Type("Grüße\r");
    const bool returned = console.Run([] {
        MoveCursor(1, 2);
        for (;;) {
            const uint8_t ch = ReadKey();
            if (ch == 13) break;
            WriteText(std::string(1, static_cast<char>(ch)));
        }
    });
    EXPECT_TRUE(returned);
    EXPECT_EQ(console.Row(2).substr(0, 7), "Grüße");
    int x = 0, y = 0;
    console.host().CursorCell(x, y);
    EXPECT_EQ(x, 6);
    EXPECT_EQ(y, 2);
}
