#include "platform/ByteFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/FileSystem.h"

InOutError::InOutError(int error)
    : std::runtime_error("Ein-/Ausgabefehler " + std::to_string(error)), code(error) {}

void CheckInOut(int error) {
    if (error != 0) throw InOutError(error);
}

ByteFile::~ByteFile() {
    Close();
}

ByteFile::ByteFile(ByteFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      position_(std::exchange(other.position_, 0)),
      sequential_(std::exchange(other.sequential_, false)) {}

ByteFile& ByteFile::operator=(ByteFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        position_ = std::exchange(other.position_, 0);
        sequential_ = std::exchange(other.sequential_, false);
    }
    return *this;
}

int ByteFile::Open(std::string_view oemPath, Mode mode) {
    return OpenNative(NativePath(oemPath), mode);
}

int ByteFile::OpenNative(const std::string& nativePath, Mode mode) {
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::ReadWrite:
            flags |= O_RDWR;
            break;
        case Mode::Create:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case Mode::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL | O_NOCTTY;
            break;
        case Mode::WriteDevice:
            // Without waiting: a FIFO nobody reads gives ENXIO at once instead
            // of holding the station, and a serial line does not wait for its
            // carrier. Writes wait again once it is open.
            flags |= O_WRONLY | O_NOCTTY | O_NONBLOCK;
            break;
    }
    if (nativePath.empty()) return ENOENT;
    struct stat info {};
    int fd = -1;
    if (mode == Mode::Read || mode == Mode::ReadWrite) {
        // What the station reads comes from outside and may be anything: only
        // regular files, so that a FIFO or a device never blocks or acts.
        fd = OpenRegularFile(nativePath, mode == Mode::Read ? O_RDONLY : O_RDWR, info);
        if (fd < 0) return -fd;
    } else {
        fd = ::open(nativePath.c_str(), flags, 0666);
        if (fd < 0) return errno;
        if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
            ::close(fd);
            return EISDIR;
        }
        if (mode == Mode::WriteDevice) {
            // Looked at again: a regular file swapped in under the name would
            // be written over in place instead of replaced whole.
            if (S_ISREG(info.st_mode)) {
                ::close(fd);
                return EINVAL;
            }
            const int status = ::fcntl(fd, F_GETFL);
            if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
        }
    }
    fd_ = fd;
    position_ = 0;
    sequential_ = mode == Mode::WriteDevice;
    return 0;
}

int ByteFile::Close() {
    if (fd_ < 0) return 0;
    const int result = ::close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    position_ = 0;
    return result;
}

int ByteFile::Read(void* data, std::size_t count, std::size_t& got) {
    const int error = ReadFully(fd_, position_, data, count, got);
    position_ += static_cast<int64_t>(got);
    return error;
}

int ByteFile::ReadAt(int64_t position, void* data, std::size_t count, std::size_t& got) const {
    return ReadFully(fd_, position, data, count, got);
}

int ByteFile::FindData(int64_t from, int64_t& start, int64_t& end) const {
    start = end = from;
    if (fd_ < 0) return EBADF;
    int64_t size = 0;
    if (const int error = Size(size)) return error;
    if (from >= size) return ENXIO;
    const off_t data = ::lseek(fd_, from, SEEK_DATA);
    if (data < 0) {
        if (errno == ENXIO) return ENXIO;
        // No holes known here: everything from `from` on counts as data.
        end = size;
        return 0;
    }
    const off_t hole = ::lseek(fd_, data, SEEK_HOLE);
    start = data;
    end = hole < 0 ? size : std::min<int64_t>(hole, size);
    return 0;
}

int ByteFile::Write(const void* data, std::size_t count) {
    if (fd_ < 0) return EBADF;
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < count) {
        // A device or a pipe has no positions: it takes the bytes in order.
        const ssize_t n = sequential_ ? ::write(fd_, bytes + done, count - done)
                                      : ::pwrite(fd_, bytes + done, count - done,
                                                 position_ + static_cast<int64_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            position_ += static_cast<int64_t>(done);
            return errno;
        }
        if (n == 0) {  // a write that takes nothing would be tried for ever
            position_ += static_cast<int64_t>(done);
            return EIO;
        }
        done += static_cast<std::size_t>(n);
    }
    position_ += static_cast<int64_t>(done);
    return 0;
}

int ByteFile::Seek(int64_t position) {
    if (fd_ < 0) return EBADF;
    if (position < 0) return EINVAL;
    position_ = position;
    return 0;
}

int ByteFile::Size(int64_t& size) const {
    size = 0;
    if (fd_ < 0) return EBADF;
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return errno;
    size = info.st_size;
    return 0;
}

int ByteFile::Sync() {
    if (fd_ < 0) return EBADF;
    return ::fsync(fd_) == 0 ? 0 : errno;
}

int ByteFile::SyncData() {
    if (fd_ < 0) return EBADF;
    return ::fdatasync(fd_) == 0 ? 0 : errno;
}

int EraseFile(std::string_view oemPath) {
    const std::string native = NativePath(oemPath);
    if (native.empty()) return ENOENT;
    return ::unlink(native.c_str()) == 0 ? 0 : errno;
}
