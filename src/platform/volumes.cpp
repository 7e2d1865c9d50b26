#include "volumes.h"

#include <QDir>
#include <QSet>
#include <QStorageInfo>

namespace volumes {

namespace {
    bool isVirtual(const QByteArray &type)
    {
        static const QSet<QByteArray> s_virtual = {
            "tmpfs",
            "devtmpfs",
            "ramfs",
            "proc",
            "sysfs",
            "devpts",
            "cgroup",
            "cgroup2",
            "mqueue",
            "securityfs",
            "debugfs",
            "tracefs",
            "pstore",
            "bpf",
            "autofs",
            "configfs",
            "fusectl",
            "hugetlbfs",
            "binfmt_misc",
            "nsfs",
            "efivarfs",
            "squashfs",
        };
        return s_virtual.contains(type);
    }
} // namespace

QStringList roots()
{
    QStringList result;
    const QString top = QDir::rootPath();
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || isVirtual(volume.fileSystemType())) {
            continue;
        }
        const QString root = volume.rootPath();
        if (root == top || result.contains(root)) {
            continue;
        }
        result.append(root);
    }
    result.sort(Qt::CaseInsensitive);
    result.prepend(top);
    return result;
}

QString rootOf(const QString &path, const QStringList &roots)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    QString best;
    for (const QString &root : roots) {
        const bool inside = clean == root
            || clean.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
        if (inside && root.size() > best.size()) {
            best = root;
        }
    }
    return best;
}

} // namespace volumes
