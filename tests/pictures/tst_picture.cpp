#include "pictures/picture.h"

#include "pictures/asyncpictureloader.h"
#include "pictures/decodehook_p.h"
#include "pictures/jpegpicture.h"

#include "corpus.h"
#include "testfolder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QtEndian>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(pictures::Failure)

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

// A JPEG of `image` carrying an EXIF orientation tag, written by hand: an APP1 segment with a
// little-endian TIFF header and one IFD entry (tag 0x0112) right after the start marker.
QByteArray jpegWithOrientation(const QImage &image, int orientation)
{
    const QByteArray plain = encoded(image, "JPEG", 95);
    QByteArray tiff("II*\0", 4);
    tiff.append(QByteArray::fromHex("08000000")); // first IFD at offset 8
    tiff.append(QByteArray::fromHex("0100")); // one entry
    tiff.append(QByteArray::fromHex("12010300")); // tag 0x0112, type SHORT
    tiff.append(QByteArray::fromHex("01000000")); // count 1
    QByteArray value(4, '\0');
    qToLittleEndian<quint16>(quint16(orientation), value.data());
    tiff.append(value);
    tiff.append(QByteArray(4, '\0')); // no next IFD
    QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment = QByteArray::fromHex("ffe1");
    QByteArray length(2, '\0');
    qToBigEndian<quint16>(quint16(payload.size() + 2), length.data());
    segment += length + payload;
    return plain.left(2) + segment + plain.mid(2);
}

// Four quadrants in four colours, so any turn or mirror shows.
// An uncompressed 8-bit BMP of 4 × 2 pixels with a palette of four colours, whose last pixel is
// `lastIndex` (the others 0..3).
QByteArray pastPaletteBmp(quint8 lastIndex)
{
    QByteArray bmp(14 + 40 + 4 * 4 + 2 * 4, '\0');
    char *b = bmp.data();
    b[0] = 'B';
    b[1] = 'M';
    qToLittleEndian<quint32>(quint32(bmp.size()), b + 2);
    qToLittleEndian<quint32>(14 + 40 + 16, b + 10);
    qToLittleEndian<quint32>(40, b + 14);
    qToLittleEndian<qint32>(4, b + 18);
    qToLittleEndian<qint32>(2, b + 22);
    qToLittleEndian<quint16>(1, b + 26);
    qToLittleEndian<quint16>(8, b + 28);
    qToLittleEndian<quint32>(4, b + 46); // colours used
    for (int i = 0; i < 4; ++i) {
        b[54 + i * 4 + 2] = char(60 * i); // red rising
    }
    const quint8 pixels[8] = { 0, 1, 2, 3, 3, 2, 1, lastIndex };
    std::memcpy(b + 70, pixels, 8);
    return bmp;
}

QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    const QRgb colours[4]
        = { qRgb(220, 30, 30), qRgb(30, 200, 30), qRgb(30, 30, 220), qRgb(230, 230, 30) };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, colours[(x >= width / 2 ? 1 : 0) + (y >= height / 2 ? 2 : 0)]);
        }
    }
    return image;
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Mean absolute difference per colour channel over two images of one size, opaque parts only.
double meanDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    qint64 count = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row);
            const QRgb q = y.pixel(column, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                + std::abs(qBlue(p) - qBlue(q));
            count += 3;
        }
    }
    return count ? sum / double(count) : 0;
}

// The size a corpus file's own suite states for it, when it states one.
QSize statedSize(const QString &relative)
{
    const QFileInfo info(corpusPath(relative));
    if (relative.startsWith(QLatin1String("gif/pygif-test-suite/"))) {
        QSettings conf(info.absolutePath() + QLatin1Char('/') + info.completeBaseName()
                + QStringLiteral(".conf"),
            QSettings::IniFormat);
        return QSize(conf.value(QStringLiteral("config/width")).toInt(),
            conf.value(QStringLiteral("config/height")).toInt());
    }
    if (relative.startsWith(QLatin1String("jpeg/good/exif-orientation-examples/"))) {
        return QSize(1800, 1200); // every file shows the same landscape photo
    }
    if (relative.endsWith(QLatin1String("orientation_rectangle.jpg"))) {
        return QSize(1, 2); // stored 2×1, orientation 8
    }
    static const QRegularExpression sized(QStringLiteral("jpg-size-(\\d+)x(\\d+)\\.jpg$"));
    const auto match = sized.match(relative);
    if (match.hasMatch()) {
        return QSize(match.captured(1).toInt(), match.captured(2).toInt());
    }
    return QSize();
}

// A GIF of one colour, `side` pixels square, coded as tightly as LZW allows (the longest string
// each code can stand for, no clear codes): an honest file of over a thousand pixels a byte.
QByteArray solidGif(int side)
{
    QByteArray data;
    quint32 bits = 0;
    int count = 0;
    const auto put = [&](int code, int size) {
        bits |= quint32(code) << count;
        for (count += size; count >= 8; count -= 8) {
            data.append(char(bits & 0xFF));
            bits >>= 8;
        }
    };
    // The encoder keeps the decoder's table: the code read after code p adds p's string and
    // one index more.
    std::vector<int> length(4096, 0);
    length[0] = 1;
    int codeSize = 3;
    int next = 6; // clear 4, end 5
    int previous = -1;
    put(4, codeSize);
    qint64 left = qint64(side) * side;
    while (left > 0) {
        int code = next - 1;
        while (code > 0 && (code < 6 || length[size_t(code)] > left)) {
            --code;
        }
        put(code, codeSize);
        left -= length[size_t(code)];
        if (previous >= 0 && next < 4096) {
            length[size_t(next)] = length[size_t(previous)] + 1;
            if (++next == (1 << codeSize) && codeSize < 12) {
                ++codeSize;
            }
        }
        previous = code;
    }
    put(5, codeSize);
    if (count > 0) {
        data.append(char(bits & 0xFF));
    }
    QByteArray gif = QByteArray("GIF89a");
    QByteArray size(4, '\0');
    qToLittleEndian<quint16>(quint16(side), size.data());
    qToLittleEndian<quint16>(quint16(side), size.data() + 2);
    gif += size + QByteArray::fromHex("800000") + QByteArray::fromHex("204060ffffff");
    gif += QByteArray::fromHex("2c00000000") + size + QByteArray::fromHex("0002");
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        gif += char(block.size()) + block;
    }
    return gif + QByteArray::fromHex("003b");
}

// Fine lines in every direction and spacing: a zone plate (rings whose spacing shrinks to two
// pixels at the corners) over a grid of one-pixel lines. Any thumbnail that samples instead of
// averaging shows false rings and stripes; averaged, it is a smooth grey.
QImage lineChart(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    const double k = M_PI / (2.0 * std::hypot(width / 2.0, height / 2.0));
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double dx = x - width / 2.0;
            const double dy = y - height / 2.0;
            int grey = int(127.5 + 127.5 * std::cos(k * (dx * dx + dy * dy)));
            if (x % 7 == 0 || y % 5 == 0) {
                grey = 0;
            }
            line[x] = qRgb(grey, grey, qMin(255, grey + 40));
        }
    }
    return image;
}

// `image` reduced to `size` by plain area averaging, written the slow and obvious way: each
// output pixel the mean of the source area it covers, edge pixels weighted by their share.
QImage boxReduced(const QImage &image, const QSize &size)
{
    const QImage source = image.convertToFormat(QImage::Format_RGB32);
    const double sx = double(source.width()) / size.width();
    const double sy = double(source.height()) / size.height();
    const auto cover = [](int pixel, double from, double to) {
        return qMax(0.0, qMin(to, pixel + 1.0) - qMax(from, double(pixel)));
    };
    QImage reduced(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            double sum[3] = { 0, 0, 0 };
            for (int v = int(y * sy); v < qMin(source.height(), int(std::ceil((y + 1) * sy)));
                 ++v) {
                const double wy = cover(v, y * sy, (y + 1) * sy);
                for (int u = int(x * sx); u < qMin(source.width(), int(std::ceil((x + 1) * sx)));
                     ++u) {
                    const double w = wy * cover(u, x * sx, (x + 1) * sx) / (sx * sy);
                    const QRgb p = source.pixel(u, v);
                    sum[0] += w * qRed(p);
                    sum[1] += w * qGreen(p);
                    sum[2] += w * qBlue(p);
                }
            }
            reduced.setPixel(x, y, qRgb(int(sum[0] + 0.5), int(sum[1] + 0.5), int(sum[2] + 0.5)));
        }
    }
    return reduced;
}

// Run in a child process (--thumbnail-within <megabytes> <file>): makes a thumbnail with the
// address space limited, so a decoder that holds the natural size fails.
int thumbnailWithin(qint64 megabytes, const QString &path)
{
    const rlimit limit { rlim_t(megabytes) << 20, rlim_t(megabytes) << 20 };
    setrlimit(RLIMIT_AS, &limit);
    const pictures::LoadResult thumbnail
        = pictures::load(pictures::DecodeRequest::within(path, QSize(97, 77)));
    return thumbnail.ok() && thumbnail.picture.image.width() <= 97
            && thumbnail.picture.image.height() <= 77 && !thumbnail.picture.image.isNull()
        ? 0
        : 1;
}

// Run in a child process (the test binary started again with --load-while-changing): loads the
// file over and over, each way, while a thread keeps truncating and rewriting it. A crash shows
// as the child's abnormal end.
int loadWhileChanging(const QString &path)
{
    const QByteArray bytes = readFile(path);
    std::atomic_bool stop(false);
    std::thread writer([&] {
        while (!stop.load()) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                continue;
            }
            for (qsizetype at = 0; at < bytes.size() && !stop.load(); at += 256 * 1024) {
                file.write(bytes.mid(at, 256 * 1024));
                file.flush();
            }
        }
    });
    for (int round = 0; round < 40; ++round) {
        pictures::readSize(path);
        pictures::load(pictures::DecodeRequest::within(path, QSize(97, 77)));
        pictures::load(pictures::DecodeRequest::natural(path));
    }
    stop.store(true);
    writer.join();
    return 0;
}

} // namespace

class TestPicture : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fuzzFindings_data();
    void fuzzFindings();
    void corpusDecodes_data();
    void corpusDecodes();
    void corpusRejects_data();
    void corpusRejects();
    void corpusEither_data();
    void corpusEither();
    void gifMatchesSuiteFrame_data();
    void gifMatchesSuiteFrame();
    void gifMatchesRawDump_data();
    void gifMatchesRawDump();
    void jpegMatchesReference_data();
    void jpegMatchesReference();
    void bmpVariantsAgree_data();
    void bmpVariantsAgree();
    void exifOrientation_data();
    void exifOrientation();
    void scaledKeepsNaturalSize_data();
    void scaledKeepsNaturalSize();
    void readSizeGivesNoPixels_data();
    void readSizeGivesNoPixels();
    void contentDecidesFormat_data();
    void contentDecidesFormat();
    void bmpLastPaletteColour();
    void sizeLimits_data();
    void sizeLimits();
    void failures_data();
    void failures();
    void otherFormatsByName_data();
    void otherFormatsByName();
    void fileProblems();
    void onlyRegularFiles_data();
    void onlyRegularFiles();
    void fileChangingWhileRead_data();
    void fileChangingWhileRead();
    void bombsRefused_data();
    void bombsRefused();
    void hugeGifThumbnailStaysSmall();
    void readSizeReadsHeadersOnly();
    void embeddedProfileShownAsSrgb_data();
    void embeddedProfileShownAsSrgb();
    void reducedProgressiveFromFirstScan();
    void memoryBudget_data();
    void memoryBudget();
    void zoomedViewDecodesItsPart();
    void cancelledDecodeStops_data();
    void cancelledDecodeStops();
    void loaderAdoptsRequest();
    void thumbnailsWithoutMoire_data();
    void thumbnailsWithoutMoire();
    void visiblePartOfTurnedJpeg_data();
    void visiblePartOfTurnedJpeg();
    void reducedDecode_data();
    void reducedDecode();
    void jpegStopsWhenCancelled_data();
    void jpegStopsWhenCancelled();
    void loaderCancelsAndAbandons();
    void loaderCancelReachesRunningDecode_data();
    void loaderCancelReachesRunningDecode();
    void loaderOrder_data();
    void loaderOrder();
    void largeJpegRowsAsOneDecode_data();
    void largeJpegRowsAsOneDecode();
    void jpegSegmentsPastReadBlocks_data();
    void jpegSegmentsPastReadBlocks();
};

void TestPicture::corpusDecodes_data()
{
    QTest::addColumn<QString>("relative");
    for (const CorpusEntry &entry : corpusEntries(
             { QStringLiteral("bmp/"), QStringLiteral("gif/"), QStringLiteral("jpeg/") })) {
        if (entry.expect == QLatin1String("decode")) {
            QTest::newRow(qPrintable(entry.path)) << entry.path;
        }
    }
}

void TestPicture::corpusDecodes()
{
    QFETCH(QString, relative);
    const QString path = corpusPath(relative);
    const pictures::LoadResult loaded = pictures::load(pictures::DecodeRequest::natural(path));
    const QSize stated = statedSize(relative);
    QVERIFY2(loaded.ok(), qPrintable(loaded.reason));
    QVERIFY(!loaded.picture.image.isNull());
    QCOMPARE(loaded.picture.file, path);
    QCOMPARE(loaded.picture.image.size(), loaded.picture.naturalSize);
    if (stated.isValid()) {
        QCOMPARE(loaded.picture.naturalSize, stated);
    }
    const pictures::LoadResult header = pictures::readSize(path);
    QVERIFY(header.ok());
    QCOMPARE(header.picture.naturalSize, loaded.picture.naturalSize);
    // From memory the same picture comes out.
    const pictures::LoadResult fromMemory = pictures::loadData(readFile(path));
    QVERIFY(fromMemory.ok());
    QCOMPARE(fromMemory.picture.image, loaded.picture.image);
}

void TestPicture::corpusRejects_data()
{
    QTest::addColumn<QString>("relative");
    for (const CorpusEntry &entry : corpusEntries(
             { QStringLiteral("bmp/"), QStringLiteral("gif/"), QStringLiteral("jpeg/") })) {
        if (entry.expect == QLatin1String("reject")) {
            QTest::newRow(qPrintable(entry.path)) << entry.path;
        }
    }
}

void TestPicture::corpusRejects()
{
    QFETCH(QString, relative);
    const pictures::LoadResult loaded
        = pictures::load(pictures::DecodeRequest::natural(corpusPath(relative)));
    QVERIFY(!loaded.ok());
    QVERIFY(loaded.picture.image.isNull());
    QVERIFY(!loaded.reason.isEmpty());
    QVERIFY(loaded.failure != pictures::Failure::Missing);
}

void TestPicture::corpusEither_data()
{
    QTest::addColumn<QString>("relative");
    for (const CorpusEntry &entry : corpusEntries(
             { QStringLiteral("bmp/"), QStringLiteral("gif/"), QStringLiteral("jpeg/") })) {
        if (entry.expect == QLatin1String("either")) {
            QTest::newRow(qPrintable(entry.path)) << entry.path;
        }
    }
}

// Either outcome is right; a success is a whole picture and a failure says why.
void TestPicture::corpusEither()
{
    QFETCH(QString, relative);
    const pictures::LoadResult loaded
        = pictures::load(pictures::DecodeRequest::natural(corpusPath(relative)));
    if (loaded.ok()) {
        QVERIFY(!loaded.picture.image.isNull());
        QCOMPARE(loaded.picture.image.size(), loaded.picture.naturalSize);
    } else {
        QVERIFY(loaded.picture.image.isNull());
        QVERIFY(!loaded.reason.isEmpty());
    }
    const pictures::LoadResult thumbnail
        = pictures::load(pictures::DecodeRequest::within(corpusPath(relative), QSize(97, 77)));
    QVERIFY(thumbnail.ok() || !thumbnail.reason.isEmpty());
}

void TestPicture::gifMatchesSuiteFrame_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("frame");
    for (const CorpusEntry &entry : corpusEntries({ QStringLiteral("gif/pygif-test-suite/") })) {
        if (entry.expect != QLatin1String("decode")
            || !entry.path.endsWith(QLatin1String(".gif"))) {
            continue;
        }
        const QFileInfo info(corpusPath(entry.path));
        QSettings conf(info.absolutePath() + QLatin1Char('/') + info.completeBaseName()
                + QStringLiteral(".conf"),
            QSettings::IniFormat);
        const QStringList frames = conf.value(QStringLiteral("config/frames")).toStringList();
        // Past the limit on a side (checked by corpusDecodes), or files the suite itself calls
        // wrongly encoded, where it lists what most readers make of them (every image a frame)
        // rather than what the format says (images without a delay form one frame).
        if (frames.isEmpty()
            || conf.value(QStringLiteral("config/width")).toInt() > pictures::kMaxSide
            || conf.value(QStringLiteral("config/height")).toInt() > pictures::kMaxSide
            || conf.value(QStringLiteral("config/force-animation")).toString()
                == QLatin1String("yes")) {
            continue;
        }
        QString pixels = conf.value(frames.first() + QStringLiteral("/pixels")).toString();
        if (pixels.isEmpty()) {
            pixels = conf.value(frames.first() + QStringLiteral("/image")).toString();
        }
        if (!pixels.isEmpty()) {
            QTest::newRow(qPrintable(entry.path))
                << entry.path << info.absolutePath() + QLatin1Char('/') + pixels;
        }
    }
}

// The first frame is the picture shown; the suite gives it pixel by pixel.
void TestPicture::gifMatchesSuiteFrame()
{
    QFETCH(QString, relative);
    QFETCH(QString, frame);
    const pictures::LoadResult loaded
        = pictures::load(pictures::DecodeRequest::natural(corpusPath(relative)));
    QVERIFY2(loaded.ok(), qPrintable(loaded.reason));
    const QImage image = loaded.picture.image.convertToFormat(QImage::Format_ARGB32);
    QImage expected;
    if (frame.endsWith(QLatin1String(".rgba"))) {
        const QByteArray rgba = readFile(frame);
        QCOMPARE(rgba.size(), qsizetype(image.width()) * image.height() * 4);
        expected = QImage(reinterpret_cast<const uchar *>(rgba.constData()), image.width(),
            image.height(), QImage::Format_RGBA8888)
                       .convertToFormat(QImage::Format_ARGB32);
    } else {
        expected = QImage(frame).convertToFormat(QImage::Format_ARGB32);
    }
    QCOMPARE(image.size(), expected.size());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb want = expected.pixel(x, y);
            const QRgb got = image.pixel(x, y);
            // Transparent pixels have no colour worth comparing.
            if (qAlpha(want) == 0) {
                QVERIFY2(qAlpha(got) == 0, qPrintable(QStringLiteral("(%1,%2)").arg(x).arg(y)));
            } else {
                QVERIFY2(got == want,
                    qPrintable(QStringLiteral("(%1,%2) %3 != %4")
                                   .arg(x)
                                   .arg(y)
                                   .arg(got, 8, 16)
                                   .arg(want, 8, 16)));
            }
        }
    }
}

void TestPicture::gifMatchesRawDump_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("dump");
    // fire.rgb is the screen after the last frame, not the first frame shown here.
    for (const char *name :
        { "gifgrid", "porsche", "solid2", "treescap", "treescap-interlaced", "x-trans" }) {
        const QString gif = QStringLiteral("gif/good/giflib/%1.gif").arg(QLatin1String(name));
        QTest::newRow(name)
            << gif
            << corpusPath(QStringLiteral("gif/reference/giflib/%1.rgb").arg(QLatin1String(name)));
    }
}

void TestPicture::gifMatchesRawDump()
{
    QFETCH(QString, relative);
    QFETCH(QString, dump);
    const pictures::LoadResult loaded
        = pictures::load(pictures::DecodeRequest::natural(corpusPath(relative)));
    QVERIFY2(loaded.ok(), qPrintable(loaded.reason));
    const QImage image = loaded.picture.image.convertToFormat(QImage::Format_ARGB32);
    const QByteArray rgb = readFile(dump);
    QCOMPARE(rgb.size(), qsizetype(image.width()) * image.height() * 3);
    int differing = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb got = image.pixel(x, y);
            if (qAlpha(got) == 0) {
                continue; // the dump shows the background colour where the frame is transparent
            }
            const qsizetype at = (qsizetype(y) * image.width() + x) * 3;
            const QRgb want = qRgb(uchar(rgb[at]), uchar(rgb[at + 1]), uchar(rgb[at + 2]));
            differing += (got & 0xFFFFFF) != (want & 0xFFFFFF);
        }
    }
    QCOMPARE(differing, 0);
}

void TestPicture::jpegMatchesReference_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("reference");
    for (const QString &suite :
        { QStringLiteral("jpeg-decoder-mozilla"), QStringLiteral("jpeg-decoder") }) {
        const QDir references(corpusPath(QStringLiteral("jpeg/reference/") + suite));
        for (const QString &png : references.entryList({ QStringLiteral("*.png") })) {
            const QString base = QFileInfo(png).completeBaseName();
            const QString relative = QStringLiteral("jpeg/good/%1/%2.jpg").arg(suite, base);
            if (QFileInfo::exists(corpusPath(relative))) {
                QTest::newRow(qPrintable(relative)) << relative << references.filePath(png);
            }
        }
    }
}

// Decoders differ by a rounding step here and there (IDCT, upsampling), never by more.
void TestPicture::jpegMatchesReference()
{
    QFETCH(QString, relative);
    QFETCH(QString, reference);
    const pictures::LoadResult loaded
        = pictures::load(pictures::DecodeRequest::natural(corpusPath(relative)));
    QVERIFY2(loaded.ok(), qPrintable(loaded.reason));
    const QImage expected(reference);
    QCOMPARE(loaded.picture.image.size(), expected.size());
    const double difference = meanDifference(loaded.picture.image, expected);
    QVERIFY2(difference < 3.0, qPrintable(QString::number(difference)));
}

void TestPicture::bmpVariantsAgree_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    // The suite stores one picture in several encodings that must decode alike.
    const QString dir = QStringLiteral("bmp/good/bmpsuite/");
    for (const char *name : { "pal8-0", "pal8topdown", "pal8rle", "pal8v4", "pal8v5", "pal8os2" }) {
        QTest::newRow(name) << dir + QStringLiteral("pal8.bmp")
                            << dir + QLatin1String(name) + QStringLiteral(".bmp");
    }
    for (const char *name : { "rgb32", "rgb32bf", "rgb32bfdef" }) {
        QTest::newRow(name) << dir + QStringLiteral("rgb24.bmp")
                            << dir + QLatin1String(name) + QStringLiteral(".bmp");
    }
}

void TestPicture::bmpVariantsAgree()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    const pictures::LoadResult a
        = pictures::load(pictures::DecodeRequest::natural(corpusPath(first)));
    const pictures::LoadResult b
        = pictures::load(pictures::DecodeRequest::natural(corpusPath(second)));
    QVERIFY2(a.ok() && b.ok(), qPrintable(a.reason + b.reason));
    QCOMPARE(a.picture.image.convertToFormat(QImage::Format_RGB32),
        b.picture.image.convertToFormat(QImage::Format_RGB32));
}

void TestPicture::exifOrientation_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("natural");
    // Quadrant colours (stored: 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right) as
    // shown at the top-left, top-right, bottom-left, bottom-right.
    QTest::addColumn<QList<int>>("shown");
    QTest::newRow("1 as stored") << 1 << QSize(64, 32) << QList<int> { 0, 1, 2, 3 };
    QTest::newRow("2 mirrored") << 2 << QSize(64, 32) << QList<int> { 1, 0, 3, 2 };
    QTest::newRow("3 half turn") << 3 << QSize(64, 32) << QList<int> { 3, 2, 1, 0 };
    QTest::newRow("4 flipped") << 4 << QSize(64, 32) << QList<int> { 2, 3, 0, 1 };
    QTest::newRow("5 transposed") << 5 << QSize(32, 64) << QList<int> { 0, 2, 1, 3 };
    QTest::newRow("6 turned right") << 6 << QSize(32, 64) << QList<int> { 2, 0, 3, 1 };
    QTest::newRow("7 transversed") << 7 << QSize(32, 64) << QList<int> { 3, 1, 2, 0 };
    QTest::newRow("8 turned left") << 8 << QSize(32, 64) << QList<int> { 1, 3, 0, 2 };
}

void TestPicture::exifOrientation()
{
    QFETCH(int, orientation);
    QFETCH(QSize, natural);
    QFETCH(QList<int>, shown);
    const QImage stored = quadrants(64, 32);
    TestFolder folder;
    const QString path
        = folder.write(QStringLiteral("turned.jpg"), jpegWithOrientation(stored, orientation));

    const pictures::LoadResult header = pictures::readSize(path);
    QVERIFY(header.ok());
    QCOMPARE(header.picture.naturalSize, natural);

    const pictures::LoadResult loaded = pictures::load(pictures::DecodeRequest::natural(path));
    QVERIFY(loaded.ok());
    QCOMPARE(loaded.picture.naturalSize, natural);
    const QImage &image = loaded.picture.image;
    QCOMPARE(image.size(), natural);
    const int w = image.width();
    const int h = image.height();
    const QPoint corners[4] = { { w / 4, h / 4 }, { 3 * w / 4, h / 4 }, { w / 4, 3 * h / 4 },
        { 3 * w / 4, 3 * h / 4 } };
    const QPoint storedCorners[4] = { { 16, 8 }, { 48, 8 }, { 16, 24 }, { 48, 24 } };
    for (int i = 0; i < 4; ++i) {
        const QRgb want = stored.pixel(storedCorners[shown[i]]);
        QVERIFY2(near(image.pixel(corners[i]), want, 40), qPrintable(QString::number(i)));
    }

    // A thumbnail is turned the same way and keeps the natural size.
    const pictures::LoadResult thumbnail
        = pictures::load(pictures::DecodeRequest::within(path, QSize(16, 16)));
    QVERIFY(thumbnail.ok());
    QCOMPARE(thumbnail.picture.naturalSize, natural);
    QCOMPARE(thumbnail.picture.image.size(), natural.scaled(QSize(16, 16), Qt::KeepAspectRatio));
}

void TestPicture::scaledKeepsNaturalSize_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("natural");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<QSize>("decoded");
    QTest::newRow("jpeg, an eighth")
        << "JPEG" << QSize(800, 640) << QSize(100, 80) << QSize(100, 80);
    // Sizes round down, as QSize::scaled does.
    QTest::newRow("jpeg, thumbnail")
        << "JPEG" << QSize(1600, 1200) << QSize(97, 77) << QSize(97, 72);
    QTest::newRow("jpeg, tall") << "JPEG" << QSize(600, 1200) << QSize(97, 77) << QSize(38, 77);
    QTest::newRow("bmp, thumbnail") << "BMP" << QSize(400, 300) << QSize(97, 77) << QSize(97, 72);
    QTest::newRow("jpeg, target larger")
        << "JPEG" << QSize(50, 40) << QSize(97, 77) << QSize(50, 40);
    QTest::newRow("bmp, target larger") << "BMP" << QSize(50, 40) << QSize(97, 77) << QSize(50, 40);
}

void TestPicture::scaledKeepsNaturalSize()
{
    QFETCH(QString, format);
    QFETCH(QSize, natural);
    QFETCH(QSize, target);
    QFETCH(QSize, decoded);
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("picture"),
        encoded(quadrants(natural.width(), natural.height()), qPrintable(format)));
    const pictures::LoadResult loaded
        = pictures::load(pictures::DecodeRequest::within(path, target));
    QVERIFY2(loaded.ok(), qPrintable(loaded.reason));
    QCOMPARE(loaded.picture.naturalSize, natural);
    QCOMPARE(loaded.picture.image.size(), decoded);
    QVERIFY(near(loaded.picture.image.pixel(decoded.width() / 4, decoded.height() / 4),
        qRgb(220, 30, 30), 40));
}

void TestPicture::readSizeGivesNoPixels_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QSize>("natural");
    QTest::newRow("bmp") << "bmp/good/bmpsuite/rgb24.bmp" << QSize(127, 64);
    QTest::newRow("gif") << "gif/pygif-test-suite/four-colors.gif" << QSize(2, 2);
    QTest::newRow("jpeg") << "jpeg/good/exif-orientation-examples/Landscape_6.jpg"
                          << QSize(1800, 1200);
}

void TestPicture::readSizeGivesNoPixels()
{
    QFETCH(QString, relative);
    QFETCH(QSize, natural);
    const pictures::LoadResult header = pictures::readSize(corpusPath(relative));
    QVERIFY(header.ok());
    QVERIFY(header.picture.image.isNull());
    QCOMPARE(header.picture.naturalSize, natural);
    QCOMPARE(header.picture.file, corpusPath(relative));
}

void TestPicture::contentDecidesFormat_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("format");
    QTest::newRow("bmp named .jpg") << "a.jpg"
                                    << "BMP";
    QTest::newRow("jpeg named .gif") << "b.gif"
                                     << "JPEG";
    QTest::newRow("jpeg named .bmp") << "c.bmp"
                                     << "JPEG";
    QTest::newRow("bmp without suffix") << "d"
                                        << "BMP";
}

void TestPicture::contentDecidesFormat()
{
    QFETCH(QString, name);
    QFETCH(QString, format);
    TestFolder folder;
    const QString path = folder.write(name, encoded(quadrants(30, 20), qPrintable(format)));
    const pictures::LoadResult loaded = pictures::load(pictures::DecodeRequest::natural(path));
    QVERIFY2(loaded.ok(), qPrintable(loaded.reason));
    QCOMPARE(loaded.picture.naturalSize, QSize(30, 20));
}

// The last colour a palette defines is shown (the first one past it is refused, see failures).
void TestPicture::bmpLastPaletteColour()
{
    const pictures::LoadResult loaded = pictures::loadData(pastPaletteBmp(3));
    QVERIFY(loaded.ok());
    QCOMPARE(loaded.picture.image.pixelColor(3, 0), QColor(180, 0, 0));
}

void TestPicture::sizeLimits_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("refused");
    QTest::newRow("16000 x 16000: 256 000 000 pixels, the area limit") << QSize(16000, 16000) << false;
    QTest::newRow("16001 x 16000: one row past the area") << QSize(16001, 16000) << true;
    QTest::newRow("65535 x 3906: longest side, area within") << QSize(65535, 3906) << false;
    QTest::newRow("65535 x 3907: area 256 045 245") << QSize(65535, 3907) << true;
    QTest::newRow("65536 x 1: side past the limit") << QSize(65536, 1) << true;
}

void TestPicture::sizeLimits()
{
    QFETCH(QSize, size);
    QFETCH(bool, refused);
    QCOMPARE(pictures::exceedsLimits(size), refused);
}

void TestPicture::failures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<pictures::Failure>("failure");

    QTest::newRow("empty file") << "empty.jpg" << QByteArray() << pictures::Failure::NotAPicture;
    QTest::newRow("text") << "notes.bmp" << QByteArray("just some words\n")
                          << pictures::Failure::NotAPicture;
    // Qt reads PNG, but the program shows only its four formats.
    QTest::newRow("png") << "image.gif" << encoded(quadrants(8, 8), "PNG")
                         << pictures::Failure::NotAPicture;
    const QByteArray jpeg = encoded(quadrants(64, 64), "JPEG");
    QTest::newRow("jpeg cut in its header")
        << "cut.jpg" << jpeg.left(40) << pictures::Failure::NotAPicture;

    // A GIF screen of 65535 × 65535 with no image in it.
    QByteArray screen
        = QByteArray("GIF89a") + QByteArray::fromHex("ffffffff000000") + QByteArray(";");
    QTest::newRow("huge gif screen") << "huge.gif" << screen << pictures::Failure::TooLarge;
    // A BMP header claiming 70000 × 10 pixels: one side past the limit.
    QByteArray wide = encoded(quadrants(8, 8), "BMP");
    qToLittleEndian<qint32>(70000, wide.data() + 18);
    QTest::newRow("bmp side too long") << "wide.bmp" << wide << pictures::Failure::TooLarge;
    // Found by the fuzzer: a palette BMP of 7 bits a pixel.
    QTest::newRow("bmp seven bits a pixel")
        << "seven.bmp"
        << QByteArray::fromBase64(
               "Qk2AAAAAAAAAAE4AAAAoAAAABgAAAAYAAAD//wcAAAAAADIAAAASCwAAEgsAAAYAAP8GAAAAAAAAAP///"
               "wD/"
               "AAAAAP8AAAAA/wD///"
               "8AAgICAgICAAACAgICAgIFAAMDAwMDAwUAAwMDAwMDBQAEBAQEBAQFAAQEBAQEBAUA"
               "AAA=")
        << pictures::Failure::NotAPicture;
    // An 8-bit BMP of 4 × 2 that defines four colours and uses a fifth: index 4, the first one
    // past its palette, is no colour at all.
    QTest::newRow("bmp colour just past its palette") << "past.bmp" << pastPaletteBmp(4)
                                                        << pictures::Failure::NotAPicture;
    // A BMP claiming 15000 × 15000 (within the limits) held in a few hundred bytes: refused
    // as cut short when its rows are stored plainly, as a bomb when they are run-length coded.
    QByteArray cut = encoded(quadrants(8, 8), "BMP");
    qToLittleEndian<qint32>(15000, cut.data() + 18);
    qToLittleEndian<qint32>(15000, cut.data() + 22);
    QTest::newRow("bmp rows past the end") << "cut.bmp" << cut << pictures::Failure::NotAPicture;
    QByteArray bomb = cut;
    qToLittleEndian<quint16>(8, bomb.data() + 28);
    qToLittleEndian<quint32>(1, bomb.data() + 30); // RLE8
    QTest::newRow("bmp bomb") << "bomb.bmp" << bomb << pictures::Failure::TooLarge;
    // A JPEG frame header claiming 60000 × 60000.
    QByteArray big = jpeg;
    const qsizetype sof = big.indexOf(QByteArray::fromHex("ffc0"));
    qToBigEndian<quint16>(60000, big.data() + sof + 5);
    qToBigEndian<quint16>(60000, big.data() + sof + 7);
    QTest::newRow("jpeg too large") << "big.jpg" << big << pictures::Failure::TooLarge;

    // A progressive JPEG whose last scan is repeated until it has far more scans than any
    // encoder writes; the scans are counted before decoding, so this is refused at once.
    const QByteArray progressive = readFile(
        corpusPath(QStringLiteral("jpeg/good/jpeg-decoder-mozilla/jpg-progressive.jpg")));
    const qsizetype lastScan = progressive.lastIndexOf(QByteArray::fromHex("ffda"));
    const qsizetype end = progressive.lastIndexOf(QByteArray::fromHex("ffd9"));
    QByteArray scans = progressive.left(end);
    const QByteArray scan = progressive.mid(lastScan, end - lastScan);
    for (int i = 0; i < 3000; ++i) {
        scans += scan;
    }
    scans += QByteArray::fromHex("ffd9");
    QTest::newRow("jpeg with thousands of scans")
        << "scans.jpg" << scans << pictures::Failure::TooLarge;
}

void TestPicture::failures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(pictures::Failure, failure);
    TestFolder folder;
    const QString path = folder.write(name, bytes);
    const pictures::LoadResult loaded = pictures::load(pictures::DecodeRequest::natural(path));
    QCOMPARE(loaded.failure, failure);
    QVERIFY(!loaded.reason.isEmpty());
    QVERIFY(loaded.picture.image.isNull());
    QCOMPARE(pictures::loadData(bytes).failure, failure);
    QCOMPARE(pictures::load(pictures::DecodeRequest::within(path, QSize(97, 77))).failure, failure);
}

void TestPicture::otherFormatsByName_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("read");
    QTest::newRow("png as .png") << QByteArray("PNG") << "a.png" << true;
    QTest::newRow("png as .PNG") << QByteArray("PNG") << "a.PNG" << true;
    QTest::newRow("webp as .webp") << QByteArray("WEBP") << "a.webp" << true;
    QTest::newRow("tiff as .tif") << QByteArray("TIFF") << "a.tif" << true;
    QTest::newRow("tiff as .tiff") << QByteArray("TIFF") << "a.tiff" << true;
    QTest::newRow("png as .jpg") << QByteArray("PNG") << "a.jpg" << false;
    QTest::newRow("tiff as .bmp") << QByteArray("TIFF") << "a.bmp" << false;
    QTest::newRow("webp, no name") << QByteArray("WEBP") << "" << false;
}

// PNG, WebP and TIFF are read, with the program's limits, from a file named for one of them
// only: under the four names of old they stay the failed loads they were.
void TestPicture::otherFormatsByName()
{
    QFETCH(QByteArray, format);
    QFETCH(QString, name);
    QFETCH(bool, read);
    const QByteArray bytes = encoded(quadrants(40, 30), format.constData());
    QVERIFY(!bytes.isEmpty());
    const pictures::LoadResult thumbnail = pictures::loadData(bytes, QSize(20, 15), name);
    QCOMPARE(thumbnail.ok(), read);
    if (read) {
        QCOMPARE(thumbnail.picture.naturalSize, QSize(40, 30));
        QCOMPARE(thumbnail.picture.image.size(), QSize(20, 15));
    } else {
        QCOMPARE(thumbnail.failure, pictures::Failure::NotAPicture);
    }
}

// A file that is not there, a folder and a file without read permission each fail for their
// own reason.
void TestPicture::fileProblems()
{
    TestFolder folder;
    QCOMPARE(pictures::load(
                 pictures::DecodeRequest::natural(folder.filePath(QStringLiteral("gone.jpg"))))
                 .failure,
        pictures::Failure::Missing);
    QCOMPARE(pictures::readSize(folder.filePath(QStringLiteral("gone.jpg"))).failure,
        pictures::Failure::Missing);
    const QString sub = folder.makeFolder(QStringLiteral("pictures.jpg"));
    QCOMPARE(pictures::load(pictures::DecodeRequest::natural(sub)).failure,
        pictures::Failure::NotAPicture);

    const QString locked = folder.writePicture(QStringLiteral("locked.bmp"), 8, 8);
    QFile::setPermissions(locked, QFileDevice::Permissions());
    QFile probe(locked);
    if (probe.open(QIODevice::ReadOnly)) {
        QSKIP("running with rights that read any file");
    }
    const pictures::LoadResult loaded = pictures::load(pictures::DecodeRequest::natural(locked));
    QCOMPARE(loaded.failure, pictures::Failure::Unreadable);
    QVERIFY(!loaded.reason.isEmpty());
}

void TestPicture::onlyRegularFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("loads");
    QTest::newRow("pipe") << "fifo" << false;
    QTest::newRow("link to a pipe") << "link to fifo" << false;
    QTest::newRow("device") << "device" << false;
    QTest::newRow("link to a device") << "link to device" << false;
    QTest::newRow("link to a folder") << "link to folder" << false;
    QTest::newRow("link to a picture") << "link to picture" << true;
}

// Only a regular file (or a link to one) is read; a pipe or device is refused at once, without
// waiting for a writer that never comes.
void TestPicture::onlyRegularFiles()
{
    QFETCH(QString, kind);
    QFETCH(bool, loads);
    TestFolder folder;
    const QString picture = folder.writePicture(QStringLiteral("real.bmp"), 8, 8);
    const QString fifo = folder.filePath(QStringLiteral("pipe.bmp"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString linked = folder.filePath(QStringLiteral("linked.bmp"));
    QString path = linked;
    if (kind == QLatin1String("fifo")) {
        path = fifo;
    } else if (kind == QLatin1String("device")) {
        path = QStringLiteral("/dev/zero");
    } else {
        const QString to = kind.endsWith(QLatin1String("fifo")) ? fifo
            : kind.endsWith(QLatin1String("device"))            ? QStringLiteral("/dev/zero")
            : kind.endsWith(QLatin1String("folder"))            ? folder.path()
                                                                : picture;
        QVERIFY(QFile::link(to, linked));
    }
    for (const pictures::LoadResult &result :
        { pictures::readSize(path), pictures::load(pictures::DecodeRequest::natural(path)),
            pictures::load(pictures::DecodeRequest::within(path, QSize(97, 77))) }) {
        QCOMPARE(result.ok(), loads);
        if (!loads) {
            QCOMPARE(result.failure, pictures::Failure::NotAPicture);
            QVERIFY(!result.reason.isEmpty());
        }
    }
}

void TestPicture::fileChangingWhileRead_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    const QImage photo = quadrants(2400, 1600);
    QTest::newRow("bmp") << "changing.bmp" << encoded(photo, "BMP");
    QTest::newRow("bmp, 8 bits a pixel")
        << "changing8.bmp"
        << encoded(photo.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither), "BMP");
    QTest::newRow("jpeg") << "changing.jpg" << encoded(photo, "JPEG", 100);
    QTest::newRow("gif") << "changing.gif"
                         << readFile(corpusPath(
                                QStringLiteral("gif/good/image-gif/gifplayer-muybridge.gif")));
}

// A file cut short and written again while it is read is a failed or a whole load, never a
// crash of the reading process.
void TestPicture::fileChangingWhileRead()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    TestFolder folder;
    const QString path = folder.write(name, bytes);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.gui.imageio*=false"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(
        QCoreApplication::applicationFilePath(), { QStringLiteral("--load-while-changing"), path });
    QVERIFY(child.waitForFinished(100000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

void TestPicture::bombsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    // A GIF screen of 16000 × 16000 whose one image holds three codes, padded with a comment
    // to 64 KB: more pixels a byte than LZW can code.
    QByteArray gif = QByteArray("GIF89a") + QByteArray::fromHex("803e803e800000000000ffffff");
    gif += QByteArray::fromHex("21fe");
    for (int i = 0; i < 256; ++i) {
        gif += char(char(255)) + QByteArray(255, 'x');
    }
    gif += QByteArray::fromHex("00") + QByteArray::fromHex("2c00000000803e803e00");
    gif += QByteArray::fromHex("0202040a00") + QByteArray::fromHex("3b");
    QTest::newRow("gif claiming 16000 square in 64 KB") << "claim.gif" << gif;
    // A run-length BMP of 15000 × 15000 that ends its pixels at once, padded to 60 KB.
    QByteArray bmp = encoded(quadrants(8, 8), "BMP");
    qToLittleEndian<qint32>(15000, bmp.data() + 18);
    qToLittleEndian<qint32>(15000, bmp.data() + 22);
    qToLittleEndian<quint16>(8, bmp.data() + 28);
    qToLittleEndian<quint32>(1, bmp.data() + 30);
    bmp += QByteArray(60000, '\0') + QByteArray::fromHex("0001");
    QTest::newRow("run-length bmp claiming 15000 square in 60 KB") << "claim.bmp" << bmp;
    // A progressive JPEG whose frame header claims 16000 × 16000, carrying 512 KB of comments:
    // its decoder would hold every coefficient, half a gigabyte, for a thumbnail.
    QByteArray jpeg = readFile(
        corpusPath(QStringLiteral("jpeg/good/jpeg-decoder-mozilla/jpg-progressive.jpg")));
    const qsizetype sof = jpeg.indexOf(QByteArray::fromHex("ffc2"));
    qToBigEndian<quint16>(16000, jpeg.data() + sof + 5);
    qToBigEndian<quint16>(16000, jpeg.data() + sof + 7);
    QByteArray comments;
    for (int i = 0; i < 8; ++i) {
        comments += QByteArray::fromHex("fffeffff") + QByteArray(65533, ' ');
    }
    QTest::newRow("progressive jpeg claiming 16000 square in 512 KB")
        << "claim.jpg" << jpeg.left(2) + comments + jpeg.mid(2);
}

// Files that claim far more pixels than they can hold are refused before anything of that
// size is allocated, whole or as a thumbnail.
void TestPicture::bombsRefused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    TestFolder folder;
    const QString path = folder.write(name, bytes);
    QCOMPARE(pictures::load(pictures::DecodeRequest::within(path, QSize(97, 77))).failure,
        pictures::Failure::TooLarge);
    QCOMPARE(pictures::load(pictures::DecodeRequest::natural(path)).failure,
        pictures::Failure::TooLarge);
}

// An honest GIF of 16000 × 16000 in under 256 KB gives a thumbnail without ever holding its
// natural size (a gigabyte): the child process has a fraction of that to use.
void TestPicture::hugeGifThumbnailStaysSmall()
{
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space for itself: a limit on it cannot hold.
    QSKIP("an address-space limit does not work under AddressSanitizer");
#endif
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("solid.gif"), solidGif(16000));
    QVERIFY(QFileInfo(path).size() < 256 * 1024);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--thumbnail-within"), QStringLiteral("600"), path });
    QVERIFY(child.waitForFinished(100000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    // Averaged over the whole screen, the thumbnail has the one colour.
    const pictures::LoadResult thumbnail
        = pictures::load(pictures::DecodeRequest::within(path, QSize(97, 77)));
    QVERIFY(thumbnail.ok());
    QCOMPARE(thumbnail.picture.naturalSize, QSize(16000, 16000));
    QCOMPARE(thumbnail.picture.image.size(), QSize(77, 77));
    QCOMPARE(thumbnail.picture.image.pixel(40, 40), qRgb(0x20, 0x40, 0x60));
    // The show decodes only the part of the screen it shows.
    const pictures::LoadResult visible
        = pictures::load(pictures::DecodeRequest::visible(path, QSize(800, 600)));
    QVERIFY(visible.ok());
    QCOMPARE(visible.picture.image.size(), QSize(800, 600));
    QCOMPARE(visible.picture.region, QRect(7600, 7700, 800, 600));
}

// The size comes from the header alone: a palette BMP whose pixels use colours it does not
// define has a size, though it cannot be shown.
void TestPicture::readSizeReadsHeadersOnly()
{
    QImage palette(64, 64, QImage::Format_Indexed8);
    palette.setColorTable({ qRgb(0, 0, 0), qRgb(255, 255, 255) });
    palette.fill(1);
    QByteArray bmp = encoded(palette, "BMP");
    const quint32 bitsOffset = qFromLittleEndian<quint32>(bmp.constData() + 10);
    bmp[qsizetype(bitsOffset) + 100] = char(200);
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("undefined.bmp"), bmp);
    QCOMPARE(pictures::load(pictures::DecodeRequest::natural(path)).failure,
        pictures::Failure::NotAPicture);
    const pictures::LoadResult header = pictures::readSize(path);
    QVERIFY2(header.ok(), qPrintable(header.reason));
    QCOMPARE(header.picture.naturalSize, QSize(64, 64));
}

void TestPicture::embeddedProfileShownAsSrgb_data()
{
    QTest::addColumn<QColorSpace>("space");
    QTest::newRow("Adobe RGB") << QColorSpace(QColorSpace::AdobeRgb);
    QTest::newRow("ROMM (ProPhoto)") << QColorSpace(QColorSpace::ProPhotoRgb);
    QTest::newRow("sRGB") << QColorSpace(QColorSpace::SRgb);
    QTest::newRow("no profile") << QColorSpace();
}

// A JPEG whose numbers are in a wide-gamut space it names in an embedded profile is shown with
// the colours the profile means, as Little CMS's own converter makes them of the same file;
// one without a profile, or with an sRGB one, as its numbers are.
void TestPicture::embeddedProfileShownAsSrgb()
{
    QFETCH(QColorSpace, space);
    const QString converter = QStandardPaths::findExecutable(QStringLiteral("jpgicc"));
    if (converter.isEmpty()) {
        QSKIP("jpgicc (liblcms2-utils) is not installed: nothing independent to compare with");
    }
    // Saturated and pale colours, dark and light, in smooth runs.
    QImage numbers(256, 96, QImage::Format_RGB32);
    for (int y = 0; y < numbers.height(); ++y) {
        for (int x = 0; x < numbers.width(); ++x) {
            const int band = y / 16;
            numbers.setPixel(x, y,
                qRgb(band % 2 ? x : 255 - x, band % 3 ? (x * 3 + y) & 255 : 40,
                    band < 3 ? 255 - (x / 2) : x / 3));
        }
    }
    numbers.setColorSpace(space);
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("tagged.jpg"), encoded(numbers, "JPEG", 100));
    const QString reference = folder.filePath(QStringLiteral("srgb.jpg"));
    QCOMPARE(QProcess::execute(converter, { QStringLiteral("-q100"), path, reference }), 0);
    QImage expected(reference);
    QVERIFY(!expected.isNull());
    expected.setColorSpace(QColorSpace());
    const pictures::LoadResult loaded = pictures::load(pictures::DecodeRequest::natural(path));
    QVERIFY2(loaded.ok(), qPrintable(loaded.reason));
    QImage plain;
    QVERIFY(plain.loadFromData(readFile(path)));
    plain.setColorSpace(QColorSpace());
    const double fromReference = meanDifference(loaded.picture.image, expected);
    QVERIFY2(fromReference < 1.5, qPrintable(QString::number(fromReference)));
    // The conversion is no small change: the numbers as they stand are far from the colours.
    const bool wide = space.isValid() && space != QColorSpace(QColorSpace::SRgb);
    QCOMPARE(meanDifference(plain, expected) > 8, wide);
}

// A progressive JPEG claiming `size` (4:2:0, so three bytes of coefficients a pixel), padded
// with metadata to a file large enough to hold that many pixels plausibly.
QByteArray claimedProgressive(const QSize &size)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(quadrants(64, 48));
    for (qsizetype at = 2; at + 9 < bytes.size(); ++at) {
        if (uchar(bytes[at]) == 0xFF && uchar(bytes[at + 1]) == 0xC2) {
            qToBigEndian<quint16>(quint16(size.height()), bytes.data() + at + 5);
            qToBigEndian<quint16>(quint16(size.width()), bytes.data() + at + 7);
            break;
        }
    }
    const qint64 padding = qint64(size.width()) * size.height() / 64;
    QByteArray segments;
    for (qint64 done = 0; done < padding; done += 65000) {
        segments
            += QByteArray::fromHex("FFEE") + QByteArray::fromHex("FDEA") + QByteArray(65000, 'x');
    }
    return bytes.insert(2, segments);
}

// A reduced picture of a progressive JPEG is its first scan (the mean of each block, so each
// block comes out flat): the interim picture at a small part of a full decode's cost. A
// baseline JPEG's reduced picture keeps its detail.
void TestPicture::reducedProgressiveFromFirstScan()
{
    QImage checks(64, 64, QImage::Format_Grayscale8);
    for (int y = 0; y < checks.height(); ++y) {
        for (int x = 0; x < checks.width(); ++x) {
            checks.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        }
    }
    TestFolder folder;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(95);
    writer.setProgressiveScanWrite(true);
    QVERIFY(writer.write(checks));
    const QString progressive = folder.write(QStringLiteral("progressive.jpg"), bytes);
    const QString baseline
        = folder.write(QStringLiteral("baseline.jpg"), encoded(checks, "JPEG", 95));
    const pictures::LoadResult coarse
        = pictures::load(pictures::DecodeRequest::reduced(progressive, QSize(64, 64)));
    QVERIFY2(coarse.ok(), qPrintable(coarse.reason));
    QCOMPARE(coarse.picture.image.size(), QSize(64, 64));
    QCOMPARE(coarse.picture.image.pixel(0, 0), coarse.picture.image.pixel(1, 0));
    QVERIFY(qAbs(qGray(coarse.picture.image.pixel(3, 3)) - 128) < 16);
    const pictures::LoadResult sharp
        = pictures::load(pictures::DecodeRequest::reduced(baseline, QSize(64, 64)));
    QVERIFY(qGray(sharp.picture.image.pixel(1, 0)) - qGray(sharp.picture.image.pixel(0, 0)) > 128);
}

void TestPicture::memoryBudget_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("decodes");
    // One colour over 16000 x 16000 pixels in 94 KB: 1 GB at its own size.
    const QByteArray gif = solidGif(16000);
    QTest::newRow("huge GIF, natural") << gif << "natural" << false;
    QByteArray cut = encoded(quadrants(1000, 1000), "JPEG", 30);
    for (qsizetype at = 2; at + 9 < cut.size(); ++at) {
        if (uchar(cut[at]) == 0xFF && uchar(cut[at + 1]) == 0xC0) {
            qToBigEndian<quint16>(16000, cut.data() + at + 5);
            qToBigEndian<quint16>(16000, cut.data() + at + 7);
            break;
        }
    }
    cut = cut.leftJustified(70 * 1024, '\0', true);
    QTest::newRow("cut-short JPEG claiming 16000 x 16000, natural") << cut << "natural" << false;
    QTest::newRow("the same on the screen") << cut << "screen" << true;
    // 12000 x 9000 in scans: 324 MB of coefficients whatever the scale.
    QTest::newRow("large progressive JPEG, thumbnail")
        << claimedProgressive(QSize(12000, 9000)) << "thumbnail" << false;
    QTest::newRow("progressive JPEG within the budget, thumbnail")
        << claimedProgressive(QSize(4000, 3000)) << "thumbnail" << true;
}

// What a decode needs is decided from the header before anything is allocated: a picture that
// would pass the budget is refused as too large, saying why, whatever its file claims.
void TestPicture::memoryBudget()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, what);
    QFETCH(bool, decodes);
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("claim"), bytes);
    const pictures::DecodeRequest request = what == "natural"
        ? pictures::DecodeRequest::natural(path)
        : what == "screen" ? pictures::DecodeRequest::within(path, QSize(1920, 1080))
                           : pictures::DecodeRequest::within(path, QSize(97, 77));
    const pictures::LoadResult result = pictures::load(request);
    if (decodes) {
        QVERIFY2(result.ok(), qPrintable(result.reason));
        QVERIFY(
            qint64(result.picture.image.width()) * result.picture.image.height() <= 1920 * 1080);
    } else {
        QCOMPARE(result.failure, pictures::Failure::TooLarge);
        QVERIFY(result.reason.contains(QStringLiteral("memory")));
    }
}

// Zoomed far into a large picture, only the part on the screen is decoded, at the n/8 scale
// covering the size shown, its edges on whole eighths of the picture.
void TestPicture::zoomedViewDecodesItsPart()
{
    TestFolder folder;
    // 4800 x 4000 at its own size takes 77 MB: more than a few screens.
    const QString path
        = folder.write(QStringLiteral("large.jpg"), encoded(quadrants(4800, 4000), "JPEG", 50));
    const QRect part(2100, 1500, 801, 1000);
    const pictures::LoadResult ownSize
        = pictures::load(pictures::DecodeRequest::within(path, QSize(4800, 4000), part));
    QVERIFY2(ownSize.ok(), qPrintable(ownSize.reason));
    QCOMPARE(ownSize.picture.region, part);
    QCOMPARE(ownSize.picture.image.size(), QSize(801, 1000));
    // Past the picture's middle (2400, 2000) the quadrants change colour.
    QVERIFY(near(ownSize.picture.image.pixel(200, 200), qRgb(220, 30, 30), 40));
    QVERIFY(near(ownSize.picture.image.pixel(400, 600), qRgb(230, 230, 30), 40));
    const pictures::LoadResult larger
        = pictures::load(pictures::DecodeRequest::within(path, QSize(9600, 8000), part));
    QCOMPARE(larger.picture.region, part);
    // Half size: 2400 x 2000, 19 MB, decoded whole.
    const pictures::LoadResult half
        = pictures::load(pictures::DecodeRequest::within(path, QSize(2400, 2000), part));
    QVERIFY(half.picture.region.isEmpty());
    QCOMPARE(half.picture.image.size(), QSize(2400, 2000));
}

void TestPicture::cancelledDecodeStops_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("gif") << solidGif(2000);
    QTest::newRow("jpeg") << encoded(quadrants(1600, 1200), "JPEG");
    QTest::newRow("bmp") << encoded(quadrants(160, 120), "BMP");
}

// A decode whose flag is set stops and says so; it never passes for a picture.
void TestPicture::cancelledDecodeStops()
{
    QFETCH(QByteArray, bytes);
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("picture"), bytes);
    const std::atomic_bool cancelled(true);
    QCOMPARE(pictures::load(pictures::DecodeRequest::natural(path), &cancelled).failure,
        pictures::Failure::Cancelled);
    QCOMPARE(
        pictures::load(pictures::DecodeRequest::within(path, QSize(97, 77)), &cancelled).failure,
        pictures::Failure::Cancelled);
    QVERIFY(pictures::load(pictures::DecodeRequest::natural(path)).ok());
}

// A request in flight is found by what it decodes and its result taken at once; it is then not
// delivered a second time.
void TestPicture::loaderAdoptsRequest()
{
    TestFolder folder;
    const QString first
        = folder.write(QStringLiteral("first.jpg"), encoded(quadrants(1600, 1200), "JPEG"));
    const QString second
        = folder.write(QStringLiteral("second.jpg"), encoded(quadrants(300, 200), "JPEG"));
    AsyncPictureLoader loader;
    QSignalSpy delivered(&loader, &AsyncPictureLoader::loaded);
    const int thumbnail = loader.request(pictures::DecodeRequest::within(first, QSize(97, 77)));
    const int visible = loader.request(pictures::DecodeRequest::visible(second, QSize(100, 100)));
    QCOMPARE(loader.find(pictures::DecodeRequest::visible(second, QSize(100, 100))), visible);
    QCOMPARE(loader.find(pictures::DecodeRequest::within(first, QSize(97, 77))), thumbnail);
    QCOMPARE(loader.find(pictures::DecodeRequest::within(second, QSize(100, 100))), 0);
    QCOMPARE(loader.find(pictures::DecodeRequest::visible(second, QSize(200, 100))), 0);
    const std::optional<pictures::LoadResult> adopted = loader.waitFor(visible);
    QVERIFY(adopted && adopted->ok());
    QCOMPARE(adopted->picture.region, QRect(100, 50, 100, 100));
    QVERIFY(!loader.waitFor(visible));
    QTRY_COMPARE(delivered.count(), 1);
    QCOMPARE(delivered.at(0).at(0).toInt(), thumbnail);
    QCOMPARE(loader.pending(), 0);
}

// A cancelled request is never delivered, and a loader destroyed with decodes queued and
// running goes at once; the decodes end without touching it.
void TestPicture::loaderCancelsAndAbandons()
{
    TestFolder folder;
    const QString huge = folder.write(QStringLiteral("huge.gif"), solidGif(8000));
    const QString small
        = folder.write(QStringLiteral("small.bmp"), encoded(quadrants(30, 20), "BMP"));
    {
        AsyncPictureLoader loader;
        QSignalSpy delivered(&loader, &AsyncPictureLoader::loaded);
        const int cancelled = loader.request(pictures::DecodeRequest::natural(huge));
        const int kept = loader.request(pictures::DecodeRequest::natural(small));
        loader.cancel(cancelled);
        QVERIFY(!loader.waitFor(cancelled));
        loader.waitForDone();
        QCOMPARE(delivered.count(), 1);
        QCOMPARE(delivered.at(0).at(0).toInt(), kept);
    }
    auto *abandoned = new AsyncPictureLoader;
    abandoned->request(pictures::DecodeRequest::natural(huge));
    abandoned->request(pictures::DecodeRequest::within(huge, QSize(97, 77)));
    delete abandoned;
    AsyncPictureLoader::waitForAllDecodes();
    QCoreApplication::processEvents();
}

namespace {

// Decodes held at their start until they are cancelled: how many came, and whether every one
// saw its cancel. A cancel that never comes lets a decode go after half a minute, so a fault fails
// the test instead of hanging it.
std::atomic_int heldDecodes { 0 };
std::atomic_bool heldSawCancel { true };

void holdUntilCancelled(const std::atomic_bool *cancelled)
{
    ++heldDecodes;
    const auto seen = [cancelled] { return cancelled && cancelled->load(); };
    for (int i = 0; i < 30000 && !seen(); ++i) {
        QThread::msleep(1);
    }
    if (!seen()) {
        heldSawCancel = false;
    }
}

} // namespace

void TestPicture::loaderCancelReachesRunningDecode_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("jpeg") << QStringLiteral("held.jpg") << encoded(quadrants(64, 48), "JPEG");
    // Handed on to the metafile queue before it decodes.
    QTest::newRow("metafile") << QStringLiteral(
        "held.wmf") << readFile(corpusPath(QStringLiteral("wmf/good/libwmf/anim0002.wmf")));
}

// Cancelling a request whose decode has begun stops that decode: one that cannot end before it
// is cancelled ends, and nothing is delivered. (Stepping fast through large pictures would
// otherwise wait behind every decode it left.)
void TestPicture::loaderCancelReachesRunningDecode()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    TestFolder folder;
    const QString path = folder.write(file, bytes);
    AsyncPictureLoader::waitForAllDecodes();
    heldDecodes = 0;
    heldSawCancel = true;
    pictures::testing::setDecodeHook(holdUntilCancelled);
    const auto unhook = qScopeGuard([] { pictures::testing::setDecodeHook(nullptr); });
    AsyncPictureLoader loader;
    QSignalSpy delivered(&loader, &AsyncPictureLoader::loaded);
    const int ticket = loader.request(pictures::DecodeRequest::natural(path));
    QTRY_COMPARE_WITH_TIMEOUT(heldDecodes.load(), 1, 60000);
    loader.cancel(ticket);
    AsyncPictureLoader::waitForAllDecodes();
    QVERIFY(heldSawCancel.load());
    QCOMPARE(heldDecodes.load(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(delivered.count(), 0);
}

void TestPicture::loaderOrder_data()
{
    QTest::addColumn<bool>("showAfter");
    QTest::addColumn<bool>("cancelOdd");
    QTest::newRow("thumbnails, the newest first") << false << false;
    QTest::newRow("a show's decode before the thumbnails") << true << false;
    QTest::newRow("stale thumbnails never delivered") << false << true;
}

// Twelve thumbnails asked at once: the decodes already running (one a core) finish, then the
// newest comes before every older one still queued; a show's decode asked after them all never
// waits behind them; a thumbnail cancelled (its slot chosen again) is never delivered.
void TestPicture::loaderOrder()
{
    QFETCH(bool, showAfter);
    QFETCH(bool, cancelOdd);
    TestFolder folder;
    const QString path
        = folder.write(QStringLiteral("photo.jpg"), encoded(quadrants(3000, 2000), "JPEG"));
    AsyncPictureLoader thumbnails;
    thumbnails.setOrder(AsyncPictureLoader::Order::NewestFirst);
    AsyncPictureLoader show;
    QList<int> delivered;
    // Both loaders count their tickets from 1: the show's are kept negative here.
    for (AsyncPictureLoader *loader : { &thumbnails, &show }) {
        const int sign = loader == &show ? -1 : 1;
        connect(loader, &AsyncPictureLoader::loaded, this,
            [&delivered, sign](int ticket, const pictures::LoadResult &result) {
                QVERIFY(result.ok());
                delivered.append(sign * ticket);
            });
    }
    // Every decode that starts waits until all are asked, so the order depends on the loader
    // alone, not on how many decodes a busy machine finishes while the test asks.
    static std::atomic_bool asking;
    asking = true;
    pictures::testing::setDecodeHook([](const std::atomic_bool *) {
        for (int i = 0; i < 30000 && asking.load(); ++i) {
            QThread::msleep(1);
        }
    });
    const auto unhook = qScopeGuard([] {
        asking = false;
        pictures::testing::setDecodeHook(nullptr);
    });
    QList<int> asked;
    for (int i = 0; i < 12; ++i) {
        asked.append(thumbnails.request(pictures::DecodeRequest::natural(path)));
    }
    int shown = 0;
    if (showAfter) {
        shown = -show.request(pictures::DecodeRequest::natural(path));
    }
    if (cancelOdd) {
        for (int i = 1; i < asked.size(); i += 2) {
            thumbnails.cancel(asked[i]);
        }
    }
    asking = false;
    QTRY_COMPARE_WITH_TIMEOUT(thumbnails.pending() + show.pending(), 0, 60000);
    const int cores = QThread::idealThreadCount();
    const int wanted = cancelOdd ? 6 : 12;
    QCOMPARE(delivered.size(), wanted + (showAfter ? 1 : 0));
    // Decodes that run side by side may land in either order: what is ruled out is waiting.
    // The show's decode runs beside the thumbnails from the start; the newest thumbnail starts
    // as soon as one of the decodes running when it was asked ends, beside the next newest at
    // most. Waiting behind the queue would put either near the end of the twelve.
    if (showAfter) {
        QVERIFY2(delivered.indexOf(shown) <= 2 * cores,
            "the show's decode waited behind the thumbnails");
        return;
    }
    const int newest = cancelOdd ? asked[10] : asked[11];
    QVERIFY2(delivered.indexOf(newest) <= 2 * cores - 1,
        "the newest waited behind older thumbnails");
    for (int i = 1; cancelOdd && i < asked.size(); i += 2) {
        QVERIFY(!delivered.contains(asked[i]));
    }
}

void TestPicture::thumbnailsWithoutMoire_data()
{
    QTest::addColumn<QSize>("target");
    // Whole reductions of the chart's 1600 x 1200, where area averaging itself makes no false
    // pattern to compare with: libjpeg's 1/8 and 2/8 decodes alone, and 1/8 averaged down.
    QTest::newRow("1/8") << QSize(200, 150);
    QTest::newRow("1/8, averaged by half") << QSize(100, 75);
    QTest::newRow("2/8") << QSize(400, 300);
}

// A thumbnail of fine lines is what averaging the full picture gives (a smooth grey), not the
// false pattern sampling makes of it.
void TestPicture::thumbnailsWithoutMoire()
{
    QFETCH(QSize, target);
    TestFolder folder;
    const QString path
        = folder.write(QStringLiteral("chart.jpg"), encoded(lineChart(1600, 1200), "JPEG", 95));
    const pictures::LoadResult whole = pictures::load(pictures::DecodeRequest::natural(path));
    const pictures::LoadResult thumbnail
        = pictures::load(pictures::DecodeRequest::within(path, target));
    QVERIFY(whole.ok() && thumbnail.ok());
    const QImage &image = thumbnail.picture.image;
    QCOMPARE(image.size(), target);
    const QImage reference = boxReduced(whole.picture.image, target);
    const double difference = meanDifference(image, reference);
    QVERIFY2(difference < 2.0, qPrintable(QString::number(difference)));
    // Sampling the full picture instead is far off: the chart is no easy one.
    const double sampled = meanDifference(
        whole.picture.image.scaled(target, Qt::IgnoreAspectRatio, Qt::FastTransformation),
        reference);
    QVERIFY2(sampled > 10 * difference, qPrintable(QString::number(sampled)));
}

void TestPicture::visiblePartOfTurnedJpeg_data()
{
    QTest::addColumn<QByteArray>("bytes");
    for (int orientation = 1; orientation <= 8; ++orientation) {
        QTest::newRow(qPrintable(QStringLiteral("orientation %1").arg(orientation)))
            << jpegWithOrientation(lineChart(333, 250), orientation);
    }
    for (const char *name : { "jpeg-decoder/progressive3.jpg", "libjpeg-turbo/testimggray.jpg",
             "jpeg-decoder-mozilla/jpg-cmyk-2.jpg" }) {
        QTest::newRow(name) << readFile(corpusPath(QStringLiteral("jpeg/good/") + name));
    }
}

// The part of a JPEG a screen shows is decoded alone (turned, mirrored, progressive, grey or
// CMYK), and is that part of the whole picture as shown.
void TestPicture::visiblePartOfTurnedJpeg()
{
    QFETCH(QByteArray, bytes);
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("picture.jpg"), bytes);
    const pictures::LoadResult whole = pictures::load(pictures::DecodeRequest::natural(path));
    QVERIFY(whole.ok());
    const QSize natural = whole.picture.naturalSize;
    const QSize viewport = natural * 0.45;
    const pictures::LoadResult visible
        = pictures::load(pictures::DecodeRequest::visible(path, viewport));
    QVERIFY(visible.ok());
    QCOMPARE(visible.picture.naturalSize, natural);
    const QRect region(QPoint((natural.width() - viewport.width()) / 2,
                           (natural.height() - viewport.height()) / 2),
        viewport);
    QCOMPARE(visible.picture.region, region);
    QCOMPARE(visible.picture.image.size(), viewport);
    // Upsampled colour at the edges of the part may differ by a rounding step.
    const double difference
        = meanDifference(visible.picture.image, whole.picture.image.copy(region));
    QVERIFY2(difference < 1.0, qPrintable(QString::number(difference)));
}

void TestPicture::reducedDecode_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("natural");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<QSize>("decoded");
    // The smallest n/8 of the picture covering the target, each side rounded up.
    QTest::newRow("jpeg, 3/8") << "JPEG" << QSize(1600, 1000) << QSize(500, 500) << QSize(600, 375);
    QTest::newRow("jpeg, 1/8") << "JPEG" << QSize(1601, 1000) << QSize(190, 190) << QSize(201, 125);
    QTest::newRow("jpeg, tall 5/8")
        << "JPEG" << QSize(600, 1200) << QSize(1920, 700) << QSize(375, 750);
    QTest::newRow("jpeg, fits") << "JPEG" << QSize(300, 200) << QSize(1920, 1080)
                                << QSize(300, 200);
    QTest::newRow("bmp, as a thumbnail")
        << "BMP" << QSize(400, 300) << QSize(97, 77) << QSize(97, 72);
}

// A zoomed-out view gets the whole picture at libjpeg's reduced size, from the loader too.
void TestPicture::reducedDecode()
{
    QFETCH(QString, format);
    QFETCH(QSize, natural);
    QFETCH(QSize, target);
    QFETCH(QSize, decoded);
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("picture"),
        encoded(quadrants(natural.width(), natural.height()), qPrintable(format)));
    const pictures::LoadResult reduced
        = pictures::load(pictures::DecodeRequest::reduced(path, target));
    QVERIFY2(reduced.ok(), qPrintable(reduced.reason));
    QCOMPARE(reduced.picture.naturalSize, natural);
    QCOMPARE(reduced.picture.image.size(), decoded);
    QVERIFY(reduced.picture.region.isEmpty());
    QVERIFY(near(reduced.picture.image.pixel(decoded.width() / 4, decoded.height() / 4),
        qRgb(220, 30, 30), 40));
    AsyncPictureLoader loader;
    const int ticket = loader.request(pictures::DecodeRequest::reduced(path, target));
    QCOMPARE(loader.find(pictures::DecodeRequest::reduced(path, target)), ticket);
    QCOMPARE(loader.find(pictures::DecodeRequest::within(path, target)), 0);
    const std::optional<pictures::LoadResult> adopted = loader.waitFor(ticket);
    QVERIFY(adopted && adopted->ok());
    QCOMPARE(adopted->picture.image, reduced.picture.image);
}

void TestPicture::jpegStopsWhenCancelled_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("baseline") << encoded(quadrants(640, 480), "JPEG");
    // A progressive file is read whole, scan by scan, before its first row comes out.
    QTest::newRow("progressive") << readFile(
        corpusPath(QStringLiteral("jpeg/good/jpeg-decoder/progressive3.jpg")));
}

// Cancelled while libjpeg decodes, the decoder stops and says so, at any scale or crop.
void TestPicture::jpegStopsWhenCancelled()
{
    QFETCH(QByteArray, bytes);
    const std::atomic_bool cancelled(true);
    QCOMPARE(pictures::jpeg::decode(bytes, 8, QRect(), &cancelled).failure,
        pictures::Failure::Cancelled);
    QCOMPARE(pictures::jpeg::decode(bytes, 3, QRect(), &cancelled).failure,
        pictures::Failure::Cancelled);
    QCOMPARE(pictures::jpeg::decode(bytes, 8, QRect(10, 10, 20, 20), &cancelled).failure,
        pictures::Failure::Cancelled);
    QVERIFY(pictures::jpeg::decode(bytes).ok());
}

void TestPicture::largeJpegRowsAsOneDecode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // Fine detail everywhere, so a row out of place or left unwritten shows.
    QImage detail(1024, 640, QImage::Format_RGB32);
    for (int y = 0; y < detail.height(); ++y) {
        for (int x = 0; x < detail.width(); ++x) {
            detail.setPixel(x, y, qRgb((x * 7 + y * 3) & 255, (x * y) & 255, (x ^ y) & 255));
        }
    }
    const QByteArray whole = encoded(detail, "JPEG", 90);
    QTest::newRow("whole") << whole;
    QTest::newRow("cut short in its lower rows") << whole.left(whole.size() * 9 / 10);
    QByteArray damaged = whole;
    for (qsizetype at = damaged.size() * 8 / 10; at < damaged.size() * 9 / 10; at += 997) {
        damaged[at] = char(damaged[at] ^ 0x5a);
    }
    QTest::newRow("damaged in its lower rows") << damaged;
}

// A large picture comes out as one decode from the top gives it, from memory and from its file,
// also where the file is cut short or damaged below. The reference is a narrow crop.
void TestPicture::largeJpegRowsAsOneDecode()
{
    QFETCH(QByteArray, bytes);
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("detail.jpg"), bytes);
    const pictures::LoadResult narrow = pictures::jpeg::decode(bytes, 8, QRect(0, 0, 512, 640));
    QVERIFY(narrow.ok());
    const QRect compared(0, 0, 496, 640); // clear of the crop's upsampled right edge
    for (const pictures::LoadResult &result :
        { pictures::jpeg::decode(bytes), pictures::load(pictures::DecodeRequest::natural(path)) }) {
        QVERIFY(result.ok());
        QCOMPARE(result.picture.image.size(), QSize(1024, 640));
        QCOMPARE(result.picture.image.copy(compared), narrow.picture.image.copy(compared));
    }
}

void TestPicture::jpegSegmentsPastReadBlocks_data()
{
    QTest::addColumn<int>("segments");
    // A JPEG file is read from its file 64 KB at a time; segments the decoder passes over (here
    // APP5, up to 64 KB each) end in the next block, or push the frame header past the first.
    QTest::newRow("one segment into the second block") << 1;
    QTest::newRow("frame header past the first block") << 2;
    QTest::newRow("headers over three blocks") << 3;
}

// The file read a block at a time gives the picture its bytes in memory give, also where the
// decoder passes over bytes not read yet.
void TestPicture::jpegSegmentsPastReadBlocks()
{
    QFETCH(int, segments);
    const QByteArray plain = encoded(quadrants(320, 240), "JPEG", 90);
    QByteArray bytes = plain.left(2);
    for (int i = 0; i < segments; ++i) {
        bytes += QByteArray::fromHex("ffe5ffff") + QByteArray(65533, char('a' + i));
    }
    bytes += plain.mid(2);
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("segments.jpg"), bytes);
    const QImage expected = pictures::loadData(plain).picture.image;
    const pictures::LoadResult fromFile = pictures::load(pictures::DecodeRequest::natural(path));
    QVERIFY2(fromFile.ok(), qPrintable(fromFile.reason));
    QCOMPARE(fromFile.picture.image, expected);
    QCOMPARE(pictures::readSize(path).picture.naturalSize, QSize(320, 240));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const pictures::LoadResult streamed = pictures::jpeg::decode(&file);
    QVERIFY2(streamed.ok(), qPrintable(streamed.reason));
    QCOMPARE(streamed.picture.image, expected);
}

void TestPicture::fuzzFindings_data()
{
    QTest::addColumn<QString>("path");
    const QDir data(QStringLiteral(VIEWER_TEST_DATA_DIR));
    for (const QString &name : data.entryList(QDir::Files)) {
        QTest::newRow(qPrintable(name)) << data.filePath(name);
    }
}

// Every input a fuzzer once crashed on loads or fails cleanly, whole and scaled for a slot.
void TestPicture::fuzzFindings()
{
    QFETCH(QString, path);
    const pictures::LoadResult whole = pictures::load(pictures::DecodeRequest::natural(path));
    const pictures::LoadResult scaled
        = pictures::load(pictures::DecodeRequest::within(path, QSize(97, 77)));
    QCOMPARE(scaled.ok(), whole.ok());
    if (whole.ok()) {
        QVERIFY(!whole.picture.image.isNull());
        QVERIFY(scaled.picture.image.width() <= 97 && scaled.picture.image.height() <= 77);
    }
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--load-while-changing") == 0) {
        QCoreApplication app(argc, argv);
        return loadWhileChanging(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 4 && qstrcmp(argv[1], "--thumbnail-within") == 0) {
        QCoreApplication app(argc, argv);
        return thumbnailWithin(QByteArray(argv[2]).toLongLong(), QString::fromLocal8Bit(argv[3]));
    }
    QGuiApplication app(argc, argv);
    TestPicture test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_picture.moc"
