// The limits the viewer's decodes are held to, measured in this process beside the viewer's own
// code, in the same rounds and interleaved, so a change of machine load touches both alike:
// libjpeg's 1/8 scaling (a thumbnail), its crop-and-skip of the part a 1920 x 1080 screen shows,
// and a full decode into a buffer of the final pixel format.
#include "measurement.h"

#include "pictures/picture.h"
#include "platform/lists.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace {

struct JpegError
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jumpOut(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError *>(info->err)->jump, 1);
}

// Decodes `path` with libjpeg into a 4-byte-per-pixel buffer: scaled by 1/`denominator`, or,
// given a `screen`, only the part of the picture it shows centred at its own size (columns
// cropped, rows outside skipped); `numerator` eighths of the size when given.
bool libjpegDecode(
    const char *path, int denominator, const QSize &screen = QSize(), int numerator = 1)
{
    FILE *file = std::fopen(path, "rb");
    if (!file) {
        return false;
    }
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpOut;
    // Left uninitialised, as the viewer's images are: the rows are written whole.
    std::unique_ptr<unsigned char[]> pixels;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.scale_num = unsigned(numerator);
    info.scale_denom = unsigned(denominator);
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    JDIMENSION left = 0;
    JDIMENSION width = info.output_width;
    JDIMENSION rows = info.output_height;
    if (screen.isValid()) {
        // Taken from the header libjpeg has just read: the limit reads the file once.
        const QSize natural(int(info.image_width), int(info.image_height));
        const QRect crop = QRect(QPoint((natural.width() - screen.width()) / 2,
                                     (natural.height() - screen.height()) / 2),
                               screen)
            & QRect(QPoint(), natural);
        left = JDIMENSION(crop.x());
        width = JDIMENSION(crop.width());
        jpeg_crop_scanline(&info, &left, &width);
        jpeg_skip_scanlines(&info, JDIMENSION(crop.y()));
        rows = JDIMENSION(crop.height());
    }
    const size_t stride = size_t(info.output_width) * 4;
    pixels = std::make_unique_for_overwrite<unsigned char[]>(stride * rows);
    JDIMENSION done = 0;
    while (done < rows && info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.get() + stride * done;
        done += jpeg_read_scanlines(&info, &row, 1);
    }
    if (info.output_scanline < info.output_height) {
        jpeg_abort_decompress(&info);
    } else {
        jpeg_finish_decompress(&info);
    }
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return done == rows;
}

} // namespace

bool libjpegVisiblePart(const QString &path, const QSize &screen)
{
    return libjpegDecode(path.toLocal8Bit().constData(), 1, screen);
}

bool libjpegEighth(const QString &path)
{
    return libjpegDecode(path.toLocal8Bit().constData(), 8);
}

namespace {

struct Figure
{
    QString name;
    std::function<bool()> run;
    std::vector<double> times = {};
};

void print(const Figure &figure)
{
    std::vector<double> t = figure.times;
    std::sort(t.begin(), t.end());
    std::printf("%s %.2f %.2f %.2f %d\n", qPrintable(figure.name), t[t.size() / 2], t.front(),
        t.back(), int(t.size()));
}

// Every figure once a round, in a fixed order, the first round not counted (files into the page
// cache, code into memory). Prints one line per figure; returns the first figure's times.
std::vector<double> rounds(std::vector<Figure> &figures, int runs, QString &detail)
{
    for (int round = -1; round < runs; ++round) {
        for (Figure &figure : figures) {
            QElapsedTimer timer;
            timer.start();
            if (!figure.run()) {
                detail = figure.name + QStringLiteral(" failed");
                return {};
            }
            if (round >= 0) {
                figure.times.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
        }
    }
    for (const Figure &figure : figures) {
        print(figure);
    }
    return figures.front().times;
}

std::vector<double> decodeLimits(const QStringList &arguments, int runs, QString &detail)
{
    const QString path = arguments.value(0);
    const QByteArray file = path.toLocal8Bit();
    const pictures::LoadResult header = pictures::readSize(path);
    if (!header.ok()) {
        detail = header.reason;
        return {};
    }
    const QSize natural = header.picture.naturalSize;
    const QSize screen(1920, 1080);
    const QSize shown = natural.scaled(screen, Qt::KeepAspectRatio);
    int reducedEighths = 1;
    while (reducedEighths < 8 && (natural.width() * reducedEighths + 7) / 8 < shown.width()) {
        ++reducedEighths;
    }
    std::vector<Figure> figures {
        { QStringLiteral("ours.thumbnail"),
            [&] {
                return pictures::load(pictures::DecodeRequest::within(path, QSize(97, 77))).ok();
            } },
        { QStringLiteral("libjpeg.scale-1/8"), [&] { return libjpegDecode(file.constData(), 8); } },
        // The same slot on a 2x screen, where the window asks for its device pixels.
        { QStringLiteral("ours.thumbnail-2x"),
            [&] {
                return pictures::load(pictures::DecodeRequest::within(path, QSize(2 * 97, 2 * 77)))
                    .ok();
            } },
        { QStringLiteral("ours.full"),
            [&] { return pictures::load(pictures::DecodeRequest::natural(path)).ok(); } },
        { QStringLiteral("libjpeg.full"), [&] { return libjpegDecode(file.constData(), 1); } },
        { QStringLiteral("libjpeg.visible-part"),
            [&] { return libjpegVisiblePart(path, screen); } },
        { QStringLiteral("ours.visible"),
            [&] { return pictures::load(pictures::DecodeRequest::visible(path, screen)).ok(); } },
        // A zoomed-out view of the whole picture on the screen: libjpeg's n/8 decode covering it.
        { QStringLiteral("ours.reduced"),
            [&] { return pictures::load(pictures::DecodeRequest::reduced(path, screen)).ok(); } },
        { QStringLiteral("libjpeg.reduced"),
            [&] { return libjpegDecode(file.constData(), 8, QSize(), reducedEighths); } },
    };
    detail = QStringLiteral("interleaved rounds; visible part %1x%2 of %3x%4")
                 .arg(screen.width())
                 .arg(screen.height())
                 .arg(natural.width())
                 .arg(natural.height());
    return rounds(figures, runs, detail);
}

// The process's peak resident memory so far, in KB (0 where the system does not say).
qint64 peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return 0;
}

// Listing a large folder in the file list as the window does it: read, sort, lay out and paint.
// All of it runs on the user-interface thread, so each time is also the longest the window
// cannot answer input. The detail gives what the listing added to the peak memory.
std::vector<double> listFolder(const QStringList &arguments, int runs, QString &detail)
{
    const QString folder = arguments.value(0);
    QTemporaryDir empty;
    FileList list;
    list.resize(133, 262); // the file list's size in a maximised 1920 x 1080 window
    list.show();
    QApplication::processEvents();
    // The first listing alone, for its memory: later rounds find the heap as earlier ones left it.
    // A folder of two files first, so that what a first listing loads once (the collation, the
    // list's font) is not counted to the files.
    const qint64 peakAtStart = peakResidentKb();
    QFile(empty.filePath(QStringLiteral("a.jpg"))).open(QIODevice::WriteOnly);
    QFile(empty.filePath(QStringLiteral("b.jpg"))).open(QIODevice::WriteOnly);
    list.setPath(empty.path());
    list.repaint();
    QFile::remove(empty.filePath(QStringLiteral("a.jpg")));
    QFile::remove(empty.filePath(QStringLiteral("b.jpg")));
    const qint64 peakBefore = peakResidentKb();
    list.setPath(folder);
    list.repaint();
    const qint64 added = peakResidentKb() - peakBefore;
    const int listed = list.listCount();
    list.setPath(empty.path());
    std::vector<Figure> figures {
        { QStringLiteral("ours.list"),
            [&] {
                const bool ok = list.setPath(folder);
                list.repaint();
                const bool emptied = list.setPath(empty.path());
                list.repaint();
                return ok && emptied;
            } },
    };
    // The empty folder in between is part of each round, and costs nothing next to the full one.
    std::vector<double> times = rounds(figures, runs, detail);
    detail = QStringLiteral("%1 files listed and painted; peak memory: +%2 KB at the first "
                            "listing of any folder, then +%3 KB (%4 bytes a file)")
                 .arg(listed)
                 .arg(peakBefore - peakAtStart)
                 .arg(added)
                 .arg(listed > 0 ? added * 1024 / listed : 0);
    return times;
}

} // namespace

void addLimitMeasurements(std::map<QString, Measurement> &all)
{
    all[QStringLiteral("limits")]
        = { QStringLiteral("<jpeg>: ours beside libjpeg in process, interleaved rounds"), {},
              decodeLimits };
    all[QStringLiteral("list")]
        = { QStringLiteral("<folder>: list a folder in the file list until painted"), {},
              listFolder };
}
