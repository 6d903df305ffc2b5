#include "files/DataFiles.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/RecordStore.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/SignOverpunch.h"
#include "platform/ByteFile.h"
#include "platform/CodePage.h"
#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"
#include "files/myread3.h"

namespace {

using CodeTable = std::array<uint8_t, 256>;

// A tab-separated line longer than this is cut: only its first kLineUsed
// characters count (room for 1840 fields of one character and their TABs).
constexpr int32_t kLineUsed = 3681;
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

// Whether any of the eight bytes of `word` is below `limit` (at most 128).
constexpr bool HasByteBelow(uint64_t word, uint8_t limit) {
    return ((word - 0x0101010101010101ULL * limit) & ~word & 0x8080808080808080ULL) != 0;
}

// Whether any of `bytes` is below `limit` (at most 128), eight at a time.
bool HasByteBelow(std::span<const uint8_t> bytes, uint8_t limit) {
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, sizeof word);
        if (HasByteBelow(word, limit)) return true;
    }
    return std::any_of(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end(),
                       [limit](uint8_t b) { return b < limit; });
}

// Translates `count` bytes in place; the result is how many of them the table
// has no counterpart for (a byte other than 0 that becomes 0). Eight bytes at
// a time, looked at one by one only when one of them became 0: a test of
// every byte made the translation three times as slow.
std::size_t Translate(uint8_t* bytes, std::size_t count, const CodeTable& table) {
    std::size_t missing = 0;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::array<uint8_t, 8> out{};
        for (std::size_t k = 0; k < 8; ++k) out[k] = table[bytes[i + k]];
        uint64_t word = 0;
        std::memcpy(&word, out.data(), sizeof word);
        if (HasByteBelow(word, 1)) {
            for (std::size_t k = 0; k < 8; ++k)
                missing += static_cast<std::size_t>(out[k] == 0 && bytes[i + k] != 0);
        }
        std::memcpy(bytes + i, out.data(), out.size());
    }
    for (; i < count; ++i) {
        const uint8_t from = bytes[i];
        bytes[i] = table[from];
        missing += static_cast<std::size_t>(bytes[i] == 0 && from != 0);
    }
    return missing;
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

// The fields a tab-separated line holds, in order: all but the end marks,
// which only a fixed-length record carries.
std::vector<const FieldDef*> LineColumns() {
    std::vector<const FieldDef*> columns;
    for (int n = 1; n <= FieldCount; ++n)
        if (!HasFlag(FieldTable[n].Type, EndMarker)) columns.push_back(&FieldTable[n]);
    return columns;
}

// What an export needs to know of the layout, worked out once: looking at
// every field's type for every record cost more than the copying.
struct ExportPlan {
    std::vector<const FieldDef*> numbers;     // numeric fields, for their signs
    std::vector<const FieldDef*> endMarkers;  // fields that end a fixed record
    std::vector<const FieldDef*> columns;     // what a tab-separated line holds
    std::vector<uint8_t> line;                // one tab-separated line
    ExportPlan() : columns(LineColumns()) {
        for (int n = 1; n <= FieldCount; ++n) {
            const FieldDef& field = FieldTable[n];
            if (IsNumericType(field.Type)) numbers.push_back(&field);
            if (HasFlag(field.Type, EndMarker)) endMarkers.push_back(&field);
        }
    }
};

// One tab-separated line: every field but the end marks, trailing blanks
// dropped, a TAB between every two fields (also where an end mark stood
// between them), the line ended by CR LF. A TAB, CR or LF inside a field
// would split the value or the line when the file is read: it is written as a
// blank and counted. The result is 0 or the error number of the write.
int WriteLine(RecordBuffer& record, ExportPlan& plan, BlockWriter& out, std::size_t& replaced) {
    for (const FieldDef* field : plan.numbers)
        if (NormaliseSign(*field, record)) PlaceMinus(*field, record, 0);
    std::vector<uint8_t>& line = plan.line;
    line.clear();
    for (std::size_t c = 0; c < plan.columns.size(); ++c) {
        if (c > 0) line.push_back(kTab);
        const std::span<uint8_t> bytes = FieldBytes(*plan.columns[c], record);
        // Fields seldom hold a control character: only then byte by byte.
        if (HasByteBelow(bytes, kCr + 1)) {
            for (uint8_t& byte : bytes) {
                if (byte == kTab || byte == kCr || byte == kLf) {
                    byte = kBlank;
                    ++replaced;
                }
            }
        }
        auto end = bytes.end();
        while (end != bytes.begin() && *(end - 1) == kBlank) --end;
        line.insert(line.end(), bytes.begin(), end);
    }
    line.push_back(kCr);
    line.push_back(kLf);
    return out.Put(line.data(), line.size());
}

// One fixed-length record of `count` bytes (fewer than the record length only
// at a cut-off tail of the record file). `missing` counts the characters the
// EBCDIC form has no code for (written as 0x00).
int WriteFixed(RecordBuffer& record, std::size_t count, int mode, const ExportPlan& plan,
               BlockWriter& out, std::size_t& missing) {
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
            PlaceMinus(*field, record, 0);
        } else if (mode == ConversionEbcdicHash) {
            Overpunch(*field, record, SignVariant::HashAtDollarStar);
        } else {
            Overpunch(*field, record, SignVariant::Din);  // as the record file held it
        }
    }
    // Every byte once, also those between fields: translated per field, an
    // overlap would be translated twice and a gap would stay in the wrong code.
    if (mode != ConversionAscii)
        missing += Translate(record.data(), count, Tables().save[Variant(mode)]);
    return out.Put(record.data(), count);
}

// Exports record number `number`; what it could not write faithfully goes
// into `losses`.
int ExportRecord(RecordBuffer& record, std::size_t count, int mode, ExportPlan& plan,
                 BlockWriter& out, int64_t number, ExportLosses& losses) {
    if (IsEmptyBytes(record.data(), count)) return 0;
    BlanksForZeros(record.data(), static_cast<std::size_t>(RecordLength()));
    std::size_t lost = 0;
    const int error = mode == ConversionAsciiTab ? WriteLine(record, plan, out, lost)
                                                 : WriteFixed(record, count, mode, plan, out, lost);
    if (lost > 0) {
        losses.characters += static_cast<int64_t>(lost);
        losses.records.Add(number);
    }
    return error;
}

}  // namespace

void RecordNumbers::Add(int64_t number) {
    if (count > 0 && last == number) return;
    last = number;
    ++count;
    if (first.size() < kNamed) first.push_back(number);
}

int ExportRecordFile(ByteFile& records, FileReplacement& out, int mode,
                     const std::function<void()>& betweenBlocks, ExportLosses* losses) {
    ExportLosses counted;
    counted.mode = mode;
    ExportLosses& tally = losses != nullptr ? *losses : counted;
    tally = counted;
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
    int64_t number = 0;  // of the record in the record file
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
            const int error = ExportRecord(record, count, mode, plan, writer, ++number, tally);
            if (error != 0) return error;
            if (++done % kRecordsBetweenEvents == 0 && betweenBlocks) betweenBlocks();
        }
        at += static_cast<int64_t>(got);
    }
    return writer.Flush();
}

namespace {

using LoadOutcome = ImportOutcome;
using LoadFailure = ImportFailure;

// How an import replaces the record file, and what it does between blocks.
struct ImportWay {
    const ReplaceRecords& replace;
    const std::function<void()>& betweenBlocks;
    void Between() const {
        if (betweenBlocks) betweenBlocks();
    }
};

// Puts the outcome of a record-file replacement that `fill` ran: an error of
// the input (flagged by `inputFailed`) or of the new record file.
LoadOutcome Replace(const ImportWay& way, const std::function<int(FileReplacement&)>& fill,
                    const bool& inputFailed) {
    const int error = way.replace(fill);
    if (error == 0) return {};
    if (inputFailed) return {LoadFailure::CannotRead, error};
    return {LoadFailure::CannotStore, error};
}

// Whether `bytes` hold anything but blanks and places never keyed: only such
// bytes are lost when a value is cut or left out.
bool HoldsText(std::string_view bytes) {
    return bytes.find_first_not_of(std::string_view(" \0", 2)) != std::string_view::npos;
}

// One tab-separated line (its first bytes, of `length` in all) into a
// record: the values in the order of the fields, end marks passed over as the
// export leaves them out; each value cut to its field, further values left
// out, missing fields left 0, a 0 byte taken as a place never keyed. What was
// not taken is counted into `losses`; true when there was any.
bool LineToRecord(std::string_view line, std::size_t length,
                  const std::vector<const FieldDef*>& columns, RecordBuffer& record,
                  ImportLosses& losses) {
    std::fill_n(record.begin(), RecordLength(), uint8_t{0});
    bool lost = false;
    if (length > line.size()) {
        ++losses.longLines;
        lost = true;
    }
    if (line.find('\0') != std::string_view::npos) {
        losses.zeroBytes += std::count(line.begin(), line.end(), '\0');
        lost = true;
    }
    for (std::size_t column = 0, i = 0;; ++column) {
        const std::size_t end = std::min(line.find('\t', i), line.size());
        const std::string_view value = line.substr(i, end - i);
        if (column < columns.size()) {
            const std::span<uint8_t> bytes = FieldBytes(*columns[column], record);
            const std::size_t taken = std::min(value.size(), bytes.size());
            std::copy_n(value.begin(), taken, bytes.begin());
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(taken), bytes.end(), uint8_t{0});
            if (HoldsText(value.substr(taken))) {
                ++losses.cutValues;
                lost = true;
            }
        } else if (HoldsText(value)) {
            ++losses.extraValues;
            lost = true;
        }
        if (end == line.size()) break;
        i = end + 1;
    }
    return lost;
}

// Any line end counts, CR alone too (a file from an old Macintosh or a
// converter): taken for no line end, it would make the whole file one record.
LoadOutcome LoadLines(const std::string& path, ImportLosses& losses, const ImportWay& way) {
    struct Reader {
        ~Reader() { CloseLines(); }
    };
    if (OpenLines(path) != 0) return {LoadFailure::CannotRead, 0};
    const Reader reader;
    std::string line;
    std::size_t length = 0;
    bool more = ReadTextLine(line, kLineUsed, length);
    if (LastReadError() != 0) return {LoadFailure::CannotRead, LastReadError()};
    if (!more && length == 0) return {LoadFailure::NothingInIt, 0};

    bool inputFailed = false;
    const auto recordLength = static_cast<std::size_t>(RecordLength());
    const std::vector<const FieldDef*> columns = LineColumns();
    return Replace(
        way,
        [&](FileReplacement& out) {
            BlockWriter writer(out);
            RecordBuffer record{};
            for (int64_t records = 1;; ++records) {
                if (LineToRecord(line, length, columns, record, losses))
                    losses.records.Add(records);
                if (const int error = writer.Put(record.data(), recordLength)) return error;
                if (records % kRecordsBetweenEvents == 0) way.Between();
                if (!more) break;
                more = ReadTextLine(line, kLineUsed, length);
                if (LastReadError() != 0) {
                    inputFailed = true;
                    return LastReadError();
                }
                if (!more && length == 0) break;
            }
            return writer.Flush();
        },
        inputFailed);
}

LoadOutcome LoadFixed(const std::string& path, int mode, ImportLosses& losses,
                      const ImportWay& way) {
    ByteFile input;
    uint8_t probe = 0;
    std::size_t got = 0;
    if (input.Open(path, ByteFile::Mode::Read) != 0 || input.Read(&probe, 1, got) != 0 ||
        got != 1 || input.Seek(0) != 0)
        return {LoadFailure::CannotRead, 0};

    bool inputFailed = false;
    const auto length = static_cast<std::size_t>(RecordLength());
    return Replace(
        way,
        [&](FileReplacement& out) {
            BlockWriter writer(out);
            std::vector<uint8_t> block(length * kBlockRecords);
            int64_t records = 0;  // before this block
            for (;;) {
                std::size_t count = 0;
                if (const int error = input.Read(block.data(), block.size(), count)) {
                    inputFailed = true;
                    return error;
                }
                if (count == 0) break;
                if (mode != ConversionAscii) {
                    for (std::size_t from = 0; from < count; from += length) {
                        const std::size_t missing =
                            Translate(block.data() + from, std::min(length, count - from),
                                      Tables().load[Variant(mode)]);
                        if (missing == 0) continue;
                        losses.uncodedBytes += static_cast<int64_t>(missing);
                        losses.records.Add(records + static_cast<int64_t>(from / length) + 1);
                    }
                }
                // A cut-off last record is kept whole, filled up with 0:
                // dropped or left short, it could not be seen or reached.
                const std::size_t whole = (count + length - 1) / length * length;
                std::fill(block.begin() + static_cast<std::ptrdiff_t>(count),
                          block.begin() + static_cast<std::ptrdiff_t>(whole), uint8_t{0});
                records += static_cast<int64_t>(whole / length);
                if (whole > count) {
                    losses.missingBytes += static_cast<int64_t>(whole - count);
                    losses.records.Add(records);
                }
                if (const int error = writer.Put(block.data(), whole)) return error;
                way.Between();
            }
            return writer.Flush();
        },
        inputFailed);
}

// "1 Wert" or "3 Werte".
std::string Counted(int64_t count, std::string_view one, std::string_view more) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : more);
}

// "Satz 4" or "Sätze 4, 17, 20, 31, 58 und 3 weitere".
std::string RecordsNamed(const RecordNumbers& records) {
    std::string text = records.count == 1 ? "Satz " : "Sätze "_oem;
    for (std::size_t i = 0; i < records.first.size(); ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(records.first[i]);
    const int64_t more = records.count - static_cast<int64_t>(records.first.size());
    if (more > 0) text += " und " + std::to_string(more) + " weitere";
    return text;
}

}  // namespace

std::string DescribeExportLosses(const ExportLosses& losses) {
    if (losses.characters == 0) return {};
    std::string what;
    if (losses.mode == ConversionAsciiTab) {
        what = " Tabulator- oder Zeilenende-Zeichen in Feldern, als Leerzeichen geschrieben";
    } else {
        what = " Zeichen ohne Entsprechung in " +
               (losses.mode == ConversionEbcdicHash ? "EBCDIC (ÄÖÜß=#@$*)"_oem
                                                    : "EBCDIC (ÄÖÜäöüß=DIN)"_oem) +
               ", als 00 geschrieben";
    }
    return std::to_string(losses.characters) + what + "; " + RecordsNamed(losses.records);
}

std::string DescribeImportLosses(const ImportLosses& losses) {
    if (!losses.Any()) return {};
    std::vector<std::string> parts;
    if (losses.longLines > 0)
        parts.push_back(Counted(losses.longLines, "Zeile", "Zeilen") + " über "_oem +
                        std::to_string(kLineUsed) + " Zeichen (gekürzt)"_oem);
    if (losses.cutValues > 0)
        parts.push_back(Counted(losses.cutValues, "Wert", "Werte") +
                        " zu lang für das Feld (gekürzt)"_oem);
    if (losses.extraValues > 0)
        parts.push_back(Counted(losses.extraValues, "Wert", "Werte") + " ohne Feld (weggelassen)");
    if (losses.zeroBytes > 0)
        parts.push_back(Counted(losses.zeroBytes, "Nullbyte", "Nullbytes") + " (leer gelassen)");
    if (losses.uncodedBytes > 0)
        parts.push_back(Counted(losses.uncodedBytes, "Byte", "Bytes") +
                        " ohne Entsprechung (als 00 geladen)");
    if (losses.missingBytes > 0)
        parts.push_back("letzter Satz " + std::to_string(losses.missingBytes) +
                        " Zeichen zu kurz (mit 00 aufgefüllt)"_oem);
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
    return text + "; " + RecordsNamed(losses.records);
}

ImportOutcome ImportDataFile(const std::string& path, int mode, ImportLosses& losses,
                             const ReplaceRecords& replace,
                             const std::function<void()>& betweenBlocks) {
    const ImportWay way{replace, betweenBlocks};
    return mode == ConversionAsciiTab ? LoadLines(path, losses, way)
                                      : LoadFixed(path, mode, losses, way);
}
