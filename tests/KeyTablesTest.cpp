#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "console/WinCrt.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/TempDir.h"

namespace {

bool IsIdentity(const std::array<uint8_t, 256>& table) {
    for (int i = 0; i < 256; ++i) {
        if (table[i] != i) return false;
    }
    return true;
}

}  // namespace

TEST(KeyTables, WithoutFilesBothTablesAreTheIdentity) {
    TempDir dir;
    LoadKeyTables();
    EXPECT_TRUE(IsIdentity(KeyAlphaTable));
    EXPECT_TRUE(IsIdentity(KeyNumTable));
}

TEST(KeyTables, OnlyLinesOfTwoVisibleBytesMap) {
    TempDir dir;
    // Directory and file found without regard to case.
    dir.Write("TAB/KeyAlpha",
              "yz\n"                    // maps
              "ab \n"                   // three bytes: ignored
              "a\n"                     // one byte: ignored
              "c d\n"                   // contains a blank: ignored
              " e\n"                    // blank first: ignored
              "f\t\n"                   // control byte: ignored
              "\x84\x8E\r\n"            // ä -> Ä, CR LF line end
              "yw\n"                    // a later line for the same byte wins
              "qr");                    // last line without line end
    dir.Write("TAB/keynum", "\n12\n");  // an empty line in front is just skipped
    LoadKeyTables();
    EXPECT_EQ(KeyAlphaTable['y'], 'w');
    EXPECT_EQ(KeyAlphaTable['a'], 'a');
    EXPECT_EQ(KeyAlphaTable['c'], 'c');
    EXPECT_EQ(KeyAlphaTable[' '], ' ');
    EXPECT_EQ(KeyAlphaTable['f'], 'f');
    EXPECT_EQ(KeyAlphaTable[0x84], 0x8E);
    EXPECT_EQ(KeyAlphaTable['q'], 'r');
    EXPECT_EQ(KeyNumTable['1'], '2');
    dir.Write("TAB/keynum", "\n");  // a file that is one empty line maps nothing
    LoadKeyTables();
    EXPECT_TRUE(IsIdentity(KeyNumTable));
    LoadKeyTable(KeyAlphaTable, "none");  // reset for the other tests
}

TEST(KeyTables, DamagedFilesNeverHurt) {
    TempDir dir;
    std::string garbage;
    for (int i = 0; i < 5000; ++i) {
        char ch = static_cast<char>((i * 7919) % 256);
        if (ch == 'x' || ch == 'm' || ch == 'o') ch = '#';
        garbage += ch;
    }
    dir.Write("tab/keyalpha", garbage + "\rxy\rzz\n" + std::string(3000, 'k') + "\nmn");
    dir.Write("tab/keynum", std::string("\x00\x31\n", 3) + "o0\n");
    LoadKeyTables();
    EXPECT_EQ(KeyAlphaTable['m'], 'n');  // after a 3000-byte line
    EXPECT_EQ(KeyAlphaTable['x'], 'x');  // CR-only line ends do not end lines
    EXPECT_EQ(KeyNumTable['o'], '0');
    EXPECT_EQ(KeyNumTable[0], 0);
    // A directory where the file should be is skipped like a missing file.
    TempDir other;
    other.Write("tab/keyalpha/x", "");
    LoadKeyTables();
    EXPECT_TRUE(IsIdentity(KeyAlphaTable));
    EXPECT_TRUE(IsIdentity(KeyNumTable));
}

TEST(KeyTables, OnlyRegularFilesAndOnlyTheirFirst64KiB) {
    TempDir dir;
    dir.Write("tab/other", "");
    // Opening a FIFO for reading would wait for a writer, and /dev/zero never
    // ends: both count as missing.
    ASSERT_EQ(::mkfifo("tab/keyalpha", 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", "tab/keynum"), 0);
    LoadKeyTables();
    EXPECT_TRUE(IsIdentity(KeyAlphaTable));
    EXPECT_TRUE(IsIdentity(KeyNumTable));

    // A link to a regular file is followed. "xyz" straddles the limit: its
    // first two bytes lie within it, but the line is not "xy".
    std::string bytes = "ab\n";
    for (int i = 0; i < 655; ++i) bytes += std::string(99, '#') + "\n";
    bytes += std::string(30, '#') + "\n";
    ASSERT_EQ(bytes.size(), 65534u);
    dir.Write("real", bytes + "xyz\ncd\n");
    std::remove("tab/keyalpha");
    ASSERT_EQ(::symlink("../real", "tab/keyalpha"), 0);
    LoadKeyTables();
    EXPECT_EQ(KeyAlphaTable['a'], 'b');
    EXPECT_EQ(KeyAlphaTable['x'], 'x');
    EXPECT_EQ(KeyAlphaTable['c'], 'c');  // beyond the limit
    LoadKeyTable(KeyAlphaTable, "none");
}

TEST(KeyTables, TheMappedReadsUseTheTables) {
    TempDir dir;
    dir.Write("tab/keyalpha", "yz\n");
    dir.Write("tab/keynum", "u4\n");
    LoadKeyTables();
    ConsoleHarness console;
    console.Type("yu");
    console.Add(script::Key(VkF3));
    console.Run([] {
        EXPECT_EQ(ReadMappedKey().character, 'z');
        const MappedKey u = ReadMappedKey();
        EXPECT_EQ(MapNumericKey(u.character), '4');
        const MappedKey f3 = ReadMappedKey();
        EXPECT_EQ(f3.character, 0);
        EXPECT_EQ(f3.scanCode, 0x3D);
    });
    LoadKeyTable(KeyAlphaTable, "none");
    LoadKeyTable(KeyNumTable, "none");
}
