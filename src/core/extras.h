#pragma once

#include <QByteArray>
#include <QString>

// What users of today's viewers expect beyond the program's own behaviour, each switched on by
// its own key in a file of its own beside the settings file (the settings file keeps its
// one-record format, which other readers rely on). Every extra is off unless the file says on.
struct Extras
{
    // The file list also shows .jpeg and .jpe JPEGs and PNG, WebP and TIFF pictures.
    bool moreFileTypes = false;
    // A picture larger than the screen opens fitted to it; End fits, Home gives its own size.
    bool fitLargePictures = false;
    // Esc ends the slide show as a click does.
    bool escEndsShow = false;
    // Delete moves the file to the desktop's trash.
    bool deleteToTrash = false;

    bool operator==(const Extras &) const = default;
};

namespace extras {

// The extras file's name, in the folder of the settings file.
inline constexpr char kFileName[] = "querndal-extras.ini";

// The extras file beside the settings file `settingsPath`.
QString pathBeside(const QString &settingsPath);

// The file as the program first writes it: every key present, off, and said what it does.
QByteArray defaultText();

// The extras `text` (the file's content) switches on: a key is on for "true", "on", "yes" or
// "1" in any letter case, off for anything else or when missing.
Extras parse(const QByteArray &text);

// The extras of the file at `path`. Where there is no file at all, the first start, it is
// written as defaultText() through the settings file's safe write; a file that cannot be read
// or written leaves every extra off, without a word: the program is then as it always was.
Extras readOrCreate(const QString &path);

} // namespace extras
