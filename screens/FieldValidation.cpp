#include "screens/FieldValidation.h"

#include <algorithm>
#include <span>
#include <string>

#include "console/WinCrt.h"
#include "screens/FieldCursor.h"
#include "screens/FieldEngine.h"
#include "screens/Lookups.h"
#include "screens/Session.h"
#include "files/Statistics.h"
#include "model/FieldRules.h"
#include "model/FieldTypes.h"
#include "model/SignOverpunch.h"

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
    if (!IsField(n)) return true;
    if (lookupsSuspended > 0) lookupAllowed = false;
    // The one place where a failed check is heard: the rules only say so.
    static const std::function<void(FieldCheck)> beep = [](FieldCheck) { Beep(); };
    static const FieldLookups completing{[](int m) { return TableLookup(m, false); },
                                         [](int m) { return AddressLookup(m, false); }};
    FormatAndCheckField(n, LeftRecord{WorkRecord, &VerifyRecord, CurrentRecordNumber},
                        lookupAllowed ? &completing : nullptr, beep);

    if (Mode != ModeVerify) return true;
    const FieldDef& field = FieldTable[n];
    const std::span<const uint8_t> stored = FieldBytes(field, WorkRecord);
    FormatVerifyField(n, VerifyRecord);
    const std::span<const uint8_t> input = FieldBytes(field, VerifyRecord);
    if (std::equal(input.begin(), input.end(), stored.begin())) return true;
    CountMismatch(n, Mode == ModeVerify);
    Beep();
    DrawEntryField(n);
    ArmRekey(n);
    return false;
}

bool ValidateAll(bool check) {
    if (Mode == ModeEntry && !check) return true;
    const int current = std::min<int>(CursorField(), FieldCount);
    bool passed = true;
    for (int n = FieldCount; n >= 1; --n) {
        if (!FieldExit(n, n == current)) passed = false;
    }
    if (!passed && Mode == ModeEntry) PlaceCursorAtRecordPos(RecordPosOf(current, 1));
    return passed;
}
