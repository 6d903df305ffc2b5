#include <gtest/gtest.h>

#include <map>

#include "console/WinCrt.h"
#include "screens/FieldCursor.h"
#include "screens/LineEditor.h"
#include "screens/Prompts.h"
#include "screens/Session.h"
#include "screens/StatusLine.h"
#include "model/Characters.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "tests/kit/ConsoleHarness.h"

namespace {

class Prompts : public ::testing::Test {
  protected:
    void SetUp() override {
        FillFieldTypeTable();
        ResetFieldModel();
        ResetPrompts();
        ResetLineEditor();
        Mode = ModeDefinition;
        SubMode = SubMain;
    }
    void TearDown() override {
        ResetPrompts();
        ResetLineEditor();
    }
    ConsoleHarness console;
};

}  // namespace

TEST_F(Prompts, FieldLengthAsEndPositionOrAsLength) {
    PutField(1, 'A', 9);
    int length = 0;
    console.Type("15\r+15\r");
    console.Add(script::Key(VkEscape, 0, 27));
    std::vector<int> lengths;
    console.Run([&] {
        for (int i = 0; i < 3; ++i) {
            PlaceCursorAtRecordPos(10);
            lengths.push_back(AskFieldLength());
        }
        length = lengths.back();
    });
    EXPECT_EQ(lengths, (std::vector<int>{6, 15, -10}));
    EXPECT_LT(length, 1);
    EXPECT_EQ(console.Row(1).substr(0, 30), "Länge des Feldes: von 10 bis ");
    EXPECT_EQ(console.Row(25).substr(0, 9), " F1Ende F");  // the mode's legend is back
    EXPECT_EQ(CursorX, 10);                                // and the cursor where it was
    EXPECT_EQ(CursorY, 2);
}

TEST_F(Prompts, RangeInDigitModeFromTypedKeysToStoredValues) {
    RangePromptActive = true;
    console.Add(script::Key(VkF7));  // "Ziffern"
    console.Type("0135\r");
    RangeAnswer answer;
    console.Run([&] { answer = AskRange(); });
    EXPECT_TRUE(answer.accepted);
    EXPECT_EQ(answer.from, -135);
    EXPECT_EQ(answer.to, DigitSetMarker);
}

TEST_F(Prompts, NumberRangesAndTheirRemoval) {
    console.Type("5\r1\r");  // stored as typed
    console.Type("7\r\r");   // no upper bound: removed
    console.Type("\r");      // nothing at all: removed
    console.Type("3\r");
    console.Add(script::Key(VkEscape, 0, 27));  // Esc at the upper bound cancels
    std::vector<RangeAnswer> answers;
    console.Run([&] {
        for (int i = 0; i < 4; ++i) answers.push_back(AskRange());
    });
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_TRUE(answers[0].accepted);
    EXPECT_EQ(answers[0].from, 5);
    EXPECT_EQ(answers[0].to, 1);
    EXPECT_EQ(answers[1].from, 1);
    EXPECT_EQ(answers[1].to, 0);
    EXPECT_TRUE(answers[2].accepted);
    EXPECT_EQ(answers[2].to, 0);
    EXPECT_FALSE(answers[3].accepted);
    EXPECT_EQ(console.Row(1).substr(0, 36), "Zahlenbereich des Feldes: von 3 bis ");
}

TEST_F(Prompts, ConditionAsksFieldAndRange) {
    RangePromptActive = true;
    console.Type("2");
    console.Add(script::Key(VkF7));  // no effect while the field number is typed
    console.Type("\r10\r20\r");
    console.Type("4\r\r");  // no lower bound: the condition is removed
    std::vector<ConditionAnswer> answers;
    console.Run([&] {
        answers.push_back(AskCondition());
        answers.push_back(AskCondition());
    });
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_TRUE(answers[0].accepted);
    EXPECT_EQ(answers[0].field, 2);
    EXPECT_EQ(answers[0].from, 10);
    EXPECT_EQ(answers[0].to, 20);
    EXPECT_EQ(RangeKind, NumberRange);
    EXPECT_TRUE(answers[1].accepted);
    EXPECT_EQ(answers[1].field, 0);
    EXPECT_EQ(answers[1].to, 0);
}

TEST_F(Prompts, MessageInTheMiddleAndItsWait) {
    console.Type("x");
    console.Run([] { ShowMessage("Kann Datei nicht lesen !!!", true); });
    EXPECT_EQ(console.Row(12).substr(24, 26), "Kann Datei nicht lesen !!!");
    EXPECT_EQ(console.Cell(25, 12).color, kYellow);
    EXPECT_FALSE(console.Cell(25, 12).underline);
    EXPECT_EQ(console.Row(1).substr(0, 28), "weiter durch beliebige Taste");
    EXPECT_EQ(console.host().Remaining(), 0u);
}

TEST_F(Prompts, LongMessagesBreakBetweenWordsBelowTheirStart) {
    auto show = [&](const std::string& text) {
        console.Run([&] { ShowMessage(text, false); });
        std::vector<std::string> rows;
        for (int y = 11; y <= 14; ++y) rows.push_back(console.Row(y));
        return rows;
    };
    const std::string blank(80, ' ');
    const std::string indent(24, ' ');
    auto pad = [](std::string row) { return row + std::string(80 - row.size(), ' '); };

    EXPECT_EQ(show("In diesem Verzeichnis arbeitet schon eine andere Kelbrin-Station !!!"),
              (std::vector<std::string>{
                  blank, pad(indent + "In diesem Verzeichnis arbeitet schon eine andere"),
                  pad(indent + "Kelbrin-Station !!!"), blank}));
    const std::string full = std::string(52, 'x') + " !!!";  // 56: fits exactly
    EXPECT_EQ(show(full), (std::vector<std::string>{blank, indent + full, blank, blank}));
    const std::string word(60, 'y');  // no word break: cut where the row ends
    EXPECT_EQ(show(word + " z"), (std::vector<std::string>{blank, indent + word.substr(0, 56),
                                                           pad(indent + "yyyy z"), blank}));
}

TEST(TextUtils, FoldingsFollowTheirTablesForEveryByte) {
    // Umlauts keep their dots, accented vowels lose their accents, ß stays.
    // byte: its upper-case fold
    const std::map<int, int> folded = {{142, 142}, {153, 153}, {154, 154}, {132, 142},
                                       {148, 153}, {129, 154}, {130, 'E'}, {144, 'E'},
                                       {160, 'A'}, {181, 'A'}, {161, 'I'}, {214, 'I'},
                                       {162, 'O'}, {224, 'O'}, {163, 'U'}, {233, 'U'}};
    for (int c = 0; c < 256; ++c) {
        int upper = c >= 'a' && c <= 'z' ? c - 32 : c;
        if (const auto it = folded.find(c); it != folded.end()) upper = it->second;
        const bool kept = (upper >= '0' && upper <= '9') || (upper >= 'A' && upper <= 'Z') ||
                          upper == 142 || upper == 153 || upper == 154 || upper == 225;
        const auto byte = static_cast<uint8_t>(c);
        ASSERT_EQ(ToUpperFold(byte), upper) << c;
        ASSERT_EQ(MatchFold(byte), kept ? upper : ' ') << c;
    }
    std::string street;
    for (char ch : std::string("Str."))
        street += static_cast<char>(MatchFold(static_cast<uint8_t>(ch)));
    EXPECT_EQ(street, "STR ");
}

TEST(TextUtils, Decimals) {
    EXPECT_EQ(ParseDecimal("0042"), 42);
    EXPECT_EQ(ParseDecimal("4a"), -1);
    EXPECT_EQ(ParseDecimal(""), 0);
    EXPECT_GT(ParseDecimal("99999999999999999999999"), 0);  // never overflows
}

TEST(TextUtils, RestoreCursorGoesBackToTheSavedPlace) {
    ConsoleHarness console;
    MoveCursor(3, 2);
    SaveCursor();
    MoveCursor(9, 9);
    RestoreCursor();
    EXPECT_EQ(CursorX, 3);
    EXPECT_EQ(CursorY, 2);
}
