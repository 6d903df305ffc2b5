// kelbrin-check: lists the records of a station's working directory that fail
// a check the station runs when the cursor leaves a field (check digit, number
// range, digit set under its condition, lookup table, address data, record
// counter), from the station's own checks, without the station.
//
//   kelbrin-check [DIR]
//
// One line per failed check on standard output, then a summary line; the
// report is UTF-8 (the records hold code page 850). Nothing is written to the
// directory, and its lock is not taken: a station working there is not kept
// from starting, and the check reads what the station has stored so far.
// Exit codes: 0 every record passes, 1 some record fails, 2 the files cannot
// be read (or a table could not be loaded, or the call is wrong).
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "files/RecordStore.h"
#include "files/StationFiles.h"
#include "files/TableSearch.h"
#include "model/FieldModel.h"
#include "model/FieldRules.h"
#include "model/FieldTypes.h"
#include "platform/CodePage.h"
#include "platform/ErrorText.h"
#include "tools/records/WorkingDirectory.h"

namespace {

constexpr const char* kProgram = "kelbrin-check";
constexpr std::size_t kBlockRecords = 512;

void PrintHelp() {
    std::puts(
        "Aufruf: kelbrin-check [--unverified] [VERZEICHNIS]\n"
        "\n"
        "Prüft die Sätze einer Kelbrin-Station (KELBRIN4.CR2 nach dem Satzaufbau\n"
        "KELBRIN4.CR1 im Verzeichnis, sonst im aktuellen) mit den Prüfungen der\n"
        "Station: Prüfziffer, Bereich, Ziffern (mit Bedingung), Tabellen und\n"
        "Adressdaten aus Tab/, Satzzähler. Jede Warnung eine Zeile, dann die Summe.\n"
        "\n"
        "  --unverified die Sätze auflisten, die noch nicht geprüft (zum zweiten Mal\n"
        "               erfasst) sind, statt der Prüfungen; Rückgabe 1, wenn es welche gibt\n"
        "  -h, --help   diese Hilfe zeigen\n"
        "  --version    die Fassung zeigen\n"
        "\n"
        "Rückgabe: 0 alle Sätze in Ordnung, 1 Sätze mit Warnungen,\n"
        "          2 Dateien nicht lesbar oder falscher Aufruf.\n"
        "\n"
        "Mehr: man kelbrin-check");
}

struct Failure {
    int field;
    FieldCheck check;
};

// The field as the station shows it after leaving it: unkeyed places as
// blanks, other control bytes as '?'.
std::string ShownValue(int n) {
    const std::span<const uint8_t> bytes = FieldBytes(FieldTable[n], WorkRecord);
    std::string oem(bytes.begin(), bytes.end());
    for (char& c : oem) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte == 0) {
            c = ' ';
        } else if (byte < 0x20 || byte == 0x7F) {
            c = '?';
        }
    }
    return OemToUtf8(oem);
}

class Checker {
  public:
    Checker() : collect_([this](FieldCheck check) { failures_.push_back({field_, check}); }) {
        // Only fields that can fail a check, or that another field's check
        // reads (a condition, the parts of an address), are formatted: the
        // others cannot change the outcome, and leaving them out saves time.
        std::vector<bool> read(static_cast<std::size_t>(FieldCount) + 1, false);
        for (int n = 1; n <= FieldCount; ++n) {
            const int condition = FieldExtras[n].ConditionField;
            if (condition >= 1 && condition <= FieldCount) read[condition] = true;
        }
        for (int n = FieldCount; n >= 1; --n) {
            const FieldDef& field = FieldTable[n];
            const uint16_t flags = TypeOf(field.Type).Flags;
            if (read[n] || (flags & (CheckDigit | RecordCounter)) != 0 ||
                (IsNumericType(field.Type) && HasRange(field)) || HasTable(n) ||
                FieldExtras[n].AddressColumn != 0)
                checked_.push_back(n);
        }
    }

    // Record `number` of `count` bytes (fewer than the record length only at a
    // cut-off tail of the record file).
    void Check(int64_t number, const uint8_t* bytes, std::size_t count) {
        const auto length = static_cast<std::size_t>(RecordLength());
        ++records_;
        std::copy_n(bytes, count, WorkRecord.begin());
        std::fill(WorkRecord.begin() + static_cast<std::ptrdiff_t>(count),
                  WorkRecord.begin() + static_cast<std::ptrdiff_t>(length), uint8_t{0});
        if (IsEmptyRecord(WorkRecord)) {
            ++empty_;
            return;
        }
        // The checks of a commit, every field from the last to the first, with
        // every field's lookup (in the station only the one under the cursor
        // looks up; the others did when they were left).
        failures_.clear();
        for (const int n : checked_) {
            field_ = n;
            FormatAndCheckField(n, LeftRecord{WorkRecord, nullptr, number}, &looking_, collect_);
        }
        if (failures_.empty() && count == length) return;

        ++warned_;
        const std::string record = "Satz " + std::to_string(number);
        if (count < length) {
            std::printf("%s: unvollständig, nur %zu von %zu Zeichen\n", record.c_str(), count,
                        length);
        }
        std::stable_sort(failures_.begin(), failures_.end(),
                         [](const Failure& a, const Failure& b) { return a.field < b.field; });
        for (const Failure& failure : failures_) {
            const FieldDef& field = FieldTable[failure.field];
            std::printf("%s, Feld %d (%c %s): %s: \"%s\"\n", record.c_str(), failure.field,
                        field.Type, OemToUtf8(TypeOf(field.Type).Name).c_str(),
                        CheckReason(failure.field, failure.check).c_str(),
                        ShownValue(failure.field).c_str());
        }
    }

    void Summary() const {
        std::printf("%lld %s, davon %lld leer, %lld mit Warnungen\n",
                    static_cast<long long>(records_), records_ == 1 ? "Satz" : "Sätze",
                    static_cast<long long>(empty_), static_cast<long long>(warned_));
    }
    bool AllPassed() const { return warned_ == 0; }

  private:
    std::vector<Failure> failures_;
    std::vector<int> checked_;  // the fields to check, from the last to the first
    int field_ = 0;
    const std::function<void(FieldCheck)> collect_;
    // Only whether each value is an entry: nothing is completed.
    const FieldLookups looking_{[](int n) { return TableHolds(n, WorkRecord); },
                                [](int n) { return AddressDataHolds(n, WorkRecord); }};
    int64_t records_ = 0;
    int64_t empty_ = 0;
    int64_t warned_ = 0;
};

// Every record of the record file through the checker; throws InOutError
// when it cannot be read.
void CheckRecords(ByteFile& records, Checker& checker) {
    const auto length = static_cast<std::size_t>(RecordLength());
    int64_t size = 0;
    CheckInOut(records.Size(size));
    std::vector<uint8_t> block(length * kBlockRecords);
    int64_t number = 0;
    for (int64_t at = 0; at < size;) {
        std::size_t got = 0;
        CheckInOut(records.Seek(at));
        CheckInOut(records.Read(block.data(), block.size(), got));
        if (got == 0) break;  // the file is shorter than it was
        for (std::size_t from = 0; from < got; from += length)
            checker.Check(++number, block.data() + from, std::min(length, got - from));
        at += static_cast<int64_t>(got);
    }
}

// Every record with content that is not verified, a line each, then the sum.
// True when all are verified.
bool ListUnverified(ByteFile& records) {
    const VerificationSums sums =
        WalkVerification(records, [](int64_t number, const std::string& keyer) {
            std::printf("Satz %lld: ungeprüft%s\n", static_cast<long long>(number),
                        keyer.empty() ? "" : (" (erfasst von " + keyer + ")").c_str());
        });
    std::printf("%lld %s, davon %lld leer, ", static_cast<long long>(sums.records),
                sums.records == 1 ? "Satz" : "Sätze", static_cast<long long>(sums.empty));
    if (sums.sampleEvery > 1) {
        std::printf("%lld nicht in der Stichprobe (jeder %d.), ",
                    static_cast<long long>(sums.notDue), sums.sampleEvery);
    }
    std::printf("%lld geprüft, %lld ungeprüft\n", static_cast<long long>(sums.verified),
                static_cast<long long>(sums.unverified));
    return sums.unverified == 0;
}

int Run(const std::string& directory, bool unverifiedOnly) {
    if (!EnterWorkingDirectory(kProgram, directory)) return 2;
    StartToolSession();
    bool tablesMissing = false;
    if (!ReadWorkingLayout(kProgram, true, tablesMissing)) return 2;
    if (StationWorksIn(".")) {
        Say(kProgram,
            "Hinweis: In " + directory +
                " arbeitet eine Kelbrin-Station; geprüft wird, was sie bis jetzt gespeichert hat.");
    }
    ByteFile records;
    const int opened = OpenRecords(kProgram, records);
    if (opened != 0 && opened != ENOENT) return 2;

    if (unverifiedOnly) {
        bool all = true;
        if (opened == 0) {
            try {
                all = ListUnverified(records);
            } catch (const InOutError& error) {
                Say(kProgram, std::string(kRecordJournal) + ": Kann Datei nicht lesen !!!" +
                                  Because(error.code));
                return 2;
            }
        } else {
            std::printf("0 Sätze, davon 0 leer, 0 geprüft, 0 ungeprüft\n");
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
            Say(kProgram, "Kann die Liste nicht schreiben !!!" + Because(errno));
            return 2;
        }
        return all ? 0 : 1;
    }

    Checker checker;
    if (opened == 0) {
        try {
            CheckRecords(records, checker);
        } catch (const InOutError& error) {
            Say(kProgram,
                std::string(kRecordJournal) + ": Kann Datei nicht lesen !!!" + Because(error.code));
            return 2;
        }
    }
    checker.Summary();
    // A listing cut short (a full disk) must not pass for a whole one.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        Say(kProgram, "Kann die Liste nicht schreiben !!!" + Because(errno));
        return 2;
    }
    if (tablesMissing) return 2;
    return checker.AllPassed() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string directory = ".";
    bool unverifiedOnly = false;
    int positional = 0;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        bool answered = false;
        if (SharedOption(argument, options, PrintHelp, answered)) {
            if (answered) return 0;
            continue;
        }
        if (options && argument == "--unverified") {
            unverifiedOnly = true;
            continue;
        }
        if (options && argument.size() > 1 && argument[0] == '-') {
            Say(kProgram,
                "unbekannte Angabe: " + std::string(argument) + " (Hilfe: kelbrin-check --help)");
            return 2;
        }
        if (++positional > 1) {
            Say(kProgram, "zu viele Angaben (Hilfe: kelbrin-check --help)");
            return 2;
        }
        directory = argv[i];
    }
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    try {
        return Run(directory, unverifiedOnly);
    } catch (const InOutError& error) {
        Say(kProgram, "Kann Datei nicht lesen !!!" + Because(error.code));
    } catch (const std::bad_alloc&) {
        Say(kProgram, "Zu wenig Speicher !!!");
    } catch (const std::exception& error) {
        Say(kProgram, std::string("Fehler: ") + error.what());
    }
    return 2;
}
