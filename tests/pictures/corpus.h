#pragma once

#include <QFile>
#include <QList>
#include <QString>

// One row of the picture corpus's MANIFEST.tsv: the file (relative to the corpus folder), what
// a loader must do with it (decode, reject, either) and the collector's note.
struct CorpusEntry
{
    QString path;
    QString expect;
    QString note;
};

inline QString corpusPath(const QString &relative)
{
    return QStringLiteral(VIEWER_CORPUS_DIR "/") + relative;
}

// The corpus rows whose path starts with one of `prefixes` (say "bmp/", "gif/", "jpeg/").
inline QList<CorpusEntry> corpusEntries(const QStringList &prefixes)
{
    QList<CorpusEntry> entries;
    QFile manifest(corpusPath(QStringLiteral("MANIFEST.tsv")));
    if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return entries;
    }
    while (!manifest.atEnd()) {
        const QString line = QString::fromUtf8(manifest.readLine()).remove(QLatin1Char('\n'));
        if (line.startsWith(QLatin1Char('#')) || line.isEmpty()) {
            continue;
        }
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 2) {
            continue;
        }
        for (const QString &prefix : prefixes) {
            if (fields.at(0).startsWith(prefix)) {
                entries.append(
                    { fields.at(0), fields.at(1), fields.size() > 8 ? fields.at(8) : QString() });
                break;
            }
        }
    }
    return entries;
}
