#include "platform/FileReplacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "platform/FileSystem.h"

namespace {

constexpr std::size_t kStemLength = 200;
constexpr std::string_view kTemporaryEnd = ".neu";

// The names of the new files of the replacements this process is making now
// (the counter in them makes each name unique within the process).
std::set<std::string>& OwnTemporaries() {
    static std::set<std::string> names;
    return names;
}

std::string NameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);  // the whole path when it has no '/'
}

// The process number in a hidden new file's name ".<stem>.<process>-<n>.neu",
// or 0 when `name` is not made that way (for `stem`, when one is given).
pid_t TemporaryOwner(std::string_view name, std::string_view stem) {
    if (name.size() < 2 || name.front() != '.' || !name.ends_with(kTemporaryEnd)) return 0;
    name.remove_prefix(1);
    name.remove_suffix(kTemporaryEnd.size());
    // "<process>-<n>": digits, one dash, digits; what stands before is the stem.
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return 0;
    if (!stem.empty() && name.substr(0, dot) != stem) return 0;
    const std::string_view numbers = name.substr(dot + 1);
    const std::size_t dash = numbers.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == numbers.size() || dash > 9)
        return 0;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i != dash && (numbers[i] < '0' || numbers[i] > '9')) return 0;
    }
    pid_t owner = 0;
    for (std::size_t i = 0; i < dash; ++i) owner = owner * 10 + (numbers[i] - '0');
    return owner;
}

bool ProcessIsRunning(pid_t process) {
    return ::kill(process, 0) == 0 || errno == EPERM;
}

// Creates a new empty file beside the target, under a name no other file has:
// hidden (the directory browser does not list it), and made unique by the
// process and a counter. An operator's file of that name is never opened.
int CreateTemporary(const std::string& directoryPrefix, const std::string& name, std::string& path,
                    ByteFile& file) {
    static unsigned counter = 0;
    // Room for the additions within the longest name a directory allows.
    const std::string stem = name.substr(0, kStemLength);
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = directoryPrefix + "." + stem + "." + std::to_string(::getpid()) + "-" +
               std::to_string(++counter) + ".neu";
        const int error = file.OpenNative(path, ByteFile::Mode::CreateNew);
        if (error != EEXIST) return error;
    }
    return EEXIST;
}

// What a replacement says of a name that leads to no regular file.
int NotAFile(const struct stat& info) {
    return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
}

}  // namespace

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

void RemoveLeftoverTemporaries(const std::string& nativeDirectory, std::string_view name) {
    const std::string stem(name.substr(0, kStemLength));
    DIR* dir = ::opendir(nativeDirectory.c_str());
    if (dir == nullptr) return;  // nothing can be removed where nothing can be listed
    const std::string prefix =
        nativeDirectory.ends_with('/') ? nativeDirectory : nativeDirectory + "/";
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t owner = TemporaryOwner(entry->d_name, stem);
        if (owner <= 0) continue;
        if (owner == ::getpid() ? OwnTemporaries().count(entry->d_name) != 0
                                : ProcessIsRunning(owner))
            continue;
        const std::string path = prefix + entry->d_name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid())
            continue;
        ::unlink(path.c_str());
    }
    ::closedir(dir);
}

FileReplacement::~FileReplacement() {
    Abandon();
}

int FileReplacement::Begin(std::string_view oemPath, Target target) {
    return BeginNative(NativePath(oemPath), target);
}

int FileReplacement::BeginNative(const std::string& nativePath, Target target) {
    Abandon();
    target_ = nativePath;
    temporary_.clear();
    if (target_.empty()) return ENOENT;
    // Looked at before anything is opened: opening a FIFO waits for a reader,
    // and opening a device can act on it.
    struct stat info {};
    const bool exists = ::stat(target_.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        if (S_ISDIR(info.st_mode) || target != Target::FileOrDevice) return NotAFile(info);
        // A device or a FIFO cannot be replaced: it is written directly.
        const int error = file_.OpenNative(target_, ByteFile::Mode::WriteDevice);
        active_ = error == 0;
        return error;
    }
    // Through a link, the file it leads to is replaced and the link stays.
    if (exists) {
        char resolved[PATH_MAX];
        if (::realpath(target_.c_str(), resolved) != nullptr) target_ = resolved;
    }
    const std::size_t slash = target_.rfind('/');
    const std::string prefix = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    directory_ = prefix.empty() ? "." : prefix;
    const std::string name = target_.substr(prefix.size());
    if (name.empty()) return EISDIR;
    // What an earlier replacement of this file left when it was cut off goes
    // now: this one supersedes it, and it may be as big as the file.
    RemoveLeftoverTemporaries(directory_, name);
    const int error = CreateTemporary(prefix, name, temporary_, file_);
    if (error != 0) {
        temporary_.clear();
        return error;
    }
    OwnTemporaries().insert(NameOf(temporary_));
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
    // The name may have come to lead elsewhere since Begin looked at it.
    struct stat info {};
    if (error == 0 && ::stat(target_.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        error = NotAFile(info);
    if (error == 0 && std::rename(temporary_.c_str(), target_.c_str()) != 0) error = errno;
    if (error != 0) {
        Abandon();
        return error;
    }
    active_ = false;
    OwnTemporaries().erase(NameOf(temporary_));
    replaced = true;
    return FlushDirectory(directory_);
}

void FileReplacement::Abandon() {
    if (!active_) return;
    active_ = false;
    file_.Close();
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    OwnTemporaries().erase(NameOf(temporary_));
}

int ReplaceFileWhole(std::string_view oemPath, std::string_view bytes,
                     FileReplacement::Target target) {
    FileReplacement replacement;
    int error = replacement.Begin(oemPath, target);
    if (error == 0) error = replacement.Write(bytes.data(), bytes.size());
    bool replaced = false;
    if (error == 0) error = replacement.Commit(replaced);
    return error;
}
