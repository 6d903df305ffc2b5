#include "tests/tools/ToolRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

extern char** environ;

Scratch::Scratch() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kelbrin-tools.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

Scratch::~Scratch() {
    std::error_code ignored;
    // Tests may leave read-only directories behind; open them up first.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(path_, ignored);
}

std::string Scratch::Path(const std::string& name) const {
    return path_ + "/" + name;
}

void Scratch::Write(const std::string& name, const std::string& bytes) const {
    std::ofstream file(Path(name), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + Path(name));
}

std::string Scratch::Read(const std::string& name) const {
    std::ifstream file(Path(name), std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + Path(name));
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool Scratch::Exists(const std::string& name) const {
    return std::filesystem::exists(std::filesystem::symlink_status(Path(name)));
}

ToolResult RunTool(const std::string& program, const std::vector<std::string>& args) {
    Scratch capture;
    const std::string outPath = capture.Path("stdout");
    const std::string errPath = capture.Path("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> argv;
    std::string name = program;
    argv.push_back(name.data());
    std::vector<std::string> copies(args);
    for (auto& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);

    ToolResult result;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + program);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = capture.Read("stdout");
    result.err = capture.Read("stderr");
    return result;
}

std::string IoErrorPrefix(const std::string& program, const std::string& file) {
    return program + ": Ein-/Ausgabefehler bei " + file + ": ";
}

namespace {

// The station's words for the failures the tests provoke, spelled out here
// rather than taken from the station, and never the system's English text.
const std::map<int, std::string> kGermanReasons = {
    {ENOENT, "Datei nicht gefunden"},
    {EISDIR, "ein Verzeichnis, keine Datei"},
    {EACCES, "Zugriff verweigert"},
    {EROFS, "Datenträger ist schreibgeschützt"},
    {ENOSPC, "kein Platz mehr auf dem Datenträger"},
    {EIO, "Lese- oder Schreibfehler des Datenträgers"}};

}  // namespace

void ExpectIoError(const ToolResult& result, const std::string& program, const std::string& file,
                   int error) {
    EXPECT_EQ(result.exitCode, error);
    EXPECT_EQ(result.err, IoErrorPrefix(program, file) + kGermanReasons.at(error) + " (Fehler " +
                              std::to_string(error) + ")\n");
    const std::string prefix = IoErrorPrefix(program, file);
    const std::string suffix = " (Fehler " + std::to_string(error) + ")\n";
    EXPECT_EQ(result.err.substr(0, prefix.size()), prefix) << result.err;
    ASSERT_GE(result.err.size(), suffix.size()) << result.err;
    EXPECT_EQ(result.err.substr(result.err.size() - suffix.size()), suffix) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
}

bool RunningAsRoot() {
    return geteuid() == 0;
}
