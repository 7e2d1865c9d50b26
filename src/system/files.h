#pragma once

#include "names.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <optional>

// What the program asks of the operating system about files, in one place below the libraries
// that read and write them: opening only regular files (never waiting on a pipe or a device),
// a file's identity, and replacing a file whole. Everything system-specific stays in files.cpp.
// Paths are texts as decodeName() gives them; each call acts on the bytes they came from.
namespace systemfiles {

// How an open for reading went.
enum class OpenStatus { Opened, Missing, Folder, NotAFile, Failed };

struct OpenResult
{
    OpenStatus status = OpenStatus::Opened;
    QString error; // the system's words, for Failed

    bool ok() const { return status == OpenStatus::Opened; }
};

// Opens `path` for reading into `file` only when it is (or a link leads to) a regular file: a
// FIFO would block the reader for ever, a device may never end, and a folder is no file. The
// node is checked again once open, so one swapped in between is refused too; the open itself
// never blocks, whatever the node is.
OpenResult openRegular(const QString &path, QFile &file);

// Up to `maxSize` bytes of the regular file at `path` (links followed); false, without waiting,
// for anything that is not a regular file or cannot be read.
bool readRegular(const QString &path, qint64 maxSize, QByteArray *bytes);

// Replaces the regular file at `path` (or the one a link leads to; the link stays) with `bytes`,
// or makes it. Through a temporary file beside it where the folder takes one, else in place;
// every write and flush is checked, and on any failure the old contents stay whole. A path that
// is or leads to anything but a regular file is never written, and a link is written through
// only when it (and every link it leads through) belongs to this user or to the administrator:
// a link another user planted in a folder both can write never turns the write onto a file of
// this user's.
bool writeRegular(const QString &path, const QByteArray &bytes);

// Whether a write through the link chain starting at `path` is allowed by the rule above; true
// for a path that is no link.
bool linkMayBeWrittenThrough(const QString &path);

// Whether this process may write to `path` with its effective rights, as an open would meet
// them (a read-only mount included).
bool writable(const QString &path);

// What makes a file this file and no other one of the same name.
struct Identity
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    bool operator==(const Identity &other) const = default;
};

// The identity of the regular file at `path` itself (a link is not followed); nothing for
// anything else or nothing at all.
std::optional<Identity> identify(const QString &path);

// What is at `path`, links followed.
enum class NodeKind { Missing, Folder, File, Other };
NodeKind kindOf(const QString &path);

// Whether `path` is (or a link leads to) a folder this process may list and enter.
bool isListableFolder(const QString &path);

} // namespace systemfiles
