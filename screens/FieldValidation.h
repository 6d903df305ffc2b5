// What happens to a field when the cursor leaves it: it gets its stored form
// (end marker, record counter, right justification, blank or zero fill, sign)
// and is checked (lookup, check digit, number range or digit set, optionally
// only while another field lies in a range). In entry mode a failed check only
// beeps and the field stays as keyed; in verify mode a field that differs from
// the stored one holds the operator until it is keyed again.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>

// Formats and checks field n of the record; a number that names no field
// passes. Lookups run only with `lookupAllowed`. False only in verify mode, when
// the field differs from the stored one (it is then armed for keying again).
bool FieldExit(int n, bool lookupAllowed);
// The same with the checks of `mode` instead of the screen's: in entry mode
// nothing is compared with a stored record.
bool FieldExit(int n, bool lookupAllowed, int32_t mode);

// While one of these lives, FieldExit runs no lookups: the record is stored as
// keyed. For the end of the station (Stop, closing the window, a hang-up),
// which must not open a choice list and wait for an operator who may be gone.
class LookupsSuspended {
  public:
    LookupsSuspended();
    ~LookupsSuspended();
    LookupsSuspended(const LookupsSuspended&) = delete;
    LookupsSuspended& operator=(const LookupsSuspended&) = delete;
};

// Runs FieldExit over every field from the last to the first, all of them even
// after a failure; lookups only for the field under the cursor. Entry mode
// without `check` passes at once, so that a record is loaded unchanged.
bool ValidateAll(bool check);
bool ValidateAll(bool check, int32_t mode);

// What the information row says of field n: "Feld 3: " and `what` (UTF-8).
std::string FieldSays(int n, const std::string& what);
// Bytes of a field as the operator reads them (UTF-8): unkeyed places as
// blanks, other control bytes as '?', without the blanks around them.
std::string ShownValue(std::span<const uint8_t> bytes);
