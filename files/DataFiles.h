// Data files: the records in one of four forms, written and read back. These
// read and write bytes and say what came of it; the screens ask for the file
// and tell the operator.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum ConversionModeValue {
    ConversionAscii = 0,
    ConversionEbcdicHash = 1,  // EBCDIC (ÄÖÜß=#@$*)
    ConversionEbcdicDin = 2,   // EBCDIC (ÄÖÜäöüß=DIN)
    ConversionAsciiTab = 3,
};
// Records a report names by number (1 for the first record of the file): the
// first few of them, and how many there are in all.
struct RecordNumbers {
    static constexpr std::size_t kNamed = 5;
    int64_t count = 0;
    std::vector<int64_t> first;  // at most kNamed, ascending
    int64_t last = 0;            // the number added last (added again, it counts once)
    void Add(int64_t number);
};

// What a saved data file does not hold as the records hold it: characters an
// EBCDIC form has no code for (written as 0x00), or TABs, CRs and LFs inside
// the fields of a tab-separated line (written as blanks, since they would
// split the line).
struct ExportLosses {
    int mode = ConversionAscii;  // the form written
    int64_t characters = 0;
    RecordNumbers records;  // the records that held them
};

// What a load did not take as the file held it.
struct ImportLosses {
    int64_t longLines = 0;     // tab lines longer than the 3681 characters a line may use: cut
    int64_t cutValues = 0;     // values longer than their field: cut (not counted when
                               // what was cut is only blanks)
    int64_t extraValues = 0;   // values after the last field: left out (only blanks: not counted)
    int64_t zeroBytes = 0;     // 0 bytes in tab lines: taken as places never keyed
    int64_t uncodedBytes = 0;  // bytes an EBCDIC form has no character for: taken as 0x00
    int64_t missingBytes = 0;  // places of a short last fixed-length record: filled with 0x00
    RecordNumbers records;     // the records concerned
    bool Any() const {
        return longLines + cutValues + extraValues + zeroBytes + uncodedBytes + missingBytes > 0;
    }
};

// The losses in words (code page 850), for the operator or a tool's line:
// "3 Zeichen ohne Entsprechung in EBCDIC (ÄÖÜäöüß=DIN), als 00 geschrieben;
// Sätze 4, 17, 20". Empty when nothing was lost.
std::string DescribeExportLosses(const ExportLosses& losses);
std::string DescribeImportLosses(const ImportLosses& losses);

class ByteFile;
class FileReplacement;
// The export itself, without a station: every record with content of the
// record file `records` (read from its start; its position is left anywhere)
// written to `out` in conversion mode `mode`, for the layout in the field
// table. `betweenBlocks` (when given) runs every 1024 records: the station
// lets its window events through there, so that Stop works in a long
// transfer. A read error of `records` throws InOutError; the result is 0
// or the error number of writing to `out`, which is neither committed nor
// given up here. With `losses`, it is told what the written file does not
// hold as the records hold it.
int ExportRecordFile(ByteFile& records, FileReplacement& out, int mode,
                     const std::function<void()>& betweenBlocks = {},
                     ExportLosses* losses = nullptr);
enum class ImportFailure {
    None,
    CannotRead,   // the file cannot be opened or read
    NothingInIt,  // it holds nothing
    CannotStore,  // the new record file could not be written
};
struct ImportOutcome {
    ImportFailure failure = ImportFailure::None;
    int error = 0;  // the system's error number, where there is one
};
// Builds the record file anew with what `fill` writes (0 or an error number);
// the station's is ReplaceRecordFile.
using ReplaceRecords = std::function<int(const std::function<int(FileReplacement&)>& fill)>;
// Reads the data file `path` (code page 850) in conversion mode `mode` into a
// new record file through `replace`, for the layout in the field table; what
// the records did not take as the file held it is counted into `losses`.
// `betweenBlocks` (when given) runs between blocks of records.
ImportOutcome ImportDataFile(const std::string& path, int mode, ImportLosses& losses,
                             const ReplaceRecords& replace,
                             const std::function<void()>& betweenBlocks = {});
