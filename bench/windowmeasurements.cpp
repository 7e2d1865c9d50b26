// Measurements of the program's own windows, run headless through the same code the user drives.
#include "measurement.h"

#include "app/program.h"
#include "browser/mainwindow.h"
#include "core/keycodes.h"
#include "main/windows.h"
#include "pictures/asyncpictureloader.h"
#include "pictures/picture.h"
#include "pictures/thumbnailcache.h"
#include "platform/controls.h"
#include "platform/lists.h"
#include "platform/qtservices.h"
#include "platform/volumes.h"
#include "slideshow/slideshowwindow.h"
#include "windowaccess.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

// The real services on a 1920 × 1080 screen, the size the targets are set for.
class BenchServices : public QtServices
{
public:
    QSizeF screenSizeTwips() const override { return QSizeF(1920 * 15.0, 1080 * 15.0); }
    float twipsPerPixel() const override { return 15.0f; }
};

// A started program whose settings point at `folder`.
struct Started
{
    QTemporaryDir programFolder;
    BenchServices services;
    std::unique_ptr<Program> program;

    explicit Started(const QString &folder, int loopMode = 1)
    {
        QFile ini(programFolder.filePath(QStringLiteral("QUERNDAL.INI")));
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write("3,3," + QByteArray::number(loopMode) + ",\""
                + QDir(folder).absolutePath().toUtf8() + "\",0\r\n");
        }
        ini.close();
        program = std::make_unique<Program>(services, programFolder.path(), viewerWindows());
        program->start();
    }
    MainWindow *main() { return startForm(*program); }
};

// Counts the paints a widget gets, so a measurement can tell that it measured one.
struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

// A window paints only once the window system has exposed it.
bool waitExposed(QWidget *window)
{
    QElapsedTimer timer;
    timer.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed())
        && timer.elapsed() < 2000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return window->windowHandle() && window->windowHandle()->isExposed();
}

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Peak resident memory of this process so far, in megabytes.
double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return -1;
}

bool listed(Started &started, QString &detail)
{
    if (File1(started.main())->listCount() == 0) {
        detail = QStringLiteral("no picture in the folder");
        return false;
    }
    return true;
}

// The main window of `started`, listed and on the screen; null (with `detail` saying why) else.
MainWindow *listedOnScreen(Started &started, QString &detail)
{
    if (!listed(started, detail)) {
        return nullptr;
    }
    if (!waitExposed(started.main())) {
        detail = QStringLiteral("the main window was never shown");
        return nullptr;
    }
    return started.main();
}

// Selects entry `row` into the next slot, as releasing Right in the file list does.
int select(MainWindow *main, Program &program, int row)
{
    File1(main)->setCurrentRow(row % File1(main)->listCount());
    const int slot = program.slotRing().nextSlot() > 19 ? 0 : program.slotRing().nextSlot();
    main->File1_KeyUp(vk::Right, 0);
    return slot;
}

std::vector<double> selectIntoSlot(const QStringList &arguments, int runs, QString &detail)
{
    Started started(arguments.value(0));
    MainWindow *main = listedOnScreen(started, detail);
    if (!main) {
        return {};
    }
    PaintCounter counter;
    for (int i = 0; i < Program::kSlotCount; ++i) {
        open(main, i)->installEventFilter(&counter);
    }
    std::vector<double> times;
    for (int i = 0; i <= runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const int slot = select(main, *started.program, i);
        main->waitForThumbnails();
        open(main, slot)->repaint();
        if (i > 0) { // the first run fills caches
            times.push_back(elapsedMs(timer));
        }
        const Picture &shown = open(main, slot)->picture();
        detail = QStringLiteral("%1x%2 shown from a %3x%4 decode; %5 paints")
                     .arg(shown.naturalSize.width())
                     .arg(shown.naturalSize.height())
                     .arg(shown.image.width())
                     .arg(shown.image.height())
                     .arg(counter.paints);
    }
    return times;
}

std::vector<double> resizeFilled(const QStringList &arguments, int runs, QString &detail)
{
    const QString folder = arguments.value(0);
    Started started(folder);
    if (!listed(started, detail)) {
        return {};
    }
    MainWindow *main = started.main();
    for (int i = 0; i < 20; ++i) {
        select(main, *started.program, i);
    }
    main->waitForThumbnails();
    if (!waitExposed(main)) {
        detail = QStringLiteral("the main window was never shown");
        return {};
    }
    PaintCounter counter;
    open(main, 0)->installEventFilter(&counter);
    // The pictures are moved away while the window is resized: a resize that read a file would
    // lose its slot's picture.
    const QString away = folder + QStringLiteral(".away");
    QDir().rename(folder, away);
    QWidget *inner = main->centralWidget();
    const QSize large = inner->size();
    const QSize small = large * 3 / 4;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        inner->resize(i % 2 ? large : small);
        inner->repaint();
        times.push_back(elapsedMs(timer));
    }
    int held = 0;
    for (int i = 0; i < Program::kSlotCount; ++i) {
        held += open(main, i)->picture().image.isNull() ? 0 : 1;
    }
    QDir().rename(away, folder);
    detail = QStringLiteral("20 filled slots, %1 still showing their picture, files moved away; "
                            "%2 paints of slot 0")
                 .arg(held)
                 .arg(counter.paints);
    return times;
}

// Starts a show of the folder ("&Loop") and waits until it is on screen; the steps are then
// driven by the measurement, not by the clock.
bool startShow(Started &started, QString &detail)
{
    SlideShowWindow *show = form2(*started.program);
    started.main()->loopits_Click();
    Timer1(*started.program)->stop();
    if (!waitExposed(show)) {
        detail = QStringLiteral("the slide show was never shown");
        return false;
    }
    return true;
}

std::vector<double> showStep(const QStringList &arguments, int runs, QString &detail)
{
    const bool ahead = arguments.value(1) != QLatin1String("cold");
    Started started(arguments.value(0));
    if (!listed(started, detail)) {
        return {};
    }
    SlideShowWindow *show = form2(*started.program);
    show->setReadAheadEnabled(ahead);
    if (!startShow(started, detail)) {
        return {};
    }
    PaintCounter counter;
    Image1(show)->installEventFilter(&counter);
    std::vector<double> times;
    std::vector<double> limits;
    for (int i = 0; i <= runs; ++i) {
        if (ahead) {
            show->waitForDecodes(); // the interval in which the next picture is read
        }
        QElapsedTimer timer;
        timer.start();
        show->displayit();
        if (!ahead) {
            // A step never waits for its decode: the step ends when the picture lands.
            const QDeadlineTimer deadline(10000);
            while (show->pictureOnItsWay() && !deadline.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            }
        }
        show->repaint();
        const double step = elapsedMs(timer);
        // Without read-ahead, the step against its limit in the same round: libjpeg reading the
        // part of the same file the screen shows (after the step, so the file is in the cache).
        // The show decodes a whole reduced picture in the background after a step; the limit
        // waits for it, as the limits section's decodes run with nothing beside them: sharing
        // the cores with it made the limit up to twice as slow as the same decode there.
        if (!ahead) {
            show->waitForDecodes();
            timer.restart();
            libjpegVisiblePart(Image1(show)->picture().file, QSize(1920, 1080));
            if (i > 0) {
                limits.push_back(elapsedMs(timer));
            }
        }
        if (i > 0) {
            times.push_back(step);
        }
    }
    if (!limits.empty()) {
        std::sort(limits.begin(), limits.end());
        std::printf("limit %.2f %.2f %.2f %d\n", limits[limits.size() / 2], limits.front(),
            limits.back(), int(limits.size()));
    }
    const Picture &shown = Image1(show)->picture();
    detail = QStringLiteral("%1 read ahead; %2x%3 shown from %4x%5 decoded; %6 paints")
                 .arg(ahead ? QStringLiteral("next entry") : QStringLiteral("nothing"))
                 .arg(shown.naturalSize.width())
                 .arg(shown.naturalSize.height())
                 .arg(shown.image.width())
                 .arg(shown.image.height())
                 .arg(counter.paints);
    return times;
}

std::vector<double> zoomStep(const QStringList &arguments, int runs, QString &detail)
{
    Started started(arguments.value(0));
    if (!listed(started, detail)) {
        return {};
    }
    SlideShowWindow *show = form2(*started.program);
    if (!startShow(started, detail)) {
        return {};
    }
    show->waitForDecodes();
    PaintCounter counter;
    Image1(show)->installEventFilter(&counter);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        show->Form_KeyDown(i % 2 ? vk::PageDown : vk::PageUp, 0);
        show->repaint();
        times.push_back(elapsedMs(timer));
        show->waitForDecodes();
    }
    detail = QStringLiteral("Page Up and Page Down in turn, with the repaint; box %1x%2, %3")
                 .arg(Image1(show)->width())
                 .arg(Image1(show)->height())
                 .arg(show->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"))
        + QStringLiteral(", %1 paints").arg(counter.paints);
    return times;
}

std::vector<double> startUp(const QStringList &arguments, int runs, QString &detail)
{
    std::vector<double> times;
    for (int i = 0; i <= runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        Started started(arguments.value(0));
        started.main()->repaint();
        if (i > 0) {
            times.push_back(elapsedMs(timer));
        }
    }
    detail = QStringLiteral("settings read, lists filled, windows loaded, first paint");
    return times;
}

// Twenty slots filled one after another, each thumbnail waited for; or, given `ms`, selected that
// far apart while the window goes on (holding Right in the file list), the decodes overlapping.
std::vector<double> memorySlots(const QStringList &arguments, int, QString &detail)
{
    const int pace = arguments.value(1, QStringLiteral("-1")).toInt();
    Started started(arguments.value(0));
    if (!listed(started, detail)) {
        return {};
    }
    MainWindow *main = started.main();
    for (int i = 0; i < 20; ++i) {
        select(main, *started.program, i);
        if (pace < 0) {
            main->waitForThumbnails();
        }
        QElapsedTimer gap;
        gap.start();
        while (gap.elapsed() < pace) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    main->waitForThumbnails();
    detail = QStringLiteral("MB peak resident, 20 filled slots (%1), window %2x%3, slot %4x%5")
                 .arg(pace < 0 ? QStringLiteral("one at a time")
                               : QStringLiteral("selected %1 ms apart").arg(pace))
                 .arg(main->width())
                 .arg(main->height())
                 .arg(open(main, 0)->width())
                 .arg(open(main, 0)->height());
    return { peakMegabytes() };
}

std::vector<double> memoryFull(const QStringList &arguments, int, QString &detail)
{
    const pictures::LoadResult result
        = pictures::load(pictures::DecodeRequest::natural(arguments.value(0)));
    if (!result.ok()) {
        detail = result.reason;
        return {};
    }
    detail = QStringLiteral("MB peak resident, one full decode");
    return { peakMegabytes() };
}

// Holding Right in the file list: key-repeat presses every 33 ms, then the release. The
// longest time the event loop could not look at input is what the user feels.
std::vector<double> keyRepeat(const QStringList &arguments, int runs, QString &detail)
{
    Started started(arguments.value(0));
    if (!listed(started, detail)) {
        return {};
    }
    MainWindow *main = started.main();
    FileList *list = File1(main);
    list->setCurrentRow(0);
    list->setFocus();
    std::vector<double> stalls;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        qint64 last = clock.nsecsElapsed();
        double longest = 0;
        QTimer probe;
        probe.setInterval(2);
        QObject::connect(&probe, &QTimer::timeout, [&]() {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, double(now - last) / 1e6);
            last = now;
        });
        probe.start();
        const int presses = 15;
        for (int k = 0; k < presses; ++k) {
            const bool repeat = k > 0;
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), repeat);
            QApplication::sendEvent(list, &press);
            if (k + 1 < presses) {
                QKeyEvent release(
                    QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, QString(), true);
                QApplication::sendEvent(list, &release);
            }
            QElapsedTimer gap;
            gap.start();
            while (gap.elapsed() < 33) {
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            }
        }
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
        QApplication::sendEvent(list, &release);
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 400) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        probe.stop();
        stalls.push_back(longest);
    }
    detail
        = QStringLiteral("longest event-loop stall (ms) while Right is held at 30 Hz and released");
    return stalls;
}

// A running show of the folder at `interval` milliseconds, read-ahead on, as the user starts it
// with "&Loop": the time between one picture and the next reaching the screen, `runs` intervals
// at least (the first picture's own time not counted).
std::vector<double> timedShow(const QStringList &arguments, int runs, QString &detail)
{
    const int interval = arguments.value(1, QStringLiteral("200")).toInt();
    Started started(arguments.value(0));
    if (!listed(started, detail)) {
        return {};
    }
    SlideShowWindow *show = form2(*started.program);
    Timer1(*started.program)->setInterval(interval);
    started.main()->loopits_Click();
    if (!waitExposed(show)) {
        detail = QStringLiteral("the slide show was never shown");
        return {};
    }
    // Each paint of the picture box that shows another file than the one before is a picture
    // reaching the screen.
    struct Arrivals : QObject
    {
        ImageBox *box = nullptr;
        QString shown;
        QElapsedTimer clock;
        std::vector<double> at;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && box->picture().file != shown) {
                shown = box->picture().file;
                at.push_back(elapsedMs(clock));
            }
            return false;
        }
    } arrivals;
    arrivals.box = Image1(show);
    arrivals.shown = arrivals.box->picture().file;
    arrivals.clock.start();
    arrivals.box->installEventFilter(&arrivals);
    const int wanted = std::max(runs, 20) + 2;
    QElapsedTimer limit;
    limit.start();
    while (int(arrivals.at.size()) < wanted && limit.elapsed() < wanted * interval * 4 + 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    arrivals.box->removeEventFilter(&arrivals);
    std::vector<double> intervals;
    for (size_t i = 2; i < arrivals.at.size(); ++i) {
        intervals.push_back(arrivals.at[i] - arrivals.at[i - 1]);
    }
    if (intervals.empty()) {
        detail = QStringLiteral("the show never stepped");
        return {};
    }
    detail = QStringLiteral("intervals between pictures on screen, show at %1 ms, read-ahead on")
                 .arg(interval);
    return intervals;
}

// Prints one figure of interleaved rounds as run.sh reads them: "<name> <median> <min> <max> <n>".
void printRounds(const char *name, std::vector<double> times)
{
    if (times.empty()) {
        return;
    }
    std::sort(times.begin(), times.end());
    std::printf("%s %.2f %.2f %.2f %d\n", name, times[times.size() / 2], times.front(),
        times.back(), int(times.size()));
}

// The desktop's thumbnail cache the program reads and writes (run.sh gives the bench one of its
// own).
QString thumbnailCacheRoot()
{
    return ThumbnailCache().root();
}

// Twenty selections in a row through a folder of 24 MP photos until the last slot is painted,
// the cache emptied first, against twenty libjpeg 1/8 decodes one after another in the same
// round; then, with the cache as those selections filled it, the slowest of twenty selections
// from its key to its slot painted. "cached" skips the cold figures (a progressive folder).
std::vector<double> selectTwenty(const QStringList &arguments, int runs, QString &detail)
{
    const bool cachedOnly = arguments.value(1) == QLatin1String("cached");
    Started started(arguments.value(0));
    MainWindow *main = listedOnScreen(started, detail);
    if (!main) {
        return {};
    }
    FileList *list = File1(main);
    const int count = list->listCount();
    std::vector<double> twenty, libjpeg, cached;
    for (int round = -1; round < runs; ++round) {
        if (!cachedOnly || round == -1) {
            QDir(thumbnailCacheRoot()).removeRecursively();
            AsyncPictureLoader::waitForAllDecodes();
            QElapsedTimer timer;
            timer.start();
            for (int i = 0; i < 20; ++i) {
                select(main, *started.program, i);
            }
            main->waitForThumbnails();
            for (int i = 0; i < 20; ++i) {
                open(main, i)->repaint();
            }
            if (round >= 0 && !cachedOnly) {
                twenty.push_back(elapsedMs(timer));
            }
            // What the stores still write after the slots have their pictures is not timed.
            AsyncPictureLoader::waitForAllDecodes();
            timer.restart();
            for (int i = 0; i < 20; ++i) {
                libjpegEighth(list->filePath(list->list(i % count)));
            }
            if (round >= 0 && !cachedOnly) {
                libjpeg.push_back(elapsedMs(timer));
            }
        }
        double slowest = 0;
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer timer;
            timer.start();
            const int slot = select(main, *started.program, i);
            main->waitForThumbnails();
            open(main, slot)->repaint();
            slowest = std::max(slowest, elapsedMs(timer));
        }
        if (round >= 0) {
            cached.push_back(slowest);
        }
    }
    printRounds("ours.twenty", twenty);
    printRounds("libjpeg.twenty-1/8", libjpeg);
    for (double &t : libjpeg) {
        t /= QThread::idealThreadCount();
    }
    printRounds("libjpeg.twenty-1/8-per-core", libjpeg);
    printRounds("ours.cached.slowest", cached);
    const Picture &shown = open(main, 0)->picture();
    detail = QStringLiteral("%1 cores; slot 0 shows %2x%3 from a %4x%5 picture")
                 .arg(QThread::idealThreadCount())
                 .arg(shown.image.width())
                 .arg(shown.image.height())
                 .arg(shown.naturalSize.width())
                 .arg(shown.naturalSize.height());
    return cached;
}

// Page Down on a photo larger than the screen, opened from its slot or in a "&Loop" show, as
// soon as the sharp part the screen shows has landed: from the key until the frame shows the
// whole of what the box is meant to show (no background bands, no part), painted.
std::vector<double> zoomOutWhole(const QStringList &arguments, int runs, QString &detail)
{
    const bool fromSlot = !arguments.value(1).startsWith(QLatin1String("show"));
    // "show-ahead": Page Down on the show's next picture, read ahead, rather than its first.
    const bool ahead = arguments.value(1) == QLatin1String("show-ahead");
    Started started(arguments.value(0));
    if (!listed(started, detail)) {
        return {};
    }
    MainWindow *main = started.main();
    std::vector<double> times;
    int covered = 0;
    for (int round = -1; round < runs; ++round) {
        SlideShowWindow *show = nullptr;
        if (fromSlot) {
            const int slot = select(main, *started.program, 0);
            main->waitForThumbnails();
            main->open_MouseUp(slot, 1, 0, 0, 0);
            show = form2(*started.program);
        } else {
            show = form2(*started.program);
            if (!startShow(started, detail)) {
                return {};
            }
            if (ahead) {
                // The first step shows the first picture again; the second the one read ahead.
                for (int step = 0; step < 2; ++step) {
                    show->waitForDecodes();
                    show->displayit();
                }
            }
        }
        waitExposed(show);
        QElapsedTimer waited;
        waited.start();
        while (Image1(show)->picture().holdsWhole() && waited.elapsed() < 10000) {
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        QElapsedTimer timer;
        timer.start();
        show->Form_KeyDown(vk::PageDown, 0);
        // Until the frame shows all the view is meant to show: a window that holds its frame
        // while the whole picture is on its way shows the frame before until then.
        while (!show->viewCovered() && timer.elapsed() < 10000) {
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        show->repaint();
        if (round >= 0) {
            times.push_back(elapsedMs(timer));
        }
        const Picture &held = Image1(show)->picture();
        covered += held.holdsWhole() ? 1 : 0;
        show->waitForDecodes();
        show->Form_Click();
        QApplication::processEvents();
    }
    detail
        = QStringLiteral("%1 of %2 frames after the key showed a whole picture (%3)")
              .arg(covered)
              .arg(runs + 1)
              .arg(fromSlot ? QStringLiteral("opened from its slot") : QStringLiteral("in a show"));
    return times;
}

// Opening the drive list with every mounted volume (run under a mount namespace holding
// thousands of bind mounts): the whole block of the window's thread, from reading the volumes to
// the list popped up.
std::vector<double> openDriveList(const QStringList &, int runs, QString &detail)
{
    DriveList drives;
    drives.setRootSource(volumes::roots);
    drives.show();
    const qsizetype count = drives.roots().size();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        drives.hidePopup();
        drives.setRoots({}); // so the next opening fills the list again
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        drives.showPopup();
        times.push_back(elapsedMs(timer));
        QApplication::processEvents();
    }
    drives.hidePopup();
    detail = QStringLiteral("%1 volumes listed").arg(count);
    return times;
}

} // namespace

void addWindowMeasurements(std::map<QString, Measurement> &all)
{
    all[QStringLiteral("select-twenty")]
        = { QStringLiteral("<folder> [cached]: twenty selections in a row, cold and cached"), {},
              selectTwenty };
    all[QStringLiteral("zoom-out")]
        = { QStringLiteral("<folder> [slot|show|show-ahead]: Page Down until the whole picture "
                           "is shown"),
              {}, zoomOutWhole };
    all[QStringLiteral("select")]
        = { QStringLiteral("<folder>: select into a slot until painted"), {}, selectIntoSlot };
    all[QStringLiteral("resize")]
        = { QStringLiteral("<folder>: resize with 20 filled slots"), {}, resizeFilled };
    all[QStringLiteral("step")]
        = { QStringLiteral("<folder> [ahead|cold]: one slide-show step"), {}, showStep };
    all[QStringLiteral("show")]
        = { QStringLiteral("<folder> [ms]: a running show's intervals"), {}, timedShow };
    all[QStringLiteral("zoom")]
        = { QStringLiteral("<folder>: one zoom step in the slide show"), {}, zoomStep };
    all[QStringLiteral("startup")]
        = { QStringLiteral("<folder>: start-up to the first paint"), {}, startUp };
    all[QStringLiteral("memory-slots")]
        = { QStringLiteral("<folder> [ms]: peak memory with 20 filled slots"), {}, memorySlots };
    all[QStringLiteral("memory-full")]
        = { QStringLiteral("<picture>: peak memory of one full decode"), {}, memoryFull };
    all[QStringLiteral("drives")]
        = { QStringLiteral(": open the drive list with every mounted volume"), {}, openDriveList };
    all[QStringLiteral("keyrepeat")]
        = { QStringLiteral("<folder>: input stall while Right is held"), {}, keyRepeat };
}
