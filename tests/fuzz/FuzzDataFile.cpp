// Data files from hostile input, through the real load: the first bytes of an
// input choose a layout of up to four fields (and, for fixed-length files, the
// code table), the rest is the file. Whatever the input, the load must end,
// and the record file must hold whole records only, none more than the input
// can make. Built twice: fixed-length files (modes 0 to 2) and, with
// KELBRIN_FUZZ_TAB, tab-separated lines.
#include <cstdint>
#include <fstream>
#include <string>

#include "screens/DataFileDialogs.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "platform/ByteFile.h"
#include "platform/WindowSystem.h"
#include "tests/fuzz/FuzzKit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    static const bool prepared = [] {
        FillFieldTypeTable();
        return true;
    }();
    (void)prepared;
    const InWorkDirectory inWorkDirectory(FuzzWorkDirectory("fuzz-data"));

    static const char kTypes[] = "ANREOHT";
    const int fields = data[0] % 4 + 1;
    if (size < static_cast<std::size_t>(2 + fields)) return 0;
    ResetFieldModel();
    FieldCount = 0;
    int position = 1;
    for (int i = 0; i < fields; ++i) {
        const uint8_t choice = data[2 + i];
        FieldDef& field = FieldTable[++FieldCount];
        field.RecordPos = field.ScreenPos = static_cast<int16_t>(position);
        field.Length = static_cast<int16_t>(choice % 40 + 1);
        field.Type = static_cast<uint8_t>(kTypes[(choice / 40) % 7]);
        position += field.Length;
    }
    const int length = RecordLength();
#ifdef KELBRIN_FUZZ_TAB
    ConversionMode = ConversionAsciiTab;
#else
    ConversionMode = data[1] % 3;
#endif
    const std::string input(reinterpret_cast<const char*>(data) + 2 + fields,
                            size - 2 - static_cast<std::size_t>(fields));
    std::ofstream("in.dat", std::ios::binary) << input;
    Mode = ModeEntry;
    FUZZ_CHECK(StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::Create) == 0);
    try {
        LoadDataFrom("in.dat");
    } catch (const ProcessEnded&) {
    } catch (const InOutError&) {
    }
    int64_t stored = 0;
    FUZZ_CHECK(StoredRecords.File().Size(stored) == 0);
    FUZZ_CHECK(stored % length == 0);
#ifdef KELBRIN_FUZZ_TAB
    // A line gives at most one record; every record needs its line end or the
    // input's end.
    std::size_t lines = 1;
    for (char c : input) lines += c == '\n' || c == '\r';
    FUZZ_CHECK(static_cast<std::size_t>(stored / length) <= lines);
#else
    FUZZ_CHECK(stored <= static_cast<int64_t>(input.size()) + length);
#endif
    StoredRecords.File().Close();
    return 0;
}
