// viewer_bare: the smallest Qt Widgets program that shows a maximised window, the floor that
// the viewer's launch is compared with.
#include <QApplication>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.showMaximized();
    return app.exec();
}
