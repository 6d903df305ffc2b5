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

#include "files/LookupTable.h"
#include "model/FieldModel.h"

// A table name holds at most this many characters; the rest is cut.
inline constexpr std::size_t kMaxTableName = 8;
// What loading a table came to.
enum class TableLoad {
    Loaded,
    NoEntries,      // the file holds no entry: the slot stays empty
    CannotRead,     // missing, unreadable, not a regular file, or too large
    BadPostalCode,  // the address data has a postal code that is not five digits
};
// Loads "Tab/" + name (cut to 8 characters) into slot `slot` (1..1840 a field,
// 0 the address data), replacing what the slot held. A file that cannot be read
// leaves the slot empty, and so does a file without entries: the result says
// which. The caller tells the operator.
//
// Lines end at LF (a CR right before it belongs to the line end), are cut to
// 255 bytes and at a NUL byte, lose their trailing blanks, and are skipped when
// nothing is left. A table whose lines are not in ascending byte order keeps
// its lines but no two-character index; the same holds for the address data
// when its postal-code lines are out of order. A postal-code line whose code is
// not five digits is BadPostalCode, and the address data is not kept.
// A read error after opening throws InOutError; the slot then stays empty.
// Only a regular file is read: a FIFO or a device (also behind a link) is
// reported like an unreadable file, and so is a file of more than 2 GiB or one
// with more entries than memory holds. Bytes added to the file while it loads
// are left for the next load.
//
// A file that some slot holds already, unchanged since it was read (the same
// file, size and times), is not read again: the slots share the one table.
// Loading a table again for a slot that holds it keeps it as it is.
TableLoad LoadTableQuietly(std::string_view name, int slot);
// Gives up what slot `slot` holds (for slot 0 also the postal-code index); the
// table is freed when no other slot shares it.
void ReleaseSlot(int slot);

struct HouseNumber {
    int32_t number = 0;  // 0: none
    char letter = ' ';   // upper case; ' ': none
};
// Splits a trailing house number and letter off `text` ("Hauptstr. 12a" gives
// 12, 'A' and leaves "Hauptstr."). Trailing blanks are ignored; a last letter
// A-Z or a-z is taken even without digits before it ("Hauptstr" gives 0, 'R'
// and "Hauptst"); a digit run too long for 32 bits gives 0. `text` always
// becomes what stands before the number and letter, without trailing blanks,
// so text that was nothing but a number ("12a") becomes empty.
HouseNumber SplitHouseNumber(std::string& text);

// Whether a line of the address data (without line end and trailing blanks) is
// a postal-code line: it ends in TAB and has at least 6 characters, or ends in
// TAB 'P' and has at least 7. The five characters before that TAB are its code;
// PostalCodeOfLine gives their value, or -1 when the line is no postal-code
// line or they are not all digits.
bool IsPostalCodeLine(std::string_view line);
int32_t PostalCodeOfLine(std::string_view line);
