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
#include <vector>

#include "console/ConsoleKeyboard.h"
#include "console/ConsoleScreen.h"
#include "core/FieldModel.h"
#include "core/FieldTypes.h"
#include "core/FieldValidation.h"
#include "core/InOutFailure.h"
#include "core/Prompts.h"
#include "core/RecordActions.h"
#include "core/Session.h"
#include "files/DefinitionFile.h"
#include "files/SignOverpunch.h"
#include "files/Statistics.h"
#include "platform/CodePage.h"
#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"
#include "platform/WindowSystem.h"

ByteFile RecordFile;

namespace {

int lockDescriptor = -1;

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
// Nobody else works in this directory (the lock says so), so a journal file's
// belongs to no running write and goes. The working directory also takes the
// station's exports and definition files: their new files go once the process
// that made them is gone (another station may be writing into this directory).
void RemoveUnfinishedFiles() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(".", error)) {
        const std::string name = entry.path().filename().string();
        if (WildcardMatch(".KELBRIN4.CR?.*.neu", name))
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
    if (layoutError != 0 && layoutError != ENOENT) throw InOutError(layoutError);
    const int opened = RecordFile.Open(kRecordJournal, ByteFile::Mode::ReadWrite);
    bool present = opened == 0;
    // Only a record file that is not there is made anew. One that is there but
    // cannot be opened (a failing disk) holds records: the start-up fails and
    // says why, rather than putting an empty file in their place.
    if (opened == ENOENT) {
        CheckInOut(RecordFile.Open(kRecordJournal, ByteFile::Mode::CreateNew));
    } else {
        CheckInOut(opened);
    }
    if (layoutError == 0) {
        // An empty or damaged one is said so and stays until the next layout.
        if (layout.empty())
            ShowMessage("Kann Datei nicht lesen !!!", true);
        else
            UseDefinitionBytes(layout);
        present = true;
    }
    if (present) {
        ShowMessage("Es sind schon Daten vorhanden", false);
        ClearAllPrompt();
    }
}

void CloseJournal() {
    int64_t size = 0;
    CheckInOut(RecordFile.Size(size));
    CheckInOut(RecordFile.Close());
    if (size == 0) EraseFile(kRecordJournal);
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

// Reads `length` bytes at `position` of the record file into `record` (the
// rest of it cleared); false when they are not all there.
bool ReadRecordAt(int64_t position, int length, RecordBuffer& record) {
    record.fill(0);
    CheckInOut(RecordFile.Seek(position));
    std::size_t got = 0;
    CheckInOut(RecordFile.Read(record.data(), static_cast<std::size_t>(length), got));
    return got == static_cast<std::size_t>(length);
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
RecordBuffer ImageAtNumber(int32_t number) {
    CurrentRecordNumber = number;
    // The checks of every field, from the last to the first, as a commit runs
    // them, but without lookups (they belong to the record being keyed, not
    // to records moving by) and without the beeps, which sounded when these
    // records were keyed.
    BeepSilence silence;
    for (int n = FieldCount; n >= 1; --n) FieldExit(n, false);
    return StoredImage(WorkRecord);
}

// Copies the bytes from `from` up to `to` of the record file as they are.
int CopyRecordBytes(int64_t from, int64_t to, FileReplacement& out) {
    std::vector<char> block(1 << 16);
    for (int64_t done = from; done < to;) {
        const auto want = static_cast<std::size_t>(
            std::min<int64_t>(to - done, static_cast<int64_t>(block.size())));
        std::size_t got = 0;
        int error = RecordFile.Seek(done);
        if (error == 0) error = RecordFile.Read(block.data(), want, got);
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

// Moves the records in the places `from` up to `to` (not included) of the
// record file into `out`, each checked again as record number `firstNumber`,
// `firstNumber` + 1, ...: read and written in large blocks, since a move runs
// over every record behind the current one.
int MoveRecords(int64_t from, int64_t to, int64_t firstNumber, FileReplacement& out) {
    const auto length = static_cast<std::size_t>(RecordLength());
    constexpr int64_t kBlockRecords = 512;
    std::vector<uint8_t> in(length * kBlockRecords);
    std::vector<uint8_t> moved;
    moved.reserve(in.size());
    for (int64_t slot = from; slot < to;) {
        const int64_t count = std::min(kBlockRecords, to - slot);
        const std::size_t want = length * static_cast<std::size_t>(count);
        std::size_t got = 0;
        int error = RecordFile.Seek(slot * static_cast<int64_t>(length));
        if (error == 0) error = RecordFile.Read(in.data(), want, got);
        if (error == 0 && got != want) error = EIO;  // the file is shorter than it was
        if (error != 0) return error;
        moved.clear();
        for (int64_t i = 0; i < count; ++i) {
            WorkRecord.fill(0);
            std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(length * i), length,
                        WorkRecord.begin());
            const RecordBuffer image =
                ImageAtNumber(static_cast<int32_t>(firstNumber + (slot - from) + i));
            moved.insert(moved.end(), image.begin(), image.begin() + length);
        }
        error = out.Write(moved.data(), moved.size());
        if (error != 0) return error;
        slot += count;
    }
    return 0;
}

// Builds the record file anew beside the old one with what `fill` writes; the
// new file takes the old one's place only when all of it is on the disk, so a
// crash at any moment leaves one of the two whole. Returns 0 or the system's
// error number; the record file is then as it was.
template <typename Fill>
int RewriteRecordFile(Fill fill) {
    FileReplacement replacement;
    int error = replacement.Begin(kRecordJournal);
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

}  // namespace

bool IsEmptyRecord(const RecordBuffer& record) {
    const int length = RecordLength();
    for (int i = 0; i < length; ++i) {
        const uint8_t byte = record[static_cast<std::size_t>(i)];
        if (byte != 0 && byte != 10 && byte != 13) return false;
    }
    return true;
}

bool LoadRecord(bool refresh) {
    const int length = RecordLength();
    if (length <= 0) return false;
    const int64_t position = RecordFile.Position();
    bool whole = position >= 0 && position <= RecordFileSize() - length;
    if (whole) whole = ReadRecordAt(position, length, WorkRecord);
    CheckInOut(RecordFile.Seek(position));
    if (!whole) {
        WorkRecord.fill(0);
        VerifyRecord.fill(0);
    } else if (Mode == ModeVerify) {
        VerifyRecord = WorkRecord;
    }
    CurrentRecordNumber = static_cast<int32_t>(position / length + 1);
    if (refresh && Mode == ModeVerify) ValidateAll(false);
    return whole;
}

bool CommitRecord(bool flush) {
    const int length = RecordLength();
    if (length <= 0 || !RecordFile.IsOpen()) return false;
    if (!ValidateAll(true)) return false;
    const int64_t position = RecordFile.Position();
    const RecordBuffer image = StoredImage(WorkRecord);
    // Written again in full at every commit, also after a failed flush: a
    // failed flush may have dropped the written bytes, so flushing again
    // alone would prove nothing.
    int error = RecordFile.Seek(position);
    if (error == 0) error = RecordFile.Write(image.data(), static_cast<std::size_t>(length));
    if (error == 0 && flush) error = RecordFile.SyncData();
    RecordFile.Seek(position);
    if (error != 0) {
        ReportInOutError(error);
        return false;
    }
    CountRecordStored(position / length + 1);
    return true;
}

bool PreviousRecord(bool refresh) {
    const int length = RecordLength();
    if (length <= 0) return false;
    const int64_t position = RecordFile.Position() - length;
    if (position < 0) return false;
    CheckInOut(RecordFile.Seek(position));
    if (LoadRecord(refresh)) return true;
    CheckInOut(RecordFile.Seek(0));
    CurrentRecordNumber = 1;
    return false;
}

bool NextRecord(bool refresh) {
    const int length = RecordLength();
    if (length <= 0) return false;
    CheckInOut(RecordFile.Seek(RecordFile.Position() + length));
    return LoadRecord(refresh);
}

bool FirstRecord(bool refresh) {
    if (RecordLength() <= 0) return false;
    CheckInOut(RecordFile.Seek(0));
    return LoadRecord(refresh);
}

bool LastRecord(bool refresh) {
    const int length = RecordLength();
    if (length <= 0) return false;
    const int64_t size = RecordFileSize();
    // An empty record file has no last record: the first place, cleared.
    CheckInOut(RecordFile.Seek(size < length ? 0 : (size - length) / length * length));
    bool loaded = LoadRecord(refresh);
    while (loaded && IsEmptyRecord(WorkRecord)) {
        if (!PreviousRecord(refresh)) break;
    }
    return loaded;
}

void InsertRecord() {
    const int length = RecordLength();
    if (length <= 0) return;
    // The record on the screen is stored first: moving it back must not
    // throw away what was keyed into it. At the append position an untouched
    // record is no record: there is nothing to insert before.
    const int64_t position = RecordFile.Position();
    if (position + length <= RecordFileSize() || !IsEmptyRecord(WorkRecord)) {
        if (!CommitRecord(true)) return;
    }
    const int64_t size = RecordFileSize();
    int error = 0;
    if (position + length <= size) {
        const int64_t slots = size / length;
        const int64_t first = position / length;
        error = RewriteRecordFile([&](FileReplacement& out) {
            int result = CopyRecordBytes(0, position, out);
            WorkRecord.fill(0);
            if (result == 0)
                result = WriteImage(out, ImageAtNumber(static_cast<int32_t>(first + 1)));
            if (result == 0) result = MoveRecords(first, slots, first + 2, out);
            return result;
        });
    }
    // Back on the operator's record before anything is shown: the error box
    // lets window events through, Stop among them, which stores that record.
    CheckInOut(RecordFile.Seek(position));
    LoadRecord(true);
    if (error != 0) ReportInOutError(error);
}

void DeleteRecord() {
    const int length = RecordLength();
    if (length <= 0) return;
    const int64_t position = RecordFile.Position();
    const int64_t size = RecordFileSize();
    const int64_t first = position / length;
    int64_t last = size / length - 1;  // the last record that is not empty
    for (; last >= 0; --last) {
        if (ReadRecordAt(last * length, length, WorkRecord) && !IsEmptyRecord(WorkRecord)) break;
    }
    int error = 0;
    if (first > last) {
        // Behind the last record there is nothing to move up: only this record
        // is cleared (where there is one), no other record changes.
        CheckInOut(RecordFile.Seek(position));
        WorkRecord.fill(0);
        VerifyRecord.fill(0);
        CurrentRecordNumber = static_cast<int32_t>(first + 1);
        if (position + length <= size) CommitRecord(true);
    } else {
        error = RewriteRecordFile([&](FileReplacement& out) {
            int result = CopyRecordBytes(0, position, out);
            if (result == 0) result = MoveRecords(first + 1, last + 1, first + 1, out);
            // The last record's old place: cleared, with what the checks fill in.
            WorkRecord.fill(0);
            if (result == 0)
                result = WriteImage(out, ImageAtNumber(static_cast<int32_t>(last + 1)));
            // Empty records behind it and a cut-off tail stay as they were.
            if (result == 0) result = CopyRecordBytes((last + 1) * length, size, out);
            return result;
        });
    }
    // Back on the operator's record before anything is shown: the error box
    // lets window events through, Stop among them, which stores that record.
    CheckInOut(RecordFile.Seek(position));
    LoadRecord(true);
    if (error != 0) ReportInOutError(error);
}

int ReplaceRecordFile(const std::function<int(FileReplacement&)>& fill) {
    return RewriteRecordFile(fill);
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
}
