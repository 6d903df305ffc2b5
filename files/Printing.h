// Printing all records on the printer.
#pragma once

// Lists every record that is not empty on the printer (see PrinterPort): a
// heading, each record in lines of 80 characters, and a form feed at the end.
// Esc between records ends the listing early; the form feed still goes out.
// Does nothing without fields or without records. The record buffers and the
// record file's position belong to the listing meanwhile; the operator's
// record is kept aside, so that Stop stores it and nothing else.
void PrintData();
