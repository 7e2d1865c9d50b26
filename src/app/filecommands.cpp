#include "filecommands.h"

#include "platform/fileops.h"
#include "platform/services.h"
#include "program.h"
#include "system/bounded.h"
#include "system/names.h"

#include <QDir>

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

bool confirmAndDelete(Services &services, const QString &path)
{
    // The file as it is when the user is asked: only this file goes, not one put in its place
    // while the box is open.
    const std::optional<std::optional<fileops::Identity>> asked
        = systemfiles::callWithin<std::optional<fileops::Identity>>(
            kAnswerLimit, QString(), [path] { return fileops::identify(path); });
    // A name that is no text is shown with replacement characters, and acted on by its bytes.
    const QString shown = systemfiles::displayName(path);
    const QString question = QStringLiteral("Do you really want to delete this file, ") + shown
        + QStringLiteral(", permanently?");
    if (services.messageBox(
            question, Services::Buttons::YesNo, Services::Icon::Question, Program::appTitle)
        == Services::Answer::No) {
        return false;
    }
    QString failure;
    if (!asked) {
        failure = noAnswer(false);
    } else if (!*asked) {
        failure = QStringLiteral("It is not a plain file, or no longer exists.");
    } else {
        const fileops::Identity confirmed = **asked;
        failure = systemfiles::callWithin<QString>(kAnswerLimit, QString(), [path, confirmed] {
            return fileops::remove(path, confirmed);
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
