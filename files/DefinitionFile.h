// Definition files: a whole record layout (fields, screen text, program keys,
// lookup tables, address columns and conditions) written to and read from disk.
#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "files/Tables.h"

// The bytes of a definition file holding the current layout (with the
// program keys only `withKeys`).
std::string EncodeLayout(bool withKeys);
// Reads a definition file whole: 0 or the system's error number (ENOENT when
// there is no such file).
int ReadDefinitionBytes(std::string_view path, std::string& bytes);

// What reading a layout came to.
enum class LayoutRead { Taken, CannotRead, NotADefinition, TooManyFields, RecordTooLong };
// Takes the layout in `bytes` into the model when they hold a sound one; each
// lookup table it names (slot 0: the address data) is handed to `loadTable`.
// A refused layout changes nothing.
LayoutRead TakeLayoutBytes(const std::string& bytes,
                           const std::function<void(std::string_view, int)>& loadTable);
// Takes the layout of the definition file `path` into the model, for reading a
// working directory without a station: its tables and the address data are
// loaded only `withTables`, quietly, and each one that did not load is handed
// to `tableFailed` (slot, 0 for the address data; name; what happened). A
// refused file changes nothing.
LayoutRead ReadLayoutQuietly(
    std::string_view path, bool withTables,
    const std::function<void(int, const std::string&, TableLoad)>& tableFailed);

// Reads the definition file `path` into `bytes` and works out, without taking
// it, what taking it would come to and its record length (0 without fields).
// TakeLayoutBytes then takes exactly what was looked at.
LayoutRead PeekDefinitionFile(std::string_view path, std::string& bytes, int& recordLength);
