#include "core/FieldEngine.h"

#include <algorithm>
#include <string>

#include "console/WinCrt.h"
#include "core/EntryScreen.h"
#include "core/FieldTypes.h"
#include "core/Session.h"
#include "core/StatusLine.h"
#include "platform/WindowSystem.h"

namespace {

// The screen has 23 rows of 80 cells for fields.
constexpr int kFieldCells = 23 * 80;

// What a record byte shows in a field: unkeyed places as dots, the record end
// marker as two corners, other control bytes as '?'.
char ShownByte(uint8_t c) {
    if (c == 0) return '.';
    if (c == 13) return static_cast<char>(0xD9);  // bottom right corner
    if (c == 10) return static_cast<char>(0xDA);  // top left corner
    if (c < 32 || c == 127) return '?';
    return static_cast<char>(c);
}

// Where a second keying of a field starts: at the first byte of the stored
// value that carries information, so that a right-justified number is keyed
// from its first digit on.
int RekeyOffset(const FieldDef& field, std::span<const uint8_t> stored) {
    const bool numeric = IsNumericType(field.Type);
    const bool zeroFill = numeric && HasFlag(field.Type, ZeroFill);
    const auto padding = [&](uint8_t c) {
        return c == 0 || c == ' ' || (numeric && c == '-') || (zeroFill && c == '0');
    };
    const auto found = std::find_if_not(stored.begin(), stored.end(), padding);
    if (found != stored.end()) return static_cast<int>(found - stored.begin());
    // A zero-filled zero is keyed as its last digit.
    if (zeroFill && !stored.empty() && stored.back() == '0')
        return static_cast<int>(stored.size()) - 1;
    return 0;
}

}  // namespace

FieldExtent ExtentOf(const FieldDef& field) {
    const int first = std::max<int>(field.RecordPos, 1);
    const int last = std::min<int>(field.RecordPos + field.Length - 1, MaxRecordLength);
    return FieldExtent{first, std::max(0, last - first + 1)};
}

std::span<uint8_t> FieldBytes(const FieldDef& field, RecordBuffer& record) {
    const FieldExtent extent = ExtentOf(field);
    if (extent.length == 0) return {};
    return std::span<uint8_t>(record).subspan(static_cast<std::size_t>(extent.first - 1),
                                              static_cast<std::size_t>(extent.length));
}

RecordBuffer& KeyedRecord() {
    return Mode == ModeVerify ? VerifyRecord : WorkRecord;
}

bool FieldIsEmpty(int n) {
    if (!IsField(n)) return true;
    const std::span<const uint8_t> bytes = FieldBytes(FieldTable[n], WorkRecord);
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t c) { return c == 0 || c == ' '; });
}

void DrawEntryField(int n) {
    if (!IsField(n)) return;
    const FieldDef& field = FieldTable[n];
    const RecordBuffer& record = KeyedRecord();
    const int32_t x = CursorX;
    const int32_t y = CursorY;
    SetForeColor(kYellow);
    SetBackColor(kBlue);

    // One write per row the field covers; cells off the screen and bytes
    // outside the record are left out.
    std::string run;
    int runStart = 0;
    const auto flush = [&] {
        if (run.empty()) return;
        MoveCursor((runStart - 1) % 80 + 1, (runStart - 1) / 80 + 2);
        WriteText(run);
        run.clear();
    };
    for (int k = 0; k < field.Length; ++k) {
        const int p = field.RecordPos + k;
        const int s = field.ScreenPos + k;
        if (p < 1 || p > MaxRecordLength || s < 1 || s > kFieldCells) {
            flush();
            continue;
        }
        if (!run.empty() && (s - 1) % 80 == 0) flush();
        if (run.empty()) runStart = s;
        run += ShownByte(record[static_cast<std::size_t>(p - 1)]);
    }
    flush();
    MoveCursor(x, y);
}

void DrawAllEntryFields(int p) {
    for (int n = 1; n <= FieldCount; ++n) DrawEntryField(n);
    PlaceCursorAtRecordPos(p);
}

void FieldEnter(int /*n*/, bool /*forward*/) {
    // Built with the rest of the keying engine.
}

void ArmRekey(int n) {
    if (Mode != ModeVerify || !IsField(n)) return;
    const FieldDef& field = FieldTable[n];
    MismatchBeepArmed = true;
    const FieldExtent extent = ExtentOf(field);
    PlaceCursorAtRecordPos(extent.first + RekeyOffset(field, FieldBytes(field, WorkRecord)));
    ShowStatus("Pos", CursorRecordPos(), CurrentRecordNumber, n, true);

    // Look at the next key without taking it: the record loop acts on it.
    while (!PollKey()) BoundWindowSystem()->WaitForEvents();
    if (KeyQueue.KeyChar == 0) return;  // a function or cursor key

    RekeyPending = false;
    const std::span<uint8_t> input = FieldBytes(field, VerifyRecord);
    std::copy(input.begin(), input.end(), FieldBytes(field, DupRecord).begin());
    std::fill(input.begin(), input.end(), 0);
    DrawEntryField(n);
}
