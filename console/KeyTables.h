// Site-specific key remapping: two 256-byte tables that replace a typed
// character by another, one for all input and one more for numeric fields.
// They are filled once at program start from "tab\keyalpha" and "tab\keynum".
#pragma once
#include <array>
#include <cstdint>

extern std::array<uint8_t, 256> KeyAlphaTable;
extern std::array<uint8_t, 256> KeyNumTable;

// Fills both tables from their files in the working directory. A missing file
// leaves its table as the identity; nothing is ever reported.
void LoadKeyTables();
// Fills one table from one file (identity first). Only a regular file is read
// (a FIFO or a device, also behind a link, counts as missing), and only its
// first 64 KiB: a longer file is taken up to its last line end within them.
void LoadKeyTable(std::array<uint8_t, 256>& table, const char* oemPath);

struct MappedKey {
    uint8_t character = 0;  // mapped through KeyAlphaTable; 0 for an extended key
    uint8_t scanCode = 0;   // the extended code when character is 0
};
// The station's normal key read: ReadKey with the character mapped.
MappedKey ReadMappedKey();
// A character of a numeric field, mapped once more.
uint8_t MapNumericKey(uint8_t character);
