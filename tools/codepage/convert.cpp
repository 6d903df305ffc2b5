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

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/CodePage.h"
#include "tools/common/ToolFiles.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KELBRIN_WIDE_CONVERT 1
#endif

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
constexpr std::size_t kChunkSize = 64 * kBlockSize;  // 1 MiB per read and per write

// The conversion maps each byte on its own, so it is fully described by what
// it makes of the 256 byte values. On processors with 64-byte byte permutes
// (AVX-512 VBMI) whole groups of 64 bytes are looked up at once in that table,
// because a byte-at-a-time lookup would make the conversion, not the disk, the
// slow part of the copy. The code-page module itself converts the remaining
// bytes, and everything on other processors.
class Converter {
  public:
    Converter() {
        for (int b = 0; b < 256; ++b) table_[b] = static_cast<uint8_t>(b);
        Convert(table_, sizeof table_);
#if KELBRIN_WIDE_CONVERT
        wide_ = __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw");
#endif
    }

    void operator()(uint8_t* bytes, std::size_t count) const {
        std::size_t done = 0;
#if KELBRIN_WIDE_CONVERT
        if (wide_) done = ConvertWide(bytes, count);
#endif
        Convert(bytes + done, count - done);
    }

  private:
#if KELBRIN_WIDE_CONVERT
    // Converts whole 64-byte groups and returns how many bytes it did: each
    // byte picks from the table's lower or upper half by its top bit.
    __attribute__((target("avx512f,avx512bw,avx512vbmi"))) std::size_t ConvertWide(
        uint8_t* bytes, std::size_t count) const {
        const __m512i low0 = _mm512_loadu_si512(table_);
        const __m512i low1 = _mm512_loadu_si512(table_ + 64);
        const __m512i high0 = _mm512_loadu_si512(table_ + 128);
        const __m512i high1 = _mm512_loadu_si512(table_ + 192);
        std::size_t i = 0;
        for (; i + 64 <= count; i += 64) {
            const __m512i in = _mm512_loadu_si512(bytes + i);
            const __m512i low = _mm512_permutex2var_epi8(low0, in, low1);
            const __m512i high = _mm512_permutex2var_epi8(high0, in, high1);
            const __mmask64 upper = _mm512_movepi8_mask(in);
            _mm512_storeu_si512(bytes + i, _mm512_mask_blend_epi8(upper, low, high));
        }
        return i;
    }
    bool wide_ = false;
#endif
    uint8_t table_[256];
};

// Shows a percentage in place: the backspaces put the cursor back so that the
// next value overwrites this one. Short last blocks and the final empty read
// take it past 100 for a moment; the closing " 100%" line puts that right.
void ShowProgress(uint64_t percent) {
    std::printf("%4llu%%\b\b\b\b\b", static_cast<unsigned long long>(percent));
    std::fflush(stdout);
}

// Opens the output without truncating it first, so that a refusal below
// leaves an existing file exactly as it was.
int OpenOutput(const char* name) {
    return open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("Syntax: %s <input> <output>\n", kProgram);
        return 1;
    }
    const char* inName = argv[1];
    const char* outName = argv[2];

    const int in = open(inName, O_RDONLY | O_CLOEXEC);
    if (in < 0) return ReportIoError(kProgram, inName, errno);
    struct stat inInfo {};
    if (fstat(in, &inInfo) != 0) return ReportIoError(kProgram, inName, errno);
    // A directory opens for reading on Linux but cannot be read; say so now,
    // before an empty output is created.
    if (S_ISDIR(inInfo.st_mode)) return ReportIoError(kProgram, inName, EISDIR);

    const int out = OpenOutput(outName);
    if (out < 0) return ReportIoError(kProgram, outName, errno);
    struct stat outInfo {};
    if (fstat(out, &outInfo) != 0) return ReportIoError(kProgram, outName, errno);
    // Truncating the output would empty the input before a single byte is
    // read when both names lead to the same file (also through a link), and
    // the copy would then be empty too. Refuse instead and touch nothing.
    if (SameRegularFile(inInfo, outInfo)) {
        std::fprintf(stderr, "%s: Eingabe und Ausgabe sind dieselbe Datei (%s), nichts kopiert\n",
                     kProgram, outName);
        return 1;
    }
    // Only a file with content is truncated: on some file systems (ext4) a
    // truncation marks the file for an immediate flush when it is closed.
    if (S_ISREG(outInfo.st_mode) && outInfo.st_size > 0 && ftruncate(out, 0) != 0) {
        return ReportIoError(kProgram, outName, errno);
    }

    // Only a regular file has a size worth dividing; anything else counts as
    // one block.
    uint64_t blocks =
        S_ISREG(inInfo.st_mode) ? static_cast<uint64_t>(inInfo.st_size) / kBlockSize : 0;
    if (blocks == 0) blocks = 1;

    // The percentage counts 16384-byte blocks, but the system is asked for
    // whole chunks: one call per 16384 bytes in each direction would cost
    // more than the conversion itself. A block is the next 16384 bytes of the
    // input or what is left of it, so the passes are the same either way.
    const Converter convert;
    static uint8_t chunk[kChunkSize];
    std::size_t filled = 0;  // bytes of the chunk read
    std::size_t taken = 0;   // bytes of the chunk converted, not yet written
    bool ended = false;      // the input has no more bytes
    bool shown = false;
    uint64_t lastShown = 0;
    for (uint64_t pass = 1;; ++pass) {
        const uint64_t percent = pass * 100 / blocks;
        if (!shown || percent != lastShown) {
            ShowProgress(percent);
            shown = true;
            lastShown = percent;
        }
        if (!ended && filled - taken < kBlockSize) {
            if (!WriteAll(out, chunk, taken)) return ReportIoError(kProgram, outName, errno);
            std::memmove(chunk, chunk + taken, filled - taken);
            filled -= taken;
            taken = 0;
            const ssize_t got = ReadFull(in, chunk + filled, kChunkSize - filled);
            if (got < 0) return ReportIoError(kProgram, inName, errno);
            filled += static_cast<std::size_t>(got);
            ended = filled < kChunkSize;  // ReadFull stops short only at the end
        }
        const std::size_t count = std::min(kBlockSize, filled - taken);
        convert(chunk + taken, count);
        taken += count;
        if (count == 0) break;
    }
    if (!WriteAll(out, chunk, taken)) return ReportIoError(kProgram, outName, errno);
    close(in);
    if (!CloseWritten(out)) return ReportIoError(kProgram, outName, errno);
    std::printf(" 100%%\n");
    return 0;
}
