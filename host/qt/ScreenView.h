// One area of the station's screen (status line, main area or legend line),
// drawn cell by cell from its RichEdit model: each cell's character, colour
// and underline on the area's ground colour, and the focused area's selection
// as the cursor.
#pragma once
#include <QColor>
#include <QFont>
#include <QMargins>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "platform/RichEdit.h"

class QKeyEvent;
class QMouseEvent;

// Size of one character cell, from the metrics of the fixed-pitch font.
struct CellMetrics {
    int width = 10;
    int height = 19;
    int ascent = 15;
    int underlineTop = 17;  // from the cell's top
    int underlineHeight = 1;
};

// A station colour 0x00BBGGRR (blue in the high byte) as a Qt colour.
QColor StationColor(uint32_t bbggrr);

class ScreenView : public QWidget {
    Q_OBJECT

  public:
    // Where the view hands the operator's input; the window implements it.
    class Input {
      public:
        virtual ~Input() = default;
        virtual void ScreenKeyPress(QKeyEvent* event) = 0;
        virtual void ScreenMousePress(ScreenView& view, QMouseEvent* event) = 0;
        virtual void ScreenMouseRelease(ScreenView& view, QMouseEvent* event) = 0;
        virtual void ScreenMouseMove(ScreenView& view, QMouseEvent* event) = 0;
    };

    static constexpr int kColumns = 80;

    ScreenView(RichEdit& model, int rows, const QColor& ground, QWidget* parent = nullptr);

    RichEdit& Model() const { return model_; }
    int Rows() const { return rows_; }
    QColor Ground() const { return ground_; }
    void SetInput(Input* input) { input_ = input; }
    // A character that marks an empty cell: such cells show only the ground
    // (and the cursor), however the character itself would look.
    void SetGroundGlyph(char32_t ch) { groundGlyph_ = ch; }

    // Font, cell size and the ground's margin around the cells; the view takes
    // the size they need.
    void SetCellFont(const QFont& font, const CellMetrics& metrics, const QMargins& padding);
    const CellMetrics& Metrics() const { return metrics_; }
    QSize SizeFor(const CellMetrics& metrics, const QMargins& padding) const;

    QRect CellRect(int column, int row) const;
    // The cell under a point (0-based column and row), the nearest one when the
    // point lies in the margin.
    QPoint CellAt(const QPoint& position) const;

    // Schedules a repaint of the rows whose cells or cursor changed since the
    // last call and returns them (0-based).
    std::vector<int> Sync();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // Tab is a key of the station, never a move to another widget.
    bool focusNextPrevChild(bool next) override;

  private:
    struct CursorRows {
        int first = -1;
        int last = -1;
        bool operator==(const CursorRows&) const = default;
    };
    CursorRows CurrentCursorRows() const;
    void DrawRow(QPainter& painter, int row);

    RichEdit& model_;
    int rows_;
    QColor ground_;
    QFont font_;
    CellMetrics metrics_;
    QMargins padding_;
    Input* input_ = nullptr;
    char32_t groundGlyph_ = U' ';

    uint64_t seenRevision_ = 0;
    bool seenAny_ = false;
    std::vector<uint64_t> seenLines_;
    CursorRows seenCursor_;
};
