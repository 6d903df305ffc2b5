// kelbrin-stats, run as its own process on statistics files written by hand:
// the figures per operator and day, pauses, records stored twice, damaged
// lines, the exit codes; coverage per day and records verified by their own
// keyer, also as KELBRIN4.VER has it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tests/tools/ToolRun.h"

namespace {

const std::string kStats = KELBRIN_STATS_PATH;
const std::string kHeader =
    "Zeit\tBediener\tModus\tSatz\tAnschlaege\tAbweichende Felder\tKorrekturen";

std::string Line(const std::string& time, const std::string& login, const std::string& mode,
                 int record, int keys, const std::string& fields, int korrekturen) {
    return time + "+01:00\t" + login + "\t" + mode + "\t" + std::to_string(record) + "\t" +
           std::to_string(keys) + "\t" + fields + "\t" + std::to_string(korrekturen) + "\n";
}

// Two operators over two days, their lines interleaved, with damage between.
// anna, 14th: gaps of 60 s, 90 s, 450 s (a pause) and exactly 300 s.
// bernd, 14th: record 2 stored twice (Korrektur, then moving on) is one
// record; his evening line is 14 hours after the one before; the gap to his
// first line after midnight belongs to no day. On the 15th anna verifies
// records 1 and 2, which she keyed herself the day before.
std::string Day() {
    const std::string d1 = "2025-03-14T", d2 = "2025-03-15T";
    return kHeader + "\n" + Line(d1 + "08:00:00", "anna", "Eingabe", 1, 100, "", 0) +
           Line(d1 + "08:00:30", "bernd", "Pruefen", 1, 50, "", 0) +
           Line(d1 + "08:01:00", "anna", "Eingabe", 2, 120, "", 0) +
           Line(d1 + "08:01:30", "bernd", "Pruefen", 2, 20, "2,5", 1) +
           "2025-03-14T08:02:00+01:00\tanna\tEingabe\t9\tzwölf\t\t0\n" +
           Line(d1 + "08:02:10", "bernd", "Pruefen", 2, 30, "", 0) +
           Line(d1 + "08:02:30", "anna", "Eingabe", 3, 90, "", 0) +
           Line(d1 + "08:03:30", "bernd", "Pruefen", 3, 40, "1", 0) +
           "2025-03-14T08:04:00+01:00\tanna\tEingabe\t4\t10\n" + kHeader + "\n" +
           Line("2025-02-30T08:05:00", "anna", "Eingabe", 4, 10, "", 0) +
           Line(d1 + "08:10:00", "anna", "Eingabe", 4, 110, "", 0) + "2025-03-14T08:1\n" +
           Line(d1 + "08:15:00", "anna", "Eingabe", 5, 100, "", 0) +
           Line(d1 + "08:16:00", "\x1b[31m", "Eingabe", 5, 100, "", 0) +
           Line(d1 + "23:58:00", "bernd", "Eingabe", 6, 70, "", 0) +
           Line(d2 + "00:01:00", "bernd", "Eingabe", 7, 80, "", 0) +
           Line(d2 + "07:59:00", "anna", "Pruefen", 1, 60, "", 0) +
           Line(d2 + "00:03:10", "bernd", "Eingabe", 8, 80, "", 0) +
           Line(d2 + "08:00:00", "anna", "Pruefen", 2, 60, "3", 1) +
           "2025-03-15T08:01:00+01:00\tanna\tPruefen\t3\t60\t\t0";  // cut off by a crash
}

const std::string kDamaged =
    "kelbrin-stats: 6 beschädigte Zeilen übersprungen (die erste: Zeile 6)\n";

TEST(KelbrinStats, FiguresPerOperatorAndDayForASpreadsheet) {
    Scratch dir;
    dir.Write("KELBRIN4.STA", Day());
    const ToolResult result = RunTool(kStats, {"--csv", dir.Path("")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, kDamaged);
    // Keystrokes per hour: all keystrokes over the active time (anna on the
    // 14th: 520 in 450 s); mismatches per 1000 keystrokes keyed in verify mode
    // (bernd: 3 in 140, not in his 210).
    EXPECT_EQ(result.out,
              "\xEF\xBB\xBF"
              "Datum;Bediener;Sätze erfasst;Sätze geprüft;Anschläge;Prüfanschläge;Aktive Zeit;"
              "Anschläge je Stunde;Abweichungen;Abweichungen je 1000 Prüfanschläge;Korrekturen\n"
              "2025-03-14;anna;5;0;520;0;0:07:30;4160;0;;0\n"
              "2025-03-14;bernd;1;3;210;140;0:03:00;4200;3;21,43;1\n"
              "2025-03-15;anna;0;2;120;120;0:01:00;7200;1;8,33;1\n"
              "2025-03-15;bernd;2;0;160;0;0:02:10;4431;0;;0\n"
              "\n"
              "Datum;Sätze erfasst;Sätze geprüft;Anteil geprüft in %\n"
              "2025-03-14;6;3;50,0\n"
              "2025-03-15;2;2;100,0\n"
              "\n"
              "Bediener;Sätze selbst geprüft\n"
              "anna;2\n");
}

TEST(KelbrinStats, ATableForReadingFromTheFileOrItsDirectory) {
    Scratch dir;
    dir.Write("KELBRIN4.STA", Day());
    const std::string table =
        "14.03.2025\n"
        "Bediener  Erfasst  Geprüft  Anschläge  Aktiv  Anschl./h  Abw.  Abw./1000  Korr.\n"
        "anna            5        0        520   0:07       4160     0          -      0\n"
        "bernd           1        3        210   0:03       4200     3      21,43      1\n"
        "\n"
        "15.03.2025\n"
        "Bediener  Erfasst  Geprüft  Anschläge  Aktiv  Anschl./h  Abw.  Abw./1000  Korr.\n"
        "anna            0        2        120   0:01       7200     1       8,33      1\n"
        "bernd           2        0        160   0:02       4431     0          -      0\n"
        "\n"
        "Prüfabdeckung je Tag\n"
        "Tag         Erfasst  Geprüft   Anteil\n"
        "14.03.2025        6        3   50,0 %\n"
        "15.03.2025        2        2  100,0 %\n"
        "\n"
        "Selbst geprüft\n"
        "Bediener  Sätze\n"
        "anna          2\n"
        "Summe         2\n";
    for (const std::string& where : {dir.Path(""), dir.Path("KELBRIN4.STA")}) {
        const ToolResult result = RunTool(kStats, {where});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, table);
        EXPECT_EQ(result.err, kDamaged);
    }
    // Only the header: nothing to show, and nothing wrong.
    dir.Write("KELBRIN4.STA", kHeader + "\n");
    const ToolResult empty = RunTool(kStats, {dir.Path("")});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.out, "Keine Einträge in " + dir.Path("KELBRIN4.STA") + ".\n");
    EXPECT_EQ(empty.err, "");
}

std::string Place(const std::string& hash, const std::string& keyer, const std::string& verifier) {
    return hash + " " + keyer + std::string(22 - keyer.size(), ' ') + " " + verifier +
           std::string(22 - verifier.size(), ' ') + " \n";
}

// Record 2 is keyed by bernd, then again by anna: she is its keyer. anna
// verifies record 3 while it is bernd's, then keys it again. Only record 1,
// keyed on the 14th and verified on the 15th, is anna's own. The share is
// rounded down (2 of 3 is 66,6 %); the 15th has nothing keyed.
TEST(KelbrinStats, CoveragePerDayAndRecordsVerifiedByTheirKeyer) {
    Scratch dir;
    const std::string d1 = "2025-03-14T08:0", d2 = "2025-03-15T08:0";
    dir.Write("KELBRIN4.STA", kHeader + "\n" + Line(d1 + "0:00", "anna", "Eingabe", 1, 9, "", 0) +
                                  Line(d1 + "1:00", "bernd", "Eingabe", 2, 9, "", 0) +
                                  Line(d1 + "2:00", "anna", "Eingabe", 2, 9, "", 0) +
                                  Line(d1 + "3:00", "bernd", "Eingabe", 3, 9, "", 0) +
                                  Line(d1 + "4:00", "anna", "Pruefen", 3, 9, "", 0) +
                                  Line(d1 + "5:00", "anna", "Eingabe", 3, 9, "", 0) +
                                  Line(d1 + "6:00", "bernd", "Pruefen", 2, 9, "", 0) +
                                  Line(d2 + "0:00", "anna", "Pruefen", 1, 9, "", 0) +
                                  Line(d2 + "1:00", "anna", "Pruefen", 1, 9, "", 0) +
                                  Line(d2 + "2:00", "bernd", "Pruefen", 3, 9, "", 0));
    const std::string hash = "0123456789abcdef";
    std::string header = "KELBRIN4.VER 1 80";
    header.resize(63, ' ');
    // Counted: places 0 and 5. Not: another verifier, not verified, a line one
    // byte short, nobody named.
    const std::string places = Place(hash, "anna", "anna") + Place(hash, "anna", "bernd") +
                               Place("----------------", "bernd", "bernd") +
                               Place(hash, "bernd", "bernd").substr(1) + Place(hash, "", "") +
                               Place(hash, "bernd", "bernd");
    dir.Write("KELBRIN4.VER", header + "\n" + places);
    const ToolResult result = RunTool(kStats, {dir.Path("KELBRIN4.STA")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    const std::size_t at = result.out.find("\nPrüfabdeckung");
    ASSERT_NE(at, std::string::npos) << result.out;
    EXPECT_EQ(result.out.substr(at),
              "\nPrüfabdeckung je Tag\n"
              "Tag         Erfasst  Geprüft  Anteil\n"
              "14.03.2025        3        2  66,6 %\n"
              "15.03.2025        0        2       -\n"
              "\n"
              "Selbst geprüft\n"
              "Bediener  Sätze\n"
              "anna          1\n"
              "Summe         1\n"
              "laut KELBRIN4.VER: 2 Sätze vom Erfasser selbst geprüft\n");
    const ToolResult csv = RunTool(kStats, {"--csv", dir.Path("")});
    EXPECT_EQ(csv.out.substr(csv.out.find("\nDatum;")),
              "\nDatum;Sätze erfasst;Sätze geprüft;Anteil geprüft in %\n"
              "2025-03-14;3;2;66,6\n2025-03-15;0;2;\n"
              "\nBediener;Sätze selbst geprüft\nanna;1\n"
              "\nSätze selbst geprüft laut KELBRIN4.VER\n2\n");

    // A file of another layout is not read as one.
    header.replace(13, 1, "2");
    dir.Write("KELBRIN4.VER", header + "\n" + places);
    const ToolResult other = RunTool(kStats, {dir.Path("")});
    EXPECT_EQ(other.out.find("laut KELBRIN4.VER"), std::string::npos);
    EXPECT_EQ(other.err, "kelbrin-stats: " + dir.Path("KELBRIN4.VER") +
                             " hat einen unbekannten Aufbau und bleibt unbeachtet\n");
}

TEST(KelbrinStats, AMissingOrUnreadableFileAndAWrongCallEndWithTwo) {
    Scratch dir;
    const ToolResult missing = RunTool(kStats, {dir.Path("")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err.rfind(IoErrorPrefix("kelbrin-stats", dir.Path("KELBRIN4.STA")), 0), 0u)
        << missing.err;
    ExpectIoError(missing, "kelbrin-stats", dir.Path("KELBRIN4.STA"), ENOENT);  // in German

    // A FIFO is refused at once instead of waiting for a writer.
    ASSERT_EQ(mkfifo(dir.Path("KELBRIN4.STA").c_str(), 0600), 0);
    const ToolResult fifo = RunTool(kStats, {dir.Path("")});
    EXPECT_EQ(fifo.exitCode, 2);
    EXPECT_EQ(fifo.err,
              "kelbrin-stats: " + dir.Path("KELBRIN4.STA") + " ist keine gewöhnliche Datei\n");

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--tabelle"}, std::vector<std::string>{"a", "b"}}) {
        const ToolResult wrong = RunTool(kStats, args);
        EXPECT_EQ(wrong.exitCode, 2);
        EXPECT_EQ(wrong.err, "Aufruf: kelbrin-stats [--csv] [VERZEICHNIS | DATEI]\n");
    }
}

}  // namespace
