#include "files/DefinitionFile.h"

bool SaveWithProgramKeys = false;
std::string DefinitionFileName;

void ResetDefinitionFiles() {
    SaveWithProgramKeys = false;
    DefinitionFileName.clear();
}
