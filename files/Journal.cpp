#include "files/Journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <vector>

#include "console/ConsoleKeyboard.h"
#include "console/ConsoleScreen.h"
#include "core/FieldEngine.h"
#include "core/FieldValidation.h"
#include "core/InOutFailure.h"
#include "core/Prompts.h"
#include "core/RecordActions.h"
#include "core/Session.h"
#include "files/DefinitionFile.h"
#include "files/Statistics.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/SignOverpunch.h"
#include "platform/CodePage.h"
#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"
#include "platform/WindowSystem.h"

ByteFile RecordFile;

namespace {

int lockDescriptor = -1;

// What the store knows of the operator's record besides the buffers.
OperatorRecordState current;
CommitOutcome lastCommit = CommitOutcome::Stored;

// The record length KELBRIN4.CR2 was written with; 0 while it is not known
// (an empty record file takes any). `lengthRecorded` says whether
// KELBRIN4.LEN holds it.
int storedLength = 0;
bool lengthRecorded = false;

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

// The layout journal is behind memory (its last write failed).
bool layoutUnwritten = false;
// The error number the operator was last told about; 0 after a write succeeded.
int reportedLayoutError = 0;

bool WriteLayoutJournal(bool reportAlways) {
    try {
        WriteDefinitionFile(kLayoutJournal);
    } catch (const InOutError& error) {
        layoutUnwritten = true;
        // A full disk fails every change until room is made: one box says so,
        // and each further failure of the same kind only beeps, so that the
        // operator can go on working (and make room) without a box per key.
        if (reportAlways || error.code != reportedLayoutError) {
            reportedLayoutError = error.code;
            ReportInOutError(error.code);
        } else {
            Beep();
        }
        return false;
    }
    layoutUnwritten = false;
    reportedLayoutError = 0;
    return true;
}

// Two stations in one directory would overwrite each other's journal: the
// first one holds the lock on the working directory for its whole session.
bool TakeJournalLock() {
    if (lockDescriptor >= 0) return true;
    int fd = -1;
    const int error = LockWorkingDirectory(".", false, fd);
    // An unreadable directory fails later, with its own message.
    if (error == EWOULDBLOCK) return false;
    if (error == 0) lockDescriptor = fd;
    return true;
}

// A crash while a file was being replaced leaves its hidden new file behind.
// Nobody else works in this directory (the lock says so), so one of a journal
// file or of the record length belongs to no running write and goes. The
// working directory also takes the station's exports and definition files:
// their new files go once the process that made them is gone (another station
// may be writing into this directory).
void RemoveUnfinishedFiles() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(".", error)) {
        const std::string name = entry.path().filename().string();
        if (WildcardMatch(".KELBRIN4.CR?.*.neu", name) ||
            WildcardMatch(".KELBRIN4.LEN.*.neu", name))
            std::filesystem::remove(entry.path(), error);
    }
    RemoveLeftoverTemporaries(".");
}

}  // namespace

int LockWorkingDirectory(const std::string& nativeDirectory, bool shared, int& descriptor) {
    descriptor = -1;
    const int fd = ::open(nativeDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    // The lock is on the directory itself: no lock file is left lying around.
    if (::flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    descriptor = fd;
    return 0;
}

bool StationWorksIn(const std::string& nativeDirectory) {
    struct stat directory {};
    if (::stat(nativeDirectory.c_str(), &directory) != 0) return false;
    // Asking for the lock would take it, if only for a moment, and a station
    // starting in that moment would be refused: the system's list of locks
    // is read instead. Its lines read "1: FLOCK  ADVISORY  WRITE 4711
    // 08:01:123456 0 EOF", the device in hex.
    std::FILE* locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr) return false;
    bool held = false;
    char line[256];
    while (!held && std::fgets(line, sizeof line, locks) != nullptr) {
        char kind[16] = {}, mode[16] = {};
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(line, "%*[^:]: %15s %*s %15s %*d %x:%x:%llu", kind, mode, &major, &minor,
                        &inode) != 5)
            continue;
        held = std::strcmp(kind, "FLOCK") == 0 && std::strcmp(mode, "WRITE") == 0 &&
               major == ::major(directory.st_dev) && minor == ::minor(directory.st_dev) &&
               inode == directory.st_ino;
    }
    std::fclose(locks);
    return held;
}

void ReleaseJournalLock() {
    if (lockDescriptor < 0) return;
    ::flock(lockDescriptor, LOCK_UN);
    ::close(lockDescriptor);
    lockDescriptor = -1;
}

namespace {

// A journal file that cannot be read or opened ends the start. The box names
// the file and says why (a directory or a FIFO of that name is said as such,
// not as a bare error number), then the station ends with exit code 1.
[[noreturn]] void StartFails(int error, const char* file) {
    if (WindowSystem* host = BoundWindowSystem()) {
        ReportInOutError(error, file);
        host->EndProcess(1);
    }
    throw InOutError(error);
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool LeadsToJournalFile(const std::string& nativePath, const char* journal) {
    if (nativePath.empty()) return false;
    struct stat target {
    }, own{};
    if (::stat(nativePath.c_str(), &target) == 0 && ::stat(journal, &own) == 0 &&
        SameFile(target, own)) {
        return true;
    }
    const std::size_t cut = nativePath.rfind('/') + 1;  // 0 when there is no '/'
    if (!EqualIgnoringCase(std::string_view(nativePath).substr(cut), journal)) return false;
    const std::string directory = cut == 0 ? "." : nativePath.substr(0, cut);
    struct stat there {
    }, here{};
    return ::stat(directory.c_str(), &there) == 0 && ::stat(".", &here) == 0 &&
           SameFile(there, here);
}

bool LeadsToStationFile(const std::string& nativePath, bool layoutJournal) {
    return LeadsToJournalFile(nativePath, kRecordJournal) ||
           LeadsToJournalFile(nativePath, kRecordLengthFile) ||
           LeadsToJournalFile(nativePath, kStatisticsFile) ||
           (layoutJournal && LeadsToJournalFile(nativePath, kLayoutJournal));
}

void OpenJournal() {
    layoutUnwritten = false;
    reportedLayoutError = 0;
    if (!TakeJournalLock()) {
        ShowMessage("In diesem Verzeichnis arbeitet schon eine andere Kelbrin-Station !!!"_oem,
                    true);
        if (WindowSystem* host = BoundWindowSystem()) host->EndProcess(1);
        return;
    }
    RemoveUnfinishedFiles();
    // The layout journal is read before the record file is opened or made.
    // One that is there but cannot be read (a failing disk, no right to read
    // it) ends the start with the error, as a record file that cannot be
    // opened does: going on without it would journal the next layout over it,
    // and the records would be shown in no layout or another one.
    std::string layout;
    const int layoutError = ReadDefinitionBytes(kLayoutJournal, layout);
    if (layoutError != 0 && layoutError != ENOENT) StartFails(layoutError, kLayoutJournal);
    const int opened = RecordFile.Open(kRecordJournal, ByteFile::Mode::ReadWrite);
    bool present = opened == 0;
    // Only a record file that is not there is made anew. One that is there but
    // cannot be opened (a failing disk) holds records: the start-up fails and
    // says why, rather than putting an empty file in their place.
    if (opened == ENOENT) {
        if (const int made = RecordFile.Open(kRecordJournal, ByteFile::Mode::CreateNew))
            StartFails(made, kRecordJournal);
    } else if (opened != 0) {
        StartFails(opened, kRecordJournal);
    }
    if (layoutError == 0) {
        // An empty or damaged one is said so and stays until the next layout.
        if (layout.empty())
            ShowMessage("Kann Datei nicht lesen !!!", true);
        else
            UseDefinitionBytes(layout);
        present = true;
    }
    // With which length the records were written; an empty record file takes
    // whichever the first record has.
    int64_t size = 0;
    CheckInOut(RecordFile.Size(size));
    ResetRecordStore();
    storedLength = size > 0 ? ReadLengthFile() : 0;
    lengthRecorded = storedLength != 0;
    // Records that do not fit the layout are said so now; the station then
    // keys nothing under it (the question below can clear everything).
    const RecordFileFit fit = RecordFileFitNow();
    if (fit.layout > 0 && fit.kind != RecordFileFit::Kind::Fits)
        ShowMessage(Utf8ToOem(RecordFileFitText(fit)), true);
    if (present) {
        ShowMessage("Es sind schon Daten vorhanden", false);
        ClearAllPrompt();
    }
}

void CloseJournal() {
    int64_t size = 0;
    CheckInOut(RecordFile.Size(size));
    CheckInOut(RecordFile.Close());
    if (size == 0) {
        EraseFile(kRecordJournal);
        EraseFile(kRecordLengthFile);
    }
}

void JournalDefinition() {
    WriteLayoutJournal(false);
}

bool LayoutJournalUnwritten() {
    return layoutUnwritten;
}

bool WriteLayoutJournalForEnd(bool evenIfWritten) {
    if (!layoutUnwritten && !evenIfWritten) return true;
    return WriteLayoutJournal(true);
}

namespace {

int64_t RecordFileSize() {
    int64_t size = 0;
    CheckInOut(RecordFile.Size(size));
    return size;
}

// Before any record goes into the record file: KELBRIN4.LEN must say with
// which length. It changes only while the record file is empty, so a crash
// between the two never leaves records of one length named with another.
int RecordTheLength() {
    const int length = RecordLength();
    if (lengthRecorded && storedLength == length) return 0;
    // Records of another length must never be joined by these: the screens
    // refuse that before, and this is the last word.
    int64_t size = 0;
    if (storedLength != 0 && storedLength != length && (RecordFile.Size(size) != 0 || size > 0))
        return EINVAL;
    const int error = ReplaceFileWhole(kRecordLengthFile, std::to_string(length) + "\n");
    if (error != 0) return error;
    storedLength = length;
    lengthRecorded = true;
    return 0;
}

// The store forgets what it knew of the record file: an empty one, or one that
// was just made anew.
void ForgetStoredLength() {
    storedLength = 0;
    lengthRecorded = false;
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

// The place (0-based) of the last record of `length` bytes that is not empty,
// among the whole records of the record file; -1 when there is none, -2 when
// `keepGoing` stopped the walk. Read backwards in blocks of whole records,
// holes in the file passed over.
int64_t LastFilledSlot(int length, const std::function<bool()>& keepGoing) {
    const int64_t end = RecordFileSize() / length * length;
    if (end == 0) return -1;
    // The stretches of data, in file order; a file without holes is one.
    std::vector<std::pair<int64_t, int64_t>> stretches;
    for (int64_t from = 0; from < end;) {
        int64_t start = 0, stop = 0;
        const int error = RecordFile.FindData(from, start, stop);
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
            CheckInOut(
                RecordFile.ReadAt(from, bytes.data(), static_cast<std::size_t>(to - from), got));
            const int64_t at = LastContentByte(bytes.data(), static_cast<int64_t>(got));
            if (at >= 0) return (from + at) / length;
            to = from;
            if (keepGoing && !keepGoing()) return -2;
        }
    }
    return -1;
}

// Reads the record at `position` without changing anything: into `record`
// (the rest of it cleared), true when a whole record is there.
bool ReadRecordAt(int64_t position, int length, RecordBuffer& record) {
    record.fill(0);
    if (position < 0 || position > RecordFileSize() - length) return false;
    std::size_t got = 0;
    CheckInOut(RecordFile.ReadAt(position, record.data(), static_cast<std::size_t>(length), got));
    if (got == static_cast<std::size_t>(length)) return true;
    record.fill(0);
    return false;
}

// The record at `position` becomes the operator's: read first, and only when
// that worked do the buffers, the position and the record number change.
bool Open(int64_t position, bool refresh) {
    const int length = RecordLength();
    RecordBuffer record{};
    const bool whole = ReadRecordAt(position, length, record);
    CheckInOut(RecordFile.Seek(position));
    WorkRecord = record;
    if (!whole) {
        VerifyRecord.fill(0);
    } else if (Mode == ModeVerify) {
        VerifyRecord = WorkRecord;
    }
    if (position != current.position || current.openings == 0) ++current.openings;
    current.position = position;
    current.number = position / length + 1;
    current.keyed = false;
    current.onFile = whole && !IsEmptyBytes(record.data(), static_cast<std::size_t>(length));
    current.stored = record;
    CurrentRecordNumber = current.number;
    if (refresh && Mode == ModeVerify) ValidateAll(false);
    return whole;
}

// The record as the record file holds it: negative numbers carry the
// overpunch on their last digit instead of a minus sign.
RecordBuffer StoredImage(const RecordBuffer& record) {
    RecordBuffer image = record;
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& field = FieldTable[n];
        if (IsNumericType(field.Type) && NormaliseSign(field, image)) {
            Overpunch(field, image, SignVariant::Din);
        }
    }
    return image;
}

// What a record becomes when it is stored as record number `number`: the
// checks fill in end markers and record counters. For records that only
// move (insert, delete); they were checked when they were keyed.
RecordBuffer ImageAtNumber(int64_t number) {
    CurrentRecordNumber = number;
    // The checks of every field, from the last to the first, as a commit runs
    // them, but without lookups (they belong to the record being keyed, not
    // to records moving by) and without the beeps, which sounded when these
    // records were keyed.
    BeepSilence silence;
    for (int n = FieldCount; n >= 1; --n) FieldExit(n, false);
    return StoredImage(WorkRecord);
}

// A place that holds no record: nothing but the end markers, which an empty
// record has as well. No record counter: a counter alone would make a record
// that nobody keyed.
RecordBuffer EmptyPlaceImage() {
    RecordBuffer image{};
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& field = FieldTable[n];
        if (!HasFlag(field.Type, EndMarker)) continue;
        const std::span<uint8_t> bytes = FieldBytes(field, image);
        if (bytes.size() > 1) bytes[bytes.size() - 2] = 13;
        if (!bytes.empty()) bytes.back() = 10;
    }
    return image;
}

// Copies the bytes from `from` up to `to` of the record file as they are.
int CopyRecordBytes(int64_t from, int64_t to, FileReplacement& out) {
    std::vector<char> block(1 << 16);
    for (int64_t done = from; done < to;) {
        const auto want = static_cast<std::size_t>(
            std::min<int64_t>(to - done, static_cast<int64_t>(block.size())));
        std::size_t got = 0;
        int error = RecordFile.ReadAt(done, block.data(), want, got);
        if (error == 0 && got != want) error = EIO;  // the file is shorter than it was
        if (error == 0) error = out.Write(block.data(), got);
        if (error != 0) return error;
        done += static_cast<int64_t>(got);
    }
    return 0;
}

int WriteImage(FileReplacement& out, const RecordBuffer& image) {
    return out.Write(image.data(), static_cast<std::size_t>(RecordLength()));
}

// Thrown out of a rewrite that the operator stopped.
constexpr int kWalkStopped = -1;

// Moves the records in the places `from` up to `to` (not included) of the
// record file into `out`, each checked again as record number `firstNumber`,
// `firstNumber` + 1, ...: read and written in large blocks, since a move runs
// over every record behind the current one. The first record moved is put
// into `firstImage`.
int MoveRecords(int64_t from, int64_t to, int64_t firstNumber, FileReplacement& out,
                RecordBuffer& firstImage, const std::function<bool()>& keepGoing) {
    const auto length = static_cast<std::size_t>(RecordLength());
    constexpr int64_t kBlockRecords = 512;
    std::vector<uint8_t> in(length * kBlockRecords);
    std::vector<uint8_t> moved;
    moved.reserve(in.size());
    for (int64_t slot = from; slot < to;) {
        const int64_t count = std::min(kBlockRecords, to - slot);
        const std::size_t want = length * static_cast<std::size_t>(count);
        std::size_t got = 0;
        int error = RecordFile.ReadAt(slot * static_cast<int64_t>(length), in.data(), want, got);
        if (error == 0 && got != want) error = EIO;  // the file is shorter than it was
        if (error != 0) return error;
        moved.clear();
        for (int64_t i = 0; i < count; ++i) {
            WorkRecord.fill(0);
            std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(length * i), length,
                        WorkRecord.begin());
            const RecordBuffer image = ImageAtNumber(firstNumber + (slot - from) + i);
            if (slot == from && i == 0) firstImage = image;
            moved.insert(moved.end(), image.begin(), image.begin() + length);
        }
        error = out.Write(moved.data(), moved.size());
        if (error != 0) return error;
        slot += count;
        if (keepGoing && !keepGoing()) return kWalkStopped;
    }
    return 0;
}

// Builds the record file anew beside the old one with what `fill` writes; the
// new file takes the old one's place only when all of it is on the disk, so a
// crash at any moment leaves one of the two whole. Returns 0 or the system's
// error number; the record file is then as it was.
template <typename Fill>
int RewriteRecordFile(Fill fill) {
    int error = RecordTheLength();
    if (error != 0) return error;
    FileReplacement replacement;
    error = replacement.Begin(kRecordJournal);
    if (error == 0) error = fill(replacement);
    if (error != 0) return error;  // the replacement gives itself up
    bool replaced = false;
    error = replacement.Commit(replaced, true);
    if (replaced) {
        RecordFile.Close();
        RecordFile = std::move(replacement.File());
    }
    return error;
}

// After a rewrite the place `position` holds `image`: it is the operator's
// record as if it had been read, without reading it again.
void TakeRewrittenRecord(int64_t position, const RecordBuffer& image) {
    const int length = RecordLength();
    CheckInOut(RecordFile.Seek(position));
    WorkRecord.fill(0);
    std::copy_n(image.begin(), length, WorkRecord.begin());
    if (Mode == ModeVerify) VerifyRecord = WorkRecord;
    current.position = position;
    current.number = position / length + 1;
    current.keyed = false;
    current.onFile = !IsEmptyBytes(image.data(), static_cast<std::size_t>(length));
    current.stored = WorkRecord;
    CurrentRecordNumber = current.number;
    if (Mode == ModeVerify) ValidateAll(false);
}

// The operator's record while a rewrite uses the buffers for the records it
// moves; put back when the rewrite failed, so that nothing of it is lost.
struct RecordKeptAside {
    RecordBuffer work = WorkRecord;
    RecordBuffer verify = VerifyRecord;
    OperatorRecordState state = current;
    void PutBack() const {
        WorkRecord = work;
        VerifyRecord = verify;
        RestoreRecordState(state);
    }
};

// The end of an insert or delete that rewrote the record file with `error`:
// either the place `position` now holds `image`, or the record file and the
// operator's record are as they were (the failure told, a stop not).
void FinishMove(int error, const RecordKeptAside& operatorRecord, int64_t position,
                const RecordBuffer& image) {
    if (error == 0) {
        TakeRewrittenRecord(position, image);
        return;
    }
    operatorRecord.PutBack();
    if (error != kWalkStopped) ReportInOutError(error);
}

}  // namespace

bool IsEmptyBytes(const uint8_t* bytes, std::size_t count) {
    return LastContentByte(bytes, static_cast<int64_t>(count)) < 0;
}

bool IsEmptyRecord(const RecordBuffer& record) {
    return IsEmptyBytes(record.data(), static_cast<std::size_t>(std::max(RecordLength(), 0)));
}

void ResetRecordStore() {
    current = OperatorRecordState{};
    lastCommit = CommitOutcome::Stored;
    ForgetStoredLength();
}

OperatorRecordState CurrentRecordState() {
    return current;
}

void RestoreRecordState(const OperatorRecordState& state) {
    current = state;
    CurrentRecordNumber = state.number;
    CheckInOut(RecordFile.Seek(state.position));
}

void NoteRecordKeyed() {
    current.keyed = true;
}

int64_t RecordOpenings() {
    return current.openings;
}

CommitOutcome LastCommitOutcome() {
    return lastCommit;
}

bool LoadRecord(bool refresh) {
    if (RecordLength() <= 0) return false;
    return Open(RecordFile.Position(), refresh);
}

bool OpenRecordAt(int64_t position, bool refresh) {
    if (RecordLength() <= 0) return false;
    return Open(std::max<int64_t>(position, 0), refresh);
}

bool CommitRecord(bool flush) {
    const int length = RecordLength();
    lastCommit = CommitOutcome::Refused;
    if (length <= 0 || !RecordFile.IsOpen()) return false;
    if (!ValidateAll(true)) return false;
    const int64_t position = RecordFile.Position();
    const RecordBuffer image = StoredImage(WorkRecord);
    const auto count = static_cast<std::size_t>(length);
    // A record read from the file is written again only when it changed; a
    // place without a record gets one only when the operator keyed into it.
    const bool write =
        current.onFile ? !std::equal(image.begin(), image.begin() + length, current.stored.begin())
                       : current.keyed;
    if (write) {
        // Written again in full at every commit, also after a failed flush: a
        // failed flush may have dropped the written bytes, so flushing again
        // alone would prove nothing.
        int error = RecordTheLength();
        if (error == 0) error = RecordFile.Seek(position);
        if (error == 0) error = RecordFile.Write(image.data(), count);
        if (error == 0 && flush) error = RecordFile.SyncData();
        RecordFile.Seek(position);
        if (error != 0) {
            lastCommit = CommitOutcome::NotWritten;
            ReportInOutError(error);
            return false;
        }
        current.keyed = false;
        current.onFile = !IsEmptyBytes(image.data(), count);
        current.stored = image;
    }
    lastCommit = CommitOutcome::Stored;
    CountRecordStored(position / length + 1);
    return true;
}

bool PreviousRecord(bool refresh) {
    const int length = RecordLength();
    if (length <= 0) return false;
    const int64_t position = RecordFile.Position() - length;
    if (position < 0) return false;
    if (Open(position, refresh)) return true;
    // A place before the current one that holds no whole record: only a
    // record file cut short ends like that. Record 1 is the place to be.
    Open(0, refresh);
    return false;
}

bool NextRecord(bool refresh) {
    const int length = RecordLength();
    if (length <= 0) return false;
    const int64_t position = RecordFile.Position();
    if (position + length > RecordFileSize()) {
        // The new record behind the last: it was not stored, so there is no
        // place behind it. It is opened anew, empty.
        WorkRecord.fill(0);
        VerifyRecord.fill(0);
        current.keyed = false;
        ++current.openings;
        return false;
    }
    return Open(position + length, refresh);
}

bool FirstRecord(bool refresh) {
    if (RecordLength() <= 0) return false;
    return Open(0, refresh);
}

bool LastRecord(bool refresh, const std::function<bool()>& keepGoing) {
    const int length = RecordLength();
    if (length <= 0) return false;
    const int64_t slot = LastFilledSlot(length, keepGoing);
    if (slot == -2) return false;
    // An empty record file has no last record: the first place, cleared.
    return Open(std::max<int64_t>(slot, 0) * length, refresh);
}

void InsertRecord(const std::function<bool()>& keepGoing) {
    const int length = RecordLength();
    if (length <= 0) return;
    // The record on the screen is stored first: moving it back must not
    // throw away what was keyed into it. At the append position an untouched
    // record is no record: there is nothing to insert before.
    if (!CommitRecord(true)) return;
    const int64_t position = RecordFile.Position();
    const int64_t size = RecordFileSize();
    if (position + length > size) return;
    const RecordKeptAside operatorRecord;
    const int64_t slots = size / length;
    const int64_t first = position / length;
    RecordBuffer atPosition{};
    const int error = RewriteRecordFile([&](FileReplacement& out) {
        int result = CopyRecordBytes(0, position, out);
        // The new place holds no record until the operator keys into it.
        atPosition = EmptyPlaceImage();
        if (result == 0) result = WriteImage(out, atPosition);
        RecordBuffer unused{};
        if (result == 0) result = MoveRecords(first, slots, first + 2, out, unused, keepGoing);
        return result;
    });
    FinishMove(error, operatorRecord, position, atPosition);
}

void DeleteRecord(const std::function<bool()>& keepGoing) {
    const int length = RecordLength();
    if (length <= 0) return;
    const int64_t position = RecordFile.Position();
    const int64_t size = RecordFileSize();
    const int64_t first = position / length;
    const int64_t last = LastFilledSlot(length, keepGoing);  // the last record that is not empty
    if (last == -2) return;
    const RecordBuffer empty = EmptyPlaceImage();
    if (first > last) {
        // Behind the last record there is nothing to move up: only this place
        // is cleared, where it holds anything, and no other record changes.
        RecordBuffer there{};
        if (ReadRecordAt(position, length, there) &&
            !std::equal(empty.begin(), empty.begin() + length, there.begin())) {
            int error = RecordTheLength();
            if (error == 0)
                error = RecordFile.Write(empty.data(), static_cast<std::size_t>(length));
            if (error == 0) error = RecordFile.SyncData();
            RecordFile.Seek(position);
            if (error != 0) {
                ReportInOutError(error);
                return;
            }
        }
        Open(position, true);
        return;
    }
    const RecordKeptAside operatorRecord;
    RecordBuffer atPosition = empty;
    const int error = RewriteRecordFile([&](FileReplacement& out) {
        int result = CopyRecordBytes(0, position, out);
        if (result == 0)
            result = MoveRecords(first + 1, last + 1, first + 1, out, atPosition, keepGoing);
        // The last record's old place holds no record now.
        if (result == 0) result = WriteImage(out, empty);
        // Empty records behind it and a cut-off tail stay as they were.
        if (result == 0) result = CopyRecordBytes((last + 1) * length, size, out);
        return result;
    });
    FinishMove(error, operatorRecord, position, atPosition);
}

int ReplaceRecordFile(const std::function<int(FileReplacement&)>& fill) {
    const int error = RewriteRecordFile(fill);
    if (error == 0) {
        // The records are others now: the operator's record is the first
        // place, not read yet, and nothing of the old one may be written.
        WorkRecord.fill(0);
        VerifyRecord.fill(0);
        current = OperatorRecordState{0, 1, current.openings + 1, false, false, RecordBuffer{}};
        CurrentRecordNumber = 1;
        RecordFile.Seek(0);
    }
    return error;
}

namespace {

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

RecordFileFit CheckRecordFileFit(int64_t size, int layoutLength) {
    return Classify(size, size > 0 ? ReadLengthFile() : 0, layoutLength);
}

RecordFileFit RecordFileFitNow() {
    if (!RecordFile.IsOpen()) return Classify(0, 0, RecordLength());
    return Classify(RecordFileSize(), storedLength, RecordLength());
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
    CheckInOut(RecordFile.Close());
}

void ClearJournalFiles() {
    EraseFile(kLayoutJournal);
    layoutUnwritten = false;  // the layout is gone, and so is its journal
    reportedLayoutError = 0;
    CheckInOut(RecordFile.Close());
    CheckInOut(RecordFile.Open(kRecordJournal, ByteFile::Mode::Create));
    // No records: the next ones may have any length.
    EraseFile(kRecordLengthFile);
    ForgetStoredLength();
    current = OperatorRecordState{0, 1, current.openings + 1, false, false, RecordBuffer{}};
}
