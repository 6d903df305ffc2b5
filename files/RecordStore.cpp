#include "files/RecordStore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/FileReplacement.h"

RecordStore StoredRecords;

namespace {

// The record length in KELBRIN4.LEN: decimal digits, a line end; 0 when the
// file is not there, cannot be read or holds anything else.
int ReadLengthFile() {
    ByteFile file;
    if (file.Open(kRecordLengthFile, ByteFile::Mode::Read) != 0) return 0;
    char text[16] = {};
    std::size_t got = 0;
    if (file.Read(text, sizeof text - 1, got) != 0) return 0;
    int length = 0;
    std::size_t i = 0;
    for (; i < got && text[i] >= '0' && text[i] <= '9' && length <= MaxRecordLength; ++i)
        length = length * 10 + (text[i] - '0');
    for (; i < got; ++i) {
        if (text[i] != '\n' && text[i] != '\r') return 0;
    }
    return length >= 1 && length <= MaxRecordLength ? length : 0;
}

// The index of the last byte of `bytes` that is not 0, LF or CR (-1 when there
// is none), found backwards in words: the empty records a long walk passes
// over are nearly all zeros.
int64_t LastContentByte(const uint8_t* bytes, int64_t count) {
    int64_t i = count;
    while (i > 0 && (i & 7) != 0) {
        const uint8_t b = bytes[--i];
        if (b != 0 && b != 10 && b != 13) return i;
    }
    while (i >= 8) {
        uint64_t word = 0;
        std::memcpy(&word, bytes + i - 8, 8);
        if (word != 0) {
            for (int64_t k = i - 1; k >= i - 8; --k) {
                const uint8_t b = bytes[k];
                if (b != 0 && b != 10 && b != 13) return k;
            }
        }
        i -= 8;
    }
    return -1;
}

// Records of `size` bytes, written with `stored` (0: not known), under a
// layout of `layout`.
RecordFileFit Classify(int64_t size, int stored, int layout) {
    RecordFileFit fit;
    fit.size = size;
    fit.stored = stored;
    fit.layout = layout;
    if (size <= 0) return fit;
    if (stored == 0) {
        // A record file of an older station, without KELBRIN4.LEN: a layout
        // it holds whole records of is taken, and the length is written with
        // the next record.
        if (layout <= 0 || size % layout != 0) fit.kind = RecordFileFit::Kind::NotWhole;
    } else if (stored != layout) {
        fit.kind = RecordFileFit::Kind::OtherLength;
    } else if (size % stored != 0) {
        fit.kind = RecordFileFit::Kind::CutShort;
    }
    return fit;
}

}  // namespace

bool IsEmptyBytes(const uint8_t* bytes, std::size_t count) {
    return LastContentByte(bytes, static_cast<int64_t>(count)) < 0;
}

bool IsEmptyRecord(const RecordBuffer& record) {
    return IsEmptyBytes(record.data(), static_cast<std::size_t>(std::max(RecordLength(), 0)));
}

RecordFileFit CheckRecordFileFit(int64_t size, int layoutLength) {
    return Classify(size, size > 0 ? ReadLengthFile() : 0, layoutLength);
}

int64_t RecordStore::Size() const {
    int64_t size = 0;
    CheckInOut(file_.Size(size));
    return size;
}

int RecordStore::OpenFile(bool& made) {
    made = false;
    openFailure_ = kRecordJournal;
    int error = file_.Open(kRecordJournal, ByteFile::Mode::ReadWrite);
    // Only a record file that is not there is made anew. One that is there
    // but cannot be opened (a failing disk) holds records.
    if (error == ENOENT) {
        error = file_.Open(kRecordJournal, ByteFile::Mode::CreateNew);
        made = error == 0;
    }
    if (error != 0) return error;
    // A verification left from records that are gone verifies nothing. A
    // record file made now must survive a power failure as a name too.
    if (made) {
        verification_.Erase();
        EraseFile(kCorrectionJournal);
        // Tried again before the first record relies on it.
        directoryUnflushed_ = FlushDirectory(".") != 0;
    } else {
        error = CompleteCorrection();
        if (error != 0) openFailure_ = kCorrectionJournal;
    }
    if (error != 0) {
        file_.Close();
        return error;
    }
    // With which length the records were written; an empty record file takes
    // whichever the first record has.
    const int64_t size = Size();
    Reset();
    storedLength_ = size > 0 ? ReadLengthFile() : 0;
    lengthRecorded_ = storedLength_ != 0;
    return 0;
}

int RecordStore::CloseFile() {
    correction_.Close();
    return file_.Close();
}

int RecordStore::CloseAndEraseIfEmpty() {
    int64_t size = 0;
    int error = file_.Size(size);
    if (error != 0) return error;
    error = file_.Close();
    if (error != 0) return error;
    verification_.Close();
    correction_.Close();
    if (size == 0) {
        EraseFile(kRecordJournal);
        EraseFile(kRecordLengthFile);
        verification_.Erase();
        EraseFile(kCorrectionJournal);
    }
    return 0;
}

void RecordStore::Clear() {
    verification_.Erase();
    CheckInOut(EmptyCorrectionJournal());
    verified_ = -1;
    CheckInOut(file_.Close());
    CheckInOut(file_.Open(kRecordJournal, ByteFile::Mode::Create));
    // No records: the next ones may have any length.
    EraseFile(kRecordLengthFile);
    ForgetLength();
    count_ = -1;
    current_ = OperatorRecordState{0, 1, current_.openings + 1, false, false, RecordBuffer{}};
}

void RecordStore::Reset() {
    current_ = OperatorRecordState{};
    count_ = -1;
    verified_ = -1;
    commitWrote_ = false;
    ForgetLength();
}

void RecordStore::Restore(const OperatorRecordState& state) {
    current_ = state;
    CheckInOut(file_.Seek(state.position));
}

RecordFileFit RecordStore::Fit(int layoutLength) const {
    if (!file_.IsOpen()) return Classify(0, 0, layoutLength);
    return Classify(Size(), storedLength_, layoutLength);
}

// Before any record goes into the record file: KELBRIN4.LEN must say with
// which length. It changes only while the record file is empty, so a crash
// between the two never leaves records of one length named with another.
int RecordStore::RecordTheLength(int length) {
    if (lengthRecorded_ && storedLength_ == length) return 0;
    // Records of another length must never be joined by these: the screens
    // refuse that before, and this is the last word.
    int64_t size = 0;
    if (storedLength_ != 0 && storedLength_ != length && (file_.Size(size) != 0 || size > 0))
        return EINVAL;
    const int error = ReplaceFileWhole(kRecordLengthFile, std::to_string(length) + "\n");
    if (error != 0) return error;
    storedLength_ = length;
    lengthRecorded_ = true;
    return 0;
}

// The store forgets what it knew of the record file: an empty one, or one that
// was just made anew.
void RecordStore::ForgetLength() {
    storedLength_ = 0;
    lengthRecorded_ = false;
}

bool RecordStore::ReadAt(int64_t position, int length, RecordBuffer& record) const {
    record.fill(0);
    if (position < 0 || position > Size() - length) return false;
    std::size_t got = 0;
    CheckInOut(file_.ReadAt(position, record.data(), static_cast<std::size_t>(length), got));
    if (got == static_cast<std::size_t>(length)) return true;
    record.fill(0);
    return false;
}

void RecordStore::TakePlace(int64_t position, int length, const RecordBuffer& record, bool whole,
                            bool moved) {
    CheckInOut(file_.Seek(position));
    // A rewrite leaves the operator where he was: no other record became his.
    if (moved && (position != current_.position || current_.openings == 0)) ++current_.openings;
    current_.position = position;
    current_.number = position / length + 1;
    current_.keyed = false;
    current_.onFile = whole && !IsEmptyBytes(record.data(), static_cast<std::size_t>(length));
    current_.stored = record;
}

bool RecordStore::Open(int64_t position, int length, RecordBuffer& record) {
    const bool whole = ReadAt(position, length, record);
    TakePlace(position, length, record, whole, true);
    return whole;
}

bool RecordStore::HasNext(int length) {
    return current_.position + length <= Size();
}

void RecordStore::OpenAnew() {
    current_.keyed = false;
    ++current_.openings;
}

int RecordStore::Commit(const RecordBuffer& image, int length, bool flush) {
    commitWrote_ = false;
    if (length <= 0 || !file_.IsOpen()) return EBADF;
    const int64_t position = current_.position;
    const auto count = static_cast<std::size_t>(length);
    // A record read from the file is written again only when it changed; a
    // place without a record gets one only when the operator keyed into it.
    const bool write = current_.onFile ? !std::equal(image.begin(), image.begin() + length,
                                                     current_.stored.begin())
                                       : current_.keyed;
    if (!write) return 0;
    // Written again in full at every commit, also after a failed flush: a
    // failed flush may have dropped the written bytes, so flushing again alone
    // would prove nothing. A stored record is corrected through the journal.
    if (const int error = Overwrite(image, length, flush, current_.onFile)) return error;
    current_.keyed = false;
    current_.onFile = !IsEmptyBytes(image.data(), count);
    current_.stored = image;
    commitWrote_ = true;
    verified_ = -1;  // the record may have been a verified one
    // A record stored at or behind the last is the last now; a place
    // emptied may have been the last.
    const int64_t number = position / length + 1;
    if (!current_.onFile) {
        count_ = -1;
    } else if (count_ >= 0 && countLength_ == length) {
        count_ = std::max(count_, number);
    }
    return 0;
}

int RecordStore::ClearPlace(const RecordBuffer& emptyImage, int length) {
    const int64_t position = current_.position;
    RecordBuffer there{};
    if (!ReadAt(position, length, there) ||
        std::equal(emptyImage.begin(), emptyImage.begin() + length, there.begin()))
        return 0;
    int error = verification_.ForgetFrom(position / length);
    verified_ = -1;
    if (error == 0) {
        const RecordBuffer stored = current_.stored;
        current_.stored = there;  // what the journal keeps as the old record
        error = Overwrite(emptyImage, length, true, !IsEmptyBytes(there.data(), length));
        current_.stored = stored;
    }
    count_ = -1;
    return error;
}

int RecordStore::Overwrite(const RecordBuffer& image, int length, bool flush, bool journaled) {
    const int64_t position = current_.position;
    int error = RecordTheLength(length);
    // A record file made this session is a name on the disk before a record
    // in it counts as stored.
    if (error == 0 && directoryUnflushed_) {
        error = FlushDirectory(".");
        directoryUnflushed_ = error != 0;
    }
    if (error == 0 && journaled)
        error = JournalCorrection(position, current_.stored, image, length);
    if (error == 0) error = file_.Seek(position);
    if (error == 0) error = file_.Write(image.data(), static_cast<std::size_t>(length));
    if (error == 0 && flush) error = file_.SyncData();
    file_.Seek(position);
    return error;
}

namespace {

constexpr std::string_view kCorrectionMagic = "KELBRIN4.KOR 1\n";
// The disk writes whole sectors at least: a write cut short leaves each
// sector of the record old or new.
constexpr int64_t kSector = 512;

void PutNumber(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint64_t GetNumber(const std::string& in, std::size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<uint64_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
    return value;
}

}  // namespace

int RecordStore::JournalCorrection(int64_t position, const RecordBuffer& before,
                                   const RecordBuffer& after, int length) {
    std::string entry(kCorrectionMagic);
    PutNumber(entry, static_cast<uint64_t>(position), 8);
    PutNumber(entry, static_cast<uint64_t>(length), 4);
    entry.append(reinterpret_cast<const char*>(before.data()), static_cast<std::size_t>(length));
    entry.append(reinterpret_cast<const char*>(after.data()), static_cast<std::size_t>(length));
    PutNumber(
        entry,
        RecordHash(reinterpret_cast<const uint8_t*>(entry.data()), static_cast<int>(entry.size())),
        8);
    int error = 0;
    if (!correction_.IsOpen()) {
        // Made once and kept: its name must be on the disk before the first
        // correction relies on it.
        error = correction_.Open(kCorrectionJournal, ByteFile::Mode::Create);
        if (error == 0) error = FlushDirectory(".");
    }
    if (error == 0) error = correction_.Seek(0);
    if (error == 0) error = correction_.Write(entry.data(), entry.size());
    if (error == 0) error = correction_.SyncData();
    return error;
}

int RecordStore::EmptyCorrectionJournal() {
    correction_.Close();
    ByteFile journal;
    int error = journal.Open(kCorrectionJournal, ByteFile::Mode::ReadWrite);
    if (error == ENOENT) return 0;
    if (error == 0) error = journal.Open(kCorrectionJournal, ByteFile::Mode::Create);
    if (error == 0) error = journal.SyncData();
    return error;
}

int RecordStore::CompleteCorrection() {
    ByteFile journal;
    int error = journal.Open(kCorrectionJournal, ByteFile::Mode::Read);
    if (error == ENOENT) return 0;
    if (error != 0) return error;
    std::string entry(kCorrectionMagic.size() + 12 + 2 * MaxRecordLength + 8, '\0');
    std::size_t got = 0;
    error = journal.ReadAt(0, entry.data(), entry.size(), got);
    journal.Close();
    if (error != 0) return error;
    entry.resize(got);
    const std::size_t head = kCorrectionMagic.size() + 12;
    if (entry.size() >= head && entry.compare(0, kCorrectionMagic.size(), kCorrectionMagic) == 0) {
        const auto position = static_cast<int64_t>(GetNumber(entry, kCorrectionMagic.size(), 8));
        const auto length = static_cast<int>(GetNumber(entry, kCorrectionMagic.size() + 8, 4));
        const std::size_t end = head + 2 * static_cast<std::size_t>(std::max(length, 0));
        if (length >= 1 && length <= MaxRecordLength && position >= 0 && entry.size() >= end + 8 &&
            GetNumber(entry, end, 8) ==
                RecordHash(reinterpret_cast<const uint8_t*>(entry.data()), static_cast<int>(end))) {
            const std::string before = entry.substr(head, static_cast<std::size_t>(length));
            const std::string after = entry.substr(head + length, static_cast<std::size_t>(length));
            std::string now(static_cast<std::size_t>(length), '\0');
            got = 0;
            error = file_.ReadAt(position, now.data(), now.size(), got);
            if (error != 0) return error;
            // Only a write of this journal cut short leaves every sector of
            // the record old or new; anything else is a later record.
            bool torn = got == now.size() && now != after;
            for (int64_t from = 0; torn && from < length;) {
                const int64_t to = std::min<int64_t>(
                    length, ((position + from) / kSector + 1) * kSector - position);
                const auto at = static_cast<std::size_t>(from);
                const auto n = static_cast<std::size_t>(to - from);
                torn =
                    now.compare(at, n, before, at, n) == 0 || now.compare(at, n, after, at, n) == 0;
                from = to;
            }
            if (torn) {
                error = file_.Seek(position);
                if (error == 0) error = file_.Write(after.data(), after.size());
                if (error == 0) error = file_.SyncData();
                if (error != 0) return error;
            }
        }
    }
    return EmptyCorrectionJournal();
}

int64_t RecordStore::RecordCount(int length) {
    if (length <= 0 || !file_.IsOpen()) return 0;
    if (count_ >= 0 && countLength_ == length) return count_;
    const int64_t places = Size() / length;
    RecordBuffer last{};
    int64_t count = 0;
    if (places > 0 && ReadAt((places - 1) * length, length, last) &&
        !IsEmptyBytes(last.data(), static_cast<std::size_t>(length))) {
        count = places;  // the usual case: the last place holds a record
    } else if (places > 0) {
        count = LastFilledSlot(length, {}) + 1;
    }
    count_ = count;
    countLength_ = length;
    return count;
}

bool RecordStore::IsVerified(int64_t slot, int length) {
    RecordBuffer record{};
    if (!ReadAt(slot * length, length, record)) return false;
    return verification_.IsVerified(slot, record.data(), length);
}

int RecordStore::MarkKeyed(int length, const std::string& login) {
    if (length <= 0) return EINVAL;
    verified_ = -1;
    return verification_.NoteKeyed(current_.position / length, length, login);
}

int RecordStore::MarkVerified(int length, const std::string& login) {
    if (length <= 0) return EINVAL;
    const int64_t slot = current_.position / length;
    // Only a record that is on file, as it is on file, is verified.
    RecordBuffer record{};
    if (!ReadAt(current_.position, length, record) ||
        IsEmptyBytes(record.data(), static_cast<std::size_t>(length)))
        return 0;
    const bool before = verification_.IsVerified(slot, record.data(), length);
    const int error = verification_.NoteVerified(slot, record.data(), length, login);
    if (error != 0) {
        verified_ = -1;
        return error;
    }
    if (!before && verified_ >= 0 && verification_.Sample(length).Due(slot)) ++verified_;
    return 0;
}

int RecordStore::KeepSample(int length, const VerificationSample& sample) {
    verified_ = -1;
    return verification_.SetSample(length, sample);
}

int64_t RecordStore::DueCount(int length) {
    const int64_t count = RecordCount(length);
    const VerificationSample sample = verification_.Sample(length);
    if (sample.every <= 1) return count;
    return count > sample.start ? (count - sample.start + sample.every - 1) / sample.every : 0;
}

int64_t RecordStore::VerifiedCount(int length) {
    if (length <= 0 || !file_.IsOpen()) return 0;
    if (verified_ >= 0) return verified_;
    const int64_t count = RecordCount(length);
    const VerificationSample sample = verification_.Sample(length);
    constexpr int64_t kBlockRecords = 4096;
    std::vector<uint8_t> block(static_cast<std::size_t>(length * kBlockRecords));
    int64_t verified = 0;
    for (int64_t slot = 0; slot < count; slot += kBlockRecords) {
        const int64_t records = std::min(kBlockRecords, count - slot);
        std::size_t got = 0;
        CheckInOut(file_.ReadAt(slot * length, block.data(),
                                static_cast<std::size_t>(records * length), got));
        for (int64_t i = 0; i < records && (i + 1) * length <= static_cast<int64_t>(got); ++i) {
            const uint8_t* bytes = block.data() + i * length;
            if (sample.Due(slot + i) && !IsEmptyBytes(bytes, static_cast<std::size_t>(length)) &&
                verification_.IsVerified(slot + i, bytes, length))
                ++verified;
        }
    }
    verified_ = verified;
    return verified;
}

int64_t RecordStore::LastFilledSlot(int length, const KeepGoing& keepGoing) {
    const int64_t end = Size() / length * length;
    if (end == 0) return -1;
    // The stretches of data, in file order; a file without holes is one.
    std::vector<std::pair<int64_t, int64_t>> stretches;
    for (int64_t from = 0; from < end;) {
        int64_t start = 0, stop = 0;
        const int error = file_.FindData(from, start, stop);
        if (error == ENXIO) break;
        CheckInOut(error);
        if (start >= end) break;
        stretches.emplace_back(start, std::min(stop, end));
        if (stop <= from) break;
        from = stop;
    }
    constexpr int64_t kBlockBytes = 1 << 20;
    const int64_t block = std::max<int64_t>(kBlockBytes / length, 1) * length;
    std::vector<uint8_t> bytes(static_cast<std::size_t>(block));
    for (auto stretch = stretches.rbegin(); stretch != stretches.rend(); ++stretch) {
        // Whole records around the stretch: one that starts in a hole still
        // counts with its bytes in the data.
        const int64_t first = stretch->first / length * length;
        for (int64_t to = (stretch->second + length - 1) / length * length; to > first;) {
            const int64_t from = std::max(first, to - block);
            std::size_t got = 0;
            CheckInOut(file_.ReadAt(from, bytes.data(), static_cast<std::size_t>(to - from), got));
            const int64_t at = LastContentByte(bytes.data(), static_cast<int64_t>(got));
            if (at >= 0) return (from + at) / length;
            to = from;
            if (keepGoing && !keepGoing()) return kStopped;
        }
    }
    return -1;
}

// Copies the bytes from `from` up to `to` of the record file as they are.
int RecordStore::CopyBytes(int64_t from, int64_t to, FileReplacement& out) const {
    std::vector<char> block(1 << 16);
    for (int64_t done = from; done < to;) {
        const auto want = static_cast<std::size_t>(
            std::min<int64_t>(to - done, static_cast<int64_t>(block.size())));
        std::size_t got = 0;
        int error = file_.ReadAt(done, block.data(), want, got);
        if (error == 0 && got != want) error = EIO;  // the file is shorter than it was
        if (error == 0) error = out.Write(block.data(), got);
        if (error != 0) return error;
        done += static_cast<int64_t>(got);
    }
    return 0;
}

// Moves the records in the places `from` up to `to` (not included) of the
// record file into `out`, each renumbered as record number `firstNumber`,
// `firstNumber` + 1, ...: read and written in large blocks, since a move runs
// over every record behind the current one. The first record moved is put
// into `firstImage`.
int RecordStore::MoveRecords(int length, int64_t from, int64_t to, int64_t firstNumber,
                             FileReplacement& out, RecordBuffer& firstImage,
                             const RenumberRecord& renumber, const KeepGoing& keepGoing) const {
    const auto size = static_cast<std::size_t>(length);
    constexpr int64_t kBlockRecords = 512;
    std::vector<uint8_t> in(size * kBlockRecords);
    std::vector<uint8_t> moved;
    moved.reserve(in.size());
    // Only the record's own bytes change from one record to the next: the
    // rest of the buffer stays cleared.
    RecordBuffer record{};
    for (int64_t slot = from; slot < to;) {
        const int64_t count = std::min(kBlockRecords, to - slot);
        const std::size_t want = size * static_cast<std::size_t>(count);
        std::size_t got = 0;
        int error = file_.ReadAt(slot * static_cast<int64_t>(size), in.data(), want, got);
        if (error == 0 && got != want) error = EIO;  // the file is shorter than it was
        if (error != 0) return error;
        moved.clear();
        for (int64_t i = 0; i < count; ++i) {
            std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(size * i), size, record.begin());
            const RecordBuffer image = renumber(record, firstNumber + (slot - from) + i);
            if (slot == from && i == 0) firstImage = image;
            moved.insert(moved.end(), image.begin(), image.begin() + length);
        }
        error = out.Write(moved.data(), moved.size());
        if (error != 0) return error;
        slot += count;
        if (keepGoing && !keepGoing()) return kStopped;
    }
    return 0;
}

// Builds the record file anew beside the old one with what `fill` writes; the
// new file takes the old one's place only when all of it is on the disk, so a
// crash at any moment leaves one of the two whole. Returns 0 or the system's
// error number; the record file is then as it was.
template <typename Fill>
int RecordStore::Rewrite(int length, int64_t firstMoved, Fill fill) {
    // The verification of the places the rewrite changes goes first, on the
    // disk: a crash after the rewrite then leaves them unverified.
    int error = verification_.ForgetFrom(firstMoved);
    verified_ = -1;
    // A correction journaled before must not be completed over moved records.
    if (error == 0) error = EmptyCorrectionJournal();
    if (error == 0) error = RecordTheLength(length);
    if (error != 0) return error;
    FileReplacement replacement;
    error = replacement.Begin(kRecordJournal);
    if (error == 0) error = fill(replacement);
    if (error != 0) return error;  // the replacement gives itself up
    bool replaced = false;
    error = replacement.Commit(replaced, true);
    count_ = -1;
    if (replaced) {
        file_.Close();
        file_ = std::move(replacement.File());
    }
    return error;
}

// The end of a rewrite that came to `error`: the operator's place holds
// `image` now, or the place is as it was `before`.
int RecordStore::TakeRewrittenPlace(int error, const OperatorRecordState& before, int length,
                                    const RecordBuffer& image, RecordBuffer& atPlace) {
    if (error != 0) {
        Restore(before);
        return error;
    }
    atPlace = image;
    TakePlace(before.position, length, atPlace, true, false);
    return 0;
}

int RecordStore::Insert(int length, const RecordBuffer& emptyImage, const RenumberRecord& renumber,
                        const KeepGoing& keepGoing, RecordBuffer& atPlace) {
    const int64_t position = current_.position;
    const int64_t slots = Size() / length;
    const int64_t first = position / length;
    const OperatorRecordState before = current_;
    const int error = Rewrite(length, first, [&](FileReplacement& out) {
        int result = CopyBytes(0, position, out);
        // The new place holds no record until the operator keys into it.
        if (result == 0) result = out.Write(emptyImage.data(), static_cast<std::size_t>(length));
        RecordBuffer unused{};
        if (result == 0)
            result = MoveRecords(length, first, slots, first + 2, out, unused, renumber, keepGoing);
        return result;
    });
    return TakeRewrittenPlace(error, before, length, emptyImage, atPlace);
}

int RecordStore::Delete(int length, int64_t lastSlot, const RecordBuffer& emptyImage,
                        const RenumberRecord& renumber, const KeepGoing& keepGoing,
                        RecordBuffer& atPlace) {
    const int64_t position = current_.position;
    const int64_t size = Size();
    const int64_t first = position / length;
    const OperatorRecordState before = current_;
    RecordBuffer moved = emptyImage;
    const int error = Rewrite(length, first, [&](FileReplacement& out) {
        int result = CopyBytes(0, position, out);
        if (result == 0)
            result = MoveRecords(length, first + 1, lastSlot + 1, first + 1, out, moved, renumber,
                                 keepGoing);
        // The last record's old place holds no record now.
        if (result == 0) result = out.Write(emptyImage.data(), static_cast<std::size_t>(length));
        // Empty records behind it and a cut-off tail stay as they were.
        if (result == 0) result = CopyBytes((lastSlot + 1) * length, size, out);
        return result;
    });
    return TakeRewrittenPlace(error, before, length, moved, atPlace);
}

int RecordStore::Replace(int length, const std::function<int(FileReplacement&)>& fill) {
    const int error = Rewrite(length, 0, fill);
    if (error == 0) {
        // The records are others now: the operator's record is the first
        // place, not read yet, and nothing of the old one may be written.
        current_ = OperatorRecordState{0, 1, current_.openings + 1, false, false, RecordBuffer{}};
        file_.Seek(0);
    }
    return error;
}
