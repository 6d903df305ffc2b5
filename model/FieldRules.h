// The rules of a field that is left: it gets its stored form (end marker,
// record counter, right justification, blank or zero fill, sign) and is checked
// (lookup, check digit, number range or digit set, optionally only while
// another field lies in a range). The rules say what failed; the screens
// decide what the operator hears and sees, and a checker lists it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "model/FieldModel.h"

// The checks a field can fail when it is left.
enum class FieldCheck {
    RecordCounter,  // the counter lies above its maximum, or does not fit the field
    CheckDigit,
    Range,        // outside its number range (while its condition holds)
    DigitSet,     // a digit outside its set (while its condition holds)
    Table,        // not in the field's lookup table
    AddressData,  // not in the address data
};

// Why field n failed `check`, in words (UTF-8) for the operator and the
// checker alike: "Prüfziffer falsch", "nicht im Bereich 1 bis 9 (solange Feld
// 2 im Bereich 1 bis 5)", "nicht in der Tabelle FARBE", ...
std::string CheckReason(int n, FieldCheck check);
// A digit set as it was typed: its digits, led by 0 where 0 is allowed.
std::string DigitSetText(int32_t set);

// The lookups of a field that is left: whether field n holds an entry of its
// table, or of the address data. The station's complete the field (and may
// open the choice list); a checker's only look.
struct FieldLookups {
    std::function<bool(int n)> table;
    std::function<bool(int n)> address;
};

// The record whose field is left.
struct LeftRecord {
    RecordBuffer& record;                 // keyed or stored: gets the stored form
    RecordBuffer* verifyInput = nullptr;  // the verify input, given the same end marker and counter
    int64_t number = 1;                   // its record number, for record counters
};

// What leaving field n does to the record short of the verify comparison: the
// stored form, and the checks, each failed one handed to `failed`. Lookups run
// only when `lookups` is given. Nothing here beeps, draws or waits. A number
// that names no field does nothing.
void FormatAndCheckField(int n, const LeftRecord& left, const FieldLookups* lookups,
                         const std::function<void(FieldCheck)>& failed);

// Whether field n of `record` lies in lower..upper; `negative` gives the
// number its sign. With upper = DigitSetMarker, lower is a set of digits: every
// digit of the field must be one of the digits of lower ('0' only when lower is
// 0 or negative); blanks and unkeyed places pass.
bool NumberInRange(int n, const RecordBuffer& record, int32_t lower, int32_t upper, bool negative);

// Brings the operator's input of field n in `verifyInput` into the stored
// form, so that it can be compared with the stored record.
void FormatVerifyField(int n, RecordBuffer& verifyInput);
