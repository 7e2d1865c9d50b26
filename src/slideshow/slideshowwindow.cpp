#include "slideshowwindow.h"

#include "app/program.h"
#include "core/keycodes.h"
#include "core/palette.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/twips.h"
#include "help/help.h"
#include "pictures/asyncpictureloader.h"
#include "platform/controls.h"
#include "platform/services.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

namespace {
constexpr int kDesignInterval = 3000;
}

SlideShowWindow::SlideShowWindow(Program &program)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_program(program)
    , m_tpp(program.services().twipsPerPixel())
{
    setObjectName(QStringLiteral("Form2"));
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    setBackgroundColor(0);
    setTwipRect(this, QRectF(QPointF(0, 0), program.services().screenSizeTwips()));
    setWindowState(Qt::WindowFullScreen);

    m_fileNameLabel = new ClickLabel(QStringLiteral("file name"), this);
    m_fileNameLabel->setObjectName(QStringLiteral("Label3"));
    // A file name is shown as it is, never read as markup.
    m_fileNameLabel->setTextFormat(Qt::PlainText);
    QFont font = m_fileNameLabel->font();
    font.setFamily(QStringLiteral("Sans Serif"));
    font.setBold(true);
    font.setPointSize(12);
    m_fileNameLabel->setFont(font);
    m_fileNameLabel->setAutoFillBackground(true);
    m_fileNameLabel->setFocusPolicy(Qt::NoFocus);
    // A click on the label prints the screen; the hand says it can be clicked.
    m_fileNameLabel->setCursor(Qt::PointingHandCursor);
    setTwipRect(m_fileNameLabel, QRectF(0, 0, 1140, 330));

    m_picture = new ImageBox(m_tpp, this);
    m_picture->setObjectName(QStringLiteral("Image1"));
    m_picture->setFocusPolicy(Qt::NoFocus);
    m_picture->setBordered(true);
    setTwipRect(m_picture, QRectF(0, 0, 9375, 6615));
    m_picture->raise(); // the picture lies above the label

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(kDesignInterval);
    // A new window's label is white: a show starts running unless opened held.
    markRunning(true);

    m_decoder = new AsyncPictureLoader(this);
    connect(m_decoder, &AsyncPictureLoader::loaded, this, &SlideShowWindow::decoded);
    connect(m_timer, &QTimer::timeout, this, &SlideShowWindow::Timer1_Timer);
    connect(m_picture, &ImageBox::clicked, this, &SlideShowWindow::Image1_Click);
    connect(m_fileNameLabel, &ClickLabel::clicked, this, &SlideShowWindow::Label3_Click);
}

SlideShowWindow::~SlideShowWindow()
{
    controls::disconnectControls(this);
}

void SlideShowWindow::Form_Load()
{
    Program &p = m_program;
    // An interval the timer cannot take falls back to the default instead of reaching it.
    m_timer->setInterval(timerIntervalMs(p.settings().slideInterval).value_or(kDesignInterval));
    setWindowTitle(Program::appTitle);
    m_picture->setStretch(false);
    setBackgroundColor(p.settings().bgColorIndex);
    // From here on a failing step is skipped.
    if (p.show().fromList()) {
        show();
        p.show().setFromList(false);
        return;
    }
    // The thumbnail view: the current slot's file and picture; a slot outside the table names
    // no file.
    const int slot = p.slotRing().currentSlot();
    if (slot < 0 || slot >= SlotRing::kFileCount) {
        return;
    }
    const QString file = p.slotRing().file(slot);
    p.mainWindow()->setCurrentFile(file);
    showSlotPicture(file, p.mainWindow()->slotPicture(slot));
    setFileNameVisible(p.settings().hideFileName != 1);
}

void SlideShowWindow::Form_Unload()
{
    // While the main window shuts down it is no longer there to be shown, and is not brought back.
    if (m_program.isMainWindowLoaded()) {
        m_program.mainWindow()->widget()->show();
    }
}

void SlideShowWindow::closeEvent(QCloseEvent *event)
{
    // Closed through the window system: the show ends as it does on a click, so that no stale
    // full-screen window comes back at the next touch.
    event->accept();
    if (m_program.isCurrent(this)) {
        Form_Click();
    }
}

void SlideShowWindow::keyPressEvent(QKeyEvent *event)
{
    const int code = vk::fromQtKey(event->key());
    if (code != vk::None) {
        Form_KeyDown(code, vk::shiftState(event->modifiers()));
    }
}

void SlideShowWindow::mousePressEvent(QMouseEvent *event)
{
    m_pressed = true;
    event->accept();
}

void SlideShowWindow::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    Form_MouseUp(int(event->button()), vk::shiftState(event->modifiers()), at.x(), at.y());
    if (m_pressed && rect().contains(at)) {
        m_pressed = false;
        Form_Click();
    }
    m_pressed = false;
}

SlideShowWindow::Hold::Hold(SlideShowWindow &show)
    : m_show(show)
    , m_wasRunning(show.m_timer->isActive())
{
    // A running show stands still while a dialog is open, so the dialog acts on the picture that
    // was on show when the key was pressed.
    show.m_timer->stop();
}

SlideShowWindow::Hold::~Hold()
{
    if (m_wasRunning && m_show.m_program.isCurrent(&m_show)) {
        m_show.m_timer->start();
    }
}

void SlideShowWindow::setRunning(bool running)
{
    if (running) {
        startTimer1();
    } else {
        m_timer->stop();
    }
    markRunning(running);
}

void SlideShowWindow::markRunning(bool running)
{
    m_program.show().setRunning(running);
    QPalette pal = m_fileNameLabel->palette();
    pal.setColor(QPalette::Window, palette::color(running ? palette::kPlain : palette::kHighlight));
    pal.setColor(QPalette::WindowText, Qt::black);
    m_fileNameLabel->setPalette(pal);
}

int SlideShowWindow::labelColor() const
{
    return palette::indexOf(m_fileNameLabel->palette().color(QPalette::Window));
}

void SlideShowWindow::startTimer1()
{
    // Enabling a running timer does not restart its count.
    if (!m_timer->isActive()) {
        m_timer->start();
    }
}

int SlideShowWindow::listIndexOf(const QString &path) const
{
    MainWindowLink *main = m_program.mainWindow();
    const Qt::CaseSensitivity rule = m_program.services().fileNameCase();
    for (int k = 0; k < main->listCount(); ++k) {
        if (paths::same(main->listedFile(k), path, rule)) {
            return k;
        }
    }
    return -1;
}

void SlideShowWindow::displayit()
{
    Program &p = m_program;
    MainWindowLink *main = p.mainWindow();
    ShowState &state = p.show();
    // The timer follows the run/hold state at every step: a show stopped after printing runs
    // again.
    if (state.running()) {
        startTimer1();
    } else {
        m_timer->stop();
    }
    const int count = main->listCount();
    const QString path = main->listedFile(state.entryToShow(count));
    setFileName(path);
    showFile(path);
    main->setCurrentFile(path);
    centreImage();
    state.stepped(count);
    readAhead();
}

void SlideShowWindow::Timer1_Timer()
{
    if (m_program.show().takeEndPending()) {
        Image1_Click();
        return;
    }
    displayit();
}

void SlideShowWindow::Form_Click()
{
    endShow();
}

void SlideShowWindow::Image1_Click()
{
    endShow();
}

void SlideShowWindow::endShow()
{
    Program &p = m_program;
    m_timer->stop();
    dropReadAhead();
    p.show().setFromList(false);
    if (p.isMainWindowLoaded()) {
        p.mainWindow()->refreshCaptionHighlight(Program::kSlotCount);
        p.mainWindow()->widget()->show();
    }
    p.unloadSlideShow();
}

void SlideShowWindow::Form_MouseUp(int, int, int, int)
{
    // A release over the background refreshes the first row's first four captions only; the
    // click it completes refreshes all of them.
    if (m_program.isMainWindowLoaded()) {
        m_program.mainWindow()->refreshCaptionHighlight(4);
    }
}

void SlideShowWindow::Label3_Click()
{
    // Stopped, not held: the label stays as it is, and the next step starts the show again.
    m_timer->stop();
    if (!m_program.services().printWidget(this)) {
        m_program.services().messageBox(
            QStringLiteral("The form can't be printed or Cancel is selected.  Please check your "
                           "printer setting up properly."),
            Services::Buttons::Ok, Services::Icon::None, Program::defaultMessageTitle);
    }
}

void SlideShowWindow::Form_KeyDown(int keyCode, int shift)
{
    Q_UNUSED(shift);
    Program &p = m_program;
    ShowState &state = p.show();
    const auto loopRule = [&]() { state.setContinuous(p.settings().loopMode == 1); };
    switch (keyCode) {
    case vk::F1:
        // Help does not hold the show.
        help::showHelpContents(p);
        break;
    case vk::F7: {
        // The file on show when the key was pressed, whatever the show or the path label shows
        // while the dialog is open.
        const Hold hold(*this);
        const QString shown = m_shownFile;
        p.mainWindow()->renameFile(shown, shown);
        break;
    }
    case vk::Delete: {
        const Hold hold(*this);
        const QString shown = m_shownFile;
        const int shownIndex = listIndexOf(shown);
        // The file after the deleted one moves up into its place; the position follows, so
        // that file is not skipped.
        if (p.mainWindow()->deleteFile(shown)) {
            state.entryRemoved(shownIndex);
        }
        break;
    }
    case vk::Pause:
        setRunning(!m_timer->isActive());
        break;
    case vk::F2:
        p.settings().bgColorIndex = qint16(palette::advance(p.settings().bgColorIndex));
        if (p.isMainWindowLoaded()) {
            p.mainWindow()->setBackgroundColor(p.settings().bgColorIndex);
        }
        setBackgroundColor(p.settings().bgColorIndex);
        // A failing write is skipped; the colours have already changed.
        p.saveSettings(p.settings().lastFolder);
        break;
    case vk::Left:
        state.stepBack(p.mainWindow()->listCount());
        loopRule();
        displayit();
        break;
    case vk::Up:
        setRunning(true);
        state.setFromList(true);
        loopRule();
        break;
    case vk::Right:
        loopRule();
        displayit();
        break;
    case vk::Down:
        setRunning(false);
        break;
    case vk::PageUp:
    case vk::PageDown: {
        const double factor = keyCode == vk::PageUp ? 1.1 : 0.9;
        m_picture->setStretch(true);
        QRectF r = twipRect(m_picture);
        r.setWidth(float(float(r.width()) * factor));
        r.setHeight(float(float(r.height()) * factor));
        setTwipRect(m_picture, r);
        centreImage();
        coverShownPart();
        break;
    }
    case vk::Home:
        m_picture->setStretch(false);
        centreImage();
        break;
    // Keys people try first in a full-screen viewer, beyond the original ones.
    case vk::Escape:
        Form_Click();
        break;
    case vk::End:
        fitToScreen();
        break;
    default:
        break;
    }
}

void SlideShowWindow::fitToScreen()
{
    const Picture &picture = m_picture->picture();
    if (picture.isEmpty()) {
        return;
    }
    // A zoom like Page Up and Page Down, to the largest size the screen holds whole; Home undoes
    // it.
    const QSizeF screen = m_program.services().screenSizeTwips();
    const QSizeF natural = picture.sizeTwips(m_tpp);
    const double scale
        = std::min(screen.width() / natural.width(), screen.height() / natural.height());
    m_picture->setStretch(true);
    QRectF r = twipRect(m_picture);
    r.setSize(QSizeF(float(natural.width() * scale), float(natural.height() * scale)));
    setTwipRect(m_picture, r);
    centreImage();
    coverShownPart();
}

void SlideShowWindow::wheelEvent(QWheelEvent *event)
{
    // The wheel steps as Left and Right do: towards the user, the next picture.
    const int delta = event->angleDelta().y();
    if (delta < 0) {
        Form_KeyDown(vk::Right, 0);
    } else if (delta > 0) {
        Form_KeyDown(vk::Left, 0);
    }
    event->accept();
}

void SlideShowWindow::centreImage()
{
    // Every change of what is shown ends here; the sharpening waits for the last of them.
    QTimer::singleShot(0, this, &SlideShowWindow::sharpen);
    const QSizeF screen = m_program.services().screenSizeTwips();
    QRectF r = twipRect(m_picture);
    r.moveTop(float(screen.height()) / 2.0f - float(r.height()) / 2.0f);
    setTwipRect(m_picture, r);
    r.moveLeft(float(screen.width()) / 2.0f - float(r.width()) / 2.0f);
    setTwipRect(m_picture, r);
}

void SlideShowWindow::setInterval(int milliseconds)
{
    m_timer->setInterval(milliseconds);
}

void SlideShowWindow::setBackgroundColor(int index)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, palette::color(index));
    setPalette(pal);
}

int SlideShowWindow::backgroundColor() const
{
    return palette::indexOf(palette().color(QPalette::Window));
}

void SlideShowWindow::setFileNameVisible(bool visible)
{
    m_fileNameLabel->setVisible(visible);
}

void SlideShowWindow::setFileName(const QString &path)
{
    m_shownFile = path;
    m_fileNameLabel->setText(path);
    m_fileNameLabel->adjustSize(); // the label grows to fit its text
}

void SlideShowWindow::clearPicture()
{
    showPicture(Picture());
}

void SlideShowWindow::showSlotPicture(const QString &path, const Picture &picture)
{
    setFileName(path);
    showPicture(picture);
    m_program.services().setBusy(true);
    centreImage();
    m_program.services().setBusy(false);
}

void SlideShowWindow::openHeld(const QString &path, const Picture &picture)
{
    showSlotPicture(path, picture);
    // Opened held: the label says so, and the timer, if it still runs, stops at its next step.
    markRunning(false);
    show();
}

void SlideShowWindow::openRunning(const QString &path)
{
    m_timer->start();
    show();
    setBackgroundColor(m_program.settings().bgColorIndex);
    setFileName(path);
    showFile(path);
    centreImage();
}

QRectF SlideShowWindow::twipRect(const QWidget *control) const
{
    return controls::twipRect(control, m_tpp);
}

void SlideShowWindow::setTwipRect(QWidget *control, const QRectF &rect)
{
    controls::setTwipRect(control, rect, m_tpp);
}

void SlideShowWindow::showFile(const QString &path)
{
    // What was asked for the picture on show is of no use once another replaces it, and would
    // only take a core from the decode of the next.
    dropShownPictureDecodes();
    const Picture picture = path.isEmpty() ? Picture() : pictureFor(path);
    showPicture(picture);
    // The first tick of a show shows the same entry again: keep it for that.
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        m_ahead.path = path;
        m_ahead.size = info.size();
        m_ahead.modified = info.lastModified();
        m_ahead.ready = true;
        m_ahead.picture = picture;
    }
}

Picture SlideShowWindow::pictureFor(const QString &path)
{
    const QFileInfo info(path);
    const bool sameFile = m_ahead.path == path && m_ahead.size == info.size()
        && m_ahead.modified == info.lastModified();
    if (sameFile && m_ahead.ready) {
        Picture picture = m_ahead.picture;
        dropReadAhead();
        return picture;
    }
    // A read-ahead still on its way is waited for, never dropped and done again; anything else
    // is decoded away from this thread all the same, so a slow file can be given up on.
    int ticket = sameFile ? m_ahead.ticket : 0;
    if (ticket) {
        m_ahead.ticket = 0;
    }
    dropReadAhead();
    if (!ticket) {
        ticket = m_decoder->find(pictures::DecodeRequest::visible(path, viewportPixels()));
    }
    if (!ticket) {
        ticket = m_decoder->request(pictures::DecodeRequest::visible(path, viewportPixels()));
    }
    const std::optional<pictures::LoadResult> result = m_decoder->waitFor(ticket);
    // A picture that cannot be read shows nothing under its own name, never the one before.
    return result && result->ok() ? result->picture : Picture();
}

void SlideShowWindow::readAhead()
{
    // Only a show that steps by itself gains from it.
    if (!m_readAheadEnabled || (!isVisible() && !m_timer->isActive())) {
        return;
    }
    const MainWindowLink *main = m_program.mainWindow();
    const int position = m_program.show().listPosition();
    if (position < 0 || position >= main->listCount()) {
        return;
    }
    const QString path = main->listedFile(position);
    if (m_ahead.path == path) {
        return;
    }
    dropReadAhead();
    const QFileInfo info(path);
    m_ahead.path = path;
    m_ahead.size = info.size();
    m_ahead.modified = info.lastModified();
    m_ahead.ticket = m_decoder->request(pictures::DecodeRequest::visible(path, viewportPixels()));
}

void SlideShowWindow::dropReadAhead()
{
    if (m_ahead.ticket) {
        m_decoder->cancel(m_ahead.ticket);
    }
    m_ahead = ReadAhead();
}

void SlideShowWindow::decoded(int ticket, const pictures::LoadResult &result)
{
    if (ticket == m_ahead.ticket) {
        m_ahead.ticket = 0;
        m_ahead.ready = true;
        m_ahead.picture = result.ok() ? result.picture : Picture();
        return;
    }
    if (ticket == m_overviewTicket) {
        m_overviewTicket = 0;
        if (result.ok() && result.picture.file == m_picture->picture().file) {
            m_overview = result.picture;
        }
        return;
    }
    sharpPictureDecoded(ticket, result);
}

void SlideShowWindow::waitForDecodes()
{
    m_decoder->waitUntilIdle();
}

void SlideShowWindow::dropShownPictureDecodes()
{
    for (int *ticket : { &m_sharpTicket, &m_overviewTicket }) {
        if (*ticket) {
            m_decoder->cancel(*ticket);
            *ticket = 0;
        }
    }
}

void SlideShowWindow::showPicture(const Picture &picture)
{
    dropShownPictureDecodes();
    m_overview = Picture();
    m_picture->setPicture(picture);
    // A picture held only in part (larger than the screen) gets a whole one at screen size in
    // the background, so that a zoom-out shows all of it at once instead of bands.
    if (!picture.image.isNull() && !picture.holdsWhole()) {
        m_overviewTicket = m_decoder->request(
            pictures::DecodeRequest::reduced(picture.file, devicePixels(viewportPixels())));
    }
}

void SlideShowWindow::coverShownPart()
{
    const Picture &picture = m_picture->picture();
    if (picture.isEmpty() || picture.heldRegion().contains(visibleRegion())) {
        return;
    }
    if (m_overview.image.isNull() && m_overviewTicket) {
        const int ticket = std::exchange(m_overviewTicket, 0);
        const std::optional<pictures::LoadResult> result = m_decoder->waitFor(ticket);
        if (result && result->ok()) {
            m_overview = result->picture;
        }
    }
    if (!m_overview.image.isNull() && m_overview.file == picture.file) {
        if (m_sharpTicket) {
            m_decoder->cancel(std::exchange(m_sharpTicket, 0));
        }
        m_picture->setPicture(m_overview);
    }
}

QSize SlideShowWindow::devicePixels(const QSize &logical) const
{
    return (QSizeF(logical) * devicePixelRatioF()).toSize();
}

QSize SlideShowWindow::viewportPixels() const
{
    return twips::toPixels(QRectF(QPointF(0, 0), m_program.services().screenSizeTwips()), m_tpp)
        .size();
}

QRect SlideShowWindow::visibleRegion() const
{
    const Picture &picture = m_picture->picture();
    const QRect box = m_picture->geometry();
    const QRect shown = box & QRect(QPoint(0, 0), viewportPixels());
    if (picture.isEmpty() || shown.isEmpty()) {
        return QRect();
    }
    const qreal sx = qreal(picture.naturalSize.width()) / box.width();
    const qreal sy = qreal(picture.naturalSize.height()) / box.height();
    const QRectF part((shown.x() - box.x()) * sx, (shown.y() - box.y()) * sy, shown.width() * sx,
        shown.height() * sy);
    return part.toAlignedRect() & QRect(QPoint(0, 0), picture.naturalSize);
}

void SlideShowWindow::sharpen()
{
    const Picture &picture = m_picture->picture();
    const QRect visible = visibleRegion();
    if (picture.file.isEmpty() || visible.isEmpty() || m_sharpTicket) {
        return;
    }
    const QRect held = picture.heldRegion();
    // Image pixels per picture pixel, against device pixels per picture pixel as shown. A raster
    // picture blown up past its own size has nothing more to give; a metafile is drawn again at
    // the size shown.
    const QSize shownPixels = devicePixels(m_picture->size());
    const qreal heldScale
        = picture.image.isNull() ? 0.0 : qreal(picture.image.width()) / held.width();
    qreal shownScale = qreal(shownPixels.width()) / picture.naturalSize.width();
    if (!picture.scalable) {
        shownScale = qMin<qreal>(1.0, shownScale);
    }
    if (held.contains(visible) && heldScale >= shownScale * 0.99) {
        return;
    }
    const bool ownSize = !m_picture->stretch();
    if (ownSize) {
        m_sharpTicket
            = m_decoder->request(pictures::DecodeRequest::visible(picture.file, viewportPixels()));
    } else {
        // The size shown: a reduced decode when zoomed out, only the part on the screen when
        // zoomed in, a metafile drawn at exactly that size.
        m_sharpTicket = m_decoder->request(
            pictures::DecodeRequest::within(picture.file, shownPixels, visible));
    }
}

void SlideShowWindow::sharpPictureDecoded(int ticket, const pictures::LoadResult &result)
{
    if (ticket != m_sharpTicket) {
        return;
    }
    m_sharpTicket = 0;
    if (result.ok() && result.picture.file == m_picture->picture().file) {
        m_picture->setPicture(result.picture);
    }
}
