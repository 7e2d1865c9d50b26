#include "filecommands.h"

#include "platform/fileops.h"
#include "platform/services.h"
#include "program.h"
#include "system/names.h"

#include <QDir>

namespace filecommands {

void sayNoFileSelected(Services &services)
{
    services.messageBox(QStringLiteral("No file is selected!"), Services::Buttons::Ok,
        Services::Icon::Exclamation, Program::appTitle);
}

bool confirmAndDelete(Services &services, const QString &path)
{
    // The file as it is when the user is asked: only this file goes, not one put in its place
    // while the box is open.
    const std::optional<fileops::Identity> asked = fileops::identify(path);
    // A name that is no text is shown with replacement characters, and acted on by its bytes.
    const QString shown = systemfiles::displayName(path);
    const QString question = QStringLiteral("Do you really want to delete this file, ") + shown
        + QStringLiteral(", permanently?");
    if (services.messageBox(
            question, Services::Buttons::YesNo, Services::Icon::Question, Program::appTitle)
        == Services::Answer::No) {
        return false;
    }
    const QString failure = asked ? fileops::remove(path, *asked)
                                  : QStringLiteral("It is not a plain file, or no longer exists.");
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
    const QString failure = fileops::rename(path, newName);
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
