// Free input on the status line after a prompt: names and search terms with
// the line editor, lengths, ranges, digit sets and field numbers with the number
// editor. Some function keys switch options of the calling screen meanwhile.
#pragma once
#include <cstdint>
#include <string>

// Set while the search prompt is open: F6/F7 then choose the search kind.
extern bool SearchPromptActive;
// Set while a range or condition is asked: F6/F7/F8 then choose the range kind
// and the condition switch.
extern bool RangePromptActive;
// The conversion mode was chosen in the current file dialog.
extern bool ConversionKeyPressed;

// Reads up to `maxLength` characters into `text` (code page 850), echoing them
// at the cursor. False when ended by Esc. With maxLength 0 it returns as soon as
// a conversion mode has been chosen (or at once when one already was).
bool LineEditor(std::string& text, int maxLength);

struct NumberInput {
    int32_t value = 0;
    bool empty = true;  // nothing typed (Enter alone), or Esc (value -1)
    bool plus = false;  // a leading '+' was typed
};
NumberInput NumberEditor();

// F6 to F9 in a data-file dialog: chooses the conversion mode, redraws its
// switches and notes that a mode was chosen. False for any other key.
bool ChooseConversionMode(uint8_t scanCode);

void ResetLineEditor();
