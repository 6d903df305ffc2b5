// The in-memory form of a loaded lookup table or of the address data.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct LookupTable {
    std::string text;                 // every line back to back
    std::vector<uint32_t> lineStart;  // line i is text[lineStart[i], lineStart[i + 1])
};
