#include "settings.h"

#include "settingsfile.h"

#include <cmath>

Settings Settings::defaults(const QString &folder)
{
    Settings s;
    s.lastFolder = folder;
    return s;
}

std::optional<int> timerIntervalMs(float seconds)
{
    if (!std::isfinite(seconds)) {
        return std::nullopt;
    }
    const float product = seconds * 1000.0f;
    const double ms = std::floor(double(product));
    if (ms < 1.0 || ms > 65535.0) {
        return std::nullopt;
    }
    return int(ms);
}

float validatedInterval(std::optional<float> typed)
{
    if (!typed || std::floor(double(*typed)) > 65.5 || !timerIntervalMs(*typed)) {
        return Settings::kDefaultInterval;
    }
    return *typed;
}

QString intervalText(float seconds, const QLocale &locale)
{
    QString text = SettingsFile::formatNumber(seconds);
    text.replace(QLatin1Char('.'), locale.decimalPoint());
    if (text.startsWith(QLatin1Char('-'))) {
        text.replace(0, 1, locale.negativeSign());
    }
    return text;
}

std::optional<float> parseIntervalText(const QString &text, const QLocale &locale)
{
    bool ok = false;
    double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok) {
        value = QLocale::c().toDouble(text.trimmed(), &ok);
    }
    if (!ok || !std::isfinite(value) || std::fabs(value) > 3.0e38) {
        return std::nullopt;
    }
    return float(value);
}
