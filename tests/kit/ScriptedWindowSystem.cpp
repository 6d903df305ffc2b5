#include "tests/kit/ScriptedWindowSystem.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/CodePage.h"

namespace script {

namespace {

uint16_t VirtualKeyFor(char32_t ch) {
    if (ch >= 'a' && ch <= 'z') return static_cast<uint16_t>(ch - 'a' + 'A');
    if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) return static_cast<uint16_t>(ch);
    if (ch == ' ') return VkSpace;
    if (ch == '\r' || ch == '\n') return VkReturn;
    if (ch == '\t') return VkTab;
    if (ch == 8) return VkBack;
    if (ch == 27) return VkEscape;
    return VkOemMinus;  // any key that has no extended meaning
}

}  // namespace

ScriptEvent Key(uint16_t virtualKey, ShiftState shift, char32_t character) {
    // Keys that type a control character do so, as on a real keyboard.
    if (character == 0 && (shift & (AltKey | CtrlKey)) == 0) {
        if (virtualKey == VkBack) character = 8;
        if (virtualKey == VkTab) character = 9;
        if (virtualKey == VkReturn) character = 13;
        if (virtualKey == VkEscape) character = 27;
        if (virtualKey == VkSpace) character = ' ';
    }
    ScriptEvent event;
    event.kind = ScriptEvent::Kind::Key;
    event.virtualKey = virtualKey;
    event.shift = shift;
    event.character = character;
    return event;
}

ScriptEvent Char(char32_t ch) {
    if (ch == '\n') ch = '\r';
    const bool upper = (ch >= 'A' && ch <= 'Z');
    return Key(VirtualKeyFor(ch), upper ? ShiftKey : 0, ch);
}

std::vector<ScriptEvent> Type(const std::string& utf8) {
    std::vector<ScriptEvent> events;
    for (char32_t ch : Utf8ToU32(utf8)) events.push_back(Char(ch));
    return events;
}

ScriptEvent Alt(uint16_t virtualKey) {
    return Key(virtualKey, AltKey, 0);
}

ScriptEvent Paste(const std::string& utf8) {
    ScriptEvent event;
    event.kind = ScriptEvent::Kind::Paste;
    event.text = utf8;
    event.button = MouseButton::Right;
    return event;
}

std::vector<ScriptEvent> Click(int x, int y, MouseButton button) {
    ScriptEvent press;
    press.kind = ScriptEvent::Kind::MousePress;
    press.x = x;
    press.y = y;
    press.button = button;
    ScriptEvent release = press;
    release.kind = ScriptEvent::Kind::MouseRelease;
    return {press, release};
}

ScriptEvent ProgramKey(int n) {
    ScriptEvent event;
    event.kind = ScriptEvent::Kind::ProgramKey;
    event.n = n;
    return event;
}

ScriptEvent Stop() {
    ScriptEvent event;
    event.kind = ScriptEvent::Kind::Stop;
    return event;
}

ScriptEvent Close() {
    ScriptEvent event;
    event.kind = ScriptEvent::Kind::Close;
    return event;
}

ScriptEvent Idle() {
    ScriptEvent event;
    event.kind = ScriptEvent::Kind::Idle;
    return event;
}

ScriptEvent Call(std::function<void()> call) {
    ScriptEvent event;
    event.kind = ScriptEvent::Kind::Call;
    event.call = std::move(call);
    return event;
}

}  // namespace script

void ScriptedWindowSystem::SetScreen(RichEdit& main, RichEdit& status, RichEdit& legend) {
    main_ = &main;
    status_ = &status;
    legend_ = &legend;
}

void ScriptedWindowSystem::Add(ScriptEvent event) {
    events_.push_back(std::move(event));
}

void ScriptedWindowSystem::Add(const std::vector<ScriptEvent>& events) {
    events_.insert(events_.end(), events.begin(), events.end());
}

void ScriptedWindowSystem::Pump() {
    const bool waited = std::exchange(waited_, false);
    // Like a real host: nothing new while a key is unread, and no event inside
    // the handling of another one unless the station waits for a key there.
    if (held_ || next_ >= events_.size() || KeyQueue.KeyAvailable) return;
    if (events_[next_].kind == ScriptEvent::Kind::Idle) {
        if (waited) ++next_;
        return;
    }
    if (depth_ > 0 && !forceNext_) return;
    forceNext_ = false;
    const ScriptEvent event = events_[next_++];
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } guard(depth_);
    if (event.kind == ScriptEvent::Kind::Call) {
        event.call();
    } else if (dispatcher_) {
        dispatcher_(event);
    }
}

void ScriptedWindowSystem::WaitForEvents() {
    if (held_) {
        // The script goes on only once the session has begun: a station that
        // waits for a key before that would wait for ever.
        ADD_FAILURE() << "The station waited for a key the script did not give: the script is "
                         "held back until the session begins, and the station waited before.";
        throw ScriptEnded{};
    }
    if (next_ >= events_.size()) throw ScriptEnded{};
    forceNext_ = true;
    waited_ = true;
}

void ScriptedWindowSystem::Focus(RichEdit& control) {
    for (RichEdit* each : {main_, status_, legend_}) {
        if (each != nullptr) each->SetFocused(each == &control);
    }
}

void ScriptedWindowSystem::SetProgramKeyCaption(int index, const std::string& utf8) {
    if (index >= 0 && index < static_cast<int>(captions_.size())) captions_[index] = utf8;
}

void ScriptedWindowSystem::MessageBox(const std::string& caption, const std::string& text) {
    messageBoxes_.push_back(ShownMessageBox{caption, text});
}

void ScriptedWindowSystem::EndProcess(int exitCode) {
    ended_ = true;
    exitCode_ = exitCode;
    throw ProcessEnded{exitCode};
}

const RichEdit* ScriptedWindowSystem::ControlOfRow(int y) const {
    if (y == 1) return status_;
    if (y == 25) return legend_;
    return main_;
}

ScreenCell ScriptedWindowSystem::Cell(int x, int y) const {
    ScreenCell cell;
    const RichEdit* control = ControlOfRow(y);
    if (control == nullptr) return cell;
    const int line = (y == 1 || y == 25) ? 0 : y - 2;
    const RichCell rich = control->Cell(line, x - 1);
    cell.code = rich.ch;
    AppendUtf8(cell.ch, rich.ch);
    cell.color = rich.color;
    cell.underline = rich.underline;
    return cell;
}

std::string ScriptedWindowSystem::Row(int y) const {
    std::string row;
    for (int x = 1; x <= 80; ++x) row += Cell(x, y).ch;
    return row;
}

std::string ScriptedWindowSystem::Screen() const {
    std::string text;
    for (int y = 1; y <= 25; ++y) text += Row(y) + "\n";
    return text;
}

void ScriptedWindowSystem::CursorCell(int& x, int& y) const {
    x = y = 0;
    for (const RichEdit* control : {status_, main_, legend_}) {
        if (control == nullptr || !control->Focused()) continue;
        int line = 0, column = 0;
        control->IndexToCell(control->SelectionStart(), line, column);
        x = column + 1;
        y = control == status_ ? 1 : control == legend_ ? 25 : line + 2;
        return;
    }
}
