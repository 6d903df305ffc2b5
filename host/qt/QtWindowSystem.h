// The window system the station runs in when it has its Qt window: the
// station's pump and key wait run Qt's event loop, and focus, clipboard,
// program-key captions, the information row, message box and scaling reach
// the window.
#pragma once
#include <string>

#include "platform/WindowSystem.h"

class StationWindow;

class QtWindowSystem : public WindowSystem {
  public:
    // Width of the main area in the station's design pixels, before any scaling.
    static constexpr int kDesignMainWidth = 1043;

    void Attach(StationWindow* window) { window_ = window; }

    void Pump() override;
    void WaitForEvents() override;
    void Focus(RichEdit& control) override;
    std::string ClipboardText() override;
    void SetClipboardText(const std::string& utf8) override;
    void SetProgramKeyCaption(int index, const std::string& utf8) override;
    void ShowInfo(const std::string& utf8) override;
    void Beep() override;
    void MessageBox(const std::string& caption, const std::string& text) override;
    [[noreturn]] void EndProcess(int exitCode) override;
    bool IsNtPlatform() override { return true; }
    int WindowWidth() override;
    int MainControlWidth() override;
    void Scale(double ratio) override;

    double AccumulatedScale() const { return scale_; }

  private:
    StationWindow* window_ = nullptr;
    double scale_ = 1.0;
};
