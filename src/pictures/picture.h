#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <atomic>

// A picture as the windows hold it: the decoded image (none for an empty picture), the size the
// picture has at its own scale, and the file it came from. A picture decoded for a smaller
// target keeps its natural size, so geometry never depends on how it was decoded.
struct Picture
{
    QImage image;
    QSize naturalSize; // pixels, after EXIF orientation; empty for an empty picture
    QString file;
    // The part of the picture (natural pixels) that `image` holds; empty: all of it. A picture
    // larger than the screen may be decoded only where the screen shows it.
    QRect region;
    // Drawn from vectors (a metafile): it can be drawn sharp at any size, larger than its own.
    bool scalable = false;

    bool isEmpty() const { return naturalSize.isEmpty(); }
    // The part `image` holds, in natural pixels.
    QRect heldRegion() const
    {
        return region.isEmpty() ? QRect(QPoint(0, 0), naturalSize) : region;
    }
    // Whether `image` holds all of the picture, not only a part a screen shows.
    bool holdsWhole() const { return heldRegion() == QRect(QPoint(0, 0), naturalSize); }
    // The natural size in twips (pixels × twips per pixel).
    QSizeF sizeTwips(float twipsPerPixel) const;
};

namespace pictures {

enum class Failure { None, Missing, Unreadable, NotAPicture, TooLarge, Cancelled };

struct LoadResult
{
    Picture picture;
    Failure failure = Failure::None;
    QString reason; // why it failed, for the user; empty on success

    bool ok() const { return failure == Failure::None; }
};

// Largest accepted picture: a side or an area past these is refused before anything is allocated.
// The area is what costs memory; a side may be as long as the formats allow (65535 pixels wide
// and one high is a small picture).
constexpr int kMaxSide = 65535;
constexpr qint64 kMaxPixels = 256LL * 1000 * 1000;
// The memory one decode may hold at once (its image and what the decoder keeps while working),
// decided from the header before anything is allocated; decodes running at once share it, so no
// picture, whatever it claims, takes the program far past it.
constexpr qint64 kMaxDecodeBytes = 300LL << 20;

// A failed load that says why.
LoadResult failedLoad(Failure failure, const QString &reason);
// Whether a picture of `size` pixels is past the limits above.
bool exceedsLimits(const QSize &size);

// What a decode is asked to give of the picture at `path`. Requests compare equal when they ask
// for the same decode, so a caller can adopt one already made.
struct DecodeRequest
{
    enum class What {
        // Only the natural size; `picture.image` stays null.
        Header,
        // The whole picture at its natural size (a metafile past 8 Mi pixels is drawn smaller,
        // its natural size unchanged).
        Natural,
        // The picture for display within `size` pixels (aspect kept; an invalid size: as
        // Natural); uses the decoder's reduced-scale decoding where it has one. A metafile is
        // drawn straight at that size, larger than its own as well (a zoom step gets a sharp
        // drawing, not an enlarged one), up to 32 Mi pixels.
        Within,
        // What a viewport of `size` pixels shows of the picture at its own size, centred: the
        // whole picture when it fits, else (where the decoder can) only the centred part, at
        // full resolution, recorded in `picture.region` (a metafile draws only that part).
        Visible,
        // The whole picture cheaply, for a view showing it within `size` pixels (zoomed out):
        // a JPEG larger than that comes at the smallest n/8 of its size (n from 1 to 8) that
        // covers its size within `size` (aspect kept), as libjpeg decodes it, not averaged down
        // further (so at most n/(n-1) times the size shown, twice at 2/8), and is meant to be
        // drawn scaled; a progressive JPEG as its first scan gives it (coarser, at a small part
        // of the cost), the interim picture until the sharp one lands. Other formats come as
        // Within gives them.
        Reduced,
    };

    QString path;
    What what = What::Natural;
    QSize size;
    // Within only: the part of the picture (natural pixels) a zoomed view shows; empty: all of
    // it. Where the whole picture at the size shown would take more than a few screens (64 MB),
    // only that part is decoded where the decoder can (a JPEG at the n/8 scale covering the size
    // shown, its edges widened to whole eighths of the picture; a GIF at its own size), recorded
    // in `picture.region`, so a view zoomed far in never holds the picture at the size shown.
    QRect region;

    static DecodeRequest header(const QString &path) { return { path, What::Header, {}, {} }; }
    static DecodeRequest natural(const QString &path) { return { path, What::Natural, {}, {} }; }
    static DecodeRequest within(
        const QString &path, const QSize &target, const QRect &region = QRect())
    {
        return { path, What::Within, target, region };
    }
    static DecodeRequest visible(const QString &path, const QSize &viewport)
    {
        return { path, What::Visible, viewport, {} };
    }
    static DecodeRequest reduced(const QString &path, const QSize &target)
    {
        return { path, What::Reduced, target, {} };
    }

    bool operator==(const DecodeRequest &other) const = default;
};

// Decodes what `request` asks. The natural size is always the full one, however the pixels were
// decoded. A set `cancelled` (another thread sets it) stops the decode as it goes (between rows
// where the decoder decodes them itself, between the scans of a progressive JPEG, between the
// records of a metafile), which then fails with Failure::Cancelled.
// How a decode shares the machine with the others running at once.
enum class Sharing {
    // Beside any other decode, within the memory budget.
    Alongside,
    // Of the decodes asked this way, those that hold a whole picture's coefficients while they
    // work (progressive JPEGs, at any scale) run one at a time: many at once (a row of
    // thumbnails) stay near one such decode's peak.
    OneLargeAtATime,
};

LoadResult load(const DecodeRequest &request, const std::atomic_bool *cancelled = nullptr,
    Sharing sharing = Sharing::Alongside);
// Whether the file at `path` is a metafile (by its first bytes): libwmf plays one at a time, so
// the background loader gives metafiles a queue of their own.
bool isMetafile(const QString &path);
// Reads only the natural size (a Header request); `picture.image` stays null.
LoadResult readSize(const QString &path);
// Decodes a picture held in memory, as a Within request does (an invalid `target`: Natural);
// `picture.file` stays empty. `name` is the file name the bytes would have: it decides, as a
// file's does, whether PNG, WebP and TIFF are read.
LoadResult loadData(
    const QByteArray &bytes, const QSize &target = QSize(), const QString &name = QString());

} // namespace pictures
