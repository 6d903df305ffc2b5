// Printing the records: the listing as it reaches a file named by
// KELBRIN_PRINTER or the spooler, Esc in the middle of it, a printer that is
// not there, Stop while it runs, and the key that starts it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "console/WinCrt.h"
#include "files/PrinterPort.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "screens/FieldCursor.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/Printing.h"
#include "screens/RecordActions.h"
#include "screens/Session.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/FaultInjection.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/RecordFiles.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kHeading = "Kelbrin - Ausdruck:\r\n\r\n";

// Sets an environment variable for one test and puts the old value back.
class EnvironmentValue {
  public:
    EnvironmentValue(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(value);
    }
    ~EnvironmentValue() { Set(old_ ? old_->c_str() : nullptr); }
    void Set(const char* value) {
        if (value != nullptr)
            ::setenv(name_, value, 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

void StartSession() {
    ResetFieldModel();
    FillFieldTypeTable();
    ResetRecordActions();
    Mode = ModeEntry;
    SubMode = SubMain;
}

class Printing : public ::testing::Test {
  protected:
    void Open(const std::vector<std::pair<char, int>>& layout, const std::string& records) {
        StoredRecords.File().Close();
        StartSession();
        UseLayout(layout);
        dir.Write(kRecordJournal, records);
        ASSERT_EQ(StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
        ResetRecordStore();
    }
    ~Printing() override {
        StoredRecords.File().Close();
        ResetFieldModel();
        Mode = ModeDefinition;
    }
    std::string Message() const { return console.Text(25, 12, 24); }

    TempDir dir;
    ConsoleHarness console;
    EnvironmentValue printer{"KELBRIN_PRINTER", "listing.prn"};
};

std::string Zeros(int n) {
    return std::string(static_cast<std::size_t>(n), '\0');
}

}  // namespace

TEST_F(Printing, ListingCutsRecordsIntoLinesAndSkipsEmptyOnes) {
    // 81 characters a record: two lines, 80 and 1, and an empty line; a
    // record of nothing but 0, CR and LF is not printed; 0 prints as a blank.
    const std::string first = std::string(80, 'a') + "b";
    const std::string third = "x" + Zeros(78) + "yz";
    Open({{'A', 80}, {'A', 1}}, first + Zeros(81) + third + "\r\n" + Zeros(79));
    dir.Write("listing.prn", std::string(2000, '#'));  // replaced, not overwritten
    ASSERT_TRUE(console.Run(PrintData));
    EXPECT_EQ(dir.Read("listing.prn"), kHeading + std::string(80, 'a') + "\r\nb\r\n\r\n" + "x" +
                                           std::string(78, ' ') + "y\r\nz\r\n\r\n" + "\x0C");
    EXPECT_EQ(Message(), std::string(24, ' '));

    // 80 characters: one line each, nothing between.
    Open({{'A', 80}}, std::string(80, 'c') + std::string(80, 'd'));
    ASSERT_TRUE(console.Run(PrintData));
    EXPECT_EQ(dir.Read("listing.prn"),
              kHeading + std::string(80, 'c') + "\r\n" + std::string(80, 'd') + "\r\n\x0C");
}

TEST_F(Printing, EscStopsAfterTheCurrentRecordAndTheListingSaysSo) {
    Open({{'A', 3}}, "r01r02r03r04r05");
    // The keyboard is looked at once per record: nothing after the first,
    // another key after the second (taken, printing goes on), Esc after the third.
    console.Add(script::Call([] {}));
    console.Add(script::Char(U'x'));
    console.Add(script::Key(VkEscape));
    console.Add(script::Idle());
    console.Add(script::Call(
        [&] { EXPECT_EQ(console.Text(25, 12, 38), "Ausdruck abgebrochen nach Satz 3 von 5"); }));
    console.Add(script::Char(U' '));
    ASSERT_TRUE(console.Run(PrintData));
    EXPECT_EQ(dir.Read("listing.prn"), kHeading + "r01\r\nr02\r\nr03\r\n\r\n" +
                                           "Ausdruck abgebrochen nach Satz 3 von 5\r\n\x0C");
    // Esc after the last record cuts nothing off: the listing is whole.
    Open({{'A', 3}}, "r01r02");
    console.Add(script::Call([] {}));
    console.Add(script::Key(VkEscape));
    ASSERT_TRUE(console.Run(PrintData));
    EXPECT_EQ(dir.Read("listing.prn"), kHeading + "r01\r\nr02\r\n\x0C");
}

// A listing file that cannot be written fails with its reason (the station
// shows it) and the one before stays, with nothing half-written beside it.
TEST_F(Printing, AFailingListingFileLeavesTheOldOne) {
    Open({{'A', 2}}, "abcd");
    dir.Write("listing.prn", "alt");
    InjectFault(FaultyCall::Write, "listing.prn", ENOSPC, 0);
    try {
        console.Run(PrintData);
        ADD_FAILURE() << "the failure was not reported";
    } catch (const InOutError& error) {
        EXPECT_EQ(error.code, ENOSPC);
    }
    ClearFaults();
    EXPECT_EQ(dir.Read("listing.prn"), "alt");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".listing"), std::string::npos);
}

TEST_F(Printing, WithoutFieldsNothingIsPrinted) {
    Open({}, "abc");
    ASSERT_TRUE(console.Run(PrintData));
    EXPECT_FALSE(dir.Exists("listing.prn"));
    EXPECT_EQ(Message(), std::string(24, ' '));
}

namespace {

// `lp` as a shell script, in `dir`/bin.
void FakeLp(const TempDir& dir, const std::string& script) {
    dir.Write("bin/lp", "#!/bin/sh\n" + script + "\n");
    ::chmod((dir.path() + "/bin/lp").c_str(), 0755);
}

// Whether the process whose number the file `pid` holds has ended.
bool Ended(const TempDir& dir) {
    std::ifstream stat("/proc/" + dir.Read("pid") + "/stat");
    std::string number, name, state;
    return !(stat >> number >> name >> state) || state == "Z";
}

// The station ignores SIGPIPE, so that a spooler that ends early is a failure
// it reports and not the end of the station.
class PrintingSpooler : public Printing {
  protected:
    PrintingSpooler() { printer.Set(nullptr); }
    ~PrintingSpooler() override { std::signal(SIGPIPE, previous_); }
    // Expects "Drucker nicht bereit !!!" after `from` to `to` from now, and
    // gives the key it waits for.
    void ExpectNotReadyWithin(Clock::duration from, Clock::duration to) {
        const auto start = Clock::now();
        console.Add(script::Idle());
        console.Add(script::Call([this, start, from, to] {
            EXPECT_EQ(Message(), "Drucker nicht bereit !!!");
            EXPECT_GE(Clock::now() - start, from);
            EXPECT_LT(Clock::now() - start, to);
        }));
        console.Add(script::Char(U' '));
    }
    const Clock::duration kSoon = std::chrono::seconds(1);
    const Clock::duration kLate = kPrinterPatience + std::chrono::seconds(2);
    std::string bin = dir.path() + "/bin";
    EnvironmentValue path{"PATH", bin.c_str()};

  private:
    void (*previous_)(int) = std::signal(SIGPIPE, SIG_IGN);
};

}  // namespace

TEST_F(PrintingSpooler, TheSpoolerGetsTheListingAsUtf8WithATitleAndItsFailuresAreTold) {
    Open({{'A', 2}},
         "\x81\xE1"
         "cd");
    FakeLp(dir, "printf '%s\\n' \"$@\" > args; /bin/cat > spooled");
    ASSERT_TRUE(console.Run(PrintData));
    EXPECT_EQ(dir.Read("spooled"), kHeading + "üß\r\ncd\r\n\x0C");
    EXPECT_EQ(dir.Read("args"), "-t\nKelbrin-Ausdruck in " + dir.path() +
                                    "\n-o\ndocument-format=text/plain;charset=utf-8\n");
    EXPECT_EQ(Message(), std::string(24, ' '));

    // A spooler that fails at once, one that takes everything and then fails,
    // and none at all.
    for (const std::string spooler : {"exit 1", "/bin/cat > /dev/null; exit 3", ""}) {
        if (!spooler.empty())
            FakeLp(dir, spooler);
        else
            std::filesystem::remove(bin + "/lp");
        ExpectNotReadyWithin({}, kSoon);
        EXPECT_TRUE(console.Run(PrintData)) << spooler;
        EXPECT_EQ(console.host().Remaining(), 0u) << spooler;  // the message waited for its key
    }
    // A listing longer than the pipe holds, to a spooler that has gone: the
    // write itself fails.
    Open({{'A', 2}}, std::string(100000, 'x'));
    FakeLp(dir, "exit 1");
    ExpectNotReadyWithin({}, kSoon);
    EXPECT_TRUE(console.Run(PrintData));
}

TEST_F(PrintingSpooler, ASpoolerThatTakesNothingIsToldAndEnded) {
    FakeLp(dir, "echo $$ > pid; exec /bin/sleep 60");
    // More than the pipe holds: the station waits to write.
    Open({{'A', 80}}, std::string(80 * 1000, 'x'));
    ExpectNotReadyWithin(kPrinterPatience, kLate);
    EXPECT_TRUE(console.Run(PrintData));
    EXPECT_TRUE(Ended(dir));
}

// The station dies (a kill, or a host that ends the process at once on Stop)
// part way through the listing, or before the spooler confirmed it: the
// spooler is ended before it sees its input end or gets its job queued.
TEST_F(PrintingSpooler, AStationThatEndsBeforeTheSpoolerConfirmedLeavesNothingPrinted) {
    FakeLp(dir, "/bin/sleep 1; /bin/cat > part && /bin/mv part whole");
    for (const std::size_t size : {100000, 10}) {
        const pid_t station = ::fork();
        if (station == 0) {
            PrinterPort port([] { return true; });
            if (port.Open("t") == 0 && port.Write(std::string(size, 'x')) == 0) port.Finish();
            ::_exit(0);
        }
        ::poll(nullptr, 0, 300);
        ::kill(station, SIGKILL);
        ::waitpid(station, nullptr, 0);
        ::poll(nullptr, 0, 1500);
        EXPECT_FALSE(dir.Exists("whole")) << size;
    }
}

TEST_F(PrintingSpooler, ADeviceThatTakesNothingIsToldAndEscWorksMeanwhile) {
    ASSERT_EQ(::mkfifo("printer", 0600), 0);
    printer.Set("printer");
    Open({{'A', 2}}, "abcd");
    ExpectNotReadyWithin({}, kSoon);  // no reader
    EXPECT_TRUE(console.Run(PrintData));

    // A reader that takes nothing, of a FIFO that is full already.
    const int reader = ::open("printer", O_RDONLY | O_NONBLOCK);
    const int filler = ::open("printer", O_WRONLY | O_NONBLOCK);
    while (::write(filler, kHeading.data(), kHeading.size()) > 0) {
    }
    // A look after each record, then Esc cuts, and Esc again gives up at once.
    console.Add({script::Call([] {}), script::Call([] {}), script::Key(VkEscape)});
    console.Add(
        script::Call([&] { EXPECT_EQ(console.Text(1, 1, 29), "Ausdruck wird abgebrochen ..."); }));
    console.Add(script::Key(VkEscape));
    ExpectNotReadyWithin({}, kSoon);
    EXPECT_TRUE(console.Run(PrintData));
    ::close(filler);
    ::close(reader);
}

// With CUPS installed: a print server of the test's own, the system's cupsd
// with its configuration in `dir`/cups, listening only on a socket there, and
// one queue, CUPS's "Generic Text-Only" printer set to code page 850, printing
// into the file cups/out/printed.
TEST_F(PrintingSpooler, ARealCupsPrintsTheUmlautsAndAStoppedOneIsTold) {
    if (::access("/usr/sbin/cupsd", X_OK) != 0 || ::access("/usr/sbin/lpadmin", X_OK) != 0)
        GTEST_SKIP() << "CUPS is not installed (the package cups)";
    const std::string root = dir.path() + "/cups";
    path.Set(("/usr/bin:/bin:/usr/sbin:" + bin).c_str());
    EnvironmentValue server("CUPS_SERVER", (root + "/sock").c_str());
    EnvironmentValue home("HOME", root.c_str());  // no lpoptions of the user
    EnvironmentValue destination("PRINTER", nullptr), lpDestination("LPDEST", nullptr);
    for (const char* sub : {"/spool/temp", "/log", "/cache", "/out"})
        std::filesystem::create_directories(root + sub);
    // The queue's filters run as the spooler's own user.
    ::chmod(dir.path().c_str(), 0755);
    ::chmod((root + "/out").c_str(), 0777);
    auto config = [&](const std::string& name, std::string text) {
        for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, root);
        dir.Write("cups/" + name, text);
        return root + "/" + name;
    };
    const std::string daemon =
        config("cupsd.conf",
               "Listen @/sock\nBrowsing Off\nLogLevel debug\n<Policy default>\n<Limit All>\n"
               "Order Allow,Deny\nAllow all\n</Limit>\n</Policy>\n");
    const std::string files =
        config("cups-files.conf",
               "FileDevice Yes\nServerRoot @\nStateDir @\nCacheDir @/cache\nRequestRoot @/spool\n"
               "TempDir @/spool/temp\nErrorLog @/log/error_log\nAccessLog @/log/access_log\n"
               "PageLog @/log/page_log\n");
    const pid_t cupsd = ::fork();
    if (cupsd == 0) {
        ::execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", daemon.c_str(), "-s", files.c_str(),
                nullptr);
        ::_exit(127);
    }
    struct Ending {
        pid_t pid;
        ~Ending() { ::kill(pid, SIGCONT), ::kill(pid, SIGTERM), ::waitpid(pid, nullptr, 0); }
    } ending{cupsd};
    bool running = false;
    for (int i = 0; i < 100 && !running; ++i)
        running = ::poll(nullptr, 0, 100) == 0 && std::system("lpstat -r >/dev/null 2>&1") == 0;
    if (!running || std::system(("lpadmin -p kelbrin -E -v file://" + root +
                                 "/out/printed -m drv:///cupsfilters.drv/textonly.ppd -o "
                                 "PrinterEncoding=CP850 2>/dev/null && lpadmin -d kelbrin")
                                    .c_str()) != 0)
        GTEST_SKIP() << "cupsd did not start with a queue here; its log is in " << root;

    Open({{'A', 13}},
         "M\x81ller Stra\xE1"
         "e");
    ASSERT_TRUE(console.Run(PrintData));
    EXPECT_EQ(Message(), std::string(24, ' '));
    // The queue read UTF-8 and gave its printer code page 850 again.
    for (int i = 0; i < 200 && dir.Read("cups/out/printed").empty(); ++i) ::poll(nullptr, 0, 100);
    const std::string printed = dir.Read("cups/out/printed");
    EXPECT_NE(printed.find("M\x81ller Stra\xE1"
                           "e"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find('\f'), std::string::npos);
    EXPECT_NE(dir.Read("cups/log/error_log").find("Kelbrin-Ausdruck in " + dir.path()),
              std::string::npos);

    // A server that takes nothing: told within seconds, and nothing printed.
    ::kill(cupsd, SIGSTOP);
    Open({{'A', 13}}, "nie gedruckt ");
    ExpectNotReadyWithin(kPrinterPatience, kLate);
    EXPECT_TRUE(console.Run(PrintData));
    ::kill(cupsd, SIGCONT);
    ::poll(nullptr, 0, 3000);
    EXPECT_EQ(dir.Read("cups/out/printed").find("nie gedruckt"), std::string::npos);
}

namespace {

// Prints while the operator has keyed "OPER" into record 5 of 8-byte records.
void PrintWhileKeyingRecord5() {
    StartSession();
    UseLayout({{'A', 6}, {'E', 2}});
    ASSERT_EQ(StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
    ResetRecordStore();
    OpenRecordAt(4 * 8, false);
    std::copy_n("OPER\0\0", 6, WorkRecord.begin());
    PlaceCursorAtRecordPos(3);
    PrintData();
}

}  // namespace

TEST(PrintingStop, StopWhilePrintingStoresOnlyTheOperatorsRecord) {
    TempDir dir;
    EnvironmentValue printer("KELBRIN_PRINTER", "listing.prn");
    // Records of an older file: their end markers were never written, so
    // storing any of them again would change it.
    constexpr int kRecords = 3000;
    const std::string records = OldRecords(kRecords);
    dir.Write(kRecordJournal, records);

    StationHarness station(PrintWhileKeyingRecord5);
    // Stop comes while record 1001 is in the buffers.
    for (int i = 0; i < 999; ++i) station.Add(script::Call([] {}));
    station.Add(script::Call(
        [] { EXPECT_EQ(std::string(WorkRecord.begin(), WorkRecord.begin() + 6), "r01000"); }));
    station.Add(script::Stop());
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);

    ExpectOnlyRecordChanged(dir.Read(kRecordJournal), records, 5, "OPER  \r\n");
    // The listing that was given up left nothing behind the records and their
    // length.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        // Who keyed, and the journal of corrections: beside the records.
        files += entry.path().filename() != kVerificationFile &&
                 entry.path().filename() != kCorrectionJournal;
    EXPECT_EQ(files, 2);
}

TEST(PrintingStop, StopWhileTheSpoolerTakesNothingEndsAtOnce) {
    TempDir dir;
    EnvironmentValue printer("KELBRIN_PRINTER", nullptr);
    EnvironmentValue path("PATH", (dir.path() + "/bin").c_str());
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    FakeLp(dir, "echo $$ > pid; exec /bin/sleep 60");
    const std::string records = OldRecords(10);
    dir.Write(kRecordJournal, records);

    StationHarness station(PrintWhileKeyingRecord5);
    for (int i = 0; i < 10; ++i) station.Add(script::Call([] {}));  // a look after each record
    Clock::time_point waiting;
    station.Add(script::Call([&] { waiting = Clock::now(); }));  // for the spooler
    station.Add(script::Stop());
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_LT(Clock::now() - waiting, std::chrono::seconds(1));
    ExpectOnlyRecordChanged(dir.Read(kRecordJournal), records, 5, "OPER  \r\n");
    EXPECT_TRUE(Ended(dir));
    std::signal(SIGPIPE, previous);
}

TEST(PrintingKey, ShiftF2PrintsAndF2AloneSaves) {
    TempDir dir;
    EnvironmentValue printer("KELBRIN_PRINTER", "listing.prn");
    StationHarness station;
    station.Type("a4\rn+3\re+2\r");
    station.Key(VkF9);
    station.Type("abcd12\r");
    station.Key(VkF2, ShiftKey);
    station.Add(script::Idle());
    station.Add(script::Call([&] {
        EXPECT_EQ(dir.Read("listing.prn"), kHeading + "abcd 12\r\n\r\n\x0C");
        EXPECT_EQ(SubMode, SubMain);
        EXPECT_EQ(CurrentRecordNumber, 2);
    }));
    station.Key(VkF2);
    station.Add(script::Idle());
    station.Add(script::Call([] { EXPECT_EQ(SubMode, SubSaveData); }));
    station.Start();
}
