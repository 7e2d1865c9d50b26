#include "paths.h"

namespace paths {

QString join(const QString &folder, const QString &name, QChar separator)
{
    if (folder.endsWith(separator)) {
        return folder + name;
    }
    return folder + separator + name;
}

bool same(const QString &a, const QString &b, Qt::CaseSensitivity rule)
{
    return QString::compare(a, b, rule) == 0;
}

QString withoutTrailingSeparator(const QString &folder, QChar separator)
{
    if (folder.endsWith(separator)) {
        return folder.left(folder.size() - 1);
    }
    return folder;
}

} // namespace paths
