#pragma once

#include <QString>

// Where the settings file lives. Beside the program while its folder (or a settings file
// already in it) can be written, as a program run from its build or a portable folder expects;
// installed system-wide, where neither can, in the user's configuration folder.
namespace settingslocation {

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

} // namespace settingslocation
