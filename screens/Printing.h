// Printing all records on the printer.
#pragma once

// Lists every record that is not empty on the printer (see PrinterPort): a
// heading, each record in lines of 80 characters, and a form feed at the end.
// Esc ends the listing after the record being sent: its last line then says
// "Ausdruck abgebrochen nach Satz n von m", the form feed still goes out, and
// the screen says the same. Esc once more while the printer has not taken the
// rest gives the listing up; so does a printer that takes nothing for a few
// seconds ("Drucker nicht bereit !!!"). The station never waits on the
// printer without looking at its keys and window.
// Does nothing without fields or without records. The record buffers and the
// record file's position belong to the listing meanwhile; the operator's
// record is kept aside, so that Stop stores it and nothing else.
void PrintData();
