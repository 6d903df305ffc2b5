// recsort: sorts the lines of a text file into ascending byte order.
//
// Lookup tables in the station's "Tab/" directory must be sorted this way so
// that entry can index them by their first characters; recsort prepares them.
//
//   recsort <In> <Out> [nichtkuerzen]
//
// Lines are cut to 255 bytes, trailing blanks are removed unless a third
// argument is given, empty lines are dropped, and the rest is written in
// unsigned byte order (a line before every longer line it begins), equal lines
// in their input order, each ending in LF.
//
// Exit codes: 0 after sorting, 1 for a wrong call, otherwise the system's
// error number of the open, read or write that failed (12 when the input does
// not fit in the memory). Failures are one German line on standard error.
//
// The whole input is read into one buffer and each line is kept as a small
// entry pointing into it, so the file is held in memory once; the entries are
// put in order by a stable radix sort, whose cost grows with the bytes that
// decide the order, never with the square of the line count.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "tools/common/ToolFiles.h"

namespace {

constexpr const char* kProgram = "recsort";
constexpr int kWrongCall = 1;                // as dos2win, win2dos and kelbrin-export
constexpr std::size_t kMaxLineLength = 255;  // the length a table entry can have

// The input file, read whole.
struct Text {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
};

// Reads the whole file. The size the system reports is only a first guess:
// the file may be a pipe or may still grow, so reading goes on until the end.
bool ReadAll(int fd, Text& text) {
    struct stat info {};
    std::size_t capacity = 1 << 16;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        capacity = static_cast<std::size_t>(info.st_size) + 1;  // +1 sees the end at once
    }
    text.bytes.reset(new char[capacity]);  // not zeroed: every byte used is read
    text.size = 0;
    for (;;) {
        if (text.size == capacity) {
            const std::size_t larger = capacity * 2;
            std::unique_ptr<char[]> grown(new char[larger]);
            std::memcpy(grown.get(), text.bytes.get(), text.size);
            text.bytes = std::move(grown);
            capacity = larger;
        }
        const ssize_t got = ReadFull(fd, text.bytes.get() + text.size, capacity - text.size);
        if (got < 0) return false;
        if (got == 0) return true;
        text.size += static_cast<std::size_t>(got);
    }
}

// One line of the input: where it starts in the buffer and how long it is
// after cutting and shortening, plus its first eight bytes as a number so that
// most comparisons never have to look into the buffer.
struct Line {
    uint64_t head;   // first 8 bytes, big-endian, zero-padded
    uint64_t place;  // offset << 8 | length (a length fits in 8 bits)

    std::size_t Offset() const { return static_cast<std::size_t>(place >> 8); }
    std::size_t Length() const { return static_cast<std::size_t>(place & 0xFF); }
};

Line MakeLine(const char* base, std::size_t offset, std::size_t length) {
    uint64_t head = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(base + offset);
    for (std::size_t i = 0; i < 8; ++i) {
        head = (head << 8) | (i < length ? bytes[i] : 0u);
    }
    return Line{head, (static_cast<uint64_t>(offset) << 8) | length};
}

// Unsigned byte order; a line that begins another comes first.
struct LineLess {
    const char* base;

    bool operator()(const Line& a, const Line& b) const {
        if (a.head != b.head) return a.head < b.head;
        // Equal heads: the first min(length, 8) bytes of both agree, because
        // the padding only ever covers bytes beyond a line's end.
        const std::size_t la = a.Length();
        const std::size_t lb = b.Length();
        const std::size_t common = std::min(la, lb);
        if (common > 8) {
            const int order = std::memcmp(base + a.Offset() + 8, base + b.Offset() + 8, common - 8);
            if (order != 0) return order < 0;
        }
        return la < lb;
    }
};

// Stable sort of the lines: most-significant-byte radix sort. Each step
// distributes a group of lines that agree in their first `depth` bytes by the
// byte at `depth`, lines that end there first; a counting sort keeps equal
// keys in their input order, so lines that are equal throughout keep theirs.
// The first eight bytes come from the entries themselves; only deeper steps
// look into the text. Small groups are finished by insertion sort.
class LineSorter {
  public:
    LineSorter(const char* base, std::vector<Line>& lines)
        : base_(base), lines_(lines), spare_(new Line[lines.size()]) {}

    void Sort() {
        // Groups still to sort, kept here rather than on the call stack: lines
        // of up to 255 equal bytes would otherwise nest 255 calls deep.
        pending_.push_back(Group{0, lines_.size(), 0});
        while (!pending_.empty()) {
            const Group group = pending_.back();
            pending_.pop_back();
            SortGroup(group);
        }
    }

  private:
    static constexpr std::size_t kBuckets = 257;    // "line ends here" and 256 byte values
    static constexpr std::size_t kSmallGroup = 32;  // below this, insertion sort is faster

    struct Group {
        std::size_t first;  // index of its first line
        std::size_t count;
        std::size_t depth;  // the bytes before this position are the same in all its lines
    };

    // 0 when the line ends before `depth`, else the byte there plus 1.
    unsigned Key(const Line& line, std::size_t depth) const {
        if (depth >= line.Length()) return 0;
        if (depth < 8) return static_cast<unsigned>((line.head >> (56 - 8 * depth)) & 0xFF) + 1;
        return static_cast<unsigned>(static_cast<unsigned char>(base_[line.Offset() + depth])) + 1;
    }

    void SortGroup(Group group) {
        Line* lines = lines_.data() + group.first;
        const std::size_t count = group.count;
        std::size_t depth = group.depth;
        if (count < kSmallGroup) {
            InsertionSort(lines, count);
            return;
        }
        std::size_t sizes[kBuckets];
        for (;;) {
            std::fill(std::begin(sizes), std::end(sizes), std::size_t{0});
            for (std::size_t i = 0; i < count; ++i) ++sizes[Key(lines[i], depth)];
            if (sizes[0] == count) return;  // all equal: input order is the order
            // One common byte (a shared prefix): go one byte deeper without moving.
            if (sizes[Key(lines[0], depth)] != count) break;
            ++depth;
        }
        std::size_t ends[kBuckets];  // where each bucket starts, then, after filling, ends
        std::size_t next = 0;
        for (std::size_t b = 0; b < kBuckets; ++b) {
            ends[b] = next;
            next += sizes[b];
        }
        Line* spare = spare_.get() + group.first;
        for (std::size_t i = 0; i < count; ++i) spare[ends[Key(lines[i], depth)]++] = lines[i];
        std::copy(spare, spare + count, lines);
        // Bucket 0 holds lines that ended: equal to each other, already in order.
        for (std::size_t b = 1; b < kBuckets; ++b) {
            if (sizes[b] > 1) {
                pending_.push_back(Group{group.first + ends[b] - sizes[b], sizes[b], depth + 1});
            }
        }
    }

    void InsertionSort(Line* lines, std::size_t count) const {
        const LineLess less{base_};
        for (std::size_t i = 1; i < count; ++i) {
            const Line moving = lines[i];
            std::size_t j = i;
            // Shift only past strictly greater lines, so equal ones keep their order.
            for (; j > 0 && less(moving, lines[j - 1]); --j) lines[j] = lines[j - 1];
            lines[j] = moving;
        }
    }

    const char* base_;
    std::vector<Line>& lines_;
    std::unique_ptr<Line[]> spare_;  // the counting sort's target; not zeroed, always written first
    std::vector<Group> pending_;
};

// Splits the text into lines. A line ends at LF, at CR LF, or at a CR on its
// own (files with old Macintosh line ends still come apart into their lines
// instead of becoming one line cut after 255 bytes). A line longer than 255
// bytes keeps its first 255; the rest up to its line end is skipped.
class LineSplitter {
  public:
    explicit LineSplitter(const Text& text) : base_(text.bytes.get()), size_(text.size) {}

    bool AtEnd() const { return position_ >= size_; }

    // The next line as (offset, length) with the length already cut to 255.
    void Next(std::size_t& offset, std::size_t& length) {
        const std::size_t start = position_;
        const std::size_t lf = Find(nextLf_, '\n');
        const std::size_t cr = Find(nextCr_, '\r');
        std::size_t end = std::min(lf, cr);
        offset = start;
        length = std::min(end - start, kMaxLineLength);
        if (end < size_ && base_[end] == '\r' && end + 1 < size_ && base_[end + 1] == '\n') {
            ++end;  // CR LF is one line end
        }
        position_ = end + 1;
    }

  private:
    // Position of the next `ch` at or after the current position (size_ when
    // there is none). The last hit is remembered, so every byte is searched
    // once for each of the two characters.
    std::size_t Find(std::size_t& cached, char ch) {
        if (cached < position_ || cached == kUnknown) {
            const void* hit = std::memchr(base_ + position_, ch, size_ - position_);
            cached = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - base_) : size_;
        }
        return cached;
    }

    static constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);
    const char* base_;
    std::size_t size_;
    std::size_t position_ = 0;
    std::size_t nextLf_ = kUnknown;
    std::size_t nextCr_ = kUnknown;
};

// An upper bound of the line count (every LF and every CR may end a line), so
// that the entries are allocated once instead of grown and copied.
std::size_t MostLines(const Text& text) {
    const char* bytes = text.bytes.get();
    std::size_t ends = 0;
    for (std::size_t i = 0; i < text.size; ++i) ends += (bytes[i] == '\n') | (bytes[i] == '\r');
    return ends + 1;
}

std::size_t WithoutTrailingBlanks(const char* bytes, std::size_t length) {
    while (length > 0 && bytes[length - 1] == ' ') --length;
    return length;
}

// Collects the lines to sort and writes the progress count: one number on
// its own line before every hundredth line after the first (0, 100, 200, ...),
// counting every line read, also those that are then dropped as empty.
std::vector<Line> CollectLines(const Text& text, bool shorten) {
    std::vector<Line> lines;
    const char* base = text.bytes.get();
    LineSplitter splitter(text);
    std::size_t offset = 0;
    std::size_t length = 0;

    // The first line is kept even when it is empty, and an empty first line
    // ends the reading: the result is then that one empty line. An empty file
    // reads as one empty first line.
    if (!splitter.AtEnd()) splitter.Next(offset, length);
    if (shorten) length = WithoutTrailingBlanks(base + offset, length);
    lines.push_back(MakeLine(base, offset, length));
    if (length == 0) return lines;
    lines.reserve(MostLines(text));

    for (std::size_t count = 0; !splitter.AtEnd(); ++count) {
        if (count % 100 == 0) std::printf("%zu\n", count);
        splitter.Next(offset, length);
        if (shorten) length = WithoutTrailingBlanks(base + offset, length);
        if (length == 0) continue;
        lines.push_back(MakeLine(base, offset, length));
    }
    return lines;
}

// Writes the sorted lines through one large buffer, each followed by LF.
bool WriteLines(int fd, const Text& text, const std::vector<Line>& lines) {
    constexpr std::size_t kBufferSize = 1 << 20;
    std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    std::size_t used = 0;
    for (const Line& line : lines) {
        if (used + kMaxLineLength + 1 > kBufferSize) {
            if (!WriteAll(fd, buffer.get(), used)) return false;
            used = 0;
        }
        std::memcpy(buffer.get() + used, text.bytes.get() + line.Offset(), line.Length());
        used += line.Length();
        buffer[used++] = '\n';
    }
    return WriteAll(fd, buffer.get(), used);
}

// A table that cannot be opened, said in the station's words with the
// reason, on standard error after the progress written so far. Returns the
// error number, the exit code.
int CannotOpen(const char* name, const char* what, int error) {
    error = ErrorNumber(error);
    std::fflush(stdout);
    std::fprintf(stderr, "%s: Kann Tabelle %s nicht %s !!!%s\n", kProgram, name, what,
                 Because(error).c_str());
    return error;
}

// Sorts `inName` into `outName`. 0 after sorting; every failure returns the
// system's error number, so that a table that was not sorted never passes for
// one that was.
int SortFile(const char* inName, const char* outName, bool shorten) {
    const int in = open(inName, O_RDONLY | O_CLOEXEC);
    if (in < 0) return CannotOpen(inName, "lesen", errno);
    struct stat inInfo {};
    if (fstat(in, &inInfo) != 0 || S_ISDIR(inInfo.st_mode)) {
        const int error = S_ISDIR(inInfo.st_mode) ? EISDIR : errno;
        close(in);
        return CannotOpen(inName, "lesen", error);
    }
    Text text;
    if (!ReadAll(in, text)) {
        const int error = errno;
        close(in);
        return ReportIoError(kProgram, inName, error);
    }
    close(in);

    std::vector<Line> lines = CollectLines(text, shorten);
    LineSorter(text.bytes.get(), lines).Sort();

    // The input is already held in memory here, so sorting a file onto itself
    // is safe: truncating the output cannot destroy lines still to be read.
    const int out = open(outName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) return CannotOpen(outName, "schreiben", errno);
    if (!WriteLines(out, text, lines)) {
        const int error = errno;
        close(out);
        return ReportIoError(kProgram, outName, error);
    }
    if (!CloseWritten(out)) return ReportIoError(kProgram, outName, errno);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::printf("Syntax: sort <In> <Out> [nichtkuerzen]\n");
        return kWrongCall;
    }
    try {
        return SortFile(argv[1], argv[2], argc == 3);
    } catch (const std::bad_alloc&) {
        // The whole file is held in memory; a file too large for it must end
        // with a report and a failure code, not with an abort and a core dump.
        std::fflush(stdout);
        std::fprintf(stderr, "%s: Zu wenig Speicher für %s (Fehler %d)\n", kProgram, argv[1],
                     ENOMEM);
        return ENOMEM;
    }
}
