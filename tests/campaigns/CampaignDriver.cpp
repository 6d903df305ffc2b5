// Campaigns against the real station in a pseudo-terminal, proving that what
// the operator has left is never lost:
//
//   kill      a long working day, the station killed (SIGKILL) at random
//             moments and started again in the same directory, the files
//             checked after every kill;
//   syscalls  a short working day run again and again with exactly one system
//             call on the station's files failing (strace injects it);
//   script    types a small script into the station and prints the screen:
//             for trying out key sequences and for reproducing a finding.
//
// Every figure goes to standard output; the exit status is 0 when nothing was
// found, 1 when something was, 2 when the campaign could not run.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "files/Verification.h"
#include "tests/tty/PtySession.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Keys as an xterm sends them.
const std::string kF1 = "\x1bOP", kF2 = "\x1bOQ", kF3 = "\x1bOR", kF4 = "\x1bOS", kF5 = "\x1b[15~",
                  kF7 = "\x1b[18~", kF8 = "\x1b[19~", kF9 = "\x1b[20~", kF12 = "\x1b[24~",
                  kHome = "\x1b[H", kEnd = "\x1b[F", kPgDn = "\x1b[6~", kDown = "\x1b[B",
                  kShiftUp = "\x1b[1;2A";

// The layout the campaigns key into, typed in the layout screen: a customer
// key (8 letters), an account number with a modulus-10 check digit (5), a
// batch number that Dup/Skip carries over from the record before (3), an
// amount (6, right-justified), a colour from the table Tab/farbe (6; the last
// field, so that a choice from its list completes the record) and the line
// end.
const std::string kLayoutKeys = "a8\rh+5\rd+3\rn+6\ra+6\rtfarbe\re+2\r";
constexpr int kLength = 8 + 5 + 3 + 6 + 6 + 2;
constexpr int kKeyPos = 0, kCheckPos = 8, kBatchPos = 13, kAmountPos = 16, kColourPos = 22;
constexpr unsigned kFields = 6, kTables = 1;
const std::string kLayoutFile = "CAMP.DEF";
const std::string kExportFile = "EXPORT.DAT";
const std::string kTableFile = "Tab/farbe";
// In byte order, as the station wants its tables. Two letters pick one
// entry (Be, Br, Ge, Oc) or open the choice list (Bl, Gr, Ro).
const std::vector<std::string> kColours = {"Beige", "Blau",  "Blei", "Braun", "Gelb", "Grau",
                                           "Gruen", "Ocker", "Rosa", "Rost",  "Rot"};

// A second layout of another record length, on program key 3 (Alt+3; F12
// steps to it, the only key assigned): records of one length must never be
// read or written under another, so the station refuses it while records are
// on file.
const std::string kOtherLayoutKeys = "a44\re+2\r";
constexpr int kOtherLength = 46;
const std::string kOtherLayoutFile = "LANG.DEF";
const std::string kAltProgramKey = std::string(1, '\x1b') + '3';
const std::string kRefusal = "Der Satzaufbau " + kOtherLayoutFile + " hat " +
                             std::to_string(kOtherLength) + " Zeichen, die Sätze " +
                             std::to_string(kLength) + " !!!";
// What KELBRIN4.LEN must hold once records are on file.
const std::string kLengthFile = "KELBRIN4.LEN";
const std::string kLengthText = std::to_string(kLength) + "\n";

// Texts the station shows when something could not be read or written, or
// when the layout does not fit the records on file.
const std::vector<std::string> kFailureTexts = {
    "Ein-/Ausgabefehler",    "Kann Datei nicht", "Kann Verzeichnis nicht",
    "Kann Definitionsdatei", "Kann Tabelle",     "Die Sätze in KELBRIN4.CR2"};

std::string ReadFile(const std::string& path, bool* exists = nullptr) {
    std::ifstream in(path, std::ios::binary);
    if (exists) *exists = static_cast<bool>(in);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Hidden new files of an unfinished replacement: ".<name>.<pid>-<n>.neu".
std::vector<std::string> TemporaryFiles(const std::string& directory) {
    std::vector<std::string> found;
    for (const std::string& name : ListDirectory(directory)) {
        if (name.size() > 5 && name[0] == '.' && name.ends_with(".neu")) found.push_back(name);
    }
    return found;
}

// Those whose process has ended: a start must have removed them.
std::vector<std::string> OrphanedTemporaryFiles(const std::string& directory) {
    std::vector<std::string> found;
    for (const std::string& name : TemporaryFiles(directory)) {
        const std::size_t dash = name.rfind('-');
        const std::size_t dot = name.rfind('.', dash);
        if (dash == std::string::npos || dot == std::string::npos) continue;
        const pid_t owner = std::atoi(name.c_str() + dot + 1);
        if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) found.push_back(name);
    }
    return found;
}

std::string Printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// The records of the day.

bool IsEmptyRecord(const std::string& record) {
    return std::all_of(record.begin(), record.end(),
                       [](unsigned char c) { return c == 0 || c == 10 || c == 13; });
}

// A record the driver keyed is told apart from an empty or cleared one by
// its key, which always starts with 'R'.
bool IsKeyedRecord(const std::string& record) {
    return !record.empty() && record[kKeyPos] == 'R';
}

struct Entry {
    std::string key;     // 8 characters
    std::string check;   // 5 digits, the last one the check digit
    std::string batch;   // 3 digits; empty when Dup/Skip carries it over
    std::string amount;  // 1 to 6 digits
    std::string colour;  // the table entry chosen
    std::string prefix;  // what is typed of it
    std::string choice;  // the keys that choose it: Enter, or the list's keys

    // The keys up to the colour's choice: anywhere among them the station
    // takes other keys (a program key) and then goes on.
    std::string Typed() const {
        std::string keys = key + check + batch + amount;
        if (amount.size() < 6) keys += "\r";
        return keys + prefix;
    }
    // The keys that type it, from the first position of the record on; the
    // record is complete (and the station moves on) after the last one.
    std::string Keys() const { return Typed() + choice; }
    // The record as KELBRIN4.CR2 holds it; '?' where the batch is still open.
    std::string Stored() const {
        // The batch is an Auto Dup field: with Dup/Skip on, entering it
        // copies the record before's, so it is left open until the record is
        // stored; from then on it is checked like every other byte.
        std::string record = key + check + "???";
        record += std::string(6 - amount.size(), ' ') + amount;
        record += colour + std::string(6 - colour.size(), ' ') + "\r\n";
        return record;
    }
};

// A colour keyed as an operator does: its first two letters, then Enter (the
// station completes a unique beginning at once and opens the choice list for
// several) or Down (opens the list in any case); in the list Down goes to the
// entry and Enter takes it. Enter or Down there also leaves the last field, so
// the choice completes the record.
void ChooseColour(std::mt19937& random, Entry& entry) {
    entry.colour = kColours[random() % kColours.size()];
    entry.prefix = entry.colour.substr(0, 2);
    int before = 0, candidates = 0;
    for (const std::string& colour : kColours) {
        if (!colour.starts_with(entry.prefix)) continue;
        ++candidates;
        if (colour < entry.colour) ++before;
    }
    const bool down = random() % 2 == 0;
    if (!down && candidates == 1) {
        entry.choice = "\r";
        return;
    }
    entry.choice = down ? kDown : "\r";
    for (int i = 0; i < before; ++i) entry.choice += kDown;
    entry.choice += "\r";
}

std::string CheckNumber(std::mt19937& random) {
    std::string digits;
    int sum = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = static_cast<int>(random() % 10);
        sum += d;
        digits += static_cast<char>('0' + d);
    }
    return digits + static_cast<char>('0' + sum % 10);
}

std::string Amount(std::mt19937& random) {
    const int digits = 1 + static_cast<int>(random() % 6);
    std::string amount(1, static_cast<char>('1' + random() % 9));
    for (int i = 1; i < digits; ++i) amount += static_cast<char>('0' + random() % 10);
    return amount;
}

// Whether a stored record is the expected one; '?' in `expected` stands for
// any byte (a batch not yet stored).
bool Matches(const std::string& stored, const std::string& expected) {
    if (stored.size() != expected.size()) return false;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        // The batch is an Auto Dup field: with Dup/Skip on the station copies
        // the record before's into it whenever the cursor enters it, also in
        // a record keyed long ago, so its bytes are not the driver's to know.
        if (i >= kBatchPos && i < kBatchPos + 3) continue;
        // An empty place of a field reads 0 or blank: a record that moves
        // (insert, delete) has its fields formatted again.
        const auto blank = [](char c) { return c == 0 || c == ' '; };
        if (blank(stored[i]) && blank(expected[i])) continue;
        if (expected[i] == '?') {
            continue;
        } else if (stored[i] != expected[i]) {
            return false;
        }
    }
    return true;
}

// A place nobody keyed into (behind the last record, inserted, left by a
// delete) holds no record, not even what the station fills in itself (the
// batch that switching Dup/Skip on copies into a fresh record): blanks and
// line ends at most, where a record moved away. So a field keyed into the
// wrong record (a colour chosen from the list landing in the next one) is
// found.
bool HoldsNoRecord(const std::string& record) {
    return std::all_of(record.begin(), record.end(),
                       [](char c) { return c == 0 || c == ' ' || c == '\r' || c == '\n'; });
}

// What the driver knows KELBRIN4.CR2 must hold: one entry per place. A keyed
// record must be there exactly as it was stored; a place without one must
// hold no record (HoldsNoRecord).
struct Journal {
    std::vector<std::string> places;  // a keyed record's expected bytes, or "" for none

    static Journal FromFile(const std::string& bytes) {
        Journal journal;
        for (std::size_t at = 0; at + kLength <= bytes.size(); at += kLength) {
            const std::string record = bytes.substr(at, kLength);
            journal.places.push_back(IsKeyedRecord(record) ? record : std::string());
        }
        return journal;
    }
    int KeyedCount() const {
        return static_cast<int>(
            std::count_if(places.begin(), places.end(), [](const auto& p) { return !p.empty(); }));
    }
    // Empty when `bytes` (the record file) holds what this journal says,
    // otherwise what differs.
    std::string Compare(const std::string& bytes) const {
        const std::size_t slots = std::max(places.size(), bytes.size() / kLength);
        std::set<std::string> keys;
        for (std::size_t i = 0; i < slots; ++i) {
            const std::string stored =
                (i + 1) * kLength <= bytes.size() ? bytes.substr(i * kLength, kLength) : "";
            const std::string expected = i < places.size() ? places[i] : "";
            if (IsKeyedRecord(stored) && !keys.insert(stored.substr(kKeyPos, 8)).second)
                return "record " + std::to_string(i + 1) + " is there twice: " + Printable(stored);
            if (expected.empty()) {
                if (!HoldsNoRecord(stored))
                    return "record " + std::to_string(i + 1) + " should be empty but holds " +
                           Printable(stored);
            } else if (!Matches(stored, expected)) {
                return "record " + std::to_string(i + 1) + " is " +
                       (stored.empty() ? std::string("missing") : Printable(stored)) +
                       ", expected " + Printable(expected);
            }
        }
        return {};
    }
};

// What an export of `journal` holds: every record that is not empty, as the
// record file holds it, in order. Takes the real bytes of places without a
// keyed record from `file`.
std::string ExportOf(const std::string& file) {
    std::string out;
    for (std::size_t at = 0; at + kLength <= file.size(); at += kLength) {
        const std::string record = file.substr(at, kLength);
        if (!IsEmptyRecord(record)) out += record;
    }
    return out;
}

// Whether a data file holds the records of `expected` (the batch aside, as
// in Matches).
bool SameRecords(const std::string& file, const std::string& expected) {
    if (file.size() != expected.size()) return false;
    for (std::size_t at = 0; at < file.size(); at += kLength)
        if (!Matches(file.substr(at, kLength), expected.substr(at, kLength))) return false;
    return true;
}

// A layout file is whole when it is the one the station wrote at set-up.
std::string CheckLayoutFile(const std::string& path, const std::string& expected,
                            bool mayBeAbsent) {
    bool exists = false;
    const std::string bytes = ReadFile(path, &exists);
    if (!exists) return mayBeAbsent ? "" : path + " is missing";
    if (bytes.size() < 10 || bytes.substr(0, 8) != "FeldDef2") return path + " is not a layout";
    const int count = static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9])
                                                                 << 8;
    // 5084 bytes of frame, screen and program keys, 15 per field, 11 per table.
    if (bytes.size() != 5084u + 15u * static_cast<unsigned>(count) + 11u * kTables)
        return path + " has " + std::to_string(bytes.size()) + " bytes for " +
               std::to_string(count) + " fields";
    if (bytes != expected) return path + " holds another layout";
    return {};
}

// ---------------------------------------------------------------------------
// The station in its terminal.

struct Options {
    std::string station;
    std::string strace = "/usr/bin/strace";
    std::string directory;
    unsigned seed = 1;
    int size = 30;
    bool verbose = false;
    std::vector<std::string> calls = {"write",     "pwrite64", "read",   "pread64",   "fsync",
                                      "fdatasync", "rename",   "openat", "ftruncate", "close"};
    std::vector<std::string> errors = {"EIO", "ENOSPC"};
    int sample = 0;  // syscalls: injections per call and error, 0 for all
    int only = 0;    // syscalls: inject at this call number only
    std::string on;  // syscalls: inject at the first call whose trace holds this
};

PtySession::Options TerminalOptions() {
    PtySession::Options options;
    options.environment = {{"ESCDELAY", "25"},
                           // A sanitizer build's leak checker cannot run under a
                           // tracer, and a killed process leaks by definition.
                           {"ASAN_OPTIONS", "detect_leaks=0"}};
    return options;
}

int RecordNumberOnScreen(const VtScreen& screen) {
    const std::string row = screen.Row(1);
    const std::size_t at = row.find("Satz ");
    if (at == std::string::npos) return 0;
    return std::atoi(row.c_str() + at + 5);
}

bool ShowsFailure(const VtScreen& screen) {
    return std::any_of(kFailureTexts.begin(), kFailureTexts.end(),
                       [&](const std::string& text) { return screen.Contains(text); });
}

class Station {
  public:
    Station(const Options& options, const std::vector<std::string>& tracer = {}) {
        std::vector<std::string> arguments = tracer;
        std::string program = options.station;
        if (!tracer.empty()) {
            program = options.strace;
            arguments.push_back(options.station);
        }
        arguments.push_back("--terminal");
        session_ = std::make_unique<PtySession>(program, arguments, TerminalOptions());
    }

    PtySession& Pty() { return *session_; }
    const VtScreen& Screen() { return session_->Screen(); }
    void Send(const std::string& keys) { session_->Send(keys); }
    // Esc alone must stand apart from what follows, or it reads as Alt.
    void SendEscape() {
        session_->Send("\x1b");
        session_->Drain(60ms);
    }
    bool WaitText(const std::string& text, std::chrono::milliseconds patience = 10s) {
        return session_->WaitForText(text, patience);
    }
    bool WaitRecord(int number, std::chrono::milliseconds patience = 10s) {
        return session_->WaitFor(
            [number](const VtScreen& s) { return RecordNumberOnScreen(s) == number; }, patience);
    }
    // Waits for `ready`, or for a failure shown on the screen.
    enum class Outcome { Ready, Failure, Timeout };
    Outcome Await(const std::function<bool(const VtScreen&)>& ready,
                  std::chrono::milliseconds patience = 10s) {
        bool ok = session_->WaitFor([&](const VtScreen& s) { return ready(s) || ShowsFailure(s); },
                                    patience);
        if (!ok) return Outcome::Timeout;
        return ShowsFailure(Screen()) ? Outcome::Failure : Outcome::Ready;
    }
    void Kill() {
        session_->Signal(SIGKILL);
        session_->WaitExit(5s);
    }

  private:
    std::unique_ptr<PtySession> session_;
};

// Starts the station in the working directory as an operator does: when data
// is there it keeps it (N), then it goes from the layout screen to entry.
bool StartToLayout(Station& station, bool dataPresent) {
    if (dataPresent) {
        // A start that fails says so in a box instead: no need to wait long.
        if (station.Await([](const VtScreen& s) {
                return s.Contains("Daten löschen (Esc/N/Entf) ?");
            }) != Station::Outcome::Ready)
            return false;
        station.Send("n");
    }
    return station.WaitText("F9Modus");
}

// ---------------------------------------------------------------------------
// The script tool: each line is "keys TEXT" (C escapes \r \e \xNN), "wait
// TEXT", "sleep MS", "screen", "kill" or "exit" (the station must end by
// itself with status 0).

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r')
            out += '\r';
        else if (c == 'n')
            out += '\n';
        else if (c == 'e')
            out += '\x1b';
        else if (c == 't')
            out += '\t';
        else if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return out;
}

int RunScript(const Options& options, std::istream& script) {
    Station station(options);
    std::string line;
    int failures = 0;
    while (std::getline(script, line)) {
        const std::size_t space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (verb == "keys") {
            station.Send(Unescape(rest));
        } else if (verb == "wait") {
            if (!station.WaitText(rest)) {
                std::cout << "did not appear: " << rest << "\n";
                ++failures;
            }
        } else if (verb == "sleep") {
            station.Pty().Drain(std::chrono::milliseconds(std::atoi(rest.c_str())));
        } else if (verb == "screen") {
            station.Pty().Drain(100ms);
            std::cout << station.Screen().Text() << "----\n";
        } else if (verb == "kill") {
            station.Kill();
        } else if (verb == "exit") {
            // The station must end by itself, and well.
            const std::optional<int> status = station.Pty().WaitExit(10s);
            if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
                std::cout << "did not end well; screen:\n" << station.Screen().Text() << "\n";
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}

// Closes failure boxes (each with Enter) until none is shown; false when one
// does not go.
bool CloseBoxes(Station& station) {
    for (int i = 0; i < 5; ++i) {
        if (!ShowsFailure(station.Screen())) return true;
        station.Send("\r");
        station.Pty().WaitFor([](const VtScreen& s) { return !ShowsFailure(s); }, 3s);
    }
    return !ShowsFailure(station.Screen());
}

// ---------------------------------------------------------------------------
// The working day: steps an operator takes, each with what the record file
// must hold before and after it.

struct Figures {
    int kills = 0, killsAtStart = 0, steps = 0, commitsChecked = 0, restarts = 0;
    int leftTemporaries = 0, leftSurvivingTemporaries = 0, exportsChecked = 0, layoutsChecked = 0;
    int verifiedChecked = 0;  // records found verified, each time they were
    int refusalsChecked = 0, listChoices = 0, recordCallsChecked = 0;
    std::map<std::string, int> stepsByKind;
    std::vector<std::string> failures;
};

class Day {
  public:
    Day(const Options& options, Figures& figures, unsigned seed)
        : options_(options), figures_(figures), random_(seed) {}

    Journal journal;                        // what KELBRIN4.CR2 must hold
    std::optional<std::string> exportFile;  // what EXPORT.DAT must hold (absent: none)
    std::string layout;                     // the layout CR1 and CAMP.DEF hold
    int serial = 0;
    bool dupSkip = false;  // off at every start
    // The last step showed a failure and went on past it (a layout that could
    // not be read behind a program key changes nothing).
    bool ToldInline() const { return toldInline_; }

    enum class Kind {
        Append,
        Correct,
        InsertAndKey,
        Delete,
        Export,
        Import,
        DupSkip,
        Verify,
        Layout,
        ProgramKey
    };
    static const char* Name(Kind kind) {
        static const char* names[] = {"append", "correct", "insert", "delete", "export",
                                      "import", "dupskip", "verify", "layout", "programkey"};
        return names[static_cast<int>(kind)];
    }

    Kind PickKind() {
        const int keyed = journal.KeyedCount();
        for (;;) {
            const int roll = static_cast<int>(random_() % 100);
            Kind kind = roll < 39   ? Kind::Append
                        : roll < 45 ? Kind::ProgramKey
                        : roll < 58 ? Kind::Correct
                        : roll < 66 ? Kind::InsertAndKey
                        : roll < 73 ? Kind::Delete
                        : roll < 80 ? Kind::Export
                        : roll < 84 ? Kind::Import
                        : roll < 91 ? Kind::DupSkip
                        : roll < 96 ? Kind::Verify
                                    : Kind::Layout;
            const bool needsRecords = kind == Kind::Correct || kind == Kind::InsertAndKey ||
                                      kind == Kind::Delete || kind == Kind::Verify;
            if (needsRecords && keyed < 2) continue;
            if (kind == Kind::ProgramKey && keyed < 1) continue;  // refused only with records
            if (kind == Kind::Import && !exportFile) continue;
            if (kind == Kind::Verify && dupSkip) continue;  // verify re-keys every field
            return kind;
        }
    }

    // Runs one step. With `killAfter` the station is killed that long after
    // the step's keys went out (its outcome is then open: the file must hold
    // what it held before or what it holds after). Returns false when the step
    // could not be finished (a failure is then recorded, unless `killAfter`).
    // `told` is set when the station showed a failure on the way.
    enum class Result { Done, Killed, Failed, Told };
    Result Run(Station& station, Kind kind, std::optional<std::chrono::microseconds> killAfter) {
        ++figures_.steps;
        ++figures_.stepsByKind[Name(kind)];
        station_ = &station;
        killAfter_ = killAfter;
        killed_ = false;
        told_ = false;
        toldInline_ = false;
        before_ = journal;
        after_ = journal;
        afterExport_ = exportFile;
        loosePlace_ = -1;
        pending_ = false;
        bool done = false;
        switch (kind) {
            case Kind::Append:
                done = Append();
                break;
            case Kind::Correct:
                done = Correct();
                break;
            case Kind::InsertAndKey:
                done = InsertAndKey();
                break;
            case Kind::Delete:
                done = Delete();
                break;
            case Kind::Export:
                done = Export();
                break;
            case Kind::Import:
                done = Import();
                break;
            case Kind::DupSkip:
                done = DupSkip();
                break;
            case Kind::Verify:
                done = Verify();
                break;
            case Kind::Layout:
                done = Layout();
                break;
            case Kind::ProgramKey:
                done = ProgramKey();
                break;
        }
        if (killed_) return Result::Killed;
        if (told_) return Result::Told;
        if (!done) {
            Fail(std::string("step ") + Name(kind) + " got no answer; screen:\n" +
                 station.Screen().Text());
            return Result::Failed;
        }
        // Finished: the files must hold exactly what the step stored.
        const std::string file = ReadFile(kRecordJournal());
        if (const std::string difference = after_.Compare(file); !difference.empty()) {
            Fail(std::string("after ") + Name(kind) + ": " + difference);
            journal = Journal::FromFile(file);
            return Result::Failed;
        }
        figures_.commitsChecked += after_.KeyedCount();
        Adopt(after_, file);
        if (afterExport_ != exportFile) {
            exportFile = afterExport_;
            const std::string exported = ReadFile(kExportFile);
            if (!SameRecords(exported, *exportFile))
                Fail("the export does not hold the records: " + Printable(exported) +
                     " instead of " + Printable(*exportFile));
            exportFile = exported;
            ++figures_.exportsChecked;
        }
        return Result::Done;
    }

    // After a kill or a failure: the record file must hold what it held before
    // the open step or what the step would have left; every other file is old
    // or new, whole.
    void CheckOpenStep(const std::string& when) {
        const std::string file = ReadFile(kRecordJournal());
        // The record being keyed may be on file half keyed (the Dup key stores
        // it before it fetches the record before): it was never left, so it
        // may be there in any state.
        if (loosePlace_ >= 0 && (loosePlace_ + 1) * kLength <= static_cast<int>(file.size())) {
            const std::string held =
                file.substr(static_cast<std::size_t>(loosePlace_ * kLength), kLength);
            if (held.starts_with(looseKey_)) {
                if (static_cast<int>(before_.places.size()) <= loosePlace_)
                    before_.places.resize(static_cast<std::size_t>(loosePlace_ + 1));
                before_.places[static_cast<std::size_t>(loosePlace_)] = held;
            }
        }
        const std::string asBefore = before_.Compare(file);
        const std::string asAfter = after_.Compare(file);
        if (!asBefore.empty() && !asAfter.empty()) {
            Fail(when + ": record file neither as before (" + asBefore + ") nor as after (" +
                 asAfter + ")");
            journal = Journal::FromFile(file);
        } else {
            figures_.commitsChecked += before_.KeyedCount();
            Adopt(asAfter.empty() ? after_ : before_, file);
        }
        bool exists = false;
        const std::string exported = ReadFile(kExportFile, &exists);
        const bool asOld = exportFile ? exists && exported == *exportFile : !exists;
        const bool asNew = afterExport_ ? exists && SameRecords(exported, *afterExport_) : !exists;
        if (!asOld && !asNew) {
            std::string detail = exists ? std::to_string(exported.size()) + " bytes" : "absent";
            detail += ", old " + (exportFile ? std::to_string(exportFile->size()) : "absent");
            detail += ", new " + (afterExport_ ? std::to_string(afterExport_->size()) : "absent");
            if (exists && afterExport_) {
                for (std::size_t at = 0; at < exported.size(); at += kLength) {
                    const std::string got = exported.substr(at, kLength);
                    const std::string want =
                        at < afterExport_->size() ? afterExport_->substr(at, kLength) : "";
                    if (!Matches(got, want)) {
                        detail += "; record " + std::to_string(at / kLength + 1) + " is " +
                                  Printable(got) + ", new " + Printable(want);
                        break;
                    }
                }
            }
            Fail(when + ": " + kExportFile + " is half written or lost (" + detail + ")");
            exportFile = exported;
        }
        if (asNew && !asOld) exportFile = exported;
        ++figures_.exportsChecked;
        CheckLayouts(when);
    }

    void CheckLayouts(const std::string& when) {
        for (const std::string& name : {std::string("KELBRIN4.CR1"), kLayoutFile}) {
            const std::string problem = CheckLayoutFile(name, layout, false);
            if (!problem.empty()) Fail(when + ": " + problem);
        }
        // The records' length, never another one: KELBRIN4.LEN names it as soon
        // as a record is on file, and the file holds whole records only.
        bool named = false;
        const std::string length = ReadFile(kLengthFile, &named);
        const std::size_t size = ReadFile(kRecordJournal()).size();
        if ((named || size > 0) && length != kLengthText)
            Fail(when + ": " + kLengthFile + " holds \"" + Printable(length) + "\" for " +
                 std::to_string(size) + " bytes of records of " + std::to_string(kLength));
        if (size % kLength != 0)
            Fail(when + ": the record file has " + std::to_string(size) +
                 " bytes, no multiple of " + std::to_string(kLength));
        ++figures_.layoutsChecked;
        CheckVerification(when);
    }

    // No record counts as verified unless verify mode confirmed it with
    // exactly the bytes it holds.
    void CheckVerification(const std::string& when) {
        const std::string file = ReadFile(kRecordJournal());
        VerificationFile verification;
        for (std::size_t slot = 0; (slot + 1) * kLength <= file.size(); ++slot) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(file.data()) + slot * kLength;
            if (!verification.IsVerified(static_cast<int64_t>(slot), bytes, kLength)) continue;
            ++figures_.verifiedChecked;
            const auto confirmed = confirmed_.find(static_cast<int64_t>(slot));
            if (confirmed == confirmed_.end() ||
                confirmed->second.count(file.substr(slot * kLength, kLength)) == 0)
                Fail(when + ": record " + std::to_string(slot + 1) +
                     " counts as verified, but verify mode never confirmed it as it is");
        }
    }

    void Fail(const std::string& what) {
        figures_.failures.push_back(what);
        std::cout << "FOUND: " << what << std::endl;
    }

    static std::string kRecordJournal() { return "KELBRIN4.CR2"; }

    // A read of the record file failed during `kind` (none: as the entry
    // screen opened at the start), and the operator was told. Once the box
    // is closed he must be on the record he was on: the move did not happen,
    // nothing was written elsewhere, a record he had keyed whole is still his
    // and is stored by the next move. A failure as a screen opens leads back to
    // the layout screen, from where F9 opens entry on his record. Keying then
    // goes on: one more record is appended. False when the day cannot go on.
    bool AfterReadFailure(Station& station, std::optional<Kind> kind) {
        station_ = &station;
        killAfter_.reset();
        killed_ = false;
        const std::string when =
            std::string("after a failed read in ") + (kind ? Name(*kind) : "the start");
        CloseBoxes(station);
        // The screen under the box shows again before the station goes on.
        station.Pty().Drain(300ms);
        const auto entry = [](const VtScreen& s) {
            return s.Contains("F7Ins Satz") && RecordNumberOnScreen(s) > 0;
        };
        const auto layoutScreen = [](const VtScreen& s) {
            return s.Contains("F8Neu") && s.Row(1).starts_with("Len");
        };
        // Verify mode's row counts the verified records: a read of them that
        // fails is told there, and verify mode stays.
        const auto verifyScreen = [](const VtScreen& s) {
            return s.Row(1).find("Prüfen") != std::string::npos;
        };
        if (!station.Pty().WaitFor(
                [&](const VtScreen& s) { return entry(s) || layoutScreen(s) || verifyScreen(s); },
                5s)) {
            Fail(when + ": neither entry nor the layout screen; screen:\n" +
                 station.Screen().Text());
            return false;
        }
        if (verifyScreen(station.Screen())) {
            if (kind != Kind::Layout && kind != Kind::Verify) {
                Fail(when + ": the station is in verify mode");
                return false;
            }
            station.Send(kF9);
            if (station.Await(layoutScreen) != Station::Outcome::Ready) {
                Fail(when + ": F9 does not lead on from verify mode; screen:\n" +
                     station.Screen().Text());
                return false;
            }
        }
        if (layoutScreen(station.Screen())) {
            // Only steps that leave the entry screen and open it again.
            if (kind && *kind != Kind::Export && *kind != Kind::Import && *kind != Kind::Layout &&
                *kind != Kind::Verify) {
                Fail(when + ": the station left the entry screen");
                return false;
            }
            station.Send(kF9);
            if (station.Await(entry) != Station::Outcome::Ready) {
                Fail(when + ": F9 does not lead back to entry; screen:\n" +
                     station.Screen().Text());
                return false;
            }
        }
        const std::string file = ReadFile(kRecordJournal());
        const bool asAfter = after_.Compare(file).empty();
        CheckOpenStep(when);
        // Where he must be: where the failed keys left from; at the start, and
        // after an import that was done, on the first record.
        const int shown = RecordNumberOnScreen(station.Screen());
        const bool imported = kind == Kind::Import && asAfter;
        const int expected = !kind || imported ? 1 : stayOn_;
        if (shown != expected && !(imported && shown == stayOn_)) {
            Fail(when + ": the operator is on record " + std::to_string(shown) + ", not on " +
                 std::to_string(expected));
            return false;
        }
        if (pending_ && !asAfter) journal = after_;
        Settle();
        return Run(station, Kind::Append, std::nullopt) == Result::Done;
    }

    // No step is open: the files must hold what the driver knows.
    void Settle() {
        before_ = journal;
        after_ = journal;
        afterExport_ = exportFile;
        loosePlace_ = -1;
    }

  private:
    // Takes what the file holds in the places the expectation left open.
    void Adopt(const Journal& expected, const std::string& file) {
        journal = Journal::FromFile(file);
        for (std::size_t i = 0; i < journal.places.size() && i < expected.places.size(); ++i) {
            if (expected.places[i].empty() && !journal.places[i].empty() &&
                static_cast<int>(i) != loosePlace_)
                journal.places[i].clear();
        }
    }

    // Sends keys; when the step is to be killed, this is the moment. Sent from
    // the entry screen, they leave from the record it shows: where the
    // operator must still be when a move among them fails.
    void Keys(const std::string& keys, bool last = true) {
        const VtScreen& now = station_->Screen();
        if (now.Contains("F7Ins Satz") && RecordNumberOnScreen(now) > 0)
            stayOn_ = RecordNumberOnScreen(now);
        station_->Send(keys);
        if (last && killAfter_) {
            std::this_thread::sleep_for(*killAfter_);
            station_->Kill();
            killed_ = true;
        }
    }

    bool Await(const std::function<bool(const VtScreen&)>& ready) {
        if (killed_) return false;
        const Station::Outcome outcome = station_->Await(ready);
        if (outcome == Station::Outcome::Failure) told_ = true;
        return outcome == Station::Outcome::Ready;
    }

    static bool RowHas(const VtScreen& s, const std::string& text) {
        return s.Row(2).find(text) != std::string::npos;
    }

    int LastKeyed() const {  // 1-based, 0 when none
        for (int i = static_cast<int>(journal.places.size()); i >= 1; --i)
            if (!journal.places[static_cast<std::size_t>(i - 1)].empty()) return i;
        return 0;
    }

    // The last record on file that is not empty, where End goes: the last
    // keyed one, unless the file holds something behind it (which the
    // comparison with the model then reports).
    int LastOnFile() const {
        const std::string file = ReadFile(kRecordJournal());
        int last = LastKeyed();
        for (int i = 1; static_cast<std::size_t>(i) * kLength <= file.size(); ++i)
            if (!IsEmptyRecord(file.substr(static_cast<std::size_t>(i - 1) * kLength, kLength)))
                last = std::max(last, i);
        return last;
    }

    std::string KeyOf(int number) const {
        return journal.places[static_cast<std::size_t>(number - 1)].substr(kKeyPos, 8);
    }

    int RandomKeyed() {
        std::vector<int> keyed;
        for (std::size_t i = 0; i < journal.places.size(); ++i)
            if (!journal.places[i].empty()) keyed.push_back(static_cast<int>(i + 1));
        return keyed[random_() % keyed.size()];
    }

    // To record `number` (a keyed one) by the record-number search, the
    // cursor on its first position.
    bool GoTo(int number) {
        const std::string key = KeyOf(number);
        const VtScreen& now = station_->Screen();
        if (RecordNumberOnScreen(now) == number && RowHas(now, key) && now.Contains("F7Ins Satz")) {
            Keys(kShiftUp, false);
            return true;
        }
        Keys(kF5, false);
        Keys(kF7 + std::to_string(number) + "\r" + kShiftUp, false);
        return Await(
            [&](const VtScreen& s) { return RecordNumberOnScreen(s) == number && RowHas(s, key); });
    }

    bool DupSkipOnScreen() { return dupSkip; }

    Entry NewEntry(bool dup) {
        char key[16];
        std::snprintf(key, sizeof key, "R%07d", ++serial);
        Entry entry{key, CheckNumber(random_), "", Amount(random_), "", "", ""};
        if (!dup) entry.batch = std::to_string(100 + random_() % 900);
        ChooseColour(random_, entry);
        return entry;
    }

    // Types a new record into place `number` (the cursor on its first
    // position); done when the station shows the next record. With
    // `interrupted`, the program key of the layout of another length goes in
    // at a random moment before the colour is chosen (ProgramKey).
    bool KeyInto(int number, bool interrupted = false) {
        const Entry entry = NewEntry(DupSkipOnScreen());
        if (static_cast<int>(after_.places.size()) < number)
            after_.places.resize(static_cast<std::size_t>(number));
        after_.places[static_cast<std::size_t>(number - 1)] = entry.Stored();
        loosePlace_ = number - 1;  // a half-keyed record may be written there
        looseKey_ = entry.key;
        std::string rest = entry.Keys();
        if (interrupted) {
            const std::string typed = entry.Typed();
            const std::size_t cut = random_() % (typed.size() + 1);
            if (!RefuseOtherLength(number, typed.substr(0, cut))) return false;
            rest = typed.substr(cut) + entry.choice;
        }
        pending_ = true;
        Keys(rest);
        if (!Await([&](const VtScreen& s) {
                return RecordNumberOnScreen(s) == number + 1 && !RowHas(s, entry.key);
            }))
            return false;
        if (entry.choice.size() > 1) ++figures_.listChoices;
        return true;
    }

    // Where a new record goes: behind the last one on file, keyed or not.
    // Returns its number, 0 when the station did not get there.
    int ToNewPlace() {
        const int last = LastOnFile();
        // Waiting for a screen that is already there would prove nothing: a
        // failing move would then catch the keys of the record.
        const VtScreen& now = station_->Screen();
        if (RecordNumberOnScreen(now) == last + 1 && !RowHas(now, "R") &&
            now.Contains("F7Ins Satz")) {
            Keys(kShiftUp, false);
        } else if (last == 0) {
            Keys(kHome + kShiftUp, false);
        } else {
            // One move per batch of keys, as its last key: keys typed ahead
            // wait while a failure is shown and are taken after it, and the
            // operator must be where the batch started when its move failed.
            if (RecordNumberOnScreen(now) != last) {
                Keys(kEnd, false);
                if (!Await([&](const VtScreen& s) { return RecordNumberOnScreen(s) == last; }))
                    return 0;
            }
            Keys(kPgDn + kShiftUp, false);
        }
        if (!Await([&](const VtScreen& s) {
                return RecordNumberOnScreen(s) == last + 1 && !RowHas(s, "R");
            }))
            return 0;
        return last + 1;
    }

    bool Append() {
        const int number = ToNewPlace();
        return number > 0 && KeyInto(number);
    }

    // A new record, and amid its keys the program key of the layout of
    // another length (Alt+3, or F12 stepping to it).
    bool ProgramKey() {
        const int number = ToNewPlace();
        return number > 0 && KeyInto(number, true);
    }

    // Types `typed` into record `number`, then the program key: the station
    // must refuse the layout while records are on file and change nothing.
    // Once the message is dismissed the operator is where he was.
    bool RefuseOtherLength(int number, const std::string& typed) {
        const std::string file = ReadFile(kRecordJournal());
        Keys(typed, false);
        // A kill falls into the refusal.
        Keys(random_() % 2 == 0 ? kAltProgramKey : kF12);
        // A layout that cannot be read is refused as well, with its own
        // message: nothing changes either, and keying goes on.
        const auto refused = [](const VtScreen& s) {
            return (s.Contains(kRefusal) || s.Contains("Kann Datei nicht lesen !!!")) &&
                   s.Contains("weiter durch beliebige Taste");
        };
        if (killed_ || !station_->Pty().WaitFor(refused, 10s)) return false;
        if (!station_->Screen().Contains(kRefusal)) toldInline_ = true;
        // Nothing read or written under the other length, and nothing stored:
        // the record being keyed stays on the screen (with Dup/Skip on,
        // entering the batch stores it first, as the Dup key does).
        if (!dupSkip && ReadFile(kRecordJournal()) != file)
            Fail("the refused program key changed the record file");
        CheckLayouts("the program key refused");
        Keys(" ", false);
        // Back on the entry screen, the message gone (a failure it told must
        // not be taken for a new one).
        if (!station_->Pty().WaitFor(
                [](const VtScreen& s) {
                    return s.Contains("F7Ins Satz") && !s.Contains("Satzaufbau") &&
                           !s.Contains("weiter durch beliebige Taste");
                },
                10s))
            return false;
        if (!toldInline_) ++figures_.refusalsChecked;
        if (const int shown = RecordNumberOnScreen(station_->Screen()); shown != number) {
            Fail("after the refused program key the station shows record " + std::to_string(shown) +
                 " instead of " + std::to_string(number));
            return false;
        }
        return true;
    }

    // A new account number keyed over record `number`'s.
    bool Correct() {
        const int number = RandomKeyed();
        if (!GoTo(number)) return false;
        const std::string check = CheckNumber(random_);
        std::string& place = after_.places[static_cast<std::size_t>(number - 1)];
        place.replace(kCheckPos, 5, check);
        place.replace(kBatchPos, 3, "???");  // passed on the way out (Auto Dup)
        // Five digits overtype the whole field; Esc (clear) is not used, as
        // Esc followed quickly by a digit reads as Alt and the digit.
        Keys("\r", false);
        Keys(check + kPgDn);
        return Await([&](const VtScreen& s) { return RecordNumberOnScreen(s) == number + 1; });
    }

    bool InsertAndKey() {
        const int number = RandomKeyed();
        if (!GoTo(number)) return false;
        const std::string key = KeyOf(number);
        after_.places.insert(after_.places.begin() + (number - 1), std::string());
        Keys(kF7);
        if (!Await([&](const VtScreen& s) {
                return RecordNumberOnScreen(s) == number && !RowHas(s, key);
            }))
            return false;
        // The insert is stored; keying the new record is a step of its own.
        const std::string file = ReadFile(kRecordJournal());
        if (const std::string difference = after_.Compare(file); !difference.empty()) {
            Fail("after insert: " + difference);
            return false;
        }
        figures_.commitsChecked += after_.KeyedCount();
        Adopt(after_, file);
        before_ = journal;
        after_ = journal;
        Keys(kShiftUp, false);
        return KeyInto(number);
    }

    bool Delete() {
        const int number = RandomKeyed();
        if (!GoTo(number)) return false;
        const std::string key = KeyOf(number);
        const int last = LastKeyed();
        auto& places = after_.places;
        for (int i = number - 1; i < last - 1; ++i)
            places[static_cast<std::size_t>(i)] = places[static_cast<std::size_t>(i + 1)];
        places[static_cast<std::size_t>(last - 1)].clear();
        Keys(kF8);
        return Await([&](const VtScreen& s) {
            return RecordNumberOnScreen(s) == number && !RowHas(s, key);
        });
    }

    bool Export() {
        // What the export must hold: the records as they are now (the walk
        // starts once the dialog ends; nothing changes them meanwhile).
        afterExport_ = ExportOf(ReadFile(kRecordJournal()));
        Keys(kF2, false);
        if (!Await([](const VtScreen& s) { return s.Contains("Verzeichnis"); })) return false;
        // Leaving the entry screen stored the record on it, which may hold
        // what Dup/Skip filled in.
        afterExport_ = ExportOf(ReadFile(kRecordJournal()));
        Keys(kF8 + "\r", false);
        if (!Await([](const VtScreen& s) { return s.Contains("Dateiname"); })) return false;
        Keys(kExportFile + "\r");
        return Await([](const VtScreen& s) { return s.Contains("F7Ins Satz"); });
    }

    bool Import() {
        after_ = Journal::FromFile(*exportFile);
        Keys(kF3, false);
        if (!Await([](const VtScreen& s) { return s.Contains("Verzeichnis"); })) return false;
        // The list of the data directory; "E" moves to the only file whose
        // name starts with it, the export, and Enter takes it. Picked only once
        // the list is there: a directory that cannot be listed is told, and
        // keys typed ahead would answer that message.
        Keys("\r", false);
        if (!Await([](const VtScreen& s) { return s.Contains(kExportFile); })) return false;
        Keys(kF8 + "E\r");
        const auto back = [](const VtScreen& s) {
            return s.Contains("F7Ins Satz") && RecordNumberOnScreen(s) == 1;
        };
        return Await(back);
    }

    // Dup/Skip stores nothing: the switch is only noted (the keys that follow
    // are read after it).
    bool DupSkip() {
        dupSkip = !dupSkip;
        Keys(kF4);
        return true;
    }

    // Verifies the first records (those keyed from the start), then goes back
    // to entry through the layout screen.
    bool Verify() {
        int count = 0;
        while (count < 3 && count < static_cast<int>(journal.places.size()) &&
               !journal.places[static_cast<std::size_t>(count)].empty())
            ++count;
        if (count == 0) return true;
        Keys(kF9, false);
        if (!Await([](const VtScreen& s) { return s.Row(1).find("Prüfen") != std::string::npos; }))
            return false;
        Keys(kHome + kShiftUp, false);
        if (!Await([](const VtScreen& s) { return RecordNumberOnScreen(s) == 1; })) return false;
        // Verify mode goes on from a record to the next one not yet verified:
        // each record is keyed where the station stands, until it stands
        // behind the first ones.
        for (int number = 1; number <= count;) {
            const std::string& r = journal.places[static_cast<std::size_t>(number - 1)];
            // A field is keyed as an operator would: its digits, and Enter
            // when they do not fill it. A batch may be empty (keyed with
            // Dup/Skip on and nothing to copy) or blank (a moved record).
            const auto typed = [&](int at, int length) {
                std::string digits =
                    r.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(length));
                std::erase_if(digits, [](char c) { return c == ' ' || c == '\0'; });
                return digits + (static_cast<int>(digits.size()) < length ? "\r" : "");
            };
            // Keyed whole, the record may count as verified from the moment
            // it is stored.
            confirmed_[number - 1].insert(r);
            Keys(r.substr(0, kBatchPos) + typed(kBatchPos, 3) + typed(kAmountPos, 6) +
                     typed(kColourPos, 6),
                 false);
            int now = number;
            if (!Await([&](const VtScreen& s) {
                    now = RecordNumberOnScreen(s);
                    return now > number;
                }))
                return false;
            number = now;
        }
        Keys(kF9, false);
        if (!Await([](const VtScreen& s) { return s.Contains("F8Neu"); })) return false;
        Keys(kF9);
        return Await([](const VtScreen& s) { return s.Contains("F7Ins Satz"); });
    }

    // Loads the layout file again in the layout screen, picked from the list of
    // definition files (CAMP.DEF is the only one): the layout journal is
    // rewritten.
    bool Layout() {
        Keys(kF9, false);
        if (!Await([](const VtScreen& s) { return s.Row(1).find("Prüfen") != std::string::npos; }))
            return false;
        Keys(kF9, false);
        if (!Await([](const VtScreen& s) { return s.Contains("F8Neu"); })) return false;
        Keys(kF3, false);
        if (!Await([](const VtScreen& s) { return s.Contains("Verzeichnis"); })) return false;
        Keys("\r", false);
        if (!Await([](const VtScreen& s) { return s.Contains(kLayoutFile); })) return false;
        Keys("C\r");  // a kill falls into the rewriting of the journal
        if (!Await([](const VtScreen& s) { return s.Contains("F8Neu"); })) return false;
        Keys(kF9, false);
        return Await([](const VtScreen& s) { return s.Contains("F7Ins Satz"); });
    }

    const Options& options_;
    Figures& figures_;
    std::mt19937 random_;
    Station* station_ = nullptr;
    std::optional<std::chrono::microseconds> killAfter_;
    bool killed_ = false, told_ = false;
    Journal before_, after_;
    // The bytes verify mode was given for each record place, keyed whole.
    std::map<int64_t, std::set<std::string>> confirmed_;
    std::optional<std::string> afterExport_;
    int loosePlace_ = -1;
    std::string looseKey_;
    int stayOn_ = 0;           // the record the last keys left from
    bool toldInline_ = false;  // a failure was told and the step went on past it
    bool pending_ = false;     // the step's record is keyed whole; the next move stores it
};

// Saves the layout on the screen under `name`, with the program keys or not.
bool SaveLayout(Station& station, const std::string& name, bool withProgramKeys) {
    station.Send(kF2);
    if (!station.WaitText("Verzeichnis")) return false;
    station.Send("\r");
    if (!station.WaitText("Dateiname")) return false;
    station.Send((withProgramKeys ? kF4 : "") + name + "\r");
    return station.WaitText("F9Modus") && station.WaitText("Len ");
}

// The layouts, typed once: first LANG.DEF, of another record length; then,
// after F8 cleared everything, the campaign's own with its table. LANG.DEF goes
// on program key 3 in the list of definition files, and the layout is saved
// with the program keys as CAMP.DEF, so that loading it again leaves the
// layout journal as it is. The station is left with F1.
bool LayOut(const Options& options, Day& day) {
    std::filesystem::create_directory("Tab");
    {
        std::ofstream table(kTableFile, std::ios::binary);
        for (const std::string& colour : kColours) table << colour << "\n";
    }
    Station station(options);
    if (!station.WaitText("F9Modus")) return false;
    station.Send(kOtherLayoutKeys);
    if (!station.WaitText("Len " + std::to_string(kOtherLength))) return false;
    if (!SaveLayout(station, kOtherLayoutFile, false)) return false;
    station.Send(kF8);
    if (!station.WaitText("Daten löschen (Esc/N/Entf) ?")) return false;
    station.Send("\x1b[3~" + kLayoutKeys);
    if (!station.WaitText("Len " + std::to_string(kLength))) return false;
    station.Send(kF3);
    if (!station.WaitText("Verzeichnis")) return false;
    station.Send("\r");
    if (!station.WaitText(kOtherLayoutFile)) return false;
    station.Send("L" + kAltProgramKey);
    if (!station.WaitText("Alt+3 LANG")) return false;
    station.SendEscape();
    if (!station.WaitText("Len " + std::to_string(kLength))) return false;
    if (!SaveLayout(station, kLayoutFile, true)) return false;
    station.Send(kF1);
    if (!station.WaitText("Daten löschen (Esc/N/Entf) ?")) return false;
    station.Send("n");
    if (!station.Pty().WaitExit(10s)) return false;
    day.layout = ReadFile("KELBRIN4.CR1");
    return ReadFile(kLayoutFile) == day.layout &&
           day.layout.size() == 5084u + 15u * kFields + 11u * kTables &&
           day.layout.find(kOtherLayoutFile) != std::string::npos;
}

bool ToEntry(Station& station) {
    if (!StartToLayout(station, true)) return false;
    station.Send(kF9);
    return station.WaitText("F7Ins Satz");
}

void PrintFigures(const Figures& f) {
    std::cout << "steps " << f.steps << " (";
    bool first = true;
    for (const auto& [kind, count] : f.stepsByKind) {
        std::cout << (first ? "" : ", ") << kind << " " << count;
        first = false;
    }
    std::cout << ")\ncommitted records checked " << f.commitsChecked << ", exports checked "
              << f.exportsChecked << ", layout checks " << f.layoutsChecked
              << ", program keys refused " << f.refusalsChecked << ", colours chosen from the list "
              << f.listChoices << ", verified records checked " << f.verifiedChecked;
    if (f.recordCallsChecked > 0)
        std::cout << ", reads and writes of the record file checked " << f.recordCallsChecked;
    std::cout << "\n";
}

// ---------------------------------------------------------------------------
// Killed at random moments.

int RunKillCampaign(const Options& options) {
    Figures figures;
    Day day(options, figures, options.seed);
    std::mt19937 random(options.seed * 7919u + 1);
    if (!LayOut(options, day)) {
        std::cout << "could not lay out the form\n";
        return 2;
    }
    // How long the kinds of steps take, so that kills fall inside them.
    std::map<std::string, double> spans;
    std::set<std::string> temporariesSeen;
    const auto started = Clock::now();
    while (figures.kills < options.size) {
        // Hidden new files of a replacement cut short by the last kill.
        for (const std::string& name : TemporaryFiles(".")) temporariesSeen.insert(name);
        figures.leftTemporaries = static_cast<int>(temporariesSeen.size());
        Station station(options);
        ++figures.restarts;
        day.dupSkip = false;
        // Now and then the kill falls into the start-up, which rewrites the
        // layout journal.
        if (random() % 10 == 0) {
            if (!station.WaitText("Daten löschen (Esc/N/Entf) ?")) {
                day.Fail("no start-up question; screen:\n" + station.Screen().Text());
                break;
            }
            station.Send("n");
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
            station.Kill();
            ++figures.kills;
            ++figures.killsAtStart;
            day.CheckLayouts("killed at start-up");
            continue;
        }
        if (!ToEntry(station)) {
            day.Fail("the station did not come back after a kill; screen:\n" +
                     station.Screen().Text());
            break;
        }
        // The unfinished files of the killed station are gone at the start:
        // the journal's, the export's and the layout file's alike.
        for (const std::string& name : OrphanedTemporaryFiles(".")) {
            ++figures.leftSurvivingTemporaries;
            day.Fail("an unfinished new file survived the start: " + name);
        }
        // The files as the start-up found them: every committed record there.
        day.CheckOpenStep("after the restart");
        const int confirmed = static_cast<int>(random() % 6);
        bool broken = false;
        for (int i = 0; i < confirmed && !broken; ++i) {
            const Day::Kind kind = day.PickKind();
            const auto t0 = Clock::now();
            const Day::Result result = day.Run(station, kind, std::nullopt);
            if (options.verbose) std::cout << "  step " << Day::Name(kind) << "\n";
            const double took =
                std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
            double& span = spans[Day::Name(kind)];
            span = span == 0 ? took : 0.8 * span + 0.2 * took;
            broken = result != Day::Result::Done;
        }
        if (broken) {
            station.Kill();
            continue;
        }
        const Day::Kind kind = day.PickKind();
        const double span = spans.count(Day::Name(kind)) ? spans[Day::Name(kind)] : 50000.0;
        const auto delay = std::chrono::microseconds(
            static_cast<long>(std::uniform_real_distribution<double>(0, 1.2 * span)(random)));
        const Day::Result result = day.Run(station, kind, delay);
        if (result == Day::Result::Killed || result == Day::Result::Done) {
            if (result == Day::Result::Done) station.Kill();
            ++figures.kills;
            day.CheckOpenStep(std::string("killed in ") + Day::Name(kind));
        }
        if (options.verbose)
            std::cout << "kill " << figures.kills << " in " << Day::Name(kind) << " after "
                      << delay.count() << " us, " << day.journal.KeyedCount() << " records\n";
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::cout << "kills " << figures.kills << " (" << figures.killsAtStart
              << " in the start-up), restarts " << figures.restarts << ", " << seconds << " s\n";
    PrintFigures(figures);
    std::cout << "records on file at the end " << day.journal.KeyedCount()
              << ", hidden new files left by kills " << figures.leftTemporaries
              << ", surviving a start " << figures.leftSurvivingTemporaries << "\n";
    std::cout << "failures found " << figures.failures.size() << "\n";
    return figures.failures.empty() ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Every system call failing.

// The short day of the system-call campaign: always the same steps, keyed
// with the same random numbers.
const std::vector<Day::Kind> kShortDay = {
    Day::Kind::Append,  Day::Kind::Append,       Day::Kind::ProgramKey,
    Day::Kind::Correct, Day::Kind::InsertAndKey, Day::Kind::Delete,
    Day::Kind::Export,  Day::Kind::Import,       Day::Kind::Layout};

struct Snapshot {
    Journal journal;
    std::optional<std::string> exportFile;
    std::string layout;
    int serial = 0;
};

void Restore(Day& day, const Snapshot& snapshot) {
    day.journal = snapshot.journal;
    day.exportFile = snapshot.exportFile;
    day.layout = snapshot.layout;
    day.serial = snapshot.serial;
    day.Settle();
}

void CopyDirectory(const std::string& from, const std::string& to) {
    std::filesystem::remove_all(to);
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
}

// Ends the station with F1 and N, closing failure boxes on the way. Whether
// it ended, with its exit status.
std::optional<int> EndStation(Station& station, bool& told) {
    if (ShowsFailure(station.Screen())) told = true;
    CloseBoxes(station);
    // Back on a main screen (a dialog left with Esc); an Esc sent into the
    // entry screen would clear the field under the cursor.
    const auto onMain = [](const VtScreen& s) {
        return s.Contains("F7Ins Satz") || s.Contains("F8Neu");
    };
    if (!station.Pty().WaitFor(onMain, 3s)) {
        station.SendEscape();
        station.Pty().WaitFor(onMain, 3s);
    }
    station.Send(kF1);
    for (int i = 0; i < 5; ++i) {
        const Station::Outcome outcome = station.Await(
            [](const VtScreen& s) { return s.Contains("Daten löschen (Esc/N/Entf) ?"); }, 10s);
        if (outcome == Station::Outcome::Failure) {
            told = true;
            CloseBoxes(station);
            continue;
        }
        // A station that could not start ends after its box: no prompt comes.
        if (outcome == Station::Outcome::Timeout) return station.Pty().WaitExit(1s);
        break;
    }
    station.Send("n");
    for (int i = 0; i < 5; ++i) {
        if (auto status = station.Pty().WaitExit(2s)) return status;
        if (ShowsFailure(station.Screen())) {
            told = true;
            CloseBoxes(station);
            // A record the disk refused keeps the operator on the screen
            // with it: once the box is closed, end again.
            if (station.Pty().WaitFor(onMain, 3s)) {
                station.Send(kF1);
                if (station.Await(
                        [](const VtScreen& s) {
                            return s.Contains("Daten löschen (Esc/N/Entf) ?");
                        },
                        10s) == Station::Outcome::Ready)
                    station.Send("n");
            }
        }
    }
    return station.Pty().WaitExit(5s);
}

// One run of the short day; returns what it noticed about the operator.
struct RunReport {
    bool told = false, injected = false, hang = false, unclean = false;
    std::string injectedLine;
};

RunReport RunShortDay(const Options& options, Figures& figures, const Snapshot& snapshot,
                      const std::vector<std::string>& tracer, const std::string& log,
                      bool readFailure = false) {
    RunReport report;
    Day day(options, figures, options.seed);
    Restore(day, snapshot);
    {
        Station station(options, tracer);
        bool going = StartToLayout(station, true);
        if (going) {
            station.Send(kF9);
            const Station::Outcome outcome =
                station.Await([](const VtScreen& s) { return s.Contains("F7Ins Satz"); });
            going = outcome == Station::Outcome::Ready;
            if (outcome == Station::Outcome::Failure && readFailure) {
                report.told = true;
                going = day.AfterReadFailure(station, std::nullopt);
            }
        }
        if (!going) {
            if (ShowsFailure(station.Screen())) report.told = true;
        } else {
            for (const Day::Kind kind : kShortDay) {
                const Day::Result result = day.Run(station, kind, std::nullopt);
                if (day.ToldInline()) report.told = true;
                if (result == Day::Result::Done) continue;
                if (result == Day::Result::Told) report.told = true;
                if (result == Day::Result::Failed && !ShowsFailure(station.Screen()))
                    report.hang = true;
                // After a failed read the day goes on: the failure is injected once.
                if (result == Day::Result::Told && readFailure) {
                    readFailure = false;
                    if (day.AfterReadFailure(station, kind)) continue;
                    break;
                }
                CloseBoxes(station);
                day.CheckOpenStep(std::string("failure in ") + Day::Name(kind));
                break;
            }
        }
        if (ShowsFailure(station.Screen())) report.told = true;
        const std::optional<int> status = EndStation(station, report.told);
        if (!status) {
            report.hang = true;
            day.Fail("the station did not end; screen:\n" + station.Screen().Text());
            station.Kill();
        } else if (!WIFEXITED(*status)) {
            report.unclean = true;
        }
    }
    day.CheckOpenStep("after the end");
    // Started again without a failure: everything is there.
    {
        Station station(options);
        if (!ToEntry(station)) {
            day.Fail("the station does not start again; screen:\n" + station.Screen().Text());
        } else {
            for (const std::string& name : OrphanedTemporaryFiles("."))
                day.Fail("an unfinished new file survived the start: " + name);
            day.CheckOpenStep("after a start without failures");
            bool told = false;
            EndStation(station, told);
        }
    }
    std::istringstream lines(ReadFile(log));
    for (std::string line; std::getline(lines, line);) {
        if (line.find("(INJECTED)") != std::string::npos) {
            report.injected = true;
            report.injectedLine = line;
        }
    }
    return report;
}

// Whether a traced call (a line of strace -y) works on the station's own
// files: the working directory, its files, or a relative name.
bool OnStationFile(const std::string& line, const std::string& directory) {
    const std::size_t open = line.find('(');
    const std::size_t end = line.rfind(") = ");
    if (open == std::string::npos) return false;
    const std::string arguments =
        line.substr(open, end == std::string::npos ? std::string::npos : end - open);
    if (arguments.find("/dev/") != std::string::npos) return false;  // the terminal
    const bool byName =
        line.find("openat(") != std::string::npos || line.find("rename(") != std::string::npos;
    // Opening and renaming name their files; -y shows the working directory
    // for every relative name, so only the names themselves count.
    if (byName) {
        const std::size_t quote = arguments.find('"');
        if (quote == std::string::npos || quote + 1 >= arguments.size()) return false;
        return arguments[quote + 1] != '/' || arguments.find(directory, quote) != std::string::npos;
    }
    return arguments.find(directory) != std::string::npos;
}

// Reads fail only on the record file: what the operator keyed is read back
// from there on every move.
bool IsRead(const std::string& call) {
    return call == "read" || call == "pread64";
}

// Every read and write of the record file in a trace (strace -y) covers whole
// records at a record's place: no record is read or written under another
// length.
void CheckRecordCalls(const std::string& log, Figures& figures) {
    std::istringstream lines(ReadFile(log));
    for (std::string line; std::getline(lines, line);) {
        const bool positioned = line.find("pread64(") != std::string::npos ||
                                line.find("pwrite64(") != std::string::npos;
        const std::size_t end = line.rfind(") = ");
        if (!positioned || line.find("KELBRIN4.CR2>") == std::string::npos ||
            end == std::string::npos)
            continue;
        const std::size_t offsetAt = line.rfind(", ", end);
        const std::size_t countAt = line.rfind(", ", offsetAt - 1);
        const long long offset = std::atoll(line.c_str() + offsetAt + 2);
        const long long count = std::atoll(line.c_str() + countAt + 2);
        ++figures.recordCallsChecked;
        if (count == 0 || count % kLength != 0 || offset % kLength != 0) {
            figures.failures.push_back("the record file is read or written across records: " +
                                       line);
            std::cout << "FOUND: " << figures.failures.back() << std::endl;
        }
    }
}

int RunSyscallCampaign(const Options& options) {
    if (::access(options.strace.c_str(), X_OK) != 0) {
        std::cout << "strace is not installed: skipped\n";
        return 77;
    }
    const std::string root = std::filesystem::current_path().string();
    Figures figures;
    Snapshot snapshot;
    // The starting point: the layout, three records and an export.
    std::filesystem::create_directory("template");
    ::chdir("template");
    {
        Day day(options, figures, options.seed + 1);
        if (!LayOut(options, day)) {
            std::cout << "could not lay out the form\n";
            return 2;
        }
        Station station(options);
        if (!ToEntry(station)) return 2;
        for (Day::Kind kind :
             {Day::Kind::Append, Day::Kind::Append, Day::Kind::Append, Day::Kind::Export})
            if (day.Run(station, kind, std::nullopt) != Day::Result::Done) return 2;
        bool told = false;
        EndStation(station, told);
        snapshot = {day.journal, day.exportFile, day.layout, day.serial};
    }
    ::chdir(root.c_str());

    std::string callList;
    for (const std::string& call : options.calls) callList += (callList.empty() ? "" : ",") + call;
    // Counting: which calls of each kind the short day makes on its files.
    CopyDirectory("template", "count");
    ::chdir("count");
    const std::string countDir = std::filesystem::current_path().string();
    RunShortDay(options, figures, snapshot,
                {"-f", "-y", "-qq", "-o", root + "/count.log", "-e", "trace=" + callList},
                root + "/count.log");
    ::chdir(root.c_str());
    std::map<std::string, std::vector<int>> targets;  // call -> ordinals on station files
    std::map<std::string, int> totals;
    std::map<std::string, int> firstOn;  // call -> first ordinal matching --on
    {
        std::istringstream lines(ReadFile("count.log"));
        for (std::string line; std::getline(lines, line);) {
            std::size_t at = line.find(' ');
            if (at == std::string::npos) continue;
            while (at < line.size() && line[at] == ' ') ++at;
            const std::size_t open = line.find('(', at);
            if (open == std::string::npos) continue;
            const std::string call = line.substr(at, open - at);
            if (std::find(options.calls.begin(), options.calls.end(), call) == options.calls.end())
                continue;
            const int ordinal = ++totals[call];
            if (IsRead(call) ? line.find("KELBRIN4.CR2>") != std::string::npos
                             : OnStationFile(line, countDir))
                targets[call].push_back(ordinal);
            if (!options.on.empty() && line.find(options.on) != std::string::npos &&
                !firstOn.count(call))
                firstOn[call] = ordinal;
        }
    }
    CheckRecordCalls("count.log", figures);
    if (!figures.failures.empty()) {
        std::cout << "the day itself failed without injection\n";
        return 1;
    }
    std::mt19937 random(options.seed);
    int runs = 0, told = 0, notTold = 0, hangs = 0, unclean = 0, missed = 0;
    std::vector<std::string> notToldLines;
    const auto started = Clock::now();
    for (const std::string& call : options.calls) {
        std::vector<int> chosen = targets[call];
        if (options.only > 0) chosen = {options.only};
        if (!options.on.empty())
            chosen = firstOn.count(call) ? std::vector<int>{firstOn[call]} : std::vector<int>{};
        if (options.sample > 0 && static_cast<int>(chosen.size()) > options.sample) {
            std::shuffle(chosen.begin(), chosen.end(), random);
            chosen.resize(static_cast<std::size_t>(options.sample));
            std::sort(chosen.begin(), chosen.end());
        }
        // A read knows no full disk.
        std::vector<std::string> errors = options.errors;
        if (IsRead(call)) std::erase_if(errors, [](const std::string& e) { return e != "EIO"; });
        std::cout << call << ": " << totals[call] << " calls, " << targets[call].size()
                  << (IsRead(call) ? " on the record file" : " on the station's files")
                  << ", injecting " << chosen.size() << " x " << errors.size() << std::endl;
        for (const std::string& error : errors) {
            int callTold = 0, callRuns = 0;
            for (const int n : chosen) {
                CopyDirectory("template", "run");
                ::chdir("run");
                const std::size_t failuresBefore = figures.failures.size();
                const RunReport report = RunShortDay(
                    options, figures, snapshot,
                    {"-f", "-y", "-qq", "-o", root + "/run.log", "-e", "trace=" + call, "-e",
                     "inject=" + call + ":error=" + error + ":when=" + std::to_string(n)},
                    root + "/run.log", IsRead(call));
                ::chdir(root.c_str());
                CheckRecordCalls(root + "/run.log", figures);
                // A record file that cannot be read is always told.
                if (IsRead(call) && report.injected && !report.told) {
                    figures.failures.push_back("a failed read of the record file is not told: " +
                                               report.injectedLine);
                    std::cout << "FOUND: " << figures.failures.back() << std::endl;
                }
                if (options.only > 0)
                    std::filesystem::copy_file(root + "/run.log", root + "/only.log",
                                               std::filesystem::copy_options::overwrite_existing);
                ++runs;
                ++callRuns;
                if (!report.injected) ++missed;
                if (report.hang) ++hangs;
                if (report.unclean) ++unclean;
                if (report.told) {
                    ++told;
                    ++callTold;
                } else if (report.injected) {
                    ++notTold;
                    notToldLines.push_back(error + " " + report.injectedLine);
                }
                if (figures.failures.size() != failuresBefore || options.verbose)
                    std::cout << "  " << call << " #" << n << " " << error
                              << (report.told ? " told" : " not told")
                              << (report.injected ? "" : " (not reached)") << ": "
                              << report.injectedLine << std::endl;
            }
            std::cout << "  " << error << ": " << callRuns << " runs, operator told in " << callTold
                      << std::endl;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::cout << "injections " << runs << " in " << seconds << " s: operator told " << told
              << ", not told " << notTold << ", not reached " << missed << ", hangs " << hangs
              << ", unclean ends " << unclean << "\n";
    for (const std::string& line : notToldLines) std::cout << "  not told: " << line << "\n";
    PrintFigures(figures);
    std::cout << "failures found " << figures.failures.size() << "\n";
    return figures.failures.empty() && hangs == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: kelbrin-campaign kill|syscalls|script --station PATH [--dir DIR]"
                     " [--size N] [--seed N] [--sample N] [--calls a,b] [--errors EIO,ENOSPC]"
                     " [--strace PATH] [--verbose]\n";
        return 2;
    }
    const std::string command = argv[1];
    Options options;
    auto list = [](const std::string& text) {
        std::vector<std::string> items;
        std::stringstream in(text);
        for (std::string item; std::getline(in, item, ',');)
            if (!item.empty()) items.push_back(item);
        return items;
    };
    for (int i = 2; i < argc; ++i) {
        const std::string name = argv[i];
        const std::string value = i + 1 < argc ? argv[i + 1] : "";
        if (name == "--verbose") {
            options.verbose = true;
            continue;
        }
        ++i;
        if (name == "--station")
            options.station = value;
        else if (name == "--strace")
            options.strace = value;
        else if (name == "--dir")
            options.directory = value;
        else if (name == "--size")
            options.size = std::atoi(value.c_str());
        else if (name == "--seed")
            options.seed = static_cast<unsigned>(std::stoul(value));
        else if (name == "--sample")
            options.sample = std::atoi(value.c_str());
        else if (name == "--only")
            options.only = std::atoi(value.c_str());
        else if (name == "--on")
            options.on = value;
        else if (name == "--calls")
            options.calls = list(value);
        else if (name == "--errors")
            options.errors = list(value);
        else {
            std::cerr << "unknown option " << name << "\n";
            return 2;
        }
    }
    if (options.station.empty() || ::access(options.station.c_str(), X_OK) != 0) {
        std::cerr << "the station is not found: " << options.station << "\n";
        return 2;
    }
    if (options.station[0] != '/') {
        char here[4096];
        if (::getcwd(here, sizeof here))
            options.station = std::string(here) + "/" + options.station;
    }
    char pattern[] = "/tmp/kelbrin-campaign-XXXXXX";
    const bool own = options.directory.empty();
    if (own) {
        if (!::mkdtemp(pattern)) return 2;
        options.directory = pattern;
    }
    ::mkdir(options.directory.c_str(), 0755);
    if (::chdir(options.directory.c_str()) != 0) return 2;
    ::signal(SIGPIPE, SIG_IGN);

    int result = 2;
    if (command == "script")
        result = RunScript(options, std::cin);
    else if (command == "kill")
        result = RunKillCampaign(options);
    else if (command == "syscalls")
        result = RunSyscallCampaign(options);
    if (own && (result == 0 || result == 77))
        std::filesystem::remove_all(options.directory);
    else
        std::cout << "working directory kept: " << options.directory << "\n";
    return result;
}
