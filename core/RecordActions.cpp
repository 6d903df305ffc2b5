#include "core/RecordActions.h"

#include "console/WinCrt.h"
#include "core/DefinitionScreen.h"
#include "core/EntryScreen.h"
#include "core/FieldModel.h"
#include "core/ProgramKeys.h"
#include "core/ScreenLayout.h"
#include "core/StatusLine.h"
#include "files/Journal.h"
#include "files/Tables.h"
#include "platform/CodePage.h"

bool DupSkipOn = false;
std::string LastSearchTerm;
int SearchKind = SearchByContent;

void ResetRecordActions() {
    DupSkipOn = false;
    LastSearchTerm.clear();
    SearchKind = SearchByContent;
}

void ShowDupSkip() {
    DrawSwitchItem(22, " F4", "Dup/Skip ", DupSkipOn);
}

void DupField(int /*n*/) {
    // Built with the rest of the record actions.
}

bool VerifyAgainstPrevious(int /*n*/) {
    return false;
}

ClearAnswer ClearAllPrompt() {
    const int32_t x = CursorX;
    const int32_t y = CursorY;
    ShowLegend(LegendEscape);
    const int column =
        ShowStatus("Möchten Sie alle (noch nicht gesicherten) Daten löschen (Esc/N/Entf) ?"_oem, 0,
                   0, 0, true);
    MoveCursor(column, 1);
    const MappedKey key = ReadMappedKey();
    ClearAnswer answer = ClearAnswer::Cancelled;
    if (key.character == 'N' || key.character == 'n') {
        answer = ClearAnswer::Keep;
    } else if (key.character == 0 && key.scanCode == ScanDel) {
        answer = ClearAnswer::Deleted;
    }
    if (answer != ClearAnswer::Deleted) {
        MoveCursor(x, y);
    } else {
        FieldCount = 0;
        ClearJournalFiles();
        ResumeOffset = 0;
        ClearScreen();
        ClearLayout();
        DrawLayoutRows();
        PlaceCursorAtRecordPos(1);
        ClearProgramKeys();
        for (int slot = 0; slot <= MaxFields; ++slot) ReleaseSlot(slot);
    }
    ShowLegend(LegendFor());
    return answer;
}

bool EndPrompt() {
    const ClearAnswer answer = ClearAllPrompt();
    ShowLegend(LegendFor());
    return answer != ClearAnswer::Cancelled;
}
