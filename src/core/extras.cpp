#include "extras.h"

#include "system/files.h"

#include <QFileInfo>
#include <QList>

namespace extras {

namespace {

    // Qt's INI reader and this one agree on the file: one section, `key=value` lines, `;` comments.
    constexpr char kSection[] = "[Extras]";

    bool isOn(const QByteArray &value)
    {
        const QByteArray v = value.trimmed().toLower();
        return v == "true" || v == "on" || v == "yes" || v == "1";
    }

} // namespace

QString pathBeside(const QString &settingsPath)
{
    return QFileInfo(settingsPath).path() + QLatin1Char('/') + QLatin1String(kFileName);
}

QByteArray defaultText()
{
    return QByteArrayLiteral(
        "; Extras of the picture viewer, each off unless set to true. With every key false the\n"
        "; viewer behaves as its help file describes; the settings file beside this one is not\n"
        "; touched by any of them.\n"
        "[Extras]\n"
        "; The file list also shows .jpeg and .jpe JPEGs and PNG, WebP and TIFF pictures.\n"
        "MoreFileTypes=false\n"
        "; A picture larger than the screen opens fitted to it in the slide show; End fits it,\n"
        "; Home shows it at its own size.\n"
        "FitLargePictures=false\n"
        "; Esc ends the slide show as a click does.\n"
        "EscEndsShow=false\n"
        "; Delete moves the file to the desktop's trash; where no trash can take it, you are "
        "asked\n"
        "; whether to delete it for good.\n"
        "DeleteToTrash=false\n");
}

Extras parse(const QByteArray &text)
{
    Extras result;
    bool inSection = false;
    for (const QByteArray &raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#')) {
            continue;
        }
        if (line.startsWith('[')) {
            inSection = line == kSection;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inSection || equals < 0) {
            continue;
        }
        const QByteArray key = line.left(equals).trimmed();
        const bool on = isOn(line.mid(equals + 1));
        if (key == "MoreFileTypes") {
            result.moreFileTypes = on;
        } else if (key == "FitLargePictures") {
            result.fitLargePictures = on;
        } else if (key == "EscEndsShow") {
            result.escEndsShow = on;
        } else if (key == "DeleteToTrash") {
            result.deleteToTrash = on;
        }
    }
    return result;
}

Extras readOrCreate(const QString &path)
{
    // A few keys and their comments; anything longer is no file this program wrote.
    constexpr qint64 kMaxFileSize = 64 * 1024;
    QByteArray bytes;
    if (systemfiles::readRegular(path, kMaxFileSize, &bytes)) {
        return parse(bytes);
    }
    // Only a name with nothing behind it is made; a dangling link is left to its owner.
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        systemfiles::writeRegular(path, defaultText());
    }
    return Extras {};
}

} // namespace extras
