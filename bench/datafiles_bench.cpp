// Times data files for bench/datafiles.sh, in the directory it is given:
//   datafiles_bench DIR RECORDS
// makes a record file of RECORDS records of 80 bytes (a name, a number, a
// text and the end mark, every tenth number negative), then for each of the
// four forms exports it and imports the export again, printing the seconds
// of each as "export MODE SECONDS" and "import MODE SECONDS".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/QuietWindowSystem.h"
#include "console/WinCrt.h"
#include "screens/DataFileDialogs.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "platform/RichEdit.h"

namespace {

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: datafiles_bench DIR RECORDS\n");
        return 2;
    }
    std::filesystem::current_path(argv[1]);
    const int records = std::atoi(argv[2]);
    const QuietStation station("datafiles_bench");
    const FieldDef fields[] = {{1, 1, 30, 'A', 1, 0},
                               {31, 31, 10, 'N', 1, 0},
                               {41, 41, 38, 'A', 1, 0},
                               {79, 79, 2, 'E', 1, 0}};
    FieldCount = 4;
    for (int n = 1; n <= 4; ++n) FieldTable[n] = fields[n - 1];

    std::string block;
    block.reserve(static_cast<std::size_t>(records) * 80);
    for (int i = 0; i < records; ++i) {
        char record[81];
        std::snprintf(record, sizeof record, "Kunde %-24d%9d%c%-38s\r\n", i, i % 1000000,
                      i % 10 == 0 ? 'K' : '3', "Musterstrasse 12, 20095 Hamburg");
        block.append(record, 80);
    }
    if (StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::Create) != 0) return 1;
    if (StoredRecords.File().Write(block.data(), block.size()) != 0 ||
        StoredRecords.File().Sync() != 0)
        return 1;

    for (int mode = 0; mode < 4; ++mode) {
        ConversionMode = mode;
        const std::string name = "out" + std::to_string(mode);
        auto start = std::chrono::steady_clock::now();
        SaveDataTo(name);
        std::printf("export %d %.4f\n", mode, Since(start));
        start = std::chrono::steady_clock::now();
        LoadDataFrom(name);
        std::printf("import %d %.4f\n", mode, Since(start));
        int64_t size = 0;
        StoredRecords.File().Size(size);
        if (size != static_cast<int64_t>(records) * 80) {
            std::fprintf(stderr, "datafiles_bench: mode %d came back with %lld bytes\n", mode,
                         static_cast<long long>(size));
            return 1;
        }
        std::filesystem::remove(name);
    }
    return 0;
}
