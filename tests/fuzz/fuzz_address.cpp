// The postal-code address data from hostile files: postal-code lines, their
// chains and index, street lines, and the end of the station on a damaged code.
#include "tests/fuzz/TableFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    LoadAndWalk(data, size, "adr", 0);
    return 0;
}
