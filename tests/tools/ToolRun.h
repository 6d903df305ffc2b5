// Runs a companion tool as its own process in a scratch directory and
// captures what it leaves behind: exit code, standard output, standard error.
#pragma once
#include <string>
#include <vector>

struct ToolResult {
    int exitCode = -1;  // -1 when the process did not end normally
    std::string out;
    std::string err;
};

// A scratch directory, removed with its contents at the end of the test.
class Scratch {
  public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // Absolute path of `name` inside the directory.
    std::string Path(const std::string& name) const;
    void Write(const std::string& name, const std::string& bytes) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;

  private:
    std::string path_;
};

// Runs `program` with `args`; standard input is empty.
ToolResult RunTool(const std::string& program, const std::vector<std::string>& args);

// The error report recsort, dos2win, win2dos and kelbrin-stats write for a
// failed open, read or write.
std::string IoErrorPrefix(const std::string& program, const std::string& file);
// Checks `result` against that report, with the station's German reason, and
// the exit code `error`.
void ExpectIoError(const ToolResult& result, const std::string& program, const std::string& file,
                   int error);

bool RunningAsRoot();
