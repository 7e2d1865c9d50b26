#include "pictures/thumbnailcache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestThumbnailCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void names_data();
    void names();
    void folders_data();
    void folders();
    void roundTrip();
    void staleOrSmallIgnored();
    void unwritableCacheSkipped();
    void cacheItselfNotThumbnailed();

private:
    // A picture file with a fixed modification time, so its stamp is known.
    QString makePicture(const QString &folder, const QString &name, const QDateTime &modified);
};

QString TestThumbnailCache::makePicture(
    const QString &folder, const QString &name, const QDateTime &modified)
{
    QImage picture(600, 400, QImage::Format_RGB32);
    picture.fill(QColor(200, 40, 10));
    const QString path = folder + QLatin1Char('/') + name;
    picture.save(path, "JPG");
    QFile file(path);
    file.open(QIODevice::ReadWrite);
    file.setFileTime(modified, QFileDevice::FileModificationTime);
    return path;
}

void TestThumbnailCache::names_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("uri");
    QTest::addColumn<QString>("fileName");
    // The specification's own example, and the characters other programs leave unescaped.
    QTest::newRow("plain") << "/home/jens/photos/me.png"
                           << QByteArray("file:///home/jens/photos/me.png")
                           << "c6ee772d9e49320e97ec29a7eb5b1697.png";
    QTest::newRow("reserved kept") << "/p/a+b,c=d&e@f$g!h'(i)*~.jpg"
                                   << QByteArray("file:///p/a+b,c=d&e@f$g!h'(i)*~.jpg")
                                   << QString();
    QTest::newRow("escaped") << "/p/a b;c#d%e?.jpg"
                             << QByteArray("file:///p/a%20b%3Bc%23d%25e%3F.jpg") << QString();
    QTest::newRow("utf-8") << QString::fromUtf8("/p/f\xc3\xaate.jpg")
                           << QByteArray("file:///p/f%C3%AAte.jpg") << QString();
}

void TestThumbnailCache::names()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, uri);
    QFETCH(QString, fileName);
    QCOMPARE(ThumbnailCache::uriOf(path), uri);
    if (!fileName.isEmpty()) {
        QCOMPARE(ThumbnailCache::fileNameOf(uri), fileName);
    }
}

void TestThumbnailCache::folders_data()
{
    QTest::addColumn<QSize>("slot");
    QTest::addColumn<QString>("folder");
    QTest::newRow("97x77") << QSize(97, 77) << "normal";
    QTest::newRow("128 edge") << QSize(100, 128) << "normal";
    QTest::newRow("194x154, 2x screen") << QSize(194, 154) << "large";
    QTest::newRow("257") << QSize(257, 10) << "x-large";
    QTest::newRow("1024") << QSize(1024, 700) << "xx-large";
    QTest::newRow("past every folder") << QSize(1025, 700) << QString();
}

void TestThumbnailCache::folders()
{
    QFETCH(QSize, slot);
    QFETCH(QString, folder);
    QCOMPARE(ThumbnailCache::folderFor(slot), folder);
}

void TestThumbnailCache::roundTrip()
{
    QTemporaryDir pictures;
    QTemporaryDir cacheHome;
    const QDateTime modified(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);
    const QString path = makePicture(pictures.path(), QStringLiteral("a b.jpg"), modified);
    const ThumbnailCache cache(cacheHome.path() + QStringLiteral("/thumbnails"));

    const auto stamp = cache.stamp(path);
    QVERIFY(stamp);
    QImage picture(600, 400, QImage::Format_RGB32);
    picture.fill(QColor(200, 40, 10));
    QVERIFY(cache.store(*stamp, QSize(194, 154), picture));

    // Named by the MD5 of the URI, in the folder that covers a 194-pixel slot, owner only.
    const QString file = cacheHome.path() + QStringLiteral("/thumbnails/large/")
        + ThumbnailCache::fileNameOf(ThumbnailCache::uriOf(path));
    QVERIFY(QFileInfo::exists(file));
    QCOMPARE(QFile::permissions(file),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    QCOMPARE(QFile::permissions(cacheHome.path() + QStringLiteral("/thumbnails")),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser
            | QFile::WriteUser | QFile::ExeUser);
    const QImage written(file);
    QCOMPARE(written.size(), QSize(256, 170));
    QCOMPARE(written.text(QStringLiteral("Thumb::URI")),
        QStringLiteral("file://") + pictures.path() + QStringLiteral("/a%20b.jpg"));
    QCOMPARE(written.text(QStringLiteral("Thumb::MTime")), QStringLiteral("1709294400"));
    QCOMPARE(written.text(QStringLiteral("Thumb::Size")), QString::number(QFileInfo(path).size()));

    // Read back for the same slot and for a smaller one (the larger folder serves it too).
    const auto found = cache.find(path, QSize(194, 154));
    QVERIFY(found);
    QCOMPARE(found->size(), QSize(256, 170));
    QCOMPARE(found->pixelColor(128, 85).red(), 200);
    QVERIFY(cache.find(path, QSize(97, 77)));

    // A failed picture is recorded in the program's own fail folder.
    QVERIFY(cache.storeFailure(*stamp));
    QVERIFY(QFileInfo::exists(cacheHome.path() + QStringLiteral("/thumbnails/fail/querndal-4.0/")
        + ThumbnailCache::fileNameOf(stamp->uri)));
}

void TestThumbnailCache::staleOrSmallIgnored()
{
    QTemporaryDir pictures;
    QTemporaryDir cacheHome;
    const QDateTime modified(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);
    const QString path = makePicture(pictures.path(), QStringLiteral("p.jpg"), modified);
    const ThumbnailCache cache(cacheHome.path() + QStringLiteral("/thumbnails"));
    QImage picture(600, 400, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QVERIFY(cache.store(*cache.stamp(path), QSize(97, 77), picture));
    QVERIFY(cache.find(path, QSize(97, 77)));

    // A 128-pixel thumbnail does not cover a 194-pixel slot: decoded instead.
    QVERIFY(!cache.find(path, QSize(194, 154)));

    // The picture rewritten later: its old thumbnail is stale.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(modified.addSecs(60), QFileDevice::FileModificationTime));
    file.close();
    QVERIFY(!cache.find(path, QSize(97, 77)));

    // A thumbnail of a picture that changed while it was decoded is not written.
    const auto before = cache.stamp(path);
    QVERIFY(file.open(QIODevice::Append));
    file.write("tail");
    file.close();
    QVERIFY(!cache.store(*before, QSize(97, 77), picture));
}

void TestThumbnailCache::unwritableCacheSkipped()
{
    QTemporaryDir pictures;
    QTemporaryDir cacheHome;
    const QString path = makePicture(pictures.path(), QStringLiteral("p.jpg"),
        QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC));
    // The cache's place is taken by a file: nothing can be written below it.
    QFile blocker(cacheHome.path() + QStringLiteral("/thumbnails"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const ThumbnailCache cache(blocker.fileName());
    QImage picture(600, 400, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QVERIFY(!cache.store(*cache.stamp(path), QSize(97, 77), picture));
    QVERIFY(!cache.find(path, QSize(97, 77)));
}

void TestThumbnailCache::cacheItselfNotThumbnailed()
{
    QTemporaryDir cacheHome;
    const QString root = cacheHome.path() + QStringLiteral("/thumbnails");
    QVERIFY(QDir().mkpath(root + QStringLiteral("/normal")));
    const QString path = makePicture(root + QStringLiteral("/normal"), QStringLiteral("x.png"),
        QDateTime::currentDateTimeUtc());
    QVERIFY(!ThumbnailCache(root).stamp(path));
}

QTEST_GUILESS_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"
