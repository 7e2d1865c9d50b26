#include "help/viewer/helprequest.h"
#include "help/viewer/helpwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("querndal-help"));
    HelpWindow window(help::parseArguments(QApplication::arguments().mid(1)));
    window.show();
    return QApplication::exec();
}
