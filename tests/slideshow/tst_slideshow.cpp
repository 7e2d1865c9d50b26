#include "browser/startfrm.h"
#include "core/palette.h"
#include "platform/controls.h"
#include "programfixture.h"
#include "slideshow/Form2.h"

#include <QAction>
#include <QLabel>
#include <QTest>
#include <QTimer>

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
    f.program->startForm()->loopits->trigger();
    QCOMPARE(f.services.messages.size(), 1);
    QCOMPARE(f.services.messages[0].text, QString("No image file in the current directory!"));
    QCOMPARE(f.services.messages[0].title, QString("VELDRANE."));
    QCOMPARE(f.services.messages[0].icon, Services::Icon::None);
    QCOMPARE(f.services.messages[0].buttons, Services::Buttons::Ok);
    QVERIFY(!f.program->form2()->isVisible());
}

// One pass over three files: the first picture stays two ticks, the others one, and the tick
// after the last closes the window.
void tst_SlideShow::onePass()
{
    ProgramFixture f;
    start(f, 3, 0);
    Program &p = *f.program;
    startfrm *main = p.startForm();
    main->loopits->trigger();
    Form2 *show = p.form2();
    QVERIFY(show->isVisible());
    QVERIFY(show->Timer1->isActive());
    QCOMPARE(p.showSource, qint16(1));
    QCOMPARE(p.showContinuous, qint16(0));
    QCOMPARE(show->Label3->text(), file(f, 0));
    QCOMPARE(show->backgroundColor(), 3);
    const QStringList expected = { file(f, 0), file(f, 1), file(f, 2) };
    for (const QString &path : expected) {
        show->Timer1_Timer();
        QCOMPARE(show->Label3->text(), path);
        QCOMPARE(main->Label1->text(), path);
    }
    QCOMPARE(show->showEndPending, qint16(1));
    QCOMPARE(p.listPosition, qint16(0));
    show->Timer1_Timer();
    QVERIFY(!p.isForm2Loaded());
    QVERIFY(main->isVisible());
    QCOMPARE(p.showSource, qint16(0));
}

void tst_SlideShow::continuousWraps()
{
    ProgramFixture f;
    start(f, 3, 1);
    Program &p = *f.program;
    p.listPosition = 1;
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    QCOMPARE(p.showContinuous, qint16(1));
    for (int k : { 1, 2, 0, 1, 2, 0 }) {
        show->Timer1_Timer();
        QCOMPARE(show->Label3->text(), file(f, k));
    }
    QVERIFY(p.isForm2Loaded());
    QCOMPARE(show->showEndPending, qint16(0));
}

void tst_SlideShow::thumbnailViewStaysHeld()
{
    ProgramFixture f;
    start(f, 4, 1);
    Program &p = *f.program;
    startfrm *main = p.startForm();
    main->File1->setCurrentRow(3);
    main->File1_KeyUp(39, 0);
    p.listPosition = 1;
    main->open_MouseUp(0, 1, 0, 0, 0);
    Form2 *show = p.form2();
    QCOMPARE(show->labelColor(), palette::kHighlight);
    QTest::keyClick(show, Qt::Key_Right);
    QCOMPARE(show->Label3->text(), file(f, 1)); // the list's entry, not the slot's neighbour
    QTest::keyClick(show, Qt::Key_Right);
    QCOMPARE(show->Label3->text(), file(f, 2));
    QVERIFY(!show->Timer1->isActive());
    QCOMPARE(show->labelColor(), palette::kHighlight);
    // Up resumes: white label, timer on, the next tick shows the list's next entry.
    QTest::keyClick(show, Qt::Key_Up);
    QCOMPARE(show->labelColor(), palette::kPlain);
    QVERIFY(show->Timer1->isActive());
    QCOMPARE(p.showSource, qint16(1));
    show->Timer1_Timer();
    QCOMPARE(show->Label3->text(), file(f, 3));
}

void tst_SlideShow::leftWrapsBothWays()
{
    ProgramFixture f;
    start(f, 4, 0);
    Program &p = *f.program;
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    show->Timer1_Timer(); // entry 0 shown, position 1
    QTest::keyClick(show, Qt::Key_Left);
    QCOMPARE(show->Label3->text(), file(f, 3)); // before the first comes the last
    QCOMPARE(p.listPosition, qint16(0));
    QCOMPARE(show->showEndPending, qint16(1));
    QTest::keyClick(show, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(show->Label3->text(), file(f, 2)); // position 0: the one before the last
}

void tst_SlideShow::stepsKeepPendingShowGoing()
{
    ProgramFixture f;
    start(f, 2, 0);
    Program &p = *f.program;
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    show->Timer1_Timer();
    show->Timer1_Timer(); // last entry: the end is pending
    QCOMPARE(show->showEndPending, qint16(1));
    QTest::keyClick(show, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(show->Label3->text(), file(f, 0));
    QCOMPARE(show->showEndPending, qint16(0));
    show->Timer1_Timer();
    QVERIFY(p.isForm2Loaded());
    QCOMPARE(show->Label3->text(), file(f, 1));
}

// "&Loop" shows the entry at the position without moving it on.
void tst_SlideShow::beforeFirstTick()
{
    ProgramFixture f;
    start(f, 4, 1);
    Program &p = *f.program;
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    QTest::keyClick(show, Qt::Key_Right);
    QCOMPARE(show->Label3->text(), file(f, 0));
    p.listPosition = 0;
    QTest::keyClick(show, Qt::Key_Left);
    QCOMPARE(show->Label3->text(), file(f, 2));
}

void tst_SlideShow::holdResumePause()
{
    ProgramFixture f;
    start(f, 3, 1);
    Program &p = *f.program;
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    QTest::keyClick(show, Qt::Key_Down);
    QVERIFY(!show->Timer1->isActive());
    QCOMPARE(show->labelColor(), palette::kHighlight);
    QTest::keyClick(show, Qt::Key_Right);
    QVERIFY(!show->Timer1->isActive()); // a step keeps a held show held
    QTest::keyClick(show, Qt::Key_Pause);
    QVERIFY(show->Timer1->isActive());
    QCOMPARE(show->labelColor(), palette::kPlain);
    QTest::keyClick(show, Qt::Key_Pause);
    QVERIFY(!show->Timer1->isActive());
    QCOMPARE(show->labelColor(), palette::kHighlight);
    QTest::keyClick(show, Qt::Key_Escape); // not a key of the show
    QVERIFY(p.isForm2Loaded());
}

void tst_SlideShow::printingStopsShow()
{
    ProgramFixture f;
    start(f, 3, 1);
    Program &p = *f.program;
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    QTest::mouseClick(show->Label3, Qt::LeftButton);
    QCOMPARE(f.services.printCalls, 1);
    QVERIFY(f.services.messages.isEmpty());
    QVERIFY(!show->Timer1->isActive());
    QCOMPARE(show->labelColor(), palette::kPlain); // stopped, though the label is white
    QTest::keyClick(show, Qt::Key_Right);
    QVERIFY(show->Timer1->isActive()); // the white label starts it again
}

void tst_SlideShow::printingFails()
{
    ProgramFixture f;
    start(f, 1, 1);
    f.services.printSucceeds = false;
    f.program->startForm()->loopits->trigger();
    f.program->form2()->Label3_Click();
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
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    const QRectF natural = show->twipRect(show->Image1);
    QCOMPARE(natural.size(), QSizeF(3000, 1500));
    QTest::keyClick(show, Qt::Key_PageUp);
    QTest::keyClick(show, Qt::Key_PageUp);
    QTest::keyClick(show, Qt::Key_PageDown);
    const QRectF zoomed = show->twipRect(show->Image1);
    QVERIFY(qAbs(zoomed.width() - 3000 * 1.089) < 0.01);
    QVERIFY(qAbs(zoomed.height() - 1500 * 1.089) < 0.01);
    QVERIFY(qAbs(zoomed.center().x() - 6000) < 0.01);
    QVERIFY(qAbs(zoomed.center().y() - 6000) < 0.01);
    // The next picture is drawn into the same box until Home.
    show->Timer1_Timer();
    QCOMPARE(show->twipRect(show->Image1).size(), zoomed.size());
    QTest::keyClick(show, Qt::Key_Home);
    QCOMPARE(show->twipRect(show->Image1), natural);
}

void tst_SlideShow::backgroundKey()
{
    ProgramFixture f;
    start(f, 1, 1);
    Program &p = *f.program;
    const QString readFolder = p.settings.lastFolder;
    p.startForm()->Dir1->setPath(f.folder.path()); // browsed since: not what F2 saves
    p.settings.slideInterval = 2.5f;
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    for (int i = 0; i < 13; ++i) {
        QTest::keyClick(show, Qt::Key_F2);
    }
    QCOMPARE(p.settings.bgColorIndex, qint16(0));
    QCOMPARE(show->backgroundColor(), 0);
    QCOMPARE(p.startForm()->backgroundColor(), 0);
    QCOMPARE(p.settings.savedColorIndex, qint16(3));
    QCOMPARE(f.ini(), "2.5,0,1,\"" + readFolder.toUtf8() + "\",0\r\n");
}

void tst_SlideShow::hideFileName()
{
    ProgramFixture f;
    start(f, 1, 1);
    Program &p = *f.program;
    startfrm *main = p.startForm();
    main->File1->setCurrentRow(0);
    main->File1_KeyUp(39, 0);
    p.unloadForm2();
    p.settings.hideFileName = 1;
    main->open_MouseUp(0, 1, 0, 0, 0); // creates the window: its load hides the label
    QVERIFY(p.form2()->Label3->isHidden());
    p.form2()->Form_Click();
    p.settings.hideFileName = 0;
    main->open_MouseUp(0, 1, 0, 0, 0);
    QVERIFY(!p.form2()->Label3->isHidden());
}

void tst_SlideShow::largePictureCentred()
{
    ProgramFixture f;
    start(f, 1, 1, QSize(1000, 900));
    f.program->startForm()->loopits->trigger();
    Form2 *show = f.program->form2();
    // 15000 × 13500 twips on a 12000 × 12000 screen: cut off equally on every side.
    QCOMPARE(show->twipRect(show->Image1), QRectF(-1500, -750, 15000, 13500));
    QCOMPARE(show->Image1->geometry(), QRect(-100, -50, 1000, 900));
}

void tst_SlideShow::unreadablePicture()
{
    ProgramFixture f;
    start(f, 2, 1);
    f.folder.write("pics/01.bmp", "damaged");
    Program &p = *f.program;
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    show->Timer1_Timer();
    QVERIFY(!show->Image1->picture().isEmpty());
    show->Timer1_Timer();
    QCOMPARE(show->Label3->text(), file(f, 1));
    QVERIFY(show->Image1->picture().isEmpty()); // not the previous picture under this name
    show->Timer1_Timer();
    QCOMPARE(show->Label3->text(), file(f, 0));
}

// Closed through the window system, the show ends as on a click: a later touch of the window
// loads it afresh as a thumbnail view instead of showing an empty full-screen window.
void tst_SlideShow::closingEndsShow()
{
    ProgramFixture f;
    start(f, 2, 1);
    Program &p = *f.program;
    p.startForm()->loopits->trigger();
    QVERIFY(p.form2()->close());
    QVERIFY(!p.isForm2Loaded());
    QCOMPARE(p.showSource, qint16(0));
    QVERIFY(p.startForm()->isVisible());
    Form2 *again = p.form2();
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
    startfrm *main = p.startForm();
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    show->Timer1_Timer();
    main->filename[2]->setText(file(f, 0));
    main->filename[6]->setText(file(f, 0).toUpper());
    main->filename[7]->setText("/other.gif");
    main->filename[7]->setBackground(palette::color(palette::kHighlight));
    if (onPicture) {
        QTest::mouseClick(show->Image1, Qt::LeftButton);
    } else {
        QTest::mouseClick(show, Qt::LeftButton, {}, QPoint(790, 790));
    }
    QVERIFY(!p.isForm2Loaded());
    QCOMPARE(main->filename[2]->background(), palette::color(palette::kHighlight));
    QCOMPARE(main->filename[6]->background(),
             palette::color(otherCaseLit ? palette::kHighlight : palette::kPlain));
    QCOMPARE(main->filename[7]->background(), palette::color(palette::kPlain));
}

// The next entry is read ahead while a picture is up; a file that changes meanwhile is read again.
void tst_SlideShow::readAheadFollowsFile()
{
    ProgramFixture f;
    start(f, 3, 1, QSize(40, 30));
    Program &p = *f.program;
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    show->Timer1_Timer();
    QCOMPARE(show->readAheadPath(), file(f, 1));
    show->waitForDecodes();
    f.folder.writePicture("pics/01.bmp", 64, 48);
    show->Timer1_Timer();
    QCOMPARE(show->Image1->picture().naturalSize, QSize(64, 48));
    QCOMPARE(show->readAheadPath(), file(f, 2));
    show->waitForDecodes();
    show->Timer1_Timer();
    QCOMPARE(show->Image1->picture().naturalSize, QSize(42, 30));
}

// Left with a single file points before the list; the only picture is shown again.
void tst_SlideShow::singleFileLeft()
{
    ProgramFixture f;
    start(f, 1, 1);
    Program &p = *f.program;
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    show->Timer1_Timer();
    QTest::keyClick(show, Qt::Key_Left);
    QCOMPARE(show->Label3->text(), file(f, 0));
    QVERIFY(!show->Image1->picture().isEmpty());
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
    p.startForm()->File1->refresh();
    p.startForm()->loopits->trigger();
    Form2 *show = p.form2();
    const Picture &shown = show->Image1->picture();
    QCOMPARE(shown.naturalSize, QSize(2000, 1000));
    QCOMPARE(shown.region, QRect(600, 100, 800, 800)); // the centred 800 × 800 screen
    QCOMPARE(shown.image.size(), QSize(800, 800));
    QVERIFY(qRed(shown.image.pixel(200, 400)) > 200 && qBlue(shown.image.pixel(200, 400)) < 60);
    QVERIFY(qBlue(shown.image.pixel(600, 400)) > 200 && qRed(shown.image.pixel(600, 400)) < 60);
    QTest::keyClick(show, Qt::Key_PageDown);
    QTRY_VERIFY(show->Image1->picture().region.isEmpty());
    QCOMPARE(show->Image1->picture().image.size(), QSize(2000, 1000));
}

QTEST_MAIN(tst_SlideShow)
#include "tst_slideshow.moc"
