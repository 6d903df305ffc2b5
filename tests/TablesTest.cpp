#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "console/WinCrt.h"
#include "screens/FieldCursor.h"
#include "screens/LineEditor.h"
#include "screens/Session.h"
#include "screens/TableLoading.h"
#include "files/LookupTable.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/TempDir.h"

namespace {

using Strings = std::vector<std::string>;
using namespace std::string_literals;

class Tables : public ::testing::Test {
  protected:
    void SetUp() override {
        FillFieldTypeTable();
        ResetFieldModel();
        ResetLineEditor();
        Mode = ModeDefinition;
        SubMode = SubMain;
    }
    void TearDown() override { ResetFieldModel(); }

    static const LookupTable& Slot(int slot) { return *TableAssignments[slot].Table; }
    static bool Empty(int slot) { return TableAssignments[slot].Table == nullptr; }
    static Strings Lines(int slot) {
        Strings lines;
        for (int32_t i = 0; i < Slot(slot).LineCount(); ++i) lines.emplace_back(Slot(slot).Line(i));
        return lines;
    }
    // Loads `bytes` as table "t" into `slot`; no message is expected.
    bool Load(const std::string& bytes, int slot = 1) {
        dir.Write("Tab/t", bytes);
        return LoadTable("t", slot);
    }
    // Runs `load` on the console, answering one message with a key; false
    // when the station ended.
    bool RunAnsweringMessage(const std::function<void()>& load) {
        console.Add(script::Key(VkReturn, 0, '\r'));
        bool ended = false;
        EXPECT_TRUE(console.Run([&] {
            try {
                load();
            } catch (const ProcessEnded&) {
                ended = true;
            }
        }));
        EXPECT_EQ(console.host().Remaining(), 0u) << "no key was waited for";
        return !ended;
    }

    TempDir dir;
    ConsoleHarness console;
};

}  // namespace

TEST_F(Tables, LinesAsTheLineReaderGivesThemWithoutBlanks) {
    ASSERT_TRUE(Load("a  \r\n\n   \r\nb\rc\r\nd\0zz\nx\ry\rz\r"s));
    // A CR inside a line stays, as in an unended last line; a NUL ends a line.
    EXPECT_EQ(Lines(1), (Strings{"a", "b\rc", "d", "x\ry\rz\r"}));

    // Cut at 255 bytes, also when a line spans the 64 KiB blocks the file is
    // read in, or its CR LF is split between two of them.
    std::string bytes = "a\n" + std::string(100000, 'b') + "\r\n";
    bytes += std::string(65535 - 10 - bytes.size() % 65536, 'c') + "\n";
    bytes += "ddddddddd\r\n" + std::string(255, 'e') + "\r";
    ASSERT_TRUE(Load(bytes));
    EXPECT_EQ(Lines(1), (Strings{"a", std::string(255, 'b'), std::string(255, 'c'), "ddddddddd",
                                 std::string(255, 'e')}));
}

TEST_F(Tables, SlotsAreReplacedOrLeftEmpty) {
    ASSERT_TRUE(Load("a\nb\n", 7));
    ASSERT_TRUE(Load("c\n", 7));
    EXPECT_EQ(Lines(7), (Strings{"c"}));
    EXPECT_FALSE(Load("   \r\n\n\0\n"s, 7));  // no entries: no table
    EXPECT_TRUE(Empty(7));

    ASSERT_TRUE(Load("a\n", 4));
    EXPECT_TRUE(RunAnsweringMessage([] { EXPECT_FALSE(LoadTable("ORTSNAMEN", 4)); }));
    EXPECT_TRUE(Empty(4));
    EXPECT_EQ(console.Text(25, 12, 37), "Kann Tabelle ORTSNAME nicht lesen !!!");
    dir.Write("Tab/dir/x", "a\n");  // a directory of that name is no table either
    EXPECT_TRUE(RunAnsweringMessage([] { EXPECT_FALSE(LoadTable("dir", 4)); }));
    // Nor a FIFO (opening it would wait for a writer) or an endless device.
    ASSERT_EQ(::mkfifo("Tab/fifo", 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", "Tab/zero"), 0);
    EXPECT_TRUE(RunAnsweringMessage([] { EXPECT_FALSE(LoadTable("fifo", 4)); }));
    EXPECT_TRUE(RunAnsweringMessage([] { EXPECT_FALSE(LoadTable("zero", 4)); }));
    EXPECT_EQ(console.Text(25, 12, 33), "Kann Tabelle zero nicht lesen !!!");
}

TEST_F(Tables, OneFileIsHeldOnceHoweverManyFieldsNameIt) {
    dir.Write("Tab/orte", "Bonn\nKiel\n");
    for (int field = 1; field <= 200; ++field)
        ASSERT_TRUE(LoadTable(field % 2 ? "orte" : "ORTE", field));
    ASSERT_TRUE(LoadTable("orte", 7));  // the same field again
    const LookupTable* const one = &Slot(1);
    for (int field = 2; field <= 200; ++field) ASSERT_EQ(&Slot(field), one) << field;

    ReleaseSlot(1);  // the other fields keep it
    ReleaseSlot(7);
    EXPECT_EQ(Lines(2), (Strings{"Bonn", "Kiel"}));
    EXPECT_EQ(Slot(200).PrefixEntry('K', 'i'), 1);

    // A changed file is read anew for the field that loads it; the others keep
    // the table they have until they load it again.
    dir.Write("Tab/orte", "Aachen\n");
    ASSERT_TRUE(LoadTable("orte", 3));
    EXPECT_EQ(Lines(3), (Strings{"Aachen"}));
    EXPECT_EQ(&Slot(2), one);
    ASSERT_TRUE(LoadTable("orte", 2));
    EXPECT_EQ(&Slot(2), &Slot(3));
}

TEST_F(Tables, IndexRefersToTheFirstLineOfEachPairAndBoundsTheCandidates) {
    // Bytes compare without sign: 'ä' (0x84) sorts after 'Z'.
    ASSERT_TRUE(Load("A\nAb\nBa\nBerlin\nBerlin\nBern\nZug\n\x84rger\tx\n"));
    const LookupTable& table = Slot(1);
    ASSERT_TRUE(table.HasIndex());
    EXPECT_EQ(table.PrefixEntry('A', 0), 0);  // a one-character line
    EXPECT_EQ(table.PrefixEntry('B', 'e'), 3);
    EXPECT_EQ(table.PrefixEntry(0x84, 'r'), 7);
    EXPECT_EQ(table.PrefixEntry('B', 'x'), -1);
    EXPECT_FALSE(table.HasPrefixRow('C'));
    EXPECT_EQ(table.LineKey(7), "\x84rger");

    const auto range = [&](uint8_t c1, uint8_t c2) {
        const ItemRange r = table.Candidates(c1, c2);
        return std::pair(r.first, r.end);
    };
    EXPECT_EQ(range('B', 'e'), std::pair(3, 6));
    EXPECT_EQ(range('B', 0), std::pair(2, 6));  // one typed character: the whole row
    EXPECT_EQ(range(0x84, 0), std::pair(7, 8));
    EXPECT_TRUE(table.Candidates('B', 'x').Empty());
    EXPECT_TRUE(table.Candidates('C', 0).Empty());
}

TEST_F(Tables, LinesOutOfOrderDropTheIndexButStay) {
    ASSERT_TRUE(Load("Aa\nAb\nBa\nAc\nBb\n"));
    EXPECT_FALSE(Slot(1).HasIndex());
    EXPECT_EQ(Lines(1).size(), 5u);
    EXPECT_EQ(Slot(1).PrefixEntry('A', 'a'), -1);
    EXPECT_EQ(Slot(1).Candidates('A', 'c').first, 0);  // the whole list
    EXPECT_EQ(Slot(1).Candidates('A', 'c').end, 5);
    // Duplicates, and a line before a longer one it begins, are in order.
    ASSERT_TRUE(Load("Ab\nAb\nAbc\n"));
    EXPECT_TRUE(Slot(1).HasIndex());
    ASSERT_TRUE(Load("Abc\nAb\n"));
    EXPECT_FALSE(Slot(1).HasIndex());
}

TEST_F(Tables, AddressDataByTownAndByPostalCode) {
    dir.Write("Tab/adr",
              "Aachen\t52062\t\n"    // node 0
              "Marktstr.\t1-19\n"    //
              "Dresden\t01067\t\n"   // node 1
              "Altmarkt\n"           //
              "Dresden\t01067\tP\n"  // node 2: the same code
              "Hauptstr. P\n"        // P without TAB: a street line
              "Hof\t\n"              // too short for a postal-code line
              "Wege\tP\n"            // too short as well
              "Dresden\t01069\tP\n"  // node 3
              "Zittau\t01067\t\n"    // node 4: the same code a third time
              "\x84rmel\t99999\t");  // node 5, without line end
    LoadAddressData();
    ASSERT_FALSE(Empty(0));
    const LookupTable& adr = Slot(0);
    ASSERT_EQ(adr.NodeCount(), 6);
    const std::vector<int32_t> nodeLines{0, 2, 4, 8, 9, 10};
    for (int32_t node = 0; node < 6; ++node) EXPECT_EQ(adr.NodeLine(node), nodeLines[node]);

    // 01067: first digit 0, entry 1067; its lines chained in file order.
    EXPECT_EQ(adr.postal[1067], 1);
    EXPECT_EQ(adr.FirstNodeOfCode(1067), 1);
    EXPECT_EQ(adr.NextSameCode(1), 2);
    EXPECT_EQ(adr.NextSameCode(2), 4);
    EXPECT_EQ(adr.NextSameCode(4), -1);
    EXPECT_EQ(adr.PrevSameCode(4), 2);
    EXPECT_EQ(adr.PrevSameCode(1), -1);
    EXPECT_EQ(adr.FirstNodeOfCode(1069), 3);
    EXPECT_EQ(adr.FirstNodeOfCode(99999), 5);
    EXPECT_EQ(adr.FirstNodeOfCode(1068), -1);
    EXPECT_EQ(adr.PostalCodeOfNode(3), 1069);
    EXPECT_EQ(adr.StreetLines(2).first, 5);
    EXPECT_EQ(adr.StreetLines(2).end, 8);
    EXPECT_TRUE(adr.StreetLines(3).Empty());

    // The town index holds address nodes; street lines are not in it.
    ASSERT_TRUE(adr.HasIndex());
    EXPECT_EQ(adr.PrefixEntry('D', 'r'), 1);
    EXPECT_EQ(adr.PrefixEntry('H', 'a'), -1);
    EXPECT_EQ(adr.Candidates('D', 'r').end, 4);

    dir.Write("Tab/adr", "Bonn\t53111\t\n");  // already loaded: not read again
    LoadAddressData();
    EXPECT_EQ(Slot(0).NodeCount(), 6);
}

TEST_F(Tables, TownsOutOfOrderKeepTheAddressDataWithoutTownIndex) {
    dir.Write("Tab/adr", "Bonn\t53111\t\nZeile\nAllee\nAachen\t52062\t\nB\n");
    LoadAddressData();
    ASSERT_FALSE(Empty(0));
    EXPECT_FALSE(Slot(0).HasIndex());
    EXPECT_EQ(Slot(0).FirstNodeOfCode(52062), 1);
    EXPECT_EQ(Slot(0).Candidates('A', 'a').end, 2);  // every town, in file order

    ReleaseSlot(0);  // street lines out of order do not count
    dir.Write("Tab/adr", "Bonn\t53111\t\nZeile\nAllee\nBonn\t53113\t\nB\n");
    LoadAddressData();
    EXPECT_TRUE(Slot(0).HasIndex());
}

TEST_F(Tables, DamagedPostalCodeEndsTheStationWithoutAddressData) {
    dir.Write("Tab/adr", "Bonn\t53111\t\nZeile\nBonn\t5311x\t\nAllee\n");
    EXPECT_FALSE(RunAnsweringMessage(LoadAddressData));
    EXPECT_EQ(console.host().ExitCode(), 1);
    EXPECT_TRUE(Empty(0));
    EXPECT_EQ(console.Text(25, 12, 39), "Plz in den Adressdaten ist fehlerhaft !");
    // A street line ending in TAB reads as a postal-code line as well.
    dir.Write("Tab/adr", "Bonn\t53111\t\nHauptstr.\t\n");
    EXPECT_FALSE(RunAnsweringMessage(LoadAddressData));
    EXPECT_TRUE(Empty(0));
}

TEST_F(Tables, AskTableNameForTheFieldUnderTheCursor) {
    dir.Write("Tab/ortsname", "Bonn\n");
    console.Type("ortsname\r");  // no field yet: cancelled
    console.Type("ab");
    console.Add(script::Key(VkEscape, 0, 27));
    console.Type("\r");
    console.Type("ortsnamen\r");  // the ninth character is not taken
    std::vector<TableNameAnswer> answers;
    ASSERT_TRUE(console.Run([&] {
        answers.push_back(AskTableName());
        PutField(1, 'A', 10);
        PutField(2, 'A', 10);
        PlaceCursorAtRecordPos(14);
        for (int i = 0; i < 3; ++i) answers.push_back(AskTableName());
    }));
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_TRUE(answers[0].cancelled);
    EXPECT_TRUE(answers[1].cancelled);
    EXPECT_FALSE(answers[2].cancelled);
    EXPECT_EQ(answers[2].name, "");
    EXPECT_FALSE(answers[3].cancelled);
    EXPECT_EQ(answers[3].name, "ortsname");
    EXPECT_TRUE(Empty(1));
    EXPECT_EQ(Lines(2), (Strings{"Bonn"}));
    EXPECT_EQ(console.Text(1, 1, 31), "Dateiname der Tabelle: ortsname");
    EXPECT_EQ(CursorX, 14);  // the cursor is back in the field
}

TEST(SplitHouseNumber, NumberLetterAndWhatStandsBefore) {
    struct Case {
        std::string text;
        int32_t number;
        char letter;
        std::string rest;
    };
    const std::vector<Case> cases{
        {"Hauptstr. 12a", 12, 'A', "Hauptstr."},
        {"Hauptstr. 12 B  ", 12, 'B', "Hauptstr."},
        {"Hauptstr.", 0, ' ', "Hauptstr."},
        {"Hauptstr", 0, 'R', "Hauptst"},  // a last letter is taken even without a number
        {"B3 4", 4, ' ', "B3"},
        {"10a", 10, 'A', ""},  // nothing before the number
        {" 7", 7, ' ', ""},    // nor before the blank
        {"Weg 2147483647", 2147483647, ' ', "Weg"},
        {"Weg 2147483648", 0, ' ', "Weg"},   // too many digits for a number
        {"Str. \x84", 0, ' ', "Str. \x84"},  // an umlaut is no house-number letter
        {"   ", 0, ' ', ""},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        const HouseNumber split = SplitHouseNumber(text);
        EXPECT_EQ(split.number, c.number) << c.text;
        EXPECT_EQ(split.letter, c.letter) << c.text;
        EXPECT_EQ(text, c.rest) << c.text;
    }
}

TEST(TableNames, ANameThatLeavesTheTableDirectoryIsRefused) {
    TempDir dir;
    dir.Write("geheim", "a\n");
    dir.Write("Tab/x", "b\n");
    ConsoleHarness console;
    console.Type("x");
    console.Run([] { EXPECT_FALSE(LoadTable("../geheim", 3)); });
    EXPECT_FALSE(HasTable(3));
    EXPECT_EQ(console.Text(25, 12, 33), "Kann Tabelle ../gehei nicht lesen");
}
