#include "screens/LayoutFiles.h"

#include "files/StationFiles.h"
#include "platform/ByteFile.h"
#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"
#include "screens/FileDialog.h"
#include "screens/Journal.h"
#include "screens/Prompts.h"
#include "screens/StatusLine.h"
#include "screens/TableLoading.h"

bool SaveWithProgramKeys = false;
std::string DefinitionFileName;

void ResetDefinitionFiles() {
    SaveWithProgramKeys = false;
    DefinitionFileName.clear();
}

namespace {

// The name and extension of a path, without its directory.
std::string FileNameOf(std::string_view path) {
    const std::size_t cut = NameStart(path);
    return std::string(path.substr(cut));
}

}  // namespace

void WriteDefinitionFile(std::string_view name) {
    SaveWithProgramKeys = true;
    std::string path(name);
    // Only a name the operator chose is answered with a message; the layout
    // journal's own writes report a failure to their caller.
    const bool asked = path.empty();
    if (asked) {
        SaveWithProgramKeys = false;
        path = AskFileName("*.DEF", DefinitionFileName, true, true);
        if (path.empty()) return;
        DefinitionFileName = FileNameOf(path);
    }
    // KELBRIN4.CR2 holds the records and KELBRIN4.LEN their length: a layout
    // saved over either would destroy them. KELBRIN4.CR1 must hold the current
    // layout, written only by the journal itself.
    if (LeadsToStationFile(NativePath(path), asked)) {
        ShowMessage("Kann Datei nicht schreiben !!!", true);
        return;
    }
    // A layout file the operator names is only ever a regular file (the
    // dialog has said why when the name leads elsewhere). The layout journal
    // is the station's own name: one that was made a pipe or a device is
    // written through it, without waiting for a reader.
    const int error = ReplaceFileWhole(
        path, EncodeLayout(SaveWithProgramKeys),
        asked ? FileReplacement::Target::RegularFile : FileReplacement::Target::FileOrDevice);
    if (error == 0) return;
    if (!asked) throw InOutError(error);
    ShowMessage("Kann Datei nicht schreiben !!!", true);
}

void ReadDefinitionFile(std::string_view name) {
    std::string path(name);
    if (path.empty()) {
        path = AskFileName("*.DEF", DefinitionFileName, true, false);
        if (path.empty()) return;
        DefinitionFileName = FileNameOf(path);
    }
    std::string bytes;
    if (ReadDefinitionBytes(path, bytes) != 0 || bytes.empty()) {
        ShowMessage("Kann Datei nicht lesen !!!", true);
        return;
    }
    UseDefinitionBytes(bytes);
}

void UseDefinitionBytes(const std::string& bytes) {
    const LayoutRead read =
        TakeLayoutBytes(bytes, [](std::string_view table, int slot) { LoadTable(table, slot); });
    ShowProgramKeyCaptions();
    switch (read) {
        case LayoutRead::Taken:
            JournalDefinition();
            return;
        case LayoutRead::CannotRead:
        case LayoutRead::NotADefinition:
            ShowMessage("Keine FeldDefinitions-Datei !!!", true);
            return;
        case LayoutRead::TooManyFields:
            ShowMessage("Zu viele Felder !!!", true);
            return;
        case LayoutRead::RecordTooLong:
            ShowMessage("Satz zu lang !!!", true);
            return;
    }
}
