// The terminal's input decoder on hostile bytes: whatever a terminal (or a
// line noise, or a program writing into the terminal) sends, in whatever
// pieces and at whatever pace, the decoder must not crash, every event it
// hands out must be one the station can act on, and no byte may be held
// forever: once the time the decoder names has passed, it has decided.
//
// Input: a flags byte (bit 0: the terminal has confirmed the kitty key
// reports, bit 1: xterm's modifyOtherKeys; bit 2: tight timing), then steps.
// A step's byte holds an action in its top three bits and a count in the rest:
//   0-4  feed the next count+1 bytes, after 0, 1, delay-1, delay or delay+1 ms
//   5    let count x (delay/4 + 1) ms pass
//   6    let the paste stall (+ count ms) pass
//   7    close a message box: at the next key, the rest goes to a fresh decoder
//        (as the terminal host hands type-ahead back to the station)
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/tty/InputDecoder.h"
#include "tests/fuzz/FuzzKit.h"

namespace {

bool ValidCodePoint(char32_t c) {
    return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

bool ValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        int need = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            need = 2;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            need = 3;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(need) >= text.size()) return false;
        for (int k = 1; k <= need; ++k) {
            const auto b = static_cast<uint8_t>(text[i + static_cast<std::size_t>(k)]);
            if ((b & 0xC0) != 0x80) return false;
            code = (code << 6) | (b & 0x3F);
        }
        const char32_t least = need == 1 ? 0x80 : need == 2 ? 0x800 : 0x10000;
        if (code < least || !ValidCodePoint(code)) return false;
        i += static_cast<std::size_t>(need) + 1;
    }
    return true;
}

void CheckEvent(const InputEvent& event) {
    switch (event.kind) {
        case InputEvent::Kind::Key:
            FUZZ_CHECK(event.virtualKey != 0);
            FUZZ_CHECK((event.shift & ~(ShiftKey | AltKey | CtrlKey)) == 0);
            FUZZ_CHECK(ValidCodePoint(event.character));
            FUZZ_CHECK(event.text.empty() && event.x == 0 && event.y == 0);
            break;
        case InputEvent::Kind::Paste:
            // Sanitizing may widen a byte to three (U+FFFD).
            FUZZ_CHECK(event.text.size() <= 3 * InputDecoder::kMaxPasteBytes);
            FUZZ_CHECK(ValidUtf8(event.text));
            FUZZ_CHECK(event.virtualKey == 0 && event.shift == 0 && event.character == 0);
            break;
        case InputEvent::Kind::Mouse:
            FUZZ_CHECK(event.x >= 1 && event.y >= 1);
            FUZZ_CHECK(event.button == MouseButton::Left || event.button == MouseButton::Right ||
                       event.button == MouseButton::Middle);
            FUZZ_CHECK(event.virtualKey == 0 && event.text.empty());
            break;
        case InputEvent::Kind::Interrupt:
        case InputEvent::Kind::Suspend:
        case InputEvent::Kind::Quit:
            FUZZ_CHECK(event == InputEvent{.kind = event.kind});
            break;
        default:
            FUZZ_CHECK(false && "unknown event kind");
    }
}

struct Run {
    InputDecoder::Timing timing;
    InputDecoder decoder;
    int64_t now = 1000;
    std::size_t fed = 0;
    std::size_t events = 0;
    bool closeBoxAtKey = false;

    // Takes every event the decoder has decided at `now`; afterwards it must
    // either hold nothing or name a time still to come.
    void Drain() {
        while (std::optional<InputEvent> event = decoder.Next(now)) {
            CheckEvent(*event);
            // Every event consumes at least one byte: no endless stream of them.
            FUZZ_CHECK(++events <= fed);
            if (closeBoxAtKey && event->kind == InputEvent::Kind::Key) {
                closeBoxAtKey = false;
                InputDecoder fresh(timing);
                fresh.AdoptKeyReports(decoder);
                const std::string rest = decoder.TakeRaw();
                decoder = std::move(fresh);
                if (!rest.empty()) decoder.Feed(rest, now);
            }
        }
        if (!decoder.Empty()) {
            const std::optional<int64_t> deadline = decoder.Deadline();
            FUZZ_CHECK(deadline.has_value());
            FUZZ_CHECK(*deadline > now);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    Run run;
    if (flags & 4) run.timing = InputDecoder::Timing{1, 5};
    run.decoder = InputDecoder(run.timing);
    if (flags & 3) {
        // The terminal's answers, as they arrive when the terminal is taken over.
        InputDecoder answers;
        if (flags & 1) answers.Feed("\x1b[?1u", 0);
        if (flags & 2) answers.Feed("\x1b[>4;2m", 0);
        while (answers.Next(0)) {
        }
        FUZZ_CHECK(answers.UnambiguousKeys());
        run.decoder.AdoptKeyReports(answers);
    }
    const int64_t delay = run.timing.escapeDelayMs;
    const int64_t advance[5] = {0, 1, delay - 1, delay, delay + 1};
    std::size_t at = 1;
    while (at < size) {
        const uint8_t step = data[at++];
        const int action = step >> 5;
        const int count = step & 31;
        if (action <= 4) {
            const std::size_t length = std::min<std::size_t>(count + 1, size - at);
            run.now += advance[action];
            run.decoder.Feed(std::string_view(reinterpret_cast<const char*>(data) + at, length),
                             run.now);
            run.fed += length;
            at += length;
        } else if (action == 5) {
            run.now += count * (delay / 4 + 1);
        } else if (action == 6) {
            run.now += run.timing.pasteStallMs + count;
        } else {
            run.closeBoxAtKey = true;
        }
        run.Drain();
    }
    // Long after the last byte everything is decided.
    run.now += run.timing.pasteStallMs + delay + 1;
    run.closeBoxAtKey = false;
    run.Drain();
    FUZZ_CHECK(run.decoder.Empty());
    FUZZ_CHECK(!run.decoder.Deadline().has_value());
    return 0;
}
