// The keyboard as the station's text logic reads it: a blocking read that gives
// a code page 850 character, or 0 for an extended key whose PC scan code then
// tells which key it was. Hosts turn their key events, the program-key buttons
// and pasted text into this one-key mailbox.
#pragma once
#include <cstdint>
#include <string>

// Windows virtual-key codes of the keys the translation knows.
enum VirtualKey : uint16_t {
    VkBack = 0x08,
    VkTab = 0x09,
    VkReturn = 0x0D,
    VkShift = 0x10,
    VkControl = 0x11,
    VkMenu = 0x12,  // Alt
    VkEscape = 0x1B,
    VkSpace = 0x20,
    VkPrior = 0x21,  // Page Up
    VkNext = 0x22,   // Page Down
    VkEnd = 0x23,
    VkHome = 0x24,
    VkLeft = 0x25,
    VkUp = 0x26,
    VkRight = 0x27,
    VkDown = 0x28,
    VkInsert = 0x2D,
    VkDelete = 0x2E,
    VkF1 = 0x70,
    VkF2 = 0x71,
    VkF3 = 0x72,
    VkF4 = 0x73,
    VkF5 = 0x74,
    VkF6 = 0x75,
    VkF7 = 0x76,
    VkF8 = 0x77,
    VkF9 = 0x78,
    VkF10 = 0x79,
    VkF11 = 0x7A,
    VkF12 = 0x7B,
    VkOemMinus = 0xBD,  // also a stand-in for punctuation without a key of its own
    VkOem4 = 0xDB,      // first key right of '0': 'ß' on German keyboards, '-' on US ones
    VkOem6 = 0xDD,      // the key after it: '´' on German keyboards, '=' on US ones
};

// Extended codes (PC BIOS numbering) that ReadKey reports through ScanCode.
enum ScanCodes : uint8_t {
    ScanF1 = 0x3B,
    ScanF2 = 0x3C,
    ScanF3 = 0x3D,
    ScanF4 = 0x3E,
    ScanF5 = 0x3F,
    ScanF6 = 0x40,
    ScanF7 = 0x41,
    ScanF8 = 0x42,
    ScanF9 = 0x43,
    ScanF10 = 0x44,  // delivered by the F12 key
    ScanHome = 0x47,
    ScanUp = 0x48,
    ScanPgUp = 0x49,
    ScanLeft = 0x4B,
    ScanRight = 0x4D,
    ScanEnd = 0x4F,
    ScanDown = 0x50,
    ScanPgDn = 0x51,
    ScanIns = 0x52,
    ScanDel = 0x53,
    ScanProgramKey1 = 0x78,  // Alt+1 ... Alt+0, Alt+ß, Alt+´: 0x78 ... 0x83
    ScanProgramKey12 = 0x83,
};

// Characters of the keys the screens act on.
inline constexpr uint8_t kKeyBackspace = 8;
inline constexpr uint8_t kKeyTab = 9;
inline constexpr uint8_t kKeyEnter = 13;
inline constexpr uint8_t kKeyEscape = 27;

// Modifier bits captured with a key.
using ShiftState = uint8_t;
inline constexpr ShiftState ShiftKey = 0x01;
inline constexpr ShiftState AltKey = 0x02;
inline constexpr ShiftState CtrlKey = 0x04;

// The one-key mailbox.
struct KeyQueueState {
    uint16_t VirtualKey = 0;
    ShiftState Shift = 0;
    uint8_t PendingChar = 0;  // character of the key-press that belongs to the key
    uint8_t KeyChar = 0;
    uint8_t ScanCode = 0;
    bool KeyAvailable = false;
};
extern KeyQueueState KeyQueue;

// Empties the mailbox (program start and tests).
void ResetKeyboard();

// Turns the stored virtual key and modifiers plus character `c` into KeyChar and
// ScanCode and marks a key as available, overwriting any unread key.
void TranslateKey(uint8_t c);
// A key stroke from a host: virtual key, modifiers and the code page 850
// character it produced (0 for none). Hosts call it only while no key is unread.
void DeliverKey(uint16_t virtualKey, ShiftState shift, uint8_t character);

// Runs the host's pending events once and tells whether a key is waiting.
bool PollKey();
// Waits (sleeping in the host) until a key arrives and returns its character, 0
// for an extended key.
uint8_t ReadKey();
// The extended code of the key ReadKey last returned as 0.
inline uint8_t ScanCode() {
    return KeyQueue.ScanCode;
}
// Whether the last key was pressed with Shift and no other modifier.
bool ShiftOnlyHeld();
// The system's asterisk sound, then one pump. Always true.
bool Beep();
// The same, and the information row says why (UTF-8) until the next key.
bool Beep(std::string reasonUtf8);
// While one of these lives, Beep makes no sound: for work that runs the field
// checks over many stored records at once (moving records), whose failed
// checks already sounded when each record was keyed.
class BeepSilence {
  public:
    BeepSilence();
    ~BeepSilence();
    BeepSilence(const BeepSilence&) = delete;
    BeepSilence& operator=(const BeepSilence&) = delete;
};
