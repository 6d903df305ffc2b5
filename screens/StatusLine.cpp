#include "screens/StatusLine.h"

#include <string>

#include "console/ConsoleScreen.h"
#include "files/RecordStore.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/ProgramKeys.h"
#include "platform/CodePage.h"
#include "platform/WindowSystem.h"
#include "screens/DataFileDialogs.h"
#include "screens/InOutFailure.h"
#include "screens/LayoutFiles.h"
#include "screens/LineEditor.h"
#include "screens/OperatorRecord.h"
#include "screens/Prompts.h"
#include "screens/RecordActions.h"
#include "screens/Session.h"

namespace {

struct CursorKeeper {
    int32_t x = CursorX;
    int32_t y = CursorY;
    void Restore() const { MoveCursor(x, y); }
};

void WriteNumber(long long value) {
    WriteText(std::to_string(value));
}

// The part of the status line that tells range, table and address column.
void WriteRangePart(int n) {
    const FieldDef& field = FieldTable[n];
    const TableAssignment& table = TableAssignments[n];
    const bool namedTable = table.Table != nullptr && !table.Name.empty();
    const int column = FieldExtras[n].AddressColumn;
    if (IsNumericType(field.Type) && HasRange(field)) {
        const bool condition = FieldExtras[n].ConditionField != 0;
        WriteText(condition ? "{" : "[");
        if (field.RangeTo == DigitSetMarker) {
            if (field.RangeFrom < 0) {
                WriteText("0");
                WriteNumber(-static_cast<long long>(field.RangeFrom));
            } else {
                WriteNumber(field.RangeFrom);
            }
        } else {
            WriteNumber(field.RangeFrom);
            WriteText("...");
            WriteNumber(field.RangeTo);
        }
        if (namedTable) {
            WriteText(",Tab:" + table.Name);
        } else if (column != 0) {
            WriteText(",Adr:" + AddressColumnName(column));
        }
        WriteText(condition ? "} " : "] ");
    } else if (namedTable) {
        WriteText("[Tab:" + table.Name + "] ");
    } else if (column != 0) {
        WriteText("[Adr:" + AddressColumnName(column) + "] ");
    }
}

void WriteTypePart(int n) {
    const uint8_t letter = FieldTable[n].Type;
    const FieldType& type = TypeOf(letter);
    const int room = 73 - CursorX;
    if (static_cast<int>(type.Name.size()) < room) {
        WriteText(type.Name);
        return;
    }
    if (room > 11) WriteText(type.Kind == KindNumeric ? "Num " : "Alpha ");
    WriteText(std::string(1, static_cast<char>(letter)));
}

}  // namespace

void SetStatusColors() {
    SetForeColor(kDarkGrey);
    SetBackColor(kSilver);
}

namespace {

// The place with the counts the row gives; reading them may throw InOutError.
std::string RecordPlaceWithCounts(int64_t recordNumber) {
    const std::string number = std::to_string(recordNumber);
    const int length = RecordLength();
    const int64_t count = StoredRecords.RecordCount(length);
    if (recordNumber <= count && Mode == ModeVerify) {
        const VerificationSample sample = StoredRecords.Sample(length);
        std::string text = "Satz " + number + " von " + std::to_string(count) +
                           (!RecordDue()       ? ", nicht in der Stichprobe"
                            : RecordVerified() ? ", geprüft"
                                               : ", ungeprüft") +
                           " · " + std::to_string(StoredRecords.VerifiedCount(length)) + " von " +
                           std::to_string(StoredRecords.DueCount(length)) + " geprüft";
        if (sample.every > 1) text += " (Stichprobe: jeder " + std::to_string(sample.every) + ".)";
        return text;
    }
    if (recordNumber <= count) return "Satz " + number + " von " + std::to_string(count);
    if (count == 0) return "Neuer Satz " + number;
    return "Neuer Satz " + number + " (" + std::to_string(count) + " gespeichert)";
}

// The record opening at which the counts could not be read: the failure is
// told once, and the row does without them until another record is opened.
int64_t countsFailedAt = -1;

}  // namespace

std::string RecordPlaceText(int64_t recordNumber) {
    if (countsFailedAt != RecordOpenings()) {
        try {
            return RecordPlaceWithCounts(recordNumber);
        } catch (const InOutError& error) {
            countsFailedAt = RecordOpenings();
            ReportInOutError(error.code);
        }
    }
    return "Satz " + std::to_string(recordNumber);
}

int ShowStatus(std::string_view title, int number, int64_t recordNumber, int field, bool full) {
    if (recordNumber > 0) SetInfoStanding(RecordPlaceText(recordNumber));
    SetStatusColors();
    const CursorKeeper cursor;
    int result = 0;
    if (full) {
        MoveCursor(1, 1);
        ClearToLineEnd();
        WriteText(title);
        result = CursorX;
        if (recordNumber > 0) {
            MoveCursor(9, 1);
            WriteText(recordNumber > 999999 ? "S" : "Satz ");
            SetForeColor(kRed);
            WriteNumber(recordNumber);
            SetForeColor(kDarkGrey);
        }
        if (field >= 1 && field <= FieldCount) {
            const FieldDef& def = FieldTable[field];
            MoveCursor(20, 1);
            WriteText("Feld ");
            SetForeColor(kRed);
            WriteNumber(field);
            SetForeColor(kDarkGrey);
            WriteText(" (" + std::to_string(def.RecordPos) + "-" +
                      std::to_string(def.RecordPos + def.Length - 1) + ") ");
            WriteRangePart(field);
            WriteTypePart(field);
        }
        MoveCursor(73, 1);
        SetForeColor(kRed);
        if (Mode == ModeDefinition) {
            WriteText("FeldDef");
        } else if (Mode == ModeEntry) {
            WriteText("Eingabe");
        } else if (Mode == ModeVerify) {
            WriteText(" Prüfen"_oem);
        }
    }
    if (number != 0) {
        SetForeColor(kRed);
        MoveCursor(5, 1);
        WriteText("    ");
        MoveCursor(5, 1);
        WriteNumber(number);
    }
    cursor.Restore();
    return result;
}

void DrawSwitchItem(int column, std::string_view label, std::string_view description, bool on) {
    const CursorKeeper cursor;
    MoveCursor(column, 25);
    const uint32_t back = on ? kBlack : kSilver;
    SetForeColor(on ? kOrange : kRed);
    SetBackColor(back);
    WriteText(label);
    SetForeColor(kDarkGrey);
    WriteText(description);
    cursor.Restore();
    SetStatusColors();
}

void DrawConversionSwitches() {
    DrawSwitchItem(13, " F6", "EBCDIC (ÄÖÜß=#@$*) "_oem, ConversionMode == ConversionEbcdicHash);
    DrawSwitchItem(35, " F7", "EBCDIC (ÄÖÜäöüß=DIN) "_oem, ConversionMode == ConversionEbcdicDin);
    DrawSwitchItem(59, " F8", "ASCII ", ConversionMode == ConversionAscii);
    DrawSwitchItem(68, " F9", "ASCII-TAB", ConversionMode == ConversionAsciiTab);
}

void DrawProgramKeySwitch() {
    DrawSwitchItem(15, " F4 ", "mit Programmtasten sichern ", SaveWithProgramKeys);
}

void DrawSearchSwitches() {
    DrawSwitchItem(15, " F6 ", "Inhalt suchen ", SearchKind == SearchByContent);
    DrawSwitchItem(34, " F7 ", "Satznummer suchen ", SearchKind == SearchByRecordNumber);
}

void DrawRangeSwitches() {
    DrawSwitchItem(43, " F6", "Zahl ", RangeKind == NumberRange);
    DrawSwitchItem(51, " F7", "Ziffern ", RangeKind == DigitSet);
    DrawSwitchItem(63, " F8", "mit Bedingung ", FieldConditionOn);
}

void ShowLegend(std::string_view legend) {
    SetStatusColors();
    const CursorKeeper cursor;
    MoveCursor(1, 25);
    ClearToLineEnd();
    bool key = false;
    std::string run;
    auto flush = [&] {
        SetForeColor(key ? kRed : kDarkGrey);
        WriteText(run);
        run.clear();
    };
    for (char ch : legend) {
        if (ch == '~') {
            flush();
            key = !key;
        } else {
            run += ch;
        }
    }
    flush();
    cursor.Restore();
    if (legend == LegendEntryMain || legend == LegendVerifyMain) {
        ShowDupSkip();
    } else if (legend == LegendConversion) {
        DrawConversionSwitches();
    } else if (legend == LegendDefinitionSave) {
        DrawProgramKeySwitch();
    } else if (legend == LegendSearch) {
        DrawSearchSwitches();
    } else if (legend == LegendRange && RangePromptActive) {
        DrawRangeSwitches();
    }
    SetStatusColors();
}

const std::string& LegendFor() {
    static const std::string empty;
    switch (Mode) {
        case ModeDefinition:
            if (SubMode == SubMain) return LegendDefinitionMain;
            if (SubMode == SubReadDefinition) return LegendDefinitionLoad;
            if (SubMode == SubWriteDefinition) return LegendDefinitionSave;
            return empty;
        case ModeEntry:
            if (SubMode == SubMain) return LegendEntryMain;
            if (SubMode == SubLoadData || SubMode == SubSaveData) return LegendConversion;
            return empty;
        case ModeVerify:
            if (SubMode == SubMain) return LegendVerifyMain;
            if (SubMode == SubLoadData || SubMode == SubSaveData) return LegendConversion;
            if (SubMode == SubPrintData) return LegendEscape;
            return empty;
        default:
            return empty;
    }
}

void ShowProgramKeyCaptions() {
    WindowSystem* host = BoundWindowSystem();
    if (host == nullptr) return;
    for (int k = 0; k < kProgramKeys; ++k)
        host->SetProgramKeyCaption(k, OemToUtf8(ProgramKeyCaption(k)));
}
