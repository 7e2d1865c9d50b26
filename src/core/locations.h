#pragma once

#include <QString>

// Where the program's own files live. The settings file: beside the program while its folder (or
// a settings file already in it) can be written, as a program run from its build or a portable
// folder expects; installed system-wide, where neither can, in the user's configuration folder.
// The help file: beside the program, else where an install puts it (share/querndal under the
// install prefix).
namespace locations {

// The folder name under the user's configuration folder.
inline constexpr char kConfigFolderName[] = "querndal";

// The user's configuration folder: `xdgConfigHome` when it is an absolute path (as the XDG
// base-directory rules ask), else `home`/.config.
QString configHome(const QString &xdgConfigHome, const QString &home);

// The settings file's path for a program in `programFolder` whose settings file is named
// `fileName`: beside the program when `folderWritable` or `existingFileWritable`, else
// `configHome`/querndal/`fileName`.
QString choose(const QString &programFolder, const QString &fileName, bool folderWritable,
    bool existingFileWritable, const QString &configHome);

// choose() with the facts of this system and this user: the folder and an existing file are
// probed for writing, and the configuration folder comes from the environment. When the
// configuration folder is chosen, its querndal folder is made so that the first save can
// succeed.
QString settingsPath(const QString &programFolder, const QString &fileName);

// The help file `fileName` for a program in `programFolder`: beside it when `existsBeside`, else
// `programFolder`/../share/querndal/`fileName`.
QString chooseHelpFile(const QString &programFolder, const QString &fileName, bool existsBeside);
// chooseHelpFile() with a look at the program's folder.
QString helpFilePath(const QString &programFolder, const QString &fileName);

} // namespace locations
