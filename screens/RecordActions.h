// Operator actions on records beyond moving the cursor: the Dup/Skip switch,
// copying a field from the previous record, taking over re-keyed values in
// verify mode, searching, and the question that clears all data.
#pragma once
#include <cstdint>
#include <string>

#include "model/FieldModel.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"

extern bool DupSkipOn;
extern std::string LastSearchTerm;  // code page 850
enum SearchKindValue { SearchByRecordNumber = 0, SearchByContent = 1 };
extern int SearchKind;

// Draws the Dup/Skip indicator on the legend line in its current state. Only
// switching it (F4) applies automatic Dup and Skip at once: a legend drawn
// again (after a choice list, a question, a search) must not move the cursor
// on, which could store the record before the screen's own step had finished.
void ShowDupSkip();
// F4: switches Dup/Skip and shows it; switching it on at once skips or fills
// the field the cursor stands in.
void ToggleDupSkip();

// Copies field n from the previous record into the buffer being keyed (F6,
// and automatic Dup in entry mode).
void DupField(int n);
// Whether field n equals the same field of the previous record (automatic Dup
// in verify mode); false when there is no previous record.
bool VerifyAgainstPrevious(int n);

// Verify mode, F8: the operator's input of field n becomes the stored value
// (the rejected input right after a mismatch, or the input kept for re-keying
// when nothing was typed yet); the record is committed.
void Korrektur(int n);
// Verify mode, F7: every field of the record counts as verified again.
void SatzScan();
// F5: asks for a term and searches the records by content (from the next
// record on, round to the current one) or goes to a record by its number.
void Search();

// While an activity walks through other records with the record buffers (a
// search, fetching the previous record for Dup), the record the operator is on
// is kept here with its file position and cursor, so that Stop stores that
// record at its own place and not the one the buffers hold at that moment.
// Only the outermost guard counts.
class OperatorRecordGuard {
  public:
    // Keeps the buffers and file position as they are now, and the cursor
    // (cursorX, cursorY) of the operator's record.
    OperatorRecordGuard(int32_t cursorX, int32_t cursorY);
    OperatorRecordGuard();  // with the console cursor as it is now
    ~OperatorRecordGuard();
    OperatorRecordGuard(const OperatorRecordGuard&) = delete;
    OperatorRecordGuard& operator=(const OperatorRecordGuard&) = delete;

    // Puts the operator's record back into the buffers, the record file's
    // position and the cursor.
    void Restore() const;

  private:
    friend bool CommitOperatorRecord();
    RecordBuffer work_;
    RecordBuffer verify_;
    OperatorRecordState record_;
    int32_t cursorX_;
    int32_t cursorY_;
    bool outermost_;
};
// Stop and closing the window: commits as keyed (with flush) the record the operator is
// on: the one kept by a guard while an activity holds the buffers (which get
// back what the activity had in them), else the record in the buffers.
bool CommitOperatorRecord();

enum class ClearAnswer { Keep, Deleted, Cancelled };
// "Möchten Sie alle (noch nicht gesicherten) Daten löschen (Esc/N/Entf) ?"
// N keeps everything, Entf deletes the layout, the records, the program keys
// and all tables; anything else cancels.
ClearAnswer ClearAllPrompt();
// The same question when leaving: true when the answer was N or Entf.
bool EndPrompt();

void ResetRecordActions();
