#include "screens/FieldEngine.h"

#include <algorithm>
#include <string>

#include "console/WinCrt.h"
#include "files/Statistics.h"
#include "model/FieldRules.h"
#include "model/FieldTypes.h"
#include "model/SignOverpunch.h"
#include "platform/WindowSystem.h"
#include "screens/EntryScreen.h"
#include "screens/FieldCursor.h"
#include "screens/FieldValidation.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/RecordActions.h"
#include "screens/Session.h"
#include "screens/StatusLine.h"

namespace {

// The operator changed the keyed buffer: in entry mode that is the record
// itself, which from now on is a record even where the file holds none.
void Keyed() {
    if (&KeyedRecord() == &WorkRecord) NoteRecordKeyed();
}

// A move to another record that the disk refused: the next character key
// makes it before it is keyed, so that what is typed lands where it would
// have landed without the failure.
struct PendingMove {
    bool set = false;
    RecordMove move = RecordMove::Next;
    int cursorPos = 1;
} pendingMove;

}  // namespace

namespace {

// The screen has 23 rows of 80 cells for fields.
constexpr int kFieldCells = 23 * 80;

// What a record byte shows in a field: unkeyed places as dots, the record end
// marker as two corners, other control bytes as '?'.
char ShownByte(uint8_t c) {
    if (c == 0) return '.';
    if (c == 13) return static_cast<char>(0xD9);  // bottom right corner
    if (c == 10) return static_cast<char>(0xDA);  // top left corner
    if (c < 32 || c == 127) return '?';
    return static_cast<char>(c);
}

// Where a second keying of a field starts: at the first byte of the stored
// value that carries information, so that a right-justified number is keyed
// from its first digit on.
int RekeyOffset(const FieldDef& field, std::span<const uint8_t> stored) {
    const bool numeric = IsNumericType(field.Type);
    const bool zeroFill = numeric && HasFlag(field.Type, ZeroFill);
    const auto padding = [&](uint8_t c) {
        return c == 0 || c == ' ' || (numeric && c == '-') || (zeroFill && c == '0');
    };
    const auto found = std::find_if_not(stored.begin(), stored.end(), padding);
    if (found != stored.end()) return static_cast<int>(found - stored.begin());
    // A zero-filled zero is keyed as its last digit.
    if (zeroFill && !stored.empty() && stored.back() == '0')
        return static_cast<int>(stored.size()) - 1;
    return 0;
}

// Whether field n's digit set applies to what is keyed now: it does unless the
// field names a numeric condition field whose value lies outside the condition
// range. The condition field is read with its sign and left exactly as it was.
bool DigitSetApplies(int n) {
    const FieldExtra& extra = FieldExtras[n];
    const int m = extra.ConditionField;
    if (!IsField(m) || !IsNumericType(FieldTable[m].Type)) return true;
    const std::span<uint8_t> bytes = FieldBytes(FieldTable[m], WorkRecord);
    const std::string kept(bytes.begin(), bytes.end());
    const bool negative = NormaliseSign(FieldTable[m], WorkRecord);
    const bool inside =
        NumberInRange(m, WorkRecord, extra.ConditionFrom, extra.ConditionTo, negative);
    std::copy(kept.begin(), kept.end(), bytes.begin());
    return inside;
}

// A digit set allows the non-zero digits of its lower bound, and '0' when that
// bound is 0 or negative.
bool DigitAllowed(int32_t lower, uint8_t key) {
    if (key == '0') return lower <= 0;
    const int64_t magnitude = lower < 0 ? -static_cast<int64_t>(lower) : lower;
    return key >= '1' && key <= '9' &&
           std::to_string(magnitude).find(static_cast<char>(key)) != std::string::npos;
}

int FieldLast(const FieldDef& field) {
    return field.RecordPos + field.Length - 1;
}

// '-' in a numeric field: a field that carries a sign loses it, any other
// gets one. When the sign went in at the front, the cursor follows the
// character it stood on, but never out of the field.
void ToggleSign(int n) {
    const FieldDef& field = FieldTable[n];
    RecordBuffer& record = KeyedRecord();
    if (!NormaliseSign(field, record) && PlaceMinus(field, record, CursorRecordPos())) {
        const int p = CursorRecordPos();
        if (p < FieldLast(field)) PlaceCursorAtRecordPos(p + 1);
    }
    Keyed();
    DrawEntryField(n);
}

// Skipping a field backward: to the previous field's start when the cursor
// came onto field n's first position, else to the previous field's last
// position; before field 1 into the previous record, on the last field.
void SkipBackward(int n) {
    const bool atStart = CursorRecordPos() <= FieldTable[n].RecordPos;
    if (n > 1) {
        PlaceCursorAtRecordPos(atStart ? FieldTable[n - 1].RecordPos
                                       : FieldLast(FieldTable[n - 1]));
        return;
    }
    // On the first record there is nowhere to go back to: the field is passed
    // forwards instead, so that the operator never keys into a field that is
    // to be passed over (Home onto a record that starts with a counter).
    if (CurrentRecordNumber <= 1) {
        GoToNextFieldStart(n);
        return;
    }
    const FieldDef& last = FieldTable[FieldCount];
    OpenPreviousRecord(atStart ? last.RecordPos : FieldLast(last));
}

}  // namespace

RecordBuffer& KeyedRecord() {
    return Mode == ModeVerify ? VerifyRecord : WorkRecord;
}

bool FieldIsEmpty(int n) {
    if (!IsField(n)) return true;
    const std::span<const uint8_t> bytes = FieldBytes(FieldTable[n], WorkRecord);
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t c) { return c == 0 || c == ' '; });
}

void DrawEntryField(int n) {
    if (!IsField(n)) return;
    const FieldDef& field = FieldTable[n];
    const RecordBuffer& record = KeyedRecord();
    const int32_t x = CursorX;
    const int32_t y = CursorY;
    SetForeColor(kYellow);
    SetBackColor(kBlue);

    // One write per row the field covers; cells off the screen and bytes
    // outside the record are left out.
    std::string run;
    int runStart = 0;
    const auto flush = [&] {
        if (run.empty()) return;
        MoveCursor((runStart - 1) % 80 + 1, (runStart - 1) / 80 + 2);
        WriteText(run);
        run.clear();
    };
    for (int k = 0; k < field.Length; ++k) {
        const int p = field.RecordPos + k;
        const int s = field.ScreenPos + k;
        if (p < 1 || p > MaxRecordLength || s < 1 || s > kFieldCells) {
            flush();
            continue;
        }
        if (!run.empty() && (s - 1) % 80 == 0) flush();
        if (run.empty()) runStart = s;
        run += ShownByte(record[static_cast<std::size_t>(p - 1)]);
    }
    flush();
    MoveCursor(x, y);
}

void DrawAllEntryFields(int p) {
    for (int n = 1; n <= FieldCount; ++n) DrawEntryField(n);
    PlaceCursorAtRecordPos(p);
}

void FieldEnter(int n, bool forward) {
    if (!IsField(n)) return;
    const uint8_t type = FieldTable[n].Type;
    const bool verify = Mode == ModeVerify;
    if (DupSkipOn && HasFlag(type, AutoDup)) {
        if (!verify) {
            DupField(n);
            DrawEntryField(n);
        } else if (!VerifyAgainstPrevious(n)) {
            // Keyed and verified by hand.
            Beep();
            return;
        }
    }
    if (verify && DupSkipOn && HasFlag(type, AutoSkip) && !HasFlag(type, AutoDup) &&
        !FieldIsEmpty(n)) {
        // A filled auto-skip field is verified by keying it.
        Beep();
        return;
    }
    const bool skip = (DupSkipOn && HasFlag(type, AutoSkip)) ||
                      (verify && HasFlag(type, NoVerify)) || HasFlag(type, Bypass);
    if (!skip) return;
    // Dup/Skip passes a field only where verify mode has checked it: a Dup
    // field against the previous record, an empty skip field as empty.
    if (verify && DupSkipOn && HasFlag(type, AutoSkip)) NoteFieldConfirmed(n);
    if (forward) {
        GoToNextFieldStart(n);
    } else {
        SkipBackward(n);
    }
}

void KeyCharacter(uint8_t key) {
    const int n = CursorField();
    if (!IsField(n) || key == 0) return;
    const FieldDef& field = FieldTable[n];
    const bool numeric = IsNumericType(field.Type);
    if (numeric) {
        key = MapNumericKey(key);
        const bool noDigit = key != ' ' && key != '-' && (key < '0' || key > '9');
        if (noDigit) Beep(FieldSays(n, "ein Zahlenfeld, nur Ziffern, Leerzeichen und Minus"));
        if (field.RangeTo == DigitSetMarker && DigitSetApplies(n) &&
            !DigitAllowed(field.RangeFrom, key)) {
            // A letter is no digit of the set either: its own reason says more.
            if (noDigit) {
                Beep();
            } else {
                Beep(FieldSays(n, CheckReason(n, FieldCheck::DigitSet)));
            }
        }
        if (key == '-') {
            ToggleSign(n);
            CountKeystroke(Mode == ModeVerify);
            return;
        }
    }
    if (key == 0) return;

    const int p = CursorRecordPos();
    if (p < 1 || p > MaxRecordLength) return;
    const std::size_t at = static_cast<std::size_t>(p - 1);
    RecordBuffer& record = KeyedRecord();
    record[at] = key;
    Keyed();
    CountKeystroke(Mode == ModeVerify);
    if (Mode == ModeVerify && key != WorkRecord[at]) {
        if (MismatchBeepArmed) Beep(FieldSays(n, "anders als gespeichert"));
        MismatchBeepArmed = false;
    }
    DrawEntryField(n);
    PlaceCursorAtRecordPos(p + 1);
}

void InsertBlankAtCursor() {
    const int p = CursorRecordPos();
    // Past the last field there is nothing to make room in.
    if (!IsField(FieldAtRecordPos(p))) {
        Beep();
        return;
    }
    InsertCharInField(p, ' ', KeyedRecord());
    Keyed();
    DrawEntryField(FieldAtRecordPos(p));
}

void DeleteAtCursor() {
    const int p = CursorRecordPos();
    if (!IsField(FieldAtRecordPos(p))) {
        Beep();
        return;
    }
    DeleteCharInField(p, KeyedRecord());
    Keyed();
    DrawEntryField(FieldAtRecordPos(p));
}

void BackspaceAtCursor() {
    const int p = CursorRecordPos();
    if (p <= 1) return;
    PlaceCursorAtRecordPos(p - 1);
    DeleteAtCursor();
}

void ClearFieldAtCursor() {
    const int n = CursorField();
    if (!IsField(n)) {
        Beep();
        return;
    }
    const std::span<uint8_t> bytes = FieldBytes(FieldTable[n], KeyedRecord());
    std::fill(bytes.begin(), bytes.end(), 0);
    Keyed();
    DrawEntryField(n);
    PlaceCursorAtRecordPos(FieldTable[n].RecordPos);
}

bool MoveToRecord(RecordMove move, int cursorPos, const std::function<bool()>& keepGoing) {
    pendingMove = PendingMove{};
    if (!CommitRecord(true)) {
        if (LastCommitOutcome() == CommitOutcome::NotWritten)
            pendingMove = PendingMove{true, move, cursorPos};
        return false;
    }
    try {
        switch (move) {
            case RecordMove::Next:
                // Verify mode goes on to the next record still to verify.
                if (Mode == ModeVerify) {
                    NextUnverifiedRecord(true);
                } else {
                    NextRecord(true);
                }
                break;
            case RecordMove::Previous:
                if (!PreviousRecord(true)) return false;
                break;
            case RecordMove::First:
                FirstRecord(true);
                break;
            case RecordMove::Last: {
                bool stopped = false;
                LastRecord(true, [&] {
                    stopped = keepGoing && !keepGoing();
                    return !stopped;
                });
                // Stopped on the way: the operator stays where he was.
                if (stopped) return false;
                break;
            }
        }
    } catch (const InOutError&) {
        // The record to go to could not be read: the operator stays on his
        // own, and the next character tries the move again.
        pendingMove = PendingMove{true, move, cursorPos};
        throw;
    }
    DrawAllEntryFields(cursorPos);
    return true;
}

bool MakePendingMove() {
    if (!pendingMove.set) return true;
    const PendingMove move = pendingMove;
    return MoveToRecord(move.move, move.cursorPos);
}

void DropPendingMove() {
    pendingMove = PendingMove{};
}

bool OpenNextRecord(int cursorPos) {
    return MoveToRecord(RecordMove::Next, cursorPos);
}

bool OpenPreviousRecord(int cursorPos) {
    return MoveToRecord(RecordMove::Previous, cursorPos);
}

void GoToNextFieldStart(int n) {
    if (n >= 0 && n < FieldCount) {
        PlaceCursorAtRecordPos(FieldTable[n + 1].RecordPos);
    } else {
        OpenNextRecord(1);
    }
}

void ArmRekey(int n) {
    if (Mode != ModeVerify || !IsField(n)) return;
    const FieldDef& field = FieldTable[n];
    MismatchBeepArmed = true;
    const FieldExtent extent = ExtentOf(field);
    PlaceCursorAtRecordPos(extent.first + RekeyOffset(field, FieldBytes(field, WorkRecord)));
    ShowStatus("Pos", CursorRecordPos(), CurrentRecordNumber, n, true);

    // Look at the next key without taking it: the record loop acts on it.
    while (!PollKey()) BoundWindowSystem()->WaitForEvents();
    if (KeyQueue.KeyChar == 0) return;  // a function or cursor key

    RekeyPending = false;
    NoteFieldConfirmed(n);  // keyed a second time: the commit compares it
    const std::span<uint8_t> input = FieldBytes(field, VerifyRecord);
    std::copy(input.begin(), input.end(), FieldBytes(field, DupRecord).begin());
    std::fill(input.begin(), input.end(), 0);
    DrawEntryField(n);
}

int SettleCursor(SettleState& state, bool showStatus) {
    const int64_t began = CurrentRecordNumber;
    // A chain of skipped fields ends after 20 records; where the new record
    // behind the last is opened anew in its place, it ends after going round
    // it twice (a record of nothing but skipped fields).
    const int64_t rounds = 2 * (static_cast<int64_t>(FieldCount) + 1);
    int64_t inPlace = 0;
    for (;;) {
        int current = CursorField();
        const int64_t record = CurrentRecordNumber;
        const int64_t opening = RecordOpenings();
        const bool fieldChanged = current != state.previousField;
        const bool recordChanged = opening != state.previousOpening;
        const bool changed = fieldChanged || recordChanged;
        if (changed) MismatchBeepArmed = true;
        if (fieldChanged && !recordChanged) {
            if (!FieldExit(state.previousField, true)) {
                // Only a verify mismatch fails; FieldExit has put the cursor
                // back into that field for keying again.
                if (Mode != ModeVerify) PlaceCursorAtRecordPos(RecordPosOf(state.previousField, 1));
                return state.previousField;
            }
            DrawEntryField(state.previousField);
        }
        if (showStatus) {
            ShowStatus("Pos", CursorRecordPos(), CurrentRecordNumber, current,
                       changed || state.forceChanged);
            state.forceChanged = false;
        }
        // A record opened anew in the same place counts as one reached going
        // forward.
        const bool forward =
            !state.passBackwards &&
            (recordChanged ? record >= state.previousRecord : current >= state.previousField);
        state.passBackwards = false;
        state.previousRecord = record;
        state.previousOpening = opening;
        if (!changed) return current;
        if (recordChanged && record == began && ++inPlace > rounds) return current;
        FieldEnter(current, forward);
        if (Mode == ModeVerify) RekeyPending = true;
        const int64_t moved = CurrentRecordNumber - began;
        if (moved > 19 || moved < -19) {
            if (showStatus)
                ShowStatus("Pos", CursorRecordPos(), CurrentRecordNumber, CursorField(), true);
            return current;
        }
        state.previousField = current;
    }
}
