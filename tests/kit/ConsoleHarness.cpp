#include "tests/kit/ConsoleHarness.h"

#include <gtest/gtest.h>

#include "console/WinCrt.h"
#include "platform/CodePage.h"

ConsoleHarness::ConsoleHarness() {
    ResetConsoleScreen();
    ResetKeyboard();
    host_.SetScreen(main, status, legend);
    host_.SetDispatcher([](const ScriptEvent& event) {
        if (event.kind == ScriptEvent::Kind::Key) {
            const uint8_t ch = event.character == 0 ? 0 : UnicodeToOem(event.character);
            DeliverKey(event.virtualKey, event.shift, ch);
        }
    });
    BindScreenControls(main, status, legend);
    BindWindowSystem(host_);
    ClearScreen();
}

ConsoleHarness::~ConsoleHarness() {
    // A script event never used is a step the code under test skipped: a key
    // it never waited for, or a check that never ran.
    EXPECT_EQ(host_.Remaining(), 0u) << "script events left unused";
    UnbindConsole();
    ResetConsoleScreen();
    ResetKeyboard();
}

bool ConsoleHarness::Run(const std::function<void()>& procedure) {
    try {
        procedure();
        return true;
    } catch (const ScriptEnded&) {
        return false;
    }
}
