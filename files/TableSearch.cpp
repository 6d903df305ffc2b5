#include "files/TableSearch.h"

#include <algorithm>
#include <span>

#include "model/Characters.h"

namespace {

bool IsBlank(uint8_t c) {
    return c == ' ' || c == 0;
}

// Every byte of field n in `record` is 0 or a blank.
bool FieldBlank(const RecordBuffer& record, int n) {
    if (!IsField(n)) return true;
    const std::span<const uint8_t> bytes = FieldBytes(FieldTable[n], record);
    return std::all_of(bytes.begin(), bytes.end(), IsBlank);
}

std::string_view KeyOf(const Search& search, int32_t item) {
    return search.table->LineKey(search.range.LineOf(item));
}

// How many leading characters of the typed text equal the key's.
std::size_t AgreeingLength(const Search& search, std::string_view key) {
    std::size_t m = 0;
    while (m < key.size() && m < search.typed.size() &&
           search.typed[m] == static_cast<uint8_t>(key[m]))
        ++m;
    return m;
}

// --- Streets ------------------------------------------------------------------

// The house-number range of a street line, the part after its TAB: "a-" is
// open upwards, "a-b" closed, a single number stands for itself, and nothing
// at all for the whole street.
bool InHouseRange(std::string_view range, const HouseNumber& house) {
    if (std::all_of(range.begin(), range.end(), [](char c) { return c == ' '; })) return true;
    const std::size_t dash = range.find('-');
    std::string lowText(range.substr(0, dash));
    const HouseNumber low = SplitHouseNumber(lowText);
    if (house.number % 2 != low.number % 2) return false;
    if (house.number < low.number || (house.number == low.number && house.letter < low.letter))
        return false;
    std::string highText(dash == std::string_view::npos ? range : range.substr(dash + 1));
    if (std::all_of(highText.begin(), highText.end(), [](char c) { return c == ' '; }))
        return true;  // "a-": no upper end
    const HouseNumber high = SplitHouseNumber(highText);
    return house.number < high.number ||
           (house.number == high.number && high.letter >= house.letter);
}

bool StreetMatches(const Search& search, std::string_view line) {
    const std::string_view street = search.street;
    if (line == street) return true;
    if (line.size() <= street.size() || line.substr(0, street.size()) != street ||
        line[street.size()] != kTab)
        return false;
    return search.house.number == 0 || InHouseRange(line.substr(street.size() + 1), search.house);
}

// Street names compared as an operator reads them: case, umlauts, dots and
// blanks aside, and one may be cut short ("Hauptstr" for "Hauptstraße").
bool NamesAgree(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    for (;;) {
        while (i < a.size() && MatchFold(static_cast<uint8_t>(a[i])) == ' ') ++i;
        while (j < b.size() && MatchFold(static_cast<uint8_t>(b[j])) == ' ') ++j;
        if (i == a.size() || j == b.size()) return true;
        if (MatchFold(static_cast<uint8_t>(a[i])) != MatchFold(static_cast<uint8_t>(b[j])))
            return false;
        ++i;
        ++j;
    }
}

bool StreetMatchesLoosely(const Search& search, std::string_view line) {
    const std::size_t tab = line.find(kTab);
    if (!NamesAgree(search.street, line.substr(0, tab))) return false;
    return search.house.number == 0 || tab == std::string_view::npos ||
           InHouseRange(line.substr(tab + 1), search.house);
}

// The items a typed text can match: with the two-character index those
// starting with its first two characters (or its first one), otherwise all.
CandidateRange TextRange(const LookupTable& table, const std::vector<uint8_t>& typed,
                         CandidateRange::Kind kind) {
    CandidateRange range{&table, kind};
    const int32_t all = kind == CandidateRange::Kind::Lines ? table.LineCount() : table.NodeCount();
    ItemRange items{0, all};
    if (table.HasIndex() && !typed.empty()) {
        const uint8_t c2 = typed.size() > 1 && !IsBlank(typed[1]) ? typed[1] : 0;
        items = table.Candidates(typed[0], c2);
    }
    if (items.Empty()) return range;
    range.first = items.first;
    range.end = items.end;
    return range;
}

// The field's bytes from the first non-blank one on; empty for a blank field.
std::vector<uint8_t> TypedText(int n, const RecordBuffer& record) {
    const std::span<const uint8_t> bytes = FieldBytes(FieldTable[n], record);
    const auto first = std::find_if_not(bytes.begin(), bytes.end(), IsBlank);
    if (first == bytes.end()) return {};
    return {first, bytes.end()};
}

// The field's text from its first to its last non-blank byte.
std::string TrimmedText(int n, const RecordBuffer& record) {
    const std::span<const uint8_t> bytes = FieldBytes(FieldTable[n], record);
    const auto first = std::find_if_not(bytes.begin(), bytes.end(), IsBlank);
    auto last = bytes.end();
    while (last != first && IsBlank(*(last - 1))) --last;
    return {first, last};
}

// The postal code keyed in field n: five digits from its first non-blank
// byte on; -1 when they are not.
int32_t KeyedPostalCode(int n, const RecordBuffer& record) {
    const std::vector<uint8_t> typed = TypedText(n, record);
    if (typed.size() < 5) return -1;
    int32_t code = 0;
    for (std::size_t i = 0; i < 5; ++i) {
        if (typed[i] < '0' || typed[i] > '9') return -1;
        code = code * 10 + (typed[i] - '0');
    }
    return code;
}

}  // namespace

// Whether the street (and house number) searched for is among the street
// lines of this town; remembers the line found.
bool MatchStreet(Search& search, int32_t node) {
    const ItemRange lines = search.table->StreetLines(node);
    for (const auto matches : {StreetMatches, StreetMatchesLoosely}) {
        for (int32_t i = lines.first; i < lines.end; ++i) {
            if (matches(search, search.table->Line(i))) {
                search.matchedStreetLine = i;
                return true;
            }
        }
    }
    return false;
}

// --- Candidates ---------------------------------------------------------------

// The typed text fits the key when it is the key's beginning (or the whole key)
// and nothing but blanks follows in the field.
bool Matches(Search& search, int32_t item) {
    if (search.compareText) {
        const std::size_t m = AgreeingLength(search, KeyOf(search, item));
        if (!std::all_of(search.typed.begin() + static_cast<std::ptrdiff_t>(m), search.typed.end(),
                         IsBlank))
            return false;
    }
    return !search.hasStreet || MatchStreet(search, item);
}

bool WholeKeyTyped(const Search& search, int32_t item) {
    const std::string_view key = KeyOf(search, item);
    return AgreeingLength(search, key) == key.size();
}

// The first candidate the field holds as the lookup writes it: the typed text
// is the entry's whole key, or the key runs on to the field's end (it was cut
// to the field). -1 when there is none.
int32_t FindHeldEntry(Search& search) {
    for (int32_t item = search.range.first; item >= 0; item = search.range.Next(item)) {
        if (!Matches(search, item)) continue;
        if (!search.compareText) return item;
        const std::string_view key = KeyOf(search, item);
        const std::size_t m = AgreeingLength(search, key);
        if (m == key.size() || m == search.typed.size()) return item;
    }
    return -1;
}

// The last field of each address column counts.
AddressFields LocateAddressFields() {
    AddressFields fields;
    for (int n = 1; n <= FieldCount; ++n) {
        switch (FieldExtras[n].AddressColumn) {
            case kStreetColumn:
                fields.street = n;
                break;
            case kHouseNumberColumn:
                fields.house = n;
                break;
            case kPostalCodeColumn:
                fields.postal = n;
                break;
            case kTownColumn:
                fields.town = n;
                break;
            default:
                break;
        }
    }
    return fields;
}

Search TableSearch(int n, const RecordBuffer& record) {
    Search search;
    search.table = TableAssignments[static_cast<std::size_t>(n)].Table.get();
    search.typed = TypedText(n, record);
    search.range = TextRange(*search.table, search.typed, CandidateRange::Kind::Lines);
    return search;
}

// Sets up the address search that leaving field n runs. Found or NotFound
// when the answer is known without one.
AddressSearch PrepareAddressSearch(int n, const AddressFields& fields, const RecordBuffer& record,
                                   Search& search) {
    if (n != fields.town && (n != fields.postal || fields.town != 0)) return AddressSearch::Found;
    // Without address data there is nothing to check against; the operator was
    // told when it could not be read.
    const LookupTable* table = TableAssignments[0].Table.get();
    if (table == nullptr || !table->IsAddressData()) return AddressSearch::Found;

    search.table = table;
    search.byPostalCode = fields.postal != 0 && !FieldBlank(record, fields.postal);
    if (search.byPostalCode) {
        const int32_t code = KeyedPostalCode(fields.postal, record);
        const int32_t first = table->FirstNodeOfCode(code);
        if (first < 0) return AddressSearch::NotFound;
        search.range = {table, CandidateRange::Kind::SameCode, first, 0};
    }
    if (fields.street != 0 && !FieldBlank(record, fields.street)) {
        search.street = TrimmedText(fields.street, record);
        if (fields.house != 0) {
            std::string number = TrimmedText(fields.house, record);
            if (!number.empty()) search.house = SplitHouseNumber(number);
        } else {
            search.house = SplitHouseNumber(search.street);
        }
        search.hasStreet = !search.street.empty();
    }
    if (!search.byPostalCode && (fields.town == 0 || FieldBlank(record, fields.town)))
        return AddressSearch::Found;

    search.typed = TypedText(n, record);
    search.compareText = n != fields.postal;
    if (!search.byPostalCode)
        search.range = TextRange(*table, search.typed, CandidateRange::Kind::Towns);
    return AddressSearch::Search;
}

bool TableHolds(int n, const RecordBuffer& record) {
    if (!IsField(n) || !HasTable(n)) return true;
    Search search = TableSearch(n, record);
    return FindHeldEntry(search) >= 0;
}

bool AddressDataHolds(int n, const RecordBuffer& record) {
    if (!IsField(n)) return true;
    Search search;
    const AddressSearch prepared = PrepareAddressSearch(n, LocateAddressFields(), record, search);
    if (prepared != AddressSearch::Search) return prepared == AddressSearch::Found;
    return FindHeldEntry(search) >= 0;
}
