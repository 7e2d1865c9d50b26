#include "browser/startfrm.h"
#include "core/palette.h"
#include "platform/controls.h"
#include "programfixture.h"
#include "setup/Form4.h"
#include "slideshow/Form2.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
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
    p.startForm()->Dir1->setPath(art);
    p.settings.slideInterval = 2.5f;
    p.settings.bgColorIndex = 12;
    p.settings.loopMode = 0;
    p.settings.hideFileName = 1;
    p.startForm()->exit->trigger();
    QCOMPARE(f.ini(), "2.5,12,0,\"" + art.toUtf8() + "\",1\r\n");
    QCOMPARE(f.services.endCalls, 1);
}

void tst_StartForm::closeSavesNothing()
{
    ProgramFixture f;
    f.start();
    Program &p = *f.program;
    const QByteArray before = f.ini();
    p.settings.bgColorIndex = 9;
    p.startForm()->Dir1->setPath(QDir::tempPath());
    QVERIFY(p.startForm()->close());
    QCOMPARE(f.ini(), before);
    QVERIFY(!p.isStartFormLoaded());
    QVERIFY(!p.isForm2Loaded());
    QVERIFY(!p.isForm4Loaded());
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
    p.settings.slideInterval = 9;
    startfrm *main = p.startForm();
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    main->File1->setFocus();
    QTest::keyClick(main->File1, Qt::Key_F4, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(f.services.endCalls, 1);
    QCOMPARE(f.ini(), before);
}

// A key the focused control does not take travels to its parents; the window still sees it once.
void tst_StartForm::keyPreviewSeesKeyOnce()
{
    ProgramFixture f;
    f.start();
    startfrm *main = f.program->startForm();
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    main->filename[3]->setFocus();
    QTest::keyClick(main->filename[3], Qt::Key_F4);
    QCOMPARE(f.services.endCalls, 1);
    // With no control focused the window itself receives the key, and sees it once.
    main->filename[3]->clearFocus();
    QVERIFY(!QApplication::focusWidget());
    QTest::keyClick(main, Qt::Key_F4);
    QCOMPARE(f.services.endCalls, 2);
    QTest::keyClick(main->File1, Qt::Key_F2); // not a key of this window
    QCOMPARE(f.services.endCalls, 2);
}

void tst_StartForm::menuBar()
{
    ProgramFixture f;
    f.start();
    startfrm *main = f.program->startForm();
    QStringList captions;
    QStringList visible;
    for (QAction *a : main->menuBar()->actions()) {
        captions << a->text();
        if (a->isVisible()) {
            visible << a->text();
        }
    }
    QCOMPARE(captions, (QStringList { "&Setup", "&Loop", "&Auto", "Auto &Loop", "&Reset", "&Clear",
                                      "&Print", "Re&name", "&Delete", "&Help", "&Exit" }));
    QCOMPARE(visible, (QStringList { "&Setup", "&Loop", "&Reset", "&Clear", "&Print", "Re&name",
                                     "&Delete", "&Help", "&Exit" }));
    QVERIFY(!main->autoAction->isEnabled());
    QVERIFY(!main->autoloop->isEnabled());
    QCOMPARE(main->contents->text(), QString("Contents"));
    QCOMPARE(main->about->text(), QString("About"));
}

void tst_StartForm::folderChangeResetsPosition()
{
    ProgramFixture f;
    f.folder.write("sub/a.gif", "x");
    f.start();
    Program &p = *f.program;
    p.listPosition = 4;
    QVERIFY(p.startForm()->Dir1->setPath(f.folder.filePath("sub")));
    QCOMPARE(p.listPosition, qint16(0));
    QCOMPARE(p.startForm()->File1->list(0), QString("a.gif"));
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
    startfrm *main = p.startForm();
    QVERIFY(main->Dir1->setPath(f.folder.filePath("gone")));
    QVERIFY(main->Dir1->setPath(f.folder.path()));
    QDir(f.folder.filePath("gone")).removeRecursively();
    // Point the folder list at the vanished folder behind its back, as a race would.
    p.listPosition = 3;
    QVERIFY(!main->File1->setPath(f.folder.filePath("gone")));
    main->Dir1_Change();
    QCOMPARE(main->File1->listCount(), 1);
    QCOMPARE(p.listPosition, qint16(0));
}

void tst_StartForm::driveNotReady()
{
    ProgramFixture f;
    f.folder.write("a.gif", "x");
    f.services.roots = { "/", "/no-such-volume" };
    f.start();
    Program &p = *f.program;
    startfrm *main = p.startForm();
    p.listPosition = 2;
    main->Drive1->setCurrentIndex(1);
    emit main->Drive1->activated(1);
    QCOMPARE(main->Drive1->drive(), QString("/no-such-volume"));
    QCOMPARE(main->Dir1->path(), f.folder.path());
    QCOMPARE(main->File1->listCount(), 1);
    QCOMPARE(p.listPosition, qint16(2)); // no folder change took place
    QVERIFY(f.services.messages.isEmpty());
}

void tst_StartForm::highlight_data()
{
    QTest::addColumn<int>("caseRule");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("captions"); // captions 0..3, the rest empty
    QTest::addColumn<QString>("expected"); // Y yellow, W white, per caption 0..4 (4 is empty)

    QTest::newRow("same file twice") << int(Qt::CaseSensitive) << "/pics/cat.bmp"
                                     << QStringList { "/pics/cat.bmp", "/pics/dog.bmp", "/pics/cat.bmp", "" }
                                     << "YWYWW";
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
    startfrm *main = f.program->startForm();
    for (int i = 0; i < 20; ++i) {
        main->filename[i]->setText(i < captions.size() ? captions[i] : QString());
        main->filename[i]->setBackground(yellow());
    }
    main->Label1->setText(label);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    QTest::mouseClick(main->File1->viewport(), Qt::LeftButton);
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(main->filename[i]->background(), expected[i] == 'Y' ? yellow() : white());
    }
}

void tst_StartForm::resizeKeepsProportions()
{
    ProgramFixture f;
    f.start();
    startfrm *main = f.program->startForm();
    main->showNormal();
    main->resize(main->designInnerPixels() * 2 + QSize(0, main->menuBar()->height()));
    QTRY_COMPARE(main->innerSize(), QSizeF(18960, 13020));
    QCOMPARE(main->twipRect(main->open[6]), QRectF(7320, 3120, 2910, 2310));
    QCOMPARE(main->twipRect(main->filename[6]).top(), 5400.0);
    QCOMPARE(main->twipRect(main->Drive1), QRectF(240, 1680, 3990, 315));
    // Picture boxes stay where they are.
    QCOMPARE(main->twipRect(main->Picture1), QRectF(120, 120, 480, 480));
}

void tst_StartForm::minimisedDoesNotFail()
{
    ProgramFixture f;
    f.start();
    startfrm *main = f.program->startForm();
    const QRectF before = main->twipRect(main->open[0]);
    main->centralWidget()->resize(0, 0);
    main->Form_Resize();
    QCOMPARE(main->twipRect(main->open[0]), before);
    main->showMinimized();
    QCoreApplication::processEvents();
    QVERIFY(f.program->isStartFormLoaded());
}

QTEST_MAIN(tst_StartForm)
#include "tst_startfrm.moc"
