// Completing fields from lookup tables and from the postal-code address data,
// and the choice list driven key by key.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "console/WinCrt.h"
#include "screens/EntryScreen.h"
#include "screens/FieldCursor.h"
#include "screens/FieldEngine.h"
#include "screens/FieldValidation.h"
#include "screens/Lookups.h"
#include "screens/Session.h"
#include "screens/TableLoading.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace std::string_literals;

class Lookups : public ::testing::Test {
  protected:
    void SetUp() override {
        FillFieldTypeTable();
        ResetFieldModel();
        ResetEntryScreen();
        Mode = ModeEntry;
        SubMode = SubMain;
    }
    void TearDown() override {
        ResetFieldModel();
        Mode = ModeDefinition;
    }

    // Field n holds `text` and 0 bytes after it.
    static void Key(int n, const std::string& text) {
        const std::span<uint8_t> bytes = FieldBytes(FieldTable[n], WorkRecord);
        std::fill(bytes.begin(), bytes.end(), 0);
        std::copy(text.begin(), text.end(), bytes.begin());
    }
    static std::string Field(int n) {
        const std::span<uint8_t> bytes = FieldBytes(FieldTable[n], WorkRecord);
        return {bytes.begin(), bytes.end()};
    }
    // Runs `lookup` with the keys of `script`; its answer, or nullopt when it
    // waited for a key the script did not have.
    std::optional<bool> Run(const std::function<bool()>& lookup,
                            const std::vector<ScriptEvent>& script = {}) {
        console.Add(script);
        bool found = false;
        if (!console.Run([&] { found = lookup(); })) return std::nullopt;
        EXPECT_EQ(console.host().Remaining(), 0u);
        return found;
    }

    TempDir dir;
    ConsoleHarness console;
};

ScriptEvent Press(uint16_t key) {
    return script::Key(key);
}

const std::string kTable =
    "Bach\nBaden\nBamberg\nBambi\nBann\nBautzen\nBayreuth\nBerlin\nBern\n"
    "Bonn\nHam\nHamburg\nXanten\tam Niederrhein\n";

// Towns sorted, each postal-code line followed by its streets.
const std::string kAddresses =
    "Altdorf\t01067\t\n"
    "Hauptstr.\t1-19\n"
    "Hauptstr.\t2-20\n"
    "Ringstr\t10a-\n"
    "Ringstr\t5\n"
    "Schulweg\t2-20\n"
    "Altdorf\t01069\t\n"
    "Bach\t1-9\n"
    "Bachstr\t1-9\n"
    "Bahnhofstr\n"
    "Berg\t20095\tP\n"
    "Gartenweg\n"
    "Bergen\t20095\t\n"
    "Lindenweg\n";

}  // namespace

TEST_F(Lookups, TablesCompleteOnlyAnEntryThatAloneFits) {
    UseLayout({{'A', 8}});
    const std::vector<std::pair<std::string, std::string>> unique = {
        {"Berl", "Berlin\0\0"s},    // one entry begins with it
        {"  Bo", "Bonn\0\0\0\0"s},  // leading blanks are not typed text
        {"Ham", "Ham\0\0\0\0\0"s},  // the whole key typed: Hamburg does not count
        {"X ", "Xanten\0\0"s},      // the key ends at the TAB; a blank ends the text
    };
    for (const std::string order : {"sorted", "unsorted"}) {
        std::string lines = kTable;
        if (order == "unsorted")
            lines = "Zwickau\n" + lines;  // no index: every line is a candidate
        dir.Write("Tab/orte", lines);
        ASSERT_TRUE(LoadTable("orte", 1));
        ASSERT_EQ(TableAssignments[1].Table->HasIndex(), order == "sorted");
        for (const auto& [typed, completed] : unique) {
            Key(1, typed);
            EXPECT_EQ(Run([] { return TableLookup(1, false); }), true) << typed << ", " << order;
            EXPECT_EQ(Field(1), completed) << typed << ", " << order;
        }
        for (const std::string typed : {"Berlinxy", "Q", "Bx"}) {
            Key(1, typed);
            EXPECT_EQ(Run([] { return TableLookup(1, false); }), false) << typed << ", " << order;
            EXPECT_EQ(Field(1).substr(0, typed.size()), typed);
        }
    }
    // Verify mode looks nothing up.
    Mode = ModeVerify;
    Key(1, "Berl");
    EXPECT_EQ(Run([] { return TableLookup(1, false); }), true);
    EXPECT_EQ(Field(1), "Berl\0\0\0\0"s);
}

TEST_F(Lookups, ChoiceListKeyByKey) {
    // One field on row 3 from column 5, another one below it.
    UseLayout({{'A', 10}, {'A', 10}});
    FieldTable[1].ScreenPos = 80 + 5;
    FieldTable[2].ScreenPos = 17 * 80 + 1;  // row 19, the highest that lists higher
    dir.Write("Tab/orte", kTable);
    ASSERT_TRUE(LoadTable("orte", 1));
    ASSERT_TRUE(LoadTable("orte", 2));
    RedrawEntryScreen(15);

    const auto list = [&](int x, int y) {
        std::vector<std::string> rows;
        for (int r = 0; r < 5; ++r) rows.push_back(console.Text(x, y + r, 7));
        return rows;
    };
    using Rows = std::vector<std::string>;
    Key(1, "Ba");
    DrawEntryField(1);
    std::vector<std::string> before;
    for (int y = 2; y <= 25; ++y) before.push_back(console.Row(y));
    std::vector<ScriptEvent> keys = {
        script::Call([&] {
            // As wide as the widest entry shown.
            EXPECT_EQ(list(5, 3), (Rows{"Bach   ", "Baden  ", "Bamberg", "Bambi  ", "Bann   "}));
            // Dark grey on white for the first line, white on dark grey for
            // the others, as the screen shows those pairs.
            EXPECT_EQ(console.Cell(5, 3).color, kWhite);
            EXPECT_EQ(console.Cell(5, 4).color, kBlack);
        }),
        Press(VkDown), Press(VkDown), Press(VkDown),
        script::Call([&] { EXPECT_EQ(console.Text(5, 3, 7), "Bambi  "); }),
        // Four on would pass the last entry that fits: the list stops there,
        // and the rows after the last candidate stay blank.
        Press(VkNext), script::Call([&] {
            const std::string blank(8, ' ');
            EXPECT_EQ(console.Text(5, 3, 8), "Bayreuth");
            for (int y = 4; y < 8; ++y) EXPECT_EQ(console.Text(5, y, 8), blank);
        }),
        Press(VkUp), Press(VkPrior),
        script::Call([&] { EXPECT_EQ(console.Text(5, 3, 7), "Baden  "); }),
        Press(VkPrior),  // never before the first candidate
        script::Call([&] { EXPECT_EQ(console.Text(5, 3, 7), "Bach   "); }), Press(VkDown),
        Press(VkDown), Press(VkHome),
        script::Call([&] { EXPECT_EQ(console.Text(5, 3, 7), "Bach   "); }), Press(VkF1),
        script::Char('x'),  // keys without a meaning here beep
        Press(VkDown), script::Key(VkReturn, 0, '\r')};
    EXPECT_EQ(Run([] { return TableLookup(1, false); }, keys), true);
    EXPECT_EQ(Field(1), "Baden\0\0\0\0\0"s);
    EXPECT_EQ(console.host().Beeps(), 2);
    // The screen is whole again, the cursor where it was.
    for (int y = 2; y <= 25; ++y)
        EXPECT_EQ(console.Row(y), before[static_cast<std::size_t>(y - 2)]);
    EXPECT_EQ(CursorRecordPos(), 15);

    // A shorter entry scrolled to the top leaves nothing of the longer one.
    Key(1, "Ber");
    EXPECT_EQ(Run([] { return TableLookup(1, false); },
                  {Press(VkDown), script::Call([&] { EXPECT_EQ(console.Text(5, 3, 6), "Bern  "); }),
                   script::Key(VkEscape, 0, 27)}),
              false);

    // Down goes no further than the entries that fit.
    Key(1, "Bamb");
    EXPECT_EQ(Run([] { return TableLookup(1, false); },
                  {Press(VkDown), Press(VkDown), script::Key(VkReturn, 0, '\r')}),
              true);
    EXPECT_EQ(Field(1), "Bambi\0\0\0\0\0"s);

    // Esc keeps what was typed; the caller beeps.
    Key(1, "Ba");
    EXPECT_EQ(Run([] { return TableLookup(1, false); }, {script::Key(VkEscape, 0, 27)}), false);
    EXPECT_EQ(Field(1), "Ba\0\0\0\0\0\0\0\0"s);

    // A field low on the screen gets its list six rows higher, from column 1;
    // a forced list opens for a single fit too.
    Key(2, "Berl");
    keys = {script::Call([&] { EXPECT_EQ(console.Text(1, 13, 6), "Berlin"); }),
            script::Key(VkReturn, 0, '\r')};
    EXPECT_EQ(Run([] { return TableLookup(2, true); }, keys), true);
    EXPECT_EQ(Field(2), "Berlin\0\0\0\0"s);
}

TEST_F(Lookups, AddressDataCompletesTownPostalCodeAndStreet) {
    dir.Write("Tab/adr", kAddresses);
    LoadAddressData();
    ASSERT_NE(TableAssignments[0].Table, nullptr);
    // Street, house number, postal code, town.
    UseLayout({{'A', 16}, {'A', 4}, {'A', 5}, {'A', 8}});
    for (int n = 1; n <= 4; ++n) FieldExtras[n].AddressColumn = static_cast<int16_t>(n);
    const auto record = [](const std::string& street, const std::string& house,
                           const std::string& postal, const std::string& town) {
        Key(1, street);
        Key(2, house);
        Key(3, postal);
        Key(4, town);
    };
    const auto text = [](int n) {
        const std::string bytes = Field(n);
        return bytes.substr(0, bytes.find('\0'));
    };
    const auto town = [] { return AddressLookup(4, false); };

    // The town alone fills in its postal code; "Berg" is a whole town name.
    record("", "", "", "Berg");
    EXPECT_EQ(Run(town), true);
    EXPECT_EQ(text(3), "20095");
    EXPECT_EQ(text(4), "Berg");

    // A postal code fills in an empty town when the cursor leaves it; a code
    // with two towns asks which.
    record("", "", "01069", "");
    EXPECT_TRUE(FieldExit(4, true));
    EXPECT_EQ(text(4), "Altdorf");
    record("", "", "20095", "");
    EXPECT_EQ(Run(town, {Press(VkDown), script::Key(VkReturn, 0, '\r')}), true);
    EXPECT_EQ(text(4), "Bergen");
    record("", "", "99999", "");
    EXPECT_EQ(Run(town), false);

    // Streets with house numbers: each side of the street, open ranges with
    // letters, a single number.
    struct Street {
        std::string street, house;
        bool found;
    };
    for (const Street& s : std::vector<Street>{{"Hauptstr.", "13", true},
                                               {"Hauptstr.", "14", true},
                                               {"Hauptstr.", "21", false},
                                               {"Ringstr", "10", false},
                                               {"Ringstr", "10b", true},
                                               {"Ringstr", "12", true},
                                               {"Ringstr", "5", true},
                                               {"Ringstr", "7", false},
                                               {"Schulweg", "13", false},
                                               {"Schulweg", "14", true},
                                               {"Hauptstr", "", true},
                                               {"Haupt", "", true}}) {
        record(s.street, s.house, "01067", "Altdorf");
        EXPECT_EQ(Run(town), s.found) << s.street << " " << s.house;
        if (s.found) {
            EXPECT_EQ(text(1), s.street.starts_with("Haupt") ? "Hauptstr." : s.street);
        }
    }

    // The street as keyed wins over an earlier one it merely begins with.
    record("Bachstr", "5", "01069", "Altdorf");
    EXPECT_EQ(Run(town), true);
    EXPECT_EQ(text(1), "Bachstr");

    // Neither town nor postal code: nothing to look up.
    record("Hauptstr.", "13", "", "");
    EXPECT_EQ(Run(town), true);
    EXPECT_EQ(text(4), "");

    // Verify mode looks nothing up.
    Mode = ModeVerify;
    record("", "", "", "Berg");
    EXPECT_EQ(Run(town), true);
    EXPECT_EQ(text(3), "");

    // Without address data nothing is checked (the operator was told).
    Mode = ModeEntry;
    ReleaseSlot(0);
    record("", "", "", "Nirgendwo");
    EXPECT_EQ(Run(town), true);
}

TEST_F(Lookups, AddressDataWithoutHouseNumberOrTownField) {
    dir.Write("Tab/adr", kAddresses);
    LoadAddressData();
    // Street (with its house number) and postal code only.
    UseLayout({{'A', 16}, {'A', 6}});
    FieldExtras[1].AddressColumn = kStreetColumn;
    FieldExtras[2].AddressColumn = kPostalCodeColumn;
    const auto postal = [] { return AddressLookup(2, false); };

    // A loose street name ("hauptstr" for "Hauptstr.") is written as the data
    // has it, followed by the house number.
    Key(1, "hauptstr 13");
    Key(2, "01067");
    EXPECT_EQ(Run(postal), true);
    EXPECT_EQ(Field(1), "Hauptstr. 13\0\0\0\0"s);
    Key(1, "Ringstr 10B");
    EXPECT_EQ(Run(postal), true);
    EXPECT_EQ(Field(1), "Ringstr 10b\0\0\0\0\0"s);
    Key(1, "Ringstr 10");
    EXPECT_EQ(Run(postal), false);
    EXPECT_EQ(Field(1), "Ringstr 10\0\0\0\0\0\0"s);

    // The postal code field checks its own code.
    Key(1, "");
    for (const auto& [code, found] : std::vector<std::pair<std::string, bool>>{
             {" 01069", true}, {"0106x", false}, {"99999", false}}) {
        Key(2, code);
        EXPECT_EQ(Run(postal), found) << code;
        EXPECT_EQ(Field(2).substr(0, code.size()), code);
    }
    // The street field itself looks nothing up.
    Key(1, "Nirgendwo 1");
    EXPECT_EQ(Run([] { return AddressLookup(1, false); }), true);
}

TEST_F(Lookups, CheckingAStoredValueNeedsAWholeEntryAndChangesNothing) {
    dir.Write("Tab/orte", kTable);
    dir.Write("Tab/adr", kAddresses);
    LoadAddressData();
    // A table field of 6, street, postal code, town.
    UseLayout({{'A', 6}, {'A', 16}, {'A', 5}, {'A', 8}});
    ASSERT_TRUE(LoadTable("orte", 1));
    FieldExtras[2].AddressColumn = kStreetColumn;
    FieldExtras[3].AddressColumn = kPostalCodeColumn;
    FieldExtras[4].AddressColumn = kTownColumn;
    for (const auto& [value, held] : std::vector<std::pair<std::string, bool>>{
             {"Berlin", true},
             {"Bern  ", true},
             {"  Bonn", true},  // blanks around a key
             {"Ham", true},
             {"Hambur", true},  // a whole key; a key cut to the field
             {"Xanten", true},
             {"Ber", false},  // only the start of two entries
             {"Berl", false},
             {"Bonnx", false},  // completed when keyed, but no entry
         }) {
        Key(1, value);
        EXPECT_EQ(TableHolds(1, WorkRecord), held) << value;
        EXPECT_EQ(Field(1).substr(0, value.size()), value);
    }
    const auto address = [](const std::string& street, const std::string& postal,
                            const std::string& town) {
        Key(2, street);
        Key(3, postal);
        Key(4, town);
        const bool held = AddressDataHolds(4, WorkRecord);
        EXPECT_EQ(Field(4).substr(0, town.size()), town);
        return held;
    };
    EXPECT_TRUE(address("Hauptstr. 13", "01067", "Altdorf"));
    EXPECT_TRUE(address("hauptstr 13", "01067", "Altdorf"));  // matched loosely, as when keyed
    EXPECT_FALSE(address("Hauptstr. 21", "01067", "Altdorf"));
    EXPECT_FALSE(address("", "01067", "Alt"));
    EXPECT_FALSE(address("", "20095", "Altdorf"));
    EXPECT_TRUE(address("", "01069", ""));  // the station fills the town in
    EXPECT_TRUE(address("", "", "Bergen"));
    EXPECT_EQ(console.host().Beeps(), 0);
}
