#include <gtest/gtest.h>

#include <string>

#include "console/WinCrt.h"
#include "screens/DataFileDialogs.h"
#include "screens/FileDialog.h"
#include "screens/LayoutFiles.h"
#include "screens/LineEditor.h"
#include "screens/Session.h"
#include "model/ProgramKeys.h"
#include "platform/ByteFile.h"
#include "platform/FileSystem.h"
#include "tests/kit/ConsoleHarness.h"
#include "tests/kit/TempDir.h"

namespace {

class Dialog : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLineEditor();
        ResetDataFiles();
        ResetDefinitionFiles();
        ClearProgramKeys();
        CurrentProgramKey = 11;
    }
    void TearDown() override {
        SetUp();
        Mode = ModeDefinition;
        SubMode = SubMain;
    }
    std::string Ask(int32_t mode, int32_t subMode, std::string_view pattern,
                    std::string_view defaultName = "") {
        Mode = mode;
        SubMode = subMode;
        const bool definition = mode == ModeDefinition;
        const bool save = subMode == (definition ? SubWriteDefinition : SubSaveData);
        std::string result = "(not returned)";
        console.Run([&] { result = AskFileName(pattern, defaultName, definition, save); });
        return result;
    }
    static std::string Absolute(const std::string& relative) {
        return CurrentOemDirectory() + "/" + relative;
    }
    // Checks a screen row from its start at this point of the script.
    void Expect(int row, const std::string& utf8) {
        console.Add(script::Call(
            [this, row, utf8] { EXPECT_EQ(console.Row(row).substr(0, utf8.size()), utf8); }));
    }

    TempDir dir;
    ConsoleHarness console;
};

}  // namespace

TEST_F(Dialog, DataSaveLooksIntoATypedDirectoryAndKeepsTheNameBare) {
    dir.Write("sub/one.dat", "");
    dir.Write("top.dat", "");
    Expect(1, "Verzeichnis [./]: ");
    console.Type("sub\r");  // no wildcard: a directory, all its files listed
    Expect(2, "one.dat ");
    Expect(1, "Dateiname: ");
    console.Type("out\r");
    Expect(1, "Bitte wählen Sie den Konvertierungs-Modus (F6/F7/F8/F9): ");
    Expect(25, " ESCAbbruch  F6EBCDIC (ÄÖÜß=#@$*)  F7EBCDIC (ÄÖÜäöüß=DIN)  F8ASCII  F9ASCII-TAB ");
    console.Add(script::Key(VkF8));
    EXPECT_EQ(Ask(ModeEntry, SubSaveData, DataDirectory), Absolute("sub/out"));
    EXPECT_EQ(ConversionMode, ConversionAscii);

    console.Type("sub\\..\r");  // either separator, and ".." as a directory
    Expect(2, "top.dat ");
    console.Type("sub\\new.dat\r");
    console.Add(script::Key(VkF9));
    EXPECT_EQ(Ask(ModeVerify, SubSaveData, "./"), Absolute("sub/new.dat"));
}

TEST_F(Dialog, DataLoadKeepsTheWildcardAndTakesConversionKeysInTheBrowser) {
    dir.Write("a.TXT", "");
    dir.Write("b.txt", "");
    dir.Write("c.dat", "");
    console.Type("*.TXT\r");
    Expect(4, "     ");  // a.TXT and b.txt only
    console.Type("b");
    console.Add(script::Alt('1'));  // program keys belong to the definition browser
    console.Add(script::Key(VkF6));
    console.Add(script::Call([this] { EXPECT_EQ(console.Cell(14, 25).color, kOrange); }));
    console.Type("\r");  // a mode was chosen: no question afterwards
    EXPECT_EQ(Ask(ModeEntry, SubLoadData, "./"), Absolute("b.txt"));
    EXPECT_EQ(ConversionMode, ConversionEbcdicHash);
    EXPECT_EQ(ProgramKeyTexts[0], "");
    EXPECT_EQ(console.host().Remaining(), 0u);
}

TEST_F(Dialog, DefinitionSaveAddsTheDefaultExtensionAndCutsNoName) {
    console.Type("\rlayout\r");
    EXPECT_EQ(Ask(ModeDefinition, SubWriteDefinition, "*.DEF"), Absolute("layout.DEF"));
    EXPECT_EQ(console.host().Remaining(), 0u);  // no conversion question
    Expect(1, "Verzeichnis [*.DEF]: ");
    console.Type("\rmy_long_layout.backup\r");
    EXPECT_EQ(Ask(ModeDefinition, SubWriteDefinition, "*.DEF"), Absolute("my_long_layout.backup"));
    console.Type("\r");
    Expect(1, "Dateiname [OLD.DEF]: ");
    console.Type("\r");
    EXPECT_EQ(Ask(ModeDefinition, SubWriteDefinition, "*.DEF", "OLD.DEF"), Absolute("OLD.DEF"));
}

TEST_F(Dialog, F9WhileTypingTheNameSkipsTheConversionQuestion) {
    console.Type("\rda");
    console.Add(script::Key(VkF9));
    console.Type("ta\r");
    EXPECT_EQ(Ask(ModeEntry, SubSaveData, "./"), Absolute("data"));
    EXPECT_EQ(ConversionMode, ConversionAsciiTab);
    EXPECT_EQ(console.host().Remaining(), 0u);
}

TEST_F(Dialog, EscapeOrNoNameCancels) {
    console.Type("\rdata\r");
    console.Add(script::Key(VkEscape, 0, 27));  // at the conversion question
    EXPECT_EQ(Ask(ModeEntry, SubSaveData, "./"), "");
    EXPECT_EQ(ConversionMode, ConversionEbcdicDin);
    console.Add(script::Key(VkEscape, 0, 27));  // at the directory
    EXPECT_EQ(Ask(ModeEntry, SubSaveData, "./"), "");

    console.Type("\r\rx");
    EXPECT_EQ(Ask(ModeDefinition, SubWriteDefinition, "*.DEF"), "");
    EXPECT_EQ(console.Text(25, 12, 42), "Sie haben keinen Dateinamen eingegeben !!!");
    EXPECT_EQ(console.host().Remaining(), 0u);  // after the wait for a key
}

TEST_F(Dialog, DefinitionBrowserSetsProgramKeysFromTheHighlightedFile) {
    dir.Write("A.DEF", "");
    dir.Write("Bravo.DEF", "");
    CurrentProgramKey = 10;
    console.Type("\r");
    console.Add(script::Key(VkF12));  // the next key: the twelfth
    console.Add(script::Call([this] {
        EXPECT_EQ(ProgramKeyTexts[11], "A.DEF");
        EXPECT_EQ(console.host().ProgramKeyCaption(11), "A");
        // The journal has the key at once, not only at the next layout change.
        EXPECT_NE(dir.Read("KELBRIN4.CR1")
                      .find("\x05"
                            "A.DEF"),
                  std::string::npos);
    }));
    console.Add(script::Key(VkDown));
    console.Add(script::Key(VkF12));  // after the twelfth the first
    console.Add(script::Alt('3'));
    console.Add(script::Alt(VkOem6));  // the key right of ß: the twelfth
    console.Add(script::Key(VkF6));    // no conversion keys here
    console.Type("\r");
    EXPECT_EQ(Ask(ModeDefinition, SubReadDefinition, "*.DEF"), Absolute("Bravo.DEF"));
    EXPECT_EQ(CurrentProgramKey, 0);
    const std::array<std::string, kProgramKeys> expected{
        "Bravo.DEF", "", "Bravo.DEF", "", "", "", "", "", "", "", "", "Bravo.DEF"};
    EXPECT_EQ(ProgramKeyTexts, expected);
    EXPECT_EQ(console.host().ProgramKeyCaption(11), "Bravo");
    EXPECT_EQ(ConversionMode, ConversionEbcdicDin);
}

TEST_F(Dialog, DeleteAsksAndDeletesOnlyOnJ) {
    dir.Write("A.DEF", "");
    dir.Write("B.DEF", "");
    console.Type("\r");
    console.Add(script::Key(VkDelete));
    Expect(1, "Soll die Datei A.DEF wirklich gelöscht werden (J/N) ?");
    Expect(25, " ESC Abbruch ");
    console.Type("n");
    Expect(1, "Verzeichnis [*.DEF]: *.DEF");
    Expect(25, " ESC Abbruch Entf Datei ");
    console.Add(script::Key(VkDelete));
    console.Type("J");
    Expect(2, "B.DEF");  // the listing follows the disk
    console.Type("\r");
    EXPECT_EQ(Ask(ModeDefinition, SubReadDefinition, "*.DEF"), Absolute("B.DEF"));
    EXPECT_FALSE(dir.Exists("A.DEF"));
    EXPECT_TRUE(dir.Exists("B.DEF"));
}

TEST_F(Dialog, APickedNameIsUsedAsItStands) {
    dir.Write("README", "");
    console.Type("*.*\r\r");
    EXPECT_EQ(Ask(ModeDefinition, SubReadDefinition, "*.DEF"), Absolute("README"));
    console.Type("*.*\rneu\r");  // a typed name still gets the extension
    EXPECT_EQ(Ask(ModeDefinition, SubWriteDefinition, "*.DEF"), Absolute("neu.DEF"));
}

TEST_F(Dialog, NamesShownWithQuestionMarksOpenAndDeleteTheirOwnFile) {
    dir.Write("\xCE\xA9mega.DEF", "omega");  // no counterpart in code page 850
    dir.Write("\xFFmega.DEF", "ff");         // no UTF-8
    dir.Write("?mega.DEF", "literal");
    const auto contents = [](const std::string& path) {
        ByteFile file;
        char buffer[16];
        std::size_t got = 0;
        if (file.Open(path, ByteFile::Mode::Read) != 0 || file.Read(buffer, 16, got) != 0)
            return std::string("?");
        return std::string(buffer, got);
    };
    console.Type("\r");
    for (int row = 2; row <= 4; ++row) Expect(row, "?mega.DEF ");
    console.Add(script::Key(VkDown));
    console.Add(script::Key(VkDelete));
    Expect(1, "Soll die Datei ?mega.DEF wirklich gelöscht werden (J/N) ?");
    console.Type("j\r");  // the highlight stays on the second place
    EXPECT_EQ(contents(Ask(ModeDefinition, SubReadDefinition, "*.DEF")), "literal");
    EXPECT_FALSE(dir.Exists("\xFFmega.DEF"));
    EXPECT_TRUE(dir.Exists("?mega.DEF"));
    console.Type("\r\r");
    EXPECT_EQ(contents(Ask(ModeDefinition, SubReadDefinition, "*.DEF")), "omega");
}

// A name is never cut. A typed answer longer than the prompt takes is refused
// whole (cut to 50 characters it loses its extension, say); a path in a deep
// directory is used whole (cut at 255 characters, it would name the other file
// here); a program key refuses a name longer than it holds (only one held with
// escapes is).
TEST_F(Dialog, NamesAreRefusedRatherThanCut) {
    console.Type("\r" + std::string(48, 'n') + ".dat\r");
    console.Add(script::Call(
        [this] { EXPECT_EQ(console.Text(25, 12, 35), "Dateiname länger als 50 Zeichen !!!"); }));
    console.Type("x");
    EXPECT_EQ(Ask(ModeEntry, SubSaveData, "./"), "");

    const std::string deep = std::string(200 - CurrentOemDirectory().size() - 2, 'v');
    const std::string shorter = deep + "/" + std::string(55, 'K');  // 255 characters, absolute
    ASSERT_EQ(Absolute(shorter).size(), 255u);
    dir.Write(shorter, "other");
    dir.Write(shorter + ".DEF", "layout");
    console.Type("\r\r");
    EXPECT_EQ(Ask(ModeDefinition, SubReadDefinition, deep + "/*.DEF"), Absolute(shorter + ".DEF"));

    std::string omegas;
    for (int i = 0; i < 43; ++i) omegas += "\xCE\xA9";  // each held as "%CE%A9"
    dir.Write(omegas + ".DEF", "");
    console.Type("\r");
    console.Add(script::Alt('1'));
    console.Add(script::Call(
        [this] { EXPECT_EQ(console.Text(25, 12, 36), "Dateiname länger als 255 Zeichen !!!"); }));
    console.Type("x");  // the list is back, and Esc leaves it
    console.Add(script::Call([this] { EXPECT_EQ(console.Row(2).substr(0, 10), "?????????~"); }));
    console.Add(script::Key(VkEscape, 0, 27));
    EXPECT_EQ(Ask(ModeDefinition, SubReadDefinition, "*.DEF"), "");
    EXPECT_EQ(ProgramKeyTexts[0], "");
}
