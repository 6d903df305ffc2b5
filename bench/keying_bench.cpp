// Keys per second for bench/keying.sh: records keyed through the scripted
// window system into a layout of 100 fields of 10 characters (a record of
// 1000), every record stored with its flush, in the directory given:
//   keying_bench DIR RECORDS
// prints the keys, the seconds, and the seconds spent inside fdatasync.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "screens/EntryScreen.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "tests/kit/StationHarness.h"

namespace {

double flushSeconds = 0;

}  // namespace

// The flushes are timed where they happen: this program's own fdatasync
// passes every call on to the C library's.
extern "C" int fdatasync(int fd) {
    static auto next = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fdatasync"));
    const auto start = std::chrono::steady_clock::now();
    const int result = next(fd);
    flushSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: keying_bench DIR RECORDS\n");
        return 2;
    }
    std::filesystem::current_path(argv[1]);
    const int records = std::atoi(argv[2]);
    constexpr int kFields = 100, kLength = 10;

    StationHarness station([] {
        ResetFieldModel();
        FillFieldTypeTable();
        FieldCount = kFields;
        for (int n = 1; n <= kFields; ++n) {
            const auto position = static_cast<int16_t>((n - 1) * kLength + 1);
            FieldTable[n] = FieldDef{position, position, kLength, 'A', 1, 0};
        }
        if (StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::Create) != 0) std::exit(1);
        Mode = ModeEntry;
        SubMode = SubMain;
        ResetEntryScreen();
        EntryScreen(ModeEntry, false, true);
    });
    // Every field keyed full, so each record ends by running on into the next.
    std::string record;
    for (int i = 0; i < kFields * kLength; ++i) record += static_cast<char>('a' + i % 26);
    for (int r = 0; r < records; ++r) station.Type(record);

    const auto start = std::chrono::steady_clock::now();
    station.Start();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int64_t size = 0;
    StoredRecords.File().Size(size);
    if (size != static_cast<int64_t>(records) * kFields * kLength) {
        std::fprintf(stderr, "keying_bench: %lld bytes stored, not %d records\n",
                     static_cast<long long>(size), records);
        return 1;
    }
    std::printf("keys %d\nseconds %.4f\nflush_seconds %.4f\n", records * kFields * kLength, seconds,
                flushSeconds);
    return 0;
}
