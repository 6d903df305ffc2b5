// Input/output failures while the operator works: the failure is shown, the
// station goes on where the operator was, and what could not be written is
// written at the next occasion. The failures are real failing system calls
// (tests/kit/FaultInjection) on the layout journal's files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "console/WinCrt.h"
#include "screens/InOutFailure.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "tests/kit/FaultInjection.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

constexpr const char* kFullDisk = "Ein-/Ausgabefehler 28: kein Platz mehr auf dem Datenträger.";

// The field count KELBRIN4.CR1 holds; -1 when it holds no layout.
int JournalFieldCount(const TempDir& dir) {
    const std::string bytes = dir.Exists("KELBRIN4.CR1") ? dir.Read("KELBRIN4.CR1") : "";
    if (bytes.size() < 10 || bytes.compare(0, 8, "FeldDef2") != 0) return -1;
    return static_cast<uint8_t>(bytes[8]) | (static_cast<uint8_t>(bytes[9]) << 8);
}

// Files other than the two journal files: a failed write must leave nothing behind.
int StrayFiles(const TempDir& dir) {
    int stray = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name != "KELBRIN4.CR1" && name != "KELBRIN4.CR2") ++stray;
    }
    return stray;
}

struct FaultGuard {
    ~FaultGuard() { ClearFaults(); }
};

}  // namespace

// What the operator reads for the failures a station meets.
TEST(InOutFailure, EachLikelyErrorIsNamed) {
    const std::vector<std::pair<int, std::string>> reasons = {
        {ENOSPC, "kein Platz mehr auf dem Datenträger"},
        {EACCES, "Zugriff verweigert"},
        {EPERM, "Zugriff verweigert"},
        {EROFS, "Datenträger ist schreibgeschützt"},
        {ENOENT, "Datei nicht gefunden"},
        {EIO, "Lese- oder Schreibfehler des Datenträgers"},
        {EDQUOT, "Speicherkontingent erschöpft"},
        {EBADF, "Ein-/Ausgabefehler"},
    };
    for (const auto& [code, reason] : reasons) {
        EXPECT_EQ(InOutErrorText(code),
                  "Ein-/Ausgabefehler " + std::to_string(code) + ": " + reason + ".");
    }
}

TEST(InOutFailure, AFailedJournalWriteIsShownAndWrittenAtTheNextChange) {
    const struct {
        FaultyCall call;
        int error;
        const char* text;
    } cases[] = {
        {FaultyCall::Write, ENOSPC, kFullDisk},
        {FaultyCall::Flush, EIO,
         "Ein-/Ausgabefehler 5: Lese- oder Schreibfehler des Datenträgers."},
        {FaultyCall::Rename, ENOSPC, kFullDisk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FaultGuard guard;
        TempDir dir;
        StationHarness station;
        station.Type("n10\r");
        station.Add(script::Call([&] { InjectFault(c.call, "KELBRIN4.CR1", c.error); }));
        station.Type("a+5\r");
        station.Add(script::Call([&] {
            EXPECT_EQ(InjectedFailures(), 1);
            ASSERT_EQ(station.host().MessageBoxes().size(), 1u);
            EXPECT_EQ(station.host().MessageBoxes()[0].text, c.text);
            EXPECT_EQ(JournalFieldCount(dir), 1);  // the old layout, whole
            EXPECT_EQ(StrayFiles(dir), 0);
        }));
        station.Type("b+3\r");  // the station still takes keys; this change writes all
        station.Add(script::Call([&] {
            EXPECT_EQ(JournalFieldCount(dir), 3);
            InjectFault(c.call, "KELBRIN4.CR1", c.error);
        }));
        station.Type("c+2\r");  // after a good write the same failure is told again
        station.Add(script::Call([&] { EXPECT_EQ(station.host().MessageBoxes().size(), 2u); }));
        station.Key(VkF1);
        station.Type("n");
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
        EXPECT_EQ(station.host().ExitCode(), 0);
        EXPECT_EQ(station.host().MessageBoxes().size(), 2u);
        EXPECT_EQ(JournalFieldCount(dir), 4);
    }
}

// One field journaled, then a full disk for every layout write from the
// second field on.
void LayOutUntilTheDiskIsFull(StationHarness& station) {
    station.Type("n10\r");
    station.Add(script::Call([] { InjectFault(FaultyCall::Write, "KELBRIN4.CR1", ENOSPC, 0); }));
    station.Type("a+5\r");
}

TEST(InOutFailure, LeavingWithAnUnwrittenLayoutNeedsASecondWordWhenTheDiskStaysFull) {
    FaultGuard guard;
    TempDir dir;
    StationHarness station;
    LayOutUntilTheDiskIsFull(station);
    station.Type("b+3\r");  // fails the same way again: a beep, not a second box
    station.Add(script::Call([&] {
        EXPECT_EQ(station.host().MessageBoxes().size(), 1u);
        EXPECT_EQ(station.host().Beeps(), 1);
    }));
    station.Key(VkF1);
    station.Type("n");
    station.Add(script::Call([&] {
        // Refused: told again, and back on the definition screen with all three fields.
        EXPECT_EQ(station.host().MessageBoxes().size(), 2u);
        EXPECT_EQ(Mode, ModeDefinition);
        EXPECT_EQ(FieldCount, 3);
        EXPECT_EQ(station.Text(1, 2, 18), "N---------A....B..");
    }));
    station.Key(VkF1);
    station.Type("n");  // the operator insists
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(station.host().MessageBoxes().size(), 3u);
    EXPECT_EQ(station.host().ExitCode(), 1);  // ended with work lost
    EXPECT_EQ(JournalFieldCount(dir), 1);
}

// A layout the disk refused and the operator then cleared with F8 Del is
// nothing left to write: leaving needs no second word.
TEST(InOutFailure, AClearedLayoutLeavesNothingUnwritten) {
    FaultGuard guard;
    TempDir dir;
    StationHarness station;
    LayOutUntilTheDiskIsFull(station);
    station.Key(VkF8);
    station.Key(VkDelete);
    station.Key(VkF1);
    station.Type("n");
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(station.host().ExitCode(), 0);
    EXPECT_EQ(station.host().MessageBoxes().size(), 1u);  // the first failure only
    EXPECT_FALSE(dir.Exists("KELBRIN4.CR1"));
}

TEST(InOutFailure, StopWritesTheUnwrittenLayoutOnceThereIsRoom) {
    FaultGuard guard;
    TempDir dir;
    StationHarness station;
    station.Type("n10\r");
    station.Add(script::Call([&] { InjectFault(FaultyCall::Rename, "KELBRIN4.CR1", ENOSPC, 0); }));
    station.Type("a+5\r");
    station.Add(script::Stop());
    station.Add(script::Call([&] {
        EXPECT_EQ(station.host().MessageBoxes().size(), 2u);
        EXPECT_FALSE(station.host().Ended());
        ClearFaults();  // the operator made room
    }));
    station.Add(script::Stop());
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(JournalFieldCount(dir), 2);
}

TEST(InOutFailure, ARecordFileThatCannotBeMadeEndsTheStationAfterSayingWhy) {
    TempDir dir;
    ASSERT_EQ(::mkdir("KELBRIN4.CR2", 0755), 0);
    StationHarness station;
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(station.host().ExitCode(), 1);
    ASSERT_EQ(station.host().MessageBoxes().size(), 1u);
    EXPECT_EQ(station.host().MessageBoxes()[0].text.rfind("Ein-/Ausgabefehler 21:", 0), 0u);
}

TEST(InOutFailure, ARecordFileThatCannotBeOpenedIsNeverMadeAnew) {
    TempDir dir;
    dir.Write("KELBRIN4.CR2", "abcd");
    InjectFault(FaultyCall::Open, "KELBRIN4.CR2", EIO);  // the first open only
    StationHarness station;
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    ClearFaults();
    EXPECT_EQ(station.host().ExitCode(), 1);
    ASSERT_EQ(station.host().MessageBoxes().size(), 1u);
    EXPECT_EQ(station.host().MessageBoxes()[0].text,
              "Ein-/Ausgabefehler 5: Lese- oder Schreibfehler des Datenträgers (KELBRIN4.CR2).");
    EXPECT_EQ(dir.Read("KELBRIN4.CR2"), "abcd");
}

// A journal file that is a directory, a FIFO or a device ends the start; the
// box says which file and what it is, not a bare error number.
TEST(InOutFailure, AJournalFileThatIsNoFileIsNamedWhenTheStartEnds) {
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { ::mkdir("KELBRIN4.CR2", 0755); },
         "Ein-/Ausgabefehler 21: KELBRIN4.CR2 ist ein Verzeichnis."},
        {[] { ::mkfifo("KELBRIN4.CR2", 0600); },
         "Ein-/Ausgabefehler 22: KELBRIN4.CR2 ist eine Pipe, keine gewöhnliche Datei."},
        {[] { ::symlink("/dev/null", "KELBRIN4.CR1"); },
         "Ein-/Ausgabefehler 22: KELBRIN4.CR1 ist ein Gerät, keine gewöhnliche Datei."},
    };
    for (const auto& [make, text] : cases) {
        TempDir dir;
        make();
        StationHarness station;
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
        EXPECT_EQ(station.host().ExitCode(), 1);
        ASSERT_EQ(station.host().MessageBoxes().size(), 1u);
        EXPECT_EQ(station.host().MessageBoxes()[0].text, text);
    }
}

// F2 to a FIFO is refused with what it is, before anything is opened: first
// with a reader on it (the data would go into the pipe), then without one
// (opening it would wait for ever, Ctrl+C and all).
TEST(InOutFailure, F2RefusesAFifoWithoutWaitingForAReader) {
    for (const bool read : {true, false}) {
        TempDir dir;
        ASSERT_EQ(::mkfifo("PIPE.DAT", 0600), 0);
        const int reader = read ? ::open("PIPE.DAT", O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        StationHarness station;
        bool refused = false;
        station.Type("a4\r");
        station.Key(VkF9);
        station.Type("abcd");
        station.Key(VkF2);
        station.Type("\rPIPE.DAT\r");
        station.Add(script::Call([&] {
            refused = station.Text(25, 12, 54) ==
                          "Kann Datei nicht schreiben !!! PIPE.DAT ist eine Pipe," &&
                      station.Text(25, 13, 24) == "keine gewöhnliche Datei.";
        }));
        station.Type("x");
        station.Add(script::Call([] { EXPECT_EQ(SubMode, SubMain); }));
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
        if (reader >= 0) {
            char got[8];
            EXPECT_EQ(::read(reader, got, sizeof got), 0);  // nothing came through
            ::close(reader);
        }
        ASSERT_TRUE(refused) << station.Row(12) << station.Row(13);
    }
}

TEST(InOutFailure, ARecordTheDiskRefusesStaysOnTheScreenWhenTheOperatorLeaves) {
    TempDir dir;
    StationHarness station;
    station.Type("a4\rn+3\re+2\r");
    station.Key(VkF9);
    station.Type("abcd12\rwx");
    station.Add(script::Call([] { InjectFault(FaultyCall::Write, "KELBRIN4.CR2", ENOSPC); }));
    station.Key(VkF2);  // leaving for the export: the record cannot be stored
    station.Add(script::Idle());
    station.Add(script::Call([&] {
        ClearFaults();
        EXPECT_EQ(station.host().MessageBoxes().size(), 1u);
        EXPECT_EQ(Mode, ModeEntry);
        EXPECT_EQ(SubMode, SubMain);
        EXPECT_EQ(station.Text(1, 2, 2), "wx");  // still there to be stored
    }));
    station.Key(VkF9);  // with room again, leaving stores it
    station.Add(script::Idle());
    station.Add(script::Call([] { EXPECT_EQ(Mode, ModeVerify); }));
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
    EXPECT_EQ(dir.Read("KELBRIN4.CR2").substr(9, 2), "wx");
}

TEST(InOutFailure, ALayoutJournalThatCannotBeReadEndsTheStartAndStaysAsItWas) {
    TempDir dir;
    {
        StationHarness station;
        station.Type("a4\re+2\r");
        station.Key(VkF1);
        station.Type("n");
        ASSERT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    }
    const std::string layout = dir.Read("KELBRIN4.CR1");
    FaultGuard guard;
    InjectFault(FaultyCall::Open, "KELBRIN4.CR1", EIO);
    StationHarness station;
    station.Type("n");
    station.Type("b+3\r");  // a new layout must not reach the journal
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(InjectedFailures(), 1);
    EXPECT_EQ(station.host().ExitCode(), 1);
    ASSERT_EQ(station.host().MessageBoxes().size(), 1u);
    EXPECT_EQ(station.host().MessageBoxes()[0].text.rfind("Ein-/Ausgabefehler 5:", 0), 0u);
    EXPECT_EQ(dir.Read("KELBRIN4.CR1"), layout);
    EXPECT_FALSE(dir.Exists("KELBRIN4.CR2"));  // nothing made either
}

// A data directory that cannot be opened or read: the operator is told, a
// load offers nothing and ends, a save still takes a name; the station goes on.
TEST(InOutFailure, ADirectoryThatCannotBeListedIsToldAndTheDialogEnds) {
    FaultGuard guard;
    TempDir dir;
    dir.Write("daten/alt.dat", "abcd\r\n");
    StationHarness station;
    station.Type("a4\re+2\r");
    station.Key(VkF9);
    station.Type("abcd");
    const auto told = [&] {
        EXPECT_EQ(InjectedFailures(), 1);
        EXPECT_EQ(station.Text(25, 12, 32), "Kann Verzeichnis nicht lesen !!!");
    };
    for (const int call : {1, 2}) {  // opening the directory, then reading it
        station.Add(script::Call([call] { InjectFault(FaultyCall::List, "daten", EIO, call); }));
        station.Key(VkF3);
        station.Type("daten\r");
        station.Add(script::Call(told));
        station.Type("x");  // any key: back on the entry screen, nothing loaded
        station.Add(script::Call([] {
            EXPECT_EQ(Mode, ModeEntry);
            EXPECT_EQ(SubMode, SubMain);
        }));
    }
    station.Add(script::Call([] { InjectFault(FaultyCall::List, "daten", EIO); }));
    station.Key(VkF2);
    station.Type("daten\r");
    station.Add(script::Call(told));
    station.Type("x");
    station.Add(script::Call([&] { EXPECT_EQ(station.Text(1, 1, 11), "Dateiname: "); }));
    station.Type("neu\r");
    station.Key(VkF8);  // ASCII
    station.Add(script::Idle());
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ScriptEnded);
    EXPECT_EQ(dir.Read("KELBRIN4.CR2").substr(0, 6), "abcd\r\n");
    EXPECT_EQ(dir.Read("daten/neu"), "abcd\r\n");
}
