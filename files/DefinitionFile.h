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
// The two halves of ReadDefinitionFile. Reading gives 0 or the system's error
// number (ENOENT when there is no such file); taking the layout from the bytes
// gives the same messages for a file that is refused.
int ReadDefinitionBytes(std::string_view path, std::string& bytes);
void UseDefinitionBytes(const std::string& bytes);

void ResetDefinitionFiles();
