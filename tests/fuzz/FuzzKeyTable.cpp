// Key remapping tables from hostile files, through the real loader and the
// real name lookup ("tab\keyalpha" finds Tab/keyalpha). Whatever the file, a
// key may only be remapped by a line of exactly its two visible bytes, and a
// mapping never makes a visible key invisible. An input whose first byte is odd
// is written without that byte behind a filler of nearly 64 KiB, so that its
// lines straddle the end of what the loader reads.
#include <array>
#include <cstdint>
#include <fstream>
#include <numeric>
#include <string>
#include <string_view>

#include "console/KeyTables.h"
#include "tests/fuzz/FuzzKit.h"

namespace {

// Whether `line` (two bytes) stands in `text` as a line of its own: after the
// start or a line feed, and before a line end or the end of the text.
bool HasLine(std::string_view text, char from, char to) {
    const char pair[2] = {from, to};
    const std::string_view wanted(pair, 2);
    for (std::size_t at = text.find(wanted); at != std::string_view::npos;
         at = text.find(wanted, at + 1)) {
        if (at > 0 && text[at - 1] != '\n') continue;
        const std::size_t after = at + 2;
        if (after == text.size() || text[after] == '\n' || text[after] == '\0') return true;
        if (text[after] == '\r' && after + 1 < text.size() && text[after + 1] == '\n') return true;
        // A line cut by the size limit or a NUL byte may end anywhere after its
        // first two bytes; the loader must not have taken it, but a later line
        // may still have mapped the same key: go on looking.
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const InWorkDirectory inWorkDirectory(FuzzWorkDirectory("fuzz-keys"));
    std::string text(reinterpret_cast<const char*>(data), size);
    if (size > 0 && (data[0] & 1) != 0) {
        // Lines of "ab" up to 64 KiB less a few bytes: the input's first lines
        // cross the limit.
        std::string filler;
        while (filler.size() + 3 < 64 * 1024 - 8) filler += "ab\n";
        text = filler + text.substr(1);
    }
    std::ofstream("Tab/keyalpha", std::ios::binary | std::ios::trunc) << text;

    std::array<uint8_t, 256> table{};
    table.fill(0x55);  // the loader must start from the identity itself
    LoadKeyTable(table, "tab\\keyalpha");

    for (int i = 0; i < 256; ++i) {
        const uint8_t to = table[static_cast<std::size_t>(i)];
        if (to == i) continue;
        FUZZ_CHECK(i > 0x20 && to > 0x20);
        FUZZ_CHECK(HasLine(text, static_cast<char>(i), static_cast<char>(to)));
    }
    // A short file without NUL bytes is read whole: there every line of two
    // visible bytes counts, the last one for a key winning.
    if (text.size() <= 64 * 1024 && text.find('\0') == std::string::npos) {
        std::array<uint8_t, 256> expected{};
        std::iota(expected.begin(), expected.end(), uint8_t{0});
        std::string_view rest(text);
        while (!rest.empty()) {
            const std::size_t lf = rest.find('\n');
            std::string_view line = rest.substr(0, lf);
            rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
            if (lf != std::string_view::npos && line.size() == 3 && line[2] == '\r')
                line.remove_suffix(1);
            const auto from = static_cast<uint8_t>(line.size() == 2 ? line[0] : 0);
            const auto to = static_cast<uint8_t>(line.size() == 2 ? line[1] : 0);
            if (from > 0x20 && to > 0x20) expected[from] = to;
        }
        FUZZ_CHECK(table == expected);
    }
    // A file that is not there leaves the identity.
    std::array<uint8_t, 256> missing{};
    LoadKeyTable(missing, "tab\\nokeys");
    for (int i = 0; i < 256; ++i) FUZZ_CHECK(missing[static_cast<std::size_t>(i)] == i);
    return 0;
}
