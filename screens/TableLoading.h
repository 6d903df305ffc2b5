// Lookup tables and the address data loaded with the operator: a table that
// cannot be read is said so, bad address data ends the station, and the table
// of a field is asked for on the status line.
#pragma once
#include <string>
#include <string_view>

#include "files/Tables.h"

// LoadTableQuietly, told: a file that cannot be read is reported ("Kann
// Tabelle <name> nicht lesen !!!", waiting for a key); bad address data is
// reported ("Plz in den Adressdaten ist fehlerhaft !") and ends the station.
// True when the slot now holds a table.
bool LoadTable(std::string_view name, int slot);
// Loads the address data into slot 0 unless it is there already.
void LoadAddressData();

struct TableNameAnswer {
    bool cancelled = true;
    std::string name;  // at most 8 characters; empty: remove the field's table
};
// Asks for the table of the field under the cursor on the status line and loads it.
TableNameAnswer AskTableName();
