#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>

#include "console/WinCrt.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

// The scan of a key as the script types it.
ScriptEvent Del() {
    return script::Key(VkDelete);
}

}  // namespace

TEST(Session, FirstStartInAnEmptyDirectoryAndLeavingAtOnce) {
    TempDir dir;
    // What a crash in the middle of replacing a file left behind goes: a
    // journal file's always, another file's when the process that made it is
    // gone. The operator's own files stay.
    const std::string gone = std::to_string(GoneProcess());
    dir.Write(".KELBRIN4.CR2.1-3.neu", "half");
    dir.Write(".KUNDEN.DEF." + gone + "-4.neu", "half");
    dir.Write(".KUNDEN.DEF.1-4.neu", "being written");
    StationHarness station;
    station.Add(script::Call([&] {
        EXPECT_FALSE(dir.Exists(".KELBRIN4.CR2.1-3.neu"));
        EXPECT_FALSE(dir.Exists(".KUNDEN.DEF." + gone + "-4.neu"));
        EXPECT_TRUE(dir.Exists(".KUNDEN.DEF.1-4.neu"));
        EXPECT_TRUE(dir.Exists("KELBRIN4.CR2"));
        EXPECT_FALSE(dir.Exists("KELBRIN4.CR1"));
        // The station holds the directory: not even a reader gets in.
        int lock = -1;
        EXPECT_EQ(LockWorkingDirectory(".", true, lock), EWOULDBLOCK);
    }));
    station.Key(VkF1);
    station.Type("n");
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(station.host().ExitCode(), 0);
    EXPECT_FALSE(dir.Exists("KELBRIN4.CR2"));  // empty, so erased at the end
    EXPECT_TRUE(station.host().MessageBoxes().empty());
}

TEST(Session, TheDefinitionScreenAfterStart) {
    TempDir dir;
    StationHarness station;
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
    EXPECT_EQ(station.Text(1, 1, 4), "Len ");
    EXPECT_EQ(station.Text(73, 1, 7), "FeldDef");
    EXPECT_EQ(station.Text(1, 25, 10), " F1Ende F2");
    EXPECT_EQ(station.Cell(5, 10).code, kFillerGlyph);
    EXPECT_EQ(station.Cell(5, 10).color, kGrey);
    int x = 0, y = 0;
    station.Cursor(x, y);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 2);
}

TEST(Session, ALayoutSurvivesARestart) {
    TempDir dir;
    {
        StationHarness station;
        station.Type("n10\r");
        station.Type("a");
        station.Type("+5\r");
        station.Key(VkF1);
        station.Type("n");
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    }
    EXPECT_TRUE(dir.Exists("KELBRIN4.CR1"));
    {
        StationHarness station;
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
        EXPECT_EQ(station.Text(25, 12, 29), "Es sind schon Daten vorhanden");
        EXPECT_EQ(station.Text(1, 1, 20), "Möchten Sie alle (no");
    }
    {
        StationHarness station;
        station.Type("n");  // keep everything
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
        EXPECT_EQ(FieldCount, 2);
        EXPECT_EQ(station.Text(1, 2, 15), "N---------A....");
        EXPECT_EQ(station.Text(1, 1, 6), "Len 15");
    }
    {
        StationHarness station;
        station.Key(VkEscape);  // Esc keeps everything too
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
        EXPECT_EQ(FieldCount, 2);
    }
    {
        StationHarness station;
        station.Add(Del());  // clear everything
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
        EXPECT_EQ(FieldCount, 0);
        EXPECT_FALSE(dir.Exists("KELBRIN4.CR1"));
    }
}

// An empty layout journal (written by something else) is said so and left
// as it is; the records beside it are offered as usual.
TEST(Session, AnEmptyLayoutJournalIsToldAndKept) {
    TempDir dir;
    dir.Write("KELBRIN4.CR1", "");
    StationHarness station;
    station.Add(script::Call([&] {
        std::string screen;
        for (int y = 1; y <= 25; ++y) screen += station.Text(1, y, 80);
        EXPECT_NE(screen.find("Kann Datei nicht lesen !!!"), std::string::npos);
    }));
    station.Type(" ");
    station.Type("n");  // keep what is there
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
    EXPECT_EQ(FieldCount, 0);
    EXPECT_EQ(dir.Read("KELBRIN4.CR1"), "");
}

// A second station in a directory where one works is turned away before it
// touches a file.
TEST(Session, ASecondStationInTheSameDirectoryIsTurnedAway) {
    TempDir dir;
    int first = -1;
    ASSERT_EQ(LockWorkingDirectory(".", false, first), 0);
    StationHarness station;
    station.Add(script::Call([&] {
        std::string screen;
        for (int y = 1; y <= 25; ++y) screen += station.Text(1, y, 80);
        EXPECT_NE(screen.find("In diesem Verzeichnis arbeitet schon eine andere"),
                  std::string::npos);
    }));
    station.Type(" ");
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(station.host().ExitCode(), 1);
    EXPECT_FALSE(dir.Exists("KELBRIN4.CR2"));
    ::close(first);
}
