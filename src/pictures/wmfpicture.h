#pragma once

#include "picture.h"

#include <QByteArray>
#include <QList>
#include <QRectF>
#include <QSize>

// Windows metafiles, played by libwmf onto a QImage. libwmf's headers stay inside the .cpp.
namespace pictures::wmf {

// Reads the metafile in `bytes`: its natural size in pixels at 96 dots per inch and, when
// `pixels`, the picture drawn at `target` (invalid target: the natural size). Vector pictures
// are drawn at the requested size directly, larger or smaller, so they stay sharp.
// `textRuns`, when given, receives the box of each text run drawn (image pixels).
LoadResult decode(const QByteArray &bytes, const QSize &target, bool pixels,
    QList<QRectF> *textRuns = nullptr);

} // namespace pictures::wmf
