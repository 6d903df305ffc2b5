#include "host/tty/TerminalWindowSystem.h"

#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>

#include "console/ConsoleKeyboard.h"
#include "console/ConsoleScreen.h"
#include "host/tty/TerminalSignals.h"
#include "host/tty/Terminfo.h"

namespace {

constexpr int64_t kDefaultEscapeDelayMs = 25;
// How long new program-key captions stay on the legend line of a 25-row terminal.
constexpr int64_t kCaptionNoticeMs = 4000;

int64_t EscapeDelayFromEnvironment() {
    const char* text = std::getenv("ESCDELAY");
    if (text == nullptr || *text == '\0') return kDefaultEscapeDelayMs;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0) return kDefaultEscapeDelayMs;
    return std::min<long>(value, 2000);
}

// UTF-8 unless the locale names another character set. The C locale counts as
// UTF-8: it nearly always means "no locale set" on a terminal that speaks
// UTF-8, and the station's umlauts and frames would be lost in ASCII.
bool LocaleSpeaksUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr) return true;
    return strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0 ||
           std::strcmp(codeset, "ANSI_X3.4-1968") == 0 || std::strcmp(codeset, "ASCII") == 0;
}

// Keys arrive byte by byte, unechoed, untranslated; Ctrl+C and Ctrl+Z still
// make their signals (Stop and suspend), and Ctrl+\ its emergency exit.
termios RawModes(const termios& saved) {
    termios raw = saved;
    raw.c_iflag &=
        ~static_cast<tcflag_t>(IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | INPCK | PARMRK);
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
    raw.c_lflag |= ISIG;
    raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return raw;
}

// The alternate screen, no automatic wrap at the right margin, mouse clicks
// (SGR form) and bracketed paste; given back in the reverse order.
constexpr const char* kNoWrap = "\x1b[?7l";
constexpr const char* kMouseOn = "\x1b[?1000h\x1b[?1006h";
constexpr const char* kPasteOn = "\x1b[?2004h";
constexpr const char* kReportingOff = "\x1b[?2004l\x1b[?1006l\x1b[?1000l\x1b[0m\x1b[?7h";
constexpr const char* kMouseOff = "\x1b[?1006l\x1b[?1000l";
// Unambiguous key reports where the terminal has them: xterm's modifyOtherKeys
// at level 2, and the kitty keyboard protocol's flags 1 (Esc, Alt and Ctrl
// keys as reports of their own) and 4 (the character with Shift and the key's
// place on a US keyboard) pushed onto the terminal's stack. Then both are
// asked for: the answers arrive among the keys and tell the decoder that an
// Esc is always the Esc key. A terminal that knows neither ignores all of it.
// On the way out they go first: before the colour reset above (which undoes
// CSI > 4 m where a terminal misreads it as a colour) and before the normal
// screen returns (the alternate screen keeps its own stack of flags).
constexpr const char* kKeyReportsOn = "\x1b[>4;2m\x1b[>5u\x1b[?u\x1b[?4m";
constexpr const char* kKeyReportsOff = "\x1b[<u\x1b[>4m";
// Which terminal this is (secondary device attributes); the answer, too,
// arrives among the keys. GNU screen, while it reports the mouse, keeps a lone
// Esc back until the next key shows that no mouse report begins with it: Esc
// then 3 reaches us as Alt+3, Esc then an arrow as Alt with the arrow, and no
// delay of ours can tell. So under screen the mouse is given up for the Esc key.
constexpr const char* kWhichTerminal = "\x1b[>c";
// Cancels a sequence cut short by a crash, and a picture left half-drawn.
constexpr const char* kCancel = "\x18\x1b[?2026l";

// The Linux console knows neither kind of key report, and takes one of the
// questions for a change of its mouse pointer.
bool LinuxConsole() {
    const char* term = std::getenv("TERM");
    return term != nullptr && std::strncmp(term, "linux", 5) == 0;
}

std::string TooSmallNotice(int columns, int rows) {
    return "Das Terminal ist zu klein: mindestens " + std::to_string(Frame::kWidth) + " \u00D7 " +
           std::to_string(Frame::kHeight) + " Zeichen, jetzt " + std::to_string(columns) +
           " \u00D7 " + std::to_string(rows) + ". Bitte vergr\u00F6\u00DFern.";
}

struct DepthGuard {
    int& depth;
    explicit DepthGuard(int& d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
};

}  // namespace

TerminalWindowSystem::TerminalWindowSystem(TerminalOptions options) : options_(std::move(options)) {
    timing_.escapeDelayMs =
        options_.escapeDelayMs >= 0 ? options_.escapeDelayMs : EscapeDelayFromEnvironment();
    decoder_ = InputDecoder(timing_);
    boxDecoder_ = InputDecoder(timing_);
}

TerminalWindowSystem::~TerminalWindowSystem() {
    Close();
}

int64_t TerminalWindowSystem::NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool TerminalWindowSystem::Open(HostEvents& form) {
    if (open_) return true;
    form_ = &form;
    ColorDepth depth = ColorDepth::Direct;
    GlyphEncoding encoding = GlyphEncoding::Utf8;
    if (options_.takeOverTerminal) {
        if (!isatty(options_.inputFd) || !isatty(options_.outputFd)) {
            std::fputs("kelbrin4: Ein- und Ausgabe sind kein Terminal.\n", stderr);
            return false;
        }
        // Only the character set: numbers and sorting stay as the station expects them.
        std::setlocale(LC_CTYPE, "");
        encoding = LocaleSpeaksUtf8() ? GlyphEncoding::Utf8 : GlyphEncoding::Locale;
        const TerminalCapabilities caps = QueryTerminalCapabilities(options_.outputFd);
        depth = caps.depth;
        bell_ = caps.bellSound;
        termios saved{};
        if (tcgetattr(options_.inputFd, &saved) != 0) {
            std::fprintf(stderr, "kelbrin4: Terminal nicht lesbar: %s\n", std::strerror(errno));
            return false;
        }
        const bool keyReports = !LinuxConsole();
        const std::string questions =
            keyReports ? std::string(kKeyReportsOn) + kWhichTerminal : std::string();
        setupWithoutMouse_ = caps.enterAlternateScreen + kNoWrap + kPasteOn + questions;
        const std::string setup =
            caps.enterAlternateScreen + kNoWrap + kMouseOn + kPasteOn + questions;
        const std::string restore =
            std::string(kCancel) + (keyReports ? kKeyReportsOff : "") + kReportingOff +
            caps.showCursor +
            (caps.leaveAlternateScreen.empty() ? std::string("\x1b[H\x1b[2J")
                                               : caps.leaveAlternateScreen);
        if (!terminal_signals::Install(options_.inputFd, options_.outputFd, saved, RawModes(saved),
                                       setup, restore)) {
            std::fputs("kelbrin4: Das Terminal ist schon in Gebrauch.\n", stderr);
            return false;
        }
        mouseReported_ = true;
    }
    if (options_.colorDepth) depth = *options_.colorDepth;
    writer_ = FrameWriter(depth, encoding);
    open_ = true;
    UpdateSize();
    writer_.Invalidate();
    Render();
    return true;
}

void TerminalWindowSystem::Close() {
    if (!open_) return;
    open_ = false;
    if (options_.takeOverTerminal) terminal_signals::Uninstall();
}

bool TerminalWindowSystem::SessionStarted() const {
    // The station takes keys once Start has bound the console to this window
    // system and to the form's controls; keys before that wait.
    return form_ != nullptr && BoundWindowSystem() == this &&
           MainControl() == &form_->MainAreaControl();
}

bool TerminalWindowSystem::MayDeliver() const {
    if (!open_ || tooSmall_ || box_) return false;
    if (abandoned_) return true;  // input is only drained, for Ctrl+C
    if (!SessionStarted() || KeyQueue.KeyAvailable) return false;
    return depth_ == 0 || nestedWaitAllowed_;
}

void TerminalWindowSystem::Pump() {
    if (!open_) return;
    ServiceSignals();
    ReadInput(decoder_);
    HandleStop();  // a hang-up seen while reading
    DeliverPending();
    FollowTerminal(decoder_);
    // Inside a delivery (a long paste) the station pumps after every key: a
    // few pictures a second are enough there, the last one follows at the end.
    constexpr int64_t kNestedFrameMs = 40;
    if (depth_ == 0 || NowMs() - lastRenderMs_ >= kNestedFrameMs) Render();
}

void TerminalWindowSystem::WaitForEvents() {
    if (!open_) return;
    Render();
    // The station waits for a key inside a delivery (a paste, a click): the
    // next pump may hand it one.
    if (depth_ > 0) nestedWaitAllowed_ = true;
    if (MayDeliver()) {
        if (held_.empty()) {
            if (std::optional<InputEvent> event = decoder_.Next(NowMs()))
                held_.push_back(std::move(*event));
        }
        if (!held_.empty()) return;
    }
    FollowTerminal(decoder_);
    if (stopRequested_) {
        // Saving for Stop waits for a key: with no terminal left none will
        // ever come, and waiting would go on for ever.
        if (stopping_ && terminalGone_) EndProcess(1);
        // A Stop that comes while Stop saves waits for that to end; until
        // then this wait sleeps like any other.
        if (!stopping_) return;  // taken at the next pump
    }
    // Undecided bytes only set a wake-up time while they can be decided and
    // delivered; otherwise (a screen too small) the wait would never sleep.
    Sleep(decoder_, !tooSmall_ && decoder_.Buffered() < kInputLimit, MayDeliver());
}

void TerminalWindowSystem::ServiceSignals() {
    if (options_.takeOverTerminal) {
        const terminal_signals::Pending pending = terminal_signals::Take();
        if (pending.redraw) {
            UpdateSize();
            writer_.Invalidate();
            noticeShown_ = false;
        }
        if (pending.stop) stopRequested_ = true;
    }
    HandleStop();
}

void TerminalWindowSystem::HandleStop() {
    // While a message box is up, Stop waits until it is closed.
    if (!stopRequested_ || stopping_ || box_ || form_ == nullptr) return;
    stopRequested_ = false;
    stopping_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{stopping_};
    form_->StopDown();
    // Stop came back: saving failed and the station carries on, unless there
    // is no terminal or no session left to carry on with.
    if (terminalGone_ || abandoned_) EndProcess(1);
}

void TerminalWindowSystem::ReadInput(InputDecoder& decoder, bool evenWhenTooSmall) {
    if (!open_ || terminalGone_ || options_.inputFd < 0) return;
    if (tooSmall_ && !evenWhenTooSmall) return;  // keys stay unread until the screen fits
    char buffer[4096];
    while (decoder.Buffered() < kInputLimit) {
        pollfd request{options_.inputFd, POLLIN, 0};
        const int ready = poll(&request, 1, 0);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return;
        if (request.revents & POLLIN) {
            const ssize_t count = read(options_.inputFd, buffer, sizeof buffer);
            if (count > 0) {
                decoder.Feed(std::string_view(buffer, static_cast<std::size_t>(count)), NowMs());
                continue;
            }
            if (count < 0 && (errno == EINTR || errno == EAGAIN)) return;
            HangUp();  // end of input, or the terminal went away (EIO)
            return;
        }
        if (request.revents & (POLLHUP | POLLERR | POLLNVAL)) HangUp();
        return;
    }
}

void TerminalWindowSystem::DeliverPending() {
    while (MayDeliver()) {
        if (held_.empty()) {
            std::optional<InputEvent> event = decoder_.Next(NowMs());
            if (!event) return;
            held_.push_back(std::move(*event));
        }
        const InputEvent event = std::move(held_.front());
        held_.pop_front();
        nestedWaitAllowed_ = false;
        Deliver(event);
    }
}

bool TerminalWindowSystem::SignalKey(const InputEvent& event) {
    switch (event.kind) {
        case InputEvent::Kind::Interrupt:
            stopRequested_ = true;
            return true;
        case InputEvent::Kind::Suspend:
        case InputEvent::Kind::Quit:
            // The terminal reported the key instead of letting the system make
            // its signal of it: the host makes it, so Ctrl+Z still suspends and
            // Ctrl+\ still ends at once.
            if (options_.takeOverTerminal)
                raise(event.kind == InputEvent::Kind::Suspend ? SIGTSTP : SIGQUIT);
            return true;
        default:
            return false;
    }
}

void TerminalWindowSystem::Deliver(const InputEvent& event) {
    if (SignalKey(event)) {
        HandleStop();
        return;
    }
    if (abandoned_) return;
    captionNoticeUntil_ = 0;  // the operator goes on: the legend line is needed again
    DepthGuard depth(depth_);
    switch (event.kind) {
        case InputEvent::Kind::Key:
            form_->KeyDown(event.virtualKey, event.shift, event.character);
            break;
        case InputEvent::Kind::Paste:
            // The window's right-click paste: the text goes through the clipboard.
            clipboard_ = event.text;
            form_->MouseDown(MouseButton::Right);
            form_->MouseUp(MouseButton::Right);
            break;
        case InputEvent::Kind::Mouse:
            DeliverMouse(event);
            break;
        default:
            break;
    }
}

void TerminalWindowSystem::DeliverMouse(const InputEvent& event) {
    if (event.button == MouseButton::Middle) return;  // the window does nothing with it either
    bool& pressedInside = pressInside_[event.button == MouseButton::Left ? 0 : 1];
    const bool inside =
        event.x >= 1 && event.x <= Frame::kWidth && event.y >= 1 && event.y <= Frame::kHeight;
    if (event.pressed) {
        pressedInside = inside;
        // Only the main area takes a press; the status and legend lines react on release.
        if (!inside || event.y == 1 || event.y == Frame::kHeight) return;
        if (event.button == MouseButton::Left) form_->SelectCell(event.x, event.y);
        form_->MouseDown(event.button);
        return;
    }
    if (!pressedInside) return;
    pressedInside = false;
    form_->MouseUp(event.button);
}

void TerminalWindowSystem::Sleep(const InputDecoder& decoder, bool readInput, bool untilDeadline) {
    pollfd fds[2] = {};
    fds[0].fd = options_.takeOverTerminal ? terminal_signals::WakeFd() : -1;
    fds[0].events = POLLIN;
    // Without reading, the terminal is still watched for a hang-up.
    fds[1].fd = terminalGone_ ? -1 : options_.inputFd;
    fds[1].events = readInput ? POLLIN : 0;
    int timeout = -1;
    const int64_t now = NowMs();
    if (std::optional<int64_t> deadline = decoder.Deadline(); deadline && untilDeadline) {
        timeout = static_cast<int>(std::clamp<int64_t>(*deadline - now, 0, INT_MAX));
    }
    if (ProgramKeyRow(now) == Frame::kHeight) {  // wake up to give the legend line back
        const int left = static_cast<int>(std::min<int64_t>(captionNoticeUntil_ - now, INT_MAX));
        timeout = timeout < 0 ? left : std::min(timeout, left);
    }
    if (fds[0].fd < 0 && fds[1].fd < 0 && timeout < 0) timeout = 1000;  // nothing left to wake us
    const int ready = poll(fds, 2, timeout);
    if (ready > 0 && fds[1].fd >= 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) &&
        !(fds[1].revents & POLLIN)) {
        HangUp();
    }
}

void TerminalWindowSystem::FollowTerminal(const InputDecoder& decoder) {
    if (!mouseReported_ || !decoder.GnuScreen() || terminalGone_) return;
    // Also after Ctrl+Z and on resume: the terminal is taken again without the mouse.
    mouseReported_ = false;
    terminal_signals::ChangeSetup(setupWithoutMouse_);
    Write(kMouseOff);
}

void TerminalWindowSystem::HangUp() {
    // Nothing can be read or shown any more: save and end as with Stop.
    terminalGone_ = true;
    stopRequested_ = true;
}

void TerminalWindowSystem::UpdateSize() {
    if (options_.takeOverTerminal) {
        winsize size{};
        if (ioctl(options_.outputFd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 &&
            size.ws_row > 0) {
            columns_ = size.ws_col;
            rows_ = size.ws_row;
        }
    }
    const bool small = columns_ < Frame::kWidth || rows_ < Frame::kHeight;
    if (small != tooSmall_) {
        tooSmall_ = small;
        writer_.Invalidate();
        noticeShown_ = false;
    }
}

void TerminalWindowSystem::Render() {
    if (!open_ || terminalGone_ || form_ == nullptr) return;
    if (tooSmall_) {
        if (!noticeShown_) {
            Write(writer_.Notice(TooSmallNotice(columns_, rows_), columns_, rows_));
            noticeShown_ = true;
        }
        return;
    }
    // Nothing to do when no control changed, no cursor moved and the box stayed.
    RenderKey key;
    const RichEdit* controls[3] = {&form_->StatusControl(), &form_->MainAreaControl(),
                                   &form_->LegendControl()};
    for (int i = 0; i < 3; ++i) {
        key.revision[i] = controls[i]->Revision();
        key.focused[i] = controls[i]->Focused();
    }
    key.box = box_.has_value();
    key.boxTop = box_ ? box_->top : 0;
    const int64_t now = NowMs();
    key.captionRow = ProgramKeyRow(now);
    key.captions = key.captionRow > 0 ? captionsRevision_ : 0;
    key.infoRow = InfoRow();
    key.info = key.infoRow > 0 ? infoRevision_ : 0;
    if (writer_.Valid() && renderedKey_ && *renderedKey_ == key) return;
    Frame frame = BuildFrame(*controls[0], *controls[1], *controls[2]);
    if (key.captionRow == Frame::kProgramKeyRow || key.infoRow == Frame::kProgramKeyRow)
        frame.rows = Frame::kProgramKeyRow;
    if (key.captionRow > 0) DrawProgramKeys(frame, key.captionRow, captions_);
    if (key.infoRow > 0) DrawInfoRow(frame, key.infoRow, info_);
    if (box_) DrawMessageBox(frame, *box_);
    const std::string bytes = writer_.Update(frame);
    renderedKey_ = key;
    lastRenderMs_ = now;
    Write(bytes);
}

void TerminalWindowSystem::Write(const std::string& bytes) {
    if (bytes.empty() || terminalGone_ || options_.outputFd < 0) return;
    std::optional<terminal_signals::OutputGuard> guard;
    if (options_.takeOverTerminal) guard.emplace();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = write(options_.outputFd, bytes.data() + done, bytes.size() - done);
        if (count > 0) {
            done += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && errno == EAGAIN) {
            pollfd writable{options_.outputFd, POLLOUT, 0};
            poll(&writable, 1, 1000);
            continue;
        }
        HangUp();
        return;
    }
}

// Where the program keys and their captions show: on a row of their own below
// the screen where the terminal has room for it; else, after they changed, on
// the legend line (which lists the keys that apply) until the next key or for a
// few seconds; nowhere when no key has a caption, or while the information
// text has their row.
int TerminalWindowSystem::ProgramKeyRow(int64_t nowMs) const {
    const bool any = std::any_of(captions_.begin(), captions_.end(),
                                 [](const std::string& caption) { return !caption.empty(); });
    if (!any || InfoRow() > 0) return 0;
    if (rows_ >= Frame::kProgramKeyRow) return Frame::kProgramKeyRow;
    return captionNoticeUntil_ > nowMs ? Frame::kHeight : 0;
}

// The information text takes the row below the screen while it says
// something. It never goes onto the legend line: that line tells the operator
// which keys apply, and the text changes with nearly every key.
int TerminalWindowSystem::InfoRow() const {
    return !info_.empty() && rows_ >= Frame::kProgramKeyRow ? Frame::kProgramKeyRow : 0;
}

void TerminalWindowSystem::ShowInfo(const std::string& utf8) {
    if (info_ == utf8) return;
    info_ = utf8;
    ++infoRevision_;
}

void TerminalWindowSystem::SetProgramKeyCaption(int index, const std::string& utf8) {
    if (index < 0 || index >= 12 || captions_[index] == utf8) return;
    captions_[index] = utf8;
    ++captionsRevision_;
    captionNoticeUntil_ = NowMs() + kCaptionNoticeMs;
}

const std::string& TerminalWindowSystem::ProgramKeyCaption(int index) const {
    static const std::string none;
    return index >= 0 && index < 12 ? captions_[index] : none;
}

void TerminalWindowSystem::Beep() {
    if (open_) Write(bell_);
}

void TerminalWindowSystem::HoldTypeAhead() {
    // Keys typed before the box appeared were meant for the station, not for
    // the box: they are decoded now and wait, in order, until it is closed. So
    // no message is dismissed by a key typed before it could be read.
    ReadInput(decoder_, true);
    for (;;) {
        while (std::optional<InputEvent> event = decoder_.Next(NowMs()))
            held_.push_back(std::move(*event));
        if (decoder_.Empty() || terminalGone_) return;
        Sleep(decoder_, true, true);
        ReadInput(decoder_, true);
    }
}

void TerminalWindowSystem::MessageBox(const std::string& caption, const std::string& text) {
    if (!open_ || terminalGone_ || box_) {
        if (!open_) std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return;
    }
    HoldTypeAhead();
    box_ = LayoutMessageBox(caption, text);
    boxDecoder_ = InputDecoder(timing_);
    boxDecoder_.AdoptKeyReports(decoder_);
    bool closed = false;
    while (!closed) {
        ServiceSignals();
        if (stopRequested_ || terminalGone_) break;  // the box goes, Stop acts at the next pump
        Render();
        ReadInput(boxDecoder_);
        while (std::optional<InputEvent> event = boxDecoder_.Next(NowMs())) {
            if (SignalKey(*event)) {
                if (stopRequested_) break;
                continue;
            }
            if (event->kind != InputEvent::Kind::Key) continue;
            const int page = std::max(1, box_->VisibleLines() - 1);
            switch (event->virtualKey) {
                case VkReturn:
                case VkEscape:
                    closed = true;
                    break;
                case VkUp:
                    box_->Scroll(-1);
                    break;
                case VkDown:
                    box_->Scroll(1);
                    break;
                case VkPrior:
                    box_->Scroll(-page);
                    break;
                case VkNext:
                    box_->Scroll(page);
                    break;
                case VkHome:
                    box_->Scroll(-INT_MAX / 2);
                    break;
                case VkEnd:
                    box_->Scroll(INT_MAX / 2);
                    break;
                default:
                    break;  // the box swallows every other key
            }
            if (closed) break;
        }
        FollowTerminal(boxDecoder_);
        if (closed || stopRequested_) break;
        Render();
        Sleep(boxDecoder_, !tooSmall_, true);
    }
    box_.reset();
    // Bytes typed after the closing key belong to the station again.
    decoder_.AdoptKeyReports(boxDecoder_);
    const std::string rest = boxDecoder_.TakeRaw();
    if (!rest.empty()) decoder_.Feed(rest, NowMs());
    boxDecoder_ = InputDecoder(timing_);
    Render();
}

void TerminalWindowSystem::EndProcess(int exitCode) {
    Close();
    if (options_.endProcess) options_.endProcess(exitCode);
    std::exit(exitCode);
}

void TerminalWindowSystem::ServeUntilStopped() {
    abandoned_ = true;
    for (;;) {
        Pump();
        WaitForEvents();
    }
}

int RunTerminalHost(HostEvents& form, TerminalWindowSystem& windowSystem) {
    if (!windowSystem.Open(form)) return 1;
    try {
        form.StartDown();
        windowSystem.ServeUntilStopped();
    } catch (const ProcessEnded& ended) {
        windowSystem.Close();
        return ended.exitCode;
    } catch (const std::exception& error) {
        windowSystem.Close();
        std::fprintf(stderr, "kelbrin4: %s\n", error.what());
        return 1;
    } catch (...) {
        windowSystem.Close();
        std::fputs("kelbrin4: unerwarteter Fehler\n", stderr);
        return 1;
    }
}
