#include "platform/FileSystem.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
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

// Finds `component` in `directory`, exactly or else without regard to case.
std::string MatchComponent(const std::string& directory, const std::string& component) {
    const std::string base = directory.empty() ? "." : directory;
    const std::string exact = (directory.empty() ? std::string() : directory + "/") + component;
    if (component == "." || component == ".." || Exists(exact)) return component;
    DIR* dir = ::opendir(base.c_str());
    if (dir == nullptr) return component;
    std::string found = component;
    while (const dirent* entry = ::readdir(dir)) {
        if (EqualFold(entry->d_name, component)) {
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
    return Utf8ToOem(nativeName);
}

std::string NativePath(std::string_view oemPath) {
    if (oemPath.empty()) return {};
    const std::vector<std::string> parts = SplitComponents(OemToUtf8(oemPath));
    std::string result;
    bool absolute = false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part.empty()) {
            if (i == 0) absolute = true;
            continue;  // repeated or trailing separators
        }
        const std::string matched = MatchComponent(absolute && result.empty() ? "/" : result, part);
        if (result.empty()) {
            result = absolute ? "/" + matched : matched;
        } else {
            result += "/" + matched;
        }
    }
    if (result.empty()) result = absolute ? "/" : ".";
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
    if (result.empty()) result = "/";
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

std::vector<FoundFile> FindFiles(std::string_view oemPattern, uint8_t attributeFilter) {
    const std::size_t cut = NameStart(oemPattern);
    const std::string_view directory = oemPattern.substr(0, cut);
    std::string_view mask = oemPattern.substr(cut);
    if (mask.empty()) mask = "*";

    std::vector<FoundFile> found;
    const std::string nativeDir = directory.empty() ? std::string(".") : NativePath(directory);
    DIR* dir = ::opendir(nativeDir.c_str());
    if (dir == nullptr) return found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string nativeName = entry->d_name;
        if (nativeName == "." || nativeName == "..") continue;
        const std::string name = OemFromNative(nativeName);
        if (!WildcardMatch(mask, name)) continue;
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
        found.push_back(FoundFile{name, attributes});
    }
    ::closedir(dir);
    return found;
}
