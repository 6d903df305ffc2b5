#include <gtest/gtest.h>

#include <set>

#include "platform/CodePage.h"

TEST(CodePage, EveryOemByteSurvivesTheTripThroughUnicode) {
    std::set<char32_t> seen;
    for (int b = 0; b < 256; ++b) {
        const char32_t code = OemToUnicode(static_cast<uint8_t>(b));
        EXPECT_TRUE(seen.insert(code).second) << "byte " << b;
        EXPECT_EQ(UnicodeToOem(code), b) << "byte " << b;
    }
    EXPECT_EQ(OemToUnicode(0x81), U'ü');
    EXPECT_EQ(OemToUnicode(0x8E), U'Ä');
    EXPECT_EQ(OemToUnicode(0xE1), U'ß');
    EXPECT_EQ(OemToUnicode(0xDB), U'\u2588');
    EXPECT_EQ(UnicodeToOem(U'€'), '?');
    EXPECT_EQ(UnicodeToOem(U'€', 0), 0);
}

TEST(CodePage, OemToAnsiAndBackKeepEveryCharacterWithACounterpart) {
    int withCounterpart = 0;
    for (int b = 0; b < 256; ++b) {
        const uint8_t ansi = OemToAnsi(static_cast<uint8_t>(b));
        // A counterpart exists when the ANSI byte means the same character.
        const bool exact = ansi != '?' || b == '?';
        if (exact && AnsiToOem(ansi) == b) ++withCounterpart;
    }
    // Letters, digits, punctuation and the Latin-1 range all survive.
    EXPECT_GE(withCounterpart, 128 + 60);
    const std::string german = "Größe Übung äöü ÄÖÜ ß é"_oem;
    std::string bytes = german;
    OemToAnsiBuffer(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(bytes,
              "Gr\xF6\xDF"
              "e \xDC"
              "bung \xE4\xF6\xFC \xC4\xD6\xDC \xDF \xE9");
    AnsiToOemBuffer(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(bytes, german);
}

TEST(CodePage, BestFitKeepsTheLength) {
    // Box drawing has no Windows-1252 counterpart and turns into look-alikes.
    EXPECT_EQ(OemToAnsi(0xC4), '-');   // horizontal line
    EXPECT_EQ(OemToAnsi(0xB3), 0xA6);  // vertical line -> broken bar
    // Typographic quotes and dashes from Windows arrive as plain ASCII.
    EXPECT_EQ(AnsiToOem(0x93), '"');
    EXPECT_EQ(AnsiToOem(0x96), '-');
    EXPECT_EQ(AnsiToOem(0x80), 'E');
    EXPECT_EQ(AnsiToOem(0x83), 0x9F);  // the florin sign exists in both
    std::string all(256, '\0');
    for (int b = 0; b < 256; ++b) all[b] = static_cast<char>(b);
    std::string copy = all;
    OemToAnsiBuffer(reinterpret_cast<uint8_t*>(copy.data()), copy.size());
    EXPECT_EQ(copy.size(), 256u);
    AnsiToOemBuffer(reinterpret_cast<uint8_t*>(copy.data()), copy.size());
    EXPECT_EQ(copy.substr(0, 128), all.substr(0, 128));
}

TEST(CodePage, Utf8ConversionsHandleBrokenInput) {
    EXPECT_EQ("Möchten Sie"_oem,
              "M\x94"
              "chten Sie");
    EXPECT_EQ(OemToUtf8("M\x94"
                        "chten"),
              "Möchten");
    EXPECT_EQ(Utf8ToOem("a\xC3"), "a?");              // cut sequence
    EXPECT_EQ(Utf8ToOem("\xC0\x80x"), "?x");          // overlong form
    EXPECT_EQ(Utf8ToOem("\xED\xA0\x80"), "?");        // surrogate
    EXPECT_EQ(Utf8ToOem("\xF0\x9F\x98\x80!"), "?!");  // outside the code page
    EXPECT_EQ(U32ToUtf8(Utf8ToU32("Grüße ─")), "Grüße ─");
}
