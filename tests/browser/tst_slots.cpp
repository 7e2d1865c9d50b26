#include "browser/mainwindow.h"
#include "core/fit.h"
#include "core/palette.h"
#include "platform/controls.h"
#include "programfixture.h"
#include "slideshow/slideshowwindow.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

// Selecting pictures into the ring of twenty slots, and what the slots do afterwards.
class tst_Slots : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mouseSelectionFillsSlot();
    void keysSelectOnLeftRightOnly();
    void ringWraps_data();
    void ringWraps();
    void sameFileTwiceHighlightsBoth();
    void resetRestartsRing();
    void clearRestoresStartGeometry();
    void focusingCaptions();
    void unreadableFile_data();
    void unreadableFile();
    void resizeReadsNoFile();
    void slotClickOpensShowHeld();
    void emptySlotClickDoesNothing();
    void dropOnSlotMakesItCurrent();
    void activationIsNoFocusMove();
    void thumbnailInsideSlotOnWideScreen();

private:
    // Starts the program on a folder of pictures named 00.bmp, 01.bmp, ...
    void startWithPictures(ProgramFixture &f, int count, QSize size = QSize(80, 60));
    // Selects entry `row` of the file list with the mouse.
    void clickFile(MainWindow *main, int row);
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

void tst_Slots::startWithPictures(ProgramFixture &f, int count, QSize size)
{
    const QString pics = f.folder.makeFolder("pics");
    for (int i = 0; i < count; ++i) {
        f.folder.writePicture(QStringLiteral("pics/%1.bmp").arg(i, 2, 10, QLatin1Char('0')),
            size.width(), size.height());
    }
    f.writeIni("3,3,1,\"" + pics.toUtf8() + "\",0\r\n");
    f.start();
    MainWindow *main = startForm(*f.program);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
}

void tst_Slots::clickFile(MainWindow *main, int row)
{
    const QModelIndex item = File1(main)->model()->index(row, 0);
    QVERIFY(item.isValid());
    File1(main)->scrollTo(item);
    const QPoint at = File1(main)->visualRect(item).center();
    QTest::mouseClick(File1(main)->viewport(), Qt::LeftButton, {}, at);
}

void tst_Slots::mouseSelectionFillsSlot()
{
    ProgramFixture f;
    startWithPictures(f, 3, QSize(800, 600));
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    const QRectF before = main->twipRect(open(main, 0));
    const QRectF reference = main->twipRect(Image1(main));
    clickFile(main, 1);
    const QString path = f.folder.filePath("pics/01.bmp");
    QCOMPARE(Label1(main)->text(), path);
    QCOMPARE(p.slotRing().file(0), path);
    QCOMPARE(filename(main, 0)->text(), path);
    QCOMPARE(qint16(p.slotRing().nextSlot()), qint16(1));
    // The slot is fitted from the picture's size in twips before any pixel is decoded.
    const auto d = fit::divisor(12000, 9000, float(reference.width()), float(reference.height()));
    QCOMPARE(main->twipRect(open(main, 0)), fit::fitSlot(before, 12000, 9000, *d));
    main->waitForThumbnails();
    const Picture &shown = open(main, 0)->picture();
    QCOMPARE(shown.naturalSize, QSize(800, 600));
    QVERIFY(!shown.image.isNull());
    // Decoded for the slot, not at full size.
    QVERIFY(shown.image.width() <= open(main, 0)->width() + 1);
    QVERIFY(shown.image.width() >= open(main, 0)->width() - 1);
    QCOMPARE(filename(main, 0)->background(), yellow());
}

void tst_Slots::keysSelectOnLeftRightOnly()
{
    ProgramFixture f;
    startWithPictures(f, 4);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    clickFile(main, 0);
    QTest::keyClick(File1(main), Qt::Key_Down);
    QTest::keyClick(File1(main), Qt::Key_Up);
    QCOMPARE(qint16(p.slotRing().nextSlot()), qint16(1)); // Up and Down move the selection only
    QTest::keyClick(File1(main), Qt::Key_Right);
    QTest::keyClick(File1(main), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(File1(main), Qt::Key_Left);
    QCOMPARE(qint16(p.slotRing().nextSlot()), qint16(4));
    QCOMPARE(p.slotRing().file(1), f.folder.filePath("pics/01.bmp"));
    QCOMPARE(p.slotRing().file(2), f.folder.filePath("pics/02.bmp"));
    QCOMPARE(p.slotRing().file(3), f.folder.filePath("pics/01.bmp"));
    // The key-up refresh marks both captions that show the current file.
    QCOMPARE(filename(main, 1)->background(), yellow());
    QCOMPARE(filename(main, 3)->background(), yellow());
    QCOMPARE(filename(main, 2)->background(), white());
}

void tst_Slots::ringWraps_data()
{
    QTest::addColumn<int>("selections");
    QTest::addColumn<int>("lastSlot");
    QTest::newRow("21") << 21 << 0;
    QTest::newRow("22") << 22 << 1;
}

void tst_Slots::ringWraps()
{
    QFETCH(int, selections);
    QFETCH(int, lastSlot);
    ProgramFixture f;
    startWithPictures(f, 22, QSize(8, 6));
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    for (int k = 0; k < selections; ++k) {
        File1(main)->setCurrentRow(k);
        main->File1_KeyUp(39, 0);
    }
    auto file = [&f](int k) {
        return f.folder.filePath(QStringLiteral("pics/%1.bmp").arg(k, 2, 10, QLatin1Char('0')));
    };
    QCOMPARE(p.slotRing().file(std::size_t(lastSlot)), file(selections - 1));
    QCOMPARE(p.slotRing().file(0), file(20));
    for (int i = lastSlot + 1; i < 20; ++i) {
        QCOMPARE(p.slotRing().file(std::size_t(i)), file(i));
    }
    QCOMPARE(qint16(p.slotRing().nextSlot()), qint16(lastSlot + 1));
}

void tst_Slots::sameFileTwiceHighlightsBoth()
{
    ProgramFixture f;
    startWithPictures(f, 2);
    MainWindow *main = startForm(*f.program);
    clickFile(main, 1);
    clickFile(main, 0);
    clickFile(main, 1);
    QCOMPARE(filename(main, 0)->text(), filename(main, 2)->text());
    QCOMPARE(filename(main, 0)->background(), yellow());
    QCOMPARE(filename(main, 1)->background(), white());
    QCOMPARE(filename(main, 2)->background(), yellow());
}

void tst_Slots::resetRestartsRing()
{
    ProgramFixture f;
    startWithPictures(f, 7);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    for (int k = 0; k < 6; ++k) {
        File1(main)->setCurrentRow(k);
        main->File1_KeyUp(39, 0);
    }
    main->waitForThumbnails();
    p.show().setListPosition(4);
    menuItem(main, "reset")->trigger();
    QCOMPARE(qint16(p.show().listPosition()), qint16(0));
    File1(main)->setCurrentRow(6);
    main->File1_KeyUp(39, 0);
    QCOMPARE(p.slotRing().file(0), f.folder.filePath("pics/06.bmp"));
    for (int i = 1; i <= 5; ++i) {
        QVERIFY(!open(main, i)->picture().image.isNull());
        QCOMPARE(p.slotRing().file(std::size_t(i)),
            f.folder.filePath(QStringLiteral("pics/0%1.bmp").arg(i)));
    }
}

// Clear saves, empties every slot, and puts the slots back where start-up laid them out, even
// after resizes moved them.
void tst_Slots::clearRestoresStartGeometry()
{
    ProgramFixture f;
    startWithPictures(f, 3);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    QList<QRectF> start;
    for (int i = 0; i < 20; ++i) {
        start << QRectF(p.slotRing().geometry(i).left, p.slotRing().geometry(i).top,
            p.slotRing().geometry(i).width, p.slotRing().geometry(i).height);
    }
    clickFile(main, 0);
    clickFile(main, 2);
    main->showNormal();
    main->resize(main->designInnerPixels() * 2 + QSize(0, main->menuBar()->height()));
    QTRY_COMPARE(main->innerSize(), QSizeF(18960, 13020));
    p.settingsModel().setBgColorIndex(5);
    menuItem(main, "clear")->trigger();
    QCOMPARE(f.ini(), "3,5,1,\"" + f.folder.filePath("pics").toUtf8() + "\",0\r\n");
    QVERIFY(main->windowState() & Qt::WindowMaximized);
    QTRY_COMPARE(main->twipRect(open(main, 1)).width(), start[1].width());
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(main->twipRect(open(main, i)), start[i]);
        QVERIFY(open(main, i)->picture().isEmpty());
        QVERIFY(p.slotRing().file(std::size_t(i)).isEmpty());
        QVERIFY(filename(main, i)->text().isEmpty());
        QCOMPARE(filename(main, i)->background(), white());
    }
    QVERIFY(Label1(main)->text().isEmpty());
    QCOMPARE(qint16(p.slotRing().nextSlot()), qint16(0));
}

void tst_Slots::focusingCaptions()
{
    ProgramFixture f;
    startWithPictures(f, 2);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    clickFile(main, 0);
    clickFile(main, 1);
    filename(main, 0)->setFocus();
    QCOMPARE(qint16(p.slotRing().currentSlot()), qint16(0));
    QCOMPARE(Label1(main)->text(), p.slotRing().file(0));
    QCOMPARE(filename(main, 0)->background(), yellow());
    QCOMPARE(filename(main, 1)->background(), white());
    // Losing the focus keeps the highlight until another caption takes it.
    File1(main)->setFocus();
    QCOMPARE(filename(main, 0)->background(), yellow());
    // An empty caption: nothing highlighted, and no current file.
    filename(main, 7)->setFocus();
    QCOMPARE(qint16(p.slotRing().currentSlot()), qint16(7));
    QVERIFY(Label1(main)->text().isEmpty());
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(filename(main, i)->background(), white());
    }
}

void tst_Slots::unreadableFile_data()
{
    QTest::addColumn<int>("slot");
    QTest::newRow("slot 0") << 0;
    QTest::newRow("slot 5") << 5;
}

// A file that cannot be decoded takes its slot under its own name with an empty picture; the
// picture of the file selected before it is never shown in its place.
void tst_Slots::unreadableFile()
{
    QFETCH(int, slot);
    ProgramFixture f;
    startWithPictures(f, 1);
    f.folder.write("pics/zz_broken.jpg", "this is not a picture");
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    File1(main)->refresh();
    p.slotRing().setNextSlot(qint16(slot));
    clickFile(main, 0);
    main->waitForThumbnails();
    QVERIFY(!open(main, slot)->picture().image.isNull());
    p.slotRing().setNextSlot(qint16(slot));
    const QRectF geometry = main->twipRect(open(main, slot));
    clickFile(main, 1);
    main->waitForThumbnails();
    const QString broken = f.folder.filePath("pics/zz_broken.jpg");
    QCOMPARE(Label1(main)->text(), broken);
    QCOMPARE(p.slotRing().file(std::size_t(slot)), broken);
    QCOMPARE(filename(main, slot)->text(), broken);
    QVERIFY(open(main, slot)->picture().image.isNull());
    QCOMPARE(main->twipRect(open(main, slot)), geometry);
    QCOMPARE(qint16(p.slotRing().nextSlot()), qint16(slot + 1));
}

// Resizing re-fits the filled slots from what they hold: the files can be gone.
void tst_Slots::resizeReadsNoFile()
{
    ProgramFixture f;
    startWithPictures(f, 3, QSize(60, 80));
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    for (int k = 0; k < 3; ++k) {
        File1(main)->setCurrentRow(k);
        main->File1_KeyUp(39, 0);
    }
    main->waitForThumbnails();
    QVERIFY(QDir(f.folder.filePath("pics")).removeRecursively());
    main->showNormal();
    main->resize(main->designInnerPixels() * 2 + QSize(0, main->menuBar()->height()));
    QTRY_COMPARE(main->innerSize(), QSizeF(18960, 13020));
    // A tall picture is 4.525 reference boxes high, the box now 510 twips high.
    const QRectF r = main->twipRect(open(main, 1));
    QCOMPARE(float(r.height()), float(4.525 * 510.0));
    QCOMPARE(r.center(), QRectF(7320, 240, 2910, 2310).center());
    for (int i = 0; i < 3; ++i) {
        QVERIFY(!open(main, i)->picture().image.isNull());
    }
    QCOMPARE(main->twipRect(open(main, 3)), QRectF(13080, 240, 2910, 2310)); // empty: plain box
    QCOMPARE(p.slotRing().file(1), f.folder.filePath("pics/01.bmp"));
}

void tst_Slots::slotClickOpensShowHeld()
{
    ProgramFixture f;
    startWithPictures(f, 2, QSize(320, 200));
    Program &p = *f.program;
    p.settingsModel().setLoopMode(0);
    MainWindow *main = startForm(p);
    clickFile(main, 1);
    main->waitForThumbnails();
    p.setCurrentFile(QString());
    QTest::mouseClick(open(main, 0), Qt::LeftButton);
    SlideShowWindow *show = form2(p);
    QCOMPARE(qint16(p.show().fromList()), qint16(0));
    QCOMPARE(qint16(p.slotRing().currentSlot()), qint16(0));
    QCOMPARE(qint16(p.show().continuous()), qint16(0));
    QCOMPARE(Label1(main)->text(), p.slotRing().file(0));
    QCOMPARE(Label3(show)->text(), p.slotRing().file(0));
    QVERIFY(show->isVisible());
    QVERIFY(!main->isVisible());
    QCOMPARE(show->labelColor(), palette::kHighlight);
    QVERIFY(!Timer1(p)->isActive());
    // At the picture's own size, centred on the 800 × 800 screen.
    QCOMPARE(show->twipRect(Image1(show)), QRectF(6000 - 2400, 6000 - 1500, 4800, 3000));
    QTRY_COMPARE(Image1(show)->picture().image.size(), QSize(320, 200)); // sharp, not the thumbnail
    QCOMPARE(f.services.busyDepth, 0);
    QVERIFY(f.services.busyCalls >= 2);
}

void tst_Slots::emptySlotClickDoesNothing()
{
    ProgramFixture f;
    startWithPictures(f, 1);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    p.show().setFromList(true);
    p.setCurrentFile("kept");
    QTest::mouseClick(open(main, 4), Qt::LeftButton);
    QCOMPARE(qint16(p.show().fromList()), qint16(0));
    QCOMPARE(qint16(p.slotRing().currentSlot()), qint16(4));
    QCOMPARE(Label1(main)->text(), QString("kept"));
    QVERIFY(main->isVisible());
    QVERIFY(!form2(p)->isVisible());
}

void tst_Slots::dropOnSlotMakesItCurrent()
{
    ProgramFixture f;
    startWithPictures(f, 1);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    clickFile(main, 0);
    p.setCurrentFile(QString());
    emit open(main, 0)->dropped();
    QCOMPARE(qint16(p.slotRing().currentSlot()), qint16(0));
    QCOMPARE(Label1(main)->text(), p.slotRing().file(0));
}

// The window coming back to the front (after a show, a box) gives the focus back to the caption
// that had it; that is no move, and the current file stays what the show left.
void tst_Slots::activationIsNoFocusMove()
{
    ProgramFixture f;
    startWithPictures(f, 2);
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    clickFile(main, 0);
    clickFile(main, 1);
    filename(main, 0)->setFocus();
    p.setCurrentFile(p.slotRing().file(1)); // what a show's last step leaves
    for (Qt::FocusReason reason : { Qt::ActiveWindowFocusReason, Qt::PopupFocusReason }) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(filename(main, 0), &out);
        QFocusEvent in(QEvent::FocusIn, reason);
        QApplication::sendEvent(filename(main, 0), &in);
    }
    QCOMPARE(p.currentFile(), p.slotRing().file(1));
    QCOMPARE(Label1(main)->text(), p.slotRing().file(1));
}

// On a wide screen the fit makes a 4:3 thumbnail taller than its slot; it is shrunk into it.
void tst_Slots::thumbnailInsideSlotOnWideScreen()
{
    ProgramFixture f;
    f.services.screenTwips = QSizeF(1920 * 15.0, 1080 * 15.0);
    startWithPictures(f, 1, QSize(800, 600));
    MainWindow *main = startForm(*f.program);
    main->resize(1920, 1000);
    QTRY_COMPARE(main->width(), 1920);
    const QRectF box = main->twipRect(open(main, 0));
    clickFile(main, 0);
    const QRectF thumb = main->twipRect(open(main, 0));
    QVERIFY2(box.adjusted(-0.5, -0.5, 0.5, 0.5).contains(thumb),
        qPrintable(QStringLiteral("%1 x %2 in %3 x %4")
                       .arg(thumb.width())
                       .arg(thumb.height())
                       .arg(box.width())
                       .arg(box.height())));
    QVERIFY(qAbs(thumb.width() / thumb.height() - 800.0 / 600.0) < 0.01);
    QVERIFY(qAbs(thumb.center().y() - box.center().y()) < 1);
}

QTEST_MAIN(tst_Slots)
#include "tst_slots.moc"
