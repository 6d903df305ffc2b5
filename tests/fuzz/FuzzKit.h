// What every fuzz target of the station shares: a check that stops the fuzzer
// with the failing line, a window system that answers every wait for a key
// with Enter (so every message is read and every reader runs to its end) and
// turns the station's end into an exception, and a working directory with a
// "Tab" folder, entered only while an input is worked on (the fuzzer reads its
// corpus and writes its findings relative to its own directory).
#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#define FUZZ_CHECK(condition)                                                            \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #condition); \
            std::abort();                                                                \
        }                                                                                \
    } while (0)

// Makes the working directory on the first call (in memory, /dev/shm, unless
// TMPDIR says otherwise; removed at exit) with an empty "Tab" folder, binds
// the console to the answering window system, and returns the directory.
const std::string& FuzzWorkDirectory(const char* tag);

class InWorkDirectory {
  public:
    explicit InWorkDirectory(const std::string& directory);
    ~InWorkDirectory();
    InWorkDirectory(const InWorkDirectory&) = delete;
    InWorkDirectory& operator=(const InWorkDirectory&) = delete;

  private:
    std::filesystem::path previous_;
};
