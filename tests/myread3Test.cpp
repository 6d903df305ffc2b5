#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "files/myread3.h"
#include "tests/kit/TempDir.h"

namespace {

struct Line {
    std::string text;
    bool more;
};

std::vector<Line> ReadAll(const std::string& bytes, int32_t maxlen, int calls) {
    TempDir dir;
    dir.Write("f.txt", bytes);
    EXPECT_EQ(OpenLines("f.txt"), 0);
    std::vector<Line> lines;
    for (int i = 0; i < calls; ++i) {
        std::string line;
        const bool more = ReadLine(line, maxlen);
        lines.push_back({line, more});
    }
    CloseLines();
    return lines;
}

}  // namespace

TEST(LineReader, LastLineWithoutLineEndAndTheEndAfterIt) {
    const auto lines = ReadAll("ab\r\ncd", 255, 3);
    EXPECT_EQ(lines[0].text, "ab");
    EXPECT_TRUE(lines[0].more);
    EXPECT_EQ(lines[1].text, "cd");
    EXPECT_FALSE(lines[1].more);
    EXPECT_EQ(lines[2].text, "");
    EXPECT_FALSE(lines[2].more);

    const auto empty = ReadAll("", 255, 1);
    EXPECT_EQ(empty[0].text, "");
    EXPECT_FALSE(empty[0].more);

    const auto blank = ReadAll("\r\n\n", 255, 3);
    EXPECT_EQ(blank[0].text, "");
    EXPECT_TRUE(blank[0].more);
    EXPECT_TRUE(blank[1].more);
    EXPECT_FALSE(blank[2].more);
}

TEST(LineReader, OnlyACrDirectlyBeforeTheLfIsALineEnd) {
    const auto lines = ReadAll("a\rb\n\rc\r\r\n", 255, 2);
    EXPECT_EQ(lines[0].text, "a\rb");
    EXPECT_EQ(lines[1].text, "\rc\r");
}

TEST(LineReader, LongLinesKeepTheirStartAndTheNextLineFollows) {
    const std::string longLine = std::string(2048, 'x') + std::string(952, 'y');
    const auto lines = ReadAll(longLine + "\r\nnext\n", 2048, 2);
    EXPECT_EQ(lines[0].text, std::string(2048, 'x'));
    EXPECT_TRUE(lines[0].more);
    EXPECT_EQ(lines[1].text, "next");
    const auto shortCut = ReadAll("abcdef\nz", 3, 2);
    EXPECT_EQ(shortCut[0].text, "abc");
    EXPECT_EQ(shortCut[1].text, "z");
}

TEST(LineReader, BlockBoundariesAreInvisible) {
    // The CR of a CR LF pair is the last byte of the first 2048-byte block.
    const std::string first(2047, 'a');
    const auto lines = ReadAll(first + "\r\nb\n", 4096, 2);
    EXPECT_EQ(lines[0].text, first);
    EXPECT_EQ(lines[1].text, "b");
    // Many lines over several blocks come back whole and in order.
    std::string bytes;
    for (int i = 0; i < 1000; ++i) bytes += "line " + std::to_string(i) + "\r\n";
    const auto many = ReadAll(bytes, 255, 1001);
    EXPECT_EQ(many[0].text, "line 0");
    EXPECT_EQ(many[999].text, "line 999");
    EXPECT_FALSE(many[1000].more);
}

TEST(LineReader, RawBufferIsTerminatedAndNeverOverrun) {
    TempDir dir;
    dir.Write("f", "hello world\n");
    ASSERT_EQ(OpenLines("f"), 0);
    std::vector<uint8_t> buffer(6, 0xEE);  // maxlen 5
    EXPECT_TRUE(ReadLine(buffer.data(), 5));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data())), "hello");
    CloseLines();
    EXPECT_NE(OpenLines("missing"), 0);
}

TEST(LineReader, StringAndByteReadersAgreeOnRandomFiles) {
    // Lines of random lengths over block boundaries, made of the bytes that
    // matter (CR, LF, 0) and others; read by both readers with small limits.
    std::mt19937 random(20261209);
    const char alphabet[] = {'\r', '\n', '\0', 'a', 'b', '\t'};
    for (int round = 0; round < 40; ++round) {
        std::string bytes(random() % 5000, 'x');
        for (char& c : bytes) c = alphabet[random() % sizeof alphabet];
        const auto maxlen = static_cast<int32_t>(random() % 12);
        TempDir dir;
        dir.Write("f", bytes);
        std::vector<std::string> byByte;
        ASSERT_EQ(OpenLines("f"), 0);
        std::vector<uint8_t> buffer(static_cast<std::size_t>(maxlen) + 1);
        for (bool more = true; more;) {
            more = ReadLine(buffer.data(), maxlen);
            byByte.emplace_back(reinterpret_cast<const char*>(buffer.data()));
        }
        CloseLines();
        std::vector<std::string> asStrings;
        ASSERT_EQ(OpenLines("f"), 0);
        for (bool more = true; more;) {
            std::string line;
            more = ReadLine(line, maxlen);
            asStrings.push_back(line);
        }
        CloseLines();
        ASSERT_EQ(asStrings, byByte) << "round " << round << ", maxlen " << maxlen;
    }
}

// Lines of data files from anywhere, on random files against the lines split
// by hand: LF, CR LF (also across a block boundary) and CR alone each end a
// line, 0 bytes stay in it, and a cut line tells its whole length.
TEST(LineReader, TextLinesEndAtAnyLineEndAndTellTheirLength) {
    using TextLine = std::tuple<std::string, std::size_t, bool>;
    std::mt19937 random(7031);
    const char alphabet[] = {'\r', '\n', '\0', 'a'};
    for (int round = 0; round < 40; ++round) {
        std::string bytes(random() % 6000, 'x');
        for (char& c : bytes) c = alphabet[random() % sizeof alphabet];
        const auto maxlen = static_cast<std::size_t>(random() % 3000);
        std::vector<TextLine> expected;
        std::string text;
        for (std::size_t i = 0; i <= bytes.size(); ++i) {
            if (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n') {
                text += bytes[i];
                continue;
            }
            expected.emplace_back(text.substr(0, maxlen), text.size(), i < bytes.size());
            text.clear();
            if (i + 1 < bytes.size() && bytes[i] == '\r' && bytes[i + 1] == '\n') ++i;
        }
        TempDir dir;
        dir.Write("f", bytes);
        ASSERT_EQ(OpenLines("f"), 0);
        std::vector<TextLine> lines;
        for (bool more = true; more;) {
            std::string line;
            std::size_t length = 0;
            more = ReadTextLine(line, static_cast<int32_t>(maxlen), length);
            lines.emplace_back(line, length, more);
        }
        CloseLines();
        ASSERT_EQ(lines, expected) << "round " << round;
    }
}
