#include "console/ConsoleKeyboard.h"

#include <stdexcept>

#include "console/ConsoleScreen.h"
#include "platform/WindowSystem.h"

KeyQueueState KeyQueue;

namespace {

WindowSystem& Host() {
    WindowSystem* host = BoundWindowSystem();
    if (host == nullptr) throw std::logic_error("keyboard used before the window was bound");
    return *host;
}

uint8_t ExtendedCode(uint16_t virtualKey) {
    switch (virtualKey) {
        case VkPrior:
            return ScanPgUp;
        case VkNext:
            return ScanPgDn;
        case VkEnd:
            return ScanEnd;
        case VkHome:
            return ScanHome;
        case VkLeft:
            return ScanLeft;
        case VkUp:
            return ScanUp;
        case VkRight:
            return ScanRight;
        case VkDown:
            return ScanDown;
        case VkInsert:
            return ScanIns;
        case VkDelete:
            return ScanDel;
        case VkF12:
            return ScanF10;
        default:
            break;
    }
    if (virtualKey >= VkF1 && virtualKey <= VkF9) {
        return static_cast<uint8_t>(ScanF1 + (virtualKey - VkF1));
    }
    return 0;
}

uint8_t AltCode(uint16_t virtualKey) {
    if (virtualKey >= '1' && virtualKey <= '9')
        return static_cast<uint8_t>(0x78 + (virtualKey - '1'));
    if (virtualKey == '0') return 0x81;
    if (virtualKey == VkOem4) return 0x82;
    if (virtualKey == VkOem6) return 0x83;
    return 0;
}

}  // namespace

void ResetKeyboard() {
    KeyQueue = KeyQueueState{};
}

void TranslateKey(uint8_t c) {
    KeyQueue.KeyChar = 0;
    KeyQueue.ScanCode = 0;
    if (KeyQueue.Shift == AltKey) {
        KeyQueue.ScanCode = AltCode(KeyQueue.VirtualKey);
    } else {
        KeyQueue.ScanCode = ExtendedCode(KeyQueue.VirtualKey);
        if (KeyQueue.ScanCode == 0) KeyQueue.KeyChar = c;
    }
    if (KeyQueue.VirtualKey != 0) KeyQueue.KeyAvailable = true;
}

void DeliverKey(uint16_t virtualKey, ShiftState shift, uint8_t character) {
    KeyQueue.PendingChar = character;
    KeyQueue.VirtualKey = virtualKey;
    KeyQueue.Shift = shift;
    TranslateKey(KeyQueue.PendingChar);
    KeyQueue.PendingChar = 0;
}

bool PollKey() {
    Host().Pump();
    return KeyQueue.KeyAvailable;
}

uint8_t ReadKey() {
    WindowSystem& host = Host();
    for (;;) {
        host.Pump();
        if (KeyQueue.KeyAvailable) break;
        host.WaitForEvents();
    }
    KeyQueue.KeyAvailable = false;
    ClearInfoMessage();
    return KeyQueue.KeyChar;
}

bool ShiftOnlyHeld() {
    return KeyQueue.Shift == ShiftKey;
}

namespace {
int silences = 0;
}  // namespace

BeepSilence::BeepSilence() {
    ++silences;
}

BeepSilence::~BeepSilence() {
    --silences;
}

bool Beep() {
    if (silences > 0) return true;
    WindowSystem& host = Host();
    host.Beep();
    host.Pump();
    return true;
}

bool Beep(std::string reasonUtf8) {
    if (silences > 0) return true;
    SetInfoMessage(std::move(reasonUtf8));
    return Beep();
}
