#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "console/WinCrt.h"
#include "platform/CodePage.h"
#include "tests/kit/ConsoleHarness.h"

namespace {

struct Translated {
    uint8_t keyChar;
    uint8_t scanCode;
};

Translated Translate(uint16_t vk, ShiftState shift, uint8_t ch) {
    ResetKeyboard();
    DeliverKey(vk, shift, ch);
    EXPECT_TRUE(KeyQueue.KeyAvailable);
    return {KeyQueue.KeyChar, KeyQueue.ScanCode};
}

}  // namespace

TEST(ConsoleKeyboard, ExtendedKeysGiveTheirScanCodesWhateverTheModifiers) {
    const std::vector<std::pair<uint16_t, uint8_t>> table = {
        {VkPrior, 0x49}, {VkNext, 0x51},  {VkEnd, 0x4F},  {VkHome, 0x47},   {VkLeft, 0x4B},
        {VkUp, 0x48},    {VkRight, 0x4D}, {VkDown, 0x50}, {VkInsert, 0x52}, {VkDelete, 0x53},
        {VkF1, 0x3B},    {VkF5, 0x3F},    {VkF9, 0x43},   {VkF12, 0x44},
    };
    for (auto [vk, scan] : table) {
        for (ShiftState shift :
             {ShiftState{0}, ShiftKey, CtrlKey, ShiftState(ShiftKey | CtrlKey)}) {
            const Translated t = Translate(vk, shift, 0);
            EXPECT_EQ(t.keyChar, 0) << vk;
            EXPECT_EQ(t.scanCode, scan) << vk;
        }
    }
    // F10 and F11 have no code of their own.
    EXPECT_EQ(Translate(VkF10, 0, 0).scanCode, 0);
    EXPECT_EQ(Translate(VkF11, 0, 0).scanCode, 0);
    // Shift+Del: same code, and the core sees Shift alone was held.
    EXPECT_EQ(Translate(VkDelete, ShiftKey, 0).scanCode, 0x53);
    EXPECT_TRUE(ShiftOnlyHeld());
    Translate(VkDelete, ShiftKey | CtrlKey, 0);
    EXPECT_FALSE(ShiftOnlyHeld());
}

TEST(ConsoleKeyboard, AltAloneGivesTheProgramKeys) {
    for (uint16_t vk = '1'; vk <= '9'; ++vk) {
        EXPECT_EQ(Translate(vk, AltKey, 0).scanCode, 0x78 + (vk - '1'));
    }
    EXPECT_EQ(Translate('0', AltKey, 0).scanCode, 0x81);
    EXPECT_EQ(Translate(VkOem4, AltKey, 0).scanCode, 0x82);
    EXPECT_EQ(Translate(VkOem6, AltKey, 0).scanCode, 0x83);
    // An unmapped Alt combination, even an arrow, delivers a key without code.
    EXPECT_EQ(Translate(VkLeft, AltKey, 0).scanCode, 0);
    EXPECT_EQ(Translate('A', AltKey, 'a').keyChar, 0);
    // Alt+Shift+1 is the character '!'; AltGr (Ctrl+Alt) + Q gives '@'.
    Translated t = Translate('1', AltKey | ShiftKey, '!');
    EXPECT_EQ(t.keyChar, '!');
    EXPECT_EQ(t.scanCode, 0);
    t = Translate('Q', AltKey | CtrlKey, '@');
    EXPECT_EQ(t.keyChar, '@');
}

TEST(ConsoleKeyboard, CharactersAndModifierKeys) {
    EXPECT_EQ(Translate(VkReturn, 0, 13).keyChar, 13);
    EXPECT_EQ(Translate(VkTab, ShiftKey, 9).keyChar, 9);
    EXPECT_EQ(Translate(0xBA, 0, 0x81).keyChar, 0x81);
    // Shift pressed alone still delivers a key, with nothing in it.
    const Translated shift = Translate(VkShift, ShiftKey, 0);
    EXPECT_EQ(shift.keyChar, 0);
    EXPECT_EQ(shift.scanCode, 0);
    // Virtual key 0 delivers nothing.
    ResetKeyboard();
    DeliverKey(0, 0, 'x');
    EXPECT_FALSE(KeyQueue.KeyAvailable);
}

TEST(ConsoleKeyboard, TheMailboxHoldsOneKey) {
    ResetKeyboard();
    DeliverKey('A', 0, 'a');
    DeliverKey('B', 0, 'b');
    EXPECT_EQ(KeyQueue.KeyChar, 'b');
}

TEST(ConsoleKeyboard, HostsDeliverEveryKeyInOrderNoneLost) {
    ConsoleHarness console;
    // The station is busy (does not read) while the operator types ahead.
    console.Add(script::Char('x'));
    console.Type("abc");
    console.Add(script::Key(VkF1));
    std::vector<int> read;
    console.Run([&] {
        ReadKey();                               // x
        for (int i = 0; i < 10; ++i) PollKey();  // busy: pumps without reading
        for (;;) {
            const uint8_t ch = ReadKey();
            read.push_back(ch == 0 ? 1000 + ScanCode() : ch);
        }
    });
    EXPECT_EQ(read, (std::vector<int>{'a', 'b', 'c', 1000 + 0x3B}));
}

TEST(ConsoleKeyboard, BeepSoundsAndPumps) {
    ConsoleHarness console;
    console.Add(script::Char('k'));
    console.Run([] {
        EXPECT_TRUE(Beep());
        EXPECT_TRUE(KeyQueue.KeyAvailable);  // the pump delivered the waiting key
        EXPECT_EQ(ReadKey(), 'k');
        EXPECT_FALSE(PollKey());
    });
    EXPECT_EQ(console.host().Beeps(), 1);
}

TEST(ConsoleKeyboard, AnEndedOrHeldScriptEndsTheWaitInsteadOfHanging) {
    ConsoleHarness console;
    bool returned = console.Run([] { ReadKey(); });
    EXPECT_FALSE(returned);

    // A script held back (as before the session begins) cannot answer a wait:
    // the test fails and the wait ends, instead of going on for ever.
    console.Type("a");
    console.host().SetHeld(true);
    EXPECT_NONFATAL_FAILURE(returned = console.Run([] { ReadKey(); }),
                            "waited for a key the script did not give");
    EXPECT_FALSE(returned);
    console.host().DropRemaining();
}
