// Lookup tables and the postal-code address data: loaded from text files in
// "Tab/", indexed for fast lookups during entry, and released again.
//
// A table is a text file of allowed values, one per line, kept in ascending
// byte order. The address data ("Tab/adr") holds postal-code lines (town, TAB,
// five-digit code, TAB, optionally 'P'), each followed by the street lines of
// that code.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/FieldModel.h"
#include "files/LookupTable.h"

// Loads "Tab/" + name (cut to 8 characters) into slot `slot` (1..1840 a field,
// 0 the address data), replacing what the slot held. A file that cannot be read
// is reported ("Kann Tabelle <name> nicht lesen !!!", waiting for a key) and
// leaves the slot empty; a file without entries leaves it empty too.
// True when the slot now holds a table.
bool LoadTable(std::string_view name, int slot);
// Loads the address data into slot 0 unless it is there already.
void LoadAddressData();
// Frees what slot `slot` holds (for slot 0 also the postal-code index).
void ReleaseSlot(int slot);

struct TableNameAnswer {
    bool cancelled = true;
    std::string name;  // at most 8 characters; empty: remove the field's table
};
// Asks for the table of the field under the cursor on the status line and loads it.
TableNameAnswer AskTableName();

struct HouseNumber {
    int32_t number = 0;  // 0: none
    char letter = ' ';   // upper case; ' ': none
};
// Splits a trailing house number and letter off `text` ("Hauptstr. 12a" gives
// 12, 'A' and leaves "Hauptstr.").
HouseNumber SplitHouseNumber(std::string& text);
