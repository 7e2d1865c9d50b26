#include "core/settings.h"
#include "core/settingsfile.h"
#include "testfolder.h"

#include <QFile>
#include <QTest>

class tst_SettingsFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void format_data();
    void format();
    void roundTrip_data();
    void roundTrip();
    void read_data();
    void read();
    void partialReadKeepsLaterFields();
    void failedWriteKeepsOldFile();
    void unwritablePlaces();
    void missingFile();
};

void tst_SettingsFile::format_data()
{
    QTest::addColumn<float>("interval");
    QTest::addColumn<int>("color");
    QTest::addColumn<int>("loop");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("hide");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("exit example") << 2.5f << 12 << 0 << "/media/d/ART" << 1
                                  << QByteArray("2.5,12,0,\"/media/d/ART\",1\r\n");
    QTest::newRow("defaults") << 3.0f << 3 << 1 << "/opt/viewer" << 0
                              << QByteArray("3,3,1,\"/opt/viewer\",0\r\n");
    QTest::newRow("shortest single precision") << 0.1f << 0 << 1 << "/" << 0
                                               << QByteArray("0.1,0,1,\"/\",0\r\n");
    QTest::newRow("hundredths") << 65.9f << 15 << 1 << "/x" << 0
                                << QByteArray("65.9,15,1,\"/x\",0\r\n");
    QTest::newRow("comma kept inside quotes") << 3.0f << 3 << 1 << "/a,b" << 0
                                              << QByteArray("3,3,1,\"/a,b\",0\r\n");
    QTest::newRow("quote doubled") << 3.0f << 3 << 1 << "/say \"hi\"" << 0
                                   << QByteArray("3,3,1,\"/say \"\"hi\"\"\",0\r\n");
    QTest::newRow("negative hide kept as stored") << 3.0f << 3 << 1 << "/" << -1
                                                  << QByteArray("3,3,1,\"/\",-1\r\n");
}

void tst_SettingsFile::format()
{
    QFETCH(float, interval);
    QFETCH(int, color);
    QFETCH(int, loop);
    QFETCH(QString, folder);
    QFETCH(int, hide);
    QFETCH(QByteArray, expected);
    QCOMPARE(SettingsFile::format(interval, color, loop, folder, hide), expected);
}

void tst_SettingsFile::roundTrip_data()
{
    QTest::addColumn<float>("interval");
    QTest::addColumn<QString>("folder");

    QTest::newRow("plain") << 2.5f << "/home/user/Pictures";
    QTest::newRow("comma") << 3.0f << "/home/user/a,b";
    QTest::newRow("quotes") << 3.0f << "/home/\"quoted\"/x";
    QTest::newRow("only a quote") << 3.0f << "\"";
    QTest::newRow("line breaks") << 3.0f << "/tmp/one\ntwo\r\nthree";
    QTest::newRow("blanks at both ends") << 3.0f << "  /tmp/padded  ";
    QTest::newRow("non-latin") << 1.25f << QString::fromUtf8("/tmp/Zdjęcia/日本");
    QTest::newRow("root") << 0.5f << "/";
    QTest::newRow("empty") << 7.0f << "";
}

void tst_SettingsFile::roundTrip()
{
    QFETCH(float, interval);
    QFETCH(QString, folder);
    TestFolder dir;
    const SettingsFile file(dir.filePath("QUERNDAL.INI"));
    Settings written;
    written.slideInterval = interval;
    written.bgColorIndex = 12;
    written.loopMode = 0;
    written.hideFileName = 1;
    QVERIFY(file.save(written, folder));

    Settings read;
    QVERIFY(file.read(read));
    QCOMPARE(read.slideInterval, interval);
    QCOMPARE(read.savedColorIndex, qint16(12));
    QCOMPARE(read.loopMode, qint16(0));
    QCOMPARE(read.lastFolder, folder);
    QCOMPARE(read.hideFileName, qint16(1));
}

void tst_SettingsFile::read_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<float>("interval");
    QTest::addColumn<int>("color");
    QTest::addColumn<int>("loop");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("hide");

    QTest::newRow("written form") << QByteArray("2.5,12,0,\"D:\\ART\",1\r\n") << true << 2.5f << 12
                                  << 0 << "D:\\ART" << 1;
    QTest::newRow("leading point") << QByteArray(".5,3,1,\"/p\",0\r\n") << true << 0.5f << 3 << 1
                                   << "/p" << 0;
    QTest::newRow("leading zero") << QByteArray("0.5,3,1,\"/p\",0") << true << 0.5f << 3 << 1
                                  << "/p" << 0;
    QTest::newRow("blanks around fields") << QByteArray(" 4 , 5 ,0 , \"/p q\" , 1 \n") << true
                                          << 4.0f << 5 << 0 << "/p q" << 1;
    QTest::newRow("minus one hide") << QByteArray("3,3,1,\"/p\",-1\r\n") << true << 3.0f << 3 << 1
                                    << "/p" << -1;
    QTest::newRow("unquoted folder") << QByteArray("3,3,1,/p/q,0\r\n") << true << 3.0f << 3 << 1
                                     << "/p/q" << 0;
    QTest::newRow("second record ignored")
        << QByteArray("3,3,1,\"/p\",0\r\n9,9,0,\"/q\",1\r\n") << true << 3.0f << 3 << 1 << "/p" << 0;
    QTest::newRow("text after closing quote") << QByteArray("3,3,1,\"/p\"junk,0") << true << 3.0f
                                              << 3 << 1 << "/p" << 0;
    QTest::newRow("two fields") << QByteArray("5,3\r\n") << false << 5.0f << 3 << 1 << "" << 0;
    QTest::newRow("empty file") << QByteArray() << false << 3.0f << 3 << 1 << "" << 0;
    QTest::newRow("interval not a number") << QByteArray("abc,4,0,\"/p\",0") << false << 3.0f << 3
                                           << 1 << "" << 0;
    QTest::newRow("colour not a number") << QByteArray("7,x,0,\"/p\",0") << false << 7.0f << 3 << 1
                                         << "" << 0;
    QTest::newRow("colour outside the palette") << QByteArray("7,16,0,\"/p\",0") << false << 7.0f
                                                << 3 << 1 << "" << 0;
    QTest::newRow("loop mode too big for 16 bits") << QByteArray("7,4,70000,\"/p\",0") << false
                                                   << 7.0f << 4 << 1 << "" << 0;
    QTest::newRow("four fields") << QByteArray("7,4,0,\"/p\"\r\n") << false << 7.0f << 4 << 0
                                 << "/p" << 0;
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe,,,", 7) << false << 3.0f << 3 << 1 << ""
                            << 0;
    QTest::newRow("infinite interval") << QByteArray("1e999,3,1,\"/p\",0") << false << 3.0f << 3
                                       << 1 << "" << 0;
}

void tst_SettingsFile::read()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(float, interval);
    QFETCH(int, color);
    QFETCH(int, loop);
    QFETCH(QString, folder);
    QFETCH(int, hide);
    TestFolder dir;
    const SettingsFile file(dir.write("QUERNDAL.INI", text));
    Settings s;
    QCOMPARE(file.read(s), ok);
    QCOMPARE(s.slideInterval, interval);
    QCOMPARE(int(s.savedColorIndex), color);
    QCOMPARE(int(s.loopMode), loop);
    QCOMPARE(s.lastFolder, folder);
    QCOMPARE(int(s.hideFileName), hide);
    // The read never touches the colour in use; the caller copies it over.
    QCOMPARE(s.bgColorIndex, qint16(3));
}

// A read that fails part-way has replaced the fields before the failing one only.
void tst_SettingsFile::partialReadKeepsLaterFields()
{
    TestFolder dir;
    const SettingsFile file(dir.write("QUERNDAL.INI", "5,3"));
    Settings s;
    s.slideInterval = 9;
    s.savedColorIndex = 9;
    s.loopMode = 0;
    s.lastFolder = "/keep";
    s.hideFileName = 1;
    QVERIFY(!file.read(s));
    QCOMPARE(s.slideInterval, 5.0f);
    QCOMPARE(s.savedColorIndex, qint16(3));
    QCOMPARE(s.loopMode, qint16(0));
    QCOMPARE(s.lastFolder, QString("/keep"));
    QCOMPARE(s.hideFileName, qint16(1));
}

// Writing into a folder that cannot take the file fails and leaves the old file whole.
void tst_SettingsFile::failedWriteKeepsOldFile()
{
    TestFolder dir;
    const QByteArray old("4,5,0,\"/old\",1\r\n");
    const QString path = dir.write("ro/QUERNDAL.INI", old);
    QFile::setPermissions(dir.filePath("ro"), QFile::ReadOwner | QFile::ExeOwner);
    const bool writable = QFile(dir.filePath("ro/probe")).open(QIODevice::WriteOnly);
    if (writable) {
        QFile::setPermissions(dir.filePath("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("running with rights that ignore folder permissions");
    }
    Settings s;
    QVERIFY(!SettingsFile(path).save(s, "/new"));
    QCOMPARE(dir.read("ro/QUERNDAL.INI"), old);
    QFile::setPermissions(dir.filePath("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Failures that hold for every user: the folder is a file, the file is a folder.
void tst_SettingsFile::unwritablePlaces()
{
    TestFolder dir;
    dir.write("plainfile", "x");
    dir.makeFolder("QUERNDAL.INI");
    Settings s;
    QVERIFY(!SettingsFile(dir.filePath("plainfile/QUERNDAL.INI")).save(s, "/new"));
    QVERIFY(!SettingsFile(dir.filePath("QUERNDAL.INI")).save(s, "/new"));
    QVERIFY(!SettingsFile(dir.filePath("QUERNDAL.INI")).read(s));
    QCOMPARE(dir.read("plainfile"), QByteArray("x"));
}

void tst_SettingsFile::missingFile()
{
    TestFolder dir;
    Settings s;
    QVERIFY(!SettingsFile(dir.filePath("none.ini")).read(s));
    QCOMPARE(s.slideInterval, 3.0f);
}

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_settingsfile.moc"
