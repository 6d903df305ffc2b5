#include "screens/Printing.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "console/ConsoleKeyboard.h"
#include "console/ConsoleScreen.h"
#include "files/PrinterPort.h"
#include "files/RecordStore.h"
#include "files/StationFiles.h"
#include "model/FieldModel.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "screens/LayoutFiles.h"
#include "screens/Prompts.h"
#include "screens/RecordActions.h"
#include "screens/StatusLine.h"

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
        CheckInOut(StoredRecords.File().Read(WorkRecord.data() + filled, length - filled, got));
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

// What a listing came to: 0, an error number or kPrinterNotReady; whether
// Esc cut it; the number of the last record it read, of how many.
struct Listing {
    int error = 0;
    bool cut = false;
    int64_t last = 0;
    int64_t total = 0;
};

// The last line of a cut listing, and what the screen says about it.
std::string CutNote(const Listing& listing) {
    return "Ausdruck abgebrochen nach Satz " + std::to_string(listing.last) + " von " +
           std::to_string(listing.total);
}

// The spooler's name for the job, as its queue shows it: the station, the
// layout when it came from a file, and the working directory, which holds
// the records. The printing protocol takes at most 255 bytes.
std::string JobTitle() {
    constexpr std::size_t kLimit = 255;
    std::string title = "Kelbrin-Ausdruck";
    if (!DefinitionFileName.empty()) title += " " + DefinitionFileName;
    title += " in " + CurrentOemDirectory();
    std::string utf8 = OemToUtf8(ShownName(title));
    if (utf8.size() > kLimit) {
        std::size_t end = kLimit;
        while (end > 0 && (static_cast<uint8_t>(utf8[end]) & 0xC0) == 0x80) --end;
        utf8.resize(end);
    }
    return utf8;
}

void ShowPrintingStatus(std::string_view text) {
    MoveCursor(1, 1);
    ClearToLineEnd();
    WriteText(text);
}

// Looks at the keyboard, which also lets Stop and the window's events through.
// A waiting key is taken; Esc cuts the listing after the record being sent,
// and Esc once more, while the printer has still not taken the rest, gives
// the listing up. False when it is given up.
bool KeepPrinting(bool& cut) {
    if (!PollKey() || ReadKey() != kKeyEscape) return true;
    if (cut) return false;
    cut = true;
    ShowPrintingStatus("Ausdruck wird abgebrochen ...");
    return true;
}

void ShowNotReady() {
    ShowMessage("Drucker nicht bereit !!!"_oem, true);
}

// The listing itself.
Listing PrintRecords(int length, int64_t total) {
    Listing listing;
    listing.total = total;
    PrinterPort printer([&listing] { return KeepPrinting(listing.cut); });
    // A printer that cannot be opened is not there, whatever the reason.
    if (printer.Open(JobTitle()) != 0) {
        listing.error = kPrinterNotReady;
        return listing;
    }
    int error = printer.Write(kHeading);

    CheckInOut(StoredRecords.File().Seek(0));
    while (error == 0 && !listing.cut && ReadNextRecord(length)) {
        ++listing.last;
        if (!IsEmptyRecord(WorkRecord)) error = printer.Write(RecordLines(length));
        if (error == 0 && !KeepPrinting(listing.cut)) error = kPrinterNotReady;
    }
    // Esc after the last record cut nothing off.
    listing.cut = listing.cut && listing.last < total;
    // A cut listing says so on the paper, on a line of its own.
    if (error == 0 && listing.cut) {
        const std::string gap(length > kLineWidth ? "" : kLineEnd);
        error = printer.Write(gap + CutNote(listing) + std::string(kLineEnd));
    }
    if (error == 0) error = printer.Write(kFormFeed);
    // The port gives up what failed.
    listing.error = error == 0 ? printer.Finish() : error;
    return listing;
}

}  // namespace

void PrintData() {
    const int length = RecordLength();
    if (length <= 0 || !StoredRecords.IsOpen()) return;
    int64_t size = 0;
    CheckInOut(StoredRecords.File().Size(size));
    if (size == 0) return;

    // The listing reads every record into WorkRecord and moves the file's
    // position: the operator's record is kept aside meanwhile.
    const OperatorRecordGuard guard;
    ShowLegend(LegendFor());
    SetStatusColors();
    ShowPrintingStatus("Daten werden gedruckt ...");
    VerifyRecord.fill(0);

    Listing listing;
    try {
        listing = PrintRecords(length, size / length);
    } catch (...) {
        // A read of the record file failed: the operator's record goes back
        // into the buffers before the failure is reported.
        try {
            guard.Restore();
        } catch (...) {
        }
        throw;
    }
    if (listing.error == kPrinterNotReady)
        ShowNotReady();
    else if (listing.error == 0 && listing.cut)
        ShowMessage(CutNote(listing), true);
    guard.Restore();
    // A file that could not be written is a failure like any other of the disk.
    CheckInOut(listing.error == kPrinterNotReady ? 0 : listing.error);
}
