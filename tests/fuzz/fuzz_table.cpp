// Lookup tables from hostile files: every line, the two-character index and the
// order check.
#include "tests/fuzz/TableFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    LoadAndWalk(data, size, "t", 1);
    return 0;
}
