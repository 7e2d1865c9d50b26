#include "picture.h"

#include "gifpicture.h"
#include "wmffile.h"
#include "wmfpicture.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QSizeF Picture::sizeTwips(float twipsPerPixel) const
{
    return QSizeF(
        float(naturalSize.width()) * twipsPerPixel, float(naturalSize.height()) * twipsPerPixel);
}

namespace pictures {

namespace {

    // Metafiles are small; one larger than this is refused before it is read into memory.
    constexpr qint64 kMaxMetafileBytes = 64 * 1024 * 1024;
    // Enough of a file's start to tell a metafile from the formats Qt recognises.
    constexpr qint64 kSniffBytes = 64;
    // What is read of a file whose size alone is wanted: every header the checks look at fits.
    constexpr qint64 kHeaderBytes = 64 * 1024;
    // The largest file read into memory: the largest picture stored plainly, four bytes a pixel,
    // with room for its headers.
    constexpr qint64 kMaxFileBytes = kMaxPixels * 4 + (1 << 20);
    // A progressive JPEG is decoded once per scan; files made to be slow carry thousands of tiny
    // scans. Encoders write about ten, so a few hundred leaves room for every real picture.
    constexpr int kMaxProgressiveScans = 500;
    // Qt's own limit on one decoded image, in megabytes: the largest picture accepted, four bytes a
    // pixel. A decoder that gets past the size check (a frame bigger than its header says) still
    // stops there.
    // No real picture packs more than this many pixels into one byte of its file: an LZW or Huffman
    // code of a few bits stands for a few thousand pixels at most. A large picture claiming more is
    // a decompression bomb (a huge canvas with almost no data) and is refused before decoding.
    constexpr qint64 kMaxPixelsPerByte = 4096;
    constexpr qint64 kBombCheckPixels = 4LL * 1024 * 1024;
    constexpr int kAllocationLimitMb = int((kMaxPixels * 4 + (1 << 20) - 1) >> 20);

    void setAllocationLimit()
    {
        static std::once_flag once;
        std::call_once(once, [] { QImageReader::setAllocationLimit(kAllocationLimitMb); });
    }

    bool claimsTooMuch(const QSize &size, qint64 fileBytes)
    {
        const qint64 area = qint64(size.width()) * size.height();
        return area > kBombCheckPixels && area / kMaxPixelsPerByte > fileBytes;
    }

    bool isShownFormat(const QByteArray &format)
    {
        // The pictures the program shows; other formats Qt happens to read stay out, and with them
        // their decoders' flaws.
        return format == "bmp" || format == "gif" || format == "jpeg" || format == "jpg";
    }

    // The number of scans in a progressive JPEG, 0 for any other file. Walks the markers and skips
    // entropy-coded data to the next marker, so it reads no more than the file and allocates
    // nothing.
    int progressiveScans(QByteArrayView data)
    {
        const auto *bytes = reinterpret_cast<const unsigned char *>(data.data());
        const qsizetype size = data.size();
        if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
            return 0;
        }
        bool progressive = false;
        int scans = 0;
        qsizetype at = 2;
        while (at + 1 < size) {
            if (bytes[at] != 0xFF) {
                ++at; // stray bytes between segments, which decoders skip as well
                continue;
            }
            const unsigned char marker = bytes[at + 1];
            if (marker == 0xFF) {
                ++at;
                continue;
            }
            if (marker == 0xD9) {
                break;
            }
            if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
                at += 2;
                continue;
            }
            if (at + 4 > size) {
                break;
            }
            const int length = (bytes[at + 2] << 8) | bytes[at + 3];
            if (length < 2) {
                break;
            }
            if (marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE) {
                progressive = true;
            }
            at += 2 + length;
            if (marker != 0xDA) {
                continue;
            }
            if (!progressive) {
                return 0; // the frame header comes before the first scan
            }
            ++scans;
            while (at + 1 < size) {
                const void *found = std::memchr(bytes + at, 0xFF, size_t(size - at));
                if (!found) {
                    at = size;
                    break;
                }
                at = static_cast<const unsigned char *>(found) - bytes;
                if (at + 1 >= size) {
                    break;
                }
                const unsigned char next = bytes[at + 1];
                if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                    at += 2;
                } else if (next == 0xFF) {
                    ++at;
                } else {
                    break;
                }
            }
        }
        return progressive ? scans : 0;
    }

    // What the BMP checks found: a reason to refuse the file, or a corrected copy to decode instead
    // (empty when the file can be decoded as it is).
    struct BmpCheck
    {
        QString refusal;
        QByteArray corrected;
    };

    // Qt's BMP reader shows damaged files as best it can and cannot read top-down files; this
    // refuses what the format's own test suite calls damaged (a file shorter than its header says,
    // pixels past the end, palette indices past the palette) and turns top-down rows the right way.
    // `data` is the whole file when `pixels` is wanted, else at least its headers; `fileBytes` is
    // the file's length. The pixels are walked only when they are to be decoded.
    BmpCheck checkBmp(QByteArrayView data, qint64 fileBytes, bool pixels)
    {
        BmpCheck check;
        if (data.size() < 54 || !data.startsWith("BM")) {
            return check; // Qt's reader refuses these itself
        }
        const char *bytes = data.data();
        const quint32 fileSize = qFromLittleEndian<quint32>(bytes + 2);
        const quint32 bitsOffset = qFromLittleEndian<quint32>(bytes + 10);
        const quint32 headerSize = qFromLittleEndian<quint32>(bytes + 14);
        if (qint64(fileSize) > fileBytes) {
            check.refusal = QStringLiteral("The BMP file is shorter than its header says.");
            return check;
        }
        if (headerSize < 40 || headerSize > 124 || 14 + qsizetype(headerSize) > data.size()) {
            return check;
        }
        const qint64 width = qFromLittleEndian<qint32>(bytes + 18);
        const qint64 height = qFromLittleEndian<qint32>(bytes + 22);
        const int bitCount = qFromLittleEndian<quint16>(bytes + 28);
        const quint32 compression = qFromLittleEndian<quint32>(bytes + 30);
        const quint32 coloursUsed = qFromLittleEndian<quint32>(bytes + 46);
        const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
        if (!uncompressed || width <= 0 || height == 0 || width > kMaxSide
            || qAbs(height) > kMaxSide || bitCount == 0 || bitCount > 32) {
            return check;
        }
        const qint64 rows = qAbs(height);
        const qint64 stride = ((width * bitCount + 31) / 32) * 4;
        if (qint64(bitsOffset) + stride * rows > fileBytes) {
            check.refusal = QStringLiteral("The BMP file is cut short.");
            return check;
        }
        // Palette pictures come in 1, 2, 4 or 8 bits a pixel; any other count below 16 is no
        // BMP (and would make the pixel walk below shift by a negative amount).
        if (bitCount < 16 && bitCount != 1 && bitCount != 2 && bitCount != 4 && bitCount != 8) {
            check.refusal
                = QStringLiteral("The BMP file has an impossible number of bits a pixel.");
            return check;
        }
        if (!pixels && height < 0) {
            // Qt's reader cannot read top-down files, even their size: it is given the header
            // turned bottom-up.
            check.corrected = data.toByteArray();
            qToLittleEndian<qint32>(qint32(rows), check.corrected.data() + 22);
            return check;
        }
        if (!pixels || qint64(bitsOffset) + stride * rows > data.size()) {
            return check;
        }
        if (bitCount <= 8) {
            const qint64 paletteOffset
                = 14 + qint64(headerSize) + (headerSize == 40 && compression == 3 ? 12 : 0);
            qint64 entries = coloursUsed ? qint64(coloursUsed) : (qint64(1) << bitCount);
            entries = qMin(entries, qMax<qint64>(0, (qint64(bitsOffset) - paletteOffset) / 4));
            const int mask = (1 << bitCount) - 1;
            if (entries < (qint64(1) << bitCount)) {
                for (qint64 y = 0; y < rows; ++y) {
                    const auto *row
                        = reinterpret_cast<const unsigned char *>(bytes + bitsOffset + y * stride);
                    for (qint64 x = 0; x < width; ++x) {
                        const qint64 bit = x * bitCount;
                        const int index = (row[bit / 8] >> (8 - bitCount - bit % 8)) & mask;
                        if (index >= entries) {
                            check.refusal
                                = QStringLiteral("The BMP file uses colours it does not define.");
                            return check;
                        }
                    }
                }
            }
        }
        if (height < 0) {
            check.corrected = data.toByteArray();
            char *copy = check.corrected.data();
            qToLittleEndian<qint32>(qint32(rows), copy + 22);
            for (qint64 y = 0; y < rows; ++y) {
                std::memcpy(copy + bitsOffset + y * stride,
                    bytes + bitsOffset + (rows - 1 - y) * stride, size_t(stride));
            }
        }
        return check;
    }

    // Decodes from `device` (opened for reading). `bytes` gives the whole content when it is at
    // hand without reading (a memory buffer or a mapped file), for the checks that look past the
    // header.
    LoadResult decodeRaster(QIODevice *device, QByteArrayView bytes, const QSize &target,
        bool pixels, const QSize &viewport = QSize())
    {
        setAllocationLimit();
        if (gif::looksLikeGif(bytes.first(qMin<qsizetype>(6, bytes.size())))) {
            const LoadResult header = gif::decode(bytes, false);
            if (!header.ok() || !pixels) {
                return header;
            }
            if (claimsTooMuch(header.picture.naturalSize, device->size())) {
                return failedLoad(Failure::TooLarge,
                    QStringLiteral("The picture claims a size its file cannot hold."));
            }
            LoadResult result = gif::decode(bytes, pixels);
            if (result.ok() && pixels && target.isValid() && !target.isEmpty()) {
                const QSize natural = result.picture.naturalSize;
                if (natural.width() > target.width() || natural.height() > target.height()) {
                    result.picture.image = result.picture.image.scaled(
                        natural.scaled(target, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)),
                        Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                }
            }
            return result;
        }
        const qint64 fileBytes = device->size();
        const BmpCheck bmp = checkBmp(bytes, fileBytes, pixels);
        if (!bmp.refusal.isEmpty()) {
            return failedLoad(Failure::NotAPicture, bmp.refusal);
        }
        QBuffer corrected;
        if (!bmp.corrected.isEmpty()) {
            corrected.setData(bmp.corrected);
            corrected.open(QIODevice::ReadOnly);
            device = &corrected;
        }
        QImageReader reader(device);
        reader.setDecideFormatFromContent(true);
        reader.setAutoTransform(true);
        const QByteArray format = reader.format();
        if (!isShownFormat(format)) {
            return failedLoad(Failure::NotAPicture, QStringLiteral("The file is not a picture."));
        }
        const QSize stored = reader.size();
        if (!stored.isValid() || stored.isEmpty()) {
            return failedLoad(
                Failure::NotAPicture, QStringLiteral("The picture's header is damaged."));
        }
        if (exceedsLimits(stored)) {
            return failedLoad(Failure::TooLarge, QStringLiteral("The picture is too large."));
        }
        if (claimsTooMuch(stored, fileBytes)) {
            return failedLoad(Failure::TooLarge,
                QStringLiteral("The picture claims a size its file cannot hold."));
        }
        // Qt's size and scaled size are in the stored orientation; the picture's are as shown.
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        LoadResult result;
        result.picture.naturalSize = turned ? stored.transposed() : stored;
        if (!pixels) {
            return result;
        }
        if ((format == "jpeg" || format == "jpg")
            && progressiveScans(bytes) > kMaxProgressiveScans) {
            return failedLoad(Failure::TooLarge, QStringLiteral("The picture has too many scans."));
        }
        const QSize natural = result.picture.naturalSize;
        const bool jpeg = format == "jpeg" || format == "jpg";
        const bool smaller = target.isValid() && !target.isEmpty()
            && (natural.width() > target.width() || natural.height() > target.height());
        const QSize shown = smaller
            ? natural.scaled(target, Qt::KeepAspectRatio).expandedTo(QSize(1, 1))
            : natural;
        if (smaller && jpeg) {
            // JPEG decodes straight at 1/2, 1/4 or 1/8 scale when asked for a smaller size.
            reader.setScaledSize(turned ? shown.transposed() : shown);
        } else if (viewport.isValid() && (format == "jpeg" || format == "jpg")
            && reader.transformation() == QImageIOHandler::TransformationNone
            && (natural.width() > viewport.width() || natural.height() > viewport.height())) {
            // Larger than the screen at its own size: only the centred part the screen shows is
            // decoded, which skips the rest of the picture's rows and columns.
            const QSize part = natural.boundedTo(viewport);
            const QRect region(QPoint((natural.width() - part.width()) / 2,
                                   (natural.height() - part.height()) / 2),
                part);
            reader.setClipRect(region);
            result.picture.region = region;
        }
        result.picture.image = reader.read();
        if (result.picture.image.isNull()) {
            return failedLoad(Failure::NotAPicture,
                QStringLiteral("The picture cannot be decoded: %1").arg(reader.errorString()));
        }
        // A run-length coded BMP can use colours past its palette, which Qt's reader keeps as
        // indices past the colour table; any drawing would read past it. The table is padded
        // before the picture is scaled or shown (the reader scales only JPEG itself).
        QImage &image = result.picture.image;
        if (image.format() == QImage::Format_Indexed8 && image.colorCount() < 256) {
            QList<QRgb> table = image.colorTable();
            table.resize(256, qRgb(0, 0, 0));
            image.setColorTable(table);
        }
        if (smaller && !jpeg && image.size() != shown) {
            image = image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        return result;
    }

    LoadResult decodeMemory(const QByteArray &bytes, const QSize &target, bool pixels)
    {
        if (wmf::looksLikeMetafile(bytes.left(kSniffBytes))) {
            return wmf::decode(bytes, target, pixels);
        }
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        return decodeRaster(&buffer, bytes, target, pixels);
    }

    // Opens `path` for reading only when it is (or links to) a regular file: a FIFO would block
    // the reader for ever, a device may never end, and a folder is no picture. The file is
    // checked again once open, so a node swapped in between is refused too; opening does not
    // block, whatever the node is.
    LoadResult openRegularFile(const QString &path, QFile &file)
    {
        struct stat status
        {
        };
        if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) {
                return failedLoad(Failure::Missing, QStringLiteral("The file does not exist."));
            }
            return failedLoad(Failure::Unreadable,
                QStringLiteral("The file cannot be read: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
        }
        if (S_ISDIR(status.st_mode)) {
            return failedLoad(
                Failure::NotAPicture, QStringLiteral("This is a folder, not a picture."));
        }
        if (!S_ISREG(status.st_mode)) {
            return failedLoad(
                Failure::NotAPicture, QStringLiteral("This is not a file but a device or pipe."));
        }
        const int descriptor
            = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (descriptor < 0) {
            const int error = errno;
            return failedLoad(error == ENOENT ? Failure::Missing : Failure::Unreadable,
                error == ENOENT ? QStringLiteral("The file does not exist.")
                                : QStringLiteral("The file cannot be read: %1")
                                      .arg(QString::fromLocal8Bit(std::strerror(error))));
        }
        if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(descriptor);
            return failedLoad(
                Failure::NotAPicture, QStringLiteral("This is not a file but a device or pipe."));
        }
        if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(descriptor);
            return failedLoad(Failure::Unreadable,
                QStringLiteral("The file cannot be read: %1").arg(file.errorString()));
        }
        return LoadResult();
    }

    LoadResult decodeFile(
        const QString &path, const QSize &target, bool pixels, const QSize &viewport = QSize())
    {
        QFile file;
        if (const LoadResult opened = openRegularFile(path, file); !opened.ok()) {
            return opened;
        }
        LoadResult result;
        if (wmf::looksLikeMetafile(file.peek(kSniffBytes))) {
            // Metafiles are small and libwmf reads them out of order, so they are read whole.
            if (file.size() > kMaxMetafileBytes) {
                return failedLoad(Failure::TooLarge, QStringLiteral("The metafile is too large."));
            }
            const QByteArray bytes = file.readAll();
            if (file.error() != QFileDevice::NoError) {
                return failedLoad(Failure::Unreadable,
                    QStringLiteral("The file cannot be read: %1").arg(file.errorString()));
            }
            result = wmf::decode(bytes, target, pixels);
        } else if (!pixels) {
            // The size is in the header: the reader reads the file as a stream from its start
            // and stops there, and the checks look at the start only.
            const QByteArray head = file.peek(kHeaderBytes);
            result = decodeRaster(&file, head, target, false, viewport);
        } else {
            // The file is read into memory, never mapped: a file cut short while it is read (a
            // copy over it truncates first) then gives a short buffer, which fails as any damaged
            // file does, where walking a mapping past the new end would kill the program.
            const qint64 size = file.size();
            if (size > kMaxFileBytes) {
                return failedLoad(Failure::TooLarge, QStringLiteral("The file is too large."));
            }
            const QByteArray bytes = file.read(size);
            if (file.error() != QFileDevice::NoError) {
                return failedLoad(Failure::Unreadable,
                    QStringLiteral("The file cannot be read: %1").arg(file.errorString()));
            }
            QBuffer buffer;
            buffer.setData(bytes);
            buffer.open(QIODevice::ReadOnly);
            result = decodeRaster(&buffer, bytes, target, true, viewport);
        }
        if (result.ok()) {
            result.picture.file = path;
        }
        return result;
    }

} // namespace

LoadResult failedLoad(Failure failure, const QString &reason)
{
    LoadResult result;
    result.failure = failure;
    result.reason = reason;
    return result;
}

bool exceedsLimits(const QSize &size)
{
    return size.width() > kMaxSide || size.height() > kMaxSide
        || qint64(size.width()) * size.height() > kMaxPixels;
}

LoadResult load(const QString &path)
{
    return decodeFile(path, QSize(), true);
}

LoadResult loadScaled(const QString &path, const QSize &target)
{
    return decodeFile(path, target, true);
}

LoadResult loadVisible(const QString &path, const QSize &viewport)
{
    return decodeFile(path, QSize(), true, viewport);
}

LoadResult readSize(const QString &path)
{
    return decodeFile(path, QSize(), false);
}

LoadResult loadData(const QByteArray &bytes, const QSize &target)
{
    return decodeMemory(bytes, target, true);
}

} // namespace pictures
