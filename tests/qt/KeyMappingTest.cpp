// Key events of the Qt window as the station's keyboard receives them.
#include <gtest/gtest.h>

#include <QString>

#include "console/ConsoleKeyboard.h"
#include "host/qt/KeyMapping.h"
#include "platform/CodePage.h"

namespace {

constexpr auto None = Qt::NoModifier;
constexpr auto Shift = Qt::ShiftModifier;
constexpr auto Ctrl = Qt::ControlModifier;
constexpr auto Alt = Qt::AltModifier;
constexpr auto Keypad = Qt::KeypadModifier;
constexpr auto AltGr = Qt::GroupSwitchModifier;

// xkb keycodes (evdev + 8) of the keys these tests press.
constexpr quint32 kKey1 = 10, kKey3 = 12, kKey7 = 16, kKey0 = 19;
constexpr quint32 kRightOfZero = 20, kSecondRightOfZero = 21;
constexpr quint32 kKeyQ = 24, kKeyA = 38;
constexpr quint32 kGermanMinus = 61;  // the '-' key right of '.' on German keyboards
constexpr quint32 kCircumflex = 49;   // dead '^' left of '1' on German keyboards

struct Case {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    quint32 keycode;
    uint16_t virtualKey;
    ShiftState shift;
    char32_t character;
};

const Case kCases[] = {
    // Function and movement keys carry no character; modifiers ride along.
    {"F1", Qt::Key_F1, None, "", 67, VkF1, 0, 0},
    {"Shift+F1", Qt::Key_F1, Shift, "", 67, VkF1, ShiftKey, 0},
    {"F10", Qt::Key_F10, None, "", 76, VkF10, 0, 0},
    {"F12", Qt::Key_F12, None, "", 96, VkF12, 0, 0},
    {"Home", Qt::Key_Home, None, "", 110, VkHome, 0, 0},
    {"End", Qt::Key_End, None, "", 115, VkEnd, 0, 0},
    {"PageUp", Qt::Key_PageUp, None, "", 112, VkPrior, 0, 0},
    {"PageDown", Qt::Key_PageDown, None, "", 117, VkNext, 0, 0},
    {"Left", Qt::Key_Left, None, "", 113, VkLeft, 0, 0},
    {"Up", Qt::Key_Up, None, "", 111, VkUp, 0, 0},
    {"Right", Qt::Key_Right, None, "", 114, VkRight, 0, 0},
    {"Down", Qt::Key_Down, None, "", 116, VkDown, 0, 0},
    {"Insert", Qt::Key_Insert, None, "", 118, VkInsert, 0, 0},
    {"Shift+Delete", Qt::Key_Delete, Shift, "", 119, VkDelete, ShiftKey, 0},
    {"keypad Home without Num Lock", Qt::Key_Home, Keypad, "", 79, VkHome, 0, 0},
    // Keys with a control character of their own.
    {"Tab", Qt::Key_Tab, None, "\t", 23, VkTab, 0, 9},
    {"Shift+Tab", Qt::Key_Backtab, Shift, "", 23, VkTab, ShiftKey, 9},
    {"Backtab without Shift reported", Qt::Key_Backtab, None, "", 23, VkTab, ShiftKey, 9},
    {"Return", Qt::Key_Return, None, "\r", 36, VkReturn, 0, 13},
    {"keypad Enter", Qt::Key_Enter, Keypad, "\r", 104, VkReturn, 0, 13},
    {"Ctrl+Return", Qt::Key_Return, Ctrl, "\r", 36, VkReturn, CtrlKey, 10},
    {"Escape", Qt::Key_Escape, None, "\x1b", 9, VkEscape, 0, 27},
    {"Backspace", Qt::Key_Backspace, None, "\b", 22, VkBack, 0, 8},
    {"Space", Qt::Key_Space, None, " ", 65, VkSpace, 0, U' '},
    // Modifier keys alone still reach the station, without a character.
    {"Shift alone", Qt::Key_Shift, Shift, "", 50, VkShift, ShiftKey, 0},
    {"Alt alone", Qt::Key_Alt, Alt, "", 64, VkMenu, AltKey, 0},
    // Letters: the virtual key is the capital letter.
    {"a", Qt::Key_A, None, "a", kKeyA, 'A', 0, U'a'},
    {"Shift+A", Qt::Key_A, Shift, "A", kKeyA, 'A', ShiftKey, U'A'},
    {"Ctrl+A as X11 reports it", Qt::Key_A, Ctrl, "\x01", kKeyA, 'A', CtrlKey, 1},
    {"Ctrl+A with the letter as text", Qt::Key_A, Ctrl, "a", 0, 'A', CtrlKey, 1},
    {"Alt+A", Qt::Key_A, Alt, "a", kKeyA, 'A', AltKey, 0},
    // Umlauts arrive as their Unicode character.
    {"ä", Qt::Key_Adiaeresis, None, "ä", 48, VkOemMinus, 0, U'ä'},
    {"Shift+Ö", Qt::Key_Odiaeresis, Shift, "Ö", 47, VkOemMinus, ShiftKey, U'Ö'},
    {"ü", Qt::Key_Udiaeresis, None, "ü", 34, VkOemMinus, 0, U'ü'},
    {"ß typed", Qt::Key_ssharp, None, "ß", kRightOfZero, VkOem4, 0, U'ß'},
    {"euro sign from an unknown key", Qt::Key_unknown, None, "€", 0, VkOemMinus, 0, U'€'},
    // Digits and the program keys: Alt alone, without a character.
    {"1", Qt::Key_1, None, "1", kKey1, '1', 0, U'1'},
    {"Alt+1", Qt::Key_1, Alt, "1", kKey1, '1', AltKey, 0},
    {"Alt+0", Qt::Key_0, Alt, "0", kKey0, '0', AltKey, 0},
    {"Alt+1 without keycode", Qt::Key_1, Alt, "1", 0, '1', AltKey, 0},
    {"Alt+Shift+1 types '!'", Qt::Key_Exclam, Shift | Alt, "!", kKey1, '1', ShiftKey | AltKey,
     U'!'},
    {"Alt+3 on a layout with symbols on the digit row", Qt::Key_QuoteDbl, Alt, "\"", kKey3, '3',
     AltKey, 0},
    {"German Alt+ß", Qt::Key_ssharp, Alt, "ß", kRightOfZero, VkOem4, AltKey, 0},
    {"US Alt+-", Qt::Key_Minus, Alt, "-", kRightOfZero, VkOem4, AltKey, 0},
    {"German Alt+´ (a dead key)", Qt::Key_Dead_Acute, Alt, "", kSecondRightOfZero, VkOem6, AltKey,
     0},
    {"US Alt+=", Qt::Key_Equal, Alt, "=", kSecondRightOfZero, VkOem6, AltKey, 0},
    {"German Alt+- is no program key", Qt::Key_Minus, Alt, "-", kGermanMinus, VkOemMinus, AltKey,
     0},
    {"Alt+ß without keycode", Qt::Key_ssharp, Alt, "ß", 0, VkOem4, AltKey, 0},
    {"Alt+= without keycode", Qt::Key_Equal, Alt, "=", 0, VkOem6, AltKey, 0},
    // AltGr: a character, with Ctrl and Alt where the platform says so.
    {"AltGr+Q as group switch", Qt::Key_At, AltGr, "@", kKeyQ, VkOemMinus, CtrlKey | AltKey, U'@'},
    {"AltGr+Q as Ctrl+Alt", Qt::Key_At, Ctrl | Alt, "@", kKeyQ, VkOemMinus, CtrlKey | AltKey, U'@'},
    {"AltGr+Q hidden by the platform", Qt::Key_At, None, "@", kKeyQ, VkOemMinus, 0, U'@'},
    {"AltGr+7", Qt::Key_BraceLeft, AltGr, "{", kKey7, '7', CtrlKey | AltKey, U'{'},
    {"Ctrl+Alt+A types nothing", Qt::Key_A, Ctrl | Alt, "\x01", kKeyA, 'A', CtrlKey | AltKey, 0},
    // Keypad digits with Num Lock, and a dead key alone.
    {"keypad 5", Qt::Key_5, Keypad, "5", 84, 0x65, 0, U'5'},
    {"dead circumflex alone", Qt::Key_Dead_Circumflex, None, "", kCircumflex, VkOemMinus, 0, 0},
};

TEST(KeyMapping, EventsGiveTheVirtualKeyModifiersAndCharacter) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const KeyStroke stroke = MapKey(c.key, c.modifiers, c.text, c.keycode);
        EXPECT_TRUE(stroke.valid);
        EXPECT_EQ(stroke.virtualKey, c.virtualKey);
        EXPECT_EQ(stroke.shift, c.shift);
        EXPECT_EQ(static_cast<uint32_t>(stroke.character), static_cast<uint32_t>(c.character));
    }
}

TEST(KeyMapping, KeysWithoutMeaningAreNotDelivered) {
    EXPECT_FALSE(MapKey(Qt::Key_unknown, None, "", 0).valid);
    EXPECT_FALSE(MapKey(Qt::Key_VolumeUp, None, "", 123).valid);
}

// What the station reads after the window's stroke went through its keyboard.
struct Read {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    quint32 keycode;
    uint8_t keyChar;
    uint8_t scanCode;
};

const Read kReads[] = {
    {"Alt+1 is program key 1", Qt::Key_1, Alt, "1", kKey1, 0, 0x78},
    {"Alt+0 is program key 10", Qt::Key_0, Alt, "0", kKey0, 0, 0x81},
    {"German Alt+ß is program key 11", Qt::Key_ssharp, Alt, "ß", kRightOfZero, 0, 0x82},
    {"US Alt+- is program key 11", Qt::Key_Minus, Alt, "-", kRightOfZero, 0, 0x82},
    {"German Alt+´ is program key 12", Qt::Key_Dead_Acute, Alt, "", kSecondRightOfZero, 0, 0x83},
    {"US Alt+= is program key 12", Qt::Key_Equal, Alt, "=", kSecondRightOfZero, 0, 0x83},
    {"Alt+Shift+1 is '!'", Qt::Key_Exclam, Shift | Alt, "!", kKey1, '!', 0},
    {"AltGr+Q is '@'", Qt::Key_At, AltGr, "@", kKeyQ, '@', 0},
    {"AltGr+7 is '{', not a program key", Qt::Key_BraceLeft, AltGr, "{", kKey7, '{', 0},
    {"ü is code page 850 0x81", Qt::Key_Udiaeresis, None, "ü", 34, 0x81, 0},
    {"Shift+Tab is 9", Qt::Key_Backtab, Shift, "", 23, 9, 0},
    {"F12 stands for F10", Qt::Key_F12, None, "", 96, 0, 0x44},
    {"F10 has no code", Qt::Key_F10, None, "", 76, 0, 0},
    {"Shift+Delete", Qt::Key_Delete, Shift, "", 119, 0, 0x53},
};

TEST(KeyMapping, TheStationReadsTheKeyItsKeyboardTableNames) {
    for (const Read& r : kReads) {
        SCOPED_TRACE(r.name);
        ResetKeyboard();
        const KeyStroke stroke = MapKey(r.key, r.modifiers, r.text, r.keycode);
        ASSERT_TRUE(stroke.valid);
        DeliverKey(stroke.virtualKey, stroke.shift,
                   stroke.character == 0 ? 0 : UnicodeToOem(stroke.character));
        EXPECT_TRUE(KeyQueue.KeyAvailable);
        EXPECT_EQ(KeyQueue.KeyChar, r.keyChar);
        EXPECT_EQ(KeyQueue.ScanCode, r.scanCode);
    }
    ResetKeyboard();
}

}  // namespace
