#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

TestFolder::TestFolder() = default;

QString TestFolder::filePath(const QString &name) const
{
    return m_dir.filePath(name);
}

QString TestFolder::write(const QString &name, const QByteArray &bytes)
{
    const QString path = filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
    }
    return path;
}

QString TestFolder::makeFolder(const QString &name)
{
    const QString path = filePath(name);
    QDir().mkpath(path);
    return path;
}

QByteArray TestFolder::read(const QString &name) const
{
    QFile file(filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestFolder::exists(const QString &name) const
{
    return QFileInfo::exists(filePath(name));
}

QString TestFolder::writePicture(const QString &name, int width, int height, const char *format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString path = filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    image.save(path, format);
    return path;
}
