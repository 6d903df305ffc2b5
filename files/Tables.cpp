#include "files/Tables.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/ByteFile.h"
#include "platform/FileSystem.h"

namespace {

// The tables read from files that some slot still holds, for LoadTable to hand
// out again instead of reading the same file once more. Never destroyed: the
// slots may give back their tables while the program ends.
std::vector<LookupTable*>& ListedTables() {
    static auto* tables = new std::vector<LookupTable*>;
    return *tables;
}

// The listed table read from `source`, of the kind the slot needs.
LookupTable* FindListed(const FileIdentity& source, bool address) {
    for (LookupTable* table : ListedTables()) {
        if (table->source == source && table->IsAddressData() == address) return table;
    }
    return nullptr;
}

}  // namespace

// Gives back one slot's share; the last one frees the table.
void ReleaseLookupTable(LookupTable* table) noexcept {
    if (--table->shares > 0) return;
    if (table->listed) std::erase(ListedTables(), table);
    delete table;
}

LookupTablePtr NewLookupTable() {
    return LookupTablePtr(new LookupTable, LookupTableDeleter{&ReleaseLookupTable});
}

namespace {

constexpr std::size_t kMaxEntry = 255;         // longer lines are cut
constexpr std::size_t kReadBlock = 64 * 1024;  // bytes per read
constexpr std::size_t kMaxText = 0x7FFFFFFFu;  // keeps every offset and line number in 31 bits
constexpr std::size_t kMaxNameLength = kMaxTableName;

// Splits the bytes of a file into lines the way the station's line reader does:
// a line ends at LF, a CR right before the LF belongs to the line end, a CR
// anywhere else stays, and the bytes after the last LF are a line of their own.
// Each line comes cut to kMaxEntry bytes; only that much of a line that spans
// two blocks is kept, however long it is.
class LineSplitter {
  public:
    LineSplitter() { head_.reserve(kMaxEntry); }

    // Hands each complete line to `take` with whether it may hold a NUL byte
    // (the caller tells for the block); false when `take` asked to stop.
    template <typename Take>
    bool Feed(const char* data, std::size_t size, bool mayHoldNul, Take&& take) {
        const char* p = data;
        const char* const end = data + size;
        while (p < end) {
            const void* found = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            if (found == nullptr) {
                Keep(p, static_cast<std::size_t>(end - p));
                break;
            }
            const char* lf = static_cast<const char*>(found);
            if (pendingSize_ == 0) {
                std::string_view line(p, static_cast<std::size_t>(lf - p));
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                if (!take(line.substr(0, kMaxEntry), mayHoldNul)) return false;
            } else {
                Keep(p, static_cast<std::size_t>(lf - p));
                if (!TakePending(true, take)) return false;
            }
            p = lf + 1;
        }
        return true;
    }

    // The last line when the file does not end with a line end.
    template <typename Take>
    bool Finish(Take&& take) {
        return pendingSize_ == 0 || TakePending(false, take);
    }

  private:
    void Keep(const char* p, std::size_t n) {
        if (n == 0) return;
        const std::size_t room = kMaxEntry - std::min(head_.size(), kMaxEntry);
        head_.append(p, std::min(n, room));
        pendingSize_ += n;
        last_ = p[n - 1];
    }

    template <typename Take>
    bool TakePending(bool ended, Take&& take) {
        std::size_t length = pendingSize_;
        if (ended && last_ == '\r') --length;
        const bool result = take(std::string_view(head_).substr(0, length), true);
        head_.clear();
        pendingSize_ = 0;
        return result;
    }

    std::string head_;             // the first kMaxEntry bytes of a line spanning blocks
    std::size_t pendingSize_ = 0;  // its full length so far
    char last_ = 0;                // its last byte so far
};

// The number of LF bytes in a block, eight bytes at a time.
std::size_t CountLineEnds(const char* data, std::size_t size) {
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
    std::size_t count = 0;
    std::size_t k = 0;
    for (; k + 8 <= size; k += 8) {
        uint64_t word;
        std::memcpy(&word, data + k, 8);
        const uint64_t x = word ^ (kOnes * '\n');  // LF bytes become 0
        // The high bit of each byte that is 0, exactly (no carries between bytes).
        const uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);
        count += static_cast<std::size_t>(((zero >> 7) * kOnes) >> 56);  // sum of the flags
    }
    for (; k < size; ++k) count += data[k] == '\n';
    return count;
}

// Byte order of code page 850, a shorter entry before a longer one it begins.
bool Lower(std::string_view a, std::string_view b) {
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    return c < 0 || (c == 0 && a.size() < b.size());
}

// Builds one table line by line. Nothing of it reaches a slot until the whole
// file has been read, so a file that fails half way leaves no half-built table.
class TableBuilder {
  public:
    enum class Stop { None, BadPostalCode, TooLarge };

    // `fileSize` and `lineEnds` (the LF bytes counted before) size the text and
    // the line table once: growing them step by step would copy them and touch
    // about twice the memory.
    TableBuilder(LookupTable& table, bool address, std::size_t fileSize, std::size_t lineEnds)
        : t_(table), address_(address) {
        t_.indexed = true;
        capacity_ = std::min(fileSize, kMaxText);
        t_.text.reset(new char[capacity_ + 1]);
        // Every entry but the last takes at least a byte and its LF.
        t_.lineStart.reserve(std::min(lineEnds, fileSize / 2) + 1);
        if (address_) t_.postal.assign(kPostalCodes, -1);
    }

    Stop stop() const { return stop_; }

    // One line as the splitter gives it; false ends the reading.
    bool Add(std::string_view line, bool mayHoldNul) {
        // The station keeps its lines as zero-terminated strings: a NUL ends one.
        if (const void* nul = mayHoldNul ? std::memchr(line.data(), 0, line.size()) : nullptr)
            line = line.substr(
                0, static_cast<std::size_t>(static_cast<const char*>(nul) - line.data()));
        while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
        if (line.empty()) return true;
        // The block holds the whole file as it was measured, or kMaxText bytes.
        if (t_.textSize + line.size() > capacity_) {
            stop_ = Stop::TooLarge;
            return false;
        }

        const auto lineNumber = static_cast<int32_t>(t_.lineStart.size());
        const uint32_t start = t_.textSize;
        int32_t indexItem = lineNumber;
        if (address_) {
            if (!IsPostalCodeLine(line)) {
                Append(line);
                return true;
            }
            const int32_t code = PostalCodeOfLine(line);
            if (code < 0) {
                stop_ = Stop::BadPostalCode;
                return false;
            }
            indexItem = AddNode(lineNumber, code);
        }
        // Tables are checked line by line; in the address data only the
        // postal-code lines are indexed, so only their order counts.
        if (t_.indexed && havePrevious_ &&
            Lower(line, std::string_view(t_.text.get() + previousStart_, previousSize_))) {
            t_.indexed = false;
            for (auto& row : t_.prefix) row.reset();
        }
        previousStart_ = start;
        previousSize_ = static_cast<uint32_t>(line.size());
        havePrevious_ = true;
        if (t_.indexed) Index(line, indexItem);
        Append(line);
        return true;
    }

    // While loading, the first node of each postal code holds the last one of
    // its chain as its "previous", so appending costs one step; here the chains
    // get their proper starts.
    void Finish() {
        for (std::size_t k = 0; k < t_.nodes.size(); ++k) {
            AddressNode& node = t_.nodes[k];
            if (t_.postal[static_cast<std::size_t>(node.code)] == static_cast<int32_t>(k))
                node.prevSameCode = -1;
        }
        // A file of mostly blank or cut lines would keep a block far larger
        // than its text for as long as the table is loaded.
        if (t_.textSize < capacity_ / 2) Resize(t_.textSize);
    }

  private:
    void Append(std::string_view line) {
        t_.lineStart.push_back(t_.textSize);
        std::memcpy(t_.text.get() + t_.textSize, line.data(), line.size());
        t_.textSize += static_cast<uint32_t>(line.size());
    }

    void Resize(std::size_t capacity) {
        std::unique_ptr<char[]> text(new char[capacity + 1]);
        std::memcpy(text.get(), t_.text.get(), t_.textSize);
        t_.text = std::move(text);
        capacity_ = capacity;
    }

    int32_t AddNode(int32_t lineNumber, int32_t code) {
        const auto node = static_cast<int32_t>(t_.nodes.size());
        AddressNode added;
        added.line = lineNumber;
        added.code = code;
        int32_t& first = t_.postal[static_cast<std::size_t>(code)];
        if (first < 0) {
            first = node;
            added.prevSameCode = node;
        } else {
            AddressNode& head = t_.nodes[static_cast<std::size_t>(first)];
            added.prevSameCode = head.prevSameCode;
            t_.nodes[static_cast<std::size_t>(head.prevSameCode)].nextSameCode = node;
            head.prevSameCode = node;
        }
        t_.nodes.push_back(added);
        return node;
    }

    void Index(std::string_view line, int32_t item) {
        const auto c1 = static_cast<uint8_t>(line[0]);
        const uint8_t c2 = line.size() > 1 ? static_cast<uint8_t>(line[1]) : 0;
        auto& row = t_.prefix[c1];
        if (!row) {
            row = std::make_unique<LookupTable::PrefixRow>();
            row->fill(-1);
        }
        if ((*row)[c2] < 0) (*row)[c2] = item;
    }

    LookupTable& t_;
    const bool address_;
    std::size_t capacity_ = 0;  // bytes of t_.text
    Stop stop_ = Stop::None;
    bool havePrevious_ = false;
    uint32_t previousStart_ = 0;
    uint32_t previousSize_ = 0;
};

}  // namespace

bool IsPostalCodeLine(std::string_view line) {
    const std::size_t n = line.size();
    if (n >= 6 && line[n - 1] == kTab) return true;
    return n >= 7 && line[n - 1] == 'P' && line[n - 2] == kTab;
}

int32_t PostalCodeOfLine(std::string_view line) {
    if (!IsPostalCodeLine(line)) return -1;
    const std::size_t tab = line.back() == kTab ? line.size() - 1 : line.size() - 2;
    int32_t code = 0;
    for (std::size_t k = tab - 5; k < tab; ++k) {
        if (line[k] < '0' || line[k] > '9') return -1;
        code = code * 10 + (line[k] - '0');
    }
    return code;
}

TableLoad LoadTableQuietly(std::string_view name, int slot) {
    if (slot < 0 || slot > MaxFields) return TableLoad::CannotRead;
    const std::string shortName(name.substr(0, kMaxNameLength));
    const bool address = slot == 0;
    LookupTablePtr& assigned = TableAssignments[static_cast<std::size_t>(slot)].Table;

    // A table name is a file in "Tab": one with a separator in it (from a damaged
    // or hostile definition file) would read from elsewhere, so it is refused.
    // Only a regular file is read, and only one whose size the table can hold.
    RegularFile file;
    if (shortName.find_first_of("/\\") != std::string::npos ||
        file.Open("Tab\\" + shortName) != 0 ||
        static_cast<uint64_t>(file.Identity().size) > kMaxText) {
        // Slot 0 is replaced as a whole as well, so a failed load never leaves
        // old address data beside a message that it could not be read.
        ReleaseSlot(slot);
        return TableLoad::CannotRead;
    }
    // The same file, unchanged, already loaded for another slot (or this one):
    // the slot shares it.
    if (LookupTable* listed = FindListed(file.Identity(), address)) {
        ++listed->shares;
        assigned = LookupTablePtr(listed, LookupTableDeleter{&ReleaseLookupTable});
        return TableLoad::Loaded;
    }
    ReleaseSlot(slot);

    LookupTablePtr table;
    TableBuilder::Stop stop = TableBuilder::Stop::None;
    try {
        // A read error inside an open file is a general input/output failure;
        // whatever was built so far goes with the unwinding.
        std::vector<char> block(kReadBlock);
        const auto measured = static_cast<std::size_t>(file.Identity().size);
        std::size_t fileSize = 0;
        std::size_t lineEnds = 0;
        while (fileSize < measured) {
            std::size_t got = 0;
            CheckInOut(file.ReadAt(static_cast<int64_t>(fileSize), block.data(),
                                   std::min(block.size(), measured - fileSize), got));
            if (got == 0) break;
            fileSize += got;
            lineEnds += CountLineEnds(block.data(), got);
        }

        table = NewLookupTable();
        TableBuilder builder(*table, address, fileSize, lineEnds);
        LineSplitter splitter;
        auto take = [&builder](std::string_view line, bool mayHoldNul) {
            return builder.Add(line, mayHoldNul);
        };
        // The file as it was measured: bytes added meanwhile wait for the next load.
        for (std::size_t done = 0;;) {
            std::size_t got = 0;
            CheckInOut(file.ReadAt(static_cast<int64_t>(done), block.data(),
                                   std::min(block.size(), fileSize - done), got));
            if (got == 0) {
                splitter.Finish(take);
                break;
            }
            done += got;
            const bool mayHoldNul = std::memchr(block.data(), 0, got) != nullptr;
            if (!splitter.Feed(block.data(), got, mayHoldNul, take)) break;
        }
        builder.Finish();
        stop = builder.stop();
    } catch (const std::bad_alloc&) {
        stop = TableBuilder::Stop::TooLarge;
    }
    const FileIdentity source = file.Identity();
    file.Close();

    if (stop == TableBuilder::Stop::BadPostalCode) return TableLoad::BadPostalCode;
    if (stop == TableBuilder::Stop::TooLarge) return TableLoad::CannotRead;
    if (table->LineCount() == 0) return TableLoad::NoEntries;
    ListedTables().push_back(table.get());
    table->listed = true;
    table->source = source;
    assigned = std::move(table);
    return TableLoad::Loaded;
}

void ReleaseSlot(int slot) {
    if (slot < 0 || slot > MaxFields) return;
    TableAssignments[static_cast<std::size_t>(slot)].Table.reset();
}

HouseNumber SplitHouseNumber(std::string& text) {
    HouseNumber result;
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ') --end;
    if (end > 0) {
        const char last = text[end - 1];
        if ((last >= 'A' && last <= 'Z') || (last >= 'a' && last <= 'z')) {
            result.letter = static_cast<char>(last >= 'a' ? last - ('a' - 'A') : last);
            --end;
        }
    }
    while (end > 0 && text[end - 1] == ' ') --end;
    std::size_t digits = end;
    while (digits > 0 && text[digits - 1] >= '0' && text[digits - 1] <= '9') --digits;
    int64_t number = 0;
    for (std::size_t k = digits; k < end; ++k) {
        number = number * 10 + (text[k] - '0');
        // More digits than a 32-bit number holds: no number at all.
        if (number > INT32_MAX) {
            number = 0;
            break;
        }
    }
    result.number = static_cast<int32_t>(number);
    while (digits > 0 && text[digits - 1] == ' ') --digits;
    text.resize(digits);
    return result;
}
