// The 26 field types, one per letter 'A' to 'Z': display name, kind and the
// behaviour flags that entry, checks and data files act on.
#pragma once
#include <array>
#include <cstdint>
#include <string>

enum FieldKind : uint8_t {
    KindNone = 0,  // letter not in use
    KindAlpha = 1,
    KindNumeric = 2,
};

// TypeFlags bits.
enum TypeFlag : uint16_t {
    Bypass = 0x0001,         // the cursor always passes over the field; no table
    EndMarker = 0x0002,      // the last two characters hold CR LF
    RightJustify = 0x0004,   // right-justified when completed
    ZeroFill = 0x0008,       // justified with '0' instead of blanks
    AutoDup = 0x0010,        // with Dup/Skip on: copied from the previous record
    AutoSkip = 0x0020,       // with Dup/Skip on: passed over
    NoVerify = 0x0040,       // passed over in verify mode
    CheckDigit = 0x0080,     // the last digit is a check digit
    Modulus10 = 0x0100,      // check digit by modulus 10
    Modulus11 = 0x0200,      // check digit by modulus 11
    RecordCounter = 0x0400,  // receives the record number
};

struct FieldType {
    std::string Name;  // code page 850
    FieldKind Kind = KindNone;
    uint16_t Flags = 0;
};

// Indexed by letter - 'A'. Filled at session start and never changed.
extern std::array<FieldType, 26> FieldTypeTable;

void FillFieldTypeTable();
inline bool IsTypeLetter(uint8_t letter) {
    return letter >= 'A' && letter <= 'Z';
}
// What a byte that is no type letter reads as.
extern const FieldType NoFieldType;
// The type of a letter; a byte that is no type letter reads as a type of kind
// KindNone without flags, so damaged data can never index outside the table.
// Inline: the checks and the export ask for it for every field of every record.
inline const FieldType& TypeOf(uint8_t letter) {
    return IsTypeLetter(letter) ? FieldTypeTable[letter - 'A'] : NoFieldType;
}
inline bool HasFlag(uint8_t letter, uint16_t flag) {
    return (TypeOf(letter).Flags & flag) != 0;
}
inline bool IsNumericType(uint8_t letter) {
    return TypeOf(letter).Kind == KindNumeric;
}
