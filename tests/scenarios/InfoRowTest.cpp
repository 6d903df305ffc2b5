// The information row under the screen: why the last beep sounded, until the
// next key, and otherwise where the operator is among the records.
#include <gtest/gtest.h>

#include <string>

#include "console/WinCrt.h"
#include "files/StationFiles.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "screens/LayoutFiles.h"
#include "screens/Session.h"
#include "screens/TableLoading.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

class InfoRow : public ::testing::Test {
  protected:
    InfoRow() {
        // A check digit, a range, a digit set, a table and the end mark; the
        // station finds them in its layout journal and is told to keep it.
        dir.Write("Tab/farbe", "Blau\nGelb\nRot\n");
        FillFieldTypeTable();
        ResetFieldModel();
        UseLayout({{'H', 4}, {'N', 2}, {'N', 3}, {'A', 6}, {'E', 2}});
        FieldTable[2].RangeFrom = 10;
        FieldTable[2].RangeTo = 20;
        FieldTable[3].RangeFrom = 135;
        FieldTable[3].RangeTo = DigitSetMarker;
        TableAssignments[4].Name = "farbe";
        LoadTable("farbe", 4);
        WriteDefinitionFile(kLayoutJournal);
        ResetFieldModel();
        station.Type("n");
    }
    void Says(const std::string& expected) {
        station.Add(script::Idle());
        station.Add(script::Call([this, expected] { EXPECT_EQ(station.host().Info(), expected); }));
    }

    TempDir dir;
    StationHarness station;
};

}  // namespace

TEST_F(InfoRow, SaysWhyEachCheckBeepedUntilTheNextKeyAndWhereTheOperatorIs) {
    station.Key(VkF9);
    Says("Neuer Satz 1");
    station.Type(
        "1236"
        "15"
        "135"
        "Gruen\r");  // full fields go on by themselves
    Says("Feld 4: nicht in der Tabelle farbe");
    station.Key(VkRight);  // the next key: the row says where the operator is
    Says("Neuer Satz 2 (1 gespeichert)");
    station.Key(VkLeft);
    station.Type("1234");  // 1+2+3 = 6 is the check digit
    Says("Feld 1: Prüfziffer falsch");
    station.Type("5\r");
    Says("Feld 2: nicht im Bereich 10 bis 20");
    station.Type("2");  // while keying already
    Says("Feld 3: Ziffer nicht erlaubt (nur 135)");
    station.Key(VkBack);
    station.Type("x");  // one key, two beeps: the first one's reason
    Says("Feld 3: ein Zahlenfeld, nur Ziffern, Leerzeichen und Minus");
    station.Key(VkPrior);  // record 2 is stored with its faults, the frontmost said
    Says("Feld 1: Prüfziffer falsch");
    station.Key(VkRight);
    Says("Satz 1 von 2");

    // Verify mode: the stored value beside what was keyed.
    station.Key(VkF9);
    station.Type("1239");
    Says("Feld 1: gespeichert „1236“, geprüft „1239“");
    station.Start();
}
