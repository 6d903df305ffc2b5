// Small helpers on code page 850 characters: case foldings for comparisons,
// normalisation for matching street names, decimal parsing, blanks for zero
// bytes, and the cursor's place kept while the status line asks something.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

uint8_t ToUpperFold(uint8_t c);
uint8_t MatchFold(uint8_t c);
// The value of a string of digits; -1 when any other character is in it; 0 when empty.
int64_t ParseDecimal(std::string_view text);
void SaveCursor();
void RestoreCursor();
