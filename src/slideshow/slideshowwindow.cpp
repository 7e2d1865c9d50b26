#include "slideshowwindow.h"

#include "app/program.h"
#include "core/keycodes.h"
#include "core/palette.h"
#include "core/settings.h"
#include "core/twips.h"
#include "help/help.h"
#include "pictures/asyncpictureloader.h"
#include "platform/controls.h"
#include "platform/services.h"
#include "system/bounded.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>

#include <utility>

namespace {

// A picture the decoders have not delivered by then is not coming: its file lies on a mount
// that does not answer. Far longer than any decode of a file that is there.
constexpr std::chrono::milliseconds kPictureLimit { 10000 };
// A look at a file's size and time on this thread, to know whether what was read ahead is still
// that file, waits no longer than a frame or so; unanswered, the file is read again.
constexpr std::chrono::milliseconds kStatLimit { 100 };

struct FileStamp
{
    qint64 size = -1;
    QDateTime modified;
};

std::optional<FileStamp> stampOf(const QString &path)
{
    return systemfiles::callWithin<FileStamp>(kStatLimit, QStringLiteral("stat:") + path, [path] {
        const QFileInfo info(path);
        return FileStamp { info.size(), info.lastModified() };
    });
}

} // namespace

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

    m_decoder = new AsyncPictureLoader(this);
    connect(m_decoder, &AsyncPictureLoader::loaded, this, &SlideShowWindow::decoded);
    m_shownDeadline = new QTimer(this);
    m_shownDeadline->setSingleShot(true);
    m_shownDeadline->setInterval(kPictureLimit);
    connect(m_shownDeadline, &QTimer::timeout, this, &SlideShowWindow::shownPictureLate);
    connect(m_picture, &ImageBox::clicked, this, &SlideShowWindow::Image1_Click);
    connect(m_fileNameLabel, &ClickLabel::clicked, this, &SlideShowWindow::Label3_Click);

    SlideShow &show = program.show();
    connect(&show, &SlideShow::stepped, this, &SlideShowWindow::showStep);
    connect(&show, &SlideShow::runningChanged, this, &SlideShowWindow::paintRunning);
    connect(&show, &SlideShow::ended, this, &SlideShowWindow::endShow);
    connect(&program, &Program::fileRemoved, this, &SlideShowWindow::fileRemoved);
    connect(&program, &Program::fileRenamed, this, &SlideShowWindow::fileRenamed);
    const ProgramSettings &settings = program.settingsModel();
    connect(&settings, &ProgramSettings::windowColorChanged, this,
        &SlideShowWindow::setBackgroundColor);
    connect(&settings, &ProgramSettings::fileNameSwitchApplied, this,
        &SlideShowWindow::setFileNameVisible);
    // A new window's label is white: a show starts running unless opened held.
    show.markRunning(true);
}

SlideShowWindow::~SlideShowWindow()
{
    controls::disconnectControls(this);
}

void SlideShowWindow::Form_Load()
{
    Program &p = m_program;
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
    p.setCurrentFile(file);
    showSlotPicture(file, p.mainWindow()->slotPicture(slot));
    setFileNameVisible(p.settings().hideFileName != 1);
}

void SlideShowWindow::Form_Unload()
{
    // The show's timer goes with its window.
    m_program.show().stop();
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

void SlideShowWindow::paintRunning(bool running)
{
    QPalette pal = m_fileNameLabel->palette();
    pal.setColor(QPalette::Window, palette::color(running ? palette::kPlain : palette::kHighlight));
    pal.setColor(QPalette::WindowText, Qt::black);
    m_fileNameLabel->setPalette(pal);
}

int SlideShowWindow::labelColor() const
{
    return palette::indexOf(m_fileNameLabel->palette().color(QPalette::Window));
}

void SlideShowWindow::displayit()
{
    m_program.show().step();
}

void SlideShowWindow::showStep(const QString &path)
{
    setFileName(path);
    showFile(path);
    m_program.setCurrentFile(path);
    centreImage();
    readAhead();
}

void SlideShowWindow::Timer1_Timer()
{
    m_program.show().tick();
}

void SlideShowWindow::Form_Click()
{
    m_program.show().end();
}

void SlideShowWindow::Image1_Click()
{
    m_program.show().end();
}

void SlideShowWindow::endShow()
{
    Program &p = m_program;
    if (!p.isCurrent(this)) {
        return;
    }
    dropReadAhead();
    if (p.isMainWindowLoaded()) {
        p.mainWindow()->refreshCaptionHighlight(Program::kSlotCount);
        p.mainWindow()->widget()->show();
    }
    p.unload(Program::Window::SlideShow);
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
    m_program.show().stop();
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
    SlideShow &show = p.show();
    switch (keyCode) {
    case vk::F1:
        // Help does not hold the show.
        help::showHelpContents(p);
        break;
    case vk::F7: {
        // The file on show when the key was pressed, whatever the show or the path label shows
        // while the dialog is open.
        const SlideShow::Hold hold(show);
        const QString shown = m_shownFile;
        p.renameFile(shown, shown);
        break;
    }
    case vk::Delete: {
        const SlideShow::Hold hold(show);
        const QString shown = m_shownFile;
        p.deleteFile(shown);
        break;
    }
    case vk::Pause:
        show.togglePause();
        break;
    case vk::F2: {
        ProgramSettings &settings = p.settingsModel();
        settings.setBgColorIndex(palette::advance(settings.values().bgColorIndex));
        settings.wearBackgroundColor();
        // A failing write is skipped; the colours have already changed.
        settings.save(settings.values().lastFolder);
        break;
    }
    case vk::Left:
        show.previous();
        break;
    case vk::Up:
        show.resume();
        break;
    case vk::Right:
        show.next();
        break;
    case vk::Down:
        show.hold();
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
    default:
        break;
    }
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

void SlideShowWindow::fileRemoved()
{
    if (!m_program.isCurrent(this)) {
        return;
    }
    // Only the background stays until the next step.
    showPicture(Picture());
    setFileName(QString());
}

void SlideShowWindow::fileRenamed(const QString &, const QString &to)
{
    if (m_program.isCurrent(this)) {
        setFileName(to);
    }
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
    m_program.show().openHeld();
    show();
}

void SlideShowWindow::openRunning(const QString &path)
{
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

bool SlideShowWindow::aheadIsFile(const QString &path) const
{
    if (m_ahead.path != path) {
        return false;
    }
    const std::optional<FileStamp> now = stampOf(path);
    return now && m_ahead.size == now->size && m_ahead.modified == now->modified;
}

void SlideShowWindow::showFile(const QString &path)
{
    // What was asked for the picture on show is of no use once another replaces it, and would
    // only take a core from the decode of the next; a decode still on its way for this very file
    // is adopted below instead.
    const int onItsWay = std::exchange(m_shownTicket, 0);
    dropShownPictureDecodes();
    int ticket = 0;
    if (path.isEmpty()) {
        dropReadAhead();
        showPicture(Picture());
    } else if (aheadIsFile(path) && m_ahead.ready) {
        // Kept: the first tick of a show shows the same entry again.
        showPicture(m_ahead.picture);
    } else {
        // Not read yet. The step never waits for it: the picture on screen stays until the
        // decode lands (the read-ahead's own, when it is on its way for this file), and a file
        // that cannot be read then shows nothing under its name.
        ticket = aheadIsFile(path) ? std::exchange(m_ahead.ticket, 0) : 0;
        dropReadAhead();
        if (!ticket) {
            ticket = m_decoder->find(pictures::DecodeRequest::visible(path, viewportPixels()));
        }
        if (!ticket) {
            ticket = m_decoder->request(pictures::DecodeRequest::visible(path, viewportPixels()));
        }
    }
    if (onItsWay && onItsWay != ticket) {
        m_decoder->cancel(onItsWay);
    }
    if (!ticket) {
        return;
    }
    m_shownTicket = ticket;
    m_shownDeadline->start();
    const FileStamp stamp = stampOf(path).value_or(FileStamp());
    m_ahead.path = path;
    m_ahead.size = stamp.size;
    m_ahead.modified = stamp.modified;
}

void SlideShowWindow::readAhead()
{
    const QString path = m_program.show().aheadPath();
    if (!m_readAheadEnabled || path.isEmpty() || m_ahead.path == path) {
        return;
    }
    dropReadAhead();
    const FileStamp stamp = stampOf(path).value_or(FileStamp());
    m_ahead.path = path;
    m_ahead.size = stamp.size;
    m_ahead.modified = stamp.modified;
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
    const Picture picture = result.ok() ? result.picture : Picture();
    if (ticket == m_shownTicket) {
        m_shownTicket = 0;
        m_shownDeadline->stop();
        showPicture(picture);
        centreImage();
        if (m_ahead.path == m_shownFile) {
            m_ahead.ready = true;
            m_ahead.picture = picture;
        }
        return;
    }
    if (ticket == m_ahead.ticket) {
        m_ahead.ticket = 0;
        m_ahead.ready = true;
        m_ahead.picture = picture;
        return;
    }
    if (ticket == m_overviewTicket) {
        m_overviewTicket = 0;
        if (result.ok() && result.picture.file == m_picture->picture().file) {
            m_overview = result.picture;
            coverShownPart();
        }
        return;
    }
    sharpPictureDecoded(ticket, result);
}

void SlideShowWindow::shownPictureLate()
{
    if (!m_shownTicket) {
        return;
    }
    m_decoder->cancel(std::exchange(m_shownTicket, 0));
    if (m_ahead.path == m_shownFile) {
        dropReadAhead();
    }
    showPicture(Picture());
    centreImage();
}

void SlideShowWindow::setPictureLimit(std::chrono::milliseconds limit)
{
    m_shownDeadline->setInterval(limit);
}

void SlideShowWindow::waitForDecodes()
{
    m_decoder->waitUntilIdle();
}

void SlideShowWindow::dropShownPictureDecodes()
{
    for (int *ticket : { &m_sharpTicket, &m_overviewTicket, &m_shownTicket }) {
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
    // Never waited for: the whole picture covers a zoom-out once it has arrived.
    const Picture &picture = m_picture->picture();
    if (picture.isEmpty() || picture.heldRegion().contains(visibleRegion())) {
        return;
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
    // A picture about to be replaced by the one on its way is not worth sharpening.
    if (picture.file.isEmpty() || visible.isEmpty() || m_sharpTicket || m_shownTicket) {
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
