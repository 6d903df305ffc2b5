#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "platform/CodePage.h"

namespace {

char FoldAscii(char ch) {
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

bool EqualFold(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string Join(const std::string& directory, const std::string& name) {
    return (directory.empty() ? std::string() : directory + "/") + name;
}

bool IsUpperHex(char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F');
}

int HexValue(char ch) {
    return ch <= '9' ? ch - '0' : ch - 'A' + 10;
}

// Whether an escape %XX starts at `i`.
bool EscapeAt(std::string_view text, std::size_t i) {
    return text[i] == '%' && i + 2 < text.size() && IsUpperHex(text[i + 1]) &&
           IsUpperHex(text[i + 2]);
}

// The code page 850 byte of a character that converts there and back unchanged.
std::optional<uint8_t> ExactOem(char32_t code) {
    const uint8_t oem = UnicodeToOem(code);
    if (OemToUnicode(oem) != code) return std::nullopt;
    return oem;
}

// The name on disk that a station name stands for: escapes as their bytes, the
// rest from code page 850 to UTF-8. An escape of NUL or '/' cannot stand for a
// byte of a name and is taken as typed.
std::string NativeFromOem(std::string_view oem) {
    std::string out;
    out.reserve(oem.size() * 2);
    for (std::size_t i = 0; i < oem.size();) {
        if (EscapeAt(oem, i)) {
            const auto byte = static_cast<char>(HexValue(oem[i + 1]) * 16 + HexValue(oem[i + 2]));
            if (byte != '\0' && byte != '/') {
                out += byte;
                i += 3;
                continue;
            }
        }
        AppendUtf8(out, OemToUnicode(static_cast<uint8_t>(oem[i])));
        ++i;
    }
    return out;
}

// Finds a typed component in `directory`: the name its escapes stand for when
// it has any and that name exists; else the typed name exactly; else the first
// entry that differs from it only in case. Nothing when none exists.
std::optional<std::string> FindComponent(const std::string& directory, std::string_view oemPart) {
    const std::string typed = OemToUtf8(oemPart);
    const std::string escaped = NativeFromOem(oemPart);
    if (escaped != typed && Exists(Join(directory, escaped))) return escaped;
    if (typed == "." || typed == ".." || Exists(Join(directory, typed))) return typed;
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (dir == nullptr) return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        if (EqualFold(entry->d_name, typed)) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

std::vector<std::string> SplitComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::string current;
    for (char ch : path) {
        if (IsPathSeparator(ch)) {
            parts.push_back(current);
            current.clear();
        } else {
            current += ch;
        }
    }
    parts.push_back(current);
    return parts;
}

}  // namespace

std::string OemFromNative(std::string_view nativeName) {
    std::string out;
    out.reserve(nativeName.size());
    for (std::size_t i = 0; i < nativeName.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(nativeName, i, code);
        const std::optional<uint8_t> oem =
            length == 0 || code == U'\\' || EscapeAt(nativeName, i) ? std::nullopt : ExactOem(code);
        if (oem) {
            out += static_cast<char>(*oem);
            i += length;
            continue;
        }
        static const char kHex[] = "0123456789ABCDEF";
        for (const std::size_t end = i + std::max<std::size_t>(length, 1); i < end; ++i) {
            const auto byte = static_cast<uint8_t>(nativeName[i]);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::string ShownName(std::string_view oemName) {
    const std::string native = NativeFromOem(oemName);
    std::string shown;
    shown.reserve(oemName.size());
    for (std::size_t i = 0; i < native.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(native, i, code);
        const std::optional<uint8_t> oem = length == 0 ? std::nullopt : ExactOem(code);
        // Control characters would act on a terminal instead of showing.
        shown += oem && *oem >= 0x20 && *oem != 0x7F ? static_cast<char>(*oem) : '?';
        i += std::max<std::size_t>(length, 1);
    }
    return shown;
}

std::string NativePath(std::string_view oemPath) {
    if (oemPath.empty()) return {};
    // Split before converting: an escaped '\' must not become a separator.
    const std::vector<std::string> parts = SplitComponents(oemPath);
    std::string result;
    bool absolute = false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part.empty()) {
            if (i == 0) absolute = true;
            continue;  // repeated or trailing separators
        }
        const std::string directory = absolute && result.empty() ? "/" : result;
        const std::string matched = FindComponent(directory, part).value_or(OemToUtf8(part));
        if (result.empty()) {
            result = absolute ? "/" + matched : matched;
        } else {
            result += "/" + matched;
        }
    }
    // One character into the empty string: assigning a literal here makes
    // GCC 12 warn of overlapping copies that cannot happen.
    if (result.empty()) result.push_back(absolute ? '/' : '.');
    return result;
}

std::string CurrentOemDirectory() {
    std::vector<char> buffer(4096);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) return "/";
    return OemFromNative(buffer.data());
}

std::string AbsoluteOemPath(std::string_view oemName) {
    std::vector<std::string> parts;
    auto addParts = [&](std::string_view path) {
        for (const std::string& part : SplitComponents(path)) {
            if (part.empty() || part == ".") continue;
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
                continue;
            }
            parts.push_back(part);
        }
    };
    if (oemName.empty() || !IsPathSeparator(oemName.front())) addParts(CurrentOemDirectory());
    addParts(oemName);
    std::string result;
    for (const std::string& part : parts) result += "/" + part;
    if (result.empty()) result.push_back('/');  // not = "/": see NativePath
    if (!oemName.empty() && IsPathSeparator(oemName.back()) && result != "/") result += "/";
    return result;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*") return true;
    // "name.*" also matches "name" without an extension.
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
        name.find('.') == std::string_view::npos &&
        WildcardMatch(pattern.substr(0, pattern.size() - 2), name)) {
        return true;
    }
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<FoundFile> FindFiles(std::string_view oemPattern, uint8_t attributeFilter, int* error) {
    int ignored = 0;
    int& failure = error ? *error : ignored;
    failure = 0;
    const std::size_t cut = NameStart(oemPattern);
    const std::string_view directory = oemPattern.substr(0, cut);
    std::string_view mask = oemPattern.substr(cut);
    if (mask.empty()) mask = "*";

    std::vector<FoundFile> found;
    const std::string nativeDir = directory.empty() ? std::string(".") : NativePath(directory);
    DIR* dir = ::opendir(nativeDir.c_str());
    if (dir == nullptr) {
        if (errno != ENOENT && errno != ENOTDIR) failure = errno;
        return found;
    }
    for (;;) {
        // readdir tells the end of the directory from a failure only by errno.
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            failure = errno;
            break;
        }
        const std::string nativeName = entry->d_name;
        if (nativeName == "." || nativeName == "..") continue;
        std::string name = OemFromNative(nativeName);
        if (!WildcardMatch(mask, ShownName(name))) continue;
        struct stat info {};
        if (::stat((nativeDir + "/" + nativeName).c_str(), &info) != 0) continue;
        uint8_t attributes = 0;
        if (S_ISDIR(info.st_mode)) {
            attributes |= kAttrDirectory;
        } else if (S_ISREG(info.st_mode)) {
            attributes |= kAttrArchive;
        } else {
            continue;  // devices, sockets and pipes are no data files
        }
        if (nativeName.front() == '.') attributes |= kAttrHidden;
        if ((attributes & kAttrDirectory) && !(attributeFilter & kAttrDirectory)) continue;
        if ((attributes & kAttrHidden) && !(attributeFilter & kAttrHidden)) continue;
        found.push_back(FoundFile{std::move(name), attributes});
    }
    ::closedir(dir);
    return found;
}

FileKind KindOfFile(const std::string& nativePath) {
    struct stat info {};
    if (nativePath.empty() || ::stat(nativePath.c_str(), &info) != 0) return FileKind::Missing;
    if (S_ISREG(info.st_mode)) return FileKind::Regular;
    if (S_ISDIR(info.st_mode)) return FileKind::Directory;
    if (S_ISFIFO(info.st_mode)) return FileKind::Pipe;
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return FileKind::Device;
    return FileKind::Other;
}

RegularFile::~RegularFile() {
    Close();
}

void RegularFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    identity_ = FileIdentity{};
}

int OpenRegularFile(const std::string& nativePath, int accessFlags, struct stat& info) {
    if (nativePath.empty()) return -ENOENT;
    // Looked at before opening: opening a device can act on it (a tape rewinds,
    // a modem line hangs up), and opening a FIFO waits for a writer.
    if (::stat(nativePath.c_str(), &info) != 0) return -errno;
    if (!S_ISREG(info.st_mode)) return S_ISDIR(info.st_mode) ? -EISDIR : -EINVAL;
    // Without waiting, in case the name now leads elsewhere; checked again below.
    const int fd = ::open(nativePath.c_str(), accessFlags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -errno;
    int error = ::fstat(fd, &info) == 0 ? 0 : errno;
    if (error == 0 && !S_ISREG(info.st_mode)) error = EINVAL;
    if (error != 0) {
        ::close(fd);
        return -error;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

int RegularFile::Open(std::string_view oemPath) {
    Close();
    struct stat info {};
    const int fd = OpenRegularFile(NativePath(oemPath), O_RDONLY, info);
    if (fd < 0) return -fd;
    fd_ = fd;
    identity_.device = static_cast<uint64_t>(info.st_dev);
    identity_.inode = static_cast<uint64_t>(info.st_ino);
    identity_.size = static_cast<int64_t>(info.st_size);
    identity_.modified =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    identity_.changed =
        static_cast<int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    return 0;
}

int ReadFully(int fd, int64_t offset, void* data, std::size_t count, std::size_t& got) {
    got = 0;
    if (fd < 0) return EBADF;
    if (offset < 0) return EINVAL;
    auto* bytes = static_cast<char*>(data);
    while (got < count) {
        const ssize_t n = ::pread(fd, bytes + got, count - got, offset + static_cast<int64_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return 0;
}

int RegularFile::ReadAt(int64_t offset, void* data, std::size_t count, std::size_t& got) {
    return ReadFully(fd_, offset, data, count, got);
}
