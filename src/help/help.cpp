#include "help.h"

#include "app/program.h"
#include "platform/services.h"

#include <QWidget>

namespace help {

void showHelpContents(Program &program)
{
    program.services().showHelp(
        program.helpFilePath(), kKeywordCommand, QLatin1String(kContentsKeyword));
}

void showAboutBox(Program &program)
{
    QWidget *box = program.aboutBox()->widget();
    box->show();
    box->raise();
    box->activateWindow();
}

QString hotKeyList()
{
    const QStringList lines = {
        QStringLiteral("        ~~* Hot Key Function *~~"),
        QString(),
        QStringLiteral("   Loop Mode"),
        QStringLiteral("      Pause Image <Down Arrow>"),
        QStringLiteral("      Previous Image <Left Arrow>"),
        QStringLiteral("      Next Image <Right Arrow>"),
        QStringLiteral("      Resume Loop <Up Arrow>"),
        QString(),
        QStringLiteral("   Loop/Full Screen Mode"),
        QStringLiteral("      Enlarge Image <Page Up>"),
        QStringLiteral("      Reduce Image <Page Down>"),
        QStringLiteral("      Normal Size <Home>"),
        QString(),
        QStringLiteral("   Loop/Full Screen/Multiple Screen Mode"),
        QStringLiteral("      Rename File <F7>"),
        QStringLiteral("      Delete File <Del>"),
        QStringLiteral("      Background Color<F2>"),
        QStringLiteral("      Help <F1>"),
    };
    return lines.join(QLatin1Char('\n'));
}

} // namespace help
