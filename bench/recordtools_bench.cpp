// Makes a working directory for bench/recordtools.sh:
//   recordtools_bench DIR RECORDS
// a layout of 80 bytes with a check digit (modulus 11), a number range, a
// digit set under a condition, a field tied to a lookup table of 1,000 towns
// and an end mark in KELBRIN4.CR1, the table in Tab/, and RECORDS records in
// KELBRIN4.CR2. One record in a hundred has a wrong check digit, so that the
// check lists 1 % of the records; every tenth number is negative.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/QuietWindowSystem.h"
#include "screens/Journal.h"
#include "screens/LayoutFiles.h"
#include "screens/OperatorRecord.h"
#include "screens/TableLoading.h"

namespace {

// The town names of the table, sorted: 1,000 names spread over 500 pairs of
// first letters, as a country's towns spread over the alphabet.
const std::vector<std::string>& Towns() {
    static const std::vector<std::string> towns = [] {
        std::vector<std::string> names;
        for (int i = 0; i < 1000; ++i) {
            names.push_back(
                std::string{static_cast<char>('A' + i / 40), static_cast<char>('a' + i % 40 / 2)} +
                (i % 2 != 0 ? "hausen" : "berg"));
        }
        std::sort(names.begin(), names.end());
        return names;
    }();
    return towns;
}

std::string Town(int i) {
    return Towns()[static_cast<std::size_t>(i % 1000)];
}

// Five digits and their modulus 11 check digit.
std::string WithCheckDigit(int number) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%05d", number % 100000);
    int sum = 0;
    for (int p = 0; p < 5; ++p) sum += (digits[p] - '0') * ((4 - p) % 6 + 2);
    int r = 11 - sum % 11;
    if (r >= 10) r = 0;
    return std::string(digits) + static_cast<char>('0' + r);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: recordtools_bench DIR RECORDS\n");
        return 2;
    }
    std::filesystem::current_path(argv[1]);
    const int records = std::atoi(argv[2]);
    const QuietStation station("recordtools_bench");

    std::filesystem::create_directory("Tab");
    {
        std::ofstream table("Tab/orte", std::ios::binary);
        for (int i = 0; i < 1000; ++i) table << Town(i) << '\n';
    }
    // Check digit, name, amount -99999..99999, a digit 1, 3 or 5 while the amount
    // lies in 1..50000, town from the table, text, end mark.
    const FieldDef fields[] = {{1, 1, 6, 'C', 1, 0},
                               {7, 7, 24, 'A', 1, 0},
                               {31, 31, 6, 'N', -99999, 99999},
                               {37, 37, 1, 'N', 135, DigitSetMarker},
                               {38, 38, 10, 'A', 1, 0},
                               {48, 48, 31, 'A', 1, 0},
                               {79, 79, 2, 'E', 1, 0}};
    FieldCount = 7;
    for (int n = 1; n <= FieldCount; ++n) FieldTable[n] = fields[n - 1];
    FieldExtras[4] = {0, 3, 1, 50000};
    TableAssignments[5].Name = "orte";
    if (!LoadTable("orte", 5)) return 1;
    WriteDefinitionFile(kLayoutJournal);

    std::string block;
    block.reserve(static_cast<std::size_t>(records) * 80);
    for (int i = 0; i < records; ++i) {
        std::string check = WithCheckDigit(i);
        if (i % 100 == 99) check.back() = check.back() == '9' ? '0' : check.back() + 1;
        char record[81];
        // A negative amount carries the overpunch on its last digit, as the
        // record file stores it.
        const int amount = i % 99999 + 1;
        std::snprintf(record, sizeof record, "%s%-24s%6d%c%-10s%-31s\r\n", check.c_str(),
                      ("Kunde " + std::to_string(i)).c_str(), amount, "135"[i % 3],
                      Town(i * 7).c_str(), "Musterstrasse 12");
        if (i % 10 == 0) record[35] = static_cast<char>(record[35] == '0' ? 0x81 : record[35] + 25);
        block.append(record, 80);
    }
    std::ofstream out(kRecordJournal, std::ios::binary);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
    return out ? 0 : 1;
}
