// viewer_bench: named measurements, each run a number of times; prints the median and the
// spread in milliseconds as one line a script can read:
//   <measurement> <median ms> <min ms> <max ms> <runs> <detail>
// Usage: viewer_bench [--runs N] <measurement> [arguments...]   |   viewer_bench --list
#include "measurement.h"
#include "pictures/picture.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

bool loadPicture(const QString &path, const QSize &target, QString &detail)
{
    const pictures::LoadResult result = target.isValid()
        ? pictures::load(pictures::DecodeRequest::within(path, target))
        : pictures::load(pictures::DecodeRequest::natural(path));
    if (!result.ok()) {
        detail = result.reason;
        return false;
    }
    detail = QStringLiteral("%1x%2 decoded as %3x%4")
                 .arg(result.picture.naturalSize.width())
                 .arg(result.picture.naturalSize.height())
                 .arg(result.picture.image.width())
                 .arg(result.picture.image.height());
    return true;
}

std::map<QString, Measurement> measurements()
{
    std::map<QString, Measurement> all;
    all[QStringLiteral("thumbnail")]
        = { QStringLiteral("<picture> [width height]: pictures::loadScaled into a slot (97 x 77)"),
              [](const QStringList &arguments, QString &detail) {
                  const QSize target = arguments.size() >= 3
                      ? QSize(arguments.at(1).toInt(), arguments.at(2).toInt())
                      : QSize(97, 77);
                  return loadPicture(arguments.value(0), target, detail);
              } };
    all[QStringLiteral("full")] = { QStringLiteral("<picture>: pictures::load at the natural size"),
        [](const QStringList &arguments, QString &detail) {
            return loadPicture(arguments.value(0), QSize(), detail);
        } };
    all[QStringLiteral("size")]
        = { QStringLiteral("<picture>: pictures::readSize (the header only)"),
              [](const QStringList &arguments, QString &detail) {
                  const pictures::LoadResult result = pictures::readSize(arguments.value(0));
                  detail = result.reason;
                  return result.ok();
              } };
    // A reference tool, timed the same way (its start-up included, as a user would run it).
    all[QStringLiteral("command")]
        = { QStringLiteral("<program> [arguments...]: an external command, output discarded"),
              [](const QStringList &arguments, QString &detail) {
                  QProcess process;
                  process.setStandardOutputFile(QProcess::nullDevice());
                  process.start(arguments.value(0), arguments.mid(1));
                  if (!process.waitForFinished(-1) || process.exitCode() != 0) {
                      detail = QStringLiteral("command failed: ")
                          + QString::fromLocal8Bit(process.readAllStandardError());
                      return false;
                  }
                  detail = arguments.join(QLatin1Char(' '));
                  return true;
              } };
    addWindowMeasurements(all);
    addLimitMeasurements(all);
    return all;
}

} // namespace

int main(int argc, char **argv)
{
    // The windows and metafile text need an application; the offscreen platform needs no display.
    // Its screen is 800 x 800 unless a configuration file says otherwise: the targets are set for
    // 1920 x 1080.
    const QString screenFile = QDir::temp().filePath(QStringLiteral("viewer-bench-screen.json"));
    QFile screen(screenFile);
    if (screen.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        screen.write(R"({ "synchronousWindowSystemEvents": false, "windowFrameMargins": true,
  "screens": [ { "name": "bench", "x": 0, "y": 0, "width": 1920, "height": 1080,
                 "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] })");
        screen.close();
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screenFile));
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const auto all = measurements();
    int runs = 9;
    if (arguments.size() >= 2 && arguments.first() == QLatin1String("--runs")) {
        runs = qMax(1, arguments.at(1).toInt());
        arguments = arguments.mid(2);
    }
    if (arguments.isEmpty() || arguments.first() == QLatin1String("--list")) {
        for (const auto &[name, measurement] : all) {
            std::printf("%s %s\n", qPrintable(name), qPrintable(measurement.usage));
        }
        return arguments.isEmpty() ? 2 : 0;
    }
    if (arguments.first() == QLatin1String("chart") && arguments.size() == 3) {
        return drawChart(arguments.at(1), arguments.at(2));
    }
    const auto found = all.find(arguments.first());
    if (found == all.end()) {
        std::fprintf(
            stderr, "unknown measurement %s (see --list)\n", qPrintable(arguments.first()));
        return 2;
    }
    const QStringList rest = arguments.mid(1);
    QString detail;
    if (found->second.timed) {
        // Measurements of the windows set up their state once and time each step themselves.
        std::vector<double> times = found->second.timed(rest, runs, detail);
        if (times.empty()) {
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(found->first), qPrintable(detail));
            return 1;
        }
        std::sort(times.begin(), times.end());
        std::printf("%s %.2f %.2f %.2f %d %s\n", qPrintable(found->first), times[times.size() / 2],
            times.front(), times.back(), int(times.size()), qPrintable(detail));
        return 0;
    }
    // One run first that is not counted: files into the page cache, libraries and plugins loaded.
    if (!found->second.run(rest, detail)) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(found->first), qPrintable(detail));
        return 1;
    }
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        found->second.run(rest, detail);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("%s %.2f %.2f %.2f %d %s\n", qPrintable(found->first), times[times.size() / 2],
        times.front(), times.back(), runs, qPrintable(detail));
    return 0;
}
