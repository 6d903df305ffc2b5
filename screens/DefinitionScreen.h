// Definition mode: the operator lays out the record on the screen. Fields are
// created by typing their type letter, cut and joined with the cursor, grown
// and shrunk, moved, given ranges, tables or address columns, and surrounded
// with background text. Every change goes to the layout journal at once.
#pragma once
#include <string>

extern bool LayoutTextEditorActive;
extern bool FieldPositionerActive;

// The screen of definition mode; returns to the main loop after every key that
// needs a full redraw or changes the mode or activity.
void DefinitionScreen();
// Edits the background text; with `singleKey` exactly one waiting key (pasting).
void LayoutTextEditor(bool singleKey);
void FieldPositioner();
bool MoveField(int delta, int n);
// The list of field types in a message box.
void TypeOverview();
std::string TypeOverviewText();  // code page 850, lines ending in CR LF

// Drawing on the definition screen.
void DrawLayoutRows();
void DrawField(int n);
void EraseField(int n);

void ResetDefinitionScreen();
