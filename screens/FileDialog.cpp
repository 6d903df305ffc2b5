#include "screens/FileDialog.h"

#include "console/WinCrt.h"
#include "files/DataFiles.h"
#include "files/RecordStore.h"
#include "files/StationFiles.h"
#include "model/ProgramKeys.h"
#include "platform/ByteFile.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "screens/DirTPU.h"
#include "screens/InOutFailure.h"
#include "screens/Journal.h"
#include "screens/LineEditor.h"
#include "screens/Prompts.h"
#include "screens/Session.h"
#include "screens/StatusLine.h"

namespace {

constexpr int kAnswerLength = 50;
// The longest name a program key holds: a name cut to fit would name another
// file.
constexpr std::size_t kKeyNameLength = 255;
constexpr uint8_t kListedFiles = kAttrArchive;  // normal files only

bool HasWildcard(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

// Directory (up to and including the last '\' or '/'), name and extension (from
// the last dot on). Names and extensions keep their whole length: cutting them
// to the old 8 and 3 characters would name another file on a disk with long
// names. "." and ".." at the end are directories, not names.
PathParts SplitWhole(std::string_view path) {
    PathParts parts;
    const std::size_t cut = NameStart(path);
    parts.directory = std::string(path.substr(0, cut));
    const std::string_view name = path.substr(cut);
    if (name == "." || name == "..") {
        parts.directory += std::string(name) + "/";
        return parts;
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        parts.name = std::string(name);
    } else {
        parts.name = std::string(name.substr(0, dot));
        parts.extension = std::string(name.substr(dot));
        if (parts.extension == ".") parts.extension.clear();  // a lone dot is no extension
    }
    return parts;
}

std::string DirectoryOf(std::string_view pattern) {
    return SplitWhole(pattern).directory;
}

// Writes `prompt` as the status line and puts the cursor after it.
void Prompt(std::string_view prompt) {
    MoveCursor(ShowStatus(prompt, 0, 0, 0, true), 1);
}

// The search pattern for the directory the operator answered: a plain name
// (no wildcard) is a directory to look into; a missing name means every file,
// a missing extension the kind's default.
std::string SearchPatternFor(std::string_view answer, bool definitionFile) {
    PathParts parts = SplitWhole(answer);
    if (!HasWildcard(parts.name) && !HasWildcard(parts.extension) &&
        (!parts.name.empty() || !parts.extension.empty())) {
        parts.directory += parts.name + parts.extension + "/";
        parts.name.clear();
        parts.extension.clear();
    }
    if (parts.name.empty()) parts.name = "*";
    if (parts.extension.empty()) parts.extension = definitionFile ? ".DEF" : ".*";
    return parts.directory + parts.name + parts.extension;
}

// The absolute path of a picked name: the name as it stands, in the searched
// directory. It names a file that is there, and adding an extension to it
// (".DEF" to a name picked after "*.*") would name one that is not. Nothing
// is cut, however deep the directory: a path cut short names another file.
std::string PickedPath(std::string_view name, std::string_view searchPattern) {
    return AbsoluteOemPath(DirectoryOf(searchPattern) + std::string(name));
}

// The absolute path of a typed name: the search pattern's directory when it has
// none, and the pattern's extension when it has none. A pattern extension with
// a wildcard would give the file a '*' or '?' in its name: definition files
// then take ".DEF", data files stay without.
std::string TypedPath(std::string_view name, std::string_view searchPattern, bool definitionFile) {
    PathParts parts = SplitWhole(name);
    const PathParts search = SplitWhole(searchPattern);
    if (parts.directory.empty()) parts.directory = search.directory;
    if (parts.extension.empty()) {
        if (!HasWildcard(search.extension)) {
            parts.extension = search.extension;
        } else if (definitionFile) {
            parts.extension = ".DEF";
        }
    }
    return AbsoluteOemPath(parts.directory + parts.name + parts.extension);
}

// Reads an answer of at most kAnswerLength characters. One more is taken in,
// so that an answer the operator typed longer is refused as a whole instead
// of being cut to a name he did not give. False when the operator pressed Esc
// or the answer was refused (after saying so).
bool ReadAnswer(std::string& answer, std::string_view tooLong) {
    if (!LineEditor(answer, kAnswerLength + 1)) return false;
    if (answer.size() <= static_cast<std::size_t>(kAnswerLength)) return true;
    ShowMessage(tooLong, true);
    return false;
}

// A name to save under must lead to a regular file or to none: a FIFO would
// hold the station until something reads it, and a device or a directory
// cannot take a file. Said with what the name leads to.
bool MayWriteTo(std::string_view path) {
    const std::string kind = FileKindText(KindOfFile(NativePath(path)));
    if (kind.empty()) return true;
    ShowMessage("Kann Datei nicht schreiben !!! " + ShownName(path.substr(NameStart(path))) +
                    " ist " + Utf8ToOem(kind) + ".",
                true);
    return false;
}

// The directory the operator named is there but cannot be read (a failing
// disk, no right to read it): said in so many words, as for a file.
void TellListingFailed() {
    ShowMessage("Kann Verzeichnis nicht lesen !!!", true);
}

// Extended keys in the browser that the browser does not use itself: the
// conversion mode in a data dialog; program keys and deleting in the
// definition-file dialog.
void BrowserKey(uint8_t scan, const std::string& pattern, const DirEntry& current,
                bool definitionFile) {
    if (!definitionFile && (Mode == ModeEntry || Mode == ModeVerify)) {
        ChooseConversionMode(scan);
        return;
    }
    if (!definitionFile || Mode != ModeDefinition) return;
    const std::string path = PickedPath(current.Name, pattern);
    const bool programKey =
        scan == ScanF10 || (scan >= ScanProgramKey1 && scan <= ScanProgramKey12);
    // A key holds a name of at most 255 characters: cut, it would load
    // another file. Only a name the station holds with escapes (see
    // OemFromNative) is that long. The keys stay as they were; the browser
    // draws its list again.
    if (programKey && current.Name.size() > kKeyNameLength) {
        ShowMessage(
            "Dateiname länger als 255 Zeichen !!! Die Programmtaste bleibt, wie sie war."_oem,
            true);
        Prompt("Verzeichnis [*.DEF]: " + pattern);
        ShowLegend(LegendFor());
        return;
    }
    // A key assigned here is part of the layout at once: the journal gets it
    // now, so that a crash before the next layout change does not lose it.
    if (scan == ScanF10) {
        CurrentProgramKey = (CurrentProgramKey + 1) % kProgramKeys;
        SetProgramKey(CurrentProgramKey, path);
        ShowProgramKeyCaptions();
        JournalDefinition();
    } else if (programKey) {
        SetProgramKey(scan - ScanProgramKey1, path);
        ShowProgramKeyCaptions();
        JournalDefinition();
    } else if (scan == ScanDel) {
        DeleteFileAsk(pattern, current.Name);
    }
}

}  // namespace

std::string AskFileName(std::string_view pattern, std::string_view defaultName, bool definitionFile,
                        bool saveForm) {
    // A definition file needs no conversion mode; a data file asks for one at
    // the end unless a mode key was pressed on the way.
    ConversionKeyPressed = definitionFile;
    ClearScreen();
    ShowLegend(LegendFor());

    Prompt("Verzeichnis [" + std::string(pattern) + "]: ");
    std::string answer;
    if (!ReadAnswer(answer, "Verzeichnis länger als 50 Zeichen !!!"_oem)) return {};
    if (answer.empty()) answer = pattern;
    const std::string searchPattern = SearchPatternFor(answer, definitionFile);

    std::string name;
    if (saveForm) {
        // The listing only shows what is there already: without it the
        // operator can still name the file (a directory may allow writing
        // but not reading).
        if (ShowDirectory(searchPattern, kListedFiles) != 0) {
            TellListingFailed();
            SetForeColor(kWhite);
            SetBackColor(kDarkGrey);
            ClearScreen();
            ShowLegend(LegendFor());
        }
        Prompt(defaultName.empty() ? std::string("Dateiname: ")
                                   : "Dateiname [" + std::string(defaultName) + "]: ");
        if (!ReadAnswer(name, "Dateiname länger als 50 Zeichen !!!"_oem)) return {};
        if (name.empty()) name = defaultName;
        if (name.empty()) {
            ShowMessage("Sie haben keinen Dateinamen eingegeben !!!", true);
            return {};
        }
    } else {
        int listingError = 0;
        name = PickFile(
            searchPattern, defaultName, kListedFiles,
            [definitionFile](uint8_t scan, const std::string& p, const DirEntry& e) {
                BrowserKey(scan, p, e, definitionFile);
            },
            &listingError);
        // Nothing to pick from: told, and the dialog ends as if cancelled.
        if (listingError != 0) TellListingFailed();
        if (name.empty()) return {};
    }
    std::string result =
        saveForm ? TypedPath(name, searchPattern, definitionFile) : PickedPath(name, searchPattern);
    if (saveForm && !MayWriteTo(result)) return {};

    if (!ConversionKeyPressed) {
        Prompt("Bitte wählen Sie den Konvertierungs-Modus (F6/F7/F8/F9): "_oem);
        std::string none;
        if (!LineEditor(none, 0)) result.clear();
    }
    return result;
}

void DeleteFileAsk(std::string_view pattern, std::string_view name) {
    ShowLegend(LegendEscape);
    // The name exactly as listed, however long: a path cut short, or a name
    // with a dot dropped, could name another file.
    const std::string path =
        AbsoluteOemPath(DirectoryOf(pattern) + std::string(name.substr(NameStart(name))));
    Prompt("Soll die Datei "_oem + ShownName(name) + " wirklich gelöscht werden (J/N) ?"_oem);
    const uint8_t answer = ReadKey();
    if (answer == 'J' || answer == 'j')
        static_cast<void>(EraseFile(path));  // a file that will not go simply stays
    Prompt("Verzeichnis [*.DEF]: " + std::string(pattern));
    ShowLegend(LegendFor());
}
