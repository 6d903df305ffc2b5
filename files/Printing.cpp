#include "files/Printing.h"

#include "core/Prompts.h"
#include "platform/CodePage.h"

void PrintData() {
    // Printing belongs to entry mode, which this version does not have yet.
    ShowMessage("Drucken gibt es in dieser Fassung noch nicht."_oem, true);
}
