#include "files/DataFiles.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

#include "console/ConsoleKeyboard.h"
#include "core/EntryScreen.h"
#include "core/FieldEngine.h"
#include "core/FieldModel.h"
#include "core/FieldTypes.h"
#include "core/InOutFailure.h"
#include "core/Prompts.h"
#include "core/RecordActions.h"
#include "core/TextUtils.h"
#include "files/FileDialog.h"
#include "files/Journal.h"
#include "files/SignOverpunch.h"
#include "files/Statistics.h"
#include "platform/ByteFile.h"
#include "platform/CodePage.h"
#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"
#include "support/myread3.h"

int ConversionMode = ConversionEbcdicDin;
std::string DataFileName;
std::string DataDirectory = "./";

void ResetDataFiles() {
    ConversionMode = ConversionEbcdicDin;
    DataFileName.clear();
    DataDirectory = "./";
}

namespace {

using CodeTable = std::array<uint8_t, 256>;

// A tab-separated line longer than this is cut: only its first kLineUsed
// characters count.
constexpr int32_t kLineRoom = 3682;
constexpr std::size_t kLineUsed = 3681;
// Records read and written in one go, and how often a long transfer lets
// window events through (so that Stop and closing the window still work).
constexpr std::size_t kBlockRecords = 512;
constexpr std::size_t kRecordsBetweenEvents = 1024;

constexpr uint8_t kBlank = 0x20;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kTab = 0x09;

void MapRange(CodeTable& table, int fileFirst, int fileLast, int charFirst) {
    for (int b = fileFirst; b <= fileLast; ++b)
        table[static_cast<std::size_t>(b)] = static_cast<uint8_t>(charFirst + (b - fileFirst));
}

// File byte -> character (code page 850) of the two EBCDIC variants; bytes
// without a character read as 0.
CodeTable BuildLoadTable(bool din) {
    CodeTable t{};
    MapRange(t, 0x00, 0x03, 0x00);
    t[0x05] = 0x09;
    t[0x07] = 0x7F;
    MapRange(t, 0x0B, 0x13, 0x0B);
    t[0x16] = 0x08;
    MapRange(t, 0x18, 0x19, 0x18);
    MapRange(t, 0x1C, 0x1F, 0x1C);
    t[0x25] = 0x0A;
    t[0x26] = 0x17;
    t[0x27] = 0x1B;
    MapRange(t, 0x2D, 0x2F, 0x05);
    t[0x32] = 0x16;
    t[0x37] = 0x04;
    MapRange(t, 0x3C, 0x3D, 0x14);
    t[0x3F] = 0x1A;
    t[0x40] = 0x20;
    t[0x4B] = 0x2E;
    t[0x4C] = 0x3C;
    t[0x4D] = 0x28;
    t[0x4E] = 0x2B;
    t[0x4F] = 0x7C;
    t[0x50] = 0x26;
    t[0x5D] = 0x29;
    t[0x5E] = 0x3B;
    t[0x60] = 0x2D;
    t[0x61] = 0x2F;
    t[0x6B] = 0x2C;
    t[0x6C] = 0x25;
    t[0x6D] = 0x5F;
    MapRange(t, 0x6E, 0x6F, 0x3E);
    t[0x7A] = 0x3A;
    t[0x7D] = 0x27;
    t[0x7E] = 0x3D;
    t[0x7F] = 0x22;
    MapRange(t, 0x81, 0x89, 0x61);
    MapRange(t, 0x91, 0x99, 0x6A);
    MapRange(t, 0xA2, 0xA9, 0x73);
    MapRange(t, 0xBB, 0xBD, 0x5B);
    MapRange(t, 0xC1, 0xC9, 0x41);
    MapRange(t, 0xD1, 0xD9, 0x4A);
    MapRange(t, 0xE2, 0xE9, 0x53);
    MapRange(t, 0xF0, 0xF9, 0x30);
    t[0xFB] = 0x7B;
    t[0xFD] = 0x7D;
    t[0xFF] = 0x7E;
    // The national positions: the #@$* variant puts the German letters where
    // the DIN variant keeps # @ $ *.
    t[0x4A] = din ? 0x8E : 0x60;  // Ä / `
    t[0x5A] = din ? 0x9A : 0x21;  // Ü / !
    t[0x5B] = din ? 0x24 : 0x9A;  // $ / Ü
    t[0x5C] = din ? 0x2A : 0xE1;  // * / ß
    t[0x6A] = din ? 0x94 : 0x5E;  // ö / ^
    t[0x7B] = din ? 0x23 : 0x8E;  // # / Ä
    t[0x7C] = din ? 0x40 : 0x99;  // @ / Ö
    t[0xA1] = din ? 0xE1 : 0x00;  // ß
    t[0xC0] = din ? 0x84 : 0x00;  // ä
    t[0xD0] = din ? 0x81 : 0xF8;  // ü / °
    t[0xE0] = din ? 0x99 : 0xE0;  // Ö
    return t;
}

// Character -> file byte: the inverse of the load table, 0 where a character
// has no code.
CodeTable BuildSaveTable(const CodeTable& load, bool din) {
    CodeTable t{};
    for (int b = 255; b >= 0; --b) {
        const uint8_t c = load[static_cast<std::size_t>(b)];
        if (c != 0) t[c] = static_cast<uint8_t>(b);
    }
    if (din) {
        t[0xF8] = t[0x81];  // ° as ü: the overpunched 0 of the other variant
    } else {
        // Seven-bit national use: lower-case umlauts are written as upper case,
        // and # @ $ * share the codes of Ä Ö Ü ß.
        t[0x84] = t[0x23] = t[0x8E];  // ä, # as Ä
        t[0x94] = t[0x40] = t[0x99];  // ö, @ as Ö
        t[0x81] = t[0x24] = t[0x9A];  // ü, $ as Ü
        t[0x2A] = t[0xE1];            // * as ß
    }
    return t;
}

struct CodeTables {
    CodeTable load[2];
    CodeTable save[2];
    CodeTables() {
        load[0] = BuildLoadTable(false);
        load[1] = BuildLoadTable(true);
        save[0] = BuildSaveTable(load[0], false);
        save[1] = BuildSaveTable(load[1], true);
    }
};

const CodeTables& Tables() {
    static const CodeTables tables;
    return tables;
}

// The tables of an EBCDIC mode: index 0 for #@$*, 1 for DIN.
std::size_t Variant(int mode) {
    return mode == ConversionEbcdicHash ? 0 : 1;
}

void Translate(uint8_t* bytes, std::size_t count, const CodeTable& table) {
    for (std::size_t i = 0; i < count; ++i) bytes[i] = table[bytes[i]];
}

// Collects output into large writes: one write per record would make a
// transfer of many short records a matter of system calls.
class BlockWriter {
  public:
    explicit BlockWriter(FileReplacement& out) : out_(out) { block_.reserve(kBlockSize); }
    int Put(const uint8_t* data, std::size_t count) {
        block_.insert(block_.end(), data, data + count);
        return block_.size() >= kBlockSize ? Flush() : error_;
    }
    int Flush() {
        if (error_ == 0 && !block_.empty()) error_ = out_.Write(block_.data(), block_.size());
        block_.clear();
        return error_;
    }

  private:
    static constexpr std::size_t kBlockSize = 1 << 16;
    FileReplacement& out_;
    std::vector<uint8_t> block_;
    int error_ = 0;
};

void Remember(const std::string& path) {
    const std::size_t cut = NameStart(path);
    DataDirectory = path.substr(0, cut);
    DataFileName = path.substr(cut);
}

// What an export needs to know of the layout, worked out once: looking at
// every field's type for every record cost more than the copying.
struct ExportPlan {
    std::vector<const FieldDef*> numbers;     // numeric fields, for their signs
    std::vector<const FieldDef*> endMarkers;  // fields that end a fixed record
    struct Column {
        const FieldDef* field;
        bool tabAfter;  // a TAB follows unless the next field is an end mark or none
    };
    std::vector<Column> columns;  // what a tab-separated line holds
    std::vector<uint8_t> line;    // one tab-separated line
    ExportPlan() {
        for (int n = 1; n <= FieldCount; ++n) {
            const FieldDef& field = FieldTable[n];
            if (IsNumericType(field.Type)) numbers.push_back(&field);
            if (HasFlag(field.Type, EndMarker)) {
                endMarkers.push_back(&field);
            } else {
                columns.push_back(
                    {&field, n < FieldCount && !HasFlag(FieldTable[n + 1].Type, EndMarker)});
            }
        }
    }
};

// One tab-separated line: every field but the end marks, trailing blanks
// dropped, fields apart by TAB, the line ended by CR LF.
int WriteLine(RecordBuffer& record, ExportPlan& plan, BlockWriter& out) {
    for (const FieldDef* field : plan.numbers)
        if (NormaliseSign(*field, record)) PlaceMinus(*field, record);
    std::vector<uint8_t>& line = plan.line;
    line.clear();
    for (const ExportPlan::Column& column : plan.columns) {
        const std::span<uint8_t> bytes = FieldBytes(*column.field, record);
        auto end = bytes.end();
        while (end != bytes.begin() && *(end - 1) == kBlank) --end;
        line.insert(line.end(), bytes.begin(), end);
        if (column.tabAfter) line.push_back(kTab);
    }
    line.push_back(kCr);
    line.push_back(kLf);
    return out.Put(line.data(), line.size());
}

// One fixed-length record of `count` bytes (fewer than the record length only
// at a cut-off tail of the record file).
int WriteFixed(RecordBuffer& record, std::size_t count, int mode, const ExportPlan& plan,
               BlockWriter& out) {
    for (const FieldDef* field : plan.endMarkers) {
        const std::span<uint8_t> bytes = FieldBytes(*field, record);
        if (bytes.size() >= 2) {
            bytes[bytes.size() - 2] = kCr;
            bytes[bytes.size() - 1] = kLf;
        } else if (bytes.size() == 1) {
            bytes[0] = kLf;
        }
    }
    for (const FieldDef* field : plan.numbers) {
        if (!NormaliseSign(*field, record)) continue;
        if (mode == ConversionAscii) {
            PlaceMinus(*field, record);
        } else if (mode == ConversionEbcdicHash) {
            Overpunch(*field, record, SignVariant::HashAtDollarStar);
        } else {
            Overpunch(*field, record, SignVariant::Din);  // as the record file held it
        }
    }
    // Every byte once, also those between fields: translated per field, an
    // overlap would be translated twice and a gap would stay in the wrong code.
    if (mode != ConversionAscii) Translate(record.data(), count, Tables().save[Variant(mode)]);
    return out.Put(record.data(), count);
}

int ExportRecord(RecordBuffer& record, std::size_t count, int mode, ExportPlan& plan,
                 BlockWriter& out) {
    if (IsEmptyBytes(record.data(), count)) return 0;
    BlanksForZeros(record.data(), static_cast<std::size_t>(RecordLength()));
    if (mode == ConversionAsciiTab) return WriteLine(record, plan, out);
    return WriteFixed(record, count, mode, plan, out);
}

}  // namespace

int ExportRecordFile(ByteFile& records, FileReplacement& out, int mode, bool letEventsThrough) {
    const auto length = static_cast<std::size_t>(RecordLength());
    if (length == 0) return 0;
    int64_t size = 0;
    CheckInOut(records.Size(size));
    // Whole records only: an incomplete one at the end (a write cut off) was
    // never stored, and is not read as a record.
    size = size / static_cast<int64_t>(length) * static_cast<int64_t>(length);
    BlockWriter writer(out);
    std::vector<uint8_t> block(length * kBlockRecords);
    std::size_t done = 0;
    // One buffer for all records: clearing 1840 bytes for each record of 80
    // cost more than the rest of the export.
    RecordBuffer record{};
    ExportPlan plan;
    for (int64_t at = 0; at < size;) {
        std::size_t got = 0;
        const auto want = static_cast<std::size_t>(
            std::min<int64_t>(static_cast<int64_t>(block.size()), size - at));
        CheckInOut(records.Seek(at));
        CheckInOut(records.Read(block.data(), want, got));
        if (got == 0) break;
        for (std::size_t from = 0; from < got; from += length) {
            const std::size_t count = std::min(length, got - from);
            std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(from), count, record.begin());
            std::fill(record.begin() + static_cast<std::ptrdiff_t>(count),
                      record.begin() + static_cast<std::ptrdiff_t>(length), uint8_t{0});
            const int error = ExportRecord(record, count, mode, plan, writer);
            if (error != 0) return error;
            if (++done % kRecordsBetweenEvents == 0 && letEventsThrough) PollKey();
        }
        at += static_cast<int64_t>(got);
    }
    return writer.Flush();
}

namespace {

enum class LoadFailure { None, CannotRead, NothingInIt, CannotStore };

struct LoadOutcome {
    LoadFailure failure = LoadFailure::None;
    int error = 0;
};

// Puts the outcome of a record-file replacement that `fill` ran: an error of
// the input (flagged by `inputFailed`) or of the new record file.
LoadOutcome Replace(const std::function<int(FileReplacement&)>& fill, const bool& inputFailed) {
    const int error = ReplaceRecordFile(fill);
    if (error == 0) return {};
    if (inputFailed) return {LoadFailure::CannotRead, error};
    return {LoadFailure::CannotStore, error};
}

// One tab-separated line into a record: values in field order, each cut to
// its field, further values ignored, missing fields left 0.
void LineToRecord(const std::string& line, RecordBuffer& record) {
    std::fill_n(record.begin(), RecordLength(), uint8_t{0});
    const std::size_t end = std::min(line.size(), kLineUsed);
    std::size_t i = 0;
    for (int n = 1; n <= FieldCount && i < end;) {
        if (static_cast<uint8_t>(line[i]) == kTab) {
            ++n;
            ++i;
            continue;
        }
        const std::span<uint8_t> bytes = FieldBytes(FieldTable[n], record);
        std::size_t k = 0;
        for (; i < end && static_cast<uint8_t>(line[i]) != kTab && k < bytes.size(); ++i, ++k)
            bytes[k] = static_cast<uint8_t>(line[i]);
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(k), bytes.end(), uint8_t{0});
        while (i < end && static_cast<uint8_t>(line[i]) != kTab) ++i;
    }
}

LoadOutcome LoadLines(const std::string& path) {
    struct Reader {
        ~Reader() { CloseLines(); }
    };
    if (OpenLines(path) != 0) return {LoadFailure::CannotRead, 0};
    const Reader reader;
    std::string line;
    bool more = ReadLine(line, kLineRoom);
    if (LastReadError() != 0) return {LoadFailure::CannotRead, LastReadError()};
    if (!more && line.empty()) return {LoadFailure::NothingInIt, 0};

    bool inputFailed = false;
    const auto length = static_cast<std::size_t>(RecordLength());
    return Replace(
        [&](FileReplacement& out) {
            BlockWriter writer(out);
            RecordBuffer record{};
            for (std::size_t records = 1;; ++records) {
                LineToRecord(line, record);
                if (const int error = writer.Put(record.data(), length)) return error;
                if (records % kRecordsBetweenEvents == 0) PollKey();
                if (!more) break;
                more = ReadLine(line, kLineRoom);
                if (LastReadError() != 0) {
                    inputFailed = true;
                    return LastReadError();
                }
                if (!more && line.empty()) break;
            }
            return writer.Flush();
        },
        inputFailed);
}

LoadOutcome LoadFixed(const std::string& path, int mode) {
    ByteFile input;
    uint8_t probe = 0;
    std::size_t got = 0;
    if (input.Open(path, ByteFile::Mode::Read) != 0 || input.Read(&probe, 1, got) != 0 ||
        got != 1 || input.Seek(0) != 0)
        return {LoadFailure::CannotRead, 0};

    bool inputFailed = false;
    const auto length = static_cast<std::size_t>(RecordLength());
    return Replace(
        [&](FileReplacement& out) {
            BlockWriter writer(out);
            std::vector<uint8_t> block(length * kBlockRecords);
            for (;;) {
                std::size_t count = 0;
                if (const int error = input.Read(block.data(), block.size(), count)) {
                    inputFailed = true;
                    return error;
                }
                if (count == 0) break;
                if (mode != ConversionAscii)
                    Translate(block.data(), count, Tables().load[Variant(mode)]);
                // A cut-off last record is kept whole, filled up with 0:
                // dropped or left short, it could not be seen or reached.
                const std::size_t whole = (count + length - 1) / length * length;
                std::fill(block.begin() + static_cast<std::ptrdiff_t>(count),
                          block.begin() + static_cast<std::ptrdiff_t>(whole), uint8_t{0});
                if (const int error = writer.Put(block.data(), whole)) return error;
                PollKey();
            }
            return writer.Flush();
        },
        inputFailed);
}

}  // namespace

void SaveData() {
    if (RecordLength() <= 0) return;
    const std::string path = AskFileName(DataDirectory, DataFileName, false, true);
    if (path.empty()) return;
    SaveDataTo(path);
}

void SaveDataTo(const std::string& path) {
    if (RecordLength() <= 0) return;
    Remember(path);
    VerifyRecord.fill(0);
    // The station's own files are never saved over: a data file in place of
    // KELBRIN4.CR2 would leave the station writing its records to a file that
    // is gone, and one in place of KELBRIN4.CR1 would lose the layout.
    const std::string native = NativePath(path);
    if (LeadsToStationFile(native)) {
        ShowMessage("Kann Datei nicht schreiben !!!", true);
        return;
    }

    // The file is replaced whole: a failure part way leaves the old file as it
    // was, and never a part of the records under the chosen name.
    FileReplacement out;
    int error = out.Begin(path);
    if (error == 0) {
        // The walk moves the record file's position; Stop meanwhile stores the
        // operator's record at its own place.
        const OperatorRecordGuard guard;
        try {
            error = ExportRecordFile(RecordFile, out, ConversionMode, true);
        } catch (...) {
            try {
                guard.Restore();
            } catch (...) {
                // The failure being handled is the one to report.
            }
            throw;
        }
        guard.Restore();
    }
    bool replaced = false;
    if (error == 0) error = out.Commit(replaced);
    if (error != 0) ShowMessage("Kann Datei nicht schreiben !!!", true);
}

void LoadData() {
    if (RecordLength() <= 0) return;
    const std::string path = AskFileName(DataDirectory, DataFileName, false, false);
    if (path.empty()) return;
    LoadDataFrom(path);
}

void LoadDataFrom(const std::string& path) {
    if (RecordLength() <= 0) return;
    Remember(path);
    VerifyRecord.fill(0);

    const LoadOutcome outcome =
        ConversionMode == ConversionAsciiTab ? LoadLines(path) : LoadFixed(path, ConversionMode);
    switch (outcome.failure) {
        case LoadFailure::None:
            break;
        case LoadFailure::CannotRead:
            ShowMessage("Kann Datei nicht lesen !!!", true);
            return;
        case LoadFailure::NothingInIt:
            ShowMessage("Kann Datei nicht lesen (Len=0) !!!", true);
            return;
        case LoadFailure::CannotStore:
            // Before the rename the records are as they were; a failure after
            // it (flushing the directory) leaves the new ones, not known to be
            // safe on the disk. Either way the operator comes back where he was.
            ReportInOutError(outcome.error);
            return;
    }
    ResumeOffset = 0;
    CheckInOut(RecordFile.Seek(0));
}
