#include "console/KeyTables.h"

#include <numeric>
#include <string>

#include "console/ConsoleKeyboard.h"
#include "support/myread3.h"

std::array<uint8_t, 256> KeyAlphaTable = [] {
    std::array<uint8_t, 256> table{};
    std::iota(table.begin(), table.end(), uint8_t{0});
    return table;
}();
std::array<uint8_t, 256> KeyNumTable = KeyAlphaTable;

namespace {

constexpr int32_t kMaxKeyLine = 2048;

void ApplyLine(std::array<uint8_t, 256>& table, const std::string& line) {
    if (line.size() != 2) return;
    const auto from = static_cast<uint8_t>(line[0]);
    const auto to = static_cast<uint8_t>(line[1]);
    if (from > 0x20 && to > 0x20) table[from] = to;
}

}  // namespace

void LoadKeyTable(std::array<uint8_t, 256>& table, const char* oemPath) {
    std::iota(table.begin(), table.end(), uint8_t{0});
    if (OpenLines(oemPath) != 0) return;
    std::string line;
    bool more = ReadLine(line, kMaxKeyLine);
    // A read error ends the file just like its end.
    while (LastReadError() == 0 && (more || !line.empty())) {
        ApplyLine(table, line);
        if (!more) break;
        more = ReadLine(line, kMaxKeyLine);
    }
    CloseLines();
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
