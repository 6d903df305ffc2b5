#include <gtest/gtest.h>

#include "console/WinCrt.h"
#include "screens/DataFileDialogs.h"
#include "screens/LineEditor.h"
#include "screens/Prompts.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "tests/kit/ConsoleHarness.h"

namespace {

class Editors : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLineEditor();
        ResetPrompts();
        ResetDataFiles();
        Mode = ModeDefinition;
        SubMode = SubMain;
    }
    void TearDown() override {
        ResetLineEditor();
        ResetPrompts();
        Mode = ModeDefinition;
        SubMode = SubMain;
    }

    std::pair<bool, std::string> Line(int maxLength) {
        std::string text = "old";
        bool result = false;
        console.Run([&] {
            MoveCursor(10, 1);
            result = LineEditor(text, maxLength);
        });
        return {result, text};
    }

    NumberInput Number() {
        NumberInput input;
        console.Run([&] {
            MoveCursor(10, 1);
            input = NumberEditor();
        });
        return input;
    }

    ConsoleHarness console;
};

}  // namespace

TEST_F(Editors, LineEditorTakesAtMostItsLengthAndEchoes) {
    console.Type("abcdefghij\r");
    auto [ok, text] = Line(8);
    EXPECT_TRUE(ok);
    EXPECT_EQ(text, "abcdefgh");
    EXPECT_EQ(console.Row(1).substr(9, 10), "abcdefgh  ");
}

TEST_F(Editors, LineEditorBackspaceAndEscape) {
    console.Add(script::Key(VkBack, 0, 8));  // nothing typed yet: nothing happens
    console.Type("ab");
    console.Add(script::Key(VkBack, 0, 8));
    console.Type("c");
    console.Add(script::Key(VkEscape, 0, 27));
    auto [ok, text] = Line(8);
    EXPECT_FALSE(ok);
    EXPECT_EQ(text, "ac");
    EXPECT_EQ(console.Row(1).substr(9, 3), "ac ");
}

TEST_F(Editors, BackspaceAtTheStartOfARowGoesToTheRowAbove) {
    console.Type("xy");
    console.Add(script::Key(VkBack, 0, 8));
    console.Add(script::Key(VkBack, 0, 8));
    console.Type("\r");
    std::string text;
    console.Run([&] {
        MoveCursor(80, 1);
        LineEditor(text, 50);
    });
    EXPECT_EQ(text, "");
    EXPECT_EQ(console.Cell(80, 1).ch, " ");
    EXPECT_EQ(console.Cell(1, 2).ch, " ");
    EXPECT_EQ(CursorX, 80);
    EXPECT_EQ(CursorY, 1);
}

TEST_F(Editors, LengthZeroWaitsForAConversionKey) {
    Mode = ModeEntry;
    SubMode = SubSaveData;
    ConversionKeyPressed = false;
    console.Type("ab\r");
    console.Add(script::Key(VkF5));  // not a conversion key: changes nothing
    console.Add(script::Key(VkF9));
    console.Type("z");
    auto [ok, text] = Line(0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(text, "");
    EXPECT_EQ(ConversionMode, ConversionAsciiTab);
    EXPECT_EQ(console.host().Remaining(), 1u);  // 'z' was never read

    ConversionKeyPressed = true;  // chosen before: any key ends it
    console.Type("q");
    Line(0);
    EXPECT_EQ(console.host().Remaining(), 1u);
    console.host().DropRemaining();
}

TEST_F(Editors, NumberEditorResults) {
    console.Type("0\r");
    NumberInput n = Number();
    EXPECT_EQ(n.value, 0);
    EXPECT_FALSE(n.empty);
    console.Type("\r");
    n = Number();
    EXPECT_EQ(n.value, 0);
    EXPECT_TRUE(n.empty);
    console.Type("12");
    console.Add(script::Key(VkEscape, 0, 27));
    n = Number();
    EXPECT_EQ(n.value, -1);
    EXPECT_TRUE(n.empty);
    console.Type("-12\r");
    EXPECT_EQ(Number().value, -12);
    console.Type("+5\r");
    n = Number();
    EXPECT_EQ(n.value, 5);
    EXPECT_TRUE(n.plus);
    console.Type("12345678901\r");
    EXPECT_EQ(Number().value, 123456789);
    EXPECT_EQ(console.Text(10, 1, 10), "123456789 ");  // echoed as far as taken
    console.Type("+-+-7x.\r");                         // each sign once, other characters ignored
    n = Number();
    EXPECT_EQ(n.value, -7);
    EXPECT_TRUE(n.plus);
    EXPECT_EQ(console.Text(10, 1, 3), "+-7");
}

TEST_F(Editors, NumberEditorBackspace) {
    console.Type("-3");
    console.Add(script::Key(VkBack, 0, 8));
    console.Add(script::Key(VkBack, 0, 8));  // clears the sign
    console.Type("4\r");
    EXPECT_EQ(Number().value, 4);
    EXPECT_EQ(console.Row(1).substr(9, 3), "4  ");
}

TEST_F(Editors, DigitModeKeepsDigitsAscending) {
    RangePromptActive = true;
    RangeKind = DigitSet;
    console.Type("1325\r");
    EXPECT_EQ(Number().value, 135);
    console.Type("0135\r");
    EXPECT_EQ(Number().value, -135);
    console.Type("0\r");
    NumberInput n = Number();
    EXPECT_EQ(n.value, 0);
    EXPECT_FALSE(n.empty);
    console.Type("-5\r");  // no sign in digit mode
    EXPECT_EQ(Number().value, 5);
}

TEST_F(Editors, SwitchingToDigitsMidwayKeepsTheDigits) {
    RangePromptActive = true;
    console.Type("13");
    console.Add(script::Key(VkF7));
    console.Type("2");  // refused now: not above 3
    console.Add(script::Key(VkF8));
    console.Type("\r");
    EXPECT_EQ(Number().value, 13);
    EXPECT_EQ(RangeKind, DigitSet);
    EXPECT_TRUE(FieldConditionOn);
    EXPECT_EQ(console.Cell(52, 25).color, kOrange);  // " F7" drawn as on
}
