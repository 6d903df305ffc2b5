// Raw code-page tables, generated from the reference data by scripts/gen_codepage.py.
#pragma once
#include <cstdint>

struct UnicodeOemPair {
    char32_t unicode;
    uint8_t oem;
};

// Code page 850 byte -> Unicode code point.
extern const char32_t kOemToUnicode[256];
// Code page 850 -> Windows-1252, best fit where there is no counterpart.
extern const uint8_t kOemToAnsi[256];
// Windows-1252 -> code page 850, our own best fit for the bytes 850 lacks.
extern const uint8_t kAnsiToOem[256];
// Unicode -> code page 850, sorted by code point for binary search.
extern const UnicodeOemPair kUnicodeToOem[256];
