// Searching a field's value in its lookup table or in the address data: the
// candidates an entry may be, which of them fit what is keyed, and whether a
// record's field holds an entry as a lookup writes it. Nothing here is shown;
// the choice list that lets the operator pick is the screens'.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/LookupTable.h"
#include "files/Tables.h"
#include "model/FieldModel.h"

// The items one lookup walks: lines of a table, the towns of the address data
// (its postal-code lines) in file order, or the towns of one postal code along
// their chain.
struct CandidateRange {
    enum class Kind { Lines, Towns, SameCode };
    const LookupTable* table = nullptr;
    Kind kind = Kind::Lines;
    int32_t first = -1;  // -1: nothing to walk
    int32_t end = 0;     // Lines and Towns: one past the last item

    int32_t Next(int32_t item) const {
        if (kind == Kind::SameCode) return table->NextSameCode(item);
        return item + 1 < end ? item + 1 : -1;
    }
    int32_t Previous(int32_t item) const {
        if (item == first) return -1;
        if (kind == Kind::SameCode) return table->PrevSameCode(item);
        return item - 1;
    }
    int32_t LineOf(int32_t item) const {
        return kind == Kind::Lines ? item : table->NodeLine(item);
    }
};

// Everything one lookup compares candidates with.
struct Search {
    const LookupTable* table = nullptr;
    CandidateRange range;
    std::vector<uint8_t> typed;  // the field from its first non-blank byte on
    bool compareText = true;     // off: a postal-code field searched by its own code
    bool byPostalCode = false;   // address data: the candidates are one postal code's towns
    bool hasStreet = false;      // the town must also have the street
    std::string street;          // the search street, without its house number
    HouseNumber house;
    int32_t matchedStreetLine = -1;  // set by the last successful street match
};

// Whether the street (and house number) searched for is among the street
// lines of this town; remembers the line found.
bool MatchStreet(Search& search, int32_t node);
// The typed text fits the key when it is the key's beginning (or the whole key)
// and nothing but blanks follows in the field.
bool Matches(Search& search, int32_t item);
// The typed text is the item's whole key.
bool WholeKeyTyped(const Search& search, int32_t item);
// The first candidate the field holds as the lookup writes it: the typed text
// is the entry's whole key, or the key runs on to the field's end (it was cut
// to the field). -1 when there is none.
int32_t FindHeldEntry(Search& search);

struct AddressFields {
    int street = 0;
    int house = 0;
    int postal = 0;
    int town = 0;
};
// The address fields of the layout; the last field of each column counts.
AddressFields LocateAddressFields();
// The search of field n of `record` in its table (which it must have).
Search TableSearch(int n, const RecordBuffer& record);
enum class AddressSearch { Found, NotFound, Search };
// Sets up the address search that leaving field n of `record` runs. Found or
// NotFound when the answer is known without one.
AddressSearch PrepareAddressSearch(int n, const AddressFields& fields, const RecordBuffer& record,
                                   Search& search);

// The same searches for checking a stored record: whether the value of field n
// of `record` is an entry, as the lookups would have written it (the whole key, or as much
// of it as the field holds), with the street where one is given. Nothing is
// completed, no choice list opens, and the mode does not matter. A field the
// lookup would not search passes, as does a town field left empty beside a
// postal code the address data knows (the station would fill it in).
bool TableHolds(int n, const RecordBuffer& record);
bool AddressDataHolds(int n, const RecordBuffer& record);
