// The part of the terminal host that runs in signal handlers: giving the
// terminal back (its saved modes, mouse and paste reporting off, the normal
// screen) and taking it again, and the self-pipe that carries Stop, resize and
// resume into the main flow, where they are acted on.
//
// Crash signals give the terminal back and are raised again; Ctrl+Z gives it
// back, stops, and takes it again on resume; exit() gives it back too.
#pragma once
#include <signal.h>
#include <termios.h>

#include <string>

namespace terminal_signals {

struct Pending {
    bool stop = false;    // Ctrl+C (SIGINT), SIGTERM, hang-up (SIGHUP)
    bool redraw = false;  // size changed (SIGWINCH) or resumed (SIGCONT)
};

// Takes the terminal over: `raw` modes on `ttyFd` and `setup` written to
// `outFd`; `restore` is written and `saved` set whenever it is given back.
// Installs the handlers. False when it is taken over already.
bool Install(int ttyFd, int outFd, const termios& saved, const termios& raw,
             const std::string& setup, const std::string& restore);
// From now on the terminal is taken again (after Ctrl+Z) with `setup`. False
// when nothing is installed or `setup` is too long.
bool ChangeSetup(const std::string& setup);
// Gives the terminal back and puts the previous handlers back. Safe to repeat.
void Uninstall();
// Readable while a signal waits to be taken; -1 when nothing is installed.
int WakeFd();
// The signals that arrived since the last call.
Pending Take();

// Holds back the signals whose handlers write to the terminal while a frame is
// being written, so their sequences never land inside one of ours.
class OutputGuard {
  public:
    OutputGuard();
    ~OutputGuard();
    OutputGuard(const OutputGuard&) = delete;
    OutputGuard& operator=(const OutputGuard&) = delete;

  private:
    sigset_t old_;
};

}  // namespace terminal_signals
