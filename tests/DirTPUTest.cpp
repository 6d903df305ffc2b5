#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/WinCrt.h"
#include "platform/FileSystem.h"
#include "screens/DirTPU.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/TempDir.h"

namespace {

class Browser : public ::testing::Test {
  protected:
    void Files(const std::vector<std::string>& names) const {
        for (const std::string& name : names) dir.Write(name, "");
    }
    // n files named by `format` from 0 on (byte order is number order).
    void Numbered(int n, const char* format = "N%03d") const {
        char name[32];
        for (int i = 0; i < n; ++i) {
            std::snprintf(name, sizeof name, format, i);
            dir.Write(name, "");
        }
    }
    // Records the highlighted name at this point of the script: its cells show
    // white (dark grey on white), every other name black.
    void Look() {
        console.Add(script::Call([this] {
            std::string text;
            for (int y = 2; y <= 24; ++y)
                for (int x = 1; x <= 80; ++x)
                    if (console.Cell(x, y).color == kWhite) text += console.Cell(x, y).ch;
            seen.push_back(text);
        }));
    }
    void Keys(std::initializer_list<uint16_t> keys) {
        for (uint16_t key : keys) {
            console.Add(script::Key(key));
            Look();
        }
    }
    std::string Pick(std::string_view pattern = "*", std::string_view preselected = "",
                     const DirKeyHandler& handler = nullptr) {
        std::string result = "(not returned)";
        console.Run([&] { result = PickFile(pattern, preselected, 0, handler); });
        return result;
    }

    TempDir dir;
    ConsoleHarness console;
    std::vector<std::string> seen;
};

}  // namespace

TEST_F(Browser, PreselectionIgnoresCaseButPrefersTheExactName) {
    Files({"ALPHA.DEF", "Beta.def", "beta.def"});
    for (const char* name : {"BETA.DEF", "beta.def", "alpha.def", "DELTA.DEF"}) {
        Look();
        console.Type("\r");
        seen.push_back(Pick("*.DEF", name));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"Beta.def", "Beta.def", "beta.def", "beta.def",
                                              "ALPHA.DEF", "ALPHA.DEF", "ALPHA.DEF", "ALPHA.DEF"}));
}

TEST_F(Browser, LetterSearchStepsThroughBothCasesAndWraps) {
    Files({"ALPHA", "AMBER", "BETA", "avocado"});  // byte order: upper case first
    for (const char* letter : {"a", "a", "a", "B", "z"}) {
        console.Type(letter);
        Look();
    }
    console.Add(script::Key(VkEscape, 0, 27));
    EXPECT_EQ(Pick(), "");  // Escape gives nothing, whatever is highlighted
    EXPECT_EQ(seen, (std::vector<std::string>{"AMBER", "avocado", "ALPHA", "BETA", "BETA"}));
}

TEST_F(Browser, MovingOnAPartlyFilledPage) {
    Numbered(30);
    Keys({VkNext, VkPrior, VkUp, VkEnd, VkDown, VkRight, VkHome, VkNext});
    console.Type("\r");
    EXPECT_EQ(Pick(), "N023");
    EXPECT_EQ(seen, (std::vector<std::string>{"N023", "N000", "N000", "N029", "N029", "N029",
                                              "N000", "N023"}));
    EXPECT_EQ(console.Cell(21, 2).color, kWhite);  // Page Down: second column, first row
    EXPECT_EQ(console.Cell(1, 2).color, kBlack);
}

TEST_F(Browser, LeavingAFullPageScrollsByWhatTheMoveNeeds) {
    Numbered(200);
    Keys({VkEnd, VkDown});  // entry 92 at column 61, row 24; then one off the page
    console.Add(script::Call([this] {
        EXPECT_EQ(console.Text(1, 2, 4), "N001");
        EXPECT_EQ(console.Text(61, 24, 4), "N092");
    }));
    Keys({VkHome, VkUp, VkNext, VkNext, VkNext, VkNext});
    console.Add(script::Call([this] { EXPECT_EQ(console.Text(1, 2, 4), "N023"); }));
    console.Type("\r");
    EXPECT_EQ(Pick(), "N092");
    EXPECT_EQ(seen, (std::vector<std::string>{"N091", "N092", "N001", "N000", "N023", "N046",
                                              "N069", "N092"}));
    EXPECT_EQ(console.Cell(61, 2).color, kWhite);
}

TEST_F(Browser, KeepsTheNamesThatSortFirstWhenThereAreTooMany) {
    Numbered(kDirectorySlots + 2, "F%04d");
    console.Type("\r\r");
    EXPECT_EQ(Pick("*", "F2047"), "F2047");  // the last slot is used
    EXPECT_EQ(Pick("*", "F2048"), "F0000");  // not listed
}

TEST_F(Browser, NamesFillTheirColumnLongerOnesKeepBothEnds) {
    Numbered(100);
    Files({"Kundenstamm-Hamburg-2024.DEF", "Kundenstamm-Hamburg-2025.DEF", "Kundenstamm.DEF",
           "Sub/x", "Sub_directory_long/x"});
    console.Type("\r");
    EXPECT_EQ(Pick("K*"), "Kundenstamm-Hamburg-2024.DEF");
    EXPECT_EQ(console.Text(1, 2, 20), "Kundensta~-2024.DEF ");
    EXPECT_EQ(console.Text(1, 3, 20), "Kundensta~-2025.DEF ");
    EXPECT_EQ(console.Text(1, 4, 20), "Kundenstamm.DEF     ");
    console.Run([] { ShowDirectory("S*", kAttrDirectory); });
    EXPECT_EQ(console.Text(1, 2, 20), "Sub          [DIR]  ");
    EXPECT_EQ(console.Text(1, 3, 20), "Sub_di~y_long [DIR] ");
    EXPECT_EQ(console.Cell(1, 2).color, kBlack);  // white on dark grey shows black
    console.Run([] { ShowDirectory("N*", kAttrDirectory); });
    EXPECT_EQ(console.Text(1, 2, 18), "N000              ");
    EXPECT_EQ(console.Text(21, 2, 4), "N023");
    EXPECT_EQ(console.Row(24).substr(60), "N091" + std::string(16, ' '));
}

TEST_F(Browser, OtherKeysGoToTheHandlerAndTheListFollowsTheDisk) {
    Files({"A.DEF", "B.DEF", "C.DEF"});
    std::vector<std::string> calls;
    DirKeyHandler handler = [&](uint8_t scan, const std::string& pattern, const DirEntry& entry) {
        calls.push_back(std::to_string(scan) + " " + pattern + " " + entry.Name);
        SetForeColor(kRed);
        if (scan == ScanDel) std::remove(entry.Name.c_str());
    };
    console.Add(script::Key(VkF6));
    console.Add(script::Call([] { EXPECT_EQ(TextColor, kWhite); }));
    Keys({VkDelete});  // B goes: the highlight stays on its slot
    console.Type("\r");
    EXPECT_EQ(Pick("*.DEF", "B.DEF", handler), "C.DEF");
    EXPECT_EQ(calls, (std::vector<std::string>{"64 *.DEF B.DEF", "83 *.DEF B.DEF"}));
    EXPECT_EQ(seen, (std::vector<std::string>{"C.DEF"}));
    EXPECT_EQ(console.Text(1, 4, 5), "     ");

    std::remove("A.DEF");  // the last name deleted: nothing left to pick
    console.Add(script::Key(VkDelete));
    console.Type("\r");
    EXPECT_EQ(Pick("*.DEF", "", handler), "");
    EXPECT_EQ(Pick("*.DEF"), "");  // nothing matched: no key is read
    EXPECT_EQ(console.host().Remaining(), 1u);
    console.host().DropRemaining();
}
