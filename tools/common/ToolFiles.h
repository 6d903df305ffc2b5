// File helpers shared by the tools that link nothing of the station: recsort,
// dos2win, win2dos and kelbrin-stats.
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
#include <string>

#include "platform/ErrorReason.h"

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

// One line on standard error, the same for all the tools that stand apart,
// with the reason in the station's words:
//   dos2win: Ein-/Ausgabefehler bei daten.txt: kein Platz mehr auf dem Datenträger (Fehler 28)
// Returns the error number, which the tools use as their exit code.
inline int ReportIoError(const char* program, const char* file, int error) {
    error = ErrorNumber(error);
    std::fflush(stdout);  // progress written so far comes before the report
    std::fprintf(stderr, "%s: Ein-/Ausgabefehler bei %s: %s (Fehler %d)\n", program, file,
                 ErrorReason(error), error);
    return error;
}

// The station's error text for a message of the tool's own, in brackets as
// the station's tools give it:
//   " (Ein-/Ausgabefehler 2: Datei nicht gefunden.)"
inline std::string Because(int error) {
    error = ErrorNumber(error);
    return " (Ein-/Ausgabefehler " + std::to_string(error) + ": " + ErrorReason(error) + ".)";
}

// True when both descriptors are the same regular file, whatever names,
// symbolic links or hard links led to it.
inline bool SameRegularFile(const struct stat& a, const struct stat& b) {
    return S_ISREG(a.st_mode) && S_ISREG(b.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
