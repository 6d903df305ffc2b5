#include "host/tty/ScreenFrame.h"

#include <gtest/gtest.h>

#include <clocale>
#include <random>

#include "console/WinCrt.h"
#include "platform/CodePage.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/tty/VtScreen.h"

namespace {

uint32_t Rgb(uint32_t bgr) {
    return (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
}

// Checks every cell of the terminal, and its cursor, against the frame.
void ExpectShows(VtScreen& screen, const Frame& frame) {
    for (int y = 1; y <= Frame::kHeight; ++y) {
        for (int x = 1; x <= Frame::kWidth; ++x) {
            const FrameCell& want = frame.At(x, y);
            const VtCell& got = screen.At(x, y);
            ASSERT_EQ(got.ch, want.ch) << x << "," << y;
            ASSERT_EQ(got.fg, VtColor::Rgb(Rgb(want.fg))) << x << "," << y;
            ASSERT_EQ(got.bg, VtColor::Rgb(Rgb(want.bg))) << x << "," << y;
            ASSERT_EQ(got.underline, want.underline) << x << "," << y;
        }
    }
    ASSERT_EQ(screen.CursorVisible(), frame.cursorX > 0);
    if (frame.cursorX > 0) {
        EXPECT_EQ(screen.CursorX(), frame.cursorX);
        EXPECT_EQ(screen.CursorY(), frame.cursorY);
    }
}

Frame BlueFrame() {
    Frame frame;
    for (auto& cell : frame.cells) cell = FrameCell{U' ', 0x777777, kMainAreaGround, false};
    return frame;
}

}  // namespace

TEST(ScreenColors, TrueColourKeepsBlueInTheHighByte) {
    // Red text (0x0000FF) on the blue ground (0xCC0000).
    EXPECT_EQ(ColorParameters(0x0000FF, kMainAreaGround, ColorDepth::Direct),
              "38;2;255;0;0;48;2;0;0;204");
    EXPECT_EQ(ColorParameters(0x0077FF, 0xC0C0C0, ColorDepth::Direct),
              "38;2;255;119;0;48;2;192;192;192");
}

TEST(ScreenColors, NearestOf256) {
    EXPECT_EQ(NearestIndexed256(kMainAreaGround), 20);  // 0,0,215
    EXPECT_EQ(NearestIndexed256(0xC0C0C0), 250);        // grey ramp beats the cube
    EXPECT_EQ(NearestIndexed256(0x444444), 238);
    EXPECT_EQ(NearestIndexed256(0x777777), 243);
    EXPECT_EQ(NearestIndexed256(0x000000), 16);
    EXPECT_EQ(NearestIndexed256(0xFFFFFF), 231);
    EXPECT_EQ(NearestIndexed256(0x0000FF), 196);  // red
    EXPECT_EQ(NearestIndexed256(0xFF0000), 21);   // blue
    EXPECT_EQ(NearestIndexed256(0x00FFFF), 226);  // yellow
    EXPECT_EQ(NearestIndexed256(0x0077FF), 208);  // orange
    EXPECT_EQ(ColorParameters(0x0000FF, kMainAreaGround, ColorDepth::Indexed256),
              "38;5;196;48;5;20");
}

TEST(ScreenColors, NearestOf16And8WithContrastKept) {
    EXPECT_EQ(NearestAnsi16(kMainAreaGround), 4);
    EXPECT_EQ(NearestAnsi16(0xC0C0C0), 7);
    EXPECT_EQ(NearestAnsi16(0x777777), 8);
    EXPECT_EQ(NearestAnsi16(0x0000FF), 9);
    EXPECT_EQ(NearestAnsi8(0x0000FF), 1);
    EXPECT_EQ(NearestAnsi8(0x00FFFF), 3);
    EXPECT_EQ(NearestAnsi8(0x777777), 7);
    EXPECT_EQ(ColorParameters(0x000000, kMainAreaGround, ColorDepth::Ansi8), "30;44");
    EXPECT_EQ(ColorParameters(0x777777, kMainAreaGround, ColorDepth::Ansi16), "90;44");
    // Grey on silver would vanish in 8 colours: it turns black instead.
    EXPECT_EQ(ColorParameters(0x777777, 0xC0C0C0, ColorDepth::Ansi8), "30;47");
    // White text on the blue ground stays white.
    EXPECT_EQ(ColorParameters(0xFFFFFF, kMainAreaGround, ColorDepth::Ansi16), "97;44");
}

TEST(ScreenFrame, BuiltFromTheThreeControls) {
    ConsoleHarness console;
    SetForeColor(kRed);
    MoveCursor(1, 1);
    WriteText("Status");
    MoveCursor(1, 25);
    WriteText("Legende");
    SetBackColor(kBlue);
    SetForeColor(kDarkGrey);
    MoveCursor(5, 3);
    WriteText("Feld");
    SetBackColor(kDarkGrey);
    SetForeColor(kYellow);
    MoveCursor(1, 24);
    WriteText(std::string("\xDA\xDB\xDC\xDD\xDE\xD9\x81", 7));
    MoveCursor(80, 12);

    const Frame frame = BuildFrame(console.status, console.main, console.legend);
    EXPECT_EQ(frame.At(1, 1), (FrameCell{U'S', kRed, kStatusLineGround, false}));
    EXPECT_EQ(frame.At(1, 25), (FrameCell{U'L', kRed, kStatusLineGround, false}));
    // The main area in the bold face; its empty cells (the filler) are plain
    // ground; a cell between two fields shows the edge on top of the lower one.
    EXPECT_EQ(frame.At(5, 3), (FrameCell{U'F', kBlack, kMainAreaGround, true, true}));
    EXPECT_EQ(frame.At(4, 3), (FrameCell{U' ', kGrey, kMainAreaGround, false, true}));
    const std::u32string glyphs = U"\u250C \u2594\u2581\u2581\u2518\u00FC";
    for (int i = 0; i < 7; ++i) EXPECT_EQ(frame.At(1 + i, 24).ch, glyphs[i]) << i;
    EXPECT_EQ(frame.At(1, 24).fg, kYellow);
    // Column 81 of the main lines (the filler) is never drawn.
    EXPECT_EQ(frame.At(80, 5).ch, U' ');
    EXPECT_EQ(frame.cursorX, 80);
    EXPECT_EQ(frame.cursorY, 12);

    MoveCursor(7, 1);
    EXPECT_EQ(BuildFrame(console.status, console.main, console.legend).cursorY, 1);
    MoveCursor(3, 25);
    const Frame onLegend = BuildFrame(console.status, console.main, console.legend);
    EXPECT_EQ(onLegend.cursorX, 3);
    EXPECT_EQ(onLegend.cursorY, 25);
}

TEST(ScreenFrame, ControlCharactersNeverReachTheTerminal) {
    EXPECT_EQ(ShownGlyph(0x00), U' ');
    EXPECT_EQ(ShownGlyph(0x01), U'\u263A');
    EXPECT_EQ(ShownGlyph(0x1B), U'\u2190');
    EXPECT_EQ(ShownGlyph(0x7F), U'\u2302');
    EXPECT_EQ(ShownGlyph(0x85), U'?');
    EXPECT_EQ(ShownGlyph(U'\u00E4'), U'\u00E4');
    FrameWriter writer(ColorDepth::Direct, GlyphEncoding::Utf8);
    Frame frame = BlueFrame();
    frame.At(1, 1).ch = ShownGlyph(0x1B);
    const std::string bytes = writer.Update(frame);
    // The only Esc bytes are those of our own sequences: each starts one.
    for (std::size_t i = bytes.find('\x1b'); i != std::string::npos;
         i = bytes.find('\x1b', i + 1)) {
        ASSERT_LT(i + 1, bytes.size());
        EXPECT_EQ(bytes[i + 1], '[');
    }
}

TEST(FrameWriter, RandomChangesAlwaysEndInTheRightPicture) {
    FrameWriter writer(ColorDepth::Direct, GlyphEncoding::Utf8);
    VtScreen screen(80, 25);
    std::mt19937 random(42);
    const std::u32string glyphs = U" aZ\u00FC\u00DF\u2591\u2594\u2581\u2550\u2518\u250C#";
    const uint32_t colors[] = {0x000000, 0xFFFFFF, 0x777777, 0x0000FF, 0x00FFFF, 0x0077FF};
    const uint32_t grounds[] = {kMainAreaGround, kStatusLineGround};
    Frame frame = BlueFrame();
    for (int step = 0; step < 60; ++step) {
        const int changes = step % 10 == 0 ? 2000 : static_cast<int>(random() % 40);
        for (int i = 0; i < changes; ++i) {
            FrameCell& cell = frame.cells[random() % frame.cells.size()];
            cell.ch = glyphs[random() % glyphs.size()];
            cell.fg = colors[random() % 6];
            cell.bg = grounds[random() % 2];
            cell.underline = random() % 4 == 0;
        }
        if (random() % 5 == 0) {
            frame.cursorX = frame.cursorY = 0;
        } else {
            frame.cursorX = 1 + static_cast<int>(random() % 80);
            frame.cursorY = 1 + static_cast<int>(random() % 25);
        }
        if (step == 30) writer.Invalidate();
        screen.Feed(writer.Update(frame));
        ExpectShows(screen, frame);
        if (HasFatalFailure()) return;
    }
}

TEST(FrameWriter, SendsOnlyWhatChanged) {
    FrameWriter writer(ColorDepth::Direct, GlyphEncoding::Utf8);
    Frame frame = BlueFrame();
    frame.cursorX = 1;
    frame.cursorY = 2;
    const std::string first = writer.Update(frame);
    EXPECT_EQ(first.find("\x1b[0m\x1b[H\x1b[2J"),
              first.find("\x1b[0m"));  // a full drawing starts cleared
    EXPECT_EQ(writer.Update(frame), "");

    frame.At(40, 12).ch = U'X';
    frame.At(40, 12).bold = true;
    const std::string one = writer.Update(frame);
    EXPECT_NE(one.find("\x1b[12;40H"), std::string::npos);
    EXPECT_NE(one.find("\x1b[1mX"), std::string::npos);  // bold, as the main area is
    EXPECT_LT(one.size(), 60u);
    EXPECT_EQ(one.find("38;2"), std::string::npos);  // the colours did not change

    // Only the cursor moves.
    frame.cursorX = 9;
    EXPECT_EQ(writer.Update(frame), "\x1b[2;9H");
    frame.cursorX = 0;
    EXPECT_EQ(writer.Update(frame), "\x1b[?25l");

    writer.Invalidate();
    EXPECT_GT(writer.Update(frame).size(), 2000u);
}

TEST(FrameWriter, TheSameColoursIn256) {
    FrameWriter writer(ColorDepth::Indexed256, GlyphEncoding::Utf8);
    VtScreen screen(80, 25);
    Frame frame = BlueFrame();
    frame.At(1, 1) = FrameCell{U'S', 0x0000FF, kStatusLineGround, false};
    screen.Feed(writer.Update(frame));
    EXPECT_EQ(screen.At(1, 1).fg, VtColor::Index(196));
    EXPECT_EQ(screen.At(1, 1).bg, VtColor::Index(250));
    EXPECT_EQ(screen.At(2, 2).bg, VtColor::Index(20));
}

TEST(FrameWriter, AsciiStandInsWhereTheLocaleLacksAGlyph) {
    std::setlocale(LC_CTYPE, "C");
    FrameWriter writer(ColorDepth::Ansi8, GlyphEncoding::Locale);
    Frame frame = BlueFrame();
    const std::u32string text = U"\u2591\u2594\u2581\u2550\u2518\u00FC\u20AC";
    for (int i = 0; i < 7; ++i) frame.At(1 + i, 1).ch = text[i];
    const std::string bytes = writer.Update(frame);
    for (char c : bytes) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
    VtScreen screen(80, 25);
    screen.Feed(bytes);
    EXPECT_EQ(screen.Row(1).substr(0, 7), ".~_=+u?");
}

TEST(MessageBox, TextLaidOutInLines) {
    const MessageBoxView box = LayoutMessageBox(
        "\u00DCbersicht", "Zeichen:      Funktion:   \r\n   A     \tAlpha\r\n\r\nEnde\r\n");
    ASSERT_EQ(box.lines.size(), 4u);
    EXPECT_EQ(box.lines[0], U"Zeichen:      Funktion:");
    EXPECT_EQ(box.lines[1], U"   A      Alpha");  // the tab is one blank, the columns stay
    EXPECT_EQ(box.lines[2], U"");
    EXPECT_EQ(box.lines[3], U"Ende");
    EXPECT_FALSE(box.Scrollable());

    const std::string longLine = std::string(70, 'x') + " " + std::string(20, 'y');
    const MessageBoxView wrapped = LayoutMessageBox("", longLine + "\nzwei");
    ASSERT_EQ(wrapped.lines.size(), 3u);
    EXPECT_EQ(wrapped.lines[0].size(), 70u);
    EXPECT_EQ(wrapped.lines[1], std::u32string(20, U'y'));
    EXPECT_EQ(LayoutMessageBox("", std::string(200, 'z')).lines.size(), 3u);
}

TEST(MessageBox, LongTextScrollsWithinTheScreen) {
    std::string text;
    for (int i = 1; i <= 30; ++i) text += "Zeile " + std::to_string(i) + "\r\n";
    MessageBoxView box = LayoutMessageBox("\u00DCbersicht", text);
    ASSERT_EQ(box.lines.size(), 30u);
    EXPECT_TRUE(box.Scrollable());
    EXPECT_EQ(box.VisibleLines(), MessageBoxView::kMaxVisibleLines);
    box.Scroll(-5);
    EXPECT_EQ(box.top, 0);
    box.Scroll(1000);
    EXPECT_EQ(box.top, 30 - MessageBoxView::kMaxVisibleLines);

    Frame frame = BlueFrame();
    frame.cursorX = frame.cursorY = 5;
    DrawMessageBox(frame, box);
    EXPECT_EQ(frame.cursorX, 0);
    FrameWriter writer(ColorDepth::Direct, GlyphEncoding::Utf8);
    VtScreen screen(80, 25);
    screen.Feed(writer.Update(frame));
    EXPECT_TRUE(screen.Contains("\u00DCbersicht"));
    EXPECT_TRUE(screen.Contains("Zeile 30"));
    EXPECT_FALSE(screen.Contains("Zeile 9 "));
    EXPECT_TRUE(screen.Contains("\u25B2"));  // more above
    // The box stays between the status and the legend line.
    EXPECT_EQ(screen.At(40, 1).bg, VtColor::Rgb(0x0000CC));
    EXPECT_EQ(screen.At(40, 25).bg, VtColor::Rgb(0x0000CC));
    EXPECT_TRUE(screen.Row(2).find("\u250C") != std::string::npos);
    EXPECT_TRUE(screen.Row(24).find("Enter: OK") != std::string::npos);
}

TEST(MessageBox, ShortBoxIsCentred) {
    Frame frame = BlueFrame();
    DrawMessageBox(frame, LayoutMessageBox("Fehler", "Kann Datei nicht lesen !!!"));
    FrameWriter writer(ColorDepth::Direct, GlyphEncoding::Utf8);
    VtScreen screen(80, 25);
    screen.Feed(writer.Update(frame));
    int top = 0, bottom = 0;
    for (int y = 1; y <= 25; ++y) {
        if (screen.Row(y).find("\u250C") != std::string::npos) top = y;
        if (screen.Row(y).find("\u2514") != std::string::npos) bottom = y;
    }
    EXPECT_EQ(bottom - top, 2);
    EXPECT_NEAR((top + bottom) / 2.0, 13.0, 1.0);
    const std::string row = screen.Row(top + 1);
    const std::size_t at = row.find("Kann");
    ASSERT_NE(at, std::string::npos);
    EXPECT_TRUE(screen.Row(top).find("Fehler") != std::string::npos);
}

TEST(FrameWriter, NoticeWrapsToTheTerminal) {
    FrameWriter writer(ColorDepth::Direct, GlyphEncoding::Utf8);
    VtScreen screen(30, 10);
    screen.Feed(
        writer.Notice("Das Terminal ist zu klein: mindestens 80 \u00D7 25 Zeichen.", 30, 10));
    EXPECT_EQ(screen.Row(1).substr(0, 26), "Das Terminal ist zu klein:");
    EXPECT_TRUE(screen.Row(2).find("mindestens 80 \u00D7 25") == 0);
    EXPECT_FALSE(screen.CursorVisible());
    EXPECT_FALSE(writer.Valid());
}

TEST(ProgramKeys, AllTwelveKeysFitIntoOneRowWithTheLongestCaptionsCutFirst) {
    auto row = [](const std::array<std::string, 12>& captions) {
        Frame frame;
        DrawProgramKeys(frame, Frame::kProgramKeyRow, captions);
        std::string text, keys;
        for (int x = 1; x <= Frame::kWidth; ++x) {
            const FrameCell& cell = frame.At(x, Frame::kProgramKeyRow);
            AppendUtf8(text, cell.ch);
            keys += cell.fg == 0x0000FF ? 'K' : '.';
            EXPECT_EQ(cell.bg, kStatusLineGround);
        }
        return text + "\n" + keys;
    };
    // One long caption among short ones: the keys lose their "Alt+" but the first,
    // and only the long caption is cut.
    EXPECT_EQ(row({"KUNDEN", "", "LIEFERANTEN", std::string(60, 'L'), "", "", "", "", "", "", "",
                   "ARTIKEL"}),
              " Alt+1 KUNDEN  3 LIEFERANTEN  4 " + std::string(36, 'L') +
                  "\u2026  \u00B4 ARTIKEL\n"
                  ".KKKKK.........K..............K" +
                  std::string(40, '.') + "K........");
    std::array<std::string, 12> all;
    for (int i = 0; i < 12; ++i) all[i] = "KUNDEN" + std::to_string(10 + i);
    EXPECT_EQ(row(all),
              " Alt+1 KUN  2 KUN  3 KUN  4 KUN  5 KUN  6 KU  7 KU  8 KU  9 KU  0 KU  \u00DF KU  "
              "\u00B4 KU\n"
              ".KKKKK......K......K......K......K......K.....K.....K.....K.....K.....K.....K...");
}

TEST(ProgramKeys, TheInformationTextIsCutLikeTheCaptions) {
    Frame frame;
    DrawInfoRow(frame, Frame::kProgramKeyRow, std::string(70, 'a') + "\u00E4bcdefghijkl");
    std::string text;
    for (int x = 1; x <= Frame::kWidth; ++x)
        AppendUtf8(text, frame.At(x, Frame::kProgramKeyRow).ch);
    EXPECT_EQ(text, " " + std::string(70, 'a') + "\u00E4bcdefgh\u2026");
}
