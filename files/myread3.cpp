#include "files/myread3.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/ByteFile.h"

namespace {

constexpr int32_t kBlockSize = 2048;

struct LineReaderState {
    ByteFile file;
    std::array<uint8_t, kBlockSize> block{};
    int32_t position = kBlockSize;  // 1-based index of the last byte taken
    int32_t count = kBlockSize;     // valid bytes in the block
    int lastError = 0;
    bool afterCr = false;  // the last line ended in CR: a LF next belongs to it
};

LineReaderState reader;

}  // namespace

int OpenLines(std::string_view oemPath) {
    reader.position = kBlockSize;
    reader.count = kBlockSize;
    reader.lastError = 0;
    reader.afterCr = false;
    return reader.file.Open(oemPath, ByteFile::Mode::Read);
}

bool ReadLine(uint8_t* buffer, int32_t maxlen) {
    if (maxlen < 0) maxlen = 0;
    int32_t i = -1;
    for (;;) {
        ++reader.position;
        if (reader.position > reader.count) {
            std::size_t got = 0;
            reader.lastError = reader.file.Read(reader.block.data(), kBlockSize, got);
            reader.count = static_cast<int32_t>(got);
            if (reader.count == 0) {
                // Stay at the end, so every further call reports the end again.
                reader.position = kBlockSize;
                reader.count = 0;
                if (i < maxlen) ++i;
                buffer[i] = 0;
                return false;
            }
            reader.position = 1;
        }
        const uint8_t byte = reader.block[reader.position - 1];
        if (i < maxlen) ++i;
        buffer[i] = byte;
        if (byte != '\n') continue;
        if (i > 0 && buffer[i - 1] == '\r') {
            buffer[i - 1] = 0;
        } else {
            buffer[i] = 0;
        }
        return true;
    }
}

bool ReadLine(std::string& line, int32_t maxlen) {
    // The same lines as the byte-by-byte reader above, found a block at a time:
    // reading a long file of short lines is otherwise mostly loop overhead.
    const std::size_t keep = maxlen < 0 ? 0 : static_cast<std::size_t>(maxlen);
    line.clear();
    const auto cutAtZero = [&line] { line.resize(std::min(line.find('\0'), line.size())); };
    for (;;) {
        if (reader.position >= reader.count) {
            std::size_t got = 0;
            reader.lastError = reader.file.Read(reader.block.data(), kBlockSize, got);
            reader.count = static_cast<int32_t>(got);
            if (reader.count == 0) {
                reader.position = kBlockSize;
                cutAtZero();
                return false;
            }
            reader.position = 0;
        }
        const uint8_t* from = reader.block.data() + reader.position;
        const auto available = static_cast<std::size_t>(reader.count - reader.position);
        const auto* lineEnd = static_cast<const uint8_t*>(std::memchr(from, '\n', available));
        const std::size_t taken =
            lineEnd != nullptr ? static_cast<std::size_t>(lineEnd - from) : available;
        if (line.size() < keep)
            line.append(reinterpret_cast<const char*>(from), std::min(taken, keep - line.size()));
        reader.position += static_cast<int32_t>(taken + (lineEnd != nullptr ? 1 : 0));
        if (lineEnd == nullptr) continue;
        // Of the bytes kept, a last CR belongs to the line end.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        cutAtZero();
        return true;
    }
}

bool ReadTextLine(std::string& line, int32_t maxlen, std::size_t& length) {
    const std::size_t keep = maxlen < 0 ? 0 : static_cast<std::size_t>(maxlen);
    line.clear();
    length = 0;
    for (;;) {
        if (reader.position >= reader.count) {
            std::size_t got = 0;
            reader.lastError = reader.file.Read(reader.block.data(), kBlockSize, got);
            reader.count = static_cast<int32_t>(got);
            if (reader.count == 0) {
                reader.position = kBlockSize;
                reader.afterCr = false;
                return false;
            }
            reader.position = 0;
        }
        const uint8_t* from = reader.block.data() + reader.position;
        if (reader.afterCr) {
            // The LF of a CR LF whose CR ended the line before, also when a
            // block boundary lies between them.
            reader.afterCr = false;
            if (*from == '\n') {
                ++reader.position;
                continue;
            }
        }
        const auto available = static_cast<std::size_t>(reader.count - reader.position);
        const auto* lf = static_cast<const uint8_t*>(std::memchr(from, '\n', available));
        const std::size_t beforeLf =
            lf != nullptr ? static_cast<std::size_t>(lf - from) : available;
        const auto* cr = static_cast<const uint8_t*>(std::memchr(from, '\r', beforeLf));
        const uint8_t* lineEnd = cr != nullptr ? cr : lf;
        const std::size_t taken =
            lineEnd != nullptr ? static_cast<std::size_t>(lineEnd - from) : available;
        if (line.size() < keep)
            line.append(reinterpret_cast<const char*>(from), std::min(taken, keep - line.size()));
        length += taken;
        reader.position += static_cast<int32_t>(taken + (lineEnd != nullptr ? 1 : 0));
        if (lineEnd == nullptr) continue;
        reader.afterCr = lineEnd == cr;
        return true;
    }
}

int LastReadError() {
    return reader.lastError;
}

void CloseLines() {
    reader.file.Close();
}
