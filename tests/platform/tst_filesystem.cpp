#include "platform/fileops.h"

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

QTEST_GUILESS_MAIN(tst_FileSystem)
#include "tst_filesystem.moc"
