#pragma once

#include "picture.h"

#include <QByteArray>
#include <QList>
#include <QRectF>
#include <QSize>

// Windows metafiles, played by libwmf onto a QImage. libwmf's headers stay inside the .cpp.
namespace pictures::wmf {

// Reads the metafile in `bytes`: its natural size in pixels at 96 dots per inch and, unless
// `request` asks for the header only, the picture drawn straight at the size it is shown at,
// larger or smaller, so it stays sharp:
// - Within or Reduced a valid size: scaled to fit it (aspect kept), up to 32 Mi pixels;
// - Visible a valid size: at its natural size, only the centred part that viewport shows
//   (recorded in `picture.region` when that is not all of it), up to 8 Mi pixels;
// - else the whole picture at its natural size, drawn smaller past 8 Mi pixels.
// The natural size is the one the file gives whatever was drawn; `request.path` is not read.
// A set `cancelled` stops the drawing between records. `textRuns`, when given, receives the box
// of each text run drawn (image pixels).
// A metafile larger than this is not a picture anyone drew by hand; refusing it, before it is
// read into memory, bounds the memory held for the file and the time spent walking it.
constexpr qint64 kMaxMetafileBytes = 64 * 1024 * 1024;

LoadResult decode(const QByteArray &bytes, const DecodeRequest &request,
    const std::atomic_bool *cancelled = nullptr, QList<QRectF> *textRuns = nullptr);

} // namespace pictures::wmf
