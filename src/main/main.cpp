#include "app/program.h"
#include "platform/qtservices.h"
#include "windows.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString folder = QCoreApplication::applicationDirPath();
    QtServices services(QDir(folder).filePath(QStringLiteral("querndal-help")));
    Program program(services, folder, viewerWindows());
    program.start();
    return app.exec();
}
