// Which records are verified: a record counts as verified once verify mode
// confirmed every field of it, and stops counting when it changes, moves or
// its verification file is lost; verify mode goes on to the records still to
// verify.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/WinCrt.h"
#include "files/RecordStore.h"
#include "files/StationFiles.h"
#include "files/Statistics.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "screens/LayoutFiles.h"
#include "screens/Session.h"
#include "tests/kit/FaultInjection.h"
#include "tests/kit/Layouts.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"
#include "tests/tools/ToolRun.h"

namespace {

std::string Printed(const char* format, int value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// An environment setting for the length of a test.
struct SampleSetting {
    explicit SampleSetting(const char* every) { ::setenv("KELBRIN_SAMPLE", every, 1); }
    ~SampleSetting() { ::unsetenv("KELBRIN_SAMPLE"); }
};

class Verification : public ::testing::Test {
  protected:
    // Record `number`'s state: "v" verified, "-" not.
    std::string States() const {
        std::string states;
        for (int64_t slot = 0; slot < StoredRecords.RecordCount(RecordLength()); ++slot)
            states += StoredRecords.IsVerified(slot, RecordLength()) ? "v" : "-";
        return states;
    }
    void Expect(const std::string& states, const std::string& info = "") {
        station.Add(script::Idle());
        station.Add(script::Call([this, states, info] {
            EXPECT_EQ(States(), states);
            if (!info.empty()) {
                EXPECT_EQ(station.host().Info(), info);
            }
        }));
    }

    TempDir dir;
    StationHarness station;
};

}  // namespace

TEST_F(Verification, ConfirmedRecordsCountUntilTheyChangeOrMove) {
    station.Type("a4\ra+3\re+2\r");  // two fields and the end mark: 9 bytes a record
    station.Key(VkF9);
    station.Type(
        "aaaabbb"
        "ccccddd"
        "eeeefff");
    station.Key(VkF9);  // verify mode
    station.Key(VkHome);
    station.Type("aaaabbb");  // record 1 keyed again: verified, on to record 2
    Expect("v--", "Satz 2 von 3, ungeprüft · 1 von 3 geprüft");
    station.Key(VkNext);  // record 2 only looked at: not verified
    Expect("v--");
    station.Type("eeeefff");
    Expect("v-v");
    station.Key(VkHome);
    station.Key(VkNext);  // the next one still to verify
    station.Type("ccccddd");
    Expect("vvv");

    // A record keyed again in entry mode is no longer the verified one.
    station.Key(VkF9);
    station.Key(VkF9);
    station.Key(VkHome);
    station.Key(VkNext);
    station.Type("C");
    station.Key(VkPrior);
    Expect("v-v");
    station.Add(script::Call([] {
        EXPECT_EQ(StoredRecords.VerificationOf(1, RecordLength()).keyer, LoginName());
        EXPECT_EQ(StoredRecords.VerificationOf(0, RecordLength()).verifier, LoginName());
    }));
    // An insert moves every later record: none of them counts any more.
    station.Key(VkF7);
    Expect("----");  // the new empty place and the three moved records
    station.Start();
    ReleaseJournalLock();  // the station has ended: the tools may read

    const ToolResult check = RunTool(KELBRIN_CHECK_PATH, {"--unverified", dir.path()});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_EQ(check.out,
              "Satz 2: ungeprüft\nSatz 3: ungeprüft\nSatz 4: ungeprüft\n"
              "4 Sätze, davon 1 leer, 0 geprüft, 3 ungeprüft\n");

    // An export of verified records only refuses, and writes nothing.
    const ToolResult exported = RunTool(KELBRIN_EXPORT_PATH, {dir.path(), dir.path() + "/out.dat",
                                                              "--mode", "din", "--verified-only"});
    EXPECT_EQ(exported.exitCode, 5);
    EXPECT_EQ(exported.err,
              "kelbrin-export: 3 Sätze sind noch nicht geprüft !!! Nichts geschrieben (die "
              "Liste: kelbrin-check --unverified).\n");
    EXPECT_FALSE(dir.Exists("out.dat"));
}

TEST_F(Verification, ASampleVisitsEveryTenthRecordFromAStartKeptWithTheState) {
    FillFieldTypeTable();
    ResetFieldModel();
    UseLayout({{'A', 4}, {'A', 3}, {'E', 2}});
    WriteDefinitionFile(kLayoutJournal);
    ResetFieldModel();
    std::string records;
    for (int i = 1; i <= 200; ++i) records += Printed("R%03d", i) + "abc\r\n";
    dir.Write(kRecordJournal, records);
    dir.Write(kRecordLengthFile, "9\n");
    const SampleSetting sample("10");

    std::vector<int64_t> visited;
    station.Type("n");
    station.Key(VkF9);
    station.Key(VkF9);  // verify mode, from record 1
    station.Key(VkHome);
    for (int i = 0; i < 22; ++i) {
        station.Key(VkNext);
        station.Add(script::Idle());
        station.Add(script::Call([&] { visited.push_back(CurrentRecordNumber); }));
    }
    int64_t start = -1;
    station.Add(script::Call([&] {
        const VerificationSample kept = StoredRecords.Sample(RecordLength());
        EXPECT_EQ(kept.every, 10);
        start = kept.start;
    }));
    station.Key(VkHome);
    station.Type(Printed("R%03d", 1) + "abc");  // record 1 is verified only if it is due
    station.Add(script::Idle());
    station.Add(script::Call([&] {
        EXPECT_EQ(StoredRecords.VerifiedCount(RecordLength()), start == 0 ? 1 : 0);
        EXPECT_EQ(StoredRecords.DueCount(RecordLength()), 20);
    }));
    station.Start();
    ReleaseJournalLock();

    ASSERT_GE(start, 0);
    std::vector<int64_t> due;
    for (int64_t slot = start; slot < 200; slot += 10)
        if (slot > 0) due.push_back(slot + 1);
    due.push_back(201);  // then the new record behind the last, where PgDn stays
    while (due.size() < visited.size()) due.push_back(201);
    EXPECT_EQ(visited, due);
    const ToolResult check = RunTool(KELBRIN_CHECK_PATH, {"--unverified", dir.path()});
    EXPECT_NE(check.out.find("200 Sätze, davon 0 leer, 180 nicht in der Stichprobe (jeder 10.), " +
                             std::to_string(start == 0 ? 1 : 0) + " geprüft, " +
                             std::to_string(start == 0 ? 19 : 20) + " ungeprüft\n"),
              std::string::npos)
        << check.out;
}

// A verification mark whose flush failed is taken back: the operator was told,
// and the record stays to verify until a mark reaches the disk.
TEST(VerificationFile, AMarkNotOnTheDiskIsNoMark) {
    TempDir dir;
    VerificationFile file;
    const uint8_t bytes[3] = {'a', 'b', 'c'};
    // Only a mark makes the file: reading (as the tools do) writes nothing.
    EXPECT_FALSE(file.IsVerified(0, bytes, 3));
    EXPECT_FALSE(dir.Exists(kVerificationFile));
    InjectFault(FaultyCall::Flush, kVerificationFile, EIO);
    EXPECT_EQ(file.NoteVerified(0, bytes, 3, "anna"), EIO);
    ClearFaults();
    EXPECT_FALSE(file.IsVerified(0, bytes, 3));
    EXPECT_EQ(file.NoteVerified(0, bytes, 3, "anna"), 0);
    EXPECT_TRUE(file.IsVerified(0, bytes, 3));
}
