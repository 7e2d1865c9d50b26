#include "pictures/thumbnailcache.h"

#include "pictures/asyncpictureloader.h"
#include "pictures/picture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
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
    void slotTakesCachedThumbnail_data();
    void slotTakesCachedThumbnail();

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
    // The freedesktop rules' own example, and the characters other programs leave unescaped.
    QTest::newRow("plain") << "/home/jens/photos/me.png"
                           << QByteArray("file:///home/jens/photos/me.png")
                           << "c6ee772d9e49320e97ec29a7eb5b1697.png";
    QTest::newRow("reserved kept")
        << "/p/a+b,c=d&e@f$g!h'(i)*~.jpg" << QByteArray("file:///p/a+b,c=d&e@f$g!h'(i)*~.jpg")
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
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser
            | QFile::ExeUser);
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
    const QString path = makePicture(
        root + QStringLiteral("/normal"), QStringLiteral("x.png"), QDateTime::currentDateTimeUtc());
    QVERIFY(!ThumbnailCache(root).stamp(path));
}

namespace {

// The slot's picture a loader with `cache` delivers for `path`.
pictures::LoadResult slotPicture(const ThumbnailCache &cache, const QString &path, QSize slot)
{
    AsyncPictureLoader loader;
    loader.setOrder(AsyncPictureLoader::Order::NewestFirst);
    loader.setThumbnailCache(cache);
    QSignalSpy delivered(&loader, &AsyncPictureLoader::loaded);
    loader.request(pictures::DecodeRequest::within(path, slot));
    loader.waitUntilIdle();
    // The thumbnail is stored after the slot has it.
    AsyncPictureLoader::waitForAllDecodes();
    return delivered.isEmpty() ? pictures::LoadResult()
                               : delivered.at(0).at(1).value<pictures::LoadResult>();
}

double meanDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row);
            const QRgb q = y.pixel(column, row);
            sum += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q))
                + qAbs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

} // namespace

void TestThumbnailCache::slotTakesCachedThumbnail_data()
{
    QTest::addColumn<QSize>("slot");
    QTest::addColumn<QString>("folder");
    QTest::newRow("a small slot, normal") << QSize(97, 77) << "normal";
    QTest::newRow("a maximised slot, large") << QSize(230, 180) << "large";
}

// A slot's first visit decodes the photo and stores its thumbnail under the folder's edge; the
// next visit takes that thumbnail (the file's pixels are no longer read: they were wiped, its
// size and time kept) and shows what a decode for the slot shows, within a small mean error.
void TestThumbnailCache::slotTakesCachedThumbnail()
{
    QFETCH(QSize, slot);
    QFETCH(QString, folder);
    QTemporaryDir pictures;
    QTemporaryDir cacheHome;
    const ThumbnailCache cache(cacheHome.path() + QStringLiteral("/thumbnails"));
    QImage photo(1800, 1200, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        for (int x = 0; x < photo.width(); ++x) {
            photo.setPixel(
                x, y, qRgb(x * 255 / 1800, y * 255 / 1200, (x / 150 + y / 150) % 2 * 200));
        }
    }
    const QString path = pictures.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(photo.save(path, "JPEG", 92));
    const QDateTime modified(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    const pictures::LoadResult decoded
        = pictures::load(pictures::DecodeRequest::within(path, slot));
    QVERIFY(decoded.ok());

    const pictures::LoadResult first = slotPicture(cache, path, slot);
    QVERIFY(first.ok());
    QCOMPARE(first.picture.image.size(), decoded.picture.image.size());
    QVERIFY(meanDifference(first.picture.image, decoded.picture.image) < 3.0);
    const QString stored = cache.root() + QLatin1Char('/') + folder + QLatin1Char('/')
        + ThumbnailCache::fileNameOf(ThumbnailCache::uriOf(path));
    const QImage thumbnail(stored);
    QCOMPARE(std::max(thumbnail.width(), thumbnail.height()), ThumbnailCache::edgeOf(folder));

    // The picture's data wiped after its headers, its size and time kept: only the cache can
    // give the picture now.
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 size = file.size();
        QVERIFY(file.seek(size / 2));
        QVERIFY(file.write(QByteArray(size / 2 - 2, '\0')) == size / 2 - 2);
        file.close();
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    const pictures::LoadResult wiped = pictures::load(pictures::DecodeRequest::within(path, slot));
    QVERIFY(!wiped.ok() || meanDifference(wiped.picture.image, decoded.picture.image) > 10.0);
    const pictures::LoadResult cached = slotPicture(cache, path, slot);
    QVERIFY(cached.ok());
    QCOMPARE(cached.picture.naturalSize, QSize(1800, 1200));
    QCOMPARE(cached.picture.file, path);
    QCOMPARE(cached.picture.image.size(), decoded.picture.image.size());
    QVERIFY2(meanDifference(cached.picture.image, decoded.picture.image) < 3.0,
        qPrintable(QString::number(meanDifference(cached.picture.image, decoded.picture.image))));
}

QTEST_GUILESS_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"
