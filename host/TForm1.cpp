#include "host/TForm1.h"

#include <array>
#include <cmath>
#include <string>
#include <utility>

#include "console/WinCrt.h"
#include "screens/DefinitionScreen.h"
#include "screens/EntryScreen.h"
#include "screens/FieldCursor.h"
#include "screens/InOutFailure.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"
#include "screens/StatusLine.h"
#include "model/FieldModel.h"
#include "model/ScreenLayout.h"
#include "platform/ByteFile.h"
#include "platform/CodePage.h"

namespace {

constexpr std::size_t kClipboardLimit = 32768;
constexpr int kDesignMainWidth = 1043;

bool IsDroppedFromClipboard(char32_t c) {
    return c == 0 || c == 8 || c == 9 || c == 10 || c == 13 || c == 27 || c == kFillerGlyph;
}

}  // namespace

TForm1::TForm1(WindowSystem& windowSystem, std::function<void()> session)
    : windowSystem_(windowSystem),
      session_(session ? std::move(session) : std::function<void()>(RunSession)) {
    RichEdit1.SetDefaultColor(kBlack);
    RichEdit1.AppendLine(U"");
    RichEdit1.AppendLine(U"Bitte auf Start klicken !");
}

TForm1::~TForm1() {
    if (MainControl() == &RichEdit1) UnbindConsole();
}

void TForm1::ReportInOutError(int code) {
    windowSystem_.MessageBox(kWindowCaption, InOutErrorText(code));
}

void TForm1::StartDown() {
    if (StartGuard) {
        windowSystem_.Focus(RichEdit1);
        return;
    }
    NtPlatform = windowSystem_.IsNtPlatform();
    RichEdit1.AppendLine(U"Laden ...");
    BindWindowSystem(windowSystem_);
    windowSystem_.Pump();
    BindScreenControls(RichEdit1, RichEdit2, RichEdit3);
    StartGuard = true;
    windowSystem_.Focus(RichEdit1);

    // Fit the window to the screen: it grows in steps of about 1/13.
    const int width = windowSystem_.WindowWidth();
    const int n = static_cast<int>(std::trunc(width * 13 * 0.00125));
    const double step = (n * 1000000.0 + 499999.0) / 13000000.0;
    if (windowSystem_.MainControlWidth() == kDesignMainWidth) {
        if (n != 13) windowSystem_.Scale(step);
    } else {
        windowSystem_.Scale(1069.0 / windowSystem_.MainControlWidth());
        if (n != 13) windowSystem_.Scale(step);
    }

    try {
        session_();
    } catch (const InOutError& error) {
        // Failures inside the session are handled where they happen and the
        // station goes on; what arrives here is a failure of start-up or of
        // the end (the record file cannot be made or closed). There is no
        // session left to go on with: say why, then end.
        ReportInOutError(error.code);
        windowSystem_.EndProcess(1);
    }
    // An operator who left although the layout could not be written has lost
    // work: the exit code says so.
    windowSystem_.EndProcess(LayoutJournalUnwritten() ? 1 : 0);
}

void TForm1::SaveAndEnd() {
    if (StartGuard) {
        // When what the screen holds cannot be written, the station stays
        // open (the operator has seen why) unless this is the second attempt.
        if (!SaveBeforeEnd()) return;
        try {
            CloseRecordFile();
        } catch (const InOutError& error) {
            // Every record was flushed when it was committed; a failing close
            // loses nothing more, so the station still ends.
            ReportInOutError(error.code);
        }
    }
    windowSystem_.EndProcess(StartGuard && LayoutJournalUnwritten() ? 1 : 0);
}

void TForm1::StopDown() {
    SaveAndEnd();
}
void TForm1::FormClose() {
    SaveAndEnd();
}

void TForm1::KeyDown(uint16_t virtualKey, ShiftState shift, char32_t character) {
    if (!StartGuard) return;
    DeliverKey(virtualKey, shift, character == 0 ? 0 : UnicodeToOem(character));
}

void TForm1::KeyPress(char32_t character) {
    if (!StartGuard || character == 0) return;
    DeliverKey(1, 0, UnicodeToOem(character));
}

void TForm1::HotkeyClick(int n) {
    // Each button has a handler of its own, as each button of the window is
    // wired to one: button n goes to entry n - 1.
    static constexpr std::array<void (TForm1::*)(), 12> kButtonHandlers = {
        &TForm1::Hotkey1Click,  &TForm1::Hotkey2Click,  &TForm1::Hotkey3Click,
        &TForm1::Hotkey4Click,  &TForm1::Hotkey5Click,  &TForm1::Hotkey6Click,
        &TForm1::Hotkey7Click,  &TForm1::Hotkey8Click,  &TForm1::Hotkey9Click,
        &TForm1::Hotkey10Click, &TForm1::Hotkey11Click, &TForm1::Hotkey12Click};
    if (n < 1 || n > static_cast<int>(kButtonHandlers.size())) return;
    (this->*kButtonHandlers[n - 1])();
}

// The program keys are Alt with the digit keys and the two keys right of '0'.
void TForm1::ProgramKeyClick(uint16_t virtualKey) {
    if (!StartGuard) return;
    DeliverKey(virtualKey, AltKey, 0);
}

void TForm1::SelectCell(int x, int y) {
    clickedCell_ = x < 1 || x > 80 || y < 2 || y > 24 ? -1 : (y - 2) * kMainLineStride + (x - 1);
}

void TForm1::MouseDown(MouseButton button) {
    const int cell = std::exchange(clickedCell_, -1);
    pressedCell_ = -1;
    if (!StartGuard) return;
    // Only the left button places the caret: a middle or right click moving the
    // shown cursor would leave it away from where the keys go.
    if (button == MouseButton::Left && cell >= 0) {
        RichEdit1.Select(cell, 0);
        pressedCell_ = cell;
    }
    if (!NtPlatform) Click(button);
}

void TForm1::MouseUp(MouseButton button) {
    if (!StartGuard || !NtPlatform) return;
    Click(button);
}

void TForm1::Click(MouseButton button) {
    try {
        if (button == MouseButton::Right) ClipboardPaste();
        if (button != MouseButton::Left) return;

        const int s = RichEdit1.SelectionStart();
        if (OperatorSelection()) ClipboardCopy();
        pressedCell_ = -1;
        const int oldX = CursorX;
        const int oldY = CursorY;
        const bool outsideFields = CursorRecordPos() > RecordLength();
        if (LayoutTextEditorActive && outsideFields && oldY >= 2 && oldY <= 24 &&
            LayoutCell(oldX, oldY) == EmptyCell) {
            // The blank that showed the text cursor becomes the empty cell again.
            SetForeColor(kGrey);
            WriteText("\xDB");
            MoveCursor(oldX, oldY);
            TextColor = kDarkGrey;
        }
        if (oldY == 1 || SubMode != SubMain) {
            MoveCursor(oldX, oldY);
            return;
        }
        MoveCursor(std::min(s % kMainLineStride + 1, 80), s / kMainLineStride + 2);
        if (LayoutTextEditorActive && CursorRecordPos() > RecordLength() &&
            LayoutCell(CursorX, CursorY) == EmptyCell && CursorY >= 2 && CursorY <= 24) {
            const int x = CursorX, y = CursorY;
            WriteText(" ");
            MoveCursor(x, y);
        }
        if (FieldPositionerActive) {
            DeliverKey(VkF4, 0, 0);
        } else if (!LayoutTextEditorActive) {
            PlaceCursorAtRecordPos(CursorRecordPos());
            int field = CursorField();
            if (field > FieldCount) {
                if (Mode == ModeDefinition) {
                    field = FieldCount;
                } else {
                    field = 1;
                    PlaceCursorAtRecordPos(1);
                }
            }
            if (Mode == ModeDefinition) {
                ShowStatus("Len", RecordLength(), 0, field, true);
            } else {
                ShowStatus("Pos", CursorRecordPos(), CurrentRecordNumber, field, true);
            }
        }
    } catch (const InOutError& error) {
        ReportInOutError(error.code);
    }
}

// Whether the main area holds a selection the operator dragged from the cell
// the left button went down on. The console's cursor is a one-character
// selection too, and a write leaves the written text selected: copying those
// on every click would overwrite the operator's clipboard for nothing.
bool TForm1::OperatorSelection() const {
    if (pressedCell_ < 0) return false;
    const int start = RichEdit1.SelectionStart();
    const int length = RichEdit1.SelectionLength();
    return length > 1 && (start == pressedCell_ || start + length - 1 == pressedCell_);
}

void TForm1::ClipboardPaste() {
    if (CursorY < 2 || CursorY > 24 || SubMode != SubMain) return;
    const bool definition = Mode == ModeDefinition && LayoutTextEditorActive;
    if (Mode != ModeEntry && !definition) return;
    std::string text = Utf8ToOem(windowSystem_.ClipboardText());
    if (text.size() > kClipboardLimit) text.resize(kClipboardLimit);
    for (char ch : text) {
        const auto byte = static_cast<uint8_t>(ch);
        if (byte == 0 || byte == 8 || byte == 9 || byte == 10 || byte == 13 || byte == 27 ||
            byte == FillerChar) {
            continue;
        }
        DeliverKey(1, 0, byte);
        if (definition) {
            LayoutTextEditor(true);
        } else {
            EntryScreen(Mode, true, false);
        }
    }
    if (definition) {
        ShowStatus("Len", RecordLength(), 0, CursorField(), true);
        SetBackColor(kBlue);
        SetForeColor(kDarkGrey);
    } else {
        ShowStatus("Pos", CursorRecordPos(), CurrentRecordNumber, CursorField(), true);
    }
}

void TForm1::ClipboardCopy() {
    if (RichEdit1.SelectionLength() < 1) return;
    std::u32string text = RichEdit1.SelectedText();
    if (text.size() > kClipboardLimit) text.resize(kClipboardLimit);
    std::u32string kept;
    for (char32_t c : text) {
        if (!IsDroppedFromClipboard(c)) kept += c;
    }
    windowSystem_.SetClipboardText(U32ToUtf8(kept));
}
