// A small terminal interpreter for tests: it plays the bytes a program writes
// to its terminal onto a grid of cells, so tests can read back what an
// operator would see. It knows what the terminal host sends (cursor moves,
// erasing, SGR colours and underline, private modes) and the usual control
// characters, and the requests for unambiguous key reports; anything else is
// skipped.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct VtColor {
    enum class Kind { Default, Indexed, Rgb };
    Kind kind = Kind::Default;
    uint32_t value = 0;  // palette index, or 0xRRGGBB

    static VtColor Index(uint32_t index) { return {Kind::Indexed, index}; }
    static VtColor Rgb(uint32_t rgb) { return {Kind::Rgb, rgb}; }
    bool operator==(const VtColor&) const = default;
};

struct VtCell {
    char32_t ch = U' ';
    VtColor fg;
    VtColor bg;
    bool underline = false;
};

class VtScreen {
  public:
    VtScreen(int columns, int rows);

    void Feed(std::string_view bytes);
    void Resize(int columns, int rows);

    int Columns() const { return columns_; }
    int Rows() const { return rows_; }
    // Cells are 1-based, as on the terminal.
    const VtCell& At(int x, int y) const;
    // A row as UTF-8 text, trailing blanks kept.
    std::string Row(int y) const;
    // Whether any row holds `utf8`.
    bool Contains(std::string_view utf8) const;
    // All rows, one per line.
    std::string Text() const;

    int CursorX() const { return x_; }
    int CursorY() const { return y_; }
    bool CursorVisible() const { return Mode(25); }
    // A private mode set with CSI ? n h (off after CSI ? n l); modes 7 and 25 start on.
    bool Mode(int mode) const;
    int Bells() const { return bells_; }
    // The kitty keyboard protocol's flags in force (pushed with CSI > n u,
    // popped with CSI < n u), and xterm's modifyOtherKeys level (CSI > 4 ; n m).
    int KeyboardFlags() const { return keyboardFlags_.empty() ? 0 : keyboardFlags_.back(); }
    int ModifyOtherKeys() const { return modifyOtherKeys_; }

  private:
    enum class State { Ground, Escape, Csi, Osc, OscEscape, Charset };
    void Put(char32_t ch);
    void LineFeed();
    void Csi(char final);
    void Sgr(const std::vector<int>& params);
    void Erase(int fromX, int fromY, int toX, int toY);
    VtCell& Cell(int x, int y);

    int columns_, rows_;
    std::vector<VtCell> cells_;
    int x_ = 1, y_ = 1;
    bool wrapPending_ = false;
    VtCell pen_;
    std::map<int, bool> modes_;
    int bells_ = 0;
    std::vector<int> keyboardFlags_;
    int modifyOtherKeys_ = 0;
    State state_ = State::Ground;
    std::string params_;
    std::string utf8_;
    int utf8Need_ = 0;
};
