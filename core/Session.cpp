#include "core/Session.h"

#include <cstdlib>

#include "console/WinCrt.h"
#include "core/DefinitionScreen.h"
#include "core/EntryScreen.h"
#include "core/FieldModel.h"
#include "core/FieldTypes.h"
#include "core/LineEditor.h"
#include "core/ProgramKeys.h"
#include "core/Prompts.h"
#include "core/RecordActions.h"
#include "core/ScreenLayout.h"
#include "files/DataFiles.h"
#include "files/DefinitionFile.h"
#include "files/Journal.h"
#include "files/Printing.h"
#include "files/Tables.h"
#include "platform/WindowSystem.h"

int32_t Mode = ModeDefinition;
int32_t SubMode = SubMain;

namespace {

void ReleaseAllTables() {
    for (int slot = 0; slot <= MaxFields; ++slot) ReleaseSlot(slot);
}

}  // namespace

void SessionInit() {
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
    CurrentProgramKey = 11;
    ResetPrompts();
    ResetDefinitionScreen();
    ResetLineEditor();
    ResetEntryScreen();
    ClearLayout();

    FieldHooks.EraseField = EraseField;
    FieldHooks.DrawField = DrawField;
    FieldHooks.JournalDefinition = JournalDefinition;
    FieldHooks.RestoreFromJournal = RestoreDefinitionFromJournal;

    OpenJournal();
}

void MainLoop() {
    while (Mode != ModeEnd) {
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
        } else if (Mode == ModeEntry || Mode == ModeVerify) {
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
        } else {
            // A mode the loop does not know: nothing runs, so leave rather than spin.
            Mode = ModeEnd;
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

void SaveBeforeEnd() {
    if (Mode == ModeDefinition) {
        if (LayoutTextEditorActive || FieldPositionerActive) JournalDefinition();
    } else if (Mode == ModeEntry || Mode == ModeVerify) {
        Mode = ModeEntry;
        CommitRecord(true);
    }
}

void EndStationAfterFatalError() {
    SaveBeforeEnd();
    CloseRecordFile();
    if (WindowSystem* host = BoundWindowSystem()) host->EndProcess(1);
    std::exit(1);
}
