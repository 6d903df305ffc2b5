#include "files/DataFiles.h"

int ConversionMode = ConversionEbcdicDin;
std::string DataFileName;
std::string DataDirectory = "./";

void ResetDataFiles() {
    ConversionMode = ConversionEbcdicDin;
    DataFileName.clear();
    DataDirectory = "./";
}
