// File names the way operators type them, mapped onto the Linux file system.
//
// The station holds names in code page 850 and accepts '\' and '/' alike. On
// disk names are UTF-8. Each component of a typed path is found without regard
// to case ("tab\keyalpha" finds Tab/keyalpha), so layouts, tables and key files
// made on the old platform keep working.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Attribute bits as the directory search reports them.
inline constexpr uint8_t kAttrHidden = 0x02;
inline constexpr uint8_t kAttrDirectory = 0x10;
inline constexpr uint8_t kAttrArchive = 0x20;

inline bool IsPathSeparator(char ch) {
    return ch == '/' || ch == '\\';
}

// Where the name part of a path begins: just after its last separator (0 when
// it has none).
inline std::size_t NameStart(std::string_view path) {
    const std::size_t last = path.find_last_of("/\\");
    return last == std::string_view::npos ? 0 : last + 1;
}

// The system's form of a typed path: separators made '/', code page 850
// converted to UTF-8, and each existing component matched without regard to
// case. Components that do not exist are kept as typed.
std::string NativePath(std::string_view oemPath);
// A name from the disk (UTF-8) in the station's code page 850.
std::string OemFromNative(std::string_view nativeName);

// The absolute form of a typed name against the current directory, in code
// page 850 with '/' separators; "." and ".." are resolved.
std::string AbsoluteOemPath(std::string_view oemName);
std::string CurrentOemDirectory();

// '*' and '?' matching without regard to case; "*.*" also matches names
// without a dot, as operators expect.
bool WildcardMatch(std::string_view pattern, std::string_view name);

struct FoundFile {
    std::string name;  // code page 850, the name only
    uint8_t attributes = 0;
};

// Lists the entries matching a pattern (directory part plus a wildcard name).
// Normal files are always included; directories only when `attributeFilter`
// has kAttrDirectory, hidden entries (names starting with '.') only with
// kAttrHidden. "." and ".." are never listed.
std::vector<FoundFile> FindFiles(std::string_view oemPattern, uint8_t attributeFilter);
