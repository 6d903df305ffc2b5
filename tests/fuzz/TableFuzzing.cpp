#include "tests/fuzz/TableFuzzing.h"

#include "tests/fuzz/FuzzKit.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "console/WinCrt.h"
#include "screens/TableLoading.h"
#include "files/LookupTable.h"
#include "model/FieldModel.h"
#include "platform/RichEdit.h"
#include "platform/WindowSystem.h"

namespace {

bool Lower(std::string_view a, std::string_view b) {
    // Byte order without sign, as the loader must use.
    const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
    for (std::size_t k = 0; k < a.size() && k < b.size(); ++k) {
        if (pa[k] != pb[k]) return pa[k] < pb[k];
    }
    return a.size() < b.size();
}

int PairOf(std::string_view line) {
    const auto c1 = static_cast<unsigned char>(line[0]);
    const int c2 = line.size() > 1 ? static_cast<unsigned char>(line[1]) : 0;
    return c1 * 256 + c2;
}

void WalkLines(const LookupTable& table) {
    FUZZ_CHECK(table.LineCount() > 0);
    std::size_t expected = 0;
    for (int32_t i = 0; i < table.LineCount(); ++i) {
        FUZZ_CHECK(table.lineStart[static_cast<std::size_t>(i)] == expected);
        const std::string_view line = table.Line(i);
        FUZZ_CHECK(!line.empty() && line.size() <= 255);
        FUZZ_CHECK(line.back() != ' ');
        FUZZ_CHECK(line.find('\0') == std::string_view::npos);
        FUZZ_CHECK(table.LineKey(i).size() <= line.size());
        expected += line.size();
    }
    FUZZ_CHECK(expected == table.textSize);
}

// The items the index refers to: lines of a table, postal-code lines of the
// address data.
void WalkIndex(const LookupTable& table, const std::vector<std::string_view>& items) {
    const auto count = static_cast<int32_t>(items.size());
    // Kept from run to run and cleared where used: the walk must not cost more
    // than the load it checks.
    static std::vector<int32_t> first(65536, -1);
    std::array<bool, 256> rowUsed{};
    bool ordered = true;
    for (int32_t j = 0; j < count; ++j) {
        const std::string_view item = items[static_cast<std::size_t>(j)];
        if (j > 0 && Lower(item, items[static_cast<std::size_t>(j) - 1])) ordered = false;
        int32_t& entry = first[static_cast<std::size_t>(PairOf(item))];
        if (entry < 0) entry = j;
        rowUsed[static_cast<unsigned char>(item[0])] = true;
    }
    FUZZ_CHECK(table.HasIndex() == ordered);
    for (int c1 = 0; c1 < 256; ++c1) {
        const auto first1 = static_cast<uint8_t>(c1);
        FUZZ_CHECK(table.HasPrefixRow(first1) == (ordered && rowUsed[first1]));
        if (!table.HasPrefixRow(first1)) {
            FUZZ_CHECK(table.PrefixEntry(first1, static_cast<uint8_t>(c1 * 7)) == -1);
            continue;
        }
        for (int c2 = 0; c2 < 256; ++c2) {
            const int32_t entry = table.PrefixEntry(first1, static_cast<uint8_t>(c2));
            FUZZ_CHECK(entry == first[static_cast<std::size_t>(c1 * 256 + c2)]);
        }
    }
    // Candidate ranges hold every item that starts with the typed characters,
    // checked for the pairs of the first few items and their rows.
    for (int32_t j = 0; j < count && j < 32; ++j) {
        const int pair = PairOf(items[static_cast<std::size_t>(j)]);
        const auto c1 = static_cast<uint8_t>(pair / 256);
        const auto c2 = static_cast<uint8_t>(pair % 256);
        for (const bool wholeRow : {false, true}) {
            const ItemRange range = table.Candidates(c1, wholeRow ? 0 : c2);
            FUZZ_CHECK(0 <= range.first && range.first <= range.end && range.end <= count);
            for (int32_t k = 0; k < count; ++k) {
                const int other = PairOf(items[static_cast<std::size_t>(k)]);
                const bool fits = wholeRow ? other / 256 == c1 : other == pair;
                if (fits) FUZZ_CHECK(range.first <= k && k < range.end);
            }
        }
    }
    for (const std::string_view item : items) first[static_cast<std::size_t>(PairOf(item))] = -1;
}

void WalkAddressData(const LookupTable& table) {
    FUZZ_CHECK(table.IsAddressData());
    std::vector<std::string_view> towns;
    // Kept from run to run: fresh arrays of this size would cost more than the load.
    static std::vector<int32_t> firstOfCode(kPostalCodes, -1), lastOfCode(kPostalCodes, -1);
    int32_t node = 0;
    for (int32_t i = 0; i < table.LineCount(); ++i) {
        const std::string_view line = table.Line(i);
        if (!IsPostalCodeLine(line)) continue;
        FUZZ_CHECK(node < table.NodeCount());
        FUZZ_CHECK(table.NodeLine(node) == i);
        const int32_t code = PostalCodeOfLine(line);
        FUZZ_CHECK(code >= 0 && code < kPostalCodes);
        FUZZ_CHECK(table.PostalCodeOfNode(node) == code);
        int32_t& last = lastOfCode[static_cast<std::size_t>(code)];
        FUZZ_CHECK(table.PrevSameCode(node) == last);
        if (last >= 0) FUZZ_CHECK(table.NextSameCode(last) == node);
        if (last < 0) firstOfCode[static_cast<std::size_t>(code)] = node;
        last = node;
        towns.push_back(line);
        ++node;
    }
    FUZZ_CHECK(node == table.NodeCount());
    // Every code in use has its first node and the end of its chain; no other
    // entry of the postal index is set.
    int32_t codesUsed = 0;
    for (int32_t k = 0; k < table.NodeCount(); ++k) {
        const auto code = static_cast<std::size_t>(table.PostalCodeOfNode(k));
        if (firstOfCode[code] < 0) continue;
        FUZZ_CHECK(table.FirstNodeOfCode(static_cast<int32_t>(code)) == firstOfCode[code]);
        FUZZ_CHECK(table.NextSameCode(lastOfCode[code]) == -1);
        firstOfCode[code] = lastOfCode[code] = -1;
        ++codesUsed;
    }
    FUZZ_CHECK(table.postal.size() == static_cast<std::size_t>(kPostalCodes));
    const int32_t* postal = table.postal.data();
    int32_t entriesSet = 0;
    for (int32_t code = 0; code < kPostalCodes; ++code) entriesSet += postal[code] >= 0;
    FUZZ_CHECK(entriesSet == codesUsed);
    for (int32_t k = 0; k < table.NodeCount(); ++k) {
        const ItemRange streets = table.StreetLines(k);
        FUZZ_CHECK(streets.first == table.NodeLine(k) + 1);
        FUZZ_CHECK(streets.end >= streets.first && streets.end <= table.LineCount());
        for (int32_t i = streets.first; i < streets.end; ++i)
            FUZZ_CHECK(!IsPostalCodeLine(table.Line(i)));
    }
    WalkIndex(table, towns);
}

}  // namespace

bool LoadAndWalk(const uint8_t* data, std::size_t size, const char* name, int slot) {
    const InWorkDirectory inWorkDirectory(FuzzWorkDirectory("fuzz"));
    const std::string path = std::string("Tab/") + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    // An odd first byte puts the rest of the input across the end of the
    // loader's first 64 KiB read, behind one long line: the inputs stay small,
    // and lines split between two reads are tried all the same.
    if (size > 0 && (data[0] & 1) != 0) {
        const std::string filler(65535 - 1 - data[0] * 7, 'f');
        std::fwrite(filler.data(), 1, filler.size(), file);
        std::fputc('\n', file);
        ++data;
        --size;
    }
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    bool loaded = false;
    try {
        loaded = LoadTable(name, slot);
    } catch (const ProcessEnded&) {
        FUZZ_CHECK(slot == 0);
        FUZZ_CHECK(TableAssignments[0].Table == nullptr);
        return false;
    }
    const LookupTable* table = TableAssignments[static_cast<std::size_t>(slot)].Table.get();
    FUZZ_CHECK(loaded == (table != nullptr));
    if (table != nullptr) {
        WalkLines(*table);
        if (slot == 0) {
            WalkAddressData(*table);
        } else {
            FUZZ_CHECK(!table->IsAddressData() && table->NodeCount() == 0);
            std::vector<std::string_view> lines;
            for (int32_t i = 0; i < table->LineCount(); ++i) lines.push_back(table->Line(i));
            WalkIndex(*table, lines);
        }
    }
    ReleaseSlot(slot);
    FUZZ_CHECK(TableAssignments[static_cast<std::size_t>(slot)].Table == nullptr);
    return loaded;
}
