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
// Asks for the file, then loads it.
void LoadData();
// Loads the file `path` (code page 850) in the current conversion mode.
void LoadDataFrom(const std::string& path);
