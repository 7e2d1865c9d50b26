#pragma once

#include <QString>

#include <functional>
#include <optional>

class Program;
class Services;
struct MainWindowControls;

// The delete and rename commands as the user meets them: the question or the save-as dialog, the
// file system's part, and the message when it fails. The windows keep their lists and slots in
// step with the outcome.
namespace fileoperations {

// "No file is selected!", for both commands when there is no current file.
void sayNoFileSelected(Services &services);

// Asks whether to delete `path` and deletes it on Yes, only if it is still the file the user was
// asked about. True when the file was deleted.
bool confirmAndDelete(Services &services, const QString &path);

// Asks for a new name in a save-as dialog opened on `dialogName` and renames `path` to it,
// never replacing a file. The new name, or nothing when nothing was renamed (cancelled, the
// same name, or refused with a message).
std::optional<QString> askAndRename(
    Services &services, const QString &path, const QString &dialogName);

} // namespace fileoperations

// The main window's file commands, on its lists and slots: delete and rename the current file,
// and open a folder or picture given from outside as if chosen in the lists.
class FileOperations
{
public:
    // `setCurrentFile` makes a path the current file the path label shows.
    FileOperations(Program &program, const MainWindowControls &controls,
        std::function<void(const QString &)> setCurrentFile);

    // Deletes `path` after the user confirmed it; the lists, slots and labels follow. True when
    // it was deleted.
    bool deleteFile(const QString &path);
    // Renames `oldName` to a name picked in a save-as dialog opened on `dialogName`.
    void renameFile(const QString &oldName, const QString &dialogName);
    // Opens a folder in the lists, or a file's folder with the file selected and `select` run
    // (as a click on it does). Empty on success, else why not, for the user.
    QString openPath(const QString &path, const std::function<void()> &select);

private:
    Program &m_program;
    const MainWindowControls &m_controls;
    std::function<void(const QString &)> m_setCurrentFile;
};
