#include "gifpicture.h"

#include <QImage>
#include <QList>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace pictures::gif {

namespace {

    constexpr int kMaxCodes = 4096;

    LoadResult damaged()
    {
        return failedLoad(Failure::NotAPicture, QStringLiteral("The GIF file is damaged."));
    }

    // Reads a GIF byte by byte; every read past the end yields nothing and is remembered.
    class Reader
    {
    public:
        explicit Reader(QByteArrayView data)
            : m_data(data)
        {
        }
        bool atEnd() const { return m_at >= m_data.size(); }
        qsizetype remaining() const { return m_data.size() - m_at; }
        int byte()
        {
            return m_at < m_data.size() ? static_cast<unsigned char>(m_data[m_at++]) : -1;
        }
        int word()
        {
            const int low = byte();
            const int high = byte();
            return low < 0 || high < 0 ? -1 : low | high << 8;
        }
        bool skip(qsizetype count)
        {
            if (count > remaining()) {
                m_at = m_data.size();
                return false;
            }
            m_at += count;
            return true;
        }
        // Skips a chain of data sub-blocks; false when the data ends first.
        bool skipBlocks()
        {
            for (;;) {
                const int length = byte();
                if (length < 0) {
                    return false;
                }
                if (length == 0) {
                    return true;
                }
                if (!skip(length)) {
                    return false;
                }
            }
        }
        QByteArrayView take(qsizetype count)
        {
            const QByteArrayView part = m_data.sliced(m_at, qMin(count, remaining()));
            m_at += part.size();
            return part;
        }

    private:
        QByteArrayView m_data;
        qsizetype m_at = 0;
    };

    QList<QRgb> colourTable(Reader &reader, int packed)
    {
        const int count = 2 << (packed & 7);
        QList<QRgb> table;
        table.reserve(count);
        for (int i = 0; i < count; ++i) {
            const int r = reader.byte();
            const int g = reader.byte();
            const int b = reader.byte();
            if (b < 0) {
                return {};
            }
            table.append(qRgb(r, g, b));
        }
        return table;
    }

    // The row an interlaced image stores `stored`-th: every 8th row from 0, then from 4, every
    // 4th from 2, every 2nd from 1.
    int interlacedRow(int stored, int height)
    {
        const int pass0 = (height + 7) / 8;
        if (stored < pass0) {
            return stored * 8;
        }
        stored -= pass0;
        const int pass1 = (height + 3) / 8;
        if (stored < pass1) {
            return 4 + stored * 8;
        }
        stored -= pass1;
        const int pass2 = (height + 1) / 4;
        if (stored < pass2) {
            return 2 + stored * 4;
        }
        return 1 + (stored - pass2) * 2;
    }

    // Decodes the LZW-coded indices of one image `width` pixels wide from its data sub-blocks
    // and hands them on a row at a time, in the order stored: `row(number, indices, count)`, the
    // last row with fewer when the data ends early. Nothing the size of the image is held, so a
    // huge image costs time, not memory. Ends at the end code, at the end of the data or after
    // `height` rows. False when a code is impossible or `row` says stop.
    template<typename RowSink>
    bool decodeIndices(Reader &reader, int minimumCodeSize, int width, int height, RowSink &&row)
    {
        std::array<quint16, kMaxCodes> prefix {};
        std::array<quint8, kMaxCodes> suffix {};
        std::array<quint8, kMaxCodes> first {};
        std::array<quint16, kMaxCodes> length {};
        const int clear = 1 << minimumCodeSize;
        const int end = clear + 1;
        int codeSize = minimumCodeSize + 1;
        int next = end + 1;
        int previous = -1;
        for (int i = 0; i < clear; ++i) {
            suffix[i] = quint8(i);
            first[i] = quint8(i);
            length[i] = 1;
        }
        // A row, the longest string that can run past it, and what an earlier string left.
        std::vector<quint8> buffer(size_t(width) * 2 + kMaxCodes + 1);
        size_t start = 0;
        size_t filled = 0;
        int rows = 0;
        quint32 bits = 0;
        int bitCount = 0;
        int blockLeft = 0;
        bool dataEnded = false;
        while (rows < height) {
            while (bitCount < codeSize && !dataEnded) {
                if (blockLeft == 0) {
                    blockLeft = reader.byte();
                    if (blockLeft <= 0) {
                        dataEnded = true; // the terminator (or the file's end) came first
                        break;
                    }
                }
                const int byte = reader.byte();
                if (byte < 0) {
                    dataEnded = true;
                    break;
                }
                --blockLeft;
                bits |= quint32(byte) << bitCount;
                bitCount += 8;
            }
            if (bitCount < codeSize) {
                break;
            }
            const int code = int(bits & ((1u << codeSize) - 1));
            bits >>= codeSize;
            bitCount -= codeSize;
            if (code == clear) {
                codeSize = minimumCodeSize + 1;
                next = end + 1;
                previous = -1;
                continue;
            }
            if (code == end) {
                break;
            }
            if (code > next || (code == next && previous < 0)) {
                return false;
            }
            // The code's string is written from its last index back to its first.
            int walk = code;
            int size = length[code];
            if (code == next) {
                size = length[previous] + 1;
                buffer[filled + size_t(size) - 1] = first[previous];
                walk = previous;
            }
            quint8 *out = buffer.data() + filled + length[walk];
            while (walk >= clear) {
                *--out = suffix[walk];
                walk = prefix[walk];
            }
            *--out = quint8(walk);
            filled += size_t(size);
            if (previous >= 0 && next < kMaxCodes) {
                prefix[next] = quint16(previous);
                suffix[next] = quint8(walk);
                first[next] = first[previous];
                length[next] = quint16(length[previous] + 1);
                ++next;
                // Once the table is full the code size stays at 12 bits until a clear code.
                if (next == (1 << codeSize) && codeSize < 12) {
                    ++codeSize;
                }
            }
            previous = code;
            while (filled - start >= size_t(width) && rows < height) {
                if (!row(rows, buffer.data() + start, width)) {
                    return false;
                }
                ++rows;
                start += size_t(width);
            }
            if (start > 0) {
                std::memmove(buffer.data(), buffer.data() + start, filled - start);
                filled -= start;
                start = 0;
            }
        }
        if (rows < height && filled > 0 && !row(rows, buffer.data(), int(filled))) {
            return false;
        }
        // Whatever follows the image's last code up to its terminator belongs to it.
        if (!dataEnded) {
            if (blockLeft > 0) {
                reader.skip(blockLeft);
            }
            reader.skipBlocks();
        }
        return true;
    }

    // One image's colours summed over the cells of a reduced canvas: the opaque pixels and their
    // colour totals, for the cells the image covers.
    struct Layer
    {
        struct Cell
        {
            quint64 red = 0;
            quint64 green = 0;
            quint64 blue = 0;
            quint32 count = 0;
        };
        QRect cells; // in cell coordinates
        std::vector<Cell> sums;
    };

    // A canvas `reduction` times smaller than the screen on each side, each cell holding the
    // premultiplied colour summed over the screen pixels it stands for.
    class ReducedCanvas
    {
    public:
        ReducedCanvas(const QSize &screen, int reduction)
            : m_screen(screen)
            , m_reduction(reduction)
            , m_size((screen.width() + reduction - 1) / reduction,
                  (screen.height() + reduction - 1) / reduction)
            , m_sums(size_t(m_size.width()) * size_t(m_size.height()) * 4, 0.0)
        {
        }

        int reduction() const { return m_reduction; }
        QSize screen() const { return m_screen; }

        // Later images cover earlier ones where they are opaque, in the share of each cell they
        // cover.
        void draw(const Layer &layer)
        {
            const QRect &cells = layer.cells;
            for (int y = cells.top(); y <= cells.bottom(); ++y) {
                for (int x = cells.left(); x <= cells.right(); ++x) {
                    const Layer::Cell &cell
                        = layer.sums[size_t(y - cells.top()) * size_t(cells.width())
                            + size_t(x - cells.left())];
                    if (cell.count == 0) {
                        continue;
                    }
                    const double area = double(cellArea(x, y));
                    const double keep = (area - double(cell.count)) / area;
                    double *sum = &m_sums[(size_t(y) * size_t(m_size.width()) + size_t(x)) * 4];
                    sum[0] = sum[0] * keep + 255.0 * cell.count;
                    sum[1] = sum[1] * keep + double(cell.red);
                    sum[2] = sum[2] * keep + double(cell.green);
                    sum[3] = sum[3] * keep + double(cell.blue);
                }
            }
        }

        QImage image() const
        {
            QImage image(m_size, QImage::Format_ARGB32_Premultiplied);
            if (image.isNull()) {
                return image;
            }
            for (int y = 0; y < m_size.height(); ++y) {
                auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
                for (int x = 0; x < m_size.width(); ++x) {
                    const double *sum
                        = &m_sums[(size_t(y) * size_t(m_size.width()) + size_t(x)) * 4];
                    const double area = double(cellArea(x, y));
                    const auto channel
                        = [&](int i) { return qBound(0, int(sum[i] / area + 0.5), 255); };
                    const int alpha = channel(0);
                    line[x] = qRgba(qMin(channel(1), alpha), qMin(channel(2), alpha),
                        qMin(channel(3), alpha), alpha);
                }
            }
            return image;
        }

    private:
        qint64 cellArea(int x, int y) const
        {
            const qint64 width = qMin(m_reduction, m_screen.width() - x * m_reduction);
            const qint64 height = qMin(m_reduction, m_screen.height() - y * m_reduction);
            return width * height;
        }

        QSize m_screen;
        int m_reduction;
        QSize m_size;
        std::vector<double> m_sums;
    };

} // namespace

bool looksLikeGif(QByteArrayView head)
{
    return head.startsWith("GIF87a") || head.startsWith("GIF89a");
}

LoadResult decode(QByteArrayView data, bool pixels, int reduction, const QRect &region,
    const std::atomic_bool *cancelled)
{
    Reader reader(data);
    if (!looksLikeGif(data)) {
        return failedLoad(Failure::NotAPicture, QStringLiteral("The file is not a GIF picture."));
    }
    reader.skip(6);
    const int width = reader.word();
    const int height = reader.word();
    const int packed = reader.byte();
    reader.byte(); // background colour index: the canvas is transparent, as browsers show it
    if (reader.byte() < 0) {
        return damaged();
    }
    if (width <= 0 || height <= 0) {
        return failedLoad(Failure::NotAPicture, QStringLiteral("The GIF picture has no size."));
    }
    const QSize screen(width, height);
    if (width > kMaxSide || height > kMaxSide || qint64(width) * height > kMaxPixels) {
        return failedLoad(Failure::TooLarge, QStringLiteral("The picture is too large."));
    }
    QList<QRgb> global;
    if (packed & 0x80) {
        global = colourTable(reader, packed);
        if (global.isEmpty()) {
            return damaged();
        }
    }
    LoadResult result;
    result.picture.naturalSize = screen;
    if (!pixels) {
        return result;
    }
    reduction = qMax(1, reduction);
    const QRect kept = reduction > 1 || region.isEmpty() ? QRect(QPoint(0, 0), screen)
                                                         : region & QRect(QPoint(0, 0), screen);
    QImage canvas;
    std::unique_ptr<ReducedCanvas> reduced;
    if (reduction > 1) {
        reduced = std::make_unique<ReducedCanvas>(screen, reduction);
    } else {
        canvas = QImage(kept.size(), QImage::Format_ARGB32);
        if (canvas.isNull()) {
            return failedLoad(
                Failure::TooLarge, QStringLiteral("Not enough memory for the picture."));
        }
        canvas.fill(Qt::transparent);
    }

    int transparent = -1;
    bool delayed = false;
    for (;;) {
        const int block = reader.byte();
        if (block < 0 || block == 0x3B) {
            break; // the trailer, or a file cut after its last whole block
        }
        if (block == 0x21) {
            const int label = reader.byte();
            if (label == 0xF9) {
                const QByteArrayView control = reader.take(reader.byte() < 4 ? 0 : 4);
                if (control.size() == 4) {
                    const int flags = static_cast<unsigned char>(control[0]);
                    const int delay = static_cast<unsigned char>(control[1])
                        | static_cast<unsigned char>(control[2]) << 8;
                    transparent = (flags & 1) ? static_cast<unsigned char>(control[3]) : -1;
                    delayed = delay > 0;
                }
            }
            if (label < 0 || !reader.skipBlocks()) {
                break;
            }
            continue;
        }
        if (block != 0x2C) {
            return damaged();
        }
        const int left = reader.word();
        const int top = reader.word();
        const int imageWidth = reader.word();
        const int imageHeight = reader.word();
        const int imagePacked = reader.byte();
        if (imagePacked < 0) {
            return damaged();
        }
        const qint64 count = qint64(imageWidth) * imageHeight;
        if (count == 0) {
            // An empty image draws nothing; what follows it (colour table, data) is skipped as
            // far as it is there, as writers of such files leave parts of it out.
            if (imagePacked & 0x80) {
                reader.skip(qsizetype(3) << ((imagePacked & 7) + 1));
            }
            if (reader.byte() < 0 || !reader.skipBlocks()) {
                break;
            }
            transparent = -1;
            continue;
        }
        const QList<QRgb> local
            = (imagePacked & 0x80) ? colourTable(reader, imagePacked) : QList<QRgb>();
        if ((imagePacked & 0x80) && local.isEmpty()) {
            return damaged();
        }
        const QList<QRgb> &table = (imagePacked & 0x80) ? local : global;
        const int minimumCodeSize = reader.byte();
        if (minimumCodeSize < 1 || minimumCodeSize > 11) {
            return damaged();
        }
        if (count > kMaxPixels) {
            return failedLoad(Failure::TooLarge, QStringLiteral("The picture is too large."));
        }
        const bool interlaced = imagePacked & 0x40;
        const int colours = int(table.size());
        bool undefinedColour = false;
        // Every index is checked, drawn or not: a file using colours it does not define is
        // damaged wherever it does so.
        bool stopped = false;
        const auto defined = [&](const quint8 *indices, int n) {
            if (cancelled && cancelled->load(std::memory_order_relaxed)) {
                stopped = true;
                return false;
            }
            const quint8 highest = n > 0 ? *std::max_element(indices, indices + n) : 0;
            if (highest >= colours) {
                undefinedColour = true;
                return false;
            }
            return true;
        };
        bool decoded = false;
        if (reduced) {
            Layer layer;
            const int step = reduced->reduction();
            const int right = qMin(left + imageWidth, width);
            const int bottom = qMin(top + imageHeight, height);
            if (left < width && top < height) {
                layer.cells = QRect(QPoint(left / step, top / step),
                    QPoint((right - 1) / step, (bottom - 1) / step));
                layer.sums.resize(size_t(layer.cells.width()) * size_t(layer.cells.height()));
            }
            std::array<quint32, 256> red {};
            std::array<quint32, 256> green {};
            std::array<quint32, 256> blue {};
            for (int i = 0; i < colours; ++i) {
                red[i] = quint32(qRed(table[i]));
                green[i] = quint32(qGreen(table[i]));
                blue[i] = quint32(qBlue(table[i]));
            }
            decoded = decodeIndices(reader, minimumCodeSize, imageWidth, imageHeight,
                [&](int stored, const quint8 *indices, int n) {
                    if (!defined(indices, n)) {
                        return false;
                    }
                    const int y = top + (interlaced ? interlacedRow(stored, imageHeight) : stored);
                    if (y >= height || layer.sums.empty()) {
                        return true;
                    }
                    Layer::Cell *cells = layer.sums.data()
                        + size_t(y / step - layer.cells.top()) * size_t(layer.cells.width());
                    const int shown = qMin(n, width - left);
                    for (int x = 0; x < shown;) {
                        const int cell = (left + x) / step;
                        const int end = qMin(shown, (cell + 1) * step - left);
                        quint32 r = 0;
                        quint32 g = 0;
                        quint32 b = 0;
                        quint32 opaque = 0;
                        for (; x < end; ++x) {
                            const int index = indices[x];
                            if (index != transparent) {
                                r += red[index];
                                g += green[index];
                                b += blue[index];
                                ++opaque;
                            }
                        }
                        Layer::Cell &sum = cells[cell - layer.cells.left()];
                        sum.red += r;
                        sum.green += g;
                        sum.blue += b;
                        sum.count += opaque;
                    }
                    return true;
                });
            if (decoded) {
                reduced->draw(layer);
            }
        } else {
            decoded = decodeIndices(reader, minimumCodeSize, imageWidth, imageHeight,
                [&](int stored, const quint8 *indices, int n) {
                    if (!defined(indices, n)) {
                        return false;
                    }
                    const int y = top + (interlaced ? interlacedRow(stored, imageHeight) : stored);
                    if (y < kept.top() || y > kept.bottom()) {
                        return true;
                    }
                    auto *line = reinterpret_cast<QRgb *>(canvas.scanLine(y - kept.top()));
                    const int from = qMax(0, kept.left() - left);
                    const int to = qMin(n, kept.right() + 1 - left);
                    for (int x = from; x < to; ++x) {
                        const int index = indices[x];
                        if (index != transparent) {
                            line[left + x - kept.left()] = table[index];
                        }
                    }
                    return true;
                });
        }
        if (stopped) {
            return failedLoad(Failure::Cancelled, QStringLiteral("The decode was cancelled."));
        }
        if (undefinedColour) {
            return failedLoad(Failure::NotAPicture,
                QStringLiteral("The GIF file uses colours it does not define."));
        }
        if (!decoded) {
            return damaged();
        }
        // Images without a delay before the next one are parts of one frame.
        if (delayed) {
            break;
        }
        transparent = -1;
    }
    result.picture.image = reduced ? reduced->image() : std::move(canvas);
    if (result.picture.image.isNull()) {
        return failedLoad(Failure::TooLarge, QStringLiteral("Not enough memory for the picture."));
    }
    if (!reduced && kept != QRect(QPoint(0, 0), screen)) {
        result.picture.region = kept;
    }
    return result;
}

} // namespace pictures::gif
