// The sign of a numeric field. While the operator keys and sees a number it
// carries a '-' in a free position of the field; in the record file and in
// EBCDIC data files the last digit carries the sign instead (zoned-decimal
// overpunch: '1'..'9' become 'J'..'R', '0' becomes 0x81 or 0xF8). These helpers
// turn one form into the other on one field of a record buffer.
//
// A position is free when it holds a blank or a 0 byte. Only the part of a
// field that lies inside the buffer is ever read or written.
#pragma once
#include "model/FieldModel.h"

// How an overpunched '0' is written: 0x81 ('ü') for the DIN EBCDIC table and
// the record file, 0xF8 ('°') for the #@$* EBCDIC table. Both are read back.
enum class SignVariant { Din, HashAtDollarStar };

inline constexpr uint8_t kNegativeZeroDin = 0x81;
inline constexpr uint8_t kNegativeZeroHash = 0xF8;

// Strips every sign from a numeric field and tells whether there was one: each
// '-' becomes a blank (a ZeroFill field gets '0' in the blanks that follow the
// first '-'), each overpunched digit becomes its plain digit. Fields of other
// kinds are left alone and read as not negative.
bool NormaliseSign(const FieldDef& field, RecordBuffer& record);

// Puts a minus sign back into a field that NormaliseSign found negative: in the
// free position right before the number, or in a leading '0', or by shifting
// the field one place right; a full field gets the DIN overpunch instead. True
// when the sign was inserted at the front (the keyed cursor moves with it).
// An empty field keeps the minus in its first place without shifting when the
// keying cursor (`cursorPos`, a record position; 0 when nobody keys) stands
// behind that place.
bool PlaceMinus(const FieldDef& field, RecordBuffer& record, int cursorPos);

// Marks the rightmost digit of the field as negative; no digit, no change.
void Overpunch(const FieldDef& field, RecordBuffer& record, SignVariant variant);

// The record as the record file holds it: negative numbers carry the DIN
// overpunch on their last digit instead of a minus sign.
RecordBuffer StoredImage(const RecordBuffer& record);
