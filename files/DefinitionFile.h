// Definition files: a whole record layout (fields, screen text, program keys,
// lookup tables, address columns and conditions) written to and read from disk.
#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "files/Tables.h"

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

// What reading a layout came to.
enum class LayoutRead { Taken, CannotRead, NotADefinition, TooManyFields, RecordTooLong };
// Takes the layout of the definition file `path` into the session as
// ReadDefinitionFile does, but asks, shows and writes nothing, for reading a
// working directory without a station: its tables and the address data are
// loaded only `withTables`, quietly, and each one that did not load is handed
// to `tableFailed` (slot, 0 for the address data; name; what happened). A
// refused file changes nothing.
LayoutRead ReadLayoutQuietly(
    std::string_view path, bool withTables,
    const std::function<void(int, const std::string&, TableLoad)>& tableFailed);

// Reads the definition file `path` into `bytes` and works out, without taking
// it, what taking it would come to and its record length (0 without fields).
// UseDefinitionBytes then takes exactly what was looked at.
LayoutRead PeekDefinitionFile(std::string_view path, std::string& bytes, int& recordLength);

void ResetDefinitionFiles();
