// The window system of the tests: it feeds a list of events to the station one
// by one, each time the console pumps, and records what an operator would see.
//
// Like the real hosts it never delivers an event while a key is unread, so keys
// arrive strictly in order and none is lost. When the list runs out while the
// station waits for a key, the run ends cleanly with ScriptEnded. A wait that
// the list can never answer, because it is held, fails the test and ends the
// run the same way instead of waiting for ever.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "console/ConsoleKeyboard.h"
#include "platform/RichEdit.h"
#include "platform/WindowSystem.h"

struct ScriptEvent {
    enum class Kind {
        Key,           // key down with virtual key, modifiers and character
        Paste,         // right-click paste of `text` (UTF-8)
        MousePress,    // at cell (x, y)
        MouseRelease,  // at cell (x, y)
        ProgramKey,    // one of the twelve buttons, n = 1..12
        Stop,
        Close,
        Call,  // runs `call` inside the station's key wait (for checks mid-run)
        Idle,  // waits until the station really waits for a key (not merely
               // looks whether one is there, as a search or a beep does)
    };
    Kind kind = Kind::Key;
    uint16_t virtualKey = 0;
    ShiftState shift = 0;
    char32_t character = 0;
    std::string text;
    int x = 0, y = 0;
    MouseButton button = MouseButton::Left;
    int n = 0;
    std::function<void()> call;
};

// Thrown when the station waits for a key and the script has nothing left, or
// is held.
struct ScriptEnded {};

// Builders for scripts.
namespace script {
ScriptEvent Key(uint16_t virtualKey, ShiftState shift = 0, char32_t character = 0);
// One key event per character of a UTF-8 text (Enter for '\r' or '\n').
std::vector<ScriptEvent> Type(const std::string& utf8);
ScriptEvent Char(char32_t character);
ScriptEvent Alt(uint16_t virtualKey);
ScriptEvent Paste(const std::string& utf8);
// Press and release of a button on cell (x, y).
std::vector<ScriptEvent> Click(int x, int y, MouseButton button = MouseButton::Left);
ScriptEvent ProgramKey(int n);
ScriptEvent Stop();
ScriptEvent Close();
ScriptEvent Call(std::function<void()> call);
// Holds back the rest of the script until the station waits for a key: what
// follows is not taken by a running search, nor let through by a beep.
ScriptEvent Idle();
}  // namespace script

struct ShownMessageBox {
    std::string caption;
    std::string text;
};

struct ScreenCell {
    std::string ch;  // the glyph as UTF-8
    char32_t code = 0;
    uint32_t color = 0;
    bool underline = false;
};

class ScriptedWindowSystem : public WindowSystem {
  public:
    using Dispatcher = std::function<void(const ScriptEvent&)>;

    ScriptedWindowSystem() = default;
    void SetDispatcher(Dispatcher dispatcher) { dispatcher_ = std::move(dispatcher); }
    void SetScreen(RichEdit& main, RichEdit& status, RichEdit& legend);

    // While held, pumps deliver nothing (the script waits for the session to
    // start); a key wait then fails the test.
    void SetHeld(bool held) { held_ = held; }

    void Add(ScriptEvent event);
    void Add(const std::vector<ScriptEvent>& events);
    std::size_t Remaining() const { return events_.size() - next_; }
    // Gives up the events not used yet (a key added in case a message came).
    void DropRemaining() { next_ = events_.size(); }

    // WindowSystem
    void Pump() override;
    void WaitForEvents() override;
    void Focus(RichEdit& control) override;
    std::string ClipboardText() override { return clipboard_; }
    void SetClipboardText(const std::string& utf8) override { clipboard_ = utf8; }
    void SetProgramKeyCaption(int index, const std::string& utf8) override;
    void ShowInfo(const std::string& utf8) override { info_ = utf8; }
    void Beep() override { ++beeps_; }
    void MessageBox(const std::string& caption, const std::string& text) override;
    [[noreturn]] void EndProcess(int exitCode) override;
    bool IsNtPlatform() override { return ntPlatform_; }
    int WindowWidth() override { return windowWidth_; }
    int MainControlWidth() override { return mainControlWidth_; }
    void Scale(double ratio) override { scales_.push_back(ratio); }

    // What the operator sees.
    std::string Row(int y) const;         // the 80 cells of a row, as UTF-8
    ScreenCell Cell(int x, int y) const;  // x 1..80, y 1..25
    std::string Screen() const;           // all 25 rows, one per line
    void CursorCell(int& x, int& y) const;
    int Beeps() const { return beeps_; }
    // What the information row shows now.
    const std::string& Info() const { return info_; }
    const std::vector<ShownMessageBox>& MessageBoxes() const { return messageBoxes_; }
    const std::vector<double>& Scales() const { return scales_; }
    const std::string& ProgramKeyCaption(int index) const { return captions_.at(index); }
    bool Ended() const { return ended_; }
    int ExitCode() const { return exitCode_; }

    // Settings of the pretended platform.
    void SetNtPlatform(bool nt) { ntPlatform_ = nt; }
    void SetWindowWidth(int width) { windowWidth_ = width; }
    void SetMainControlWidth(int width) { mainControlWidth_ = width; }

  private:
    const RichEdit* ControlOfRow(int y) const;

    Dispatcher dispatcher_;
    std::vector<ScriptEvent> events_;
    std::size_t next_ = 0;
    int depth_ = 0;
    bool forceNext_ = false;
    bool waited_ = false;  // the station waited for events since the last pump
    bool held_ = false;
    RichEdit* main_ = nullptr;
    RichEdit* status_ = nullptr;
    RichEdit* legend_ = nullptr;
    std::string clipboard_;
    int beeps_ = 0;
    std::vector<ShownMessageBox> messageBoxes_;
    std::vector<double> scales_;
    std::array<std::string, 12> captions_;
    std::string info_;
    bool ntPlatform_ = true;
    bool ended_ = false;
    int exitCode_ = -1;
    int windowWidth_ = 800;
    int mainControlWidth_ = 1043;
};
