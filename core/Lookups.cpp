#include "core/Lookups.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "console/WinCrt.h"
#include "core/EntryScreen.h"
#include "core/FieldCursor.h"
#include "core/FieldEngine.h"
#include "core/Session.h"
#include "core/TextUtils.h"
#include "files/LookupTable.h"
#include "files/Tables.h"
#include "model/FieldModel.h"

namespace {

constexpr int kListRows = 5;
constexpr int kScreenColumns = 80;
// A field on this row or below gets its list six rows higher, from column 1,
// so that all five rows stay on the screen.
constexpr int kLowestListRow = 19;
constexpr int kPageRows = 4;

bool IsBlank(uint8_t c) {
    return c == ' ' || c == 0;
}

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
std::vector<uint8_t> TypedText(int n) {
    const std::span<uint8_t> bytes = FieldBytes(FieldTable[n], WorkRecord);
    const auto first = std::find_if_not(bytes.begin(), bytes.end(), IsBlank);
    if (first == bytes.end()) return {};
    return {first, bytes.end()};
}

// The field's text from its first to its last non-blank byte.
std::string TrimmedText(int n) {
    const std::span<uint8_t> bytes = FieldBytes(FieldTable[n], WorkRecord);
    const auto first = std::find_if_not(bytes.begin(), bytes.end(), IsBlank);
    auto last = bytes.end();
    while (last != first && IsBlank(*(last - 1))) --last;
    return {first, last};
}

// Overwrites field n from its first position; the rest of it becomes 0.
void WriteField(int n, std::string_view text) {
    const std::span<uint8_t> bytes = FieldBytes(FieldTable[n], WorkRecord);
    const std::size_t count = std::min(text.size(), bytes.size());
    std::copy_n(text.begin(), count, bytes.begin());
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(count), bytes.end(), uint8_t{0});
}

// --- The choice list ------------------------------------------------------------

struct ListPlace {
    int x = 1;
    int y = 2;
};

ListPlace PlaceOfList(int n) {
    const int cell = FieldTable[n].ScreenPos;
    const int row = (cell - 1) / kScreenColumns + 2;
    if (row < kLowestListRow) return {(cell - 1) % kScreenColumns + 1, row};
    return {1, row - 6};
}

// Five rows from `top` on, each entry as one line (TABs as blanks), all as
// wide as the widest so that the list reads as one block; rows past the last
// candidate are blank. `width` is the widest the list was drawn so far: a
// shorter entry scrolled in is blanked to it, so no letters of the longer one
// stay behind.
void DrawList(const Search& search, int32_t top, ListPlace place, std::size_t& width) {
    std::vector<std::string> rows;
    width = std::max<std::size_t>(width, 1);
    const auto room = static_cast<std::size_t>(kScreenColumns - place.x + 1);
    for (int32_t item = top; item >= 0 && rows.size() < kListRows; item = search.range.Next(item)) {
        std::string text(search.table->Line(search.range.LineOf(item)).substr(0, room));
        std::replace(text.begin(), text.end(), kTab, ' ');
        width = std::max(width, text.size());
        rows.push_back(std::move(text));
    }
    rows.resize(kListRows);
    for (int r = 0; r < kListRows; ++r) {
        rows[static_cast<std::size_t>(r)].resize(width, ' ');
        SetForeColor(r == 0 ? kDarkGrey : kWhite);
        SetBackColor(r == 0 ? kWhite : kDarkGrey);
        MoveCursor(place.x, place.y + r);
        WriteText(rows[static_cast<std::size_t>(r)]);
    }
}

// One step down, only onto an entry that fits too.
bool StepDown(Search& search, int32_t& top) {
    const int32_t next = search.range.Next(top);
    if (next < 0 || !Matches(search, next)) return false;
    top = next;
    return true;
}

bool StepUp(const Search& search, int32_t first, int32_t& top) {
    if (top == first) return false;
    const int32_t previous = search.range.Previous(top);
    if (previous < 0) return false;
    top = previous;
    return true;
}

// Lets the operator pick among the candidates from `first` on. The answer is
// the entry taken with Enter, or -1 for Esc.
int32_t ChooseEntry(int n, Search& search, int32_t first) {
    const int cursor = CursorRecordPos();
    const ListPlace place = PlaceOfList(n);
    int32_t top = first;
    int32_t chosen = -1;
    std::size_t width = 0;
    for (bool open = true; open;) {
        DrawList(search, top, place, width);
        MoveCursor(place.x, place.y);
        const uint8_t key = ReadKey();
        if (key == 0) {
            switch (ScanCode()) {
                case ScanHome:
                    top = first;
                    break;
                case ScanUp:
                    StepUp(search, first, top);
                    break;
                case ScanPgUp:
                    for (int i = 0; i < kPageRows && StepUp(search, first, top); ++i) {
                    }
                    break;
                case ScanDown:
                    StepDown(search, top);
                    break;
                case ScanPgDn:
                    for (int i = 0; i < kPageRows && StepDown(search, top); ++i) {
                    }
                    break;
                default:
                    Beep();
            }
        } else if (key == kKeyEnter) {
            if (Matches(search, top)) {
                chosen = top;
                open = false;
            }
        } else if (key == kKeyEscape) {
            open = false;
        } else {
            Beep();
        }
    }
    // Walking the list matched other towns' streets: the chosen town's own
    // street line is the one to write.
    if (chosen >= 0 && search.hasStreet) MatchStreet(search, chosen);
    // The checks of a field run once the cursor has left it, so the cursor
    // goes back to where the operator sent it.
    RedrawEntryScreen(cursor);
    return chosen;
}

// The hit, or the operator's choice when more than one candidate fits (or the
// list is forced); -1 when nothing fits or the operator cancels.
int32_t FindEntry(int n, Search& search, bool forceList) {
    int32_t hit = -1;
    for (int32_t item = search.range.first; item >= 0; item = search.range.Next(item)) {
        if (Matches(search, item)) {
            hit = item;
            break;
        }
    }
    if (hit < 0) return -1;
    const int32_t streetOfHit = search.matchedStreetLine;
    // A whole key typed is an answer even when longer keys begin with it:
    // "Ham" is Ham, not Hamburg. Only a second entry of the same key then
    // makes the choice open.
    const bool wholeKey = search.compareText && WholeKeyTyped(search, hit);
    bool another = false;
    for (int32_t item = search.range.Next(hit); item >= 0 && !another;
         item = search.range.Next(item)) {
        another = Matches(search, item) && (!wholeKey || WholeKeyTyped(search, item));
    }
    search.matchedStreetLine = streetOfHit;
    if (another || forceList) return ChooseEntry(n, search, hit);
    return hit;
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

// --- Address fields ---------------------------------------------------------------

struct AddressFields {
    int street = 0;
    int house = 0;
    int postal = 0;
    int town = 0;
};

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

// The postal code keyed in field n: five digits from its first non-blank
// byte on; -1 when they are not.
int32_t KeyedPostalCode(int n) {
    const std::vector<uint8_t> typed = TypedText(n);
    if (typed.size() < 5) return -1;
    int32_t code = 0;
    for (std::size_t i = 0; i < 5; ++i) {
        if (typed[i] < '0' || typed[i] > '9') return -1;
        code = code * 10 + (typed[i] - '0');
    }
    return code;
}

Search TableSearch(int n) {
    Search search;
    search.table = TableAssignments[static_cast<std::size_t>(n)].Table.get();
    search.typed = TypedText(n);
    search.range = TextRange(*search.table, search.typed, CandidateRange::Kind::Lines);
    return search;
}

enum class AddressSearch { Found, NotFound, Search };

// Sets up the address search that leaving field n runs. Found or NotFound
// when the answer is known without one.
AddressSearch PrepareAddressSearch(int n, const AddressFields& fields, Search& search) {
    if (n != fields.town && (n != fields.postal || fields.town != 0)) return AddressSearch::Found;
    // Without address data there is nothing to check against; the operator was
    // told when it could not be read.
    const LookupTable* table = TableAssignments[0].Table.get();
    if (table == nullptr || !table->IsAddressData()) return AddressSearch::Found;

    search.table = table;
    search.byPostalCode = fields.postal != 0 && !FieldIsEmpty(fields.postal);
    if (search.byPostalCode) {
        const int32_t code = KeyedPostalCode(fields.postal);
        const int32_t first = table->FirstNodeOfCode(code);
        if (first < 0) return AddressSearch::NotFound;
        search.range = {table, CandidateRange::Kind::SameCode, first, 0};
    }
    if (fields.street != 0 && !FieldIsEmpty(fields.street)) {
        search.street = TrimmedText(fields.street);
        if (fields.house != 0) {
            std::string number = TrimmedText(fields.house);
            if (!number.empty()) search.house = SplitHouseNumber(number);
        } else {
            search.house = SplitHouseNumber(search.street);
        }
        search.hasStreet = !search.street.empty();
    }
    if (!search.byPostalCode && (fields.town == 0 || FieldIsEmpty(fields.town)))
        return AddressSearch::Found;

    search.typed = TypedText(n);
    search.compareText = n != fields.postal;
    if (!search.byPostalCode)
        search.range = TextRange(*table, search.typed, CandidateRange::Kind::Towns);
    return AddressSearch::Search;
}

}  // namespace

bool TableLookup(int n, bool forceList) {
    if (Mode == ModeVerify || !IsField(n) || !HasTable(n)) return true;
    Search search = TableSearch(n);
    const int32_t chosen = FindEntry(n, search, forceList);
    if (chosen < 0) return false;
    WriteField(n, search.table->LineKey(chosen));
    return true;
}

bool TableHolds(int n) {
    if (!IsField(n) || !HasTable(n)) return true;
    Search search = TableSearch(n);
    return FindHeldEntry(search) >= 0;
}

bool AddressLookup(int n, bool forceList) {
    if (Mode == ModeVerify || !IsField(n)) return true;
    const AddressFields fields = LocateAddressFields();
    Search search;
    const AddressSearch prepared = PrepareAddressSearch(n, fields, search);
    if (prepared != AddressSearch::Search) return prepared == AddressSearch::Found;

    const LookupTable* table = search.table;
    const int32_t chosen = FindEntry(n, search, forceList);
    if (chosen < 0) return false;
    const std::string_view line = table->Line(table->NodeLine(chosen));
    if (search.compareText) WriteField(n, table->LineKey(table->NodeLine(chosen)));
    if (!search.byPostalCode && fields.postal != 0) {
        // Town, TAB, postal code, TAB: the code is what stands between the TABs.
        const std::size_t from = line.find(kTab) + 1;
        WriteField(fields.postal, line.substr(from, line.find(kTab, from) - from));
        DrawEntryField(fields.postal);
    }
    if (search.hasStreet && search.matchedStreetLine >= 0) {
        std::string street(table->LineKey(search.matchedStreetLine));
        if (fields.house == 0 && search.house.number != 0) {
            street += ' ' + std::to_string(search.house.number);
            if (search.house.letter != ' ')
                street += static_cast<char>(search.house.letter - 'A' + 'a');
        }
        WriteField(fields.street, street);
        DrawEntryField(fields.street);
    }
    return true;
}

bool AddressDataHolds(int n) {
    if (!IsField(n)) return true;
    Search search;
    const AddressSearch prepared = PrepareAddressSearch(n, LocateAddressFields(), search);
    if (prepared != AddressSearch::Search) return prepared == AddressSearch::Found;
    return FindHeldEntry(search) >= 0;
}
