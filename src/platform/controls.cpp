#include "controls.h"

#include "core/keycodes.h"
#include "core/twips.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <QWindow>

namespace controls {

QMargins windowFrame()
{
    const auto windows = QApplication::topLevelWidgets();
    for (const QWidget *window : windows) {
        if (window->isVisible() && window->windowHandle()
            && !window->windowHandle()->frameMargins().isNull()) {
            return window->windowHandle()->frameMargins();
        }
    }
    return QMargins();
}

void waitUntilMaximized(QWidget *window, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()
        && !(window->windowHandle() && window->windowHandle()->isExposed()
            && window->windowHandle()->windowStates() & Qt::WindowMaximized)) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void disconnectControls(QWidget *window)
{
    const auto children = window->findChildren<QObject *>();
    for (QObject *child : children) {
        QObject::disconnect(child, nullptr, window, nullptr);
    }
}

namespace {
    constexpr char kTwipRect[] = "twipRect";
}

QRectF twipRect(const QWidget *widget, float tpp)
{
    const QVariant stored = widget->property(kTwipRect);
    if (stored.isValid()) {
        return stored.toRectF();
    }
    const QRect g = widget->geometry();
    return QRectF(twips::fromPixels(g.x(), tpp), twips::fromPixels(g.y(), tpp),
        twips::fromPixels(g.width(), tpp), twips::fromPixels(g.height(), tpp));
}

void setTwipRect(QWidget *widget, const QRectF &rect, float tpp)
{
    // Keep single precision: that is what the values were computed in.
    const QRectF r(float(rect.x()), float(rect.y()), float(rect.width()), float(rect.height()));
    widget->setProperty(kTwipRect, r);
    const QRectF shown(r.x(), r.y(), std::max<qreal>(r.width(), 0), std::max<qreal>(r.height(), 0));
    widget->setGeometry(twips::toPixels(shown, tpp));
}

} // namespace controls

namespace {
Qt::MouseButton primaryOr(Qt::MouseButton b)
{
    return b == Qt::NoButton ? Qt::LeftButton : b;
}
} // namespace

// ---- ImageBox

ImageBox::ImageBox(float tpp, QWidget *parent)
    : QWidget(parent)
    , m_tpp(tpp)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ImageBox::setPicture(const Picture &picture)
{
    m_picture = picture;
    m_scaled = QPixmap();
    // A whole picture without transparency covers the box: what lies beneath is not painted
    // first (a full-screen show would fill the screen twice a step).
    const QImage &image = picture.image;
    setAttribute(Qt::WA_OpaquePaintEvent,
        !image.isNull() && !image.hasAlphaChannel() && !picture.naturalSize.isEmpty()
            && picture.holdsWhole());
    if (!m_stretch) {
        takePictureSize();
    }
    update();
}

void ImageBox::setStretch(bool stretch)
{
    m_stretch = stretch;
    if (!m_stretch) {
        takePictureSize();
    }
    update();
}

void ImageBox::takePictureSize()
{
    const QRectF r = controls::twipRect(this, m_tpp);
    const QSizeF size = m_picture.sizeTwips(m_tpp);
    controls::setTwipRect(this, QRectF(r.topLeft(), size), m_tpp);
}

void ImageBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    paintPicture(painter, event->rect());
    if (m_bordered) {
        // A thin flat single line, inside the box.
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void ImageBox::paintPicture(QPainter &painter, const QRect &exposedRect)
{
    const QImage &image = m_picture.image;
    const QSize natural = m_picture.naturalSize;
    if (image.isNull() || natural.isEmpty() || width() <= 0 || height() <= 0) {
        if (m_outlined && width() > 1 && height() > 1) {
            // A shade away from the background, whatever colour the user picked for it.
            const QColor background = palette().color(QPalette::Window);
            painter.setPen(
                background.lightness() < 80 ? QColor(255, 255, 255, 70) : background.darker(130));
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
        }
        return;
    }
    const QRect held = m_picture.heldRegion();
    const bool whole = m_picture.holdsWhole();
    // A box no larger than a screen that shows the whole picture keeps its scaled pixmap, so
    // repaints cost a copy. A larger box (a zoomed or very large picture) is drawn only where it
    // is exposed, never scaled whole. The pixmap has the screen's device pixels, so a
    // high-density screen shows every pixel the decode gave.
    constexpr qint64 kCachedPixels = 4096LL * 4096;
    const qreal ratio = devicePixelRatioF();
    const QSize devicePixels = (QSizeF(size()) * ratio).toSize();
    if (whole && image.size() == devicePixels && ratio == 1.0) {
        // Already the box's size: drawn as it is, one copy, and no second copy held.
        m_scaled = QPixmap();
        painter.drawImage(QPoint(0, 0), image);
        return;
    }
    if (whole && qint64(devicePixels.width()) * devicePixels.height() <= kCachedPixels) {
        if (m_scaled.size() != devicePixels) {
            m_scaled = QPixmap::fromImage(image.size() == devicePixels
                    ? image
                    : image.scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
            m_scaled.setDevicePixelRatio(ratio);
        }
        painter.drawPixmap(QPoint(0, 0), m_scaled);
        return;
    }
    m_scaled = QPixmap();
    // The box shows the whole picture stretched to its size; the image covers the held part.
    const qreal sx = qreal(width()) / natural.width();
    const qreal sy = qreal(height()) / natural.height();
    const QRectF target(held.x() * sx, held.y() * sy, held.width() * sx, held.height() * sy);
    const QRectF exposed = QRectF(exposedRect) & target;
    if (exposed.isEmpty()) {
        return;
    }
    const qreal ix = image.width() / target.width();
    const qreal iy = image.height() / target.height();
    const QRectF source((exposed.x() - target.x()) * ix, (exposed.y() - target.y()) * iy,
        exposed.width() * ix, exposed.height() * iy);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !qFuzzyCompare(ix * ratio, 1.0));
    painter.drawImage(exposed, image, source);
}

void ImageBox::dragEnterEvent(QDragEnterEvent *event)
{
    // Only drags that start in the program itself; files from elsewhere are not taken.
    if (event->source()) {
        event->acceptProposedAction();
    }
}

void ImageBox::dropEvent(QDropEvent *event)
{
    if (event->source()) {
        event->acceptProposedAction();
        Q_EMIT dropped();
    }
}

void ImageBox::mousePressEvent(QMouseEvent *event)
{
    m_pressed = true;
    event->accept();
}

void ImageBox::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    const int button = int(primaryOr(event->button()));
    Q_EMIT mouseUp(button, vk::shiftState(event->modifiers()), p.x(), p.y());
    if (m_pressed && rect().contains(p)) {
        m_pressed = false;
        Q_EMIT clicked(button);
    }
    m_pressed = false;
}

// ---- PictureBox

PictureBox::PictureBox(float tpp, QWidget *parent)
    : QLabel(parent)
    , m_tpp(tpp)
{
}

void PictureBox::setPicture(const Picture &picture)
{
    m_picture = picture;
    if (!picture.image.isNull()) {
        setPixmap(QPixmap::fromImage(picture.image));
    } else {
        clear();
    }
}

QSizeF PictureBox::sizeTwips() const
{
    return m_picture.sizeTwips(m_tpp);
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (rect().contains(event->position().toPoint())) {
        Q_EMIT clicked();
    }
}

// ---- ClickLabel

void ClickLabel::mousePressEvent(QMouseEvent *event)
{
    // The click is the label's own: neither its press nor its release reaches the window behind.
    event->accept();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (rect().contains(event->position().toPoint())) {
        Q_EMIT clicked();
    }
}

// ---- KeyPreview

KeyPreview::KeyPreview(QWidget *window)
    : QObject(window)
{
    window->installEventFilter(this);
    const auto children = window->findChildren<QWidget *>();
    for (QWidget *child : children) {
        child->installEventFilter(this);
    }
}

bool KeyPreview::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease) {
        if (m_depth == 0) {
            m_previewed = nullptr;
        }
        return false;
    }
    if (event->type() != QEvent::KeyPress || event == m_previewed) {
        return false;
    }
    auto *key = static_cast<QKeyEvent *>(event);
    const int code = vk::fromQtKey(key->key());
    if (code == vk::None) {
        return false;
    }
    m_previewed = event;
    ++m_depth;
    Q_EMIT keyDown(code, vk::shiftState(key->modifiers()));
    --m_depth;
    // Dialogs run their own event loops; whatever they did, this press stays handled until its
    // delivery is over.
    m_previewed = event;
    QTimer::singleShot(0, this, [this, event]() {
        if (m_depth == 0 && m_previewed == event) {
            m_previewed = nullptr;
        }
    });
    return false;
}

// ---- CaptionBox

void CaptionBox::setBackground(const QColor &color)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
}

QColor CaptionBox::background() const
{
    return palette().color(QPalette::Base);
}

namespace {
// Only a move of the focus from one control to another counts: the window being activated again
// (after a show, a dialog, a box) or a context menu opening and closing leaves the focus where
// it was.
bool focusMoved(const QFocusEvent *event)
{
    return event->reason() != Qt::ActiveWindowFocusReason
        && event->reason() != Qt::PopupFocusReason;
}
} // namespace

void CaptionBox::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (focusMoved(event)) {
        Q_EMIT gotFocus();
    }
}

void CaptionBox::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (focusMoved(event)) {
        Q_EMIT lostFocus();
    }
}

void CaptionBox::keyPressEvent(QKeyEvent *event)
{
    if (isReadOnly() && event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        event->accept();
        Q_EMIT clicked();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CaptionBox::mouseReleaseEvent(QMouseEvent *event)
{
    QLineEdit::mouseReleaseEvent(event);
    Q_EMIT clicked();
}
