#include "console/KeyTables.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <string_view>

#include "console/ConsoleKeyboard.h"
#include "platform/FileSystem.h"

std::array<uint8_t, 256> KeyAlphaTable = [] {
    std::array<uint8_t, 256> table{};
    std::iota(table.begin(), table.end(), uint8_t{0});
    return table;
}();
std::array<uint8_t, 256> KeyNumTable = KeyAlphaTable;

namespace {

constexpr std::size_t kMaxKeyLine = 2048;
// A whole table is 256 lines of two bytes (1 KiB even with CR LF line ends);
// this leaves ample room for blank and commentary lines. What lies beyond is no
// key table, and reading it would only cost time (a link to an endless device,
// a huge file by mistake).
constexpr std::size_t kMaxKeyFile = 64 * 1024;

void ApplyLine(std::array<uint8_t, 256>& table, std::string_view line) {
    if (line.size() != 2) return;
    const auto from = static_cast<uint8_t>(line[0]);
    const auto to = static_cast<uint8_t>(line[1]);
    if (from > 0x20 && to > 0x20) table[from] = to;
}

}  // namespace

void LoadKeyTable(std::array<uint8_t, 256>& table, const char* oemPath) {
    std::iota(table.begin(), table.end(), uint8_t{0});
    RegularFile file;
    if (file.Open(oemPath) != 0) return;
    // One byte more than is taken tells whether the file goes on.
    std::string bytes(kMaxKeyFile + 1, '\0');
    std::size_t got = 0;
    const int error = file.ReadAt(0, bytes.data(), bytes.size(), got);
    file.Close();
    bytes.resize(got);
    // A read error ends the file like its end, and so does the limit; the line
    // they cut through is incomplete and is dropped.
    if (error != 0 || got > kMaxKeyFile) {
        const std::size_t lastEnd =
            got == 0 ? std::string::npos : bytes.rfind('\n', std::min(got, kMaxKeyFile) - 1);
        bytes.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    }
    // Lines as the line reader gives them: LF or CR LF ends a line, the last one
    // may lack its end, and a NUL byte ends the text of a line.
    std::string_view rest(bytes);
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = line.substr(0, std::min(line.find('\0'), kMaxKeyLine));
        ApplyLine(table, line);
    }
}

void LoadKeyTables() {
    LoadKeyTable(KeyAlphaTable, "tab\\keyalpha");
    LoadKeyTable(KeyNumTable, "tab\\keynum");
}

MappedKey ReadMappedKey() {
    MappedKey key;
    const uint8_t character = ReadKey();
    key.character = KeyAlphaTable[character];
    key.scanCode = character == 0 ? ScanCode() : 0;
    return key;
}

uint8_t MapNumericKey(uint8_t character) {
    return KeyNumTable[character];
}
