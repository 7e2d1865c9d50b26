#pragma once

#include "app/windowlinks.h"
#include "pictures/picture.h"

#include <QDateTime>
#include <QWidget>

#include <chrono>

class AsyncPictureLoader;
class ClickLabel;
class ImageBox;
class Program;
class QTimer;

// The slide-show window (`Form2`): one picture at a time, centred on the whole screen over a
// plain background, with its path at the top left. A view and a key map over the program's
// slide show, which paces it and says what to show.
class SlideShowWindow : public QWidget, public ProgramWindow
{
    Q_OBJECT
public:
    explicit SlideShowWindow(Program &program);
    ~SlideShowWindow() override;

    // ---- handlers
    void Form_Load() override;
    void Form_Unload() override;
    void Form_Click();
    void Form_MouseUp(int button, int shift, int x, int y);
    void Form_KeyDown(int keyCode, int shift);
    void Image1_Click();
    void Label3_Click();
    void Timer1_Timer();
    // One step of the show: the entry at the list position, then the position moves on.
    void displayit();

    QWidget *widget() override { return this; }

    int backgroundColor() const;
    // The file-name label's colour shows whether the show runs: 15 running, 14 held.
    int labelColor() const;
    // The file the show names and acts on.
    const QString &shownFile() const { return m_shownFile; }

    // A control's place in twips.
    QRectF twipRect(const QWidget *control) const;
    // Centres the picture on the screen, Top first, from the control's current size.
    void centreImage();
    // Shows the picture of `path` (read ahead when it was), as a show's first picture does.
    void showFile(const QString &path);
    // Switches reading the next entry ahead on or off (benchmarks compare the two).
    void setReadAheadEnabled(bool enabled) { m_readAheadEnabled = enabled; }
    // Tests and benchmarks: waits for the decodes asked for (read-ahead, sharpening).
    void waitForDecodes();
    // Whether the picture of the file on show is still on its way (benchmarks wait for it).
    bool pictureOnItsWay() const { return m_shownTicket != 0; }
    // Whether a decode asked for has not landed yet.
    bool decoding() const;
    // Whether the frame on screen shows all the view is meant to show (tests, benchmarks).
    bool viewCovered() const;
    // How long the picture named on show may take to arrive before it counts as one that
    // cannot be read (a file on a mount whose server is gone never arrives).
    void setPictureLimit(std::chrono::milliseconds limit);
    // The path whose picture is being read ahead, empty when none.
    QString readAheadPath() const { return m_ahead.path; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    struct ReadAhead
    {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        int ticket = 0;
        bool ready = false;
        Picture picture;
        // For a picture larger than the screen: its whole, reduced, asked for once the part has
        // landed, so that a zoom-out right after the step finds it.
        int overviewTicket = 0;
        Picture overview;
    };

    // The show opened on a thumbnail (held), or on the file list (running).
    void openHeld(const QString &path, const Picture &picture);
    void openRunning(const QString &path);
    void setBackgroundColor(int paletteIndex);
    void setFileNameVisible(bool visible);
    void setFileName(const QString &path);
    // The label's colour follows the show's mark: white running, yellow held.
    void paintRunning(bool running);
    // A step of the show: the label, the picture, the path label, then the next read ahead.
    void showStep(const QString &path);
    // The file on show was deleted or renamed, from either window.
    void fileRemoved();
    void fileRenamed(const QString &from, const QString &to);
    // `overview`, or the decode `overviewTicket` brings, is the whole of `picture` reduced.
    void showPicture(
        const Picture &picture, const Picture &overview = Picture(), int overviewTicket = 0);
    // With large pictures fitted: the picture just put on show opens fitted to the screen when
    // larger than it, else at its own size once a fitted one is gone. Not centred here.
    void fitNewPicture();
    // Shows the picture on show at `size` twips, stretched (a fit, not the user's zoom).
    void showFitted(const QSizeF &size);
    // Keeps the frame on the screen as it is (no repaint) until released, or lets it go.
    void holdFrame(bool hold);
    // Cancels the sharper and the whole-picture decodes asked for the picture on show.
    void dropShownPictureDecodes();
    // The thumbnail view: a slot's file and the picture it holds (no file read), centred under
    // the busy pointer.
    void showSlotPicture(const QString &path, const Picture &picture);
    // The show has ended: the captions, the main window back, this window gone.
    void endShow();
    // Whether what was read ahead is still the file at `path`.
    bool aheadIsFile(const QString &path) const;
    void readAhead();
    void dropReadAhead();
    void decoded(int ticket, const pictures::LoadResult &result);
    // The picture named on show did not arrive in time: shown as one that cannot be read.
    void shownPictureLate();
    void sharpPictureDecoded(int ticket, const pictures::LoadResult &result);
    // The screen in pixels: what a picture at its own size can show at most.
    QSize viewportPixels() const;
    QSize devicePixels(const QSize &logical) const;
    // A zoom that shows more of a picture than is held shows the whole one at a reduced
    // resolution at once, until the sharp one arrives.
    void coverShownPart();
    // What a step asks for `path`: the part a screen shows at its own size, or, zoomed, the
    // whole picture reduced to the box.
    pictures::DecodeRequest shownRequest(const QString &path) const;
    // The whole-picture stand-in for zoom-outs: kept from any whole picture of the file on
    // show, asked for (reduced to the screen) while only a smaller one is kept.
    void keepAsOverview(const Picture &picture);
    void askForOverview();
    void overviewDecoded(const pictures::LoadResult &result);
    // The size a reduced decode of the picture on show reaches, device pixels.
    QSize overviewSize() const;
    bool overviewIsInterim() const;
    // The part of the picture (natural pixels) that is on the screen now.
    QRect visibleRegion() const;
    // Whether `picture` (of the file on show) holds all of that part.
    bool holdsShownPart(const Picture &picture) const;
    // Asks for a sharper decode when the shown part is not held at the resolution it is shown at.
    void sharpen();
    void setTwipRect(QWidget *control, const QRectF &rect);

    Program &m_program;
    float m_tpp;
    ImageBox *m_picture = nullptr;
    ClickLabel *m_fileNameLabel = nullptr;
    QString m_shownFile;
    AsyncPictureLoader *m_decoder = nullptr;
    // The decode of the file named on show, when it was not ready as the step came: its picture
    // takes the screen when it lands.
    int m_shownTicket = 0;
    QTimer *m_shownDeadline = nullptr;
    int m_sharpTicket = 0;
    // The whole picture at screen size, for a picture held only in part.
    Picture m_overview;
    int m_overviewTicket = 0;
    // Running while the window keeps its frame before (no repaint) for a zoom-out whose whole
    // picture is on its way.
    QTimer *m_frameHold = nullptr;
    ReadAhead m_ahead;
    bool m_readAheadEnabled = true;
    bool m_pressed = false;
    // The picture is stretched by the fit, not by Page Up or Page Down.
    bool m_fitted = false;
};
