#include "screens/DirTPU.h"

#include <algorithm>
#include <vector>

#include "console/WinCrt.h"
#include "platform/FileSystem.h"

namespace {

constexpr int kRowsPerColumn = 23;
constexpr int kPageEntries = 4 * kRowsPerColumn;
constexpr int kColumnWidth = 20;
constexpr int kDirMarkOffset = 13;  // "[DIR]" stands this far right of the name's start
// A name may fill its column but for the blank that parts it from the next one;
// a directory's name leaves room for a blank and "[DIR]".
constexpr std::size_t kNameWidth = kColumnWidth - 1;
constexpr std::size_t kDirectoryNameWidth = kNameWidth - 6;

// The listing of the running ShowDirectory or PickFile: the filled slots from
// the first on, in ascending byte order of the names. Slot n is element n - 1.
std::vector<DirEntry> DirectoryList;

// Top: entries before the page's first one; current: slot of the highlight.
struct PickerState {
    int top = 0;
    int current = 1;
};
PickerState Picker;

// Releases the listing however the call ends (a Stop also leaves through here).
struct ListingGuard {
    ~ListingGuard() {
        DirectoryList.clear();
        DirectoryList.shrink_to_fit();
        Picker = PickerState{};
    }
};

char UpperAscii(char ch) {
    return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
}

bool EqualFold(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    }
    return true;
}

// The matches sorted by their bytes (std::string compares bytes as unsigned),
// keeping the kDirectorySlots names that sort first. Every name gets a slot, the
// last one included, whatever order the directory hands the names out in.
std::vector<DirEntry> ReadListing(std::string_view pattern, uint8_t attributeFilter, int& error) {
    std::vector<DirEntry> list;
    for (FoundFile& found : FindFiles(pattern, attributeFilter, &error)) {
        list.push_back(DirEntry{std::move(found.name), found.attributes});
    }
    auto byName = [](const DirEntry& a, const DirEntry& b) { return a.Name < b.Name; };
    if (list.size() > static_cast<std::size_t>(kDirectorySlots)) {
        std::partial_sort(list.begin(), list.begin() + kDirectorySlots, list.end(), byName);
        list.resize(kDirectorySlots);
    } else {
        std::sort(list.begin(), list.end(), byName);
    }
    return list;
}

int Count() {
    return static_cast<int>(DirectoryList.size());
}

// Writes the name as its column shows it and gives its width. A name too long
// for the column keeps its beginning and its end, joined by '~': names of one
// family mostly differ at the end ("...-2024.DEF", "...-2025.DEF"), and the
// beginning tells the family.
std::size_t WriteName(const DirEntry& entry) {
    const std::string shown = ShownName(entry.Name);
    const std::string_view name(shown);
    const std::size_t width =
        (entry.Attributes & kAttrDirectory) ? kDirectoryNameWidth : kNameWidth;
    if (name.size() <= width) {
        WriteText(name);
        return name.size();
    }
    const std::size_t head = (width - 1) / 2;
    WriteText(name.substr(0, head));
    WriteText("~");
    WriteText(name.substr(name.size() - (width - 1 - head)));
    return width;
}

void SetNormalColors() {
    SetForeColor(kWhite);
    SetBackColor(kDarkGrey);
}

// Place k (0..91) of a page: column after column, 23 rows each.
void MoveToPlace(int k) {
    MoveCursor((k / kRowsPerColumn) * kColumnWidth + 1, (k % kRowsPerColumn) + 2);
}

void DrawPage(int top) {
    SetNormalColors();
    for (int row = 2; row <= 24; ++row) {
        MoveCursor(1, row);
        ClearToLineEnd();
    }
    for (int k = 0; k < kPageEntries && top + k < Count(); ++k) {
        const DirEntry& entry = DirectoryList[top + k];
        MoveToPlace(k);
        const int x = CursorX, y = CursorY;
        const auto width = static_cast<int>(WriteName(entry));
        if (entry.Attributes & kAttrDirectory) {
            MoveCursor(x + std::max(kDirMarkOffset, width + 1), y);
            WriteText("[DIR]");
        }
    }
}

// Writes the name of `slot` at its page place, highlighted (dark grey on
// white) or normal (white on dark grey); the colours end up normal.
void DrawEntry(int slot, bool highlighted) {
    SetForeColor(highlighted ? kDarkGrey : kWhite);
    SetBackColor(highlighted ? kWhite : kDarkGrey);
    MoveToPlace(slot - Picker.top - 1);
    WriteName(DirectoryList[slot - 1]);
    SetNormalColors();
}

void MoveHighlight(int delta) {
    // Never past the last entry, however far the key reaches.
    const int a = std::clamp(Picker.current + delta, 1, std::max(Count(), 1));
    const int d = a - Picker.current;
    if (a - Picker.top > kPageEntries || a - Picker.top < 1) {
        Picker.top = std::max(0, Picker.top + d);
        DrawPage(Picker.top);
    } else {
        DrawEntry(Picker.current, false);
    }
    Picker.current += d;
    DrawEntry(Picker.current, true);
}

// By the name as it is shown: the operator types the letter on the screen.
bool BeginsWith(int slot, char upper) {
    const std::string name = ShownName(DirectoryList[slot - 1].Name);
    return !name.empty() && UpperAscii(name.front()) == upper;
}

// The first letter is compared without regard to case, like every other name
// comparison of the browser. A repeated letter steps to the next name with that
// letter and wraps to the first one.
void SearchLetter(uint8_t character) {
    const char upper = UpperAscii(static_cast<char>(character));
    int first = 0;
    for (int slot = 1; slot <= Count() && first == 0; ++slot) {
        if (BeginsWith(slot, upper)) first = slot;
    }
    if (first == 0) return;
    int target = first;
    if (BeginsWith(Picker.current, upper)) {
        for (int slot = Picker.current + 1; slot <= Count(); ++slot) {
            if (BeginsWith(slot, upper)) {
                target = slot;
                break;
            }
        }
    }
    MoveHighlight(target - Picker.current);
}

// The slot of `name`: the exact name first, else the first name that differs
// only in case (the disk keeps names in the case they were made with); 1 when
// it is not listed.
int PreselectedSlot(std::string_view name) {
    if (name.empty()) return 1;
    for (int slot = 1; slot <= Count(); ++slot) {
        if (DirectoryList[slot - 1].Name == name) return slot;
    }
    for (int slot = 1; slot <= Count(); ++slot) {
        if (EqualFold(DirectoryList[slot - 1].Name, name)) return slot;
    }
    return 1;
}

// After a caller's key handler ran (it may have deleted a file, or shown a
// message over the list): reads the directory again and draws the list anew,
// with the highlight on the same name, or on the same slot when that name is
// gone. False when nothing is left or the directory could not be read
// (`error` then says why).
bool RefreshListing(std::string_view pattern, uint8_t attributeFilter, int& error) {
    std::vector<DirEntry> fresh = ReadListing(pattern, attributeFilter, error);
    if (error != 0) return false;
    if (fresh != DirectoryList) {
        const std::string highlighted = DirectoryList[Picker.current - 1].Name;
        DirectoryList = std::move(fresh);
        if (DirectoryList.empty()) return false;
        int slot = std::min(Picker.current, Count());
        for (int each = 1; each <= Count(); ++each) {
            if (DirectoryList[each - 1].Name == highlighted) slot = each;
        }
        Picker.current = slot;
        if (Picker.current - Picker.top > kPageEntries) Picker.top = Picker.current - kPageEntries;
        if (Picker.current - Picker.top < 1) Picker.top = Picker.current - 1;
    }
    DrawPage(Picker.top);
    DrawEntry(Picker.current, true);
    return true;
}

}  // namespace

int ShowDirectory(std::string_view pattern, uint8_t attributeFilter) {
    const ListingGuard guard;
    SetNormalColors();
    int error = 0;
    DirectoryList = ReadListing(pattern, attributeFilter, error);
    DrawPage(0);
    return error;
}

std::string PickFile(std::string_view pattern, std::string_view preselected,
                     uint8_t attributeFilter, const DirKeyHandler& handler, int* listingError) {
    const ListingGuard guard;
    int ignored = 0;
    int& error = listingError ? *listingError : ignored;
    SetNormalColors();
    DirectoryList = ReadListing(pattern, attributeFilter, error);
    // A list the directory could not give whole is not offered: a missing name
    // would look like a file that is not there.
    if (error != 0 || DirectoryList.empty()) return {};

    Picker = PickerState{};
    DrawPage(0);
    MoveHighlight(PreselectedSlot(preselected) - 1);

    const std::string patternText(pattern);
    for (;;) {
        const uint8_t character = ReadKey();
        if (character == kKeyEnter) return DirectoryList[Picker.current - 1].Name;
        if (character == kKeyEscape) return {};
        if (character != 0) {
            SearchLetter(character);
            continue;
        }
        const uint8_t scan = ScanCode();
        switch (scan) {
            case ScanUp:
                MoveHighlight(-1);
                break;
            case ScanDown:
                MoveHighlight(1);
                break;
            case ScanLeft:
            case ScanPgUp:
                MoveHighlight(-kRowsPerColumn);
                break;
            case ScanRight:
            case ScanPgDn:
                MoveHighlight(kRowsPerColumn);
                break;
            case ScanHome:
                MoveHighlight(Picker.top + 1 - Picker.current);
                break;
            case ScanEnd:
                MoveHighlight(Picker.top + kPageEntries - Picker.current);
                break;
            default:
                if (handler) {
                    // A copy: the listing may be read again below.
                    const DirEntry current = DirectoryList[Picker.current - 1];
                    handler(scan, patternText, current);
                    SetNormalColors();
                    if (!RefreshListing(pattern, attributeFilter, error)) return {};
                }
                break;
        }
    }
}
