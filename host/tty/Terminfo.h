// What the terminal can do, from the terminfo database and the environment:
// how many colours it shows and the strings for the alternate screen, the
// cursor and the bell. Only this file's source meets the curses headers.
#pragma once
#include <string>

#include "host/tty/ScreenFrame.h"

struct TerminalCapabilities {
    ColorDepth depth = ColorDepth::Ansi8;
    std::string enterAlternateScreen = "\x1b[?1049h";
    std::string leaveAlternateScreen = "\x1b[?1049l";
    std::string showCursor = "\x1b[?25h";
    std::string bellSound = "\a";
};

// The capabilities of $TERM (xterm-like defaults when it is unknown), the
// colour depth raised to 24 bits when COLORTERM says so.
TerminalCapabilities QueryTerminalCapabilities(int fd);
// A terminfo string without its padding ($<...>) marks.
std::string WithoutPadding(const std::string& capability);
