// A window system for the benchmarks, where nothing ever happens: work that
// looks for events now and then finds none. When a benchmark asks for it, the
// station's every wait for a key is answered with Enter (a choice list takes
// its first entry).
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/ConsoleKeyboard.h"
#include "console/ConsoleScreen.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "platform/RichEdit.h"
#include "platform/WindowSystem.h"

class QuietWindowSystem : public WindowSystem {
  public:
    explicit QuietWindowSystem(const char* name, bool answerEnter = false)
        : name_(name), answerEnter_(answerEnter) {}
    void Pump() override {}
    void WaitForEvents() override {
        if (!answerEnter_) {
            std::fprintf(stderr, "%s: the station waits for a key\n", name_);
            std::exit(1);
        }
        if (!KeyQueue.KeyAvailable) DeliverKey(VkReturn, 0, '\r');
    }
    void Focus(RichEdit&) override {}
    std::string ClipboardText() override { return {}; }
    void SetClipboardText(const std::string&) override {}
    void SetProgramKeyCaption(int, const std::string&) override {}
    void Beep() override {}
    void MessageBox(const std::string&, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", name_, text.c_str());
    }
    [[noreturn]] void EndProcess(int exitCode) override { std::exit(exitCode); }
    bool IsNtPlatform() override { return true; }
    int WindowWidth() override { return 800; }
    int MainControlWidth() override { return 800; }
    void Scale(double) override {}

  private:
    const char* name_;
    bool answerEnter_;
};

// A station without a window for a benchmark: the quiet host and the three
// screen controls bound to the console, no layout yet, entry mode.
struct QuietStation {
    explicit QuietStation(const char* name, bool answerEnter = false) : host(name, answerEnter) {
        BindScreenControls(mainArea, statusLine, legendLine);
        BindWindowSystem(host);
        ResetFieldModel();
        FillFieldTypeTable();
        Mode = ModeEntry;
    }
    QuietWindowSystem host;
    RichEdit mainArea, statusLine, legendLine;
};
