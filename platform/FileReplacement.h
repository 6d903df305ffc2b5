// Replacing a file whole, so that a crash, a power failure or a full disk
// leaves either the old contents or the new, never a part: the new contents go
// to a new hidden file beside the target, which is flushed, renamed over the
// target, and then the directory is flushed so that the rename itself is on
// the disk. Every file the station writes as a whole goes through here: the
// layout journal, definition files, data files, the record file when records
// move, a listing written to a file.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/ByteFile.h"

class FileReplacement {
  public:
    // Where the new contents may go.
    enum class Target {
        // A regular file, replaced whole, or a new one. A name that leads to
        // a FIFO, a device or anything else is refused (EINVAL, EISDIR for a
        // directory) before anything is opened: a FIFO would hold the writer
        // until something reads it, and data, layouts and exports written
        // into a device or a pipe would be gone.
        RegularFile,
        // The same, but a device or a FIFO is written directly, as it cannot
        // be replaced: a printer. It is opened without waiting; a FIFO that
        // nobody reads gives ENXIO.
        FileOrDevice,
    };

    FileReplacement() = default;
    // A replacement that was not committed is given up: its temporary file goes.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Starts the new contents of the file `oemPath` names. A name that is a
    // symbolic link replaces the file the link leads to; what else the name
    // may lead to, `target` says. Returns 0 or the system's error number.
    int Begin(std::string_view oemPath, Target target = Target::RegularFile);
    // The same for a path in the system's own form (UTF-8, '/'), taken as it
    // is: a command line's file name.
    int BeginNative(const std::string& nativePath, Target target = Target::RegularFile);
    // Appends to the new contents.
    int Write(const void* data, std::size_t count);
    // Flushes the new contents and puts them in the target's place; a name
    // that has come to lead to anything but a regular file meanwhile is
    // refused as Begin refuses it. Returns 0 or the system's error number;
    // `replaced` tells whether the target now holds the new contents. An
    // error while flushing the directory comes after that: the contents are
    // in place but not known to survive a power failure, and nothing may be
    // reported as stored that was not. With `keepOpen` the new file stays
    // open in File() for whoever takes it.
    int Commit(bool& replaced, bool keepOpen = false);
    // Gives up: the temporary file is removed and the target stays untouched.
    void Abandon();

    // The new file, open for reading and writing; after a Commit that kept it
    // open it is the target itself.
    ByteFile& File() { return file_; }

  private:
    std::string target_;
    std::string temporary_;  // empty when writing a device directly
    std::string directory_;
    ByteFile file_;
    bool active_ = false;
};

// Removes from `nativeDirectory` the hidden new files of replacements that a
// crash or a kill cut off: names made exactly as Begin makes them,
// ".<name>.<process>-<n>.neu" (with `name` given, only those of that name),
// regular files of this user, whose process is gone. A file of a running
// process stays, and so does one of a replacement this process is making.
// Begin does this for its target's name in the target's directory.
void RemoveLeftoverTemporaries(const std::string& nativeDirectory, std::string_view name = {});

// Puts on the disk which names the directory `directory` (in the system's own
// form) holds: a file made there, or renamed, survives a power failure only
// after this. 0 or the system's error number.
int FlushDirectory(const std::string& directory);
// The whole new contents of a file in one go; 0 or the system's error number.
// An error before the rename leaves the old file untouched and no temporary
// file behind.
int ReplaceFileWhole(std::string_view oemPath, std::string_view bytes,
                     FileReplacement::Target target = FileReplacement::Target::RegularFile);
