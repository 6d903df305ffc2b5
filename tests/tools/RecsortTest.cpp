// recsort, run as its own process: the usage line, the messages, the progress
// count, how lines are split, cut, shortened and ordered, and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/tools/ToolRun.h"

namespace {

const std::string kRecsort = RECSORT_PATH;
const std::string kUsage = "Syntax: sort <In> <Out> [nichtkuerzen]\n";

// Sorts `input` and returns the output file; the run must end cleanly.
std::string Sorted(const std::string& input, bool keepBlanks = false) {
    Scratch dir;
    dir.Write("in", input);
    std::vector<std::string> args{dir.Path("in"), dir.Path("out")};
    if (keepBlanks) args.push_back("nichtkuerzen");
    const ToolResult result = RunTool(kRecsort, args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    return dir.Read("out");
}

std::string Lines(const std::vector<std::string>& lines, const char* end = "\n") {
    std::string text;
    for (const auto& line : lines) text += line + end;
    return text;
}

TEST(Recsort, WrongArgumentCountPrintsUsageAndEndsWithOne) {
    Scratch dir;
    dir.Write("in", "b\na\n");
    const std::vector<std::vector<std::string>> calls{
        {}, {dir.Path("in")}, {dir.Path("in"), dir.Path("out"), "x", "y"}};
    for (const auto& args : calls) {
        const ToolResult result = RunTool(kRecsort, args);
        EXPECT_EQ(result.exitCode, 1);  // as dos2win, win2dos and kelbrin-export
        EXPECT_EQ(result.out, kUsage);
        EXPECT_EQ(result.err, "");
    }
    EXPECT_FALSE(dir.Exists("out"));
}

// A table that was not sorted must never pass for one that was: every failure
// ends with the system's error number and says why in the station's words.
TEST(Recsort, UnreadableInputIsReportedWithTheReasonAndTheErrorNumber) {
    Scratch dir;
    std::filesystem::create_directory(dir.Path("folder"));
    const struct {
        std::string input;
        int error;
        const char* reason;
    } cases[] = {{dir.Path("missing"), ENOENT, "Datei nicht gefunden"},
                 {dir.Path("folder"), EISDIR, "ein Verzeichnis, keine Datei"}};
    for (const auto& c : cases) {
        const ToolResult result = RunTool(kRecsort, {c.input, dir.Path("out")});
        EXPECT_EQ(result.exitCode, c.error);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "recsort: Kann Tabelle " + c.input +
                                  " nicht lesen !!! (Ein-/Ausgabefehler " +
                                  std::to_string(c.error) + ": " + c.reason + ".)\n");
        EXPECT_FALSE(dir.Exists("out"));
    }
}

TEST(Recsort, UncreatableOutputIsReportedAfterTheProgress) {
    Scratch dir;
    dir.Write("in", "b\na\n");
    std::filesystem::create_directory(dir.Path("folder"));
    // A directory, a missing directory, and a file the system refuses even to
    // root: each cannot be created as the output.
    for (const std::string& output :
         {dir.Path("folder"), dir.Path("missing/out"), std::string("/proc/sys/kernel/osrelease")}) {
        const ToolResult result = RunTool(kRecsort, {dir.Path("in"), output});
        EXPECT_NE(result.exitCode, 0);
        EXPECT_EQ(result.out, "0\n");
        EXPECT_EQ(result.err.rfind("recsort: Kann Tabelle " + output +
                                       " nicht schreiben !!! (Ein-/Ausgabefehler " +
                                       std::to_string(result.exitCode) + ": ",
                                   0),
                  0u)
            << result.err;
    }
}

TEST(Recsort, OutputInAWriteProtectedDirectoryIsRefused) {
    if (RunningAsRoot()) GTEST_SKIP() << "root writes into read-only directories";
    Scratch dir;
    dir.Write("in", "a\n");
    std::filesystem::create_directory(dir.Path("locked"));
    std::filesystem::permissions(dir.Path("locked"), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_exec);
    const ToolResult result = RunTool(kRecsort, {dir.Path("in"), dir.Path("locked/out")});
    EXPECT_EQ(result.exitCode, EACCES);
    EXPECT_EQ(result.err,
              "recsort: Kann Tabelle " + dir.Path("locked/out") +
                  " nicht schreiben !!! (Ein-/Ausgabefehler 13: Zugriff verweigert.)\n");
}

TEST(Recsort, ReadAndWriteFailuresEndWithTheErrorNumber) {
    Scratch dir;
    dir.Write("in", "b\na\n");
    // Every write to /dev/full fails with "no space left".
    ToolResult result = RunTool(kRecsort, {dir.Path("in"), "/dev/full"});
    ExpectIoError(result, "recsort", "/dev/full", ENOSPC);
    // Reading a process's own memory from address 0 fails with an I/O error.
    result = RunTool(kRecsort, {"/proc/self/mem", dir.Path("out")});
    ExpectIoError(result, "recsort", "/proc/self/mem", EIO);
    EXPECT_FALSE(dir.Exists("out"));
}

// The count comes before each line after the first whose number among those
// lines is a multiple of 100, counting from 0 and including dropped lines.
TEST(Recsort, ProgressCountsTheLinesAfterTheFirst) {
    struct Case {
        int lines;
        std::string progress;
    };
    for (const Case& c : {Case{1, ""}, Case{2, "0\n"}, Case{101, "0\n"}, Case{102, "0\n100\n"},
                          Case{250, "0\n100\n200\n"}}) {
        std::string input = "first\n";
        // Every third line blank: dropped, but still counted.
        for (int i = 1; i < c.lines; ++i) input += (i % 3 == 0) ? "\n" : "x\n";
        Scratch dir;
        dir.Write("in", input);
        const ToolResult result = RunTool(kRecsort, {dir.Path("in"), dir.Path("out")});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, c.progress) << c.lines << " lines";
    }
}

TEST(Recsort, EmptyFirstLineEndsTheReading) {
    EXPECT_EQ(Sorted("\nb\na\n"), "\n");
    EXPECT_EQ(Sorted("   \nb\na\n"), "\n");  // blanks shortened away: empty too
    EXPECT_EQ(Sorted(""), "\n");             // an empty file reads as one empty line
    // Kept blanks make the first line non-empty, and the rest is sorted.
    EXPECT_EQ(Sorted("   \nb\na\n", true), "   \na\nb\n");

    Scratch dir;
    dir.Write("in", "\n" + Lines(std::vector<std::string>(300, "x")));
    const ToolResult result = RunTool(kRecsort, {dir.Path("in"), dir.Path("out")});
    EXPECT_EQ(result.out, "");  // nothing further read, nothing counted
    EXPECT_EQ(dir.Read("out"), "\n");
}

TEST(Recsort, BlankLinesAreDroppedUnlessBlanksAreKept) {
    const std::string input = "b  \n\n  \na \n\t\n";
    EXPECT_EQ(Sorted(input), "\t\na\nb\n");
    // Only trailing blanks go: a tab is no blank.
    EXPECT_EQ(Sorted("a \t \n"), "a \t\n");
    // With a third argument lines of blanks stay; empty lines still go.
    EXPECT_EQ(Sorted(input, true), "\t\n  \na \nb  \n");
}

TEST(Recsort, OrderIsUnsignedBytesWithTheShorterLineFirst) {
    EXPECT_EQ(Sorted("abc\nab\na\n"), "a\nab\nabc\n");
    EXPECT_EQ(Sorted("a\nB\nb\nA\n"), "A\nB\na\nb\n");
    // Code page 850 letters (0x80 and up) come after all ASCII.
    EXPECT_EQ(Sorted("\xe1\nz\n\x81\n~\n"), "z\n~\n\x81\n\xe1\n");
    // NUL is an ordinary byte, the smallest one.
    EXPECT_EQ(Sorted(std::string("a\x01\na\0b\na\n", 9)), std::string("a\na\0b\na\x01\n", 9));
    // Differences past the first eight bytes.
    EXPECT_EQ(Sorted("abcdefghij\nabcdefghi\nabcdefghik\nabcdefgh\n"),
              "abcdefgh\nabcdefghi\nabcdefghij\nabcdefghik\n");
}

TEST(Recsort, EqualLinesAreAllKept) {
    // Equal lines are indistinguishable in the output; what can go wrong is
    // losing or merging them.
    EXPECT_EQ(Sorted("x\ny\nx\nw\nx\n"), "w\nx\nx\nx\ny\n");
    EXPECT_EQ(Sorted("x  \nx\nx \n"), "x\nx\nx\n");
    const std::vector<std::string> many(1000, "same line well past eight bytes");
    EXPECT_EQ(Sorted(Lines(many)), Lines(many));
}

TEST(Recsort, LineEndsAreLfCrLfOrALoneCr) {
    EXPECT_EQ(Sorted("c\r\nb\r\na\r\n"), "a\nb\nc\n");
    EXPECT_EQ(Sorted("c\rb\ra\r"), "a\nb\nc\n");
    EXPECT_EQ(Sorted("c\r\nb\ra\nd"), "a\nb\nc\nd\n");  // mixed, last line without end
    EXPECT_EQ(Sorted("b\r\r\na\n"), "a\nb\n");          // CR, then an empty CR LF line
}

TEST(Recsort, LongLinesAreCutAfter255Bytes) {
    const std::string x255(255, 'x');
    EXPECT_EQ(Sorted(std::string(100000, 'x') + "\na\n"), "a\n" + x255 + "\n");
    EXPECT_EQ(Sorted(x255 + "yz\r\n" + x255 + "\n"), x255 + "\n" + x255 + "\n");
    // Cut first, then shortened: the blanks at the cut go too.
    const std::string padded = "q" + std::string(254, ' ') + "tail";
    EXPECT_EQ(Sorted("a\n" + padded + "\n"), "a\nq\n");
    EXPECT_EQ(Sorted("a\n" + padded + "\n", true), "a\n" + padded.substr(0, 255) + "\n");
}

TEST(Recsort, SortsAFileOntoItself) {
    Scratch dir;
    dir.Write("table", "c\nb\na\n");
    std::filesystem::create_symlink(dir.Path("table"), dir.Path("link"));
    ToolResult result = RunTool(kRecsort, {dir.Path("table"), dir.Path("table")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(dir.Read("table"), "a\nb\nc\n");
    dir.Write("table", "z\ny\n");
    result = RunTool(kRecsort, {dir.Path("link"), dir.Path("table")});
    EXPECT_EQ(dir.Read("table"), "y\nz\n");
}

// The straightforward way to the same result, to hold the real sort against
// on inputs nobody would write by hand.
std::string ReferenceSort(const std::string& input, bool shorten) {
    std::vector<std::string> lines;
    std::size_t i = 0;
    bool first = true;
    do {
        std::string line;
        while (i < input.size() && input[i] != '\n' && input[i] != '\r') line += input[i++];
        if (i < input.size() && input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n') {
            ++i;
        }
        ++i;
        line.resize(std::min<std::size_t>(line.size(), 255));
        if (shorten) line.erase(line.find_last_not_of(' ') + 1);
        if (first && line.empty()) return "\n";
        first = false;
        if (!line.empty()) lines.push_back(line);
    } while (i < input.size());
    std::stable_sort(lines.begin(), lines.end());  // std::string compares bytes unsigned
    return Lines(lines);
}

TEST(Recsort, BinaryInputSortsLikeTheReference) {
    std::mt19937 random(20240611);
    // Few distinct bytes make long shared prefixes, which drive the sort deep.
    const std::string alphabet("ab \0\x80\xff\r\n\n\n", 10);
    for (int round = 0; round < 6; ++round) {
        std::string input = "start\n";
        const int length = 2000 + static_cast<int>(random() % 60000);
        for (int k = 0; k < length; ++k) input += alphabet[random() % alphabet.size()];
        if (round == 5) {  // fully random bytes, long lines included
            for (char& ch : input) ch = static_cast<char>(random());
        }
        for (const bool keepBlanks : {false, true}) {
            ASSERT_EQ(Sorted(input, keepBlanks), ReferenceSort(input, !keepBlanks))
                << "round " << round;
        }
    }
}

TEST(Recsort, ManyLinesWithLongCommonPrefixes) {
    std::mt19937 random(7);
    std::vector<std::string> words{"Strasse", "Stra\xe1", "Strassenbahn", "M\x81ller", "Muller"};
    std::string input = "Anfang\n";
    for (int k = 0; k < 20000; ++k) {
        input += words[random() % words.size()] + " " + words[random() % words.size()] + " " +
                 std::to_string(random() % 50) + "\n";
    }
    EXPECT_EQ(Sorted(input), ReferenceSort(input, true));
}

TEST(Recsort, LinesThatBeginEachOtherUpToTheCut) {
    // "a", "aa", ... up to 300 a's (cut to 255), many of each, shuffled: the
    // sort has to go down every one of the 255 bytes.
    std::vector<std::string> lines;
    for (int length = 1; length <= 300; ++length) {
        for (int copy = 0; copy < 40; ++copy) lines.push_back(std::string(length, 'a'));
    }
    std::shuffle(lines.begin(), lines.end(), std::mt19937(3));
    const std::string input = "a\n" + Lines(lines);
    EXPECT_EQ(Sorted(input), ReferenceSort(input, true));
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

TEST(Recsort, InputTooLargeForMemoryEndsWithAReport) {
    // The sanitizers reserve more address space than the limit allows.
    if (kAddressSanitizer) GTEST_SKIP() << "address space limits do not work under ASan";
    Scratch dir;
    dir.Write("in", std::string(48 << 20, 'x') + "\n");
    // 32 MiB of address space for a 48 MiB file.
    const ToolResult result = RunTool("/bin/sh", {"-c", "ulimit -v 32768 && exec \"$0\" \"$@\"",
                                                  kRecsort, dir.Path("in"), dir.Path("out")});
    EXPECT_EQ(result.exitCode, ENOMEM);
    EXPECT_EQ(result.err, "recsort: Zu wenig Speicher für " + dir.Path("in") + " (Fehler 12)\n");
    EXPECT_FALSE(dir.Exists("out"));
}

}  // namespace
