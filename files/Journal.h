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
// is replaced whole: it always holds either the old or the new layout. When it
// cannot be written the operator is told (once while the same failure lasts;
// after that a beep), the layout stays unwritten in memory and the next change
// or the end of the session writes it again. It never throws.
void JournalDefinition();
// Whether the layout in memory has changes KELBRIN4.CR1 does not hold yet.
bool LayoutJournalUnwritten();
// Before the station ends: writes the layout when it is unwritten (or, with
// `evenIfWritten`, in any case). A failure is always shown. True when
// KELBRIN4.CR1 now holds the layout.
bool WriteLayoutJournalForEnd(bool evenIfWritten);
// Writes the record on the screen to the record file at its place; with
// `flush` it goes to the disk at once. False when a check refused it.
bool CommitRecord(bool flush);
// Closes the record file (Stop and closing the window).
void CloseRecordFile();
// Erases KELBRIN4.CR1 and starts KELBRIN4.CR2 anew, empty.
void ClearJournalFiles();
// Gives up the working directory's lock (end of the process, tests).
void ReleaseJournalLock();
