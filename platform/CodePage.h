// Code page 850 (the station's own text encoding) against Unicode and Windows-1252.
//
// Everything the station stores, keys and compares is held in code page 850.
// Unicode is what reaches the screen, the clipboard and terminals; Windows-1252
// is what the companion converters exchange with Windows programs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// One code page 850 byte as a Unicode code point.
char32_t OemToUnicode(uint8_t oem);
// A Unicode code point as code page 850; `fallback` when 850 has no such character.
uint8_t UnicodeToOem(char32_t code, uint8_t fallback = '?');

// In-place conversion between code page 850 and Windows-1252, one byte for one
// byte, best fit where a character has no counterpart (the length never changes).
void OemToAnsiBuffer(uint8_t* bytes, std::size_t count);
void AnsiToOemBuffer(uint8_t* bytes, std::size_t count);
uint8_t OemToAnsi(uint8_t oem);
uint8_t AnsiToOem(uint8_t ansi);

// Whole strings: code page 850 bytes <-> UTF-8.
std::string OemToUtf8(std::string_view oem);
// Invalid UTF-8 sequences and characters without counterpart become '?'.
std::string Utf8ToOem(std::string_view utf8);
std::u32string Utf8ToU32(std::string_view utf8);
// The UTF-8 character at `i`: its length, and its code point in `code`; 0 when
// the bytes there are not valid UTF-8 (overlong forms and surrogates included).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& code);
std::string U32ToUtf8(std::u32string_view text);
void AppendUtf8(std::string& out, char32_t code);

// German texts are written in UTF-8 in the source and held in code page 850:
// "Möchten Sie ..."_oem gives the code page 850 bytes.
inline std::string operator""_oem(const char* text, std::size_t length) {
    return Utf8ToOem(std::string_view(text, length));
}
