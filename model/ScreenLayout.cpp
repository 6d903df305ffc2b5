#include "model/ScreenLayout.h"

#include "model/FieldModel.h"

std::array<uint8_t, 2000> ScreenLayout = [] {
    std::array<uint8_t, 2000> layout{};
    layout.fill(EmptyCell);
    return layout;
}();

void ClearLayout() {
    ScreenLayout.fill(EmptyCell);
}

void ResetLayoutMarks() {
    for (uint8_t& cell : ScreenLayout) {
        if (IsEmptyCellMark(cell)) cell = EmptyCell;
    }
}

void MarkFieldFrames() {
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& field = FieldTable[n];
        for (int i = 0; i < field.Length; ++i) {
            const int s = field.ScreenPos + i;
            if (s < 1 || s > MaxRecordLength) continue;
            const int row = (s - 1) / 80 + 2;
            const int column = (s - 1) % 80 + 1;
            if (row - 1 >= 2) {
                uint8_t& above = LayoutCell(column, row - 1);
                if (above == EmptyCell) {
                    above = EmptyCellFieldBelow;
                } else if (above == EmptyCellFieldAbove) {
                    above = EmptyCellFieldsBoth;
                }
            }
            if (row + 1 <= 24) {
                uint8_t& below = LayoutCell(column, row + 1);
                if (below == EmptyCell) {
                    below = EmptyCellFieldAbove;
                } else if (below == EmptyCellFieldBelow) {
                    below = EmptyCellFieldsBoth;
                }
            }
            uint8_t& own = LayoutCell(column, row);
            if (IsEmptyCellMark(own)) own = EmptyCell;
        }
    }
}
