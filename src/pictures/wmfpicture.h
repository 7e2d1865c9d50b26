#pragma once

#include "picture.h"

#include <QByteArray>
#include <QSize>

// Windows metafiles, played by libwmf onto a QImage. libwmf's headers stay inside the .cpp.
namespace pictures::wmf {

// Reads the metafile in `bytes`: its natural size in pixels at 96 dots per inch and, when
// `pixels`, the picture drawn at `target` (invalid target: the natural size). Vector pictures
// are drawn at the requested size directly, larger or smaller, so they stay sharp.
LoadResult decode(const QByteArray &bytes, const QSize &target, bool pixels);

} // namespace pictures::wmf
