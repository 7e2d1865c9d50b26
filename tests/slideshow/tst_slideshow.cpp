#include "browser/mainwindow.h"
#include "core/palette.h"
#include "platform/controls.h"
#include "programfixture.h"
#include "slideshow/slideshowwindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImageWriter>
#include <QLabel>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>

// The slide show: its steps, its end, its keys. The timer is driven by calling the tick.
class tst_SlideShow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void loopWithNoFiles();
    void onePass();
    void continuousWraps();
    void thumbnailViewStaysHeld();
    void leftWrapsBothWays();
    void stepsKeepPendingShowGoing();
    void beforeFirstTick();
    void holdResumePause();
    void printingStopsShow();
    void printingFails();
    void zoomAndHome();
    void backgroundKey();
    void hideFileName();
    void largePictureCentred();
    void unreadablePicture();
    void closingEndsShow();
    void endHighlightsCaptions_data();
    void endHighlightsCaptions();
    void readAheadFollowsFile();
    void singleFileLeft();
    void largePictureDecodedWhereShown();
    void intervalOfEveryShow();
    void firstIntervalActsOnPictureOnShow_data();
    void firstIntervalActsOnPictureOnShow();
    void labelClickPrintsAndStays();
    void wheelSteps();
    void keysNotInTable_data();
    void keysNotInTable();
    void metafileZoomDrawnAtShownSize();
    void zoomFramesShowWholePicture_data();
    void zoomFramesShowWholePicture();

private:
    // A started program listing `count` pictures (00.bmp ...) of `size`, loop mode `loopMode`.
    void start(ProgramFixture &f, int count, int loopMode, QSize size = QSize(40, 30));
    QString file(ProgramFixture &f, int k) const
    {
        return f.folder.filePath(QStringLiteral("pics/%1.bmp").arg(k, 2, 10, QLatin1Char('0')));
    }
};

void tst_SlideShow::start(ProgramFixture &f, int count, int loopMode, QSize size)
{
    const QString pics = f.folder.makeFolder("pics");
    for (int i = 0; i < count; ++i) {
        f.folder.writePicture(QStringLiteral("pics/%1.bmp").arg(i, 2, 10, QLatin1Char('0')),
            size.width() + i, size.height());
    }
    f.writeIni("3,3," + QByteArray::number(loopMode) + ",\"" + pics.toUtf8() + "\",0\r\n");
    f.start();
}

void tst_SlideShow::loopWithNoFiles()
{
    ProgramFixture f;
    start(f, 0, 1);
    menuItem(startForm(*f.program), "loopits")->trigger();
    QCOMPARE(f.services.messages.size(), 1);
    QCOMPARE(f.services.messages[0].text, QString("No image file in the current directory!"));
    QCOMPARE(f.services.messages[0].title, QString("VELDRANE."));
    QCOMPARE(f.services.messages[0].icon, Services::Icon::None);
    QCOMPARE(f.services.messages[0].buttons, Services::Buttons::Ok);
    QVERIFY(!form2(*f.program)->isVisible());
}

// One pass over three files: the first picture stays two ticks, the others one, and the tick
// after the last closes the window.
void tst_SlideShow::onePass()
{
    ProgramFixture f;
    start(f, 3, 0);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    menuItem(main, "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    QVERIFY(show->isVisible());
    QVERIFY(Timer1(p)->isActive());
    QCOMPARE(qint16(p.show().fromList()), qint16(1));
    QCOMPARE(qint16(p.show().continuous()), qint16(0));
    QCOMPARE(Label3(show)->text(), file(f, 0));
    QCOMPARE(show->backgroundColor(), 3);
    const QStringList expected = { file(f, 0), file(f, 1), file(f, 2) };
    for (const QString &path : expected) {
        show->Timer1_Timer();
        QCOMPARE(Label3(show)->text(), path);
        QCOMPARE(Label1(main)->text(), path);
    }
    QCOMPARE(qint16(p.show().endPending()), qint16(1));
    QCOMPARE(qint16(p.show().listPosition()), qint16(0));
    show->Timer1_Timer();
    QVERIFY(!p.isSlideShowLoaded());
    QVERIFY(main->isVisible());
    QCOMPARE(qint16(p.show().fromList()), qint16(0));
}

void tst_SlideShow::continuousWraps()
{
    ProgramFixture f;
    start(f, 3, 1);
    Program &p = *f.program;
    p.show().setListPosition(1);
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    QCOMPARE(qint16(p.show().continuous()), qint16(1));
    for (int k : { 1, 2, 0, 1, 2, 0 }) {
        show->Timer1_Timer();
        QCOMPARE(Label3(show)->text(), file(f, k));
    }
    QVERIFY(p.isSlideShowLoaded());
    QCOMPARE(qint16(p.show().endPending()), qint16(0));
}

void tst_SlideShow::thumbnailViewStaysHeld()
{
    ProgramFixture f;
    start(f, 4, 1);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    File1(main)->setCurrentRow(3);
    main->File1_KeyUp(39, 0);
    p.show().setListPosition(1);
    main->open_MouseUp(0, 1, 0, 0, 0);
    SlideShowWindow *show = form2(p);
    QCOMPARE(show->labelColor(), palette::kHighlight);
    QTest::keyClick(show, Qt::Key_Right);
    QCOMPARE(Label3(show)->text(), file(f, 1)); // the list's entry, not the slot's neighbour
    QTest::keyClick(show, Qt::Key_Right);
    QCOMPARE(Label3(show)->text(), file(f, 2));
    QVERIFY(!Timer1(p)->isActive());
    QCOMPARE(show->labelColor(), palette::kHighlight);
    // Up resumes: white label, timer on, the next tick shows the list's next entry.
    QTest::keyClick(show, Qt::Key_Up);
    QCOMPARE(show->labelColor(), palette::kPlain);
    QVERIFY(Timer1(p)->isActive());
    QCOMPARE(qint16(p.show().fromList()), qint16(1));
    show->Timer1_Timer();
    QCOMPARE(Label3(show)->text(), file(f, 3));
}

void tst_SlideShow::leftWrapsBothWays()
{
    ProgramFixture f;
    start(f, 4, 0);
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->Timer1_Timer(); // entry 0 shown, position 1
    QTest::keyClick(show, Qt::Key_Left);
    QCOMPARE(Label3(show)->text(), file(f, 3)); // before the first comes the last
    QCOMPARE(qint16(p.show().listPosition()), qint16(0));
    QCOMPARE(qint16(p.show().endPending()), qint16(1));
    QTest::keyClick(show, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(Label3(show)->text(), file(f, 2)); // position 0: the one before the last
}

void tst_SlideShow::stepsKeepPendingShowGoing()
{
    ProgramFixture f;
    start(f, 2, 0);
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->Timer1_Timer();
    show->Timer1_Timer(); // last entry: the end is pending
    QCOMPARE(qint16(p.show().endPending()), qint16(1));
    QTest::keyClick(show, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(Label3(show)->text(), file(f, 0));
    QCOMPARE(qint16(p.show().endPending()), qint16(0));
    show->Timer1_Timer();
    QVERIFY(p.isSlideShowLoaded());
    QCOMPARE(Label3(show)->text(), file(f, 1));
}

// "&Loop" shows the entry at the position without moving it on.
void tst_SlideShow::beforeFirstTick()
{
    ProgramFixture f;
    start(f, 4, 1);
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    QTest::keyClick(show, Qt::Key_Right);
    QCOMPARE(Label3(show)->text(), file(f, 0));
    p.show().setListPosition(0);
    QTest::keyClick(show, Qt::Key_Left);
    QCOMPARE(Label3(show)->text(), file(f, 2));
}

void tst_SlideShow::holdResumePause()
{
    ProgramFixture f;
    start(f, 3, 1);
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    QTest::keyClick(show, Qt::Key_Down);
    QVERIFY(!Timer1(p)->isActive());
    QCOMPARE(show->labelColor(), palette::kHighlight);
    QTest::keyClick(show, Qt::Key_Right);
    QVERIFY(!Timer1(p)->isActive()); // a step keeps a held show held
    QTest::keyClick(show, Qt::Key_Pause);
    QVERIFY(Timer1(p)->isActive());
    QCOMPARE(show->labelColor(), palette::kPlain);
    QTest::keyClick(show, Qt::Key_Pause);
    QVERIFY(!Timer1(p)->isActive());
    QCOMPARE(show->labelColor(), palette::kHighlight);
    QTest::keyClick(show, Qt::Key_Insert); // not a key of the show
    QVERIFY(p.isSlideShowLoaded());
}

void tst_SlideShow::printingStopsShow()
{
    ProgramFixture f;
    start(f, 3, 1);
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    QTest::mouseClick(Label3(show), Qt::LeftButton);
    QCOMPARE(f.services.printCalls, 1);
    QVERIFY(f.services.messages.isEmpty());
    QVERIFY(!Timer1(p)->isActive());
    QCOMPARE(show->labelColor(), palette::kPlain); // stopped, though the label is white
    QTest::keyClick(show, Qt::Key_Right);
    QVERIFY(Timer1(p)->isActive()); // the white label starts it again
}

void tst_SlideShow::printingFails()
{
    ProgramFixture f;
    start(f, 1, 1);
    f.services.printSucceeds = false;
    menuItem(startForm(*f.program), "loopits")->trigger();
    form2(*f.program)->Label3_Click();
    QCOMPARE(f.services.messages.size(), 1);
    QCOMPARE(f.services.messages[0].text,
        QString("The form can't be printed or Cancel is selected.  Please check your printer "
                "setting up properly."));
    QCOMPARE(f.services.messages[0].title, QString("VELDRANE."));
    QCOMPARE(f.services.messages[0].icon, Services::Icon::None);
}

void tst_SlideShow::zoomAndHome()
{
    ProgramFixture f;
    start(f, 1, 1, QSize(200, 100));
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->waitForDecodes(); // a step shows the picture when its decode lands
    const QRectF natural = show->twipRect(Image1(show));
    QCOMPARE(natural.size(), QSizeF(3000, 1500));
    QTest::keyClick(show, Qt::Key_PageUp);
    QTest::keyClick(show, Qt::Key_PageUp);
    QTest::keyClick(show, Qt::Key_PageDown);
    const QRectF zoomed = show->twipRect(Image1(show));
    QVERIFY(qAbs(zoomed.width() - 3000 * 1.089) < 0.01);
    QVERIFY(qAbs(zoomed.height() - 1500 * 1.089) < 0.01);
    QVERIFY(qAbs(zoomed.center().x() - 6000) < 0.01);
    QVERIFY(qAbs(zoomed.center().y() - 6000) < 0.01);
    // The next picture is drawn into the same box until Home.
    show->Timer1_Timer();
    QCOMPARE(show->twipRect(Image1(show)).size(), zoomed.size());
    QTest::keyClick(show, Qt::Key_Home);
    QCOMPARE(show->twipRect(Image1(show)), natural);
}

void tst_SlideShow::backgroundKey()
{
    ProgramFixture f;
    start(f, 1, 1);
    Program &p = *f.program;
    const QString readFolder = p.settings().lastFolder;
    Dir1(startForm(p))->setPath(f.folder.path()); // browsed since: not what F2 saves
    p.settingsModel().setSlideInterval(2.5f);
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    for (int i = 0; i < 13; ++i) {
        QTest::keyClick(show, Qt::Key_F2);
    }
    QCOMPARE(p.settings().bgColorIndex, qint16(0));
    QCOMPARE(show->backgroundColor(), 0);
    QCOMPARE(startForm(p)->backgroundColor(), 0);
    QCOMPARE(p.settings().savedColorIndex, qint16(3));
    QCOMPARE(f.ini(), "2.5,0,1,\"" + readFolder.toUtf8() + "\",0\r\n");
}

void tst_SlideShow::hideFileName()
{
    ProgramFixture f;
    start(f, 1, 1);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    File1(main)->setCurrentRow(0);
    main->File1_KeyUp(39, 0);
    p.unload(Program::Window::SlideShow);
    p.settingsModel().setHideFileName(1);
    main->open_MouseUp(0, 1, 0, 0, 0); // creates the window: its load hides the label
    QVERIFY(Label3(form2(p))->isHidden());
    form2(p)->Form_Click();
    p.settingsModel().setHideFileName(0);
    main->open_MouseUp(0, 1, 0, 0, 0);
    QVERIFY(!Label3(form2(p))->isHidden());
}

void tst_SlideShow::largePictureCentred()
{
    ProgramFixture f;
    start(f, 1, 1, QSize(1000, 900));
    menuItem(startForm(*f.program), "loopits")->trigger();
    SlideShowWindow *show = form2(*f.program);
    show->waitForDecodes();
    // 15000 × 13500 twips on a 12000 × 12000 screen: cut off equally on every side.
    QCOMPARE(show->twipRect(Image1(show)), QRectF(-1500, -750, 15000, 13500));
    QCOMPARE(Image1(show)->geometry(), QRect(-100, -50, 1000, 900));
}

void tst_SlideShow::unreadablePicture()
{
    ProgramFixture f;
    start(f, 2, 1);
    f.folder.write("pics/01.bmp", "damaged");
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->Timer1_Timer();
    show->waitForDecodes();
    QVERIFY(!Image1(show)->picture().isEmpty());
    show->Timer1_Timer();
    show->waitForDecodes();
    QCOMPARE(Label3(show)->text(), file(f, 1));
    QVERIFY(Image1(show)->picture().isEmpty()); // not the previous picture under this name
    show->Timer1_Timer();
    QCOMPARE(Label3(show)->text(), file(f, 0));
}

// Closed through the window system, the show ends as on a click: a later touch of the window
// loads it afresh as a thumbnail view instead of showing an empty full-screen window.
void tst_SlideShow::closingEndsShow()
{
    ProgramFixture f;
    start(f, 2, 1);
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    QVERIFY(form2(p)->close());
    QVERIFY(!p.isSlideShowLoaded());
    QCOMPARE(qint16(p.show().fromList()), qint16(0));
    QVERIFY(startForm(p)->isVisible());
    SlideShowWindow *again = form2(p);
    QVERIFY(!again->isVisible());
}

void tst_SlideShow::endHighlightsCaptions_data()
{
    QTest::addColumn<int>("caseRule");
    QTest::addColumn<bool>("onPicture");
    QTest::addColumn<bool>("otherCaseLit");
    QTest::newRow("background, exact") << int(Qt::CaseSensitive) << false << false;
    QTest::newRow("picture, exact") << int(Qt::CaseSensitive) << true << false;
    QTest::newRow("background, case-blind") << int(Qt::CaseInsensitive) << false << true;
    QTest::newRow("picture, case-blind") << int(Qt::CaseInsensitive) << true << true;
}

void tst_SlideShow::endHighlightsCaptions()
{
    QFETCH(int, caseRule);
    QFETCH(bool, onPicture);
    QFETCH(bool, otherCaseLit);
    ProgramFixture f;
    f.services.caseRule = Qt::CaseSensitivity(caseRule);
    start(f, 1, 1);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->Timer1_Timer();
    show->waitForDecodes();
    putInSlot(p, 2, file(f, 0));
    putInSlot(p, 6, file(f, 0).toUpper());
    putInSlot(p, 7, "/other.gif");
    filename(main, 7)->setBackground(palette::color(palette::kHighlight));
    if (onPicture) {
        QTest::mouseClick(Image1(show), Qt::LeftButton);
    } else {
        QTest::mouseClick(show, Qt::LeftButton, {}, QPoint(790, 790));
    }
    QVERIFY(!p.isSlideShowLoaded());
    QCOMPARE(filename(main, 2)->background(), palette::color(palette::kHighlight));
    QCOMPARE(filename(main, 6)->background(),
        palette::color(otherCaseLit ? palette::kHighlight : palette::kPlain));
    QCOMPARE(filename(main, 7)->background(), palette::color(palette::kPlain));
}

// The next entry is read ahead while a picture is up; a file that changes meanwhile is read again.
void tst_SlideShow::readAheadFollowsFile()
{
    ProgramFixture f;
    start(f, 3, 1, QSize(40, 30));
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->Timer1_Timer();
    QCOMPARE(show->readAheadPath(), file(f, 1));
    show->waitForDecodes();
    f.folder.writePicture("pics/01.bmp", 64, 48);
    show->Timer1_Timer();
    show->waitForDecodes();
    QCOMPARE(Image1(show)->picture().naturalSize, QSize(64, 48));
    QCOMPARE(show->readAheadPath(), file(f, 2));
    show->waitForDecodes();
    show->Timer1_Timer();
    QCOMPARE(Image1(show)->picture().naturalSize, QSize(42, 30));
}

// Left with a single file points before the list; the only picture is shown again.
void tst_SlideShow::singleFileLeft()
{
    ProgramFixture f;
    start(f, 1, 1);
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->Timer1_Timer();
    QTest::keyClick(show, Qt::Key_Left);
    show->waitForDecodes();
    QCOMPARE(Label3(show)->text(), file(f, 0));
    QVERIFY(!Image1(show)->picture().isEmpty());
}

// A JPEG larger than the screen is decoded only where the screen shows it, at full resolution;
// zooming out shows more of it, which is then decoded too.
void tst_SlideShow::largePictureDecodedWhereShown()
{
    ProgramFixture f;
    start(f, 0, 1);
    QImage halves(2000, 1000, QImage::Format_RGB32);
    halves.fill(Qt::blue);
    for (int y = 0; y < 1000; ++y) {
        for (int x = 0; x < 1000; ++x) {
            halves.setPixel(x, y, qRgb(255, 0, 0));
        }
    }
    QVERIFY(halves.save(f.folder.filePath("pics/wide.jpg"), "JPEG", 95));
    Program &p = *f.program;
    File1(startForm(p))->refresh();
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->waitForDecodes();
    const Picture &shown = Image1(show)->picture();
    QCOMPARE(shown.naturalSize, QSize(2000, 1000));
    QCOMPARE(shown.region, QRect(600, 100, 800, 800)); // the centred 800 × 800 screen
    QCOMPARE(shown.image.size(), QSize(800, 800));
    QVERIFY(qRed(shown.image.pixel(200, 400)) > 200 && qBlue(shown.image.pixel(200, 400)) < 60);
    QVERIFY(qBlue(shown.image.pixel(600, 400)) > 200 && qRed(shown.image.pixel(600, 400)) < 60);
    // Zoomed out, the whole picture shows at once (a reduced decode, there since the picture
    // came), then at the size shown.
    QTest::keyClick(show, Qt::Key_PageDown);
    QVERIFY(Image1(show)->picture().region.isEmpty());
    QVERIFY(!Image1(show)->picture().image.isNull());
    QTRY_COMPARE(Image1(show)->picture().image.size(), QSize(1800, 900));
}

// Between "&Loop" and the first tick the path label still names the file selected before; F7
// and Delete act on the picture on show all the same.
// A show runs at the interval in force when it starts, the second show as the first.
void tst_SlideShow::intervalOfEveryShow()
{
    ProgramFixture f;
    start(f, 2, 1);
    Program &p = *f.program;
    p.settingsModel().setSlideInterval(5.0f);
    menuItem(startForm(p), "loopits")->trigger();
    QCOMPARE(Timer1(p)->interval(), 5000);
    QTest::mouseClick(form2(p), Qt::LeftButton, {}, QPoint(790, 790));
    QVERIFY(!p.isSlideShowLoaded());
    p.settingsModel().setSlideInterval(7.5f);
    menuItem(startForm(p), "loopits")->trigger();
    QVERIFY(Timer1(p)->isActive());
    QCOMPARE(Timer1(p)->interval(), 7500);
}

void tst_SlideShow::firstIntervalActsOnPictureOnShow_data()
{
    QTest::addColumn<bool>("rename");
    QTest::newRow("Delete") << false;
    QTest::newRow("F7") << true;
}

void tst_SlideShow::firstIntervalActsOnPictureOnShow()
{
    QFETCH(bool, rename);
    ProgramFixture f;
    start(f, 3, 1);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    File1(main)->setCurrentRow(2);
    main->File1_KeyUp(39, 0); // 02.bmp selected into a slot
    menuItem(main, "reset")->trigger();
    menuItem(main, "loopits")->trigger(); // 00.bmp on show
    SlideShowWindow *show = form2(p);
    if (rename) {
        f.services.saveAsAnswers.enqueue(f.folder.filePath("pics/new.bmp"));
        QTest::keyClick(show, Qt::Key_F7);
        QCOMPARE(f.services.saveAsCalls, QStringList { file(f, 0) });
        QVERIFY(f.folder.exists("pics/new.bmp"));
        QVERIFY(!QFile::exists(file(f, 0)));
    } else {
        f.services.answers.enqueue(Services::Answer::Yes);
        QTest::keyClick(show, Qt::Key_Delete);
        QVERIFY(f.services.messages[0].text.contains(file(f, 0)));
        QVERIFY(!QFile::exists(file(f, 0)));
    }
    QVERIFY(QFile::exists(file(f, 2)));
}

// The label's click is the label's: the show prints, stops, and stays up.
void tst_SlideShow::labelClickPrintsAndStays()
{
    ProgramFixture f;
    start(f, 2, 1);
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    QVERIFY(QTest::qWaitForWindowExposed(show));
    QTest::mouseClick(Label3(show), Qt::LeftButton);
    QCOMPARE(f.services.printCalls, 1);
    QVERIFY(p.isSlideShowLoaded());
    QVERIFY(!Timer1(p)->isActive());
    QCOMPARE(show->labelColor(), palette::kPlain); // stopped, not held
}

// The wheel steps as Left and Right do: it is no key, and stays.
void tst_SlideShow::wheelSteps()
{
    ProgramFixture f;
    start(f, 3, 1, QSize(100, 50));
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->Timer1_Timer(); // 00 on show
    QWheelEvent down(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(show, &down);
    QCOMPARE(Label3(show)->text(), file(f, 1));
    QWheelEvent up(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(show, &up);
    QCOMPARE(Label3(show)->text(), file(f, 0));
}

// Keys not in the show's table do nothing: the show stays up, on the same picture, at the same
// size, running or held as it was. Escape in particular does not end it.
void tst_SlideShow::keysNotInTable_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("held");
    QTest::newRow("Esc, running") << int(Qt::Key_Escape) << false;
    QTest::newRow("Esc, held") << int(Qt::Key_Escape) << true;
    QTest::newRow("End, running") << int(Qt::Key_End) << false;
    QTest::newRow("End, held") << int(Qt::Key_End) << true;
    QTest::newRow("Insert") << int(Qt::Key_Insert) << false;
    QTest::newRow("F3") << int(Qt::Key_F3) << false;
}

void tst_SlideShow::keysNotInTable()
{
    QFETCH(int, key);
    QFETCH(bool, held);
    ProgramFixture f;
    start(f, 3, 1, QSize(100, 50));
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->Timer1_Timer(); // 00 on show, at its own size
    show->waitForDecodes();
    if (held) {
        QTest::keyClick(show, Qt::Key_Down);
    }
    QTest::keyClick(show, Qt::Key(key));
    QVERIFY(p.isSlideShowLoaded());
    QVERIFY(show->isVisible());
    QCOMPARE(Label3(show)->text(), file(f, 0));
    QCOMPARE(Image1(show)->size(), QSize(100, 50));
    QCOMPARE(Timer1(p)->isActive(), !held);
    QCOMPARE(show->labelColor(), held ? palette::kHighlight : palette::kPlain);
}

// A metafile zoomed in is drawn again at the size shown, not enlarged from a smaller drawing.
void tst_SlideShow::metafileZoomDrawnAtShownSize()
{
    ProgramFixture f;
    start(f, 0, 1);
    QFile::copy(QStringLiteral(VIEWER_CORPUS_DIR "/wmf/good/libwmf/Eg.wmf"),
        f.folder.filePath("pics/eg.wmf"));
    Program &p = *f.program;
    File1(startForm(p))->refresh();
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->waitForDecodes();
    QVERIFY(Image1(show)->picture().scalable);
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(show, Qt::Key_PageUp);
    }
    // Aspect kept within the box: the drawing is as large as the box, give or take a pixel of
    // rounding.
    QTRY_VERIFY(qAbs(Image1(show)->picture().image.width() - Image1(show)->width()) <= 2
        && qAbs(Image1(show)->picture().image.height() - Image1(show)->height()) <= 2);
}

QTEST_MAIN(tst_SlideShow)
#include "tst_slideshow.moc"

namespace {

// A picture whose every pixel says where it lies: red grows to the right, green downwards, blue
// stays low, so no part of it is near the show's cyan background, and a part stretched over the
// whole box shows the wrong colours at the box's edges.
QColor gradientAt(double x, double y)
{
    return QColor(int(40 + 200 * x), int(40 + 200 * y), 20);
}

bool writeGradient(const QString &path, QSize size, bool progressive)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            line[x] = gradientAt(double(x) / size.width(), double(y) / size.height()).rgb();
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(92);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image);
}

// Where `frame` (the show window grabbed) does not show the gradient picture stretched over
// the picture box `box` (window pixels): a description, empty when every sampled point does.
QString frameFault(const QImage &frame, const QRect &box)
{
    const QRect seen = box.intersected(frame.rect()).adjusted(3, 3, -3, -3);
    const qreal ratio = frame.devicePixelRatio();
    for (int y = seen.top(); y <= seen.bottom(); y += 13) {
        for (int x = seen.left(); x <= seen.right(); x += 13) {
            const QColor want
                = gradientAt((x + 0.5 - box.x()) / box.width(), (y + 0.5 - box.y()) / box.height());
            const QColor got = frame.pixelColor(int(x * ratio), int(y * ratio));
            if (qAbs(got.red() - want.red()) > 24 || qAbs(got.green() - want.green()) > 24
                || qAbs(got.blue() - want.blue()) > 24) {
                return QStringLiteral("at (%1, %2) of box %3,%4 %5x%6: %7 instead of %8")
                    .arg(x)
                    .arg(y)
                    .arg(box.x())
                    .arg(box.y())
                    .arg(box.width())
                    .arg(box.height())
                    .arg(got.name(), want.name());
            }
        }
    }
    return QString();
}

} // namespace

void tst_SlideShow::zoomFramesShowWholePicture_data()
{
    QTest::addColumn<bool>("fromSlot");
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<QList<int>>("keys");
    const QList<int> out = { Qt::Key_PageDown };
    const QList<int> outAndBack
        = { Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_Home };
    const QList<int> outThenStep = { Qt::Key_PageDown, Qt::Key_Right, Qt::Key_Home };
    QTest::newRow("slot, baseline, Page Down") << true << false << out;
    QTest::newRow("slot, progressive, Page Down") << true << true << out;
    QTest::newRow("slot, baseline, out and back") << true << false << outAndBack;
    QTest::newRow("slot, progressive, out and back") << true << true << outAndBack;
    QTest::newRow("show, baseline, out and back") << false << false << outAndBack;
    QTest::newRow("show, baseline, out then a step") << false << false << outThenStep;
    QTest::newRow("show, progressive, out then a step") << false << true << outThenStep;
}

// Every frame after a zoom key (or a step in a zoomed show) shows the whole of what the picture
// box is meant to show: the picture reduced or sharp, never the background round the part a
// screen held, never that part stretched over the box. The frames are grabbed after every turn
// of the event loop while the decodes land.
void tst_SlideShow::zoomFramesShowWholePicture()
{
    QFETCH(bool, fromSlot);
    QFETCH(bool, progressive);
    QFETCH(QList<int>, keys);
    ProgramFixture f;
    start(f, 0, 1);
    // Three screens wide (the screen is 800 × 800 pixels): shown at its own size only in part.
    for (const char *name : { "pics/a.jpg", "pics/b.jpg" }) {
        QVERIFY(writeGradient(f.folder.filePath(name), QSize(2400, 1600), progressive));
    }
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    File1(main)->refresh();
    if (fromSlot) {
        File1(main)->setCurrentRow(0);
        main->File1_KeyUp(39, 0);
        main->waitForThumbnails();
        main->open_MouseUp(0, 1, 0, 0, 0);
    } else {
        menuItem(main, "loopits")->trigger();
    }
    SlideShowWindow *show = form2(p);
    show->show();
    // The part on screen has landed, sharp.
    QTRY_VERIFY(!Image1(show)->picture().holdsWhole());
    for (int key : keys) {
        QTest::keyClick(show, Qt::Key(key));
        // Until the decodes it set off (and those they set off) have all landed.
        int quiet = 0;
        for (int frames = 0; quiet < 5 && frames < 5000; ++frames) {
            quiet = show->decoding() ? 0 : quiet + 1;
            // A window that holds its frame paints nothing: the screen keeps the frame before,
            // which was checked when it was drawn.
            const QString fault = show->updatesEnabled()
                ? frameFault(show->grab().toImage(), Image1(show)->geometry())
                : QString();
            if (!fault.isEmpty()) {
                QFAIL(qPrintable(QStringLiteral("key %1, frame %2: %3")
                                     .arg(QKeySequence(key).toString())
                                     .arg(frames)
                                     .arg(fault)));
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(quiet > 0 ? 0 : 5);
        }
    }
}
