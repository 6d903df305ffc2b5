#include "platform/RichEdit.h"

#include <algorithm>

void RichEdit::Touch(int line) {
    ++revision_;
    if (line >= 0 && line < static_cast<int>(lineRevisions_.size())) {
        lineRevisions_[line] = revision_;
    }
}

void RichEdit::Clear() {
    lines_.clear();
    lineRevisions_.clear();
    selStart_ = selLength_ = 0;
    Touch(-1);
}

void RichEdit::AppendLine(std::u32string_view text) {
    auto& line = lines_.emplace_back();
    lineRevisions_.push_back(0);
    line.reserve(text.size());
    for (char32_t ch : text) line.push_back(RichCell{ch, defaultColor_, false});
    Touch(static_cast<int>(lines_.size()) - 1);
}

int RichEdit::LineLength(int line) const {
    if (line < 0 || line >= LineCount()) return 0;
    return static_cast<int>(lines_[line].size());
}

RichCell RichEdit::Cell(int line, int column) const {
    if (line < 0 || line >= LineCount() || column < 0 || column >= LineLength(line)) {
        return RichCell{U' ', defaultColor_, false};
    }
    return lines_[line][column];
}

std::u32string RichEdit::LineText(int line) const {
    std::u32string text;
    if (line < 0 || line >= LineCount()) return text;
    for (const auto& cell : lines_[line]) text += cell.ch;
    return text;
}

int RichEdit::TextLength() const {
    int total = 0;
    for (int i = 0; i < LineCount(); ++i)
        total += LineLength(i) + (i + 1 < LineCount() ? kLineBreak : 0);
    return total;
}

void RichEdit::IndexToCell(int index, int& line, int& column) const {
    line = 0;
    column = 0;
    if (index < 0 || lines_.empty()) return;
    for (int i = 0; i < LineCount(); ++i) {
        const int length = LineLength(i);
        if (index <= length || i + 1 == LineCount()) {
            line = i;
            column = std::min(index, length);
            return;
        }
        index -= length + kLineBreak;
        if (index < 0) {  // inside the break: the end of this line
            line = i;
            column = length;
            return;
        }
    }
}

int RichEdit::CellToIndex(int line, int column) const {
    int index = 0;
    for (int i = 0; i < line && i < LineCount(); ++i) index += LineLength(i) + kLineBreak;
    return index + column;
}

uint64_t RichEdit::LineRevision(int line) const {
    if (line < 0 || line >= static_cast<int>(lineRevisions_.size())) return 0;
    return lineRevisions_[line];
}

void RichEdit::Select(int start, int length) {
    const int total = TextLength();
    start = std::clamp(start, 0, total);
    length = std::clamp(length, 0, total - start);
    selStart_ = start;
    selLength_ = length;
    ++revision_;  // the visible cursor moved
}

// Calls f(cell, line) for every selected cell, walking lines and skipping breaks.
template <typename F>
void RichEdit::ForEachSelected(F&& f) {
    int line = 0, column = 0;
    IndexToCell(selStart_, line, column);
    int remaining = selLength_;
    while (remaining > 0 && line < LineCount()) {
        auto& cells = lines_[line];
        while (remaining > 0 && column < static_cast<int>(cells.size())) {
            f(cells[column], line);
            ++column;
            --remaining;
        }
        if (remaining <= 0) break;
        remaining -= kLineBreak;  // the selection runs across the line break
        ++line;
        column = 0;
    }
}

void RichEdit::ReplaceSelection(std::u32string_view text) {
    std::size_t next = 0;
    ForEachSelected([&](RichCell& cell, int line) {
        if (next < text.size()) {
            cell.ch = text[next++];
            Touch(line);
        }
    });
    selStart_ += selLength_;
    selLength_ = 0;
    ++revision_;
}

void RichEdit::SetSelectionColor(uint32_t color) {
    ForEachSelected([&](RichCell& cell, int line) {
        cell.color = color;
        Touch(line);
    });
}

void RichEdit::SetSelectionUnderline(bool underline) {
    ForEachSelected([&](RichCell& cell, int line) {
        cell.underline = underline;
        Touch(line);
    });
}

std::u32string RichEdit::SelectedText() const {
    std::u32string text;
    int line = 0, column = 0;
    IndexToCell(selStart_, line, column);
    int remaining = selLength_;
    while (remaining > 0 && line < LineCount()) {
        const auto& cells = lines_[line];
        while (remaining > 0 && column < static_cast<int>(cells.size())) {
            text += cells[column++].ch;
            --remaining;
        }
        if (remaining <= 0 || line + 1 >= LineCount()) break;
        text += U"\r\n";
        remaining -= kLineBreak;
        ++line;
        column = 0;
    }
    return text;
}
