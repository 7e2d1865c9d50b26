#pragma once

#include "pictures/picture.h"

#include <QDateTime>
#include <QWidget>

class Program;
class ClickLabel;
class ImageBox;
class QTimer;
class AsyncPictureLoader;


// The slide-show window: one picture at a time, centred on the whole screen over a plain
// background, with its path at the top left.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    explicit Form2(Program &program);
    ~Form2() override;

    void Form_Load();
    void Form_Unload();
    void Form_Click();
    void Form_MouseUp(int button, int shift, int x, int y);
    void Form_KeyDown(int keyCode, int shift);
    void Image1_Click();
    void Label3_Click();
    void Timer1_Timer();
    // One step of the show: the entry at listPosition, then the position moves on.
    void displayit();

    // Centres Image1 on the screen, Top first, from the control's current size.
    void centreImage();
    void setBackgroundColor(int paletteIndex);
    int backgroundColor() const;
    // Label3's colour carries the run/hold state: 15 running, 14 held.
    void setLabelColor(int paletteIndex);
    int labelColor() const;
    void setLabelText(const QString &text);
    // Image1 takes a picture. Whatever part of it the screen shows is made sharp: a picture held
    // at less resolution than shown, or only in part, is decoded again away from this thread.
    void showPicture(const Picture &picture);
    // Switches reading the next entry ahead on or off (benchmarks compare the two).
    void setReadAheadEnabled(bool enabled) { m_readAheadEnabled = enabled; }

    QRectF twipRect(const QWidget *control) const;
    void setTwipRect(QWidget *control, const QRectF &rect);

    ImageBox *Image1 = nullptr;
    ClickLabel *Label3 = nullptr;
    QTimer *Timer1 = nullptr;
    qint16 showEndPending = 0;

    // Shows the picture of `path` (read ahead when it was), as a show's first picture does.
    void showFile(const QString &path);
    // Tests and benchmarks: waits for the decodes asked for (read-ahead, sharpening).
    void waitForDecodes();
    // The path whose picture is being read ahead, empty when none.
    QString readAheadPath() const { return m_ahead.path; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    struct ReadAhead {
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
        explicit Hold(Form2 &show);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        Form2 &m_show;
        bool m_wasRunning;
    };

    // The position of `path` in the main window's file list, or -1.
    int listIndexOf(const QString &path) const;
    void sharpPictureDecoded(int ticket, const pictures::LoadResult &result);
    void decoded(int ticket, const pictures::LoadResult &result);
    void endShow();
    void refreshCaptions(int count);
    // The picture of `path`: the one read ahead when it is still that file, else read now.
    Picture pictureFor(const QString &path);
    void readAhead();
    void dropReadAhead();
    void startTimer1();
    // The screen in pixels: what a picture at its own size can show at most.
    QSize viewportPixels() const;
    // The part of Image1's picture (natural pixels) that is on the screen now.
    QRect visibleRegion() const;
    // Asks for a sharper decode when the shown part is not held at the resolution it is shown at.
    void sharpen();
    bool m_pressed = false;

    Program &m_program;
    AsyncPictureLoader *m_decoder = nullptr;
    int m_sharpTicket = 0;
    ReadAhead m_ahead;
    bool m_readAheadEnabled = true;
    float m_tpp;
};
