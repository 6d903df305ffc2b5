// Turns a Qt key event into the key stroke the station's keyboard expects: a
// Windows virtual-key code, the modifiers and the character typed.
//
// A pure function of the event's parts, so it can be checked from tables
// without a window or a keyboard.
#pragma once
#include <QString>
#include <Qt>
#include <cstdint>

#include "console/ConsoleKeyboard.h"

struct KeyStroke {
    bool valid = false;  // false: nothing the station should see (a release, an unknown key)
    uint16_t virtualKey = 0;
    ShiftState shift = 0;
    char32_t character = 0;  // Unicode; 0 for a key without a character

    bool operator==(const KeyStroke&) const = default;
};

// `key`, `modifiers` and `text` as QKeyEvent reports them; `xkbKeycode` is the
// event's native scan code on X11 and Wayland (evdev code + 8), 0 where the
// platform gives none. The digit row and the two keys right of '0' are found by
// that code, so the program keys sit on the same keys whatever the layout.
KeyStroke MapKey(int key, Qt::KeyboardModifiers modifiers, const QString& text, quint32 xkbKeycode);
