#include "screens/Lookups.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "console/WinCrt.h"
#include "files/LookupTable.h"
#include "files/TableSearch.h"
#include "files/Tables.h"
#include "model/Characters.h"
#include "model/FieldModel.h"
#include "screens/EntryScreen.h"
#include "screens/FieldCursor.h"
#include "screens/FieldEngine.h"
#include "screens/Session.h"

namespace {

constexpr int kListRows = 5;
constexpr int kScreenColumns = 80;
// A field on this row or below gets its list six rows higher, from column 1,
// so that all five rows stay on the screen.
constexpr int kLowestListRow = 19;
constexpr int kPageRows = 4;

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

}  // namespace

bool TableLookup(int n, bool forceList) {
    return TableLookup(n, forceList, Mode);
}

bool TableLookup(int n, bool forceList, int32_t mode) {
    if (mode == ModeVerify || !IsField(n) || !HasTable(n)) return true;
    Search search = TableSearch(n, WorkRecord);
    const int32_t chosen = FindEntry(n, search, forceList);
    if (chosen < 0) return false;
    WriteField(n, search.table->LineKey(chosen));
    return true;
}

bool AddressLookup(int n, bool forceList) {
    return AddressLookup(n, forceList, Mode);
}

bool AddressLookup(int n, bool forceList, int32_t mode) {
    if (mode == ModeVerify || !IsField(n)) return true;
    const AddressFields fields = LocateAddressFields();
    Search search;
    const AddressSearch prepared = PrepareAddressSearch(n, fields, WorkRecord, search);
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
