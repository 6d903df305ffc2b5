// Lists the files that match a pattern on the text screen, in four columns of
// 23 names, just to show them or to let the operator pick one with the cursor
// keys or by typing its first letter.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct DirEntry {
    // The whole name in code page 850, exact: it names this very file, also
    // when the station cannot show all of it (see OemFromNative).
    std::string Name;
    uint8_t Attributes = 0;  // 0x10: a directory
    bool operator==(const DirEntry&) const = default;
};

// Called with the extended keys the browser does not handle itself. The browser
// reads the directory again afterwards and draws its list anew, so a file the
// handler deleted leaves the list and a message the handler showed over it
// goes.
using DirKeyHandler =
    std::function<void(uint8_t scanCode, const std::string& pattern, const DirEntry& current)>;

// At most this many names are listed: those that sort first by their bytes.
inline constexpr int kDirectorySlots = 2048;

// Lists the matches of `pattern` from the first one on (rows 2 to 24).
// Returns 0, or the system's error number when the directory could not be
// read (what could be read is listed).
int ShowDirectory(std::string_view pattern, uint8_t attributeFilter);
// Lets the operator pick one of the matches of `pattern`; `preselected` is
// highlighted first when it is listed (found without regard to case). Returns
// the whole exact name, also when the screen shows it shortened (a name too
// long for its column keeps its beginning and end around a '~') or with '?'
// for characters it cannot show; empty when the operator pressed Esc or nothing
// matched (any more). A directory that cannot be read offers nothing to pick:
// the result is empty at once and `listingError` (when given) gets the
// system's error number, otherwise 0.
std::string PickFile(std::string_view pattern, std::string_view preselected,
                     uint8_t attributeFilter, const DirKeyHandler& handler,
                     int* listingError = nullptr);
