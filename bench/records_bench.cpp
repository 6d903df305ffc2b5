// Times the record file's operations for bench/records.sh, in a directory it
// is given (which must be empty of a record file):
//   records_bench DIR commit N    N flushing commits of a 200-byte record at
//                                 the end, and N raw pwrite+fdatasync calls of
//                                 200 bytes in a file beside it; prints the
//                                 average of each in microseconds
//   records_bench DIR move N      a record file of N records of 200 bytes,
//                                 then an insert and a delete at its front;
//                                 prints each in seconds
//   records_bench DIR last N      a record file of one record followed by
//                                 N - 1 empty ones, written out (KELBRIN4.CR2)
//                                 and as a sparse file (sparse.CR2); prints
//                                 the seconds End takes to find the record on
//                                 each
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"

namespace {

constexpr int kLength = 200;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Layout() {
    ResetFieldModel();
    FillFieldTypeTable();
    Mode = ModeEntry;
    FieldCount = 1;
    FieldTable[1] = FieldDef{1, 1, kLength, 'A', 1, 0};
}

void Fill(int serial) {
    std::snprintf(reinterpret_cast<char*>(WorkRecord.data()), kLength + 1, "%0*d", kLength, serial);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: records_bench DIR commit|move N\n");
        return 2;
    }
    std::filesystem::current_path(argv[1]);
    const std::string what = argv[2];
    const int count = std::atoi(argv[3]);
    Layout();
    if (StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::Create) != 0) return 1;

    if (what == "commit") {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i) {
            OpenRecordAt(static_cast<int64_t>(i) * kLength, false);
            Fill(i);
            NoteRecordKeyed();  // as keyed: a new record is stored
            if (!CommitRecord(true)) return 1;
        }
        const double commit = Seconds(start) / count;
        // Each stored record corrected in place: through the journal.
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i) {
            OpenRecordAt(static_cast<int64_t>(i) * kLength, false);
            WorkRecord[0] = WorkRecord[0] == 'z' ? 'y' : 'z';  // differs from what is stored
            NoteRecordKeyed();
            if (!CommitRecord(true)) return 1;
        }
        const double correction = Seconds(start) / count;
        const int fd = ::open("raw", O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        char bytes[kLength];
        std::memset(bytes, 'x', sizeof bytes);
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i) {
            if (::pwrite(fd, bytes, kLength, static_cast<off_t>(i) * kLength) != kLength) return 1;
            if (::fdatasync(fd) != 0) return 1;
        }
        const double raw = Seconds(start) / count;
        ::close(fd);
        std::printf("commit_us %.1f\ncorrection_us %.1f\nraw_us %.1f\n", commit * 1e6,
                    correction * 1e6, raw * 1e6);
        return 0;
    }
    if (what == "move") {
        std::string block;
        for (int i = 0; i < count; ++i) {
            Fill(i);
            block.append(reinterpret_cast<const char*>(WorkRecord.data()), kLength);
        }
        if (StoredRecords.File().Write(block.data(), block.size()) != 0 ||
            StoredRecords.File().Sync() != 0)
            return 1;
        OpenRecordAt(0, false);
        auto start = std::chrono::steady_clock::now();
        InsertRecord();
        const double insert = Seconds(start);
        OpenRecordAt(0, false);
        start = std::chrono::steady_clock::now();
        DeleteRecord();
        const double remove = Seconds(start);
        std::printf("insert_s %.4f\ndelete_s %.4f\n", insert, remove);
        return 0;
    }
    if (what == "last") {
        Fill(1);
        const int64_t size = static_cast<int64_t>(count) * kLength;
        std::vector<char> zeros(1 << 20, '\0');
        if (StoredRecords.File().Write(WorkRecord.data(), kLength) != 0) return 1;
        for (int64_t done = kLength; done < size;) {
            const auto n = static_cast<std::size_t>(
                std::min<int64_t>(size - done, static_cast<int64_t>(zeros.size())));
            if (StoredRecords.File().Write(zeros.data(), n) != 0) return 1;
            done += static_cast<int64_t>(n);
        }
        if (StoredRecords.File().Sync() != 0) return 1;
        const auto timeEnd = [] {
            StoredRecords.File().Seek(0);
            const auto start = std::chrono::steady_clock::now();
            LastRecord(false);
            const double seconds = Seconds(start);
            return CurrentRecordNumber == 1 ? seconds : -1.0;
        };
        const double written = timeEnd();
        StoredRecords.File().Close();
        const int fd = ::open("sparse.CR2", O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::pwrite(fd, WorkRecord.data(), kLength, 0) != kLength ||
            ::ftruncate(fd, size) != 0)
            return 1;
        ::close(fd);
        if (StoredRecords.File().Open("sparse.CR2", ByteFile::Mode::ReadWrite) != 0) return 1;
        ResetRecordStore();
        const double sparse = timeEnd();
        if (written < 0 || sparse < 0) return 1;
        std::printf("end_written_s %.4f\nend_sparse_s %.4f\n", written, sparse);
        return 0;
    }
    return 2;
}
