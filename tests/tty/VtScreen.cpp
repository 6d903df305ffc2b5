#include "tests/tty/VtScreen.h"

#include <algorithm>

#include "platform/CodePage.h"

VtScreen::VtScreen(int columns, int rows) : columns_(columns), rows_(rows) {
    cells_.assign(static_cast<std::size_t>(columns_ * rows_), VtCell{});
}

void VtScreen::Resize(int columns, int rows) {
    std::vector<VtCell> cells(static_cast<std::size_t>(columns * rows), VtCell{});
    for (int y = 1; y <= std::min(rows, rows_); ++y) {
        for (int x = 1; x <= std::min(columns, columns_); ++x)
            cells[(y - 1) * columns + (x - 1)] = At(x, y);
    }
    cells_ = std::move(cells);
    columns_ = columns;
    rows_ = rows;
    x_ = std::min(x_, columns_);
    y_ = std::min(y_, rows_);
}

const VtCell& VtScreen::At(int x, int y) const {
    static const VtCell blank;
    if (x < 1 || x > columns_ || y < 1 || y > rows_) return blank;
    return cells_[(y - 1) * columns_ + (x - 1)];
}

VtCell& VtScreen::Cell(int x, int y) {
    return cells_[(y - 1) * columns_ + (x - 1)];
}

std::string VtScreen::Row(int y) const {
    std::string text;
    for (int x = 1; x <= columns_; ++x) AppendUtf8(text, At(x, y).ch);
    return text;
}

bool VtScreen::Contains(std::string_view utf8) const {
    for (int y = 1; y <= rows_; ++y) {
        if (Row(y).find(utf8) != std::string::npos) return true;
    }
    return false;
}

std::string VtScreen::Text() const {
    std::string text;
    for (int y = 1; y <= rows_; ++y) text += Row(y) + "\n";
    return text;
}

bool VtScreen::Mode(int mode) const {
    const auto it = modes_.find(mode);
    if (it != modes_.end()) return it->second;
    return mode == 7 || mode == 25;
}

void VtScreen::Feed(std::string_view bytes) {
    for (char raw : bytes) {
        const auto b = static_cast<uint8_t>(raw);
        switch (state_) {
            case State::Ground:
                if (utf8Need_ > 0) {
                    if ((b & 0xC0) == 0x80) {
                        utf8_ += raw;
                        if (--utf8Need_ == 0) Put(Utf8ToU32(utf8_).front());
                        continue;
                    }
                    utf8Need_ = 0;
                    Put(U'\uFFFD');
                }
                if (b == 0x1B) {
                    state_ = State::Escape;
                } else if (b == 0x07) {
                    ++bells_;
                } else if (b == 0x08) {
                    x_ = std::max(1, x_ - 1);
                    wrapPending_ = false;
                } else if (b == 0x0D) {
                    x_ = 1;
                    wrapPending_ = false;
                } else if (b == 0x0A || b == 0x0B || b == 0x0C) {
                    LineFeed();
                } else if (b == 0x09) {
                    x_ = std::min(columns_, (x_ - 1) / 8 * 8 + 9);
                } else if (b < 0x20 || b == 0x7F) {
                    // other control characters do nothing here
                } else if (b < 0x80) {
                    Put(b);
                } else {
                    utf8_.assign(1, raw);
                    utf8Need_ = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
                    if (utf8Need_ == 0) Put(U'\uFFFD');
                }
                break;
            case State::Escape:
                if (b == '[') {
                    state_ = State::Csi;
                    params_.clear();
                } else if (b == ']' || b == 'P' || b == '_' || b == '^') {
                    state_ = State::Osc;  // strings up to BEL or ST are skipped alike
                } else if (b == '(' || b == ')' || b == '#' || b == '%') {
                    state_ = State::Charset;
                } else {
                    state_ = State::Ground;
                }
                break;
            case State::Charset:
                state_ = State::Ground;
                break;
            case State::Csi:
                if (b == 0x18 || b == 0x1A) {
                    state_ = State::Ground;
                } else if (b == 0x1B) {
                    state_ = State::Escape;
                } else if (b >= 0x40 && b <= 0x7E) {
                    state_ = State::Ground;
                    Csi(static_cast<char>(b));
                } else {
                    params_ += raw;
                }
                break;
            case State::Osc:
                if (b == 0x07) state_ = State::Ground;
                if (b == 0x1B) state_ = State::OscEscape;
                break;
            case State::OscEscape:
                state_ = b == '\\' ? State::Ground : State::Osc;
                break;
        }
    }
}

void VtScreen::Put(char32_t ch) {
    if (wrapPending_) {
        wrapPending_ = false;
        x_ = 1;
        LineFeed();
    }
    VtCell& cell = Cell(x_, y_);
    cell = pen_;
    cell.ch = ch;
    if (x_ < columns_) {
        ++x_;
    } else if (Mode(7)) {
        wrapPending_ = true;
    }
}

void VtScreen::LineFeed() {
    wrapPending_ = false;
    if (y_ < rows_) {
        ++y_;
        return;
    }
    cells_.erase(cells_.begin(), cells_.begin() + columns_);
    cells_.resize(static_cast<std::size_t>(columns_ * rows_), VtCell{});
}

void VtScreen::Erase(int fromX, int fromY, int toX, int toY) {
    for (int y = fromY; y <= toY; ++y) {
        const int first = y == fromY ? fromX : 1;
        const int last = y == toY ? toX : columns_;
        for (int x = first; x <= last; ++x) {
            VtCell& cell = Cell(x, y);
            cell = VtCell{};
            cell.bg = pen_.bg;
        }
    }
}

void VtScreen::Csi(char final) {
    std::string text = params_;
    char marker = 0;
    if (!text.empty() && std::string_view("<=>?").find(text.front()) != std::string_view::npos) {
        marker = text.front();
        text.erase(0, 1);
    }
    const bool isPrivate = marker == '?';
    std::vector<int> params;
    int value = 0;
    bool have = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            value = value * 10 + (c - '0');
            have = true;
        } else if (c == ';' || c == ':') {
            params.push_back(have ? value : -1);
            value = 0;
            have = false;
        }
    }
    if (have || !params.empty()) params.push_back(have ? value : -1);
    auto param = [&params](std::size_t i, int fallback) {
        return i < params.size() && params[i] > 0 ? params[i] : fallback;
    };
    wrapPending_ = false;
    switch (final) {
        case 'H':
        case 'f':
            y_ = std::clamp(param(0, 1), 1, rows_);
            x_ = std::clamp(param(1, 1), 1, columns_);
            break;
        case 'A':
            y_ = std::max(1, y_ - param(0, 1));
            break;
        case 'B':
            y_ = std::min(rows_, y_ + param(0, 1));
            break;
        case 'C':
            x_ = std::min(columns_, x_ + param(0, 1));
            break;
        case 'D':
            x_ = std::max(1, x_ - param(0, 1));
            break;
        case 'G':
            x_ = std::clamp(param(0, 1), 1, columns_);
            break;
        case 'J': {
            const int mode = params.empty() ? 0 : std::max(0, params[0]);
            if (mode == 0) Erase(x_, y_, columns_, rows_);
            if (mode == 1) Erase(1, 1, x_, y_);
            if (mode >= 2) Erase(1, 1, columns_, rows_);
            break;
        }
        case 'K': {
            const int mode = params.empty() ? 0 : std::max(0, params[0]);
            if (mode == 0) Erase(x_, y_, columns_, y_);
            if (mode == 1) Erase(1, y_, x_, y_);
            if (mode == 2) Erase(1, y_, columns_, y_);
            break;
        }
        case 'm':
            if (marker == '>' && param(0, 0) == 4) {
                modifyOtherKeys_ = params.size() > 1 ? std::max(0, params[1]) : 0;
            } else if (marker == 0) {
                Sgr(params);
            }
            break;
        case 'u':
            if (marker == '>') {
                keyboardFlags_.push_back(std::max(0, params.empty() ? 0 : params[0]));
            } else if (marker == '<') {
                for (int n = param(0, 1); n > 0 && !keyboardFlags_.empty(); --n)
                    keyboardFlags_.pop_back();
            }
            break;
        case 'h':
        case 'l':
            if (isPrivate) {
                for (int mode : params) {
                    modes_[mode] = final == 'h';
                    if (mode == 1049 && final == 'h') Erase(1, 1, columns_, rows_);
                }
            }
            break;
        default:
            break;
    }
}

void VtScreen::Sgr(const std::vector<int>& params) {
    if (params.empty()) {
        pen_ = VtCell{};
        return;
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
        const int p = std::max(0, params[i]);
        auto extended = [&](VtColor& color) {
            if (i + 2 < params.size() && params[i + 1] == 5) {
                color = VtColor::Index(static_cast<uint32_t>(params[i + 2]));
                i += 2;
            } else if (i + 4 < params.size() && params[i + 1] == 2) {
                color = VtColor::Rgb(static_cast<uint32_t>(params[i + 2] << 16 |
                                                           params[i + 3] << 8 | params[i + 4]));
                i += 4;
            }
        };
        if (p == 0) {
            pen_ = VtCell{};
        } else if (p == 4) {
            pen_.underline = true;
        } else if (p == 24) {
            pen_.underline = false;
        } else if (p >= 30 && p <= 37) {
            pen_.fg = VtColor::Index(static_cast<uint32_t>(p - 30));
        } else if (p >= 90 && p <= 97) {
            pen_.fg = VtColor::Index(static_cast<uint32_t>(p - 90 + 8));
        } else if (p >= 40 && p <= 47) {
            pen_.bg = VtColor::Index(static_cast<uint32_t>(p - 40));
        } else if (p >= 100 && p <= 107) {
            pen_.bg = VtColor::Index(static_cast<uint32_t>(p - 100 + 8));
        } else if (p == 38) {
            extended(pen_.fg);
        } else if (p == 48) {
            extended(pen_.bg);
        } else if (p == 39) {
            pen_.fg = VtColor{};
        } else if (p == 49) {
            pen_.bg = VtColor{};
        }
    }
}
