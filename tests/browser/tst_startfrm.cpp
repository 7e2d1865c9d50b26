#include "browser/mainwindow.h"
#include "core/palette.h"
#include "platform/controls.h"
#include "programfixture.h"
#include "setup/setupdialog.h"
#include "slideshow/slideshowwindow.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QSet>
#include <QTest>

// The main window's ways out, its key preview, its lists and the caption highlight.
class tst_StartForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void exitSavesListedFolder();
    void closeSavesNothing();
    void f4EndsWithoutSaving_data();
    void f4EndsWithoutSaving();
    void keyPreviewSeesKeyOnce();
    void menuBar();
    void folderChangeResetsPosition();
    void vanishedFolderKeepsFiles();
    void driveNotReady();
    void highlight_data();
    void highlight();
    void resizeKeepsProportions();
    void minimisedDoesNotFail();
    void openingVanishedFolder();
    void pathLabelReadable_data();
    void pathLabelReadable();
    void f2KeepsFolderSavedLater();
    void commandLinePath_data();
    void commandLinePath();
    void commandLineShowsAndSays_data();
    void commandLineShowsAndSays();
    void accessibleNames_data();
    void accessibleNames();
};

namespace {
QColor yellow()
{
    return palette::color(palette::kHighlight);
}
QColor white()
{
    return palette::color(palette::kPlain);
}
} // namespace

void tst_StartForm::exitSavesListedFolder()
{
    ProgramFixture f;
    const QString art = f.folder.makeFolder("ART");
    f.start();
    Program &p = *f.program;
    Dir1(startForm(p))->setPath(art);
    p.settingsModel().setSlideInterval(2.5f);
    p.settingsModel().setBgColorIndex(12);
    p.settingsModel().setLoopMode(0);
    p.settingsModel().setHideFileName(1);
    menuItem(startForm(p), "exit")->trigger();
    QCOMPARE(f.ini(), "2.5,12,0,\"" + art.toUtf8() + "\",1\r\n");
    QCOMPARE(f.services.endCalls, 1);
}

void tst_StartForm::closeSavesNothing()
{
    ProgramFixture f;
    f.start();
    Program &p = *f.program;
    const QByteArray before = f.ini();
    p.settingsModel().setBgColorIndex(9);
    Dir1(startForm(p))->setPath(QDir::tempPath());
    QVERIFY(startForm(p)->close());
    QCOMPARE(f.ini(), before);
    QVERIFY(!p.isMainWindowLoaded());
    QVERIFY(!p.isSlideShowLoaded());
    QVERIFY(!p.isSetupDialogLoaded());
    QCOMPARE(f.services.endCalls, 0);
}

void tst_StartForm::f4EndsWithoutSaving_data()
{
    QTest::addColumn<int>("modifiers");
    QTest::newRow("plain") << int(Qt::NoModifier);
    QTest::newRow("shift") << int(Qt::ShiftModifier);
    QTest::newRow("ctrl alt") << int(Qt::ControlModifier | Qt::AltModifier);
}

void tst_StartForm::f4EndsWithoutSaving()
{
    QFETCH(int, modifiers);
    ProgramFixture f;
    f.start();
    Program &p = *f.program;
    const QByteArray before = f.ini();
    p.settingsModel().setSlideInterval(9);
    MainWindow *main = startForm(p);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    File1(main)->setFocus();
    QTest::keyClick(File1(main), Qt::Key_F4, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(f.services.endCalls, 1);
    QCOMPARE(f.ini(), before);
}

// A key the focused control does not take travels to its parents; the window still sees it once.
void tst_StartForm::keyPreviewSeesKeyOnce()
{
    ProgramFixture f;
    f.start();
    MainWindow *main = startForm(*f.program);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    filename(main, 3)->setFocus();
    QTest::keyClick(filename(main, 3), Qt::Key_F4);
    QCOMPARE(f.services.endCalls, 1);
    // With no control focused the window itself receives the key, and sees it once.
    filename(main, 3)->clearFocus();
    QVERIFY(!QApplication::focusWidget());
    QTest::keyClick(main, Qt::Key_F4);
    QCOMPARE(f.services.endCalls, 2);
    QTest::keyClick(File1(main), Qt::Key_F2); // not a key of this window
    QCOMPARE(f.services.endCalls, 2);
}

void tst_StartForm::menuBar()
{
    ProgramFixture f;
    f.start();
    MainWindow *main = startForm(*f.program);
    QStringList captions;
    QSet<QKeySequence> mnemonics;
    for (QAction *a : main->menuBar()->actions()) {
        captions << a->text();
        // Two items with one mnemonic take turns at each press: Alt+L would open the show
        // only every other time.
        const QKeySequence mnemonic = QKeySequence::mnemonic(a->text());
        QVERIFY2(!mnemonics.contains(mnemonic), qPrintable(a->text()));
        mnemonics.insert(mnemonic);
    }
    QCOMPARE(captions,
        (QStringList { "&Setup", "&Loop", "&Reset", "&Clear", "&Print", "Re&name", "&Delete",
            "&Help", "&Exit" }));
    // "&Auto" and "Auto &Loop" exist only to be reached through "&Loop".
    QVERIFY(!menuItem(main, "auto")->isEnabled() && !menuItem(main, "auto")->isVisible());
    QVERIFY(!menuItem(main, "autoloop")->isEnabled() && !menuItem(main, "autoloop")->isVisible());
    QCOMPARE(menuItem(main, "contents")->text(), QString("Contents"));
    QCOMPARE(menuItem(main, "about")->text(), QString("About"));
}

void tst_StartForm::folderChangeResetsPosition()
{
    ProgramFixture f;
    f.folder.write("sub/a.gif", "x");
    f.start();
    Program &p = *f.program;
    p.show().setListPosition(4);
    QVERIFY(Dir1(startForm(p))->setPath(f.folder.filePath("sub")));
    QCOMPARE(qint16(p.show().listPosition()), qint16(0));
    QCOMPARE(File1(startForm(p))->list(0), QString("a.gif"));
}

// The folder vanishes between the folder list and the file list: the files stay listed and the
// position still goes back to 0.
void tst_StartForm::vanishedFolderKeepsFiles()
{
    ProgramFixture f;
    f.folder.write("a.gif", "x");
    f.folder.makeFolder("gone");
    f.start();
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    QVERIFY(Dir1(main)->setPath(f.folder.filePath("gone")));
    QVERIFY(Dir1(main)->setPath(f.folder.path()));
    QDir(f.folder.filePath("gone")).removeRecursively();
    // Point the folder list at the vanished folder behind its back, as a race would.
    p.show().setListPosition(3);
    QVERIFY(!File1(main)->setPath(f.folder.filePath("gone")));
    main->Dir1_Change();
    QCOMPARE(File1(main)->listCount(), 1);
    QCOMPARE(qint16(p.show().listPosition()), qint16(0));
}

void tst_StartForm::driveNotReady()
{
    ProgramFixture f;
    f.folder.write("a.gif", "x");
    f.services.roots = { "/", "/no-such-volume" };
    f.start();
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    p.show().setListPosition(2);
    Drive1(main)->setCurrentIndex(1);
    emit Drive1(main)->activated(1);
    QCOMPARE(Drive1(main)->drive(), QString("/no-such-volume"));
    QCOMPARE(Dir1(main)->path(), f.folder.path());
    QCOMPARE(File1(main)->listCount(), 1);
    QCOMPARE(qint16(p.show().listPosition()), qint16(2)); // no folder change took place
    QVERIFY(f.services.messages.isEmpty());
}

void tst_StartForm::highlight_data()
{
    QTest::addColumn<int>("caseRule");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("captions"); // captions 0..3, the rest empty
    QTest::addColumn<QString>("expected"); // Y yellow, W white, per caption 0..4 (4 is empty)

    QTest::newRow("same file twice")
        << int(Qt::CaseSensitive) << "/pics/cat.bmp"
        << QStringList { "/pics/cat.bmp", "/pics/dog.bmp", "/pics/cat.bmp", "" } << "YWYWW";
    QTest::newRow("case differs, exact file system")
        << int(Qt::CaseSensitive) << "/PICS/CAT.BMP"
        << QStringList { "/pics/cat.bmp", "/PICS/CAT.BMP", "", "" } << "WYWWW";
    QTest::newRow("case differs, case-blind file system")
        << int(Qt::CaseInsensitive) << "C:\\PICS\\CAT.BMP"
        << QStringList { "c:\\pics\\cat.bmp", "c:\\pics\\cat.bmp", "x", "" } << "YYWWW";
    // An empty caption equal to an empty label keeps whatever colour it had (yellow here).
    QTest::newRow("empty label") << int(Qt::CaseSensitive) << ""
                                 << QStringList { "/a.gif", "", "", "" } << "WYYYY";
}

void tst_StartForm::highlight()
{
    QFETCH(int, caseRule);
    QFETCH(QString, label);
    QFETCH(QStringList, captions);
    QFETCH(QString, expected);
    ProgramFixture f;
    f.services.caseRule = Qt::CaseSensitivity(caseRule);
    f.start();
    MainWindow *main = startForm(*f.program);
    for (int i = 0; i < 20; ++i) {
        putInSlot(*f.program, i, i < captions.size() ? captions[i] : QString());
        filename(main, i)->setBackground(yellow());
    }
    f.program->setCurrentFile(label);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    QTest::mouseClick(File1(main)->viewport(), Qt::LeftButton);
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(filename(main, i)->background(), expected[i] == 'Y' ? yellow() : white());
    }
}

void tst_StartForm::resizeKeepsProportions()
{
    ProgramFixture f;
    f.start();
    MainWindow *main = startForm(*f.program);
    main->showNormal();
    main->resize(main->designInnerPixels() * 2 + QSize(0, main->menuBar()->height()));
    QTRY_COMPARE(main->innerSize(), QSizeF(18960, 13020));
    QCOMPARE(main->twipRect(open(main, 6)), QRectF(7320, 3120, 2910, 2310));
    QCOMPARE(main->twipRect(filename(main, 6)).top(), 5400.0);
    QCOMPARE(main->twipRect(Drive1(main)), QRectF(240, 1680, 3990, 315));
    // Picture boxes stay where they are.
    QCOMPARE(main->twipRect(Picture1(main)), QRectF(120, 120, 480, 480));
}

void tst_StartForm::minimisedDoesNotFail()
{
    ProgramFixture f;
    f.start();
    MainWindow *main = startForm(*f.program);
    const QRectF before = main->twipRect(open(main, 0));
    main->centralWidget()->resize(0, 0);
    main->Form_Resize();
    QCOMPARE(main->twipRect(open(main, 0)), before);
    main->showMinimized();
    QCoreApplication::processEvents();
    QVERIFY(f.program->isMainWindowLoaded());
}

// A double-click on a folder that has gone: the lists stay together on the folder they show,
// and a show starts again from the first file.
void tst_StartForm::openingVanishedFolder()
{
    ProgramFixture f;
    f.folder.write("a.gif", "x");
    const QString gone = f.folder.makeFolder("gone");
    f.start();
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    QVERIFY(Dir1(main)->setPath(f.folder.path()));
    p.show().setListPosition(3);
    QDir(gone).removeRecursively();
    DirList *folders = Dir1(main);
    const int row = folders->count() - 1; // the only subfolder, last
    QCOMPARE(folders->item(row)->text().trimmed(), QString("gone"));
    emit folders->itemActivated(folders->item(row));
    QCOMPARE(qint16(p.show().listPosition()), qint16(0));
    QCOMPARE(File1(main)->path(), folders->path());
    QCOMPARE(File1(main)->list(0), QString("a.gif"));
}

void tst_StartForm::pathLabelReadable_data()
{
    QTest::addColumn<int>("background");
    for (int colour : { 0, 1, 3, 15 }) {
        QTest::addRow("colour %d", colour) << colour;
    }
}

// The path label is drawn on the control colour, so black text stays readable on every
// background the window takes.
void tst_StartForm::pathLabelReadable()
{
    QFETCH(int, background);
    ProgramFixture f;
    f.start();
    MainWindow *main = startForm(*f.program);
    f.program->settingsModel().setBgColorIndex(background);
    f.program->settingsModel().wearBackgroundColor();
    f.program->setCurrentFile("/pics/cat.bmp");
    const QImage shot = Label1(main)->grab().toImage();
    const QColor behind = shot.pixelColor(shot.width() - 2, shot.height() / 2);
    QCOMPARE(behind, QApplication::palette().color(QPalette::Button));
    QVERIFY(qAbs(qGray(behind.rgb()) - qGray(QColor(Qt::black).rgb())) > 100);
}

// F2 in the show writes the folder of the last settings written, not one read earlier.
void tst_StartForm::f2KeepsFolderSavedLater()
{
    ProgramFixture f;
    const QString first = f.folder.makeFolder("first");
    const QString later = f.folder.makeFolder("later");
    f.folder.write("later/a.gif", "x");
    f.writeIni("3,3,1,\"" + first.toUtf8() + "\",0\r\n");
    f.start();
    Program &p = *f.program;
    QVERIFY(Dir1(startForm(p))->setPath(later));
    menuItem(startForm(p), "clear")->trigger();
    menuItem(startForm(p), "loopits")->trigger();
    QTest::keyClick(form2(p), Qt::Key_F2);
    QCOMPARE(f.ini(), "3,4,1,\"" + later.toUtf8() + "\",0\r\n");
}

void tst_StartForm::commandLinePath_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("slot0");
    QTest::newRow("folder") << "pics" << true << "";
    QTest::newRow("picture") << "pics/b.bmp" << true << "pics/b.bmp";
    QTest::newRow("not a picture") << "pics/notes.txt" << false << "";
    QTest::newRow("nothing there") << "pics/none.bmp" << false << "";
}

// A path on the command line opens as if chosen by hand: a folder in the lists, a picture
// selected into the next slot.
void tst_StartForm::commandLinePath()
{
    QFETCH(QString, given);
    QFETCH(bool, accepted);
    QFETCH(QString, slot0);
    ProgramFixture f;
    f.folder.writePicture("pics/a.bmp", 10, 10);
    f.folder.writePicture("pics/b.bmp", 10, 10);
    f.folder.write("pics/notes.txt", "x");
    f.start();
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    QCOMPARE(main->openPath(f.folder.filePath(given)).isEmpty(), accepted);
    if (accepted) {
        QCOMPARE(File1(main)->path(), f.folder.filePath("pics"));
    }
    QCOMPARE(p.slotRing().file(0), slot0.isEmpty() ? QString() : f.folder.filePath(slot0));
    QCOMPARE(p.currentFile(), p.slotRing().file(0));
}

void tst_StartForm::commandLineShowsAndSays_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("said");
    QTest::newRow("folder") << "pics" << false << "";
    QTest::newRow("picture") << "pics/b.bmp" << true << "";
    QTest::newRow("not a picture")
        << "pics/notes.txt" << false
        << "%1/pics/notes.txt: not a picture the viewer shows (BMP, GIF, JPEG, WMF)";
    QTest::newRow("nothing there")
        << "pics/none.bmp" << false << "%1/pics/none.bmp: no such file or folder";
}

// "Open with": a picture is shown as a click on its slot shows it; a path refused is said in a
// box as well, where a user started from a file manager sees it.
void tst_StartForm::commandLineShowsAndSays()
{
    QFETCH(QString, given);
    QFETCH(bool, shown);
    QFETCH(QString, said);
    ProgramFixture f;
    f.folder.writePicture("pics/a.bmp", 10, 10);
    f.folder.writePicture("pics/b.bmp", 30, 20);
    f.folder.write("pics/notes.txt", "x");
    f.start();
    Program &p = *f.program;
    const QString problem = startForm(p)->openGivenPath(f.folder.filePath(given));
    QCOMPARE(problem, said.arg(f.folder.path()));
    if (said.isEmpty()) {
        QVERIFY(f.services.messages.isEmpty());
    } else {
        QCOMPARE(f.services.messages.size(), 1);
        QCOMPARE(f.services.messages[0].text, problem);
        QCOMPARE(f.services.messages[0].title, Program::appTitle);
        QCOMPARE(f.services.messages[0].buttons, Services::Buttons::Ok);
    }
    SlideShowWindow *show = form2(p);
    QCOMPARE(show->isVisible(), shown);
    if (shown) {
        QCOMPARE(show->shownFile(), f.folder.filePath(given));
        QVERIFY(!Image1(show)->picture().image.isNull());
        QCOMPARE(Image1(show)->size(), QSize(30, 20));
        QVERIFY(!startForm(p)->isVisible());
    }
}

void tst_StartForm::accessibleNames_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    const auto row
        = [](const char *tag, const char *window, const char *control, const char *name) {
              QTest::newRow(tag) << QString(window) << QString(control) << QString(name);
          };
    // On Linux Qt names a drop-down by the entry it shows (a label would be its name); its role
    // is said by its description.
    row("drives", "main", "Drive1", "description: The drive whose folders are listed");
    row("folders", "main", "Dir1", "Folders");
    row("files", "main", "File1", "Pictures");
    row("hot keys", "main", "Picture1", "Hot keys");
    row("filled slot", "main", "open2", "Thumbnail 3: IMG_0042.jpg");
    row("empty slot", "main", "open3", "Thumbnail 4");
    row("last slot", "main", "open19", "Thumbnail 20");
    row("caption", "main", "filename2", "File name 3");
    row("path label", "main", "Label1", "Current file: %1/pics/IMG_0042.jpg");
    row("interval", "setup", "Text1", "Timer interval in seconds");
    row("swatch", "setup", "Text2", "Background Color");
    row("save", "setup", "Command1", "Save");
    row("single", "setup", "Option1", "Single");
    row("hide name", "setup", "Check1", "Hide file name on full screen");
    row("picture on show", "show", "Image1", "Picture on show");
}

// What assistive technology reads for each control, with a third file in the third slot.
void tst_StartForm::accessibleNames()
{
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, name);
    ProgramFixture f;
    f.folder.writePicture("pics/a.bmp", 10, 10);
    f.folder.writePicture("pics/b.bmp", 10, 10);
    f.folder.writePicture("pics/IMG_0042.jpg", 10, 10, "JPG");
    f.writeIni("3,3,1,\"" + f.folder.filePath("pics").toUtf8() + "\",0\r\n");
    f.start();
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    for (int row = 0; row < 3; ++row) {
        File1(main)->setCurrentRow(row);
        main->File1_KeyUp(39, 0);
    }
    QWidget *top = window == "main" ? static_cast<QWidget *>(main)
        : window == "setup"         ? static_cast<QWidget *>(form4(p))
                                    : static_cast<QWidget *>(form2(p));
    QAccessibleInterface *face
        = QAccessible::queryAccessibleInterface(::control<QWidget>(top, control));
    QVERIFY(face);
    const QString description = QStringLiteral("description: ");
    if (name.startsWith(description)) {
        QCOMPARE(face->text(QAccessible::Description), name.mid(description.size()));
    } else {
        QCOMPARE(face->text(QAccessible::Name), name.arg(f.folder.path()));
    }
}

QTEST_MAIN(tst_StartForm)
#include "tst_startfrm.moc"
