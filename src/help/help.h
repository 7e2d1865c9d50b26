#pragma once

class Program;
class QString;

namespace help {

// The help viewer's command that shows the topic for a keyword.
constexpr int kHelpKey = 0x101;

// Opens the program's help file at its contents; returns at once.
void showHelpContents(Program &program);
// Shows the About box; one that is already open is only brought up again.
void showAboutBox(Program &program);

// The list of hot keys a click on the main window's question mark shows.
QString hotKeyList();

} // namespace help
