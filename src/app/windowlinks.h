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

// The main window as the slide show sees it: the pictures its slots hold and the highlight of
// their captions. Everything else the windows share is in the program's models.
class MainWindowLink : public ProgramWindow
{
public:
    // The picture slot `slot` holds (an empty picture for an empty slot or another index).
    virtual Picture slotPicture(int slot) const = 0;
    // Colours the first `count` captions: highlighted where the slot shows the current file,
    // plain where it shows another.
    virtual void refreshCaptionHighlight(int count) = 0;
};

// The slide-show window as the main window opens it.
class SlideShowLink : public ProgramWindow
{
public:
    // Opens the show on a thumbnail's picture, held.
    virtual void openHeld(const QString &path, const Picture &picture) = 0;
    // Opens a show of the file list on `path`, running.
    virtual void openRunning(const QString &path) = 0;
};
