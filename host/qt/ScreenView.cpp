#include "host/qt/ScreenView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "host/qt/BoxGlyphs.h"

QColor StationColor(uint32_t bbggrr) {
    return QColor(static_cast<int>(bbggrr & 0xFF), static_cast<int>((bbggrr >> 8) & 0xFF),
                  static_cast<int>((bbggrr >> 16) & 0xFF));
}

ScreenView::ScreenView(RichEdit& model, int rows, const QColor& ground, QWidget* parent)
    : QWidget(parent), model_(model), rows_(rows), ground_(ground) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    seenLines_.assign(static_cast<std::size_t>(rows_), 0);
}

QSize ScreenView::SizeFor(const CellMetrics& metrics, const QMargins& padding) const {
    return QSize(kColumns * metrics.width + padding.left() + padding.right(),
                 rows_ * metrics.height + padding.top() + padding.bottom());
}

void ScreenView::SetCellFont(const QFont& font, const CellMetrics& metrics,
                             const QMargins& padding) {
    font_ = font;
    metrics_ = metrics;
    padding_ = padding;
    setFixedSize(SizeFor(metrics, padding));
    update();
}

QRect ScreenView::CellRect(int column, int row) const {
    return QRect(padding_.left() + column * metrics_.width, padding_.top() + row * metrics_.height,
                 metrics_.width, metrics_.height);
}

QPoint ScreenView::CellAt(const QPoint& position) const {
    const int column = (position.x() - padding_.left()) / std::max(1, metrics_.width);
    const int row = (position.y() - padding_.top()) / std::max(1, metrics_.height);
    const bool leftOfCells = position.x() < padding_.left();
    const bool aboveCells = position.y() < padding_.top();
    return QPoint(leftOfCells ? 0 : std::clamp(column, 0, kColumns - 1),
                  aboveCells ? 0 : std::clamp(row, 0, rows_ - 1));
}

ScreenView::CursorRows ScreenView::CurrentCursorRows() const {
    CursorRows rows;
    if (!model_.Focused()) return rows;
    int line = 0, column = 0;
    model_.IndexToCell(model_.SelectionStart(), line, column);
    rows.first = rows.last = line;
    if (model_.SelectionLength() > 1) {
        model_.IndexToCell(model_.SelectionStart() + model_.SelectionLength() - 1, line, column);
        rows.last = line;
    }
    return rows;
}

std::vector<int> ScreenView::Sync() {
    std::vector<int> changed;
    const CursorRows cursor = CurrentCursorRows();
    if (seenAny_ && model_.Revision() == seenRevision_ && cursor == seenCursor_) return changed;

    std::vector<bool> dirty(static_cast<std::size_t>(rows_), false);
    for (int row = 0; row < rows_; ++row) {
        const uint64_t revision = model_.LineRevision(row);
        if (!seenAny_ || revision != seenLines_[row]) dirty[row] = true;
        seenLines_[row] = revision;
    }
    // The cursor's old and new rows: a move changes no cell but must show.
    for (const CursorRows& rows : {seenCursor_, cursor}) {
        for (int row = std::max(0, rows.first); row >= 0 && row <= rows.last && row < rows_;
             ++row) {
            dirty[row] = true;
        }
    }
    seenCursor_ = cursor;
    seenRevision_ = model_.Revision();
    seenAny_ = true;

    for (int row = 0; row < rows_; ++row) {
        if (!dirty[row]) continue;
        changed.push_back(row);
        QRect area = CellRect(0, row);
        area.setLeft(0);
        area.setRight(width() - 1);
        // The first and last rows own the margin next to them.
        if (row == 0) area.setTop(0);
        if (row == rows_ - 1) area.setBottom(height() - 1);
        update(area);
    }
    return changed;
}

void ScreenView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), ground_);
    painter.setFont(font_);
    const int firstRow = std::max(0, (event->rect().top() - padding_.top()) / metrics_.height);
    const int lastRow =
        std::min(rows_ - 1, (event->rect().bottom() - padding_.top()) / metrics_.height);
    for (int row = firstRow; row <= lastRow; ++row) DrawRow(painter, row);
}

void ScreenView::DrawRow(QPainter& painter, int row) {
    if (row >= model_.LineCount()) return;
    const bool focused = model_.Focused();
    const int selectionStart = model_.SelectionStart();
    const int selectionLength = model_.SelectionLength();
    const int rowStart = model_.CellToIndex(row, 0);
    const int columns = std::min(kColumns, model_.LineLength(row));
    // The caret's frame contrasts with the ground.
    const QColor caretColor = ground_.lightness() > 128 ? QColor(Qt::black) : QColor(Qt::white);

    for (int column = 0; column < columns; ++column) {
        const RichCell cell = model_.Cell(row, column);
        const QRect rect = CellRect(column, row);
        const int index = rowStart + column;
        const bool selected = focused && selectionLength > 0 && index >= selectionStart &&
                              index < selectionStart + selectionLength;
        const bool caret = focused && selectionLength == 0 && index == selectionStart;

        QColor foreground = StationColor(cell.color);
        if (selected) {
            // The cursor: the cell in reverse, its colour as the ground.
            painter.fillRect(rect, foreground);
            foreground = ground_;
        }
        const bool empty = cell.ch <= U' ' || cell.ch == groundGlyph_;
        if (!empty && !DrawBoxGlyph(painter, rect, cell.ch, foreground)) {
            painter.setPen(foreground);
            const char32_t ch = cell.ch;
            painter.drawText(QPoint(rect.left(), rect.top() + metrics_.ascent),
                             QString::fromUcs4(&ch, 1));
        }
        if (cell.underline) {
            painter.fillRect(QRect(rect.left(), rect.top() + metrics_.underlineTop, rect.width(),
                                   metrics_.underlineHeight),
                             foreground);
        }
        if (caret) {
            const int line = std::max(1, metrics_.width / 8);
            painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), line), caretColor);
            painter.fillRect(QRect(rect.left(), rect.bottom() - line + 1, rect.width(), line),
                             caretColor);
            painter.fillRect(QRect(rect.left(), rect.top(), line, rect.height()), caretColor);
            painter.fillRect(QRect(rect.right() - line + 1, rect.top(), line, rect.height()),
                             caretColor);
        }
    }
}

void ScreenView::keyPressEvent(QKeyEvent* event) {
    if (input_ != nullptr) {
        input_->ScreenKeyPress(event);
    } else {
        QWidget::keyPressEvent(event);
    }
}

void ScreenView::mousePressEvent(QMouseEvent* event) {
    if (input_ != nullptr) input_->ScreenMousePress(*this, event);
}

void ScreenView::mouseReleaseEvent(QMouseEvent* event) {
    if (input_ != nullptr) input_->ScreenMouseRelease(*this, event);
}

void ScreenView::mouseMoveEvent(QMouseEvent* event) {
    if (input_ != nullptr) input_->ScreenMouseMove(*this, event);
}

bool ScreenView::focusNextPrevChild(bool) {
    return false;
}
