// The operator statistics the station appends to KELBRIN4.STA: one line per
// stored record that was worked on, in entry and verify mode, and keying that
// goes on untroubled when the file cannot be written.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "console/WinCrt.h"
#include "tests/kit/FaultInjection.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

// A name, a right-justified number and the end mark: 9 bytes a record.
constexpr const char* kForm = "a4\rn+3\re+2\r";
const std::string kHeader =
    "Zeit\tBediener\tModus\tSatz\tAnschlaege\tAbweichende Felder\tKorrekturen";

std::string Login() {
    const passwd* account = getpwuid(getuid());
    return account != nullptr ? account->pw_name : std::to_string(getuid());
}

// The lines of the file after the header, each without its time, which must
// be local time with its offset.
std::vector<std::string> LinesAfterHeader(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, kHeader);
    std::vector<std::string> lines;
    const std::regex time(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d\t)");
    while (std::getline(in, line)) {
        std::smatch found;
        EXPECT_TRUE(std::regex_search(line, found, time)) << line;
        lines.push_back(found.suffix());
    }
    return lines;
}

// Whether the station still holds the file open: it writes a line for each
// record, so a handle left behind each time would run out after a day's work.
bool HoldsStatisticsOpen() {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error).filename() == "KELBRIN4.STA")
            return true;
    }
    return false;
}

struct FaultGuard {
    ~FaultGuard() { ClearFaults(); }
};

}  // namespace

TEST(Statistics, EachStoredRecordGetsItsLineInEntryAndVerifyMode) {
    FaultGuard guard;
    TempDir dir;
    StationHarness station;
    // A signal in the middle of the first write: it is written again.
    InjectFault(FaultyCall::Write, "KELBRIN4.STA", EINTR);
    station.Type(kForm);
    station.Key(VkF9);
    station.Type("abcd12\r");
    station.Type("w");
    station.Add(script::Paste("x"));  // pasted, not typed: not a keystroke
    station.Type("\r5\r");
    station.Key(VkF9);  // leaving and coming back to untouched record 3 adds no line
    station.Key(VkHome);
    station.Type("abcd12");       // the number's last digit runs on into record 2
    station.Type("wy\r");         // a mismatch in field 1
    station.Add(script::Idle());  // the check comes when the station waits again
    station.Key(VkF8);            // Korrektur stores the record
    station.Type("wy\r5");        // keyed again, and on into record 3
    station.Type("a");
    station.Add(script::Call([] { EXPECT_FALSE(HoldsStatisticsOpen()); }));
    station.Add(script::Stop());  // stores in entry mode what was keyed in verify mode
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(InjectedFailures(), 1);
    ASSERT_EQ(dir.Read("KELBRIN4.CR2").substr(0, 18), "abcd 12\r\nwy    5\r\n");

    const std::string who = Login() + "\t";
    EXPECT_EQ(LinesAfterHeader(dir.Read("KELBRIN4.STA")), (std::vector<std::string>{
                                                              who + "Eingabe\t1\t6\t\t0",
                                                              who + "Eingabe\t2\t2\t\t0",
                                                              who + "Pruefen\t1\t6\t\t0",
                                                              who + "Pruefen\t2\t2\t1\t1",
                                                              who + "Pruefen\t2\t3\t\t0",
                                                              who + "Pruefen\t3\t1\t\t0",
                                                          }));
}

TEST(Statistics, AFileThatCannotBeWrittenNeverStopsKeying) {
    // A line cut short by an earlier crash: the next line starts on a line of its own.
    const std::string cut = kHeader + "\n2025-03-14T08:1";
    const struct {
        FaultyCall call;
        int error;
    } cases[] = {{FaultyCall::Write, ENOSPC}, {FaultyCall::Open, EACCES}};
    for (const auto& c : cases) {
        FaultGuard guard;
        TempDir dir;
        dir.Write("KELBRIN4.STA", cut);
        StationHarness station;
        station.Type(kForm);
        station.Key(VkF9);
        station.Add(script::Call([&] { InjectFault(c.call, "KELBRIN4.STA", c.error, 0); }));
        station.Type("abcd12\r");
        station.Add(script::Call([&] {
            EXPECT_GT(InjectedFailures(), 0);
            EXPECT_EQ(dir.Read("KELBRIN4.CR2"), "abcd 12\r\n");
            EXPECT_EQ(dir.Read("KELBRIN4.STA"), cut);
            ClearFaults();
        }));
        station.Type("wx\r5\r");  // the next record tries again
        station.Key(VkF1);
        station.Type("n");
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
        EXPECT_EQ(station.host().ExitCode(), 0);
        EXPECT_TRUE(station.host().MessageBoxes().empty());
        EXPECT_EQ(station.host().Beeps(), 0);
        EXPECT_EQ(dir.Read("KELBRIN4.CR2").substr(0, 18), "abcd 12\r\nwx    5\r\n");
        const std::string text = dir.Read("KELBRIN4.STA");
        ASSERT_EQ(text.rfind(cut + "\n", 0), 0u) << text;
        EXPECT_NE(text.find("\tEingabe\t2\t3\t\t0\n", cut.size()), std::string::npos) << text;
        EXPECT_EQ(
            std::count(text.begin() + static_cast<std::ptrdiff_t>(cut.size()), text.end(), '\n'),
            2);
    }

    // A FIFO of that name is passed over at once instead of holding the station.
    TempDir dir;
    ASSERT_EQ(mkfifo("KELBRIN4.STA", 0600), 0);
    StationHarness station;
    station.Type(kForm);
    station.Key(VkF9);
    station.Type("abcd12\r");
    station.Add(script::Stop());
    EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    EXPECT_EQ(dir.Read("KELBRIN4.CR2").substr(0, 9), "abcd 12\r\n");
}
