// Failing system calls on purpose, inside the test program itself: the
// station's file opens, writes, flushes and renames on one path can be made to fail
// with an error number, as a full or broken disk would, without privileges
// and without a second process. Only calls on a path that contains the given
// part fail; everything else (the test runner's own output) passes through.
#pragma once
#include <string>

enum class FaultyCall {
    Write,   // pwrite and write
    Read,    // pread and read
    Flush,   // fsync and fdatasync
    Rename,  // rename and renameat (the target's path counts)
    Open,    // open and open64
    List,    // opendir and readdir: listing a directory
};

// From now on the `nth` such call (counted from 1) on a path containing
// `pathPart` fails with `error`; with `nth` 0 every one of them fails.
void InjectFault(FaultyCall call, const std::string& pathPart, int error, int nth = 1);
// Stops every injected failure.
void ClearFaults();
// How many calls failed on purpose since the last InjectFault.
int InjectedFailures();
