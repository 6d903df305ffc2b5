// The one dialog through which the operator names every definition file and
// data file: a directory prompt, then a name prompt (to save) or the directory
// browser (to load), and for data files the choice of the conversion mode.
#pragma once
#include <string>
#include <string_view>

// `pattern`: a directory, possibly with a wildcard name ("*.DEF", "./").
// `defaultName`: the last name used in this kind of dialog (may be empty).
// `definitionFile`: ".DEF" as default extension and no conversion question;
// otherwise ".*" and the question. `saveForm`: the operator types a name (one
// without extension takes the pattern's); otherwise picks one in the browser
// (used as it stands). The result is the absolute path in code page 850, empty
// when the operator cancelled. A picked name the station cannot show in full
// keeps its exact form (see OemFromNative), so the path names that very file.
// A directory that is there but cannot be read gives "Kann Verzeichnis nicht
// lesen !!!": loading then ends as cancelled, saving still asks for the name.
std::string AskFileName(std::string_view pattern, std::string_view defaultName, bool definitionFile,
                        bool saveForm);
// Asks whether a file should really be deleted and deletes it on J.
void DeleteFileAsk(std::string_view pattern, std::string_view name);
