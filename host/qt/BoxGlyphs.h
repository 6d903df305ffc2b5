// Box-drawing and block characters (U+2500 to U+259F) drawn as lines and
// rectangles that fill their cell exactly, so that frames and filled areas join
// across neighbouring cells whatever the font's own glyphs look like.
#pragma once
#include <QColor>
#include <QRect>

class QPainter;

// U+1FB80, upper and lower one eighth block: the edges on top and at the bottom.
inline constexpr char32_t kUpperAndLowerEighth = U'\U0001FB80';

// Box-drawing and block characters, and the upper and lower one eighth block.
bool IsBoxGlyph(char32_t ch);

// Draws `ch` into `cell` in colour `color`; false (and nothing drawn) when it
// is not a box or block character. Shades are dot patterns aligned to the
// painter's origin, so neighbouring shaded cells form one texture. The
// one-eighth blocks along the top and bottom are thin lines on the cell's edge.
bool DrawBoxGlyph(QPainter& painter, const QRect& cell, char32_t ch, const QColor& color);
