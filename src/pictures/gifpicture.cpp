#include "gifpicture.h"

#include <QImage>
#include <QList>

#include <array>

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

    // The LZW-coded indices of one image, read from its data sub-blocks. Ends at the end code, at
    // the end of the data or when `count` indices are out; extra ones are dropped, missing ones
    // left to the caller. False when a code is impossible.
    bool decodeIndices(Reader &reader, int minimumCodeSize, qint64 count, QByteArray &indices)
    {
        std::array<quint16, kMaxCodes> prefix {};
        std::array<quint8, kMaxCodes> suffix {};
        std::array<quint8, kMaxCodes> first {};
        std::array<quint8, kMaxCodes + 1> stack {};
        const int clear = 1 << minimumCodeSize;
        const int end = clear + 1;
        int codeSize = minimumCodeSize + 1;
        int next = end + 1;
        int previous = -1;
        for (int i = 0; i < clear; ++i) {
            suffix[i] = quint8(i);
            first[i] = quint8(i);
        }
        quint32 bits = 0;
        int bitCount = 0;
        int blockLeft = 0;
        bool dataEnded = false;
        indices.reserve(qsizetype(qMin<qint64>(count, 1 << 24)));
        for (;;) {
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
                return true;
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
            // Unwind the code's string onto the stack, last index first.
            int depth = 0;
            int walk = code;
            if (code == next) {
                stack[depth++] = first[previous];
                walk = previous;
            }
            while (walk >= clear) {
                stack[depth++] = suffix[walk];
                walk = prefix[walk];
            }
            stack[depth++] = quint8(walk);
            while (depth > 0 && indices.size() < count) {
                indices.append(char(stack[--depth]));
            }
            if (previous >= 0 && next < kMaxCodes) {
                prefix[next] = quint16(previous);
                suffix[next] = quint8(walk);
                first[next] = first[previous];
                ++next;
                // Once the table is full the code size stays at 12 bits until a clear code.
                if (next == (1 << codeSize) && codeSize < 12) {
                    ++codeSize;
                }
            }
            previous = code;
            if (indices.size() >= count) {
                break;
            }
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

} // namespace

bool looksLikeGif(QByteArrayView head)
{
    return head.startsWith("GIF87a") || head.startsWith("GIF89a");
}

LoadResult decode(QByteArrayView data, bool pixels)
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
    QImage canvas(screen, QImage::Format_ARGB32);
    if (canvas.isNull()) {
        return failedLoad(Failure::TooLarge, QStringLiteral("Not enough memory for the picture."));
    }
    canvas.fill(Qt::transparent);

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
        QByteArray indices;
        if (!decodeIndices(reader, minimumCodeSize, count, indices)) {
            return damaged();
        }
        const bool interlaced = imagePacked & 0x40;
        // Interlaced rows come in four passes: every 8th row from 0, from 4, every 4th from 2,
        // every 2nd from 1.
        static constexpr int passStart[4] = { 0, 4, 2, 1 };
        static constexpr int passStep[4] = { 8, 8, 4, 2 };
        int pass = 0;
        int row = 0;
        for (qsizetype i = 0; i < indices.size(); ++i) {
            const int column = int(i % imageWidth);
            if (i > 0 && column == 0) {
                if (interlaced) {
                    row += passStep[pass];
                    while (pass < 3 && row >= imageHeight) {
                        ++pass;
                        row = passStart[pass];
                    }
                } else {
                    ++row;
                }
            }
            const int index = static_cast<unsigned char>(indices[i]);
            if (index >= table.size()) {
                return failedLoad(Failure::NotAPicture,
                    QStringLiteral("The GIF file uses colours it does not define."));
            }
            if (index == transparent) {
                continue;
            }
            const int x = left + column;
            const int y = top + row;
            if (x < width && y < height) {
                reinterpret_cast<QRgb *>(canvas.scanLine(y))[x] = table[index];
            }
        }
        // Images without a delay before the next one are parts of one frame.
        if (delayed) {
            break;
        }
        transparent = -1;
    }
    result.picture.image = std::move(canvas);
    return result;
}

} // namespace pictures::gif
