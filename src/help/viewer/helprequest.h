#pragma once

#include "core/helpcommand.h"

#include <QString>
#include <QStringList>

namespace help {

// The command the viewer is asked to carry out on the help file.
enum class Command {
    ShowStart, // no command given, or one the viewer cannot carry out: the file from its start
    ShowKeyword, // the topic that declares the keyword
};

// What the command line asks for. `problem` is a message for the user about the arguments;
// when it is not empty the viewer still shows what it can (the file from its start).
struct Request
{
    QString helpFile;
    Command command = Command::ShowStart;
    QString keyword;
    QString problem;
};

// Reads `<help file> [<command> [<keyword>]]` (the program's name left out).
Request parseArguments(const QStringList &arguments);

} // namespace help
