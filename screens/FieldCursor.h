// Where the text cursor stands in the record: the screen cell of the cursor
// turned into a record position, and back; and the cursor's place kept while
// the status line asks something.
#pragma once

// The record position under the cursor; one past the record's end when the
// cursor is on no field.
int CursorRecordPos();
int CursorField();
// Puts the cursor on record position p (behind the last field when p lies
// beyond the record).
void PlaceCursorAtRecordPos(int p);

void SaveCursor();
void RestoreCursor();
