// The recovery journal: KELBRIN4.CR2 holds the records themselves and stays
// open for the whole session; KELBRIN4.CR1 holds the current layout and is
// rewritten at every change, so that after a power failure the next start
// finds both and offers to continue.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "core/FieldModel.h"
#include "platform/ByteFile.h"

inline constexpr const char* kLayoutJournal = "KELBRIN4.CR1";
inline constexpr const char* kRecordJournal = "KELBRIN4.CR2";

// The open record file.
extern ByteFile RecordFile;

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
// The records. KELBRIN4.CR2 holds records of RecordLength() bytes back to
// back; the file position of the record file is the current record's. None of
// these does anything without fields (a record length of 0).

// Reads the record at the current position into WorkRecord (and, in verify
// mode, VerifyRecord); false, with both cleared, when no whole record is
// there. Sets CurrentRecordNumber. With `refresh`, verify mode formats it.
bool LoadRecord(bool refresh);
// Checks the record on the screen and writes it at its place, negative
// numbers overpunched; with `flush` it is on the disk when this returns true.
// False when a check refused it or it could not be written: a write failure
// is shown to the operator, and the record stays in WorkRecord for the next
// commit to write again.
bool CommitRecord(bool flush);
bool PreviousRecord(bool refresh);
// Behind the last record: false, with cleared buffers, at the append position.
bool NextRecord(bool refresh);
bool FirstRecord(bool refresh);
// The last record that is not empty (position 0 when there is none).
bool LastRecord(bool refresh);
// An empty record appears at the current position, the later ones move back
// by one; a record that is deleted goes, the later ones move forward and the
// last one's old place is cleared. Both rewrite the record file whole, so a
// crash leaves every record exactly once, as before or as after.
void InsertRecord();
void DeleteRecord();
// Whether the first RecordLength() bytes of a record are all 0, LF or CR.
bool IsEmptyRecord(const RecordBuffer& record);
class FileReplacement;
// Builds a whole new record file with what `fill` writes (0 or the system's
// error number) beside the old one; it takes the old one's place, flushed,
// only when `fill` succeeded. Returns 0 or the first error: before the rename
// the record file stays exactly as it was. The new file is then the open
// record file (its position is not defined).
int ReplaceRecordFile(const std::function<int(FileReplacement&)>& fill);
// Closes the record file (Stop and closing the window).
void CloseRecordFile();
// Erases KELBRIN4.CR1 and starts KELBRIN4.CR2 anew, empty.
void ClearJournalFiles();
// Gives up the working directory's lock (end of the process, tests).
void ReleaseJournalLock();
// Whether the file `nativePath` (in the system's own form) is the journal file
// `journal` of the working directory: the same file on the disk (whatever
// name, link or spelling of the directory leads there), or, while the journal
// file is not there, its name in any case in the working directory. Saving
// anything there would destroy what the station keeps in it.
bool LeadsToJournalFile(const std::string& nativePath, const char* journal);
// The lock a station holds on its working directory for its whole session,
// for tools that read a working directory: taken on `nativeDirectory`
// (shared, or exclusive as a station takes it) without waiting. 0 with the
// lock's descriptor in `descriptor` (closing it gives the lock up);
// EWOULDBLOCK when it is held where the two do not go together (a station
// holds it exclusively); otherwise the error of opening the directory.
int LockWorkingDirectory(const std::string& nativeDirectory, bool shared, int& descriptor);
// Whether a station works in `nativeDirectory` (some process holds its lock
// exclusively), found out without touching the lock. False when the system
// does not tell.
bool StationWorksIn(const std::string& nativeDirectory);
