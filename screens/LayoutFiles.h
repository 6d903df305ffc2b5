// Saving and loading the layout with the operator: the file-name dialog, the
// messages for a file that cannot be written or is refused, and the layout
// journal written after a layout was taken.
#pragma once
#include <string>
#include <string_view>

#include "files/DefinitionFile.h"

extern bool SaveWithProgramKeys;        // the program keys go into the file too
extern std::string DefinitionFileName;  // name and extension of the last definition file

// Empty name: the operator is asked. Any other name is the layout journal's
// own write, whose failure throws InOutError for its caller to report.
void WriteDefinitionFile(std::string_view name);
void ReadDefinitionFile(std::string_view name);
// The second half of ReadDefinitionFile: takes the layout from the bytes, with
// the messages for a file that is refused.
void UseDefinitionBytes(const std::string& bytes);

void ResetDefinitionFiles();
