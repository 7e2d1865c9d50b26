#include "locations.h"

#include "system/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace locations {

QString configHome(const QString &xdgConfigHome, const QString &home)
{
    if (!xdgConfigHome.isEmpty() && QDir::isAbsolutePath(xdgConfigHome)) {
        return QDir::cleanPath(xdgConfigHome);
    }
    return QDir::cleanPath(home + QStringLiteral("/.config"));
}

QString choose(const QString &programFolder, const QString &fileName, bool folderWritable,
    bool existingFileWritable, const QString &configHome)
{
    if (folderWritable || existingFileWritable) {
        return QDir(programFolder).filePath(fileName);
    }
    return QDir(configHome)
        .filePath(QLatin1String(kConfigFolderName) + QLatin1Char('/') + fileName);
}

QString settingsPath(const QString &programFolder, const QString &fileName)
{
    const QString beside = QDir(programFolder).filePath(fileName);
    const bool fileWritable = QFileInfo(beside).isFile() && systemfiles::writable(beside);
    const QString home = configHome(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
    const QString path
        = choose(programFolder, fileName, systemfiles::writable(programFolder), fileWritable, home);
    const QString folder = QFileInfo(path).path();
    if (path != beside && !QFileInfo::exists(folder) && QDir().mkpath(folder)) {
        // A folder of the user's own settings is the user's alone, as the XDG rules ask.
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return path;
}

QString chooseHelpFile(const QString &programFolder, const QString &fileName, bool existsBeside)
{
    if (existsBeside) {
        return QDir(programFolder).filePath(fileName);
    }
    return QDir::cleanPath(programFolder + QStringLiteral("/../share/")
        + QLatin1String(kConfigFolderName) + QLatin1Char('/') + fileName);
}

QString helpFilePath(const QString &programFolder, const QString &fileName)
{
    // Where neither holds it, the path beside the program is the one the help viewer reports as
    // missing.
    const QString installed = chooseHelpFile(programFolder, fileName, false);
    const bool beside = QFileInfo(QDir(programFolder).filePath(fileName)).isFile()
        || !QFileInfo(installed).isFile();
    return chooseHelpFile(programFolder, fileName, beside);
}

} // namespace locations
