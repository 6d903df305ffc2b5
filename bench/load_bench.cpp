// Times the station on a large record file for bench/load.sh, in the
// directory it is given:
//   load_bench DIR make RECORDS   a layout of 1840 one-character fields (the
//                                 whole screen) in KELBRIN4.CR1 and RECORDS
//                                 records of 1840 bytes in KELBRIN4.CR2, the
//                                 term "QXJZ" in the first record only
//   load_bench DIR run            opens the record file as a start does, steps
//                                 to its end, searches the term from the first
//                                 record on (every record is read before the
//                                 search comes round to the first), inserts a
//                                 record at the front, exports in each of the
//                                 four forms and lists everything on the
//                                 printer (KELBRIN_PRINTER names the file)
// Prints "STEP SECONDS PEAK_KB" per step (PEAK_KB: the process's peak resident
// memory so far) and stops with status 1 when a step did not do its work.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/QuietWindowSystem.h"
#include "console/WinCrt.h"
#include "screens/DataFileDialogs.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/Printing.h"
#include "screens/RecordActions.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "platform/RichEdit.h"

namespace {

constexpr int kFields = MaxFields;  // one character each: 1840 bytes a record
constexpr const char* kTerm = "QXJZ";

long PeakKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class Step {
  public:
    explicit Step(const char* name) : name_(name), start_(std::chrono::steady_clock::now()) {}
    ~Step() {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        std::printf("%s %.3f %ld\n", name_, seconds, PeakKb());
        std::fflush(stdout);
    }

  private:
    const char* name_;
    std::chrono::steady_clock::time_point start_;
};

void Layout() {
    ResetFieldModel();
    FillFieldTypeTable();
    Mode = ModeEntry;
    FieldCount = kFields;
    for (int n = 1; n <= kFields; ++n) {
        FieldTable[n] = FieldDef{static_cast<int16_t>(n), static_cast<int16_t>(n), 1, 'A', 1, 0};
    }
}

int Fail(const char* what) {
    std::fprintf(stderr, "load_bench: %s\n", what);
    return 1;
}

int64_t FileSize(const char* name) {
    std::error_code error;
    const auto size = std::filesystem::file_size(name, error);
    return error ? -1 : static_cast<int64_t>(size);
}

int Make(long records) {
    Layout();
    JournalDefinition();
    if (!std::filesystem::exists(kLayoutJournal)) return Fail("no KELBRIN4.CR1");
    // Written in blocks of a thousand records: the bench itself must not need
    // the memory the station is meant to do without.
    std::FILE* out = std::fopen(kRecordJournal, "wb");
    if (out == nullptr) return Fail("cannot create KELBRIN4.CR2");
    std::string block;
    for (long i = 0; i < records; ++i) {
        char record[kFields + 1];
        // Digits and spaces only, so the term's letters occur nowhere else.
        const int head = std::snprintf(record, sizeof record, "%010ld ", i);
        for (int k = head; k < kFields; ++k) record[k] = k % 11 == 10 ? ' ' : '0' + (k + i) % 10;
        if (i == 0) std::memcpy(record + 100, kTerm, std::strlen(kTerm));
        block.append(record, kFields);
        if (block.size() >= 1000u * kFields || i + 1 == records) {
            if (std::fwrite(block.data(), 1, block.size(), out) != block.size())
                return Fail("cannot write KELBRIN4.CR2");
            block.clear();
        }
    }
    if (std::fclose(out) != 0) return Fail("cannot write KELBRIN4.CR2");
    return 0;
}

int RunAll() {
    const int64_t size = FileSize(kRecordJournal);
    if (size <= 0 || size % kFields != 0) return Fail("no record file made by 'make'");
    const int64_t records = size / kFields;
    {
        const Step step("open");
        OpenJournal();  // the question whether to clear everything: Enter keeps it
        if (FieldCount != kFields) return Fail("the layout did not come back");
    }
    {
        const Step step("last");
        if (!LastRecord(true)) return Fail("no last record");
        if (CurrentRecordNumber != records) return Fail("the last record is not the file's last");
    }
    {
        const Step step("search");
        if (!FirstRecord(true)) return Fail("no first record");
        LastSearchTerm = kTerm;  // the prompt answered with Enter takes the last term
        SearchKind = SearchByContent;
        Search();
        if (CurrentRecordNumber != 1) return Fail("the search did not come round to record 1");
    }
    {
        const Step step("insert");
        if (!FirstRecord(true)) return Fail("no first record");
        InsertRecord();
        if (FileSize(kRecordJournal) != size + kFields) return Fail("insert lost records");
    }
    for (int mode = 0; mode < 4; ++mode) {
        static const char* const names[] = {"export_ascii", "export_ebcdic1", "export_ebcdic2",
                                            "export_tab"};
        ConversionMode = mode;
        const std::string name = "out" + std::to_string(mode);
        {
            const Step step(names[mode]);
            SaveDataTo(name);
        }
        if (FileSize(name.c_str()) < records * kFields) return Fail("an export came out short");
        std::filesystem::remove(name);
    }
    {
        const Step step("print");
        PrintData();
    }
    const char* printer = std::getenv("KELBRIN_PRINTER");
    if (printer == nullptr || FileSize(printer) < records * kFields) {
        return Fail("the listing came out short");
    }
    CloseJournal();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: load_bench DIR make RECORDS | load_bench DIR run\n");
        return 2;
    }
    std::filesystem::current_path(argv[1]);
    const QuietStation station("load_bench", true);
    const std::string what = argv[2];
    if (what == "make" && argc == 4) return Make(std::atol(argv[3]));
    if (what == "run") {
        Layout();
        FieldCount = 0;  // the start reads the layout from KELBRIN4.CR1
        return RunAll();
    }
    return 2;
}
