// Fuzzes the definition-file reader: any bytes as a definition file must leave
// a layout that keeps every field inside the record and the screen, and never
// crash or overrun a buffer.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/FieldModel.h"
#include "core/FieldTypes.h"
#include "core/ScreenLayout.h"
#include "files/DefinitionFile.h"
#include "files/Tables.h"
#include "tests/kit/ConsoleHarness.h"

namespace {

void CheckLayout() {
    int expected = 1;
    int screenEnd = 0;
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& f = FieldTable[n];
        if (f.RecordPos != expected || f.Length < 1 || !IsTypeLetter(f.Type)) std::abort();
        expected += f.Length;
        if (f.ScreenPos <= screenEnd || f.ScreenPos < 1) std::abort();
        screenEnd = f.ScreenPos + f.Length - 1;
        if (screenEnd > MaxRecordLength || expected - 1 > MaxRecordLength) std::abort();
        if (FieldExtras[n].AddressColumn < 0 || FieldExtras[n].AddressColumn > 4) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string directory = [] {
        char pattern[] = "/tmp/kelbrin-fuzz-def-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) std::abort();
        std::filesystem::current_path(made);
        std::filesystem::create_directory("Tab");
        std::ofstream("Tab/t") << "a\nb\n";
        std::ofstream("Tab/adr") << "Ort\t12345\t\nWeg\t1-9\n";
        return std::string(made);
    }();
    static bool ready = [] {
        FillFieldTypeTable();
        return true;
    }();
    (void)ready;
    {
        std::ofstream file("f.def", std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ConsoleHarness console;  // messages wait for a key: the empty script ends them
    ResetFieldModel();
    console.Run([] { ReadDefinitionFile("f.def"); });
    CheckLayout();
    // What was read is written and read back unchanged.
    if (FieldCount > 0) {
        console.Run([] { WriteDefinitionFile("g.def"); });
        const uint16_t count = FieldCount;
        console.Run([] { ReadDefinitionFile("g.def"); });
        if (FieldCount != count) std::abort();
        CheckLayout();
    }
    for (int slot = 0; slot <= MaxFields; ++slot) ReleaseSlot(slot);
    return 0;
}
