#include "picture.h"

#include "decodehook_p.h"
#include "gifpicture.h"
#include "jpegpicture.h"
#include "wmffile.h"
#include "wmfpicture.h"

#include "system/files.h"

#include <QBuffer>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

QSizeF Picture::sizeTwips(float twipsPerPixel) const
{
    return QSizeF(
        float(naturalSize.width()) * twipsPerPixel, float(naturalSize.height()) * twipsPerPixel);
}

namespace pictures {

namespace {

    std::atomic<testing::DecodeHook> s_decodeHook { nullptr };

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
    // Tighter bounds where the coding gives one. A GIF code of at most 12 bits stands for at
    // most 4096 pixels (under 2731 a byte); a screen much larger than what its images could fill
    // is no picture but a bomb. A run-length BMP code of two bytes stands for at most 255
    // pixels.
    constexpr qint64 kMaxGifPixelsPerByte = 3000;
    constexpr qint64 kMaxRleBmpPixelsPerByte = 128;
    // A progressive JPEG keeps every coefficient while it decodes (two bytes a pixel for each
    // colour component), at any scale; past this many pixels it must come from a file that
    // plausibly holds them.
    constexpr qint64 kLargeProgressivePixels = 64LL * 1000 * 1000;
    constexpr qint64 kMaxProgressivePixelsPerByte = 64;
    constexpr qint64 kBombCheckPixels = 4LL * 1024 * 1024;
    constexpr int kAllocationLimitMb = int((kMaxPixels * 4 + (1 << 20) - 1) >> 20);

    // The memory the decodes running at once hold, out of kMaxDecodeBytes: each decode takes its
    // share, as its header says it needs, before it allocates, and waits while others hold too
    // much of it.
    class DecodeMemory
    {
    public:
        // Takes `bytes` (at most kMaxDecodeBytes) for the holder's life; `taken()` is false when
        // the decode was cancelled while it waited.
        DecodeMemory(qint64 bytes, const std::atomic_bool *cancelled)
            : m_bytes(bytes)
        {
            std::unique_lock lock(s_mutex);
            while (s_used + m_bytes > kMaxDecodeBytes) {
                if (cancelled && cancelled->load()) {
                    m_bytes = 0;
                    return;
                }
                // Woken when another decode gives its share back; the timeout only bounds how
                // long a cancel goes unnoticed.
                s_released.wait_for(lock, std::chrono::milliseconds(20));
            }
            s_used += m_bytes;
        }
        ~DecodeMemory()
        {
            if (m_bytes > 0) {
                std::lock_guard lock(s_mutex);
                s_used -= m_bytes;
                s_released.notify_all();
            }
        }
        DecodeMemory(const DecodeMemory &) = delete;
        DecodeMemory &operator=(const DecodeMemory &) = delete;

        bool taken() const { return m_bytes > 0; }

    private:
        qint64 m_bytes;
        static inline std::mutex s_mutex;
        static inline std::condition_variable s_released;
        static inline qint64 s_used = 0;
    };

    // One decode at a time of those asked with Sharing::OneLargeAtATime that hold a whole
    // picture's coefficients; the others wait for their turn before taking any memory.
    class LargeDecodeTurn
    {
    public:
        // `taken()` is false when the decode was cancelled while it waited.
        explicit LargeDecodeTurn(const std::atomic_bool *cancelled)
        {
            std::unique_lock lock(s_mutex);
            while (s_busy) {
                if (cancelled && cancelled->load()) {
                    return;
                }
                s_released.wait_for(lock, std::chrono::milliseconds(20));
            }
            s_busy = true;
            m_taken = true;
        }
        ~LargeDecodeTurn()
        {
            if (m_taken) {
                std::lock_guard lock(s_mutex);
                s_busy = false;
                s_released.notify_all();
            }
        }
        LargeDecodeTurn(const LargeDecodeTurn &) = delete;
        LargeDecodeTurn &operator=(const LargeDecodeTurn &) = delete;

        bool taken() const { return m_taken; }

    private:
        bool m_taken = false;
        static inline std::mutex s_mutex;
        static inline std::condition_variable s_released;
        static inline bool s_busy = false;
    };

    // Whether a zoomed view takes the whole picture decoded at `size`, rather than only the part
    // it shows: a picture of a few screens is decoded whole, so scrolling it reads nothing more.
    bool fitsWhole(const QSize &size)
    {
        constexpr qint64 kWholeViewBytes = 64LL << 20;
        return qint64(size.width()) * size.height() * 4 <= kWholeViewBytes;
    }

    LoadResult pastBudget()
    {
        return failedLoad(Failure::TooLarge,
            QStringLiteral("The picture needs more memory to decode than a picture may take."));
    }

    LoadResult cancelledLoad()
    {
        return failedLoad(Failure::Cancelled, QStringLiteral("The decode was cancelled."));
    }

    // A file the system would not let be read; `why` in the system's words.
    LoadResult unreadable(const QString &why)
    {
        return failedLoad(
            Failure::Unreadable, QStringLiteral("The file cannot be read: %1").arg(why));
    }

    // What reading `file` failed with, if it did.
    std::optional<LoadResult> readError(const QFileDevice &file)
    {
        if (file.error() == QFileDevice::NoError) {
            return std::nullopt;
        }
        return unreadable(file.errorString());
    }

    void setAllocationLimit()
    {
        static std::once_flag once;
        std::call_once(once, [] { QImageReader::setAllocationLimit(kAllocationLimitMb); });
    }

    bool claimsTooMuch(
        const QSize &size, qint64 fileBytes, qint64 pixelsPerByte = kMaxPixelsPerByte)
    {
        const qint64 area = qint64(size.width()) * size.height();
        return area > kBombCheckPixels && area / pixelsPerByte > fileBytes;
    }

    bool isShownFormat(const QByteArray &format, const QString &path)
    {
        // The pictures the program shows; other formats Qt happens to read stay out, and with them
        // their decoders' flaws.
        if (format == "bmp" || format == "gif" || format == "jpeg" || format == "jpg") {
            return true;
        }
        // The formats a folder lists only when asked to (PNG, WebP, TIFF) are read only from a
        // file named for one of them: a PNG named .bmp in a folder listed as always stays the
        // failed load it always was.
        if (format != "png" && format != "webp" && format != "tiff") {
            return false;
        }
        for (const char *suffix : { ".png", ".webp", ".tif", ".tiff" }) {
            if (path.endsWith(QLatin1String(suffix), Qt::CaseInsensitive)) {
                return true;
            }
        }
        return false;
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

    // How one output pixel along a side takes the source pixels it covers: from `first`, `count`
    // pixels, their weights (shares of the output pixel, summing to one) from `weight` on.
    struct Spans
    {
        std::vector<int> first;
        std::vector<int> count;
        std::vector<int> offset;
        std::vector<float> weights;
    };

    Spans spans(int source, int output)
    {
        Spans result;
        const double step = double(source) / output;
        for (int i = 0; i < output; ++i) {
            const double from = i * step;
            const double to = qMin(double(source), (i + 1) * step);
            const int first = int(from);
            const int last = qMin(source - 1, int(std::ceil(to)) - 1);
            result.first.push_back(first);
            result.count.push_back(last - first + 1);
            result.offset.push_back(int(result.weights.size()));
            for (int j = first; j <= last; ++j) {
                const double share = qMin(to, j + 1.0) - qMax(from, double(j));
                result.weights.push_back(float(share / (to - from)));
            }
        }
        return result;
    }

    // `source` reduced to `size` (no larger on either side) by area averaging: each output pixel
    // is the mean of the source area it covers, pixels on its edge weighted by the share they
    // cover. Fine detail becomes its mean tone instead of a false pattern, as point or bilinear
    // sampling makes of it. A palette picture is read through its palette, never converted
    // whole.
    QImage areaReduced(const QImage &source, const QSize &size)
    {
        if (source.size() == size || size.isEmpty() || source.isNull()) {
            return source;
        }
        const bool alpha = source.hasAlphaChannel();
        const QImage::Format format
            = alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
        const bool indexed = source.format() == QImage::Format_Indexed8;
        const QImage image = indexed ? source : source.convertToFormat(format);
        QList<QRgb> table = indexed ? image.colorTable() : QList<QRgb>();
        table.resize(256, qRgb(0, 0, 0));
        for (QRgb &colour : table) {
            colour = qPremultiply(colour);
        }
        QImage reduced(size, format);
        if (reduced.isNull()) {
            return reduced;
        }
        const Spans columns = spans(image.width(), size.width());
        const Spans rows = spans(image.height(), size.height());
        std::vector<float> sum(size_t(size.width()) * 4);
        std::vector<QRgb> pixels(size_t(image.width()));
        for (int y = 0; y < size.height(); ++y) {
            std::fill(sum.begin(), sum.end(), 0.0f);
            for (int r = 0; r < rows.count[size_t(y)]; ++r) {
                const int sourceRow = rows.first[size_t(y)] + r;
                const float rowWeight = rows.weights[size_t(rows.offset[size_t(y)] + r)];
                const QRgb *pixel = reinterpret_cast<const QRgb *>(image.constScanLine(sourceRow));
                if (indexed) {
                    const uchar *index = image.constScanLine(sourceRow);
                    for (int x = 0; x < image.width(); ++x) {
                        pixels[size_t(x)] = table[index[x]];
                    }
                    pixel = pixels.data();
                }
                for (int x = 0; x < size.width(); ++x) {
                    const size_t at = size_t(x);
                    const QRgb *from = pixel + columns.first[at];
                    const float *weight = columns.weights.data() + columns.offset[at];
                    float a = 0;
                    float red = 0;
                    float green = 0;
                    float blue = 0;
                    for (int i = 0; i < columns.count[at]; ++i) {
                        a += weight[i] * float(qAlpha(from[i]));
                        red += weight[i] * float(qRed(from[i]));
                        green += weight[i] * float(qGreen(from[i]));
                        blue += weight[i] * float(qBlue(from[i]));
                    }
                    float *total = sum.data() + at * 4;
                    total[0] += rowWeight * a;
                    total[1] += rowWeight * red;
                    total[2] += rowWeight * green;
                    total[3] += rowWeight * blue;
                }
            }
            auto *out = reinterpret_cast<QRgb *>(reduced.scanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                const float *total = sum.data() + size_t(x) * 4;
                const int a = alpha ? qBound(0, int(total[0] + 0.5f), 255) : 255;
                out[x] = qRgba(qMin(a, int(total[1] + 0.5f)), qMin(a, int(total[2] + 0.5f)),
                    qMin(a, int(total[3] + 0.5f)), a);
            }
        }
        return reduced;
    }

    // The size a picture of `natural` pixels is shown at within `target` (aspect kept, never
    // enlarged); an invalid or empty target: the natural size.
    QSize shownSize(const QSize &natural, const QSize &target)
    {
        if (!target.isValid() || target.isEmpty()
            || (natural.width() <= target.width() && natural.height() <= target.height())) {
            return natural;
        }
        return natural.scaled(target, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    }

    // The centred part of a picture of `natural` pixels that a viewport shows at its own size;
    // empty when the whole picture fits or no viewport is given.
    QRect centredPart(const QSize &natural, const QSize &viewport)
    {
        if (!viewport.isValid() || viewport.isEmpty()
            || (natural.width() <= viewport.width() && natural.height() <= viewport.height())) {
            return QRect();
        }
        const QSize part = natural.boundedTo(viewport);
        return QRect(
            QPoint((natural.width() - part.width()) / 2, (natural.height() - part.height()) / 2),
            part);
    }

    using What = DecodeRequest::What;

    // Whether `request` wants pixels, not only the size.
    bool wantsPixels(const DecodeRequest &request)
    {
        return request.what != What::Header;
    }

    // The size the whole picture is shown within (invalid: its natural size).
    QSize targetOf(const DecodeRequest &request)
    {
        return request.what == What::Within || request.what == What::Reduced ? request.size
                                                                             : QSize();
    }

    // The viewport whose centred part is decoded (invalid: all of the picture).
    QSize viewportOf(const DecodeRequest &request)
    {
        return request.what == What::Visible ? request.size : QSize();
    }

    // How a JPEG's bytes reach the decoder: all of them in memory already, or its start in
    // memory and the rest read from the file as the decode goes.
    enum class JpegSource { InMemory, Streamed };

    // A JPEG in `bytes` (the whole file when pixels are wanted, else at least its start;
    // `device` gives the rest of a header longer than that). A picture larger than its target is
    // decoded by libjpeg at the smallest n/8 of its size that still covers the size shown, then
    // averaged down to that size unless the request is Reduced (which keeps libjpeg's size).
    // Streamed, `bytes` holds the start only (`device` is the file) and the pixels are read from
    // `device` as they are decoded, unless the picture needs the whole file at hand.
    LoadResult decodeJpeg(QIODevice *device, QByteArrayView bytes, const DecodeRequest &request,
        const std::atomic_bool *cancelled, JpegSource source = JpegSource::InMemory,
        Sharing sharing = Sharing::Alongside)
    {
        const bool pixels = wantsPixels(request);
        const QSize target = targetOf(request);
        const QSize viewport = viewportOf(request);
        const bool exact = request.what != What::Reduced;
        bool streamed = source == JpegSource::Streamed;
        jpeg::HeaderInfo info;
        LoadResult header = jpeg::readHeader(bytes, &info);
        // A JPEG in one scan is read a block at a time as it is decoded: a photo's file is never
        // held whole beside its pixels. Headers past the first bytes, or several scans (their
        // count is checked over the whole file), have the file read whole.
        QByteArray whole;
        if (streamed && (info.cutShort || (header.ok() && info.progressive))) {
            if (!device->seek(0)) {
                return unreadable(device->errorString());
            }
            whole = device->read(qMin(device->size(), kMaxFileBytes));
            if (const auto *file = qobject_cast<const QFileDevice *>(device)) {
                if (const auto error = readError(*file)) {
                    return *error;
                }
            }
            bytes = whole;
            streamed = false;
            header = jpeg::readHeader(bytes, &info);
        }
        if (info.cutShort && !pixels && bytes.size() < device->size() && device->seek(0)) {
            // Headers past the first bytes read (large metadata before the frame): the size is
            // read from the whole file.
            const QByteArray whole = device->read(qMin(device->size(), kMaxFileBytes));
            header = jpeg::readHeader(whole);
        }
        if (!header.ok()) {
            return header;
        }
        const QSize natural = header.picture.naturalSize;
        if (exceedsLimits(natural)) {
            return failedLoad(Failure::TooLarge, QStringLiteral("The picture is too large."));
        }
        const qint64 fileBytes = device->size();
        if (claimsTooMuch(natural, fileBytes)) {
            return failedLoad(Failure::TooLarge,
                QStringLiteral("The picture claims a size its file cannot hold."));
        }
        if (!pixels) {
            return header;
        }
        const int scans = progressiveScans(bytes);
        if (scans > kMaxProgressiveScans) {
            return failedLoad(Failure::TooLarge, QStringLiteral("The picture has too many scans."));
        }
        if (scans > 0 && qint64(natural.width()) * natural.height() > kLargeProgressivePixels
            && claimsTooMuch(natural, fileBytes, kMaxProgressivePixelsPerByte)) {
            return failedLoad(Failure::TooLarge,
                QStringLiteral("The picture claims a size its file cannot hold."));
        }
        // libjpeg keeps a progressive picture's coefficients whole while it decodes, at any
        // scale: a picture whose coefficients alone pass the budget is refused, however small
        // it is shown.
        if (info.coefficientBytes + whole.size() > kMaxDecodeBytes) {
            return failedLoad(Failure::TooLarge,
                QStringLiteral("The picture is stored in scans that need more memory to decode "
                               "than a picture may take."));
        }
        // What is decoded: the scale covering the size shown, and the part a view shows.
        const QSize shown = shownSize(natural, target);
        const int eighths = shown == natural ? 8 : jpeg::eighthsCovering(natural, shown);
        QRect region = shown == natural ? centredPart(natural, viewport) : QRect();
        if (request.what == What::Within && !request.region.isEmpty()
            && !fitsWhole(jpeg::scaledSize(natural, eighths))) {
            region = request.region & QRect(QPoint(0, 0), natural);
            if (region.isEmpty()) {
                return failedLoad(Failure::NotAPicture,
                    QStringLiteral("The part asked for is not in the picture."));
            }
        }
        const bool allOfIt = region.isEmpty() || region.size() == natural;
        // A part is cropped to whole blocks: up to a block more on each side.
        const QSize decoded
            = jpeg::scaledSize(allOfIt ? natural : region.size() + QSize(16, 16), eighths);
        const qint64 decodedBytes = qint64(decoded.width()) * decoded.height() * 4;
        const qint64 reducedBytes = qint64(shown.width()) * shown.height() * 4;
        bool reduce = exact && allOfIt && shown != natural && decoded != shown;
        // Past the budget with the averaged copy, the picture comes at libjpeg's scale, to be
        // drawn scaled, as a Reduced request has it.
        if (reduce
            && decodedBytes + reducedBytes + info.coefficientBytes + whole.size()
                > kMaxDecodeBytes) {
            reduce = false;
        }
        const qint64 needed
            = decodedBytes + (reduce ? reducedBytes : 0) + info.coefficientBytes + whole.size();
        if (needed > kMaxDecodeBytes) {
            return pastBudget();
        }
        if (cancelled && cancelled->load()) {
            return cancelledLoad();
        }
        std::optional<LargeDecodeTurn> turn;
        if (sharing == Sharing::OneLargeAtATime && info.coefficientBytes > 0) {
            turn.emplace(cancelled);
            if (!turn->taken()) {
                return cancelledLoad();
            }
        }
        const DecodeMemory memory(needed, cancelled);
        if (!memory.taken()) {
            return cancelledLoad();
        }
        // A reduced picture is an interim one, shown until the sharp one lands: a progressive
        // file gives it from its first scan.
        const jpeg::Scans wanted
            = request.what == What::Reduced ? jpeg::Scans::First : jpeg::Scans::All;
        const auto decode = [&](int eighths, const QRect &region) {
            if (!streamed) {
                return jpeg::decode(bytes, eighths, region, cancelled, wanted);
            }
            if (!device->seek(0)) {
                return unreadable(device->errorString());
            }
            return jpeg::decode(device, eighths, region, cancelled, wanted);
        };
        LoadResult result = decode(eighths, allOfIt ? QRect() : region);
        if (result.ok() && reduce) {
            result.picture.image = areaReduced(result.picture.image, shown);
        }
        return result;
    }

    // Decodes from `device` (opened for reading). `bytes` gives the whole content when it is at
    // hand without reading (a memory buffer or a mapped file), for the checks that look past the
    // header.
    LoadResult decodeRaster(QIODevice *device, QByteArrayView bytes, const DecodeRequest &request,
        const std::atomic_bool *cancelled = nullptr)
    {
        setAllocationLimit();
        if (jpeg::looksLikeJpeg(bytes)) {
            return decodeJpeg(device, bytes, request, cancelled);
        }
        const bool pixels = wantsPixels(request);
        const QSize target = targetOf(request);
        const QSize viewport = viewportOf(request);
        if (gif::looksLikeGif(bytes.first(qMin<qsizetype>(6, bytes.size())))) {
            const LoadResult header = gif::decode(bytes, false);
            if (!header.ok() || !pixels) {
                return header;
            }
            if (claimsTooMuch(header.picture.naturalSize, device->size(), kMaxGifPixelsPerByte)) {
                return failedLoad(Failure::TooLarge,
                    QStringLiteral("The picture claims a size its file cannot hold."));
            }
            const QSize natural = header.picture.naturalSize;
            const QSize shown = shownSize(natural, target);
            // A thumbnail is averaged down while decoding to no less than its size, never held
            // at the natural size; the show keeps only what the screen shows.
            int reduction
                = qMax(1, qMin(natural.width() / shown.width(), natural.height() / shown.height()));
            QRect region = centredPart(natural, viewport);
            if (request.what == What::Within && !request.region.isEmpty() && !fitsWhole(natural)) {
                region = request.region & QRect(QPoint(0, 0), natural);
            }
            // What the decode holds: averaged down, a sum for each output pixel and each image's
            // sums (32 bytes each), else the canvas kept. Past the budget, a view that shows the
            // whole picture gets it averaged down further; nothing else can be cut.
            const auto needed = [&](int by) {
                const qint64 cells
                    = qint64((natural.width() + by - 1) / by) * ((natural.height() + by - 1) / by);
                const qint64 kept
                    = by > 1 || region.isEmpty() ? cells : qint64(region.width()) * region.height();
                const qint64 averaged = qMin(kept, qint64(shown.width()) * shown.height());
                return (by > 1 ? cells * 68 : kept * 4) + averaged * 4 + bytes.size();
            };
            const bool reducible = request.what == What::Within || request.what == What::Reduced;
            while (reducible && needed(reduction) > kMaxDecodeBytes
                && reduction < qMax(natural.width(), natural.height())) {
                ++reduction;
            }
            if (needed(reduction) > kMaxDecodeBytes) {
                return pastBudget();
            }
            const DecodeMemory memory(needed(reduction), cancelled);
            if (!memory.taken()) {
                return cancelledLoad();
            }
            LoadResult result = gif::decode(bytes, true, reduction, region, cancelled);
            // Averaged down to the size shown; one averaged down further for the budget is drawn
            // larger as it is.
            const QSize made = result.picture.image.size();
            if (result.ok() && made != shown && made.width() >= shown.width()
                && made.height() >= shown.height() && result.picture.region.isEmpty()) {
                result.picture.image = areaReduced(result.picture.image, shown);
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
        if (!isShownFormat(format, request.path)) {
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
        const bool runLength = format == "bmp" && bytes.size() >= 34
            && (qFromLittleEndian<quint32>(bytes.data() + 30) == 1
                || qFromLittleEndian<quint32>(bytes.data() + 30) == 2);
        if (claimsTooMuch(
                stored, fileBytes, runLength ? kMaxRleBmpPixelsPerByte : kMaxPixelsPerByte)) {
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
        // Only BMP, PNG, WebP and TIFF come this far (JPEG and GIF are decoded above); Qt's reader
        // is not asked to scale them, so a thumbnail is averaged down below.
        const QSize natural = result.picture.naturalSize;
        const bool smaller = target.isValid() && !target.isEmpty()
            && (natural.width() > target.width() || natural.height() > target.height());
        const QSize shown = smaller
            ? natural.scaled(target, Qt::KeepAspectRatio).expandedTo(QSize(1, 1))
            : natural;
        // Qt's reader holds the picture whole, beside the file's bytes; a PNG or TIFF of 16 bits
        // a channel at 8 bytes a pixel.
        const qint64 pixelBytes = format == "bmp" ? 4 : 8;
        const qint64 needed = qint64(natural.width()) * natural.height() * pixelBytes
            + (smaller ? qint64(shown.width()) * shown.height() * 4 : 0) + bytes.size();
        if (needed > kMaxDecodeBytes) {
            return pastBudget();
        }
        const DecodeMemory memory(needed, cancelled);
        if (!memory.taken() || (cancelled && cancelled->load())) {
            return cancelledLoad();
        }
        result.picture.image = reader.read();
        if (cancelled && cancelled->load()) {
            return failedLoad(Failure::Cancelled, QStringLiteral("The decode was cancelled."));
        }
        if (result.picture.image.isNull()) {
            return failedLoad(Failure::NotAPicture,
                QStringLiteral("The picture cannot be decoded: %1").arg(reader.errorString()));
        }
        // A run-length coded BMP can use colours past its palette, which Qt's reader keeps as
        // indices past the colour table; any drawing would read past it. The table is padded
        // before the picture is scaled or shown.
        QImage &image = result.picture.image;
        if (image.format() == QImage::Format_Indexed8 && image.colorCount() < 256) {
            QList<QRgb> table = image.colorTable();
            table.resize(256, qRgb(0, 0, 0));
            image.setColorTable(table);
        }
        if (smaller && image.size() != shown) {
            image = areaReduced(image, shown);
        }
        return result;
    }

    LoadResult decodeMemory(const QByteArray &bytes, const DecodeRequest &request)
    {
        if (wmf::looksLikeMetafile(bytes.left(kSniffBytes))) {
            return wmf::decode(bytes, request);
        }
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        return decodeRaster(&buffer, bytes, request);
    }

    // A file's bytes that stop coming once `cancelled` is set: Qt's decoders then take the
    // picture as cut short and finish at once instead of decoding the rest.
    class CancellableBuffer : public QBuffer
    {
    public:
        explicit CancellableBuffer(const std::atomic_bool *cancelled)
            : m_cancelled(cancelled)
        {
        }

    protected:
        qint64 readData(char *data, qint64 maxSize) override
        {
            if (m_cancelled && m_cancelled->load(std::memory_order_relaxed)) {
                return -1;
            }
            return QBuffer::readData(data, maxSize);
        }

    private:
        const std::atomic_bool *m_cancelled;
    };

    // Opens `path` for reading only when it is (or links to) a regular file: a FIFO would block
    // the reader for ever, a device may never end, and a folder is no picture.
    LoadResult openRegularFile(const QString &path, QFile &file)
    {
        const systemfiles::OpenResult opened = systemfiles::openRegular(path, file);
        switch (opened.status) {
        case systemfiles::OpenStatus::Opened:
            return LoadResult();
        case systemfiles::OpenStatus::Missing:
            return failedLoad(Failure::Missing, QStringLiteral("The file does not exist."));
        case systemfiles::OpenStatus::Folder:
            return failedLoad(
                Failure::NotAPicture, QStringLiteral("This is a folder, not a picture."));
        case systemfiles::OpenStatus::NotAFile:
            return failedLoad(
                Failure::NotAPicture, QStringLiteral("This is not a file but a device or pipe."));
        case systemfiles::OpenStatus::Failed:
            break;
        }
        return unreadable(opened.error);
    }

    LoadResult decodeFile(const DecodeRequest &request, const std::atomic_bool *cancelled,
        Sharing sharing = Sharing::Alongside)
    {
        const QString &path = request.path;
        if (cancelled && cancelled->load()) {
            return failedLoad(Failure::Cancelled, QStringLiteral("The decode was cancelled."));
        }
        if (const testing::DecodeHook hook = s_decodeHook.load()) {
            hook(cancelled);
        }
        QFile file;
        if (const LoadResult opened = openRegularFile(path, file); !opened.ok()) {
            return opened;
        }
        LoadResult result;
        if (wmf::looksLikeMetafile(file.peek(kSniffBytes))) {
            // Metafiles are small and libwmf reads them out of order, so they are read whole.
            if (file.size() > wmf::kMaxMetafileBytes) {
                return failedLoad(Failure::TooLarge, QStringLiteral("The metafile is too large."));
            }
            const QByteArray bytes = file.readAll();
            if (const auto error = readError(file)) {
                return *error;
            }
            result = wmf::decode(bytes, request, cancelled);
        } else if (!wantsPixels(request)) {
            // The size is in the header: the reader reads the file as a stream from its start
            // and stops there, and the checks look at the start only.
            const QByteArray head = file.peek(kHeaderBytes);
            result = decodeRaster(&file, head, request);
        } else {
            // The file is read, never mapped: a file cut short while it is read (a copy over it
            // truncates first) then ends early, and decodes as any file cut short does, where
            // walking a mapping past the new end would kill the program.
            const qint64 size = file.size();
            if (size > kMaxFileBytes) {
                return failedLoad(Failure::TooLarge, QStringLiteral("The file is too large."));
            }
            // A JPEG is decoded from its first bytes on, the rest read as it is decoded.
            const QByteArray head = file.peek(kHeaderBytes);
            if (jpeg::looksLikeJpeg(head)) {
                result = decodeJpeg(&file, head, request, cancelled, JpegSource::Streamed, sharing);
            } else {
                const QByteArray bytes = file.read(size);
                if (const auto error = readError(file)) {
                    return *error;
                }
                CancellableBuffer buffer(cancelled);
                buffer.setData(bytes);
                buffer.open(QIODevice::ReadOnly);
                result = decodeRaster(&buffer, bytes, request, cancelled);
            }
        }
        if (result.ok()) {
            result.picture.file = path;
        }
        return result;
    }

} // namespace

void testing::setDecodeHook(DecodeHook hook)
{
    s_decodeHook.store(hook);
}

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

LoadResult load(const DecodeRequest &request, const std::atomic_bool *cancelled, Sharing sharing)
{
    return decodeFile(request, cancelled, sharing);
}

bool isMetafile(const QString &path)
{
    QFile file;
    return openRegularFile(path, file).ok() && wmf::looksLikeMetafile(file.peek(kSniffBytes));
}

LoadResult readSize(const QString &path)
{
    return decodeFile(DecodeRequest::header(path), nullptr);
}

LoadResult loadData(const QByteArray &bytes, const QSize &target, const QString &name)
{
    LoadResult result = decodeMemory(bytes, DecodeRequest::within(name, target));
    result.picture.file.clear();
    return result;
}

} // namespace pictures
