// dos2win and win2dos: copy a file, converting its bytes between code page 850
// (the station's own text) and Windows-1252 (what Windows programs expect).
//
//   dos2win <input> <output>
//   win2dos <input> <output>
//
// Both programs are built from this one file; CONVERT_TO_ANSI picks the name
// and the direction and is the only difference between them.
//
// The file is copied in 16384-byte blocks. Before each block the percentage
// done is written in place (four columns, "%", five backspaces) whenever it
// changes, and at the end the line " 100%" overwrites whatever was shown last.
// Exit codes: 0 after a copy, 1 for a wrong call, otherwise the system's error
// number of the failed open, read or write.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdio>

#include "platform/CodePage.h"
#include "tools/common/ToolFiles.h"

#ifndef CONVERT_TO_ANSI
#error "CONVERT_TO_ANSI must be defined: 1 builds dos2win, 0 builds win2dos"
#endif

namespace {

#if CONVERT_TO_ANSI
constexpr const char* kProgram = "dos2win";
constexpr auto Convert = OemToAnsiBuffer;
#else
constexpr const char* kProgram = "win2dos";
constexpr auto Convert = AnsiToOemBuffer;
#endif

constexpr std::size_t kBlockSize = 16384;

// Shows a percentage in place: the backspaces put the cursor back so that the
// next value overwrites this one. Short last blocks and the final empty read
// take it past 100 for a moment; the closing " 100%" line puts that right.
void ShowProgress(uint64_t percent) {
    std::printf("%4llu%%\b\b\b\b\b", static_cast<unsigned long long>(percent));
    std::fflush(stdout);
}

// Opens the output without truncating it first, so that a refusal below
// leaves an existing file exactly as it was.
int OpenOutput(const char* name) { return open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666); }

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_MESSAGES, "");  // the system's reason in the user's language
    if (argc != 3) {
        std::printf("Syntax: %s <input> <output>\n", kProgram);
        return 1;
    }
    const char* inName = argv[1];
    const char* outName = argv[2];

    const int in = open(inName, O_RDONLY | O_CLOEXEC);
    if (in < 0) return ReportIoError(kProgram, inName, errno);
    struct stat inInfo{};
    if (fstat(in, &inInfo) != 0) return ReportIoError(kProgram, inName, errno);
    // A directory opens for reading on Linux but cannot be read; say so now,
    // before an empty output is created.
    if (S_ISDIR(inInfo.st_mode)) return ReportIoError(kProgram, inName, EISDIR);

    const int out = OpenOutput(outName);
    if (out < 0) return ReportIoError(kProgram, outName, errno);
    struct stat outInfo{};
    if (fstat(out, &outInfo) != 0) return ReportIoError(kProgram, outName, errno);
    // Truncating the output would empty the input before a single byte is
    // read when both names lead to the same file (also through a link), and
    // the copy would then be empty too. Refuse instead and touch nothing.
    if (SameRegularFile(inInfo, outInfo)) {
        std::fprintf(stderr, "%s: Eingabe und Ausgabe sind dieselbe Datei (%s), nichts kopiert\n",
                     kProgram, outName);
        return 1;
    }
    if (S_ISREG(outInfo.st_mode) && ftruncate(out, 0) != 0) {
        return ReportIoError(kProgram, outName, errno);
    }

    // Only a regular file has a size worth dividing; anything else counts as
    // one block.
    uint64_t blocks = S_ISREG(inInfo.st_mode) ? static_cast<uint64_t>(inInfo.st_size) / kBlockSize
                                              : 0;
    if (blocks == 0) blocks = 1;

    static uint8_t block[kBlockSize];
    bool shown = false;
    uint64_t lastShown = 0;
    for (uint64_t pass = 1;; ++pass) {
        const uint64_t percent = pass * 100 / blocks;
        if (!shown || percent != lastShown) {
            ShowProgress(percent);
            shown = true;
            lastShown = percent;
        }
        const ssize_t got = ReadFull(in, block, kBlockSize);
        if (got < 0) return ReportIoError(kProgram, inName, errno);
        const auto count = static_cast<std::size_t>(got);
        Convert(block, count);
        if (!WriteAll(out, block, count)) return ReportIoError(kProgram, outName, errno);
        if (count == 0) break;
    }
    close(in);
    if (!CloseWritten(out)) return ReportIoError(kProgram, outName, errno);
    std::printf(" 100%%\n");
    return 0;
}
