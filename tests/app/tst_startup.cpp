#include "browser/mainwindow.h"
#include "core/palette.h"
#include "platform/controls.h"
#include "programfixture.h"
#include "setup/setupdialog.h"
#include "slideshow/slideshowwindow.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

// Start-up from the settings file: which settings end up in force, and what the file holds after.
class tst_Startup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstStart();
    void savedSettingsApplied();
    void badFileRewritten_data();
    void badFileRewritten();
    void untimeableInterval();
    void unwritableSettingsKeepDefaults();
    void readOnlyProgramFolder();
    void hideMinusOneTicksBox();
    void singleLoopModeSelected();
    void slotGeometryRecorded();
    void pathsFromProgramFolder();
};

void tst_Startup::firstStart()
{
    ProgramFixture f;
    f.folder.write("pic.gif", "x");
    f.start();
    Program &p = *f.program;
    QCOMPARE(f.ini(), f.defaultRecord());
    MainWindow *main = startForm(p);
    QCOMPARE(main->windowTitle(), QString("VELDRANE W95 and NT"));
    QVERIFY(main->isVisible());
    QVERIFY(main->windowState() & Qt::WindowMaximized);
    QCOMPARE(main->backgroundColor(), 3);
    QVERIFY(p.isSetupDialogLoaded());
    QVERIFY(p.isSlideShowLoaded());
    QVERIFY(!form4(p)->isVisible());
    QVERIFY(!form2(p)->isVisible());
    QCOMPARE(form4(p)->swatchColor(), 3);
    QCOMPARE(Text1(form4(p))->text(), QString("3"));
    QCOMPARE(Timer1(p)->interval(), 3000);
    QVERIFY(!Timer1(p)->isActive());
    QCOMPARE(form2(p)->windowTitle(), QString("VELDRANE W95 and NT"));
    QCOMPARE(p.settings().loopMode, qint16(1));
    QCOMPARE(File1(main)->path(), f.folder.path());
    QCOMPARE(File1(main)->listCount(), 1);
    QVERIFY(f.services.messages.isEmpty());
}

void tst_Startup::savedSettingsApplied()
{
    ProgramFixture f;
    const QString pics = f.folder.makeFolder("Pictures, old \"and\" new");
    f.folder.write("Pictures, old \"and\" new/a.jpg", "x");
    f.folder.write("Pictures, old \"and\" new/b.JPG", "x");
    QString folder = pics;
    folder.replace("\"", "\"\"");
    const QByteArray record = "2.5,12,0,\"" + folder.toUtf8() + "\",1\r\n";
    f.writeIni(record);
    f.start();
    Program &p = *f.program;
    QCOMPARE(f.ini(), record); // nothing rewritten
    QCOMPARE(p.settings().slideInterval, 2.5f);
    QCOMPARE(p.settings().bgColorIndex, qint16(12));
    QCOMPARE(p.settings().loopMode, qint16(0));
    QCOMPARE(p.settings().hideFileName, qint16(1));
    QCOMPARE(p.settings().lastFolder, pics);
    QCOMPARE(File1(startForm(p))->path(), pics);
    QCOMPARE(File1(startForm(p))->listCount(), 2);
    QCOMPARE(startForm(p)->backgroundColor(), 12);
    QCOMPARE(Text1(form4(p))->text(), QLocale().toString(2.5));
    QCOMPARE(Timer1(p)->interval(), 2500);
    QCOMPARE(qint16(p.show().listPosition()), qint16(0));
}

void tst_Startup::badFileRewritten_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("two fields") << QByteArray("5,3\r\n");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("not numbers") << QByteArray("soon,blue,yes,\"/\",no\r\n");
    QTest::newRow("vanished folder") << QByteArray("2.5,12,0,\"/no/such/folder\",1\r\n");
    QTest::newRow("colour outside the palette") << QByteArray("2.5,99,0,\"/\",1\r\n");
    QTest::newRow("not a folder") << QByteArray("2.5,12,0,\"/etc/hostname\",1\r\n");
}

// Any failure from the read on rewrites the defaults; since the Setup dialog reads the file again
// during start-up, the defaults are what is in force afterwards.
void tst_Startup::badFileRewritten()
{
    QFETCH(QByteArray, record);
    ProgramFixture f;
    f.writeIni(record);
    f.start();
    Program &p = *f.program;
    QCOMPARE(f.ini(), f.defaultRecord());
    QCOMPARE(p.settings().slideInterval, 3.0f);
    QCOMPARE(p.settings().bgColorIndex, qint16(3));
    QCOMPARE(p.settings().loopMode, qint16(1));
    QCOMPARE(p.settings().hideFileName, qint16(0));
    QCOMPARE(Timer1(p)->interval(), 3000);
    QCOMPARE(startForm(p)->backgroundColor(), 3);
    QVERIFY(f.services.messages.isEmpty());
}

// The settings file cannot be written (here it is a folder): the program still starts, with the
// defaults in force.
// An interval the timer cannot take is replaced by 3 and the file by the defaults; the other
// settings read stay in force for this run.
void tst_Startup::untimeableInterval()
{
    ProgramFixture f;
    f.writeIni("100,12,0,\"" + f.folder.path().toUtf8() + "\",1\r\n");
    f.start();
    Program &p = *f.program;
    QCOMPARE(f.ini(), f.defaultRecord());
    QCOMPARE(p.settings().slideInterval, 3.0f);
    QCOMPARE(Timer1(p)->interval(), 3000);
    QCOMPARE(Text1(form4(p))->text(), QString("3"));
    QCOMPARE(p.settings().bgColorIndex, qint16(12));
}

void tst_Startup::unwritableSettingsKeepDefaults()
{
    ProgramFixture f;
    f.folder.makeFolder("QUERNDAL.INI");
    f.start();
    Program &p = *f.program;
    QVERIFY(startForm(p)->isVisible());
    QCOMPARE(p.settings().slideInterval, 3.0f);
    QCOMPARE(p.settings().bgColorIndex, qint16(3));
    QCOMPARE(p.settings().loopMode, qint16(1));
    QCOMPARE(Timer1(p)->interval(), 3000);
    QCOMPARE(File1(startForm(p))->path(), f.folder.path());
}

void tst_Startup::readOnlyProgramFolder()
{
    ProgramFixture f;
    f.writeIni("7,4,0,\"/nowhere\",1\r\n"); // bad folder: start-up wants to rewrite the file
    QFile::setPermissions(f.folder.path(), QFile::ReadOwner | QFile::ExeOwner);
    if (QFile(f.folder.filePath("probe")).open(QIODevice::WriteOnly)) {
        QFile::setPermissions(
            f.folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("running with rights that ignore folder permissions");
    }
    f.start();
    Program &p = *f.program;
    QFile::setPermissions(f.folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(f.ini(), QByteArray("7,4,0,\"/nowhere\",1\r\n"));
    QVERIFY(startForm(p)->isVisible());
    QCOMPARE(p.settings().slideInterval, 3.0f);
    QCOMPARE(p.settings().bgColorIndex, qint16(3));
}

void tst_Startup::hideMinusOneTicksBox()
{
    ProgramFixture f;
    f.writeIni("3,3,1,\"" + f.folder.path().toUtf8() + "\",-1\r\n");
    f.start();
    QVERIFY(Check1(form4(*f.program))->isChecked());
    QCOMPARE(f.program->settings().hideFileName, qint16(1));
}

void tst_Startup::singleLoopModeSelected()
{
    ProgramFixture f;
    f.writeIni("3,3,0,\"" + f.folder.path().toUtf8() + "\",0\r\n");
    f.start();
    QVERIFY(Option1(form4(*f.program))->isChecked());
    QVERIFY(!Option2(form4(*f.program))->isChecked());
    QCOMPARE(f.program->settings().loopMode, qint16(0));
}

// The slots' geometry is recorded for the maximised window (the offscreen screen is 800 x 800).
void tst_Startup::slotGeometryRecorded()
{
    ProgramFixture f;
    f.start();
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    const QSizeF inner = main->innerSize();
    QVERIFY(inner.width() > MainWindow::kDesignWidth);
    for (int i : { 0, 6, 19 }) {
        const QRectF r = main->twipRect(open(main, i));
        QCOMPARE(p.slotRing().geometry(i).left, int(std::nearbyint(r.left())));
        QCOMPARE(p.slotRing().geometry(i).top, int(std::nearbyint(r.top())));
        QCOMPARE(p.slotRing().geometry(i).width, int(std::nearbyint(r.width())));
        QCOMPARE(p.slotRing().geometry(i).height, int(std::nearbyint(r.height())));
    }
    // Slot 6 sits at its design proportion of the maximised inner area.
    QCOMPARE(main->twipRect(open(main, 6)).left(),
        double(float(3660.0 / 9480.0) * float(inner.width())));
}

void tst_Startup::pathsFromProgramFolder()
{
    ProgramFixture f;
    f.start();
    Program &p = *f.program;
    QCOMPARE(p.settingsPath(), f.folder.filePath("QUERNDAL.INI"));
    QCOMPARE(p.helpFilePath(), f.folder.filePath("QUERNDAL.hlp"));

    // At the root the folder loses its separator and the file gets exactly one.
    FakeServices services;
    Program atRoot(services, "/", Program::WindowFactories {});
    atRoot.computePaths();
    QCOMPARE(atRoot.programFolder(), QString(""));
    QCOMPARE(atRoot.settingsPath(), QString("/QUERNDAL.INI"));
    QCOMPARE(atRoot.helpFilePath(), QString("/QUERNDAL.hlp"));
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
