// Turns the bytes a terminal sends into the key strokes, clicks and pastes the
// station understands: Windows virtual keys with modifiers and the Unicode
// character, as the keyboard translation expects them.
//
// The decoder does no input or output and reads no clock: bytes and the time
// they arrived are handed in, so tests drive it from tables of byte strings.
// It knows the sequences of xterm and its descendants, rxvt and the Linux
// console, Alt as an Esc prefix, bracketed paste and the SGR, urxvt and X10
// mouse reports, and the unambiguous key reports of the kitty keyboard
// protocol and of xterm's modifyOtherKeys.
//
// Until the terminal confirms that it sends unambiguous reports, an Esc
// followed within the escape delay by a character is Alt with that character.
// Once it has confirmed (its answer arrives among the keys and is read here),
// the Esc key comes as a report of its own or alone, and Esc followed by a
// character is always two keys.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "console/ConsoleKeyboard.h"
#include "platform/WindowSystem.h"

struct InputEvent {
    enum class Kind {
        Key,        // virtualKey, shift, character
        Paste,      // text (UTF-8)
        Mouse,      // button, pressed, x, y
        Interrupt,  // Ctrl+C arriving as a byte or report (when the terminal does not turn it into
                    // a signal)
        Suspend,    // Ctrl+Z reported as a key: the terminal did not turn it into a signal
        Quit,       // Ctrl+\ reported as a key, the same
    };
    Kind kind = Kind::Key;
    uint16_t virtualKey = 0;
    ShiftState shift = 0;
    char32_t character = 0;  // 0 for keys without a character
    std::string text;
    MouseButton button = MouseButton::Left;
    bool pressed = false;
    int x = 0;  // terminal cell, 1-based
    int y = 0;

    bool operator==(const InputEvent&) const = default;
};

class InputDecoder {
  public:
    struct Timing {
        // How long the rest of a key sequence may take after its Esc. Bytes that
        // come later belong to a new key: Esc followed later by '1' is Esc, then
        // '1'; within the delay it is Alt+1.
        int64_t escapeDelayMs = 25;
        // A paste whose end marker never comes is taken as it is after this long
        // without further bytes, so the keyboard cannot stay swallowed by it.
        int64_t pasteStallMs = 3000;
    };
    // Pasted text beyond this many bytes is dropped (the station takes far less).
    static constexpr std::size_t kMaxPasteBytes = 1 << 20;

    InputDecoder() = default;
    explicit InputDecoder(Timing timing) : timing_(timing) {}

    // Bytes as read from the terminal, with the time (ms, any monotonic origin) they arrived.
    void Feed(std::string_view bytes, int64_t nowMs);
    // The next complete event at the front, consuming its bytes; nothing when
    // the front needs more bytes (or the held bytes were all ignorable). A key
    // sequence cut short is decided once the escape delay has passed.
    std::optional<InputEvent> Next(int64_t nowMs);
    // When Next would decide on the bytes it holds if nothing more arrived;
    // nothing when it holds no bytes.
    std::optional<int64_t> Deadline() const;

    bool Empty() const { return buffer_.empty() && !pasting_; }
    // The terminal has confirmed unambiguous key reports: Esc and a character
    // are never one key.
    bool UnambiguousKeys() const { return (kittyFlags_ & 1) != 0 || modifyOtherKeys_; }
    // The terminal said it is GNU screen (its answer to the question which
    // terminal it is arrives among the keys).
    bool GnuScreen() const { return terminalType_ == kGnuScreen; }
    // Takes over what another decoder learned of the terminal and its key reports.
    void AdoptKeyReports(const InputDecoder& other) {
        kittyFlags_ = other.kittyFlags_;
        modifyOtherKeys_ = other.modifyOtherKeys_;
        terminalType_ = other.terminalType_;
    }
    std::size_t Buffered() const { return buffer_.size(); }
    // The undecoded bytes, handed back and forgotten (never in the middle of a paste).
    std::string TakeRaw();

  private:
    struct Chunk {
        std::size_t size;
        int64_t time;
    };
    enum class Status { Done, Incomplete };
    struct Parsed {
        Status status = Status::Done;
        std::size_t length = 0;
        std::optional<InputEvent> event;  // Done without an event: bytes ignored
        bool pasteStart = false;
    };

    std::size_t BurstLength(int64_t nowMs, bool& final) const;
    void Consume(std::size_t count);
    std::optional<InputEvent> ContinuePaste(int64_t nowMs);
    Parsed ParseAt(std::string_view bytes, bool final);
    Parsed ParseEscape(std::string_view bytes, bool final);
    Parsed ParseCsi(std::string_view bytes, bool final);
    Parsed ParseSs3(std::string_view bytes, bool final);
    Parsed ParseX10Mouse(std::string_view bytes, bool final);
    std::optional<InputEvent> MouseEvent(int code, int x, int y, std::optional<bool> released);

    Timing timing_;
    std::string buffer_;
    std::deque<Chunk> chunks_;
    int64_t lastFeedMs_ = 0;
    bool pasting_ = false;
    std::string paste_;
    MouseButton lastPressed_ = MouseButton::Left;
    // The first number of the terminal's secondary device attributes: 'S' for
    // GNU screen, 'T' for tmux, a VT model number for the others.
    static constexpr int kGnuScreen = 'S';
    int kittyFlags_ = 0;            // as the terminal reported them
    bool modifyOtherKeys_ = false;  // the terminal reported level 2
    int terminalType_ = -1;         // not told yet
};
