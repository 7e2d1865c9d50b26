// Feeds arbitrary bytes to the settings reader: the field splitter directly, and the whole read
// through a file, as the program reads its settings at start-up.
#include "core/settings.h"
#include "core/settingsfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {
QTemporaryDir *s_dir = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;
    s_dir = &dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    SettingsFile::fields(bytes);

    const QString path = s_dir->filePath(QStringLiteral("settings.ini"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::abort();
        }
        file.write(bytes);
    }
    Settings settings;
    if (SettingsFile(path).read(settings) && !settings.lastFolder.contains(QChar(0))) {
        // Whatever folder was read must survive being written back and read again.
        const QStringList again = SettingsFile::fields(
            SettingsFile::format(settings.slideInterval, settings.savedColorIndex,
                settings.loopMode, settings.lastFolder, settings.hideFileName));
        if (again.size() != 5 || again.at(3) != settings.lastFolder) {
            std::abort();
        }
    }
    return 0;
}
