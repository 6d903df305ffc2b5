// File helpers shared by recsort, dos2win and win2dos.
//
// The tools talk to the system through plain descriptors: they move whole
// files, so a stream layer would only add copies. Reads and writes here go on
// until everything asked for is transferred, because the system may hand over
// less at a time (pipes, signals) and the tools must not mistake that for the
// end of the file or for a finished write.
#pragma once
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

// Reads until `size` bytes are in or the input ends. Returns the count read,
// or -1 with errno set when the system reports a read error.
inline ssize_t ReadFull(int fd, void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = read(fd, bytes + done, size - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// Writes all `size` bytes. False with errno set when the system refuses.
inline bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = write(fd, bytes, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// Closes a file that was written; a late write failure (full disk, network
// file system) only shows here and must not pass for success.
inline bool CloseWritten(int fd) {
    return close(fd) == 0 || errno == EINTR;
}

// The error number to report: never 0, so that a failure can never end the
// program with the exit code of success.
inline int ErrorNumber(int error) {
    return error != 0 ? error : EIO;
}

// One line on standard error, the same for all three tools:
//   dos2win: Ein-/Ausgabefehler bei daten.txt: No space left on device (Fehler 28)
// Returns the error number, which the tools use as their exit code.
inline int ReportIoError(const char* program, const char* file, int error) {
    error = ErrorNumber(error);
    std::fflush(stdout);  // progress written so far comes before the report
    std::fprintf(stderr, "%s: Ein-/Ausgabefehler bei %s: %s (Fehler %d)\n", program, file,
                 std::strerror(error), error);
    return error;
}

// True when both descriptors are the same regular file, whatever names,
// symbolic links or hard links led to it.
inline bool SameRegularFile(const struct stat& a, const struct stat& b) {
    return S_ISREG(a.st_mode) && S_ISREG(b.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
