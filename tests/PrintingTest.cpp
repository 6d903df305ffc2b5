// Printing the records: the listing as it reaches a file named by
// KELBRIN_PRINTER or the spooler, Esc in the middle of it, a printer that is
// not there, Stop while it runs, and the key that starts it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "console/WinCrt.h"
#include "core/FieldModel.h"
#include "core/FieldTypes.h"
#include "core/RecordActions.h"
#include "core/Session.h"
#include "files/Journal.h"
#include "files/Printing.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/FaultInjection.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/RecordFiles.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

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
        RecordFile.Close();
        StartSession();
        UseLayout(layout);
        dir.Write(kRecordJournal, records);
        ASSERT_EQ(RecordFile.Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
        ResetRecordStore();
    }
    ~Printing() override {
        RecordFile.Close();
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

TEST_F(Printing, EscStopsAfterTheCurrentRecordAndTheFormFeedStillGoesOut) {
    Open({{'A', 3}}, "r01r02r03r04r05");
    // The keyboard is looked at once per record: nothing after the first,
    // another key after the second (taken, printing goes on), Esc after the third.
    console.Add(script::Call([] {}));
    console.Add(script::Char(U'x'));
    console.Add(script::Key(VkEscape));
    ASSERT_TRUE(console.Run(PrintData));
    EXPECT_EQ(dir.Read("listing.prn"), kHeading + "r01\r\nr02\r\nr03\r\n\x0C");
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

TEST_F(Printing, WithoutAPrinterFileTheSpoolerGetsTheListing) {
    printer.Set(nullptr);
    // The station ignores SIGPIPE, so that a spooler that ends early is a
    // failure it reports and not the end of the station.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    const std::string bin = dir.path() + "/bin";
    EnvironmentValue path("PATH", bin.c_str());
    std::filesystem::create_directory(bin);
    auto fakeSpooler = [&](const std::string& script) {
        dir.Write("bin/lp", "#!/bin/sh\n" + script + "\n");
        ::chmod((bin + "/lp").c_str(), 0755);
    };
    Open({{'A', 2}}, "abcd");

    fakeSpooler("/bin/cat > '" + dir.path() + "/spooled'");
    ASSERT_TRUE(console.Run(PrintData));
    EXPECT_EQ(dir.Read("spooled"), kHeading + "ab\r\ncd\r\n\x0C");
    EXPECT_EQ(Message(), std::string(24, ' '));

    // A spooler that fails at once, one that takes everything and then fails,
    // and none at all.
    for (const std::string spooler : {"exit 1", "/bin/cat > /dev/null; exit 3", ""}) {
        if (!spooler.empty())
            fakeSpooler(spooler);
        else
            std::filesystem::remove(bin + "/lp");
        console.Add(script::Idle());
        console.Add(script::Call([&] { EXPECT_EQ(Message(), "Drucker nicht bereit !!!"); }));
        console.Add(script::Char(U' '));
        EXPECT_TRUE(console.Run(PrintData)) << spooler;
        EXPECT_EQ(console.host().Remaining(), 0u) << spooler;  // the message waited for its key
    }
    // A listing longer than the pipe holds, to a spooler that has gone: the
    // write itself fails.
    Open({{'A', 2}}, std::string(100000, 'x'));
    fakeSpooler("exit 1");
    console.Add(script::Idle());
    console.Add(script::Call([&] { EXPECT_EQ(Message(), "Drucker nicht bereit !!!"); }));
    console.Add(script::Char(U' '));
    EXPECT_TRUE(console.Run(PrintData));
    std::signal(SIGPIPE, previous);
}

TEST(PrintingStop, StopWhilePrintingStoresOnlyTheOperatorsRecord) {
    TempDir dir;
    EnvironmentValue printer("KELBRIN_PRINTER", "listing.prn");
    // Records of an older file: their end markers were never written, so
    // storing any of them again would change it.
    constexpr int kRecords = 3000;
    const std::string records = OldRecords(kRecords);
    dir.Write(kRecordJournal, records);

    StationHarness station([] {
        StartSession();
        UseLayout({{'A', 6}, {'E', 2}});
        ASSERT_EQ(RecordFile.Open(kRecordJournal, ByteFile::Mode::ReadWrite), 0);
        ResetRecordStore();
        ASSERT_EQ(RecordFile.Seek(4 * 8), 0);
        LoadRecord(false);
        std::copy_n("OPER\0\0", 6, WorkRecord.begin());  // keyed into record 5
        PlaceCursorAtRecordPos(3);
        PrintData();
    });
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
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 2);
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
