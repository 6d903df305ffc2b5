#include "model/SignOverpunch.h"

#include <algorithm>
#include <array>

#include "model/FieldTypes.h"

namespace {

bool IsFree(uint8_t c) {
    return c == ' ' || c == 0;
}

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// 'J'..'R' stand for a negative '1'..'9'.
bool IsOverpunchedDigit(uint8_t c) {
    return c >= 'J' && c <= 'R';
}

constexpr uint8_t kOverpunchOffset = 'J' - '1';

}  // namespace

bool NormaliseSign(const FieldDef& field, RecordBuffer& record) {
    if (!IsNumericType(field.Type)) return false;
    const std::span<uint8_t> bytes = FieldBytes(field, record);
    const std::size_t size = bytes.size();

    // Most numbers carry no sign: one pass without a branch per byte finds
    // that, and only a zero-filled field has more to do then.
    static const std::array<uint8_t, 256> signBytes = [] {
        std::array<uint8_t, 256> table{};
        for (int c = 0; c < 256; ++c) {
            const auto byte = static_cast<uint8_t>(c);
            table[byte] = byte == '-' || IsOverpunchedDigit(byte) || byte == kNegativeZeroDin ||
                          byte == kNegativeZeroHash;
        }
        return table;
    }();
    uint8_t anySign = 0;
    for (const uint8_t c : bytes) anySign |= signBytes[c];
    if (anySign == 0 && !HasFlag(field.Type, ZeroFill)) return false;

    bool negative = false;
    std::size_t firstMinus = 0;
    for (std::size_t i = size; i-- > 0;) {
        if (bytes[i] == '-') {
            bytes[i] = ' ';
            negative = true;
            firstMinus = i;
        }
    }

    // A zero-filled number keeps its width: the places the sign took, and the
    // blanks after it, become zeros up to the digits.
    const bool allFree = std::all_of(bytes.begin(), bytes.end(), IsFree);
    if (HasFlag(field.Type, ZeroFill) && !allFree) {
        for (std::size_t i = firstMinus; i < size && IsFree(bytes[i]); ++i) bytes[i] = '0';
    }

    for (uint8_t& c : bytes) {
        if (IsOverpunchedDigit(c)) {
            c = static_cast<uint8_t>(c - kOverpunchOffset);
            negative = true;
        } else if (c == kNegativeZeroDin || c == kNegativeZeroHash) {
            c = '0';
            negative = true;
        }
    }
    return negative;
}

void Overpunch(const FieldDef& field, RecordBuffer& record, SignVariant variant) {
    const std::span<uint8_t> bytes = FieldBytes(field, record);
    for (std::size_t i = bytes.size(); i-- > 0;) {
        uint8_t& c = bytes[i];
        if (!IsDigit(c)) continue;
        if (c == '0') {
            c = variant == SignVariant::Din ? kNegativeZeroDin : kNegativeZeroHash;
        } else {
            c = static_cast<uint8_t>(c + kOverpunchOffset);
        }
        return;
    }
}

bool PlaceMinus(const FieldDef& field, RecordBuffer& record, int cursorPos) {
    const std::span<uint8_t> bytes = FieldBytes(field, record);
    const std::size_t size = bytes.size();
    if (size == 0) return false;

    // Right before the number, when there is a free place there.
    const auto firstDigit = std::find_if(bytes.begin(), bytes.end(), IsDigit);
    if (firstDigit != bytes.end()) {
        const auto before =
            std::find_if(std::make_reverse_iterator(firstDigit), bytes.rend(), IsFree);
        if (before != bytes.rend()) {
            *before = '-';
            return false;
        }
    }

    // A blank field, or a zero-filled number that has a leading '0' to spare.
    const bool restFree = std::all_of(bytes.begin() + 1, bytes.end(), IsFree);
    if (bytes[0] == ' ' && restFree) {
        bytes[0] = '-';
        return false;
    }
    if (bytes[0] == '0' && std::any_of(bytes.begin() + 1, bytes.end(), IsDigit)) {
        bytes[0] = '-';
        return false;
    }

    // No free place before the number: make one by shifting the field right,
    // or mark the last digit when the field is full.
    if (!IsFree(bytes[size - 1])) {
        Overpunch(field, record, SignVariant::Din);
        return false;
    }
    const bool allZero = std::all_of(bytes.begin(), bytes.end(), [](uint8_t c) { return c == 0; });
    if (allZero && cursorPos > field.RecordPos) {
        bytes[0] = '-';
        return false;
    }
    std::copy_backward(bytes.begin(), bytes.end() - 1, bytes.end());
    bytes[0] = '-';
    return true;
}

RecordBuffer StoredImage(const RecordBuffer& record) {
    RecordBuffer image = record;
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& field = FieldTable[n];
        if (IsNumericType(field.Type) && NormaliseSign(field, image)) {
            Overpunch(field, image, SignVariant::Din);
        }
    }
    return image;
}
