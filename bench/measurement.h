#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>

// One named measurement of viewer_bench.
struct Measurement
{
    QString usage;
    // Runs the measured work once; returns false (with `detail` saying why) on failure.
    std::function<bool(const QStringList &arguments, QString &detail)> run = {};
    // Or: sets up once, times `runs` steps itself and returns their times in milliseconds (none
    // on failure, with `detail` saying why). Values other than times (megabytes) come back the
    // same way, as one entry.
    std::function<std::vector<double>(const QStringList &arguments, int runs, QString &detail)>
        timed = {};
};

// The measurements of the program's own windows: selection into a slot, resizing, slide-show
// steps, zoom, start-up, memory, browsing at key-repeat speed.
void addWindowMeasurements(std::map<QString, Measurement> &all);

// The decoders beside libjpeg in process, and listing a large folder.
void addLimitMeasurements(std::map<QString, Measurement> &all);

// What a show step cannot beat: libjpeg in process decoding only the part of the JPEG `path` a
// `screen` shows of it at its own size, centred (columns cropped, rows outside skipped).
bool libjpegVisiblePart(const QString &path, const QSize &screen);
// libjpeg in process decoding the JPEG `path` at 1/8 of its size (what a thumbnail cannot beat).
bool libjpegEighth(const QString &path);

// Draws the results table written by run.sh (one row a comparison, tab-separated: name, ours,
// reference name, reference, target, verdict) as a bar chart PNG. Returns an exit code.
int drawChart(const QString &tablePath, const QString &pngPath);
