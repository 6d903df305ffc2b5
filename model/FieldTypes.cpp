#include "model/FieldTypes.h"

#include "platform/CodePage.h"

std::array<FieldType, 26> FieldTypeTable;

void FillFieldTypeTable() {
    struct Row {
        const char* name;
        FieldKind kind;
        uint16_t flags;
    };
    static const Row rows[26] = {
        {"Alpha Standard", KindAlpha, 0x0000},
        {"Übergehen (Bypass)", KindAlpha, 0x0001},
        {"Prüfziffer Modulus 11", KindNumeric, 0x0284},
        {"Num Auto Dup", KindNumeric, 0x0034},
        {"Endemarke (CR+LF)", KindAlpha, 0x0003},
        {"Prüfziffer Modulus 10 Auto Skip", KindNumeric, 0x01A4},
        {"Prüfziffer Modulus 11 Auto Skip", KindNumeric, 0x02A4},
        {"Prüfziffer Modulus 10", KindNumeric, 0x0184},
        {"Alpha Rechtsb. (Space)", KindAlpha, 0x0004},
        {"Num Rechtsb. (Space)", KindNumeric, 0x0004},
        {"Alpha Auto Skip", KindAlpha, 0x0020},
        {"Prüfziffer Modulus 10 Auto Dup", KindNumeric, 0x01B4},
        {"Prüfziffer Modulus 11 Auto Dup", KindNumeric, 0x02B4},
        {"Num Standard", KindNumeric, 0x0004},
        {"Num Unformatiert", KindNumeric, 0x0000},
        {"Num Unformatiert Auto Dup", KindNumeric, 0x0030},
        {"Num Unformatiert Auto Skip", KindNumeric, 0x0020},
        {"Num Rechtsb. (Null)", KindNumeric, 0x000C},
        {"Num Auto Skip", KindNumeric, 0x0024},
        {"Num Satz-Zähler", KindNumeric, 0x0405},
        {"Alpha Auto Dup", KindAlpha, 0x0030},
        {"Num Standard ohne Prüfung", KindNumeric, 0x0044},
        {"Alpha Standard ohne Prüfung", KindAlpha, 0x0040},
        {"Num Rechtsb. (Null) ohne Prüfung", KindNumeric, 0x004C},
        {"Num Rechtsb. (Space) ohne Prüfung", KindNumeric, 0x0044},
        {"Alpha Rechtsb. (Space) o. Prüfung", KindAlpha, 0x0044},
    };
    for (int i = 0; i < 26; ++i) {
        FieldTypeTable[i] = FieldType{Utf8ToOem(rows[i].name), rows[i].kind, rows[i].flags};
    }
}

const FieldType NoFieldType;
