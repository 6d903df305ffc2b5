// The whole station in a real pseudo-terminal: a layout typed, saved with F2,
// the station left with F1 and N, and the screen and the files checked.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/kit/TempDir.h"
#include "tests/tty/PtySession.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kF1 = "\x1bOP";
constexpr const char* kF2 = "\x1bOQ";

PtySession::Options StationOptions() {
    PtySession::Options options;
    options.environment = {{"ESCDELAY", "25"}};
    return options;
}

}  // namespace

TEST(StationInATerminal, LayOutSaveAndLeave) {
    TempDir dir;
    PtySession station(KELBRIN_STATION, {"--terminal"}, StationOptions());
    ASSERT_TRUE(station.WaitForText("F9Modus"));
    EXPECT_EQ(station.Screen().Row(1).substr(0, 4), "Len ");

    station.Send("n10\r");
    ASSERT_TRUE(station.WaitForText("N---------"));
    station.Send("a+5\r");
    ASSERT_TRUE(station.WaitForText("N---------A...."));
    ASSERT_TRUE(station.WaitForText("Len 15"));

    station.Send(kF2);
    ASSERT_TRUE(station.WaitForText("Verzeichnis [*.DEF]:"));
    station.Send("\r");
    ASSERT_TRUE(station.WaitForText("Dateiname:"));
    station.Send("probe\r");
    ASSERT_TRUE(station.WaitForText("N---------A...."));

    station.Send(kF1);
    ASSERT_TRUE(station.WaitForText("Daten löschen (Esc/N/Entf) ?"));
    station.Send("n");
    const std::optional<int> status = station.WaitExit();
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);

    EXPECT_TRUE(dir.Exists("probe.DEF"));
    EXPECT_EQ(dir.Read("probe.DEF").size(), 5084u + 2 * 15);
    EXPECT_EQ(dir.Read("probe.DEF"), dir.Read("KELBRIN4.CR1"));
    EXPECT_FALSE(dir.Exists("KELBRIN4.CR2"));  // empty, erased at the end
}

TEST(StationInATerminal, StopSavesTheOpenTextEditorAndGivesTheTerminalBack) {
    TempDir dir;
    PtySession station(KELBRIN_STATION, {"--terminal"}, StationOptions());
    ASSERT_TRUE(station.WaitForText("F9Modus"));
    station.Send("a3\r");
    ASSERT_TRUE(station.WaitForText("A.."));
    station.Send("\x1b[17~");  // F6: the text editor
    ASSERT_TRUE(station.WaitForText("Alles"));
    station.Send("Kunde");
    ASSERT_TRUE(station.WaitForText("A..Kunde"));
    station.Send("\x03");  // Ctrl+C acts as the Stop button
    const std::optional<int> status = station.WaitExit();
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_FALSE(station.Screen().Mode(1049));  // the normal screen is back
    const std::string journal = dir.Read("KELBRIN4.CR1");
    ASSERT_GE(journal.size(), 10u + 15 + 80 + 8);
    EXPECT_EQ(journal.substr(10 + 15 + 80 + 3, 5), "Kunde");
    EXPECT_TRUE(dir.Exists("KELBRIN4.CR2"));
}

// The real station with one system call on its files failing (strace injects
// it): the terminal shows the failure in a box, the station takes keys again
// once the box is closed, and the next change writes the layout the failure
// kept back. The terminal itself writes with write(), the station's files with
// pwrite, fsync and rename, so the first call of each kind is the journal's
// (of fsync the second: the first flushes the directory of the new record
// file).
TEST(StationInATerminal, AFailingDiskIsShownAndTheStationGoesOn) {
    const char* strace = "/usr/bin/strace";
    if (::access(strace, X_OK) != 0) GTEST_SKIP() << "strace is not installed";
    for (const char* call : {"pwrite64", "fsync", "rename"}) {
        SCOPED_TRACE(call);
        TempDir dir;
        PtySession::Options options = StationOptions();
        // The leak checker of a sanitizer build cannot run under a tracer.
        options.environment.emplace_back("ASAN_OPTIONS", "detect_leaks=0");
        PtySession station(
            strace,
            {"-f", "-qq", "-o", "/dev/null", "-e", "trace=pwrite64,fsync,rename", "-e",
             std::string("inject=") + call + ":error=ENOSPC:when=" +
                 // The first fsync puts the new record file's name on the disk.
                 (std::string(call) == "fsync" ? "2" : "1"),
             KELBRIN_STATION, "--terminal"},
            options);
        ASSERT_TRUE(station.WaitForText("F9Modus"));
        station.Send("n10\r");
        ASSERT_TRUE(station.WaitForText("kein Platz mehr auf dem Datenträger"));
        EXPECT_FALSE(dir.Exists("KELBRIN4.CR1"));
        station.Send("\r");  // closes the box
        station.Send("a+5\r");
        ASSERT_TRUE(station.WaitForText("N---------A...."));
        station.Send(kF1);
        ASSERT_TRUE(station.WaitForText("Daten löschen (Esc/N/Entf) ?"));
        station.Send("n");
        const std::optional<int> status = station.WaitExit();
        ASSERT_TRUE(status.has_value());
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
        const std::string journal = dir.Read("KELBRIN4.CR1");
        ASSERT_GE(journal.size(), 10u);
        EXPECT_EQ(journal[8], 2);  // both fields
    }
}

// The station's main job in a real terminal: a form laid out, three records
// keyed, all three verified, and the station left.
TEST(StationInATerminal, LayOutKeyVerifyAndLeave) {
    TempDir dir;
    PtySession station(KELBRIN_STATION, {"--terminal"}, StationOptions());
    ASSERT_TRUE(station.WaitForText("F9Modus"));
    station.Send("a4\rn+3\re+2\r");
    ASSERT_TRUE(station.WaitForText("A...N--E."));
    station.Send("\x1b[20~");  // F9: entry mode
    ASSERT_TRUE(station.WaitForText("Eingabe"));
    station.Send("abcd12\refgh7\rijkl345");
    ASSERT_TRUE(station.WaitForText("Satz 4"));
    EXPECT_EQ(dir.Read("KELBRIN4.CR2"), "abcd 12\r\nefgh  7\r\nijkl345\r\n");

    station.Send("\x1b[20~");  // F9: verify mode, then Home to record 1
    ASSERT_TRUE(station.WaitForText("Prüfen"));
    station.Send("\x1b[H");
    ASSERT_TRUE(station.WaitForText("Satz 1"));
    station.Send("abcd12efgh7ijkl345");
    ASSERT_TRUE(station.WaitForText("Satz 4"));

    station.Send(kF1);
    ASSERT_TRUE(station.WaitForText("Daten löschen (Esc/N/Entf) ?"));
    station.Send("n");
    const std::optional<int> status = station.WaitExit();
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    // Verifying changed nothing; the empty record it ended on is stored empty.
    EXPECT_EQ(dir.Read("KELBRIN4.CR2").substr(0, 27), "abcd 12\r\nefgh  7\r\nijkl345\r\n");
}
