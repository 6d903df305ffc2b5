#include "host/qt/InputQueue.h"

#include <algorithm>
#include <exception>

#include "console/ConsoleScreen.h"
#include "host/HostEvents.h"

namespace {

constexpr const char* kErrorCaption = "Kelbrin 4.9";

int MainIndex(int x, int y) {
    return (y - 2) * kMainLineStride + (x - 1);
}

}  // namespace

void CallStation(WindowSystem& windowSystem, const std::function<void()>& call) {
    try {
        call();
    } catch (const ProcessEnded& ended) {
        windowSystem.EndProcess(ended.exitCode);
    } catch (const std::exception& error) {
        windowSystem.MessageBox(kErrorCaption, error.what());
    } catch (...) {
        windowSystem.MessageBox(kErrorCaption, "Unbekannter Fehler");
    }
}

void InputQueue::Push(const HostInput& input) {
    if (input.autoRepeat && !pending_.empty()) return;
    if (input.kind == HostInput::Kind::Drag && !pending_.empty() &&
        pending_.back().kind == HostInput::Kind::Drag) {
        pending_.back() = input;  // only where the drag ended matters
    } else {
        pending_.push_back(input);
    }
    Drain();
}

void InputQueue::Drain() {
    DrainWhile(false);
}

bool InputQueue::ReadyForWait() const {
    return !pending_.empty() && !KeyQueue.KeyAvailable;
}

bool InputQueue::DrainForWait() {
    held_ = false;
    const std::size_t before = pending_.size();
    DrainWhile(true);
    return pending_.size() != before;
}

void InputQueue::DrainWhile(bool nestedAllowed) {
    while (!pending_.empty() && !held_ && !KeyQueue.KeyAvailable &&
           (depth_ == 0 || nestedAllowed)) {
        const HostInput input = pending_.front();
        pending_.pop_front();
        Deliver(input);
        // One event per wait: what follows goes on at the station's next pump.
        if (nestedAllowed) nestedAllowed = false;
    }
}

void InputQueue::Deliver(const HostInput& input) {
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } inside(depth_);

    CallStation(windowSystem_, [&] {
        switch (input.kind) {
            case HostInput::Kind::Key:
                form_.KeyDown(input.virtualKey, input.shift, input.character);
                break;
            case HostInput::Kind::Character:
                form_.KeyPress(input.character);
                break;
            case HostInput::Kind::Press:
                dragAnchor_ = input.button == MouseButton::Left ? MainIndex(input.x, input.y) : -1;
                form_.SelectCell(input.x, input.y);
                form_.MouseDown(input.button);
                break;
            case HostInput::Kind::Release:
                dragAnchor_ = -1;
                form_.MouseUp(input.button);
                break;
            case HostInput::Kind::Drag: {
                // The selection the left-button release copies: from the pressed
                // cell to the cell under the mouse, both included.
                if (dragAnchor_ < 0) break;
                const int here = MainIndex(input.x, input.y);
                RichEdit& main = form_.MainAreaControl();
                if (here == dragAnchor_) {
                    main.Select(dragAnchor_, 0);
                } else {
                    const int from = std::min(here, dragAnchor_);
                    main.Select(from, std::max(here, dragAnchor_) - from + 1);
                }
                break;
            }
            case HostInput::Kind::ProgramKey:
                form_.HotkeyClick(input.n);
                break;
        }
    });
}
