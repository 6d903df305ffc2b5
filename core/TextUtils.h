// Small helpers on code page 850 characters: case foldings for comparisons,
// normalisation for matching street names, decimal parsing, and drawing record
// characters so that control characters stay visible.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

uint8_t ToUpperFold(uint8_t c);
uint8_t MatchFold(uint8_t c);
// The value of a string of digits; -1 when any other character is in it; 0 when empty.
int64_t ParseDecimal(std::string_view text);
// The character a record byte shows: CR as a corner, LF as a corner, other
// control characters as '?'.
uint8_t VisibleChar(uint8_t c);
// Turns every 0x00 into a blank, eight bytes at a time: the export and the
// checks run this over every byte of every record.
void BlanksForZeros(uint8_t* bytes, std::size_t count);
void WriteVisibleChar(uint8_t c);
void SaveCursor();
void RestoreCursor();
