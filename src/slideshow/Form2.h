#pragma once

#include <QWidget>

class Program;
class ClickLabel;
class ImageBox;
class QTimer;
class AsyncPictureLoader;
struct Picture;
namespace pictures {
struct LoadResult;
}

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

    // Centres Image1 on the screen, Top first, from the control's current size.
    void centreImage();
    void setBackgroundColor(int paletteIndex);
    int backgroundColor() const;
    // Label3's colour carries the run/hold state: 15 running, 14 held.
    void setLabelColor(int paletteIndex);
    int labelColor() const;
    void setLabelText(const QString &text);
    // Image1 takes a picture; one held at less than its own resolution is decoded again in full,
    // away from this thread, so what is shown is sharp.
    void showPicture(const Picture &picture);

    QRectF twipRect(const QWidget *control) const;
    void setTwipRect(QWidget *control, const QRectF &rect);

    ImageBox *Image1 = nullptr;
    ClickLabel *Label3 = nullptr;
    QTimer *Timer1 = nullptr;
    qint16 showEndPending = 0;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void sharpPictureDecoded(int ticket, const pictures::LoadResult &result);

    Program &m_program;
    AsyncPictureLoader *m_decoder = nullptr;
    int m_sharpTicket = 0;
    float m_tpp;
};
