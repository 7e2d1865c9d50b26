#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A temporary folder for a test: files written by name, settings file helpers.
class TestFolder
{
public:
    TestFolder();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const;
    // Creates a file (and its folders) holding `bytes`; returns its path.
    QString write(const QString &name, const QByteArray &bytes = QByteArray());
    QString makeFolder(const QString &name);
    QByteArray read(const QString &name) const;
    bool exists(const QString &name) const;
    // Writes a small picture of `size` pixels in `format` ("BMP", "JPG", "GIF").
    QString writePicture(const QString &name, int width, int height, const char *format = "BMP");

private:
    QTemporaryDir m_dir;
};
