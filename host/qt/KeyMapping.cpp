#include "host/qt/KeyMapping.h"

namespace {

// Virtual keys the keyboard table does not name but a stroke may carry.
constexpr uint16_t kVkClear = 0x0C;  // keypad 5 without Num Lock
constexpr uint16_t kVkPause = 0x13;
constexpr uint16_t kVkCapital = 0x14;
constexpr uint16_t kVkSnapshot = 0x2C;
constexpr uint16_t kVkLeftWin = 0x5B;
constexpr uint16_t kVkApps = 0x5D;
constexpr uint16_t kVkNumpad0 = 0x60;
constexpr uint16_t kVkMultiply = 0x6A;
constexpr uint16_t kVkAdd = 0x6B;
constexpr uint16_t kVkSubtract = 0x6D;
constexpr uint16_t kVkDecimal = 0x6E;
constexpr uint16_t kVkDivide = 0x6F;
constexpr uint16_t kVkNumLock = 0x90;
constexpr uint16_t kVkScroll = 0x91;

// xkb keycodes of the digit row: '1' is 10, '0' is 19, then the two keys right of it.
constexpr quint32 kXkbDigit1 = 10;
constexpr quint32 kXkbDigit0 = 19;
constexpr quint32 kXkbRightOfZero = 20;        // 'ß' (German), '-' (US)
constexpr quint32 kXkbSecondRightOfZero = 21;  // '´' (German), '=' (US)

uint16_t VirtualKeyByPlace(quint32 xkb) {
    if (xkb >= kXkbDigit1 && xkb < kXkbDigit0)
        return static_cast<uint16_t>('1' + (xkb - kXkbDigit1));
    if (xkb == kXkbDigit0) return '0';
    if (xkb == kXkbRightOfZero) return VkOem4;
    if (xkb == kXkbSecondRightOfZero) return VkOem6;
    return 0;
}

struct Special {
    uint16_t virtualKey;
    char32_t character;
};

// Keys whose meaning does not depend on the layout. `found` is false for any other key.
Special SpecialKey(int key, bool& found) {
    found = true;
    switch (key) {
        case Qt::Key_Escape:
            return {VkEscape, 27};
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return {VkTab, 9};
        case Qt::Key_Backspace:
            return {VkBack, 8};
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return {VkReturn, 13};
        case Qt::Key_Insert:
            return {VkInsert, 0};
        case Qt::Key_Delete:
            return {VkDelete, 0};
        case Qt::Key_Home:
            return {VkHome, 0};
        case Qt::Key_End:
            return {VkEnd, 0};
        case Qt::Key_PageUp:
            return {VkPrior, 0};
        case Qt::Key_PageDown:
            return {VkNext, 0};
        case Qt::Key_Left:
            return {VkLeft, 0};
        case Qt::Key_Up:
            return {VkUp, 0};
        case Qt::Key_Right:
            return {VkRight, 0};
        case Qt::Key_Down:
            return {VkDown, 0};
        case Qt::Key_Clear:
            return {kVkClear, 0};
        case Qt::Key_Shift:
            return {VkShift, 0};
        case Qt::Key_Control:
            return {VkControl, 0};
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
            return {VkMenu, 0};
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
            return {kVkLeftWin, 0};
        case Qt::Key_Menu:
            return {kVkApps, 0};
        case Qt::Key_CapsLock:
            return {kVkCapital, 0};
        case Qt::Key_NumLock:
            return {kVkNumLock, 0};
        case Qt::Key_ScrollLock:
            return {kVkScroll, 0};
        case Qt::Key_Pause:
            return {kVkPause, 0};
        case Qt::Key_Print:
            return {kVkSnapshot, 0};
        default:
            break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return {static_cast<uint16_t>(VkF1 + (key - Qt::Key_F1)), 0};
    }
    found = false;
    return {0, 0};
}

uint16_t KeypadVirtualKey(int key) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return static_cast<uint16_t>(kVkNumpad0 + (key - Qt::Key_0));
    switch (key) {
        case Qt::Key_Asterisk:
            return kVkMultiply;
        case Qt::Key_Plus:
            return kVkAdd;
        case Qt::Key_Minus:
            return kVkSubtract;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            return kVkDecimal;
        case Qt::Key_Slash:
            return kVkDivide;
        default:
            return 0;
    }
}

// Letters and digits by what the key types. Where the platform gives no
// keycode, also the two program keys right of '0', by what they print on
// German and US layouts.
uint16_t VirtualKeyByName(int key, bool haveKeycode) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<uint16_t>(key);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<uint16_t>(key);
    if (haveKeycode) return 0;
    switch (key) {
        case Qt::Key_ssharp:
        case Qt::Key_Minus:
            return VkOem4;
        case Qt::Key_Dead_Acute:
        case Qt::Key_acute:
        case Qt::Key_Equal:
            return VkOem6;
        default:
            return 0;
    }
}

bool IsDeadKey(int key) {
    return key >= Qt::Key_Dead_Grave && key <= Qt::Key_Dead_Longsolidusoverlay;
}

}  // namespace

KeyStroke MapKey(int key, Qt::KeyboardModifiers modifiers, const QString& text,
                 quint32 xkbKeycode) {
    ShiftState shift = 0;
    if (modifiers & Qt::ShiftModifier) shift |= ShiftKey;
    if (modifiers & Qt::ControlModifier) shift |= CtrlKey;
    if (modifiers & Qt::AltModifier) shift |= AltKey;
    // AltGr where the platform reports it as a modifier of its own: the
    // station knows it as Ctrl+Alt, which never counts as a program key.
    if (modifiers & Qt::GroupSwitchModifier) shift |= CtrlKey | AltKey;

    KeyStroke stroke;
    stroke.shift = shift;

    bool special = false;
    const Special fixed = SpecialKey(key, special);
    if (special) {
        stroke.valid = true;
        stroke.virtualKey = fixed.virtualKey;
        stroke.character = fixed.character;
        if (key == Qt::Key_Backtab) stroke.shift |= ShiftKey;
        if (key == Qt::Key_AltGr) stroke.shift |= CtrlKey | AltKey;
        if (shift == AltKey) stroke.character = 0;
        // Ctrl+Enter and Ctrl+Backspace type the line feed and the delete character.
        if ((shift & CtrlKey) && !(shift & AltKey)) {
            if (fixed.virtualKey == VkReturn) stroke.character = 10;
            if (fixed.virtualKey == VkBack) stroke.character = 0x7F;
        }
        return stroke;
    }

    char32_t printable = 0;
    char32_t control = 0;
    if (!text.isEmpty()) {
        char32_t code = text.at(0).unicode();
        if (text.at(0).isHighSurrogate() && text.size() > 1) {
            code = QChar::surrogateToUcs4(text.at(0), text.at(1));
        }
        if (code >= 0x20 && code != 0x7F) {
            printable = code;
        } else {
            control = code;
        }
    }

    const bool keypad = (modifiers & Qt::KeypadModifier) != 0;
    uint16_t virtualKey = keypad ? KeypadVirtualKey(key) : 0;
    if (virtualKey == 0 && key == Qt::Key_Space) virtualKey = VkSpace;
    if (virtualKey == 0) virtualKey = VirtualKeyByPlace(xkbKeycode);
    if (virtualKey == 0) virtualKey = VirtualKeyByName(key, xkbKeycode != 0);
    // Any other key that types something, and dead keys: a stand-in code with
    // no extended meaning.
    if (virtualKey == 0 && (printable != 0 || control != 0 || IsDeadKey(key))) {
        virtualKey = VkOemMinus;
    }
    if (virtualKey == 0) return stroke;

    stroke.valid = true;
    stroke.virtualKey = virtualKey;
    if (shift == AltKey) {
        // Alt alone: the station reads program keys from the virtual key only.
        stroke.character = 0;
    } else if ((shift & CtrlKey) && (shift & AltKey)) {
        // AltGr types characters; other Ctrl+Alt combinations type nothing.
        stroke.character = printable;
    } else if (shift & CtrlKey) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z) {
            stroke.character = static_cast<char32_t>(key - Qt::Key_A + 1);
        } else {
            stroke.character = control;
        }
    } else {
        stroke.character = printable != 0 ? printable : control;
    }
    return stroke;
}
