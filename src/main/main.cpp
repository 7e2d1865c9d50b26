#include "app/program.h"
#include "browser/mainwindow.h"
#include "platform/programicon.h"
#include "platform/qtservices.h"
#include "system/names.h"
#include "windows.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QImageReader>

#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <thread>

int main(int argc, char *argv[])
{
    // Fontconfig's configuration and caches are read once, before the first text is drawn; a
    // second core reads them while the application starts. Nothing of Qt is touched there.
    std::thread fonts([] { FcInit(); });
    QApplication app(argc, argv);
    // Likewise the font list and the image format plugins (the style's icons are read through
    // them), which the first paint needs; both are safe from any thread.
    std::thread prepare([] {
        QFontDatabase::families();
        QImageReader(QStringLiteral(":/icons/querndal-16.png")).format();
    });
    const QString folder = QCoreApplication::applicationDirPath();
    QtServices services(QDir(folder).filePath(QStringLiteral("querndal-help")));
    Program program(services, folder, viewerWindows());
    program.start();
    fonts.join();
    prepare.join();
    // Every window, box and the About box carry the program's own icon. Set once the main window
    // has been painted: reading the icon files is no part of that first paint.
    QApplication::setWindowIcon(programIcon());
    // A folder or a picture given on the command line (a file manager's "Open with") opens as if
    // chosen in the lists, a picture shown as a click on its slot shows it; anything else is said
    // in a message box and on standard error, and the viewer starts as usual. The argument is
    // taken as the bytes it is: a name that is no text still names its file.
    if (argc > 1 && program.isMainWindowLoaded()) {
        auto *main = static_cast<MainWindow *>(program.mainWindow());
        const QString problem = main->openGivenPath(systemfiles::decodeName(argv[1]));
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "querndal: %s\n", qPrintable(problem));
        }
    }
    return app.exec();
}
