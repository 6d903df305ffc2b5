// The session: which mode the station is in and which activity of that mode
// runs, the loop that starts them, and the start-up and shutdown around it.
#pragma once
#include <cstdint>

enum ModeValue : int32_t {
    ModeEnd = 0,         // leave the program
    ModeDefinition = 1,  // lay out the record
    ModeEntry = 2,       // key records
    ModeVerify = 3,      // key records a second time against the stored ones
};

enum SubModeValue : int32_t {
    SubMain = 0,  // the mode's main screen
    // Definition mode:
    SubReadDefinition = 1,
    SubWriteDefinition = 2,
    // Entry and verify mode:
    SubLoadData = 1,
    SubSaveData = 2,
    SubPrintData = 3,
};

extern int32_t Mode;
extern int32_t SubMode;

void SessionInit();
void MainLoop();
void SessionShutdown();
// Start-up, main loop and shutdown in a row: what the Start button runs.
void RunSession();

// What the screen holds is saved before the station ends from the middle of a
// screen (Stop, closing the window): the layout when one of the two layout
// editors is open or an earlier write of it failed, the record on the screen
// in entry and verify mode. A failure is shown; the result says whether the
// station may end: true when everything was saved, and also on the second
// attempt after a failure (the operator insists).
bool SaveBeforeEnd();
// Ends the station after data it cannot work with: saves what the screen
// holds, closes the record file and ends the process.
[[noreturn]] void EndStationAfterFatalError();
