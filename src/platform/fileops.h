#pragma once

#include "system/files.h"

#include <QDateTime>
#include <QString>

#include <optional>

// Deleting and renaming files on the user's command, so that nothing but the file the user
// confirmed is touched and nothing is ever left half done. Each returns an empty string on
// success, else why it failed, for the user.
namespace fileops {

// What makes a file this file and no other one of the same name: checked again after the user
// confirmed, so a file replaced meanwhile is not the one that goes.
using Identity = systemfiles::Identity;

// The identity of the regular file at `path`; nothing for anything else or nothing at all.
std::optional<Identity> identify(const QString &path);

// Deletes the regular file at `path` if it is still the file `confirmed`.
QString remove(const QString &path, const Identity &confirmed);

// Renames `from` to `to`, never replacing a file that exists. Across file systems the file is
// copied (its modification time kept) and the original removed only once the copy is whole; a
// copy that fails leaves nothing at `to`.
QString rename(const QString &from, const QString &to);

} // namespace fileops
