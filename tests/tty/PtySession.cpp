#include "tests/tty/PtySession.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

PtySession::PtySession(const std::string& program, const std::vector<std::string>& arguments,
                       Options options)
    : screen_(options.columns, options.rows) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(options.columns);
    size.ws_row = static_cast<unsigned short>(options.rows);
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
        setenv("TERM", "xterm-256color", 1);
        setenv("LANG", "C.UTF-8", 1);
        unsetenv("LC_ALL");
        unsetenv("COLORTERM");
        for (const auto& [name, value] : options.environment)
            setenv(name.c_str(), value.c_str(), 1);
        execv(program.c_str(), pointers.data());
        _exit(127);
    }
}

PtySession::~PtySession() {
    if (pid_ > 0 && !exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
}

void PtySession::Send(std::string_view bytes) {
    while (!bytes.empty() && master_ >= 0) {
        const ssize_t written = write(master_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

bool PtySession::ReadSome(int timeoutMs) {
    if (master_ < 0) return false;
    pollfd request{master_, POLLIN, 0};
    if (poll(&request, 1, timeoutMs) <= 0) return false;
    char buffer[8192];
    const ssize_t count = read(master_, buffer, sizeof buffer);
    if (count <= 0) return false;  // EIO once the program and its terminal are gone
    output_.append(buffer, static_cast<std::size_t>(count));
    screen_.Feed(std::string_view(buffer, static_cast<std::size_t>(count)));
    return true;
}

bool PtySession::WaitFor(const std::function<bool(const VtScreen&)>& ready,
                         std::chrono::milliseconds patience) {
    const auto until = std::chrono::steady_clock::now() + patience;
    while (!ready(screen_)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        if (!ReadSome(static_cast<int>(std::min<long long>(left.count(), 50)))) {
            if (exited_) return ready(screen_);
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                status_ = status;
                while (ReadSome(0)) {
                }
                return ready(screen_);
            }
        }
    }
    return true;
}

bool PtySession::WaitForText(std::string_view utf8, std::chrono::milliseconds patience) {
    const std::string text(utf8);
    return WaitFor([&text](const VtScreen& screen) { return screen.Contains(text); }, patience);
}

void PtySession::Drain(std::chrono::milliseconds duration) {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < until) ReadSome(10);
}

void PtySession::Resize(int columns, int rows) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = static_cast<unsigned short>(rows);
    ioctl(master_, TIOCSWINSZ, &size);
    screen_.Resize(columns, rows);
}

void PtySession::Signal(int signal) {
    if (pid_ > 0 && !exited_) kill(pid_, signal);
}

void PtySession::HangUp() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

std::optional<int> PtySession::WaitExit(std::chrono::milliseconds patience) {
    const auto until = std::chrono::steady_clock::now() + patience;
    while (!exited_) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            exited_ = true;
            status_ = status;
            break;
        }
        if (std::chrono::steady_clock::now() >= until) return std::nullopt;
        if (!ReadSome(10) && master_ < 0) usleep(10000);
    }
    while (ReadSome(0)) {
    }
    return status_;
}

termios PtySession::Modes() const {
    termios modes{};
    tcgetattr(master_, &modes);
    return modes;
}
