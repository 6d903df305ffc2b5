#include "files/StationFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "files/RecordStore.h"
#include "files/Statistics.h"
#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"

namespace {

int lockDescriptor = -1;

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
           LeadsToJournalFile(nativePath, kCorrectionJournal) ||
           LeadsToJournalFile(nativePath, kVerificationFile) ||
           LeadsToJournalFile(nativePath, kStatisticsFile) ||
           (layoutJournal && LeadsToJournalFile(nativePath, kLayoutJournal));
}
