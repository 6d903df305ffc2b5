// The whole station on the scripted window system: a main window (TForm1)
// whose events come from a script, started in the current directory. Scenario
// tests build a script, run it, and look at the screen and the files.
#pragma once
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/TForm1.h"
#include "tests/kit/ScriptedWindowSystem.h"

class StationHarness {
  public:
    // `session`: what Start runs; the station's own session when empty.
    explicit StationHarness(std::function<void()> session = {});
    ~StationHarness();

    ScriptedWindowSystem& host() { return host_; }
    TForm1& form() { return *form_; }
    void Add(ScriptEvent event) { host_.Add(std::move(event)); }
    void Add(const std::vector<ScriptEvent>& events) { host_.Add(events); }
    void Type(const std::string& utf8) { host_.Add(script::Type(utf8)); }
    void Key(uint16_t virtualKey, ShiftState shift = 0) {
        host_.Add(script::Key(virtualKey, shift));
    }

    enum class Outcome { ScriptEnded, ProcessEnded, Returned };
    // Presses Start and runs until the script is used up or the station ends.
    // The script begins when the session does, unless `scriptBeforeSession`:
    // then its first events reach the window while Start is still binding it.
    Outcome Start(bool scriptBeforeSession = false);

    std::string Row(int y) const { return host_.Row(y); }
    std::string Text(int x, int y, int count) const;
    ScreenCell Cell(int x, int y) const { return host_.Cell(x, y); }
    void Cursor(int& x, int& y) const { host_.CursorCell(x, y); }

  private:
    ScriptedWindowSystem host_;
    std::unique_ptr<TForm1> form_;
};

// How a failed expectation names an outcome: a station that waited for a key
// where the test expected it to end should say so.
void PrintTo(StationHarness::Outcome outcome, std::ostream* out);
