#include "tests/kit/FaultInjection.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

struct Fault {
    FaultyCall call = FaultyCall::Write;
    std::string pathPart;
    int error = 0;
    int nth = 0;
    int seen = 0;
    int failed = 0;
};

std::atomic<bool> armed{false};
std::mutex faultMutex;
Fault fault;

std::string PathOfDescriptor(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// True when this call is to fail; errno is then set.
bool ShouldFail(FaultyCall call, const std::string& path) {
    if (!armed.load(std::memory_order_relaxed)) return false;
    std::lock_guard<std::mutex> lock(faultMutex);
    if (fault.call != call || path.find(fault.pathPart) == std::string::npos) return false;
    ++fault.seen;
    if (fault.nth != 0 && fault.seen != fault.nth) return false;
    ++fault.failed;
    errno = fault.error;
    return true;
}

bool DescriptorShouldFail(FaultyCall call, int fd) {
    return armed.load(std::memory_order_relaxed) && ShouldFail(call, PathOfDescriptor(fd));
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

void InjectFault(FaultyCall call, const std::string& pathPart, int error, int nth) {
    std::lock_guard<std::mutex> lock(faultMutex);
    fault = Fault{call, pathPart, error, nth, 0, 0};
    armed = true;
}

void ClearFaults() {
    armed = false;
}

int InjectedFailures() {
    std::lock_guard<std::mutex> lock(faultMutex);
    return fault.failed;
}

// The program's own definitions take the place of the C library's; each one
// passes the call on unless it is to fail.
extern "C" {

ssize_t pwrite(int fd, const void* data, size_t count, off_t offset) {
    if (DescriptorShouldFail(FaultyCall::Write, fd)) return -1;
    static auto next = Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    return next(fd, data, count, offset);
}

ssize_t pread(int fd, void* data, size_t count, off_t offset) {
    if (DescriptorShouldFail(FaultyCall::Read, fd)) return -1;
    static auto next = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    return next(fd, data, count, offset);
}

ssize_t pread64(int fd, void* data, size_t count, off_t offset) {
    if (DescriptorShouldFail(FaultyCall::Read, fd)) return -1;
    static auto next = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
    return next(fd, data, count, offset);
}

ssize_t read(int fd, void* data, size_t count) {
    if (DescriptorShouldFail(FaultyCall::Read, fd)) return -1;
    static auto next = Next<ssize_t (*)(int, void*, size_t)>("read");
    return next(fd, data, count);
}

ssize_t write(int fd, const void* data, size_t count) {
    if (DescriptorShouldFail(FaultyCall::Write, fd)) return -1;
    static auto next = Next<ssize_t (*)(int, const void*, size_t)>("write");
    return next(fd, data, count);
}

int fsync(int fd) {
    if (DescriptorShouldFail(FaultyCall::Flush, fd)) return -1;
    static auto next = Next<int (*)(int)>("fsync");
    return next(fd);
}

int fdatasync(int fd) {
    if (DescriptorShouldFail(FaultyCall::Flush, fd)) return -1;
    static auto next = Next<int (*)(int)>("fdatasync");
    return next(fd);
}

int rename(const char* from, const char* to) {
    if (armed.load(std::memory_order_relaxed) && ShouldFail(FaultyCall::Rename, to)) return -1;
    static auto next = Next<int (*)(const char*, const char*)>("rename");
    return next(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    if (armed.load(std::memory_order_relaxed) && ShouldFail(FaultyCall::Rename, to)) return -1;
    static auto next = Next<int (*)(int, const char*, int, const char*)>("renameat");
    return next(fromDir, from, toDir, to);
}

int open(const char* path, int flags, ...) {
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = va_arg(rest, mode_t);
    va_end(rest);
    if (armed.load(std::memory_order_relaxed) && ShouldFail(FaultyCall::Open, path)) return -1;
    static auto next = Next<int (*)(const char*, int, ...)>("open");
    return next(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = va_arg(rest, mode_t);
    va_end(rest);
    if (armed.load(std::memory_order_relaxed) && ShouldFail(FaultyCall::Open, path)) return -1;
    static auto next = Next<int (*)(const char*, int, ...)>("open64");
    return next(path, flags, mode);
}

DIR* opendir(const char* path) {
    if (armed.load(std::memory_order_relaxed) && ShouldFail(FaultyCall::List, path)) return nullptr;
    static auto next = Next<DIR* (*)(const char*)>("opendir");
    return next(path);
}

// A failing read of a directory returns no entry and sets errno, as the end of
// the directory does without setting it.
struct dirent* readdir(DIR* dir) {
    if (DescriptorShouldFail(FaultyCall::List, ::dirfd(dir))) return nullptr;
    static auto next = Next<struct dirent* (*)(DIR*)>("readdir");
    return next(dir);
}

struct dirent64* readdir64(DIR* dir) {
    if (DescriptorShouldFail(FaultyCall::List, ::dirfd(dir))) return nullptr;
    static auto next = Next<struct dirent64* (*)(DIR*)>("readdir64");
    return next(dir);
}

}  // extern "C"
