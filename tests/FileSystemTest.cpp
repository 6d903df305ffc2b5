#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ByteFile.h"
#include "platform/CodePage.h"
#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"
#include "tests/kit/TempDir.h"

TEST(FileSystem, TypedPathsFindComponentsWithoutRegardToCase) {
    TempDir dir;
    dir.Write("Tab/Kunden", "x");
    EXPECT_EQ(NativePath("tab\\KUNDEN"), "Tab/Kunden");
    EXPECT_EQ(NativePath("TAB/neu"), "Tab/neu");  // a new name is kept as typed
    EXPECT_EQ(NativePath("gr\x94\xE1"
                         "e"),
              "größe");  // code page 850 to UTF-8
    EXPECT_EQ(NativePath(dir.path() + "\\tab\\kunden"), dir.path() + "/Tab/Kunden");
}

TEST(FileSystem, WildcardsMatchLikeOperatorsExpect) {
    EXPECT_TRUE(WildcardMatch("*.DEF", "kunden.def"));
    EXPECT_TRUE(WildcardMatch("*.*", "README"));
    EXPECT_TRUE(WildcardMatch("k?nden.*", "KUNDEN"));
    EXPECT_TRUE(WildcardMatch("*", ".hidden"));
    EXPECT_FALSE(WildcardMatch("*.DEF", "kunden.def.bak"));
    EXPECT_FALSE(WildcardMatch("a*b", "ac"));
    EXPECT_TRUE(WildcardMatch("a*b*c", "aXbYbZc"));
}

TEST(FileSystem, FindFilesListsMatchingEntries) {
    TempDir dir;
    dir.Write("a.DEF", "");
    dir.Write("b.def", "");
    dir.Write("c.txt", "");
    dir.Write(".d.def", "");
    dir.Write("sub.def/x", "");
    dir.Write("Größe.def", "");
    auto names = [](const std::vector<FoundFile>& found) {
        std::vector<std::string> list;
        for (const auto& f : found) list.push_back(f.name);
        std::sort(list.begin(), list.end());
        return list;
    };
    EXPECT_EQ(names(FindFiles("*.DEF", kAttrArchive)),
              (std::vector<std::string>{"Gr\x94\xE1"
                                        "e.def",
                                        "a.DEF", "b.def"}));
    EXPECT_EQ(names(FindFiles("./*.def", kAttrArchive | kAttrDirectory | kAttrHidden)).size(), 5u);
    EXPECT_TRUE(FindFiles("missing/*.*", kAttrArchive).empty());
}

TEST(FileSystem, EveryListedNameLeadsBackToItsOwnFile) {
    TempDir dir;
    // Names code page 850 cannot hold (a character without counterpart, a byte
    // that is no UTF-8), what they would show as, a '\\' (a separator to the
    // station), and names that look like the escapes.
    const std::vector<std::string> names{"\xCE\xA9mega.DEF", "\xFFmega.DEF", "?mega.DEF",
                                         "a\\b.DEF",         "%41.DEF",      "A.DEF",
                                         "%CE%A9mega.DEF",   "Größe.DEF"};
    for (const std::string& name : names) dir.Write(name, name);
    std::vector<std::string> reached;
    for (const FoundFile& found : FindFiles("*.def", kAttrArchive)) {
        ByteFile file;
        ASSERT_EQ(file.Open(found.name, ByteFile::Mode::Read), 0) << found.name;
        char buffer[64];
        std::size_t got = 0;
        ASSERT_EQ(file.Read(buffer, sizeof buffer, got), 0);
        reached.emplace_back(buffer, got);
        EXPECT_EQ(NativePath(found.name), reached.back());
        if (reached.back().find("mega") != std::string::npos) {
            EXPECT_EQ(ShownName(found.name),
                      reached.back() == "%CE%A9mega.DEF" ? reached.back() : "?mega.DEF");
        }
    }
    std::sort(reached.begin(), reached.end());
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(reached, expected);
    // Names the station can hold are listed as they are.
    EXPECT_EQ(OemFromNative("Größe %4.DEF"),
              "Gr\x94\xE1"
              "e %4.DEF");
}

TEST(FileSystem, ByteFilesReportErrorsInsteadOfFailingSilently) {
    TempDir dir;
    ByteFile file;
    EXPECT_NE(file.Open("missing", ByteFile::Mode::Read), 0);
    // A FIFO (which would wait for a writer) and a link to a device are
    // refused at once, for reading and for writing in place.
    ASSERT_EQ(::mkfifo((dir.path() + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", (dir.path() + "/zero").c_str()), 0);
    EXPECT_EQ(file.Open("pipe", ByteFile::Mode::Read), EINVAL);
    EXPECT_EQ(file.Open("zero", ByteFile::Mode::ReadWrite), EINVAL);
    ASSERT_EQ(file.Open("data", ByteFile::Mode::Create), 0);
    EXPECT_EQ(file.Write("abcdef", 6), 0);
    EXPECT_EQ(file.Seek(2), 0);
    char buffer[8] = {};
    std::size_t got = 0;
    EXPECT_EQ(file.Read(buffer, 8, got), 0);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buffer, got), "cdef");
    int64_t size = 0;
    EXPECT_EQ(file.Size(size), 0);
    EXPECT_EQ(size, 6);
    EXPECT_NE(file.Seek(-1), 0);
    EXPECT_EQ(file.Close(), 0);
    EXPECT_NE(file.Write("x", 1), 0);
    EXPECT_EQ(EraseFile("DATA"), 0);
    EXPECT_FALSE(dir.Exists("data"));
    EXPECT_THROW(CheckInOut(5), InOutError);
    EXPECT_NO_THROW(CheckInOut(0));
    dir.Write("d/x", "");
    EXPECT_NE(file.Open("d", ByteFile::Mode::Read), 0);
}

// What a killed station left of a replacement goes when the same file is
// replaced again, or the whole directory is swept, and only when the process
// that made it is gone; nothing else in the directory is touched.
TEST(FileSystem, LeftoversOfCutOffReplacementsGoOnceTheirProcessIsGone) {
    TempDir dir;
    const std::string gone = std::to_string(GoneProcess());
    const std::string own = std::to_string(::getpid());
    const std::vector<std::string> kept = {
        ".DATA.TXT.1-2.neu",             // process 1 runs
        ".DATA.TXT." + gone + "-x.neu",  // not a name a replacement makes
        ".DATA.TXT." + gone + ".neu",    // no counter
        "DATA.TXT." + gone + "-1.neu",   // not hidden
        ".DATA.TXT." + gone + "-4.neu",  // a symbolic link
        ".LISTE." + gone + "-5.neu",     // another file's: kept until swept
    };
    for (const std::string& name : kept)
        if (name != kept[4]) dir.Write(name, "x");
    ASSERT_EQ(::symlink("elsewhere", (dir.path() + "/" + kept[4]).c_str()), 0);
    dir.Write(".DATA.TXT." + gone + "-3.neu", "half");
    dir.Write(".DATA.TXT." + own + "-999.neu", "half");  // an earlier process of this number
    const auto names = [&] {
        std::vector<std::string> all;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            all.push_back(entry.path().filename().string());
        std::sort(all.begin(), all.end());
        return all;
    };

    FileReplacement running;  // this process's own replacement, under way
    ASSERT_EQ(running.Begin("DATA.TXT"), 0);
    ASSERT_EQ(ReplaceFileWhole("DATA.TXT", "new"), 0);
    std::vector<std::string> expected = kept;
    expected.push_back("DATA.TXT");
    std::vector<std::string> now = names();
    const auto runningFile = std::find_if(now.begin(), now.end(), [&](const std::string& name) {
        return name.starts_with(".DATA.TXT." + own + "-") &&
               name != ".DATA.TXT." + own + "-999.neu";
    });
    ASSERT_NE(runningFile, now.end());
    expected.push_back(*runningFile);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(now, expected);

    RemoveLeftoverTemporaries(dir.path());  // every name: the other file's goes too
    expected.erase(std::find(expected.begin(), expected.end(), kept[5]));
    EXPECT_EQ(names(), expected);
    EXPECT_EQ(dir.Read("DATA.TXT"), "new");
}

// Data files, layouts and exports are written only to regular files: a FIFO
// or a device is refused before anything is opened, also when a reader would
// let the opening pass. A printer may be either: written directly, opened
// without waiting.
TEST(FileSystem, ReplacementsWriteRegularFilesAndDevicesOnlyWhenAsked) {
    TempDir dir;
    const auto device = FileReplacement::Target::FileOrDevice;
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    ASSERT_EQ(::symlink("/dev/null", "null"), 0);
    const int reader = ::open("pipe", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_EQ(ReplaceFileWhole("pipe", "data"), EINVAL);
    EXPECT_EQ(ReplaceFileWhole("pipe", "list", device), 0);
    char got[8];
    EXPECT_EQ(::read(reader, got, sizeof got), 4);  // only the listing came through
    ::close(reader);
    EXPECT_EQ(ReplaceFileWhole("pipe", "list", device), ENXIO);  // nobody reads now
    EXPECT_EQ(ReplaceFileWhole("null", "data"), EINVAL);
    EXPECT_EQ(ReplaceFileWhole("null", "list", device), 0);
    // A name made a FIFO while the new contents were written: the new file goes.
    FileReplacement replacement;
    ASSERT_EQ(replacement.Begin("late"), 0);
    ASSERT_EQ(::mkfifo("late", 0600), 0);
    bool replaced = true;
    EXPECT_EQ(replacement.Commit(replaced), EINVAL);
    EXPECT_FALSE(replaced);
    using Listing = std::filesystem::directory_iterator;
    EXPECT_EQ(std::distance(Listing("."), Listing()), 3);  // pipe, null, late
}
