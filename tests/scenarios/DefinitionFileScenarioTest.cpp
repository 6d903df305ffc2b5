#include <gtest/gtest.h>

#include "console/WinCrt.h"
#include "model/FieldModel.h"
#include "model/ScreenLayout.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

void Put16(std::string& out, int value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

// What the operator sees and what the station keeps of the layout.
struct Seen {
    std::string screen;
    std::string journal;
    std::vector<std::string> fields;
    std::array<uint8_t, 2000> layout{};
    bool operator==(const Seen&) const = default;
};

Seen Look(StationHarness& station, const TempDir& dir) {
    Seen seen;
    seen.screen = station.host().Screen();
    seen.journal = dir.Read("KELBRIN4.CR1");
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& f = FieldTable[n];
        seen.fields.push_back(std::string(1, static_cast<char>(f.Type)) + ":" +
                              std::to_string(f.RecordPos) + ":" + std::to_string(f.ScreenPos) +
                              ":" + std::to_string(f.Length) +
                              (HasTable(n) ? ":" + TableAssignments[n].Name : ""));
    }
    seen.layout = ScreenLayout;
    return seen;
}

}  // namespace

// Loading a file that is no layout, one cut short, and one with too many fields:
// each says why, and the layout stays on the screen, in memory and in the
// journal exactly as it was.
TEST(DefinitionFileScenario, RefusedFilesLeaveTheLayoutAsItWas) {
    TempDir dir;
    dir.Write("Tab/orte", "Berlin\nBern\n");
    dir.Write("a_text.def", "Kunde;Name;Ort\r\n");
    std::string cut = "FeldDef2";
    Put16(cut, 2);
    cut += std::string(20, '\x01');  // the second field record is cut off
    dir.Write("b_kurz.def", cut);
    std::string tooMany = "FeldDef2";
    Put16(tooMany, 1841);
    tooMany += std::string(15 * 1841 + 2000 + 3072 + 2, '\0');
    dir.Write("c_viele.def", tooMany);

    StationHarness station;
    station.Type("n3\r");
    station.Type("a+5\r");
    station.Key(VkHome);
    station.Type("torte\r");  // field 1 looks its entries up in a table
    station.Key(VkF6);
    station.Key(VkDown);
    station.Type("Kunde");
    station.Key(VkEscape);
    // A load cancelled at once draws the screen the way a refused one leaves it.
    station.Key(VkF3);
    station.Key(VkEscape);
    Seen before;
    station.Add(script::Call([&] {
        before = Look(station, dir);
        EXPECT_EQ(before.fields, (std::vector<std::string>{"N:1:1:3:orte", "A:4:4:5"}));
    }));
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a", "Keine FeldDefinitions-Datei !!!"},
        {"b", "Keine FeldDefinitions-Datei !!!"},
        {"c", "Zu viele Felder !!!"},
    };
    int looked = 0;
    for (const auto& [letter, message] : files) {
        station.Key(VkF3);
        station.Type("\r");    // the directory as offered
        station.Type(letter);  // the browser finds the file by its first letter
        station.Type("\r");
        station.Add(script::Call([&station, message = message] {
            EXPECT_EQ(station.Text(25, 12, static_cast<int>(message.size())), message);
        }));
        station.Type("x");  // the message waits for a key
        station.Add(script::Call([&, letter = letter] {
            EXPECT_TRUE(Look(station, dir) == before) << letter;
            ++looked;
        }));
    }
    station.Start();
    EXPECT_EQ(looked, 3);
}
