#pragma once

#include "app/windowlinks.h"
#include "pictures/picture.h"

#include <QDateTime>
#include <QWidget>

class AsyncPictureLoader;
class ClickLabel;
class ImageBox;
class Program;
class QTimer;

// The slide-show window (`Form2`): one picture at a time, centred on the whole screen over a
// plain background, with its path at the top left.
class SlideShowWindow : public QWidget, public SlideShowLink
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

    // ---- what the other windows ask of this one
    QWidget *widget() override { return this; }
    void setInterval(int milliseconds) override;
    void setBackgroundColor(int paletteIndex) override;
    void setFileNameVisible(bool visible) override;
    void setFileName(const QString &path) override;
    void clearPicture() override;
    void openHeld(const QString &path, const Picture &picture) override;
    void openRunning(const QString &path) override;

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
    };

    // Holds a running show for as long as it lives, then lets it run again.
    class Hold
    {
    public:
        explicit Hold(SlideShowWindow &show);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        SlideShowWindow &m_show;
        bool m_wasRunning;
    };

    // Runs or holds the show: the timer and the label's colour together.
    void setRunning(bool running);
    // The run/hold state and the label's colour, leaving the timer as it is.
    void markRunning(bool running);
    void startTimer1();
    // The position of `path` in the main window's file list, or -1.
    int listIndexOf(const QString &path) const;
    void showPicture(const Picture &picture);
    // Cancels the sharper and the whole-picture decodes asked for the picture on show.
    void dropShownPictureDecodes();
    // The thumbnail view: a slot's file and the picture it holds (no file read), centred under
    // the busy pointer.
    void showSlotPicture(const QString &path, const Picture &picture);
    void endShow();
    // The picture of `path`: the one read ahead when it is still that file, else read now.
    Picture pictureFor(const QString &path);
    void readAhead();
    void dropReadAhead();
    void decoded(int ticket, const pictures::LoadResult &result);
    void sharpPictureDecoded(int ticket, const pictures::LoadResult &result);
    // The screen in pixels: what a picture at its own size can show at most.
    QSize viewportPixels() const;
    QSize devicePixels(const QSize &logical) const;
    // A zoom that shows more of a picture than is held shows the whole one at a reduced
    // resolution at once, until the sharp one arrives.
    void coverShownPart();
    // The part of the picture (natural pixels) that is on the screen now.
    QRect visibleRegion() const;
    // Asks for a sharper decode when the shown part is not held at the resolution it is shown at.
    void sharpen();
    void setTwipRect(QWidget *control, const QRectF &rect);

    Program &m_program;
    float m_tpp;
    ImageBox *m_picture = nullptr;
    ClickLabel *m_fileNameLabel = nullptr;
    QTimer *m_timer = nullptr;
    QString m_shownFile;
    AsyncPictureLoader *m_decoder = nullptr;
    int m_sharpTicket = 0;
    // The whole picture at screen size, for a picture held only in part.
    Picture m_overview;
    int m_overviewTicket = 0;
    ReadAhead m_ahead;
    bool m_readAheadEnabled = true;
    bool m_pressed = false;
};
