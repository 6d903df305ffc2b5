#include "model/FieldModel.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "model/FieldTypes.h"
#include "platform/CodePage.h"

std::array<FieldDef, MaxFields + 1> FieldTable;
std::array<FieldExtra, MaxFields + 1> FieldExtras;
std::array<TableAssignment, MaxFields + 1> TableAssignments;
uint16_t FieldCount = 0;

RecordBuffer WorkRecord{};
RecordBuffer VerifyRecord{};
RecordBuffer DupRecord{};
RecordBuffer ScratchRecord{};
RecordBuffer BackupRecord{};
int64_t CurrentRecordNumber = 0;

FieldEditHooks FieldHooks;

namespace {

bool IsEraseChar(uint8_t c) {
    return c == ' ' || c == '-' || c == '.';
}

int FieldEnd(int n) {
    return FieldTable[n].RecordPos + FieldTable[n].Length - 1;
}

// Moves field `from` with its companions into slot `to`.
void MoveFieldEntry(int to, int from) {
    FieldTable[to] = FieldTable[from];
    FieldExtras[to] = FieldExtras[from];
    TableAssignments[to] = std::move(TableAssignments[from]);
}

void ClearTable(int n) {
    TableAssignments[n].Name.clear();
    TableAssignments[n].Table.reset();
}

// A condition names its field by number. When the fields `first` to `last`
// are renumbered by `delta`, every condition on them follows its field; a
// condition on the field `gone` (0: none) has lost its field and goes.
void RenumberConditions(int first, int last, int delta, int gone) {
    for (int n = 1; n <= FieldCount; ++n) {
        FieldExtra& extra = FieldExtras[n];
        if (gone != 0 && extra.ConditionField == gone) {
            extra.ConditionField = 0;
            extra.ConditionFrom = 1;
            extra.ConditionTo = 0;
        } else if (extra.ConditionField >= first && extra.ConditionField <= last) {
            extra.ConditionField = static_cast<int16_t>(extra.ConditionField + delta);
        }
    }
}

}  // namespace

std::string AddressColumnName(int column) {
    static const char* const names[] = {"Str.", "Hausnr.", "PLZ", "Ort", "Ortszus.", "Ortsteil"};
    if (column < 1 || column > 6) return {};
    return names[column - 1];
}

void ResetFieldModel() {
    for (int n = 0; n <= MaxFields; ++n) {
        FieldTable[n] = FieldDef{};
        FieldExtras[n] = FieldExtra{};
        ClearTable(n);
    }
    FieldCount = 0;
    CurrentRecordNumber = 0;
    for (RecordBuffer* buffer :
         {&WorkRecord, &VerifyRecord, &DupRecord, &ScratchRecord, &BackupRecord}) {
        buffer->fill(0);
    }
}

int RecordLength() {
    return FieldCount == 0 ? 0 : FieldEnd(FieldCount);
}

int FieldAtRecordPos(int p) {
    for (int n = 1; n <= FieldCount; ++n) {
        if (FieldTable[n].RecordPos <= p && p <= FieldEnd(n)) return n;
    }
    return FieldCount + 1;
}

int RecordPosOf(int n, int k) {
    if (n > FieldCount) return RecordLength() + 1;
    if (n <= 0) return 0;
    return FieldTable[n].RecordPos + k - 1;
}

RecordBuffer EmptyPlaceImage() {
    RecordBuffer image{};
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& field = FieldTable[n];
        if (!HasFlag(field.Type, EndMarker)) continue;
        const std::span<uint8_t> bytes = FieldBytes(field, image);
        if (bytes.size() > 1) bytes[bytes.size() - 2] = 13;
        if (!bytes.empty()) bytes.back() = 10;
    }
    return image;
}

bool HasTable(int n) {
    return n >= 0 && n <= MaxFields && TableAssignments[n].Table != nullptr;
}

// Both edit within the field at p only, and never outside the buffer, whatever
// the field table holds.
void DeleteCharInField(int p, RecordBuffer& buffer) {
    const int n = FieldAtRecordPos(p);
    if (p < 1 || p > MaxRecordLength || n > FieldCount) return;
    const int end = std::min(FieldEnd(n), MaxRecordLength);
    for (int i = p; i < end; ++i) buffer[i - 1] = buffer[i];
    buffer[end - 1] = 0;
}

void InsertCharInField(int p, uint8_t c, RecordBuffer& buffer) {
    const int n = FieldAtRecordPos(p);
    if (p < 1 || p > MaxRecordLength || n > FieldCount) return;
    const int end = std::min(FieldEnd(n), MaxRecordLength);
    for (int i = end; i > p; --i) buffer[i - 1] = buffer[i - 2];
    buffer[p - 1] = c;
}

bool RecordsDiffer(const RecordBuffer& a, const RecordBuffer& b) {
    return a != b;
}

void ResetFieldExtra(int n) {
    if (n >= 0 && n <= MaxFields) FieldExtras[n] = FieldExtra{};
}

void PutField(int n, uint8_t letter, int length) {
    if (length < 1 || length > MaxFields || n < 1 || n > MaxFields) return;
    if (n > FieldCount) {
        ++FieldCount;
        n = FieldCount;
    }
    ResetFieldExtra(n);
    FieldDef& field = FieldTable[n];
    field.RangeFrom = 1;
    field.RangeTo = 0;
    field.Type = letter;
    field.Length = static_cast<int16_t>(length);
    ClearTable(n);
    if (n == 1) {
        field.RecordPos = 1;
        field.ScreenPos = 1;
    } else {
        const FieldDef& before = FieldTable[n - 1];
        field.RecordPos = static_cast<int16_t>(before.RecordPos + before.Length);
        field.ScreenPos = static_cast<int16_t>(before.ScreenPos + before.Length);
    }
    if (RecordLength() > MaxRecordLength || field.ScreenPos + length - 1 > MaxRecordLength) {
        --FieldCount;
    }
}

bool SetTypeSplitOrMerge(int n, uint8_t c, int cursorPos) {
    if (!IsField(n)) return true;
    const int p = cursorPos;
    FieldDef& field = FieldTable[n];
    if (p == field.RecordPos) {
        if (c >= 'A' && c <= 'Z') {
            field.Type = c;
        } else if (IsEraseChar(c) && n > 1) {
            const int length = field.Length;
            const FieldDef& before = FieldTable[n - 1];
            const bool touched = before.ScreenPos + before.Length >= field.ScreenPos;
            ClearTable(n);
            const int oldCount = FieldCount;
            --FieldCount;
            for (int m = n + 1; m <= oldCount; ++m) MoveFieldEntry(m - 1, m);
            ClearTable(oldCount);
            ResetFieldExtra(oldCount);
            RenumberConditions(n + 1, oldCount, -1, n);
            FieldTable[n - 1].Length = static_cast<int16_t>(FieldTable[n - 1].Length + length);
            return touched;
        }
        return true;
    }
    if (FieldCount >= MaxFields || IsEraseChar(c) || !(c >= 'A' && c <= 'Z')) return true;
    const int length = field.Length;
    field.Length = static_cast<int16_t>(p - field.RecordPos);
    ++FieldCount;
    for (int m = FieldCount; m >= n + 2; --m) MoveFieldEntry(m, m - 1);
    // Field n keeps its number, so conditions on it stay. Numbers beyond the
    // last field move up too, so that none of them comes to name the field
    // that is now last.
    RenumberConditions(n + 1, MaxFields, +1, 0);
    PutField(n + 1, c, length - FieldTable[n].Length);
    return true;
}

bool ResizeField(int n, int delta) {
    if (!IsField(n)) return true;
    const int newLength = FieldTable[n].Length + delta;
    if (newLength < 1 || newLength > MaxFields) return true;
    // The fields as they were, to undo a change that does not fit. The journal
    // is no copy to undo from: after a write that failed it holds an older layout.
    const std::vector<FieldDef> before(FieldTable.begin() + n, FieldTable.begin() + FieldCount + 1);
    if (FieldHooks.EraseOnScreen) FieldHooks.EraseOnScreen(n);
    FieldTable[n].Length = static_cast<int16_t>(newLength);
    if (FieldHooks.DrawOnScreen) FieldHooks.DrawOnScreen(n);
    for (int m = n + 1; m <= FieldCount; ++m) {
        FieldDef& field = FieldTable[m];
        field.RecordPos = static_cast<int16_t>(field.RecordPos + delta);
        const FieldDef& before = FieldTable[m - 1];
        const int earliest = before.ScreenPos + before.Length;
        if (field.ScreenPos < earliest) {
            // Pushed fields can run past the screen; the check below undoes that.
            field.ScreenPos = static_cast<int16_t>(std::min(earliest, 32767));
            if (FieldHooks.DrawOnScreen) FieldHooks.DrawOnScreen(m);
        }
    }
    const FieldDef& last = FieldTable[FieldCount];
    if (RecordLength() <= MaxRecordLength && last.ScreenPos + last.Length - 1 <= MaxRecordLength) {
        if (FieldHooks.PlaceCursorAt) FieldHooks.PlaceCursorAt(FieldTable[n].RecordPos);
        if (FieldHooks.WriteJournal) FieldHooks.WriteJournal();
        return true;
    }
    std::copy(before.begin(), before.end(), FieldTable.begin() + n);
    return false;
}

void RemoveLastField() {
    if (FieldCount == 0) return;
    const int gone = FieldCount;
    ClearTable(gone);
    ResetFieldExtra(gone);
    --FieldCount;
    RenumberConditions(0, -1, 0, gone);
}

void ResetFieldTable() {
    for (int n = 1; n <= MaxFields; ++n) {
        // The names go too: a name is kept for its field even while its table
        // cannot be read, and must not pass to a field of the next layout.
        ClearTable(n);
        ResetFieldExtra(n);
    }
}

void BlanksForZeros(uint8_t* bytes, std::size_t count) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, bytes + i, 8);
        // 0x80 exactly in the bytes that are 0, shifted down to 0x20 (a blank).
        const uint64_t zeros = ~(((word & kLow7) + kLow7) | word | kLow7);
        word |= zeros >> 2;
        std::memcpy(bytes + i, &word, 8);
    }
    for (; i < count; ++i) bytes[i] = bytes[i] == 0 ? ' ' : bytes[i];
}
