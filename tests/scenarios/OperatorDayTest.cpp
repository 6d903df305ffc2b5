// An operator's day: a twelve-field form with a record counter, a check digit,
// a range, a digit set under a condition, a signed zero-filled number, Dup
// fields, an auto-skip field and an end mark; 200 records keyed, some of them
// verified (one with a mistake taken over by Korrektur, one by Satz-Scan),
// records found by content and by number, the station left and started again
// to go on. The record file is checked byte for byte.
#include <gtest/gtest.h>

#include <cstdio>

#include "console/WinCrt.h"
#include "screens/FieldCursor.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "tests/kit/StationHarness.h"
#include "tests/kit/TempDir.h"

namespace {

constexpr int kRecords = 200;
constexpr std::size_t kLength = 45;

struct Field {
    char type;
    int length;
    int32_t from = 1, to = 0;
    int16_t conditionField = 0;
    int32_t conditionFrom = 1, conditionTo = 0;
};

// Counter, name, check digit (modulus 10), 1..500, digit set {1,3,5} while
// field 4 lies in 1..100, signed and zero-filled, Dup alpha, Dup numeric,
// alpha, unformatted number, auto-skip alpha, end mark.
const Field kForm[] = {
    {'T', 4}, {'A', 8}, {'H', 5}, {'N', 3, 1, 500}, {'N', 1, 135, 1000000000, 4, 1, 100},
    {'R', 5}, {'U', 4}, {'D', 2}, {'A', 6},         {'O', 3},
    {'K', 2}, {'E', 2},
};

void Put16(std::string& out, int value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, int32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// The form as the layout journal holds it, so that the day starts with it.
std::string FormJournal() {
    std::string out = "FeldDef2";
    Put16(out, std::size(kForm));
    int position = 1;
    for (const Field& f : kForm) {
        Put16(out, position);
        Put16(out, position);
        Put16(out, f.length);
        out += f.type;
        Put32(out, f.from);
        Put32(out, f.to);
        position += f.length;
    }
    out += std::string(2000, '\xDB') + std::string(3072 + 2, '\0') + "ExtFld01";
    for (const Field& f : kForm) {
        Put16(out, 0);
        Put16(out, f.conditionField);
        Put32(out, f.conditionFrom);
        Put32(out, f.conditionTo);
    }
    return out;
}

std::string Printed(const char* format, int value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Name(int i) {
    return Printed("Name%04d", i);
}
// Four digits and their modulus 10 check digit (the digit sum's last digit).
std::string CheckNumber(int i) {
    const std::string digits = Printed("%04d", i * 37 % 10000);
    int sum = 0;
    for (char c : digits) sum += c - '0';
    return digits + static_cast<char>('0' + sum % 10);
}
std::string Amount(int i) {
    return Printed("%03d", i % 150 + 1);
}
char DigitOfSet(int i) {
    return "135"[i % 3];
}
// The negative number of field 6, two digits.
std::string Minus(int i) {
    return Printed("%02d", i % 90 + 10);
}

// What the operator types for record i in entry mode (Dup/Skip on after
// record 1, so the Dup and auto-skip fields are passed over).
std::string EntryKeys(int i) {
    std::string keys = Name(i) + CheckNumber(i) + Amount(i) + DigitOfSet(i) + "-" + Minus(i) + "\r";
    if (i == 1) keys += "Dupl77";
    keys += "xyz\r7\r";
    if (i == 1) keys += "zz";
    return keys;
}

// The record as the record file holds it: the counter right-justified, the
// negative number zero-filled with its last digit overpunched, blanks after
// short texts, unkeyed fields as 0 bytes, the end mark.
std::string Stored(int i, const std::string& name) {
    const std::string minus = Minus(i);
    const char last = minus[1] == '0' ? '\x81' : static_cast<char>(minus[1] + 25);
    return Printed("%4d", i) + name + CheckNumber(i) + Amount(i) + DigitOfSet(i) + "000" +
           minus[0] + last + "Dupl77xyz   7  " + (i == 1 ? "zz" : std::string(2, '\0')) + "\r\n";
}

}  // namespace

TEST(OperatorDay, KeyVerifyCorrectFindLeaveAndGoOn) {
    TempDir dir;
    dir.Write("KELBRIN4.CR1", FormJournal());
    {
        StationHarness station;
        station.Type("n");  // keep the form that is there
        station.Key(VkF9);
        station.Type(EntryKeys(1));
        station.Key(VkF4);  // Dup/Skip on
        for (int i = 2; i <= kRecords; ++i) station.Type(EntryKeys(i));
        station.Add(script::Call([&] {
            EXPECT_EQ(CurrentRecordNumber, kRecords + 1);
            EXPECT_EQ(station.host().Beeps(), 0);  // every check passed
        }));

        // Verify: record 1 keyed again in full (its Dup and auto-skip fields
        // hold the operator: there is no previous record to compare), records
        // 2 and 3 as they are keyed, record 4 with a mistake taken over by
        // Korrektur, record 5 by Satz-Scan.
        station.Key(VkF9);
        station.Key(VkHome);
        const auto verifyKeys = [](int i, const std::string& name) {
            return name + CheckNumber(i) + Amount(i) + DigitOfSet(i) + "-" + Minus(i);
        };
        station.Type(verifyKeys(1, Name(1)) + "Dupl77xyz\r7\rzz");
        station.Type(verifyKeys(2, Name(2)) + "xyz\r7\r");
        station.Type(verifyKeys(3, Name(3)) + "xyz\r7\r");
        station.Type("Nbme0004");  // a mistake: beeps and holds the operator
        station.Add(script::Idle());
        station.Add(script::Call([&] {
            EXPECT_EQ(CurrentRecordNumber, 4);
            EXPECT_EQ(CursorField(), 2);
        }));
        station.Key(VkF8);
        station.Type(verifyKeys(4, "Nbme0004") + "xyz\r7\r");
        station.Key(VkF7);    // Satz-Scan: record 5 counts as verified
        station.Key(VkNext);  // and is stored as it was
        station.Add(script::Call([&] { EXPECT_EQ(CurrentRecordNumber, 6); }));

        // Found by content, then by number.
        station.Key(VkF5);
        station.Type("name0150\r");
        // Keys typed while a search runs are dropped: wait for its end.
        station.Add(script::Idle());
        station.Add(script::Call([&] { EXPECT_EQ(CurrentRecordNumber, 150); }));
        station.Key(VkF5);
        station.Key(VkF7);
        station.Type("42\r");
        station.Add(script::Idle());
        station.Add(script::Call([&] { EXPECT_EQ(CurrentRecordNumber, 42); }));
        station.Key(VkF1);
        station.Type("n");
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
        EXPECT_EQ(station.host().ExitCode(), 0);
    }
    std::string expected;
    for (int i = 1; i <= kRecords; ++i) expected += Stored(i, i == 4 ? "Nbme0004" : Name(i));
    const std::string records = dir.Read("KELBRIN4.CR2");
    ASSERT_GE(records.size(), expected.size());
    for (int i = 0; i < kRecords; ++i) {
        ASSERT_EQ(records.substr(i * kLength, kLength), expected.substr(i * kLength, kLength))
            << "record " << i + 1;
    }

    // Leaving verify mode on the fresh record behind the last stored nothing:
    // nobody keyed into it, so not even its record counter makes it a record.
    EXPECT_EQ(records.size(), expected.size());

    // The next morning: the form and the records are there; keying goes on
    // behind the last record.
    {
        StationHarness station;
        station.Type("n");
        station.Key(VkF9);
        station.Key(VkEnd);  // the last record
        station.Add(script::Call([&] { EXPECT_EQ(CurrentRecordNumber, kRecords); }));
        station.Type("\r");  // past its last field: a new record
        station.Add(script::Call([&] { EXPECT_EQ(CurrentRecordNumber, kRecords + 1); }));
        station.Type(EntryKeys(1).replace(0, 8, Name(kRecords + 1)));
        station.Add(script::Stop());
        EXPECT_EQ(station.Start(), StationHarness::Outcome::ProcessEnded);
    }
    EXPECT_EQ(dir.Read("KELBRIN4.CR2").substr(kRecords * kLength),
              Stored(1, Name(kRecords + 1)).replace(0, 4, Printed("%4d", kRecords + 1)));
}
