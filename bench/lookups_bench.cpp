// Times lookups in the address data for bench/lookups.sh, in the directory it
// is given (which holds Tab/adr):
//   lookups_bench DIR COUNT
// runs COUNT random lookups of each kind through the town field of a layout
// with street, house number, postal code and town, as leaving the town field
// does, and prints per kind "KIND MEDIAN_US P99_US FOUND". A choice list that
// opens takes its first entry at once, so its drawing counts too.
//   town    the first characters (two or more) of a town's name
//   postal  a postal code, the town left empty
//   street  a postal code with one of its streets and a house number there
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/QuietWindowSystem.h"
#include "console/WinCrt.h"
#include "screens/FieldEngine.h"
#include "screens/Lookups.h"
#include "screens/Session.h"
#include "screens/TableLoading.h"
#include "files/LookupTable.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"

namespace {

enum Field { kStreet = 1, kHouse, kPostal, kTown };

void Put(int n, const std::string& text) {
    const std::span<uint8_t> bytes = FieldBytes(FieldTable[n], WorkRecord);
    std::fill(bytes.begin(), bytes.end(), 0);
    std::copy_n(text.begin(), std::min(text.size(), bytes.size()), bytes.begin());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lookups_bench DIR COUNT\n");
        return 2;
    }
    std::filesystem::current_path(argv[1]);
    const int count = std::atoi(argv[2]);
    const QuietStation station("lookups_bench", true);
    const int lengths[] = {0, 30, 6, 5, 30};
    for (int n = 1, position = 1; n <= 4; position += lengths[n], ++n) {
        FieldTable[n] = FieldDef{static_cast<int16_t>(position),
                                 static_cast<int16_t>(position),
                                 static_cast<int16_t>(lengths[n]),
                                 'A',
                                 1,
                                 0};
        FieldExtras[n].AddressColumn = static_cast<int16_t>(n);
    }
    FieldCount = 4;
    LoadAddressData();
    const LookupTable* table = TableAssignments[0].Table.get();
    if (table == nullptr || table->NodeCount() == 0) {
        std::fprintf(stderr, "lookups_bench: no address data in %s/Tab/adr\n", argv[1]);
        return 1;
    }

    std::mt19937 random(4711);
    const auto pick = [&](int32_t below) { return static_cast<int32_t>(random() % below); };
    for (const char* kind : {"town", "postal", "street"}) {
        std::vector<double> micros;
        int found = 0;
        for (int i = 0; i < count; ++i) {
            const int32_t node = pick(table->NodeCount());
            char code[8];
            std::snprintf(code, sizeof code, "%05d", table->PostalCodeOfNode(node));
            for (int n = 1; n <= 4; ++n) Put(n, "");
            if (kind[0] == 't') {
                const std::string town(table->LineKey(table->NodeLine(node)));
                Put(kTown, town.substr(0, 2 + pick(static_cast<int32_t>(town.size()) - 1)));
            } else {
                Put(kPostal, code);
            }
            if (kind[0] == 's') {
                const ItemRange streets = table->StreetLines(node);
                if (!streets.Empty()) {
                    const std::string_view line =
                        table->Line(streets.first + pick(streets.end - streets.first));
                    const std::size_t tab = line.find('\t');
                    Put(kStreet, std::string(line.substr(0, tab)));
                    // A number the line's range holds, or any for a whole street.
                    const int house = tab == std::string_view::npos
                                          ? 1 + pick(50)
                                          : std::atoi(std::string(line.substr(tab + 1)).c_str());
                    Put(kHouse, std::to_string(house));
                }
            }
            const auto start = std::chrono::steady_clock::now();
            found += AddressLookup(kTown, false) ? 1 : 0;
            micros.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        std::sort(micros.begin(), micros.end());
        std::printf("%s %.1f %.1f %d\n", kind, micros[micros.size() / 2],
                    micros[micros.size() * 99 / 100], found);
    }
    return 0;
}
