#include "host/qt/BoxGlyphs.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The weight of a light line: the width of the box-drawing lines and of the
// field edges.
int LightWeight(const QRect& cell) {
    return std::max(1, static_cast<int>(std::lround(std::min(cell.width(), cell.height()) / 12.0)));
}

// Weight of one arm of a line character.
enum Arm : uint8_t { None = 0, Light = 1, Heavy = 2, Double = 3 };

// Arms of U+2500..U+257F as four digits: up, right, down, left.
// 0 none, 1 light, 2 heavy, 3 double. Dashes, arcs and diagonals are marked
// apart below; their arms are listed as the plain line they stand for.
constexpr std::array<const char*, 128> kArms = {
    "0101", "0202", "1010", "2020", "0101", "0202", "1010", "2020",  // 2500
    "0101", "0202", "1010", "2020", "0110", "0210", "0120", "0220",  // 2508
    "0011", "0012", "0021", "0022", "1100", "1200", "2100", "2200",  // 2510
    "1001", "1002", "2001", "2002", "1110", "1210", "2110", "1120",  // 2518
    "2120", "2210", "1220", "2220", "1011", "1012", "2011", "1021",  // 2520
    "2021", "2012", "1022", "2022", "0111", "0112", "0211", "0212",  // 2528
    "0121", "0122", "0221", "0222", "1101", "1102", "1201", "1202",  // 2530
    "2101", "2102", "2201", "2202", "1111", "1112", "1211", "1212",  // 2538
    "2111", "1121", "2121", "2112", "2211", "1122", "1221", "2212",  // 2540
    "1222", "2122", "2221", "2222", "0101", "0202", "1010", "2020",  // 2548
    "0303", "3030", "0310", "0130", "0330", "0013", "0031", "0033",  // 2550
    "1300", "3100", "3300", "1003", "3001", "3003", "1310", "3130",  // 2558
    "3330", "1013", "3031", "3033", "0313", "0131", "0333", "1303",  // 2560
    "3101", "3303", "1313", "3131", "3333", "0110", "0011", "1001",  // 2568
    "1100", "0000", "0000", "0000", "0001", "1000", "0100", "0010",  // 2570
    "0002", "2000", "0200", "0020", "0201", "1020", "0102", "2010",  // 2578
};

// Number of dashes of the dashed lines; 0 for solid ones.
int DashCount(char32_t ch) {
    switch (ch) {
        case U'\u2504':
        case U'\u2505':
        case U'\u2506':
        case U'\u2507':
            return 3;
        case U'\u2508':
        case U'\u2509':
        case U'\u250A':
        case U'\u250B':
            return 4;
        case U'\u254C':
        case U'\u254D':
        case U'\u254E':
        case U'\u254F':
            return 2;
        default:
            return 0;
    }
}

// A band of `thickness` pixels centred on `centre`: [low, high).
struct Band {
    int low;
    int high;
};
Band Centred(int centre, int thickness) {
    const int low = centre - thickness / 2;
    return {low, low + thickness};
}

class LinePainter {
  public:
    LinePainter(QPainter& painter, const QRect& cell, const QColor& color, char32_t ch)
        : painter_(painter), cell_(cell), color_(color) {
        const char* arms = kArms[ch - 0x2500];
        up_ = static_cast<Arm>(arms[0] - '0');
        right_ = static_cast<Arm>(arms[1] - '0');
        down_ = static_cast<Arm>(arms[2] - '0');
        left_ = static_cast<Arm>(arms[3] - '0');
        const int size = std::min(cell.width(), cell.height());
        light_ = LightWeight(cell);
        heavy_ = std::max(light_ + 1, light_ * 2);
        gap_ = std::max(light_ + 1, static_cast<int>(std::lround(size / 6.0)));
        cx_ = cell.left() + cell.width() / 2;
        cy_ = cell.top() + cell.height() / 2;
        dashes_ = DashCount(ch);
    }

    void Draw() {
        DrawHorizontal(right_, true);
        DrawHorizontal(left_, false);
        DrawVertical(down_, true);
        DrawVertical(up_, false);
    }

  private:
    int Thickness(Arm arm) const { return arm == Heavy ? heavy_ : arm == None ? 0 : light_; }

    void Fill(int x0, int y0, int x1, int y1) {
        if (x1 <= x0 || y1 <= y0) return;
        painter_.fillRect(QRect(x0, y0, x1 - x0, y1 - y0), color_);
    }

    // A horizontal run of a dashed or solid line from x0 to x1 in band `b`.
    void HorizontalRun(int x0, int x1, Band b) {
        if (dashes_ == 0) return Fill(x0, b.low, x1, b.high);
        const double step = cell_.width() / static_cast<double>(dashes_);
        for (int i = 0; i < dashes_; ++i) {
            const int from = cell_.left() + static_cast<int>(std::lround(i * step));
            const int to = from + std::max(1, static_cast<int>(std::lround(step * 0.6)));
            Fill(std::max(from, x0), b.low, std::min(to, x1), b.high);
        }
    }
    void VerticalRun(int y0, int y1, Band b) {
        if (dashes_ == 0) return Fill(b.low, y0, b.high, y1);
        const double step = cell_.height() / static_cast<double>(dashes_);
        for (int i = 0; i < dashes_; ++i) {
            const int from = cell_.top() + static_cast<int>(std::lround(i * step));
            const int to = from + std::max(1, static_cast<int>(std::lround(step * 0.6)));
            Fill(b.low, std::max(from, y0), b.high, std::min(to, y1));
        }
    }

    // Where a single or heavy arm meets the lines that cross it: an arm going
    // right or down starts at `low`, one going left or up ends at `high`.
    // `a` and `b` are the two perpendicular arms.
    Band Crossing(int centre, Arm a, Arm b, Arm own) const {
        if (a == Double && b == Double) {
            // Both crossing lines run through: stop at the nearer of the two.
            return {Centred(centre + gap_, light_).low, Centred(centre - gap_, light_).high};
        }
        if (a == Double || b == Double) {
            // The double line ends here: cap both of its lines.
            return {Centred(centre - gap_, light_).low, Centred(centre + gap_, light_).high};
        }
        const int thickness = std::max({Thickness(a), Thickness(b), Thickness(own)});
        return Centred(centre, thickness);
    }

    void DrawHorizontal(Arm arm, bool toRight) {
        if (arm == None) return;
        const int edge = toRight ? cell_.left() + cell_.width() : cell_.left();
        if (arm != Double) {
            const Band band = Centred(cy_, Thickness(arm));
            const Band meet = Crossing(cx_, up_, down_, arm);
            if (toRight) {
                HorizontalRun(meet.low, edge, band);
            } else {
                HorizontalRun(edge, meet.high, band);
            }
            return;
        }
        // Two lines; each meets the crossing line on its own side.
        const Band upper = Centred(cy_ - gap_, light_);
        const Band lower = Centred(cy_ + gap_, light_);
        const int upperMeet = DoubleMeet(up_, down_, toRight);
        const int lowerMeet = DoubleMeet(down_, up_, toRight);
        if (toRight) {
            HorizontalRun(upperMeet, edge, upper);
            HorizontalRun(lowerMeet, edge, lower);
        } else {
            HorizontalRun(edge, upperMeet, upper);
            HorizontalRun(edge, lowerMeet, lower);
        }
    }

    // For one line of a double horizontal arm: `same` is the vertical arm on
    // the line's side, `other` the one opposite. Returns the x where the line
    // starts (towards the right) or ends (towards the left).
    int DoubleMeet(Arm same, Arm other, bool toRight) const {
        Band meet;
        if (same == Double) {
            meet = toRight ? Centred(cx_ + gap_, light_) : Centred(cx_ - gap_, light_);
        } else if (same != None) {
            meet = Centred(cx_, Thickness(same));
        } else if (other == Double) {
            meet = toRight ? Centred(cx_ - gap_, light_) : Centred(cx_ + gap_, light_);
        } else if (other != None) {
            meet = Centred(cx_, Thickness(other));
        } else {
            meet = Centred(cx_, light_);
        }
        return toRight ? meet.low : meet.high;
    }

    void DrawVertical(Arm arm, bool down) {
        if (arm == None) return;
        const int edge = down ? cell_.top() + cell_.height() : cell_.top();
        if (arm != Double) {
            const Band band = Centred(cx_, Thickness(arm));
            const Band meet = Crossing(cy_, left_, right_, arm);
            if (down) {
                VerticalRun(meet.low, edge, band);
            } else {
                VerticalRun(edge, meet.high, band);
            }
            return;
        }
        const Band leftLine = Centred(cx_ - gap_, light_);
        const Band rightLine = Centred(cx_ + gap_, light_);
        const int leftMeet = DoubleMeetVertical(left_, right_, down);
        const int rightMeet = DoubleMeetVertical(right_, left_, down);
        if (down) {
            VerticalRun(leftMeet, edge, leftLine);
            VerticalRun(rightMeet, edge, rightLine);
        } else {
            VerticalRun(edge, leftMeet, leftLine);
            VerticalRun(edge, rightMeet, rightLine);
        }
    }

    int DoubleMeetVertical(Arm same, Arm other, bool down) const {
        Band meet;
        if (same == Double) {
            meet = down ? Centred(cy_ + gap_, light_) : Centred(cy_ - gap_, light_);
        } else if (same != None) {
            meet = Centred(cy_, Thickness(same));
        } else if (other == Double) {
            meet = down ? Centred(cy_ - gap_, light_) : Centred(cy_ + gap_, light_);
        } else if (other != None) {
            meet = Centred(cy_, Thickness(other));
        } else {
            meet = Centred(cy_, light_);
        }
        return down ? meet.low : meet.high;
    }

    QPainter& painter_;
    QRect cell_;
    QColor color_;
    Arm up_ = None, right_ = None, down_ = None, left_ = None;
    int light_ = 1, heavy_ = 2, gap_ = 2;
    int cx_ = 0, cy_ = 0;
    int dashes_ = 0;
};

void DrawDiagonals(QPainter& painter, const QRect& cell, char32_t ch, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double width = std::max(1.0, std::min(cell.width(), cell.height()) / 12.0);
    painter.setPen(QPen(color, width, Qt::SolidLine, Qt::FlatCap));
    const QRectF r(cell);
    if (ch == U'\u2571' || ch == U'\u2573') painter.drawLine(r.topRight(), r.bottomLeft());
    if (ch == U'\u2572' || ch == U'\u2573') painter.drawLine(r.topLeft(), r.bottomRight());
    painter.restore();
}

// The dot pattern of a shade: 1 of 4 pixels, 2 of 4 or 3 of 4 set. The tile is
// painted in the cell's colour and aligned to the painter's origin.
void DrawShade(QPainter& painter, const QRect& cell, int level, const QColor& color) {
    QImage tile(2, 2, QImage::Format_ARGB32_Premultiplied);
    tile.fill(Qt::transparent);
    const QRgb c = color.rgb();
    tile.setPixel(0, 0, c);
    if (level >= 2) tile.setPixel(1, 1, c);
    if (level >= 3) tile.setPixel(1, 0, c);
    painter.fillRect(cell, QBrush(tile));
}

// The one-eighth blocks along the top and bottom (and the one with both) are
// the edges of the station's input fields. They are drawn as lines of the
// light weight lying exactly on the cell's edge, so that an edge touches the
// field beside it, neighbouring edges join into one straight line, and they
// stay thin and sharp at every size. True eighths would grow into bars.
bool DrawEdges(QPainter& painter, const QRect& cell, char32_t ch, const QColor& color) {
    const bool top = ch == U'\u2594' || ch == kUpperAndLowerEighth;
    const bool bottom = ch == U'\u2581' || ch == kUpperAndLowerEighth;
    if (!top && !bottom) return false;
    const int weight = LightWeight(cell);
    if (top) painter.fillRect(QRect(cell.left(), cell.top(), cell.width(), weight), color);
    if (bottom) {
        painter.fillRect(
            QRect(cell.left(), cell.top() + cell.height() - weight, cell.width(), weight), color);
    }
    return true;
}

void DrawBlock(QPainter& painter, const QRect& cell, char32_t ch, const QColor& color) {
    if (DrawEdges(painter, cell, ch, color)) return;
    const int x = cell.left(), y = cell.top(), w = cell.width(), h = cell.height();
    auto eighthsHigh = [&](int n) { return static_cast<int>(std::lround(h * n / 8.0)); };
    auto eighthsWide = [&](int n) { return static_cast<int>(std::lround(w * n / 8.0)); };
    const int halfW = w / 2, halfH = h / 2;
    auto fill = [&](int x0, int y0, int width, int height) {
        if (width > 0 && height > 0) painter.fillRect(QRect(x0, y0, width, height), color);
    };
    // Quadrants: upper left, upper right, lower left, lower right.
    auto quadrants = [&](bool ul, bool ur, bool ll, bool lr) {
        if (ul) fill(x, y, halfW, halfH);
        if (ur) fill(x + halfW, y, w - halfW, halfH);
        if (ll) fill(x, y + halfH, halfW, h - halfH);
        if (lr) fill(x + halfW, y + halfH, w - halfW, h - halfH);
    };
    if (ch == U'\u2580') return fill(x, y, w, halfH);  // ▀
    if (ch >= U'\u2582' && ch <= U'\u2588') {          // ▂ .. █
        const int height = std::max(1, eighthsHigh(static_cast<int>(ch - 0x2580)));
        return fill(x, y + h - height, w, height);
    }
    if (ch >= U'\u2589' && ch <= U'\u258F') {  // ▉ .. ▏
        const int width = std::max(1, eighthsWide(static_cast<int>(0x2590 - ch)));
        return fill(x, y, width, h);
    }
    if (ch == U'\u2590') return fill(x + halfW, y, w - halfW, h);  // ▐
    if (ch >= U'\u2591' && ch <= U'\u2593') {                      // ░ ▒ ▓
        return DrawShade(painter, cell, static_cast<int>(ch - 0x2590), color);
    }
    if (ch == U'\u2595') {  // ▕
        const int width = std::max(1, eighthsWide(1));
        return fill(x + w - width, y, width, h);
    }
    switch (ch) {
        case U'\u2596':
            return quadrants(false, false, true, false);
        case U'\u2597':
            return quadrants(false, false, false, true);
        case U'\u2598':
            return quadrants(true, false, false, false);
        case U'\u2599':
            return quadrants(true, false, true, true);
        case U'\u259A':
            return quadrants(true, false, false, true);
        case U'\u259B':
            return quadrants(true, true, true, false);
        case U'\u259C':
            return quadrants(true, true, false, true);
        case U'\u259D':
            return quadrants(false, true, false, false);
        case U'\u259E':
            return quadrants(false, true, true, false);
        case U'\u259F':
            return quadrants(false, true, true, true);
        default:
            break;
    }
}

}  // namespace

bool IsBoxGlyph(char32_t ch) {
    return (ch >= 0x2500 && ch <= 0x259F) || ch == kUpperAndLowerEighth;
}

bool DrawBoxGlyph(QPainter& painter, const QRect& cell, char32_t ch, const QColor& color) {
    if (!IsBoxGlyph(ch)) return false;
    if (ch >= 0x2580) {
        DrawBlock(painter, cell, ch, color);
    } else if (ch >= 0x2571 && ch <= 0x2573) {
        DrawDiagonals(painter, cell, ch, color);
    } else {
        LinePainter(painter, cell, color, ch).Draw();
    }
    return true;
}
