// viewer_bare: the smallest Qt Widgets program that shows a maximised window, the floor that
// the viewer's launch is compared with; and two floors above it, to tell what any window costs
// from what the viewer's own code adds:
//   viewer_bare            a window with nothing on it
//   viewer_bare --text     the same window with one word of text (fonts found, loaded, drawn)
//   viewer_bare --controls the main window's controls made from stock widgets, with their texts
//                          and the style's icons, and nothing behind them
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QStyle>

#include <cstring>

namespace {

// The viewer's main window at its design size in pixels (15 twips a pixel): the menu bar, the
// hot-key picture, the drive, folder and file lists, twenty picture boxes with their captions and
// the path label. Items as on a first start: the program's folder listed.
void addControls(QMainWindow &window)
{
    for (const char *caption :
        { "&Setup", "&Loop", "&Reset", "&Clear", "&Print", "Re&name", "&Delete" }) {
        window.menuBar()->addAction(QString::fromLatin1(caption));
    }
    QMenu *help = window.menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("Contents"));
    help->addSeparator();
    help->addAction(QStringLiteral("About"));
    window.menuBar()->addAction(QStringLiteral("&Exit"));

    auto *inner = new QWidget(&window);
    inner->setAutoFillBackground(true);
    window.setCentralWidget(inner);
    QStyle *style = inner->style();
    auto *hotKeys = new QLabel(inner);
    hotKeys->setGeometry(8, 8, 32, 32);
    hotKeys->setPixmap(style->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    auto *drives = new QComboBox(inner);
    drives->setGeometry(8, 56, 133, 21);
    drives->addItem(style->standardIcon(QStyle::SP_DriveHDIcon), QStringLiteral("/"));
    auto *folders = new QListWidget(inner);
    folders->setGeometry(8, 80, 133, 77);
    folders->addItem(
        new QListWidgetItem(style->standardIcon(QStyle::SP_DirOpenIcon), QStringLiteral("/")));
    folders->addItem(
        new QListWidgetItem(style->standardIcon(QStyle::SP_DirOpenIcon), QStringLiteral("  usr")));
    folders->addItem(new QListWidgetItem(
        style->standardIcon(QStyle::SP_DirClosedIcon), QStringLiteral("    bin")));
    auto *files = new QListWidget(inner);
    files->setGeometry(8, 160, 133, 262);
    files->addItem(QStringLiteral("querndal"));
    for (int i = 0; i < 20; ++i) {
        auto *picture = new QLabel(inner);
        picture->setGeometry(148 + (i % 5) * 96, 8 + (i / 5) * 96, 74, 74);
        auto *caption = new QLineEdit(inner);
        caption->setGeometry(148 + (i % 5) * 96, 84 + (i / 5) * 96, 74, 20);
    }
    auto *path = new QLabel(QStringLiteral("/usr/bin/querndal"), inner);
    path->setAutoFillBackground(true);
    path->setGeometry(148, 400, 481, 21);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const char *mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "--controls") == 0) {
        QMainWindow window;
        window.setWindowTitle(QStringLiteral("stock controls"));
        addControls(window);
        window.showMaximized();
        return app.exec();
    }
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    if (std::strcmp(mode, "--text") == 0) {
        auto *word = new QLabel(QStringLiteral("Setup"), &window);
        word->move(8, 8);
    }
    window.showMaximized();
    return app.exec();
}
