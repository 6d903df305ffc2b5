// What the station needs of the window system it runs in: the message pump,
// keyboard focus, clipboard, beep, message box, process end and scaling.
//
// Three hosts implement it: the Qt window, the terminal, and the scripted one
// the tests drive. The core and the console reach the host only through here.
#pragma once
#include <cstdint>
#include <string>

class RichEdit;

enum class MouseButton { Left, Right, Middle };

// Thrown by hosts that must not really end the process (the scripted one), so
// that a test can watch the station stop without its runner dying with it.
struct ProcessEnded {
    int exitCode = 0;
};

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;

    // Runs all pending window events once and returns; never waits.
    virtual void Pump() = 0;
    // Waits until at least one window event is pending (or, in a host that
    // cannot know, until something may have changed). An idle station sleeps here.
    virtual void WaitForEvents() = 0;

    // Gives the keyboard focus to one of the three screen controls.
    virtual void Focus(RichEdit& control) = 0;

    // Clipboard text as UTF-8; hosts without a clipboard keep one of their own.
    virtual std::string ClipboardText() = 0;
    virtual void SetClipboardText(const std::string& utf8) = 0;

    // The caption of program-key button `index` (0..11), as UTF-8; empty hides the text.
    virtual void SetProgramKeyCaption(int index, const std::string& utf8) = 0;

    // The information row outside the 80 x 25 screen (UTF-8): why the last
    // beep sounded, or where the operator is in the records. Empty: nothing
    // to say (the terminal then shows the program-key captions there). A host
    // without room for it shows nothing, and nothing else changes.
    virtual void ShowInfo(const std::string& utf8) { (void)utf8; }

    // The system's asterisk sound.
    virtual void Beep() = 0;
    // A modal message box with an OK button; texts in UTF-8.
    virtual void MessageBox(const std::string& caption, const std::string& text) = 0;

    // Ends the process at once with the exit code (the scripted host throws
    // ProcessEnded instead).
    [[noreturn]] virtual void EndProcess(int exitCode) = 0;

    // Whether clicks act on release (the newer platform family) or on press.
    virtual bool IsNtPlatform() = 0;

    // Window geometry for fitting the screen at start: the window's width and the
    // main control's width in pixels, and scaling of everything by a ratio.
    virtual int WindowWidth() = 0;
    virtual int MainControlWidth() = 0;
    virtual void Scale(double ratio) = 0;
};
