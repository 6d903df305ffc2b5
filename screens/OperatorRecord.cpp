#include "screens/OperatorRecord.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "console/ConsoleKeyboard.h"
#include "files/Statistics.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/SignOverpunch.h"
#include "screens/FieldValidation.h"
#include "screens/InOutFailure.h"
#include "screens/Session.h"

namespace {

CommitOutcome lastCommit = CommitOutcome::Stored;

// The fields of the operator's record confirmed in verify mode, for the
// opening of the record they belong to.
struct Confirmations {
    int64_t opening = -1;
    bool scanned = false;
    std::vector<bool> fields;
};
Confirmations confirmations;

Confirmations& ConfirmationsNow() {
    if (confirmations.opening != RecordOpenings()) {
        confirmations = Confirmations{RecordOpenings(), false, {}};
    }
    confirmations.fields.resize(static_cast<std::size_t>(FieldCount) + 1, false);
    return confirmations;
}

// Every field verify mode does not pass over was keyed again, taken over
// with Korrektur, or the record was scanned.
bool RecordConfirmed() {
    Confirmations& now = ConfirmationsNow();
    if (now.scanned) return true;
    for (int n = 1; n <= FieldCount; ++n) {
        const uint8_t type = FieldTable[n].Type;
        if (HasFlag(type, Bypass) || HasFlag(type, NoVerify)) continue;
        if (!now.fields[static_cast<std::size_t>(n)]) return false;
    }
    return true;
}

// The store's place and record go into the buffers the screen shows.
void ShowStoredPlace(const RecordBuffer& record, bool whole, bool refresh) {
    WorkRecord = record;
    if (!whole) {
        VerifyRecord.fill(0);
    } else if (Mode == ModeVerify) {
        VerifyRecord = WorkRecord;
    }
    CurrentRecordNumber = StoredRecords.State().number;
    if (refresh && Mode == ModeVerify) ValidateAll(false);
}

// The record at `position` becomes the operator's: read first, and only when
// that worked do the buffers, the position and the record number change.
bool TakeRecordAt(int64_t position, bool refresh) {
    RecordBuffer record{};
    const bool whole = StoredRecords.Open(position, RecordLength(), record);
    ShowStoredPlace(record, whole, refresh);
    return whole;
}

// What a record becomes when it is stored as record number `number`: the
// checks fill in end markers and record counters. For records that only
// move (insert, delete); they were checked when they were keyed.
RecordBuffer ImageAtNumber(const RecordBuffer& record, int64_t number) {
    WorkRecord = record;
    CurrentRecordNumber = number;
    // The checks of every field, from the last to the first, as a commit runs
    // them, but without lookups (they belong to the record being keyed, not
    // to records moving by) and without the beeps, which sounded when these
    // records were keyed.
    BeepSilence silence;
    for (int n = FieldCount; n >= 1; --n) FieldExit(n, false);
    return StoredImage(WorkRecord);
}

// The operator's record while a move uses the buffers for the records it
// renumbers; put back when the move failed, so that nothing of it is lost.
struct RecordKeptAside {
    RecordBuffer work = WorkRecord;
    RecordBuffer verify = VerifyRecord;
    int64_t number = CurrentRecordNumber;
    void PutBack() const {
        WorkRecord = work;
        VerifyRecord = verify;
        CurrentRecordNumber = number;
    }
};

// The end of an insert or delete that came to `error`: either the operator's
// place now holds `image`, or the records and his record are as they were
// (the failure told, a stop not).
void FinishMove(int error, const RecordKeptAside& operatorRecord, const RecordBuffer& image) {
    if (error == 0) {
        ShowStoredPlace(image, true, true);
        return;
    }
    operatorRecord.PutBack();
    if (error != RecordStore::kStopped) ReportInOutError(error);
}

// A commit whose checks run as in `checksMode`.
bool CommitWithChecksOf(bool flush, int32_t checksMode) {
    const int length = RecordLength();
    lastCommit = CommitOutcome::Refused;
    if (length <= 0 || !StoredRecords.IsOpen()) return false;
    if (!ValidateAll(true, checksMode)) return false;
    const int error = StoredRecords.Commit(StoredImage(WorkRecord), length, flush);
    if (error != 0) {
        lastCommit = CommitOutcome::NotWritten;
        ReportInOutError(error);
        return false;
    }
    lastCommit = CommitOutcome::Stored;
    CountRecordStored(StoredRecords.Position() / length + 1);
    if (checksMode == ModeVerify) {
        if (RecordConfirmed()) {
            if (const int failed = StoredRecords.MarkVerified(length, LoginName()))
                ReportInOutError(failed);
        }
    } else if (StoredRecords.CommitWrote()) {
        // Only the keyer's name is at stake: the record itself is stored.
        StoredRecords.MarkKeyed(length, LoginName());
    }
    return true;
}

}  // namespace

void NoteFieldConfirmed(int n) {
    Confirmations& now = ConfirmationsNow();
    if (n >= 1 && n <= FieldCount) now.fields[static_cast<std::size_t>(n)] = true;
}

void NoteRecordScanned() {
    ConfirmationsNow().scanned = true;
}

bool RecordVerified() {
    const int length = RecordLength();
    if (length <= 0) return false;
    return StoredRecords.IsVerified(StoredRecords.Position() / length, length);
}

bool RecordDue() {
    const int length = RecordLength();
    if (length <= 0) return false;
    return StoredRecords.Sample(length).Due(StoredRecords.Position() / length);
}

int SampleEvery() {
    const char* text = std::getenv("KELBRIN_SAMPLE");
    if (text == nullptr || *text == '\0') return 1;
    char* end = nullptr;
    const long every = std::strtol(text, &end, 10);
    // Anything but a number from 1 on verifies every record, as without it.
    return *end == '\0' && every >= 1 && every <= 1000000 ? static_cast<int>(every) : 1;
}

void UseVerificationSample() {
    const int length = RecordLength();
    if (length <= 0 || !StoredRecords.IsOpen()) return;
    const int every = SampleEvery();
    const VerificationSample kept = StoredRecords.Sample(length);
    if (kept.every == every) return;
    VerificationSample sample;
    if (every > 1) {
        // A start of its own for each sample, kept with the verification so
        // that every session verifies the same records.
        std::random_device random;
        sample = VerificationSample{every, static_cast<int64_t>(random() % every)};
    }
    if (const int error = StoredRecords.KeepSample(length, sample)) ReportInOutError(error);
}

bool NextUnverifiedRecord(bool refresh) {
    bool whole = NextRecord(refresh);
    while (whole && (RecordVerified() || !RecordDue())) whole = NextRecord(refresh);
    return whole;
}

void ResetRecordStore() {
    confirmations = Confirmations{};
    StoredRecords.Reset();
    lastCommit = CommitOutcome::Stored;
}

OperatorRecordState CurrentRecordState() {
    return StoredRecords.State();
}

void RestoreRecordState(const OperatorRecordState& state) {
    CurrentRecordNumber = state.number;
    StoredRecords.Restore(state);
}

void NoteRecordKeyed() {
    StoredRecords.NoteKeyed();
}

int64_t RecordOpenings() {
    return StoredRecords.Openings();
}

CommitOutcome LastCommitOutcome() {
    return lastCommit;
}

bool LoadRecord(bool refresh) {
    if (RecordLength() <= 0) return false;
    return TakeRecordAt(StoredRecords.Position(), refresh);
}

bool OpenRecordAt(int64_t position, bool refresh) {
    if (RecordLength() <= 0) return false;
    return TakeRecordAt(std::max<int64_t>(position, 0), refresh);
}

bool CommitRecord(bool flush) {
    return CommitWithChecksOf(flush, Mode);
}

bool CommitRecordAsKeyed(bool flush) {
    return CommitWithChecksOf(flush, ModeEntry);
}

bool PreviousRecord(bool refresh) {
    const int length = RecordLength();
    if (length <= 0) return false;
    const int64_t position = StoredRecords.Position() - length;
    if (position < 0) return false;
    if (TakeRecordAt(position, refresh)) return true;
    // A place before the current one that holds no whole record: only a
    // record file cut short ends like that. Record 1 is the place to be.
    TakeRecordAt(0, refresh);
    return false;
}

bool NextRecord(bool refresh) {
    const int length = RecordLength();
    if (length <= 0) return false;
    if (!StoredRecords.HasNext(length)) {
        // The new record behind the last: it was not stored, so there is no
        // place behind it. It is opened anew, empty.
        WorkRecord.fill(0);
        VerifyRecord.fill(0);
        StoredRecords.OpenAnew();
        return false;
    }
    return TakeRecordAt(StoredRecords.Position() + length, refresh);
}

bool FirstRecord(bool refresh) {
    if (RecordLength() <= 0) return false;
    return TakeRecordAt(0, refresh);
}

bool LastRecord(bool refresh, const std::function<bool()>& keepGoing) {
    const int length = RecordLength();
    if (length <= 0) return false;
    const int64_t slot = StoredRecords.LastFilledSlot(length, keepGoing);
    if (slot == RecordStore::kStopped) return false;
    // An empty record file has no last record: the first place, cleared.
    return TakeRecordAt(std::max<int64_t>(slot, 0) * length, refresh);
}

void InsertRecord(const std::function<bool()>& keepGoing) {
    const int length = RecordLength();
    if (length <= 0) return;
    // The record on the screen is stored first: moving it back must not
    // throw away what was keyed into it. At the append position an untouched
    // record is no record: there is nothing to insert before.
    if (!CommitRecord(true)) return;
    if (!StoredRecords.HasNext(length)) return;
    const RecordKeptAside operatorRecord;
    RecordBuffer atPlace{};
    const int error =
        StoredRecords.Insert(length, EmptyPlaceImage(), ImageAtNumber, keepGoing, atPlace);
    FinishMove(error, operatorRecord, atPlace);
}

void DeleteRecord(const std::function<bool()>& keepGoing) {
    const int length = RecordLength();
    if (length <= 0) return;
    const int64_t position = StoredRecords.Position();
    const int64_t last = StoredRecords.LastFilledSlot(length, keepGoing);
    if (last == RecordStore::kStopped) return;
    const RecordBuffer empty = EmptyPlaceImage();
    if (position / length > last) {
        // Behind the last record there is nothing to move up: only this place
        // is cleared, where it holds anything, and no other record changes.
        if (const int error = StoredRecords.ClearPlace(empty, length)) {
            ReportInOutError(error);
            return;
        }
        TakeRecordAt(position, true);
        return;
    }
    const RecordKeptAside operatorRecord;
    RecordBuffer atPlace{};
    const int error = StoredRecords.Delete(length, last, empty, ImageAtNumber, keepGoing, atPlace);
    FinishMove(error, operatorRecord, atPlace);
}

int ReplaceRecordFile(const std::function<int(FileReplacement&)>& fill) {
    const int error = StoredRecords.Replace(RecordLength(), fill);
    if (error == 0) {
        WorkRecord.fill(0);
        VerifyRecord.fill(0);
        CurrentRecordNumber = 1;
    }
    return error;
}

RecordFileFit RecordFileFitNow() {
    return StoredRecords.Fit(RecordLength());
}

std::string RecordFileFitText(const RecordFileFit& fit) {
    const std::string stored = std::to_string(fit.stored);
    const std::string layout = std::to_string(fit.layout);
    switch (fit.kind) {
        case RecordFileFit::Kind::Fits:
            return {};
        case RecordFileFit::Kind::OtherLength:
            return "Die Sätze in KELBRIN4.CR2 sind " + stored + " Zeichen lang, der Satzaufbau " +
                   layout + " !!! Sie werden nur mit einem Satzaufbau von " + stored +
                   " Zeichen bearbeitet: diesen laden, oder die Daten sichern und alles löschen.";
        case RecordFileFit::Kind::NotWhole:
            return "KELBRIN4.CR2 (" + std::to_string(fit.size) +
                   " Zeichen) ist keine ganze Zahl von Sätzen zu " + layout +
                   " Zeichen !!! Einen passenden Satzaufbau laden, oder alles löschen.";
        case RecordFileFit::Kind::CutShort:
            return "Der letzte Satz in KELBRIN4.CR2 ist unvollständig (" +
                   std::to_string(fit.size % fit.layout) + " von " + layout +
                   " Zeichen) !!! Er wird nicht gelesen; ein neuer Satz tritt an seine Stelle.";
    }
    return {};
}

void CloseRecordFile() {
    CheckInOut(StoredRecords.CloseFile());
}
