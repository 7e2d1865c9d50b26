#include "browser/mainwindow.h"
#include "help/aboutbox.h"
#include "platform/controls.h"
#include "programfixture.h"
#include "slideshow/slideshowwindow.h"
#include "system/names.h"

#include <QAction>
#include <QDateTime>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cstdio>

// Renaming and deleting the current file, help and About, from both windows.
class tst_FileOps : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void nothingSelected_data();
    void nothingSelected();
    void renameMenuSendsF7();
    void keyHandledOnceWhenFocusMoves_data();
    void keyHandledOnceWhenFocusMoves();
    void deleteAnsweredNo();
    void deleteClearsEverySlotShowingFile_data();
    void deleteClearsEverySlotShowingFile();
    void deleteFileOfAnotherFolder();
    void deleteThatFails();
    void deleteRefusesFolder();
    void deleteOnlyConfirmedFile_data();
    void deleteOnlyConfirmedFile();
    void deleteNameThatIsNoText_data();
    void deleteNameThatIsNoText();
    void renameIntoAnotherFolder();
    void renameCancelled();
    void renameRefusedWhenNameTaken();
    void deleteDuringRunningShow();
    void deleteOnShowDoesNotSkipNext();
    void renameDuringShow();
    void helpFromEveryEntry();
    void oneAboutBox();
    void aboutLastWindowEnds_data();
    void aboutLastWindowEnds();
    void hotKeyListText();
    void printFailure();

private:
    void start(ProgramFixture &f, const QStringList &names);
    // Gives the file list the keyboard focus in the active main window.
    void focusFileList(MainWindow *main)
    {
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main));
        File1(main)->setFocus();
    }
    // Selects entry `row` of the file list into the next slot.
    void select(MainWindow *main, int row)
    {
        File1(main)->setCurrentRow(row);
        main->File1_KeyUp(39, 0);
    }
};

void tst_FileOps::start(ProgramFixture &f, const QStringList &names)
{
    const QString pics = f.folder.makeFolder("pics");
    for (const QString &name : names) {
        f.folder.writePicture("pics/" + name, 30, 20);
    }
    f.writeIni("3,3,1,\"" + pics.toUtf8() + "\",0\r\n");
    f.start();
}

void tst_FileOps::nothingSelected_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Delete key") << "delete";
    QTest::newRow("Delete key with Ctrl") << "ctrl-delete";
    QTest::newRow("Delete menu") << "menu";
    QTest::newRow("F7") << "f7";
    QTest::newRow("Shift+F7") << "shift-f7";
    QTest::newRow("F7 in the show") << "show-f7";
    QTest::newRow("Delete in the show") << "show-delete";
}

void tst_FileOps::nothingSelected()
{
    QFETCH(QString, how);
    ProgramFixture f;
    start(f, { "a.bmp" });
    MainWindow *main = startForm(*f.program);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    File1(main)->setFocus();
    if (how == "delete") {
        QTest::keyClick(File1(main), Qt::Key_Delete);
    } else if (how == "ctrl-delete") {
        QTest::keyClick(File1(main), Qt::Key_Delete, Qt::ControlModifier);
    } else if (how == "menu") {
        menuItem(main, "deleteit")->trigger();
    } else if (how == "f7") {
        QTest::keyClick(File1(main), Qt::Key_F7);
    } else if (how == "shift-f7") {
        QTest::keyClick(File1(main), Qt::Key_F7, Qt::ShiftModifier);
    } else if (how == "show-f7") {
        QTest::keyClick(form2(*f.program), Qt::Key_F7);
    } else {
        QTest::keyClick(form2(*f.program), Qt::Key_Delete);
    }
    QCOMPARE(f.services.messages.size(), 1);
    QCOMPARE(f.services.messages[0].text, QString("No file is selected!"));
    QCOMPARE(f.services.messages[0].icon, Services::Icon::Exclamation);
    QCOMPARE(f.services.messages[0].buttons, Services::Buttons::Ok);
    QCOMPARE(f.services.messages[0].title, QString("VELDRANE W95 and NT"));
    QVERIFY(f.services.saveAsCalls.isEmpty());
    QVERIFY(f.folder.exists("pics/a.bmp"));
}

void tst_FileOps::renameMenuSendsF7()
{
    ProgramFixture f;
    start(f, {});
    menuItem(startForm(*f.program), "rename")->trigger();
    QCOMPARE(f.services.sentKeys, QList<int> { 118 });
    QVERIFY(f.services.messages.isEmpty()); // the key, not the menu, does the rest
}

void tst_FileOps::keyHandledOnceWhenFocusMoves_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Delete") << int(Qt::Key_Delete);
    QTest::newRow("F7") << int(Qt::Key_F7);
}

// The dialog a key opens takes the focus, and the key is released there; when the dialog closes,
// the same press goes on up the parents of the control it was sent to. It must not run again.
void tst_FileOps::keyHandledOnceWhenFocusMoves()
{
    QFETCH(int, key);
    ProgramFixture f;
    start(f, { "a.bmp" });
    MainWindow *main = startForm(*f.program);
    select(main, 0);
    focusFileList(main);
    f.services.answers.enqueue(Services::Answer::No);
    f.services.whileModal = [&]() {
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(File1(main), &release);
        File1(main)->clearFocus();
    };
    QTest::keyClick(File1(main), Qt::Key(key));
    QCOMPARE(f.services.messages.size() + f.services.saveAsCalls.size(), 1);
    QVERIFY(f.folder.exists("pics/a.bmp"));
}

void tst_FileOps::deleteAnsweredNo()
{
    ProgramFixture f;
    start(f, { "a.bmp", "b.bmp" });
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    select(main, 0);
    f.services.answers.enqueue(Services::Answer::No);
    menuItem(main, "deleteit")->trigger();
    const QString path = f.folder.filePath("pics/a.bmp");
    QCOMPARE(f.services.messages.size(), 1);
    QCOMPARE(f.services.messages[0].text,
        "Do you really want to delete this file, " + path + ", permanently?");
    QCOMPARE(f.services.messages[0].buttons, Services::Buttons::YesNo);
    QCOMPARE(f.services.messages[0].icon, Services::Icon::Question);
    QCOMPARE(f.services.messages[0].title, QString("VELDRANE W95 and NT"));
    QVERIFY(f.folder.exists("pics/a.bmp"));
    QCOMPARE(File1(main)->listCount(), 2);
    QCOMPARE(p.slotRing().file(0), path);
    QCOMPARE(Label1(main)->text(), path);
}

void tst_FileOps::deleteClearsEverySlotShowingFile_data()
{
    QTest::addColumn<int>("caseRule");
    QTest::addColumn<bool>("otherCaseCleared");
    QTest::newRow("exact file system") << int(Qt::CaseSensitive) << false;
    QTest::newRow("case-blind file system") << int(Qt::CaseInsensitive) << true;
}

void tst_FileOps::deleteClearsEverySlotShowingFile()
{
    QFETCH(int, caseRule);
    QFETCH(bool, otherCaseCleared);
    ProgramFixture f;
    f.services.answers.enqueue(Services::Answer::Yes); // the user confirms
    f.services.caseRule = Qt::CaseSensitivity(caseRule);
    start(f, { "a.bmp", "b.bmp" });
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    for (int row : { 0, 1, 0, 0, 1 }) {
        select(main, row);
    }
    main->waitForThumbnails();
    const QString a = f.folder.filePath("pics/a.bmp");
    putInSlot(p, 5, a.toUpper()); // the same file under other letter case
    const QRectF geometry = main->twipRect(open(main, 2));
    p.setCurrentFile(a);
    focusFileList(main);
    QTest::keyClick(File1(main), Qt::Key_Delete);
    QVERIFY(!f.folder.exists("pics/a.bmp"));
    for (int i : { 0, 2, 3 }) {
        QVERIFY(open(main, i)->picture().isEmpty());
        QVERIFY(filename(main, i)->text().isEmpty());
        QVERIFY(p.slotRing().file(std::size_t(i)).isEmpty());
    }
    QCOMPARE(main->twipRect(open(main, 2)), geometry);
    QCOMPARE(filename(main, 5)->text().isEmpty(), otherCaseCleared);
    QVERIFY(!open(main, 1)->picture().image.isNull());
    QVERIFY(!open(main, 4)->picture().image.isNull());
    QCOMPARE(File1(main)->listCount(), 1);
    QVERIFY(Label1(main)->text().isEmpty());
    QVERIFY(Label3(form2(p))->text().isEmpty());
    QCOMPARE(qint16(p.slotRing().nextSlot()), qint16(5));
}

void tst_FileOps::deleteFileOfAnotherFolder()
{
    ProgramFixture f;
    f.services.answers.enqueue(Services::Answer::Yes); // the user confirms
    start(f, { "a.bmp" });
    f.folder.writePicture("other/x.bmp", 10, 10);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    select(main, 0);
    const QString a = f.folder.filePath("pics/a.bmp");
    Dir1(main)->setPath(f.folder.filePath("other"));
    File1(main)->setPath(f.folder.filePath("pics")); // the file list lags behind the folder list
    p.setCurrentFile(a);
    menuItem(main, "deleteit")->trigger();
    QVERIFY(!QFile::exists(a));
    QCOMPARE(File1(main)->path(), f.folder.filePath("other"));
    QCOMPARE(File1(main)->list(0), QString("x.bmp"));
    QVERIFY(p.slotRing().file(0).isEmpty());
}

void tst_FileOps::deleteThatFails()
{
    ProgramFixture f;
    f.services.answers.enqueue(Services::Answer::Yes); // the user confirms
    start(f, { "a.bmp" });
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    select(main, 0);
    QVERIFY(QFile::remove(f.folder.filePath("pics/a.bmp"))); // gone behind the program's back
    menuItem(main, "deleteit")->trigger();
    QCOMPARE(f.services.messages.size(), 2);
    QVERIFY(f.services.messages[1].text.startsWith(
        "The file " + f.folder.filePath("pics/a.bmp") + " could not be deleted."));
    QCOMPARE(p.slotRing().file(0), f.folder.filePath("pics/a.bmp")); // nothing cleared
    QCOMPARE(Label1(main)->text(), p.slotRing().file(0));
}

void tst_FileOps::deleteRefusesFolder()
{
    ProgramFixture f;
    f.services.answers.enqueue(Services::Answer::Yes); // the user confirms
    start(f, { "a.bmp" });
    MainWindow *main = startForm(*f.program);
    const QString folder = f.folder.makeFolder("pics/keep");
    f.program->setCurrentFile(folder);
    menuItem(main, "deleteit")->trigger();
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(f.services.messages.size(), 2);
}

void tst_FileOps::deleteNameThatIsNoText_data()
{
    QTest::addColumn<QByteArrayList>("names");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QString>("shownName");
    QTest::addColumn<bool>("fromCommandLine");
    // The second name is the first as a lossy decoder reads it: each must reach only itself.
    const QByteArrayList twins = { "bad\xff.jpg", "bad\xef\xbf\xbd.jpg" };
    QTest::newRow("stray byte, its decoded twin beside it")
        << twins << QByteArray("bad\xff.jpg") << QString("bad\uFFFD.jpg") << false;
    QTest::newRow("decoded twin, the stray byte beside it")
        << twins << QByteArray("bad\xef\xbf\xbd.jpg") << QString("bad\uFFFD.jpg") << false;
    QTest::newRow("Latin-1 name") << QByteArrayList { "f\xe9te.jpg" } << QByteArray("f\xe9te.jpg")
                                  << QString("f\uFFFDte.jpg") << false;
    QTest::newRow("Latin-1 name on the command line")
        << QByteArrayList { "f\xe9te.jpg", "other.jpg" } << QByteArray("f\xe9te.jpg")
        << QString("f\uFFFDte.jpg") << true;
}

void tst_FileOps::deleteNameThatIsNoText()
{
    QFETCH(QByteArrayList, names);
    QFETCH(QByteArray, target);
    QFETCH(QString, shownName);
    QFETCH(bool, fromCommandLine);
    ProgramFixture f;
    f.services.answers.enqueue(Services::Answer::Yes); // the user confirms
    start(f, {});
    const QByteArray folder = f.folder.filePath("pics").toUtf8() + '/';
    auto exists = [&](const QByteArray &name) {
        std::FILE *file = std::fopen((folder + name).constData(), "rb");
        if (file) {
            std::fclose(file);
        }
        return file != nullptr;
    };
    for (const QByteArray &name : names) {
        const QString made = f.folder.writePicture("pics/made.jpg", 30, 20, "JPG");
        QCOMPARE(std::rename(made.toUtf8().constData(), (folder + name).constData()), 0);
    }
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    const QString path = systemfiles::decodeName(folder + target);
    File1(main)->refresh();
    if (fromCommandLine) {
        QCOMPARE(main->openPath(path), QString());
    } else {
        QCOMPARE(File1(main)->listCount(), names.size());
        int row = -1;
        for (int i = 0; i < File1(main)->listCount(); ++i) {
            if (systemfiles::encodeName(File1(main)->list(i)) == target) {
                row = i;
            }
        }
        QVERIFY(row >= 0);
        QCOMPARE(File1(main)->model()->index(row, 0).data().toString(), shownName);
        select(main, row);
    }
    main->waitForThumbnails();
    QCOMPARE(Label1(main)->text(), path);
    QVERIFY(!open(main, 0)->picture().image.isNull()); // read from its own bytes
    focusFileList(main);
    QTest::keyClick(File1(main), Qt::Key_Delete);
    QCOMPARE(f.services.messages.size(), 1); // the question, no failure
    QVERIFY(!exists(target));
    for (const QByteArray &name : names) {
        if (name != target) {
            QVERIFY2(exists(name), name.constData());
        }
    }
    QCOMPARE(File1(main)->listCount(), names.size() - 1);
    for (const QByteArray &name : names) {
        std::remove((folder + name).constData()); // the temporary folder's cleanup cannot
    }
}

void tst_FileOps::renameIntoAnotherFolder()
{
    ProgramFixture f;
    start(f, { "a.bmp", "b.bmp" });
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    select(main, 0);
    select(main, 1);
    select(main, 0);
    main->waitForThumbnails();
    const QString oldName = f.folder.filePath("pics/a.bmp");
    const QString newName = f.folder.makeFolder("moved") + "/renamed.bmp";
    f.services.saveAsAnswers.enqueue(newName);
    focusFileList(main);
    QTest::keyClick(File1(main), Qt::Key_F7);
    QCOMPARE(f.services.saveAsCalls, QStringList { oldName });
    QVERIFY(!QFile::exists(oldName));
    QVERIFY(QFile::exists(newName));
    QCOMPARE(p.slotRing().file(0), newName);
    QCOMPARE(p.slotRing().file(2), newName);
    QCOMPARE(filename(main, 2)->text(), newName);
    QCOMPARE(p.slotRing().file(1), f.folder.filePath("pics/b.bmp"));
    QVERIFY(!open(main, 0)->picture().image.isNull()); // the picture stays
    QCOMPARE(Label1(main)->text(), newName);
    QCOMPARE(Label3(form2(p))->text(), newName);
    QCOMPARE(File1(main)->listCount(), 1);
    QVERIFY(f.services.messages.isEmpty());
}

void tst_FileOps::renameCancelled()
{
    ProgramFixture f;
    start(f, { "a.bmp" });
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    select(main, 0);
    const QString name = f.folder.filePath("pics/a.bmp");
    f.services.saveAsAnswers.enqueue(std::nullopt);
    main->renameCurrentFile();
    f.services.saveAsAnswers.enqueue(name); // the same name picked again
    main->renameCurrentFile();
    QVERIFY(QFile::exists(name));
    QCOMPARE(p.slotRing().file(0), name);
    QCOMPARE(Label1(main)->text(), name);
    QVERIFY(f.services.messages.isEmpty());
}

// A taken name is never replaced: both files stay as they were, and so do slots and labels.
void tst_FileOps::renameRefusedWhenNameTaken()
{
    ProgramFixture f;
    start(f, { "a.bmp", "b.bmp" });
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    select(main, 0);
    const QString a = f.folder.filePath("pics/a.bmp");
    const QString b = f.folder.filePath("pics/b.bmp");
    const QByteArray bBytes = f.folder.read("pics/b.bmp");
    const QByteArray aBytes = f.folder.read("pics/a.bmp");
    f.services.saveAsAnswers.enqueue(b);
    main->renameCurrentFile();
    QCOMPARE(f.folder.read("pics/b.bmp"), bBytes);
    QCOMPARE(f.folder.read("pics/a.bmp"), aBytes);
    QCOMPARE(p.slotRing().file(0), a);
    QCOMPARE(Label1(main)->text(), a);
    QCOMPARE(f.services.messages.size(), 1);
    QVERIFY(f.services.messages[0].text.contains("could not be renamed"));
    QCOMPARE(f.services.messages[0].icon, Services::Icon::Exclamation);
}

// The show stands still while the confirmation is open; even a tick that was already on its
// way does not change which file goes.
void tst_FileOps::deleteDuringRunningShow()
{
    ProgramFixture f;
    f.services.answers.enqueue(Services::Answer::Yes); // the user confirms
    start(f, { "a.bmp", "b.bmp", "c.bmp" });
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    menuItem(main, "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->Timer1_Timer(); // a.bmp on show
    bool heldWhileOpen = false;
    f.services.whileModal = [&]() {
        heldWhileOpen = !Timer1(p)->isActive();
        show->Timer1_Timer(); // b.bmp comes up behind the box
    };
    QTest::keyClick(show, Qt::Key_Delete);
    QVERIFY(heldWhileOpen);
    QCOMPARE(f.services.messages[0].text,
        "Do you really want to delete this file, " + f.folder.filePath("pics/a.bmp")
            + ", permanently?");
    QVERIFY(!f.folder.exists("pics/a.bmp"));
    QVERIFY(f.folder.exists("pics/b.bmp"));
    QVERIFY(Timer1(p)->isActive()); // running again afterwards
}

void tst_FileOps::deleteOnShowDoesNotSkipNext()
{
    ProgramFixture f;
    f.services.answers.enqueue(Services::Answer::Yes); // the user confirms
    start(f, { "a.bmp", "b.bmp", "c.bmp", "d.bmp" });
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->Timer1_Timer();
    show->Timer1_Timer(); // b.bmp on show, position 2
    QTest::keyClick(show, Qt::Key_Down);
    QTest::keyClick(show, Qt::Key_Delete);
    QVERIFY(!f.folder.exists("pics/b.bmp"));
    QVERIFY(Image1(show)->picture().isEmpty());
    QVERIFY(!Timer1(p)->isActive()); // held before, held after
    QTest::keyClick(show, Qt::Key_Right);
    QCOMPARE(Label3(show)->text(), f.folder.filePath("pics/c.bmp"));
}

void tst_FileOps::renameDuringShow()
{
    ProgramFixture f;
    start(f, { "a.bmp", "b.bmp" });
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->Timer1_Timer();
    const QString newName = f.folder.filePath("pics/z.bmp");
    f.services.saveAsAnswers.enqueue(newName);
    f.services.whileModal = [&]() { show->Timer1_Timer(); };
    QTest::keyClick(show, Qt::Key_F7);
    QCOMPARE(f.services.saveAsCalls, QStringList { f.folder.filePath("pics/a.bmp") });
    QVERIFY(QFile::exists(newName));
    QVERIFY(f.folder.exists("pics/b.bmp"));
    QCOMPARE(Label1(startForm(p))->text(), newName);
    QCOMPARE(Label3(show)->text(), newName);
}

void tst_FileOps::helpFromEveryEntry()
{
    ProgramFixture f;
    start(f, { "a.bmp" });
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    File1(main)->setFocus();
    QTest::keyClick(File1(main), Qt::Key_F1);
    menuItem(main, "contents")->trigger();
    menuItem(startForm(p), "loopits")->trigger();
    QTest::keyClick(form2(p), Qt::Key_F1);
    QVERIFY(Timer1(p)->isActive()); // help does not hold the show
    QCOMPARE(f.services.helpCalls.size(), 3);
    for (const auto &call : f.services.helpCalls) {
        QCOMPARE(call.file, f.folder.filePath("QUERNDAL.hlp"));
        QCOMPARE(call.command, 257);
        QCOMPARE(call.keyword, QString("CONTENTS"));
    }
}

void tst_FileOps::oneAboutBox()
{
    ProgramFixture f;
    start(f, {});
    Program &p = *f.program;
    menuItem(startForm(p), "about")->trigger();
    AboutBox *box = aboutBox(p);
    menuItem(startForm(p), "about")->trigger();
    QCOMPARE(aboutBox(p), box);
    QVERIFY(box->isVisible());
    QCOMPARE(box->windowTitle(), QString("About"));
    QVERIFY(box->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(box->windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(control<QLabel>(box, "Lbl_IconWorks")->text(), QString("VELDRANE W95 and NT"));
    QCOMPARE(control<QLabel>(box, "Lbl_Version")->text(), QString(" Ver. 4.00"));
    QCOMPARE(box->size(), QSize(462, 356));
    // Centred on the 800 × 800 screen: (12000 − 6930) \ 2 = 2535 twips = 169 pixels.
    QCOMPARE(box->geometry().topLeft(), QPoint(169, 222));
    QTest::mouseClick(control<QPushButton>(box, "Cmd_OK"), Qt::LeftButton);
    QVERIFY(!p.isAboutBoxLoaded());
    menuItem(startForm(p), "about")->trigger();
    QVERIFY(p.isAboutBoxLoaded());
}

// With the main window closed, the About box is the program's last window: its OK ends the
// program as its close box does.
void tst_FileOps::aboutLastWindowEnds_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK") << true;
    QTest::newRow("close box") << false;
}

void tst_FileOps::aboutLastWindowEnds()
{
    QFETCH(bool, ok);
    ProgramFixture f;
    start(f, {});
    Program &p = *f.program;
    menuItem(startForm(p), "about")->trigger();
    AboutBox *box = aboutBox(p);
    // The application notices its last window only while its event loop runs, as the program's
    // does; a program that goes on without a window is ended by the guard instead.
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    int closedWithMain = -1;
    QTimer::singleShot(0, box, [&] {
        QVERIFY(startForm(p)->close());
        closedWithMain = int(lastClosed.count()); // About keeps the program running
        if (ok) {
            QTest::mouseClick(control<QPushButton>(box, "Cmd_OK"), Qt::LeftButton);
        } else {
            QVERIFY(box->close());
        }
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
    guard.start(10000);
    QCoreApplication::exec();
    QCOMPARE(closedWithMain, 0);
    QVERIFY(!p.isAboutBoxLoaded());
    QCOMPARE(lastClosed.count(), 1);
}

void tst_FileOps::hotKeyListText()
{
    ProgramFixture f;
    start(f, {});
    QTest::mouseClick(Picture1(startForm(*f.program)), Qt::LeftButton);
    QCOMPARE(f.services.messages.size(), 1);
    const QString expected = QStringLiteral(
        "        ~~* Hot Key Function *~~\n\n   Loop Mode\n      Pause Image <Down Arrow>\n"
        "      Previous Image <Left Arrow>\n      Next Image <Right Arrow>\n"
        "      Resume Loop <Up Arrow>\n\n   Loop/Full Screen Mode\n      Enlarge Image <Page Up>\n"
        "      Reduce Image <Page Down>\n      Normal Size <Home>\n\n"
        "   Loop/Full Screen/Multiple Screen Mode\n      Rename File <F7>\n"
        "      Delete File <Del>\n      Background Color<F2>\n      Help <F1>");
    QCOMPARE(f.services.messages[0].text, expected);
    QCOMPARE(f.services.messages[0].icon, Services::Icon::Question);
    QCOMPARE(f.services.messages[0].title, QString("VELDRANE W95 and NT"));
}

void tst_FileOps::printFailure()
{
    ProgramFixture f;
    start(f, {});
    f.services.printSucceeds = false;
    menuItem(startForm(*f.program), "printscreen")->trigger();
    QCOMPARE(f.services.printCalls, 1);
    QCOMPARE(f.services.messages.size(), 1);
    QCOMPARE(f.services.messages[0].text,
        QString("The form can't be printed.  Please check your printer setting up properly."));
    QCOMPARE(f.services.messages[0].title, QString("VELDRANE."));
    QCOMPARE(f.services.messages[0].icon, Services::Icon::None);
    f.services.printSucceeds = true;
    menuItem(startForm(*f.program), "printscreen")->trigger();
    QCOMPARE(f.services.messages.size(), 1);
}

void tst_FileOps::deleteOnlyConfirmedFile_data()
{
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("replaced by another file") << false;
    // Same file, same size: only its modification time tells that it is not what was asked.
    QTest::newRow("rewritten in place at the same size") << true;
}

// The file at the path changed while the box was open: what is there now is not deleted.
void tst_FileOps::deleteOnlyConfirmedFile()
{
    QFETCH(bool, inPlace);
    ProgramFixture f;
    f.services.answers.enqueue(Services::Answer::Yes);
    start(f, { "a.bmp" });
    MainWindow *main = startForm(*f.program);
    select(main, 0);
    f.services.whileModal = [&]() {
        const QString path = f.folder.filePath("pics/a.bmp");
        if (!inPlace) {
            QFile::remove(path);
            f.folder.writePicture("pics/a.bmp", 33, 33);
            return;
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime before = file.fileTime(QFileDevice::FileModificationTime);
        QByteArray bytes = file.readAll();
        bytes[bytes.size() - 1] = char(~bytes.at(bytes.size() - 1));
        file.seek(0);
        file.write(bytes);
        file.flush();
        QVERIFY(file.setFileTime(before.addSecs(5), QFileDevice::FileModificationTime));
    };
    menuItem(main, "deleteit")->trigger();
    QVERIFY(f.folder.exists("pics/a.bmp"));
    QCOMPARE(f.services.messages.size(), 2);
    QVERIFY(f.services.messages[1].text.contains("changed or replaced"));
    QCOMPARE(f.program->slotRing().file(0), f.folder.filePath("pics/a.bmp")); // nothing cleared
}

QTEST_MAIN(tst_FileOps)
#include "tst_fileops.moc"
