#include "host/tty/InputDecoder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/CodePage.h"

void PrintTo(const InputEvent& event, std::ostream* out) {
    switch (event.kind) {
        case InputEvent::Kind::Key:
            *out << "Key(vk 0x" << std::hex << event.virtualKey << ", shift " << int{event.shift}
                 << ", ch 0x" << static_cast<uint32_t>(event.character) << std::dec << ")";
            break;
        case InputEvent::Kind::Paste:
            *out << "Paste(\"" << event.text << "\")";
            break;
        case InputEvent::Kind::Mouse:
            *out << "Mouse(" << static_cast<int>(event.button)
                 << (event.pressed ? " press " : " release ") << event.x << "," << event.y << ")";
            break;
        case InputEvent::Kind::Interrupt:
            *out << "Interrupt";
            break;
        case InputEvent::Kind::Suspend:
            *out << "Suspend";
            break;
        case InputEvent::Kind::Quit:
            *out << "Quit";
            break;
    }
}

namespace {

InputEvent Key(uint16_t vk, ShiftState shift = 0, char32_t ch = 0) {
    InputEvent event;
    event.virtualKey = vk;
    event.shift = shift;
    event.character = ch;
    return event;
}

InputEvent Paste(const std::string& text) {
    InputEvent event;
    event.kind = InputEvent::Kind::Paste;
    event.text = text;
    return event;
}

InputEvent Mouse(MouseButton button, bool pressed, int x, int y) {
    InputEvent event;
    event.kind = InputEvent::Kind::Mouse;
    event.button = button;
    event.pressed = pressed;
    event.x = x;
    event.y = y;
    return event;
}

// Everything the bytes decode to at once, without waiting for any timeout: a
// complete key sequence must never wait for the escape delay.
std::vector<InputEvent> DecodeNow(std::string_view bytes) {
    InputDecoder decoder;
    decoder.Feed(bytes, 0);
    std::vector<InputEvent> events;
    while (auto event = decoder.Next(0)) events.push_back(*event);
    EXPECT_TRUE(decoder.Empty()) << "bytes left undecided";
    return events;
}

struct Row {
    const char* bytes;
    InputEvent expected;
};

// Each row's bytes decode to exactly its one event; `answer` is what the
// terminal said about its key reports before the keys came.
void ExpectTable(const std::vector<Row>& table, const std::string& answer = "") {
    for (const Row& row : table) {
        const std::vector<InputEvent> events = DecodeNow(answer + row.bytes);
        ASSERT_EQ(events.size(), 1u) << testing::PrintToString(std::string(row.bytes));
        EXPECT_EQ(events[0], row.expected) << testing::PrintToString(std::string(row.bytes));
    }
}

}  // namespace

TEST(InputDecoder, XtermFunctionKeysArrowsAndEditingKeys) {
    ExpectTable({
        {"\x1bOP", Key(VkF1)},     {"\x1bOQ", Key(VkF2)},      {"\x1bOR", Key(VkF3)},
        {"\x1bOS", Key(VkF4)},     {"\x1b[15~", Key(VkF5)},    {"\x1b[17~", Key(VkF6)},
        {"\x1b[18~", Key(VkF7)},   {"\x1b[19~", Key(VkF8)},    {"\x1b[20~", Key(VkF9)},
        {"\x1b[21~", Key(VkF10)},  {"\x1b[23~", Key(VkF11)},   {"\x1b[24~", Key(VkF12)},
        {"\x1b[A", Key(VkUp)},     {"\x1b[B", Key(VkDown)},    {"\x1b[C", Key(VkRight)},
        {"\x1b[D", Key(VkLeft)},   {"\x1bOA", Key(VkUp)},  // application cursor mode
        {"\x1b[H", Key(VkHome)},   {"\x1b[F", Key(VkEnd)},     {"\x1bOH", Key(VkHome)},
        {"\x1bOF", Key(VkEnd)},    {"\x1b[2~", Key(VkInsert)}, {"\x1b[3~", Key(VkDelete)},
        {"\x1b[5~", Key(VkPrior)}, {"\x1b[6~", Key(VkNext)},
    });
}

TEST(InputDecoder, XtermModifierParameters) {
    ExpectTable({
        {"\x1b[1;2P", Key(VkF1, ShiftKey)},
        {"\x1b[1;2S", Key(VkF4, ShiftKey)},
        {"\x1bO2P", Key(VkF1, ShiftKey)},  // older xterms
        {"\x1b[15;2~", Key(VkF5, ShiftKey)},
        {"\x1b[24;2~", Key(VkF12, ShiftKey)},
        {"\x1b[1;5P", Key(VkF1, CtrlKey)},
        {"\x1b[1;3Q", Key(VkF2, AltKey)},
        {"\x1b[1;2A", Key(VkUp, ShiftKey)},
        {"\x1b[1;2D", Key(VkLeft, ShiftKey)},
        {"\x1b[1;5C", Key(VkRight, CtrlKey)},
        {"\x1b[1;6B", Key(VkDown, ShiftKey | CtrlKey)},
        {"\x1b[1;2H", Key(VkHome, ShiftKey)},
        {"\x1b[3;2~", Key(VkDelete, ShiftKey)},
        {"\x1b[Z", Key(VkTab, ShiftKey, 9)},
        {"\x1b[27;5;13~", Key(VkReturn, CtrlKey, 13)},  // modifyOtherKeys
    });
}

TEST(InputDecoder, RxvtSequences) {
    ExpectTable({
        {"\x1b[11~", Key(VkF1)},
        {"\x1b[12~", Key(VkF2)},
        {"\x1b[13~", Key(VkF3)},
        {"\x1b[14~", Key(VkF4)},
        {"\x1b[7~", Key(VkHome)},
        {"\x1b[8~", Key(VkEnd)},
        {"\x1b[25~", Key(VkF3, ShiftKey)},  // rxvt's Shift+F3 is the VT220 F13
        {"\x1b[34~", Key(VkF10, ShiftKey)},
        {"\x1b[3$", Key(VkDelete, ShiftKey)},
        {"\x1b[2$", Key(VkInsert, ShiftKey)},
        {"\x1b[7$", Key(VkHome, ShiftKey)},
        {"\x1b[24$", Key(VkF12, ShiftKey)},
        {"\x1b[5^", Key(VkPrior, CtrlKey)},
        {"\x1b[a", Key(VkUp, ShiftKey)},
        {"\x1b[d", Key(VkLeft, ShiftKey)},
        {"\x1bOa", Key(VkUp, CtrlKey)},
        {"\x1b\x1b[A", Key(VkUp, AltKey)},
        {"\x1b\x1bOP", Key(VkF1, AltKey)},
    });
}

TEST(InputDecoder, LinuxConsoleSequences) {
    ExpectTable({
        {"\x1b[[A", Key(VkF1)},
        {"\x1b[[B", Key(VkF2)},
        {"\x1b[[E", Key(VkF5)},
        {"\x1b[17~", Key(VkF6)},
        {"\x1b[1~", Key(VkHome)},
        {"\x1b[4~", Key(VkEnd)},
    });
    // The keypad's middle key (no meaning here) is dropped.
    EXPECT_TRUE(DecodeNow("\x1b[G").empty());
    EXPECT_TRUE(DecodeNow("\x1b[E").empty());
}

TEST(InputDecoder, ControlKeysAndCharacters) {
    ExpectTable({
        {"\r", Key(VkReturn, 0, 13)},
        {"\t", Key(VkTab, 0, 9)},
        {"\x7f", Key(VkBack, 0, 8)},
        {"\x08", Key(VkBack, 0, 8)},
        {"\x01", Key('A', CtrlKey, 1)},
        {"\x0a", Key('J', CtrlKey, 10)},
        {"\x1a", Key('Z', CtrlKey, 26)},
        {"a", Key('A', 0, 'a')},
        {"A", Key('A', ShiftKey, 'A')},
        {"7", Key('7', 0, '7')},
        {" ", Key(VkSpace, 0, ' ')},
        {"\xc3\xbc", Key(VkOemMinus, 0, U'\u00FC')},              // ü
        {"\xc3\x84", Key(VkOemMinus, ShiftKey, U'\u00C4')},       // Ä
        {"\xe2\x82\xac", Key(VkOemMinus, 0, U'\u20AC')},          // €
        {"\xf0\x9f\x98\x80", Key(VkOemMinus, 0, U'\U0001F600')},  // four bytes
        {"\x1bOp", Key('0', 0, '0')},                             // keypad in application mode
        {"\x1bOM", Key(VkReturn, 0, 13)},
    });
    ASSERT_EQ(DecodeNow("\x03").size(), 1u);
    EXPECT_EQ(DecodeNow("\x03")[0].kind, InputEvent::Kind::Interrupt);
}

TEST(InputDecoder, AltWithTheDigitRowGivesTheTwelveProgramKeys) {
    ExpectTable({
        {"\x1b"
         "1",
         Key('1', AltKey)},
        {"\x1b"
         "9",
         Key('9', AltKey)},
        {"\x1b"
         "0",
         Key('0', AltKey)},
        {"\x1b-", Key(VkOem4, AltKey)},  // US layout
        {"\x1b=", Key(VkOem6, AltKey)},
        {"\x1b\xc3\x9f", Key(VkOem4, AltKey)},               // German: ß
        {"\x1b\xc2\xb4", Key(VkOem6, AltKey)},               // German: ´
        {"\x1b!", Key(VkOemMinus, AltKey | ShiftKey, '!')},  // Alt+Shift+1 stays '!'
        {"\x1b"
         "a",
         Key('A', AltKey, 'a')},
        {"\x1b\r", Key(VkReturn, AltKey, 13)},
    });
}

TEST(InputDecoder, EscAloneWaitsForTheDelayOnly) {
    InputDecoder decoder;  // 25 ms
    decoder.Feed("\x1b", 100);
    EXPECT_FALSE(decoder.Next(100));
    EXPECT_FALSE(decoder.Next(124));
    ASSERT_TRUE(decoder.Deadline());
    EXPECT_EQ(*decoder.Deadline(), 125);
    EXPECT_EQ(decoder.Next(125), Key(VkEscape, 0, 27));
    EXPECT_TRUE(decoder.Empty());

    // The rest of the sequence within the delay: one key.
    decoder.Feed("\x1b", 200);
    decoder.Feed("[", 210);
    decoder.Feed("A", 220);
    EXPECT_EQ(decoder.Next(220), Key(VkUp));

    // Two Escs in a row are two Escs.
    decoder.Feed("\x1b\x1b", 300);
    EXPECT_FALSE(decoder.Next(300));
    EXPECT_EQ(decoder.Next(325), Key(VkEscape, 0, 27));
    EXPECT_EQ(decoder.Next(325), Key(VkEscape, 0, 27));

    // Esc [ alone after the delay is Alt+[.
    decoder.Feed("\x1b[", 400);
    EXPECT_EQ(decoder.Next(425), Key(VkOemMinus, AltKey, '['));
}

TEST(InputDecoder, EscAndALaterKeyStaySeparateEvenWhenReadTogether) {
    // The station was busy: both bytes wait in the buffer when it asks, but
    // they arrived 100 ms apart, so they are Esc and '1', not Alt+1.
    InputDecoder decoder;
    decoder.Feed("\x1b", 0);
    decoder.Feed("1", 100);
    EXPECT_EQ(decoder.Next(500), Key(VkEscape, 0, 27));
    EXPECT_EQ(decoder.Next(500), Key('1', 0, '1'));

    // Within the delay it is the program key.
    decoder.Feed("\x1b", 1000);
    decoder.Feed("1", 1010);
    EXPECT_EQ(decoder.Next(1500), Key('1', AltKey));
}

TEST(InputDecoder, BracketedPasteSplitAcrossReads) {
    InputDecoder decoder;
    decoder.Feed("x\x1b[200~Gr\xc3", 0);
    EXPECT_EQ(decoder.Next(0), Key('X', 0, 'x'));
    EXPECT_FALSE(decoder.Next(0));
    decoder.Feed(
        "\xbc\xc3\x9f"
        "e\r\nzwei\x1b[20",
        50);  // the end marker cut in two
    EXPECT_FALSE(decoder.Next(50));
    EXPECT_FALSE(decoder.Next(2000));  // a paste does not end by the escape delay
    decoder.Feed("1~y", 2100);
    EXPECT_EQ(decoder.Next(2100), Paste("Gr\xc3\xbc\xc3\x9f"
                                        "e\r\nzwei"));
    EXPECT_EQ(decoder.Next(2100), Key('Y', 0, 'y'));
}

TEST(InputDecoder, PasteKeepsEscapesAndMendsInvalidUtf8) {
    EXPECT_EQ(DecodeNow("\x1b[200~a\x1b[Ab\xff\x1b[201~"),
              std::vector<InputEvent>{Paste("a\x1b[Ab\xc3\xbf")});
    EXPECT_EQ(DecodeNow("\x1b[200~\x1b[201~"), std::vector<InputEvent>{Paste("")});
}

TEST(InputDecoder, PasteWithoutEndMarkerEndsAfterStalling) {
    InputDecoder decoder(InputDecoder::Timing{25, 3000});
    decoder.Feed("\x1b[200~abc", 0);
    EXPECT_FALSE(decoder.Next(2999));
    ASSERT_TRUE(decoder.Deadline());
    EXPECT_EQ(*decoder.Deadline(), 3000);
    EXPECT_EQ(decoder.Next(3000), Paste("abc"));
    decoder.Feed("d", 3001);
    EXPECT_EQ(decoder.Next(3001), Key('D', 0, 'd'));
}

TEST(InputDecoder, HugePasteIsCutButConsumedWhole) {
    InputDecoder decoder;
    const std::string block(64 * 1024, 'z');
    decoder.Feed("\x1b[200~", 0);
    for (std::size_t sent = 0; sent < InputDecoder::kMaxPasteBytes + 2 * block.size();
         sent += block.size()) {
        decoder.Feed(block, 1);
        EXPECT_FALSE(decoder.Next(1));
        EXPECT_LT(decoder.Buffered(), 16u);  // held as paste, not as undecoded bytes
    }
    decoder.Feed("\x1b[201~q", 2);
    const auto paste = decoder.Next(2);
    ASSERT_TRUE(paste);
    EXPECT_EQ(paste->text.size(), InputDecoder::kMaxPasteBytes);
    EXPECT_EQ(decoder.Next(2), Key('Q', 0, 'q'));
}

TEST(InputDecoder, SgrMouseReports) {
    EXPECT_EQ(DecodeNow("\x1b[<0;5;10M\x1b[<0;5;10m"),
              (std::vector<InputEvent>{Mouse(MouseButton::Left, true, 5, 10),
                                       Mouse(MouseButton::Left, false, 5, 10)}));
    EXPECT_EQ(DecodeNow("\x1b[<2;80;25M"),
              std::vector<InputEvent>{Mouse(MouseButton::Right, true, 80, 25)});
    EXPECT_EQ(DecodeNow("\x1b[<1;3;3M"),
              std::vector<InputEvent>{Mouse(MouseButton::Middle, true, 3, 3)});
    EXPECT_EQ(DecodeNow("\x1b[<16;5;5M"),
              std::vector<InputEvent>{Mouse(MouseButton::Left, true, 5, 5)});  // with Ctrl
    // Wheel and motion are no clicks.
    EXPECT_TRUE(DecodeNow("\x1b[<64;5;5M\x1b[<65;5;5M\x1b[<32;6;5M").empty());

    InputDecoder decoder;
    decoder.Feed("\x1b[<0;12", 0);
    EXPECT_FALSE(decoder.Next(0));
    decoder.Feed(";7M", 5);
    EXPECT_EQ(decoder.Next(5), Mouse(MouseButton::Left, true, 12, 7));
}

TEST(InputDecoder, X10AndUrxvtMouseReports) {
    auto x10 = [](int code, int x, int y) {
        return std::string("\x1b[M") + static_cast<char>(32 + code) + static_cast<char>(32 + x) +
               static_cast<char>(32 + y);
    };
    // A release names no button: it belongs to the one pressed before.
    EXPECT_EQ(DecodeNow(x10(2, 5, 10) + x10(3, 6, 10)),
              (std::vector<InputEvent>{Mouse(MouseButton::Right, true, 5, 10),
                                       Mouse(MouseButton::Right, false, 6, 10)}));
    // Columns past 95 arrive as bytes that are no UTF-8.
    EXPECT_EQ(DecodeNow(x10(0, 100, 3)),
              std::vector<InputEvent>{Mouse(MouseButton::Left, true, 100, 3)});
    EXPECT_EQ(DecodeNow("\x1b[32;7;4M\x1b[35;7;4M"),
              (std::vector<InputEvent>{Mouse(MouseButton::Left, true, 7, 4),
                                       Mouse(MouseButton::Left, false, 7, 4)}));
}

TEST(InputDecoder, Utf8SplitAcrossReads) {
    InputDecoder decoder;
    decoder.Feed("\xe2\x82", 0);
    EXPECT_FALSE(decoder.Next(0));
    decoder.Feed(
        "\xac"
        "b",
        1);
    EXPECT_EQ(decoder.Next(1), Key(VkOemMinus, 0, U'\u20AC'));
    EXPECT_EQ(decoder.Next(1), Key('B', 0, 'b'));
}

TEST(InputDecoder, InvalidUtf8FallsBackToLatin1) {
    EXPECT_EQ(DecodeNow("\xfc"),
              std::vector<InputEvent>{Key(VkOemMinus, 0, U'\u00FC')});  // Latin-1 ü
    EXPECT_EQ(DecodeNow("\xc3("), (std::vector<InputEvent>{Key(VkOemMinus, ShiftKey, U'\u00C3'),
                                                           Key(VkOemMinus, 0, '(')}));
    EXPECT_EQ(DecodeNow("\x80"), std::vector<InputEvent>{Key(VkOemMinus, 0, U'\uFFFD')});
    // Overlong forms and surrogates are not let through.
    EXPECT_EQ(DecodeNow("\xc0\xaf").size(), 2u);
    EXPECT_EQ(DecodeNow("\xed\xa0\x80").size(), 3u);
    // A lead byte whose sequence never completes is taken alone after the delay.
    InputDecoder decoder;
    decoder.Feed("\xc3", 0);
    EXPECT_FALSE(decoder.Next(10));
    EXPECT_EQ(decoder.Next(25), Key(VkOemMinus, ShiftKey, U'\u00C3'));
}

TEST(InputDecoder, UnknownSequencesAreDroppedWithoutEatingTheNextKey) {
    EXPECT_EQ(DecodeNow("\x1b[99x"
                        "a"),
              std::vector<InputEvent>{Key('A', 0, 'a')});
    EXPECT_EQ(DecodeNow("\x1b[I\x1b[O"
                        "b"),
              std::vector<InputEvent>{Key('B', 0, 'b')});  // focus reports
    EXPECT_EQ(DecodeNow("\x1b[201~c"),
              std::vector<InputEvent>{Key('C', 0, 'c')});  // stray paste end
    EXPECT_EQ(DecodeNow("\x1b[1\r"),
              std::vector<InputEvent>{Key(VkReturn, 0, 13)});  // broken sequence
}

TEST(InputDecoder, TakeRawHandsBackUndecodedBytes) {
    InputDecoder decoder;
    decoder.Feed("ab\x1b[", 0);
    EXPECT_EQ(decoder.Next(0), Key('A', 0, 'a'));
    EXPECT_EQ(decoder.TakeRaw(), "b\x1b[");
    EXPECT_TRUE(decoder.Empty());
    EXPECT_FALSE(decoder.Deadline());
}

namespace {

InputEvent Kind(InputEvent::Kind kind) {
    InputEvent event;
    event.kind = kind;
    return event;
}

// The terminals' answers when asked for unambiguous key reports.
const std::string kKittyAnswer = "\x1b[?5u";
const std::string kModifyOtherKeysAnswer = "\x1b[>4;2m";

}  // namespace

TEST(InputDecoder, KittyProtocolReportsGiveTheKeysOfTheLegacyBytes) {
    ExpectTable(
        {
            {"\x1b[27u", Key(VkEscape, 0, 27)},
            {"\x1b[49;3u", Key('1', AltKey)},
            {"\x1b[223;3u", Key(VkOem4, AltKey)},      // German: Alt+ß
            {"\x1b[45;3u", Key(VkOem4, AltKey)},       // US: Alt+-
            {"\x1b[180::61;3u", Key(VkOem6, AltKey)},  // German ´, placed where US has =
            {"\x1b[38::49;3u", Key('1', AltKey)},      // French: the & key is the 1 key
            {"\x1b[49:33;4u", Key(VkOemMinus, AltKey | ShiftKey, '!')},  // Alt+Shift+1 stays '!'
            {"\x1b[57400;3u", Key(0x61, AltKey, '1')},  // Alt with the keypad's 1: no program key
            {"\x1b[127;2u", Key(VkBack, ShiftKey, 8)},
            {"\x1b[9;2u", Key(VkTab, ShiftKey, 9)},
            {"\x1b[13;2u", Key(VkReturn, ShiftKey, 13)},
            {"\x1b[97;5u", Key('A', CtrlKey, 1)},
            {"\x1b[105;5u", Key('I', CtrlKey, 9)},  // Ctrl+I, no longer Tab
            {"\x1b[97;3u", Key('A', AltKey, 'a')},
            {"\x1b[97;7u", Key('A', CtrlKey | AltKey, 1)},
            {"\x1b[32;5u", Key(VkSpace, CtrlKey, 0)},
            {"\x1b[57414u", Key(VkReturn, 0, 13)},  // the keypad's Enter
            // The keys that the terminal would otherwise have made signals of.
            {"\x1b[99;5u", Kind(InputEvent::Kind::Interrupt)},
            {"\x1b[122;5u", Kind(InputEvent::Kind::Suspend)},
            {"\x1b[92;5u", Kind(InputEvent::Kind::Quit)},
        },
        kKittyAnswer);
    // A release, the keypad's middle key and keys beyond F12 are no key strokes.
    EXPECT_TRUE(DecodeNow(kKittyAnswer + "\x1b[97;1:3u\x1b[57427u\x1b[57376u").empty());
}

TEST(InputDecoder, ModifyOtherKeysReportsGiveTheKeysOfTheLegacyBytes) {
    ExpectTable({
        {"\x1b[27;3;49~", Key('1', AltKey)},
        {"\x1b[27;3;223~", Key(VkOem4, AltKey)},
        {"\x1b[27;2;127~", Key(VkBack, ShiftKey, 8)},
        {"\x1b[27;2;9~", Key(VkTab, ShiftKey, 9)},
        {"\x1b[27;5;97~", Key('A', CtrlKey, 1)},
        {"\x1b[27;4;33~", Key(VkOemMinus, AltKey | ShiftKey, '!')},
        {"\x1b[27;5;99~", Kind(InputEvent::Kind::Interrupt)},
        {"\x1b[49;3u", Key('1', AltKey)},  // the same in xterm's other format
    });
}

TEST(InputDecoder, EscAndADigitAreTwoKeysOnceTheTerminalConfirmsItsReports) {
    for (const std::string& answer : {kKittyAnswer, kModifyOtherKeysAnswer}) {
        SCOPED_TRACE(testing::PrintToString(answer));
        EXPECT_EQ(DecodeNow(answer + "\x1b" + "1"),
                  (std::vector<InputEvent>{Key(VkEscape, 0, 27), Key('1', 0, '1')}));
        EXPECT_EQ(DecodeNow(answer + "\x1b" + "a\x1b\x1b[A"),
                  (std::vector<InputEvent>{Key(VkEscape, 0, 27), Key('A', 0, 'a'),
                                           Key(VkEscape, 0, 27), Key(VkUp)}));
        // Sequences still are sequences, also when they come in pieces.
        InputDecoder decoder;
        decoder.Feed(answer + "\x1b", 0);
        EXPECT_FALSE(decoder.Next(0));
        decoder.Feed("[49;3u\x1b[A", 5);
        EXPECT_EQ(decoder.Next(5), Key('1', AltKey));
        EXPECT_EQ(decoder.Next(5), Key(VkUp));
        // An Esc alone is the Esc key after the delay, as before.
        decoder.Feed("\x1b", 100);
        EXPECT_FALSE(decoder.Next(100));
        EXPECT_EQ(decoder.Next(125), Key(VkEscape, 0, 27));
    }
    // No answer, a kitty answer without the flag in force, a modifyOtherKeys
    // level below 2, the answer to another question: the old decoding holds.
    for (const std::string answer : {"", "\x1b[?0u", "\x1b[>4;1m", "\x1b[?62;22c"}) {
        SCOPED_TRACE(testing::PrintToString(answer));
        EXPECT_EQ(DecodeNow(answer + "\x1b" + "1"), std::vector<InputEvent>{Key('1', AltKey)});
    }
}
