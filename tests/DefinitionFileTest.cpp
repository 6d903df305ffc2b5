#include <gtest/gtest.h>

#include <cstring>

#include "console/WinCrt.h"
#include "core/FieldModel.h"
#include "core/FieldTypes.h"
#include "core/ProgramKeys.h"
#include "core/ScreenLayout.h"
#include "files/DefinitionFile.h"
#include "files/Journal.h"
#include "files/Tables.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/TempDir.h"

namespace {

void Put16(std::string& out, int value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, int32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((static_cast<uint32_t>(value) >> shift) & 0xFF);
}

int Get16(const std::string& bytes, std::size_t at) {
    return static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8);
}

struct RawField {
    int recordPos, screenPos, length;
    char type;
    int32_t from = 1, to = 0;
};

std::string FieldBytes(const std::vector<RawField>& fields) {
    std::string out;
    for (const RawField& f : fields) {
        Put16(out, f.recordPos);
        Put16(out, f.screenPos);
        Put16(out, f.length);
        out += f.type;
        Put32(out, f.from);
        Put32(out, f.to);
    }
    return out;
}

// A FeldDef2 file up to and including the table terminator.
std::string Current(const std::vector<RawField>& fields, const std::string& tail = "") {
    std::string out = "FeldDef2";
    Put16(out, static_cast<int>(fields.size()));
    out += FieldBytes(fields);
    out += std::string(2000, '\xDB');
    out += std::string(3072, '\0');
    out += tail;
    Put16(out, 0);
    return out;
}

class DefinitionFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        FillFieldTypeTable();
        for (int slot = 0; slot <= MaxFields; ++slot) ReleaseSlot(slot);
        ResetFieldModel();
        ClearLayout();
        ClearProgramKeys();
        ResetDefinitionFiles();
    }
    void TearDown() override {
        for (int slot = 0; slot <= MaxFields; ++slot) ReleaseSlot(slot);
        ResetFieldModel();
        ClearProgramKeys();
    }
    // The message a read showed in the middle of the screen, empty when none.
    std::string ReadShowing(const std::string& name) {
        console.Add(script::Char('x'));
        console.Run([&] { ReadDefinitionFile(name); });
        return console.Text(25, 12, 32);
    }
    TempDir dir;
    ConsoleHarness console;
};

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

TEST_F(DefinitionFiles, AnEmptyLayoutWithoutKeysIsTheBareFormat) {
    WriteDefinitionFile("leer.def");
    const std::string bytes = dir.Read("leer.def");
    ASSERT_EQ(bytes.size(), 5084u);  // marker, count, screen text, key block, terminator
    EXPECT_EQ(bytes.substr(0, 8), "FeldDef2");
    EXPECT_EQ(Get16(bytes, 8), 0);
    EXPECT_EQ(bytes.substr(10, 2000), std::string(2000, '\xDB'));
    EXPECT_EQ(Get16(bytes, 5082), 0);
}

TEST_F(DefinitionFiles, KnownLayoutByteForByte) {
    PutField(1, 'N', 5);
    PutField(2, 'A', 3);
    FieldTable[2].ScreenPos = 81;
    FieldTable[1].RangeFrom = -135;
    FieldTable[1].RangeTo = DigitSetMarker;
    LayoutCell(1, 1) = 'K';
    FieldExtras[2].ConditionField = 1;
    FieldExtras[2].ConditionFrom = 3;
    FieldExtras[2].ConditionTo = 7;
    SetProgramKey(1, "/tmp/zwei.def");
    dir.Write("Tab/orte", "Berlin\nBern\n");
    console.Run([] { LoadTable("orte", 2); });
    TableAssignments[2].Name = "orte";
    WriteDefinitionFile("KELBRIN4.CR1");  // the journal always carries the keys

    const std::string bytes = dir.Read("KELBRIN4.CR1");
    std::string expected = "FeldDef2";
    Put16(expected, 2);
    expected += FieldBytes({{1, 1, 5, 'N', -135, DigitSetMarker}, {6, 81, 3, 'A'}});
    std::string layout(2000, '\xDB');
    layout[0] = 'K';
    expected += layout;
    std::string keys(3072, '\0');
    keys[256] = 8;
    std::memcpy(keys.data() + 257, "zwei.def", 8);
    expected += keys;
    Put16(expected, 2);
    expected += std::string("\x04orte\0\0\0\0", 9);
    Put16(expected, 0);
    expected += "ExtFld01";
    Put16(expected, 0);
    Put16(expected, 0);
    Put32(expected, 1);
    Put32(expected, 0);
    Put16(expected, 0);
    Put16(expected, 1);
    Put32(expected, 3);
    Put32(expected, 7);
    EXPECT_EQ(bytes, expected);
    EXPECT_FALSE(dir.Exists("KELBRIN4.CR1.neu"));
}

TEST_F(DefinitionFiles, WritingThenReadingReproducesTheLayout) {
    PutField(1, 'C', 7);
    PutField(2, 'Z', 40);
    PutField(3, 'T', 4);
    FieldTable[3].ScreenPos = 500;
    FieldTable[3].RangeFrom = 100;
    FieldTable[3].RangeTo = 999;
    FieldExtras[1].AddressColumn = 3;
    LayoutCell(10, 20) = 'x';
    SetProgramKey(11, "letzte.def");
    dir.Write("Tab/adr", "Musterstadt\t12345\t\nHauptstr.\t1-99\n");
    dir.Write("Tab/liste", "a\nb\n");
    console.Run([] { LoadTable("liste", 2); });
    TableAssignments[2].Name = "liste";
    console.Run([] { WriteDefinitionFile("KELBRIN4.CR1"); });
    const std::string saved = dir.Read("KELBRIN4.CR1");

    ResetFieldModel();
    ClearLayout();
    ClearProgramKeys();
    console.Run([] { ReadDefinitionFile("kelbrin4.cr1"); });  // names found without regard to case
    ASSERT_EQ(FieldCount, 3);
    EXPECT_EQ(FieldTable[3].ScreenPos, 500);
    EXPECT_EQ(FieldTable[3].RangeTo, 999);
    EXPECT_EQ(FieldTable[2].Type, 'Z');
    EXPECT_EQ(FieldExtras[1].AddressColumn, 3);
    EXPECT_TRUE(HasTable(0));  // the address data came with the column
    EXPECT_TRUE(HasTable(2));
    EXPECT_EQ(TableAssignments[2].Name, "liste");
    EXPECT_EQ(LayoutCell(10, 20), 'x');
    EXPECT_EQ(ProgramKeyTexts[11], "letzte.def");
    EXPECT_EQ(CurrentProgramKey, 0);
    EXPECT_EQ(dir.Read("KELBRIN4.CR1"), saved);  // the journal holds what was read
}

TEST_F(DefinitionFiles, KeysSavedWithoutProgramKeysLeaveTheKeysInMemory) {
    PutField(1, 'A', 4);
    SaveWithProgramKeys = false;
    SetProgramKey(0, "a.def");
    dir.Write("plain.def", Current({{1, 1, 4, 'A'}}));
    ReadShowing("plain.def");
    EXPECT_EQ(ProgramKeyTexts[0], "a.def");
}

TEST_F(DefinitionFiles, OldFormatGivesEqualPositionsAndAnEmptyScreen) {
    LayoutCell(3, 3) = 'q';
    std::string old = "FeldDefs";
    Put16(old, 2);
    Put16(old, 1);
    Put16(old, 3);
    old += 'A';
    Put16(old, 4);
    Put16(old, 2);
    old += 'N';
    dir.Write("alt.def", old);
    EXPECT_EQ(Trimmed(ReadShowing("alt.def")), "");
    ASSERT_EQ(FieldCount, 2);
    EXPECT_EQ(FieldTable[2].RecordPos, 4);
    EXPECT_EQ(FieldTable[2].ScreenPos, 4);
    EXPECT_FALSE(HasRange(FieldTable[2]));
    EXPECT_EQ(LayoutCell(3, 3), EmptyCell);
}

TEST_F(DefinitionFiles, WideScreensAreConvertedToEightyColumns) {
    std::string ext = "ExtScr01";
    Put16(ext, 132);
    Put16(ext, 25);
    ext += std::string(25 * 52, ' ');
    // Field 1 at cell 133 of a 132-column screen: line 2, column 1. Field 2 would
    // overlap after converting and is laid behind it.
    std::string file = Current({{1, 133, 5, 'A'}, {6, 135, 5, 'A'}});
    dir.Write("breit.def", file + ext);
    ReadShowing("breit.def");
    ASSERT_EQ(FieldCount, 2);
    EXPECT_EQ(FieldTable[1].ScreenPos, 81);
    EXPECT_EQ(FieldTable[2].ScreenPos, 86);
}

TEST_F(DefinitionFiles, FailuresAndTheStateTheyLeave) {
    PutField(1, 'A', 4);
    const std::string before = "FeldDef2";
    dir.Write("leer.def", "");
    EXPECT_EQ(Trimmed(ReadShowing("leer.def")), "Kann Datei nicht lesen !!!");
    EXPECT_EQ(Trimmed(ReadShowing("fehlt.def")), "Kann Datei nicht lesen !!!");
    EXPECT_EQ(FieldCount, 1);
    EXPECT_FALSE(dir.Exists("KELBRIN4.CR1"));

    std::string tooMany = "FeldDef2";
    Put16(tooMany, 1841);
    dir.Write("viele.def", tooMany);
    EXPECT_EQ(Trimmed(ReadShowing("viele.def")), "Zu viele Felder !!!");
    EXPECT_EQ(FieldCount, 0);
    EXPECT_FALSE(dir.Exists("KELBRIN4.CR1"));

    PutField(1, 'A', 4);
    dir.Write("text.def", "Das ist keine Definition\n");
    EXPECT_EQ(Trimmed(ReadShowing("text.def")), "Keine FeldDefinitions-Datei !!!");
    EXPECT_EQ(FieldCount, 1);
    EXPECT_TRUE(dir.Exists("KELBRIN4.CR1"));  // rewritten with the fields unchanged

    // A record longer than 1840 is noticed once bytes follow the terminator.
    dir.Write("lang.def", Current({{1, 1, 1000, 'A'}, {1001, 1001, 900, 'A'}}) + "ExtFld01" +
                              std::string(24, '\0'));
    EraseFile("KELBRIN4.CR1");
    EXPECT_EQ(Trimmed(ReadShowing("lang.def")), "Satz zu lang !!!");
    EXPECT_EQ(FieldCount, 0);
    EXPECT_FALSE(dir.Exists("KELBRIN4.CR1"));
}

TEST_F(DefinitionFiles, ExactlyTheMaximumIsRead) {
    std::vector<RawField> fields;
    for (int i = 1; i <= 1840; ++i) fields.push_back({i, i, 1, 'A'});
    dir.Write("voll.def", Current(fields));
    EXPECT_EQ(Trimmed(ReadShowing("voll.def")), "");
    EXPECT_EQ(FieldCount, 1840);
}

TEST_F(DefinitionFiles, ShortFilesLeaveTheirPartlyReadStates) {
    PutField(1, 'A', 4);
    // Fields cut short: the count becomes 0 and the screen text empty.
    std::string cut = "FeldDef2";
    Put16(cut, 3);
    cut += FieldBytes({{1, 1, 4, 'A'}});
    dir.Write("kurz.def", cut);
    EXPECT_EQ(Trimmed(ReadShowing("kurz.def")), "");
    EXPECT_EQ(FieldCount, 0);
    EXPECT_TRUE(dir.Exists("KELBRIN4.CR1"));

    // Table entries: field 0 ends them, field 2000 is passed over without a name.
    std::string tail;
    Put16(tail, 2000);
    Put16(tail, 1);
    tail += std::string("\x04orte\0\0\0\0", 9);
    dir.Write("Tab/orte", "x\n");
    dir.Write("tab.def", Current({{1, 1, 4, 'A'}}, tail));
    ReadShowing("tab.def");
    EXPECT_TRUE(HasTable(1));
    EXPECT_EQ(TableAssignments[1].Name, "orte");
}

TEST_F(DefinitionFiles, DamagedFilesAreRefusedAndChangeNothing) {
    PutField(1, 'A', 4);
    TableAssignments[1].Name = "t";
    dir.Write("Tab/t", "a\n");
    console.Run([] { LoadTable("t", 1); });
    WriteDefinitionFile("KELBRIN4.CR1");
    const std::string journal = dir.Read("KELBRIN4.CR1");
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"null.def", Current({{1, 1, 0, 'A'}})},
        {"minus.def", Current({{1, 1, -5, 'A'}})},
        {"luecke.def", Current({{1, 1, 4, 'A'}, {6, 10, 4, 'A'}})},
        {"bild.def", Current({{1, 0, 4, 'A'}})},
        {"ueber.def", Current({{1, 1, 4, 'A'}, {5, 3, 4, 'A'}})},
        {"typ.def", Current({{1, 1, 4, 'a'}})},
        {"adresse.def",
         Current({{1, 1, 4, 'A'}}) + "ExtFld01" + std::string("\x07\0\0\0\0\0\0\0\0\0\0\0", 12)},
        {"name.def", Current({{1, 1, 4, 'A'}}, std::string("\x01\x00\x09" "abcdefgh", 11))},
        {"breite.def", Current({{1, 1, 4, 'A'}}) + "ExtScr01" + std::string("\x00\x01\x19\x00", 4)},
        {"alt.def",
         [] {
             std::string old = "FeldDefs";
             Put16(old, 1841);
             return old + std::string(5 * 1841, 'A');
         }()},
    };
    for (const auto& [name, bytes] : damaged) {
        dir.Write(name, bytes);
        const std::string message = Trimmed(ReadShowing(name));
        EXPECT_TRUE(message == "Keine FeldDefinitions-Datei !!!" ||
                    message == "Zu viele Felder !!!")
            << name;
        EXPECT_EQ(FieldCount, 1) << name;
        EXPECT_EQ(FieldTable[1].Length, 4) << name;
        EXPECT_TRUE(HasTable(1)) << name;
        EXPECT_EQ(dir.Read("KELBRIN4.CR1"), journal) << name;
    }
}
