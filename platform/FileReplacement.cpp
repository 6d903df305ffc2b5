#include "platform/FileReplacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/FileSystem.h"

namespace {

// Creates a new empty file beside the target, under a name no other file has:
// hidden (the directory browser does not list it), and made unique by the
// process and a counter. An operator's file of that name is never opened.
int CreateTemporary(const std::string& directoryPrefix, const std::string& name, std::string& path,
                    ByteFile& file) {
    static unsigned counter = 0;
    // Room for the additions within the longest name a directory allows.
    const std::string stem = name.substr(0, 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = directoryPrefix + "." + stem + "." + std::to_string(::getpid()) + "-" +
               std::to_string(++counter) + ".neu";
        const int error = file.OpenNative(path, ByteFile::Mode::CreateNew);
        if (error != EEXIST) return error;
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

FileReplacement::~FileReplacement() {
    Abandon();
}

int FileReplacement::Begin(std::string_view oemPath) {
    return BeginNative(NativePath(oemPath));
}

int FileReplacement::BeginNative(const std::string& nativePath) {
    Abandon();
    target_ = nativePath;
    temporary_.clear();
    if (target_.empty()) return ENOENT;
    struct stat info {};
    const bool exists = ::stat(target_.c_str(), &info) == 0;
    if (exists) {
        if (S_ISDIR(info.st_mode)) return EISDIR;
        if (!S_ISREG(info.st_mode)) {
            const int error = file_.OpenNative(target_, ByteFile::Mode::WriteDevice);
            active_ = error == 0;
            return error;
        }
        // Through a link, the file it leads to is replaced and the link stays.
        char resolved[PATH_MAX];
        if (::realpath(target_.c_str(), resolved) != nullptr) target_ = resolved;
    }
    const std::size_t slash = target_.rfind('/');
    const std::string prefix = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    directory_ = prefix.empty() ? "." : prefix;
    const std::string name = target_.substr(prefix.size());
    if (name.empty()) return EISDIR;
    const int error = CreateTemporary(prefix, name, temporary_, file_);
    if (error != 0) {
        temporary_.clear();
        return error;
    }
    // The new contents keep the permissions of the old file.
    if (exists) (void)::chmod(temporary_.c_str(), info.st_mode & 07777);
    active_ = true;
    return 0;
}

int FileReplacement::Write(const void* data, std::size_t count) {
    if (!active_) return EBADF;
    return file_.Write(data, count);
}

int FileReplacement::Commit(bool& replaced, bool keepOpen) {
    replaced = false;
    if (!active_) return EBADF;
    if (temporary_.empty()) {  // a device: written directly
        active_ = false;
        replaced = true;
        return keepOpen ? 0 : file_.Close();
    }
    int error = file_.Sync();
    // Some file systems report a failed write only when the file is closed:
    // that must be known before the new file takes the old one's place.
    if (error == 0 && !keepOpen) error = file_.Close();
    if (error == 0 && std::rename(temporary_.c_str(), target_.c_str()) != 0) error = errno;
    if (error != 0) {
        Abandon();
        return error;
    }
    active_ = false;
    replaced = true;
    return FlushDirectory(directory_);
}

void FileReplacement::Abandon() {
    if (!active_) return;
    active_ = false;
    file_.Close();
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

int ReplaceFileWhole(std::string_view oemPath, std::string_view bytes) {
    FileReplacement replacement;
    int error = replacement.Begin(oemPath);
    if (error == 0) error = replacement.Write(bytes.data(), bytes.size());
    bool replaced = false;
    if (error == 0) error = replacement.Commit(replaced);
    return error;
}
