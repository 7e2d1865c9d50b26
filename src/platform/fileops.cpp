#include "fileops.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileops {

namespace {

    QString systemError(int error)
    {
        return QString::fromLocal8Bit(std::strerror(error));
    }

    // Copies the bytes of `in` into `out`, checking every read and write.
    bool copyBytes(int in, int out)
    {
        char buffer[1 << 16];
        for (;;) {
            const ssize_t got = ::read(in, buffer, sizeof buffer);
            if (got == 0) {
                return true;
            }
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            ssize_t done = 0;
            while (done < got) {
                const ssize_t put = ::write(out, buffer + done, size_t(got - done));
                if (put < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    return false;
                }
                done += put;
            }
        }
    }

    // The copy of a rename across file systems: whole or not at all.
    QString copyAcross(const QByteArray &from, const QByteArray &to)
    {
        QFile input;
        const systemfiles::OpenResult opened
            = systemfiles::openRegular(systemfiles::decodeName(from), input);
        if (opened.status == systemfiles::OpenStatus::Missing) {
            return systemError(ENOENT);
        }
        if (opened.status == systemfiles::OpenStatus::Failed) {
            return opened.error;
        }
        struct stat source
        {
        };
        const int in = input.handle();
        if (!opened.ok() || ::fstat(in, &source) != 0 || !S_ISREG(source.st_mode)) {
            return QStringLiteral("It is not a plain file.");
        }
        // O_EXCL: a file that appeared at the new name meanwhile is not replaced.
        const int out = ::open(
            to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, source.st_mode & 07777);
        if (out < 0) {
            return systemError(errno);
        }
        bool ok = copyBytes(in, out);
        int error = errno;
        if (ok && ::fsync(out) != 0) {
            ok = false;
            error = errno;
        }
        if (ok) {
            const struct timespec times[2] = { source.st_atim, source.st_mtim };
            ::futimens(out, times);
        }
        if (::close(out) != 0 && ok) {
            ok = false;
            error = errno;
        }
        input.close();
        if (!ok || ::unlink(from.constData()) != 0) {
            if (ok) {
                error = errno;
            }
            ::unlink(to.constData());
            return systemError(error);
        }
        return QString();
    }

} // namespace

std::optional<Identity> identify(const QString &path)
{
    return systemfiles::identify(path);
}

QString remove(const QString &path, const Identity &confirmed)
{
    const std::optional<Identity> now = identify(path);
    if (!now) {
        struct stat info
        {
        };
        return ::lstat(systemfiles::encodeName(path).constData(), &info) == 0
            ? QStringLiteral("It is not a plain file.")
            : QStringLiteral("It no longer exists.");
    }
    if (*now != confirmed) {
        return QStringLiteral("It was changed or replaced while you were asked; nothing was "
                              "deleted.");
    }
    if (::unlink(systemfiles::encodeName(path).constData()) != 0) {
        return systemError(errno);
    }
    return QString();
}

QString rename(const QString &from, const QString &to)
{
    const QByteArray source = systemfiles::encodeName(from);
    const QByteArray target = systemfiles::encodeName(to);
    struct stat info
    {
    };
    if (::lstat(target.constData(), &info) == 0) {
        return QStringLiteral("A file with that name already exists.");
    }
    // A hard link, then an unlink: the new name is taken only if it is free at that moment,
    // which a plain rename would not check.
    if (::link(source.constData(), target.constData()) == 0) {
        if (::unlink(source.constData()) != 0) {
            const int error = errno;
            ::unlink(target.constData());
            return systemError(error);
        }
        return QString();
    }
    const int linkError = errno;
    if (linkError == EEXIST) {
        return QStringLiteral("A file with that name already exists.");
    }
    if (linkError == EXDEV) {
        return copyAcross(source, target);
    }
    // File systems without hard links (and files the user may not link) get a plain rename.
    if (::rename(source.constData(), target.constData()) != 0) {
        return errno == EXDEV ? copyAcross(source, target) : systemError(errno);
    }
    return QString();
}

} // namespace fileops
