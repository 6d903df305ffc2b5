// The picture the terminal shows: 25 rows of 80 cells built from the three
// screen controls (status line, main area, legend line), the message box drawn
// over it, and the bytes that bring a terminal from one picture to the next.
//
// Everything here is pure: no terminal is touched, so the drawing, the colour
// choice and the difference between two pictures are tested on their own.
// Colours are the station's 0x00BBGGRR values (blue in the high byte).
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class RichEdit;

// The grounds the window paints behind the controls.
inline constexpr uint32_t kMainAreaGround = 0xCC0000;    // blue
inline constexpr uint32_t kStatusLineGround = 0xC0C0C0;  // silver, also the legend line

struct FrameCell {
    char32_t ch = U' ';
    uint32_t fg = 0;  // 0x00BBGGRR
    uint32_t bg = 0;  // 0x00BBGGRR
    bool underline = false;
    bool bold = false;

    bool operator==(const FrameCell&) const = default;
};

struct Frame {
    static constexpr int kWidth = 80;
    static constexpr int kHeight = 25;
    // Below the station's screen, where the terminal has room: the program
    // keys, or the information text while there is one.
    static constexpr int kProgramKeyRow = 26;

    std::array<FrameCell, kWidth * kProgramKeyRow> cells{};
    int rows = kHeight;  // kProgramKeyRow when that row is shown
    int cursorX = 0;     // 1-based; 0: no cursor shown
    int cursorY = 0;

    FrameCell& At(int x, int y) { return cells[(y - 1) * kWidth + (x - 1)]; }
    const FrameCell& At(int x, int y) const { return cells[(y - 1) * kWidth + (x - 1)]; }
    bool operator==(const Frame&) const = default;
};

// Row 1 from the status control, rows 2 to 24 from the first 23 lines of the
// main control (their 81st cell is never shown), row 25 from the legend
// control; the cursor on the selection start of the focused control.
Frame BuildFrame(const RichEdit& status, const RichEdit& main, const RichEdit& legend);

// The program keys with their captions (UTF-8; index 0 is Alt+1, 11 is Alt+´)
// across row `y`, in the legend line's colours: " Alt+1 KUNDEN  Alt+2 ...".
// Keys without a caption are left out. Where not all fit, only the first key
// keeps its "Alt+", and if that is not enough either, the longest captions are
// cut first (marked with an ellipsis).
void DrawProgramKeys(Frame& frame, int y, const std::array<std::string, 12>& captions);

// The information text (UTF-8) across row `y` in the same colours, after a
// leading blank as the captions have; cut with the same ellipsis where it is
// wider than the row.
void DrawInfoRow(Frame& frame, int y, std::string_view utf8);

// What a cell's character looks like on a terminal: control characters, which
// would upset the terminal, show as the pictures a PC text screen gave them
// (NUL as a blank), anything unprintable as '?'.
char32_t ShownGlyph(char32_t ch);
// An ASCII stand-in for terminals whose character set lacks a glyph.
char AsciiLookAlike(char32_t ch);

// How many colours the terminal shows.
enum class ColorDepth { Direct, Indexed256, Ansi16, Ansi8 };
// The nearest entry of the xterm 256-colour cube and grey ramp (16 .. 255).
int NearestIndexed256(uint32_t bgr);
// The nearest of the 16 (8) standard terminal colours, as xterm paints them.
int NearestAnsi16(uint32_t bgr);
int NearestAnsi8(uint32_t bgr);
// The SGR parameters of a cell's colours at a depth (no underline), for
// example "38;2;255;0;0;48;2;0;0;204" for red on the blue ground.
std::string ColorParameters(uint32_t fg, uint32_t bg, ColorDepth depth);

enum class GlyphEncoding {
    Utf8,
    Locale,  // the character set of the C library's locale, ASCII stand-ins where it has no glyph
};

// The modal message box drawn in the middle of the screen: lines with tabs
// expanded and long lines wrapped, of which as many as fit are shown from `top`.
struct MessageBoxView {
    static constexpr int kMaxTextWidth = 76;     // the box then spans all 80 columns
    static constexpr int kMaxVisibleLines = 21;  // the box then spans rows 2 to 24

    std::u32string caption;
    std::vector<std::u32string> lines;
    int top = 0;

    int VisibleLines() const;
    bool Scrollable() const { return static_cast<int>(lines.size()) > kMaxVisibleLines; }
    // Moves the first shown line by `delta`, kept in range.
    void Scroll(int delta);
};
MessageBoxView LayoutMessageBox(std::string_view captionUtf8, std::string_view textUtf8);
void DrawMessageBox(Frame& frame, const MessageBoxView& box);

// Turns frames into terminal output, sending only what changed since the frame
// it sent before.
class FrameWriter {
  public:
    FrameWriter(ColorDepth depth, GlyphEncoding encoding) : depth_(depth), encoding_(encoding) {}

    // The terminal's content is unknown (start, resize, resume): the next
    // update clears the terminal and draws every cell.
    void Invalidate();
    bool Valid() const { return shown_.has_value(); }
    // The bytes that make the terminal show `next`; empty when nothing changed.
    std::string Update(const Frame& next);
    // A notice on a cleared terminal of the given size, word-wrapped; the next
    // update draws everything again.
    std::string Notice(std::string_view utf8, int columns, int rows);

    ColorDepth Depth() const { return depth_; }

  private:
    struct Pen {
        std::string colors;
        bool underline = false;
        bool bold = false;
    };
    void AppendGlyph(std::string& out, char32_t ch) const;

    ColorDepth depth_;
    GlyphEncoding encoding_;
    std::optional<Frame> shown_;
    std::optional<Pen> pen_;
    bool cursorVisible_ = false;
};
