#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct Settings;

// The one-line settings file: interval, colour, loop mode, "folder", hide-file-name, CR LF.
class SettingsFile
{
public:
    explicit SettingsFile(QString path);

    const QString &path() const { return m_path; }

    // Reads the record (only from a regular file, or a link to one; anything else is
    // unreadable and never waited on) into slideInterval, savedColorIndex, loopMode, lastFolder and
    // hideFileName, one field after the other: a read that fails part-way leaves the fields before
    // the failing one replaced and the rest unchanged. True when all five fields were read.
    bool read(Settings &settings) const;

    // Replaces the file with the record slideInterval, bgColorIndex, loopMode, `folder`,
    // hideFileName. The file is replaced whole or not at all. True on success.
    bool save(const Settings &settings, const QString &folder) const;

    // The record's text, CR LF included.
    static QByteArray format(
        float interval, int color, int loopMode, const QString &folder, int hideFileName);
    // The fields of the first record of `text`, quotes removed; the reader stops at the end of
    // the first line outside quotes.
    static QStringList fields(const QByteArray &text);
    // A number in the shortest decimal form with a point: 3, 2.5, 0.1.
    static QString formatNumber(float value);
    static std::optional<float> parseNumber(const QString &field);
    static std::optional<qint16> parseInteger(const QString &field);

private:
    QString m_path;
};
