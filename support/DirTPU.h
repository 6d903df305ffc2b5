// Lists the files that match a pattern on the text screen, in four columns of
// 23 names, just to show them or to let the operator pick one with the cursor
// keys or by typing its first letter.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct DirEntry {
    std::string Name;        // the whole name, code page 850 (shown cut to 12 characters)
    uint8_t Attributes = 0;  // 0x10: a directory
};

// Called with the extended keys the browser does not handle itself.
using DirKeyHandler =
    std::function<void(uint8_t scanCode, const std::string& pattern, const DirEntry& current)>;

void ShowDirectory(std::string_view pattern, uint8_t attributeFilter);
// The picked name (empty when the operator pressed Esc or nothing matched).
std::string PickFile(std::string_view pattern, std::string_view preselected, uint8_t attributeFilter,
                     const DirKeyHandler& handler);
