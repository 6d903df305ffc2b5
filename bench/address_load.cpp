// Loads the postal-code address data of a working directory (its Tab/adr) the
// way the station does, and reports what was loaded and how long the load took.
// Used by bench/address.sh.
//
// No window system is bound: a missing file is refused before loading, and a
// damaged one, which the loader would report on the screen, ends this program
// with an error at the first attempt to wait for a key.
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

#include "screens/TableLoading.h"
#include "files/LookupTable.h"
#include "model/FieldModel.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: address_load <working directory holding Tab/adr>\n");
        return 2;
    }
    std::error_code error;
    std::filesystem::current_path(argv[1], error);
    if (error || !std::filesystem::is_regular_file("Tab/adr")) {
        std::fprintf(stderr, "address_load: no Tab/adr in %s\n", argv[1]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    try {
        LoadAddressData();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "address_load: the data could not be loaded (%s)\n", failure.what());
        return 1;
    }
    const auto end = std::chrono::steady_clock::now();
    const LookupTable* adr = TableAssignments[0].Table.get();
    if (adr == nullptr) {
        std::fprintf(stderr, "address_load: nothing loaded\n");
        return 1;
    }
    std::printf("lines %d nodes %d indexed %s load_seconds %.3f\n", adr->LineCount(),
                adr->NodeCount(), adr->HasIndex() ? "yes" : "no",
                std::chrono::duration<double>(end - start).count());
    ReleaseSlot(0);
    return 0;
}
