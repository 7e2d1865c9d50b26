#include "browser/mainwindow.h"
#include "programfixture.h"

#include <QApplication>
#include <QTest>

// On a high-density screen (twice the pixels of the logical size) thumbnails are decoded at the
// device's pixels, not blown up from logical ones.
class tst_HiDpi : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void thumbnailAtDevicePixels();
};

void tst_HiDpi::thumbnailAtDevicePixels()
{
    ProgramFixture f;
    const QString pics = f.folder.makeFolder("pics");
    f.folder.writePicture("pics/a.bmp", 1600, 1200);
    f.writeIni("3,3,1,\"" + pics.toUtf8() + "\",0\r\n");
    f.start();
    MainWindow *main = startForm(*f.program);
    QCOMPARE(main->devicePixelRatioF(), 2.0);
    File1(main)->setCurrentRow(0);
    main->File1_KeyUp(39, 0);
    main->waitForThumbnails();
    const ImageBox *slot = open(main, 0);
    const QImage &held = slot->picture().image;
    QVERIFY(!held.isNull());
    // The decode fills the slot's device pixels: about twice its logical width.
    QVERIFY2(held.width() >= 2 * slot->width() - 2,
        qPrintable(QStringLiteral("%1 pixels held for a slot %2 wide")
                       .arg(held.width())
                       .arg(slot->width())));
}

int main(int argc, char *argv[])
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    tst_HiDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hidpi.moc"
