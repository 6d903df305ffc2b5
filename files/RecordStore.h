// The record store: KELBRIN4.CR2 holds the records back to back, all of one
// length, which KELBRIN4.LEN beside it names. The store owns the open record
// file, that length, the operator's place in it and what it knows of the
// record there; it is the only code that writes records. It reads, writes,
// walks and moves records and returns what came of it: it never beeps, asks
// or draws. A read or seek that fails throws InOutError; the screens decide
// what the operator sees of any of it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "files/Verification.h"
#include "model/FieldModel.h"
#include "platform/ByteFile.h"

class FileReplacement;

inline constexpr const char* kRecordJournal = "KELBRIN4.CR2";
// The record length KELBRIN4.CR2 was written with. KELBRIN4.CR1 may be changed
// or replaced while records are on file: records are never read or written
// under another length than this one.
inline constexpr const char* kRecordLengthFile = "KELBRIN4.LEN";
// A record overwritten in place (a correction) is first written here with
// its place and its old bytes, flushed: a power failure in the middle of the
// overwrite then leaves a record the next start can make whole again.
inline constexpr const char* kCorrectionJournal = "KELBRIN4.KOR";

// What the store knows of the operator's record, kept aside while an activity
// walks other records through the buffers and put back afterwards.
struct OperatorRecordState {
    int64_t position = 0;
    int64_t number = 0;
    int64_t openings = 0;
    bool keyed = false;
    bool onFile = false;    // the place held a record that is not empty
    RecordBuffer stored{};  // what the place held, as read or as last written
};

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

// Whether `count` bytes are all 0, LF or CR.
bool IsEmptyBytes(const uint8_t* bytes, std::size_t count);
// Whether the first RecordLength() bytes of a record are all 0, LF or CR.
bool IsEmptyRecord(const RecordBuffer& record);

// A record that moves to another place when records are inserted or deleted,
// as it is stored there: `number` is its new record number (counters follow).
using RenumberRecord = std::function<RecordBuffer(const RecordBuffer& record, int64_t number)>;
// Asked between blocks of a long walk; false stops it.
using KeepGoing = std::function<bool()>;

class RecordStore {
  public:
    // Returned by walks and moves that `keepGoing` stopped (no error number,
    // and no place: -1 is "no record" for LastFilledSlot).
    static constexpr int kStopped = -2;

    // The record file itself: its size and bytes for readers that go through
    // all of it (export, printing), and for tests.
    ByteFile& File() { return file_; }
    bool IsOpen() const { return file_.IsOpen(); }
    int64_t Size() const;  // throws InOutError when the size cannot be had

    // Opens KELBRIN4.CR2, making it when it is not there. 0 or the error of
    // the open (its size not to be had throws); `made` says whether it was
    // made now. An existing file that cannot be opened is never replaced. The store forgets the
    // operator's place and reads the length from KELBRIN4.LEN.
    int OpenFile(bool& made);
    // The file whose failure OpenFile returned: the record file, or the
    // correction journal it completes a cut-off correction from.
    const char* OpenFailure() const { return openFailure_; }
    int CloseFile();
    // Closes the file and, when it holds nothing, erases it and its length.
    int CloseAndEraseIfEmpty();
    // Starts KELBRIN4.CR2 anew, empty, with no length: the next records may
    // have any. The operator is on the first place.
    void Clear();

    // The operator's place (a byte position) and record number.
    int64_t Position() const { return current_.position; }
    const OperatorRecordState& State() const { return current_; }
    void Restore(const OperatorRecordState& state);
    // Forgets the operator's record and the record length (a file opened
    // afresh: start of a session, tests).
    void Reset();
    // The operator changed the record by keying: a place that holds no
    // record then gets one at the next commit.
    void NoteKeyed() { current_.keyed = true; }
    int64_t Openings() const { return current_.openings; }

    // How the records fit a layout of `layoutLength` now.
    RecordFileFit Fit(int layoutLength) const;

    // Reads the record of `length` bytes at `position` without changing
    // anything: into `record` (the rest cleared); true when a whole record is
    // there.
    bool ReadAt(int64_t position, int length, RecordBuffer& record) const;
    // The record at `position` becomes the operator's: read first, and only
    // when that worked does the place change. True when a whole record is
    // there (`record` holds it; otherwise it is cleared).
    bool Open(int64_t position, int length, RecordBuffer& record);
    // Behind the last record: whether the place after the operator's holds
    // a whole record. When it does not, the operator's record is opened anew
    // where it is (nothing of it is stored, so nothing lies behind it).
    bool HasNext(int length);
    void OpenAnew();

    // Writes `image` (the record as the file holds it) at the operator's
    // place when that changes the file: a record read from it only when it
    // differs, a place that held none only once the operator keyed into it.
    // With `flush` it is on the disk when this returns 0. Otherwise the
    // system's error number; the store then still holds the record as it was.
    int Commit(const RecordBuffer& image, int length, bool flush);
    // Clears the operator's place (behind the last record) where it holds
    // anything, flushed: 0 or the error.
    int ClearPlace(const RecordBuffer& emptyImage, int length);

    // How many places up to the last record that is not empty: the number
    // of the last record. Read only when it is not known from the store's
    // own writes; a read that fails throws InOutError.
    int64_t RecordCount(int length);

    // Verification. A record place counts as verified while it holds the
    // bytes a pass in verify mode confirmed (see Verification.h); moving,
    // replacing and clearing records forget the verification of every place
    // they touch before they touch it.
    bool IsVerified(int64_t slot, int length);
    // The operator's record was stored as keyed in entry mode by `login`.
    int MarkKeyed(int length, const std::string& login);
    // The operator's record, as stored, was confirmed field by field in
    // verify mode by `login`: verified (flushed).
    int MarkVerified(int length, const std::string& login);
    // How many of the RecordCount records due for verifying are verified;
    // read whole only after a change the store cannot count.
    int64_t VerifiedCount(int length);
    // How many of the RecordCount record places are due for verifying.
    int64_t DueCount(int length);
    // The sample of records to verify, kept with the verification.
    VerificationSample Sample(int length) { return verification_.Sample(length); }
    int KeepSample(int length, const VerificationSample& sample);
    VerificationEntry VerificationOf(int64_t slot, int length) {
        return verification_.Entry(slot, length);
    }
    // Whether the last Commit wrote the record (it changed).
    bool CommitWrote() const { return commitWrote_; }

    // The place (0-based) of the last record that is not empty; -1 when there
    // is none, kStopped when `keepGoing` stopped the walk. Read backwards in
    // large blocks, holes in the file passed over.
    int64_t LastFilledSlot(int length, const KeepGoing& keepGoing);

    // An empty place (`emptyImage`) appears at the operator's place, the later
    // records move back by one; delete: the operator's record goes, the later
    // ones move forward and the last one's old place gets `emptyImage`. Both
    // rewrite the record file whole, so a crash leaves every record exactly
    // once, as before or as after. 0, kStopped or the error; the record file
    // and the operator's place are then as they were. On success the
    // operator's record is the one now at the place, in `atPlace`.
    int Insert(int length, const RecordBuffer& emptyImage, const RenumberRecord& renumber,
               const KeepGoing& keepGoing, RecordBuffer& atPlace);
    int Delete(int length, int64_t lastSlot, const RecordBuffer& emptyImage,
               const RenumberRecord& renumber, const KeepGoing& keepGoing, RecordBuffer& atPlace);

    // Builds a whole new record file with what `fill` writes (0 or the system's
    // error number) beside the old one; it takes the old one's place, flushed,
    // only when `fill` succeeded. Returns 0 or the first error: before the
    // rename the record file stays exactly as it was. The new file is then the
    // open record file, and the operator's record is its first place, not
    // read yet.
    int Replace(int length, const std::function<int(FileReplacement&)>& fill);

  private:
    int RecordTheLength(int length);
    // Writes `image` at the operator's place over what is there, flushed when
    // `flush`: through the correction journal where a record is overwritten.
    int Overwrite(const RecordBuffer& image, int length, bool flush, bool journaled);
    int JournalCorrection(int64_t position, const RecordBuffer& before, const RecordBuffer& after,
                          int length);
    // A correction cut short by a power failure is completed; the journal is
    // then emptied. 0 or the error.
    int CompleteCorrection();
    int EmptyCorrectionJournal();
    void ForgetLength();
    template <typename Fill>
    int Rewrite(int length, int64_t firstMoved, Fill fill);
    int TakeRewrittenPlace(int error, const OperatorRecordState& before, int length,
                           const RecordBuffer& image, RecordBuffer& atPlace);
    void TakePlace(int64_t position, int length, const RecordBuffer& record, bool whole,
                   bool moved);
    int CopyBytes(int64_t from, int64_t to, FileReplacement& out) const;
    int MoveRecords(int length, int64_t from, int64_t to, int64_t firstNumber, FileReplacement& out,
                    RecordBuffer& firstImage, const RenumberRecord& renumber,
                    const KeepGoing& keepGoing) const;

    ByteFile file_;
    OperatorRecordState current_;
    // The record length KELBRIN4.CR2 was written with; 0 while it is not
    // known (an empty record file takes any). `lengthRecorded` says whether
    // KELBRIN4.LEN holds it.
    int storedLength_ = 0;
    bool lengthRecorded_ = false;
    // RecordCount's answer for `countLength_`; -1 while not known.
    int64_t count_ = -1;
    int countLength_ = 0;
    VerificationFile verification_;
    ByteFile correction_;  // the correction journal, once made
    bool directoryUnflushed_ = false;
    const char* openFailure_ = kRecordJournal;  // the record file's name may not be on the disk yet
    int64_t verified_ = -1;                     // VerifiedCount's answer; -1 while not known
    bool commitWrote_ = false;
};

// The station's record store.
extern RecordStore StoredRecords;
