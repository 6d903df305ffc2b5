// The background text of the record screen: 25 rows of 80 characters (rows 2 to
// 24 shown) holding the labels and frames around the fields. The bytes 219 to
// 222 mark empty cells: 219 alone, 220 a field above, 221 a field below, 222 both.
#pragma once
#include <array>
#include <cstdint>

inline constexpr uint8_t EmptyCell = 219;
inline constexpr uint8_t EmptyCellFieldAbove = 220;
inline constexpr uint8_t EmptyCellFieldBelow = 221;
inline constexpr uint8_t EmptyCellFieldsBoth = 222;

extern std::array<uint8_t, 2000> ScreenLayout;

// The cell of column x (1..80), row y (1..25).
inline uint8_t& LayoutCell(int x, int y) {
    return ScreenLayout[(y - 1) * 80 + (x - 1)];
}
inline bool IsEmptyCellMark(uint8_t c) {
    return c >= EmptyCell && c <= EmptyCellFieldsBoth;
}

void ClearLayout();
void ResetLayoutMarks();
void MarkFieldFrames();
