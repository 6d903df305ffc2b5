// Fuzzes the definition-file reader. Whatever the bytes, the reader must never
// crash or overrun a buffer; the layout it leaves keeps every field inside the
// record and the screen; the layout in memory and KELBRIN4.CR1 agree afterwards
// (a refused file changes neither); and that layout, written and read again,
// comes back whole: fields, screen text, program keys, tables and extras.
//
//   build-fuzz/tests/fuzz/fuzz_definition -max_total_time=600 corpus/
//   tests/fuzz/seeds/fuzz_definition
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console/WinCrt.h"
#include "screens/Journal.h"
#include "screens/LayoutFiles.h"
#include "screens/OperatorRecord.h"
#include "files/Tables.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/ProgramKeys.h"
#include "model/ScreenLayout.h"
#include "platform/RichEdit.h"
#include "platform/WindowSystem.h"
#include "tests/fuzz/FuzzKit.h"

namespace {

// The tables a definition may name, in the working directory made once.
const std::string& SetUpOnce() {
    static bool done = false;
    const std::string& directory = FuzzWorkDirectory("fuzz-def");
    if (!done) {
        done = true;
        std::ofstream(directory + "/Tab/t") << "a\nb\n";
        std::ofstream(directory + "/Tab/adr") << "Ort\t12345\t\nWeg\t1-9\n";
        FillFieldTypeTable();
    }
    return directory;
}

std::string FileBytes(const char* name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Everything a definition file holds, as it stands in memory.
struct Layout {
    std::vector<std::array<int32_t, 6>> fields;
    std::vector<std::array<int32_t, 4>> extras;
    std::array<uint8_t, 2000> screen{};
    std::array<std::string, kProgramKeys> keys;
    std::vector<std::pair<int, std::string>> tables;  // field (0: address data), name
    bool operator==(const Layout&) const = default;
};

Layout Snapshot() {
    Layout layout;
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& f = FieldTable[n];
        layout.fields.push_back(
            {f.RecordPos, f.ScreenPos, f.Length, f.Type, f.RangeFrom, f.RangeTo});
        const FieldExtra& e = FieldExtras[n];
        layout.extras.push_back(
            {e.AddressColumn, e.ConditionField, e.ConditionFrom, e.ConditionTo});
    }
    layout.screen = ScreenLayout;
    layout.keys = ProgramKeyTexts;
    if (HasTable(0)) layout.tables.emplace_back(0, "");
    for (int n = 1; n <= MaxFields; ++n) {
        if (HasTable(n)) layout.tables.emplace_back(n, TableAssignments[n].Name);
    }
    return layout;
}

void CheckLayout() {
    int expected = 1;
    int screenEnd = 0;
    for (int n = 1; n <= FieldCount; ++n) {
        const FieldDef& f = FieldTable[n];
        FUZZ_CHECK(f.RecordPos == expected && f.Length >= 1 && IsTypeLetter(f.Type));
        expected += f.Length;
        FUZZ_CHECK(f.ScreenPos > screenEnd && f.ScreenPos >= 1);
        screenEnd = f.ScreenPos + f.Length - 1;
        FUZZ_CHECK(screenEnd <= MaxRecordLength && expected - 1 <= MaxRecordLength);
        const FieldExtra& e = FieldExtras[n];
        FUZZ_CHECK(e.AddressColumn >= 0 && e.AddressColumn <= 6);
        FUZZ_CHECK(e.ConditionField >= 0 && e.ConditionField <= FieldCount);
    }
}

void EmptySession() {
    for (int slot = 0; slot <= MaxFields; ++slot) ReleaseSlot(slot);
    ResetFieldModel();
    ClearLayout();
    ClearProgramKeys();
    ResetKeyboard();
}

// The layout each input meets, with its journal: a refused file must leave both.
void StartingLayout() {
    EmptySession();
    PutField(1, 'N', 3);
    PutField(2, 'A', 5);
    FieldTable[2].ScreenPos = 90;
    LayoutCell(3, 4) = 'x';
    SetProgramKey(4, "fuenf.def");
    WriteDefinitionFile(kLayoutJournal);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const InWorkDirectory inWorkDirectory(SetUpOnce());
    {
        std::ofstream file("f.def", std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    StartingLayout();
    ReadDefinitionFile("f.def");
    CheckLayout();
    // Memory and the journal agree: a write of what is in memory is the journal.
    WriteDefinitionFile("g.def");
    FUZZ_CHECK(FileBytes("g.def") == FileBytes(kLayoutJournal));

    // What was read, written with the program keys and read again, comes back whole.
    const Layout read = Snapshot();
    EmptySession();
    ReadDefinitionFile("g.def");
    FUZZ_CHECK(Snapshot() == read);
    EmptySession();
    return 0;
}
