#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "console/WinCrt.h"
#include "screens/DefinitionScreen.h"
#include "screens/Journal.h"
#include "screens/LayoutFiles.h"
#include "screens/OperatorRecord.h"
#include "screens/Prompts.h"
#include "screens/Session.h"
#include "files/Tables.h"
#include "model/FieldModel.h"
#include "model/ProgramKeys.h"
#include "model/ScreenLayout.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

int Get16(const std::string& bytes, std::size_t at) {
    return static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8);
}

int32_t Get32(const std::string& bytes, std::size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    return static_cast<int32_t>(value);
}

// The fields the layout journal holds, as "type:record-position:screen-position:length".
std::vector<std::string> JournalFields(const TempDir& dir) {
    const std::string bytes = dir.Read("KELBRIN4.CR1");
    std::vector<std::string> fields;
    if (bytes.size() < 10 || bytes.substr(0, 8) != "FeldDef2") return {"kein Journal"};
    const int count = Get16(bytes, 8);
    for (int i = 0; i < count; ++i) {
        const std::size_t at = 10 + 15u * i;
        fields.push_back(std::string(1, bytes[at + 6]) + ":" + std::to_string(Get16(bytes, at)) +
                         ":" + std::to_string(Get16(bytes, at + 2)) + ":" +
                         std::to_string(Get16(bytes, at + 4)));
    }
    return fields;
}

// Row y of the background text as the layout journal holds it.
std::string JournalLayoutRow(const TempDir& dir, int y) {
    const std::string bytes = dir.Read("KELBRIN4.CR1");
    if (bytes.size() < 10) return {};
    const std::size_t at = 10 + 15u * Get16(bytes, 8) + 80u * (y - 1);
    return at + 80 <= bytes.size() ? bytes.substr(at, 80) : std::string{};
}

// Counts the writes of KELBRIN4.CR1 as the kernel reports them: a finished file
// renamed over it, or the file itself closed after writing. No count depends
// on timing, and the station needs no hook for it.
class JournalWriteCounter {
  public:
    explicit JournalWriteCounter(const std::string& directory)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(fd_, directory.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    ~JournalWriteCounter() { close(fd_); }
    // The writes since the last call.
    int Take() {
        int count = 0;
        alignas(inotify_event) char buffer[8192];
        for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && std::string(event->name) == "KELBRIN4.CR1") ++count;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return count;
    }

  private:
    int fd_;
};

// An event that is no key: the station finds nothing waiting, as in a pause
// of the operator's, and writes what it has not yet journaled.
ScriptEvent Pause() {
    return script::Call([] {});
}

class DefinitionMode : public ::testing::Test {
  protected:
    StationHarness::Outcome Run() { return station.Start(); }
    void Keys(std::initializer_list<uint16_t> keys) {
        for (uint16_t key : keys) station.Key(key);
    }
    TempDir dir;
    StationHarness station;
};

using Fields = std::vector<std::string>;

}  // namespace

TEST_F(DefinitionMode, WithNoFieldsF9AndF4DoNothingAndALetterAsksForTheLength) {
    Keys({VkF9, VkF4});
    station.Type("n");
    station.Add(script::Call([&] {
        EXPECT_EQ(station.Text(1, 1, 28), "Länge des Feldes: von 1 bis ");
        EXPECT_EQ(station.Text(1, 25, 20), " ESC Abbruch        ");
    }));
    station.Type("10\r");
    Run();
    EXPECT_EQ(Mode, ModeDefinition);
    EXPECT_EQ(station.Text(1, 2, 11), "N---------░");
    EXPECT_EQ(station.Cell(1, 2).color, kWhite);
    EXPECT_EQ(station.Text(1, 1, 7), "Len 10 ");
    EXPECT_EQ(JournalFields(dir), (Fields{"N:1:1:10"}));
    int x = 0, y = 0;
    station.Cursor(x, y);
    EXPECT_EQ(x, 11);
    EXPECT_EQ(y, 2);
}

TEST_F(DefinitionMode, SplittingRetypingAndJoining) {
    station.Type("n10\r");
    station.Key(VkUp, ShiftKey);  // to the first position
    Keys({VkRight, VkRight, VkRight});
    station.Type("a");  // splits 3 + 7
    station.Key(VkHome);
    station.Type("r");  // retypes field 1; the cursor goes on to field 2
    station.Type("-");  // joins field 2 to field 1
    station.Type("s+2\r");
    station.Key(VkHome);
    station.Type("\r");  // Enter: on to the next field, whose type letter changes it
    station.Type("z");
    station.Key(VkHome);
    station.Type("+");  // the key for type T
    Run();
    EXPECT_EQ(JournalFields(dir), (Fields{"T:1:1:10", "Z:11:11:2"}));
    EXPECT_EQ(station.Text(1, 2, 10), "T---------");
}

// Every cursor key of the layout screen, at the edges too: fields A (1-5) and
// N (6-8), and position 9 behind the last field.
TEST_F(DefinitionMode, CursorKeysWalkTheLayout) {
    station.Type("a5\r");
    station.Type("n8\r");  // up to position 8
    const struct {
        uint16_t key;
        ShiftState shift;
        int position;
    } walk[] = {
        {VkLeft, 0, 8},         {VkLeft, ShiftKey, 1}, {VkLeft, 0, 1},      {VkRight, 0, 2},
        {VkRight, ShiftKey, 9}, {VkRight, 0, 9},       {VkHome, 0, 1},      {VkDown, 0, 6},
        {VkDown, 0, 9},         {VkDown, 0, 9},        {VkUp, 0, 6},        {VkUp, 0, 1},
        {VkUp, 0, 1},           {VkDown, ShiftKey, 9}, {VkUp, ShiftKey, 1}, {VkReturn, 0, 6},
        {VkReturn, 0, 9},       {VkReturn, 0, 9},      {VkTab, 0, 6},       {VkTab, 0, 1},
        {VkTab, 0, 1},          {VkEnd, 0, 9},         {VkPrior, 0, 1},     {VkNext, 0, 9},
    };
    int step = 0;
    for (const auto& [key, shift, position] : walk) {
        station.Key(key, shift);
        station.Add(script::Call([&, position, step] {
            int x = 0, y = 0;
            station.Cursor(x, y);
            EXPECT_EQ(x + 80 * (y - 2), position) << "step " << step;
        }));
        ++step;
    }
    Run();
    EXPECT_EQ(JournalFields(dir), (Fields{"A:1:1:5", "N:6:6:3"}));
}

TEST_F(DefinitionMode, GrowingShrinkingAndRemoving) {
    station.Type("a5\r");
    station.Type("b+5\r");
    Keys({VkHome, VkInsert});  // field 1 grows and pushes field 2
    station.Add(script::Call([&] {
        EXPECT_EQ(JournalFields(dir), (Fields{"A:1:1:6", "B:7:7:5"}));
    }));
    Keys({VkDelete, VkDelete});  // shrinking never pulls field 2 back
    station.Add(script::Call([&] {
        EXPECT_EQ(JournalFields(dir), (Fields{"A:1:1:4", "B:5:7:5"}));
    }));
    station.Key(VkBack);
    Run();
    EXPECT_EQ(JournalFields(dir), (Fields{"A:1:1:4"}));
    EXPECT_EQ(station.Text(1, 2, 12), "A...░░░░░░░░");
}

// F8 asks first: N keeps everything, Del clears fields, text, program keys
// and both journals.
TEST_F(DefinitionMode, F8ClearsTheWholeLayoutOnlyOnDel) {
    dir.Write("Tab/orte", "Berlin\n");
    station.Type("a5\r");
    station.Key(VkHome);
    station.Type("torte\r");
    station.Key(VkF6);
    station.Type("Text");
    station.Key(VkEscape);
    station.Add(script::Call([] { SetProgramKey(3, "vier.DEF"); }));
    station.Key(VkF8);
    station.Add(
        script::Call([&] { EXPECT_EQ(station.Text(1, 1, 30), "Möchten Sie alle (noch nicht g"); }));
    station.Type("n");
    station.Add(script::Call([&] {
        EXPECT_EQ(JournalFields(dir), (Fields{"A:1:1:5"}));
        EXPECT_EQ(ProgramKeyTexts[3], "vier.DEF");
    }));
    station.Key(VkF8);
    station.Key(VkDelete);
    Run();
    EXPECT_EQ(FieldCount, 0);
    EXPECT_FALSE(dir.Exists("KELBRIN4.CR1"));
    EXPECT_EQ(dir.Read("KELBRIN4.CR2"), "");
    EXPECT_EQ(LayoutCell(6, 2), EmptyCell);
    EXPECT_EQ(ProgramKeyTexts[3], "");
    EXPECT_FALSE(HasTable(1));  // a new field 1 starts without the old table
    EXPECT_EQ(station.Text(1, 2, 10), "░░░░░░░░░░");
    EXPECT_EQ(station.Text(1, 1, 7), "Len    ");
}

TEST_F(DefinitionMode, BackspaceWithNoFieldsStillWritesTheJournal) {
    station.Key(VkBack);
    Run();
    EXPECT_EQ(JournalFields(dir), (Fields{}));
}

TEST_F(DefinitionMode, TheTextEditorKeepsOffTheFields) {
    station.Type("a3\r");
    station.Key(VkF6);
    station.Type("Hallo");  // typed over the field: ignored; then beside it
    // Each cursor key, shown by where the next letter lands.
    station.Key(VkDown);
    station.Type("u");
    station.Key(VkHome);
    station.Type("h");
    station.Key(VkNext);
    station.Type("d");
    station.Key(VkUp);
    station.Type("w");
    station.Type("\re");
    station.Key(VkPrior);
    station.Key(VkEnd);
    station.Type("Z");    // column 80: the cursor stays
    station.Key(VkBack);  // after Z the cursor wrapped to row 3, column 1: nothing
    // Row 5: Del empties a cell and steps on, Left and Right step, Backspace
    // steps back and empties.
    // The empty cell under the cursor shows a blank, and its filler again
    // once the cursor has moved on.
    Keys({VkDown, VkDown, VkHome, VkRight});
    station.Add(script::Call([&] { EXPECT_EQ(station.Text(1, 5, 2), "░ "); }));
    station.Key(VkHome);
    station.Type("abc");
    Keys({VkHome, VkDelete});
    station.Type("k");
    Keys({VkLeft, VkLeft, VkLeft});
    station.Type("j");
    station.Key(VkRight);
    station.Type("m");
    station.Key(VkBack);
    // Enter on row 24 goes to its last cell, where typing stays; Tab does nothing.
    Keys({VkNext, VkReturn});
    station.Type("E");
    station.Key(VkTab);
    station.Type("F");
    station.Key(VkEscape);
    Run();
    EXPECT_EQ(LayoutCell(80, 24), 'F');
    EXPECT_EQ(LayoutCell(79, 24), EmptyCell);
    EXPECT_EQ(LayoutCell(1, 5), 'j');
    EXPECT_EQ(LayoutCell(2, 5), 'k');
    EXPECT_EQ(LayoutCell(3, 5), EmptyCell);
    EXPECT_EQ(station.Text(1, 2, 8), "A..Hallo");
    EXPECT_EQ(LayoutCell(4, 2), 'H');
    EXPECT_EQ(LayoutCell(1, 2), EmptyCell);
    EXPECT_EQ(LayoutCell(80, 2), 'Z');
    EXPECT_EQ(LayoutCell(9, 3), 'u');
    EXPECT_EQ(LayoutCell(1, 3), 'h');
    EXPECT_EQ(LayoutCell(2, 24), 'd');
    EXPECT_EQ(LayoutCell(3, 23), 'w');
    EXPECT_EQ(LayoutCell(1, 24), 'e');
    EXPECT_EQ(station.Cell(4, 2).color, kBlack);  // text: dark grey on blue shows black
    EXPECT_EQ(station.Cell(10, 2).color, kGrey);  // an empty cell after it
    EXPECT_TRUE(station.Cell(4, 2).underline);
    EXPECT_FALSE(LayoutTextEditorActive);
    const std::string journal = dir.Read("KELBRIN4.CR1");
    EXPECT_EQ(journal[10 + 15 + 80 + 3], 'H');  // the layout's first row is the status line's
}

TEST_F(DefinitionMode, TheEditorsJournalTheirChangesBeforeWaitingForTheNextKey) {
    station.Type("a2\r");
    station.Key(VkF6);
    station.Type("Name");
    station.Add(Pause());
    station.Add(script::Call([&] {
        EXPECT_TRUE(LayoutTextEditorActive);
        EXPECT_EQ(JournalLayoutRow(dir, 2).substr(2, 5), "Name\xDB");
    }));
    station.Key(VkEscape);
    station.Key(VkF4);
    station.Key(VkDown);
    station.Add(Pause());
    station.Add(script::Call([&] {
        EXPECT_TRUE(FieldPositionerActive);
        EXPECT_EQ(JournalFields(dir), (Fields{"A:1:81:2"}));
    }));
    station.Key(VkEscape);
    Run();
}

TEST_F(DefinitionMode, APasteIsJournaledOnceWhenItIsOver) {
    station.Type("a2\r");
    station.Key(VkF6);
    JournalWriteCounter writes(dir.path());
    station.Add(script::Call([&] { writes.Take(); }));
    station.Add(script::Paste("Kundennummer und Name der Firma"));
    station.Add(script::Call([&] {
        EXPECT_EQ(writes.Take(), 1);
        EXPECT_EQ(JournalLayoutRow(dir, 2).substr(2, 32), "Kundennummer und Name der Firma\xDB");
    }));
    station.Key(VkEscape);
    Run();
}

TEST_F(DefinitionMode, ShiftDelEmptiesTheWholeLayoutButKeepsTheFields) {
    station.Type("a3\r");
    station.Key(VkF6);
    station.Key(VkDown);
    station.Type("Text");
    station.Key(VkDelete, ShiftKey);
    station.Key(VkEscape);
    Run();
    EXPECT_EQ(LayoutCell(1, 3), EmptyCell);
    EXPECT_EQ(station.Text(1, 2, 3), "A..");
    EXPECT_EQ(JournalFields(dir), (Fields{"A:1:1:3"}));
}

TEST_F(DefinitionMode, PositioningMovesFieldsAndPushesTheirNeighbours) {
    station.Type("a5\r");
    station.Type("b+5\r");
    station.Key(VkHome);
    station.Key(VkF4);
    station.Key(VkRight);  // field 1 touches field 2: both move
    station.Key(VkDown);   // one row down, field 2 with it
    station.Add(script::Call([] { EXPECT_TRUE(FieldPositionerActive); }));
    station.Key(VkEscape);
    Run();
    EXPECT_EQ(JournalFields(dir), (Fields{"A:1:82:5", "B:6:87:5"}));
    EXPECT_EQ(station.Text(2, 3, 10), "A....B....");
    EXPECT_EQ(station.Text(1, 2, 11), "░░░░░░░░░░░");
}

TEST_F(DefinitionMode, APositionedFieldNeverLeavesTheScreen) {
    station.Type("a5\r");
    station.Key(VkF4);
    station.Key(VkPrior);  // already on row 2
    station.Key(VkNext);   // to row 24
    station.Key(VkEnd);    // last cell to column 80
    station.Key(VkRight);  // refused: would end behind cell 1840
    station.Key(VkEscape);
    Run();
    EXPECT_EQ(JournalFields(dir), (Fields{"A:1:1836:5"}));
}

TEST_F(DefinitionMode, AClickPositionsTheFieldWhilePositioning) {
    station.Type("a5\r");
    station.Key(VkF4);
    station.Add(script::Click(11, 5));
    station.Key(VkEscape);
    Run();
    EXPECT_EQ(JournalFields(dir), (Fields{"A:1:251:5"}));
}

TEST_F(DefinitionMode, RangesDigitSetsAndConditions) {
    station.Type("n4\r");
    station.Type("a+2\r");
    station.Key(VkF5);  // on the last field, an Alpha one: nothing
    station.Key(VkHome);
    station.Key(VkF5);
    station.Add(script::Call([&] {  // the range legend with its option keys
        EXPECT_EQ(station.Text(1, 25, 11), " ESCAbbruch");
        EXPECT_EQ(station.Text(52, 25, 9), "F7Ziffern");
    }));
    station.Type("5\r99\r");
    station.Add(
        script::Call([&] { EXPECT_EQ(station.Text(20, 1, 24), "Feld 1 (1-4) [5...99] Nu"); }));
    station.Key(VkF5);
    station.Key(VkF7);  // digits
    station.Key(VkF8);  // with a condition
    station.Type("0135\r");
    station.Type("2\r13\r");  // while field 2 holds 1 or 3
    station.Add(script::Call([&] {
        EXPECT_EQ(station.Text(20, 1, 24), "Feld 1 (1-4) {0135} Num ");
        EXPECT_FALSE(FieldConditionOn);
    }));
    // A third field, 1 to 9 while field 1 holds 5 to 7.
    station.Key(VkEnd);
    station.Type("n+2\r");
    station.Key(VkF5);
    station.Key(VkF6);  // a number range again
    station.Key(VkF8);
    station.Type("1\r9\r1\r5\r7\r");
    Run();
    const std::string journal = dir.Read("KELBRIN4.CR1");
    EXPECT_EQ(Get32(journal, 10 + 7), -135);
    EXPECT_EQ(Get32(journal, 10 + 11), DigitSetMarker);
    const std::size_t ext = journal.find("ExtFld01");
    ASSERT_NE(ext, std::string::npos);
    EXPECT_EQ(Get16(journal, ext + 8 + 2), 2);
    EXPECT_EQ(Get32(journal, ext + 8 + 4), 13);
    EXPECT_EQ(Get32(journal, ext + 8 + 8), DigitSetMarker);
    EXPECT_EQ(Get16(journal, ext + 8 + 24 + 2), 1);
    EXPECT_EQ(Get32(journal, ext + 8 + 24 + 4), 5);
    EXPECT_EQ(Get32(journal, ext + 8 + 24 + 8), 7);
}

TEST_F(DefinitionMode, AConditionOnAFieldThatDoesNotExistIsDropped) {
    station.Type("n4\r");
    station.Key(VkHome);
    station.Key(VkF5);
    station.Key(VkF8);  // with a condition
    station.Type("5\r99\r");
    station.Type("7\r1\r3\r");  // field 7 does not exist
    Run();
    EXPECT_EQ(station.host().Beeps(), 1);
    EXPECT_EQ(FieldExtras[1].ConditionField, 0);
    EXPECT_EQ(FieldExtras[1].ConditionFrom, 1);  // no condition keeps no range either
    EXPECT_EQ(FieldExtras[1].ConditionTo, 0);
    EXPECT_EQ(dir.Read("KELBRIN4.CR1").find("ExtFld01"), std::string::npos);
}

TEST_F(DefinitionMode, AnEmptyRangeAnswerRemovesTheRange) {
    station.Type("n4\r");
    station.Key(VkHome);
    station.Key(VkF5);
    station.Type("5\r9\r");
    // Esc, even after F8 asked for a condition, changes nothing.
    Keys({VkF5, VkF8, VkEscape});
    station.Add(script::Call([&] {
        EXPECT_FALSE(FieldConditionOn);
        EXPECT_EQ(Get32(dir.Read("KELBRIN4.CR1"), 10 + 11), 9);
    }));
    station.Key(VkF5);
    station.Type("\r");
    Run();
    const std::string journal = dir.Read("KELBRIN4.CR1");
    EXPECT_EQ(Get32(journal, 10 + 7), 1);
    EXPECT_EQ(Get32(journal, 10 + 11), 0);
}

TEST_F(DefinitionMode, TablesAndAddressColumnsExcludeEachOther) {
    dir.Write("Tab/orte", "Berlin\nBern\n");
    dir.Write("Tab/adr", "Musterstadt\t12345\t\nHauptstr.\t1-9\n");
    station.Type("a10\r");
    station.Type("b+2\r");
    station.Type("t");  // on a Bypass field: nothing
    station.Key(VkHome);
    station.Type("torte\r");
    // Each of these keys redraws the screen, which puts the cursor behind the
    // last field again: Home brings it back to field 1.
    station.Add(script::Call([&] {
        int x = 0, y = 0;
        station.Cursor(x, y);
        EXPECT_EQ(x, 13);
        EXPECT_EQ(y, 2);
        EXPECT_NE(dir.Read("KELBRIN4.CR1").find("orte"), std::string::npos);
    }));
    station.Key(VkHome);
    station.Add(script::Call([&] {
        EXPECT_TRUE(HasTable(1));
        EXPECT_EQ(station.Text(20, 1, 30), "Feld 1 (1-10) [Tab:orte] Alpha");
    }));
    station.Type("t\r");  // no name: the table goes
    station.Add(script::Call([&] {
        EXPECT_FALSE(HasTable(1));
        EXPECT_EQ(TableAssignments[1].Name, "");
    }));
    station.Key(VkHome);
    station.Type("torte\r");
    station.Key(VkHome);
    station.Type("1");  // the table goes, column 1 comes
    station.Key(VkHome);
    station.Add(script::Call([&] {
        EXPECT_FALSE(HasTable(1));
        EXPECT_TRUE(HasTable(0));
        EXPECT_EQ(FieldExtras[1].AddressColumn, 1);
        EXPECT_EQ(station.Text(20, 1, 29), "Feld 1 (1-10) [Adr:Str.] Alph");
    }));
    station.Type("t");  // the column goes before the name is asked
    station.Add(script::Call([] { EXPECT_EQ(FieldExtras[1].AddressColumn, 0); }));
    station.Key(VkEscape);
    station.Key(VkHome);
    station.Type("4");
    station.Type("7");  // a field still has a column: the address data stays
    station.Add(script::Call([] { EXPECT_TRUE(HasTable(0)); }));
    station.Type("8");  // every column removed, the address data released
    station.Add(script::Call([] { EXPECT_FALSE(HasTable(0)); }));
    station.Type("9");  // loaded again, for no field yet
    station.Add(script::Call([] { EXPECT_TRUE(HasTable(0)); }));
    station.Key(VkHome);
    station.Type("3");
    station.Key(VkHome);
    station.Add(script::Call([] { EXPECT_EQ(FieldExtras[1].AddressColumn, 3); }));
    station.Type("0");  // this field's column only
    Run();
    EXPECT_EQ(FieldExtras[1].AddressColumn, 0);
    EXPECT_TRUE(HasTable(0));
}

TEST_F(DefinitionMode, TheTypeOverview) {
    station.Key(VkF7);
    Run();
    ASSERT_EQ(station.host().MessageBoxes().size(), 1u);
    const ShownMessageBox& box = station.host().MessageBoxes()[0];
    EXPECT_EQ(box.caption, "Übersicht");
    EXPECT_EQ(box.text.substr(0, 40), "Zeichen: A   \tFunktion:  Alpha Standard ");
    EXPECT_NE(box.text.find("Zeichen: +   \tFunktion:  Num Satz-Zähler"), std::string::npos);
    EXPECT_NE(
        box.text.find(
            "Zeichen: 1-4 \tFunktion:  Adressdaten, 1=Str.,[2=Hausnr.],3=PLZ,4=Ort, laden\r\n"),
        std::string::npos);
    EXPECT_EQ(TypeOverviewText().size(), 29u * 77);
}

TEST_F(DefinitionMode, PastingIntoTheTextEditor) {
    station.Type("a2\r");
    station.Key(VkF6);
    station.Add(script::Paste("Kun\r\nde\t!"));
    station.Key(VkEscape);
    Run();
    EXPECT_EQ(station.Text(3, 2, 7), "Kunde!░");
}

TEST_F(DefinitionMode, StopWithTheTextEditorOpenSavesTheLayout) {
    station.Type("a2\r");
    station.Key(VkF6);
    station.Type("Name");
    station.Add(script::Stop());
    EXPECT_EQ(Run(), StationHarness::Outcome::ProcessEnded);
    const std::string journal = dir.Read("KELBRIN4.CR1");
    EXPECT_EQ(journal.substr(10 + 15 + 80 + 2, 4), "Name");
    EXPECT_TRUE(dir.Exists("KELBRIN4.CR2"));  // left for the next start to find
}

TEST_F(DefinitionMode, SaveLoadAndProgramKeys) {
    station.Type("n3\r");
    station.Key(VkF2);
    station.Type("\r");  // the directory as offered
    station.Key(VkF4);   // with the program keys
    station.Type("erste\r");
    station.Type("a+2\r");
    station.Key(VkF2);
    station.Type("\rzweite\r");
    station.Key(VkF3);
    station.Type("\r");             // the browser, on the last file saved
    station.Add(script::Alt('2'));  // program key 2 := that file
    station.Key(VkHome);            // the first file
    station.Add(script::Alt('1'));  // program key 1 := the highlighted file
    station.Key(VkEscape);
    station.Add(script::Alt('1'));  // loads it
    station.Add(script::Call([] { EXPECT_EQ(ProgramKeyTexts[1], "zweite.DEF"); }));
    station.Key(VkF12);  // the next key's layout
    station.Add(script::Call([&] {
        EXPECT_EQ(CurrentProgramKey, 1);
        EXPECT_EQ(JournalFields(dir), (Fields{"N:1:1:3", "A:4:4:2"}));
    }));
    station.Key(VkF12);  // round to the first again
    Run();
    EXPECT_TRUE(dir.Exists("ERSTE.DEF") || dir.Exists("erste.DEF"));
    EXPECT_EQ(ProgramKeyTexts[0], "erste.DEF");
    EXPECT_EQ(CurrentProgramKey, 0);
    EXPECT_EQ(station.host().ProgramKeyCaption(0), "erste");
    EXPECT_EQ(JournalFields(dir), (Fields{"N:1:1:3"}));
}

// A power failure at any moment leaves a layout journal that is whole: the old
// layout or the new one, never a part of one.
TEST(LayoutJournal, SurvivesBeingKilledAtAnyMoment) {
    std::mt19937 random(7);
    for (int round = 0; round < 12; ++round) {
        TempDir dir;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            StationHarness station;
            for (int i = 0; i < 400; ++i) {
                station.Type("n2\r");
                station.Key(VkHome);
                station.Key(VkInsert);
                station.Key(VkBack);
                station.Key(VkF6);
                station.Type("abc");
                station.Key(VkEscape);
            }
            station.Start();
            _exit(0);
        }
        usleep(std::uniform_int_distribution<int>(2000, 60000)(random));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (!dir.Exists("KELBRIN4.CR1")) continue;
        const std::string bytes = dir.Read("KELBRIN4.CR1");
        ASSERT_GE(bytes.size(), 5084u) << "round " << round;
        EXPECT_EQ(bytes.substr(0, 8), "FeldDef2");
        const std::size_t count = Get16(bytes, 8);
        EXPECT_EQ(bytes.size(), 5084u + 15 * count) << "round " << round;
    }
}

// Positioning at random, checked against the rule an operator sees: the field
// moves by the key's delta, a neighbour it would overlap moves by the same
// delta (and so on down the row of touching fields), and when any of them
// would leave the screen nothing moves at all. Record positions never change,
// the screen shows every field where it now stands and nothing where it stood,
// and the layout journal holds the positions after Esc.
TEST_F(DefinitionMode, RandomPositioningPushesNeighboursAndNeverLosesAField) {
    std::mt19937 random(20261209);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    // Eight fields in bunches, some touching, some apart, the last near the end.
    UseLayout({{'A', 5}, {'N', 3}, {'A', 12}, {'N', 1}, {'A', 7}, {'N', 30}, {'A', 2}, {'N', 4}});
    const int starts[] = {1, 6, 100, 112, 500, 507, 1700, 1836};
    for (int n = 1; n <= FieldCount; ++n)
        FieldTable[n].ScreenPos = static_cast<int16_t>(starts[n - 1]);
    WriteDefinitionFile(kLayoutJournal);
    const std::vector<FieldDef> original(FieldTable.begin() + 1,
                                         FieldTable.begin() + 1 + FieldCount);

    struct Move {
        uint16_t key;
        int (*delta)(int s, int length);
    };
    static const Move moves[] = {
        {VkLeft, [](int, int) { return -1; }},
        {VkRight, [](int, int) { return 1; }},
        {VkUp, [](int, int) { return -80; }},
        {VkDown, [](int, int) { return 80; }},
        {VkHome, [](int s, int) { return 1 - ((s - 1) % 80 + 1); }},
        {VkEnd, [](int s, int length) { return 80 - ((s + length - 2) % 80 + 1); }},
        {VkReturn, [](int s, int) { return 81 - ((s - 1) % 80 + 1); }},
        {VkPrior, [](int s, int) { return -((s - 1) / 80) * 80; }},
        {VkNext, [](int s, int) { return (22 - (s - 1) / 80) * 80; }},
    };

    std::vector<int> expected;
    auto positions = [] {
        std::vector<int> at;
        for (int n = 1; n <= FieldCount; ++n) at.push_back(FieldTable[n].ScreenPos);
        return at;
    };
    // What the key must do to field n (1-based), worked out before it is pressed.
    auto foresee = [&](int n, const Move& move) {
        std::vector<int> at = positions();
        const int count = static_cast<int>(at.size());
        const int delta = move.delta(at[n - 1], FieldTable[n].Length);
        std::vector<int> moved = at;
        moved[n - 1] += delta;
        for (int m = n + 1; m <= count && moved[m - 2] + FieldTable[m - 1].Length > at[m - 1]; ++m)
            moved[m - 1] += delta;
        for (int m = n - 1; m >= 1 && moved[m - 1] + FieldTable[m].Length > moved[m]; --m)
            moved[m - 1] += delta;
        for (int m = 1; m <= count; ++m) {
            if (moved[m - 1] < 1 || moved[m - 1] + FieldTable[m].Length - 1 > MaxRecordLength)
                return at;  // refused: nothing moves
        }
        return moved;
    };
    auto screenShowsTheFields = [&] {
        int marked = 0;
        for (int y = 2; y <= 24; ++y) {
            for (int x = 1; x <= 80; ++x) marked += station.Text(x, y, 1) != "░";
        }
        int cells = 0;
        for (int n = 1; n <= FieldCount; ++n) {
            const int p = FieldTable[n].ScreenPos;
            cells += FieldTable[n].Length;
            EXPECT_EQ(station.Text((p - 1) % 80 + 1, (p - 1) / 80 + 2, 1),
                      std::string(1, static_cast<char>(FieldTable[n].Type)))
                << "field " << n;
        }
        EXPECT_EQ(marked, cells);
    };

    for (int round = 0; round < 40; ++round) {
        const int n = pick(1, 8);
        station.Key(VkHome);
        for (int k = 1; k < n; ++k) station.Key(VkDown);
        station.Key(VkF4);
        for (int step = 0; step < 12; ++step) {
            const Move& move = moves[pick(0, 8)];
            station.Add(script::Call([&, n, move] { expected = foresee(n, move); }));
            station.Key(move.key);
            station.Add(script::Call([&, n, round, step] {
                ASSERT_EQ(positions(), expected) << "round " << round << ", step " << step;
                int x = 0, y = 0;
                station.Cursor(x, y);
                const int p = FieldTable[n].ScreenPos;
                EXPECT_EQ(x + 80 * (y - 2), p) << "the cursor stands on the field's start";
                screenShowsTheFields();  // and leaves no trace where it stood
            }));
        }
        station.Key(VkEscape);
        station.Add(script::Call([&] {
            screenShowsTheFields();
            Fields journal;
            for (int m = 1; m <= FieldCount; ++m) {
                const FieldDef& f = FieldTable[m];
                const FieldDef& before = original[m - 1];
                EXPECT_EQ(f.RecordPos, before.RecordPos);
                EXPECT_EQ(f.Length, before.Length);
                journal.push_back(std::string(1, static_cast<char>(f.Type)) + ":" +
                                  std::to_string(f.RecordPos) + ":" + std::to_string(f.ScreenPos) +
                                  ":" + std::to_string(f.Length));
            }
            EXPECT_EQ(JournalFields(dir), journal);
        }));
    }
    Run();
    EXPECT_NE(positions(), std::vector<int>(starts, starts + 8));
}
