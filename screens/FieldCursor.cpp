#include "screens/FieldCursor.h"

#include "console/ConsoleScreen.h"
#include "model/FieldModel.h"

namespace {

int32_t savedX = 1;
int32_t savedY = 1;

}  // namespace

int CursorRecordPos() {
    const int d = CursorX + (CursorY - 2) * 80;
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& f = FieldTable[n];
        if (f.ScreenPos <= d && d <= f.ScreenPos + f.Length - 1)
            return f.RecordPos + (d - f.ScreenPos);
    }
    return RecordLength() + 1;
}

int CursorField() {
    return FieldAtRecordPos(CursorRecordPos());
}

void PlaceCursorAtRecordPos(int p) {
    int s = 1;
    const int n = FieldAtRecordPos(p);
    if (n <= FieldCount) {
        s = FieldTable[n].ScreenPos + (p - FieldTable[n].RecordPos);
    } else if (FieldCount > 0) {
        s = FieldTable[FieldCount].ScreenPos + FieldTable[FieldCount].Length;
    }
    MoveCursor((s - 1) % 80 + 1, (s - 1) / 80 + 2);
}

void SaveCursor() {
    savedX = CursorX;
    savedY = CursorY;
}

void RestoreCursor() {
    MoveCursor(savedX, savedY);
}
