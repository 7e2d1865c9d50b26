#pragma once

#include <QString>

class QWidget;
struct Picture;

// What the program asks of every window: its load and unload handlers and the widget that
// stands for it. The windows meet each other only through the small interfaces below, handed
// out by the program, never through each other's widgets.
class ProgramWindow
{
public:
    virtual ~ProgramWindow() = default;
    virtual void Form_Load() = 0;
    virtual void Form_Unload() = 0;
    virtual QWidget *widget() = 0;
};

// The main window as the slide show and the Setup dialog see it: its file list, its slots, the
// file operations on the current file, and its look.
class MainWindowLink : public ProgramWindow
{
public:
    // The folder the file list shows.
    virtual QString listedFolder() const = 0;
    virtual int listCount() const = 0;
    // The full path of entry `index` of the file list; empty outside the list.
    virtual QString listedFile(int index) const = 0;
    // The picture slot `slot` holds (an empty picture for an empty slot or another index).
    virtual Picture slotPicture(int slot) const = 0;
    // Colours the first `count` captions: highlighted where the slot shows the current file,
    // plain where it shows another.
    virtual void refreshCaptionHighlight(int count) = 0;
    // Deletes `path` after the user confirmed it; true when it was deleted.
    virtual bool deleteFile(const QString &path) = 0;
    // Renames `path` to a name picked in a save-as dialog opened on `dialogName`.
    virtual void renameFile(const QString &path, const QString &dialogName) = 0;
    virtual void setBackgroundColor(int paletteIndex) = 0;
    // The path label shows `path`, which becomes the file rename and delete act on.
    virtual void setCurrentFile(const QString &path) = 0;
};

// The slide-show window as the other windows drive it.
class SlideShowLink : public ProgramWindow
{
public:
    virtual void setInterval(int milliseconds) = 0;
    virtual void setBackgroundColor(int paletteIndex) = 0;
    virtual void setFileNameVisible(bool visible) = 0;
    // The file the show names (and acts on); empty: none.
    virtual void setFileName(const QString &path) = 0;
    virtual void clearPicture() = 0;
    // Opens the show on a thumbnail's picture, held.
    virtual void openHeld(const QString &path, const Picture &picture) = 0;
    // Opens a show of the file list at the current position, running.
    virtual void openRunning(const QString &path) = 0;
};

// The Setup dialog as start-up fills it.
class SetupLink : public ProgramWindow
{
public:
    virtual void setIntervalText(const QString &text) = 0;
    virtual void setSwatchColor(int paletteIndex) = 0;
};
