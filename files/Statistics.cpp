#include "files/Statistics.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <set>
#include <string>

namespace {

// What was done to the record on the screen since it was last stored.
struct Counts {
    int64_t keystrokes = 0;
    std::set<int> mismatchedFields;
    int64_t korrekturen = 0;
    // The mode the work was done in. Not the mode at the store: leaving verify
    // mode and Stop store the record in entry mode.
    bool verify = false;

    bool Empty() const { return keystrokes == 0 && mismatchedFields.empty() && korrekturen == 0; }
};

Counts counts;
bool pasting = false;

void NoteMode(bool verifyMode) {
    counts.verify = verifyMode;
}

// Local time with its offset: 2025-03-14T08:01:22+01:00.
std::string Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) return {};
    char text[40];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) != 24) return {};
    std::string stamp(text);
    stamp.insert(22, ":");
    return stamp;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// Appends one line. Only a regular file is written (a FIFO or a device of
// that name is left alone, without waiting for it); a new or empty file gets
// the header first, and a line cut short by an earlier crash or full disk is
// ended first, so that the new line stands on its own.
void AppendLine(const std::string& line) {
    struct stat info {};
    if (::stat(kStatisticsFile, &info) == 0 && !S_ISREG(info.st_mode)) return;
    const int fd = ::open(kStatisticsFile,
                          O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        std::string text;
        if (info.st_size == 0) {
            text = std::string(kStatisticsHeader) + "\n";
        } else {
            char last = '\n';
            if (::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n') text = "\n";
        }
        text += line;
        WriteAll(fd, text);
    }
    ::close(fd);
}

}  // namespace

const std::string& LoginName() {
    static const std::string name = [] {
        const uid_t uid = ::getuid();
        const passwd* account = ::getpwuid(uid);
        std::string login = account != nullptr && account->pw_name != nullptr
                                ? std::string(account->pw_name)
                                : std::string();
        if (login.size() > 64) login.resize(64);
        for (char& c : login) {
            if (c <= ' ' || c > '~') c = '?';
        }
        return login.empty() ? std::to_string(uid) : login;
    }();
    return name;
}

void CountKeystroke(bool verifyMode) {
    if (pasting) return;
    ++counts.keystrokes;
    NoteMode(verifyMode);
}

void CountMismatch(int n, bool verifyMode) {
    counts.mismatchedFields.insert(n);
    NoteMode(verifyMode);
}

void CountKorrektur(bool verifyMode) {
    ++counts.korrekturen;
    NoteMode(verifyMode);
}

void CountRecordStored(int64_t recordNumber) noexcept {
    if (counts.Empty()) return;
    try {
        std::string fields;
        for (const int n : counts.mismatchedFields) {
            if (!fields.empty()) fields += ',';
            fields += std::to_string(n);
        }
        const std::string line = Now() + '\t' + LoginName() + '\t' +
                                 (counts.verify ? kStatisticsVerifyMode : kStatisticsEntryMode) +
                                 '\t' + std::to_string(recordNumber) + '\t' +
                                 std::to_string(counts.keystrokes) + '\t' + fields + '\t' +
                                 std::to_string(counts.korrekturen) + '\n';
        // The counts belong to the record now stored, whether or not the line
        // reaches the disk.
        counts = Counts{};
        AppendLine(line);
    } catch (...) {
        // Statistics must never cost the operator a record.
        counts = Counts{};
    }
}

PastedKeys::PastedKeys(bool pasted) : previous_(pasting) {
    if (pasted) pasting = true;
}

PastedKeys::~PastedKeys() {
    pasting = previous_;
}

void ResetStatistics() {
    counts = Counts{};
    pasting = false;
}
