// The station's main window, written once without any toolkit: the three screen
// controls, the started flag, and the routing of every window event (Start,
// Stop, close, keys, clicks, the twelve program-key buttons, clipboard) into the
// text console and the session. The Qt window, the terminal and the tests each
// own one TForm1 and call its handlers; it reaches them only through the
// WindowSystem it was given.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "console/ConsoleKeyboard.h"
#include "screens/InOutFailure.h"
#include "host/HostEvents.h"
#include "platform/RichEdit.h"
#include "platform/WindowSystem.h"

class TForm1 : public HostEvents {
  public:
    // `session` is what Start runs; by default the station's whole session
    // (start-up, main loop, shutdown). Tests of single screens pass their own.
    explicit TForm1(WindowSystem& windowSystem, std::function<void()> session = {});
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    RichEdit RichEdit1;  // the main area, rows 2 to 24
    RichEdit RichEdit2;  // the status line, row 1
    RichEdit RichEdit3;  // the legend line, row 25
    bool StartGuard = false;
    bool NtPlatform = false;

    // Start: binds the screen, runs the session and ends the process through
    // the window system (exit code 1 after an input/output failure at start-up
    // or at the end, which is shown first).
    void StartDown() override;
    void StopDown() override;
    void FormClose() override;

    // A key stroke: Windows virtual key, modifiers and the character it typed
    // (Unicode, 0 for none). Hosts call it only while no key is unread.
    void KeyDown(uint16_t virtualKey, ShiftState shift, char32_t character) override;
    // A character that arrived without a key of its own (for example from an
    // input method): it is keyed like a plain character.
    void KeyPress(char32_t character) override;

    // Clicks on the main area. The host first names the clicked cell
    // (SelectCell); a press of the left button puts RichEdit1's caret there,
    // and press or release then act as the platform family decides
    // (NtPlatform: on release). The other buttons never move the caret.
    void SelectCell(int x, int y) override;
    void MouseDown(MouseButton button) override;
    void MouseUp(MouseButton button) override;

    // The twelve program-key buttons. A host names the clicked button n
    // (1 .. 12); HotkeyClick hands the click to that button's own handler,
    // which keys Alt with the key the button stands for.
    void HotkeyClick(int n) override;
    void Hotkey1Click() { ProgramKeyClick('1'); }
    void Hotkey2Click() { ProgramKeyClick('2'); }
    void Hotkey3Click() { ProgramKeyClick('3'); }
    void Hotkey4Click() { ProgramKeyClick('4'); }
    void Hotkey5Click() { ProgramKeyClick('5'); }
    void Hotkey6Click() { ProgramKeyClick('6'); }
    void Hotkey7Click() { ProgramKeyClick('7'); }
    void Hotkey8Click() { ProgramKeyClick('8'); }
    void Hotkey9Click() { ProgramKeyClick('9'); }
    void Hotkey10Click() { ProgramKeyClick('0'); }
    void Hotkey11Click() { ProgramKeyClick(VkOem4); }
    void Hotkey12Click() { ProgramKeyClick(VkOem6); }

    // The right-click paste and the left-click copy of the window.
    void ClipboardPaste();
    void ClipboardCopy();

    RichEdit& StatusControl() override { return RichEdit2; }
    RichEdit& MainAreaControl() override { return RichEdit1; }
    RichEdit& LegendControl() override { return RichEdit3; }
    WindowSystem& windowSystem() { return windowSystem_; }

  private:
    void ProgramKeyClick(uint16_t virtualKey);
    void Click(MouseButton button);
    bool OperatorSelection() const;
    void SaveAndEnd();
    void ReportInOutError(int code);

    WindowSystem& windowSystem_;
    std::function<void()> session_;
    int clickedCell_ = -1;  // character index SelectCell named for the next press
    int pressedCell_ = -1;  // where the left button went down on the main area
};
