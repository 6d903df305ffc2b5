#include "files/DefinitionFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "console/ConsoleScreen.h"
#include "core/FieldModel.h"
#include "core/FieldTypes.h"
#include "core/ProgramKeys.h"
#include "core/Prompts.h"
#include "core/ScreenLayout.h"
#include "files/FileDialog.h"
#include "files/Journal.h"
#include "files/Tables.h"
#include "platform/ByteFile.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

bool SaveWithProgramKeys = false;
std::string DefinitionFileName;

void ResetDefinitionFiles() {
    SaveWithProgramKeys = false;
    DefinitionFileName.clear();
}

namespace {

constexpr std::size_t kKeyBlock = 12 * 256;
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

// The name and extension of a path, without its directory.
std::string FileNameOf(std::string_view path) {
    const std::size_t cut = NameStart(path);
    return std::string(path.substr(cut));
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
        if (!HasTable(n)) continue;
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
        lastCount_ = got;
        return part;
    }
    void Skip(std::size_t count) { Read(count); }
    std::size_t LastCount() const { return lastCount_; }

  private:
    const std::string& bytes_;
    std::size_t position_ = 0;
    std::size_t lastCount_ = 0;
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

void EncodeExtra(const FieldExtra& e, uint8_t* out) {
    std::string bytes;
    Put16(bytes, e.AddressColumn);
    Put16(bytes, e.ConditionField);
    Put32(bytes, e.ConditionFrom);
    Put32(bytes, e.ConditionTo);
    std::memcpy(out, bytes.data(), 12);
}

// What reading a file does to the session, worked out before anything changes.
struct Reading {
    enum class Message { None, TooManyFields, RecordTooLong, NotADefinition };
    Message message = Message::None;
    bool refuseUntouched = false;  // damaged: nothing at all changes
    bool releaseTables = false;
    bool journal = false;
    std::optional<int> count;      // the new field count; unset: unchanged
    std::vector<FieldDef> fields;  // fields 1..count (index 0 unused)
    std::optional<std::array<uint8_t, 2000>> layout;
    std::optional<std::array<std::string, kProgramKeys>> keys;
    std::vector<std::pair<int, std::string>> tables;  // field, name: loaded in this order
    std::optional<std::vector<FieldExtra>> extras;    // fields 1..N
    bool loadAddressData = false;
};

// Screen position p of a screen `width` columns wide, on the 80-column screen.
int32_t ConvertPosition(int32_t p, int32_t width) {
    return p + (80 - width) * ((p - 1) / width);
}

Reading Interpret(const std::string& bytes) {
    Reading r;
    Cursor in(bytes);
    r.releaseTables = true;
    std::string_view marker = in.Read(8);
    if (marker == "FeldDefs") {
        std::string_view countBytes = in.Read(2);
        int n = countBytes.size() == 2 ? Get16(countBytes, 0) : 0;
        if (n > MaxFields) {
            r.refuseUntouched = true;
            r.message = Reading::Message::TooManyFields;
            return r;
        }
        std::string_view records = in.Read(5u * n);
        if (records.size() < 5u * n) n = 0;
        r.layout.emplace();
        r.layout->fill(EmptyCell);
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
        r.journal = true;
        return r;
    }
    if (marker != "FeldDef2") {
        r.message = Reading::Message::NotADefinition;
        r.journal = true;
        return r;
    }
    std::string_view countBytes = in.Read(2);
    if (countBytes.size() < 2) {
        r.journal = true;
        return r;
    }
    const int n = Get16(countBytes, 0);
    if (n > MaxFields) {
        r.message = Reading::Message::TooManyFields;
        r.count = 0;
        return r;
    }
    std::string_view records = in.Read(15u * n);
    r.fields.assign(n + 1, FieldDef{});
    if (records.size() < 15u * n) {
        r.count = 0;
    } else {
        r.count = n;
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
    }

    r.layout.emplace();
    r.layout->fill(EmptyCell);
    for (int line = 0; line < 25; ++line) {
        std::string_view row = in.Read(80);
        if (row.size() < 80) {
            r.layout->fill(EmptyCell);
            break;
        }
        std::memcpy(r.layout->data() + line * 80, row.data(), 80);
    }

    std::string_view keyBlock = in.Read(kKeyBlock);
    if (!keyBlock.empty()) {
        std::array<std::string, kProgramKeys> keys;
        bool any = false;
        for (int k = 0; k < kProgramKeys; ++k) {
            const std::size_t at = 256u * k;
            if (at >= keyBlock.size()) break;
            const std::size_t length = static_cast<uint8_t>(keyBlock[at]);
            const std::size_t available = std::min(length, keyBlock.size() - at - 1);
            // A slot cut short by the end of the file keeps the bytes that arrived.
            keys[k].assign(keyBlock.substr(at + 1, available));
            keys[k].resize(length, '\0');
            if (length > 0) any = true;
        }
        if (any) r.keys = keys;
    }

    bool endedAtTerminator = false;
    for (;;) {
        std::string_view numberBytes = in.Read(2);
        if (numberBytes.empty()) break;
        if (numberBytes.size() < 2) continue;  // the next read finds the end
        const int field = Get16(numberBytes, 0);
        if (field == 0) {
            endedAtTerminator = true;
            break;
        }
        if (field < 1 || field > MaxFields) continue;
        std::string_view name = in.Read(9);
        if (name.size() == 9) {
            const std::size_t length = static_cast<uint8_t>(name[0]);
            if (length > 8) {
                r.refuseUntouched = true;  // a name that long never came from a layout
                r.message = Reading::Message::NotADefinition;
                return r;
            }
            r.tables.emplace_back(field, std::string(name.substr(1, length)));
        }
    }
    if (!endedAtTerminator) {
        r.journal = true;
        return r;
    }
    int32_t width = 80, height = 25;
    marker = in.Read(8);
    if (in.LastCount() == 0) {
        r.journal = true;
        return r;
    }
    if (marker == "ExtScr01") {
        std::string_view size = in.Read(4);
        width = size.size() >= 2 ? Get16(size, 0) : 0;
        height = size.size() == 4 ? Get16(size, 2) : 0;
        if (width > 255 || width < 1) {
            // Wider than any screen a layout was made for: the lines cannot be read.
            r.refuseUntouched = true;
            r.message = Reading::Message::NotADefinition;
            return r;
        }
        if (n > 0) {
            if (width > 80) in.Skip(25u * static_cast<std::size_t>(width - 80));
            if (height > 25)
                in.Skip(static_cast<std::size_t>(height - 25) * static_cast<std::size_t>(width));
        }
        marker = in.Read(8);
    }
    if (in.LastCount() > 0 && marker == "ExtFld01") {
        std::vector<uint8_t> raw(12u * n);
        for (int i = 0; i < n; ++i) EncodeExtra(FieldExtra{}, raw.data() + 12u * i);
        std::string_view arrived = in.Read(12u * n);
        std::memcpy(raw.data(), arrived.data(), arrived.size());
        std::vector<FieldExtra> extras(n + 1);
        const std::string_view all(reinterpret_cast<const char*>(raw.data()), raw.size());
        for (int i = 1; i <= n; ++i) {
            const std::size_t at = 12u * (i - 1);
            extras[i].AddressColumn = GetS16(all, at);
            extras[i].ConditionField = GetS16(all, at + 2);
            extras[i].ConditionFrom = Get32(all, at + 4);
            extras[i].ConditionTo = Get32(all, at + 8);
            if (extras[i].AddressColumn != 0) r.loadAddressData = true;
        }
        r.extras = std::move(extras);
    }
    const int count = r.count.value_or(0);
    if (count > 0) {
        auto& f = r.fields;
        if (width > 80) {
            f[1].ScreenPos = static_cast<int16_t>(ConvertPosition(f[1].ScreenPos, width));
            for (int i = 2; i <= count; ++i) {
                const int32_t converted = ConvertPosition(f[i].ScreenPos, width);
                const int32_t previousEnd = f[i - 1].ScreenPos + f[i - 1].Length - 1;
                f[i].ScreenPos =
                    static_cast<int16_t>(converted <= previousEnd ? previousEnd + 1 : converted);
            }
        }
        auto lastEnd = [&] { return f[count].ScreenPos + f[count].Length - 1; };
        if (lastEnd() > MaxRecordLength) {
            for (int i = 1; i <= count; ++i) f[i].ScreenPos = f[i].RecordPos;
            if (lastEnd() > MaxRecordLength) {
                r.message = Reading::Message::RecordTooLong;
                r.count = 0;
                return r;
            }
        }
        if (width < 80) {
            bool differs = false;
            for (int i = 1; i <= count; ++i) differs = differs || f[i].ScreenPos != f[i].RecordPos;
            if (differs) {
                for (int i = 1; i <= count; ++i) {
                    f[i].ScreenPos = static_cast<int16_t>(ConvertPosition(f[i].ScreenPos, width));
                }
                if (lastEnd() > MaxRecordLength) {
                    for (int i = 1; i <= count; ++i) f[i].ScreenPos = f[i].RecordPos;
                }
            }
        }
    }
    r.journal = true;
    return r;
}

// Whether the layout a reading would leave can be used without ever indexing
// outside the record buffers or the screen.
bool IsSound(const Reading& r) {
    if (!r.count) return true;
    const int count = *r.count;
    int expected = 1;
    int previousScreenEnd = 0;
    for (int i = 1; i <= count; ++i) {
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
            if (column < 0 || column > 4) return false;
        }
    }
    return true;
}

void Apply(const Reading& r) {
    if (r.releaseTables) ResetFieldTable();
    if (r.count) {
        const int count = *r.count;
        for (int i = 1; i <= count; ++i) FieldTable[i] = r.fields[i];
        FieldCount = static_cast<uint16_t>(count);
    }
    if (r.layout) ScreenLayout = *r.layout;
    if (r.keys) {
        for (int k = 0; k < kProgramKeys; ++k) SetProgramKey(k, (*r.keys)[k]);
        CurrentProgramKey = 0;
    }
    for (const auto& [field, name] : r.tables) {
        TableAssignments[field].Name = name;
        LoadTable(name, field);
    }
    if (r.extras) {
        for (std::size_t i = 1; i < r.extras->size(); ++i) FieldExtras[i] = (*r.extras)[i];
    }
    if (r.loadAddressData) LoadAddressData();
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

// Replaces `name` whole: a temporary file beside it, flushed, renamed over it,
// and the directory flushed, so that a power failure leaves the old or the new
// layout, never a part of one.
int ReplaceFileAtomically(const std::string& name, const std::string& bytes) {
    const std::string native = NativePath(name);
    const std::string temporary = native + ".neu";
    ByteFile file;
    int error = file.OpenNative(temporary, ByteFile::Mode::Create);
    if (error == 0) error = file.Write(bytes.data(), bytes.size());
    if (error == 0) error = file.Sync();
    const int closeError = file.Close();
    if (error == 0) error = closeError;
    if (error == 0 && ::rename(temporary.c_str(), native.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    const std::size_t slash = native.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : native.substr(0, slash + 1);
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return 0;
}

bool IsLayoutJournal(std::string_view name) {
    return name == kLayoutJournal;
}

}  // namespace

void WriteDefinitionFile(std::string_view name) {
    SaveWithProgramKeys = true;
    std::string path(name);
    if (path.empty()) {
        SaveWithProgramKeys = false;
        path = AskFileName("*.DEF", DefinitionFileName, true, true);
        if (path.empty()) return;
        DefinitionFileName = FileNameOf(path);
    }
    const std::string bytes = EncodeDefinition(SaveWithProgramKeys);
    if (IsLayoutJournal(path)) {
        CheckInOut(ReplaceFileAtomically(path, bytes));
        return;
    }
    ByteFile file;
    if (file.Open(path, ByteFile::Mode::Create) != 0) {
        ShowMessage("Kann Datei nicht schreiben !!!", true);
        return;
    }
    CheckInOut(file.Write(bytes.data(), bytes.size()));
    CheckInOut(file.Close());
}

void ReadDefinitionFile(std::string_view name) {
    std::string path(name);
    if (path.empty()) {
        path = AskFileName("*.DEF", DefinitionFileName, true, false);
        if (path.empty()) return;
        DefinitionFileName = FileNameOf(path);
    }
    ByteFile file;
    std::string bytes;
    if (file.Open(path, ByteFile::Mode::Read) != 0 || ReadWholeFile(file, bytes) != 0 ||
        bytes.empty()) {
        ShowMessage("Kann Datei nicht lesen !!!", true);
        return;
    }
    file.Close();

    const Reading reading = Interpret(bytes);
    if (reading.refuseUntouched || !IsSound(reading)) {
        ShowMessage(reading.message == Reading::Message::TooManyFields
                        ? "Zu viele Felder !!!"
                        : "Keine FeldDefinitions-Datei !!!",
                    true);
        return;
    }
    Apply(reading);
    switch (reading.message) {
        case Reading::Message::TooManyFields:
            ShowMessage("Zu viele Felder !!!", true);
            break;
        case Reading::Message::RecordTooLong:
            ShowMessage("Satz zu lang !!!", true);
            break;
        case Reading::Message::NotADefinition:
            ShowMessage("Keine FeldDefinitions-Datei !!!", true);
            break;
        case Reading::Message::None:
            break;
    }
    if (reading.journal) JournalDefinition();
}
