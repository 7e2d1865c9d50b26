#pragma once

#include "picture.h"

#include <QByteArrayView>
#include <QRect>
#include <QSize>

// GIF pictures, decoded here rather than by Qt: the picture shown is the first frame (every image
// up to the first one with a delay, over a transparent canvas), and a damaged file (a code or
// colour index out of range, a missing screen size) is refused instead of shown half-guessed.
namespace pictures::gif {

// True when `head` starts with a GIF signature.
bool looksLikeGif(QByteArrayView head);

// Reads the GIF in `data`: its screen size and, when `pixels`, the first frame. A `reduction`
// above one averages each square of that many pixels a side into one while decoding (a
// thumbnail of a huge screen never holds the screen); a `region` (screen pixels) keeps only that
// part, at full resolution.
// A set `cancelled` stops the decode between rows.
LoadResult decode(QByteArrayView data, bool pixels, int reduction = 1,
    const QRect &region = QRect(), const std::atomic_bool *cancelled = nullptr);

} // namespace pictures::gif
