// A program run in a pseudo-terminal of the test's own: the test types bytes
// into it and reads back the screen it draws (through VtScreen), the modes it
// leaves the terminal in and how it ended. No terminal multiplexer is needed.
//
//     PtySession session(KELBRIN_TTY_DEMO, {}, {.columns = 80, .rows = 25});
//     ASSERT_TRUE(session.WaitForText("Eingabe:"));
//     session.Send("abc\r");
//     ASSERT_TRUE(session.WaitForText("Eingabe: abc"));
#pragma once
#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/tty/VtScreen.h"

class PtySession {
  public:
    struct Options {
        int columns = 80;
        int rows = 25;
        // Set in the program's environment on top of the test's own; TERM
        // defaults to xterm-256color and LANG to C.UTF-8.
        std::vector<std::pair<std::string, std::string>> environment;
    };
    static constexpr std::chrono::milliseconds kPatience{10000};

    PtySession(const std::string& program, const std::vector<std::string>& arguments,
               Options options);
    // Kills the program if it still runs.
    ~PtySession();
    PtySession(const PtySession&) = delete;
    PtySession& operator=(const PtySession&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // Types bytes, as the terminal would send them for keys, pastes and clicks.
    void Send(std::string_view bytes);
    // Reads output until `ready` holds for the screen; false after `patience`.
    bool WaitFor(const std::function<bool(const VtScreen&)>& ready,
                 std::chrono::milliseconds patience = kPatience);
    bool WaitForText(std::string_view utf8, std::chrono::milliseconds patience = kPatience);
    // Reads whatever arrives within `duration`.
    void Drain(std::chrono::milliseconds duration);
    // Gives the terminal a new size; the program gets SIGWINCH.
    void Resize(int columns, int rows);
    void Signal(int signal);
    // Closes the terminal's master side: the program sees a hang-up.
    void HangUp();

    // Waits for the program to end, reading its last output; its wait status.
    std::optional<int> WaitExit(std::chrono::milliseconds patience = kPatience);
    // The terminal's modes now, as the program set or left them.
    termios Modes() const;

    const VtScreen& Screen() const { return screen_; }
    // Every byte the program wrote so far.
    const std::string& Output() const { return output_; }

  private:
    bool ReadSome(int timeoutMs);

    int master_ = -1;
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = 0;
    VtScreen screen_;
    std::string output_;
};
