#include "filecommands.h"

#include "platform/fileops.h"
#include "platform/services.h"
#include "program.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace filecommands {

void sayNoFileSelected(Services &services)
{
    services.messageBox(QStringLiteral("No file is selected!"), Services::Buttons::Ok,
        Services::Icon::Exclamation, Program::appTitle);
}

namespace {

    // Moves `path` to the desktop's trash if it is still the file `confirmed`. Empty on success;
    // nothing when no trash took it (the file is where it was), else why it was not moved.
    std::optional<QString> moveToTrash(const QString &path, const fileops::Identity &confirmed)
    {
        const std::optional<fileops::Identity> now = fileops::identify(path);
        if (!now) {
            return QStringLiteral("It is not a plain file, or no longer exists.");
        }
        if (*now != confirmed) {
            return QStringLiteral("It was changed or replaced while you were asked; nothing was "
                                  "deleted.");
        }
        // Qt takes the trash in the user's data folder where the file's own volume has none;
        // where that one cannot be made either, Qt 6.4 moves the file into the working folder
        // instead. So it is made sure of first, and a file that still lands anywhere but in a
        // trash goes back.
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        const QString home = data + QStringLiteral("/Trash");
        if (data.isEmpty()
            || !(QFileInfo(home).isDir() || QDir(data).mkdir(QStringLiteral("Trash")))
            || !QFileInfo(home).isDir()) {
            return std::nullopt;
        }
        QString inTrash;
        if (!QFile::moveToTrash(path, &inTrash)) {
            return std::nullopt;
        }
        if (QDir::isAbsolutePath(inTrash) && inTrash.contains(QStringLiteral("/files/"))) {
            return QString();
        }
        QFile::rename(inTrash, path);
        return std::nullopt;
    }

} // namespace

bool confirmAndDelete(Services &services, const QString &path, bool toTrash)
{
    // The file as it is when the user is asked: only this file goes, not one put in its place
    // while the box is open.
    const std::optional<fileops::Identity> asked = fileops::identify(path);
    const QString question = toTrash
        ? QStringLiteral("Do you really want to move this file, %1, to the trash?").arg(path)
        : QStringLiteral("Do you really want to delete this file, ") + path
            + QStringLiteral(", permanently?");
    if (services.messageBox(
            question, Services::Buttons::YesNo, Services::Icon::Question, Program::appTitle)
        == Services::Answer::No) {
        return false;
    }
    QString failure
        = asked ? QString() : QStringLiteral("It is not a plain file, or no longer exists.");
    bool permanently = !toTrash;
    if (asked && toTrash) {
        const std::optional<QString> trashed = moveToTrash(path, *asked);
        if (trashed) {
            failure = *trashed;
        } else {
            // Another file system without a trash of its own, say: the user decides again.
            permanently = services.messageBox(
                              QStringLiteral("The file %1 cannot be moved to the trash. Do you "
                                             "want to delete it permanently?")
                                  .arg(path),
                              Services::Buttons::YesNo, Services::Icon::Question, Program::appTitle)
                == Services::Answer::Yes;
            if (!permanently) {
                return false;
            }
        }
    }
    if (asked && permanently) {
        failure = fileops::remove(path, *asked);
    }
    if (failure.isEmpty()) {
        return true;
    }
    services.messageBox(QStringLiteral("The file %1 could not be deleted. %2").arg(path, failure),
        Services::Buttons::Ok, Services::Icon::Exclamation, Program::appTitle);
    return false;
}

std::optional<QString> askAndRename(
    Services &services, const QString &path, const QString &dialogName)
{
    const std::optional<QString> chosen = services.saveAs(dialogName.isEmpty() ? path : dialogName);
    // Cancelled, or the same name picked again: nothing to do, and nothing visible changes.
    if (!chosen || QDir::cleanPath(*chosen) == QDir::cleanPath(path)) {
        return std::nullopt;
    }
    const QString newName = QDir::toNativeSeparators(QDir::cleanPath(*chosen));
    // A refused rename leaves everything on the old name and says why.
    const QString failure = fileops::rename(path, newName);
    if (!failure.isEmpty()) {
        services.messageBox(QStringLiteral("The file %1 could not be renamed to %2. %3")
                                .arg(path, newName, failure),
            Services::Buttons::Ok, Services::Icon::Exclamation, Program::appTitle);
        return std::nullopt;
    }
    return newName;
}

} // namespace filecommands
