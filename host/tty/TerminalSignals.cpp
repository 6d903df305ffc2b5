#include "host/tty/TerminalSignals.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace terminal_signals {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE,  SIGILL, SIGABRT,
                                 SIGQUIT, SIGSYS, SIGXCPU, SIGXFSZ};
constexpr int kOtherSignals[] = {SIGWINCH, SIGCONT, SIGTSTP, SIGPIPE};
constexpr std::size_t kMaxSequence = 512;

// Everything the handlers touch: fixed storage, written before they are installed.
struct State {
    volatile sig_atomic_t installed = 0;
    volatile sig_atomic_t active = 0;  // the terminal is in our modes
    volatile sig_atomic_t stop = 0;
    volatile sig_atomic_t redraw = 0;
    int ttyFd = -1;
    int outFd = -1;
    int pipeRead = -1;
    int pipeWrite = -1;
    termios saved{};
    termios raw{};
    char setup[kMaxSequence] = {};
    std::size_t setupLength = 0;
    char restore[kMaxSequence] = {};
    std::size_t restoreLength = 0;
    struct sigaction previous[NSIG] = {};
    struct sigaction tstp = {};
    bool atExitRegistered = false;
};
State state;

// A stack of its own for the crash handler, so a stack overflow still gives
// the terminal back.
alignas(16) char alternateStack[64 * 1024];

void WriteAll(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = write(fd, bytes, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

void Wake() {
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = write(state.pipeWrite, &byte, 1);
}

// Async-signal-safe: write() and tcsetattr() only. Input typed for the
// station and not yet read is dropped, so it cannot reach the shell.
void GiveBack() {
    if (!state.active) return;
    state.active = 0;
    WriteAll(state.outFd, state.restore, state.restoreLength);
    tcsetattr(state.ttyFd, TCSAFLUSH, &state.saved);
}

void TakeAgain() {
    if (state.active || !state.installed) return;
    tcsetattr(state.ttyFd, TCSANOW, &state.raw);
    WriteAll(state.outFd, state.setup, state.setupLength);
    state.active = 1;
}

void OnStop(int) {
    const int savedErrno = errno;
    state.stop = 1;
    Wake();
    errno = savedErrno;
}

void OnRedraw(int) {
    const int savedErrno = errno;
    state.redraw = 1;
    Wake();
    errno = savedErrno;
}

void OnSuspend(int) {
    const int savedErrno = errno;
    GiveBack();
    struct sigaction stopNow {};
    stopNow.sa_handler = SIG_DFL;
    sigemptyset(&stopNow.sa_mask);
    sigaction(SIGTSTP, &stopNow, nullptr);
    sigset_t set, old;
    sigemptyset(&set);
    sigaddset(&set, SIGTSTP);
    pthread_sigmask(SIG_UNBLOCK, &set, &old);
    // Stops here until continued. A process group without a parent shell to
    // continue it is not stopped at all; either way the terminal is taken again.
    raise(SIGTSTP);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    sigaction(SIGTSTP, &state.tstp, nullptr);
    TakeAgain();
    state.redraw = 1;
    Wake();
    errno = savedErrno;
}

void OnFatal(int signal, siginfo_t* info, void*) {
    GiveBack();
    struct sigaction previous = state.previous[signal];
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN) {
        previous.sa_handler = SIG_DFL;
    }
    sigaction(signal, &previous, nullptr);
    // A fault happens again by itself when the handler returns; a signal that
    // was sent is sent again. Either way the previous handler (or the default
    // action) takes it.
    if (info == nullptr || info->si_code <= 0 || signal == SIGABRT || signal == SIGQUIT)
        raise(signal);
}

void AtExit() {
    GiveBack();
}

void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, &state.previous[signal]);
}

bool CopySequence(const std::string& text, char* buffer, std::size_t& length) {
    if (text.size() > kMaxSequence) return false;
    std::memcpy(buffer, text.data(), text.size());
    length = text.size();
    return true;
}

}  // namespace

bool Install(int ttyFd, int outFd, const termios& saved, const termios& raw,
             const std::string& setup, const std::string& restore) {
    if (state.installed) return false;
    if (!CopySequence(setup, state.setup, state.setupLength) ||
        !CopySequence(restore, state.restore, state.restoreLength)) {
        return false;
    }
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    state.pipeRead = fds[0];
    state.pipeWrite = fds[1];
    state.ttyFd = ttyFd;
    state.outFd = outFd;
    state.saved = saved;
    state.raw = raw;
    state.stop = 0;
    state.redraw = 0;

    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
        stack_t ours{};
        ours.ss_sp = alternateStack;
        ours.ss_size = sizeof alternateStack;
        sigaltstack(&ours, nullptr);
    }

    for (int signal : kStopSignals) {
        struct sigaction before {};
        sigaction(signal, nullptr, &before);
        // A signal ignored when the program started (nohup, a background job)
        // stays ignored.
        if (!(before.sa_flags & SA_SIGINFO) && before.sa_handler == SIG_IGN) {
            state.previous[signal] = before;
            continue;
        }
        SetHandler(signal, OnStop);
    }
    SetHandler(SIGWINCH, OnRedraw);
    SetHandler(SIGCONT, OnRedraw);
    SetHandler(SIGTSTP, OnSuspend);
    state.tstp.sa_handler = OnSuspend;
    sigemptyset(&state.tstp.sa_mask);
    state.tstp.sa_flags = SA_RESTART;
    // A pipe that breaks (the print spooler gone) must give a write error, not end the station.
    SetHandler(SIGPIPE, SIG_IGN);
    for (int signal : kFatalSignals) {
        struct sigaction action {};
        action.sa_sigaction = OnFatal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigaction(signal, &action, &state.previous[signal]);
    }
    if (!state.atExitRegistered) {
        std::atexit(AtExit);
        state.atExitRegistered = true;
    }
    state.installed = 1;
    TakeAgain();
    return true;
}

bool ChangeSetup(const std::string& setup) {
    if (!state.installed) return false;
    // Ctrl+Z and resume read the sequence in their handler: they wait meanwhile.
    const OutputGuard guard;
    return CopySequence(setup, state.setup, state.setupLength);
}

void Uninstall() {
    if (!state.installed) return;
    GiveBack();
    state.installed = 0;
    for (int signal : kStopSignals) sigaction(signal, &state.previous[signal], nullptr);
    for (int signal : kFatalSignals) sigaction(signal, &state.previous[signal], nullptr);
    for (int signal : kOtherSignals) sigaction(signal, &state.previous[signal], nullptr);
    close(state.pipeRead);
    close(state.pipeWrite);
    state.pipeRead = state.pipeWrite = -1;
}

int WakeFd() {
    return state.installed ? state.pipeRead : -1;
}

Pending Take() {
    Pending pending;
    if (!state.installed) return pending;
    char drain[64];
    while (read(state.pipeRead, drain, sizeof drain) > 0) {
    }
    if (state.stop) {
        state.stop = 0;
        pending.stop = true;
    }
    if (state.redraw) {
        state.redraw = 0;
        pending.redraw = true;
    }
    return pending;
}

OutputGuard::OutputGuard() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGWINCH, SIGCONT, SIGTSTP})
        sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
}

OutputGuard::~OutputGuard() {
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

}  // namespace terminal_signals
