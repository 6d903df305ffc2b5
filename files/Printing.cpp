#include "files/Printing.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "console/ConsoleKeyboard.h"
#include "console/ConsoleScreen.h"
#include "core/FieldModel.h"
#include "core/Prompts.h"
#include "core/RecordActions.h"
#include "core/StatusLine.h"
#include "files/Journal.h"
#include "files/PrinterPort.h"
#include "platform/CodePage.h"

namespace {

constexpr int kLineWidth = 80;
// Every line ends as a line printer expects it, whatever reads it.
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeading = "Kelbrin - Ausdruck:\r\n\r\n";
constexpr std::string_view kFormFeed = "\x0C";

// The next whole record into WorkRecord; false at the end of the file (a
// part of a record there is not printed).
bool ReadNextRecord(int length) {
    std::size_t filled = 0;
    while (filled < static_cast<std::size_t>(length)) {
        std::size_t got = 0;
        CheckInOut(RecordFile.Read(WorkRecord.data() + filled, length - filled, got));
        if (got == 0) return false;
        filled += got;
    }
    return true;
}

// The record in WorkRecord as printed lines: 0 bytes as blanks, cut into lines
// of 80, and an empty line after a record that took more than one.
std::string RecordLines(int length) {
    std::replace(WorkRecord.begin(), WorkRecord.begin() + length, uint8_t{0}, uint8_t{' '});
    std::string lines;
    for (int from = 0; from < length; from += kLineWidth) {
        const int count = std::min(kLineWidth, length - from);
        lines.append(reinterpret_cast<const char*>(WorkRecord.data()) + from, count);
        lines += kLineEnd;
    }
    if (length > kLineWidth) lines += kLineEnd;
    return lines;
}

// Whether the operator asked to stop: a waiting key is taken, only Esc stops.
bool PrintingCancelled() {
    if (!PollKey()) return false;
    return ReadKey() == kKeyEscape;
}

void ShowNotReady() {
    ShowMessage("Drucker nicht bereit !!!"_oem, true);
}

// The listing itself: 0, an error number or kPrinterNotReady.
int PrintRecords(int length) {
    PrinterPort printer;
    int error = printer.Open();
    if (error == 0) error = printer.Write(kHeading);
    // Whatever stops the heading means the printer is not there.
    if (error != 0) return kPrinterNotReady;

    CheckInOut(RecordFile.Seek(0));
    while (error == 0 && ReadNextRecord(length)) {
        if (!IsEmptyRecord(WorkRecord)) error = printer.Write(RecordLines(length));
        if (error == 0 && PrintingCancelled()) break;
    }
    if (error == 0) error = printer.Write(kFormFeed);
    return error == 0 ? printer.Finish() : error;  // the port gives up what failed
}

}  // namespace

void PrintData() {
    const int length = RecordLength();
    if (length <= 0 || !RecordFile.IsOpen()) return;
    int64_t size = 0;
    CheckInOut(RecordFile.Size(size));
    if (size == 0) return;

    // The listing reads every record into WorkRecord and moves the file's
    // position: the operator's record is kept aside meanwhile.
    const OperatorRecordGuard guard;
    ShowLegend(LegendFor());
    SetStatusColors();
    MoveCursor(1, 1);
    ClearToLineEnd();
    WriteText("Daten werden gedruckt ...");
    VerifyRecord.fill(0);

    int error = 0;
    try {
        error = PrintRecords(length);
    } catch (...) {
        // A read of the record file failed: the operator's record goes back
        // into the buffers before the failure is reported.
        try {
            guard.Restore();
        } catch (...) {
        }
        throw;
    }
    if (error == kPrinterNotReady) ShowNotReady();
    guard.Restore();
    // A file that could not be written is a failure like any other of the disk.
    CheckInOut(error == kPrinterNotReady ? 0 : error);
}
