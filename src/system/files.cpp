#include "files.h"

#include "names.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace systemfiles {

namespace {

    // A settings-sized file rewritten in place keeps its old contents in memory to put them
    // back; anything bigger is not rewritten in place.
    constexpr qint64 kMaxRestorableSize = 1024 * 1024;
    // The links followed from one name before giving up, as the kernel's own limit.
    constexpr int kMaxLinkHops = 40;

    QString systemError(int error)
    {
        return QString::fromLocal8Bit(std::strerror(error));
    }

    bool writeAll(int fd, const QByteArray &bytes, off_t offset)
    {
        qint64 done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(
                fd, bytes.constData() + done, size_t(bytes.size() - done), offset + off_t(done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            done += n;
        }
        return true;
    }

    // The mode a new file gets from open(): 0666 less the process's umask.
    mode_t newFileMode()
    {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return 0666 & ~mask;
    }

    // Replaces the file through a temporary file beside it: the old file stays whole until the
    // new one is complete on disk. -1 when no temporary file could be made there; 0 on a failed
    // write; 1 when replaced.
    int replaceByRename(const QByteArray &target, const QByteArray &bytes, const struct stat *old)
    {
        const qsizetype slash = target.lastIndexOf('/');
        const QByteArray folder
            = slash < 0 ? QByteArray(".") : target.left(qMax<qsizetype>(slash, 1));
        const QByteArray name = slash < 0 ? target : target.mid(slash + 1);
        QByteArray temporary = folder + (folder.endsWith('/') ? "" : "/") + "." + name + ".XXXXXX";
        const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
        if (fd < 0) {
            return -1;
        }
        bool ok = ::fchmod(fd, old ? (old->st_mode & 07777) : newFileMode()) == 0;
        if (old && ok) {
            // Keeps the owner where the rights allow it (an administrator saving a user's file);
            // without them the file is the caller's own, as any new file would be.
            [[maybe_unused]] const int owned = ::fchown(fd, old->st_uid, old->st_gid);
        }
        ok = ok && writeAll(fd, bytes, 0) && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        ok = ok && ::rename(temporary.constData(), target.constData()) == 0;
        if (!ok) {
            ::unlink(temporary.constData());
            return 0;
        }
        return 1;
    }

    // Rewrites the file where it stands, for a folder that takes no new file. Every step is
    // checked; on any failure the old contents are put back, so the file is never left short.
    bool rewriteInPlace(const QByteArray &target, const QByteArray &bytes)
    {
        const int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
        if (fd < 0) {
            return false;
        }
        struct stat info
        {
        };
        QByteArray old;
        bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
            && info.st_size <= kMaxRestorableSize;
        if (ok) {
            old.resize(qsizetype(info.st_size));
            ok = ::pread(fd, old.data(), size_t(old.size()), 0) == ssize_t(old.size());
        }
        if (!ok) {
            ::close(fd);
            return false;
        }
        const bool written = writeAll(fd, bytes, 0) && ::fsync(fd) == 0
            && ::ftruncate(fd, off_t(bytes.size())) == 0 && ::fsync(fd) == 0;
        if (!written) {
            // The old contents fit where they stood before, so putting them back needs no new
            // space.
            writeAll(fd, old, 0);
            ::ftruncate(fd, off_t(old.size()));
            ::fsync(fd);
        }
        ::close(fd);
        return written;
    }

} // namespace

OpenResult openRegular(const QString &path, QFile &file)
{
    const QByteArray native = encodeName(path);
    struct stat status
    {
    };
    if (::stat(native.constData(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return { OpenStatus::Missing, QString() };
        }
        return { OpenStatus::Failed, systemError(errno) };
    }
    if (S_ISDIR(status.st_mode)) {
        return { OpenStatus::Folder, QString() };
    }
    if (!S_ISREG(status.st_mode)) {
        return { OpenStatus::NotAFile, QString() };
    }
    const int descriptor = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        return error == ENOENT ? OpenResult { OpenStatus::Missing, QString() }
                               : OpenResult { OpenStatus::Failed, systemError(error) };
    }
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return { OpenStatus::NotAFile, QString() };
    }
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return { OpenStatus::Failed, file.errorString() };
    }
    return {};
}

bool readRegular(const QString &path, qint64 maxSize, QByteArray *bytes)
{
    QFile file;
    if (!openRegular(path, file).ok()) {
        return false;
    }
    *bytes = file.read(maxSize);
    return file.error() == QFileDevice::NoError;
}

bool linkMayBeWrittenThrough(const QString &path)
{
    QByteArray current = encodeName(path);
    const uid_t me = ::geteuid();
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info
        {
        };
        if (::lstat(current.constData(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return true;
        }
        // The kernel's protected-symlinks rule, applied in every folder: a link is followed
        // only when the one following it, or the administrator, made it.
        if (info.st_uid != me && info.st_uid != 0) {
            return false;
        }
        QByteArray next(qsizetype(PATH_MAX), '\0');
        const ssize_t length = ::readlink(current.constData(), next.data(), size_t(next.size()));
        if (length <= 0 || length >= next.size()) {
            return false;
        }
        next.truncate(length);
        if (!next.startsWith('/')) {
            const qsizetype slash = current.lastIndexOf('/');
            next = (slash < 0 ? QByteArray() : current.left(slash + 1)) + next;
        }
        current = next;
    }
    return false;
}

bool writeRegular(const QString &path, const QByteArray &bytes)
{
    const QByteArray native = encodeName(path);
    if (native.isEmpty()) {
        return false;
    }
    // A link is written through, so it stays a link; a link that leads nowhere is not followed,
    // as the file it names could be anywhere, and neither is one another user made.
    QByteArray target = native;
    struct stat linkInfo
    {
    };
    if (::lstat(native.constData(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        if (!linkMayBeWrittenThrough(path)) {
            return false;
        }
        char *resolved = ::realpath(native.constData(), nullptr);
        if (!resolved) {
            return false;
        }
        target = QByteArray(resolved);
        std::free(resolved);
    }
    struct stat info
    {
    };
    const bool exists = ::stat(target.constData(), &info) == 0;
    if (!exists && errno != ENOENT) {
        return false;
    }
    // Only a regular file is replaced: a FIFO, a device, a socket or a folder keeps its place.
    if (exists && !S_ISREG(info.st_mode)) {
        return false;
    }
    const int replaced = replaceByRename(target, bytes, exists ? &info : nullptr);
    if (replaced >= 0) {
        return replaced == 1;
    }
    return exists && rewriteInPlace(target, bytes);
}

bool writable(const QString &path)
{
    return ::eaccess(encodeName(path).constData(), W_OK) == 0;
}

std::optional<Identity> identify(const QString &path)
{
    struct stat info
    {
    };
    if (::lstat(encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return Identity { quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
        qint64(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec };
}

NodeKind kindOf(const QString &path)
{
    struct stat info
    {
    };
    if (path.isEmpty() || ::stat(encodeName(path).constData(), &info) != 0) {
        return NodeKind::Missing;
    }
    return S_ISDIR(info.st_mode) ? NodeKind::Folder
        : S_ISREG(info.st_mode)  ? NodeKind::File
                                 : NodeKind::Other;
}

bool isListableFolder(const QString &path)
{
    return kindOf(path) == NodeKind::Folder
        && ::access(encodeName(path).constData(), R_OK | X_OK) == 0;
}

} // namespace systemfiles
