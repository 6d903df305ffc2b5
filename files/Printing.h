// Printing all records on the printer.
#pragma once

void PrintData();
