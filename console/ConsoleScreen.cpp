#include "console/ConsoleScreen.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/RichEdit.h"
#include "platform/WindowSystem.h"

int32_t CursorX = 1;
int32_t CursorY = 1;
uint32_t TextColor = kWhite;
uint32_t BackColor = kDarkGrey;

namespace {

struct ScreenState {
    RichEdit* main = nullptr;
    RichEdit* status = nullptr;
    RichEdit* legend = nullptr;
    WindowSystem* windowSystem = nullptr;
    bool batching = false;
    int32_t batchStartX = 1;
    int32_t batchStartY = 1;
    // Indexed by column 1..80; slot 0 and 81 only catch misuse.
    std::array<char, kScreenColumns + 2> batchBuffer{};
    // The information row: a message stands until the next key, the
    // standing text otherwise; `shown` is what the host was last given.
    std::string infoMessage;
    std::string infoStanding;
    std::string infoShown;
};

ScreenState screen;

void ShowInfoRow() {
    const std::string& text = screen.infoMessage.empty() ? screen.infoStanding : screen.infoMessage;
    if (text == screen.infoShown) return;
    screen.infoShown = text;
    if (screen.windowSystem != nullptr) screen.windowSystem->ShowInfo(text);
}

RichEdit* ControlForRow(int32_t y) {
    if (y == 1) return screen.status;
    if (y == kScreenRows) return screen.legend;
    return screen.main;
}

int IndexForCell(int32_t x, int32_t y) {
    if (y == 1 || y == kScreenRows) return x - 1;
    return (y - 2) * kMainLineStride + (x - 1);
}

void Focus(RichEdit* control) {
    if (control == nullptr) return;
    for (RichEdit* each : {screen.main, screen.status, screen.legend}) {
        if (each != nullptr) each->SetFocused(each == control);
    }
    if (screen.windowSystem != nullptr) screen.windowSystem->Focus(*control);
}

// The four rules that turn the logical colour pair into the one shown; each
// rule sees the result of the one before, and the result stays in TextColor.
void ApplyDisplayColorRules() {
    if (BackColor == kBlack && TextColor == kDarkGrey) TextColor = kWhite;
    if (BackColor == kWhite && TextColor == kDarkGrey) TextColor = kWhite;
    if (BackColor == kDarkGrey && TextColor == kWhite) TextColor = kBlack;
    if (BackColor == kBlue && TextColor == kDarkGrey) TextColor = kBlack;
}

// Replaces `count` cells from the cursor in the control of the cursor's row.
void PutCells(std::string_view text) {
    RichEdit* control = ControlForRow(CursorY);
    if (control == nullptr) return;
    Focus(control);
    control->Select(IndexForCell(CursorX, CursorY), static_cast<int>(text.size()));
    control->SetSelectionColor(TextColor);
    if (control == screen.main) {
        control->SetSelectionUnderline(BackColor == kBlue && TextColor == kBlack);
    }
    control->ReplaceSelection(DisplayText(text));
}

std::u32string BlankMainLine() {
    std::u32string line(kScreenColumns, U' ');
    line += DisplayGlyph(FillerChar);
    return line;
}

}  // namespace

void ResetConsoleScreen() {
    CursorX = 1;
    CursorY = 1;
    TextColor = kWhite;
    BackColor = kDarkGrey;
    screen.batching = false;
    screen.batchStartX = screen.batchStartY = 1;
    screen.batchBuffer.fill(' ');
    screen.infoMessage.clear();
    screen.infoStanding.clear();
    ShowInfoRow();
}

void SetInfoMessage(std::string utf8) {
    screen.infoMessage = std::move(utf8);
    ShowInfoRow();
}

void SetInfoStanding(std::string utf8) {
    screen.infoStanding = std::move(utf8);
    ShowInfoRow();
}

void ClearInfoMessage() {
    if (screen.infoMessage.empty()) return;
    screen.infoMessage.clear();
    ShowInfoRow();
}

const std::string& InfoRowText() {
    return screen.infoShown;
}

void BindScreenControls(RichEdit& main, RichEdit& status, RichEdit& legend) {
    screen.main = &main;
    screen.status = &status;
    screen.legend = &legend;
}

void BindWindowSystem(WindowSystem& windowSystem) {
    screen.windowSystem = &windowSystem;
    // A new host learns what the row says now.
    screen.windowSystem->ShowInfo(screen.infoShown);
}

void UnbindConsole() {
    screen.main = screen.status = screen.legend = nullptr;
    screen.windowSystem = nullptr;
}
WindowSystem* BoundWindowSystem() {
    return screen.windowSystem;
}
RichEdit* MainControl() {
    return screen.main;
}
RichEdit* StatusControl() {
    return screen.status;
}
RichEdit* LegendControl() {
    return screen.legend;
}

char32_t DisplayGlyph(uint8_t oem) {
    switch (oem) {
        case 0xD9:
            return U'\u2518';  // corner: shows CR of a record end marker
        case 0xDA:
            return U'\u250C';  // corner: shows LF of a record end marker
        // The empty cells of the layout and their frame marks. The screen's
        // main area shows the filler as its plain ground. Each mark is a block
        // element that no code page 850 character maps to, so the hosts can
        // draw it as the edge it stands for without touching a label's own box
        // characters: an edge along the top of the cell where a field lies
        // above, along the bottom where one lies below, both between two fields.
        case 0xDB:
            return kFillerGlyph;  // empty cell of the layout
        case 0xDC:
            return U'\u2594';  // field above: upper one eighth block, an edge on top
        case 0xDD:
            return U'\u2581';  // field below: lower one eighth block, an edge at the bottom
        case 0xDE:
            return U'\U0001FB80';  // fields above and below: upper and lower one eighth block
        default:
            return OemToUnicode(oem);
    }
}

std::u32string DisplayText(std::string_view oem) {
    std::u32string text;
    text.reserve(oem.size());
    for (char ch : oem) text += DisplayGlyph(static_cast<uint8_t>(ch));
    return text;
}

void MoveCursor(int32_t x, int32_t y) {
    CursorX = x;
    CursorY = y;
    RichEdit* control = ControlForRow(y);
    if (control == nullptr) return;
    Focus(control);
    control->Select(IndexForCell(x, y), 1);
}

void WriteText(std::string_view text) {
    if (text.size() > 255) text = text.substr(0, 255);
    const auto n = static_cast<int32_t>(text.size());
    ApplyDisplayColorRules();

    if (n >= 2 && CursorX + n - 1 <= kScreenColumns) {
        PutCells(text);
        CursorX += n;
        if (CursorX > kScreenColumns) {
            if (CursorY == kScreenRows) {
                CursorX = kScreenColumns;
            } else {
                CursorX = 1;
                ++CursorY;
            }
        }
        return;
    }

    for (char ch : text) {
        if (screen.batching) {
            screen.batchBuffer[std::clamp(CursorX, 0, kScreenColumns + 1)] = ch;
        } else {
            PutCells(std::string_view(&ch, 1));
        }
        if (CursorX < kScreenColumns) {
            ++CursorX;
        } else if (screen.batching) {
            ++CursorX;
            FlushBatch();
            BeginBatch();
        } else if (CursorY < kScreenRows) {
            CursorX = 1;
            ++CursorY;
        }
        // Column 80 of row 25: the cursor stays and the next character overwrites it.
    }
}

void WriteLine(std::string_view text) {
    WriteText(text);
    if (CursorY < kScreenRows) MoveCursor(1, CursorY + 1);
}

void ClearToLineEnd() {
    const int32_t x = CursorX;
    const int32_t y = CursorY;
    WriteText(std::string(static_cast<std::size_t>(std::max(0, 81 - x)), ' '));
    MoveCursor(x, y);
}

void SetForeColor(uint32_t color) {
    if (screen.batching) {
        FlushBatch();
        TextColor = color;
        BeginBatch();
    } else {
        TextColor = color;
    }
}

void SetBackColor(uint32_t color) {
    if (screen.batching) {
        FlushBatch();
        BackColor = color;
        BeginBatch();
    } else {
        BackColor = color;
    }
}

void BeginBatch() {
    screen.batchStartX = CursorX;
    screen.batchStartY = CursorY;
    screen.batching = true;
}

void FlushBatch() {
    if (!screen.batching) return;
    screen.batching = false;
    const int32_t from = std::clamp(screen.batchStartX, 1, kScreenColumns);
    const int32_t to = std::clamp(CursorX - 1, 0, kScreenColumns);
    MoveCursor(screen.batchStartX, screen.batchStartY);
    std::string run;
    for (int32_t x = from; x <= to; ++x) run += screen.batchBuffer[x];
    WriteText(run);
}

void ClearScreen() {
    const std::u32string blank(kScreenColumns, U' ');
    if (screen.status != nullptr) {
        screen.status->Clear();
        screen.status->AppendLine(blank);
    }
    if (screen.legend != nullptr) {
        screen.legend->Clear();
        screen.legend->AppendLine(blank);
    }
    if (screen.main != nullptr) {
        screen.main->Clear();
        screen.main->SetDefaultColor(kGrey);
        const std::u32string line = BlankMainLine();
        for (int row = 2; row <= 24; ++row) screen.main->AppendLine(line);
        screen.main->AppendLine(std::u32string(kScreenColumns + 1, DisplayGlyph(FillerChar)));
    }
    MoveCursor(1, 1);
}

std::string ExpandPath(std::string_view name) {
    std::string path = AbsoluteOemPath(name);
    if (path.size() > 255) path.resize(255);
    return path;
}
