// Completing a field from its lookup table or from the postal-code address
// data when the cursor leaves it (or on Up and Down with the choice list
// forced). A false result means nothing fitted: the caller beeps and the field
// keeps what was keyed.
#pragma once

// The field's own lookup table.
bool TableLookup(int n, bool forceList);
// The address data, for the street, house-number, postal-code and town fields.
bool AddressLookup(int n, bool forceList);
