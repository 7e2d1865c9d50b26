#include "wmffile.h"

#include <QtEndian>

namespace pictures::wmf {

namespace {

    constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
    constexpr quint16 kEndFunction = 0x0000;
    // A record libwmf reads and ignores; used to blank out a record libwmf cannot play.
    constexpr quint16 kNoOpFunction = 0x0035; // REALIZEPALETTE: no parameters, nothing drawn

    quint16 u16(const QByteArray &bytes, qsizetype at)
    {
        return qFromLittleEndian<quint16>(bytes.constData() + at);
    }

    quint32 u32(const QByteArray &bytes, qsizetype at)
    {
        return qFromLittleEndian<quint32>(bytes.constData() + at);
    }

    bool metaHeaderAt(const QByteArray &bytes, qsizetype at)
    {
        if (bytes.size() < at + kHeaderWords * 2) {
            return false;
        }
        const quint16 type = u16(bytes, at);
        const quint16 headerWords = u16(bytes, at + 2);
        const quint16 version = u16(bytes, at + 4);
        // Type 1 is a metafile in memory, 2 one on disk; versions 1.0 and 3.0 are the only ones
        // Windows wrote. Checking all three keeps arbitrary data away from libwmf.
        return (type == 1 || type == 2) && headerWords == kHeaderWords
            && (version == 0x0100 || version == 0x0300);
    }

} // namespace

bool looksLikeMetafile(const QByteArray &head)
{
    if (head.size() >= 4 && u32(head, 0) == kPlaceableKey) {
        return true;
    }
    return metaHeaderAt(head, 0);
}

std::optional<Layout> walk(const QByteArray &bytes, QString *why)
{
    Layout layout;
    if (bytes.size() >= 4 && u32(bytes, 0) == kPlaceableKey) {
        if (bytes.size() < kPlaceableBytes) {
            *why = QStringLiteral("The metafile's header is cut short.");
            return std::nullopt;
        }
        PlaceableHeader header;
        header.left = qint16(u16(bytes, 6));
        header.top = qint16(u16(bytes, 8));
        header.right = qint16(u16(bytes, 10));
        header.bottom = qint16(u16(bytes, 12));
        header.inch = u16(bytes, 14);
        layout.placeable = header;
        layout.headerOffset = kPlaceableBytes;
    }
    if (!metaHeaderAt(bytes, layout.headerOffset)) {
        *why = QStringLiteral("The file is not a metafile.");
        return std::nullopt;
    }
    // The header's own file size and largest-record fields are often wrong in real files, so the
    // walk trusts only the record sizes, each checked against what is really there.
    qsizetype at = layout.headerOffset + kHeaderWords * 2;
    while (at < bytes.size()) {
        if (bytes.size() - at < 6) {
            *why = QStringLiteral("The metafile ends inside a record.");
            return std::nullopt;
        }
        const quint32 words = u32(bytes, at);
        const quint16 function = u16(bytes, at + 4);
        if (words == 3 && function == kEndFunction) {
            layout.endFound = true;
            break;
        }
        if (words < 3) {
            *why = QStringLiteral("The metafile holds a record with an impossible size.");
            return std::nullopt;
        }
        if (qint64(words) * 2 > qint64(bytes.size() - at)) {
            *why
                = QStringLiteral("The metafile holds a record that runs past the end of the file.");
            return std::nullopt;
        }
        layout.records.append(at);
        layout.largestRecord = qMax(layout.largestRecord, words);
        at += qsizetype(words) * 2;
    }
    return layout;
}

QByteArray sanitized(const QByteArray &bytes, const Layout &layout, const QList<int> &dropped)
{
    qsizetype end = layout.headerOffset + kHeaderWords * 2;
    if (!layout.records.isEmpty()) {
        const qsizetype last = layout.records.constLast();
        end = last + qsizetype(u32(bytes, last)) * 2;
    }
    QByteArray copy = bytes.left(end);
    char *data = copy.data();
    const qsizetype header = layout.headerOffset;
    qToLittleEndian<quint32>(quint32(end - header) / 2 + 3, data + header + 6);
    qToLittleEndian<quint32>(layout.largestRecord, data + header + 12);
    for (int index : dropped) {
        if (index >= 0 && index < layout.records.size()) {
            qToLittleEndian<quint16>(kNoOpFunction, data + layout.records.at(index) + 4);
        }
    }
    const char endRecord[6] = { 3, 0, 0, 0, 0, 0 };
    copy.append(endRecord, sizeof endRecord);
    return copy;
}

int recordAt(const Layout &layout, qsizetype offset, qsizetype dataSize)
{
    for (int i = int(layout.records.size()) - 1; i >= 0; --i) {
        if (layout.records.at(i) <= offset) {
            const qsizetype next
                = i + 1 < layout.records.size() ? layout.records.at(i + 1) : dataSize;
            return offset < next ? i : -1;
        }
    }
    return -1;
}

QSize placeableSize(const PlaceableHeader &header, int dpi)
{
    if (header.inch == 0) {
        return QSize();
    }
    const qint64 width = qAbs(qint64(header.right) - header.left) * dpi / header.inch;
    const qint64 height = qAbs(qint64(header.bottom) - header.top) * dpi / header.inch;
    // The largest box (65535 units at one unit per inch) stays far inside int.
    return QSize(int(width), int(height));
}

} // namespace pictures::wmf
