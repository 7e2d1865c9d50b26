#include "platform/fileops.h"
#include "system/names.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Renames across file systems: whole or not at all.
class tst_FileSystem : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void renameAcross_data();
    void renameAcross();
    void namesKeepTheirBytes_data();
    void namesKeepTheirBytes();
};

void tst_FileSystem::renameAcross_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("copied whole") << false;
    QTest::newRow("destination fills up") << true;
}

void tst_FileSystem::renameAcross()
{
    QFETCH(bool, diskFull);
    QTemporaryDir here;
    QTemporaryDir there(QStringLiteral("/dev/shm/tst_filesystem-XXXXXX"));
    struct stat a
    {
    };
    struct stat b
    {
    };
    if (!there.isValid() || ::stat(qPrintable(here.path()), &a) != 0
        || ::stat(qPrintable(there.path()), &b) != 0 || a.st_dev == b.st_dev) {
        QSKIP("no second file system to rename across");
    }
    const QString from = there.filePath("photo.jpg");
    const QString to = here.filePath("photo.jpg");
    QFile file(from);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1 << 20, 'x'));
    file.close();
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(1'000'000'000);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();

    // The rename runs in a child whose file-size limit plays the full disk.
    const pid_t child = ::fork();
    if (child == 0) {
        if (diskFull) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit { 64 * 1024, 64 * 1024 };
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::_exit(fileops::rename(from, to).isEmpty() ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), diskFull ? 1 : 0);
    if (diskFull) {
        QVERIFY(!QFileInfo::exists(to)); // no partial copy left behind
        QCOMPARE(QFileInfo(from).size(), qint64(1 << 20));
    } else {
        QVERIFY(!QFileInfo::exists(from));
        QCOMPARE(QFileInfo(to).size(), qint64(1 << 20));
        QCOMPARE(QFileInfo(to).lastModified(), modified);
    }
}

void tst_FileSystem::namesKeepTheirBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("isText");
    QTest::newRow("plain") << QByteArray("photo.jpg") << QString("photo.jpg") << true;
    QTest::newRow("UTF-8") << QByteArray("f\xc3\xaate.jpg") << QString("f\u00eate.jpg") << true;
    QTest::newRow("outside the BMP")
        << QByteArray("\xf0\x9f\x98\x80.gif") << QString("\U0001F600.gif") << true;
    QTest::newRow("the replacement character itself")
        << QByteArray("bad\xef\xbf\xbd.jpg") << QString("bad\uFFFD.jpg") << true;
    QTest::newRow("stray byte") << QByteArray("bad\xff.jpg") << QString("bad\uFFFD.jpg") << false;
    QTest::newRow("Latin-1") << QByteArray("f\xe9te.jpg") << QString("f\uFFFDte.jpg") << false;
    QTest::newRow("overlong slash")
        << QByteArray("a\xc0\xaf.jpg") << QString("a\uFFFD\uFFFD.jpg") << false;
    // A surrogate spelled in UTF-8 would, read leniently, be the very text a stray byte becomes.
    QTest::newRow("encoded surrogate")
        << QByteArray("\xed\xb3\xbf.jpg") << QString("\uFFFD\uFFFD\uFFFD.jpg") << false;
    QTest::newRow("cut short") << QByteArray("euro\xe2\x82") << QString("euro\uFFFD\uFFFD")
                               << false;
}

void tst_FileSystem::namesKeepTheirBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QFETCH(bool, isText);
    const QString name = systemfiles::decodeName(bytes);
    QCOMPARE(systemfiles::encodeName(name), bytes);
    QCOMPARE(systemfiles::displayName(name), shown);
    QCOMPARE(!systemfiles::hasUndecodedBytes(name), isText);
    if (isText) {
        QCOMPARE(name, QString::fromUtf8(bytes));
    }
}

QTEST_GUILESS_MAIN(tst_FileSystem)
#include "tst_filesystem.moc"
