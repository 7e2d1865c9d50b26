#pragma once

#include "help/helpcommand.h"

class Program;

namespace help {

// Opens the program's help file at its contents; returns at once.
void showHelpContents(Program &program);
// Shows the About box; one that is already open is only brought up again.
void showAboutBox(Program &program);

} // namespace help
