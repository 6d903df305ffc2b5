#include "host/tty/Terminfo.h"

#include <cstdlib>
#include <cstring>

// The curses headers define many short macros; they stay inside this file.
#include <curses.h>
#include <term.h>

namespace {

// A string capability, or nothing when the terminal lacks it.
std::string StringCapability(const char* name) {
    const char* value = tigetstr(name);
    if (value == nullptr || value == reinterpret_cast<const char*>(-1)) return {};
    return WithoutPadding(value);
}

bool EnvironmentSaysTrueColor() {
    const char* colorterm = std::getenv("COLORTERM");
    if (colorterm == nullptr) return false;
    return std::strcmp(colorterm, "truecolor") == 0 || std::strcmp(colorterm, "24bit") == 0;
}

}  // namespace

std::string WithoutPadding(const std::string& capability) {
    std::string out;
    for (std::size_t i = 0; i < capability.size(); ++i) {
        if (capability[i] == '$' && i + 1 < capability.size() && capability[i + 1] == '<') {
            const std::size_t close = capability.find('>', i);
            if (close != std::string::npos) {
                i = close;
                continue;
            }
        }
        out += capability[i];
    }
    return out;
}

TerminalCapabilities QueryTerminalCapabilities(int fd) {
    TerminalCapabilities caps;
    int error = 0;
    if (setupterm(nullptr, fd, &error) == OK) {
        const int colors = tigetnum("colors");
        if (colors >= 256) {
            caps.depth = ColorDepth::Indexed256;
        } else if (colors >= 16) {
            caps.depth = ColorDepth::Ansi16;
        }
        if (tigetflag("RGB") > 0 || tigetflag("Tc") > 0) caps.depth = ColorDepth::Direct;
        // A terminal without an alternate screen gets none: the host clears on leaving instead.
        caps.enterAlternateScreen = StringCapability("smcup");
        caps.leaveAlternateScreen = StringCapability("rmcup");
        if (caps.enterAlternateScreen.empty() || caps.leaveAlternateScreen.empty()) {
            caps.enterAlternateScreen.clear();
            caps.leaveAlternateScreen.clear();
        }
        if (std::string cursor = StringCapability("cnorm"); !cursor.empty())
            caps.showCursor = cursor;
        if (std::string sound = StringCapability("bel"); !sound.empty()) caps.bellSound = sound;
        del_curterm(cur_term);
    }
    if (EnvironmentSaysTrueColor()) caps.depth = ColorDepth::Direct;
    return caps;
}
