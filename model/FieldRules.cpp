#include "model/FieldRules.h"

#include <algorithm>
#include <span>
#include <string>

#include "model/FieldTypes.h"
#include "model/SignOverpunch.h"
#include "platform/CodePage.h"

namespace {

// A number that is too long, or not one number, reads as this and so lies
// outside every range an operator can set.
constexpr int64_t kNotANumber = 1000000000;
constexpr int64_t kDigitLimit = 100000000;

// The signs the rules put back leave the keyed cursor alone (whichever
// place they take, the bytes come out the same).
constexpr int kNobodyKeys = 0;

constexpr uint8_t kCR = 13;
constexpr uint8_t kLF = 10;

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

bool IsPadding(uint8_t c) {
    return c == 0 || c == ' ';
}

bool AllPadding(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), IsPadding);
}

// Moves the content to the right end of the field; the places in front become
// `vacated`.
void JustifyRight(std::span<uint8_t> bytes, uint8_t vacated) {
    const auto lastContent =
        std::find_if_not(bytes.rbegin(), bytes.rend(), [](uint8_t c) { return IsPadding(c); });
    const auto contentEnd = lastContent.base();
    const auto shift = bytes.end() - contentEnd;
    if (shift == 0) return;
    std::copy_backward(bytes.begin(), contentEnd, bytes.end());
    std::fill(bytes.begin(), bytes.begin() + shift, vacated);
}

// Leading blanks and unkeyed places become '0' (ZeroFill) or blanks; every
// unkeyed place after the content becomes a blank. (In two runs without a
// branch per byte: this runs over every field of every record checked.)
void Fill(std::span<uint8_t> bytes, bool zeroFill) {
    const auto content =
        std::find_if_not(bytes.begin(), bytes.end(), [](uint8_t c) { return IsPadding(c); });
    std::fill(bytes.begin(), content, zeroFill ? '0' : ' ');
    BlanksForZeros(bytes.data() + (content - bytes.begin()),
                   static_cast<std::size_t>(bytes.end() - content));
}

// CR LF in the last two places, in the stored record and in the verify input
// alike, so that the two always agree there.
void WriteEndMarker(const FieldDef& field, const LeftRecord& left) {
    for (RecordBuffer* record : {&left.record, left.verifyInput}) {
        if (record == nullptr) continue;
        const std::span<uint8_t> bytes = FieldBytes(field, *record);
        if (bytes.size() > 1) bytes[bytes.size() - 2] = kCR;
        if (!bytes.empty()) bytes.back() = kLF;
    }
}

// The record number, or with a range the start value plus the record number
// minus one; a value above the maximum, or one that does not fit, fails, once
// also when it does both: one counter, one beep.
void WriteRecordCounter(const FieldDef& field, const LeftRecord& left,
                        const std::function<void(FieldCheck)>& failed) {
    int64_t value = left.number;
    bool overMaximum = false;
    if (HasRange(field)) {
        value = left.number + field.RangeFrom - 1;
        overMaximum = value > field.RangeTo;
    }
    const std::string text = std::to_string(value < 0 ? -value : value);
    const bool fits = text.size() <= static_cast<std::size_t>(ExtentOf(field).length);
    for (RecordBuffer* record : {&left.record, left.verifyInput}) {
        if (record == nullptr) continue;
        const std::span<uint8_t> bytes = FieldBytes(field, *record);
        if (fits) {
            std::fill(std::copy(text.begin(), text.end(), bytes.begin()), bytes.end(), 0);
        } else {
            std::fill(bytes.begin(), bytes.end(), '0');
        }
    }
    if (overMaximum || !fits) failed(FieldCheck::RecordCounter);
}

bool IsCheckCharacter(uint8_t c) {
    return IsDigit(c) || (c >= 'J' && c <= 'R') || c == kNegativeZeroDin || c == kNegativeZeroHash;
}

// The last digit of the field checks the digits before it: by their plain sum
// (modulus 10) or by their sum weighted 2, 3, ... 7, 2, ... from the right
// (modulus 11). Places without a digit still count in the weighting. A check
// digit with no digit before it fails.
bool CheckDigitPasses(std::span<const uint8_t> bytes, uint16_t flags) {
    const auto checkAt = std::find_if(bytes.rbegin(), bytes.rend(), IsCheckCharacter);
    if (checkAt == bytes.rend()) return false;
    const std::ptrdiff_t c = bytes.rend() - checkAt - 1;
    int digitSum = 0;
    int weightedSum = 0;
    bool anyDigit = false;
    for (std::ptrdiff_t p = 0; p < c; ++p) {
        if (!IsDigit(bytes[p])) continue;
        const int v = bytes[p] - '0';
        digitSum += v;
        weightedSum += v * static_cast<int>((c - 1 - p) % 6 + 2);
        anyDigit = true;
    }
    if (!anyDigit) return false;
    const uint8_t check = *checkAt;
    const int checkValue = IsDigit(check)                 ? check - '0'
                           : check >= 'J' && check <= 'R' ? check - 'J' + 1
                                                          : 0;
    bool passes = true;
    if ((flags & Modulus10) != 0) passes = passes && checkValue == digitSum % 10;
    if ((flags & Modulus11) != 0) {
        int r = 11 - weightedSum % 11;
        if (r >= 10) r = 0;
        passes = passes && checkValue == r;
    }
    return passes;
}

// Whether the range of field n applies: without a condition it always does;
// with one only while the condition field lies in its condition range. A
// condition that names no numeric field counts as none.
bool RangeApplies(int n, RecordBuffer& record, bool negative) {
    const FieldExtra& extra = FieldExtras[n];
    const int m = extra.ConditionField;
    if (!IsField(m) || !IsNumericType(FieldTable[m].Type)) return true;
    if (m == n) return NumberInRange(n, record, extra.ConditionFrom, extra.ConditionTo, negative);
    const FieldDef& condition = FieldTable[m];
    const bool conditionNegative = NormaliseSign(condition, record);
    const bool inside =
        NumberInRange(m, record, extra.ConditionFrom, extra.ConditionTo, conditionNegative);
    if (conditionNegative) PlaceMinus(condition, record, kNobodyKeys);
    return inside;
}

// "(solange Feld 2 im Bereich 1 bis 9)" for a check that only applies then.
std::string ConditionOf(int n) {
    const FieldExtra& extra = FieldExtras[n];
    if (!IsField(extra.ConditionField)) return "";
    const std::string field = std::to_string(extra.ConditionField);
    if (extra.ConditionTo == DigitSetMarker)
        return " (solange Feld " + field + " nur Ziffern " + DigitSetText(extra.ConditionFrom) +
               " hat)";
    return " (solange Feld " + field + " im Bereich " + std::to_string(extra.ConditionFrom) +
           " bis " + std::to_string(extra.ConditionTo) + ")";
}

}  // namespace

bool NumberInRange(int n, const RecordBuffer& record, int32_t lower, int32_t upper, bool negative) {
    if (!IsField(n)) return false;
    const std::span<const uint8_t> bytes = FieldBytes(FieldTable[n], record);

    if (upper == DigitSetMarker) {
        const int64_t magnitude = lower < 0 ? -static_cast<int64_t>(lower) : lower;
        const std::string allowed = std::to_string(magnitude);
        return std::all_of(bytes.begin(), bytes.end(), [&](uint8_t c) {
            if (IsPadding(c)) return true;
            if (c == '0') return lower <= 0;
            return allowed.find(static_cast<char>(c)) != std::string::npos;
        });
    }

    int64_t value = 0;
    bool anyDigit = false;
    for (uint8_t c : bytes) {
        if (!anyDigit) {
            if (!IsDigit(c)) continue;
            anyDigit = true;
            value = c - '0';
        } else if (IsDigit(c) && value < kDigitLimit) {
            value = value * 10 + (c - '0');
        } else {
            value = kNotANumber;
        }
    }
    if (negative) value = -value;
    return anyDigit && lower <= value && value <= upper;
}

void FormatVerifyField(int n, RecordBuffer& verifyInput) {
    if (!IsField(n)) return;
    const FieldDef& field = FieldTable[n];
    const std::span<uint8_t> input = FieldBytes(field, verifyInput);
    // Nothing keyed only matches a field that was stored empty.
    if (AllPadding(input)) {
        std::fill(input.begin(), input.end(), 0);
        return;
    }
    const bool negative = NormaliseSign(field, verifyInput);
    if (HasFlag(field.Type, RightJustify)) JustifyRight(input, ' ');
    Fill(input, HasFlag(field.Type, ZeroFill));
    if (negative) PlaceMinus(field, verifyInput, kNobodyKeys);
}

void FormatAndCheckField(int n, const LeftRecord& left, const FieldLookups* lookups,
                         const std::function<void(FieldCheck)>& failed) {
    if (!IsField(n)) return;
    const FieldDef& field = FieldTable[n];
    const uint16_t flags = TypeOf(field.Type).Flags;
    const int column = FieldExtras[n].AddressColumn;
    RecordBuffer& record = left.record;

    if ((flags & EndMarker) != 0) WriteEndMarker(field, left);
    if ((flags & RecordCounter) != 0) WriteRecordCounter(field, left, failed);

    const std::span<uint8_t> stored = FieldBytes(field, record);
    if (AllPadding(stored)) {
        std::fill(stored.begin(), stored.end(), 0);
        if (lookups != nullptr && column == kTownColumn && !lookups->address(n)) {
            failed(FieldCheck::AddressData);
        }
    } else {
        if (lookups != nullptr) {
            if (HasTable(n)) {
                if (!lookups->table(n)) failed(FieldCheck::Table);
            } else if (column == kPostalCodeColumn || column == kTownColumn) {
                if (!lookups->address(n)) failed(FieldCheck::AddressData);
            }
        }
        const bool negative = NormaliseSign(field, record);
        if ((flags & RightJustify) != 0) JustifyRight(stored, 0);
        if ((flags & CheckDigit) != 0 && !CheckDigitPasses(stored, flags))
            failed(FieldCheck::CheckDigit);
        // A record counter's range is its start and maximum, which the counter
        // itself has checked: a counter beyond them beeps once, not twice.
        if (IsNumericType(field.Type) && HasRange(field) && (flags & RecordCounter) == 0 &&
            RangeApplies(n, record, negative) &&
            !NumberInRange(n, record, field.RangeFrom, field.RangeTo, negative)) {
            failed(field.RangeTo == DigitSetMarker ? FieldCheck::DigitSet : FieldCheck::Range);
        }
        Fill(stored, (flags & ZeroFill) != 0);
        if (negative) PlaceMinus(field, record, kNobodyKeys);
    }
}

// A digit set as it was typed: its digits, led by 0 where 0 is allowed.
std::string DigitSetText(int32_t set) {
    const int64_t magnitude = set < 0 ? -static_cast<int64_t>(set) : set;
    std::string digits = std::to_string(magnitude);
    // Inserted rather than added in front with +: GCC 12 warns of an
    // overlapping copy in the inlined concatenation of the literal.
    if (set < 0) digits.insert(digits.begin(), '0');
    return digits;
}

std::string CheckReason(int n, FieldCheck check) {
    const FieldDef& field = FieldTable[n];
    switch (check) {
        case FieldCheck::RecordCounter:
            return "Satzzähler zu groß";
        case FieldCheck::CheckDigit:
            return "Prüfziffer falsch";
        case FieldCheck::Range:
            return "nicht im Bereich " + std::to_string(field.RangeFrom) + " bis " +
                   std::to_string(field.RangeTo) + ConditionOf(n);
        case FieldCheck::DigitSet:
            return "Ziffer nicht erlaubt (nur " + DigitSetText(field.RangeFrom) + ")" +
                   ConditionOf(n);
        case FieldCheck::Table:
            return "nicht in der Tabelle " + OemToUtf8(TableAssignments[n].Name);
        case FieldCheck::AddressData:
            return "nicht in den Adressdaten";
    }
    return "";
}
