// The operator's guide, docs/bedienung.md, played against the station.
//
// Every key sequence the guide gives to follow along stands after
// "**Tasten:**" or in a table whose first column is "Tasten". The walk below
// reads them from the guide itself and types them, in the order an operator
// following the guide would, into a station whose working directory is made
// from the examples, as the launcher makes it; after each sequence it checks
// what the guide says results. A sequence changed in the guide is played as
// changed; one added without a place in the walk, or a key name the walk does
// not know, fails the test.
//
// What the guide states in running text is played from quotes: each quote is
// first checked to stand in the guide word for word.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "console/ConsoleScreen.h"
#include "console/KeyTables.h"
#include "console/WinCrt.h"
#include "screens/FieldCursor.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/ProgramKeys.h"
#include "platform/CodePage.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSource = fs::path(__FILE__).parent_path().parent_path().parent_path();

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::string& Guide() {
    static const std::string guide = ReadFile(kSource / "docs" / "bedienung.md");
    return guide;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string{} : text.substr(first);
}

// The guide's words with every run of blanks and line ends as one blank, so
// that a quote does not depend on where the guide breaks its lines.
std::string Words(const std::string& text) {
    std::string words;
    for (char c : text) {
        const bool blank = c == ' ' || c == '\n';
        if (!blank || (!words.empty() && words.back() != ' ')) words += blank ? ' ' : c;
    }
    return words;
}

void ExpectInGuide(const std::string& quote) {
    EXPECT_NE(Words(Guide()).find(Words(quote)), std::string::npos)
        << "the guide no longer says: " << quote;
}

struct Sequence {
    int section = 0;  // n of the heading "## n. ..."; 0 for the shift lead's parts
    int ordinal = 0;  // 1, 2, ... within the section
    std::string keys;
    std::string note;  // the rest of a table row
};

std::vector<Sequence> Sequences() {
    std::vector<Sequence> found;
    std::istringstream lines(Guide());
    int section = 0;
    int ordinal = 0;
    bool inBlock = false;
    bool inTable = false;
    for (std::string line; std::getline(lines, line);) {
        const std::string text = Trim(line);
        if (text.rfind("## ", 0) == 0) {
            section = std::atoi(text.c_str() + 3);
            ordinal = 0;
        }
        const bool opens = text.rfind("> **Tasten:**", 0) == 0;
        if (inBlock && !opens && text.rfind("> ", 0) == 0) {
            found.back().keys += " " + text.substr(2);
            continue;
        }
        inBlock = opens;
        if (opens) found.push_back({section, ++ordinal, text.substr(13), {}});
        if (inTable && text.rfind("|", 0) == 0) {
            const auto bar = text.find('|', 1);
            if (text.rfind("|---", 0) != 0)
                found.push_back({section, ++ordinal, text.substr(1, bar - 1), text.substr(bar)});
            continue;
        }
        inTable = text.rfind("| Tasten |", 0) == 0;
    }
    return found;
}

// The keys of a sequence as the guide writes them: keys by name, `typed
// text`, "3 × ↓" for ↓ three times; commas and semicolons only separate, and
// what stands in parentheses only explains. Each key waits for the station
// as an operator's does.
std::vector<ScriptEvent> Events(const std::string& keys) {
    static const std::map<std::string, uint16_t> kNames = {
        {"Enter", VkReturn}, {"Esc", VkEscape},   {"Tab", VkTab},   {"Rück", VkBack},
        {"Entf", VkDelete},  {"Einfg", VkInsert}, {"Pos1", VkHome}, {"Ende", VkEnd},
        {"Bild↑", VkPrior},  {"Bild↓", VkNext},   {"↑", VkUp},      {"↓", VkDown},
        {"←", VkLeft},       {"→", VkRight},      {"F1", VkF1},     {"F2", VkF2},
        {"F3", VkF3},        {"F4", VkF4},        {"F5", VkF5},     {"F6", VkF6},
        {"F7", VkF7},        {"F8", VkF8},        {"F9", VkF9},     {"F10", VkF10},
        {"F11", VkF11},      {"F12", VkF12},
    };
    std::vector<ScriptEvent> events;
    int times = 1;
    for (std::size_t at = 0; at < keys.size();) {
        if (std::string(" ,;").find(keys[at]) != std::string::npos) {
            ++at;
            continue;
        }
        if (keys[at] == '(') {
            at = std::min(keys.find(')', at), keys.size() - 1) + 1;
            continue;
        }
        std::vector<ScriptEvent> typed;
        if (keys[at] == '`') {
            const auto end = keys.find('`', at + 1);
            typed = script::Type(keys.substr(at + 1, end - at - 1));
            at = end == std::string::npos ? keys.size() : end + 1;
        } else {
            const auto end = std::min(keys.find_first_of(" ,;", at), keys.size());
            std::string word = keys.substr(at, end - at);
            at = end;
            if (std::isdigit(static_cast<unsigned char>(word[0]))) {
                const auto sign = keys.find_first_not_of(' ', at);
                if (sign == std::string::npos || keys.compare(sign, 2, "×") != 0) {
                    ADD_FAILURE() << word << " without ×, or typed without ` `: " << keys;
                    continue;
                }
                times = std::atoi(word.c_str());
                at = sign + 2;
                continue;
            }
            ShiftState shift = 0;
            if (word.rfind("Umschalt+", 0) == 0) {
                shift = ShiftKey;
                word.erase(0, 9);
            }
            const auto name = kNames.find(word);
            if (name == kNames.end()) {
                ADD_FAILURE() << "unknown key \"" << word << "\" in: " << keys;
                continue;
            }
            typed.push_back(script::Key(name->second, shift));
        }
        for (; times > 0; --times) {
            for (const ScriptEvent& event : typed) {
                events.push_back(event);
                events.push_back(script::Idle());
            }
        }
        times = 1;
    }
    return events;
}

// Checks that run inside the station once it waits again. Each is counted
// off when it runs, so that a script that stopped early does not pass.
class Checks {
  public:
    ~Checks() { EXPECT_EQ(pending_, 0) << "the script stopped before its last check"; }
    void Then(StationHarness& station, std::function<void()> check) {
        ++pending_;
        station.Add(script::Idle());
        station.Add(script::Call([this, check = std::move(check)] {
            --pending_;
            check();
        }));
    }

  private:
    int pending_ = 0;
};

}  // namespace

class GuideWalk : public ::testing::Test {
  protected:
    GuideWalk() {
        fs::copy(kSource / "examples", dir.path(), fs::copy_options::recursive);
        setenv("KELBRIN_PRINTER", (dir.path() + "/liste.txt").c_str(), 1);
    }
    ~GuideWalk() override { unsetenv("KELBRIN_PRINTER"); }

    void NewSession() { station = std::make_unique<StationHarness>(); }

    // The keys of the guide's `ordinal`-th sequence in section `section`.
    const Sequence& Play(int section, int ordinal) {
        for (const Sequence& sequence : sequences) {
            if (sequence.section != section || sequence.ordinal != ordinal) continue;
            played.insert({section, ordinal});
            station->Add(Events(sequence.keys));
            return sequence;
        }
        ADD_FAILURE() << "the guide has no sequence " << ordinal << " in section " << section;
        static const Sequence none;
        return none;
    }

    void Then(std::function<void()> check) { checks.Then(*station, std::move(check)); }
    StationHarness::Outcome Run() { return station->Start(); }

    std::string Records() const { return dir.Read("KELBRIN4.CR2"); }
    int Beeps() const { return station->host().Beeps(); }
    void ExpectCursor(int x, int y) const {
        int cx = 0, cy = 0;
        station->Cursor(cx, cy);
        EXPECT_EQ(cx, x);
        EXPECT_EQ(cy, y);
    }

    TempDir dir;
    std::unique_ptr<StationHarness> station;
    const std::vector<Sequence> sequences = Sequences();
    std::set<std::pair<int, int>> played;
    Checks checks;
};

TEST_F(GuideWalk, EverySequenceOfTheGuideDoesWhatTheGuideSays) {
    NewSession();
    // 3, step 1: the five fields.
    for (int row = 1; row <= 5; ++row) Play(3, row);
    Then([&] {
        EXPECT_EQ(station->Text(1, 1, 7), "Len 40 ");
        ASSERT_EQ(FieldCount, 5);
        const std::string types = "NAANE";
        const int lengths[] = {5, 20, 10, 3, 2};
        for (int n = 1, at = 1; n <= 5; at += lengths[n - 1], ++n) {
            EXPECT_EQ(FieldTable[n].Type, types[n - 1]);
            EXPECT_EQ(FieldTable[n].RecordPos, at);
            EXPECT_EQ(FieldTable[n].Length, lengths[n - 1]);
        }
    });
    // Step 2: each field to the place its row names.
    for (int row = 6; row <= 10; ++row) {
        const Sequence& sequence = Play(3, row);
        Then([&, note = sequence.note] {
            const int n = std::atoi(note.c_str() + 1);
            ASSERT_TRUE(n >= 1 && n <= FieldCount) << note;
            const FieldDef& field = FieldTable[n];
            int y = 24, x = 80 - field.Length + 1;  // the lower right corner
            std::smatch place;
            if (std::regex_search(note, place, std::regex("Zeile (\\d+), Spalte (\\d+)"))) {
                y = std::stoi(place[1]);
                x = std::stoi(place[2]);
            } else {
                EXPECT_NE(note.find("rechte untere Ecke"), std::string::npos) << note;
            }
            EXPECT_EQ((field.ScreenPos - 1) / 80 + 2, y) << note;
            EXPECT_EQ((field.ScreenPos - 1) % 80 + 1, x) << note;
            EXPECT_EQ(station->Text(x, y, 1), std::string(1, static_cast<char>(field.Type)));
        });
    }
    // Step 3: the background text, each name on the row of its field.
    Play(3, 11);
    Then([&] {
        EXPECT_EQ(station->Text(1, 2, 15), "  Übung: Kunden");
        const char* names[] = {"  Nummer", "  Name", "  Farbe", "  Menge"};
        for (int n = 1; n <= 4; ++n) {
            const int y = (FieldTable[n].ScreenPos - 1) / 80 + 2;
            EXPECT_EQ(station->Text(1, y, 8).rfind(names[n - 1], 0), 0u) << station->Row(y);
        }
    });
    // Step 4: the range of the amount.
    Play(3, 12);
    Then([&] {
        EXPECT_EQ(FieldTable[4].RangeFrom, 1);
        EXPECT_EQ(FieldTable[4].RangeTo, 500);
        EXPECT_NE(station->Row(1).find("[1...500]"), std::string::npos) << station->Row(1);
    });
    // Step 5: the colour's table, shown when the cursor is back on the colour.
    Play(3, 13);
    Then([&] {
        EXPECT_EQ(TableAssignments[3].Name, "farbe");
        EXPECT_TRUE(HasTable(3));
    });
    Play(3, 14);
    Then([&] {
        EXPECT_NE(station->Row(1).find("[Tab:farbe]"), std::string::npos) << station->Row(1);
        EXPECT_EQ(Beeps(), 0);
    });

    // 4: saved, and loaded again from the list.
    Play(4, 1);
    Then([&] {
        EXPECT_EQ(dir.Read("uebung.DEF").substr(0, 10), std::string("FeldDef2\x05\x00", 10));
    });
    Play(4, 2);
    Then([&] {
        EXPECT_TRUE(station->host().MessageBoxes().empty());
        EXPECT_EQ(FieldCount, 5);
        EXPECT_EQ(RecordLength(), 40);
        EXPECT_TRUE(HasTable(3));
    });

    // 5: three records keyed.
    const std::string record1 = "  101Meier               Blau       12\r\n";
    const std::string record2 = Utf8ToOem("  102Schulz              Grün        7\r\n");
    const std::string record3 = "  103Wagner              Rot       250\r\n";
    Play(5, 1);
    Then([&] {
        EXPECT_EQ(Mode, ModeEntry);
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(Records(), record1);
    });
    Play(5, 2);
    Then([&] {  // the choice list over the colour: Grau on top
        EXPECT_EQ(station->Text(20, 6, 4), "Grau");
        EXPECT_EQ(station->Text(20, 7, 4), "Grün");
        // What both hosts paint on their blue ground: the top line in white,
        // the others in black, and no ground of their own.
        EXPECT_EQ(station->Cell(20, 6).color, kWhite);
        EXPECT_EQ(station->Cell(20, 7).color, kBlack);
        ExpectCursor(20, 6);
    });
    Play(5, 3);
    Then([&] {
        EXPECT_EQ(CurrentRecordNumber, 3);
        EXPECT_EQ(Records(), record1 + record2);
    });
    Play(5, 4);
    Then([&] {
        EXPECT_EQ(CurrentRecordNumber, 4);
        EXPECT_EQ(Records(), record1 + record2 + record3);
        EXPECT_EQ(Beeps(), 0);
    });

    // 6: verified; a mistake keyed again, one taken over with F8.
    Play(6, 1);
    Then([&] {
        EXPECT_EQ(Mode, ModeVerify);
        EXPECT_EQ(CurrentRecordNumber, 1);
        ExpectCursor(22, 4);  // on the 1 of 101
    });
    Play(6, 2);
    Then([&] {
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(Beeps(), 0);
    });
    Play(6, 3);
    Then([&] {
        EXPECT_EQ(Beeps(), 2);  // at the t, and at Enter
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(CursorField(), 2);
    });
    Play(6, 4);
    Then([&] {
        EXPECT_EQ(CurrentRecordNumber, 3);
        EXPECT_EQ(Beeps(), 2);
    });
    Play(6, 5);
    Then([&] {
        EXPECT_EQ(Beeps(), 4);  // at the 0, and when the amount was full
        EXPECT_EQ(CurrentRecordNumber, 3);
        EXPECT_EQ(CursorField(), 4);
    });
    const std::string record3Corrected = "  103Wagner              Rot       205\r\n";
    Play(6, 6);
    Then([&] {
        EXPECT_EQ(CurrentRecordNumber, 4);
        EXPECT_EQ(Records(), record1 + record2 + record3Corrected);
    });

    // 7: Up and Down on the colour always open the list; the move comes after.
    Play(7, 1);
    Then([&] {
        EXPECT_EQ(Mode, ModeEntry);
        EXPECT_EQ(CurrentRecordNumber, 1);
        EXPECT_EQ(station->Text(20, 6, 4), "Blau");
        EXPECT_EQ(station->Cell(20, 6).color, kWhite);
        ExpectCursor(20, 6);
    });
    Play(7, 2);
    Then([&] {
        EXPECT_EQ(CursorField(), 2);
        EXPECT_EQ(station->Text(20, 6, 10), "Blau      ");
    });
    Play(7, 3);
    Then([&] {
        EXPECT_EQ(CursorField(), 4);
        EXPECT_EQ(Beeps(), 4);
    });

    // 8: saved as ASCII-TAB: the lines the guide shows.
    Play(8, 1);
    Then([&] {
        std::string lines;
        std::smatch block;
        const std::string& guide = Guide();
        ASSERT_TRUE(
            std::regex_search(guide, block, std::regex("enthält drei Zeilen:\n\n((    .*\n)+)")));
        std::istringstream shown(block[1].str());
        for (std::string line; std::getline(shown, line);)
            lines += std::regex_replace(line.substr(4), std::regex("<TAB>"), "\t") + "\r\n";
        EXPECT_EQ(dir.Read("kunden.txt"), Utf8ToOem(lines));
    });
    // To the longer KUNDEN: cleared and loaded, and keying begins.
    Play(8, 2);
    Then([&] {
        EXPECT_TRUE(station->host().MessageBoxes().empty());
        EXPECT_EQ(Mode, ModeEntry);
        EXPECT_EQ(RecordLength(), 122);
        EXPECT_EQ(CurrentRecordNumber, 1);
        EXPECT_TRUE(dir.Exists("uebung.DEF"));
        EXPECT_TRUE(dir.Exists("kunden.txt"));
    });
    // 7 again: the town found from the street and the postal code.
    Play(7, 4);
    Then([&] {
        ExpectInGuide("Beispiel Modulus 11: `100013` ist richtig");
        EXPECT_EQ(Beeps(), 4);  // the check digit is right, Herr is an entry
        EXPECT_EQ(station->Text(27, 11, 15), "Ahrensfelde-Süd");
        EXPECT_EQ(station->Text(20, 9, 13), "Ahornallee 40");
        EXPECT_EQ(CursorField(), 7);
    });

    // 9: printed to the file KELBRIN_PRINTER names.
    Play(9, 1);
    Then([&] {
        ExpectInGuide("`KELBRIN_PRINTER=/tmp/liste.txt kelbrin`");
        std::string record = Records();
        ASSERT_EQ(record.size(), 122u);
        std::replace(record.begin(), record.end(), '\0', ' ');
        EXPECT_EQ(dir.Read("liste.txt"), "Kelbrin - Ausdruck:\r\n\r\n" + record.substr(0, 80) +
                                             "\r\n" + record.substr(80) + "\r\n\r\n\f");
    });

    // 11: ended with N, and started again: everything is there.
    Play(11, 1);
    EXPECT_EQ(Run(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(station->host().ExitCode(), 0);
    NewSession();
    Play(11, 2);
    Then([&] {
        EXPECT_EQ(Mode, ModeEntry);
        EXPECT_EQ(RecordLength(), 122);
        EXPECT_EQ(CurrentRecordNumber, 1);  // the last record
        EXPECT_EQ(CursorField(), 8);        // on its last keyed field
        EXPECT_EQ(ProgramKeyTexts[0], "KUNDEN.DEF");
        EXPECT_EQ(station->Text(27, 11, 15), "Ahrensfelde-Süd");
    });
    Run();

    // 1: Entf at the start clears the station; the saved files stay.
    ExpectInGuide(
        "**Entf**: Satzaufbau, Sätze und Programmtasten werden gelöscht (die gesicherten "
        "`.DEF`- und Datendateien bleiben)");
    NewSession();
    station->Key(VkDelete);
    Then([&] {
        EXPECT_EQ(FieldCount, 0);
        EXPECT_EQ(ProgramKeyTexts[0], "");  // KUNDEN.DEF brought Alt+1
    });
    Run();
    EXPECT_EQ(Records(), "");
    EXPECT_TRUE(dir.Exists("uebung.DEF"));
    EXPECT_TRUE(dir.Exists("kunden.txt"));

    std::set<std::pair<int, int>> inGuide;
    for (const Sequence& sequence : sequences) inGuide.insert({sequence.section, sequence.ordinal});
    EXPECT_EQ(played, inGuide) << "a sequence of the guide has no place in the walk";
}

// What the guide says in running text, played in a working directory with
// the examples' colour table.
class GuideQuotes : public ::testing::Test {
  protected:
    GuideQuotes() {
        fs::create_directory(dir.path() + "/Tab");
        fs::copy(kSource / "examples" / "Tab" / "farbe", dir.path() + "/Tab/farbe");
    }
    void Keys(const std::string& keys) { station.Add(Events(keys)); }
    void Then(std::function<void()> check) { checks.Then(station, std::move(check)); }
    int Beeps() { return station.host().Beeps(); }

    TempDir dir;
    StationHarness station;
    Checks checks;
};

TEST_F(GuideQuotes, FieldsByLengthAndDigitSets) {
    ExpectInGuide("`n` `5` Enter (oder `n` `+5` Enter)");
    ExpectInGuide("z. B. `135` für 1, 3 und 5; eine führende `0` erlaubt auch die 0 (`0135`)");
    ExpectInGuide("Eine falsche Ziffer piept schon beim Tippen.");
    Keys("`n` `+5` Enter `n` `+1` Enter Pos1 F5 F7 `135` Enter ↓ F5 F7 `0135` Enter F9");
    Then([&] {
        EXPECT_EQ(FieldTable[1].Length, 5);
        EXPECT_EQ(FieldTable[2].RangeFrom, -135);
    });
    Keys("`3` Enter `0`");
    Then([&] { EXPECT_EQ(Beeps(), 0); });
    Keys("`2`");
    Then([&] { EXPECT_EQ(Beeps(), 1); });  // as typed; leaving the field beeps again
    station.Start();
}

TEST_F(GuideQuotes, VerifyingAnEnterTooManyAndANumberLongerThanStored) {
    ExpectInGuide("**Ein Enter zu viel**");
    ExpectInGuide("die letzten Ziffern landen im nächsten Feld. Darum dort zuerst **Esc**");
    Keys("`n` `+3` Enter `a` `+5` Enter `e` `+2` Enter F9 `12` Enter `ab` Enter F9 Pos1");
    // The cursor is on the 1 of " 12": the number fills the field, and an
    // Enter behind it empties the name, which then holds the operator.
    Keys("`12` Enter");
    Then([&] {
        EXPECT_EQ(Beeps(), 1);
        EXPECT_EQ(CursorField(), 2);
        EXPECT_EQ(station.Text(4, 2, 5), ".....");
    });
    Keys("`ab` Enter");
    Then([&] {
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(Beeps(), 1);
    });
    // 120 on the form: without Esc the 0 lands in the name.
    Keys("Pos1 `120`");
    Then([&] {
        EXPECT_EQ(CursorField(), 2);
        EXPECT_EQ(station.Text(4, 2, 2), "0.");
    });
    Keys("Esc `ab` Enter Pos1 Esc `120`");
    Then([&] {
        EXPECT_EQ(CurrentRecordNumber, 1);
        EXPECT_EQ(CursorField(), 1);  // held: 120 is not what is stored
    });
    Keys("F8");
    Then([&] { EXPECT_EQ(dir.Read("KELBRIN4.CR2").substr(0, 10), "120ab   \r\n"); });
    station.Start();
}

TEST_F(GuideQuotes, UpAndDownOpenTheListAlwaysAndMoveAfterIt) {
    ExpectInGuide("„rot“ findet „Rot“ nicht");
    ExpectInGuide("(steht das Feld in Zeile 19 oder tiefer, steht sie am linken Rand über ihm)");
    ExpectInGuide(
        "**↑ und ↓ in einem Feld mit Tabelle** öffnen die Liste immer, auch wenn nur ein "
        "Eintrag passt (und in einem leeren Feld mit allen Einträgen).");
    ExpectInGuide(
        "Auch nach Esc in der Liste geht er dorthin; das Feld wird dann beim Verlassen "
        "nachgeschlagen wie sonst auch: ein einziger passender Eintrag ergänzt es, bei mehreren "
        "öffnet sich die Liste noch einmal. Beim Prüfen öffnet sich keine Liste.");
    // The colour on the last row, between two fields without a table.
    Keys("`a` `+5` Enter `a` `+10` Enter `a` `+5` Enter Pos1 ↓ F4 Bild↓ Esc");
    Keys("Pos1 ↓ `t` `farbe` Enter F9 `x` Enter `rot` Enter");
    Then([&] {
        EXPECT_EQ(Beeps(), 1);
        EXPECT_EQ(station.Text(6, 24, 5), "rot  ");
        EXPECT_EQ(CursorField(), 3);
    });
    // The list, at the left edge above the field: its first two lines.
    const auto list = [&](const char* top, const char* second, int width) {
        Then([&, top, second, width] {
            EXPECT_EQ(station.Text(1, 18, width), top);
            EXPECT_EQ(station.Text(1, 19, width), second);
        });
    };
    Keys("↑ Esc ↓");
    list("Blau ", "Braun", 5);
    Keys("Esc");
    Then([&] { EXPECT_EQ(CursorField(), 3); });
    Keys("↑ `Gr` ↓ Esc");  // on the way to field 3 the colour is looked up again
    list("Grau", "Grün", 4);
    int beeps = 0;
    Then([&] { beeps = Beeps(); });
    Keys("Esc");
    Then([&] {
        EXPECT_EQ(Beeps(), beeps + 1);
        EXPECT_EQ(CursorField(), 3);
        EXPECT_EQ(station.Text(6, 24, 5), "Gr   ");
    });
    Keys("↑ Esc `Bl` ↓ Esc");
    Then([&] {
        EXPECT_EQ(station.Text(6, 24, 5), "Blau ");
        EXPECT_EQ(CursorField(), 3);
    });
    Keys("↑ ↑ Enter");
    Then([&] { EXPECT_EQ(CursorField(), 1); });
    Keys("F9 Pos1 ↓ ↓");
    Then([&] {
        EXPECT_EQ(Mode, ModeVerify);
        EXPECT_EQ(CursorField(), 3);
        EXPECT_EQ(station.Row(18).find("Blau"), std::string::npos);  // no list
    });
    station.Start();
}

TEST(GuideStarts, DupSkipIsOffAfterEveryStart) {
    ExpectInGuide("nach jedem Start der Station ist es aus");
    TempDir dir;
    Checks checks;
    uint32_t off = 0;  // the colour of F4 in the legend
    {
        StationHarness station;
        station.Add(Events("`a` `2` Enter `k` `+2` Enter `e` `+2` Enter F9"));
        checks.Then(station, [&] { off = station.Cell(23, 25).color; });
        station.Add(Events("F4"));
        checks.Then(station, [&] { EXPECT_NE(station.Cell(23, 25).color, off); });
        station.Add(Events("F1 `N`"));
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    }
    StationHarness station;
    // Off: the auto-skip field is keyed like any other.
    station.Add(Events("`N` F9 `ab`"));
    checks.Then(station, [&] {
        EXPECT_EQ(station.Cell(23, 25).color, off);
        EXPECT_EQ(CursorField(), 2);
    });
    station.Start();
}

TEST(GuideStarts, AKeyTableLineTurnsOneKeyIntoAnother) {
    ExpectInGuide("eine Zeile `yz` macht aus y ein z");
    TempDir dir;
    dir.Write("tab/keyalpha", "yz\n");
    LoadKeyTables();  // as the program does when it starts
    struct Reset {
        ~Reset() { LoadKeyTable(KeyAlphaTable, "none"); }
    } reset;
    StationHarness station;
    Checks checks;
    station.Add(Events("`a` `3` Enter F9 `y`"));
    checks.Then(station, [&] { EXPECT_EQ(station.Text(1, 2, 3), "z.."); });
    station.Start();
}
