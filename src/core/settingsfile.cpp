#include "settingsfile.h"

#include "palette.h"
#include "settings.h"

#include "system/files.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <limits>

namespace {
constexpr qint64 kMaxFileSize
    = 64 * 1024; // a record is one short line; anything bigger is not ours
constexpr int kFieldCount = 5;
} // namespace

SettingsFile::SettingsFile(QString path)
    : m_path(std::move(path))
{
}

QString SettingsFile::formatNumber(float value)
{
    // Fixed notation in the fewest digits that read back as the same single-precision value.
    char buffer[64];
    const auto result
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc()) {
        return QString::number(int(Settings::kDefaultInterval));
    }
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

std::optional<float> SettingsFile::parseNumber(const QString &field)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(field, &ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) {
        return std::nullopt;
    }
    return float(value);
}

std::optional<qint16> SettingsFile::parseInteger(const QString &field)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(field, &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    // Integer fields take a fraction rounded half to even, as the numbers were once read.
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<qint16>::min()
        || rounded > std::numeric_limits<qint16>::max()) {
        return std::nullopt;
    }
    return qint16(rounded);
}

QByteArray SettingsFile::format(
    float interval, int color, int loopMode, const QString &folder, int hideFileName)
{
    // A quote inside the folder is doubled; no folder the file could hold before has one, so
    // every earlier file reads as it always did.
    QString quoted = folder;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    const QString line = formatNumber(interval) + QLatin1Char(',') + QString::number(color)
        + QLatin1Char(',') + QString::number(loopMode) + QLatin1String(",\"") + quoted
        + QLatin1String("\",") + QString::number(hideFileName) + QLatin1String("\r\n");
    return line.toUtf8();
}

QStringList SettingsFile::fields(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QStringList result;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    auto isLineEnd = [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); };

    // Blank lines before the record are passed over.
    while (i < n && (isBlank(text[i]) || isLineEnd(text[i]))) {
        ++i;
    }
    while (i < n) {
        while (i < n && isBlank(text[i])) {
            ++i;
        }
        if (i >= n || isLineEnd(text[i])) {
            result.append(QString()); // the record ended right after a comma
            break;
        }
        QString field;
        if (text[i] == QLatin1Char('"')) {
            ++i;
            while (i < n) {
                if (text[i] == QLatin1Char('"')) {
                    if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            // Whatever stands between the closing quote and the next comma is not part of it.
            while (i < n && text[i] != QLatin1Char(',') && !isLineEnd(text[i])) {
                ++i;
            }
        } else {
            const qsizetype start = i;
            while (i < n && text[i] != QLatin1Char(',') && !isLineEnd(text[i])) {
                ++i;
            }
            field = text.mid(start, i - start).trimmed();
        }
        result.append(field);
        if (i < n && text[i] == QLatin1Char(',')) {
            ++i;
            continue;
        }
        break; // end of line or of text: the first record is complete
    }
    return result;
}

bool SettingsFile::read(Settings &s) const
{
    QByteArray bytes;
    if (!systemfiles::readRegular(m_path, kMaxFileSize, &bytes)) {
        return false;
    }
    const QStringList f = fields(bytes);

    auto field = [&f](int k) -> const QString * { return k < f.size() ? &f[k] : nullptr; };

    const QString *interval = field(0);
    const auto intervalValue = interval ? parseNumber(*interval) : std::nullopt;
    if (!intervalValue) {
        return false;
    }
    s.slideInterval = *intervalValue;

    const QString *color = field(1);
    const auto colorValue = color ? parseInteger(*color) : std::nullopt;
    // An index outside the palette could not be shown; it counts as a bad file.
    if (!colorValue || !palette::isValidIndex(*colorValue)) {
        return false;
    }
    s.savedColorIndex = *colorValue;

    const QString *loop = field(2);
    const auto loopValue = loop ? parseInteger(*loop) : std::nullopt;
    if (!loopValue) {
        return false;
    }
    s.loopMode = *loopValue;

    const QString *folder = field(3);
    if (!folder) {
        return false;
    }
    s.lastFolder = *folder;

    const QString *hide = field(4);
    const auto hideValue = hide ? parseInteger(*hide) : std::nullopt;
    if (!hideValue) {
        return false;
    }
    s.hideFileName = *hideValue;
    static_assert(kFieldCount == 5);
    return true;
}

bool SettingsFile::save(const Settings &s, const QString &folder) const
{
    const QByteArray record
        = format(s.slideInterval, s.bgColorIndex, s.loopMode, folder, s.hideFileName);
    return systemfiles::writeRegular(m_path, record);
}
