#include "tests/fuzz/FuzzKit.h"

#include <stdlib.h>
#include <unistd.h>

#include "console/WinCrt.h"
#include "platform/RichEdit.h"
#include "platform/WindowSystem.h"

namespace {

class FuzzWindowSystem : public WindowSystem {
  public:
    void Pump() override {
        if (!KeyQueue.KeyAvailable) DeliverKey(VkReturn, 0, '\r');
    }
    void WaitForEvents() override {}
    void Focus(RichEdit&) override {}
    std::string ClipboardText() override { return {}; }
    void SetClipboardText(const std::string&) override {}
    void SetProgramKeyCaption(int, const std::string&) override {}
    void Beep() override {}
    void MessageBox(const std::string&, const std::string&) override {}
    [[noreturn]] void EndProcess(int exitCode) override { throw ProcessEnded{exitCode}; }
    bool IsNtPlatform() override { return true; }
    int WindowWidth() override { return 800; }
    int MainControlWidth() override { return 800; }
    void Scale(double) override {}
};

FuzzWindowSystem host;
RichEdit mainArea, statusLine, legendLine;
std::string workDirectory;

void RemoveWorkDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(workDirectory, ignored);
}

}  // namespace

const std::string& FuzzWorkDirectory(const char* tag) {
    if (!workDirectory.empty()) return workDirectory;
    // Every input writes files: in memory that is many times faster than on a disk.
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp != nullptr ? tmp : "/tmp";
    if (tmp == nullptr && access("/dev/shm", W_OK) == 0) base = "/dev/shm";
    std::string pattern = base + "/kelbrin-" + tag + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    workDirectory = pattern;
    std::filesystem::create_directory(workDirectory + "/Tab");
    std::atexit(RemoveWorkDirectory);
    BindScreenControls(mainArea, statusLine, legendLine);
    BindWindowSystem(host);
    return workDirectory;
}

InWorkDirectory::InWorkDirectory(const std::string& directory)
    : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(directory);
}

InWorkDirectory::~InWorkDirectory() {
    std::filesystem::current_path(previous_);
}
