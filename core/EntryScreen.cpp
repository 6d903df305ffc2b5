#include "core/EntryScreen.h"

#include "core/Prompts.h"
#include "core/Session.h"
#include "platform/CodePage.h"

int32_t ResumeOffset = 0;
bool MismatchBeepArmed = true;
bool RekeyPending = false;

void ResetEntryScreen() {
    ResumeOffset = 0;
    MismatchBeepArmed = true;
    RekeyPending = false;
}

void EntryScreen(int32_t /*startMode*/, bool oneKey, bool /*showStatus*/) {
    // Keying and verifying records is not part of this version yet: say so and
    // go back to laying out the record rather than leaving the operator stuck.
    if (oneKey) return;
    ShowMessage("Erfassen und Prüfen gibt es in dieser Fassung noch nicht."_oem, true);
    Mode = ModeDefinition;
}
