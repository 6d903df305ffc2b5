// The station in a terminal: the window system the console and the main window
// talk to, drawn on and read from a terminal of at least 80 x 25 cells.
//
// Wiring a program to it takes three lines:
//
//     TerminalWindowSystem windowSystem;
//     TForm1 form(windowSystem);
//     return RunTerminalHost(form, windowSystem);
//
// Keys reach the station strictly in order and never while one is unread: the
// host decodes the next key only when the mailbox is empty, and leaves later
// input waiting, undecoded.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "host/HostEvents.h"
#include "host/tty/InputDecoder.h"
#include "host/tty/ScreenFrame.h"
#include "platform/WindowSystem.h"

struct TerminalOptions {
    int inputFd = 0;
    int outputFd = 1;
    // Take the terminal over: its modes, the alternate screen, mouse and paste
    // reporting, the signals. Off where the host runs over plain pipes (tests);
    // then the screen is taken as 80 x 25 and drawn in UTF-8.
    bool takeOverTerminal = true;
    // How long the rest of a key sequence may take after its Esc (ms); negative:
    // ESCDELAY from the environment, else 25.
    int escapeDelayMs = -1;
    // The colour depth instead of asking the terminal.
    std::optional<ColorDepth> colorDepth;
    // Replaces the end of the process (tests); it must not return.
    std::function<void(int)> endProcess;
};

class TerminalWindowSystem final : public WindowSystem {
  public:
    static constexpr std::size_t kInputLimit = 64 * 1024;

    explicit TerminalWindowSystem(TerminalOptions options = {});
    ~TerminalWindowSystem() override;
    TerminalWindowSystem(const TerminalWindowSystem&) = delete;
    TerminalWindowSystem& operator=(const TerminalWindowSystem&) = delete;

    // Takes the terminal over and shows `form`'s three screen controls. Says
    // why on standard error and returns false when it cannot.
    bool Open(HostEvents& form);
    // Gives the terminal back as it was found. Also happens at process end,
    // on crash signals and on Ctrl+Z (until resumed).
    void Close();
    // After the session was abandoned: keeps the screen up and ignores input
    // until Stop (Ctrl+C, SIGTERM, hang-up) ends the process.
    [[noreturn]] void ServeUntilStopped();

    // WindowSystem
    void Pump() override;
    void WaitForEvents() override;
    void Focus(RichEdit&) override {}
    std::string ClipboardText() override { return clipboard_; }
    void SetClipboardText(const std::string& utf8) override { clipboard_ = utf8; }
    void SetProgramKeyCaption(int index, const std::string& utf8) override;
    // Shown on the row below the screen where the terminal has one, in place
    // of the captions; a 25-row terminal has no room and shows nothing.
    void ShowInfo(const std::string& utf8) override;
    void Beep() override;
    void MessageBox(const std::string& caption, const std::string& text) override;
    [[noreturn]] void EndProcess(int exitCode) override;
    bool IsNtPlatform() override { return true; }
    // A width in the band where the window keeps its design size, so the
    // station never scales anything.
    int WindowWidth() override { return 830; }
    int MainControlWidth() override { return 1043; }
    void Scale(double) override {}

    const std::string& ProgramKeyCaption(int index) const;
    bool TooSmall() const { return tooSmall_; }

  private:
    static int64_t NowMs();
    bool SessionStarted() const;
    bool MayDeliver() const;
    void ServiceSignals();
    void HandleStop();
    void ReadInput(InputDecoder& decoder, bool evenWhenTooSmall = false);
    void DeliverPending();
    bool SignalKey(const InputEvent& event);
    void Deliver(const InputEvent& event);
    void DeliverMouse(const InputEvent& event);
    void Sleep(const InputDecoder& decoder, bool readInput, bool untilDeadline);
    // Acts on what the terminal said about itself: no mouse under GNU screen.
    void FollowTerminal(const InputDecoder& decoder);
    void HangUp();
    void UpdateSize();
    int ProgramKeyRow(int64_t nowMs) const;
    int InfoRow() const;
    void Render();
    void Write(const std::string& bytes);
    void HoldTypeAhead();

    TerminalOptions options_;
    HostEvents* form_ = nullptr;
    bool open_ = false;
    InputDecoder decoder_;
    InputDecoder::Timing timing_;
    // Events decoded but not yet delivered (type-ahead kept across a message box).
    std::deque<InputEvent> held_;
    FrameWriter writer_{ColorDepth::Ansi8, GlyphEncoding::Utf8};
    std::string bell_ = "\a";
    bool mouseReported_ = false;     // the terminal reports mouse clicks
    std::string setupWithoutMouse_;  // how the terminal is taken again once the mouse is given up
    std::string clipboard_;
    std::array<std::string, 12> captions_;
    uint64_t captionsRevision_ = 0;
    // Until when a 25-row terminal shows the captions on the legend line, after they changed.
    int64_t captionNoticeUntil_ = 0;
    std::string info_;
    uint64_t infoRevision_ = 0;
    std::optional<MessageBoxView> box_;
    InputDecoder boxDecoder_;
    int columns_ = Frame::kWidth;
    int rows_ = Frame::kHeight;
    bool tooSmall_ = false;
    bool noticeShown_ = false;
    bool terminalGone_ = false;
    bool stopRequested_ = false;
    bool stopping_ = false;
    bool abandoned_ = false;
    int depth_ = 0;                   // deliveries under way (the station pumps inside them)
    bool nestedWaitAllowed_ = false;  // the station waits for a key inside a delivery
    bool pressInside_[3] = {false, false, false};
    // What the last drawn frame was made from, to skip frames nothing changed.
    struct RenderKey {
        uint64_t revision[3] = {};
        bool focused[3] = {};
        bool box = false;
        int boxTop = 0;
        uint64_t captions = 0;  // only while they are drawn
        int captionRow = 0;     // the row the program keys are drawn on, 0 for none
        uint64_t info = 0;      // only while it is drawn
        int infoRow = 0;
        bool operator==(const RenderKey&) const = default;
    };
    std::optional<RenderKey> renderedKey_;
    int64_t lastRenderMs_ = 0;
};

// Runs the station in the terminal: takes the terminal over, presses Start
// (the session runs inside it and ends the process through the window system)
// and, if the session is abandoned, keeps the screen up until Stop. Returns
// only when the terminal cannot be used or the session failed with an
// exception, with the exit code to end with.
int RunTerminalHost(HostEvents& form, TerminalWindowSystem& windowSystem);
