// The recovery journal: KELBRIN4.CR2 holds the records themselves and stays
// open for the whole session; KELBRIN4.CR1 holds the current layout and is
// rewritten at every change, so that after a power failure the next start
// finds both and offers to continue.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "model/FieldModel.h"
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
// these does anything without fields (a record length of 0). A record is
// read only when the operator moves to it: a read that fails throws
// InOutError and leaves the operator where he was, buffers and all.

// Reads the record at the current position into WorkRecord (and, in verify
// mode, VerifyRecord); false, with both cleared, when no whole record is
// there. Sets CurrentRecordNumber. With `refresh`, verify mode formats it.
bool LoadRecord(bool refresh);
// The same at another position: the operator's record becomes that one.
bool OpenRecordAt(int64_t position, bool refresh);
// Checks the record on the screen and writes it at its place, negative
// numbers overpunched; with `flush` it is on the disk when this returns true.
// A record is written only when that changes the file: a record read from it
// only when it differs from what was read, and a place that holds no record
// (the new record behind the last, a cleared place) only once the operator
// has keyed into it. False when a check refused it or it could not be
// written: a write failure is shown to the operator, and the record stays in
// WorkRecord for the next commit to write again.
bool CommitRecord(bool flush);
enum class CommitOutcome {
    Stored,      // on the disk (or nothing there to change)
    Refused,     // a check (the verify comparison) holds it back
    NotWritten,  // the disk refused it; the operator has been told
};
// What the last CommitRecord came to.
CommitOutcome LastCommitOutcome();
// The operator changed the WorkRecord by keying (a character, a sign,
// in-field editing, Dup, Korrektur): a record in a place that holds none is
// then a record, and is stored.
void NoteRecordKeyed();
// Changes whenever another record becomes the operator's, and when the new
// record behind the last is opened anew (moving on from it goes nowhere).
int64_t RecordOpenings();
bool PreviousRecord(bool refresh);
// Behind the last record: false, with cleared buffers, at the append position.
// There it stays: a record nobody keyed into has no record behind it.
bool NextRecord(bool refresh);
bool FirstRecord(bool refresh);
// The last record that is not empty (position 0 when there is none). The
// file is read backwards in large blocks, holes passed over; `keepGoing` is
// asked between blocks and stops the walk when it says no: the operator then
// stays where he was and the result is false.
bool LastRecord(bool refresh, const std::function<bool()>& keepGoing = {});
// An empty record appears at the current position, the later ones move back
// by one; a record that is deleted goes, the later ones move forward and the
// last one's old place is cleared (it then holds no record, not even its
// counter). Both rewrite the record file whole, so a crash leaves every record
// exactly once, as before or as after; `keepGoing` is asked between blocks.
void InsertRecord(const std::function<bool()>& keepGoing = {});
void DeleteRecord(const std::function<bool()>& keepGoing = {});
// Whether the first RecordLength() bytes of a record are all 0, LF or CR.
bool IsEmptyRecord(const RecordBuffer& record);
// Whether `count` bytes are all 0, LF or CR.
bool IsEmptyBytes(const uint8_t* bytes, std::size_t count);
class FileReplacement;
// Builds a whole new record file with what `fill` writes (0 or the system's
// error number) beside the old one; it takes the old one's place, flushed,
// only when `fill` succeeded. Returns 0 or the first error: before the rename
// the record file stays exactly as it was. The new file is then the open
// record file, and the operator's record is its first place, not read yet.
int ReplaceRecordFile(const std::function<int(FileReplacement&)>& fill);

// What the record store knows of the operator's record, kept aside while an
// activity walks other records through the buffers and put back afterwards.
struct OperatorRecordState {
    int64_t position = 0;
    int64_t number = 0;
    int64_t openings = 0;
    bool keyed = false;
    bool onFile = false;    // the place held a record that is not empty
    RecordBuffer stored{};  // what the place held, as read or as last written
};
OperatorRecordState CurrentRecordState();
// Forgets everything of the operator's record and of the record length: a
// record file opened afresh (start of a session, tests).
void ResetRecordStore();
void RestoreRecordState(const OperatorRecordState& state);

// The record length KELBRIN4.CR2 was written with, which a station keeps in
// KELBRIN4.LEN beside it (KELBRIN4.CR1 may be changed or replaced while
// records are on file). Records are never read or written under another.
inline constexpr const char* kRecordLengthFile = "KELBRIN4.LEN";
struct RecordFileFit {
    enum class Kind {
        Fits,         // the records are of the layout's length (or there are none)
        OtherLength,  // they were written with another length
        NotWhole,     // no length known, and the file is no whole number of records
        CutShort,     // of the layout's length, but the last one is incomplete
    };
    Kind kind = Kind::Fits;
    int stored = 0;    // the length they were written with (0: not known)
    int layout = 0;    // the layout's record length
    int64_t size = 0;  // the size of KELBRIN4.CR2
};
// How records of `size` bytes in the working directory fit a layout of
// `layoutLength`, after KELBRIN4.LEN.
RecordFileFit CheckRecordFileFit(int64_t size, int layoutLength);
// The same for the station's open record file and its layout now.
RecordFileFit RecordFileFitNow();
// What the operator is told (UTF-8) when the records do not fit: what is
// refused, and what to do instead. Empty when they fit.
std::string RecordFileFitText(const RecordFileFit& fit);
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
// Whether `nativePath` leads to one of the files the station keeps in the
// working directory: the records, their length, the statistics and (unless
// `layoutJournal` is false, for the layout journal's own writes) the layout.
bool LeadsToStationFile(const std::string& nativePath, bool layoutJournal = true);
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
