// The printer the station lists its records on: the file or device named by
// the environment variable KELBRIN_PRINTER, or, when that is not set, the
// system's print spooler (`lp`) through a pipe.
//
// A file or a device gets the listing's code page 850 bytes as they are, for
// a line printer to print in its own character set. The spooler gets them as
// UTF-8, marked as plain text with its character set, as that is what it reads
// text as; the queue turns it into whatever its printer needs.
//
// Nothing here waits on the printer: a device and the spooler are written
// without blocking, and while they take nothing the port sleeps a little at a
// time and lets the caller look at the station's events in between. A printer
// that takes nothing for kPrinterPatience is not ready.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "platform/FileReplacement.h"

// What Open, Write and Finish return besides 0 and the system's error numbers
// (which only a listing file gives): the printer could not be opened, took
// nothing for too long, failed, or the listing was given up while it waited.
inline constexpr int kPrinterNotReady = -1;

// How long a printer may take nothing before it counts as not ready.
inline constexpr std::chrono::milliseconds kPrinterPatience{5000};

class PrinterPort {
  public:
    // Called about every 50 ms while the port waits for the printer, so that
    // the station can look at its keys and window; returning false gives the
    // listing up.
    using Watch = std::function<bool()>;

    explicit PrinterPort(Watch watch);
    // A listing that was not finished is given up (see Abandon).
    ~PrinterPort();
    PrinterPort(const PrinterPort&) = delete;
    PrinterPort& operator=(const PrinterPort&) = delete;

    // Opens the printer. A file named by KELBRIN_PRINTER is created or
    // replaced whole when the listing is finished; a device or a FIFO is
    // opened without waiting and written directly; the spooler is started with
    // `title` (UTF-8) as the job's name. Returns 0, an error number or
    // kPrinterNotReady.
    int Open(const std::string& title);
    // Sends code page 850 bytes. Returns 0, an error number or kPrinterNotReady.
    int Write(std::string_view bytes);
    // Ends the listing: the file takes its new contents, a device is closed
    // once it took everything, or the spooler gets the end of its input and is
    // waited for; its exit status counts. Returns 0, an error number or
    // kPrinterNotReady.
    int Finish();
    // Gives the listing up: a file keeps its old contents, a device gets
    // nothing more, the spooler is ended before its input ends, so that it
    // prints nothing.
    void Abandon();

  private:
    enum class Target { None, File, Device, Spooler };

    int Flush();
    int WaitForSpooler();
    bool Waited(std::chrono::steady_clock::time_point since);
    void Close();

    Watch watch_;
    Target target_ = Target::None;
    FileReplacement file_;
    int output_ = -1;   // the device, or the spooler's input
    int release_ = -1;  // tells the spooler's guard that the listing is whole
    int child_ = -1;    // the spooler's guard, leader of its process group
    bool pollUseless_ = false;
    std::string buffer_;
};
