#include "files/DefinitionFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "files/Tables.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/ProgramKeys.h"
#include "model/ScreenLayout.h"
#include "platform/ByteFile.h"
#include "platform/CodePage.h"
#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"

namespace {

constexpr std::size_t kKeyBlock = 12 * 256;
// Address-data columns a field may take: Str., Hausnr., PLZ, Ort, Ortszus., Ortsteil.
constexpr int kAddressColumns = 6;
// More than any definition file can hold, even with the largest wide-screen block.
constexpr std::size_t kMaxDefinitionFile = 64u << 20;

void Put16(std::string& out, int value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((bits >> shift) & 0xFF);
}

std::string EncodeDefinition(bool withKeys) {
    std::string out = "FeldDef2";
    Put16(out, FieldCount);
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& f = FieldTable[n];
        Put16(out, f.RecordPos);
        Put16(out, f.ScreenPos);
        Put16(out, f.Length);
        out += static_cast<char>(f.Type);
        Put32(out, f.RangeFrom);
        Put32(out, f.RangeTo);
    }
    out.append(reinterpret_cast<const char*>(ScreenLayout.data()), ScreenLayout.size());
    for (int k = 0; k < kProgramKeys; ++k) {
        std::string slot(256, '\0');
        if (withKeys) {
            const std::string& text = ProgramKeyTexts[k];
            const std::size_t length = std::min<std::size_t>(text.size(), 255);
            slot[0] = static_cast<char>(length);
            std::memcpy(slot.data() + 1, text.data(), length);
        }
        out += slot;
    }
    for (int n = 1; n <= MaxFields; ++n) {
        // A table that could not be read (gone for a moment, a failing disk)
        // stays named for its field: the next reading of the layout tries it
        // again, instead of the layout losing it for good.
        const bool named = n <= FieldCount && !TableAssignments[n].Name.empty();
        if (!HasTable(n) && !named) continue;
        Put16(out, n);
        std::string name(9, '\0');
        const std::string& text = TableAssignments[n].Name;
        const std::size_t length = std::min<std::size_t>(text.size(), 8);
        name[0] = static_cast<char>(length);
        std::memcpy(name.data() + 1, text.data(), length);
        out += name;
    }
    Put16(out, 0);
    bool extended = false;
    for (int n = 1; n <= FieldCount; ++n) {
        if (FieldExtras[n].AddressColumn != 0 || FieldExtras[n].ConditionField != 0)
            extended = true;
    }
    if (extended) {
        out += "ExtFld01";
        for (int n = 1; n <= FieldCount; ++n) {
            const FieldExtra& e = FieldExtras[n];
            Put16(out, e.AddressColumn);
            Put16(out, e.ConditionField);
            Put32(out, e.ConditionFrom);
            Put32(out, e.ConditionTo);
        }
    }
    return out;
}

// Reads a file as a sequence of blocks, the way the reader consumes it: every
// read says how many bytes arrived.
class Cursor {
  public:
    explicit Cursor(const std::string& bytes) : bytes_(bytes) {}
    // Up to `count` bytes; fewer at the end of the file.
    std::string_view Read(std::size_t count) {
        const std::size_t available = bytes_.size() - std::min(position_, bytes_.size());
        const std::size_t got = std::min(count, available);
        std::string_view part(bytes_.data() + position_, got);
        position_ += got;
        return part;
    }

  private:
    const std::string& bytes_;
    std::size_t position_ = 0;
};

int Get16(std::string_view bytes, std::size_t at) {
    return static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8);
}

int16_t GetS16(std::string_view bytes, std::size_t at) {
    return static_cast<int16_t>(Get16(bytes, at));
}

int32_t Get32(std::string_view bytes, std::size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    return static_cast<int32_t>(value);
}

// What reading a file does to the session, worked out before anything changes.
// A file is either taken whole or refused, and a refused file changes nothing:
// neither the layout in memory nor the screen nor KELBRIN4.CR1.
struct Reading {
    enum class Refusal { None, NotADefinition, TooManyFields, RecordTooLong };
    Refusal refusal = Refusal::None;
    int count = 0;
    std::vector<FieldDef> fields;  // fields 1..count (index 0 unused)
    std::array<uint8_t, 2000> layout{};
    std::optional<std::array<std::string, kProgramKeys>> keys;
    std::vector<std::pair<int, std::string>> tables;  // field, name: loaded in this order
    std::optional<std::vector<FieldExtra>> extras;    // fields 1..count
    bool loadAddressData = false;
};

Reading Refused(Reading::Refusal refusal) {
    Reading r;
    r.refusal = refusal;
    return r;
}

// A file that ends inside one of its blocks was cut short (a full disk, a copy
// broken off): taking what arrived would lose fields, screen text or tables.
Reading CutShort() {
    return Refused(Reading::Refusal::NotADefinition);
}

// The beginning of one of the extension markers: the file ends inside it.
bool IsCutMarker(std::string_view bytes) {
    if (bytes.empty() || bytes.size() >= 8) return false;
    return std::string_view("ExtScr01").starts_with(bytes) ||
           std::string_view("ExtFld01").starts_with(bytes);
}

// Screen position p of a screen `width` columns wide, on the 80-column screen.
int32_t ConvertPosition(int32_t p, int32_t width) {
    return p + (80 - width) * ((p - 1) / width);
}

Reading InterpretOldFormat(Cursor& in) {
    std::string_view countBytes = in.Read(2);
    if (countBytes.size() < 2) return CutShort();
    const int n = Get16(countBytes, 0);
    if (n > MaxFields) return Refused(Reading::Refusal::TooManyFields);
    std::string_view records = in.Read(5u * n);
    if (records.size() < 5u * n) return CutShort();
    Reading r;
    r.layout.fill(EmptyCell);
    r.fields.assign(n + 1, FieldDef{});
    for (int i = 1; i <= n; ++i) {
        const std::size_t at = 5u * (i - 1);
        FieldDef& f = r.fields[i];
        f.RecordPos = f.ScreenPos = GetS16(records, at);
        f.Length = GetS16(records, at + 2);
        f.Type = static_cast<uint8_t>(records[at + 4]);
        f.RangeFrom = 1;
        f.RangeTo = 0;
    }
    r.count = n;
    return r;
}

// Moves the fields of a layout made for a screen `width` columns wide onto the
// 80-column screen. Positions are worked out in 32 bits: a hostile file must
// not wrap them round into the screen.
Reading::Refusal ConvertScreenPositions(Reading& r, int32_t width) {
    const int count = r.count;
    const auto& f = r.fields;
    std::vector<int32_t> screen(count + 1);
    for (int i = 1; i <= count; ++i) screen[i] = f[i].ScreenPos;
    const auto lastEnd = [&] { return screen[count] + f[count].Length - 1; };
    const auto toRecordPositions = [&] {
        for (int i = 1; i <= count; ++i) screen[i] = f[i].RecordPos;
    };
    if (width > 80) {
        screen[1] = ConvertPosition(screen[1], width);
        for (int i = 2; i <= count; ++i) {
            const int32_t converted = ConvertPosition(screen[i], width);
            const int32_t previousEnd = screen[i - 1] + f[i - 1].Length - 1;
            screen[i] = converted <= previousEnd ? previousEnd + 1 : converted;
        }
    }
    if (lastEnd() > MaxRecordLength) {
        toRecordPositions();
        if (lastEnd() > MaxRecordLength) return Reading::Refusal::RecordTooLong;
    }
    if (width < 80) {
        bool differs = false;
        for (int i = 1; i <= count; ++i) differs = differs || screen[i] != f[i].RecordPos;
        if (differs) {
            // A screen of no width has no place to convert from.
            if (width == 0) return Reading::Refusal::NotADefinition;
            for (int i = 1; i <= count; ++i) screen[i] = ConvertPosition(screen[i], width);
            if (lastEnd() > MaxRecordLength) toRecordPositions();
        }
    }
    for (int i = 1; i <= count; ++i) {
        if (screen[i] < 1 || screen[i] > MaxRecordLength) return Reading::Refusal::NotADefinition;
        r.fields[i].ScreenPos = static_cast<int16_t>(screen[i]);
    }
    return Reading::Refusal::None;
}

Reading Interpret(const std::string& bytes) {
    Cursor in(bytes);
    const std::string_view marker = in.Read(8);
    if (marker == "FeldDefs") return InterpretOldFormat(in);
    if (marker != "FeldDef2") return Refused(Reading::Refusal::NotADefinition);

    std::string_view countBytes = in.Read(2);
    if (countBytes.size() < 2) return CutShort();
    const int n = Get16(countBytes, 0);
    if (n > MaxFields) return Refused(Reading::Refusal::TooManyFields);
    std::string_view records = in.Read(15u * n);
    if (records.size() < 15u * n) return CutShort();
    Reading r;
    r.count = n;
    r.fields.assign(n + 1, FieldDef{});
    for (int i = 1; i <= n; ++i) {
        const std::size_t at = 15u * (i - 1);
        FieldDef& f = r.fields[i];
        f.RecordPos = GetS16(records, at);
        f.ScreenPos = GetS16(records, at + 2);
        f.Length = GetS16(records, at + 4);
        f.Type = static_cast<uint8_t>(records[at + 6]);
        f.RangeFrom = Get32(records, at + 7);
        f.RangeTo = Get32(records, at + 11);
    }
    std::string_view screen = in.Read(r.layout.size());
    if (screen.size() < r.layout.size()) return CutShort();
    std::memcpy(r.layout.data(), screen.data(), screen.size());

    // The blocks from here on may be missing as a whole: a file may end after
    // the screen text (no program keys), after the keys (no table entries) or
    // after the table entries (no extension block).
    std::string_view keyBlock = in.Read(kKeyBlock);
    if (keyBlock.empty()) return r;
    if (keyBlock.size() < kKeyBlock) return CutShort();
    std::array<std::string, kProgramKeys> keys;
    bool anyKey = false;
    for (int k = 0; k < kProgramKeys; ++k) {
        const std::size_t at = 256u * k;
        const std::size_t length = static_cast<uint8_t>(keyBlock[at]);
        keys[k].assign(keyBlock.substr(at + 1, length));
        if (length > 0) anyKey = true;
    }
    if (anyKey) r.keys = keys;

    std::string_view numberBytes = in.Read(2);
    if (numberBytes.empty()) return r;
    for (;;) {
        if (numberBytes.size() < 2) return CutShort();
        const int field = Get16(numberBytes, 0);
        if (field == 0) break;
        // A number outside 1..1840 is passed over without a name after it.
        if (field <= MaxFields) {
            std::string_view name = in.Read(9);
            if (name.size() < 9) return CutShort();
            const std::size_t length = static_cast<uint8_t>(name[0]);
            // A name that long never came from a layout.
            if (length > 8) return Refused(Reading::Refusal::NotADefinition);
            r.tables.emplace_back(field, std::string(name.substr(1, length)));
        }
        // The list ends with its 0: a file ending before it was cut.
        numberBytes = in.Read(2);
    }

    int32_t width = 80;
    std::string_view next = in.Read(8);
    if (next.empty()) return r;
    if (IsCutMarker(next)) return CutShort();
    if (next == "ExtScr01") {
        std::string_view size = in.Read(4);
        if (size.size() < 4) return CutShort();
        width = Get16(size, 0);
        const int32_t height = Get16(size, 2);
        // Wider than any screen a layout was made for: the lines cannot be read.
        if (width > 255) return Refused(Reading::Refusal::NotADefinition);
        if (n > 0) {
            std::size_t skip = 0;
            if (width > 80) skip += 25u * static_cast<std::size_t>(width - 80);
            if (height > 25)
                skip += static_cast<std::size_t>(height - 25) * static_cast<std::size_t>(width);
            if (in.Read(skip).size() < skip) return CutShort();
        }
        next = in.Read(8);
        if (IsCutMarker(next)) return CutShort();
    }
    if (next == "ExtFld01") {
        std::string_view all = in.Read(12u * n);
        if (all.size() < 12u * n) return CutShort();
        std::vector<FieldExtra> extras(n + 1);
        for (int i = 1; i <= n; ++i) {
            const std::size_t at = 12u * (i - 1);
            FieldExtra& e = extras[i];
            e.AddressColumn = GetS16(all, at);
            e.ConditionField = GetS16(all, at + 2);
            e.ConditionFrom = Get32(all, at + 4);
            e.ConditionTo = Get32(all, at + 8);
            // A condition names a field of this layout; any other number would
            // send the check to a field that is not there: no condition.
            if (e.ConditionField < 1 || e.ConditionField > n) {
                e.ConditionField = 0;
                e.ConditionFrom = 1;
                e.ConditionTo = 0;
            }
            if (e.AddressColumn != 0) r.loadAddressData = true;
        }
        r.extras = std::move(extras);
    }
    if (n > 0) r.refusal = ConvertScreenPositions(r, width);
    return r;
}

// Whether the layout a reading would leave can be used without ever indexing
// outside the record buffers or the screen.
bool IsSound(const Reading& r) {
    int expected = 1;
    int previousScreenEnd = 0;
    for (int i = 1; i <= r.count; ++i) {
        const FieldDef& f = r.fields[i];
        if (!IsTypeLetter(f.Type) || f.Length < 1 || f.RecordPos != expected) return false;
        expected += f.Length;
        if (expected - 1 > MaxRecordLength) return false;
        if (f.ScreenPos < 1 || f.ScreenPos <= previousScreenEnd) return false;
        previousScreenEnd = f.ScreenPos + f.Length - 1;
        if (previousScreenEnd > MaxRecordLength) return false;
    }
    if (r.extras) {
        for (std::size_t i = 1; i < r.extras->size(); ++i) {
            const int column = (*r.extras)[i].AddressColumn;
            if (column < 0 || column > kAddressColumns) return false;
        }
    }
    return true;
}

// Takes a sound reading into the session; `loadTable` loads each table named
// and, once, the address data.
void Apply(const Reading& r, const std::function<void(std::string_view, int)>& loadTable) {
    // Tables and address columns of the old layout go; the address data stays.
    ResetFieldTable();
    for (int i = 1; i <= r.count; ++i) FieldTable[i] = r.fields[i];
    FieldCount = static_cast<uint16_t>(r.count);
    ScreenLayout = r.layout;
    if (r.keys) {
        for (int k = 0; k < kProgramKeys; ++k) SetProgramKey(k, (*r.keys)[k]);
        CurrentProgramKey = 0;
    }
    for (const auto& [field, name] : r.tables) {
        TableAssignments[field].Name = name;
        loadTable(name, field);
    }
    if (r.extras) {
        for (std::size_t i = 1; i < r.extras->size(); ++i) FieldExtras[i] = (*r.extras)[i];
    }
    if (r.loadAddressData && TableAssignments[0].Table == nullptr) loadTable("adr", 0);
}

int ReadWholeFile(ByteFile& file, std::string& bytes) {
    bytes.clear();
    std::array<char, 65536> block{};
    for (;;) {
        std::size_t got = 0;
        const int error = file.Read(block.data(), block.size(), got);
        if (error != 0) return error;
        if (got == 0) return 0;
        bytes.append(block.data(), got);
        if (bytes.size() >= kMaxDefinitionFile) return 0;
    }
}

}  // namespace

std::string EncodeLayout(bool withKeys) {
    return EncodeDefinition(withKeys);
}

int ReadDefinitionBytes(std::string_view path, std::string& bytes) {
    bytes.clear();
    ByteFile file;
    int error = file.Open(path, ByteFile::Mode::Read);
    if (error == 0) error = ReadWholeFile(file, bytes);
    if (error != 0) bytes.clear();
    return error;
}

namespace {

// Bytes of a definition file worked out; nothing changes yet.
LayoutRead InterpretBytes(const std::string& bytes, Reading& reading) {
    reading = Interpret(bytes);
    switch (reading.refusal) {
        case Reading::Refusal::None:
            return IsSound(reading) ? LayoutRead::Taken : LayoutRead::NotADefinition;
        case Reading::Refusal::TooManyFields:
            return LayoutRead::TooManyFields;
        case Reading::Refusal::RecordTooLong:
            return LayoutRead::RecordTooLong;
        case Reading::Refusal::NotADefinition:
            break;
    }
    return LayoutRead::NotADefinition;
}

// The file at `path` read whole and worked out; nothing changes yet.
LayoutRead ReadAndInterpret(const std::string& path, Reading& reading) {
    std::string bytes;
    if (ReadDefinitionBytes(path, bytes) != 0 || bytes.empty()) return LayoutRead::CannotRead;
    return InterpretBytes(bytes, reading);
}

}  // namespace

LayoutRead PeekDefinitionFile(std::string_view path, std::string& bytes, int& recordLength) {
    recordLength = 0;
    if (ReadDefinitionBytes(path, bytes) != 0 || bytes.empty()) return LayoutRead::CannotRead;
    Reading reading;
    const LayoutRead result = InterpretBytes(bytes, reading);
    if (result == LayoutRead::Taken && reading.count > 0) {
        const FieldDef& last = reading.fields[static_cast<std::size_t>(reading.count)];
        recordLength = last.RecordPos + last.Length - 1;
    }
    return result;
}

LayoutRead TakeLayoutBytes(const std::string& bytes,
                           const std::function<void(std::string_view, int)>& loadTable) {
    Reading reading;
    const LayoutRead result = InterpretBytes(bytes, reading);
    if (result == LayoutRead::Taken) Apply(reading, loadTable);
    return result;
}

LayoutRead ReadLayoutQuietly(
    std::string_view path, bool withTables,
    const std::function<void(int, const std::string&, TableLoad)>& tableFailed) {
    Reading reading;
    const LayoutRead result = ReadAndInterpret(std::string(path), reading);
    if (result != LayoutRead::Taken) return result;
    Apply(reading, [&](std::string_view table, int slot) {
        if (!withTables) return;
        const TableLoad loaded = LoadTableQuietly(table, slot);
        if (loaded != TableLoad::Loaded) tableFailed(slot, std::string(table.substr(0, 8)), loaded);
    });
    return result;
}
