#include "tests/qt/demo/EchoStation.h"

#include <cstdio>

#include "console/WinCrt.h"
#include "platform/CodePage.h"

namespace {

// The input field the keys are echoed into.
constexpr int kEchoRow = 21;
constexpr int kEchoColumn = 14;
constexpr int kEchoWidth = 50;

void WriteAt(int x, int y, const std::string& oem) {
    MoveCursor(x, y);
    WriteText(oem);
}

// An empty input field: dark grey on blue shows black and underlined.
void Field(int x, int y, int width) {
    SetForeColor(kDarkGrey);
    SetBackColor(kBlue);
    WriteAt(x, y, std::string(static_cast<std::size_t>(width), ' '));
    SetForeColor(kWhite);
    SetBackColor(kDarkGrey);
}

}  // namespace

EchoStation::EchoStation(WindowSystem& windowSystem) : windowSystem_(windowSystem) {
    // The main area's text before Start, as the station's form has it.
    main_.AppendLine(U"");
    main_.AppendLine(U"Bitte auf Start klicken !");
}

EchoStation::~EchoStation() {
    if (started_) UnbindConsole();
}

void EchoStation::StartDown() {
    ++startCalls_;
    if (started_) {
        windowSystem_.Focus(main_);
        return;
    }
    main_.AppendLine(U"Laden ...");
    ResetConsoleScreen();
    ResetKeyboard();
    BindWindowSystem(windowSystem_);
    windowSystem_.Pump();
    BindScreenControls(main_, status_, legend_);
    for (int i = 0; i < 12; ++i) {
        windowSystem_.SetProgramKeyCaption(i, i < 9     ? "P" + std::to_string(i + 1)
                                              : i == 9  ? "P0"
                                              : i == 10 ? "P\xC3\x9F"
                                                        : "P\xC2\xB4");
    }
    started_ = true;
    windowSystem_.Focus(main_);
    // The window's size decides the screen's size, in steps of about 1/13.
    const int n = windowSystem_.WindowWidth() * 13 / 800;
    if (windowSystem_.MainControlWidth() == 1043 && n != 13) {
        windowSystem_.Scale((n * 1000000.0 + 499999.0) / 13000000.0);
    }
    running_ = true;
    Session();
    running_ = false;
    ended_ = true;
}

void EchoStation::End() {
    if (endsProcess) windowSystem_.EndProcess(0);
}

void EchoStation::StopDown() {
    ++stopCalls_;
    End();
}

void EchoStation::FormClose() {
    ++closeCalls_;
    End();
}

void EchoStation::Session() {
    ClearScreen();
    PaintSample();
    if (onFirstRead) onFirstRead();
    for (;;) {
        const uint8_t c = ReadKey();
        keys_.push_back(ReadResult{c, ScanCode(), KeyQueue.Shift});
        for (int i = 0; i < busyPumps; ++i) windowSystem_.Pump();
        if (c == 27) {
            End();
            return;
        }
        ShowKey(c);
        Echo(c);
    }
}

void EchoStation::PaintSample() {
    // Status line: red on silver.
    SetForeColor(kRed);
    SetBackColor(kSilver);
    WriteAt(1, 1, "Kelbrin 4.9 - Fenster-Demo"_oem);
    // Legend line.
    WriteAt(1, 25, "F1 Feldtypen  F2 Ton  F3 Hinweis  Alt-1...Alt-' Programmtasten  Esc Ende"_oem);

    SetForeColor(kYellow);
    SetBackColor(kDarkGrey);
    WriteAt(3, 3, "Eingabemaske (Demo): Rahmen, Füllzeichen und Felder"_oem);
    SetForeColor(kWhite);
    SetBackColor(kDarkGrey);

    // A frame of double lines around two labelled fields.
    const std::string top = "\xC9" + std::string(44, '\xCD') + "\xBB";
    const std::string side = "\xBA" + std::string(44, ' ') + "\xBA";
    const std::string bottom = "\xC8" + std::string(44, '\xCD') + "\xBC";
    WriteAt(3, 5, top);
    for (int y = 6; y <= 8; ++y) WriteAt(3, y, side);
    WriteAt(3, 9, bottom);
    WriteAt(5, 6, "Name");
    Field(14, 6, 30);
    WriteAt(5, 8, "Ort");
    Field(14, 8, 20);

    // A single-line box beside it with shades and half blocks.
    WriteAt(52, 5, "\xDA" + std::string(24, '\xC4') + "\xBF");
    WriteAt(
        52, 6,
        "\xB3" + std::string(8, '\xB0') + std::string(8, '\xB1') + std::string(8, '\xB2') + "\xB3");
    WriteAt(52, 7, "\xC3" + std::string(11, '\xC4') + "\xC5" + std::string(12, '\xC4') + "\xB4");
    WriteAt(52, 8, "\xB3" + std::string(11, '\xDF') + "\xB3" + std::string(12, ' ') + "\xB3");
    WriteAt(52, 9, "\xC0" + std::string(11, '\xC4') + "\xC1" + std::string(12, '\xC4') + "\xD9");

    // A layout as definition mode shows it: empty cells as a grey texture,
    // fields in blue, the cells above and below fields with edge marks, and
    // a record end marker.
    SetForeColor(kGrey);
    for (int y = 11; y <= 17; ++y) WriteAt(3, y, std::string(74, '\xDB'));
    WriteAt(8, 12, std::string(12, '\xDD'));
    WriteAt(8, 14, std::string(12, '\xDC'));
    WriteAt(30, 12, std::string(10, '\xDD'));
    WriteAt(30, 14, std::string(10, '\xDE'));
    WriteAt(30, 16, std::string(10, '\xDC'));
    WriteAt(60, 16, "\xD9\xDA");
    SetForeColor(kDarkGrey);
    SetBackColor(kBlue);
    WriteAt(8, 13, "KUNDENNUMMER");
    WriteAt(30, 13, "  12345678");
    WriteAt(30, 15, std::string(10, ' '));
    SetForeColor(kWhite);
    SetBackColor(kDarkGrey);

    SetForeColor(kOrange);
    WriteAt(3, 19, "Tasten werden im Feld unten wiedergegeben:"_oem);
    SetForeColor(kWhite);
    WriteAt(3, kEchoRow, "Eingabe");
    Field(kEchoColumn, kEchoRow, kEchoWidth);
    MoveCursor(kEchoColumn, kEchoRow);
}

void EchoStation::ShowKey(uint8_t keyChar) {
    const int x = CursorX, y = CursorY;
    char text[64];
    std::snprintf(text, sizeof text, "Taste %3u  Scan %3u  Umschalt %u     ", keyChar, ScanCode(),
                  KeyQueue.Shift);
    SetForeColor(kRed);
    SetBackColor(kSilver);
    WriteAt(45, 1, text);
    SetForeColor(kWhite);
    SetBackColor(kDarkGrey);
    MoveCursor(x, y);
}

void EchoStation::Echo(uint8_t keyChar) {
    if (keyChar == 0) {
        if (ScanCode() == ScanF1) {
            windowSystem_.MessageBox("Feldtypen",
                                     "A\tAlphanumerisch\tlinksb\xC3\xBCndig\r\n"
                                     "N\tNumerisch\trechtsb\xC3\xBCndig, Nullen\r\n"
                                     "P\tPr\xC3\xBC"
                                     "fziffer\tModulus 10");
        } else if (ScanCode() == ScanF2) {
            Beep();
        } else if (ScanCode() == ScanF3) {
            informing_ = !informing_;
            windowSystem_.ShowInfo(informing_ ? "Feld 3: Pr\u00FCfziffer falsch" : "");
        } else if (ScanCode() == ScanLeft && echoColumn_ > 0) {
            --echoColumn_;
        } else if (ScanCode() == ScanRight && echoColumn_ < kEchoWidth - 1) {
            ++echoColumn_;
        }
        MoveCursor(kEchoColumn + echoColumn_, kEchoRow);
        return;
    }
    if (keyChar == 8) {
        if (echoColumn_ > 0) --echoColumn_;
        SetForeColor(kDarkGrey);
        SetBackColor(kBlue);
        WriteAt(kEchoColumn + echoColumn_, kEchoRow, " ");
    } else if (keyChar == 13) {
        Field(kEchoColumn, kEchoRow, kEchoWidth);
        echoColumn_ = 0;
    } else if (keyChar >= 0x20) {
        SetForeColor(kDarkGrey);
        SetBackColor(kBlue);
        WriteAt(kEchoColumn + echoColumn_, kEchoRow, std::string(1, static_cast<char>(keyChar)));
        echoColumn_ = (echoColumn_ + 1) % kEchoWidth;
    }
    SetForeColor(kWhite);
    SetBackColor(kDarkGrey);
    MoveCursor(kEchoColumn + echoColumn_, kEchoRow);
}

void EchoStation::KeyDown(uint16_t virtualKey, ShiftState shift, char32_t character) {
    if (!started_) return;
    DeliverKey(virtualKey, shift, character == 0 ? 0 : UnicodeToOem(character));
}

void EchoStation::KeyPress(char32_t character) {
    if (!started_) return;
    DeliverKey(VkOemMinus, 0, UnicodeToOem(character));
}

void EchoStation::SelectCell(int x, int y) {
    main_.Select((y - 2) * kMainLineStride + (x - 1), 0);
}

void EchoStation::MouseDown(MouseButton) {}

void EchoStation::MouseUp(MouseButton button) {
    if (!started_) return;
    if (button == MouseButton::Right) {
        Paste();
    } else if (button == MouseButton::Left) {
        Copy();
    }
}

void EchoStation::Paste() {
    for (char32_t ch : Utf8ToU32(windowSystem_.ClipboardText())) {
        if (ch == '\r' || ch == '\n' || ch == '\t' || ch == 0) continue;
        DeliverKey(1, 0, UnicodeToOem(ch));
        const uint8_t c = ReadKey();  // the key just put in: the echo step takes it
        keys_.push_back(ReadResult{c, ScanCode(), KeyQueue.Shift});
        Echo(c);
    }
}

void EchoStation::Copy() {
    const int start = main_.SelectionStart();
    if (main_.SelectionLength() > 0) {
        std::u32string text;
        for (char32_t ch : main_.SelectedText()) {
            if (ch != kFillerGlyph && ch != '\r' && ch != '\n') text += ch;
        }
        windowSystem_.SetClipboardText(U32ToUtf8(text));
    }
    MoveCursor(start % kMainLineStride + 1, start / kMainLineStride + 2);
}

void EchoStation::HotkeyClick(int n) {
    if (!started_ || n < 1 || n > 12) return;
    const uint16_t virtualKey = n <= 9    ? static_cast<uint16_t>('0' + n)
                                : n == 10 ? uint16_t{'0'}
                                : n == 11 ? uint16_t{VkOem4}
                                          : uint16_t{VkOem6};
    DeliverKey(virtualKey, AltKey, 0);
    windowSystem_.Focus(main_);
}
