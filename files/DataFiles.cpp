#include "files/DataFiles.h"

int ConversionMode = ConversionEbcdicDin;
std::string DataFileName;
std::string DataDirectory = "./";

void ResetDataFiles() {
    ConversionMode = ConversionEbcdicDin;
    DataFileName.clear();
    DataDirectory = "./";
}

#include "core/Prompts.h"
#include "platform/CodePage.h"

// Data files belong to entry mode, which this version does not have yet.
void LoadData() {
    ShowMessage("Laden von Daten gibt es in dieser Fassung noch nicht."_oem, true);
}
void SaveData() {
    ShowMessage("Sichern von Daten gibt es in dieser Fassung noch nicht."_oem, true);
}
