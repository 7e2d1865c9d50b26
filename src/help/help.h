#pragma once

#include "core/helpcommand.h"

class Program;
class QString;

namespace help {

// Opens the program's help file at its contents; returns at once.
void showHelpContents(Program &program);
// Shows the About box; one that is already open is only brought up again.
void showAboutBox(Program &program);

// The list of hot keys a click on the main window's question mark shows.
QString hotKeyList();

} // namespace help
