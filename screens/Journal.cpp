#include "screens/Journal.h"

#include <cerrno>
#include <string>

#include "console/ConsoleKeyboard.h"
#include "console/ConsoleScreen.h"
#include "files/RecordStore.h"
#include "platform/CodePage.h"
#include "platform/WindowSystem.h"
#include "screens/InOutFailure.h"
#include "screens/LayoutFiles.h"
#include "screens/OperatorRecord.h"
#include "screens/Prompts.h"
#include "screens/RecordActions.h"

namespace {

// The layout journal is behind memory (its last write failed).
bool layoutUnwritten = false;
// The error number the operator was last told about; 0 after a write succeeded.
int reportedLayoutError = 0;

bool WriteLayoutJournal(bool reportAlways) {
    try {
        WriteDefinitionFile(kLayoutJournal);
    } catch (const InOutError& error) {
        layoutUnwritten = true;
        // A full disk fails every change until room is made: one box says so,
        // and each further failure of the same kind only beeps, so that the
        // operator can go on working (and make room) without a box per key.
        if (reportAlways || error.code != reportedLayoutError) {
            reportedLayoutError = error.code;
            ReportInOutError(error.code);
        } else {
            Beep();
        }
        return false;
    }
    layoutUnwritten = false;
    reportedLayoutError = 0;
    return true;
}

// A journal file that cannot be read or opened ends the start. The box names
// the file and says why (a directory or a FIFO of that name is said as such,
// not as a bare error number), then the station ends with exit code 1.
[[noreturn]] void StartFails(int error, const char* file) {
    if (WindowSystem* host = BoundWindowSystem()) {
        ReportInOutError(error, file);
        host->EndProcess(1);
    }
    throw InOutError(error);
}

}  // namespace

void OpenJournal() {
    layoutUnwritten = false;
    reportedLayoutError = 0;
    if (!TakeJournalLock()) {
        ShowMessage("In diesem Verzeichnis arbeitet schon eine andere Kelbrin-Station !!!"_oem,
                    true);
        if (WindowSystem* host = BoundWindowSystem()) host->EndProcess(1);
        return;
    }
    RemoveUnfinishedFiles();
    // The layout journal is read before the record file is opened or made.
    // One that is there but cannot be read (a failing disk, no right to read
    // it) ends the start with the error, as a record file that cannot be
    // opened does: going on without it would journal the next layout over it,
    // and the records would be shown in no layout or another one.
    std::string layout;
    const int layoutError = ReadDefinitionBytes(kLayoutJournal, layout);
    if (layoutError != 0 && layoutError != ENOENT) StartFails(layoutError, kLayoutJournal);
    // Only a record file that is not there is made anew. One that is there but
    // cannot be opened (a failing disk) holds records: the start-up fails and
    // says why, rather than putting an empty file in their place.
    ResetRecordStore();
    bool made = false;
    if (const int opened = StoredRecords.OpenFile(made))
        StartFails(opened, StoredRecords.OpenFailure());
    bool present = !made;
    if (layoutError == 0) {
        // An empty or damaged one is said so and stays until the next layout.
        if (layout.empty())
            ShowMessage("Kann Datei nicht lesen !!!", true);
        else
            UseDefinitionBytes(layout);
        present = true;
    }
    // Records that do not fit the layout are said so now; the station then
    // keys nothing under it (the question below can clear everything).
    const RecordFileFit fit = RecordFileFitNow();
    if (fit.layout > 0 && fit.kind != RecordFileFit::Kind::Fits)
        ShowMessage(Utf8ToOem(RecordFileFitText(fit)), true);
    if (present) {
        ShowMessage("Es sind schon Daten vorhanden", false);
        ClearAllPrompt();
    }
}

void CloseJournal() {
    CheckInOut(StoredRecords.CloseAndEraseIfEmpty());
}

void JournalDefinition() {
    WriteLayoutJournal(false);
}

bool LayoutJournalUnwritten() {
    return layoutUnwritten;
}

bool WriteLayoutJournalForEnd(bool evenIfWritten) {
    if (!layoutUnwritten && !evenIfWritten) return true;
    return WriteLayoutJournal(true);
}

void ClearJournalFiles() {
    EraseFile(kLayoutJournal);
    layoutUnwritten = false;  // the layout is gone, and so is its journal
    reportedLayoutError = 0;
    StoredRecords.Clear();
}
