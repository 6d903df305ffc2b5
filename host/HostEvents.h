// What a host (the Qt window, the terminal, the tests) hands to the station:
// every window event, plus the three screen controls it draws. The station's
// main window (TForm1) implements it; hosts depend on nothing else of the station.
#pragma once
#include <cstdint>

#include "console/ConsoleKeyboard.h"
#include "platform/RichEdit.h"
#include "platform/WindowSystem.h"

class HostEvents {
  public:
    virtual ~HostEvents() = default;

    // The three controls of the screen: row 1, rows 2 to 24, row 25.
    virtual RichEdit& StatusControl() = 0;
    virtual RichEdit& MainAreaControl() = 0;
    virtual RichEdit& LegendControl() = 0;

    // Start: runs the whole session inside this call and does not return while
    // the session lives (the end of the session ends the process through the
    // window system). It returns only when the session was abandoned, or at
    // once when Start was pressed before.
    virtual void StartDown() = 0;
    virtual void StopDown() = 0;
    virtual void FormClose() = 0;

    // A key stroke: Windows virtual key, modifiers and the Unicode character
    // typed (0 for none). Call it only while no key is unread
    // (KeyQueue.KeyAvailable is false) and not from inside another event,
    // unless the station waits for a key there: keys that arrive early wait in
    // the host, in order.
    virtual void KeyDown(uint16_t virtualKey, ShiftState shift, char32_t character) = 0;
    virtual void KeyPress(char32_t character) = 0;

    // A click on the main area: first SelectCell with the cell (x 1..80, y 2..24),
    // then MouseDown on press and MouseUp on release. A release over the status
    // or legend line calls MouseUp without SelectCell. A right click pastes the
    // window system's clipboard text.
    virtual void SelectCell(int x, int y) = 0;
    virtual void MouseDown(MouseButton button) = 0;
    virtual void MouseUp(MouseButton button) = 0;

    // Program-key button n = 1 .. 12.
    virtual void HotkeyClick(int n) = 0;
};
