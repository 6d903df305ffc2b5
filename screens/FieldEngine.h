// Keying one field on the entry and verify screen: which buffer the operator
// keys into, how a field is drawn there, and how verify mode prepares a field
// for keying it again. The checks that run when the cursor leaves a field are
// in FieldValidation.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>

#include "model/FieldModel.h"

// The buffer the operator keys into and the screen shows: the VerifyRecord in
// verify mode, the WorkRecord otherwise.
RecordBuffer& KeyedRecord();

// Every byte of field n in the WorkRecord is 0 or a blank; also true for a
// number that names no field and for a field of length 0.
bool FieldIsEmpty(int n);

// Redraws field n in the entry colours from the keyed buffer, one cell per
// byte: 0 as '.', CR and LF as the two corners of the end mark, any other
// control byte as '?'. The cursor stays where it was. (The definition screen
// draws fields its own way, with DrawField.)
void DrawEntryField(int n);
// Redraws fields 1..count and puts the cursor on record position p.
void DrawAllEntryFields(int p);

// Verify mode: prepares field n for keying it a second time. The cursor goes to
// where the stored value begins, and the station waits for a key without
// taking it. A key that gives a character starts the second keying: the
// field's verify input is kept in the DupRecord (for Korrektur) and the field
// is emptied. A function or cursor key leaves the field as it is.
void ArmRekey(int n);

// What happens by itself when the cursor lands on field n (`forward`: it came
// from before the field): automatic Dup, the skips of Dup/Skip, Bypass and
// fields verify mode passes over. A skip moves the cursor on, across records
// when it runs past the first or last field. One step only: the record loop
// calls it again on wherever the cursor lands.
void FieldEnter(int n, bool forward);

// A character key in the field under the cursor, after the key was mapped
// through the alphanumeric key table. Numeric fields map it once more through
// the numeric key table and beep on anything but a digit, a blank or '-'; a
// digit set beeps on digits it does not allow. A wrong character is still
// keyed. '-' in a numeric field toggles the sign of the whole field instead.
// Any other character is stored at the cursor in the keyed buffer (in verify
// mode compared with the stored byte, the first mismatch of a field visit
// beeping), shown, and the cursor moves on, into the next field after a
// field's last position, past the record's end after its last one.
void KeyCharacter(uint8_t key);

// In-field editing at the cursor, in the keyed buffer; none of them crosses
// into another field. Ins puts a blank at the cursor and moves the rest of the
// field right (its last byte drops out); Del takes the byte at the cursor out
// and closes the gap with an unkeyed place at the end; Backspace moves the
// cursor one place left (not before position 1) and deletes there; Esc empties
// the field and puts the cursor on its start. Each redraws the field.
void InsertBlankAtCursor();
void DeleteAtCursor();
void BackspaceAtCursor();
void ClearFieldAtCursor();

enum class RecordMove { Next, Previous, First, Last };
// Leaving a record: it is committed with flush and, only when it was stored,
// the record `move` names is opened, all fields drawn and the cursor put on
// record position `cursorPos`. False when the record was not stored, there is
// no previous record, or `keepGoing` stopped the walk to the last one; the
// cursor and the record then stay. Behind the last record, where the new
// record was not keyed into, Next opens that same place anew. When the disk
// refused the record, the move is kept for MakePendingMove.
bool MoveToRecord(RecordMove move, int cursorPos, const std::function<bool()>& keepGoing = {});
bool OpenNextRecord(int cursorPos);
bool OpenPreviousRecord(int cursorPos);
// Makes the move the disk refused last (true when there is none, or it was
// made now): a character key typed after the refusal lands where it would
// have landed without it. Any other key drops the move (DropPendingMove).
bool MakePendingMove();
void DropPendingMove();
// To the start of the field after field n; past the last field into the next
// record at position 1. (Enter, Down, a skip forward.)
void GoToNextFieldStart(int n);

// What the record loop remembers between two keys: the field and the record
// (its number, and which opening of a record it was) the cursor was on, and
// whether the next status refresh must show the
// whole line even when neither changed.
struct SettleState {
    int previousField = 0;
    int64_t previousRecord = 0;
    int64_t previousOpening = -1;  // RecordOpenings() then; -1: none yet
    bool forceChanged = false;
    // The cursor was sent to the record's last position (End, Shift+Right,
    // Shift+Down): fields to be passed over there are passed backwards, so
    // that it stays on this record instead of running on into the next.
    bool passBackwards = false;
};
// Before each key: finds where the cursor now is, and while it has moved to
// another field or record, checks the field it left (FieldExit, same record
// only), refreshes the status line (with `showStatus`) and runs FieldEnter on
// the new field, which may move the cursor on again. Stops where the cursor
// stays, where a check holds the operator, or once the cursor is more than 19
// records from where it began, so that a record of nothing but skipped fields
// cannot run on for ever. Returns the field under the cursor.
int SettleCursor(SettleState& state, bool showStatus);
