// Operator actions on records beyond moving the cursor: the Dup/Skip switch,
// the search settings, and the question that clears all data.
#pragma once
#include <string>

extern bool DupSkipOn;
extern std::string LastSearchTerm;  // code page 850
enum SearchKindValue { SearchByRecordNumber = 0, SearchByContent = 1 };
extern int SearchKind;

// Draws the Dup/Skip indicator on the legend line in its current state.
void ShowDupSkip();

// Copies field n from the previous record into the buffer being keyed (F6,
// and automatic Dup in entry mode).
void DupField(int n);
// Whether field n equals the same field of the previous record (automatic Dup
// in verify mode); false when there is no previous record.
bool VerifyAgainstPrevious(int n);

enum class ClearAnswer { Keep, Deleted, Cancelled };
// "Möchten Sie alle (noch nicht gesicherten) Daten löschen (Esc/N/Entf) ?"
// N keeps everything, Entf deletes the layout, the records, the program keys
// and all tables; anything else cancels.
ClearAnswer ClearAllPrompt();
// The same question when leaving: true when the answer was N or Entf.
bool EndPrompt();

void ResetRecordActions();
