// A small stand-in for the station, for the window's tests and its demo. Like
// the station's form it binds the console to its three screen controls at
// Start and runs its session inside StartDown; the session paints a sample
// screen (frames, fill marks, input fields, status and legend lines) and
// echoes the keys it reads into an input field. F3 sets the information text
// or clears it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/HostEvents.h"

class EchoStation : public HostEvents {
  public:
    struct ReadResult {
        uint8_t keyChar = 0;
        uint8_t scanCode = 0;
        ShiftState shift = 0;
    };

    explicit EchoStation(WindowSystem& windowSystem);
    ~EchoStation() override;

    // true (the demo): Stop, close and Esc end the process. false (tests):
    // they are only counted, and Esc ends the session, so StartDown returns.
    bool endsProcess = true;
    // After each key the session pumps this many times before it reads the
    // next one, as a busy station does.
    int busyPumps = 0;
    // Called once inside the session, just before it first waits for a key:
    // tests act there as the operator, from inside the running session.
    std::function<void()> onFirstRead;

    const std::vector<ReadResult>& Keys() const { return keys_; }
    bool SessionRunning() const { return running_; }
    bool SessionEnded() const { return ended_; }
    int StopCalls() const { return stopCalls_; }
    int CloseCalls() const { return closeCalls_; }
    int StartCalls() const { return startCalls_; }

    RichEdit& StatusControl() override { return status_; }
    RichEdit& MainAreaControl() override { return main_; }
    RichEdit& LegendControl() override { return legend_; }

    void StartDown() override;
    void StopDown() override;
    void FormClose() override;
    void KeyDown(uint16_t virtualKey, ShiftState shift, char32_t character) override;
    void KeyPress(char32_t character) override;
    void SelectCell(int x, int y) override;
    void MouseDown(MouseButton button) override;
    void MouseUp(MouseButton button) override;
    void HotkeyClick(int n) override;

  private:
    void Session();
    void PaintSample();
    void ShowKey(uint8_t keyChar);
    void Echo(uint8_t keyChar);
    void Paste();
    void Copy();
    void End();

    WindowSystem& windowSystem_;
    RichEdit main_, status_, legend_;
    bool started_ = false;
    bool running_ = false;
    bool ended_ = false;
    int startCalls_ = 0;
    int stopCalls_ = 0;
    int closeCalls_ = 0;
    int echoColumn_ = 0;
    bool informing_ = false;
    std::vector<ReadResult> keys_;
};
