// The recovery journal: KELBRIN4.CR2 holds the records themselves (the record
// store) and stays open for the whole session; KELBRIN4.CR1 holds the current
// layout and is rewritten at every change, so that after a power failure the
// next start finds both and offers to continue. Here the start and end of a
// session and the layout journal meet the operator: what failed is shown,
// and the start asks whether to continue.
#pragma once

#include "files/StationFiles.h"

// Start of a session: takes the lock of the working directory, opens or
// creates KELBRIN4.CR2, reloads the layout from KELBRIN4.CR1, and when data was
// there already says so and asks whether to clear everything. A KELBRIN4.CR1
// that is there but cannot be read, or a KELBRIN4.CR2 that is there but cannot
// be opened, throws InOutError before anything is made or written.
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
// Erases KELBRIN4.CR1 and starts KELBRIN4.CR2 anew, empty.
void ClearJournalFiles();
