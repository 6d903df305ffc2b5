// kelbrin-tty-demo: a stand-in for the station on the terminal host, to try
// the host by hand and to drive it in the end-to-end tests. Its Start binds the
// console as the station's does and then shows every key it reads, every click
// and every paste.
//
// F5 gives three program keys captions, or takes them away again, F6 sets the
// information text or clears it, F7 opens a long message box, F8 rings the
// bell, F9 gives the session up (Start returns), F12 ends with exit code 0;
// Stop (Ctrl+C) ends with 3.
// KELBRIN_TTY_DEMO_SLOW=<ms> waits that long after each key, like a busy station.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/WinCrt.h"
#include "host/HostEvents.h"
#include "host/tty/TerminalWindowSystem.h"
#include "platform/CodePage.h"

namespace {

constexpr int kFirstLogRow = 5;
constexpr int kLastLogRow = 23;

std::string KeyName(uint8_t keyChar, uint8_t scan) {
    if (keyChar != 0) {
        std::string text = "Zeichen ";
        if (keyChar >= 0x20) text += "'" + std::string(1, static_cast<char>(keyChar)) + "' ";
        return text + std::to_string(keyChar);
    }
    std::string name;
    if (scan >= ScanF1 && scan <= ScanF9) {
        name = "F" + std::to_string(scan - ScanF1 + 1);
    } else if (scan == ScanF10) {
        name = "F12";
    } else if (scan >= ScanProgramKey1 && scan <= ScanProgramKey12) {
        return "Programmtaste " + std::to_string(scan - ScanProgramKey1 + 1);
    } else {
        switch (scan) {
            case ScanHome:
                name = "Pos1";
                break;
            case ScanEnd:
                name = "Ende";
                break;
            case ScanUp:
                name = "Hoch";
                break;
            case ScanDown:
                name = "Runter";
                break;
            case ScanLeft:
                name = "Links";
                break;
            case ScanRight:
                name = "Rechts";
                break;
            case ScanPgUp:
                name = "BildHoch";
                break;
            case ScanPgDn:
                name = "BildRunter";
                break;
            case ScanIns:
                name = "Einfg";
                break;
            case ScanDel:
                name = "Entf";
                break;
            default:
                return "Taste ohne Code";
        }
    }
    return (ShiftOnlyHeld() ? "Shift+" : "") + name;
}

class EchoForm : public HostEvents {
  public:
    explicit EchoForm(WindowSystem& windowSystem) : windowSystem_(windowSystem) {}

    RichEdit& StatusControl() override { return status_; }
    RichEdit& MainAreaControl() override { return main_; }
    RichEdit& LegendControl() override { return legend_; }

    void StartDown() override {
        if (started_) return;
        started_ = true;
        BindWindowSystem(windowSystem_);
        BindScreenControls(main_, status_, legend_);
        ClearScreen();
        DrawFurniture();
        const char* slow = std::getenv("KELBRIN_TTY_DEMO_SLOW");
        const int slowMs = slow != nullptr ? std::atoi(slow) : 0;
        for (;;) {
            const uint8_t keyChar = ReadKey();
            const uint8_t scan = ScanCode();
            if (slowMs > 0) usleep(static_cast<useconds_t>(slowMs) * 1000);
            Log(KeyName(keyChar, scan));
            if (keyChar >= 0x20) {
                input_ += static_cast<char>(keyChar);
                ShowInput();
            }
            if (keyChar != 0) continue;
            if (scan == ScanF5) {
                captioned_ = !captioned_;
                windowSystem_.SetProgramKeyCaption(0, captioned_ ? "KUNDEN" : "");
                windowSystem_.SetProgramKeyCaption(1, captioned_ ? "LIEFERANTEN" : "");
                windowSystem_.SetProgramKeyCaption(11, captioned_ ? "ARTIKEL" : "");
            } else if (scan == ScanF6) {
                informing_ = !informing_;
                windowSystem_.ShowInfo(informing_ ? "Feld 3: Pr\u00FCfziffer falsch" : "");
            } else if (scan == ScanF7) {
                std::string text = "Zeichen:      Funktion:\r\n";
                for (char letter = 'A'; letter <= 'Z'; ++letter) {
                    text += "         " + std::string(1, letter) + "   \tTyp " +
                            std::string(1, letter) + "\r\n";
                }
                text += "\r\nEnde der \u00DCbersicht\r\n";
                windowSystem_.MessageBox("\u00DCbersicht", text);
                Log("Box geschlossen");
            } else if (scan == ScanF8) {
                Beep();
            } else if (scan == ScanF9) {
                Log("Sitzung aufgegeben");
                return;
            } else if (scan == ScanF10) {
                windowSystem_.EndProcess(0);
            }
        }
    }
    void StopDown() override { windowSystem_.EndProcess(3); }
    void FormClose() override { windowSystem_.EndProcess(3); }

    void KeyDown(uint16_t virtualKey, ShiftState shift, char32_t character) override {
        if (!started_) return;
        // The host promised never to hand over a key while one is unread.
        if (KeyQueue.KeyAvailable) Log("VERLOREN");
        DeliverKey(virtualKey, shift, character == 0 ? 0 : UnicodeToOem(character));
    }
    void KeyPress(char32_t character) override { KeyDown(VkOemMinus, 0, character); }

    void SelectCell(int x, int y) override {
        main_.Select((y - 2) * kMainLineStride + (x - 1), 0);
        clickX_ = x;
        clickY_ = y;
        clicked_ = true;
    }
    void MouseDown(MouseButton button) override {
        if (button == MouseButton::Left) Log("Maus gedr\u00FCckt"_oem);
    }
    void MouseUp(MouseButton button) override {
        if (button == MouseButton::Right) {
            std::string text;
            for (char c : Utf8ToOem(windowSystem_.ClipboardText())) {
                if (static_cast<uint8_t>(c) >= 0x20) text += c;
            }
            Log("Einf\u00FCgen: "_oem + text);
            input_ += text;
            ShowInput();
            return;
        }
        if (!clicked_) {
            Log("Klick Randzeile");
            return;
        }
        clicked_ = false;
        Log("Klick " + std::to_string(clickX_) + "," + std::to_string(clickY_));
        MoveCursor(clickX_, clickY_);
    }
    void HotkeyClick(int) override {}

  private:
    void DrawFurniture() {
        SetForeColor(kRed);
        MoveCursor(1, 1);
        WriteText("Kelbrin Terminal-Probe");
        MoveCursor(1, 25);
        WriteText(" F5 Tasten  F7 \u00DCbersicht  F8 Ton  F9 Aufgeben  F12 Ende  Strg+C Stop"_oem);
        SetBackColor(kBlue);
        SetForeColor(kDarkGrey);
        MoveCursor(1, 3);
        WriteText("Feld");  // black, underlined on an input field
        SetBackColor(kDarkGrey);
        SetForeColor(kYellow);
        MoveCursor(1, 24);
        WriteText(std::string("\xDA\xDB\xDC\xDD\xDE\xD9", 6) + " Rahmen");
        ShowInput();
    }

    void ShowInput() {
        SetBackColor(kDarkGrey);
        SetForeColor(kWhite);
        MoveCursor(1, 2);
        std::string line = "Eingabe: " + input_;
        if (line.size() > 79) line = line.substr(line.size() - 79);
        WriteText(line);
        ClearToLineEnd();
    }

    void Log(const std::string& oem) {
        log_.push_back(std::to_string(log_.size() + 1) + ": " + oem);
        const int32_t x = CursorX, y = CursorY;
        SetBackColor(kDarkGrey);
        SetForeColor(kWhite);
        const int rows = kLastLogRow - kFirstLogRow + 1;
        const std::size_t first =
            log_.size() > static_cast<std::size_t>(rows) ? log_.size() - rows : 0;
        for (int row = 0; row < rows; ++row) {
            MoveCursor(1, kFirstLogRow + row);
            if (first + row < log_.size()) WriteText(log_[first + row]);
            ClearToLineEnd();
        }
        MoveCursor(x, y);
    }

    WindowSystem& windowSystem_;
    RichEdit main_, status_, legend_;
    bool started_ = false;
    bool clicked_ = false;
    bool captioned_ = false;
    bool informing_ = false;
    int clickX_ = 0, clickY_ = 0;
    std::string input_;
    std::vector<std::string> log_;
};

}  // namespace

int main() {
    TerminalWindowSystem windowSystem;
    EchoForm form(windowSystem);
    return RunTerminalHost(form, windowSystem);
}
