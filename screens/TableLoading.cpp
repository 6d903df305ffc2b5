#include "screens/TableLoading.h"

#include <algorithm>
#include <string>

#include "console/WinCrt.h"
#include "model/FieldModel.h"
#include "screens/FieldCursor.h"
#include "screens/LineEditor.h"
#include "screens/Prompts.h"
#include "screens/Session.h"
#include "screens/StatusLine.h"

namespace {

constexpr std::size_t kMaxNameLength = kMaxTableName;

void CannotRead(const std::string& name) {
    ShowMessage("Kann Tabelle " + name + " nicht lesen !!!", true);
}

}  // namespace

bool LoadTable(std::string_view name, int slot) {
    switch (LoadTableQuietly(name, slot)) {
        case TableLoad::Loaded:
            return true;
        case TableLoad::NoEntries:
            return false;
        case TableLoad::CannotRead:
            if (slot >= 0 && slot <= MaxFields)
                CannotRead(std::string(name.substr(0, kMaxNameLength)));
            return false;
        case TableLoad::BadPostalCode:
            // The address data is released already: the station ends, whatever
            // the ending does with the rest of the session.
            ShowMessage("Plz in den Adressdaten ist fehlerhaft !", true);
            EndStationAfterFatalError();
    }
    return false;
}

void LoadAddressData() {
    if (TableAssignments[0].Table != nullptr) return;
    LoadTable("adr", 0);
}

TableNameAnswer AskTableName() {
    TableNameAnswer answer;
    const int column = ShowStatus("Dateiname der Tabelle: ", 0, 0, 0, true);
    SaveCursor();
    MoveCursor(column, 1);
    std::string name;
    const bool entered = LineEditor(name, static_cast<int>(kMaxNameLength));
    RestoreCursor();
    if (!entered) return answer;
    if (name.empty()) {
        answer.cancelled = false;
        return answer;
    }
    const int field = std::min<int>(CursorField(), FieldCount);
    if (field < 1) return answer;
    answer.name = name.substr(0, kMaxNameLength);
    LoadTable(answer.name, field);
    answer.cancelled = false;
    return answer;
}
