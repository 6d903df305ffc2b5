// Line-by-line reading of text files through one 2048-byte block, so lines of
// any length up to a caller's limit come back fast and a last line without a
// line end is still delivered. One reader per process.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Opens a file for reading; returns 0 or the system's error number.
int OpenLines(std::string_view oemPath);
// Reads one line into `buffer` (capacity maxlen + 1; the line is ended by a 0
// byte) without its line end (LF or CR LF). A line longer than maxlen keeps its
// first maxlen bytes. False at the end of the file: the buffer then holds the
// bytes after the last line end (empty when there were none).
bool ReadLine(uint8_t* buffer, int32_t maxlen);
// The same into a string (the bytes up to the terminating 0 byte).
bool ReadLine(std::string& line, int32_t maxlen);
// One line of a text file from anywhere: LF, CR LF and a lone CR each end a
// line, and 0 bytes are part of the line like any other byte. `line` keeps the
// first `maxlen` bytes of the line, `length` is told the whole line's length
// (without its line end), so the caller knows what was cut. False at the end of
// the file, with the bytes after the last line end (none when there were none).
bool ReadTextLine(std::string& line, int32_t maxlen, std::size_t& length);
// The error number of the last block read, 0 when it went well.
int LastReadError();
void CloseLines();
