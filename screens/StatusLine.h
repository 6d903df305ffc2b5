// The two lines of furniture every screen shares: the status line on row 1,
// which also carries every prompt, and the legend line on row 25 with the keys
// that apply (key names set off between '~' characters) and option switches.
#pragma once
#include <string>
#include <string_view>

#include "platform/CodePage.h"

// Legends, code page 850.
inline const std::string LegendDefinitionMain =
    " ~F1~Ende ~F2~Save ~F3~Load ~F4~Position ~F5~Bereich ~F6~Text ~F7~Übersicht ~F8~Neu     ~F9~Modus"_oem;
inline const std::string LegendDefinitionLoad =
    " ~ESC~ Abbruch ~Entf~ Datei löschen ~Alt-1...Alt-'~ Programmtasten belegen"_oem;
inline const std::string LegendDefinitionSave =
    " ~ESC~ Abbruch   ~F4~ mit Programmtasten sichern"_oem;
inline const std::string LegendEntryMain =
    " ~F1~Ende ~F2~Save ~F3~Load ~F4~Dup/Skip ~F5~Suchen ~F6~Dup ~F7~Ins Satz ~F8~Del Satz   ~F9~Modus"_oem;
inline const std::string LegendVerifyMain =
    " ~F1~Ende ~F2~Save ~F3~Load ~F4~Dup/Skip ~F5~Suchen ~F6~Dup ~F7~Satz-Scan ~F8~Korrektur ~F9~Modus"_oem;
inline const std::string LegendConversion =
    " ~ESC~Abbruch  ~F6~EBCDIC (ÄÖÜß=#@$*)  ~F7~EBCDIC (ÄÖÜäöüß=DIN)  ~F8~ASCII  ~F9~ASCII-TAB"_oem;
inline const std::string LegendEscape = " ~ESC~ Abbruch"_oem;
inline const std::string LegendTextEditor =
    " ~ESC~ Zurück   ~Cursor, Enter, ...~ Position ~Entf~ Löschen ~Shift-Entf~ Alles Löschen"_oem;
inline const std::string LegendPositioner =
    " ~ESC~ Zurück   ~Cursortasten, Enter, Pos1, Ende, PageUp, PageDown~ Positionierung"_oem;
inline const std::string LegendRange = " ~ESC~Abbruch  ~keine Eingabe~Bereich löschen"_oem;
inline const std::string LegendTable = " ~ESC~ Abbruch   ~keine Eingabe~ Tabelle löschen"_oem;
inline const std::string LegendFieldLength =
    " ~ESC~ Abbruch                   vorangestelltes + bedeutet Eingabe der Feldlänge"_oem;
inline const std::string LegendSearch =
    " ~ESC~ Abbruch   ~F6~ Inhalt suchen   ~F7~ Satznummer suchen"_oem;

// Writes the status line. With `full` the whole line is rebuilt: the title,
// record number, field with its positions, range, table or address column,
// type and mode word; the result is then the column just after the title.
// Without it only the number (columns 5 to 8) is refreshed.
// Where record `recordNumber` stands among the records, for the information
// row: "Satz 12 von 200", "Neuer Satz 201 (200 gespeichert)".
std::string RecordPlaceText(int64_t recordNumber);
int ShowStatus(std::string_view title, int number, int64_t recordNumber, int field, bool full);
void ShowLegend(std::string_view legend);
// The legend of the current mode and activity.
const std::string& LegendFor();

// One switch of the legend line: key label and description at a column, in
// the on colours (orange on black) or the off colours (red on silver).
void DrawSwitchItem(int column, std::string_view label, std::string_view description, bool on);
// The four conversion-mode switches, the program-key switch, the two search
// switches and the three range switches in their current states.
void DrawConversionSwitches();
void DrawProgramKeySwitch();
void DrawSearchSwitches();
void DrawRangeSwitches();
// Dark grey on silver.
void SetStatusColors();

// The program-key buttons show the keys as they are now.
void ShowProgramKeyCaptions();
