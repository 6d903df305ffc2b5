// The window's own queue of operator input on its way to the station.
//
// The station's keyboard holds one key. So that no key is lost, nothing new is
// handed over while that key is unread or while the station is still busy with
// an earlier event: input waits here, in the order it came, and goes on at the
// next chance (the station's next pump). Clicks and program-key buttons queue
// behind keys typed before them.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>

#include "console/ConsoleKeyboard.h"
#include "platform/WindowSystem.h"

class HostEvents;

struct HostInput {
    enum class Kind {
        Key,         // a key stroke
        Character,   // a character without a key of its own
        Press,       // mouse press on main-area cell (x, y)
        Release,     // mouse release, wherever it happened
        Drag,        // the left button held and moved to cell (x, y)
        ProgramKey,  // button n = 1..12
    };
    Kind kind = Kind::Key;
    uint16_t virtualKey = 0;
    ShiftState shift = 0;
    char32_t character = 0;
    bool autoRepeat = false;
    int x = 0, y = 0;  // cell: x 1..80, y 2..24
    MouseButton button = MouseButton::Left;
    int n = 0;
};

class InputQueue {
  public:
    InputQueue(HostEvents& form, WindowSystem& windowSystem)
        : form_(form), windowSystem_(windowSystem) {}

    // Queues the input and hands over at once what may go now. A key that the
    // keyboard repeats while earlier input still waits is dropped, so that
    // holding a key down cannot run far ahead of the station.
    void Push(const HostInput& input);
    // Hands over waiting input while the station can take it: no key unread,
    // not inside the handling of an earlier event, not held.
    void Drain();
    // The station waits for a key: input may go even in the middle of an
    // earlier event's handling (that handling is what is waiting). True when
    // something was handed over.
    bool DrainForWait();
    // Whether DrainForWait would hand something over now.
    bool ReadyForWait() const;

    // Between the Start button and the session's first key wait, input is
    // kept back: the station would not yet take it as a key.
    void Hold() { held_ = true; }
    void Release() { held_ = false; }
    bool Held() const { return held_; }

    std::size_t Size() const { return pending_.size(); }
    bool Delivering() const { return depth_ > 0; }

  private:
    void DrainWhile(bool nestedAllowed);
    void Deliver(const HostInput& input);

    HostEvents& form_;
    WindowSystem& windowSystem_;
    std::deque<HostInput> pending_;
    int depth_ = 0;
    bool held_ = false;
    int dragAnchor_ = -1;  // character index of the left press on the main area
};

// Calls into the station from a window event. Nothing may unwind through the
// toolkit's event dispatch: a failure ends this one event with a message box,
// as a failed event ends in an error box on the station's home platform.
void CallStation(WindowSystem& windowSystem, const std::function<void()>& call);
