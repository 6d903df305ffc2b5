#include "model/Characters.h"

namespace {

// Accented vowels fold to their plain letter in both directions.
uint8_t PlainVowel(uint8_t c) {
    switch (c) {
        case 130:
        case 144:
            return 'e';  // é É
        case 160:
        case 181:
            return 'a';  // á Á
        case 161:
        case 214:
            return 'i';  // í Í
        case 162:
        case 224:
            return 'o';  // ó Ó
        case 163:
        case 233:
            return 'u';  // ú Ú
        default:
            return 0;
    }
}

}  // namespace

uint8_t ToUpperFold(uint8_t c) {
    if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 'A');
    if (c == 132) return 142;  // ä
    if (c == 148) return 153;  // ö
    if (c == 129) return 154;  // ü
    if (const uint8_t plain = PlainVowel(c)) return static_cast<uint8_t>(plain - 'a' + 'A');
    return c;
}

uint8_t MatchFold(uint8_t c) {
    const uint8_t upper = ToUpperFold(c);
    const bool kept = (upper >= '0' && upper <= '9') || (upper >= 'A' && upper <= 'Z') ||
                      upper == 142 || upper == 153 || upper == 154 || upper == 225;
    return kept ? upper : ' ';
}

int64_t ParseDecimal(std::string_view text) {
    int64_t value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return -1;
        // Far more digits than any record number: stop growing instead of overflowing.
        if (value < 100000000000000LL) value = value * 10 + (ch - '0');
    }
    return value;
}
