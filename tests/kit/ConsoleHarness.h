// A bare console on the scripted window system: three screen controls, the
// console bound to them, and key events delivered straight into the keyboard.
// Tests of the console and of single prompts run their procedure through it.
#pragma once
#include <functional>
#include <string>

#include "tests/kit/ScriptedWindowSystem.h"

class ConsoleHarness {
  public:
    ConsoleHarness();
    ~ConsoleHarness();

    ScriptedWindowSystem& host() { return host_; }
    void Add(ScriptEvent event) { host_.Add(std::move(event)); }
    void Add(const std::vector<ScriptEvent>& events) { host_.Add(events); }
    void Type(const std::string& utf8) { host_.Add(script::Type(utf8)); }

    // Runs `procedure` until it returns or the script runs out; true when it returned.
    bool Run(const std::function<void()>& procedure);

    std::string Row(int y) const { return host_.Row(y); }
    ScreenCell Cell(int x, int y) const { return host_.Cell(x, y); }
    // `count` cells of row y from column x, as UTF-8.
    std::string Text(int x, int y, int count) const {
        std::string text;
        for (int i = 0; i < count; ++i) text += host_.Cell(x + i, y).ch;
        return text;
    }

    RichEdit main, status, legend;

  private:
    ScriptedWindowSystem host_;
};
