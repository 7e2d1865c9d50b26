#include "help/viewer/helprequest.h"

namespace help {

Request parseArguments(const QStringList &arguments)
{
    Request request;
    if (arguments.isEmpty() || arguments.first().isEmpty()) {
        request.problem = QStringLiteral(
            "No help file was named. Start the help viewer with the path of a help file, "
            "optionally followed by the command %1 and a keyword.")
                              .arg(kKeywordCommand);
        return request;
    }
    request.helpFile = arguments.at(0);
    if (arguments.size() == 1) {
        return request;
    }

    const QString commandText = arguments.at(1).trimmed();
    bool isNumber = false;
    const int command = commandText.toInt(&isNumber);
    // Every problem below still leaves a readable file to show, so the user gets the start of
    // the help rather than nothing.
    if (!isNumber) {
        request.problem = QStringLiteral("The help command \"%1\" is not a number. "
                                         "The start of the help file is shown instead.")
                              .arg(arguments.at(1));
        return request;
    }
    if (command != kKeywordCommand) {
        request.problem = QStringLiteral("The help command %1 is not one this viewer knows. "
                                         "The start of the help file is shown instead.")
                              .arg(command);
        return request;
    }
    if (arguments.size() < 3 || arguments.at(2).trimmed().isEmpty()) {
        request.problem = QStringLiteral("The help command %1 needs a keyword, and none was given. "
                                         "The start of the help file is shown instead.")
                              .arg(command);
        return request;
    }
    request.command = Command::ShowKeyword;
    request.keyword = arguments.at(2).trimmed();
    if (arguments.size() > 3) {
        request.problem = QStringLiteral("The help viewer ignored the extra arguments: %1")
                              .arg(arguments.mid(3).join(QLatin1Char(' ')));
    }
    return request;
}

} // namespace help
