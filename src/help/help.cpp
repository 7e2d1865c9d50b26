#include "help.h"

#include "AboutBox.h"
#include "app/program.h"
#include "platform/services.h"

namespace help {

void showHelpContents(Program &program)
{
    program.services().showHelp(program.helpFilePath, kKeywordCommand,
                                QLatin1String(kContentsKeyword));
}

void showAboutBox(Program &program)
{
    AboutBox *box = program.aboutBox();
    box->show();
    box->raise();
    box->activateWindow();
}

} // namespace help
