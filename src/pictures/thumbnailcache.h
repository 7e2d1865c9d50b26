#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

// The desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails, by the freedesktop thumbnail
// rules): thumbnails other programs made are shown at once, and ours serve them too.
// Every call reads or writes files: call it off the user-interface thread. Nothing here ever
// reports a failure to the user: a cache that cannot be read or written is simply not used.
class ThumbnailCache
{
public:
    // `root`: the cache folder (…/thumbnails); empty: the desktop's, from XDG_CACHE_HOME or
    // ~/.cache.
    explicit ThumbnailCache(QString root = {});

    const QString &root() const { return m_root; }

    // The size folder whose thumbnails cover `devicePixels` (normal 128, large 256, x-large 512,
    // xx-large 1024), empty when none does.
    static QString folderFor(const QSize &devicePixels);
    // The largest edge of a thumbnail in `folder`, 0 for an unknown folder.
    static int edgeOf(const QString &folder);
    // The file URI the cache names `path` by, escaped as the desktop's libraries escape it (the
    // file's name as the system's bytes).
    static QByteArray uriOf(const QString &path);
    // The cache file name for `uri`: the MD5 of the URI in hex, ".png".
    static QString fileNameOf(const QByteArray &uri);

    // What the cache knows a picture file by: its URI, size and modification time (seconds).
    struct Stamp
    {
        QString path;
        QByteArray uri;
        qint64 mtime = 0;
        qint64 size = 0;
    };
    // The stamp of `path` now; nothing for a file that is not a regular file or lies inside the
    // cache itself (its thumbnails are never thumbnailed).
    std::optional<Stamp> stamp(const QString &path) const;

    // A cached thumbnail of `path` that covers `devicePixels` (a slot of that size shows it
    // scaled down) and matches the file's size and modification time; nothing when there is none
    // (or it is stale).
    std::optional<QImage> find(const QString &path, const QSize &devicePixels) const;
    // Stores `image` (the whole picture, oriented, larger than the folder's edge or at the
    // picture's own size) as the thumbnail for slots of `devicePixels` of the file `before`
    // stamped before it was decoded; false when nothing was written (no folder covers, the file
    // changed meanwhile, the cache cannot be written).
    bool store(const Stamp &before, const QSize &devicePixels, const QImage &image) const;
    // Records that the file `before` stamps could not be thumbnailed (the shared rules' fail
    // folder, under this program's name).
    bool storeFailure(const Stamp &before) const;

private:
    bool write(const QString &folder, const Stamp &before, QImage image) const;

    QString m_root;
};
