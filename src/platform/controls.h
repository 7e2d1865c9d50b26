#pragma once

#include "lists.h"
#include "pictures/picture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QWidget>

class QWindow;

// Geometry of any control in twips. The exact single-precision values are kept on the widget, so
// arithmetic that reads a control's position back gets what was set, not a rounded pixel value.
namespace controls {
QRectF twipRect(const QWidget *widget, float twipsPerPixel);
void setTwipRect(QWidget *widget, const QRectF &rect, float twipsPerPixel);
// A control named as the design names it (its object name), at its place in twips.
template<class Control>
Control *place(Control *control, const char *name, const QRectF &rect, float twipsPerPixel)
{
    control->setObjectName(QLatin1String(name));
    setTwipRect(control, rect, twipsPerPixel);
    return control;
}
// Cuts every connection from the window's controls to the window: no handler runs any more for
// a window that is going away (hiding or destroying it still moves the focus out of its fields).
void disconnectControls(QWidget *window);
// The window frame the window system puts around the program's windows, as seen on one that is
// already shown; none before any is (the frame is the same for all, title bar and borders).
QMargins windowFrame();
// The frame the window manager will put around `window` when it shows it at normal size (not
// maximised), asked before the window is shown, so that it is placed right the first time;
// windowFrame() where the window manager cannot say (no X11, none running, no answer at once).
QMargins windowFrameFor(QWidget *window);
// Keeps `box` stacked above `window` and goes along with it (as a dialog of `window` is), a
// full-screen window included, which window managers put above windows merely kept on top;
// `window` null: `box` stands on its own again. Does nothing where the window manager cannot
// be told so.
void stackAbove(QWidget *box, QWindow *window);
// Runs the program's events but the user's input until `window` is shown maximised and exposed,
// or `milliseconds` have passed; the input waits until the caller has finished.
void waitUntilMaximized(QWidget *window, int milliseconds);
} // namespace controls

class QPainter;

// An image control: paints its picture stretched to its own rectangle; with stretching off it
// takes the picture's own size.
class ImageBox : public QWidget
{
    Q_OBJECT
public:
    ImageBox(float twipsPerPixel, QWidget *parent = nullptr);

    const Picture &picture() const { return m_picture; }
    void setPicture(const Picture &picture);
    void clearPicture() { setPicture(Picture()); }
    bool stretch() const { return m_stretch; }
    void setStretch(bool stretch);
    // An empty box draws a faint outline, so the user sees where a picture will go.
    void setOutlinedWhenEmpty(bool outlined) { m_outlined = outlined; }
    // A thin black line around the box, picture or not.
    void setBordered(bool bordered) { m_bordered = bordered; }

Q_SIGNALS:
    void clicked(int button);
    void mouseUp(int button, int shift, int x, int y);
    // Something dragged from another control of the program was dropped here.
    void dropped();

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void takePictureSize();
    void paintPicture(QPainter &painter, const QRect &exposedRect);

    float m_tpp;
    Picture m_picture;
    bool m_stretch = true;
    bool m_outlined = false;
    bool m_bordered = false;
    bool m_pressed = false;
    QPixmap m_scaled;
};

// A picture box: holds a picture and sizes itself to it.
class PictureBox : public QLabel
{
    Q_OBJECT
public:
    PictureBox(float twipsPerPixel, QWidget *parent = nullptr);

    const Picture &picture() const { return m_picture; }
    void setPicture(const Picture &picture);
    // The held picture's size in twips.
    QSizeF sizeTwips() const;

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    float m_tpp;
    Picture m_picture;
};

// A label that reports clicks.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// Key preview: sees every key pressed in a window's controls before the focused control, which
// still gets it. A key that a control ignores travels up to its parents as the same event; it is
// previewed once, even when the handler opened a dialog and the focus moved meanwhile.
class KeyPreview : public QObject
{
    Q_OBJECT
public:
    // Watches `window` and every control in it.
    explicit KeyPreview(QWidget *window);

Q_SIGNALS:
    // A virtual-key code and the shift state.
    void keyDown(int keyCode, int shift);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    const QEvent *m_previewed = nullptr;
    int m_depth = 0;
};

// A one-line text box that reports focus changes.
class CaptionBox : public QLineEdit
{
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

    // The background colour, kept with the box so it can be read back.
    void setBackground(const QColor &color);
    QColor background() const;

Q_SIGNALS:
    void gotFocus();
    void lostFocus();
    void clicked();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    // A read-only box (a colour swatch) takes Space as a click, so the keyboard reaches it too.
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};
