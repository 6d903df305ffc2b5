// The text console in one include: screen, keyboard and key tables.
#pragma once
#include "console/ConsoleKeyboard.h"
#include "console/ConsoleScreen.h"
#include "console/KeyTables.h"
