#include "files/PrinterPort.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/FileSystem.h"

extern char** environ;

namespace {

// Bytes are collected up to this many before they go out, so that a long
// listing does not cost a system call per line.
constexpr std::size_t kBufferSize = 64 * 1024;

// Starts `lp` with its input from a new pipe; its own messages go nowhere, as
// the terminal may be the station's screen. The pipe's end for writing is in
// `input`. Returns 0 or an error number.
int StartSpooler(int& input, int& child) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return errno;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    char name[] = "lp";
    char* arguments[] = {name, nullptr};
    pid_t pid = -1;
    // The C library reports here when the program cannot be found or run.
    const int error = ::posix_spawnp(&pid, "lp", &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[0]);
    if (error != 0) {
        ::close(ends[1]);
        return error;
    }
    input = ends[1];
    child = pid;
    return 0;
}

}  // namespace

PrinterPort::~PrinterPort() {
    Abandon();
}

int PrinterPort::Open() {
    Abandon();
    buffer_.clear();
    const char* target = std::getenv("KELBRIN_PRINTER");
    toFile_ = target != nullptr && *target != '\0';
    if (toFile_) return file_.Begin(OemFromNative(target));
    return StartSpooler(pipe_, child_) == 0 ? 0 : kPrinterNotReady;
}

int PrinterPort::Write(std::string_view bytes) {
    buffer_.append(bytes);
    return buffer_.size() >= kBufferSize ? Flush() : 0;
}

int PrinterPort::Flush() {
    if (buffer_.empty()) return 0;
    int error = 0;
    if (toFile_) {
        error = file_.Write(buffer_.data(), buffer_.size());
    } else if (pipe_ < 0) {
        error = kPrinterNotReady;
    } else {
        std::size_t done = 0;
        while (done < buffer_.size()) {
            const ssize_t n = ::write(pipe_, buffer_.data() + done, buffer_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            // The spooler stopped reading (EPIPE: it has ended).
            if (n <= 0) {
                error = kPrinterNotReady;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    buffer_.clear();
    return error;
}

int PrinterPort::Finish() {
    int error = Flush();
    if (toFile_) {
        if (error != 0) {
            file_.Abandon();
            return error;
        }
        bool replaced = false;
        error = file_.Commit(replaced);
        toFile_ = false;
        return error;
    }
    const int ended = EndSpooler(error != 0);
    return error != 0 ? error : ended;
}

void PrinterPort::Abandon() {
    buffer_.clear();
    if (toFile_) {
        file_.Abandon();
        toFile_ = false;
    } else {
        EndSpooler(true);
    }
}

int PrinterPort::EndSpooler(bool cancel) {
    if (child_ < 0) return kPrinterNotReady;
    // Ended before its input ends, the spooler queues nothing.
    if (cancel) ::kill(child_, SIGTERM);
    ::close(pipe_);
    pipe_ = -1;
    int status = 0;
    pid_t waited = -1;
    do {
        waited = ::waitpid(child_, &status, 0);
    } while (waited < 0 && errno == EINTR);
    child_ = -1;
    if (waited < 0) return kPrinterNotReady;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : kPrinterNotReady;
}
