#include "screens/Session.h"
#include "screens/StatusLine.h"

#include <cstdlib>

#include "console/WinCrt.h"
#include "files/Statistics.h"
#include "files/Tables.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/ProgramKeys.h"
#include "model/ScreenLayout.h"
#include "platform/WindowSystem.h"
#include "screens/DataFileDialogs.h"
#include "screens/DefinitionScreen.h"
#include "screens/EntryScreen.h"
#include "screens/FieldCursor.h"
#include "screens/FieldValidation.h"
#include "screens/InOutFailure.h"
#include "screens/Journal.h"
#include "screens/LayoutFiles.h"
#include "screens/LineEditor.h"
#include "screens/OperatorRecord.h"
#include "screens/Printing.h"
#include "screens/Prompts.h"
#include "screens/RecordActions.h"

int32_t Mode = ModeDefinition;
int32_t SubMode = SubMain;

namespace {

// Saving failed when the operator last tried to leave; the next try ends
// the station even if saving fails again.
bool leaveRefused = false;

void ReleaseAllTables() {
    for (int slot = 0; slot <= MaxFields; ++slot) ReleaseSlot(slot);
}

// Whether the station may end now. What the operator did is written first; if
// that fails the station stays (the operator has seen why and can make room,
// or save the layout elsewhere), but a second attempt to leave is obeyed.
bool MayEnd(bool saved) {
    if (saved) {
        leaveRefused = false;
        return true;
    }
    if (leaveRefused) return true;
    leaveRefused = true;
    return false;
}

void RunScreen() {
    if (Mode == ModeDefinition) {
        switch (SubMode) {
            case SubMain:
                DefinitionScreen();
                break;
            case SubReadDefinition:
                ReadDefinitionFile("");
                SubMode = SubMain;
                break;
            case SubWriteDefinition:
                WriteDefinitionFile("");
                SubMode = SubMain;
                break;
            default:
                break;
        }
    } else {
        switch (SubMode) {
            case SubMain:
                EntryScreen(Mode, false, true);
                break;
            case SubLoadData:
                LoadData();
                SubMode = SubMain;
                break;
            case SubSaveData:
                SaveData();
                SubMode = SubMain;
                break;
            case SubPrintData:
                PrintData();
                SubMode = SubMain;
                break;
            default:
                break;
        }
    }
}

}  // namespace

void SessionInit() {
    leaveRefused = false;
    ReleaseAllTables();
    ResetFieldModel();
    ResetDataFiles();  // the conversion mode starts as EBCDIC, DIN variant
    FillFieldTypeTable();
    ResumeOffset = 0;
    Mode = ModeDefinition;
    SubMode = SubMain;
    ResetRecordActions();
    ResetDefinitionFiles();
    ClearProgramKeys();
    ShowProgramKeyCaptions();
    CurrentProgramKey = 11;
    ResetPrompts();
    ResetDefinitionScreen();
    ResetLineEditor();
    ResetEntryScreen();
    ResetStatistics();
    ClearLayout();

    FieldHooks.EraseOnScreen = EraseField;
    FieldHooks.DrawOnScreen = DrawField;
    FieldHooks.WriteJournal = JournalDefinition;
    FieldHooks.PlaceCursorAt = PlaceCursorAtRecordPos;

    OpenJournal();
}

void MainLoop() {
    int32_t workingMode = Mode;
    for (;;) {
        if (Mode == ModeEnd) {
            if (MayEnd(WriteLayoutJournalForEnd(false))) return;
            // Back to where the operator was, with everything still in memory.
            Mode = workingMode;
            SubMode = SubMain;
        }
        if (Mode != ModeDefinition && Mode != ModeEntry && Mode != ModeVerify) {
            // A mode the loop does not know: nothing runs, so leave rather than spin.
            Mode = ModeEnd;
            return;
        }
        workingMode = Mode;
        try {
            RunScreen();
        } catch (const InOutError& error) {
            // A failure nobody handled closer to it: the operation is given up,
            // the operator is told, and the mode's main screen starts again.
            // The editors were left by the failure, so they are no longer open.
            ReportInOutError(error.code);
            LayoutTextEditorActive = false;
            FieldPositionerActive = false;
            SubMode = SubMain;
        }
    }
}

void SessionShutdown() {
    ClearScreen();
    CloseJournal();
    ReleaseAllTables();
    ResetFieldModel();
    ReleaseJournalLock();
}

void RunSession() {
    SessionInit();
    MainLoop();
    SessionShutdown();
}

bool SaveBeforeEnd() {
    const int32_t modeBefore = Mode;
    bool saved = true;
    try {
        if (Mode == ModeEntry || Mode == ModeVerify) {
            // The record on the screen goes to its place as keyed: no verify
            // comparison may hold it back now. While an activity (a search)
            // walks other records through the buffers, it is the operator's
            // record, kept aside, that goes to its place.
            // Stored as keyed: a lookup could open a choice list now and wait
            // for an operator who has gone (a hang-up), or ask a second time
            // for what the list open under Stop was asking.
            const LookupsSuspended noLookups;
            if (RecordLength() > 0) saved = CommitOperatorRecord();
        }
    } catch (const InOutError& error) {
        ReportInOutError(error.code);
        saved = false;
    }
    // The two layout editors journal only as they go; whatever else is
    // unwritten (a failed write earlier) is written now too.
    const bool editing =
        Mode == ModeDefinition && (LayoutTextEditorActive || FieldPositionerActive);
    if (!WriteLayoutJournalForEnd(editing)) saved = false;
    if (MayEnd(saved)) return true;
    Mode = modeBefore;  // the station stays open as it was, verify mode included
    return false;
}

void EndStationAfterFatalError() {
    SaveBeforeEnd();
    try {
        CloseRecordFile();
    } catch (const InOutError&) {
        // Ending anyway: the records were flushed as they were committed.
    }
    if (WindowSystem* host = BoundWindowSystem()) host->EndProcess(1);
    std::exit(1);
}
