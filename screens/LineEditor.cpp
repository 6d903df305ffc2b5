#include "screens/LineEditor.h"

#include <array>

#include "console/WinCrt.h"
#include "screens/DataFileDialogs.h"
#include "screens/LayoutFiles.h"
#include "screens/Prompts.h"
#include "screens/RecordActions.h"
#include "screens/Session.h"
#include "screens/StatusLine.h"

bool SearchPromptActive = false;
bool RangePromptActive = false;
bool ConversionKeyPressed = true;

namespace {

// Takes back the last echoed character: one cell left (from column 1 to
// column 80 of the row above), a blank there, and the cursor onto it.
void EraseLastEcho() {
    auto left = [] {
        if (CursorX > 1) {
            MoveCursor(CursorX - 1, CursorY);
        } else if (CursorY > 1) {
            MoveCursor(80, CursorY - 1);
        }
    };
    left();
    WriteText(" ");
    left();
}

void Echo(uint8_t c) {
    WriteText(std::string(1, static_cast<char>(c)));
}

void HandleOptionKey(uint8_t scan) {
    if (SubMode != SubMain && (Mode == ModeEntry || Mode == ModeVerify)) {
        ChooseConversionMode(scan);
    } else if (Mode == ModeDefinition && SubMode == SubWriteDefinition) {
        if (scan == ScanF4) {
            SaveWithProgramKeys = !SaveWithProgramKeys;
            DrawProgramKeySwitch();
        }
    } else if (SearchPromptActive) {
        if (scan == ScanF6 || scan == ScanF7) {
            SearchKind = scan == ScanF6 ? SearchByContent : SearchByRecordNumber;
            DrawSearchSwitches();
        }
    }
    SetStatusColors();
}

}  // namespace

bool ChooseConversionMode(uint8_t scan) {
    int chosen = -1;
    if (scan == ScanF6) chosen = ConversionEbcdicHash;
    if (scan == ScanF7) chosen = ConversionEbcdicDin;
    if (scan == ScanF8) chosen = ConversionAscii;
    if (scan == ScanF9) chosen = ConversionAsciiTab;
    if (chosen < 0) return false;
    ConversionMode = chosen;
    DrawConversionSwitches();
    ConversionKeyPressed = true;
    return true;
}

void ResetLineEditor() {
    SearchPromptActive = false;
    RangePromptActive = false;
    ConversionKeyPressed = true;
}

bool LineEditor(std::string& text, int maxLength) {
    SetStatusColors();
    text.clear();
    uint8_t character = 0;
    for (;;) {
        const MappedKey key = ReadMappedKey();
        character = key.character;
        if (character == 0) {
            HandleOptionKey(key.scanCode);
        } else if (character == kKeyBackspace) {
            if (!text.empty()) {
                EraseLastEcho();
                text.pop_back();
            }
        } else if (character != kKeyEnter && character != kKeyEscape) {
            if (static_cast<int>(text.size()) < maxLength) {
                text += static_cast<char>(character);
                Echo(character);
            }
        }
        if (maxLength > 0) {
            if (character == kKeyEnter || character == kKeyEscape) break;
        } else if (character == kKeyEscape || ConversionKeyPressed) {
            break;
        }
    }
    return character != kKeyEscape;
}

NumberInput NumberEditor() {
    std::array<uint8_t, 10> digits{};
    int p = 1;  // next digit position
    bool minus = false, plus = false, zero = false;
    uint8_t character = 0;
    auto digitMode = [] { return RangePromptActive && RangeKind == DigitSet; };
    for (;;) {
        const MappedKey key = ReadMappedKey();
        character = key.character;
        if (character == kKeyEnter || character == kKeyEscape) break;
        if (character == 0) {
            if (RangePromptActive) {
                if (key.scanCode == ScanF6) RangeKind = NumberRange;
                if (key.scanCode == ScanF7) RangeKind = DigitSet;
                if (key.scanCode == ScanF8) FieldConditionOn = !FieldConditionOn;
                if (key.scanCode == ScanF6 || key.scanCode == ScanF7 || key.scanCode == ScanF8) {
                    DrawRangeSwitches();
                }
            }
            continue;
        }
        const bool isDigit = character >= '0' && character <= '9';
        if (character == '0' && p == 1 && !zero) {
            Echo(character);
            zero = true;
        } else if (isDigit && character != '0' && p == 1) {
            Echo(character);
            digits[p++] = character;
        } else if (isDigit && p >= 2 && p <= 9) {
            if (!digitMode() || character > digits[p - 1]) {
                Echo(character);
                digits[p++] = character;
            }
        } else if (!digitMode() && p == 1 && character == '-' && !minus) {
            Echo(character);
            minus = true;
        } else if (!digitMode() && p == 1 && character == '+' && !plus) {
            Echo(character);
            plus = true;
        } else if (character == kKeyBackspace && (p > 1 || minus || plus || zero)) {
            EraseLastEcho();
            if (p > 1) {
                --p;
            } else {
                minus = plus = zero = false;
            }
        }
    }
    NumberInput result;
    result.plus = plus;
    if (character == kKeyEscape) {
        result.value = -1;
        result.empty = true;
        return result;
    }
    int32_t value = 0;
    for (int i = 1; i < p; ++i) value = value * 10 + (digits[i] - '0');
    const bool negative = digitMode() ? zero : minus;
    result.value = negative ? -value : value;
    result.empty = p == 1 && !zero;
    return result;
}
