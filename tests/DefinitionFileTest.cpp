#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "console/WinCrt.h"
#include "screens/Journal.h"
#include "screens/LayoutFiles.h"
#include "screens/OperatorRecord.h"
#include "screens/TableLoading.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/ProgramKeys.h"
#include "model/ScreenLayout.h"
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

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
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
        console.Add(script::Char('x'));  // for a message, if one comes
        console.Run([&] { ReadDefinitionFile(name); });
        console.host().DropRemaining();
        return console.Text(25, 12, 32);
    }
    // Saves through the dialog under `name` (the directory as offered); the
    // message it showed, empty when none.
    std::string SaveShowing(const std::string& name) {
        console.Type("\r" + name + "\r");
        console.Add(script::Char('x'));  // for a message, if one comes
        console.Run([] { WriteDefinitionFile(""); });
        console.host().DropRemaining();
        return Trimmed(console.Text(25, 12, 32));
    }
    // The names in the working directory, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    TempDir dir;
    ConsoleHarness console;
};

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
    EXPECT_EQ(Entries(), (std::vector<std::string>{"KELBRIN4.CR1", "Tab"}));  // no temporary left
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

    // A table that cannot be read for a moment is told, the field goes on
    // without it, and the layout keeps its name: once the file is back, the
    // next reading has the table again.
    std::filesystem::rename(dir.path() + "/Tab/liste", dir.path() + "/Tab/weg");
    EXPECT_EQ(Trimmed(ReadShowing("kelbrin4.cr1")).substr(0, 30), "Kann Tabelle liste nicht lesen");
    EXPECT_FALSE(HasTable(2));
    EXPECT_EQ(dir.Read("KELBRIN4.CR1"), saved);
    std::filesystem::rename(dir.path() + "/Tab/weg", dir.path() + "/Tab/liste");
    console.Run([] { ReadDefinitionFile("kelbrin4.cr1"); });
    EXPECT_TRUE(HasTable(2));
}

TEST_F(DefinitionFiles, KeysSavedWithoutProgramKeysLeaveTheKeysInMemory) {
    PutField(1, 'A', 4);
    dir.Write("Tab/t", "a\n");
    console.Run([] { LoadTable("t", 1); });
    TableAssignments[1].Name = "t";
    SaveWithProgramKeys = false;
    SetProgramKey(0, "a.def");
    dir.Write("plain.def", Current({{1, 1, 4, 'A'}}));
    ReadShowing("plain.def");
    EXPECT_EQ(ProgramKeyTexts[0], "a.def");
    EXPECT_FALSE(HasTable(1));  // the layout read brings no table
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

    // A 26th line is passed over whole: the field extensions behind it count.
    std::string tall = "ExtScr01";
    Put16(tall, 132);
    Put16(tall, 26);
    tall += std::string(25 * 52 + 132, ' ');
    const std::string extras = "ExtFld01" + std::string("\x03", 1) + std::string(23, '\0');
    dir.Write("hoch.def", file + tall + extras);
    ReadShowing("hoch.def");
    ASSERT_EQ(FieldCount, 2);
    EXPECT_EQ(FieldExtras[1].AddressColumn, 3);

    // One column short of 80: cell 80 is line 2, column 1 as well.
    std::string narrow = "ExtScr01";
    Put16(narrow, 79);
    Put16(narrow, 25);
    dir.Write("schmal.def", Current({{1, 80, 5, 'A'}}) + narrow);
    ReadShowing("schmal.def");
    ASSERT_EQ(FieldCount, 1);
    EXPECT_EQ(FieldTable[1].ScreenPos, 81);
}

TEST_F(DefinitionFiles, FailuresAndTheStateTheyLeave) {
    PutField(1, 'A', 4);
    dir.Write("leer.def", "");
    EXPECT_EQ(Trimmed(ReadShowing("leer.def")), "Kann Datei nicht lesen !!!");
    EXPECT_EQ(Trimmed(ReadShowing("fehlt.def")), "Kann Datei nicht lesen !!!");
    EXPECT_EQ(FieldCount, 1);
    EXPECT_FALSE(dir.Exists("KELBRIN4.CR1"));
}

TEST_F(DefinitionFiles, ExactlyTheMaximumIsRead) {
    std::vector<RawField> fields;
    for (int i = 1; i <= 1840; ++i) fields.push_back({i, i, 1, 'A'});
    dir.Write("voll.def", Current(fields));
    EXPECT_EQ(Trimmed(ReadShowing("voll.def")), "");
    EXPECT_EQ(FieldCount, 1840);
}

TEST_F(DefinitionFiles, FilesEndingBetweenBlocksAreRead) {
    SetProgramKey(0, "a.def");
    std::string whole = Current({{1, 1, 4, 'A'}});
    whole[10 + 15 + 81] = 'L';  // row 2, column 2 of the screen text
    const std::size_t keysEnd = whole.size() - 2;
    // Without program keys, and without table entries.
    for (const std::size_t end : {keysEnd - 3072, keysEnd}) {
        ResetFieldModel();
        ClearLayout();
        dir.Write("teil.def", whole.substr(0, end));
        EXPECT_EQ(Trimmed(ReadShowing("teil.def")), "") << end;
        EXPECT_EQ(FieldCount, 1) << end;
        EXPECT_EQ(LayoutCell(2, 2), 'L') << end;
        EXPECT_EQ(ProgramKeyTexts[0], "a.def") << end;
    }

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
    dir.Write("Tab/t", "a\n");
    // The layout each file meets, journalled.
    const auto setUp = [&] {
        ResetFieldModel();
        PutField(1, 'A', 4);
        LayoutCell(5, 3) = 'L';
        SetProgramKey(2, "drei.def");
        TableAssignments[1].Name = "t";
        console.Run([] { LoadTable("t", 1); });
        WriteDefinitionFile("KELBRIN4.CR1");
    };
    setUp();
    const std::string journal = dir.Read("KELBRIN4.CR1");

    const std::string notDefinition = "Keine FeldDefinitions-Datei !!!";
    const std::string whole = Current({{1, 1, 4, 'A'}, {5, 5, 4, 'A'}});
    const std::string keysEnd = whole.substr(0, whole.size() - 2);
    const std::string entry = std::string("\x01\x00\x01t\0\0\0\0\0\0\0", 11);
    std::string tooMany = "FeldDef2";
    Put16(tooMany, 1841);
    tooMany += std::string(15 * 1841, 'A');
    std::string wide = "ExtScr01";
    Put16(wide, 132);
    Put16(wide, 25);
    std::string noWidth = "ExtScr01";
    Put16(noWidth, 0);
    Put16(noWidth, 25);
    std::string old = "FeldDefs";
    Put16(old, 2);
    old += FieldBytes({{1, 1, 4, 'A'}}).substr(0, 5);
    const std::vector<std::tuple<std::string, std::string, std::string>> damaged = {
        {"text.def", "Das ist keine Definition\n", notDefinition},
        {"viele.def", tooMany, "Zu viele Felder !!!"},
        {"lang.def",
         Current({{1, 1, 1000, 'A'}, {1001, 1001, 900, 'A'}}) + "ExtFld01" + std::string(24, '\0'),
         "Satz zu lang !!!"},
        // Cut short inside a block: the count, the fields, the screen text, the
        // program keys, a table entry, the table list, an extension.
        {"zahl.def", "FeldDef2\x02", notDefinition},
        {"felder.def", whole.substr(0, 10 + 15 + 7), notDefinition},
        {"bild.def", whole.substr(0, 10 + 30 + 1999), notDefinition},
        {"tasten.def", whole.substr(0, 10 + 30 + 2000 + 100), notDefinition},
        {"nummer.def", keysEnd + "\x01", notDefinition},
        {"eintrag.def", keysEnd + entry.substr(0, 6), notDefinition},
        {"liste.def", keysEnd + entry, notDefinition},
        {"marke.def", whole + "ExtF", notDefinition},
        {"breite.def", whole + wide.substr(0, 11), notDefinition},
        {"zeilen.def", whole + wide + std::string(100, ' '), notDefinition},
        {"extra.def", whole + "ExtFld01" + std::string(12, '\0'), notDefinition},
        {"alt.def", old, notDefinition},
        {"altzahl.def", std::string("FeldDefs\0", 9), notDefinition},
        // A screen of no width, yet a position to convert.
        {"schmal.def", Current({{1, 81, 4, 'A'}}) + noWidth, notDefinition},
        // Layouts that could not be used.
        {"null.def", Current({{1, 1, 0, 'A'}}), notDefinition},
        {"minus.def", Current({{1, 1, -5, 'A'}}), notDefinition},
        {"luecke.def", Current({{1, 1, 4, 'A'}, {6, 10, 4, 'A'}}), notDefinition},
        {"bild0.def", Current({{1, 0, 4, 'A'}}), notDefinition},
        {"rand.def", Current({{1, 1838, 5, 'A'}}), notDefinition},  // past the screen's end
        {"ueber.def", Current({{1, 1, 4, 'A'}, {5, 3, 4, 'A'}}), notDefinition},
        {"typ.def", Current({{1, 1, 4, 'a'}}), notDefinition},
        {"adresse.def",
         Current({{1, 1, 4, 'A'}}) + "ExtFld01" + std::string("\x07\0\0\0\0\0\0\0\0\0\0\0", 12),
         notDefinition},
        {"name.def",
         Current({{1, 1, 4, 'A'}}, std::string("\x01\x00\x09"
                                               "abcdefgh",
                                               11)),
         notDefinition},
        {"riesig.def", Current({{1, 1, 4, 'A'}}) + "ExtScr01" + std::string("\x00\x01\x19\x00", 4),
         notDefinition},
        {"altviele.def",
         [] {
             std::string bytes = "FeldDefs";
             Put16(bytes, 1841);
             return bytes + std::string(5 * 1841, 'A');
         }(),
         "Zu viele Felder !!!"},
    };
    for (const auto& [name, bytes, message] : damaged) {
        setUp();
        dir.Write(name, bytes);
        EXPECT_EQ(Trimmed(ReadShowing(name)), message) << name;
        EXPECT_EQ(FieldCount, 1) << name;
        EXPECT_EQ(FieldTable[1].Length, 4) << name;
        EXPECT_EQ(LayoutCell(5, 3), 'L') << name;
        EXPECT_EQ(ProgramKeyTexts[2], "drei.def") << name;
        EXPECT_TRUE(HasTable(1)) << name;
        EXPECT_EQ(dir.Read("KELBRIN4.CR1"), journal) << name;
    }
}

TEST_F(DefinitionFiles, ColumnsFiveAndSixStrayConditionsAndAScreenOfNoWidth) {
    dir.Write("Tab/adr", "Musterstadt\t12345\t\nHauptstr.\t1-99\n");
    // A screen of no width: read, as no position needs converting.
    std::string ext = "ExtScr01";
    Put16(ext, 0);
    Put16(ext, 30);
    ext += "ExtFld01";
    const auto extra = [&](int column, int field, int32_t from, int32_t to) {
        Put16(ext, column);
        Put16(ext, field);
        Put32(ext, from);
        Put32(ext, to);
    };
    extra(5, 0, 1, 0);
    extra(6, 4, 2, 8);
    extra(0, 5, 2, 8);   // there is no field 5
    extra(0, -1, 3, 9);  // nor a field -1
    dir.Write("adr.def",
              Current({{1, 1, 2, 'A'}, {3, 3, 2, 'A'}, {5, 5, 2, 'N'}, {7, 7, 2, 'N'}}) + ext);
    EXPECT_EQ(Trimmed(ReadShowing("adr.def")), "");
    ASSERT_EQ(FieldCount, 4);
    EXPECT_EQ(FieldExtras[1].AddressColumn, 5);
    EXPECT_EQ(FieldExtras[2].AddressColumn, 6);
    EXPECT_TRUE(HasTable(0));  // the address data came with the columns
    EXPECT_EQ(FieldExtras[2].ConditionField, 4);
    EXPECT_EQ(FieldExtras[2].ConditionFrom, 2);
    EXPECT_EQ(FieldExtras[2].ConditionTo, 8);
    for (const int n : {3, 4}) {
        EXPECT_EQ(FieldExtras[n].ConditionField, 0) << n;
        EXPECT_EQ(FieldExtras[n].ConditionFrom, 1) << n;
        EXPECT_EQ(FieldExtras[n].ConditionTo, 0) << n;
    }
}

namespace {

// Every write beyond `bytes` into a file fails with EFBIG, as on a full disk:
// a real failure that needs neither privileges nor a file system of its own.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit previous_{};
    sighandler_t previousHandler_ = SIG_DFL;
};

}  // namespace

TEST_F(DefinitionFiles, AFailedSaveLeavesTheOldFileWhole) {
    PutField(1, 'A', 4);
    const std::string old = Current({{1, 1, 9, 'N'}});
    dir.Write("alt.def", old);
    dir.Write("KELBRIN4.CR1", old);
    {
        const FileSizeLimit fullDisk(1000);
        EXPECT_EQ(SaveShowing("alt.def"), "Kann Datei nicht schreiben !!!");
        // The journal's own write tells its caller.
        EXPECT_THROW(WriteDefinitionFile("KELBRIN4.CR1"), InOutError);
    }
    EXPECT_EQ(dir.Read("alt.def"), old);
    EXPECT_EQ(dir.Read("KELBRIN4.CR1"), old);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"KELBRIN4.CR1", "alt.def"}));

    EXPECT_EQ(SaveShowing("alt.def"), "");  // with room again
    EXPECT_EQ(Get16(dir.Read("alt.def"), 10 + 4), 4);
}

TEST_F(DefinitionFiles, TheJournalFilesAreNeverSavedOver) {
    PutField(1, 'A', 4);
    dir.Write("KELBRIN4.CR2", "records");
    std::filesystem::create_directory("sub");
    std::filesystem::create_symlink("KELBRIN4.CR2", "link.def");
    // KELBRIN4.CR1 is not there yet: its name alone is refused.
    for (const char* name : {"kelbrin4.cr2", "Kelbrin4.Cr1", "link.def", "sub/../KELBRIN4.cr2"})
        EXPECT_EQ(SaveShowing(name), "Kann Datei nicht schreiben !!!") << name;
    console.Add(script::Char('x'));
    console.Run([] { WriteDefinitionFile("./kelbrin4.cr2"); });
    EXPECT_EQ(Trimmed(console.Text(25, 12, 32)), "Kann Datei nicht schreiben !!!");
    EXPECT_EQ(dir.Read("KELBRIN4.CR2"), "records");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"KELBRIN4.CR2", "link.def", "sub"}));
}

// A pipe or a device cannot be replaced by renaming: it is written directly.
TEST_F(DefinitionFiles, AJournalThatIsAPipeIsWrittenThrough) {
    ASSERT_EQ(mkfifo("KELBRIN4.CR1", 0600), 0);
    const int reader = open("KELBRIN4.CR1", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    PutField(1, 'A', 4);
    WriteDefinitionFile("KELBRIN4.CR1");
    std::string got(8000, '\0');
    const ssize_t n = read(reader, got.data(), got.size());
    close(reader);
    EXPECT_EQ(n, 5084 + 15);
    struct stat info {};
    ASSERT_EQ(lstat("KELBRIN4.CR1", &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}
