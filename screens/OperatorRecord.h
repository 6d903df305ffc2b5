// The operator's record: the record on the screen (WorkRecord, and in verify
// mode VerifyRecord) and its place in the record store. Moving to another
// record reads it into the buffers; leaving one checks and stores it. Here the
// store's results become what the operator sees: a failure shown in the box,
// a refusal that keeps him on his record.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "files/RecordStore.h"

// Reads the record at the current position into WorkRecord (and, in verify
// mode, VerifyRecord); false, with both cleared, when no whole record is
// there. Sets CurrentRecordNumber. With `refresh`, verify mode formats it.
// A read that fails throws InOutError and leaves the operator where he was,
// buffers and all. None of these does anything without fields.
bool LoadRecord(bool refresh);
// The same at another position: the operator's record becomes that one.
bool OpenRecordAt(int64_t position, bool refresh);
// Checks the record on the screen and writes it at its place, negative
// numbers overpunched; with `flush` it is on the disk when this returns true.
// A record is written only when that changes the file (see
// RecordStore::Commit). False when a check refused it or it could not be
// written: a write failure is shown to the operator, and the record stays in
// WorkRecord for the next commit to write again.
bool CommitRecord(bool flush);
// The same with the checks of entry mode whatever the screen's mode: the
// record goes to its place as keyed, and no verify comparison holds it back
// (leaving verify mode, the end of the station).
bool CommitRecordAsKeyed(bool flush);
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
// Verify mode's way forward: the next record not yet verified (or the new
// record behind the last).
bool NextUnverifiedRecord(bool refresh);
// Whether the operator's record, as stored, is verified. A read that fails
// throws InOutError.
bool RecordVerified();
// Whether the operator's record is due for verifying (in the sample).
bool RecordDue();
// Verify a sample: every n-th record (KELBRIN_SAMPLE, from 1 on; 1 and
// anything else: every record).
int SampleEvery();
// Keeps the sample of the setting with the verification, with a start
// chosen at random when the sample is new.
void UseVerificationSample();
// Verify mode: field n of the operator's record was keyed a second time (or
// taken over with Korrektur, or passed by Dup/Skip as verify mode does);
// a scan confirms all. A verify-mode commit of a record whose fields are all
// confirmed marks it verified.
void NoteFieldConfirmed(int n);
void NoteRecordScanned();
// The last record that is not empty (position 0 when there is none);
// `keepGoing` is asked between blocks and stops the walk when it says no: the
// operator then stays where he was and the result is false.
bool LastRecord(bool refresh, const std::function<bool()>& keepGoing = {});
// An empty record appears at the current position, the later ones move back
// by one (the record on the screen is stored first); a record that is deleted
// goes, the later ones move forward and the last one's old place is cleared.
// A failure is shown and leaves everything as it was; `keepGoing` is asked
// between blocks.
void InsertRecord(const std::function<bool()>& keepGoing = {});
void DeleteRecord(const std::function<bool()>& keepGoing = {});
class FileReplacement;
// RecordStore::Replace for the operator's records: afterwards his record is
// the first place, not read yet, with cleared buffers.
int ReplaceRecordFile(const std::function<int(FileReplacement&)>& fill);

OperatorRecordState CurrentRecordState();
void RestoreRecordState(const OperatorRecordState& state);
// Forgets everything of the operator's record and of the record length: a
// record file opened afresh (start of a session, tests).
void ResetRecordStore();

// How the station's records fit its layout now.
RecordFileFit RecordFileFitNow();
// What the operator is told (UTF-8) when the records do not fit: what is
// refused, and what to do instead. Empty when they fit.
std::string RecordFileFitText(const RecordFileFit& fit);
// Closes the record file (Stop and closing the window).
void CloseRecordFile();
