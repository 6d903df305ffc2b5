#include "core/RecordActions.h"

#include "console/ConsoleScreen.h"
#include "core/StatusLine.h"

bool DupSkipOn = false;
std::string LastSearchTerm;
int SearchKind = SearchByContent;

void ResetRecordActions() {
    DupSkipOn = false;
    LastSearchTerm.clear();
    SearchKind = SearchByContent;
}

void ShowDupSkip() {
    DrawSwitchItem(22, " F4", "Dup/Skip ", DupSkipOn);
}
