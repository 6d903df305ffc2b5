// Saving the records to a data file and loading them from one, with the
// operator: the file-name dialog, the conversion mode in force, and what the
// operator is told when a file cannot be written or read or did not hold
// everything as keyed.
#pragma once
#include <string>

#include "files/DataFiles.h"

extern int ConversionMode;         // a ConversionModeValue
extern std::string DataFileName;   // name and extension of the last data file
extern std::string DataDirectory;  // directory of the last data file

void ResetDataFiles();

// Asks for the file, then saves to it; tells the operator what the file could
// not hold as the records hold it.
void SaveData();
// Saves every record with content to the file `path` (code page 850) in the
// current conversion mode. Says when the file cannot be written; what the
// written file does not hold faithfully is returned (nothing when it was not
// written), for the caller to tell.
ExportLosses SaveDataTo(const std::string& path);
// Asks for the file, then loads it; tells the operator what the records did
// not take as the file held it.
void LoadData();
// Loads the file `path` (code page 850) in the current conversion mode. Says
// when it cannot be read or stored; what the loaded records did not take is
// returned (nothing when the records were not replaced), for the caller to tell.
ImportLosses LoadDataFrom(const std::string& path);
