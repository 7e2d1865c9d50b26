#include "app/program.h"
#include "browser/mainwindow.h"
#include "platform/programicon.h"
#include "platform/qtservices.h"
#include "windows.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Every window, box and the About box carry the program's own icon.
    QApplication::setWindowIcon(programIcon());
    const QString folder = QCoreApplication::applicationDirPath();
    QtServices services(QDir(folder).filePath(QStringLiteral("querndal-help")));
    Program program(services, folder, viewerWindows());
    program.start();
    // A folder or a picture given on the command line (a file manager's "Open with") opens as if
    // chosen in the lists; anything else is said on standard error and the viewer starts as usual.
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (!arguments.isEmpty() && program.isMainWindowLoaded()) {
        auto *main = static_cast<MainWindow *>(program.mainWindow());
        const QString problem = main->openPath(arguments.first());
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "querndal: %s\n", qPrintable(problem));
        }
    }
    return app.exec();
}
