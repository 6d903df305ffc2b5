#include "host/tty/ScreenFrame.h"

#include <algorithm>
#include <climits>
#include <cwchar>

#include "console/ConsoleScreen.h"
#include "platform/CodePage.h"
#include "platform/RichEdit.h"

namespace {

// The upper and lower one eighth block, the frame mark between two fields.
constexpr char32_t kTopAndBottomEdge = U'\U0001FB80';

constexpr uint32_t kBoxInk = 0x000000;
constexpr uint32_t kBoxGround = 0xC0C0C0;

// The pictures a PC text screen showed for the control bytes 1 to 31.
constexpr char32_t kControlPictures[32] = {
    U' ',      U'\u263A', U'\u263B', U'\u2665', U'\u2666', U'\u2663', U'\u2660', U'\u2022',
    U'\u25D8', U'\u25CB', U'\u25D9', U'\u2642', U'\u2640', U'\u266A', U'\u266B', U'\u263C',
    U'\u25BA', U'\u25C4', U'\u2195', U'\u203C', U'\u00B6', U'\u00A7', U'\u25AC', U'\u21A8',
    U'\u2191', U'\u2193', U'\u2192', U'\u2190', U'\u221F', U'\u2194', U'\u25B2', U'\u25BC',
};

struct Rgb {
    int r, g, b;
};
Rgb FromBgr(uint32_t bgr) {
    return {static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
            static_cast<int>((bgr >> 16) & 0xFF)};
}
int Distance(Rgb a, Rgb b) {
    return (a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) + (a.b - b.b) * (a.b - b.b);
}

// xterm's default palette for the 16 standard colours.
constexpr Rgb kAnsiPalette[16] = {
    {0x00, 0x00, 0x00}, {0xCD, 0x00, 0x00}, {0x00, 0xCD, 0x00}, {0xCD, 0xCD, 0x00},
    {0x00, 0x00, 0xEE}, {0xCD, 0x00, 0xCD}, {0x00, 0xCD, 0xCD}, {0xE5, 0xE5, 0xE5},
    {0x7F, 0x7F, 0x7F}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x5C, 0x5C, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
};

int NearestAnsi(uint32_t bgr, int count) {
    const Rgb c = FromBgr(bgr);
    // A grey takes a grey: the nearest colour by distance alone would paint
    // the station's grey text yellow.
    const bool grey = std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}) < 32;
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < count; ++i) {
        const Rgb p = kAnsiPalette[i];
        if (grey && !(p.r == p.g && p.g == p.b)) continue;
        const int d = Distance(c, p);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

bool LightAnsi(int index) {
    const Rgb c = kAnsiPalette[index];
    return c.r * 299 + c.g * 587 + c.b * 114 > 128 * 1000;
}

constexpr int kCubeLevels[6] = {0, 95, 135, 175, 215, 255};
int CubeIndex(int value) {
    if (value < 48) return 0;
    if (value < 115) return 1;
    return std::min(5, (value - 35) / 40);
}

void AppendNumber(std::string& out, int value) {
    out += std::to_string(value);
}

void AppendCursorMove(std::string& out, int x, int y) {
    out += "\x1b[";
    AppendNumber(out, y);
    out += ';';
    AppendNumber(out, x);
    out += 'H';
}

void DrawText(Frame& frame, int x, int y, std::u32string_view text, uint32_t fg, uint32_t bg) {
    for (char32_t ch : text) {
        if (x < 1 || x > Frame::kWidth || y < 1 || y > Frame::kHeight) return;
        frame.At(x++, y) = FrameCell{ShownGlyph(ch), fg, bg, false};
    }
}

std::u32string Utf8ToText(std::string_view utf8) {
    return Utf8ToU32(utf8);
}

// Words wrapped to `width`; a word longer than a line is cut.
std::vector<std::u32string> Wrap(std::u32string_view text, int width) {
    std::vector<std::u32string> lines;
    if (width < 1) width = 1;
    const auto limit = static_cast<std::size_t>(width);
    std::u32string line;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == U' ') {
            ++i;
            continue;
        }
        std::size_t end = text.find(U' ', i);
        if (end == std::u32string_view::npos) end = text.size();
        std::u32string_view word = text.substr(i, end - i);
        i = end;
        while (!word.empty()) {
            const std::size_t needed = line.empty() ? word.size() : line.size() + 1 + word.size();
            if (needed <= limit) {
                if (!line.empty()) line += U' ';
                line += word;
                word = {};
            } else if (line.empty()) {
                lines.emplace_back(word.substr(0, limit));
                word.remove_prefix(limit);
            } else {
                lines.push_back(std::move(line));
                line.clear();
            }
        }
    }
    if (!line.empty() || lines.empty()) lines.push_back(std::move(line));
    return lines;
}

// The legend line's colours: key names in red, the rest dark grey.
constexpr uint32_t kLegendKey = 0x0000FF;
constexpr uint32_t kLegendText = 0x444444;

// The highest width every caption may have so that all of them together take
// at most `room` cells; captions shorter than it keep their length.
int CaptionLimit(const std::vector<std::u32string>& captions, int room) {
    int longest = 0;
    for (const auto& caption : captions)
        longest = std::max(longest, static_cast<int>(caption.size()));
    for (int limit = longest; limit > 0; --limit) {
        int total = 0;
        for (const auto& caption : captions)
            total += std::min(limit, static_cast<int>(caption.size()));
        if (total <= room) return limit;
    }
    return 0;
}

}  // namespace

void DrawProgramKeys(Frame& frame, int y, const std::array<std::string, 12>& captions) {
    static constexpr const char32_t* kKeys[12] = {U"1", U"2", U"3", U"4", U"5",      U"6",
                                                  U"7", U"8", U"9", U"0", U"\u00DF", U"\u00B4"};
    constexpr int kGap = 2;  // blanks between two keys
    std::vector<const char32_t*> keys;
    std::vector<std::u32string> texts;
    for (int i = 0; i < 12; ++i) {
        if (captions[i].empty()) continue;
        keys.push_back(kKeys[i]);
        texts.push_back(Utf8ToText(captions[i]));
    }
    for (int x = 1; x <= Frame::kWidth; ++x)
        frame.At(x, y) = FrameCell{U' ', kLegendText, kStatusLineGround, false};
    if (keys.empty()) return;

    const int count = static_cast<int>(keys.size());
    int totalText = 0;
    for (const auto& text : texts) totalText += static_cast<int>(text.size());
    // Every key takes its name and a blank, "Alt+" adds four, and the keys are
    // set apart; a blank leads, as in the station's legends.
    const int fixed = 1 + count * 2 + (count - 1) * kGap;
    // Where the captions do not all fit whole, only the first key keeps its
    // "Alt+": that leaves more of them than cutting them would.
    int room = Frame::kWidth - fixed - 4 * count;
    const bool shortNames = totalText > room;
    if (shortNames) room = Frame::kWidth - fixed - 4;
    const int limit = CaptionLimit(texts, room);
    // The cells the limit leaves unused go to the cut captions, first come first.
    int spare = room;
    for (const auto& text : texts) spare -= std::min(limit, static_cast<int>(text.size()));

    int x = 1;
    auto put = [&frame, &x, y](std::u32string_view text, uint32_t color) {
        for (char32_t ch : text) {
            if (x > Frame::kWidth) return;
            frame.At(x++, y) = FrameCell{ShownGlyph(ch), color, kStatusLineGround, false};
        }
    };
    put(U" ", kLegendText);
    for (int i = 0; i < count; ++i) {
        if (i > 0) put(std::u32string(kGap, U' '), kLegendText);
        put((shortNames && i > 0 ? U"" : U"Alt+") + std::u32string(keys[i]), kLegendKey);
        std::u32string text = texts[i];
        int width = std::min(limit, static_cast<int>(text.size()));
        if (width < static_cast<int>(text.size()) && spare > 0) {
            ++width;
            --spare;
        }
        if (width <= 0) continue;
        if (width < static_cast<int>(text.size())) {
            text.resize(width);
            if (width >= 4) text.back() = U'\u2026';
        }
        put(U" " + text, kLegendText);
    }
}

void DrawInfoRow(Frame& frame, int y, std::string_view utf8) {
    // A blank leads, as on the captions' row.
    std::u32string text = Utf8ToText(utf8);
    text.insert(text.begin(), U' ');
    if (static_cast<int>(text.size()) > Frame::kWidth) {
        text.resize(Frame::kWidth);
        text.back() = U'\u2026';
    }
    for (int x = 1; x <= Frame::kWidth; ++x) {
        const char32_t ch = x <= static_cast<int>(text.size()) ? ShownGlyph(text[x - 1]) : U' ';
        frame.At(x, y) = FrameCell{ch, kLegendText, kStatusLineGround, false};
    }
}

char32_t ShownGlyph(char32_t ch) {
    if (ch < 0x20) return kControlPictures[ch];
    if (ch == 0x7F) return U'\u2302';
    if ((ch >= 0x80 && ch <= 0x9F) || (ch >= 0xD800 && ch <= 0xDFFF) || ch > 0x10FFFF) return U'?';
    return ch;
}

char AsciiLookAlike(char32_t ch) {
    if (ch >= 0x20 && ch < 0x7F) return static_cast<char>(ch);
    switch (ch) {
        case U'\u2550':
            return '=';  // double horizontal
        case U'\u2594':
            return '~';  // edge on top
        case U'\u2581':
            return '_';  // edge at the bottom
        case U'\u2591':
            return '.';  // light shade
        case U'\u2592':
        case U'\u2593':
        case U'\u2588':
            return '#';
        case U'\u00C4':
            return 'A';
        case U'\u00D6':
            return 'O';
        case U'\u00DC':
            return 'U';
        case U'\u00E4':
            return 'a';
        case U'\u00F6':
            return 'o';
        case U'\u00FC':
            return 'u';
        case U'\u00DF':
            return 's';
        case U'\u00A0':
            return ' ';
        case U'\u00D7':
            return 'x';
        case U'\u2026':
            return '~';  // a caption cut short
        default:
            break;
    }
    if (ch >= 0x2500 && ch <= 0x257F) {  // box drawing
        if (ch == 0x2500 || ch == 0x2501 || ch == 0x2504 || ch == 0x2505) return '-';
        if (ch == 0x2502 || ch == 0x2503 || ch == 0x2506 || ch == 0x2507 || ch == 0x2551)
            return '|';
        return '+';
    }
    if (ch >= 0x2580 && ch <= 0x259F) return '#';
    return '?';
}

int NearestIndexed256(uint32_t bgr) {
    const Rgb c = FromBgr(bgr);
    const int ri = CubeIndex(c.r), gi = CubeIndex(c.g), bi = CubeIndex(c.b);
    const Rgb cube{kCubeLevels[ri], kCubeLevels[gi], kCubeLevels[bi]};
    const int average = (c.r + c.g + c.b) / 3;
    const int greyIndex = std::clamp((average - 8 + 5) / 10, 0, 23);
    const int grey = 8 + 10 * greyIndex;
    if (Distance(c, Rgb{grey, grey, grey}) < Distance(c, cube)) return 232 + greyIndex;
    return 16 + 36 * ri + 6 * gi + bi;
}

int NearestAnsi16(uint32_t bgr) {
    return NearestAnsi(bgr, 16);
}
int NearestAnsi8(uint32_t bgr) {
    return NearestAnsi(bgr, 8);
}

std::string ColorParameters(uint32_t fg, uint32_t bg, ColorDepth depth) {
    std::string out;
    switch (depth) {
        case ColorDepth::Direct: {
            const Rgb f = FromBgr(fg), b = FromBgr(bg);
            out = "38;2;" + std::to_string(f.r) + ';' + std::to_string(f.g) + ';' +
                  std::to_string(f.b) + ";48;2;" + std::to_string(b.r) + ';' + std::to_string(b.g) +
                  ';' + std::to_string(b.b);
            break;
        }
        case ColorDepth::Indexed256:
            out = "38;5;" + std::to_string(NearestIndexed256(fg)) + ";48;5;" +
                  std::to_string(NearestIndexed256(bg));
            break;
        case ColorDepth::Ansi16:
        case ColorDepth::Ansi8: {
            const int count = depth == ColorDepth::Ansi16 ? 16 : 8;
            const int b = NearestAnsi(bg, count);
            int f = NearestAnsi(fg, count);
            // With so few colours text could vanish into its ground: take the
            // contrasting one of black and white instead.
            if (f == b) f = LightAnsi(b) ? 0 : (count == 16 ? 15 : 7);
            out = std::to_string(f < 8 ? 30 + f : 90 + f - 8) + ';' +
                  std::to_string(b < 8 ? 40 + b : 100 + b - 8);
            break;
        }
    }
    return out;
}

namespace {

FrameCell TerminalCell(const RichCell& cell, uint32_t ground) {
    FrameCell shown{ShownGlyph(cell.ch), cell.color, ground, cell.underline};
    // A cell between two fields: no common terminal font has the block with
    // both edges, and an underline for the second one sits thinner and higher
    // than the eighth blocks beside it. The two fields share one edge instead,
    // on top of the lower field, so every edge is one straight line.
    if (shown.ch == kTopAndBottomEdge) shown.ch = U'\u2581';
    return shown;
}

}  // namespace

Frame BuildFrame(const RichEdit& status, const RichEdit& main, const RichEdit& legend) {
    Frame frame;
    auto copyLine = [&frame](const RichEdit& control, int line, int y, uint32_t ground) {
        for (int x = 1; x <= Frame::kWidth; ++x) {
            frame.At(x, y) = TerminalCell(control.Cell(line, x - 1), ground);
        }
    };
    copyLine(status, 0, 1, kStatusLineGround);
    for (int y = 2; y <= 24; ++y) {
        copyLine(main, y - 2, y, kMainAreaGround);
        for (int x = 1; x <= Frame::kWidth; ++x) {
            FrameCell& cell = frame.At(x, y);
            // The layout's empty cells are the plain ground.
            if (cell.ch == kFillerGlyph) cell.ch = U' ';
            // The bold face keeps the black labels readable on the blue.
            cell.bold = true;
        }
    }
    copyLine(legend, 0, 25, kStatusLineGround);

    int line = 0, column = 0;
    if (main.Focused()) {
        main.IndexToCell(main.SelectionStart(), line, column);
        if (line <= 22) {
            frame.cursorX = std::min(column, Frame::kWidth - 1) + 1;
            frame.cursorY = line + 2;
        }
    } else if (status.Focused() || legend.Focused()) {
        const RichEdit& control = status.Focused() ? status : legend;
        control.IndexToCell(control.SelectionStart(), line, column);
        frame.cursorX = std::min(column, Frame::kWidth - 1) + 1;
        frame.cursorY = status.Focused() ? 1 : Frame::kHeight;
    }
    return frame;
}

int MessageBoxView::VisibleLines() const {
    return std::min<int>(static_cast<int>(lines.size()), kMaxVisibleLines);
}

void MessageBoxView::Scroll(int delta) {
    const int last = static_cast<int>(lines.size()) - VisibleLines();
    top = std::clamp(top + delta, 0, std::max(0, last));
}

MessageBoxView LayoutMessageBox(std::string_view captionUtf8, std::string_view textUtf8) {
    MessageBoxView box;
    box.caption = Utf8ToText(captionUtf8);
    if (box.caption.size() > MessageBoxView::kMaxTextWidth - 4) {
        box.caption.resize(MessageBoxView::kMaxTextWidth - 4);
    }
    std::u32string text = Utf8ToText(textUtf8);
    // The boxes' texts are laid out in fixed columns with blanks already; a tab
    // only separates two of them, so it shows as one blank and keeps the grid.
    std::replace(text.begin(), text.end(), U'\t', U' ');
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(U"\r\n", start);
        if (end == std::u32string::npos) end = text.size();
        std::u32string line = text.substr(start, end - start);
        while (!line.empty() && line.back() == U' ') line.pop_back();
        // Long lines break at a blank where there is one.
        while (static_cast<int>(line.size()) > MessageBoxView::kMaxTextWidth) {
            std::size_t cut = line.rfind(U' ', MessageBoxView::kMaxTextWidth);
            if (cut == std::u32string::npos || cut == 0) cut = MessageBoxView::kMaxTextWidth;
            box.lines.push_back(line.substr(0, cut));
            line.erase(0, cut);
            while (!line.empty() && line.front() == U' ') line.erase(0, 1);
        }
        box.lines.push_back(std::move(line));
        if (end == text.size()) break;
        // CR LF, LF and CR each end one line.
        start =
            end + ((text[end] == U'\r' && end + 1 < text.size() && text[end + 1] == U'\n') ? 2 : 1);
        if (start == text.size()) break;  // a final line break opens no empty line
    }
    while (box.lines.size() > 1 && box.lines.back().empty()) box.lines.pop_back();
    return box;
}

void DrawMessageBox(Frame& frame, const MessageBoxView& box) {
    const std::u32string okHint = U" Enter: OK ";
    const std::u32string scrollHint = U" \u2191\u2193 Bild\u2191\u2193: bl\u00E4ttern ";
    int textWidth = static_cast<int>(box.caption.size()) + 4;
    for (const auto& line : box.lines)
        textWidth = std::max(textWidth, static_cast<int>(line.size()));
    int hintWidth = static_cast<int>(okHint.size()) + 2;
    if (box.Scrollable()) hintWidth += static_cast<int>(scrollHint.size()) + 1;
    textWidth = std::clamp(std::max(textWidth, hintWidth - 2), 1, MessageBoxView::kMaxTextWidth);

    const int visible = box.VisibleLines();
    const int width = textWidth + 4;
    const int height = visible + 2;
    const int left = 1 + (Frame::kWidth - width) / 2;
    const int top = 2 + (23 - height) / 2;
    const int right = left + width - 1;
    const int bottom = top + height - 1;

    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x)
            frame.At(x, y) = FrameCell{U' ', kBoxInk, kBoxGround, false};
    }
    for (int x = left + 1; x < right; ++x) {
        frame.At(x, top).ch = U'\u2500';
        frame.At(x, bottom).ch = U'\u2500';
    }
    for (int y = top + 1; y < bottom; ++y) {
        frame.At(left, y).ch = U'\u2502';
        frame.At(right, y).ch = U'\u2502';
    }
    frame.At(left, top).ch = U'\u250C';
    frame.At(right, top).ch = U'\u2510';
    frame.At(left, bottom).ch = U'\u2514';
    frame.At(right, bottom).ch = U'\u2518';
    if (!box.caption.empty()) {
        const std::u32string title = U" " + box.caption + U" ";
        DrawText(frame, left + (width - static_cast<int>(title.size())) / 2, top, title, kBoxInk,
                 kBoxGround);
    }
    DrawText(frame, right - static_cast<int>(okHint.size()), bottom, okHint, kBoxInk, kBoxGround);
    if (box.Scrollable()) {
        DrawText(frame, left + 2, bottom, scrollHint, kBoxInk, kBoxGround);
        if (box.top > 0) frame.At(right, top + 1).ch = U'\u25B2';
        if (box.top + visible < static_cast<int>(box.lines.size()))
            frame.At(right, bottom - 1).ch = U'\u25BC';
    }
    for (int i = 0; i < visible; ++i) {
        std::u32string_view line = box.lines[box.top + i];
        DrawText(frame, left + 2, top + 1 + i, line.substr(0, textWidth), kBoxInk, kBoxGround);
    }
    frame.cursorX = frame.cursorY = 0;
}

void FrameWriter::Invalidate() {
    shown_.reset();
    pen_.reset();
    cursorVisible_ = true;  // unknown: hide it explicitly before drawing
}

void FrameWriter::AppendGlyph(std::string& out, char32_t ch) const {
    if (encoding_ == GlyphEncoding::Utf8 || ch < 0x80) {
        AppendUtf8(out, ch);
        return;
    }
    char bytes[MB_LEN_MAX];
    std::mbstate_t state{};
    const std::size_t length = std::wcrtomb(bytes, static_cast<wchar_t>(ch), &state);
    if (length == static_cast<std::size_t>(-1) || length == 0) {
        out += AsciiLookAlike(ch);
    } else {
        out.append(bytes, length);
    }
}

std::string FrameWriter::Update(const Frame& next) {
    // Unchanged cells between two changed ones are written again when the gap
    // is shorter than a cursor move would be.
    constexpr int kGap = 4;
    const bool full = !shown_.has_value();
    const int rows = std::clamp(next.rows, 1, Frame::kProgramKeyRow);
    const int shownRows = full ? 0 : std::clamp(shown_->rows, 1, Frame::kProgramKeyRow);
    auto changed = [&](int x, int y) {
        return full || y > shownRows || shown_->At(x, y) != next.At(x, y);
    };

    std::string body;
    if (full) {
        body += "\x1b[0m\x1b[H\x1b[2J";
        pen_.reset();
    }
    int atX = 0, atY = 0;  // where the terminal's cursor stands after our writes; 0 unknown
    for (int y = 1; y <= rows; ++y) {
        int x = 1;
        while (x <= Frame::kWidth) {
            if (!changed(x, y)) {
                ++x;
                continue;
            }
            int end = x;
            for (int probe = x + 1; probe <= Frame::kWidth && probe - end <= kGap; ++probe) {
                if (changed(probe, y)) end = probe;
            }
            if (atX != x || atY != y) AppendCursorMove(body, x, y);
            for (int cx = x; cx <= end; ++cx) {
                const FrameCell& cell = next.At(cx, y);
                Pen pen{ColorParameters(cell.fg, cell.bg, depth_), cell.underline, cell.bold};
                if (!pen_) {
                    body += "\x1b[0;";
                    if (pen.bold) body += "1;";
                    if (pen.underline) body += "4;";
                    body += pen.colors + "m";
                } else if (pen_->colors != pen.colors || pen_->underline != pen.underline ||
                           pen_->bold != pen.bold) {
                    std::string change;
                    if (pen_->bold != pen.bold) change += pen.bold ? "1;" : "22;";
                    if (pen_->underline != pen.underline) change += pen.underline ? "4;" : "24;";
                    if (pen_->colors != pen.colors) change += pen.colors + ';';
                    change.back() = 'm';
                    body += "\x1b[" + change;
                }
                pen_ = std::move(pen);
                AppendGlyph(body, cell.ch);
            }
            // The last column keeps the cursor (no automatic wrap), so its place is not known.
            atX = end < Frame::kWidth ? end + 1 : 0;
            atY = y;
            x = end + 1;
        }
    }
    // Rows no longer shown go back to the terminal's own blank.
    for (int y = rows + 1; y <= shownRows; ++y) {
        AppendCursorMove(body, 1, y);
        body += "\x1b[0m\x1b[2K";
        pen_.reset();
    }

    std::string out;
    const bool drew = !body.empty();
    if (drew) {
        out += "\x1b[?2026h";  // one picture, not a flicker, where the terminal can
        if (cursorVisible_) {
            out += "\x1b[?25l";
            cursorVisible_ = false;
        }
        out += body;
    }
    const bool moved = full || shown_->cursorX != next.cursorX || shown_->cursorY != next.cursorY;
    if (next.cursorX > 0 && next.cursorY > 0) {
        if (drew || moved || !cursorVisible_) AppendCursorMove(out, next.cursorX, next.cursorY);
        if (!cursorVisible_) {
            out += "\x1b[?25h";
            cursorVisible_ = true;
        }
    } else if (cursorVisible_) {
        out += "\x1b[?25l";
        cursorVisible_ = false;
    }
    if (drew) out += "\x1b[?2026l";
    shown_ = next;
    return out;
}

std::string FrameWriter::Notice(std::string_view utf8, int columns, int rows) {
    std::string out = "\x1b[0m\x1b[?25l\x1b[H\x1b[2J";
    const std::vector<std::u32string> lines = Wrap(Utf8ToText(utf8), std::max(columns, 1));
    for (int i = 0; i < static_cast<int>(lines.size()) && i < rows; ++i) {
        AppendCursorMove(out, 1, i + 1);
        for (char32_t ch : lines[i]) AppendGlyph(out, ShownGlyph(ch));
    }
    shown_.reset();
    pen_.reset();
    cursorVisible_ = false;
    return out;
}
