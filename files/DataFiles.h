// Data files: saving the records in one of four forms and loading them back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum ConversionModeValue {
    ConversionAscii = 0,
    ConversionEbcdicHash = 1,  // EBCDIC (ÄÖÜß=#@$*)
    ConversionEbcdicDin = 2,   // EBCDIC (ÄÖÜäöüß=DIN)
    ConversionAsciiTab = 3,
};
extern int ConversionMode;
extern std::string DataFileName;   // name and extension of the last data file
extern std::string DataDirectory;  // directory of the last data file

void ResetDataFiles();

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

// Asks for the file, then saves to it; tells the operator what the file could
// not hold as the records hold it.
void SaveData();
// Saves every record with content to the file `path` (code page 850) in the
// current conversion mode. Says when the file cannot be written; what the
// written file does not hold faithfully is returned (nothing when it was not
// written), for the caller to tell.
ExportLosses SaveDataTo(const std::string& path);
class ByteFile;
class FileReplacement;
// The export itself, without a station: every record with content of the
// record file `records` (read from its start; its position is left anywhere)
// written to `out` in conversion mode `mode`, byte for byte as SaveDataTo
// writes them, for the layout in the field table. `letEventsThrough` looks for
// window events every 1024 records (the station's, so that Stop works in a
// long transfer). A read error of `records` throws InOutError; the result is 0
// or the error number of writing to `out`, which is neither committed nor
// given up here. With `losses`, it is told what the written file does not
// hold as the records hold it.
int ExportRecordFile(ByteFile& records, FileReplacement& out, int mode, bool letEventsThrough,
                     ExportLosses* losses = nullptr);
// Asks for the file, then loads it; tells the operator what the records did
// not take as the file held it.
void LoadData();
// Loads the file `path` (code page 850) in the current conversion mode. Says
// when it cannot be read or stored; what the loaded records did not take is
// returned (nothing when the records were not replaced), for the caller to tell.
ImportLosses LoadDataFrom(const std::string& path);
