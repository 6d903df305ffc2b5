#include "screens/DefinitionScreen.h"

#include <algorithm>

#include "console/WinCrt.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/ProgramKeys.h"
#include "model/ScreenLayout.h"
#include "platform/CodePage.h"
#include "platform/WindowSystem.h"
#include "screens/FieldCursor.h"
#include "screens/Journal.h"
#include "screens/LayoutFiles.h"
#include "screens/LineEditor.h"
#include "screens/OperatorRecord.h"
#include "screens/Prompts.h"
#include "screens/RecordActions.h"
#include "screens/Session.h"
#include "screens/StatusLine.h"
#include "screens/TableLoading.h"

bool LayoutTextEditorActive = false;
bool FieldPositionerActive = false;

namespace {

// Set by every change the text editor or the positioner makes to the layout,
// cleared when the layout goes to the journal.
bool layoutUnjournaled = false;

// The key wait of the text editor and the positioner. Before the station
// sleeps, what changed goes to the journal, so that a crash loses at most the
// key being handled. While keys are already waiting (a burst faster than the
// disk, or a paste, which arrives during this wait and edits key by key without
// waiting) nothing is written: the burst costs one write at its end.
MappedKey ReadKeyJournalingLayout() {
    while (!PollKey()) {
        if (layoutUnjournaled) {
            layoutUnjournaled = false;
            JournalDefinition();
        } else {
            BoundWindowSystem()->WaitForEvents();
        }
    }
    return ReadMappedKey();
}

// Leaving an editor always writes the journal.
void JournalLayout() {
    layoutUnjournaled = false;
    JournalDefinition();
}

int ScreenColumn(int s) {
    return (s - 1) % 80 + 1;
}
int ScreenRow(int s) {
    return (s - 1) / 80 + 2;
}

// The field whose screen cells include cell (x, y), 0 when none does.
int FieldAtCell(int x, int y) {
    const int d = x + (y - 2) * 80;
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& f = FieldTable[n];
        if (f.ScreenPos <= d && d <= f.ScreenPos + f.Length - 1) return n;
    }
    return 0;
}

void SetLayoutColors(uint8_t cell) {
    SetForeColor(IsEmptyCellMark(cell) ? kGrey : kDarkGrey);
    SetBackColor(kBlue);
}

// Redraws one cell of the background text in its colours.
void DrawLayoutCell(int x, int y) {
    const uint8_t cell = LayoutCell(x, y);
    SetLayoutColors(cell);
    MoveCursor(x, y);
    WriteText(std::string(1, static_cast<char>(cell)));
}

int LastFieldUnderCursor() {
    return std::min<int>(CursorField(), FieldCount);
}

void GoToFieldStart(int n) {
    PlaceCursorAtRecordPos(RecordPosOf(n, 1));
}

// --- the layout text editor -------------------------------------------------

void EditorColors() {
    SetForeColor(kDarkGrey);
    SetBackColor(kBlue);
}

// Every move of the text cursor: the cell left behind shows its layout
// character again, the target is kept on rows 2 to 24, and an empty target
// cell shows a blank so that the cursor is visible on it.
void MoveTextCursor(int x, int y) {
    if (CursorY >= 2 && CursorY <= 24 && CursorX >= 1 && CursorX <= 80 &&
        FieldAtCell(CursorX, CursorY) == 0) {
        DrawLayoutCell(CursorX, CursorY);
    }
    if (x == 1 && y == 25) {
        x = 80;
        y = 24;
    }
    y = std::clamp(y, 2, 24);
    x = std::clamp(x, 1, 80);
    EditorColors();
    MoveCursor(x, y);
    if (FieldAtCell(x, y) == 0 && LayoutCell(x, y) == EmptyCell) {
        WriteText(" ");
        MoveCursor(x, y);
    }
}

// The cell after the cursor: after column 80 the next row; the last cell of
// row 24 stays.
void AdvanceTextCursor() {
    if (CursorX < 80) {
        MoveTextCursor(CursorX + 1, CursorY);
    } else if (CursorY < 24) {
        MoveTextCursor(1, CursorY + 1);
    } else {
        MoveTextCursor(80, 24);
    }
}

void StoreLayoutCell(int x, int y, uint8_t cell) {
    if (LayoutCell(x, y) == cell) return;
    LayoutCell(x, y) = cell;
    layoutUnjournaled = true;
}

void EmptyCellAtCursor() {
    StoreLayoutCell(CursorX, CursorY, EmptyCell);
    const int x = CursorX, y = CursorY;
    DrawLayoutCell(x, y);
    EditorColors();
    MoveCursor(x, y);
}

void DrawAllFields() {
    for (int n = 1; n <= FieldCount; ++n) DrawField(n);
}

void HandleTextEditorKey(const MappedKey& key) {
    if (key.character == 0) {
        switch (key.scanCode) {
            case ScanLeft:
                MoveTextCursor(CursorX - 1, CursorY);
                break;
            case ScanRight:
                MoveTextCursor(CursorX + 1, CursorY);
                break;
            case ScanUp:
                MoveTextCursor(CursorX, CursorY - 1);
                break;
            case ScanDown:
                MoveTextCursor(CursorX, CursorY + 1);
                break;
            case ScanHome:
                MoveTextCursor(1, CursorY);
                break;
            case ScanEnd:
                MoveTextCursor(80, CursorY);
                break;
            case ScanPgUp:
                MoveTextCursor(CursorX, 2);
                break;
            case ScanPgDn:
                MoveTextCursor(CursorX, 24);
                break;
            case ScanDel:
                if (ShiftOnlyHeld()) {
                    ClearLayout();
                    layoutUnjournaled = true;
                    DrawLayoutRows();
                    DrawAllFields();
                    EditorColors();
                    MoveCursor(1, 2);
                    MoveTextCursor(1, 2);
                } else if (FieldAtCell(CursorX, CursorY) == 0) {
                    EmptyCellAtCursor();
                    AdvanceTextCursor();
                }
                break;
            default:
                break;
        }
        return;
    }
    switch (key.character) {
        case kKeyEnter:
            MoveTextCursor(1, CursorY + 1);
            break;
        case kKeyTab:
            break;
        case kKeyBackspace:
            if (FieldAtCell(CursorX, CursorY) == 0 && CursorX > 1) {
                MoveTextCursor(CursorX - 1, CursorY);
                if (FieldAtCell(CursorX, CursorY) == 0) EmptyCellAtCursor();
            }
            break;
        default:
            if (FieldAtCell(CursorX, CursorY) == 0) {
                StoreLayoutCell(CursorX, CursorY, key.character);
                EditorColors();
                const int x = CursorX, y = CursorY;
                WriteText(std::string(1, static_cast<char>(key.character)));
                MoveCursor(x, y);
                AdvanceTextCursor();
            }
            break;
    }
}

// --- ranges, tables and address columns -------------------------------------

void RangeDialogue() {
    const int n = LastFieldUnderCursor();
    if (n < 1 || !IsNumericType(FieldTable[n].Type)) return;
    RangePromptActive = true;
    ShowLegend(LegendRange);
    const RangeAnswer range = AskRange();
    if (range.accepted) {
        FieldDef& field = FieldTable[n];
        if (range.to < range.from) {
            field.RangeFrom = 1;
            field.RangeTo = 0;
        } else {
            field.RangeFrom = range.from;
            field.RangeTo = range.to;
        }
        FieldExtra& extra = FieldExtras[n];
        if (!FieldConditionOn) {
            extra.ConditionField = 0;
        } else {
            const ConditionAnswer condition = AskCondition();
            if (condition.accepted) {
                // A field that does not exist cannot be a condition: the
                // condition is dropped, and the beep says so.
                if (condition.field > FieldCount) Beep();
                if (condition.field < 1 || condition.field > FieldCount ||
                    condition.to < condition.from) {
                    extra.ConditionField = 0;
                } else {
                    extra.ConditionField = static_cast<int16_t>(condition.field);
                    extra.ConditionFrom = condition.from;
                    extra.ConditionTo = condition.to;
                }
            }
        }
        // No condition keeps no range either, as a layout read back has it.
        if (extra.ConditionField == 0) {
            extra.ConditionFrom = 1;
            extra.ConditionTo = 0;
        }
    }
    // Whatever the answer, the range options end with the dialogue.
    FieldConditionOn = false;
    RangePromptActive = false;
    ShowLegend(LegendFor());
    if (range.accepted) JournalDefinition();
}

void TableDialogue() {
    const int n = LastFieldUnderCursor();
    if (n < 1 || HasFlag(FieldTable[n].Type, Bypass)) return;
    FieldExtras[n].AddressColumn = 0;
    ShowLegend(LegendTable);
    const TableNameAnswer answer = AskTableName();
    if (!answer.cancelled) {
        if (answer.name.empty()) {
            ReleaseSlot(n);
            TableAssignments[n].Name.clear();
        } else {
            TableAssignments[n].Name = answer.name;
        }
    }
    ShowLegend(LegendFor());
}

void AttachAddressColumn(int column) {
    const int n = LastFieldUnderCursor();
    if (n < 1) return;
    ReleaseSlot(n);
    TableAssignments[n].Name.clear();
    LoadAddressData();
    FieldExtras[n].AddressColumn = static_cast<int16_t>(column);
}

bool AnyAddressColumn() {
    for (int n = 1; n <= FieldCount; ++n) {
        if (FieldExtras[n].AddressColumn != 0) return true;
    }
    return false;
}

// --- fields -----------------------------------------------------------------

void PutFieldAtCursor(uint8_t letter) {
    const int n = CursorField();
    if (n > FieldCount) {
        const int length = AskFieldLength();
        PutField(FieldCount + 1, letter, length);
    } else {
        SetTypeSplitOrMerge(n, letter, CursorRecordPos());
    }
    const int under = CursorField();
    if (under <= FieldCount) DrawField(under);
    JournalDefinition();
    GoToFieldStart(n + 1);
}

void LoadProgramKey(int index) {
    ReadDefinitionFile(ProgramKeyTexts[index]);
    CurrentProgramKey = index;
}

// Handles one key; true when the screen must return to the loop.
bool HandleKey(const MappedKey& key) {
    const int p = CursorRecordPos();
    const bool shift = ShiftOnlyHeld();
    if (key.character == 0) {
        const uint8_t scan = key.scanCode;
        if (scan >= ScanProgramKey1 && scan <= ScanProgramKey12) {
            const int index = scan - ScanProgramKey1;
            if (ProgramKeyTexts[index].empty()) return false;
            LoadProgramKey(index);
            return true;
        }
        switch (scan) {
            case ScanF1:
                if (EndPrompt()) Mode = ModeEnd;
                return true;
            case ScanF2:
                SubMode = SubWriteDefinition;
                return true;
            case ScanF3:
                SubMode = SubReadDefinition;
                return true;
            case ScanF4:
                FieldPositioner();
                return true;
            case ScanF5:
                RangeDialogue();
                return false;
            case ScanF6:
                LayoutTextEditor(false);
                return true;
            case ScanF7:
                TypeOverview();
                return true;
            case ScanF8:
                return ClearAllPrompt() == ClearAnswer::Deleted;
            case ScanF9:
                if (RecordLength() > 0) Mode = ModeEntry;
                return Mode != ModeDefinition;
            case ScanF10: {
                const int index = StepToNextProgramKey();
                if (index < 0) return false;
                // The key stays current after loading, so the next F12 goes on from it.
                LoadProgramKey(index);
                return true;
            }
            case ScanHome:
            case ScanPgUp:
                PlaceCursorAtRecordPos(1);
                return false;
            case ScanLeft:
                if (shift) {
                    PlaceCursorAtRecordPos(1);
                } else if (p > 1) {
                    PlaceCursorAtRecordPos(p - 1);
                }
                return false;
            case ScanRight:
                if (shift) {
                    PlaceCursorAtRecordPos(RecordLength() + 1);
                } else if (p <= RecordLength()) {
                    PlaceCursorAtRecordPos(p + 1);
                }
                return false;
            case ScanEnd:
            case ScanPgDn:
                PlaceCursorAtRecordPos(RecordLength() + 1);
                return false;
            case ScanDown:
                if (shift) {
                    PlaceCursorAtRecordPos(RecordLength() + 1);
                } else if (CursorField() <= FieldCount) {
                    GoToFieldStart(CursorField() + 1);
                }
                return false;
            case ScanUp:
                if (shift) {
                    PlaceCursorAtRecordPos(1);
                } else {
                    GoToFieldStart(std::max(1, CursorField() - 1));
                }
                return false;
            case ScanIns:
                return !ResizeField(CursorField(), +1);
            case ScanDel:
                return !ResizeField(CursorField(), -1);
            default:
                return false;
        }
    }
    uint8_t c = key.character;
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
    switch (c) {
        case kKeyEnter:
            if (CursorField() <= FieldCount) GoToFieldStart(CursorField() + 1);
            return false;
        case kKeyTab:
            if (CursorField() > 1) GoToFieldStart(CursorField() - 1);
            return false;
        case kKeyBackspace:
            RemoveLastField();
            JournalDefinition();
            return true;
        case '+':
            PutFieldAtCursor('T');
            return false;
        case ' ':
        case '-':
        case '.':
            if (CursorField() <= FieldCount) {
                if (!SetTypeSplitOrMerge(CursorField(), c, CursorRecordPos())) {
                    JournalDefinition();
                    return true;
                }
                DrawField(CursorField());
                JournalDefinition();
            }
            return false;
        case 'T':
            TableDialogue();
            JournalDefinition();
            return true;
        case '1':
        case '2':
        case '3':
        case '4':
            AttachAddressColumn(c - '0');
            JournalDefinition();
            return true;
        case '0':
            if (FieldCount > 0) FieldExtras[LastFieldUnderCursor()].AddressColumn = 0;
            JournalDefinition();
            return true;
        case '7':
            if (!AnyAddressColumn()) ReleaseSlot(0);
            return true;
        case '8':
            for (int n = 1; n <= FieldCount; ++n) FieldExtras[n].AddressColumn = 0;
            ReleaseSlot(0);
            JournalDefinition();
            return true;
        case '9':
            ReleaseSlot(0);
            LoadAddressData();
            return true;
        default:
            if (c >= 'A' && c <= 'Z') PutFieldAtCursor(c);
            return false;
    }
}

}  // namespace

void ResetDefinitionScreen() {
    LayoutTextEditorActive = false;
    FieldPositionerActive = false;
    layoutUnjournaled = false;
}

void DrawLayoutRows() {
    for (int y = 2; y <= 24; ++y) {
        MoveCursor(1, y);
        SetLayoutColors(LayoutCell(1, y));
        bool empty = IsEmptyCellMark(LayoutCell(1, y));
        BeginBatch();
        for (int x = 1; x <= 80; ++x) {
            const uint8_t cell = LayoutCell(x, y);
            // One run per colour: a colour change flushes the run so far.
            if (IsEmptyCellMark(cell) != empty) {
                empty = !empty;
                SetLayoutColors(cell);
            }
            WriteText(std::string(1, static_cast<char>(cell)));
        }
        FlushBatch();
    }
}

void DrawField(int n) {
    if (!IsField(n)) return;
    const FieldDef& field = FieldTable[n];
    const char filler = TypeOf(field.Type).Kind == KindNumeric ? '-' : '.';
    std::string text(static_cast<std::size_t>(field.Length), filler);
    text[0] = static_cast<char>(field.Type);
    SetForeColor(kWhite);
    SetBackColor(kBlue);
    // A field may run over several rows: each row's part is one write.
    int s = field.ScreenPos;
    std::size_t done = 0;
    while (done < text.size() && s <= MaxRecordLength) {
        const std::size_t room = static_cast<std::size_t>(80 - ScreenColumn(s) + 1);
        const std::size_t part = std::min(room, text.size() - done);
        MoveCursor(ScreenColumn(s), ScreenRow(s));
        SetForeColor(kWhite);
        WriteText(std::string_view(text).substr(done, part));
        done += part;
        s += static_cast<int>(part);
    }
}

void EraseField(int n) {
    if (!IsField(n)) return;
    const FieldDef& field = FieldTable[n];
    for (int s = field.ScreenPos; s < field.ScreenPos + field.Length && s <= MaxRecordLength; ++s) {
        if (s >= 1) DrawLayoutCell(ScreenColumn(s), ScreenRow(s));
    }
}

void DefinitionScreen() {
    // No record is the operator's here: the row has nothing standing to say.
    SetInfoStanding("");
    SetForeColor(kWhite);
    SetBackColor(kDarkGrey);
    ClearScreen();
    ResetLayoutMarks();
    DrawLayoutRows();
    DrawAllFields();
    PlaceCursorAtRecordPos(RecordLength() + 1);
    ShowLegend(LegendFor());
    while (Mode == ModeDefinition && SubMode == SubMain) {
        ShowStatus("Len", RecordLength(), 0, std::min<int>(CursorField(), FieldCount), true);
        if (HandleKey(ReadMappedKey())) return;
    }
}

void LayoutTextEditor(bool singleKey) {
    if (!singleKey) {
        ShowLegend(LegendTextEditor);
        EditorColors();
        LayoutTextEditorActive = true;
        MoveTextCursor(CursorX, CursorY);
    }
    // A pasted character is already waiting; the paste is journaled as a whole
    // by the editor's own key wait when it is over.
    for (;;) {
        const MappedKey key = singleKey ? ReadMappedKey() : ReadKeyJournalingLayout();
        if (key.character == kKeyEscape) {
            if (singleKey) return;
            break;
        }
        HandleTextEditorKey(key);
        if (singleKey) return;
    }
    LayoutTextEditorActive = false;
    JournalLayout();
}

bool MoveField(int delta, int n) {
    if (!IsField(n)) return false;
    const FieldDef& field = FieldTable[n];
    const int s = field.ScreenPos;
    if (s + delta < 1 || s + delta + field.Length - 1 > MaxRecordLength) return false;
    auto shift = [&](int m) {
        EraseField(m);
        FieldTable[m].ScreenPos = static_cast<int16_t>(FieldTable[m].ScreenPos + delta);
        layoutUnjournaled = true;
        DrawField(m);
    };
    if (n < FieldCount && s + delta + field.Length > FieldTable[n + 1].ScreenPos) {
        bool moved = false;
        for (int m = n + 1; m <= FieldCount && !moved; ++m) {
            if (MoveField(delta, m)) {
                for (int k = m - 1; k >= n + 1; --k) shift(k);
                moved = true;
            }
        }
        if (!moved) return false;
    }
    if (n > 1 && FieldTable[n - 1].ScreenPos + FieldTable[n - 1].Length > s + delta) {
        bool moved = false;
        for (int m = n - 1; m >= 1 && !moved; --m) {
            if (MoveField(delta, m)) {
                for (int k = m + 1; k <= n - 1; ++k) shift(k);
                moved = true;
            }
        }
        if (!moved) return false;
    }
    shift(n);
    PlaceCursorAtRecordPos(FieldTable[n].RecordPos);
    return true;
}

void FieldPositioner() {
    if (FieldCount == 0) return;
    ShowLegend(LegendPositioner);
    const int n = LastFieldUnderCursor();
    GoToFieldStart(n);
    FieldPositionerActive = true;
    for (;;) {
        const MappedKey key = ReadKeyJournalingLayout();
        if (key.character == kKeyEscape) break;
        const FieldDef& field = FieldTable[n];
        const int s = field.ScreenPos;
        const int column = ScreenColumn(s);
        const int lastCell = s + field.Length - 1;
        int delta = 0;
        bool act = true;
        if (key.character == kKeyEnter) {
            delta = 81 - column;
        } else if (key.character == 0) {
            switch (key.scanCode) {
                case ScanLeft:
                    delta = -1;
                    break;
                case ScanRight:
                    delta = 1;
                    break;
                case ScanUp:
                    delta = -80;
                    break;
                case ScanDown:
                    delta = 80;
                    break;
                case ScanHome:
                    delta = 1 - column;
                    break;
                case ScanEnd:
                    delta = 80 - ScreenColumn(lastCell);
                    break;
                case ScanPgUp:
                    delta = -(ScreenRow(s) - 2) * 80;
                    break;
                case ScanPgDn:
                    delta = (24 - ScreenRow(s)) * 80;
                    break;
                case ScanF4:
                    delta = (CursorX + (CursorY - 2) * 80) - s;
                    break;
                default:
                    act = false;
                    break;
            }
        } else {
            act = false;
        }
        if (act) MoveField(delta, n);
    }
    FieldPositionerActive = false;
    JournalLayout();
}

std::string TypeOverviewText() {
    const std::string templ = "Zeichen:      Funktion:";
    auto line = [&](std::string_view keyText, std::string_view description) {
        std::string text = templ;
        text.resize(75, ' ');
        text.replace(9, keyText.size(), keyText);
        text[13] = '\t';
        text.replace(25, std::min<std::size_t>(description.size(), 50), description.substr(0, 50));
        text.resize(75, ' ');
        return text + "\r\n";
    };
    std::string text;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string keyText(1, letter == 'T' ? '+' : letter);
        text += line(keyText, TypeOf(static_cast<uint8_t>(letter)).Name);
    }
    text += std::string(75, ' ') + "\r\n";
    text += line("T", "Tabelle in aktives Feld laden/entfernen");
    text += line("1-4", "Adressdaten, 1=Str.,[2=Hausnr.],3=PLZ,4=Ort, laden");
    return text;
}

void TypeOverview() {
    if (WindowSystem* host = BoundWindowSystem()) {
        host->MessageBox(OemToUtf8("Übersicht"_oem), OemToUtf8(TypeOverviewText()));
    }
}
