#include "platform/ByteFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    : fd_(std::exchange(other.fd_, -1)), position_(std::exchange(other.position_, 0)) {}

ByteFile& ByteFile::operator=(ByteFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        position_ = std::exchange(other.position_, 0);
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
    }
    if (nativePath.empty()) return ENOENT;
    const int fd = ::open(nativePath.c_str(), flags, 0666);
    if (fd < 0) return errno;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        return EISDIR;
    }
    fd_ = fd;
    position_ = 0;
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
    got = 0;
    if (fd_ < 0) return EBADF;
    auto* bytes = static_cast<char*>(data);
    while (got < count) {
        const ssize_t n =
            ::pread(fd_, bytes + got, count - got, position_ + static_cast<int64_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            position_ += static_cast<int64_t>(got);
            return errno;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    position_ += static_cast<int64_t>(got);
    return 0;
}

int ByteFile::Write(const void* data, std::size_t count) {
    if (fd_ < 0) return EBADF;
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pwrite(fd_, bytes + done, count - done, position_ + static_cast<int64_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            position_ += static_cast<int64_t>(done);
            return errno;
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

int ByteFile::Truncate() {
    if (fd_ < 0) return EBADF;
    return ::ftruncate(fd_, position_) == 0 ? 0 : errno;
}

int ByteFile::Sync() {
    if (fd_ < 0) return EBADF;
    return ::fsync(fd_) == 0 ? 0 : errno;
}

int EraseFile(std::string_view oemPath) {
    const std::string native = NativePath(oemPath);
    if (native.empty()) return ENOENT;
    return ::unlink(native.c_str()) == 0 ? 0 : errno;
}

namespace {

int WriteAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int WriteDirectly(const std::string& native, std::string_view bytes) {
    const int fd = ::open(native.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = WriteAll(fd, bytes);
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

// Creates a new empty file beside the target, under a name no other file has:
// hidden (the directory browser does not list it), and made unique by the
// process and a counter. O_EXCL never opens a file that is there already, so an
// operator's file of that name is never overwritten.
int CreateTemporary(const std::string& directoryPrefix, const std::string& name, std::string& path,
                    int& fd) {
    static unsigned counter = 0;
    // Room for the additions within the longest name a directory allows.
    const std::string stem = name.substr(0, 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = directoryPrefix + "." + stem + "." + std::to_string(::getpid()) + "-" +
               std::to_string(++counter) + ".neu";
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd >= 0) return 0;
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

int FlushDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = ::fsync(fd) == 0 ? 0 : errno;
    // A file system that cannot flush a directory at all says so with EINVAL:
    // there is nothing more that could be done, and the rename stands.
    if (error == EINVAL) error = 0;
    ::close(fd);
    return error;
}

}  // namespace

int ReplaceFileWhole(std::string_view oemPath, std::string_view bytes) {
    std::string target = NativePath(oemPath);
    if (target.empty()) return ENOENT;
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists) {
        if (S_ISDIR(info.st_mode)) return EISDIR;
        if (!S_ISREG(info.st_mode)) return WriteDirectly(target, bytes);
        // Through a link, the file it leads to is replaced and the link stays.
        char resolved[PATH_MAX];
        if (::realpath(target.c_str(), resolved) != nullptr) target = resolved;
    }
    const std::size_t slash = target.rfind('/');
    const std::string prefix = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string directory = prefix.empty() ? "." : prefix;
    const std::string name = target.substr(prefix.size());
    if (name.empty()) return EISDIR;

    std::string temporary;
    int fd = -1;
    int error = CreateTemporary(prefix, name, temporary, fd);
    if (error != 0) return error;
    // The new contents keep the permissions of the old file.
    if (exists) (void)::fchmod(fd, info.st_mode & 07777);
    error = WriteAll(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    return FlushDirectory(directory);
}
