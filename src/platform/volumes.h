#pragma once

#include <QString>
#include <QStringList>

// The mounted volumes that stand in for drives: real file systems only, the root first.
namespace volumes {

QStringList roots();
// The root of the listed volume that holds `path` (the longest matching root), or empty.
QString rootOf(const QString &path, const QStringList &roots);

} // namespace volumes
