#include <gtest/gtest.h>

#include <vector>

#include "console/WinCrt.h"
#include "screens/Session.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

// A session that records every key it reads (code, or 1000 + scan code).
struct KeyRecorder {
    std::vector<int> keys;
    std::function<void()> Session() {
        return [this] {
            for (;;) {
                const uint8_t key = ReadKey();
                keys.push_back(key == 0 ? 1000 + ScanCode() : key);
            }
        };
    }
};

}  // namespace

TEST(MainWindow, StartRunsOnceAndKeysBeforeItAreDropped) {
    KeyRecorder recorder;
    StationHarness station(recorder.Session());
    // Start pumps once while it binds the screen: this key arrives before the session.
    station.Type("x");
    station.Add(script::Call([&] { station.form().StartDown(); }));  // a second Start
    station.Type("y");
    EXPECT_EQ(station.Start(/*scriptBeforeSession=*/true), StationHarness::Outcome::ScriptEnded);
    EXPECT_EQ(recorder.keys, (std::vector<int>{'y'}));
    EXPECT_TRUE(station.form().StartGuard);
    EXPECT_EQ(station.form().RichEdit1.LineText(2), U"Laden ...");
}

TEST(MainWindow, ProgramKeyButtonsGiveTheAltCodes) {
    KeyRecorder recorder;
    StationHarness station(recorder.Session());
    // No button has a number outside 1 .. 12: such a click keys nothing.
    for (int n : {0, 13}) station.Add(script::ProgramKey(n));
    for (int n = 1; n <= 12; ++n) station.Add(script::ProgramKey(n));
    station.Start();
    std::vector<int> expected;
    for (int n = 0; n < 12; ++n) expected.push_back(1000 + 0x78 + n);
    EXPECT_EQ(recorder.keys, expected);
}

TEST(MainWindow, ClicksActOnReleaseOrOnPressByPlatform) {
    for (bool nt : {true, false}) {
        TempDir dir;
        StationHarness station;
        station.host().SetNtPlatform(nt);
        station.Type("a5\r");
        ScriptEvent press;
        press.kind = ScriptEvent::Kind::MousePress;
        press.x = 3;
        press.y = 2;
        station.Add(press);
        station.Add(script::Call([&] {
            // On the newer platform family nothing has happened yet.
            EXPECT_EQ(CursorX == 3 && CursorY == 2, !nt) << nt;
        }));
        ScriptEvent release = press;
        release.kind = ScriptEvent::Kind::MouseRelease;
        station.Add(release);
        station.Add(script::Call([&] {
            EXPECT_EQ(CursorX, 3);
            EXPECT_EQ(CursorY, 2);
            EXPECT_EQ(station.Text(20, 1, 6), "Feld 1");
        }));
        station.Start();
    }
}

TEST(MainWindow, AClickBesideTheFieldsGoesBehindTheLastField) {
    TempDir dir;
    StationHarness station;
    station.Type("a5\r");
    station.Add(script::Click(40, 10));
    station.Start();
    EXPECT_EQ(CursorX, 6);
    EXPECT_EQ(CursorY, 2);
}

TEST(MainWindow, PastingOnlyWhereTheTextEditorOrEntryTakesIt) {
    TempDir dir;
    StationHarness station;
    station.Add(script::Paste("abc"));  // definition screen, no text editor: nothing
    station.Start();
    EXPECT_EQ(station.Text(1, 2, 3), "░░░");
}

TEST(MainWindow, CopyTakesTheSelectionWithoutFillersAndLineBreaks) {
    TempDir dir;
    StationHarness station;
    station.Type("a3\r");
    station.Add(script::Call([&] {
        station.form().RichEdit1.Select(0, 90);  // runs over a line break
        station.form().ClipboardCopy();
    }));
    station.Start();
    EXPECT_EQ(station.host().ClipboardText(), "A..");
}

TEST(MainWindow, StopBeforeStartJustEnds) {
    StationHarness station;
    EXPECT_THROW(station.form().StopDown(), ProcessEnded);
    EXPECT_EQ(station.host().ExitCode(), 0);
}

TEST(MainWindow, ScalingFollowsTheWindowWidthInSteps) {
    // 800 to 861 pixels keep the design size; 1280 pixels make 20 steps of 1/13.
    for (auto [width, scaled] :
         std::vector<std::pair<int, bool>>{{800, false}, {861, false}, {1280, true}}) {
        KeyRecorder recorder;
        StationHarness station(recorder.Session());
        station.host().SetWindowWidth(width);
        station.Start();
        if (!scaled) {
            EXPECT_TRUE(station.host().Scales().empty()) << width;
        } else {
            ASSERT_EQ(station.host().Scales().size(), 1u);
            EXPECT_NEAR(station.host().Scales()[0], (20 * 1000000.0 + 499999) / 13000000, 1e-9);
        }
    }
}

TEST(MainWindow, PastingInVerifyModeDoesNothingAndLineBreaksNeverArrive) {
    KeyRecorder recorder;
    StationHarness verify([&] {
        Mode = ModeVerify;
        SubMode = SubMain;
        MoveCursor(1, 2);
        recorder.Session()();
    });
    verify.Add(script::Paste("12\r\n"));
    verify.Type("x");
    verify.Start();
    EXPECT_EQ(recorder.keys, (std::vector<int>{'x'}));  // nothing of the paste arrived
    Mode = ModeDefinition;

    TempDir dir;
    StationHarness station;
    station.Type("a2\r");
    station.Key(VkF6);
    station.Add(script::Paste("12\r\n"));
    station.Key(VkEscape);
    station.Start();
    EXPECT_EQ(station.Text(3, 2, 3), "12░");  // exactly the two characters
}
