#pragma once

#include "app/windowlinks.h"
#include "core/layout.h"
#include "mainwindowcontrols.h"
#include "proportionallayout.h"
#include "thumbnailstrip.h"

#include <QMainWindow>

class Program;
class DirList;
class DriveList;
class FileList;
class ImageBox;
class PictureBox;
class ThumbnailStrip;
class QAction;
class QLabel;
class QMenu;

// The main window (`startfrm`): drive, folder and file lists, twenty thumbnail slots with their
// captions, the path label, and the menu.
class MainWindow : public QMainWindow, public ProgramWindow
{
    Q_OBJECT
public:
    static constexpr float kDesignWidth = 9480.0f; // inner area at design size, twips
    static constexpr float kDesignHeight = 6510.0f;

    explicit MainWindow(Program &program);
    ~MainWindow() override;

    // ---- handlers the program, the tests and the menu's keys reach
    void Form_Load() override;
    void Form_Unload() override;
    void Form_Resize();
    void Form_KeyDown(int keyCode, int shift);
    void Dir1_Change();
    void File1_KeyUp(int keyCode, int shift);
    void open_MouseUp(int index, int button, int shift, int x, int y);
    void loopits_Click();

    // Renames the current file to a name the user picks in a save-as dialog.
    void renameCurrentFile();
    // Opens a folder in the lists, or a file's folder with the file selected into the next slot,
    // as the user would by hand. Empty on success, else why not, for the user.
    QString openPath(const QString &path);
    // A path given on the command line (a file manager's "Open with"): opened as openPath()
    // does, and a picture then shown as a click on its slot shows it, once the slot holds it. A
    // path refused is said in a message box too, for a user who never sees standard error; the
    // reason is returned as openPath() returns it.
    QString openGivenPath(const QString &path);

    QWidget *widget() override { return this; }
    int backgroundColor() const;

    // The inner area and a control's place in it, in twips.
    QSizeF innerSize() const;
    QRectF twipRect(const QWidget *control) const;
    // The design size of the window's inner area, in pixels.
    QSize designInnerPixels() const;

    // Tests and benchmarks: waits until every thumbnail decode asked for has arrived.
    void waitForThumbnails();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // ---- handlers of the window's own controls and menu
    void exit_Click();
    void Drive1_Change();
    void File1_MouseUp(int button, int shift, int x, int y);
    void File1_MouseDown(int button, int shift, int x, int y);
    void filename_GotFocus(int index);
    void filename_LostFocus(int index);
    void open_DragDrop(int index);
    void clear_Click();
    void reset_Click();
    void setup_Click();
    void rename_Click();
    void deleteit_Click();
    void contents_Click();
    void about_Click();
    void Picture1_Click();
    void printscreen_Click();
    void auto_Click();
    void autoloop_Click();

    void arrayInitialize();
    // Deletes the current file after the user confirmed it. True when a file was deleted.
    bool deleteCurrentFile();
    void setTwipRect(QWidget *control, const QRectF &rect);
    void createMenu();
    void connectControls();
    // Shows the file at the file list's selection in the next slot of the ring.
    void selectCurrentFile(bool fromKeyboard);
    // Starts a show of the file list from its position, once or round and round.
    void startShow(bool continuous);
    // Slot i's picture box as the layout places it at the window's size, before any fit.
    QRectF slotBox(int index) const;
    void setBackgroundColor(int paletteIndex);
    // Colours the first `count` captions: highlighted where the slot shows the current file,
    // plain where it shows another.
    void refreshCaptionHighlight(int count = ThumbnailStrip::kSlotCount);
    // A show has ended: the captions of the file it showed last light up, and this window is
    // back.
    void showEnded();
    // The show's window is gone: this one is back.
    void showLeft();
    // The lists and the slots follow a file deleted or renamed, from whichever window.
    void fileRemoved(const QString &path);
    void fileRenamed(const QString &from, const QString &to);

    Program &m_program;
    float m_tpp;
    QWidget *m_inner = nullptr;
    ProportionalLayout m_layout;
    MainWindowControls m_c;
    bool m_shown = false;
};
