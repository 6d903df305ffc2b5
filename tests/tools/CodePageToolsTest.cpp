// dos2win and win2dos, run as their own processes: usage, the in-place
// percentage, the conversion itself over several blocks, and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "tests/tools/ToolRun.h"

namespace {

const std::string kDos2Win = DOS2WIN_PATH;
const std::string kWin2Dos = WIN2DOS_PATH;
const std::string kBack = "\b\b\b\b\b";

std::string Mapped(std::string bytes, uint8_t (*convert)(uint8_t)) {
    for (char& ch : bytes) ch = static_cast<char>(convert(static_cast<uint8_t>(ch)));
    return bytes;
}

std::string AllBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    return bytes;
}

TEST(CodePageTools, WrongArgumentCountPrintsUsageAndEndsWithOne) {
    Scratch dir;
    dir.Write("in", "x");
    for (const auto& [program, name] : {std::pair{kDos2Win, std::string("dos2win")},
                                        std::pair{kWin2Dos, std::string("win2dos")}}) {
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {}, {dir.Path("in")}, {dir.Path("in"), dir.Path("out"), "x"}}) {
            const ToolResult result = RunTool(program, args);
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_EQ(result.out, "Syntax: " + name + " <input> <output>\n");
        }
    }
    EXPECT_FALSE(dir.Exists("out"));
}

// The percentage is written before each 16384-byte read; the input size in
// whole blocks (at least 1) is 100 %, and the closing line is " 100%".
TEST(CodePageTools, ProgressBytesFollowTheBlockCount) {
    struct Case {
        std::size_t size;
        std::string out;
    };
    const std::vector<Case> cases{
        {0, " 100%" + kBack + " 100%\n"},
        {100, " 100%" + kBack + " 200%" + kBack + " 100%\n"},
        {16384, " 100%" + kBack + " 200%" + kBack + " 100%\n"},
        {16385, " 100%" + kBack + " 200%" + kBack + " 300%" + kBack + " 100%\n"},
        {3 * 16384 + 1, "  33%" + kBack + "  66%" + kBack + " 100%" + kBack + " 133%" + kBack +
                            " 166%" + kBack + " 100%\n"},
    };
    for (const Case& c : cases) {
        Scratch dir;
        dir.Write("in", std::string(c.size, 'a'));
        const ToolResult result = RunTool(kDos2Win, {dir.Path("in"), dir.Path("out")});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, c.out) << c.size << " bytes";
        EXPECT_EQ(dir.Read("out").size(), c.size);
    }
}

TEST(CodePageTools, ProgressIsWrittenOnlyWhenItChanges) {
    // 200 blocks: two passes per percent, so every value 0..100 once, then
    // the last passes (100 % again) write nothing new.
    Scratch dir;
    dir.Write("in", std::string(200 * 16384, 'a'));
    const ToolResult result = RunTool(kWin2Dos, {dir.Path("in"), dir.Path("out")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '%'), 102);
    EXPECT_EQ(result.out.substr(0, 20), "   0%" + kBack + "   1%" + kBack);
    EXPECT_EQ(result.out.substr(result.out.size() - 16), " 100%" + kBack + " 100%\n");
}

TEST(CodePageTools, ConvertsEveryByteOverSeveralBlocks) {
    std::mt19937 random(850);
    std::string input = AllBytes();
    while (input.size() < 50000) input += static_cast<char>(random());
    Scratch dir;
    dir.Write("in", input);
    ASSERT_EQ(RunTool(kDos2Win, {dir.Path("in"), dir.Path("ansi")}).exitCode, 0);
    ASSERT_EQ(RunTool(kWin2Dos, {dir.Path("in"), dir.Path("oem")}).exitCode, 0);
    EXPECT_EQ(dir.Read("ansi"), Mapped(input, OemToAnsi));
    EXPECT_EQ(dir.Read("oem"), Mapped(input, AnsiToOem));
    // The German letters, independent of the tables: Ä ö ü ß § in both pages.
    dir.Write("de", "\x8e\x94\x81\xe1\xf5");
    ASSERT_EQ(RunTool(kDos2Win, {dir.Path("de"), dir.Path("de.ansi")}).exitCode, 0);
    EXPECT_EQ(dir.Read("de.ansi"), "\xc4\xf6\xfc\xdf\xa7");
    ASSERT_EQ(RunTool(kWin2Dos, {dir.Path("de.ansi"), dir.Path("de.oem")}).exitCode, 0);
    EXPECT_EQ(dir.Read("de.oem"), "\x8e\x94\x81\xe1\xf5");
}

// True when Windows-1252 has the character, i.e. a counterpart exists.
bool InWindows1252(char32_t code) {
    static const std::u32string kUpperHalf =
        U"\u20AC\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u017D"
        U"\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u017E\u0178";
    return code < 0x80 || (code >= 0xA0 && code <= 0xFF) ||
           kUpperHalf.find(code) != std::u32string::npos;
}

TEST(CodePageTools, RoundTripRestoresEveryByteWithACounterpart) {
    std::string kept;
    for (int b = 0; b < 256; ++b) {
        if (InWindows1252(OemToUnicode(static_cast<uint8_t>(b)))) kept += static_cast<char>(b);
    }
    // All of ASCII and of the Latin-1 letters, plus the florin sign.
    EXPECT_EQ(kept.size(), 128u + 96u + 1u);
    std::string input;
    while (input.size() < 40000) input += kept;  // across block boundaries
    Scratch dir;
    dir.Write("oem", input);
    ASSERT_EQ(RunTool(kDos2Win, {dir.Path("oem"), dir.Path("ansi")}).exitCode, 0);
    ASSERT_EQ(RunTool(kWin2Dos, {dir.Path("ansi"), dir.Path("back")}).exitCode, 0);
    EXPECT_EQ(dir.Read("back"), input);
}

TEST(CodePageTools, ExistingOutputIsTruncated) {
    Scratch dir;
    dir.Write("in", "abc");
    dir.Write("out", std::string(40000, 'z'));
    ASSERT_EQ(RunTool(kWin2Dos, {dir.Path("in"), dir.Path("out")}).exitCode, 0);
    EXPECT_EQ(dir.Read("out"), "abc");
}

TEST(CodePageTools, SameFileAsInputAndOutputIsRefusedUntouched) {
    Scratch dir;
    const std::string text = "M\x81ller\r\n";
    dir.Write("data", text);
    std::filesystem::create_symlink(dir.Path("data"), dir.Path("symlink"));
    std::filesystem::create_hard_link(dir.Path("data"), dir.Path("hardlink"));
    for (const std::string& output :
         {dir.Path("data"), dir.Path("symlink"), dir.Path("hardlink"), dir.Path("./data")}) {
        const ToolResult result = RunTool(kDos2Win, {dir.Path("data"), output});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "dos2win: Eingabe und Ausgabe sind dieselbe Datei (" + output +
                                  "), nichts kopiert\n");
        EXPECT_EQ(dir.Read("data"), text);
    }
}

TEST(CodePageTools, OpenFailuresEndWithTheSystemErrorCode) {
    Scratch dir;
    dir.Write("in", "abc");
    std::filesystem::create_directory(dir.Path("folder"));

    ToolResult result = RunTool(kDos2Win, {dir.Path("missing"), dir.Path("out")});
    ExpectIoError(result, "dos2win", dir.Path("missing"), ENOENT);
    result = RunTool(kDos2Win, {dir.Path("folder"), dir.Path("out")});
    ExpectIoError(result, "dos2win", dir.Path("folder"), EISDIR);
    EXPECT_FALSE(dir.Exists("out"));  // the input is checked before the output is made

    result = RunTool(kWin2Dos, {dir.Path("in"), dir.Path("missing/out")});
    ExpectIoError(result, "win2dos", dir.Path("missing/out"), ENOENT);
    result = RunTool(kWin2Dos, {dir.Path("in"), dir.Path("folder")});
    ExpectIoError(result, "win2dos", dir.Path("folder"), EISDIR);

    // Refused even to root; the reason depends on how /proc/sys is mounted.
    result = RunTool(kWin2Dos, {dir.Path("in"), "/proc/sys/kernel/osrelease"});
    EXPECT_TRUE(result.exitCode == EACCES || result.exitCode == EROFS) << result.exitCode;
    if (result.exitCode > 0)
        ExpectIoError(result, "win2dos", "/proc/sys/kernel/osrelease", result.exitCode);
}

TEST(CodePageTools, OutputInAWriteProtectedDirectoryIsRefused) {
    if (RunningAsRoot()) GTEST_SKIP() << "root writes into read-only directories";
    Scratch dir;
    dir.Write("in", "abc");
    std::filesystem::create_directory(dir.Path("locked"));
    std::filesystem::permissions(dir.Path("locked"), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_exec);
    const ToolResult result = RunTool(kDos2Win, {dir.Path("in"), dir.Path("locked/out")});
    ExpectIoError(result, "dos2win", dir.Path("locked/out"), EACCES);
}

TEST(CodePageTools, ReadAndWriteFailuresEndWithTheErrorNumber) {
    Scratch dir;
    dir.Write("in", "abc");
    ToolResult result = RunTool(kDos2Win, {dir.Path("in"), "/dev/full"});
    ExpectIoError(result, "dos2win", "/dev/full", ENOSPC);
    // Percentages may have been shown, but never the closing line.
    EXPECT_EQ(result.out.substr(0, 10), " 100%" + kBack);
    EXPECT_EQ(result.out.find('\n'), std::string::npos);

    result = RunTool(kWin2Dos, {"/proc/self/mem", dir.Path("out")});
    ExpectIoError(result, "win2dos", "/proc/self/mem", EIO);
}

}  // namespace
