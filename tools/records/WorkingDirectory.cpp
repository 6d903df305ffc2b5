#include "tools/records/WorkingDirectory.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "files/DefinitionFile.h"
#include "files/RecordStore.h"
#include "files/StationFiles.h"
#include "files/Tables.h"
#include "files/Verification.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "platform/CodePage.h"
#include "platform/ErrorText.h"

void StartToolSession() {
    FillFieldTypeTable();
    ResetFieldModel();
}

void Say(const char* program, const std::string& text) {
    std::fflush(stdout);  // what was listed so far comes first
    std::fprintf(stderr, "%s: %s\n", program, text.c_str());
}

std::string Because(int error) {
    return " (" + InOutErrorText(error) + ")";
}

bool SharedOption(std::string_view argument, bool& options, void (*help)(), bool& answered) {
    answered = false;
    if (!options) return false;
    if (argument == "--") {
        options = false;
        return true;
    }
    if (argument == "--help" || argument == "-h") {
        help();
    } else if (argument == "--version") {
        std::puts("Kelbrin 4.9");
    } else {
        return false;
    }
    answered = true;
    return true;
}

bool EnterWorkingDirectory(const char* program, const std::string& directory) {
    if (::chdir(directory.c_str()) == 0) return true;
    Say(program, "Kann Verzeichnis " + directory + " nicht öffnen !!!" + Because(errno));
    return false;
}

bool ReadWorkingLayout(const char* program, bool withTables, bool& tablesMissing) {
    const std::string file = kLayoutJournal;
    ByteFile probe;
    if (const int error = probe.Open(file, ByteFile::Mode::Read)) {
        Say(program, file + ": Kann Datei nicht lesen !!!" + Because(error));
        return false;
    }
    probe.Close();
    const auto tableFailed = [&](int slot, const std::string& name, TableLoad what) {
        // A table without entries leaves its field without a lookup in the
        // station as well, and nothing is said there either.
        if (what == TableLoad::NoEntries) return;
        tablesMissing = true;
        const std::string shown = OemToUtf8(name);
        if (what == TableLoad::BadPostalCode) {
            Say(program, "Plz in den Adressdaten ist fehlerhaft ! Adressfelder ungeprüft.");
        } else if (slot == 0) {
            Say(program, "Kann Tabelle " + shown + " nicht lesen !!! Adressfelder ungeprüft.");
        } else {
            Say(program, "Kann Tabelle " + shown + " nicht lesen !!! Feld " + std::to_string(slot) +
                             " ungeprüft.");
        }
    };
    switch (ReadLayoutQuietly(file, withTables, tableFailed)) {
        case LayoutRead::Taken:
            break;
        case LayoutRead::CannotRead:
            Say(program, file + ": Kann Datei nicht lesen !!!");
            return false;
        case LayoutRead::NotADefinition:
            Say(program, file + ": Keine FeldDefinitions-Datei !!!");
            return false;
        case LayoutRead::TooManyFields:
            Say(program, file + ": Zu viele Felder !!!");
            return false;
        case LayoutRead::RecordTooLong:
            Say(program, file + ": Satz zu lang !!!");
            return false;
    }
    if (RecordLength() <= 0) {
        Say(program, file + ": Der Satzaufbau hat keine Felder !!!");
        return false;
    }
    return true;
}

int OpenRecords(const char* program, ByteFile& records) {
    const int error = records.Open(kRecordJournal, ByteFile::Mode::Read);
    if (error != 0 && error != ENOENT) {
        Say(program, std::string(kRecordJournal) + ": Kann Datei nicht lesen !!!" + Because(error));
    }
    if (error != 0) return error;
    // Records are read only with the length they were written with.
    int64_t size = 0;
    if (const int failed = records.Size(size)) {
        Say(program,
            std::string(kRecordJournal) + ": Kann Datei nicht lesen !!!" + Because(failed));
        return failed;
    }
    const RecordFileFit fit = CheckRecordFileFit(size, RecordLength());
    const std::string layout = std::to_string(fit.layout);
    switch (fit.kind) {
        case RecordFileFit::Kind::Fits:
        case RecordFileFit::Kind::CutShort:  // the incomplete last one is not read
            return 0;
        case RecordFileFit::Kind::OtherLength:
            Say(program, std::string(kRecordJournal) + ": Die Sätze sind " +
                             std::to_string(fit.stored) + " Zeichen lang, der Satzaufbau in " +
                             kLayoutJournal + " " + layout + " !!! Nichts gelesen.");
            break;
        case RecordFileFit::Kind::NotWhole:
            Say(program, std::string(kRecordJournal) + " (" + std::to_string(size) +
                             " Zeichen) ist keine ganze Zahl von Sätzen zu " + layout +
                             " Zeichen !!! Nichts gelesen.");
            break;
    }
    return EINVAL;
}

VerificationSums WalkVerification(
    ByteFile& records, const std::function<void(int64_t, const std::string&)>& unverified) {
    constexpr std::size_t kBlockRecords = 512;
    const int length = RecordLength();
    VerificationSums sums;
    if (length <= 0) return sums;
    int64_t size = 0;
    CheckInOut(records.Size(size));
    VerificationFile verification;
    const VerificationSample sample = verification.Sample(length);
    sums.sampleEvery = sample.every;
    std::vector<uint8_t> block(static_cast<std::size_t>(length) * kBlockRecords);
    for (int64_t at = 0; at + length <= size;) {
        std::size_t got = 0;
        CheckInOut(records.ReadAt(at, block.data(), block.size(), got));
        if (got < static_cast<std::size_t>(length)) break;  // the file is shorter than it was
        for (std::size_t from = 0; from + length <= got; from += length) {
            const uint8_t* bytes = block.data() + from;
            const int64_t slot = sums.records++;
            if (IsEmptyBytes(bytes, static_cast<std::size_t>(length))) {
                ++sums.empty;
            } else if (!sample.Due(slot)) {
                ++sums.notDue;
            } else if (verification.IsVerified(slot, bytes, length)) {
                ++sums.verified;
            } else {
                ++sums.unverified;
                if (unverified) unverified(slot + 1, verification.Entry(slot, length).keyer);
            }
        }
        at += static_cast<int64_t>(got / static_cast<std::size_t>(length) * length);
    }
    return sums;
}
