// Prompts for the numbers that drive the field checks (field length, number
// range or digit set, condition) and messages in the middle of the screen.
#pragma once
#include <cstdint>
#include <string_view>

enum RangeKindValue { NumberRange = 1, DigitSet = 2 };
extern int RangeKind;          // NumberRange ("Zahl") or DigitSet ("Ziffern")
extern bool FieldConditionOn;  // "mit Bedingung": ask for the condition too

// The length of a new field starting at the cursor's record position: the
// operator types its last position, or its length after a '+'. Below 1 when
// cancelled or left empty.
int AskFieldLength();

struct RangeAnswer {
    bool accepted = false;
    int32_t from = 1;
    int32_t to = 0;
};
RangeAnswer AskRange();

struct ConditionAnswer {
    bool accepted = false;
    int32_t field = 0;
    int32_t from = 1;
    int32_t to = 0;
};
ConditionAnswer AskCondition();

// Clears the screen and shows `text` (code page 850) at column 25 of row 12; a
// text longer than the 56 cells up to the row's end goes on in the rows below,
// broken between words. With `wait`, asks for any key on the status line and
// waits for it.
void ShowMessage(std::string_view text, bool wait);

void ResetPrompts();
