// Completing a field from its lookup table or from the postal-code address
// data when the cursor leaves it (or on Up and Down with the choice list
// forced). A false result means nothing fitted, or the operator cancelled the
// choice list: the caller beeps and the field keeps what was keyed.
//
// When several entries fit (or the list is forced), a list of five entries
// opens at the field; Home, Up, PgUp, Down and PgDn move through it, Enter
// takes the entry on its first line and Esc cancels. Afterwards the screen is
// drawn anew and the cursor stands where it stood before the list opened.
//
// Nothing happens in verify mode, nor for a field without a loaded table.
#pragma once

// Address columns of a field (FieldExtra::AddressColumn) that the lookups read.
enum AddressColumns {
    kStreetColumn = 1,
    kHouseNumberColumn = 2,
    kPostalCodeColumn = 3,
    kTownColumn = 4,
};

// The field's own lookup table.
bool TableLookup(int n, bool forceList);
// The address data. Only the town field, or the postal-code field of a layout
// without a town field, looks anything up; the street, house-number and
// postal-code fields are read for it and completed from what it finds.
bool AddressLookup(int n, bool forceList);

// The same searches for checking a stored record: whether the value of field n
// is an entry, as the lookups would have written it (the whole key, or as much
// of it as the field holds), with the street where one is given. Nothing is
// completed, no choice list opens, and the mode does not matter. A field the
// lookup would not search passes, as does a town field left empty beside a
// postal code the address data knows (the station would fill it in).
bool TableHolds(int n);
bool AddressDataHolds(int n);
