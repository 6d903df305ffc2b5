#include "screens/FieldValidation.h"

#include <algorithm>
#include <span>
#include <string>

#include "console/WinCrt.h"
#include "files/Statistics.h"
#include "model/FieldRules.h"
#include "model/FieldTypes.h"
#include "model/SignOverpunch.h"
#include "platform/CodePage.h"
#include "screens/FieldCursor.h"
#include "screens/FieldEngine.h"
#include "screens/Lookups.h"
#include "screens/Session.h"

namespace {
int lookupsSuspended = 0;
}  // namespace

LookupsSuspended::LookupsSuspended() {
    ++lookupsSuspended;
}

LookupsSuspended::~LookupsSuspended() {
    --lookupsSuspended;
}

std::string FieldSays(int n, const std::string& what) {
    return "Feld " + std::to_string(n) + ": " + what;
}

std::string ShownValue(std::span<const uint8_t> bytes) {
    std::string oem;
    for (const uint8_t byte : bytes) {
        oem += static_cast<char>(byte == 0 ? ' ' : byte < 0x20 || byte == 0x7F ? '?' : byte);
    }
    const std::size_t first = oem.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return OemToUtf8(oem.substr(first, oem.find_last_not_of(' ') - first + 1));
}

bool FieldExit(int n, bool lookupAllowed) {
    return FieldExit(n, lookupAllowed, Mode);
}

bool FieldExit(int n, bool lookupAllowed, int32_t mode) {
    if (!IsField(n)) return true;
    if (lookupsSuspended > 0) lookupAllowed = false;
    // The one place where a failed check is heard, and its reason read: the
    // rules only say what failed.
    const std::function<void(FieldCheck)> beep = [n](FieldCheck check) {
        Beep(FieldSays(n, CheckReason(n, check)));
    };
    const FieldLookups completing{[mode](int m) { return TableLookup(m, false, mode); },
                                  [mode](int m) { return AddressLookup(m, false, mode); }};
    FormatAndCheckField(n, LeftRecord{WorkRecord, &VerifyRecord, CurrentRecordNumber},
                        lookupAllowed ? &completing : nullptr, beep);

    if (mode != ModeVerify) return true;
    const FieldDef& field = FieldTable[n];
    const std::span<const uint8_t> stored = FieldBytes(field, WorkRecord);
    FormatVerifyField(n, VerifyRecord);
    const std::span<const uint8_t> input = FieldBytes(field, VerifyRecord);
    if (std::equal(input.begin(), input.end(), stored.begin())) return true;
    CountMismatch(n, true);
    Beep(FieldSays(
        n, "gespeichert „" + ShownValue(stored) + "“, geprüft „" + ShownValue(input) + "“"));
    DrawEntryField(n);
    ArmRekey(n);
    return false;
}

bool ValidateAll(bool check) {
    return ValidateAll(check, Mode);
}

bool ValidateAll(bool check, int32_t mode) {
    if (mode == ModeEntry && !check) return true;
    const int current = std::min<int>(CursorField(), FieldCount);
    bool passed = true;
    for (int n = FieldCount; n >= 1; --n) {
        if (!FieldExit(n, n == current, mode)) passed = false;
    }
    if (!passed && mode == ModeEntry) PlaceCursorAtRecordPos(RecordPosOf(current, 1));
    return passed;
}
