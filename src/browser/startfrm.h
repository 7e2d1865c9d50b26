#pragma once

#include "core/layout.h"
#include "pictures/picture.h"

#include <QMainWindow>

#include <array>
#include <vector>

class Program;
class CaptionBox;
class ClickLabel;
class DirList;
class DriveList;
class FileList;
class ImageBox;
class PictureBox;
class AsyncPictureLoader;
class QAction;
class QTimer;
class QLabel;

// The main window: drive, folder and file lists, twenty thumbnail slots with their captions, the
// path label, and the menu.
class startfrm : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr float kDesignWidth = 9480.0f; // inner area at design size, twips
    static constexpr float kDesignHeight = 6510.0f;

    explicit startfrm(Program &program);
    ~startfrm() override;

    // ---- handlers
    void Form_Load();
    void Form_Unload();
    void Form_Resize();
    void Form_KeyDown(int keyCode, int shift);
    void exit_Click();
    void Drive1_Change();
    void Dir1_Change();
    void File1_MouseUp(int button, int shift, int x, int y);
    void File1_MouseDown(int button, int shift, int x, int y);
    void File1_KeyUp(int keyCode, int shift);
    void filename_GotFocus(int index);
    void filename_LostFocus(int index);
    void open_MouseUp(int index, int button, int shift, int x, int y);
    void open_DragDrop(int index);
    void clear_Click();
    void reset_Click();
    void setup_Click();
    void loopits_Click();
    void rename_Click();
    void deleteit_Click();
    void contents_Click();
    void about_Click();
    void Picture1_Click();
    void printscreen_Click();
    void auto_Click();
    void autoloop_Click();

    // ---- procedures
    void arrayInitialize();
    // Colours the first `count` captions: yellow where the caption shows the current file (the
    // path label), white where it shows another; an empty caption equal to an empty label keeps
    // its colour.
    void refreshCaptionHighlight(int count = 20);
    // The start-up error path: the default record, written over whatever the file held.
    void writeDefaultSettings();
    // Deletes the file the path label names, after the user confirmed it. True when a file was
    // deleted.
    bool deleteCurrentFile();
    // Renames the file the path label names to a name the user picks in a save-as dialog opened
    // on `dialogName` (the path label when empty). A name that is taken is never overwritten.
    void renameCurrentFile(const QString &dialogName = QString());
    // Sizes and centres slot i for a picture of the loader's size, using fitDivisor.
    void fitSlot(int index);

    // The hot-key list that a click on Picture1 shows.
    static QString hotKeyList();

    // The divisor of the last fit, from the loader's picture and the reference box.
    double fitDivisor = 0.0;

    // Tests and benchmarks: waits until every thumbnail decode asked for has arrived.
    void waitForThumbnails();

    // ---- controls
    DriveList *Drive1 = nullptr;
    DirList *Dir1 = nullptr;
    FileList *File1 = nullptr;
    QLabel *Label1 = nullptr;
    std::array<ImageBox *, 20> open {};
    std::array<CaptionBox *, 20> filename {};
    PictureBox *Picture1 = nullptr;
    PictureBox *Picture2 = nullptr;
    ImageBox *Image1 = nullptr;

    QAction *setup = nullptr;
    QAction *loopits = nullptr;
    QAction *autoAction = nullptr; // "auto" is a keyword
    QAction *autoloop = nullptr;
    QAction *reset = nullptr;
    QAction *clear = nullptr;
    QAction *printscreen = nullptr;
    QAction *rename = nullptr;
    QAction *deleteit = nullptr;
    QAction *contents = nullptr;
    QAction *about = nullptr;
    QAction *exit = nullptr;

    // The inner area and a control's place in it, in twips.
    QSizeF innerSize() const;
    QRectF twipRect(const QWidget *control) const;
    void setTwipRect(QWidget *control, const QRectF &rect);
    void setBackgroundColor(int paletteIndex);
    int backgroundColor() const;

    // The design size of the window's inner area, in pixels.
    QSize designInnerPixels() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Control {
        layout::ControlKind kind;
        QWidget *widget; // null for controls without a place (menu items)
    };

    void createControls();
    // Shows the file at the path label in the next slot of the ring.
    void selectCurrentFile(bool fromKeyboard);
    // Starts a show of the file list from listPosition, once or round and round.
    void startShow(int continuous);
    // Asks for slot i's picture at the slot's current resolution, away from this thread.
    void requestThumbnail(int index);
    // Forgets the decode still on its way for slot i, if any.
    void cancelThumbnail(int index);
    void thumbnailDecoded(int ticket, const pictures::LoadResult &result);
    // After a resize: slots shown larger than the picture they hold are decoded again.
    void sharpenThumbnails();
    void createMenu();
    QAction *addMenuItem(class QMenu *menu, const QString &caption);
    void placeAtDesign(QWidget *control, float left, float top, float width, float height);

    Program &m_program;
    float m_tpp;
    QWidget *m_inner = nullptr;
    std::vector<Control> m_controls;
    std::vector<layout::ControlProportion> m_proportionTable;
    bool m_shown = false;
    AsyncPictureLoader *m_decoder = nullptr;
    std::array<int, 20> m_thumbnailTicket {};
    QTimer *m_sharpenTimer = nullptr;
    // The key press the window has seen, while it is still being delivered.
    const QEvent *m_previewedKey = nullptr;
    int m_keyDepth = 0;
};
