// Definition files: a whole record layout (fields, screen text, program keys,
// lookup tables, address columns and conditions) written to and read from disk.
#pragma once
#include <string>
#include <string_view>

extern bool SaveWithProgramKeys;        // the program keys go into the file too
extern std::string DefinitionFileName;  // name and extension of the last definition file

// Empty name: the operator is asked.
void WriteDefinitionFile(std::string_view name);
void ReadDefinitionFile(std::string_view name);

void ResetDefinitionFiles();
