// Code page 850 characters as the station compares them: case folded for
// searches, normalised for matching street names, and digits read as a number.
#pragma once
#include <cstdint>
#include <string_view>

uint8_t ToUpperFold(uint8_t c);
uint8_t MatchFold(uint8_t c);
// The value of a string of digits; -1 when any other character is in it; 0 when empty.
int64_t ParseDecimal(std::string_view text);
