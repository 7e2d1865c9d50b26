#include "volumes.h"

#include "system/bounded.h"
#include "system/names.h"

#include <QDir>
#include <QSet>
#include <QStorageInfo>

#ifdef Q_OS_LINUX
#include <mntent.h>
#endif

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
            "rootfs",
            "rpc_pipefs",
            "nfsd",
            "selinuxfs",
            "fuse.gvfsd-fuse",
            "fuse.portal",
        };
        return s_virtual.contains(type);
    }
} // namespace

namespace {
    // Below these lie the kernel's own views, never a volume of the user's.
    bool isSystemView(const QString &root)
    {
        for (const char *top : { "/proc", "/sys", "/dev" }) {
            const QLatin1String prefix(top);
            if (root == prefix || root.startsWith(prefix + QLatin1Char('/'))) {
                return true;
            }
        }
        return false;
    }

    // The mount points of the real file systems. On Linux from the mount table alone: asking a
    // volume anything (Qt's volume list asks each one's size) waits for good on a network or
    // FUSE file system whose server is gone, and costs seconds with thousands of mounts. Whether
    // a volume answers is found when it is opened, within a bound, as for an empty drive.
    QStringList mountPoints()
    {
        QStringList result;
#ifdef Q_OS_LINUX
        FILE *table = ::setmntent("/proc/self/mounts", "r");
        if (!table) {
            return result;
        }
        mntent entry {};
        char buffer[4096];
        while (::getmntent_r(table, &entry, buffer, sizeof buffer)) {
            if (!isVirtual(QByteArray(entry.mnt_type))) {
                result.append(systemfiles::decodeName(entry.mnt_dir));
            }
        }
        ::endmntent(table);
#else
        // Elsewhere Qt's list, which asks every volume, is waited for a bounded time.
        const std::optional<QStringList> listed = systemfiles::callWithin<QStringList>(
            std::chrono::seconds(3), QStringLiteral("volumes"), [] {
                QStringList found;
                for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
                    if (volume.isValid() && !isVirtual(volume.fileSystemType())) {
                        found.append(volume.rootPath());
                    }
                }
                return found;
            });
        result = listed.value_or(QStringList());
#endif
        return result;
    }
} // namespace

QStringList roots()
{
    QStringList result;
    QSet<QString> seen;
    const QString top = QDir::rootPath();
    for (const QString &root : mountPoints()) {
        if (root == top || isSystemView(root) || seen.contains(root)) {
            continue;
        }
        seen.insert(root);
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
