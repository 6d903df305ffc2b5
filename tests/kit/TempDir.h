// A fresh temporary working directory for one test: created empty, entered,
// and removed with everything in it when the test ends.
#pragma once
#include <string>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Writes a file (bytes as given) relative to the directory.
    void Write(const std::string& relative, const std::string& bytes) const;
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

  private:
    std::string path_;
    std::string previous_;
};

// The number of a process that has ended: it names no running process (until
// the system hands it out again, which takes a long while).
int GoneProcess();
