// An input/output failure in the words the station shows (UTF-8): the
// system's error number, its short German reason, and the file it concerns.
// The station's message box and the companion tools say the same.
#pragma once
#include <string>
#include <string_view>

#include "platform/FileSystem.h"

// "Ein-/Ausgabefehler 28: kein Platz mehr auf dem Datenträger." (UTF-8)
std::string InOutErrorText(int code);
// The same for a failure of one file the operator must be told about by
// name. A name that leads to no regular file says what it is instead of the
// bare reason ("Ein-/Ausgabefehler 21: KELBRIN4.CR2 ist ein Verzeichnis.");
// otherwise the name follows the reason ("Ein-/Ausgabefehler 13: Zugriff
// verweigert (KELBRIN4.CR2)."). `oemName` in code page 850, the text UTF-8.
std::string InOutErrorText(int code, std::string_view oemName);
// What a name that is no regular file leads to, for a message that goes on
// "... ist " (UTF-8): "ein Verzeichnis", "eine Pipe, keine gewöhnliche Datei",
// "ein Gerät, keine gewöhnliche Datei", "keine gewöhnliche Datei"; empty for a
// regular file or nothing.
std::string FileKindText(FileKind kind);
