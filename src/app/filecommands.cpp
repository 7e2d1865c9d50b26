#include "filecommands.h"

#include "platform/fileops.h"
#include "platform/services.h"
#include "program.h"
#include "system/bounded.h"
#include "system/names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace filecommands {

namespace {
    // A file on a mount whose server is gone is never answered for; the window does not wait
    // for it longer than this.
    constexpr std::chrono::milliseconds kAnswerLimit { 3000 };

    // Why nothing is known of the outcome: either nothing was tried, or the change was asked
    // for and may still be made once the file system answers.
    QString noAnswer(bool tried = true)
    {
        return tried ? QStringLiteral("The file system did not answer in time; the change may "
                                      "still happen when it does.")
                     : QStringLiteral("The file system did not answer in time; nothing was "
                                      "changed.");
    }
} // namespace

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
        // Qt's trash takes names as text: a name that is no text would name another file there.
        if (systemfiles::encodeName(path) != QFile::encodeName(path)) {
            return std::nullopt;
        }
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
    const std::optional<std::optional<fileops::Identity>> asked
        = systemfiles::callWithin<std::optional<fileops::Identity>>(
            kAnswerLimit, QString(), [path] { return fileops::identify(path); });
    // A name that is no text is shown with replacement characters, and acted on by its bytes.
    const QString shown = systemfiles::displayName(path);
    const QString question = toTrash
        ? QStringLiteral("Do you really want to move this file, %1, to the trash?").arg(shown)
        : QStringLiteral("Do you really want to delete this file, ") + shown
            + QStringLiteral(", permanently?");
    if (services.messageBox(
            question, Services::Buttons::YesNo, Services::Icon::Question, Program::appTitle)
        == Services::Answer::No) {
        return false;
    }
    QString failure;
    std::optional<fileops::Identity> confirmed;
    if (!asked) {
        failure = noAnswer(false);
    } else if (!*asked) {
        failure = QStringLiteral("It is not a plain file, or no longer exists.");
    } else {
        confirmed = **asked;
    }
    bool permanently = !toTrash;
    if (confirmed && toTrash) {
        const fileops::Identity identity = *confirmed;
        const std::optional<std::optional<QString>> trashed
            = systemfiles::callWithin<std::optional<QString>>(kAnswerLimit, QString(),
                [path, identity] { return moveToTrash(path, identity); });
        if (!trashed) {
            failure = noAnswer();
        } else if (*trashed) {
            failure = **trashed;
        } else {
            // Another file system without a trash of its own, say: the user decides again.
            permanently = services.messageBox(
                              QStringLiteral("The file %1 cannot be moved to the trash. Do you "
                                             "want to delete it permanently?")
                                  .arg(shown),
                              Services::Buttons::YesNo, Services::Icon::Question, Program::appTitle)
                == Services::Answer::Yes;
            if (!permanently) {
                return false;
            }
        }
    }
    if (confirmed && permanently) {
        const fileops::Identity identity = *confirmed;
        failure = systemfiles::callWithin<QString>(kAnswerLimit, QString(), [path, identity] {
            return fileops::remove(path, identity);
        }).value_or(noAnswer());
    }
    if (failure.isEmpty()) {
        return true;
    }
    services.messageBox(QStringLiteral("The file %1 could not be deleted. %2").arg(shown, failure),
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
    const QString failure
        = systemfiles::callWithin<QString>(kAnswerLimit, QString(), [path, newName] {
              return fileops::rename(path, newName);
          }).value_or(noAnswer());
    if (!failure.isEmpty()) {
        services.messageBox(
            QStringLiteral("The file %1 could not be renamed to %2. %3")
                .arg(systemfiles::displayName(path), systemfiles::displayName(newName), failure),
            Services::Buttons::Ok, Services::Icon::Exclamation, Program::appTitle);
        return std::nullopt;
    }
    return newName;
}

} // namespace filecommands
