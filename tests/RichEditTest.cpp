#include <gtest/gtest.h>

#include "platform/RichEdit.h"

namespace {

RichEdit TwoLines() {
    RichEdit edit;
    edit.AppendLine(U"abcd");
    edit.AppendLine(U"efgh");
    return edit;
}

}  // namespace

TEST(RichEdit, LineBreaksCountAsTwoCharacters) {
    RichEdit edit = TwoLines();
    EXPECT_EQ(edit.TextLength(), 4 + 2 + 4);
    int line = -1, column = -1;
    edit.IndexToCell(6, line, column);
    EXPECT_EQ(line, 1);
    EXPECT_EQ(column, 0);
    edit.IndexToCell(5, line, column);  // inside the break
    EXPECT_EQ(line, 0);
    EXPECT_EQ(column, 4);
    EXPECT_EQ(edit.CellToIndex(1, 2), 8);
}

TEST(RichEdit, ReplacingASelectionOverwritesWithoutChangingLineLengths) {
    RichEdit edit = TwoLines();
    edit.Select(7, 2);
    edit.SetSelectionColor(0x0000FF);
    edit.SetSelectionUnderline(true);
    edit.ReplaceSelection(U"XY");
    EXPECT_EQ(edit.LineText(1), U"eXYh");
    EXPECT_EQ(edit.Cell(1, 1).color, 0x0000FFu);
    EXPECT_TRUE(edit.Cell(1, 2).underline);
    EXPECT_FALSE(edit.Cell(1, 3).underline);
    EXPECT_EQ(edit.SelectionStart(), 9);  // caret behind the new text
    EXPECT_EQ(edit.SelectionLength(), 0);

    // A selection across the break skips it; text beyond the selection is dropped.
    edit.Select(3, 4);
    edit.ReplaceSelection(U"123456");
    EXPECT_EQ(edit.LineText(0), U"abc1");
    EXPECT_EQ(edit.LineText(1), U"2XYh");
    EXPECT_EQ(edit.LineLength(0), 4);
}

TEST(RichEdit, SelectedTextGivesBreaksAsCrLfAndClampsToTheText) {
    RichEdit edit = TwoLines();
    edit.Select(2, 6);
    EXPECT_EQ(edit.SelectedText(), U"cd\r\nef");
    edit.Select(8, 100);
    EXPECT_EQ(edit.SelectedText(), U"gh");
    edit.Select(-5, 2);
    EXPECT_EQ(edit.SelectionStart(), 0);
}

TEST(RichEdit, ClearAndAppendUseTheDefaultColour) {
    RichEdit edit = TwoLines();
    edit.Clear();
    EXPECT_EQ(edit.LineCount(), 0);
    edit.SetDefaultColor(0x777777);
    edit.AppendLine(U"  ");
    EXPECT_EQ(edit.Cell(0, 1).color, 0x777777u);
    EXPECT_EQ(edit.Cell(5, 5).ch, U' ');  // outside the text reads blank
    const uint64_t before = edit.LineRevision(0);
    edit.Select(0, 1);
    edit.ReplaceSelection(U"x");
    EXPECT_GT(edit.LineRevision(0), before);
}
