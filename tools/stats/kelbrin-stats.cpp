// kelbrin-stats: what each operator did per day, from the statistics file a
// station writes into its working directory (KELBRIN4.STA).
//
//   kelbrin-stats [--csv] [DIR | FILE]
//
// Per operator and day: records keyed, records verified, keystrokes, active
// time, keystrokes per hour of active time, verify mismatches, mismatches per
// 1,000 keystrokes keyed in verify mode, and Korrekturen. A readable table by
// default; --csv gives the figures for a spreadsheet.
//
// After that, per day: how many distinct records were keyed and verified, and
// the share verified; and per operator: how many records they verified that
// they had keyed themselves, checked against what KELBRIN4.VER next to the
// file says (a shift lead wants a second person to verify every record).
//
// The file may be damaged or hostile: a line that is not exactly what the
// station writes (also the last one when it has no line end: a crash cut it)
// is skipped and counted, never trusted in part.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/Statistics.h"
#include "tools/common/ToolFiles.h"

namespace {

constexpr const char* kProgram = "kelbrin-stats";
constexpr const char* kUsage = "Aufruf: kelbrin-stats [--csv] [VERZEICHNIS | DATEI]\n";

// Lines further apart than this are a pause, not work.
constexpr int64_t kPauseSeconds = 5 * 60;
// The station's longest line: 1840 field numbers in the mismatch list.
constexpr std::size_t kMaxLine = 16 * 1024;
constexpr std::size_t kMaxLogin = 64;
constexpr int kMaxFields = 1840;
// More than anyone keys into one record between two stores: a larger figure
// is damage, and the limit keeps every sum far from overflowing.
constexpr int64_t kMaxCount = 1000000;
constexpr int64_t kMaxRecord = 2147483647;

// The station's record of who keyed and who verified each record place.
// Named here, not shared with the station, so that nothing of it is linked.
constexpr const char* kVerificationFile = "KELBRIN4.VER";
// Every line of it, the header too, is this long with its line end.
constexpr std::size_t kVerificationLine = 64;
constexpr std::size_t kVerificationLogin = 22;

// One line of the file, taken apart.
struct Entry {
    int64_t time = 0;  // seconds since 1970, UTC
    std::string day;   // the station's local date, as written: 2025-03-14
    std::string login;
    bool verify = false;
    int64_t record = 0;
    int64_t keystrokes = 0;
    int64_t mismatches = 0;
    int64_t korrekturen = 0;
};

// The figures of one operator on one day.
struct Figures {
    int64_t recordsKeyed = 0;
    int64_t recordsVerified = 0;
    int64_t keystrokes = 0;
    int64_t verifyKeystrokes = 0;
    int64_t activeSeconds = 0;
    int64_t mismatches = 0;
    int64_t korrekturen = 0;
};

// The distinct records keyed and verified on one day, by anyone.
struct DayRecords {
    std::set<int64_t> keyed;
    std::set<int64_t> verified;
};

// An operator's previous line, to measure the time since and to tell a
// record stored again (after F6 or F8) from the next one.
struct Previous {
    int64_t time = 0;
    std::string day;
    bool verify = false;
    int64_t record = 0;
};

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// A plain decimal number from 0 to `max`: digits only, at least one.
bool ParseNumber(std::string_view text, int64_t max, int64_t& value) {
    if (text.empty() || text.size() > 10) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= max;
}

// Days since 1970-01-01 of a date in the Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool Field(std::string_view text, std::size_t at, std::size_t length, int64_t max, int64_t& value) {
    return ParseNumber(text.substr(at, length), max, value);
}

// 2025-03-14T08:01:22+01:00 (or ...Z): the moment, and the date as written.
bool ParseTime(std::string_view text, int64_t& seconds, std::string& day) {
    const bool utc = text.size() == 20 && text[19] == 'Z';
    if (!utc && text.size() != 25) return false;
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':') {
        return false;
    }
    int64_t year = 0, month = 0, date = 0, hour = 0, minute = 0, second = 0;
    if (!Field(text, 0, 4, 9999, year) || !Field(text, 5, 2, 12, month) ||
        !Field(text, 8, 2, 31, date) || !Field(text, 11, 2, 23, hour) ||
        !Field(text, 14, 2, 59, minute) || !Field(text, 17, 2, 59, second)) {
        return false;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int64_t monthDays[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || date < 1 || date > monthDays[month - 1]) return false;
    int64_t offset = 0;
    if (!utc) {
        const char sign = text[19];
        int64_t offsetHours = 0, offsetMinutes = 0;
        if ((sign != '+' && sign != '-') || text[22] != ':' ||
            !Field(text, 20, 2, 23, offsetHours) || !Field(text, 23, 2, 59, offsetMinutes)) {
            return false;
        }
        offset = (offsetHours * 60 + offsetMinutes) * 60 * (sign == '-' ? -1 : 1);
    }
    seconds =
        DaysFromCivil(year, month, date) * 86400 + hour * 3600 + minute * 60 + second - offset;
    day = std::string(text.substr(0, 10));
    return true;
}

// What the station writes as a login: printable ASCII without blanks.
bool ValidLogin(std::string_view text) {
    if (text.empty() || text.size() > kMaxLogin) return false;
    for (const char c : text) {
        if (c <= ' ' || c > '~') return false;
    }
    return true;
}

// Field numbers separated by commas, or nothing; gives their count.
bool ParseFieldList(std::string_view text, int64_t& count) {
    count = 0;
    if (text.empty()) return true;
    for (const std::string_view part : Split(text, ',')) {
        int64_t n = 0;
        if (!ParseNumber(part, kMaxFields, n) || n < 1) return false;
        if (++count > kMaxFields) return false;
    }
    return true;
}

bool ParseEntry(std::string_view text, Entry& entry) {
    const std::vector<std::string_view> parts = Split(text, '\t');
    if (parts.size() != 7) return false;
    if (!ParseTime(parts[0], entry.time, entry.day)) return false;
    if (!ValidLogin(parts[1])) return false;
    entry.login = std::string(parts[1]);
    if (parts[2] == kStatisticsEntryMode) {
        entry.verify = false;
    } else if (parts[2] == kStatisticsVerifyMode) {
        entry.verify = true;
    } else {
        return false;
    }
    return ParseNumber(parts[3], kMaxRecord, entry.record) && entry.record >= 1 &&
           ParseNumber(parts[4], kMaxCount, entry.keystrokes) &&
           ParseFieldList(parts[5], entry.mismatches) &&
           ParseNumber(parts[6], kMaxCount, entry.korrekturen);
}

class Tally {
  public:
    void Add(const Entry& entry) {
        Figures& figures = days_[{entry.day, entry.login}];
        const auto found = previous_.find(entry.login);
        const bool sameDay = found != previous_.end() && found->second.day == entry.day;
        bool sameRecord = false;
        if (sameDay) {
            const Previous& before = found->second;
            // Only the time between two lines close together counts as work;
            // a line earlier than the one before (a clock set back) adds none.
            const int64_t gap = entry.time - before.time;
            if (gap >= 0 && gap <= kPauseSeconds) figures.activeSeconds += gap;
            sameRecord = before.verify == entry.verify && before.record == entry.record;
        }
        // A record stored more than once in a row (F6, F8, a refused move) is one record.
        if (!sameRecord) ++(entry.verify ? figures.recordsVerified : figures.recordsKeyed);
        figures.keystrokes += entry.keystrokes;
        if (entry.verify) figures.verifyKeystrokes += entry.keystrokes;
        figures.mismatches += entry.mismatches;
        figures.korrekturen += entry.korrekturen;
        previous_[entry.login] = Previous{entry.time, entry.day, entry.verify, entry.record};

        DayRecords& records = records_[entry.day];
        (entry.verify ? records.verified : records.keyed).insert(entry.record);
        // The station only appends, so the order of the lines is the order of
        // the work, even when a clock was set back. Whoever keyed a record last
        // is its keyer: an earlier keying was overwritten, and a verify before
        // the keying verified somebody else's input.
        if (!entry.verify) {
            keyers_[entry.record] = entry.login;
        } else {
            const auto keyer = keyers_.find(entry.record);
            if (keyer != keyers_.end() && keyer->second == entry.login) {
                selfVerified_[entry.login].insert(entry.record);
            }
        }
    }

    // By day, then by operator.
    const std::map<std::pair<std::string, std::string>, Figures>& Days() const { return days_; }
    const std::map<std::string, DayRecords>& Records() const { return records_; }
    // By operator: the records they verified after keying them themselves.
    const std::map<std::string, std::set<int64_t>>& SelfVerified() const { return selfVerified_; }

  private:
    std::map<std::pair<std::string, std::string>, Figures> days_;
    std::map<std::string, Previous> previous_;
    std::map<std::string, DayRecords> records_;
    std::map<int64_t, std::string> keyers_;
    std::map<std::string, std::set<int64_t>> selfVerified_;
};

// Reads the file line by line into the tally. Returns 0 or the system's error
// number; `damaged` counts the lines skipped, `firstDamaged` is the first one's number.
int ReadFile(int fd, Tally& tally, int64_t& damaged, int64_t& firstDamaged) {
    std::vector<char> block(1 << 16);
    std::string line;
    bool tooLong = false;
    int64_t number = 0;
    const auto finish = [&] {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Entry entry;
        if (line.empty() || line == kStatisticsHeader) {
            // Nothing to count: a blank line, or the header.
        } else if (tooLong || !ParseEntry(line, entry)) {
            if (damaged++ == 0) firstDamaged = number;
        } else {
            tally.Add(entry);
        }
        line.clear();
        tooLong = false;
    };
    for (;;) {
        const ssize_t got = ReadFull(fd, block.data(), block.size());
        if (got < 0) return ErrorNumber(errno);
        if (got == 0) break;
        for (ssize_t i = 0; i < got; ++i) {
            const char c = block[static_cast<std::size_t>(i)];
            if (c == '\n') {
                finish();
            } else if (line.size() < kMaxLine) {
                line.push_back(c);
            } else {
                tooLong = true;
            }
        }
    }
    // A last line without its line end was cut off while it was written.
    if (!line.empty() || tooLong) {
        ++number;
        if (damaged++ == 0) firstDamaged = number;
    }
    return 0;
}

// The header of KELBRIN4.VER: "KELBRIN4.VER 1 <record length>", then blanks.
bool ValidVerificationHeader(std::string_view line) {
    constexpr std::string_view kStart = "KELBRIN4.VER 1 ";
    if (line.size() != kVerificationLine - 1 || line.substr(0, kStart.size()) != kStart) {
        return false;
    }
    const std::string_view rest = line.substr(kStart.size());
    const std::size_t end = rest.find(' ');
    int64_t length = 0;
    return ParseNumber(rest.substr(0, end), kMaxRecord, length) && length >= 1 &&
           rest.find_first_not_of(' ', end) == std::string_view::npos;
}

// A login padded with blanks. An empty one is no login: two places with
// nobody named must not count as keyed and verified by the same person.
bool PaddedLogin(std::string_view field, std::string_view& login) {
    const std::size_t end = field.find(' ');
    login = field.substr(0, end);
    return ValidLogin(login) && (end == std::string_view::npos ||
                                 field.find_first_not_of(' ', end) == std::string_view::npos);
}

// A record place verified by the operator who keyed it: 16 hex digits (16
// dashes when not verified), a blank, the keyer, a blank, the verifier, a
// blank. A line of any other shape tells nothing.
bool SelfVerifiedPlace(std::string_view line) {
    constexpr std::size_t kHash = 16;
    constexpr std::size_t kVerifierAt = kHash + 1 + kVerificationLogin + 1;
    if (line.size() != kVerificationLine - 1 || line[kHash] != ' ' ||
        line[kVerifierAt - 1] != ' ' || line.back() != ' ') {
        return false;
    }
    for (const char c : line.substr(0, kHash)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    std::string_view keyer, verifier;
    return PaddedLogin(line.substr(kHash + 1, kVerificationLogin), keyer) &&
           PaddedLogin(line.substr(kVerifierAt, kVerificationLogin), verifier) && keyer == verifier;
}

// What KELBRIN4.VER said, or why it said nothing.
struct Verification {
    enum State { kAbsent, kCounted, kNotAFile, kFailed, kUnknown } state = kAbsent;
    int error = 0;
    int64_t selfVerified = 0;
};

// Counts the places in KELBRIN4.VER that their keyer verified. A file that
// does not begin with the station's header is not read on: its lines could
// mean anything.
Verification ReadVerification(const std::string& path) {
    Verification result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result.error = errno;
        result.state = result.error == ENOENT ? Verification::kAbsent : Verification::kFailed;
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        result.state = Verification::kNotAFile;
        return result;
    }
    std::vector<char> block(1 << 16);
    std::string line;
    bool header = true;
    result.state = Verification::kUnknown;
    for (;;) {
        const ssize_t got = ReadFull(fd, block.data(), block.size());
        if (got < 0) {
            result.error = ErrorNumber(errno);
            result.state = Verification::kFailed;
            break;
        }
        if (got == 0) break;
        for (ssize_t i = 0; i < got; ++i) {
            const char c = block[static_cast<std::size_t>(i)];
            if (c != '\n') {
                // A longer line stays too long to be valid; no need to keep it all.
                if (line.size() < kVerificationLine) line.push_back(c);
                continue;
            }
            if (header) {
                if (!ValidVerificationHeader(line)) {
                    ::close(fd);
                    return result;
                }
                header = false;
                result.state = Verification::kCounted;
            } else if (SelfVerifiedPlace(line)) {
                ++result.selfVerified;
            }
            line.clear();
        }
    }
    ::close(fd);
    return result;
}

// Decimal comma, as German spreadsheets and readers expect: `hundredths` as "12,34".
std::string Hundredths(int64_t hundredths) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld,%02lld", static_cast<long long>(hundredths / 100),
                  static_cast<long long>(hundredths % 100));
    return text;
}

// `numerator` / `denominator`, rounded half up.
int64_t Rounded(int64_t numerator, int64_t denominator) {
    return (numerator + denominator / 2) / denominator;
}

std::string KeystrokesPerHour(const Figures& f) {
    if (f.activeSeconds == 0) return {};
    return std::to_string(Rounded(f.keystrokes * 3600, f.activeSeconds));
}

std::string MismatchRate(const Figures& f) {
    if (f.verifyKeystrokes == 0) return {};
    return Hundredths(Rounded(f.mismatches * 100000, f.verifyKeystrokes));
}

std::string Duration(int64_t seconds, bool withSeconds) {
    char text[40];
    if (withSeconds) {
        std::snprintf(
            text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
            static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds / 60 % 60));
    }
    return text;
}

// Characters, not bytes: the headings hold umlauts.
std::size_t Width(const std::string& text) {
    std::size_t width = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
    }
    return width;
}

void Pad(std::string& out, const std::string& text, std::size_t width, bool right) {
    const std::size_t fill = width > Width(text) ? width - Width(text) : 0;
    if (right) out.append(fill, ' ');
    out += text;
    if (!right) out.append(fill, ' ');
}

// 2025-03-14 as 14.03.2025.
std::string GermanDate(const std::string& day) {
    return day.substr(8, 2) + "." + day.substr(5, 2) + "." + day.substr(0, 4);
}

std::string Table(const Tally& tally) {
    const std::vector<std::string> headings{"Bediener",  "Erfasst",   "Geprüft",
                                            "Anschläge", "Aktiv",     "Anschl./h",
                                            "Abw.",      "Abw./1000", "Korr."};
    std::size_t loginWidth = Width(headings[0]);
    for (const auto& [key, figures] : tally.Days()) {
        loginWidth = std::max(loginWidth, key.second.size());
    }
    std::string out;
    std::string day;
    for (const auto& [key, f] : tally.Days()) {
        if (key.first != day) {
            if (!day.empty()) out += '\n';
            day = key.first;
            out += GermanDate(day) + '\n';
            for (std::size_t i = 0; i < headings.size(); ++i) {
                if (i > 0) out += "  ";
                Pad(out, headings[i], i == 0 ? loginWidth : Width(headings[i]), i > 0);
            }
            out += '\n';
        }
        const std::string perHour = KeystrokesPerHour(f);
        const std::string rate = MismatchRate(f);
        const std::vector<std::string> cells{key.second,
                                             std::to_string(f.recordsKeyed),
                                             std::to_string(f.recordsVerified),
                                             std::to_string(f.keystrokes),
                                             Duration(f.activeSeconds, false),
                                             perHour.empty() ? "-" : perHour,
                                             std::to_string(f.mismatches),
                                             rate.empty() ? "-" : rate,
                                             std::to_string(f.korrekturen)};
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i > 0) out += "  ";
            Pad(out, cells[i], i == 0 ? loginWidth : Width(headings[i]), i > 0);
        }
        // No blanks at the end of a line.
        out.erase(out.find_last_not_of(' ') + 1);
        out += '\n';
    }
    return out;
}

// A cell for a semicolon-separated file: quoted when it holds a separator or
// a quote (a login name may).
std::string CsvCell(const std::string& text) {
    if (text.find_first_of(";\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// For German spreadsheets: UTF-8 with a byte-order mark (so that Excel reads
// the umlauts), semicolons between the cells, decimal commas.
std::string Csv(const Tally& tally) {
    std::string out =
        "\xEF\xBB\xBF"
        "Datum;Bediener;Sätze erfasst;Sätze geprüft;Anschläge;Prüfanschläge;Aktive Zeit;"
        "Anschläge je Stunde;Abweichungen;Abweichungen je 1000 Prüfanschläge;Korrekturen\n";
    for (const auto& [key, f] : tally.Days()) {
        out += key.first + ';' + CsvCell(key.second) + ';' + std::to_string(f.recordsKeyed) + ';' +
               std::to_string(f.recordsVerified) + ';' + std::to_string(f.keystrokes) + ';' +
               std::to_string(f.verifyKeystrokes) + ';' + Duration(f.activeSeconds, true) + ';' +
               KeystrokesPerHour(f) + ';' + std::to_string(f.mismatches) + ';' + MismatchRate(f) +
               ';' + std::to_string(f.korrekturen) + '\n';
    }
    return out;
}

// Records verified as a share of the records keyed, in percent with one
// decimal, rounded down: 1999 of 2000 must not pass for 100,0.
std::string Share(std::size_t verified, std::size_t keyed) {
    if (keyed == 0) return {};
    const std::size_t tenths = verified * 1000 / keyed;
    return std::to_string(tenths / 10) + ',' + std::to_string(tenths % 10);
}

// A table under its title, after an empty line: the first column to the
// left, the figures to the right, each column as wide as its widest cell.
std::string Section(const std::string& title, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
    }
    std::string out = '\n' + title + '\n';
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0) out += "  ";
            Pad(out, row[i], widths[i], i > 0);
        }
        out += '\n';
    }
    return out;
}

std::string VerificationLine(const Verification& verification) {
    if (verification.state != Verification::kCounted) return {};
    return std::string("laut ") + kVerificationFile + ": " +
           std::to_string(verification.selfVerified) +
           (verification.selfVerified == 1 ? " Satz" : " Sätze") + " vom Erfasser selbst geprüft\n";
}

// The sections after the table: coverage per day, then records verified by
// their own keyer.
std::string MoreTables(const Tally& tally, const Verification& verification) {
    std::vector<std::vector<std::string>> days{{"Tag", "Erfasst", "Geprüft", "Anteil"}};
    for (const auto& [day, records] : tally.Records()) {
        const std::string share = Share(records.verified.size(), records.keyed.size());
        days.push_back({GermanDate(day), std::to_string(records.keyed.size()),
                        std::to_string(records.verified.size()),
                        share.empty() ? "-" : share + " %"});
    }
    std::string out = Section("Prüfabdeckung je Tag", days);

    std::vector<std::vector<std::string>> operators{{"Bediener", "Sätze"}};
    std::size_t total = 0;
    for (const auto& [login, records] : tally.SelfVerified()) {
        operators.push_back({login, std::to_string(records.size())});
        total += records.size();
    }
    if (total == 0) {
        out += "\nSelbst geprüft\nkeine\n";
    } else {
        operators.push_back({"Summe", std::to_string(total)});
        out += Section("Selbst geprüft", operators);
    }
    return out + VerificationLine(verification);
}

// The same as further blocks of the spreadsheet file, each after an empty line.
std::string MoreCsv(const Tally& tally, const Verification& verification) {
    std::string out = "\nDatum;Sätze erfasst;Sätze geprüft;Anteil geprüft in %\n";
    for (const auto& [day, records] : tally.Records()) {
        out += day + ';' + std::to_string(records.keyed.size()) + ';' +
               std::to_string(records.verified.size()) + ';' +
               Share(records.verified.size(), records.keyed.size()) + '\n';
    }
    out += "\nBediener;Sätze selbst geprüft\n";
    for (const auto& [login, records] : tally.SelfVerified()) {
        out += CsvCell(login) + ';' + std::to_string(records.size()) + '\n';
    }
    if (verification.state == Verification::kCounted) {
        out += std::string("\nSätze selbst geprüft laut ") + kVerificationFile + '\n' +
               std::to_string(verification.selfVerified) + '\n';
    }
    return out;
}

// The file to read: DIR/KELBRIN4.STA for a directory, else the name itself.
std::string StatisticsPath(const std::string& argument) {
    struct stat info {};
    if (::stat(argument.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return argument + (argument.back() == '/' ? "" : "/") + kStatisticsFile;
    }
    return argument;
}

// KELBRIN4.VER in the directory given, or in the directory of the file given.
std::string VerificationPath(const std::string& argument) {
    struct stat info {};
    if (::stat(argument.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return argument + (argument.back() == '/' ? "" : "/") + kVerificationFile;
    }
    const std::size_t slash = argument.rfind('/');
    if (slash == std::string::npos) return kVerificationFile;
    return argument.substr(0, slash + 1) + kVerificationFile;
}

int Run(int argc, char** argv) {
    bool csv = false;
    std::string argument;
    bool haveArgument = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--csv") {
            csv = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(
                "Zeigt je Bediener und Tag: erfasste und geprüfte Sätze, Anschläge, aktive\n"
                "Zeit, Anschläge je Stunde, Abweichungen beim Prüfen (auch je 1000\n"
                "Anschläge im Prüfmodus) und Korrekturen, aus KELBRIN4.STA im Verzeichnis\n"
                "(Vorgabe: das aktuelle). --csv gibt die Zahlen für eine Tabellenkalkulation.\n"
                "Danach je Tag der Anteil der geprüften an den erfassten Sätzen, und je\n"
                "Bediener die Sätze, die er selbst erfasst und selbst geprüft hat (mit\n"
                "KELBRIN4.VER im selben Verzeichnis zum Vergleich).\n",
                stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } else if (arg.empty() || arg[0] == '-' || haveArgument) {
            std::fputs(kUsage, stderr);
            return 2;
        } else {
            argument = arg;
            haveArgument = true;
        }
    }
    const std::string path = StatisticsPath(haveArgument ? argument : ".");

    // Never wait on a FIFO or act on a device: only a regular file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        ReportIoError(kProgram, path.c_str(), errno);
        return 2;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        std::fprintf(stderr, "%s: %s ist keine gewöhnliche Datei\n", kProgram, path.c_str());
        return 2;
    }
    Tally tally;
    int64_t damaged = 0;
    int64_t firstDamaged = 0;
    const int error = ReadFile(fd, tally, damaged, firstDamaged);
    ::close(fd);
    if (error != 0) {
        ReportIoError(kProgram, path.c_str(), error);
        return 2;
    }

    // Without entries there is nothing for KELBRIN4.VER to be compared with.
    const bool more = csv || !tally.Days().empty();
    const std::string verificationPath = VerificationPath(haveArgument ? argument : ".");
    const Verification verification = more ? ReadVerification(verificationPath) : Verification{};

    std::string out;
    if (csv) {
        out = Csv(tally) + MoreCsv(tally, verification);
    } else if (tally.Days().empty()) {
        out = "Keine Einträge in " + path + ".\n";
    } else {
        out = Table(tally) + MoreTables(tally, verification);
    }
    if (!WriteAll(STDOUT_FILENO, out.data(), out.size())) {
        ReportIoError(kProgram, "der Standardausgabe", errno);
        return 1;
    }
    if (damaged > 0) {
        std::fprintf(stderr, "%s: %lld beschädigte %s übersprungen (die erste: Zeile %lld)\n",
                     kProgram, static_cast<long long>(damaged), damaged == 1 ? "Zeile" : "Zeilen",
                     static_cast<long long>(firstDamaged));
    }
    // The comparison is an extra: the figures above stand without it.
    if (verification.state == Verification::kFailed) {
        ReportIoError(kProgram, verificationPath.c_str(), verification.error);
    } else if (verification.state == Verification::kNotAFile) {
        std::fprintf(stderr, "%s: %s ist keine gewöhnliche Datei\n", kProgram,
                     verificationPath.c_str());
    } else if (verification.state == Verification::kUnknown) {
        std::fprintf(stderr, "%s: %s hat einen unbekannten Aufbau und bleibt unbeachtet\n",
                     kProgram, verificationPath.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: zu wenig Speicher\n", kProgram);
        return 1;
    }
}
