#include "settingsfile.h"

#include "palette.h"
#include "settings.h"

#include <QFile>
#include <QLocale>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr qint64 kMaxFileSize
    = 64 * 1024; // a record is one short line; anything bigger is not ours
constexpr int kFieldCount = 5;
// An in-place rewrite keeps the old contents in memory to put them back; a file bigger than this
// is not a settings file and is left alone.
constexpr qint64 kMaxRestorableSize = 1024 * 1024;
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
    if (!readRegularFile(m_path, kMaxFileSize, &bytes)) {
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
    return writeRegularFile(m_path, record);
}

bool SettingsFile::readRegularFile(const QString &path, qint64 maxSize, QByteArray *bytes)
{
    const QByteArray native = QFile::encodeName(path);
    // Non-blocking, so that a FIFO put in the file's place between the check and the open
    // cannot hold the caller; the check after the open is the one that counts.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    bytes->resize(maxSize);
    qint64 done = 0;
    bool ok = true;
    while (done < maxSize) {
        const ssize_t n = ::read(fd, bytes->data() + done, size_t(maxSize - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        done += n;
    }
    ::close(fd);
    bytes->resize(done);
    return ok;
}

namespace {

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

// Replaces the file through a temporary file beside it: the old file stays whole until the new
// one is complete on disk. -1 when no temporary file could be made there; 0 on a failed write;
// 1 when replaced.
int replaceByRename(const QByteArray &target, const QByteArray &bytes, const struct stat *old)
{
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(qMax<qsizetype>(slash, 1));
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

// Rewrites the file where it stands, for a folder that takes no new file. Every step is checked;
// on any failure the old contents are put back, so the file is never left short.
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
    bool ok
        = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxRestorableSize;
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
        // The old contents fit where they stood before, so putting them back needs no new space.
        writeAll(fd, old, 0);
        ::ftruncate(fd, off_t(old.size()));
        ::fsync(fd);
    }
    ::close(fd);
    return written;
}

} // namespace

bool SettingsFile::writeRegularFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty()) {
        return false;
    }
    // A link is written through, so it stays a link; a link that leads nowhere is not followed,
    // as the file it names could be anywhere.
    QByteArray target = native;
    struct stat linkInfo
    {
    };
    if (::lstat(native.constData(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
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
