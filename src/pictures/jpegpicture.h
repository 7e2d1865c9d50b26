#pragma once

#include "picture.h"

#include <QByteArrayView>
#include <QIODevice>
#include <QRect>
#include <QSize>

#include <atomic>

// JPEG pictures, decoded with libjpeg straight into the image's final pixel format, the EXIF
// orientation applied. libjpeg's own reduced decoding (its inverse DCT at n/8 of the size) makes
// thumbnails and zoomed-out pictures without ever holding the natural size, and its cropping and
// row skipping decode only the part of a large picture a screen shows.
namespace pictures::jpeg {

// True when `head` starts as a JPEG does (a start-of-image marker).
bool looksLikeJpeg(QByteArrayView head);

// What the headers tell beside the size.
struct HeaderInfo
{
    // `data` ends before the frame header, so more of the file may tell.
    bool cutShort = false;
    // The picture comes in several scans.
    bool progressive = false;
    // The memory libjpeg holds for the picture's coefficients while decoding it (progressive
    // pictures, at any scale); 0 for a picture decoded row by row.
    qint64 coefficientBytes = 0;
};

// Reads the headers only: the natural size (EXIF orientation applied) in `picture.naturalSize`,
// and what else they tell in `info`.
LoadResult readHeader(QByteArrayView data, HeaderInfo *info = nullptr);

// The size a decode at `eighths`/8 of a picture of `natural` pixels gives (what libjpeg makes:
// each side rounded up).
QSize scaledSize(const QSize &natural, int eighths);
// The smallest scale, in eighths (1 to 8), whose decode is at least `target` on both sides.
int eighthsCovering(const QSize &natural, const QSize &target);

// Decodes the picture in `data` at `eighths`/8 of its size, or only `region` of it (natural
// pixels, within the picture; empty: all of it; below full size widened to whole eighths of the
// picture), recorded in `picture.region`. A set
// `cancelled` stops the decode between rows and between the scans of a progressive file.
// Which scans of a progressive picture a decode puts out: all of them, or only the first (a
// coarse picture, whole, at a small part of the cost: the rest of the file is not decoded).
// A picture in one scan is decoded whole either way.
enum class Scans { All, First };

LoadResult decode(QByteArrayView data, int eighths = 8, const QRect &region = QRect(),
    const std::atomic_bool *cancelled = nullptr, Scans scans = Scans::All);
// The same, reading the file from `device` (from where it stands) a block at a time, so a large
// file is never held whole.
LoadResult decode(QIODevice *device, int eighths = 8, const QRect &region = QRect(),
    const std::atomic_bool *cancelled = nullptr, Scans scans = Scans::All);

} // namespace pictures::jpeg
