// What happens to a field when the cursor leaves it: it gets its stored form
// (end marker, record counter, right justification, blank or zero fill, sign)
// and is checked (lookup, check digit, number range or digit set, optionally
// only while another field lies in a range). In entry mode a failed check only
// beeps and the field stays as keyed; in verify mode a field that differs from
// the stored one holds the operator until it is keyed again.
#pragma once
#include <cstdint>
#include <functional>

// Formats and checks field n of the record; a number that names no field
// passes. Lookups run only with `lookupAllowed`. False only in verify mode, when
// the field differs from the stored one (it is then armed for keying again).
bool FieldExit(int n, bool lookupAllowed);

// The checks a field can fail when it is left.
enum class FieldCheck {
    RecordCounter,  // the counter lies above its maximum, or does not fit the field
    CheckDigit,
    Range,        // outside its number range (while its condition holds)
    DigitSet,     // a digit outside its set (while its condition holds)
    Table,        // not in the field's lookup table
    AddressData,  // not in the address data
};

// How the lookup of a field runs when it is left.
enum class LookupRun {
    None,      // no lookup: a field other than the one under the cursor
    Complete,  // the station's: completes the field, may open the choice list
    Check,     // only whether the value is an entry; nothing changes, nothing is shown
};

// What FieldExit does to field n of the WorkRecord short of the verify
// comparison: the stored form, and the checks, each failed one handed to
// `failed` (FieldExit beeps there). With a lookup other than Complete it
// neither beeps nor touches the screen or the keyboard, so that records can be
// checked without a station. A number that names no field does nothing.
void FormatAndCheckField(int n, LookupRun lookup, const std::function<void(FieldCheck)>& failed);

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

// Whether field n of the WorkRecord lies in lower..upper; `negative` gives the
// number its sign. With upper = DigitSetMarker, lower is a set of digits: every
// digit of the field must be one of the digits of lower ('0' only when lower is
// 0 or negative); blanks and unkeyed places pass.
bool NumberInRange(int n, int32_t lower, int32_t upper, bool negative);

// Brings the operator's input of field n in the VerifyRecord into the stored
// form, so that it can be compared with the WorkRecord.
void FormatVerifyField(int n);
