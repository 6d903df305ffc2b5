// The terminal host in a real pseudo-terminal, driving the demo stand-in for
// the station: keys typed, the screen read back, and the terminal given back
// as it was on every way out.
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/kit/TempDir.h"
#include "tests/tty/PtySession.h"

namespace {

using namespace std::chrono_literals;

constexpr int kStopExitCode = 3;  // the demo's Stop
// The end of the demo's legend line, the last row of its first picture.
constexpr const char* kReady = "Strg+C Stop";

PtySession::Options Options(int columns = 80, int rows = 25) {
    PtySession::Options options;
    options.columns = columns;
    options.rows = rows;
    options.environment = {{"ESCDELAY", "25"}};
    return options;
}

bool Before(const std::string& output, const char* first, const char* second) {
    const std::size_t a = output.rfind(first);
    const std::size_t b = output.rfind(second);
    return a != std::string::npos && b != std::string::npos && a < b;
}

// Key reports, mouse and paste reporting off in the reverse order they were
// turned on, the normal screen back, the cursor shown, and the line discipline
// as before.
void ExpectGivenBack(const PtySession& session) {
    const VtScreen& screen = session.Screen();
    EXPECT_EQ(screen.KeyboardFlags(), 0);
    EXPECT_EQ(screen.ModifyOtherKeys(), 0);
    EXPECT_FALSE(screen.Mode(2004));
    EXPECT_FALSE(screen.Mode(1006));
    EXPECT_FALSE(screen.Mode(1000));
    EXPECT_FALSE(screen.Mode(1049));
    EXPECT_TRUE(screen.Mode(7));
    EXPECT_TRUE(screen.CursorVisible());
    const std::string& out = session.Output();
    EXPECT_TRUE(Before(out, "\x1b[?1049h", "\x1b[?1000h"));
    EXPECT_TRUE(Before(out, "\x1b[?1000h", "\x1b[?1006h"));
    EXPECT_TRUE(Before(out, "\x1b[?1006h", "\x1b[?2004h"));
    EXPECT_TRUE(Before(out, "\x1b[?2004h", "\x1b[>5u"));
    EXPECT_TRUE(Before(out, "\x1b[<u", "\x1b[?2004l"));
    EXPECT_TRUE(Before(out, "\x1b[?2004l", "\x1b[?1006l"));
    EXPECT_TRUE(Before(out, "\x1b[?1006l", "\x1b[?1000l"));
    EXPECT_TRUE(Before(out, "\x1b[?1000l", "\x1b[?1049l"));
    const termios modes = session.Modes();
    EXPECT_TRUE(modes.c_lflag & ICANON);
    EXPECT_TRUE(modes.c_lflag & ECHO);
    EXPECT_TRUE(modes.c_iflag & ICRNL);
}

void ExpectExit(PtySession& session, int code) {
    const std::optional<int> status = session.WaitExit();
    ASSERT_TRUE(status.has_value()) << "still running";
    ASSERT_TRUE(WIFEXITED(*status)) << *status;
    EXPECT_EQ(WEXITSTATUS(*status), code);
}

}  // namespace

TEST(TerminalEndToEnd, TypedKeysAppearInTheStationsColours) {
    PtySession::Options options = Options();
    options.environment.emplace_back("COLORTERM", "truecolor");
    PtySession session(KELBRIN_TTY_DEMO, {}, options);
    ASSERT_TRUE(session.WaitForText(kReady)) << session.Screen().Text();
    const VtScreen& screen = session.Screen();
    EXPECT_TRUE(screen.Mode(1049));
    EXPECT_TRUE(screen.Mode(2004));
    EXPECT_FALSE(screen.Mode(7));
    EXPECT_EQ(screen.KeyboardFlags(), 5);
    EXPECT_EQ(screen.ModifyOtherKeys(), 2);

    // Colours straight from the station's values: blue ground, silver lines,
    // a black underlined input field, the frame glyphs.
    EXPECT_EQ(screen.At(40, 12).bg, VtColor::Rgb(0x0000CC));
    EXPECT_EQ(screen.At(1, 1).bg, VtColor::Rgb(0xC0C0C0));
    EXPECT_EQ(screen.At(1, 1).fg, VtColor::Rgb(0xFF0000));
    EXPECT_EQ(screen.At(1, 3).fg, VtColor::Rgb(0x000000));
    EXPECT_TRUE(screen.At(1, 3).underline);
    EXPECT_EQ(screen.Row(24).substr(0, 16), "\u250C \u2594\u2581\u2581\u2518");

    session.Send("Hallo \xc3\xbc");
    ASSERT_TRUE(session.WaitForText("Eingabe: Hallo \u00FC")) << screen.Text();
    EXPECT_EQ(screen.CursorY(), 2);
    EXPECT_EQ(screen.CursorX(), 17);
    session.Send("\x1bOP");
    ASSERT_TRUE(session.WaitForText(": F1 "));
    session.Send("\x1b[1;2P");
    ASSERT_TRUE(session.WaitForText(": Shift+F1"));
    session.Send(
        "\x1b"
        "1");
    ASSERT_TRUE(session.WaitForText(": Programmtaste 1 "));
    session.Send("\x1b[24~");  // F12, with the code of F10: the demo's normal end
    ExpectExit(session, 0);
    ExpectGivenBack(session);
}

TEST(TerminalEndToEnd, ConfirmedKeyReportsAndTheirWayBack) {
    PtySession session(KELBRIN_TTY_DEMO, {}, Options());
    ASSERT_TRUE(session.WaitForText(kReady));
    // The terminal answers that the kitty protocol's flags are in force.
    session.Send(
        "\x1b[?5u\x1b"
        "1");
    ASSERT_TRUE(session.WaitForText(": Zeichen '1' 49")) << session.Screen().Text();
    EXPECT_TRUE(session.Screen().Contains(": Zeichen 27"));
    session.Send("\x1b[49;3u");
    ASSERT_TRUE(session.WaitForText(": Programmtaste 1 "));

    // Ctrl+Z reported as a key suspends all the same: the key reports go with
    // the terminal and come back with it.
    const std::size_t before = session.Output().size();
    session.Send("\x1b[122;5u");
    ASSERT_TRUE(session.WaitFor([&](const VtScreen& screen) {
        return session.Output().find("\x1b[?1049h", before) != std::string::npos &&
               screen.KeyboardFlags() == 5 && screen.Contains(kReady);
    }));
    const std::string after = session.Output().substr(before);
    EXPECT_TRUE(Before(after, "\x1b[<u", "\x1b[?1049l"));
    EXPECT_TRUE(Before(after, "\x1b[?1049l", "\x1b[>5u"));

    session.Send("\x1b[99;5u");  // Ctrl+C reported as a key is Stop
    ExpectExit(session, kStopExitCode);
    ExpectGivenBack(session);
}

TEST(TerminalEndToEnd, ProgramKeyCaptionsOnTheirOwnRowOrBrieflyOnTheLegendLine) {
    PtySession::Options options = Options();
    options.environment.emplace_back("COLORTERM", "truecolor");
    PtySession session(KELBRIN_TTY_DEMO, {}, options);
    ASSERT_TRUE(session.WaitForText(kReady));
    const VtScreen& screen = session.Screen();
    const std::string keys = " Alt+1 KUNDEN  Alt+2 LIEFERANTEN  Alt+\u00B4 ARTIKEL";
    auto startsWith = [](const std::string& row, const std::string& text) {
        return row.compare(0, text.size(), text) == 0;
    };

    // Only 25 rows: the legend line shows the new captions until the next key.
    session.Send("\x1b[15~");  // F5
    ASSERT_TRUE(session.WaitFor([&](const VtScreen& s) { return startsWith(s.Row(25), keys); }))
        << screen.Text();
    EXPECT_EQ(screen.At(2, 25).fg, VtColor::Rgb(0xFF0000));  // key names red,
    EXPECT_EQ(screen.At(8, 25).fg, VtColor::Rgb(0x444444));  // captions grey,
    EXPECT_EQ(screen.At(8, 25).bg, VtColor::Rgb(0xC0C0C0));  // as in the legends
    EXPECT_EQ(screen.CursorY(), 2);
    session.Send("x");
    ASSERT_TRUE(session.WaitForText("Eingabe: x")) << screen.Text();
    EXPECT_NE(screen.Row(25).find(kReady), std::string::npos);
    EXPECT_FALSE(screen.Contains("KUNDEN"));

    // With room below the screen they get a row of their own, drawn again
    // after the resize; the screen and its cursor stay where they were.
    session.Resize(80, 27);
    ASSERT_TRUE(session.WaitFor([&](const VtScreen& s) {
        return startsWith(s.Row(26), keys) && s.CursorY() == 2 && s.CursorX() == 11;
    })) << screen.Text();
    EXPECT_NE(screen.Row(25).find(kReady), std::string::npos);
    EXPECT_EQ(screen.At(80, 26).bg, VtColor::Rgb(0xC0C0C0));
    EXPECT_EQ(screen.At(1, 27).bg, VtColor{});

    // Taken away, the row goes; given again, it comes back and the legend line stays.
    session.Send("\x1b[15~");
    ASSERT_TRUE(session.WaitFor([&](const VtScreen& s) {
        return s.Row(26) == std::string(80, ' ') && s.At(80, 26).bg == VtColor{};
    })) << screen.Text();
    session.Send("\x1b[15~");
    ASSERT_TRUE(session.WaitFor([&](const VtScreen& s) { return startsWith(s.Row(26), keys); }));
    EXPECT_NE(screen.Row(25).find(kReady), std::string::npos);
    EXPECT_EQ(screen.CursorY(), 2);

    session.Send("\x03");
    ExpectExit(session, kStopExitCode);
    ExpectGivenBack(session);
}

// The information text takes the captions' row while it says something, and
// only where the terminal has that row: never the legend line.
TEST(TerminalEndToEnd, InformationTextOnTheRowBelowTheScreenOnly) {
    PtySession session(KELBRIN_TTY_DEMO, {}, Options());
    ASSERT_TRUE(session.WaitForText(kReady));
    const VtScreen& screen = session.Screen();
    auto rowStarts = [&session](int y, const std::string& text) {
        return session.WaitFor([&](const VtScreen& s) { return s.Row(y).find(text) == 0; });
    };
    session.Send("\x1b[17~\x1b[15~");  // F6: the text on; F5: captions, as without the text
    ASSERT_TRUE(rowStarts(25, " Alt+1 KUNDEN")) << screen.Text();
    session.Send("x");
    ASSERT_TRUE(session.WaitForText("Eingabe: x")) << screen.Text();
    EXPECT_NE(screen.Row(25).find(kReady), std::string::npos);
    EXPECT_FALSE(screen.Contains("Feld 3"));

    session.Resize(80, 26);
    ASSERT_TRUE(rowStarts(26, " Feld 3: Pr\u00FCfziffer falsch")) << screen.Text();
    EXPECT_NE(screen.Row(25).find(kReady), std::string::npos);
    session.Send("\x1b[17~");  // F6: the text off, the captions come back
    ASSERT_TRUE(rowStarts(26, " Alt+1 KUNDEN")) << screen.Text();
    session.Send("\x03");
    ExpectExit(session, kStopExitCode);
}

TEST(TerminalEndToEnd, CtrlCIsStopAndTheTerminalComesBack) {
    PtySession session(KELBRIN_TTY_DEMO, {}, Options());
    ASSERT_TRUE(session.WaitForText(kReady));
    session.Send("\x1b");
    ASSERT_TRUE(session.WaitForText(": Zeichen 27"));  // Esc alone, after the short delay
    session.Send("\x03");
    ExpectExit(session, kStopExitCode);
    ExpectGivenBack(session);
}

// GNU screen keeps a lone Esc back while it reports the mouse: once the
// terminal says it is screen, the mouse is given up, also when the terminal
// is taken again after Ctrl+Z. Other terminals keep it.
TEST(TerminalEndToEnd, UnderGnuScreenTheMouseGivesWayToEsc) {
    PtySession session(KELBRIN_TTY_DEMO, {}, Options());
    ASSERT_TRUE(session.WaitForText(kReady));
    session.Send("\x1b[>41;379;0cx");  // xterm
    ASSERT_TRUE(session.WaitForText("Eingabe: x"));
    EXPECT_TRUE(session.Screen().Mode(1000));
    session.Send("\x1b[>83;40900;0c");
    ASSERT_TRUE(session.WaitFor([](const VtScreen& s) { return !s.Mode(1000) && !s.Mode(1006); }));
    const std::size_t before = session.Output().size();
    session.Send("\x1a");
    ASSERT_TRUE(session.WaitFor([&](const VtScreen& s) {
        return session.Output().find("\x1b[?1049h", before) != std::string::npos &&
               s.Contains(kReady);
    }));
    EXPECT_FALSE(session.Screen().Mode(1000));
    EXPECT_TRUE(session.Screen().Mode(2004));
    session.Send("\x03");
    ExpectExit(session, kStopExitCode);
}

// The same through a real GNU screen: Esc alone arrives alone, and a digit
// typed after it is a digit, not Alt with the digit.
TEST(TerminalEndToEnd, EscThroughARealGnuScreen) {
    const char* gnuScreen = "/usr/bin/screen";
    if (::access(gnuScreen, X_OK) != 0) {
        GTEST_SKIP() << "GNU screen is not installed (apt-get install screen)";
    }
    // A screen of its own (not a window in the screen the test may run in),
    // its sockets in a directory of its own, no screenrc of the machine or the user.
    TempDir dir;
    PtySession::Options options = Options();
    options.environment.insert(options.environment.end(), {{"STY", ""},
                                                           {"SCREENDIR", dir.path()},
                                                           {"SCREENRC", "/dev/null"},
                                                           {"SYSSCREENRC", "/dev/null"}});
    PtySession session(gnuScreen, {"-q", KELBRIN_TTY_DEMO}, options);
    // screen passes the mouse reporting asked of it on to the terminal, and its end too.
    ASSERT_TRUE(session.WaitFor([&](const VtScreen& s) {
        return s.Contains(kReady) && session.Output().find("\x1b[?1000h") != std::string::npos &&
               !s.Mode(1000);
    })) << session.Screen().Text();
    session.Send("\x1b");
    ASSERT_TRUE(session.WaitForText(": Zeichen 27", 3s)) << session.Screen().Text();
    session.Send("3");
    ASSERT_TRUE(session.WaitForText(": Zeichen '3' 51")) << session.Screen().Text();
    session.Send("\x03");
    EXPECT_TRUE(session.WaitExit().has_value());
}

TEST(TerminalEndToEnd, KeysTypedWhileTheStationIsBusyArriveInOrder) {
    PtySession::Options options = Options();
    options.environment.emplace_back("KELBRIN_TTY_DEMO_SLOW", "20");
    PtySession session(KELBRIN_TTY_DEMO, {}, options);
    ASSERT_TRUE(session.WaitForText(kReady));
    session.Send("abcdefghij\x1b[<0;30;12M\x1b[<0;30;12mklmnopqrst");
    ASSERT_TRUE(session.WaitForText("Eingabe: abcdefghijklmnopqrst")) << session.Screen().Text();
    EXPECT_TRUE(session.Screen().Contains("Klick 30,12"));
    EXPECT_FALSE(session.Screen().Contains("VERLOREN"));
    session.Send("\x03");
    ExpectExit(session, kStopExitCode);
}

TEST(TerminalEndToEnd, SmallTerminalShowsANoticeUntilEnlarged) {
    PtySession session(KELBRIN_TTY_DEMO, {}, Options(70, 20));
    ASSERT_TRUE(session.WaitForText("Das Terminal ist zu klein")) << session.Screen().Text();
    EXPECT_TRUE(session.WaitForText("jetzt 70 \u00D7 20"));
    session.Send("x");  // stays unread meanwhile
    session.Drain(100ms);
    EXPECT_FALSE(session.Screen().Contains("Eingabe"));
    session.Resize(90, 30);
    ASSERT_TRUE(session.WaitForText("Eingabe: x")) << session.Screen().Text();
    EXPECT_FALSE(session.Screen().Contains("zu klein"));
    EXPECT_EQ(session.Screen().At(40, 12).bg, VtColor::Index(20));  // 256 colours without COLORTERM
    session.Resize(80, 24);
    ASSERT_TRUE(session.WaitForText("jetzt 80 \u00D7 24"));
    session.Signal(SIGTERM);
    ExpectExit(session, kStopExitCode);
    ExpectGivenBack(session);
}

TEST(TerminalEndToEnd, ClickPasteAndMessageBox) {
    PtySession session(KELBRIN_TTY_DEMO, {}, Options());
    ASSERT_TRUE(session.WaitForText(kReady));
    session.Send("\x1b[<0;15;12M\x1b[<0;15;12m");
    ASSERT_TRUE(session.WaitForText("Klick 15,12"));
    ASSERT_TRUE(
        session.WaitFor([](const VtScreen& s) { return s.CursorX() == 15 && s.CursorY() == 12; }));
    session.Send(
        "\x1b[200~Gr\xc3\xbc\xc3\x9f"
        "e\r\nWelt\x1b[201~");
    ASSERT_TRUE(session.WaitForText("Einf\u00FCgen: Gr\u00FC\u00DFeWelt"));

    session.Send("\x1b[18~");  // F7: the long box
    ASSERT_TRUE(session.WaitForText(" \u00DCbersicht "));
    ASSERT_TRUE(session.WaitForText("Zeichen:      Funktion:"));
    EXPECT_FALSE(session.Screen().CursorVisible());
    session.Send("\x1b[6~");
    ASSERT_TRUE(session.WaitForText("Ende der \u00DCbersicht"));
    session.Send("\r");
    ASSERT_TRUE(session.WaitForText("Box geschlossen"));
    EXPECT_FALSE(session.Screen().Contains("Ende der"));
    session.Send("\x03");
    ExpectExit(session, kStopExitCode);
}

TEST(TerminalEndToEnd, SuspendGivesTheTerminalBackAndResumeDrawsAgain) {
    PtySession session(KELBRIN_TTY_DEMO, {}, Options());
    ASSERT_TRUE(session.WaitForText(kReady));
    const std::size_t before = session.Output().size();
    // Ctrl+Z. The demo's process group has no shell to continue it, so the
    // system does not stop it; it gives the terminal back and takes it again.
    session.Send("\x1a");
    ASSERT_TRUE(session.WaitFor([&](const VtScreen& screen) {
        return screen.Mode(1049) &&
               session.Output().find("\x1b[?1049l", before) != std::string::npos &&
               screen.Contains(kReady);
    }));
    const std::string after = session.Output().substr(before);
    EXPECT_TRUE(Before(after, "\x1b[?1049l", "\x1b[?1049h"));
    session.Send("z");
    ASSERT_TRUE(session.WaitForText("Eingabe: z"));
    session.Send("\x03");
    ExpectExit(session, kStopExitCode);
}

TEST(TerminalEndToEnd, CrashGivesTheTerminalBack) {
    PtySession session(KELBRIN_TTY_DEMO, {}, Options());
    ASSERT_TRUE(session.WaitForText(kReady));
    session.Signal(SIGSEGV);
    const std::optional<int> status = session.WaitExit();
    ASSERT_TRUE(status.has_value());
    // Ended by the signal itself, or by a sanitizer's report of it.
    EXPECT_TRUE(WIFSIGNALED(*status) || (WIFEXITED(*status) && WEXITSTATUS(*status) != 0));
    ExpectGivenBack(session);
}

TEST(TerminalEndToEnd, HangUpIsStop) {
    PtySession session(KELBRIN_TTY_DEMO, {}, Options());
    ASSERT_TRUE(session.WaitForText(kReady));
    session.HangUp();
    ExpectExit(session, kStopExitCode);
}

TEST(TerminalEndToEnd, AfterAnAbandonedSessionOnlyStopEnds) {
    PtySession session(KELBRIN_TTY_DEMO, {}, Options());
    ASSERT_TRUE(session.WaitForText(kReady));
    session.Send("\x1b[20~");  // F9: the demo's Start returns
    ASSERT_TRUE(session.WaitForText("Sitzung aufgegeben"));
    session.Send("abc\x1b[24~");
    session.Drain(200ms);
    EXPECT_FALSE(session.Screen().Contains("Eingabe: abc"));
    EXPECT_FALSE(session.WaitExit(100ms).has_value());
    session.Send("\x03");
    ExpectExit(session, kStopExitCode);
    ExpectGivenBack(session);
}
