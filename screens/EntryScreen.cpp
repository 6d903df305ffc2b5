#include "screens/EntryScreen.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "console/WinCrt.h"
#include "files/Statistics.h"
#include "model/FieldModel.h"
#include "model/FieldRules.h"
#include "model/FieldTypes.h"
#include "model/ProgramKeys.h"
#include "model/ScreenLayout.h"
#include "platform/CodePage.h"
#include "screens/DefinitionScreen.h"
#include "screens/FieldCursor.h"
#include "screens/FieldEngine.h"
#include "screens/FieldValidation.h"
#include "screens/InOutFailure.h"
#include "screens/Journal.h"
#include "screens/LayoutFiles.h"
#include "screens/Lookups.h"
#include "screens/OperatorRecord.h"
#include "screens/Prompts.h"
#include "screens/RecordActions.h"
#include "screens/Session.h"
#include "screens/StatusLine.h"

int64_t ResumeOffset = 0;
bool MismatchBeepArmed = true;
bool RekeyPending = false;

namespace {

// The field and record the cursor was in when the last key was read, to tell
// when it has moved on to another.
SettleState settle;
// The field the cursor settled in.
int currentField = 0;
// A program key switched the layout: the screen returns at once and the main
// loop opens it again under the new layout.
bool layoutSwitched = false;

int StartOf(int n) {
    return RecordPosOf(n, 1);
}

void GoToFieldStart(int n) {
    PlaceCursorAtRecordPos(StartOf(n));
}

// Between the blocks of a long walk over the records: window events get
// through (Stop ends the station there, the operator's record stored at its
// place), and Esc stops the walk. Any other key waits for its turn.
bool WalkGoesOn() {
    if (!PollKey() || KeyQueue.KeyChar != kKeyEscape) return true;
    ReadKey();
    return false;
}

// Before the first field: the previous record, if there is one, with the
// cursor on the start of its last field.
void ToPreviousRecordsLastField() {
    OpenPreviousRecord(StartOf(FieldCount));
}

// Program keys switch between layouts of one record length, whose records
// share the record file. One of another length would read every record
// wrongly and write its own records between them: it is refused while records
// are on file (or the one on the screen is about to be), and nothing changes.
// The definition file is read once, here: what is checked is what is taken.
// False (the operator told) when the key must change nothing.
bool LayoutFitsRecords(int index, std::string& bytes) {
    int length = 0;
    const LayoutRead read = PeekDefinitionFile(ProgramKeyTexts[index], bytes, length);
    if (read == LayoutRead::CannotRead) {
        ShowMessage("Kann Datei nicht lesen !!!", true);
        return false;
    }
    // A file that is no layout is refused when it is taken, as it always was.
    if (read != LayoutRead::Taken || length <= 0 || length == RecordLength()) return true;
    if (RecordFileFitNow().size == 0 && !CurrentRecordState().keyed) return true;
    ShowMessage(
        Utf8ToOem("Der Satzaufbau " + OemToUtf8(ProgramKeyTexts[index]) + " hat " +
                  std::to_string(length) + " Zeichen, die Sätze " + std::to_string(RecordLength()) +
                  " !!! Programmtasten wechseln nur zwischen Satzaufbauten gleicher "
                  "Satzlänge."),
        true);
    return false;
}

void SwitchLayout(int index) {
    const int p = CursorRecordPos();
    std::string bytes;
    if (!LayoutFitsRecords(index, bytes)) {
        RedrawEntryScreen(p);
        return;
    }
    // What the operator keyed wins over what the file holds. When it cannot
    // be stored the layout stays, and so does the record.
    const OperatorRecordState before = CurrentRecordState();
    if (!CommitRecord(true)) return;
    const bool unchanged =
        CurrentRecordState().onFile == before.onFile && !before.keyed &&
        std::equal(before.stored.begin(), before.stored.end(), CurrentRecordState().stored.begin());
    ResumeOffset = StoredRecords.Position();
    UseDefinitionBytes(bytes);
    CurrentProgramKey = index;
    if (FieldCount == 0) {
        Mode = ModeDefinition;
    } else if (unchanged) {
        LoadRecord(true);
    }
    layoutSwitched = true;
}

// Up and Down on a table field open its choice list. Nothing found, or the
// list left with Esc: the field stays as typed, and the beep says so.
void ListTableEntries(int n) {
    if (n > FieldCount || !HasTable(n)) return;
    if (!TableLookup(n, true)) Beep(FieldSays(n, CheckReason(n, FieldCheck::Table)));
    DrawEntryField(n);
}

void HandleExtendedKey(uint8_t scan, int32_t startMode) {
    const int length = RecordLength();
    const int p = CursorRecordPos();
    const int n = CursorField();
    const bool shift = ShiftOnlyHeld();
    if (scan >= ScanProgramKey1 && scan <= ScanProgramKey12) {
        const int index = scan - ScanProgramKey1;
        if (!ProgramKeyTexts[index].empty()) SwitchLayout(index);
        return;
    }
    switch (scan) {
        case ScanF1:
            settle.forceChanged = true;
            if (EndPrompt()) Mode = ModeEnd;
            break;
        case ScanF2:
            // Shift+F2 prints the records; F2 alone saves them.
            SubMode = shift ? SubPrintData : SubSaveData;
            break;
        case ScanF3:
            SubMode = SubLoadData;
            break;
        case ScanF4:
            ToggleDupSkip();
            break;
        case ScanF5:
            Search();
            break;
        case ScanF6:
            if (n > FieldCount) {
                Beep();
                break;
            }
            DupField(n);
            if (startMode == ModeEntry) NoteRecordKeyed();
            DrawEntryField(n);
            GoToNextFieldStart(n);
            break;
        case ScanF7:
            if (startMode == ModeVerify) {
                SatzScan();
            } else {
                // The records move through the buffers: Stop meanwhile stores
                // the operator's record, kept aside, not a record moving by.
                const OperatorRecordGuard guard;
                InsertRecord(WalkGoesOn);
                DrawAllEntryFields(p);
            }
            break;
        case ScanF8:
            if (startMode == ModeVerify) {
                if (n <= FieldCount) {
                    Korrektur(n);
                } else {
                    Beep();
                }
            } else {
                const OperatorRecordGuard guard;
                DeleteRecord(WalkGoesOn);
                DrawAllEntryFields(p);
            }
            break;
        case ScanF9:
            Mode = startMode == ModeEntry ? ModeVerify : ModeDefinition;
            break;
        case ScanF10: {
            const int index = StepToNextProgramKey();
            if (index >= 0) SwitchLayout(index);
            break;
        }
        case ScanHome:
            MoveToRecord(RecordMove::First, 1);
            break;
        case ScanEnd:
            if (MoveToRecord(RecordMove::Last, length, WalkGoesOn)) settle.passBackwards = true;
            break;
        case ScanPgUp:
            OpenPreviousRecord(p);
            break;
        case ScanPgDn:
            OpenNextRecord(p);
            break;
        case ScanUp:
            if (shift) {
                PlaceCursorAtRecordPos(1);
                break;
            }
            ListTableEntries(n);
            if (n <= 1) {
                ToPreviousRecordsLastField();
            } else {
                GoToFieldStart(n - 1);
            }
            break;
        case ScanDown:
            if (shift) {
                PlaceCursorAtRecordPos(length);
                settle.passBackwards = true;
                break;
            }
            ListTableEntries(n);
            GoToNextFieldStart(n);
            break;
        case ScanLeft:
            if (shift) {
                PlaceCursorAtRecordPos(1);
            } else if (p <= 1) {
                OpenPreviousRecord(length);
            } else {
                PlaceCursorAtRecordPos(p - 1);
            }
            break;
        case ScanRight:
            if (shift) {
                PlaceCursorAtRecordPos(length);
                settle.passBackwards = true;
            } else if (p >= length) {
                OpenNextRecord(1);
            } else {
                PlaceCursorAtRecordPos(p + 1);
            }
            break;
        case ScanIns:
            InsertBlankAtCursor();
            break;
        case ScanDel:
            DeleteAtCursor();
            break;
        default:
            break;
    }
}

// Whether the cursor stands where the record is keyed to its end: past the
// last field, or in the fields behind it that are always passed over (the end
// mark). It rests there only when moving on failed.
bool AtRecordsEnd() {
    for (int n = CursorField(); n <= FieldCount; ++n) {
        if (!HasFlag(FieldTable[n].Type, Bypass)) return false;
    }
    return true;
}

void HandleCharacter(uint8_t c) {
    const int length = RecordLength();
    const int p = CursorRecordPos();
    const int n = CursorField();
    const bool shift = ShiftOnlyHeld();
    if (c == kKeyTab || (c == kKeyBackspace && shift)) {
        const bool atStart = n <= FieldCount && p == StartOf(n);
        const int target = atStart || n > FieldCount ? n - 1 : n;
        if (target < 1) {
            ToPreviousRecordsLastField();
        } else {
            GoToFieldStart(target);
        }
        return;
    }
    switch (c) {
        case kKeyEnter:
            GoToNextFieldStart(n);
            return;
        case kKeyBackspace:
            BackspaceAtCursor();
            return;
        case kKeyEscape:
            ClearFieldAtCursor();
            return;
        default:
            break;
    }
    // A character after a move the disk refused goes where that move would
    // have taken it; at the record's end it goes into the next record. When the move fails again
    // the operator has been told, and the character is not keyed.
    if (!MakePendingMove()) return;
    if (AtRecordsEnd() && !OpenNextRecord(1)) return;
    KeyCharacter(c);
    if (CursorRecordPos() > length) OpenNextRecord(1);
}

// Opens the screen on the record it was left on. False when that cannot be
// done: records that do not fit the layout (told, nothing read), or a record
// that cannot be read (the failure shown): the station then goes back to the
// layout screen instead of trying again and again.
bool SetUpScreen() {
    const RecordFileFit fit = RecordFileFitNow();
    if (fit.kind == RecordFileFit::Kind::OtherLength || fit.kind == RecordFileFit::Kind::NotWhole) {
        ShowMessage(Utf8ToOem(RecordFileFitText(fit)), true);
        Mode = ModeDefinition;
        return false;
    }
    try {
        if (Mode == ModeVerify) UseVerificationSample();
        OpenRecordAt(ResumeOffset, true);
    } catch (const InOutError& error) {
        ReportInOutError(error.code);
        Mode = ModeDefinition;
        return false;
    }
    RedrawEntryScreen(1);
    MismatchBeepArmed = true;
    RekeyPending = false;
    settle = SettleState{};
    DropPendingMove();
    return true;
}

}  // namespace

void RedrawEntryScreen(int p) {
    SetForeColor(kYellow);
    SetBackColor(kDarkGrey);
    ClearScreen();
    MarkFieldFrames();
    DrawLayoutRows();
    DrawAllEntryFields(p);
    ShowStatus("Pos", CursorRecordPos(), CurrentRecordNumber, CursorField(), true);
    ShowLegend(LegendFor());
}

void ResetEntryScreen() {
    ResumeOffset = 0;
    MismatchBeepArmed = true;
    RekeyPending = false;
    settle = SettleState{};
    currentField = 0;
    layoutSwitched = false;
}

void EntryScreen(int32_t startMode, bool oneKey, bool showStatus) {
    // Without fields there is no record to key.
    if (RecordLength() <= 0) {
        if (!oneKey) Mode = ModeDefinition;
        return;
    }
    if (oneKey) {
        // A pasted key lands in the field under the cursor and sets off no
        // checks of its own: the cursor counts as settled where it stands.
        settle.previousField = CursorField();
        settle.previousRecord = CurrentRecordNumber;
        settle.previousOpening = RecordOpenings();
    } else if (!SetUpScreen()) {
        return;
    }
    layoutSwitched = false;
    const PastedKeys pasted(oneKey);  // pasted text was not typed: not counted
    for (;;) {
        try {
            currentField = SettleCursor(settle, showStatus);
            if (RekeyPending) ArmRekey(currentField);
            const MappedKey key = ReadMappedKey();
            const bool character = key.character != 0 && key.character != kKeyEnter &&
                                   key.character != kKeyTab && key.character != kKeyBackspace &&
                                   key.character != kKeyEscape;
            if (!character) DropPendingMove();
            if (key.character == 0) {
                HandleExtendedKey(key.scanCode, startMode);
            } else {
                HandleCharacter(key.character);
            }
        } catch (const InOutError& error) {
            // A record could not be read (or written): the operation is given
            // up and the operator is still on his own record, which the record
            // store never leaves before the next one was read. He is told, and
            // the screen shows that record again.
            ReportInOutError(error.code);
            RedrawEntryScreen(CursorRecordPos());
            settle.previousField = CursorField();
            settle.previousRecord = CurrentRecordNumber;
            settle.previousOpening = RecordOpenings();
            if (oneKey) return;
            continue;
        }
        if (layoutSwitched) return;
        if (Mode != startMode || SubMode != SubMain) {
            if (oneKey) return;
            // Leaving: the record goes to its place as keyed (verify input
            // that was not finished is given up), and the screen opens here
            // again when it comes back.
            // The commit runs as in entry mode, like Stop's: with the input
            // given up there is nothing left to compare.
            const RecordBuffer verifyInput = VerifyRecord;
            VerifyRecord = WorkRecord;
            // Everything cleared (F1, Entf): there is no record left to store.
            const bool stored = RecordLength() <= 0 || CommitRecordAsKeyed(true);
            if (!stored) {
                // The disk refused the record (the operator has seen why).
                // Leaving now would read it back from the file without what
                // was keyed: the operator stays with it instead, and can try
                // again once there is room. Stop still ends the station.
                VerifyRecord = verifyInput;
                Mode = startMode;
                SubMode = SubMain;
                settle.previousField = currentField;
                continue;
            }
            ResumeOffset = StoredRecords.Position();
            return;
        }
        if (oneKey) return;
        settle.previousField = currentField;
    }
}
