#include "screens/FieldValidation.h"

#include <algorithm>
#include <span>
#include <string>

#include "console/WinCrt.h"
#include "files/Statistics.h"
#include "model/FieldRules.h"
#include "model/FieldTypes.h"
#include "model/SignOverpunch.h"
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

bool FieldExit(int n, bool lookupAllowed) {
    return FieldExit(n, lookupAllowed, Mode);
}

bool FieldExit(int n, bool lookupAllowed, int32_t mode) {
    if (!IsField(n)) return true;
    if (lookupsSuspended > 0) lookupAllowed = false;
    // The one place where a failed check is heard: the rules only say so.
    static const std::function<void(FieldCheck)> beep = [](FieldCheck) { Beep(); };
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
    Beep();
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
