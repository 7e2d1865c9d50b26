#include "fileoperations.h"

#include "app/program.h"
#include "mainwindowcontrols.h"
#include "platform/controls.h"
#include "platform/fileops.h"
#include "platform/services.h"
#include "thumbnailstrip.h"

#include <QDir>
#include <QFileInfo>

namespace fileoperations {

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
    const QString question = QStringLiteral("Do you really want to delete this file, ") + path
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

} // namespace fileoperations

using namespace fileoperations;

FileOperations::FileOperations(Program &program, const MainWindowControls &controls,
    std::function<void(const QString &)> setCurrentFile)
    : m_program(program)
    , m_controls(controls)
    , m_setCurrentFile(std::move(setCurrentFile))
{
}

bool FileOperations::deleteFile(const QString &path)
{
    Program &p = m_program;
    Services &services = p.services();
    if (path.isEmpty()) {
        sayNoFileSelected(services);
        return false;
    }
    if (!confirmAndDelete(services, path)) {
        return false;
    }
    p.slideShow()->clearPicture();
    m_controls.fileList->setPath(m_controls.folderList->path());
    m_controls.fileList->refresh();
    for (const int slot : p.slotRing().slotsShowing(path, services.fileNameCase())) {
        m_controls.strip->empty(slot);
        p.slotRing().setFile(slot, QString());
    }
    m_setCurrentFile(QString());
    p.slideShow()->setFileName(QString());
    return true;
}

void FileOperations::renameFile(const QString &oldName, const QString &dialogName)
{
    Program &p = m_program;
    Services &services = p.services();
    if (oldName.isEmpty()) {
        sayNoFileSelected(services);
        return;
    }
    const std::optional<QString> newName = askAndRename(services, oldName, dialogName);
    if (!newName) {
        return;
    }
    m_controls.fileList->refresh();
    for (const int slot : p.slotRing().slotsShowing(oldName, services.fileNameCase())) {
        p.slotRing().setFile(slot, *newName);
        m_controls.strip->rename(slot, *newName);
    }
    m_setCurrentFile(*newName);
    p.slideShow()->setFileName(*newName);
}

QString FileOperations::openPath(const QString &path, const std::function<void()> &select)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return QStringLiteral("%1: no such file or folder").arg(path);
    }
    if (!info.isDir() && !info.isFile()) {
        return QStringLiteral("%1: not a folder or a file").arg(path);
    }
    // As if the folder had been chosen in the lists.
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    m_controls.driveList->setDrive(folder);
    if (!m_controls.folderList->setPath(folder)) {
        return QStringLiteral("%1: the folder cannot be listed").arg(folder);
    }
    if (info.isDir()) {
        return QString();
    }
    // A file goes into the next slot as a click on it in the file list would put it.
    for (int row = 0; row < m_controls.fileList->listCount(); ++row) {
        if (m_controls.fileList->list(row) == info.fileName()) {
            m_controls.fileList->setCurrentRow(row);
            select();
            return QString();
        }
    }
    return QStringLiteral("%1: not a picture the viewer shows (BMP, GIF, JPEG, WMF)").arg(path);
}
