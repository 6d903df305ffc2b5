// Lookup tables and the postal-code address data: loaded from text files in
// "Tab/", indexed for fast lookups during entry, and released again.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/FieldModel.h"

struct LookupTable {
    std::string text;                 // every line back to back
    std::vector<uint32_t> lineStart;  // line i is text[lineStart[i], lineStart[i + 1])
};
