#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

#include <optional>

// The record structure of a Windows metafile, read with every offset checked against the real
// length of the data, so that libwmf is only ever handed a file whose records all lie inside it.
namespace pictures::wmf {

// The placeable ("Aldus") header in front of many metafiles: the picture's box in metafile
// units and how many of those units make an inch.
struct PlaceableHeader
{
    qint16 left = 0;
    qint16 top = 0;
    qint16 right = 0;
    qint16 bottom = 0;
    quint16 inch = 0;
};

struct Layout
{
    std::optional<PlaceableHeader> placeable;
    qsizetype headerOffset = 0; // where the metafile header starts (22 after a placeable header)
    QList<qsizetype> records; // byte offsets of the records, the end record not included
    quint32 largestRecord = 3; // words, the largest record actually present
    bool endFound = false;
};

// Words in the metafile header and in the smallest record (size and function).
constexpr int kHeaderWords = 9;
constexpr int kPlaceableBytes = 22;

// True when `head` (the first bytes of a file) starts like a metafile, placeable or not.
bool looksLikeMetafile(const QByteArray &head);

// Walks the records of `bytes`. Fails (with a reason) when the headers are not a metafile's or a
// record is shorter than its own size fields or runs past the end of the data; a missing end
// record is accepted, as files cut at a record boundary still hold a drawable picture.
std::optional<Layout> walk(const QByteArray &bytes, QString *why);

// A copy of `bytes` that libwmf can trust: the header's largest-record field (which libwmf
// allocates from) set to the real largest record, the records in `dropped` turned into no-ops,
// everything after the last record cut off and an end record put in its place.
QByteArray sanitized(const QByteArray &bytes, const Layout &layout, const QList<int> &dropped);

// The index of the record holding byte `offset` of `bytes`, or -1.
int recordAt(const Layout &layout, qsizetype offset, qsizetype dataSize);

// The natural size in pixels of a placeable picture at `dpi` dots per inch (|Right − Left| × dpi
// / Inch, as the platform sized it); empty when the header gives no usable size.
QSize placeableSize(const PlaceableHeader &header, int dpi);

} // namespace pictures::wmf
