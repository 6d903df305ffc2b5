// Drawing of one screen area from its model: ground, cell colours, box and
// block characters, underline, the cursor, and repainting only changed rows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <algorithm>
#include <set>

#include "host/qt/ScreenView.h"
#include "tests/qt/QtTestApp.h"

namespace {

const QColor kBlueGround(0x00, 0x00, 0xCC);
constexpr int kRows = 6;

class ScreenViewTest : public ::testing::Test {
  protected:
    ScreenViewTest() {
        TestApp();
        for (int row = 0; row < kRows; ++row) model.AppendLine(std::u32string(81, U' '));
        view = std::make_unique<ScreenView>(model, kRows, kBlueGround);
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(16);
        metrics.width = 12;
        metrics.height = 20;
        metrics.ascent = 15;
        metrics.underlineTop = 17;
        metrics.underlineHeight = 2;
        view->SetCellFont(font, metrics, QMargins(4, 3, 4, 3));
    }

    // Writes text at (column, row), 0-based, in a colour 0x00BBGGRR.
    void Put(int column, int row, std::u32string_view text, uint32_t color,
             bool underline = false) {
        model.Select(model.CellToIndex(row, column), static_cast<int>(text.size()));
        model.SetSelectionColor(color);
        model.SetSelectionUnderline(underline);
        model.ReplaceSelection(text);
    }

    QImage Render() { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    QColor At(const QImage& image, int column, int row, int dx, int dy) {
        const QRect cell = view->CellRect(column, row);
        return image.pixelColor(cell.left() + dx, cell.top() + dy);
    }

    // The rows of the cell's left (or right) edge column that are painted.
    std::set<int> EdgeRows(const QImage& image, int column, int row, bool right) {
        const QRect cell = view->CellRect(column, row);
        const int x = right ? cell.right() : cell.left();
        std::set<int> rows;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            if (image.pixelColor(x, y) != kBlueGround) rows.insert(y - cell.top());
        }
        return rows;
    }
    std::set<int> EdgeColumns(const QImage& image, int column, int row, bool bottom) {
        const QRect cell = view->CellRect(column, row);
        const int y = bottom ? cell.bottom() : cell.top();
        std::set<int> columns;
        for (int x = cell.left(); x <= cell.right(); ++x) {
            if (image.pixelColor(x, y) != kBlueGround) columns.insert(x - cell.left());
        }
        return columns;
    }

    RichEdit model;
    CellMetrics metrics;
    std::unique_ptr<ScreenView> view;
};

TEST_F(ScreenViewTest, GroundCellColoursAndTextShow) {
    Put(2, 1, U"█", 0x0000FF);  // 0x00BBGGRR: red
    Put(4, 1, U"W", 0xFFFFFF);
    const QImage image = Render();

    EXPECT_EQ(image.pixelColor(0, 0), kBlueGround);                  // the margin
    EXPECT_EQ(At(image, 10, 3, metrics.width / 2, 5), kBlueGround);  // an empty cell
    for (int dy = 0; dy < metrics.height; ++dy) {
        for (int dx = 0; dx < metrics.width; ++dx) {
            ASSERT_EQ(At(image, 2, 1, dx, dy), QColor(0xFF, 0x00, 0x00)) << dx << "," << dy;
        }
    }
    int lit = 0;
    for (int dy = 0; dy < metrics.height; ++dy) {
        for (int dx = 0; dx < metrics.width; ++dx) {
            if (At(image, 4, 1, dx, dy).lightness() > 200) ++lit;
        }
    }
    EXPECT_GT(lit, 5) << "the letter is drawn in its colour";
}

TEST_F(ScreenViewTest, BlocksAndShadesFillTheirPartOfTheCell) {
    Put(1, 1, U"▀▔▁▄░", 0xFFFFFF);
    const QImage image = Render();
    const QColor white(Qt::white);
    const int h = metrics.height;

    EXPECT_EQ(At(image, 1, 1, 3, 1), white);  // ▀ upper half
    EXPECT_EQ(At(image, 1, 1, 3, h - 2), kBlueGround);
    EXPECT_EQ(At(image, 2, 1, 3, 0), white);  // ▔ a top edge only
    EXPECT_EQ(At(image, 2, 1, 3, h / 2), kBlueGround);
    EXPECT_EQ(At(image, 3, 1, 3, h - 1), white);  // ▁ a bottom edge only
    EXPECT_EQ(At(image, 3, 1, 3, h / 2), kBlueGround);
    EXPECT_EQ(At(image, 4, 1, 3, h - 2), white);  // ▄ lower half
    EXPECT_EQ(At(image, 4, 1, 3, 1), kBlueGround);

    int dots = 0, ground = 0;
    for (int dy = 0; dy < h; ++dy) {
        for (int dx = 0; dx < metrics.width; ++dx) {
            (At(image, 5, 1, dx, dy) == white ? dots : ground)++;
        }
    }
    EXPECT_GT(dots, 0);  // ░ is a texture: some pixels set, most not
    EXPECT_GT(ground, dots);
}

TEST_F(ScreenViewTest, FramesJoinAcrossNeighbouringCells) {
    Put(1, 1, U"┌─┐ ╔═╦╗", 0xFFFFFF);
    Put(1, 2, U"│ │ ║ ║║", 0xFFFFFF);
    Put(1, 3, U"└─┘ ╚═╩╝", 0xFFFFFF);
    const QImage image = Render();

    // Each horizontal neighbour pair meets on the same rows, each vertical
    // pair on the same columns, and something is drawn there.
    const int pairs[][2] = {{1, 2}, {2, 3}, {5, 6}, {6, 7}, {7, 8}};
    for (const auto& pair : pairs) {
        for (int row : {1, 3}) {
            SCOPED_TRACE(testing::Message()
                         << "columns " << pair[0] << "," << pair[1] << " row " << row);
            const std::set<int> left = EdgeRows(image, pair[0], row, true);
            EXPECT_FALSE(left.empty());
            EXPECT_EQ(left, EdgeRows(image, pair[1], row, false));
        }
    }
    for (int column : {1, 3, 5, 7, 8}) {
        for (int row : {1, 2}) {
            SCOPED_TRACE(testing::Message()
                         << "column " << column << " rows " << row << "," << row + 1);
            const std::set<int> upper = EdgeColumns(image, column, row, true);
            EXPECT_FALSE(upper.empty());
            EXPECT_EQ(upper, EdgeColumns(image, column, row + 1, false));
        }
    }
    // A double line is two lines.
    EXPECT_EQ(EdgeRows(image, 6, 1, false).size(), 2 * EdgeRows(image, 2, 1, false).size());
}

// Field edges lie sharp on the cell's edge at every size, of one weight so that
// neighbours join: ▁ at the bottom, 🮀 both, ▔ at the top; the ground glyph
// (here ░) leaves its cell empty.
TEST_F(ScreenViewTest, FieldEdgesLieOnTheCellEdgeAtEverySize) {
    Put(1, 1, U"\u2581\U0001FB80\u2594\u2591", 0x777777);
    view->SetGroundGlyph(U'\u2591');
    for (const int h : {9, 20, 60}) {
        metrics.width = h / 2;
        metrics.height = h;
        view->SetCellFont(view->font(), metrics, QMargins(3, 2, 3, 2));
        const QImage image = Render();
        std::string seen[4];  // each cell's middle column from the top: '#' line, '.' ground
        for (int i = 0; i < 4; ++i) {
            for (int y = 0; y < h; ++y) {
                const QColor c = At(image, 1 + i, 1, h / 4, y);
                seen[i] += c == kBlueGround ? '.' : c == QColor(0x77, 0x77, 0x77) ? '#' : '?';
            }
        }
        const auto w = static_cast<std::size_t>(std::count(seen[2].begin(), seen[2].end(), '#'));
        ASSERT_TRUE(w >= 1 && w * 8 <= static_cast<std::size_t>(h)) << seen[2];
        const std::string line(w, '#'), ground(h - w, '.');
        EXPECT_EQ(seen[0], ground + line);
        EXPECT_EQ(seen[1], line + std::string(h - 2 * w, '.') + line);
        EXPECT_EQ(seen[2], line + ground);
        EXPECT_EQ(seen[3], std::string(h, '.'));
    }
}

TEST_F(ScreenViewTest, UnderlineRunsAcrossTheWholeCell) {
    Put(3, 2, U"  ", 0x000000, true);
    const QImage image = Render();
    for (int column : {3, 4}) {
        for (int dx = 0; dx < metrics.width; ++dx) {
            EXPECT_EQ(At(image, column, 2, dx, metrics.underlineTop), QColor(Qt::black));
        }
        EXPECT_EQ(At(image, column, 2, 2, 2), kBlueGround);
    }
}

TEST_F(ScreenViewTest, TheFocusedSelectionIsTheCursor) {
    Put(0, 0, std::u32string(80, U' '), 0x777777);
    model.Select(model.CellToIndex(0, 5), 1);
    QImage image = Render();
    EXPECT_EQ(At(image, 5, 0, 1, 1), kBlueGround) << "no cursor while another area has the focus";

    model.SetFocused(true);
    image = Render();
    EXPECT_EQ(At(image, 5, 0, 1, 1), QColor(0x77, 0x77, 0x77)) << "the cell in reverse";
    EXPECT_EQ(At(image, 6, 0, 1, 1), kBlueGround);

    model.Select(model.CellToIndex(0, 7), 0);  // a caret after a write
    image = Render();
    EXPECT_EQ(At(image, 7, 0, 0, 0), QColor(Qt::white));
    EXPECT_EQ(At(image, 7, 0, metrics.width / 2, metrics.height / 2), kBlueGround);
}

TEST_F(ScreenViewTest, OnlyChangedRowsAreRepainted) {
    EXPECT_EQ(view->Sync().size(), static_cast<std::size_t>(kRows));  // first time: all
    EXPECT_TRUE(view->Sync().empty());

    Put(10, 4, U"X", 0xFFFFFF);
    model.Select(0, 0);
    EXPECT_EQ(view->Sync(), (std::vector<int>{4}));

    model.SetFocused(true);
    model.Select(model.CellToIndex(1, 3), 1);
    EXPECT_EQ(view->Sync(), (std::vector<int>{1}));  // the cursor shows on row 1
    model.Select(model.CellToIndex(5, 3), 1);
    EXPECT_EQ(view->Sync(), (std::vector<int>{1, 5}));

    model.Clear();  // a cleared screen repaints every row
    for (int row = 0; row < kRows; ++row) model.AppendLine(std::u32string(81, U' '));
    EXPECT_EQ(view->Sync().size(), static_cast<std::size_t>(kRows));
}

TEST(ScreenColours, StationColoursHaveBlueInTheHighByte) {
    EXPECT_EQ(StationColor(0xCC0000), QColor(0x00, 0x00, 0xCC));
    EXPECT_EQ(StationColor(0x0077FF), QColor(0xFF, 0x77, 0x00));
    EXPECT_EQ(StationColor(0xC0C0C0), QColor(0xC0, 0xC0, 0xC0));
}

}  // namespace
