#include "host/tty/InputDecoder.h"

#include <algorithm>
#include <vector>

#include "platform/CodePage.h"

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr std::string_view kPasteEnd = "\x1b[201~";

InputEvent Key(uint16_t virtualKey, ShiftState shift, char32_t character = 0) {
    InputEvent event;
    event.kind = InputEvent::Kind::Key;
    event.virtualKey = virtualKey;
    event.shift = shift;
    event.character = character;
    return event;
}

InputEvent EscapeKey() {
    return Key(VkEscape, 0, 27);
}

InputEvent Interrupt() {
    InputEvent event;
    event.kind = InputEvent::Kind::Interrupt;
    return event;
}

// A byte that is no valid part of UTF-8 is taken as the Latin-1 character of
// the same value, so a terminal that still sends Latin-1 types its umlauts; the
// C1 range has no printable meaning and becomes the replacement character.
char32_t Latin1(uint8_t byte) {
    return byte >= 0xA0 ? char32_t{byte} : U'\uFFFD';
}

// Length of the UTF-8 sequence a lead byte opens, 0 if it opens none.
int Utf8Length(uint8_t lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Whether `byte` may stand at position `index` (1..3) of a sequence led by
// `lead`; the second byte is narrowed so that no overlong form, surrogate or
// code point above U+10FFFF gets through.
bool Utf8Continuation(uint8_t lead, int index, uint8_t byte) {
    if (index == 1) {
        if (lead == 0xE0) return byte >= 0xA0 && byte <= 0xBF;
        if (lead == 0xED) return byte >= 0x80 && byte <= 0x9F;
        if (lead == 0xF0) return byte >= 0x90 && byte <= 0xBF;
        if (lead == 0xF4) return byte >= 0x80 && byte <= 0x8F;
    }
    return byte >= 0x80 && byte <= 0xBF;
}

// One character at the front of `bytes`: its code point and length, or length 0
// when more bytes are needed, or the Latin-1 reading of the first byte when the
// sequence is broken.
struct Decoded {
    char32_t code = 0;
    std::size_t length = 0;
};
Decoded DecodeUtf8(std::string_view bytes, bool final) {
    const auto lead = static_cast<uint8_t>(bytes[0]);
    if (lead < 0x80) return {lead, 1};
    const int need = Utf8Length(lead);
    if (need == 0) return {Latin1(lead), 1};
    const int have = static_cast<int>(std::min<std::size_t>(bytes.size(), need));
    for (int i = 1; i < have; ++i) {
        if (!Utf8Continuation(lead, i, static_cast<uint8_t>(bytes[i]))) return {Latin1(lead), 1};
    }
    if (have < need) return final ? Decoded{Latin1(lead), 1} : Decoded{0, 0};
    char32_t code = lead & (need == 2 ? 0x1F : need == 3 ? 0x0F : 0x07);
    for (int i = 1; i < need; ++i) code = (code << 6) | (static_cast<uint8_t>(bytes[i]) & 0x3F);
    return {code, static_cast<std::size_t>(need)};
}

// Pasted text made valid UTF-8 by the same rule as typed characters.
std::string SanitizeUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const Decoded d = DecodeUtf8(bytes, true);
        AppendUtf8(out, d.code);
        bytes.remove_prefix(d.length);
    }
    return out;
}

InputEvent ControlKey(uint8_t byte) {
    switch (byte) {
        case 0x00:
            return Key(VkSpace, CtrlKey, 0);
        case 0x03:
            return Interrupt();
        case 0x08:
        case 0x7F:
            return Key(VkBack, 0, 8);
        case 0x09:
            return Key(VkTab, 0, 9);
        case 0x0D:
            return Key(VkReturn, 0, 13);
        case kEsc:
            return EscapeKey();
        default:
            break;
    }
    if (byte >= 0x01 && byte <= 0x1A)
        return Key(static_cast<uint16_t>('A' + byte - 1), CtrlKey, byte);
    return Key(VkOemMinus, CtrlKey, byte);  // Ctrl+\ ] ^ _
}

// Characters typed with Shift on the digit row and punctuation keys of both US
// and German keyboards, so that Alt+Shift+1 still gives '!' and not a program key.
bool ShiftedPunctuation(char32_t c) {
    return std::u32string_view(U"~!@#$%^&*()_+{}|:\"<>?\u00A7\u00B0").find(c) !=
           std::u32string_view::npos;
}

// The twelve program keys: Alt with a digit and with the two keys right of the
// 0 ('-' and '=' on US keyboards, 'ß' and '´' on German ones).
std::optional<InputEvent> ProgramKey(char32_t c) {
    if (c >= '0' && c <= '9') return Key(static_cast<uint16_t>(c), AltKey, 0);
    if (c == '-' || c == U'\u00DF') return Key(VkOem4, AltKey, 0);
    if (c == '=' || c == U'\u00B4') return Key(VkOem6, AltKey, 0);
    return std::nullopt;
}

// The same key with Alt held.
InputEvent AltOf(InputEvent key) {
    if (key.kind != InputEvent::Kind::Key) return key;
    const char32_t c = key.character;
    if (c < 0x20 || c == 0x7F || (key.shift & CtrlKey) != 0) {
        key.shift |= AltKey;
        return key;
    }
    if (std::optional<InputEvent> program = ProgramKey(c)) return *program;
    if (ShiftedPunctuation(c)) return Key(key.virtualKey, AltKey | ShiftKey, c);
    key.shift |= AltKey;
    return key;
}

// The modifier parameter of xterm and of the kitty protocol: 1 + (Shift 1,
// Alt 2, Ctrl 4, xterm's Meta or kitty's Super 8, Hyper 16, kitty's Meta 32,
// Caps Lock 64, Num Lock 128). Meta counts as Alt; the lock keys change nothing.
ShiftState Modifiers(int parameter) {
    if (parameter <= 1) return 0;
    const int bits = parameter - 1;
    ShiftState shift = 0;
    if (bits & 1) shift |= ShiftKey;
    if (bits & (2 | 8 | 32)) shift |= AltKey;
    if (bits & 4) shift |= CtrlKey;
    return shift;
}

struct TildeKey {
    uint16_t virtualKey;
    ShiftState shift;
};
// The keys sent as CSI n ~. Numbers 25 to 34 are the VT220 keys F13 to F20,
// which rxvt and the Linux console send for Shift+F3 to Shift+F10; their
// Shift+F1 and Shift+F2 share 23 and 24 with F11 and F12, which win.
TildeKey TildeKeyFor(int number) {
    switch (number) {
        case 1:
        case 7:
            return {VkHome, 0};
        case 2:
            return {VkInsert, 0};
        case 3:
            return {VkDelete, 0};
        case 4:
        case 8:
            return {VkEnd, 0};
        case 5:
            return {VkPrior, 0};
        case 6:
            return {VkNext, 0};
        case 23:
            return {VkF11, 0};
        case 24:
            return {VkF12, 0};
        case 25:
            return {VkF3, ShiftKey};
        case 26:
            return {VkF4, ShiftKey};
        case 28:
            return {VkF5, ShiftKey};
        case 29:
            return {VkF6, ShiftKey};
        case 31:
            return {VkF7, ShiftKey};
        case 32:
            return {VkF8, ShiftKey};
        case 33:
            return {VkF9, ShiftKey};
        case 34:
            return {VkF10, ShiftKey};
        default:
            break;
    }
    if (number >= 11 && number <= 15) return {static_cast<uint16_t>(VkF1 + number - 11), 0};
    if (number >= 17 && number <= 21) return {static_cast<uint16_t>(VkF6 + number - 17), 0};
    return {0, 0};
}

// Final letters shared by CSI and SS3: arrows, Home, End, F1 to F4.
uint16_t LetterKey(uint8_t final) {
    switch (final) {
        case 'A':
            return VkUp;
        case 'B':
            return VkDown;
        case 'C':
            return VkRight;
        case 'D':
            return VkLeft;
        case 'H':
            return VkHome;
        case 'F':
            return VkEnd;
        case 'P':
            return VkF1;
        case 'Q':
            return VkF2;
        case 'R':
            return VkF3;
        case 'S':
            return VkF4;
        default:
            return 0;
    }
}

// rxvt's lower-case arrow letters (Shift with CSI, Ctrl with SS3).
uint16_t RxvtArrow(uint8_t final) {
    switch (final) {
        case 'a':
            return VkUp;
        case 'b':
            return VkDown;
        case 'c':
            return VkRight;
        case 'd':
            return VkLeft;
        default:
            return 0;
    }
}

// The numeric keypad in application mode (SS3 j .. y, X, M).
char32_t KeypadCharacter(uint8_t final) {
    if (final >= 'p' && final <= 'y') return static_cast<char32_t>('0' + final - 'p');
    switch (final) {
        case 'j':
            return '*';
        case 'k':
            return '+';
        case 'l':
            return ',';
        case 'm':
            return '-';
        case 'n':
            return '.';
        case 'o':
            return '/';
        case 'X':
            return '=';
        default:
            return 0;
    }
}

// The key of one typed character without modifiers; upper-case letters come with Shift.
InputEvent CharacterKey(char32_t c) {
    if (c < 0x20 || c == 0x7F) return ControlKey(static_cast<uint8_t>(c));
    if (c == ' ') return Key(VkSpace, 0, c);
    if (c >= '0' && c <= '9') return Key(static_cast<uint16_t>(c), 0, c);
    if (c >= 'a' && c <= 'z') return Key(static_cast<uint16_t>(c - 'a' + 'A'), 0, c);
    if (c >= 'A' && c <= 'Z') return Key(static_cast<uint16_t>(c), ShiftKey, c);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return Key(VkOemMinus, ShiftKey, c);  // À .. Þ
    return Key(VkOemMinus, 0, c);
}

// A letter as typed with Shift, where the report names the key without it.
char32_t UpperCase(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // à .. þ
    return c;
}

InputEvent Signalling(InputEvent::Kind kind) {
    InputEvent event;
    event.kind = kind;
    return event;
}

// The keys of the numeric keypad as the kitty protocol numbers them. Windows'
// own keypad keys (0x60 on) keep Alt with a keypad digit from being a program key.
std::optional<InputEvent> KittyKeypadKey(int code) {
    constexpr uint16_t kVkNumpad0 = 0x60;
    if (code >= 57399 && code <= 57408) {
        const int digit = code - 57399;
        return Key(static_cast<uint16_t>(kVkNumpad0 + digit), 0,
                   static_cast<char32_t>('0' + digit));
    }
    switch (code) {
        case 57409:
            return Key(0x6E, 0, '.');
        case 57410:
            return Key(0x6F, 0, '/');
        case 57411:
            return Key(0x6A, 0, '*');
        case 57412:
            return Key(0x6D, 0, '-');
        case 57413:
            return Key(0x6B, 0, '+');
        case 57414:
            return Key(VkReturn, 0, 13);
        case 57415:
            return Key(VkOemMinus, 0, '=');
        case 57416:
            return Key(0x6C, 0, ',');
        case 57417:
            return Key(VkLeft, 0);
        case 57418:
            return Key(VkRight, 0);
        case 57419:
            return Key(VkUp, 0);
        case 57420:
            return Key(VkDown, 0);
        case 57421:
            return Key(VkPrior, 0);
        case 57422:
            return Key(VkNext, 0);
        case 57423:
            return Key(VkHome, 0);
        case 57424:
            return Key(VkEnd, 0);
        case 57425:
            return Key(VkInsert, 0);
        case 57426:
            return Key(VkDelete, 0);
        default:
            return std::nullopt;  // the keypad's middle key, F13 and up, media keys
    }
}

// A key reported by its code point and modifier parameter (the kitty
// protocol's CSI code u, xterm's CSI 27;modifiers;code ~), made the event the
// legacy bytes of the same key give. `shifted` (the character with Shift) and
// `base` (the key in the same place on a US keyboard) are the kitty protocol's
// alternate keys, -1 when not reported.
std::optional<InputEvent> ReportedKey(int code, int shifted, int base, int modifiers) {
    const ShiftState mods = Modifiers(modifiers);
    switch (code) {
        case 27:
        case 13:
        case 9:
        case 8:
        case 127: {
            InputEvent key = ControlKey(static_cast<uint8_t>(code));
            key.shift |= mods;
            return key;
        }
        default:
            break;
    }
    if (code >= 0xE000 && code <= 0xF8FF) {  // private use: the protocol's own key numbers
        std::optional<InputEvent> key = KittyKeypadKey(code);
        if (key) key->shift |= mods;
        return key;
    }
    auto printable = [](int value) {
        return value >= 0x20 && value != 0x7F && value <= 0x10FFFF &&
               !(value >= 0xD800 && value <= 0xDFFF);
    };
    if (!printable(code)) return std::nullopt;
    char32_t c = static_cast<char32_t>(code);
    if (mods & ShiftKey) c = printable(shifted) ? static_cast<char32_t>(shifted) : UpperCase(c);
    if (mods & CtrlKey) {
        // What the terminal would have sent as a control byte. Ctrl+C, Ctrl+Z
        // and Ctrl+\ keep the meaning the terminal's signal keys give them.
        const char32_t upper = UpperCase(c);
        InputEvent key;
        if (upper == 'C') return Signalling(InputEvent::Kind::Interrupt);
        if (upper == 'Z') return Signalling(InputEvent::Kind::Suspend);
        if (upper == '\\') return Signalling(InputEvent::Kind::Quit);
        if (upper >= 'A' && upper <= 'Z') {
            key = Key(static_cast<uint16_t>(upper), 0, upper - 'A' + 1);
        } else if (upper == ' ' || (upper >= '@' && upper <= '_')) {
            key = ControlKey(static_cast<uint8_t>(upper & 0x1F));
        } else {
            key = Key(CharacterKey(c).virtualKey, 0, 0);  // no control character of its own
        }
        key.shift |= mods;
        return key;
    }
    // A program key is Alt alone with a key of its place: where the terminal
    // names the key's place on a US keyboard, that decides, so other layouts
    // reach the twelve keys as Windows gives them.
    if (mods == AltKey) {
        if (std::optional<InputEvent> program = ProgramKey(base > 0 ? base : c)) return program;
    }
    InputEvent key = CharacterKey(c);
    key.shift |= mods;
    return key;
}

}  // namespace

void InputDecoder::Feed(std::string_view bytes, int64_t nowMs) {
    if (bytes.empty()) return;
    buffer_.append(bytes);
    chunks_.push_back(Chunk{bytes.size(), nowMs});
    lastFeedMs_ = nowMs;
}

std::string InputDecoder::TakeRaw() {
    std::string raw = std::move(buffer_);
    buffer_.clear();
    chunks_.clear();
    return raw;
}

void InputDecoder::Consume(std::size_t count) {
    count = std::min(count, buffer_.size());
    buffer_.erase(0, count);
    while (count > 0 && !chunks_.empty()) {
        Chunk& front = chunks_.front();
        if (front.size <= count) {
            count -= front.size;
            chunks_.pop_front();
        } else {
            front.size -= count;
            count = 0;
        }
    }
}

// How many bytes from the front arrived close enough together to form one key
// sequence; `final` tells whether no further byte can still join them.
std::size_t InputDecoder::BurstLength(int64_t nowMs, bool& final) const {
    if (chunks_.empty()) {
        final = true;
        return buffer_.size();
    }
    std::size_t length = chunks_.front().size;
    int64_t previous = chunks_.front().time;
    for (std::size_t i = 1; i < chunks_.size(); ++i) {
        if (chunks_[i].time - previous > timing_.escapeDelayMs) {
            final = true;
            return length;
        }
        length += chunks_[i].size;
        previous = chunks_[i].time;
    }
    final = nowMs - previous >= timing_.escapeDelayMs;
    return length;
}

std::optional<int64_t> InputDecoder::Deadline() const {
    if (pasting_) return lastFeedMs_ + timing_.pasteStallMs;
    if (buffer_.empty()) return std::nullopt;
    if (chunks_.empty()) return lastFeedMs_;
    int64_t previous = chunks_.front().time;
    for (std::size_t i = 1; i < chunks_.size(); ++i) {
        if (chunks_[i].time - previous > timing_.escapeDelayMs) break;
        previous = chunks_[i].time;
    }
    return previous + timing_.escapeDelayMs;
}

std::optional<InputEvent> InputDecoder::Next(int64_t nowMs) {
    for (;;) {
        if (pasting_) {
            std::optional<InputEvent> paste = ContinuePaste(nowMs);
            if (paste || pasting_) return paste;
        }
        if (buffer_.empty()) return std::nullopt;
        bool final = false;
        const std::size_t burst = BurstLength(nowMs, final);
        const Parsed parsed = ParseAt(std::string_view(buffer_).substr(0, burst), final);
        if (parsed.status == Status::Incomplete) return std::nullopt;
        Consume(std::max<std::size_t>(parsed.length, 1));
        if (parsed.pasteStart) {
            pasting_ = true;
            paste_.clear();
            continue;
        }
        if (parsed.event) return parsed.event;
    }
}

std::optional<InputEvent> InputDecoder::ContinuePaste(int64_t nowMs) {
    auto keep = [this](std::string_view bytes) {
        const std::size_t room = kMaxPasteBytes - std::min(kMaxPasteBytes, paste_.size());
        paste_.append(bytes.substr(0, room));
    };
    auto finish = [this]() {
        pasting_ = false;
        InputEvent event;
        event.kind = InputEvent::Kind::Paste;
        event.text = SanitizeUtf8(paste_);
        paste_.clear();
        return event;
    };
    const std::size_t end = buffer_.find(kPasteEnd);
    if (end != std::string::npos) {
        keep(std::string_view(buffer_).substr(0, end));
        Consume(end + kPasteEnd.size());
        return finish();
    }
    // Everything but a possible beginning of the end marker belongs to the paste.
    const std::size_t safe = buffer_.size() - std::min(buffer_.size(), kPasteEnd.size() - 1);
    keep(std::string_view(buffer_).substr(0, safe));
    Consume(safe);
    if (nowMs - lastFeedMs_ >= timing_.pasteStallMs) {
        keep(buffer_);
        Consume(buffer_.size());
        return finish();
    }
    return std::nullopt;
}

InputDecoder::Parsed InputDecoder::ParseAt(std::string_view bytes, bool final) {
    const auto lead = static_cast<uint8_t>(bytes[0]);
    if (lead == kEsc) return ParseEscape(bytes, final);
    if (lead < 0x20 || lead == 0x7F) return {Status::Done, 1, ControlKey(lead), false};
    const Decoded d = DecodeUtf8(bytes, final);
    if (d.length == 0) return {Status::Incomplete, 0, std::nullopt, false};
    return {Status::Done, d.length, CharacterKey(d.code), false};
}

InputDecoder::Parsed InputDecoder::ParseEscape(std::string_view bytes, bool final) {
    const Parsed incomplete{Status::Incomplete, 0, std::nullopt, false};
    const Parsed escape{Status::Done, 1, EscapeKey(), false};
    if (bytes.size() == 1) return final ? escape : incomplete;
    const auto second = static_cast<uint8_t>(bytes[1]);
    if (second == '[') return ParseCsi(bytes, final);
    if (second == 'O') return ParseSs3(bytes, final);
    // With unambiguous reports Alt never comes as an Esc in front: this Esc is the key.
    if (UnambiguousKeys()) return escape;
    if (second == kEsc) {
        // Esc Esc [ ... is Alt with a key sequence; any other Esc Esc is two Escs.
        if (bytes.size() == 2) return final ? escape : incomplete;
        if (bytes[2] != '[' && bytes[2] != 'O') return escape;
        Parsed inner = ParseEscape(bytes.substr(1), final);
        if (inner.status == Status::Incomplete) return inner;
        if (!inner.event || inner.event->kind != InputEvent::Kind::Key) return escape;
        inner.event = AltOf(*inner.event);
        inner.length += 1;
        return inner;
    }
    // Alt with a character or control key.
    Parsed inner = ParseAt(bytes.substr(1), final);
    if (inner.status == Status::Incomplete) return inner;
    if (inner.event) inner.event = AltOf(*inner.event);
    inner.length += 1;
    return inner;
}

InputDecoder::Parsed InputDecoder::ParseCsi(std::string_view bytes, bool final) {
    const Parsed incomplete{Status::Incomplete, 0, std::nullopt, false};
    auto ignored = [](std::size_t length) {
        return Parsed{Status::Done, length, std::nullopt, false};
    };
    auto done = [](std::size_t length, std::optional<InputEvent> event) {
        return Parsed{Status::Done, length, std::move(event), false};
    };
    const std::size_t size = bytes.size();
    std::size_t i = 2;
    if (i >= size) {
        if (!final) return incomplete;
        return UnambiguousKeys() ? done(1, EscapeKey()) : done(2, AltOf(CharacterKey('[')));
    }
    if (bytes[i] == 'M') return ParseX10Mouse(bytes, final);
    if (bytes[i] == '[') {  // the Linux console's F1 .. F5
        if (i + 1 >= size) return final ? ignored(size) : incomplete;
        const auto letter = static_cast<uint8_t>(bytes[i + 1]);
        if (letter >= 'A' && letter <= 'E')
            return done(4, Key(static_cast<uint16_t>(VkF1 + letter - 'A'), 0));
        return ignored(letter >= 0x20 && letter < 0x7F ? 4 : 3);
    }

    char marker = 0;
    if (std::string_view("<=>?").find(bytes[i]) != std::string_view::npos) marker = bytes[i++];
    // Parameters separated by ';', each with up to two sub-parameters after ':'
    // (the kitty protocol's alternate keys); -1 where a number is left out.
    struct Param {
        int value[3] = {-1, -1, -1};
    };
    std::vector<Param> params;
    Param current;
    int sub = 0;
    bool started = false;  // a parameter is being read
    bool subs = false;     // some parameter has sub-parameters
    bool odd = false;      // stray markers: a sequence we do not know
    for (; i < size; ++i) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        if (b >= '0' && b <= '9') {
            int& value = current.value[sub];
            value = std::min(std::max(value, 0) * 10 + (b - '0'), 99999);
            started = true;
        } else if (b == ';') {
            params.push_back(current);
            current = Param{};
            sub = 0;
            started = true;
        } else if (b == ':') {
            subs = started = true;
            if (sub < 2) {
                ++sub;
            } else {
                odd = true;
            }
        } else if (b >= 0x3C && b <= 0x3F) {
            odd = true;
        } else {
            break;
        }
        if (i > 64) return ignored(i);  // runaway: no key sequence is this long
    }
    // Intermediate bytes; '$' is rxvt's final for Shift with the tilde keys.
    while (i < size && bytes[i] >= 0x20 && bytes[i] <= 0x2F && bytes[i] != '$') {
        odd = true;
        ++i;
    }
    if (i >= size) return final ? ignored(size) : incomplete;
    const auto finalByte = static_cast<uint8_t>(bytes[i]);
    if (!(finalByte >= 0x40 && finalByte <= 0x7E) && finalByte != '$') {
        return ignored(i);  // malformed: drop it, but not the byte that broke it
    }
    if (started) params.push_back(current);
    const std::size_t length = i + 1;
    if (odd) return ignored(length);

    auto param = [&params](std::size_t k, int fallback) {
        return k < params.size() && params[k].value[0] >= 0 ? params[k].value[0] : fallback;
    };
    auto subParam = [&params](std::size_t k, int s) {
        return k < params.size() ? params[k].value[s] : -1;
    };
    // The terminal's answers to the questions asked when it was taken over:
    // which kitty protocol flags are in force, xterm's modifyOtherKeys level,
    // and which terminal it is.
    if (marker == '?' && finalByte == 'u') {
        kittyFlags_ = param(0, 0);
        return ignored(length);
    }
    if (marker == '>' && finalByte == 'm') {
        if (param(0, -1) == 4) modifyOtherKeys_ = param(1, 0) >= 2;
        return ignored(length);
    }
    if (marker == '>' && finalByte == 'c') {  // which terminal this is
        terminalType_ = param(0, -1);
        return ignored(length);
    }
    if (finalByte == 'u' && marker == 0) {
        // A key report of the kitty protocol (and of xterm's formatOtherKeys);
        // a key's release (event type 3) is no key stroke.
        const int code = param(0, -1);
        if (code < 0 || subParam(1, 1) == 3) return ignored(length);
        return done(length, ReportedKey(code, subParam(0, 1), subParam(0, 2), param(1, 1)));
    }
    if (subs) return ignored(length);
    if (marker == '<') {
        if ((finalByte == 'M' || finalByte == 'm') && params.size() >= 3) {
            return done(length,
                        MouseEvent(param(0, 0), param(1, 0), param(2, 0), finalByte == 'm'));
        }
        return ignored(length);
    }
    if (marker != 0) return ignored(length);

    ShiftState shift = Modifiers(param(1, 1));
    switch (finalByte) {
        case '~':
        case '$':
        case '^':
        case '@': {
            const int number = param(0, -1);
            if (finalByte == '~') {
                if (number == 200) return Parsed{Status::Done, length, std::nullopt, true};
                if (number == 27 && params.size() >= 3) {  // xterm's modifyOtherKeys
                    return done(length, ReportedKey(param(2, -1), -1, -1, param(1, 1)));
                }
            } else {
                shift = finalByte == '$'   ? ShiftKey
                        : finalByte == '^' ? CtrlKey
                                           : (CtrlKey | ShiftKey);
            }
            const TildeKey key = TildeKeyFor(number);
            if (key.virtualKey == 0) return ignored(length);
            return done(length, Key(key.virtualKey, shift | key.shift));
        }
        case 'Z':
            return done(length, Key(VkTab, shift | ShiftKey, 9));
        case 'M':
            // urxvt's mouse report: button code (plus 32), column, row.
            if (params.size() >= 3) {
                return done(length,
                            MouseEvent(param(0, 0) - 32, param(1, 0), param(2, 0), std::nullopt));
            }
            return ignored(length);
        default:
            break;
    }
    if (const uint16_t vk = LetterKey(finalByte)) return done(length, Key(vk, shift));
    if (const uint16_t vk = RxvtArrow(finalByte)) return done(length, Key(vk, ShiftKey));
    return ignored(length);
}

InputDecoder::Parsed InputDecoder::ParseSs3(std::string_view bytes, bool final) {
    const Parsed incomplete{Status::Incomplete, 0, std::nullopt, false};
    // Esc O that is no key sequence: Alt+O, or with unambiguous reports Esc and O.
    const Parsed altO = UnambiguousKeys()
                            ? Parsed{Status::Done, 1, EscapeKey(), false}
                            : Parsed{Status::Done, 2, AltOf(CharacterKey('O')), false};
    const std::size_t size = bytes.size();
    std::size_t i = 2;
    if (i >= size) return final ? altO : incomplete;
    int modifier = 0;
    while (i < size && i < 5 && bytes[i] >= '0' && bytes[i] <= '9')
        modifier = modifier * 10 + (bytes[i++] - '0');
    if (i >= size) return final ? Parsed{Status::Done, size, std::nullopt, false} : incomplete;
    const auto finalByte = static_cast<uint8_t>(bytes[i]);
    if (finalByte < 0x40 || finalByte > 0x7E) {
        return modifier == 0 ? altO : Parsed{Status::Done, i, std::nullopt, false};
    }
    const std::size_t length = i + 1;
    const ShiftState shift = Modifiers(modifier);
    std::optional<InputEvent> event;
    if (const uint16_t vk = LetterKey(finalByte)) {
        event = Key(vk, shift);
    } else if (const uint16_t arrow = RxvtArrow(finalByte)) {
        event = Key(arrow, CtrlKey);
    } else if (finalByte == 'M') {
        event = Key(VkReturn, shift, 13);
    } else if (const char32_t c = KeypadCharacter(finalByte)) {
        event = CharacterKey(c);
    }
    return Parsed{Status::Done, length, event, false};
}

InputDecoder::Parsed InputDecoder::ParseX10Mouse(std::string_view bytes, bool final) {
    // Esc [ M, then button, column and row, each plus 32, as raw bytes.
    if (bytes.size() < 6) {
        return final ? Parsed{Status::Done, bytes.size(), std::nullopt, false}
                     : Parsed{Status::Incomplete, 0, std::nullopt, false};
    }
    const int code = static_cast<uint8_t>(bytes[3]) - 32;
    const int x = static_cast<uint8_t>(bytes[4]) - 32;
    const int y = static_cast<uint8_t>(bytes[5]) - 32;
    if (code < 0 || x < 0 || y < 0) return Parsed{Status::Done, 3, std::nullopt, false};
    return Parsed{Status::Done, 6, MouseEvent(code, x, y, std::nullopt), false};
}

// A mouse report: `released` is known in the SGR form; in the older forms a
// release names no button and belongs to the last one pressed.
std::optional<InputEvent> InputDecoder::MouseEvent(int code, int x, int y,
                                                   std::optional<bool> released) {
    if (code < 0 || (code & (32 | 64 | 128)) != 0) return std::nullopt;  // motion, wheel
    if (x < 1 || y < 1) return std::nullopt;
    InputEvent event;
    event.kind = InputEvent::Kind::Mouse;
    event.x = x;
    event.y = y;
    const int button = code & 3;
    if (button == 3) {
        if (released.has_value()) return std::nullopt;
        event.button = lastPressed_;
        event.pressed = false;
        return event;
    }
    event.button = button == 0   ? MouseButton::Left
                   : button == 1 ? MouseButton::Middle
                                 : MouseButton::Right;
    event.pressed = !released.value_or(false);
    if (event.pressed) lastPressed_ = event.button;
    return event;
}
