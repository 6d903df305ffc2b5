// The 80 x 25 text screen the station writes to: a cursor, a text and a
// background colour, and writes that go straight into the three screen controls
// (row 1 the status line, rows 2 to 24 the main area, row 25 the legend line).
//
// Texts are code page 850 bytes; colours are 0x00BBGGRR values.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class RichEdit;
class WindowSystem;

inline constexpr int kScreenColumns = 80;
inline constexpr int kScreenRows = 25;
// The main control's lines hold 80 cells and one filler that is never addressed;
// with the two-character line break a row takes 83 character indexes.
inline constexpr int kMainLineStride = 83;
inline constexpr uint8_t FillerChar = 0xDB;

// Colours the station passes around.
inline constexpr uint32_t kWhite = 0xFFFFFF;
inline constexpr uint32_t kDarkGrey = 0x444444;
inline constexpr uint32_t kGrey = 0x777777;
inline constexpr uint32_t kBlack = 0x000000;
inline constexpr uint32_t kBlue = 0xFF0000;
inline constexpr uint32_t kSilver = 0xC0C0C0;
inline constexpr uint32_t kRed = 0x0000FF;
inline constexpr uint32_t kYellow = 0x00FFFF;
inline constexpr uint32_t kOrange = 0x0077FF;

extern int32_t CursorX;     // 1..80 (81 only inside a write)
extern int32_t CursorY;     // 1..25
extern uint32_t TextColor;  // rewritten by the display colour rules at every write
extern uint32_t BackColor;  // logical only: never painted

// Puts the screen's state back to how the program starts (colours white on dark
// grey, cursor (1, 1), no batch); the bound controls stay bound.
void ResetConsoleScreen();
void BindScreenControls(RichEdit& main, RichEdit& status, RichEdit& legend);
void BindWindowSystem(WindowSystem& windowSystem);
// Forgets the controls and the window system (a host or test going away).
void UnbindConsole();
WindowSystem* BoundWindowSystem();

// The information row outside the 80 x 25 screen (UTF-8). A message (why the
// last beep sounded) stands until the next key is taken; otherwise the
// standing text shows (where the operator is in the records; empty: nothing
// to say). The host is told whenever what the row says changes.
void SetInfoMessage(std::string utf8);
void SetInfoStanding(std::string utf8);
// A key was taken: the message has been read.
void ClearInfoMessage();
const std::string& InfoRowText();
RichEdit* MainControl();
RichEdit* StatusControl();
RichEdit* LegendControl();

void ClearScreen();
void MoveCursor(int32_t x, int32_t y);
void WriteText(std::string_view text);
void WriteLine(std::string_view text);
void ClearToLineEnd();
void SetForeColor(uint32_t color);
void SetBackColor(uint32_t color);
void BeginBatch();
void FlushBatch();

// The glyph a code page 850 byte shows on screen. The frame marks and the
// filler (0xD9 to 0xDE) get fixed box and block glyphs of their own.
char32_t DisplayGlyph(uint8_t oem);
std::u32string DisplayText(std::string_view oem);
// The glyph of the filler 0xDB, which the clipboard never takes.
inline constexpr char32_t kFillerGlyph = U'\u2591';

// A path as directory (up to and including the last separator), name and
// extension (the last dot on).
struct PathParts {
    std::string directory;
    std::string name;
    std::string extension;
};
// The absolute path of a name against the current directory, cut to 255 characters.
std::string ExpandPath(std::string_view name);
