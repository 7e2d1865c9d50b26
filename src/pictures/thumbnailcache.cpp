#include "thumbnailcache.h"

#include "system/names.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>
#include <array>

namespace {

struct SizeFolder
{
    const char *name;
    int edge;
};
constexpr std::array<SizeFolder, 4> kFolders { { { "normal", 128 }, { "large", 256 },
    { "x-large", 512 }, { "xx-large", 1024 } } };

// A thumbnail larger than the largest folder's edge is none of ours or anyone's: not read.
constexpr int kLargestReadEdge = 2048;
constexpr qint64 kLargestReadBytes = 16 * 1024 * 1024;

constexpr auto kOwnerOnlyFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
    | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
constexpr auto kOwnerOnlyFile
    = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;

// Failed-thumbnail records are kept per program, as the desktop's thumbnail rules ask.
const QString kFailFolder = QStringLiteral("fail/querndal-4.0");

bool covers(const QSize &image, const QSize &devicePixels)
{
    // A slot shows the thumbnail scaled to fit, proportions kept: it is sharp when one edge of
    // the thumbnail already reaches the slot's.
    return image.width() >= devicePixels.width() || image.height() >= devicePixels.height();
}

// Makes `path` and the folders above it up to `root`'s parent, the new ones for the owner only.
bool makeOwnerOnlyPath(const QString &path)
{
    if (QFileInfo(path).isDir()) {
        return true;
    }
    const QString parent = QFileInfo(path).path();
    if (parent != path && !makeOwnerOnlyPath(parent)) {
        return false;
    }
    return QDir().mkdir(path, kOwnerOnlyFolder) || QFileInfo(path).isDir();
}

} // namespace

ThumbnailCache::ThumbnailCache(QString root)
    : m_root(std::move(root))
{
    if (m_root.isEmpty()) {
        QString base = qEnvironmentVariable("XDG_CACHE_HOME");
        if (!QDir::isAbsolutePath(base)) {
            base = QDir::homePath() + QStringLiteral("/.cache");
        }
        m_root = base + QStringLiteral("/thumbnails");
    }
    m_root = QDir::cleanPath(m_root);
}

QString ThumbnailCache::folderFor(const QSize &devicePixels)
{
    const int edge = std::max(devicePixels.width(), devicePixels.height());
    for (const SizeFolder &folder : kFolders) {
        if (edge <= folder.edge) {
            return QString::fromLatin1(folder.name);
        }
    }
    return {};
}

int ThumbnailCache::edgeOf(const QString &folder)
{
    for (const SizeFolder &known : kFolders) {
        if (folder == QLatin1String(known.name)) {
            return known.edge;
        }
    }
    return 0;
}

QByteArray ThumbnailCache::uriOf(const QString &path)
{
    // Escaped as GLib escapes a path: other programs find a thumbnail by the MD5 of this exact
    // text, so "+", "," or "=" must stay as they are and ";" or a space must not.
    const QByteArray bytes = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    return QByteArrayLiteral("file://") + bytes.toPercentEncoding("!$&'()*+,-./:=@_~");
}

QString ThumbnailCache::fileNameOf(const QByteArray &uri)
{
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex())
        + QStringLiteral(".png");
}

std::optional<ThumbnailCache::Stamp> ThumbnailCache::stamp(const QString &path) const
{
    // A name that is no text has no cache entry: the Qt file classes would look at another file.
    if (systemfiles::hasUndecodedBytes(path)) {
        return std::nullopt;
    }
    const QFileInfo info(path);
    if (!info.isFile()) {
        return std::nullopt;
    }
    const QString real = info.canonicalFilePath();
    const QString cacheRoot = QFileInfo(m_root).canonicalFilePath();
    if (!cacheRoot.isEmpty() && real.startsWith(cacheRoot + QLatin1Char('/'))) {
        return std::nullopt;
    }
    return Stamp { info.absoluteFilePath(), uriOf(path), info.lastModified().toSecsSinceEpoch(),
        info.size() };
}

std::optional<QImage> ThumbnailCache::find(const QString &path, const QSize &devicePixels) const
{
    const QString first = folderFor(devicePixels);
    const std::optional<Stamp> now = stamp(path);
    if (first.isEmpty() || !now) {
        return std::nullopt;
    }
    const QString name = fileNameOf(now->uri);
    bool reached = false;
    for (const SizeFolder &folder : kFolders) {
        reached = reached || first == QLatin1String(folder.name);
        if (!reached) {
            continue;
        }
        const QString file
            = m_root + QLatin1Char('/') + QLatin1String(folder.name) + QLatin1Char('/') + name;
        const QFileInfo info(file);
        // Only a plain file of a thumbnail's size is opened: a pipe would never answer.
        if (!info.isFile() || info.size() > kLargestReadBytes) {
            continue;
        }
        QImageReader reader(file, "png");
        const QSize size = reader.size();
        if (!size.isValid() || size.width() > kLargestReadEdge || size.height() > kLargestReadEdge
            || !covers(size, devicePixels)) {
            continue;
        }
        // The keys are read from the decoded image: a reader asked before decoding misses text
        // that a writer put after the header.
        QImage image = reader.read();
        if (image.isNull() || image.text(QStringLiteral("Thumb::URI")).toUtf8() != now->uri
            || image.text(QStringLiteral("Thumb::MTime")) != QString::number(now->mtime)) {
            continue;
        }
        const QString recordedSize = image.text(QStringLiteral("Thumb::Size"));
        if (!recordedSize.isEmpty() && recordedSize != QString::number(now->size)) {
            continue;
        }
        return image;
    }
    return std::nullopt;
}

bool ThumbnailCache::store(
    const Stamp &before, const QSize &devicePixels, const QImage &image) const
{
    const QString folder = folderFor(devicePixels);
    if (folder.isEmpty() || image.isNull()) {
        return false;
    }
    const int edge = edgeOf(folder);
    QImage thumbnail = image;
    if (std::max(image.width(), image.height()) > edge) {
        thumbnail = image.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return write(folder, before, std::move(thumbnail));
}

bool ThumbnailCache::storeFailure(const Stamp &before) const
{
    QImage mark(1, 1, QImage::Format_ARGB32);
    mark.fill(Qt::transparent);
    return write(kFailFolder, before, std::move(mark));
}

bool ThumbnailCache::write(const QString &folder, const Stamp &before, QImage image) const
{
    // The picture may have changed while it was decoded: a thumbnail of the old one under the
    // new time would be wrong for good.
    const std::optional<Stamp> now = stamp(before.path);
    if (!now || now->mtime != before.mtime || now->size != before.size) {
        return false;
    }
    const QString dir = m_root + QLatin1Char('/') + folder;
    if (!makeOwnerOnlyPath(dir)) {
        return false;
    }
    image.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(before.uri));
    image.setText(QStringLiteral("Thumb::MTime"), QString::number(before.mtime));
    image.setText(QStringLiteral("Thumb::Size"), QString::number(before.size));
    image.setText(QStringLiteral("Software"), QStringLiteral("querndal"));

    // Written to a temporary file and renamed over the old one, so another program never reads
    // a thumbnail half written.
    QSaveFile file(dir + QLatin1Char('/') + fileNameOf(before.uri));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.setPermissions(kOwnerOnlyFile);
    QImageWriter writer(&file, "png");
    // zlib's fastest level: a thumbnail is written while slots still wait for their decodes,
    // and is a little larger for it.
    writer.setCompression(1);
    if (!writer.write(image)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
