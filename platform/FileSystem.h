// File names the way operators type them, mapped onto the Linux file system.
//
// The station holds names in code page 850 and accepts '\' and '/' alike. On
// disk names are UTF-8. Each component of a typed path is found without regard
// to case ("tab\keyalpha" finds Tab/keyalpha), so layouts, tables and key files
// made on the old platform keep working.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Attribute bits as the directory search reports them.
inline constexpr uint8_t kAttrHidden = 0x02;
inline constexpr uint8_t kAttrDirectory = 0x10;
inline constexpr uint8_t kAttrArchive = 0x20;

inline bool IsPathSeparator(char ch) {
    return ch == '/' || ch == '\\';
}

// Where the name part of a path begins: just after its last separator (0 when
// it has none).
inline std::size_t NameStart(std::string_view path) {
    const std::size_t last = path.find_last_of("/\\");
    return last == std::string_view::npos ? 0 : last + 1;
}

// The system's form of a typed path: separators made '/', code page 850
// converted to UTF-8, and each existing component matched without regard to
// case. A component with %XX escapes (see OemFromNative) is first looked for
// as the name it stands for. Components that do not exist are kept as typed.
std::string NativePath(std::string_view oemPath);
// A name from the disk (UTF-8) in the station's code page 850, exactly, so that
// NativePath finds that very file again. Names that code page 850 can hold
// convert as they are. What it cannot hold is written as %XX per byte (XX in
// upper-case hex): bytes that are not UTF-8, characters without a counterpart,
// a '\' (a separator to the station) and a '%' that would read as an escape.
std::string OemFromNative(std::string_view nativeName);
// How a name is shown to the operator: each character the station cannot show
// (an escaped one, or a control character) as one '?'.
std::string ShownName(std::string_view oemName);

// The absolute form of a typed name against the current directory, in code
// page 850 with '/' separators; "." and ".." are resolved.
std::string AbsoluteOemPath(std::string_view oemName);
std::string CurrentOemDirectory();

// '*' and '?' matching without regard to case; "*.*" also matches names
// without a dot, as operators expect.
bool WildcardMatch(std::string_view pattern, std::string_view name);

struct FoundFile {
    std::string name;  // code page 850, the name only, exact (see OemFromNative)
    uint8_t attributes = 0;
};

// Lists the entries matching a pattern (directory part plus a wildcard name);
// the wildcards match the names as they are shown.
// Normal files are always included; directories only when `attributeFilter`
// has kAttrDirectory, hidden entries (names starting with '.') only with
// kAttrHidden. "." and ".." are never listed.
// `error` (when given) gets 0, or the system's error number when the directory
// is there but could not be read: the list is then not to be trusted. A
// directory that is not there (or is a file) simply has no matches.
std::vector<FoundFile> FindFiles(std::string_view oemPattern, uint8_t attributeFilter,
                                 int* error = nullptr);

// Where a file came from: two loads with the same identity read the same bytes.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modified = 0;  // nanoseconds since the epoch
    int64_t changed = 0;   // the same for the inode's last change
    bool operator==(const FileIdentity&) const = default;
};

// What a name leads to (links followed), looked at without opening it: a
// FIFO opened would wait for its other end, and a device opened can act.
// Missing also stands for a name that cannot be looked at.
enum class FileKind { Missing, Regular, Directory, Pipe, Device, Other };
FileKind KindOfFile(const std::string& nativePath);

// A regular file opened for reading. Files from outside are hostile: a name that
// leads (links followed) to a FIFO, a device, a socket or a directory is refused
// without opening it or waiting for a writer, and the opened file is checked
// once more, so that a name swapped in between is refused as well.
// Opens an existing regular file (`accessFlags`: O_RDONLY or O_RDWR) without
// ever blocking on a FIFO or acting on a device: anything but a regular file
// is refused (EISDIR for a directory, EINVAL otherwise). Returns the
// descriptor, or the system's error number negated; `info` describes the file.
int OpenRegularFile(const std::string& nativePath, int accessFlags, struct stat& info);
// Reads up to `count` bytes at `offset` of the open descriptor `fd`, again
// after a signal; fewer only at the end of the file. 0 or the system's error
// number; `got` tells how many arrived either way.
int ReadFully(int fd, int64_t offset, void* data, std::size_t count, std::size_t& got);

class RegularFile {
  public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // 0, or the system's error number (EINVAL: not a regular file).
    int Open(std::string_view oemPath);
    void Close();
    // Reads up to `count` bytes from `offset`; fewer only at the end of the file.
    int ReadAt(int64_t offset, void* data, std::size_t count, std::size_t& got);
    // The file as it was when it was opened (its size among it).
    const FileIdentity& Identity() const { return identity_; }

  private:
    int fd_ = -1;
    FileIdentity identity_;
};
