#include "screens/Prompts.h"

#include <string>

#include "console/WinCrt.h"
#include "model/FieldModel.h"
#include "platform/CodePage.h"
#include "screens/FieldCursor.h"
#include "screens/LineEditor.h"
#include "screens/StatusLine.h"

int RangeKind = NumberRange;
bool FieldConditionOn = false;

namespace {

bool IsEscape(const NumberInput& input) {
    return input.empty && input.value == -1;
}

// Shows `prompt` on the status line and reads a number after it; the cursor
// comes back to where it was.
NumberInput ReadNumberAfter(const std::string& prompt) {
    const int column = ShowStatus(prompt, 0, 0, 0, true);
    SaveCursor();
    MoveCursor(column, 1);
    const NumberInput input = NumberEditor();
    RestoreCursor();
    return input;
}

// The upper bound after a lower one: asked for a number range, the digit-set
// marker for a digit set. False when the operator cancelled with Esc; `last`
// is then the last number read.
bool ReadUpperBound(const std::string& prompt, const NumberInput& lower, int32_t& to,
                    NumberInput& last) {
    last = lower;
    if (lower.empty) return true;
    if (RangeKind == DigitSet) {
        to = DigitSetMarker;
        return true;
    }
    ShowLegend(LegendRange);
    last = ReadNumberAfter(prompt + std::to_string(lower.value) + " bis ");
    if (IsEscape(last)) return false;
    to = last.value;
    return true;
}

// Messages stand from column 25 of row 12; what does not fit before column 80
// goes on in the rows below from the same column, broken between words. Only a
// word longer than a whole line is cut.
void WriteMessageLines(std::string_view text) {
    constexpr int kColumn = 25;
    constexpr std::size_t kWidth = 80 - kColumn + 1;
    int row = 12;
    for (;;) {
        std::size_t cut = text.size();
        if (cut > kWidth) {
            cut = text.rfind(' ', kWidth);
            if (cut == std::string_view::npos || cut == 0) cut = kWidth;
        }
        MoveCursor(kColumn, row);
        WriteText(text.substr(0, cut));
        text.remove_prefix(cut);
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        if (text.empty() || row == 25) return;
        ++row;
    }
}

}  // namespace

void ResetPrompts() {
    RangeKind = NumberRange;
    FieldConditionOn = false;
}

int AskFieldLength() {
    const int p = CursorRecordPos();
    ShowLegend(LegendFieldLength);
    const NumberInput input =
        ReadNumberAfter("Länge des Feldes: von "_oem + std::to_string(p) + " bis ");
    ShowLegend(LegendFor());
    if (input.plus) return input.value;
    return input.value - p + 1;
}

RangeAnswer AskRange() {
    RangeAnswer answer;
    const std::string prompt = "Zahlenbereich des Feldes: von ";
    const NumberInput lower = ReadNumberAfter(prompt);
    if (IsEscape(lower)) {
        FieldConditionOn = false;
        return answer;
    }
    answer.from = lower.value;
    NumberInput last;
    if (!ReadUpperBound(prompt, lower, answer.to, last)) return answer;
    if (last.empty) {
        answer.from = 1;
        answer.to = 0;
    }
    answer.accepted = true;
    return answer;
}

ConditionAnswer AskCondition() {
    ConditionAnswer answer;
    // The option keys of the range prompt do nothing while the field number is typed.
    const bool rangeMode = RangePromptActive;
    RangePromptActive = false;
    const NumberInput field = ReadNumberAfter("Falls Feld Nr. ");
    RangePromptActive = rangeMode;
    if (IsEscape(field)) return answer;
    const std::string prompt = "Falls Feld Nr. " + std::to_string(field.value) + " im Bereich von ";
    const NumberInput lower = ReadNumberAfter(prompt);
    if (IsEscape(lower)) return answer;
    answer.field = field.value;
    answer.from = lower.value;
    NumberInput last;
    if (!ReadUpperBound(prompt, lower, answer.to, last)) return answer;
    if (last.empty) {
        answer.field = 0;
        answer.from = 1;
        answer.to = 0;
    }
    answer.accepted = true;
    return answer;
}

void ShowMessage(std::string_view text, bool wait) {
    SetForeColor(kYellow);
    SetBackColor(kBlue);
    ClearScreen();
    WriteMessageLines(text);
    if (!wait) return;
    SetForeColor(kDarkGrey);
    SetBackColor(kSilver);
    MoveCursor(1, 1);
    ClearToLineEnd();
    WriteText("weiter durch beliebige Taste");
    ReadKey();
}
