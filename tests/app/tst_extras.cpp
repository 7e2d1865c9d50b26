#include "browser/mainwindow.h"
#include "core/extras.h"
#include "programfixture.h"
#include "slideshow/slideshowwindow.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTest>

// The extras file and what each extra changes, with the extra on and off.
class tst_Extras : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstStartWritesFile();
    void fileKeptAndRead();
    void moreFileTypes_data();
    void moreFileTypes();
    void otherFormatOnlyUnderItsName();
    void fitLargePictures_data();
    void fitLargePictures();
    void fittedThenSmallAtOwnSize();
    void escEndsShow_data();
    void escEndsShow();
    void deleteToTrash_data();
    void deleteToTrash();

private:
    // A program whose extras file says `extras` (nothing: no file), listing `pics`.
    void start(ProgramFixture &f, const QByteArray &extras)
    {
        const QString pics = f.folder.makeFolder("pics");
        if (!extras.isNull()) {
            f.folder.write("querndal-extras.ini", "[Extras]\n" + extras);
        }
        f.writeIni("3,3,1,\"" + pics.toUtf8() + "\",0\r\n");
        f.start();
    }
    // The show's thumbnail view of `name`, put into the next slot as a click in the list does.
    SlideShowWindow *showOne(ProgramFixture &f, const QString &name)
    {
        Program &p = *f.program;
        MainWindow *main = startForm(p);
        const int row = int(p.folder().names().indexOf(name));
        File1(main)->setCurrentRow(row);
        main->File1_KeyUp(39, 0);
        main->waitForThumbnails();
        main->open_MouseUp(p.slotRing().nextSlot() - 1, 1, 0, 0, 0);
        return form2(p);
    }
};

void tst_Extras::firstStartWritesFile()
{
    ProgramFixture f;
    start(f, QByteArray());
    QCOMPARE(f.folder.read("querndal-extras.ini"), extras::defaultText());
    QCOMPARE(f.program->extras(), Extras {});
}

void tst_Extras::fileKeptAndRead()
{
    ProgramFixture f;
    start(f, "EscEndsShow=true\n");
    QCOMPARE(f.folder.read("querndal-extras.ini"), QByteArray("[Extras]\nEscEndsShow=true\n"));
    QCOMPARE(f.program->extras(), (Extras { false, false, true, false }));
}

void tst_Extras::moreFileTypes_data()
{
    QTest::addColumn<QByteArray>("extras");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("no file") << QByteArray() << QStringList { "a.jpg", "c.BMP" };
    QTest::newRow("off") << QByteArray("MoreFileTypes=false\n") << QStringList { "a.jpg", "c.BMP" };
    QTest::newRow("on") << QByteArray("MoreFileTypes=true\n")
                        << QStringList { "a.jpg", "b.jpeg", "c.BMP", "d.JPE", "e.png", "f.webp",
                               "g.tif", "h.TIFF" };
}

// Listed in the list's order; each of them makes a thumbnail.
void tst_Extras::moreFileTypes()
{
    QFETCH(QByteArray, extras);
    QFETCH(QStringList, listed);
    ProgramFixture f;
    const QList<std::pair<const char *, const char *>> files
        = { { "a.jpg", "JPG" }, { "b.jpeg", "JPG" }, { "c.BMP", "BMP" }, { "d.JPE", "JPG" },
              { "e.png", "PNG" }, { "f.webp", "WEBP" }, { "g.tif", "TIFF" }, { "h.TIFF", "TIFF" },
              { "n.heic", "PNG" }, { "o.txt", "PNG" } };
    for (const auto &[name, format] : files) {
        QVERIFY(
            !f.folder.writePicture(QStringLiteral("pics/") + QLatin1String(name), 36, 24, format)
                 .isEmpty());
    }
    start(f, extras);
    Program &p = *f.program;
    QStringList names;
    for (int i = 0; i < File1(startForm(p))->listCount(); ++i) {
        names.append(File1(startForm(p))->list(i));
    }
    QCOMPARE(names, listed);
    QCOMPARE(FileList::pattern(false), QStringLiteral("*.bmp;*.wmf;*.gif;*.jpg"));
    for (int i = 0; i < listed.size(); ++i) {
        File1(startForm(p))->setCurrentRow(i);
        startForm(p)->File1_KeyUp(39, 0);
    }
    startForm(p)->waitForThumbnails();
    for (int i = 0; i < listed.size(); ++i) {
        QVERIFY2(!control<ImageBox>(startForm(p), QStringLiteral("open%1").arg(i))
                      ->picture()
                      .image.isNull(),
            qPrintable(listed[i]));
    }
}

// A PNG named .bmp stays the failed load it is without the extra, and with it.
void tst_Extras::otherFormatOnlyUnderItsName()
{
    ProgramFixture f;
    f.folder.writePicture("pics/x.bmp", 36, 24, "PNG");
    start(f, "MoreFileTypes=true\n");
    Program &p = *f.program;
    File1(startForm(p))->setCurrentRow(0);
    startForm(p)->File1_KeyUp(39, 0);
    startForm(p)->waitForThumbnails();
    QCOMPARE(p.slotRing().file(0), f.folder.filePath("pics/x.bmp"));
    QVERIFY(control<ImageBox>(startForm(p), "open0")->picture().image.isNull());
}

void tst_Extras::fitLargePictures_data()
{
    QTest::addColumn<QByteArray>("extras");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRectF>("opened");
    QTest::addColumn<QRectF>("afterEnd");
    // The screen is 12000 × 12000 twips, 15 twips a pixel.
    QTest::newRow("off, large: own size, End does nothing")
        << QByteArray() << QSize(1000, 500) << QRectF(-1500, 2250, 15000, 7500)
        << QRectF(-1500, 2250, 15000, 7500);
    QTest::newRow("on, large: fitted")
        << QByteArray("FitLargePictures=true\n") << QSize(1000, 500) << QRectF(0, 3000, 12000, 6000)
        << QRectF(0, 3000, 12000, 6000);
    QTest::newRow("on, tall: fitted")
        << QByteArray("FitLargePictures=true\n") << QSize(400, 1000) << QRectF(3600, 0, 4800, 12000)
        << QRectF(3600, 0, 4800, 12000);
    QTest::newRow("on, small: own size, End fits")
        << QByteArray("FitLargePictures=true\n") << QSize(200, 100)
        << QRectF(4500, 5250, 3000, 1500) << QRectF(0, 3000, 12000, 6000);
}

// Opened fitted where larger than the screen; End fits, Home gives the own size back.
void tst_Extras::fitLargePictures()
{
    QFETCH(QByteArray, extras);
    QFETCH(QSize, size);
    QFETCH(QRectF, opened);
    QFETCH(QRectF, afterEnd);
    ProgramFixture f;
    f.folder.writePicture("pics/a.jpg", size.width(), size.height(), "JPG");
    start(f, extras);
    SlideShowWindow *show = showOne(f, "a.jpg");
    QCOMPARE(show->twipRect(Image1(show)), opened);
    QTest::keyClick(show, Qt::Key_End);
    QCOMPARE(show->twipRect(Image1(show)), afterEnd);
    QTest::keyClick(show, Qt::Key_Home);
    const QSizeF own(size.width() * 15.0, size.height() * 15.0);
    QCOMPARE(show->twipRect(Image1(show)).size(), own);
    QCOMPARE(show->twipRect(Image1(show)).center(), QPointF(6000, 6000));
    QVERIFY(f.program->isSlideShowLoaded());
}

// A small picture after a fitted one is shown at its own size, not stretched into the fit.
void tst_Extras::fittedThenSmallAtOwnSize()
{
    ProgramFixture f;
    f.folder.writePicture("pics/a.jpg", 1000, 500, "JPG");
    f.folder.writePicture("pics/b.jpg", 200, 100, "JPG");
    start(f, "FitLargePictures=true\n");
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->waitForDecodes();
    QCOMPARE(show->twipRect(Image1(show)), QRectF(0, 3000, 12000, 6000));
    show->Timer1_Timer();
    show->Timer1_Timer();
    show->waitForDecodes();
    QCOMPARE(show->shownFile(), f.folder.filePath("pics/b.jpg"));
    QCOMPARE(show->twipRect(Image1(show)), QRectF(4500, 5250, 3000, 1500));
}

void tst_Extras::escEndsShow_data()
{
    QTest::addColumn<QByteArray>("extras");
    QTest::addColumn<bool>("ends");
    QTest::newRow("no file") << QByteArray() << false;
    QTest::newRow("off") << QByteArray("EscEndsShow=false\n") << false;
    QTest::newRow("on") << QByteArray("EscEndsShow=true\n") << true;
}

void tst_Extras::escEndsShow()
{
    QFETCH(QByteArray, extras);
    QFETCH(bool, ends);
    ProgramFixture f;
    f.folder.writePicture("pics/a.bmp", 40, 30);
    start(f, extras);
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    QTest::keyClick(form2(p), Qt::Key_Escape);
    QCOMPARE(p.isSlideShowLoaded(), !ends);
}

void tst_Extras::deleteToTrash_data()
{
    QTest::addColumn<bool>("trashTakesIt");
    QTest::addColumn<QList<Services::Answer>>("answers");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<QString>("outcome");
    const QString moveTo
        = QStringLiteral("Do you really want to move this file, %1, to the trash?");
    const QString cannot = QStringLiteral(
        "The file %1 cannot be moved to the trash. Do you want to delete it permanently?");
    QTest::newRow("to the trash") << true << QList { Services::Answer::Yes }
                                  << QStringList { moveTo } << "trashed";
    QTest::newRow("answered No") << true << QList { Services::Answer::No } << QStringList { moveTo }
                                 << "kept";
    QTest::newRow("no trash, deleted")
        << false << QList { Services::Answer::Yes, Services::Answer::Yes }
        << QStringList { moveTo, cannot } << "deleted";
    QTest::newRow("no trash, kept")
        << false << QList { Services::Answer::Yes, Services::Answer::No }
        << QStringList { moveTo, cannot } << "kept";
}

// The desktop's trash under a folder of the test's own: where its place is taken by a file,
// no trash can take anything.
void tst_Extras::deleteToTrash()
{
    QFETCH(bool, trashTakesIt);
    QFETCH(QList<Services::Answer>, answers);
    QFETCH(QStringList, questions);
    QFETCH(QString, outcome);
    ProgramFixture f;
    const QString data = f.folder.makeFolder("data");
    if (!trashTakesIt) {
        f.folder.write("data/Trash", "not a folder");
    }
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    qputenv("HOME", QFile::encodeName(f.folder.path()));
    f.folder.writePicture("pics/a.bmp", 40, 30);
    start(f, "DeleteToTrash=true\n");
    Program &p = *f.program;
    File1(startForm(p))->setCurrentRow(0);
    startForm(p)->File1_KeyUp(39, 0);
    for (Services::Answer answer : answers) {
        f.services.answers.enqueue(answer);
    }
    menuItem(startForm(p), "deleteit")->trigger();
    qputenv("XDG_DATA_HOME", oldData);
    qputenv("HOME", oldHome);
    const QString path = f.folder.filePath("pics/a.bmp");
    QCOMPARE(f.services.messages.size(), questions.size());
    for (int i = 0; i < questions.size(); ++i) {
        QCOMPARE(f.services.messages[i].text, questions[i].arg(path));
        QCOMPARE(f.services.messages[i].buttons, Services::Buttons::YesNo);
    }
    QCOMPARE(f.folder.exists("pics/a.bmp"), outcome == "kept");
    QCOMPARE(f.folder.exists("data/Trash/files/a.bmp"), outcome == "trashed");
    QCOMPARE(p.slotRing().file(0), outcome == "kept" ? path : QString());
}

QTEST_MAIN(tst_Extras)
#include "tst_extras.moc"
