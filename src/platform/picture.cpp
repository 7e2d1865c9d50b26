#include "picture.h"

#include <QFileInfo>
#include <QImageReader>

QSizeF Picture::sizeTwips(float twipsPerPixel) const
{
    return QSizeF(float(naturalSize.width()) * twipsPerPixel,
                  float(naturalSize.height()) * twipsPerPixel);
}

namespace pictures {

namespace {

LoadResult failed(Failure failure, const QString &reason)
{
    LoadResult r;
    r.failure = failure;
    r.reason = reason;
    return r;
}

LoadResult decode(const QString &path, const QSize &target, bool pixels)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return failed(Failure::Missing, QStringLiteral("The file does not exist."));
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (!size.isValid()) {
        return failed(Failure::NotAPicture, QStringLiteral("The file is not a picture."));
    }
    if (size.width() > kMaxSide || size.height() > kMaxSide
        || qint64(size.width()) * size.height() > kMaxPixels) {
        return failed(Failure::TooLarge, QStringLiteral("The picture is too large."));
    }
    LoadResult r;
    r.picture.file = path;
    r.picture.naturalSize = size;
    if (!pixels) {
        return r;
    }
    if (target.isValid() && (target.width() < size.width() || target.height() < size.height())) {
        reader.setScaledSize(size.scaled(target, Qt::KeepAspectRatio));
    }
    r.picture.image = reader.read();
    if (r.picture.image.isNull()) {
        return failed(Failure::NotAPicture, reader.errorString());
    }
    return r;
}

} // namespace

LoadResult load(const QString &path)
{
    return decode(path, QSize(), true);
}

LoadResult loadScaled(const QString &path, const QSize &target)
{
    return decode(path, target, true);
}

LoadResult readSize(const QString &path)
{
    return decode(path, QSize(), false);
}

} // namespace pictures
