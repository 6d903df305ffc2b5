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
#include "core/FieldModel.h"
#include "core/FieldTypes.h"
#include "core/ProgramKeys.h"
#include "core/ScreenLayout.h"
#include "files/DefinitionFile.h"
#include "files/Journal.h"
#include "files/Tables.h"
#include "platform/RichEdit.h"
#include "platform/WindowSystem.h"

namespace {

#define FUZZ_CHECK(condition)                                                            \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #condition); \
            std::abort();                                                                \
        }                                                                                \
    } while (0)

// Answers every wait for a key with Enter, so every message the reader shows
// is read and the reader runs to its end.
class FuzzWindowSystem : public WindowSystem {
  public:
    void Pump() override {
        if (!KeyQueue.KeyAvailable) DeliverKey(VkReturn, 0, '\r');
    }
    void WaitForEvents() override {}
    void Focus(RichEdit&) override {}
    std::string ClipboardText() override { return {}; }
    void SetClipboardText(const std::string&) override {}
    void SetProgramKeyCaption(int, const std::string&) override {}
    void Beep() override {}
    void MessageBox(const std::string&, const std::string&) override {}
    [[noreturn]] void EndProcess(int exitCode) override { throw ProcessEnded{exitCode}; }
    bool IsNtPlatform() override { return true; }
    int WindowWidth() override { return 800; }
    int MainControlWidth() override { return 800; }
    void Scale(double) override {}
};

FuzzWindowSystem host;
RichEdit mainArea, statusLine, legendLine;
std::string workDirectory;

void RemoveWorkDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(workDirectory, ignored);
}

// The reader finds "Tab/..." and writes KELBRIN4.CR1 in the current directory,
// while the fuzzer reads its corpus and writes its findings relative to its
// own: the fuzzing directory is entered only for each input.
class InWorkDirectory {
  public:
    InWorkDirectory() : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(workDirectory);
    }
    ~InWorkDirectory() { std::filesystem::current_path(previous_); }
    InWorkDirectory(const InWorkDirectory&) = delete;
    InWorkDirectory& operator=(const InWorkDirectory&) = delete;

  private:
    std::filesystem::path previous_;
};

void SetUpOnce() {
    if (!workDirectory.empty()) return;
    // Every input writes several files: in memory (/dev/shm) that is many
    // times faster than on a disk.
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp != nullptr ? tmp : "/tmp";
    if (tmp == nullptr && access("/dev/shm", W_OK) == 0) base = "/dev/shm";
    std::string pattern = base + "/kelbrin-fuzz-def-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    workDirectory = pattern;
    std::filesystem::create_directory(workDirectory + "/Tab");
    std::ofstream(workDirectory + "/Tab/t") << "a\nb\n";
    std::ofstream(workDirectory + "/Tab/adr") << "Ort\t12345\t\nWeg\t1-9\n";
    std::atexit(RemoveWorkDirectory);
    FillFieldTypeTable();
    BindScreenControls(mainArea, statusLine, legendLine);
    BindWindowSystem(host);
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
    SetUpOnce();
    const InWorkDirectory inWorkDirectory;
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
