#include "platform/CodePage.h"

#include <algorithm>
#include <iterator>

#include "platform/CodePageTables.h"

char32_t OemToUnicode(uint8_t oem) {
    return kOemToUnicode[oem];
}

uint8_t UnicodeToOem(char32_t code, uint8_t fallback) {
    if (code < 0x80) return static_cast<uint8_t>(code);
    const auto* end = std::end(kUnicodeToOem);
    const auto* it = std::lower_bound(
        std::begin(kUnicodeToOem), end, code,
        [](const UnicodeOemPair& pair, char32_t value) { return pair.unicode < value; });
    return (it != end && it->unicode == code) ? it->oem : fallback;
}

uint8_t OemToAnsi(uint8_t oem) {
    return kOemToAnsi[oem];
}
uint8_t AnsiToOem(uint8_t ansi) {
    return kAnsiToOem[ansi];
}

void OemToAnsiBuffer(uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) bytes[i] = kOemToAnsi[bytes[i]];
}

void AnsiToOemBuffer(uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) bytes[i] = kAnsiToOem[bytes[i]];
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string OemToUtf8(std::string_view oem) {
    std::string out;
    out.reserve(oem.size() * 2);
    for (char ch : oem) AppendUtf8(out, kOemToUnicode[static_cast<uint8_t>(ch)]);
    return out;
}

// The UTF-8 character at `i`: its length, and its code point in `code`; 0 when
// the bytes there are not valid UTF-8 (overlong forms and surrogates included).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& code) {
    const auto lead = static_cast<uint8_t>(text[i]);
    std::size_t extra = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, code = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i <= extra) return 0;
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto next = static_cast<uint8_t>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return extra + 1;
}

std::u32string Utf8ToU32(std::string_view in) {
    std::u32string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(in, i, code);
        if (length > 0) {
            out += code;
            i += length;
            continue;
        }
        // One replacement for the lead byte and the continuation bytes behind it.
        out += U'\uFFFD';
        ++i;
        const auto lead = static_cast<uint8_t>(in[i - 1]);
        const int expected = (lead & 0xE0) == 0xC0   ? 1
                             : (lead & 0xF0) == 0xE0 ? 2
                             : (lead & 0xF8) == 0xF0 ? 3
                                                     : 0;
        for (int k = 0;
             k < expected && i < in.size() && (static_cast<uint8_t>(in[i]) & 0xC0) == 0x80; ++k) {
            ++i;
        }
    }
    return out;
}

std::string Utf8ToOem(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char32_t c : Utf8ToU32(utf8)) out += static_cast<char>(UnicodeToOem(c));
    return out;
}

std::string U32ToUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) AppendUtf8(out, c);
    return out;
}
