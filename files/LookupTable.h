// The in-memory form of a loaded lookup table or of the postal-code address
// data, and the read-only access the lookups during entry use.
//
// Everything is addressed by index, never by pointer: lines are numbered 0 ..
// LineCount() - 1 in file order, postal-code lines of the address data ("address
// nodes") 0 .. NodeCount() - 1 in file order. -1 stands for "none". The lines
// lie back to back in one text block and the links are 32-bit numbers, so a
// whole country's address data (some 1.5 million lines) costs little more than
// its text.
//
// Lines (tables and address data):
//   LineCount(), Line(i) (the entry, without line end and trailing blanks, at
//   most 255 bytes), LineKey(i) (the part before the first TAB, or all of it).
//   The line before and after line i are i - 1 and i + 1.
//
// Two-character index (only when HasIndex(): a table whose lines were in
// ascending byte order, an address file whose postal-code lines were):
//   PrefixEntry(c1, c2): the first item whose line starts with c1 c2 (c2 = 0
//   for a one-character line); the item is a line of a table and an address
//   node of the address data. -1 when there is none.
//   HasPrefixRow(c1): whether any item starts with c1.
//   NextPrefixPair(c1, c2): the next occupied pair after (c1, c2) in ascending
//   order, for the end of a candidate range.
//   Candidates(c1, c2): the items a typed text starting with c1 c2 can match,
//   as a half-open range [first, end) of items: with c2 != 0 the items of the
//   pair (c1, c2); with c2 = 0 every item starting with c1; without an index
//   every item. In the address data the items are address nodes (towns).
//
// Address data (IsAddressData(): loaded into slot 0):
//   NodeCount(), NodeLine(node) (its postal-code line), PrevNode / NextNode (file
//   order), PrevSameCode / NextSameCode (the chain of one postal code, in file
//   order), FirstNodeOfCode(code) for a code 0..99999 (first digit times 10000
//   plus the other four), PostalCodeOfNode(node), StreetLines(node) (the street
//   lines below the postal-code line, up to the next postal-code line).
//
// One loaded file serves every slot that names it: many fields may carry one
// large table, and it is held in memory once. Each slot's pointer holds a share
// of it, and the table is freed with the last share, so releasing one field's
// table leaves it working for the others.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "model/FieldModel.h"
#include "platform/FileSystem.h"

// One postal-code line of the address data.
struct AddressNode {
    int32_t line = -1;          // the postal-code line
    int32_t code = 0;           // its postal code, 0..99999
    int32_t prevSameCode = -1;  // the previous line with the same postal code
    int32_t nextSameCode = -1;  // the next line with the same postal code
};

// A half-open range of items, [first, end); empty when first == end.
struct ItemRange {
    int32_t first = 0;
    int32_t end = 0;
    bool Empty() const { return first >= end; }
};

struct PrefixPair {
    int c1 = -1;  // -1: no further pair
    int c2 = -1;
    int32_t item = -1;
};

inline constexpr int32_t kPostalCodes = 100000;
inline constexpr char kTab = '\t';

struct LookupTable {
    // --- Lines ---------------------------------------------------------------
    int32_t LineCount() const { return static_cast<int32_t>(lineStart.size()); }
    std::string_view Line(int32_t i) const {
        const uint32_t start = lineStart[static_cast<std::size_t>(i)];
        const uint32_t end =
            i + 1 < LineCount() ? lineStart[static_cast<std::size_t>(i) + 1] : textSize;
        return std::string_view(text.get() + start, end - start);
    }
    std::string_view LineKey(int32_t i) const {
        const std::string_view line = Line(i);
        return line.substr(0, line.find(kTab));
    }

    // --- Two-character index -------------------------------------------------
    bool HasIndex() const { return indexed; }
    bool HasPrefixRow(uint8_t c1) const { return prefix[c1] != nullptr; }
    int32_t PrefixEntry(uint8_t c1, uint8_t c2) const {
        return prefix[c1] ? (*prefix[c1])[c2] : -1;
    }
    PrefixPair NextPrefixPair(int c1, int c2) const {
        for (int first = c1, second = c2 + 1; first < 256; ++first, second = 0) {
            if (!prefix[static_cast<std::size_t>(first)]) continue;
            const PrefixRow& row = *prefix[static_cast<std::size_t>(first)];
            for (; second < 256; ++second) {
                if (row[static_cast<std::size_t>(second)] >= 0)
                    return {first, second, row[static_cast<std::size_t>(second)]};
            }
        }
        return {};
    }
    ItemRange Candidates(uint8_t c1, uint8_t c2) const {
        const int32_t all = IsAddressData() ? NodeCount() : LineCount();
        if (!indexed) return {0, all};
        if (!prefix[c1]) return {};
        PrefixPair start{c1, c2, PrefixEntry(c1, c2)};
        // A single typed character reaches every item starting with it: from the
        // row's first pair up to the first pair of the next row.
        if (c2 == 0 && start.item < 0) start = NextPrefixPair(c1, 0);
        if (start.item < 0) return {};
        const PrefixPair next = c2 == 0 ? NextPrefixPair(c1, 255) : NextPrefixPair(c1, c2);
        return {start.item, next.item < 0 ? all : next.item};
    }

    // --- Address data --------------------------------------------------------
    bool IsAddressData() const { return !postal.empty(); }
    int32_t NodeCount() const { return static_cast<int32_t>(nodes.size()); }
    int32_t NodeLine(int32_t node) const { return nodes[static_cast<std::size_t>(node)].line; }
    int32_t PrevNode(int32_t node) const { return node > 0 ? node - 1 : -1; }
    int32_t NextNode(int32_t node) const { return node + 1 < NodeCount() ? node + 1 : -1; }
    int32_t PrevSameCode(int32_t node) const {
        return nodes[static_cast<std::size_t>(node)].prevSameCode;
    }
    int32_t NextSameCode(int32_t node) const {
        return nodes[static_cast<std::size_t>(node)].nextSameCode;
    }
    int32_t FirstNodeOfCode(int32_t code) const {
        if (code < 0 || code >= kPostalCodes || postal.empty()) return -1;
        return postal[static_cast<std::size_t>(code)];
    }
    int32_t PostalCodeOfNode(int32_t node) const {
        return nodes[static_cast<std::size_t>(node)].code;
    }
    ItemRange StreetLines(int32_t node) const {
        const int32_t next = NextNode(node);
        return {NodeLine(node) + 1, next < 0 ? LineCount() : NodeLine(next)};
    }

    // --- Storage, filled by LoadTable only -------------------------------------
    using PrefixRow = std::array<int32_t, 256>;  // by second character; -1: none
    // Every line back to back, textSize bytes. A plain block rather than a
    // string: it is made once at the size of the file and filled without being
    // cleared first, so memory the lines do not need is never touched.
    std::unique_ptr<char[]> text;
    uint32_t textSize = 0;
    std::vector<uint32_t> lineStart;  // line i starts at text[lineStart[i]]
    bool indexed = false;
    std::array<std::unique_ptr<PrefixRow>, 256> prefix;  // by first character, made on first use
    std::vector<AddressNode> nodes;                      // address data: postal-code lines
    std::vector<int32_t> postal;  // address data: kPostalCodes first nodes; empty for tables

    // --- Sharing, kept by LoadTable and the slots' deleter ----------------------
    // The slots' pointers to this table. A table made elsewhere starts with the
    // one pointer it is given and is shared with nobody.
    int32_t shares = 1;
    bool listed = false;  // LoadTable may hand it to further slots
    FileIdentity source;  // the file it was read from, when listed
};

// Gives up one field's share of `table`, freeing it with the last one.
void ReleaseLookupTable(LookupTable* table) noexcept;
// A new, empty table that frees itself that way.
LookupTablePtr NewLookupTable();
