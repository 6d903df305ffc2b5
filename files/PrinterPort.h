// The printer the station lists its records on: a byte stream that goes to
// the file or device named by the environment variable KELBRIN_PRINTER, or,
// when that is not set, to the system's print spooler (`lp`) through a pipe.
#pragma once
#include <string>
#include <string_view>

#include "platform/FileReplacement.h"

// What Open, Write and Finish return besides 0 and the system's error
// numbers: the spooler could not be started, stopped taking the listing, or
// ended with a failure.
inline constexpr int kPrinterNotReady = -1;

class PrinterPort {
  public:
    PrinterPort() = default;
    // A listing that was not finished is given up (see Abandon).
    ~PrinterPort();
    PrinterPort(const PrinterPort&) = delete;
    PrinterPort& operator=(const PrinterPort&) = delete;

    // Opens the printer. A file named by KELBRIN_PRINTER is created or
    // replaced whole when the listing is finished; a device or pipe is written
    // directly. Returns 0, an error number or kPrinterNotReady.
    int Open();
    // Sends bytes, as they are. Returns 0, an error number or kPrinterNotReady.
    int Write(std::string_view bytes);
    // Ends the listing: the file takes its new contents, or the spooler gets
    // the end of its input and is waited for; its exit status counts.
    // Returns 0, an error number or kPrinterNotReady.
    int Finish();
    // Gives the listing up: a file keeps its old contents, the spooler is
    // ended before it can print a part.
    void Abandon();

  private:
    int Flush();
    int EndSpooler(bool cancel);

    FileReplacement file_;
    bool toFile_ = false;
    int pipe_ = -1;   // the spooler's input
    int child_ = -1;  // the spooler's process
    std::string buffer_;
};
