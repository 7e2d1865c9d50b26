#pragma once

#include <QString>

namespace paths {

// The current-file path: folder and name joined by one separator, none added when the folder
// already ends in one (the root). `separator` is the platform's.
QString join(const QString &folder, const QString &name, QChar separator = QLatin1Char('/'));

// Whether two paths name the same file under the file system's case rule.
bool same(const QString &a, const QString &b, Qt::CaseSensitivity rule);

// A folder as the system reports it, less one trailing separator (the root becomes empty).
QString withoutTrailingSeparator(const QString &folder, QChar separator = QLatin1Char('/'));

} // namespace paths
