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

#include "files/TableSearch.h"

// The field's own lookup table.
bool TableLookup(int n, bool forceList);
// The same for a field left with the checks of `mode` (see FieldExit).
bool TableLookup(int n, bool forceList, int32_t mode);
// The address data. Only the town field, or the postal-code field of a layout
// without a town field, looks anything up; the street, house-number and
// postal-code fields are read for it and completed from what it finds.
bool AddressLookup(int n, bool forceList);
bool AddressLookup(int n, bool forceList, int32_t mode);
