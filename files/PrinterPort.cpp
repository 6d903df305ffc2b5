#include "files/PrinterPort.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Bytes are collected up to this many before they go out, so that a long
// listing does not cost a system call per line.
constexpr std::size_t kBufferSize = 64 * 1024;
// How long the port sleeps at a time while the printer takes nothing.
constexpr int kStepMs = 50;

// `lp` runs under a guard of the shell, so that a listing is never printed in
// part, nor once the station has gone without its confirmation. The guard
// holds a second writer of the spooler's input (descriptor 3), so the spooler
// cannot see its input end before the guard lets it: only when the station
// writes "ende" on descriptor 4, after the whole listing. From then on a
// watcher waits for descriptor 4 to end, which the station closes once the
// spooler has ended. Should the station end in any other way (Stop, closing
// the window, a crash, a kill), descriptor 4 ends early and the whole process
// group goes, the spooler with it, before the spooler could queue what it
// has. The guard's exit status is the spooler's.
constexpr const char* kGuard =
    "lp \"$@\" <&5 3>&- 4<&- 5<&- &\n"
    "spooler=$!\n"
    "exec 5<&-\n"
    "read -r word <&4\n"
    "[ \"$word\" = ende ] || kill -KILL 0\n"
    "exec 3>&-\n"
    "(read -r word; kill -KILL 0) <&4 &\n"
    "exec 4<&-\n"
    "wait $spooler\n";
constexpr std::string_view kRelease = "ende\n";

// Guards that were ended but had not gone yet when they were given up: they
// are collected later, so that none stays behind as a zombie.
std::vector<pid_t>& Unreaped() {
    static std::vector<pid_t> pids;
    return pids;
}

void ReapLeftovers() {
    auto& pids = Unreaped();
    std::erase_if(pids, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

// A pipe whose ends lie at descriptor 10 or above, clear of the descriptors
// the guard is given. False when it could not be made.
bool MakePipe(int ends[2]) {
    int raw[2];
    if (::pipe2(raw, O_CLOEXEC) != 0) return false;
    for (int i = 0; i < 2; ++i) {
        ends[i] = ::fcntl(raw[i], F_DUPFD_CLOEXEC, 10);
        ::close(raw[i]);
    }
    if (ends[0] >= 0 && ends[1] >= 0) return true;
    for (int i = 0; i < 2; ++i)
        if (ends[i] >= 0) ::close(ends[i]);
    return false;
}

// Starts `lp` under its guard, in a process group of its own (so that the
// terminal's signals are not the spooler's: the station decides what happens
// to it), with the station's own ignored signals back to their defaults. Its
// messages go nowhere, as the terminal may be the station's screen. False when
// it could not be started.
bool StartSpooler(const std::string& title, int& input, int& release, int& child) {
    int data[2];
    int control[2];
    if (!MakePipe(data)) return false;
    if (!MakePipe(control)) {
        ::close(data[0]);
        ::close(data[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_adddup2(&actions, data[1], 3);
    posix_spawn_file_actions_adddup2(&actions, control[0], 4);
    posix_spawn_file_actions_adddup2(&actions, data[0], 5);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    for (int signal : {SIGPIPE, SIGINT, SIGQUIT, SIGHUP, SIGTERM}) sigaddset(&signals, signal);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // The listing is plain text in UTF-8; saying so keeps the spooler from
    // taking a record that looks like a printer language for one.
    std::string arguments[] = {"sh", "-c",  kGuard, "kelbrin-lp",
                               "-t", title, "-o",   "document-format=text/plain;charset=utf-8"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(data[0]);
    ::close(control[0]);
    if (error != 0) {
        ::close(data[1]);
        ::close(control[1]);
        return false;
    }
    ::fcntl(data[1], F_SETFL, ::fcntl(data[1], F_GETFL) | O_NONBLOCK);
    ::fcntl(control[1], F_SETFL, ::fcntl(control[1], F_GETFL) | O_NONBLOCK);
    input = data[1];
    release = control[1];
    child = pid;
    return true;
}

}  // namespace

PrinterPort::PrinterPort(Watch watch) : watch_(std::move(watch)) {}

PrinterPort::~PrinterPort() {
    Abandon();
}

int PrinterPort::Open(const std::string& title) {
    Abandon();
    ReapLeftovers();
    const char* target = std::getenv("KELBRIN_PRINTER");
    if (target == nullptr || *target == '\0') {
        if (!StartSpooler(title, output_, release_, child_)) return kPrinterNotReady;
        target_ = Target::Spooler;
        return 0;
    }
    const std::string path = NativePath(OemFromNative(target));
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        // A device or a FIFO: opening must not wait either (a FIFO without a
        // reader is not ready at once).
        output_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (output_ < 0) return kPrinterNotReady;
        target_ = Target::Device;
        return 0;
    }
    const int error = file_.BeginNative(path);
    if (error == 0) target_ = Target::File;
    return error;
}

int PrinterPort::Write(std::string_view bytes) {
    if (target_ == Target::None) return kPrinterNotReady;
    if (target_ == Target::Spooler)
        buffer_ += OemToUtf8(bytes);
    else
        buffer_.append(bytes);
    return buffer_.size() >= kBufferSize ? Flush() : 0;
}

int PrinterPort::Flush() {
    if (buffer_.empty()) return 0;
    if (target_ == Target::File) {
        const int error = file_.Write(buffer_.data(), buffer_.size());
        buffer_.clear();
        return error;
    }
    std::size_t done = 0;
    auto since = Clock::now();
    while (done < buffer_.size()) {
        const ssize_t n = ::write(output_, buffer_.data() + done, buffer_.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            since = Clock::now();
            pollUseless_ = false;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // Anything but "not now" means the printer is not there (EPIPE: the
        // spooler or the FIFO's reader has gone; a device's own failure).
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || !Waited(since)) {
            buffer_.clear();
            return kPrinterNotReady;
        }
    }
    buffer_.clear();
    return 0;
}

// Sleeps until the printer may take more, one step at most, and lets the
// station look at its events. False when the listing is given up or the
// printer has taken nothing since `since` for too long.
bool PrinterPort::Waited(Clock::time_point since) {
    pollfd entry{output_, POLLOUT, 0};
    // A driver that cannot tell says "ready" and then takes nothing: after
    // that the port sleeps a whole step instead of asking it again.
    const int ready = pollUseless_ ? ::poll(nullptr, 0, kStepMs) : ::poll(&entry, 1, kStepMs);
    pollUseless_ = ready > 0;
    if (!watch_()) return false;
    return Clock::now() - since < kPrinterPatience;
}

int PrinterPort::Finish() {
    const int error = Flush();
    if (error != 0) {
        Abandon();
        return error;
    }
    switch (target_) {
        case Target::File: {
            target_ = Target::None;
            bool replaced = false;
            return file_.Commit(replaced);
        }
        case Target::Device: {
            target_ = Target::None;
            const int closed = ::close(std::exchange(output_, -1));
            return closed == 0 ? 0 : kPrinterNotReady;
        }
        case Target::Spooler:
            return WaitForSpooler();
        case Target::None:
            break;
    }
    return kPrinterNotReady;
}

int PrinterPort::WaitForSpooler() {
    ::close(std::exchange(output_, -1));
    // An empty pipe always has room for the word.
    const bool released = ::write(release_, kRelease.data(), kRelease.size()) ==
                          static_cast<ssize_t>(kRelease.size());
    if (!released) {
        Abandon();
        return kPrinterNotReady;
    }
    const auto since = Clock::now();
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(child_, &status, WNOHANG);
        if (ended == child_ || (ended < 0 && errno != EINTR)) {
            child_ = -1;
            target_ = Target::None;
            Close();  // the guard's watcher goes
            const bool printed = ended > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
            return printed ? 0 : kPrinterNotReady;
        }
        // The spooler confirms the job only once its server took it: a server
        // that has stopped leaves the spooler waiting.
        ::poll(nullptr, 0, kStepMs);
        if (!watch_() || Clock::now() - since >= kPrinterPatience) {
            Abandon();
            return kPrinterNotReady;
        }
    }
}

void PrinterPort::Abandon() {
    buffer_.clear();
    if (target_ == Target::File) file_.Abandon();
    // The whole group goes, the spooler with its guard, before its input ends.
    if (child_ > 0) ::kill(-child_, SIGKILL);
    Close();
    if (child_ > 0) {
        int status = 0;
        pid_t ended = 0;
        // Killed, it is gone at once; it is never waited for longer.
        for (int i = 0; i < 20 && ended == 0; ++i) {
            ended = ::waitpid(child_, &status, WNOHANG);
            if (ended == 0) ::poll(nullptr, 0, 5);
        }
        if (ended == 0) Unreaped().push_back(child_);
    }
    child_ = -1;
    target_ = Target::None;
}

void PrinterPort::Close() {
    if (output_ >= 0) ::close(std::exchange(output_, -1));
    if (release_ >= 0) ::close(std::exchange(release_, -1));
}
