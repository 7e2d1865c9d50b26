#pragma once

#include <QString>

#include <functional>
#include <vector>

class DirList;
class DriveList;
class FileList;
class ImageBox;
class PictureBox;
class ProportionalLayout;
class QAction;
class QLabel;
class QMainWindow;
class QWidget;
class ThumbnailStrip;

// The main window's controls, each made at its place at the design size and counted, in the
// window's order, in its proportional layout.
struct MainWindowControls
{
    // Makes them inside the window's inner area `inner`.
    MainWindowControls(QWidget *inner, ProportionalLayout &layout, float twipsPerPixel);

    PictureBox *hotKeyPicture = nullptr; // Picture1: a click shows the hot-key list
    PictureBox *loader = nullptr; // Picture2: the hidden picture loader
    DriveList *driveList = nullptr; // Drive1
    DirList *folderList = nullptr; // Dir1
    ImageBox *referenceBox = nullptr; // Image1: the hidden box the fit measures against
    FileList *fileList = nullptr; // File1
    ThumbnailStrip *strip = nullptr; // open(0..19) and filename(0..19)
    QLabel *pathLabel = nullptr; // Label1: the current file
};

// Shows `path` in the path label `label`, and names it so for assistive technology.
void setPathLabel(QLabel *label, const QString &path);

// One item of the main window's menu: the design's name, the caption as stored, its place, and
// what choosing it runs.
struct MenuItem
{
    enum class Place { Bar, Help, Separator, Hidden };
    const char *name;
    const char *caption;
    Place place;
    std::function<void()> handler;
};

// Builds the menu bar from `items` in order, each item (the "&Help" menu, its separator and the
// hidden items included) counted as a control in `layout`. Hidden items stay off the menu bar:
// the bar would give their mnemonics too, and items sharing one take turns at each press.
void buildMenu(QMainWindow &window, const std::vector<MenuItem> &items, ProportionalLayout &layout);
