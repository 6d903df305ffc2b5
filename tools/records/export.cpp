// kelbrin-export: writes the records of a station's working directory as a
// data file, byte for byte as F2 (Sichern) writes them in the chosen form,
// with the station's own export, without the station.
//
//   kelbrin-export DIR OUTPUT --mode ascii|ebcdic|din|tab
//
// OUTPUT is replaced whole (written beside it, flushed, renamed over it): a
// failure leaves the old file as it was. Only a regular file (or a new one)
// is written: a FIFO, a device or a directory is refused. The directory's
// lock is taken shared while the export runs: it is refused while a station
// works there, and a station cannot start there until it has ended.
// Exit codes: 0 written, 1 wrong call, 2 the directory or its files cannot be
// read, 3 a station works in the directory, 4 OUTPUT cannot be written (or is
// no regular file).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "files/DataFiles.h"
#include "files/RecordStore.h"
#include "files/StationFiles.h"
#include "files/Statistics.h"
#include "platform/CodePage.h"
#include "platform/ErrorText.h"
#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"
#include "tools/records/WorkingDirectory.h"

namespace {

constexpr const char* kProgram = "kelbrin-export";

enum ExitCode {
    kWritten = 0,
    kWrongCall = 1,
    kUnreadable = 2,
    kStationWorks = 3,
    kNotWritten = 4,
    kUnverified = 5,
};

void PrintHelp() {
    std::puts(
        "Aufruf: kelbrin-export VERZEICHNIS AUSGABE --mode ascii|ebcdic|din|tab\n"
        "                      [--verified-only]\n"
        "\n"
        "Schreibt die Sätze einer Kelbrin-Station (KELBRIN4.CR2 nach dem Satzaufbau\n"
        "KELBRIN4.CR1 im Verzeichnis) in die Datei AUSGABE, Byte für Byte wie F2\n"
        "in der gewählten Form:\n"
        "\n"
        "  --mode ascii    ASCII, feste Satzlänge\n"
        "  --mode ebcdic   EBCDIC (ÄÖÜß=#@$*)\n"
        "  --mode din      EBCDIC (ÄÖÜäöüß=DIN)\n"
        "  --mode tab      ASCII-TAB, eine Zeile je Satz\n"
        "  --verified-only nur, wenn alle Sätze geprüft sind; sonst wird nichts\n"
        "                  geschrieben\n"
        "  -h, --help      diese Hilfe zeigen\n"
        "  --version       die Fassung zeigen\n"
        "\n"
        "Arbeitet dort eine Station, wird nichts geschrieben.\n"
        "Rückgabe: 0 geschrieben, 1 falscher Aufruf, 2 Verzeichnis oder Dateien\n"
        "          nicht lesbar, 3 eine Station arbeitet dort, 4 AUSGABE nicht\n"
        "          schreibbar, 5 (mit --verified-only) Sätze noch nicht geprüft.\n"
        "\n"
        "Mehr: man kelbrin-export");
}

int WrongCall(const std::string& what) {
    Say(kProgram, what + " (Hilfe: kelbrin-export --help)");
    return kWrongCall;
}

int ModeOf(std::string_view name) {
    if (name == "ascii") return ConversionAscii;
    if (name == "ebcdic") return ConversionEbcdicHash;
    if (name == "din") return ConversionEbcdicDin;
    if (name == "tab") return ConversionAsciiTab;
    return -1;
}

// Whether `output` (absolute) would land on a file the station keeps in the
// working directory (the current one), which it would take for its own at the
// next start.
bool IsJournalFile(const std::string& output) {
    return LeadsToStationFile(output);
}

int CannotWrite(const std::string& output, int error) {
    Say(kProgram, output + ": Kann Datei nicht schreiben !!!" + Because(error));
    return kNotWritten;
}

// OUTPUT leads to a FIFO, a device or a directory: the export would wait for a
// reader while it holds the directory's lock, or could not write a file at
// all. Refused before anything is opened or locked, with what it is.
int NotAFile(const std::string& output, const std::string& kind) {
    Say(kProgram, output + ": Kann Datei nicht schreiben !!! Das ist " + kind + ".");
    return kNotWritten;
}

int Export(const std::string& directory, const std::string& output, int mode, bool verifiedOnly) {
    // OUTPUT names a file as seen from where the tool was called.
    std::error_code failed;
    const std::string target = std::filesystem::absolute(output, failed).string();
    if (failed) return CannotWrite(output, failed.value());
    if (const std::string kind = FileKindText(KindOfFile(target)); !kind.empty())
        return NotAFile(output, kind);
    if (!EnterWorkingDirectory(kProgram, directory)) return kUnreadable;
    int lock = -1;
    if (const int error = LockWorkingDirectory(".", true, lock)) {
        if (error == EWOULDBLOCK) {
            Say(kProgram, "In " + directory +
                              " arbeitet eine Kelbrin-Station !!! Export erst nach ihrem Ende.");
            return kStationWorks;
        }
        Say(kProgram, "Kann Verzeichnis " + directory + " nicht lesen !!!" + Because(error));
        return kUnreadable;
    }
    StartToolSession();
    bool tablesMissing = false;  // the export looks nothing up
    if (!ReadWorkingLayout(kProgram, false, tablesMissing)) return kUnreadable;
    if (IsJournalFile(target)) {
        Say(kProgram, output + ": Kann Datei nicht schreiben !!! Das ist ein Journal der Station.");
        return kWrongCall;
    }
    ByteFile records;
    const int opened = OpenRecords(kProgram, records);
    if (opened != 0 && opened != ENOENT) return kUnreadable;

    // Unverified records are refused before anything is written: the file
    // of that name stays as it was.
    if (verifiedOnly && opened == 0) {
        try {
            const VerificationSums sums = WalkVerification(records, {});
            if (sums.unverified > 0) {
                Say(kProgram, std::to_string(sums.unverified) +
                                  (sums.unverified == 1 ? " Satz ist" : " Sätze sind") +
                                  " noch nicht geprüft !!! Nichts geschrieben (die Liste: "
                                  "kelbrin-check --unverified).");
                return kUnverified;
            }
        } catch (const InOutError& error) {
            Say(kProgram,
                std::string(kRecordJournal) + ": Kann Datei nicht lesen !!!" + Because(error.code));
            return kUnreadable;
        }
    }
    FileReplacement out;
    if (const int error = out.BeginNative(target)) {
        // The name may have been made a FIFO or a device in the meantime.
        const std::string kind = FileKindText(KindOfFile(target));
        return kind.empty() ? CannotWrite(output, error) : NotAFile(output, kind);
    }
    ExportLosses losses;
    if (opened == 0) {
        try {
            if (const int error = ExportRecordFile(records, out, mode, {}, &losses))
                return CannotWrite(output, error);
        } catch (const InOutError& error) {
            Say(kProgram,
                std::string(kRecordJournal) + ": Kann Datei nicht lesen !!!" + Because(error.code));
            return kUnreadable;
        }
    }
    bool replaced = false;
    if (const int error = out.Commit(replaced)) {
        if (!replaced) return CannotWrite(output, error);
        Say(kProgram,
            output + ": geschrieben, aber nicht sicher auf dem Datenträger !!!" + Because(error));
        return kNotWritten;
    }
    // Written whole and exactly as F2 writes it; what the form could not hold
    // is said, as F2 says it.
    if (const std::string lost = DescribeExportLosses(losses); !lost.empty())
        Say(kProgram, output + ": geschrieben, aber " + OemToUtf8(lost) + " !!!");
    return kWritten;
}

}  // namespace

int main(int argc, char** argv) {
    std::string positional[2];
    int count = 0;
    int mode = -1;
    bool verifiedOnly = false;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        bool answered = false;
        if (SharedOption(argument, options, PrintHelp, answered)) {
            if (answered) return kWritten;
            continue;
        }
        if (options && (argument == "--mode" || argument.starts_with("--mode="))) {
            std::string_view name;
            if (argument == "--mode") {
                if (++i == argc) return WrongCall("--mode ohne Form");
                name = argv[i];
            } else {
                name = argument.substr(7);
            }
            mode = ModeOf(name);
            if (mode < 0) return WrongCall("unbekannte Form: " + std::string(name));
            continue;
        }
        if (options && argument == "--verified-only") {
            verifiedOnly = true;
            continue;
        }
        if (options && argument.size() > 1 && argument[0] == '-')
            return WrongCall("unbekannte Angabe: " + std::string(argument));
        if (count == 2) return WrongCall("zu viele Angaben");
        positional[count++] = argv[i];
    }
    if (count == 0) return WrongCall("VERZEICHNIS und AUSGABE fehlen");
    if (count == 1) return WrongCall("AUSGABE fehlt");
    if (positional[0].empty() || positional[1].empty()) return WrongCall("leerer Name");
    if (mode < 0) return WrongCall("--mode fehlt");
    // A pipe that is closed early must give a write error, not end the tool
    // without a word.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return Export(positional[0], positional[1], mode, verifiedOnly);
    } catch (const InOutError& error) {
        Say(kProgram, "Kann Datei nicht lesen !!!" + Because(error.code));
    } catch (const std::bad_alloc&) {
        Say(kProgram, "Zu wenig Speicher !!!");
    } catch (const std::exception& error) {
        Say(kProgram, std::string("Fehler: ") + error.what());
    }
    return kUnreadable;
}
