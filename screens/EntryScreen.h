// The entry and verify screen: the record loop of the station.
#pragma once
#include <cstdint>

// File position of the record that was current when the screen was last left.
extern int64_t ResumeOffset;
extern bool MismatchBeepArmed;
extern bool RekeyPending;

// Runs the screen for `startMode` (entry or verify). With `oneKey` exactly one
// waiting key is processed (pasting), without the screen's set-up and without
// committing the record at the end.
void EntryScreen(int32_t startMode, bool oneKey, bool showStatus);

// The whole screen drawn anew from the layout and the keyed record, with the
// status and legend lines, and the cursor at record position p.
void RedrawEntryScreen(int p);

void ResetEntryScreen();
