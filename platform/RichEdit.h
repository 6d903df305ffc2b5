// In-memory model of one rich-edit control: lines of cells, a selection, a
// default text colour and a focus flag. The console writes into three of them
// (status line, main area, legend line); the hosts draw them; tests read them.
//
// Character indexes run over the whole text with every line break counting as
// two characters, as the console's cell arithmetic expects.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct RichCell {
    char32_t ch = U' ';
    uint32_t color = 0;  // 0x00BBGGRR
    bool underline = false;

    bool operator==(const RichCell&) const = default;
};

class RichEdit {
  public:
    // Width of the break between two lines in character indexes.
    static constexpr int kLineBreak = 2;

    // Removes all text and all lines.
    void Clear();
    // Adds a line; its cells take the default colour, without underline.
    void AppendLine(std::u32string_view text);
    void SetDefaultColor(uint32_t color) { defaultColor_ = color; }
    uint32_t DefaultColor() const { return defaultColor_; }

    // Selects `length` characters from character index `start` (clamped to the text).
    void Select(int start, int length);
    int SelectionStart() const { return selStart_; }
    int SelectionLength() const { return selLength_; }
    // Replaces the selected characters one for one, so no line changes its
    // length; text beyond the selection or past the end of a line is dropped.
    // Afterwards the caret stands behind the replaced text.
    void ReplaceSelection(std::u32string_view text);
    void SetSelectionColor(uint32_t color);
    void SetSelectionUnderline(bool underline);
    // The selected text; line breaks inside the selection come back as CR LF.
    std::u32string SelectedText() const;

    void SetFocused(bool focused) { focused_ = focused; }
    bool Focused() const { return focused_; }

    int LineCount() const { return static_cast<int>(lines_.size()); }
    int LineLength(int line) const;
    // A cell; an out-of-range cell reads as a blank.
    RichCell Cell(int line, int column) const;
    std::u32string LineText(int line) const;
    // Line and column of a character index; a break position maps to the end of its line.
    void IndexToCell(int index, int& line, int& column) const;
    int CellToIndex(int line, int column) const;
    int TextLength() const;

    // Changes since the hosts last drew: a counter per line and one in total.
    uint64_t Revision() const { return revision_; }
    uint64_t LineRevision(int line) const;

  private:
    void Touch(int line);
    template <typename F>
    void ForEachSelected(F&& f);

    std::vector<std::vector<RichCell>> lines_;
    std::vector<uint64_t> lineRevisions_;
    uint32_t defaultColor_ = 0x000000;
    int selStart_ = 0;
    int selLength_ = 0;
    bool focused_ = false;
    uint64_t revision_ = 0;
};
