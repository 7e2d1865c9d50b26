#pragma once

#include <QString>

#include <optional>

class Services;

// The delete and rename commands as the user meets them: the question or the save-as dialog, the
// file system's part, and the message when it fails. They report what happened; the program
// tells the windows that show the file.
namespace filecommands {

// "No file is selected!", for both commands when there is no current file.
void sayNoFileSelected(Services &services);

// Asks whether to delete `path` and deletes it on Yes, only if it is still the file the user was
// asked about. With `toTrash` the question says the file goes to the trash and it is moved there;
// where no trash takes it, the user is asked again whether to delete it permanently. True when
// the file is gone from its folder.
bool confirmAndDelete(Services &services, const QString &path, bool toTrash = false);

// Asks for a new name in a save-as dialog opened on `dialogName` and renames `path` to it,
// never replacing a file. The new name, or nothing when nothing was renamed (cancelled, the
// same name, or refused with a message).
std::optional<QString> askAndRename(
    Services &services, const QString &path, const QString &dialogName);

} // namespace filecommands
