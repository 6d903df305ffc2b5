// Byte-addressed files with explicit error results, and the input/output error
// that ends the operation being handled when a caller does not check a result.
//
// Paths are given as the station holds them: code page 850 bytes, with '\' or
// '/' as separators and each component found without regard to case.
#pragma once
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// A failed file operation nobody checked. The host catches it at the event being
// handled and shows the error number; `code` is the system's error number.
class InOutError : public std::runtime_error {
  public:
    explicit InOutError(int code);
    int code;
};

// Throws InOutError when `error` is not 0; otherwise does nothing.
void CheckInOut(int error);

class ByteFile {
  public:
    enum class Mode {
        Read,         // existing file, reading only
        ReadWrite,    // existing file, reading and writing
        Create,       // created or truncated, reading and writing
        CreateNew,    // created, reading and writing; fails when it exists
        WriteDevice,  // an existing device or pipe, writing only, opened without waiting
    };

    ByteFile() = default;
    ~ByteFile();
    ByteFile(const ByteFile&) = delete;
    ByteFile& operator=(const ByteFile&) = delete;
    ByteFile(ByteFile&& other) noexcept;
    ByteFile& operator=(ByteFile&& other) noexcept;

    // Each operation returns 0 or the system's error number.
    int Open(std::string_view oemPath, Mode mode);
    // Opens a path that is already in the system's own form (UTF-8, '/').
    int OpenNative(const std::string& nativePath, Mode mode);
    int Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Reads up to `count` bytes; `got` tells how many arrived (0 at the end).
    int Read(void* data, std::size_t count, std::size_t& got);
    int Write(const void* data, std::size_t count);
    // Reads up to `count` bytes at `position` without moving the file's
    // position, whatever happens.
    int ReadAt(int64_t position, void* data, std::size_t count, std::size_t& got) const;
    // The first stretch of data at or after `from`: it runs from `start` to
    // `end` (a hole or the file's end follows). ENXIO when only holes follow;
    // where the file system cannot tell holes, all of the rest is data.
    int FindData(int64_t from, int64_t& start, int64_t& end) const;
    int Seek(int64_t position);
    int64_t Position() const { return position_; }
    int Size(int64_t& size) const;
    // Forces what was written onto the disk.
    int Sync();
    // The same without the file's times: enough for the data to survive a
    // power failure, and cheaper.
    int SyncData();

  private:
    int fd_ = -1;
    int64_t position_ = 0;
    bool sequential_ = false;  // a device or pipe, written in order
};

// Erases a file; returns 0 or the system's error number.
int EraseFile(std::string_view oemPath);
