#include "pictures/asyncpictureloader.h"
#include "pictures/picture.h"
#include "pictures/wmfpicture.h"

#include "corpus.h"
#include "testfolder.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QtEndian>

Q_DECLARE_METATYPE(pictures::Failure)

namespace {

// Metafile record functions used by the pictures the tests draw.
enum : quint16 {
    SetMapMode = 0x0103,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SelectObject = 0x012D,
    DeleteObject = 0x01F0,
    CreatePenIndirect = 0x02FA,
    CreateBrushIndirect = 0x02FC,
    Rectangle = 0x041B,
    Ellipse = 0x0418,
    Polygon = 0x0324,
    StretchDib = 0x0F43,
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Ink: anything visibly darker or more coloured than white paper.
bool ink(QRgb pixel)
{
    return qRed(pixel) + qGreen(pixel) + qBlue(pixel) < 3 * 200;
}

// `image` drawn on white and cut to its ink, as the reference renderings are.
QImage trimmedOnWhite(const QImage &image, QPoint *offset)
{
    QImage page(image.size(), QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter(&page).drawImage(0, 0, image);
    QRect box;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (ink(page.pixel(x, y))) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    *offset = box.topLeft();
    return page.copy(box);
}

// Within `area`: the first and last column holding ink and how many separate stretches of
// inked columns lie between them (letters apart from each other make one each).
struct InkSpan
{
    int left = -1;
    int right = -1;
    int pieces = 0;
};

InkSpan inkSpan(const QImage &image, const QRect &area)
{
    InkSpan span;
    bool previous = false;
    const QRect inside = area & image.rect();
    for (int x = inside.left(); x <= inside.right(); ++x) {
        bool column = false;
        for (int y = inside.top(); y <= inside.bottom() && !column; ++y) {
            column = ink(image.pixel(x, y));
        }
        if (column) {
            span.left = span.left < 0 ? x : span.left;
            span.right = x;
            span.pieces += previous ? 0 : 1;
        }
        previous = column;
    }
    return span;
}

void appendWord(QByteArray &bytes, quint16 word)
{
    char data[2];
    qToLittleEndian(word, data);
    bytes.append(data, 2);
}

void appendLong(QByteArray &bytes, quint32 value)
{
    char data[4];
    qToLittleEndian(value, data);
    bytes.append(data, 4);
}

// Writes a metafile record by record, with a placeable header for a box of `width` × `height`
// units at `inch` units per inch.
class MetafileWriter
{
public:
    MetafileWriter &record(
        quint16 function, const QList<int> &parameters, const QByteArray &tail = QByteArray())
    {
        QByteArray body;
        for (int parameter : parameters) {
            appendWord(body, quint16(qint16(parameter)));
        }
        body += tail;
        if (body.size() % 2) {
            body.append('\0');
        }
        appendLong(m_records, quint32(3 + body.size() / 2));
        appendWord(m_records, function);
        m_records += body;
        m_largest = qMax(m_largest, quint32(3 + body.size() / 2));
        return *this;
    }

    // A placeable file whose window is the header box, as drawing programs write them.
    static MetafileWriter placeable(int width, int height)
    {
        MetafileWriter writer;
        writer.m_width = width;
        writer.m_height = height;
        writer.record(SetMapMode, { 8 }); // anisotropic
        writer.record(SetWindowOrg, { 0, 0 });
        writer.record(SetWindowExt, { height, width });
        return writer;
    }

    MetafileWriter &solidBrush(QRgb colour)
    {
        record(
            CreateBrushIndirect, { 0, int(qRed(colour) | qGreen(colour) << 8), qBlue(colour), 0 });
        return record(SelectObject, { m_objects++ });
    }

    MetafileWriter &nullPen()
    {
        record(CreatePenIndirect, { 5, 0, 0, 0, 0 });
        return record(SelectObject, { m_objects++ });
    }

    QByteArray bytes(int inch = 1000, bool withEnd = true) const
    {
        QByteArray file;
        QByteArray header;
        appendLong(header, 0x9AC6CDD7);
        appendWord(header, 0);
        appendWord(header, 0);
        appendWord(header, 0);
        appendWord(header, quint16(m_width));
        appendWord(header, quint16(m_height));
        appendWord(header, quint16(inch));
        appendLong(header, 0);
        quint16 checksum = 0;
        for (int i = 0; i < 10; ++i) {
            checksum ^= qFromLittleEndian<quint16>(header.constData() + 2 * i);
        }
        appendWord(header, checksum);
        file += header;
        QByteArray records = m_records;
        if (withEnd) {
            appendLong(records, 3);
            appendWord(records, 0);
        }
        appendWord(file, 1); // on disk
        appendWord(file, 9);
        appendWord(file, 0x0300);
        appendLong(file, quint32(9 + records.size() / 2));
        appendWord(file, quint16(m_objects));
        appendLong(file, m_largest);
        appendWord(file, 0);
        file += records;
        return file;
    }

private:
    QByteArray m_records;
    int m_width = 1000;
    int m_height = 1000;
    int m_objects = 0;
    quint32 m_largest = 3;
};

// Red ellipse, blue rectangle and green triangle in a 1000 × 1000 box, no outlines, so every
// pixel that is coloured was filled.
MetafileWriter filledShapes()
{
    MetafileWriter writer = MetafileWriter::placeable(1000, 1000);
    writer.nullPen();
    writer.solidBrush(qRgb(255, 0, 0))
        .record(Ellipse, { 500, 500, 100, 100 }); // bottom right top left
    writer.solidBrush(qRgb(0, 0, 255)).record(Rectangle, { 950, 950, 600, 600 });
    writer.solidBrush(qRgb(0, 160, 0)).record(Polygon, { 3, 600, 100, 900, 100, 750, 400 });
    return writer;
}

bool near(QRgb a, QRgb b)
{
    return qAlpha(a) > 200 && std::abs(qRed(a) - qRed(b)) < 40
        && std::abs(qGreen(a) - qGreen(b)) < 40 && std::abs(qBlue(a) - qBlue(b)) < 40;
}

QByteArray bitmapInfo(qint32 width, qint32 height, quint16 bits)
{
    QByteArray info;
    appendLong(info, 40);
    appendLong(info, quint32(width));
    appendLong(info, quint32(height));
    appendWord(info, 1);
    appendWord(info, bits);
    appendLong(info, 0);
    appendLong(info, 0);
    appendLong(info, 0);
    appendLong(info, 0);
    appendLong(info, 0);
    appendLong(info, 0);
    return info;
}

// Offsets of the records of a metafile written by MetafileWriter or taken from the corpus.
QList<qsizetype> recordOffsets(const QByteArray &file)
{
    QList<qsizetype> offsets;
    qsizetype at = qFromLittleEndian<quint32>(file.constData()) == 0x9AC6CDD7 ? 22 : 0;
    at += 18;
    while (at + 6 <= file.size()) {
        const quint32 words = qFromLittleEndian<quint32>(file.constData() + at);
        offsets.append(at);
        if (words < 3 || qFromLittleEndian<quint16>(file.constData() + at + 4) == 0) {
            break;
        }
        at += qsizetype(words) * 2;
    }
    return offsets;
}

} // namespace

class TestWmf : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void corpusDecodes_data();
    void corpusDecodes();
    void corpusRejects_data();
    void corpusRejects();
    void filledShapes_data();
    void filledShapes();
    void headerBoxFillsImage();
    void damaged_data();
    void damaged();
    void truncatedAnywhere();
    void recordSizes_data();
    void recordSizes();
    void regressions_data();
    void regressions();
    void textAsReference_data();
    void textAsReference();
    void hugeClaimDrawnSmall();
    void cancelledBetweenRecords();
    void loaderQueuesMetafiles();
};

void TestWmf::corpusDecodes_data()
{
    QTest::addColumn<QString>("relative");
    for (const CorpusEntry &entry : corpusEntries({ QStringLiteral("wmf/") })) {
        if (entry.expect == QLatin1String("decode")) {
            QTest::newRow(qPrintable(entry.path)) << entry.path;
        }
    }
}

void TestWmf::corpusDecodes()
{
    QFETCH(QString, relative);
    const QString path = corpusPath(relative);
    const QByteArray bytes = readFile(path);
    const pictures::LoadResult loaded = pictures::load(pictures::DecodeRequest::natural(path));
    QVERIFY2(loaded.ok(), qPrintable(loaded.reason));
    const QSize natural = loaded.picture.naturalSize;
    QVERIFY(!natural.isEmpty());
    if (qFromLittleEndian<quint32>(bytes.constData()) == 0x9AC6CDD7) {
        // A placeable file is as large as its header box at 96 dots per inch.
        const auto word
            = [&](int at) { return qint64(qFromLittleEndian<qint16>(bytes.constData() + at)); };
        const qint64 inch = qFromLittleEndian<quint16>(bytes.constData() + 14);
        QCOMPARE(natural,
            QSize(int(qAbs(word(10) - word(6)) * 96 / inch),
                int(qAbs(word(12) - word(8)) * 96 / inch)));
    }
    const QImage &image = loaded.picture.image;
    QCOMPARE(image.size(), natural);
    // Something was drawn.
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y) {
        for (int x = 0; x < image.width() && !drawn; ++x) {
            drawn = qAlpha(image.pixel(x, y)) != 0;
        }
    }
    QVERIFY(drawn);
    QCOMPARE(pictures::readSize(path).picture.naturalSize, natural);
    QVERIFY(pictures::readSize(path).picture.image.isNull());
    // Drawn at twice the size for an enlargement, not stretched from the small one.
    const pictures::LoadResult large
        = pictures::load(pictures::DecodeRequest::within(path, natural * 2));
    QVERIFY(large.ok());
    QCOMPARE(large.picture.naturalSize, natural);
    QCOMPARE(large.picture.image.size(), natural * 2);
}

void TestWmf::corpusRejects_data()
{
    QTest::addColumn<QString>("relative");
    for (const CorpusEntry &entry : corpusEntries({ QStringLiteral("wmf/") })) {
        if (entry.expect == QLatin1String("reject")) {
            QTest::newRow(qPrintable(entry.path)) << entry.path;
        }
    }
}

void TestWmf::corpusRejects()
{
    QFETCH(QString, relative);
    const pictures::LoadResult loaded
        = pictures::load(pictures::DecodeRequest::natural(corpusPath(relative)));
    QCOMPARE(loaded.failure, pictures::Failure::NotAPicture);
    QVERIFY(!loaded.reason.isEmpty());
    QVERIFY(loaded.picture.image.isNull());
}

void TestWmf::filledShapes_data()
{
    QTest::addColumn<QSize>("target");
    QTest::addColumn<QSize>("size");
    QTest::newRow("natural") << QSize() << QSize(96, 96);
    QTest::newRow("enlarged") << QSize(400, 400) << QSize(400, 400);
    QTest::newRow("reduced, wide target") << QSize(120, 48) << QSize(48, 48);
}

// Shapes are filled with their brush, inside and out of any antialiased edge.
void TestWmf::filledShapes()
{
    QFETCH(QSize, target);
    QFETCH(QSize, size);
    const QByteArray bytes = ::filledShapes().bytes();
    const pictures::LoadResult loaded = pictures::loadData(bytes, target);
    QVERIFY2(loaded.ok(), qPrintable(loaded.reason));
    QCOMPARE(loaded.picture.naturalSize, QSize(96, 96));
    const QImage image = loaded.picture.image.convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), size);
    auto at = [&](double x, double y) {
        return image.pixel(int(x * size.width()), int(y * size.height()));
    };
    QVERIFY(near(at(0.30, 0.30), qRgb(255, 0, 0))); // the ellipse's centre
    QVERIFY(near(at(0.15, 0.30), qRgb(255, 0, 0))); // well inside its left edge
    QVERIFY(near(at(0.30, 0.45), qRgb(255, 0, 0)));
    QCOMPARE(qAlpha(at(0.12, 0.12)), 0); // the box's corner outside the ellipse
    QVERIFY(near(at(0.775, 0.775), qRgb(0, 0, 255)));
    QVERIFY(near(at(0.75, 0.2), qRgb(0, 160, 0)));
    QCOMPARE(qAlpha(at(0.3, 0.75)), 0);
}

// The placeable header's box is the whole picture: a rectangle on the box's edges reaches the
// image's edges.
void TestWmf::headerBoxFillsImage()
{
    MetafileWriter writer = MetafileWriter::placeable(2000, 1000);
    writer.nullPen();
    writer.solidBrush(qRgb(0, 0, 0)).record(Rectangle, { 1000, 2000, 0, 0 });
    const pictures::LoadResult loaded = pictures::loadData(writer.bytes(1000));
    QVERIFY(loaded.ok());
    QCOMPARE(loaded.picture.naturalSize, QSize(192, 96));
    const QImage &image = loaded.picture.image;
    for (const QPoint &corner : { QPoint(0, 0), QPoint(191, 0), QPoint(0, 95), QPoint(191, 95) }) {
        QVERIFY2(qAlpha(image.pixel(corner)) > 100,
            qPrintable(QStringLiteral("%1,%2").arg(corner.x()).arg(corner.y())));
    }
}

void TestWmf::damaged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("mayLoad");
    QTest::addColumn<pictures::Failure>("failure");

    const QByteArray good = ::filledShapes().bytes();
    QByteArray noScale = good;
    qToLittleEndian<quint16>(0, noScale.data() + 14);
    QTest::newRow("inch 0") << noScale << false << pictures::Failure::NotAPicture;
    QByteArray tinyUnits = ::filledShapes().bytes(1);
    QTest::newRow("inch 1") << tinyUnits << false << pictures::Failure::TooLarge;
    QByteArray wrongType = good;
    qToLittleEndian<quint16>(3, wrongType.data() + 22);
    QTest::newRow("type 3") << wrongType << false << pictures::Failure::NotAPicture;
    QTest::newRow("header only") << good.left(22 + 18) << true << pictures::Failure::NotAPicture;
    QTest::newRow("placeable header cut")
        << good.left(12) << false << pictures::Failure::NotAPicture;
    QTest::newRow("missing end record")
        << ::filledShapes().bytes(1000, false) << true << pictures::Failure::NotAPicture;

    QByteArray checksum = good;
    checksum[20] = char(checksum[20] ^ 0x55);
    QTest::newRow("bad checksum") << checksum << true << pictures::Failure::NotAPicture;
    QByteArray largest = good;
    qToLittleEndian<quint32>(0xFFFFFFFF, largest.data() + 22 + 12);
    QTest::newRow("largest record 0xFFFFFFFF") << largest << true << pictures::Failure::NotAPicture;
    QByteArray objects = good;
    qToLittleEndian<quint16>(0, objects.data() + 22 + 10);
    QTest::newRow("no objects yet objects used")
        << objects << true << pictures::Failure::NotAPicture;

    MetafileWriter indices = MetafileWriter::placeable(1000, 1000);
    indices.record(SelectObject, { 7 }).record(DeleteObject, { 300 }).record(SelectObject, { -1 });
    indices.record(Rectangle, { 900, 900, 100, 100 });
    QTest::newRow("object indices out of range")
        << indices.bytes() << true << pictures::Failure::NotAPicture;

    // StretchDIBits whose bitmap header claims far more pixels than the record holds.
    MetafileWriter bogus = MetafileWriter::placeable(1000, 1000);
    bogus.record(StretchDib, { 0x0020, 0x00CC, 0, 60000, 60000, 0, 0, 1000, 1000, 0, 0 },
        bitmapInfo(60000, 60000, 24) + QByteArray(64, '\x7f'));
    bogus.record(StretchDib, { 0x0020, 0x00CC, 0, 4, 4, 0, 0, 1000, 1000, 0, 0 },
        bitmapInfo(4, -4, 13) + QByteArray(64, '\x7f'));
    bogus.record(
        StretchDib, { 0x0020, 0x00CC, 0, 4, 4, 0, 0, 1000, 1000, 0, 0 }, bitmapInfo(-4, 4, 24));
    QTest::newRow("bogus embedded bitmaps")
        << bogus.bytes() << true << pictures::Failure::NotAPicture;
}

void TestWmf::damaged()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, mayLoad);
    QFETCH(pictures::Failure, failure);
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("damaged.wmf"), bytes);
    const pictures::LoadResult loaded = pictures::load(pictures::DecodeRequest::natural(path));
    if (mayLoad && loaded.ok()) {
        QVERIFY(!loaded.picture.image.isNull());
        QCOMPARE(loaded.picture.image.size(), loaded.picture.naturalSize);
        return;
    }
    QCOMPARE(loaded.failure, failure);
    QVERIFY(!loaded.reason.isEmpty());
    QVERIFY(loaded.picture.image.isNull());
    QCOMPARE(pictures::readSize(path).failure, failure);
}

// A metafile cut anywhere loads what it holds or fails cleanly; cut between two records it is a
// shorter picture and loads.
void TestWmf::truncatedAnywhere()
{
    for (const QString &relative : { QStringLiteral("wmf/good/apache-poi/santa.wmf"),
             QStringLiteral("wmf/good/libwmf/bitblt.wmf") }) {
        const QByteArray bytes = readFile(corpusPath(relative));
        QVERIFY(!bytes.isEmpty());
        const QList<qsizetype> offsets = recordOffsets(bytes);
        QVERIFY(offsets.size() > 10);
        // Record boundaries, and a cut inside a record next to each of some of them.
        const int step = qMax(1, int(offsets.size() / 40));
        for (int i = 0; i < offsets.size(); i += step) {
            const qsizetype at = offsets.at(i);
            const pictures::LoadResult whole = pictures::loadData(bytes.left(at), QSize(64, 64));
            // A file without the placeable header takes its size from what it draws, so one cut
            // before its first drawing has none.
            const bool placeable = qFromLittleEndian<quint32>(bytes.constData()) == 0x9AC6CDD7;
            QVERIFY2(whole.ok() || (!placeable && whole.failure == pictures::Failure::NotAPicture),
                qPrintable(
                    QStringLiteral("%1 cut at %2: %3").arg(relative).arg(at).arg(whole.reason)));
            for (qsizetype inside : { at + 1, at + 4, at + 7 }) {
                if (inside >= bytes.size()) {
                    continue; // not a cut: the whole file
                }
                const pictures::LoadResult cut
                    = pictures::loadData(bytes.left(inside), QSize(64, 64));
                QVERIFY(!cut.ok());
                QCOMPARE(cut.failure, pictures::Failure::NotAPicture);
            }
        }
    }
}

void TestWmf::recordSizes_data()
{
    QTest::addColumn<quint32>("words");
    QTest::newRow("0") << quint32(0);
    QTest::newRow("1") << quint32(1);
    QTest::newRow("2") << quint32(2);
    QTest::newRow("0xFFFFFFFF") << quint32(0xFFFFFFFF);
    QTest::newRow("past the end") << quint32(100000);
}

// A record whose size field cannot be right is refused wherever it stands.
void TestWmf::recordSizes()
{
    QFETCH(quint32, words);
    const QByteArray good = ::filledShapes().bytes();
    const QList<qsizetype> offsets = recordOffsets(good);
    for (qsizetype at : offsets) {
        QByteArray bytes = good;
        qToLittleEndian<quint32>(words, bytes.data() + at);
        const pictures::LoadResult loaded = pictures::loadData(bytes);
        QCOMPARE(loaded.failure, pictures::Failure::NotAPicture);
        QVERIFY(!loaded.reason.isEmpty());
    }
}

void TestWmf::regressions_data()
{
    QTest::addColumn<QString>("name");
    // Inputs that once crashed the loader, found by fuzzing.
    QTest::newRow("pattern brush with a bitmap not decoded by us")
        << "wmf-pattern-brush-foreign-bitmap.wmf";
    QTest::newRow("font pointer left stale by libwmf") << "wmf-stale-font-pointer.wmf";
}

void TestWmf::regressions()
{
    QFETCH(QString, name);
    const QString path = QStringLiteral(VIEWER_TEST_DATA_DIR "/") + name;
    QVERIFY(QFile::exists(path));
    for (const QSize &target : { QSize(), QSize(97, 77), QSize(500, 500) }) {
        const pictures::LoadResult loaded
            = pictures::load(pictures::DecodeRequest::within(path, target));
        QVERIFY(loaded.ok() || !loaded.reason.isEmpty());
        QCOMPARE(loaded.ok(), !loaded.picture.image.isNull());
    }
}

void TestWmf::textAsReference_data()
{
    QTest::addColumn<QString>("name");
    // text.wmf is left out: its reference is cut at the page's right and bottom edges, which
    // leaves no side to take the scale from.
    for (const char *name : { "Eg", "fulltest", "formula1", "formula2", "formula3", "formula4" }) {
        QTest::newRow(name) << QString::fromLatin1(name);
    }
}

// Each text run spans what it spans in an independent rendering, and its letters stay apart:
// both pictures cut to their ink and brought to the same width, each run's band compared.
void TestWmf::textAsReference()
{
    QFETCH(QString, name);
    const QImage reference(
        corpusPath(QStringLiteral("wmf-reference/good__libwmf__%1.png").arg(name)));
    QVERIFY(!reference.isNull());
    const QByteArray bytes
        = readFile(corpusPath(QStringLiteral("wmf/good/libwmf/%1.wmf").arg(name)));
    QList<QRectF> runs;
    const pictures::LoadResult loaded = pictures::wmf::decode(
        bytes, pictures::DecodeRequest::within(QString(), reference.size() * 2), nullptr, &runs);
    QVERIFY2(loaded.ok(), qPrintable(loaded.reason));
    QVERIFY(!runs.isEmpty());
    QPoint oursAt;
    QPoint referenceAt;
    const QImage trimmed = trimmedOnWhite(loaded.picture.image, &oursAt);
    const QImage theirs = trimmedOnWhite(reference, &referenceAt);
    // Compared at the same width; the reference export cuts a picture wider than its page at
    // the page's edge, and then the side it kept whole gives the scale.
    const double byWidth = double(theirs.width()) / trimmed.width();
    const double byHeight = double(theirs.height()) / trimmed.height();
    const double scale = byHeight > byWidth * 1.15 ? byHeight : byWidth;
    const QImage ours = trimmed.scaled(qRound(trimmed.width() * scale),
        qRound(trimmed.height() * scale), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const int tolerance = qCeil(theirs.width() * 0.05);
    for (const QRectF &run : runs) {
        const QRectF box = run.translated(-QPointF(oursAt));
        const QRectF mapped(box.topLeft() * scale, box.size() * scale);
        // The middle of the run's height (away from lines just above and below), and some room
        // either side for a run drawn a little wider, less than the gap to a neighbour.
        const double room = qMax(2.0, mapped.width() * 0.15);
        const QRect band
            = mapped.adjusted(-room, mapped.height() * 0.3, room, -mapped.height() * 0.3)
                  .toAlignedRect();
        const InkSpan mine = inkSpan(ours, band);
        const InkSpan other = inkSpan(theirs, band);
        if (other.pieces == 0 || mine.pieces == 0) {
            continue; // a run the other renderer placed elsewhere or drew nothing of
        }
        const QString where = QStringLiteral("run at %1,%2: ours %3..%4 (%5 pieces), reference "
                                             "%6..%7 (%8 pieces)")
                                  .arg(band.x())
                                  .arg(band.y())
                                  .arg(mine.left)
                                  .arg(mine.right)
                                  .arg(mine.pieces)
                                  .arg(other.left)
                                  .arg(other.right)
                                  .arg(other.pieces)
            + QStringLiteral(" of %1 wide").arg(theirs.width());
        QVERIFY2(qAbs(mine.left - other.left) <= tolerance, qPrintable(where));
        QVERIFY2(qAbs(mine.right - other.right) <= tolerance, qPrintable(where));
        QVERIFY2(qAbs(mine.pieces - other.pieces) <= qMax(2, other.pieces / 4), qPrintable(where));
    }
}

// A few bytes claiming a huge picture get a drawing of the size shown, not of the size claimed.
void TestWmf::hugeClaimDrawnSmall()
{
    QByteArray bytes;
    appendLong(bytes, 0x9AC6CDD7);
    for (int word : { 0, 0, 0, 16000, 16000, 96, 0, 0, 0 }) {
        appendWord(bytes, quint16(word));
    }
    for (int word : { 1, 9, 0x0300, 23, 0, 0, 3, 0, 0, 3, 0, 0 }) {
        appendWord(bytes, quint16(word));
    }
    QCOMPARE(bytes.size(), 46);
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("huge.wmf"), bytes);
    const pictures::LoadResult whole = pictures::load(pictures::DecodeRequest::natural(path));
    QVERIFY(whole.ok());
    QCOMPARE(whole.picture.naturalSize, QSize(16000, 16000));
    QVERIFY(qint64(whole.picture.image.width()) * whole.picture.image.height() <= 4096LL * 2048);
    const pictures::LoadResult shown
        = pictures::load(pictures::DecodeRequest::visible(path, QSize(640, 480)));
    QVERIFY(shown.ok());
    QCOMPARE(shown.picture.image.size(), QSize(640, 480));
    QCOMPARE(shown.picture.region, QRect(QPoint(7680, 7760), QSize(640, 480)));
    const pictures::LoadResult thumbnail
        = pictures::load(pictures::DecodeRequest::within(path, QSize(100, 80)));
    QCOMPARE(thumbnail.picture.image.size(), QSize(80, 80));
}

// A metafile decode told to stop leaves between records and says so.
void TestWmf::cancelledBetweenRecords()
{
    MetafileWriter writer = MetafileWriter::placeable(2000, 1000);
    writer.nullPen();
    for (int i = 0; i < 200; ++i) {
        writer.solidBrush(qRgb(i, 0, 0)).record(Rectangle, { 1000 - i, 2000 - i, i, i });
    }
    const QByteArray bytes = writer.bytes(1000);
    std::atomic_bool cancelled(true);
    const auto request = pictures::DecodeRequest::natural(QString());
    QCOMPARE(
        pictures::wmf::decode(bytes, request, &cancelled).failure, pictures::Failure::Cancelled);
    cancelled = false;
    QVERIFY(pictures::wmf::decode(bytes, request, &cancelled).ok());
}

// Metafiles go through the loader's queue of their own: delivered as any picture, a cancelled
// one never, beside a JPEG that is delivered too.
void TestWmf::loaderQueuesMetafiles()
{
    MetafileWriter writer = MetafileWriter::placeable(2000, 1000);
    writer.nullPen();
    writer.solidBrush(qRgb(0, 0, 0)).record(Rectangle, { 1000, 2000, 0, 0 });
    TestFolder folder;
    const QString metafile = folder.write(QStringLiteral("a.wmf"), writer.bytes(1000));
    QImage photo(64, 48, QImage::Format_RGB32);
    photo.fill(Qt::darkGreen);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    photo.save(&buffer, "JPEG");
    const QString picture = folder.write(QStringLiteral("b.jpg"), jpeg);
    AsyncPictureLoader loader;
    QMap<int, QSize> sizes;
    connect(&loader, &AsyncPictureLoader::loaded,
        [&sizes](int ticket, const pictures::LoadResult &result) {
            sizes[ticket] = result.picture.image.size();
        });
    const int dropped = loader.request(pictures::DecodeRequest::natural(metafile));
    const int drawn = loader.request(pictures::DecodeRequest::within(metafile, QSize(96, 48)));
    const int decoded = loader.request(pictures::DecodeRequest::natural(picture));
    loader.cancel(dropped);
    loader.waitUntilIdle();
    QCOMPARE(sizes.size(), 2);
    QCOMPARE(sizes.value(drawn), QSize(96, 48));
    QCOMPARE(sizes.value(decoded), QSize(64, 48));
}

QTEST_MAIN(TestWmf)
#include "tst_wmf.moc"
