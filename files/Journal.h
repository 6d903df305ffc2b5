// The recovery journal: KELBRIN4.CR2 holds the records themselves and stays
// open for the whole session; KELBRIN4.CR1 holds the current layout and is
// rewritten at every change, so that after a power failure the next start
// finds both and offers to continue.
#pragma once
#include <cstdint>
#include <string>

#include "platform/ByteFile.h"

inline constexpr const char* kLayoutJournal = "KELBRIN4.CR1";
inline constexpr const char* kRecordJournal = "KELBRIN4.CR2";

// The open record file.
extern ByteFile RecordFile;

// Start of a session: takes the lock of the working directory, opens or
// creates KELBRIN4.CR2, reloads the layout from KELBRIN4.CR1, and when data was
// there already says so and asks whether to clear everything.
void OpenJournal();
// End of a session: closes KELBRIN4.CR2 and erases it when it is empty.
void CloseJournal();
// Writes the current layout (with the program keys) to KELBRIN4.CR1. The file
// is replaced whole: it always holds either the old or the new layout.
void JournalDefinition();
// Reads the layout back from KELBRIN4.CR1 (to undo an edit that did not fit).
void RestoreDefinitionFromJournal();
// Writes the record on the screen to the record file at its place; with
// `flush` it goes to the disk at once. False when a check refused it.
bool CommitRecord(bool flush);
// Closes the record file (Stop and closing the window).
void CloseRecordFile();
// Erases KELBRIN4.CR1 and starts KELBRIN4.CR2 anew, empty.
void ClearJournalFiles();
// Gives up the working directory's lock (end of the process, tests).
void ReleaseJournalLock();
