// Data files: saving the records in one of four forms and loading them back.
#pragma once
#include <string>

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
// Asks for the file, then saves to it.
void SaveData();
// Saves every record with content to the file `path` (code page 850) in the
// current conversion mode.
void SaveDataTo(const std::string& path);
class ByteFile;
class FileReplacement;
// The export itself, without a station: every record with content of the
// record file `records` (read from its start; its position is left anywhere)
// written to `out` in conversion mode `mode`, byte for byte as SaveDataTo
// writes them, for the layout in the field table. `letEventsThrough` looks for
// window events every 1024 records (the station's, so that Stop works in a
// long transfer). A read error of `records` throws InOutError; the result is 0
// or the error number of writing to `out`, which is neither committed nor
// given up here.
int ExportRecordFile(ByteFile& records, FileReplacement& out, int mode, bool letEventsThrough);
// Asks for the file, then loads it.
void LoadData();
// Loads the file `path` (code page 850) in the current conversion mode.
void LoadDataFrom(const std::string& path);
