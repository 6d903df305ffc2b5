// Keying and verifying records as an operator does it: a small form laid out
// in definition mode, records keyed, walked through, verified with a mistake
// and corrected, pasted into, and the station left or stopped. The screen and
// the bytes of KELBRIN4.CR2 are checked after each step.
#include <gtest/gtest.h>

#include "console/WinCrt.h"
#include "screens/FieldCursor.h"
#include "screens/LayoutFiles.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/ProgramKeys.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

// A name, a right-justified number and the end mark: 9 bytes a record.
constexpr const char* kForm = "a4\rn+3\re+2\r";

class EntryScreen : public ::testing::Test {
  protected:
    void Key(uint16_t key, ShiftState shift = 0) { station.Key(key, shift); }
    void Check(std::function<void()> check) { station.Add(script::Call(std::move(check))); }
    std::string Records() const { return dir.Read("KELBRIN4.CR2"); }
    int CursorPos() const {
        int x = 0, y = 0;
        station.Cursor(x, y);
        return x + (y - 2) * 80;
    }

    TempDir dir;
    StationHarness station;
};

}  // namespace

TEST_F(EntryScreen, KeyingStoresEachRecordAsTheOperatorMovesOn) {
    station.Type(kForm);
    Key(VkF9);
    Check([&] {
        EXPECT_EQ(Mode, ModeEntry);
        EXPECT_EQ(station.Text(1, 1, 19), "Pos 1   Satz 1     ");
        EXPECT_EQ(station.Text(73, 1, 7), "Eingabe");
        EXPECT_EQ(station.Text(1, 25, 12), " F1Ende F2Sa");
        EXPECT_EQ(station.Text(1, 2, 9), ".........");
    });
    // The last character of a field runs on into the next; Enter past the
    // last keyed field skips the end mark and opens the next record.
    station.Type("abcd12\r");
    Check([&] {
        EXPECT_EQ(Records(), "abcd 12\r\n");
        EXPECT_EQ(station.Text(9, 1, 6), "Satz 2");
    });
    station.Type("wx\r-5\r");
    Check([&] { EXPECT_EQ(Records(), std::string("abcd 12\r\nwx    N\r\n")); });

    // Left on position 1 goes back; the untouched new record is not stored
    // (nobody keyed into it). On record 1 Left stays.
    Key(VkLeft);
    Check([&] {
        EXPECT_EQ(CurrentRecordNumber, 2);
        // The record's last position is in the end mark, which is passed over
        // backwards: the cursor rests on the number's last position.
        EXPECT_EQ(CursorPos(), 7);
        EXPECT_EQ(Records().size(), 18u);
    });
    Key(VkHome);
    Key(VkLeft);
    Check([&] {
        EXPECT_EQ(CurrentRecordNumber, 1);
        EXPECT_EQ(CursorPos(), 1);
        EXPECT_EQ(station.Text(1, 2, 9), "abcd 12┘┌");
    });
    // End goes to the last record with content, not the empty one behind it,
    // onto its last position that is keyed: the end mark is passed backwards.
    // What was keyed on the record left is stored first.
    station.Type("A");
    Key(VkEnd);
    Check([&] {
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(CursorPos(), 7);
        EXPECT_EQ(Records().substr(0, 4), "Abcd");
    });
    // PgUp and PgDn keep the cursor's place in the record.
    Key(VkPrior);
    Check([&] {
        EXPECT_EQ(CurrentRecordNumber, 1);
        EXPECT_EQ(CursorPos(), 7);
    });
    Key(VkNext);
    // Esc empties the field under the cursor; PgUp stores the change.
    Key(VkLeft, ShiftKey);
    station.Key(VkEscape);
    Key(VkPrior);
    Check([&] { EXPECT_EQ(Records().substr(9, 9), std::string("\0\0\0\0  N\r\n", 9)); });
    Key(VkF1);
    station.Type("n");
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(station.host().ExitCode(), 0);
    EXPECT_EQ(Records().size(), 18u);
}

// F6 takes a field over from the record before, Del and Backspace take
// characters out of a field, F7 puts an empty record before the one on the
// screen, having stored that first.
TEST_F(EntryScreen, DupDeleteBackspaceAndInsertARecord) {
    station.Type(kForm);
    Key(VkF9);
    station.Type("abcd12\r");
    Key(VkF6);
    Check([&] {
        EXPECT_EQ(station.Text(1, 2, 4), "abcd");
        EXPECT_EQ(CursorPos(), 5);  // on to the next field
    });
    station.Type("7\r");
    Check([&] {
        EXPECT_EQ(Records(), "abcd 12\r\nabcd  7\r\n");
        EXPECT_EQ(CurrentRecordNumber, 3);
    });
    Key(VkHome);
    Key(VkDelete);
    Check([&] { EXPECT_EQ(station.Text(1, 2, 4), "bcd."); });
    Key(VkRight);
    Key(VkRight);
    Key(VkBack);
    Check([&] {
        EXPECT_EQ(station.Text(1, 2, 4), "bd..");
        EXPECT_EQ(CursorPos(), 2);
    });
    Key(VkF7);
    station.Add(script::Idle());  // the records are moved with events let through
    Check([&] {
        const std::string empty("\0\0\0\0\0\0\0\r\n", 9);  // Home left record 3 unstored
        EXPECT_EQ(Records(), empty + "bd   12\r\nabcd  7\r\n");
        EXPECT_EQ(CurrentRecordNumber, 1);
        EXPECT_EQ(station.Text(1, 2, 7), ".......");
    });
    // Shift+Down and Shift+Right go to the record's end, passing the end
    // mark backwards: the cursor rests on the number, the record stays.
    Key(VkDown, ShiftKey);
    Check([&] { EXPECT_EQ(CursorPos(), 7); });
    Key(VkHome);
    Key(VkRight, ShiftKey);
    Check([&] {
        EXPECT_EQ(CursorPos(), 7);
        EXPECT_EQ(CurrentRecordNumber, 1);
    });
    Key(VkUp, ShiftKey);
    Check([&] { EXPECT_EQ(CursorPos(), 1); });
    Key(VkRight, ShiftKey);
    Key(VkRight);  // behind the number: over the end mark into the next record
    Check([&] {
        EXPECT_EQ(CursorPos(), 1);
        EXPECT_EQ(CurrentRecordNumber, 2);
    });
    station.Start();
}

TEST_F(EntryScreen, VerifyingCatchesAMistakeAndKorrekturTakesItOver) {
    station.Type(kForm);
    Key(VkF9);
    station.Type("abcd12\rwx\r5\r");
    Key(VkF9);  // verify, on the same record
    Key(VkHome);
    Check([&] {
        EXPECT_EQ(Mode, ModeVerify);
        EXPECT_EQ(station.Text(73, 1, 7), " Prüfen");
        EXPECT_EQ(station.Text(1, 2, 9), "abcd 12┘┌");
    });
    // Enter on a field not keyed again empties it for keying, so it differs.
    station.Type("\r");
    station.Add(script::Idle());
    Check([&] {
        EXPECT_EQ(station.host().Beeps(), 1);
        EXPECT_EQ(CursorField(), 1);
        EXPECT_EQ(station.Text(1, 2, 4), "....");
    });
    int beeps = 0;
    // Keyed again the same. The cursor starts where a stored value begins, so
    // the right-justified number is keyed from its first digit, and its last
    // digit runs on past the end mark into record 2.
    station.Type("abcd12");
    Check([&] {
        EXPECT_EQ(CurrentRecordNumber, 2);
        beeps = station.host().Beeps();
    });
    station.Type("wy\r");         // a mistake: the field holds the operator
    station.Add(script::Idle());  // the check comes when the station waits again
    Check([&] {
        EXPECT_EQ(station.host().Beeps(), beeps + 2);  // the keystroke, then the field
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(CursorField(), 1);
        EXPECT_EQ(Records().substr(9, 4), "wx  ");
    });
    Key(VkF8);  // Korrektur: the rejected input becomes the stored value
    Check([&] { EXPECT_EQ(Records().substr(9, 4), "wy  "); });
    station.Type("wy\r5");
    Check([&] { EXPECT_EQ(CurrentRecordNumber, 3); });
    Key(VkF9);
    Check([&] { EXPECT_EQ(Mode, ModeDefinition); });
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
    EXPECT_EQ(Records().substr(0, 18), "abcd 12\r\nwy    5\r\n");
}

TEST_F(EntryScreen, PastedKeysLandInTheFieldAndStopStoresThem) {
    station.Type(kForm);
    Key(VkF9);
    station.Type("abcd12\r");
    station.Add(script::Paste("ef\r\n"));  // line ends never arrive as keys
    Check([&] {
        EXPECT_EQ(station.Text(1, 2, 4), "ef..");
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(Records().size(), 9u);  // nothing stored by the paste itself
    });
    station.Add(script::Stop());
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(Records(), "abcd 12\r\nef  " + std::string("\0\0\0\r\n", 5));
}

TEST_F(EntryScreen, AProgramKeyToALayoutWithoutFieldsLeadsToDefinitionMode) {
    // A layout file with no fields: marker, count 0, empty screen, no keys.
    dir.Write("LEER.DEF", std::string("FeldDef2") + std::string(2, '\0') +
                              std::string(2000, '\xDB') + std::string(3072 + 2, '\0'));
    station.Type(kForm);
    Check([&] { SetProgramKey(0, "LEER.DEF"); });
    Key(VkF9);
    station.Type("ab");
    station.Add(script::Alt('1'));
    Check([&] {
        EXPECT_EQ(Mode, ModeDefinition);
        EXPECT_EQ(FieldCount, 0);
    });
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
    // What was keyed before the switch was stored first.
    EXPECT_EQ(Records().substr(0, 2), "ab");
}

// F12 in entry mode: to the same layout on an untouched record, which stays
// where it is; then, with something keyed, to a layout without fields.
TEST_F(EntryScreen, F12SwitchesLayoutsAndStoresWhatWasKeyedFirst) {
    dir.Write("LEER.DEF", std::string("FeldDef2") + std::string(2, '\0') +
                              std::string(2000, '\xDB') + std::string(3072 + 2, '\0'));
    station.Type(kForm);
    Check([&] {
        WriteDefinitionFile("FORM.DEF");
        SetProgramKey(1, "FORM.DEF");
        SetProgramKey(2, "LEER.DEF");
        CurrentProgramKey = 0;
    });
    Key(VkF9);
    station.Type("abcd12\r");
    Key(VkF12);
    Check([&] {
        EXPECT_EQ(Mode, ModeEntry);
        EXPECT_EQ(CurrentProgramKey, 1);
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(station.Text(1, 2, 9), ".........");
    });
    station.Type("ef");
    Key(VkF12);
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
    EXPECT_EQ(Mode, ModeDefinition);
    EXPECT_EQ(CurrentProgramKey, 2);
    EXPECT_EQ(Records(), "abcd 12\r\nef  " + std::string("\0\0\0\r\n", 5));
}

TEST(ProgramKeys, F12StepsToTheNextKeyWithALayoutAndWrapsAround) {
    ClearProgramKeys();
    CurrentProgramKey = 11;
    EXPECT_EQ(StepToNextProgramKey(), -1);
    SetProgramKey(2, "A.DEF");
    SetProgramKey(5, "B.DEF");
    EXPECT_EQ(StepToNextProgramKey(), 2);
    EXPECT_EQ(StepToNextProgramKey(), 5);
    EXPECT_EQ(StepToNextProgramKey(), 2);
    EXPECT_EQ(CurrentProgramKey, 2);
    ClearProgramKeys();
}

TEST_F(EntryScreen, EndF1EscF4AndDeletingTheOnlyRecord) {
    station.Type("a2\rk+2\re+2\r");  // alpha, auto-skip alpha, end mark
    Key(VkF9);
    Key(VkEnd);  // no record with content: an empty record 1, on its last keyed field
    Check([&] {
        EXPECT_EQ(CurrentRecordNumber, 1);
        EXPECT_EQ(CursorPos(), 4);
    });
    Key(VkLeft, ShiftKey);
    station.Type("ab");  // runs on into the auto-skip field, which Dup/Skip is off for
    Check([&] { EXPECT_EQ(CursorField(), 2); });
    Key(VkF4);  // switched on: the cursor leaves the auto-skip field at once
    Check([&] { EXPECT_EQ(CurrentRecordNumber, 2); });
    Key(VkPrior);
    Key(VkRight);
    Key(VkF1);
    station.Key(VkEscape);  // F1, then Esc: back on the same record and place
    station.Add(script::Idle());
    Check([&] {
        EXPECT_EQ(CurrentRecordNumber, 1);
        EXPECT_EQ(CursorPos(), 2);
        EXPECT_EQ(Mode, ModeEntry);
    });
    Key(VkF8);  // deleting the only record leaves its place, end mark filled in
    station.Add(script::Idle());
    Check([&] {
        EXPECT_EQ(Records().substr(0, 6), std::string("\0\0\0\0\r\n", 6));
        EXPECT_EQ(station.Text(1, 2, 4), "....");
    });
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
}

TEST_F(EntryScreen, UpAndDownOpenTheChoiceListOfATableField) {
    dir.Write("Tab/orte", "Bach\nBaden\nBamberg\n");
    station.Type("a10\rtorte\ra+5\r");
    Key(VkF9);
    // Even a single fit is offered as a list, which goes on with the other
    // entries of the same first two letters.
    const auto listOpen = [&](const std::string& top) {
        Check([&, top] {
            EXPECT_EQ(station.Text(1, 2, 7), top);
            EXPECT_EQ(station.Text(1, 3, 7), "Baden  ");
        });
    };
    station.Type("Bac");
    Key(VkDown);
    listOpen("Bach   ");
    station.Type("\r");  // takes Bach, then on to the next field
    Check([&] {
        EXPECT_EQ(station.Text(1, 2, 10), "Bach      ");
        EXPECT_EQ(CursorField(), 2);
    });
    Key(VkUp);  // field 2 has no table: back to field 1
    Check([&] { EXPECT_EQ(station.Text(1, 3, 7), "▔▔▔▔▔▔▔"); });  // no list
    Key(VkUp);                                                    // field 1 has one
    listOpen("Bach   ");
    int beeps = 0;
    Check([&] { beeps = station.host().Beeps(); });
    Key(VkEscape);  // the list left without a choice: the field stays, with a beep
    station.Add(script::Idle());
    Check([&] { EXPECT_EQ(station.host().Beeps(), beeps + 1); });
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
}

TEST_F(EntryScreen, InsOpensAGapTabGoesBackFieldByFieldAndF1AsksOnTheStatusLine) {
    station.Type(kForm);
    Key(VkF9);
    station.Type("abcd12\rxyz");  // record 1, then into record 2
    Key(VkLeft);
    Key(VkLeft);
    Key(VkInsert);
    Check([&] { EXPECT_EQ(station.Text(1, 2, 4), "x yz"); });
    // Tab inside a field goes to its start; at the start, to the field before
    // (before the first: the last field of the record before).
    station.Type("\t");
    Check([&] {
        EXPECT_EQ(CurrentRecordNumber, 2);
        EXPECT_EQ(CursorPos(), 1);
    });
    station.Type("\t");
    Check([&] {
        EXPECT_EQ(CurrentRecordNumber, 1);
        EXPECT_EQ(CursorPos(), 5);
    });
    station.Type("\t");
    Check([&] { EXPECT_EQ(CursorPos(), 1); });
    Key(VkF1);
    Check([&] {
        int x = 0, y = 0;
        station.Cursor(x, y);
        EXPECT_EQ(y, 1);
        EXPECT_EQ(x, 71);  // behind the question
    });
    Key(VkEscape);
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
}
