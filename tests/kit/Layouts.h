// Record layouts for tests that work on records without laying them out on
// the definition screen.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "model/FieldModel.h"

// Fields one behind the other, in the record and on the screen: type letter
// and length.
inline void UseLayout(const std::vector<std::pair<char, int>>& fields) {
    FieldCount = 0;
    int position = 1;
    for (const auto& [type, length] : fields) {
        FieldDef& field = FieldTable[++FieldCount];
        field = FieldDef{};
        field.RecordPos = field.ScreenPos = static_cast<int16_t>(position);
        field.Length = static_cast<int16_t>(length);
        field.Type = static_cast<uint8_t>(type);
        position += length;
    }
}
