#include "slideshowwindow.h"

#include "app/program.h"
#include "core/fit.h"
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
#include <QScopeGuard>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>
#include <optional>
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
    m_fileNameLabel->setAccessibleDescription(QStringLiteral("A click prints the screen"));
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
    m_picture->setAccessibleName(QStringLiteral("Picture on show"));
    m_picture->setAccessibleDescription(QStringLiteral("A click ends the slide show"));
    m_picture->setFocusPolicy(Qt::NoFocus);
    m_picture->setBordered(true);
    setTwipRect(m_picture, QRectF(0, 0, 9375, 6615));
    m_picture->raise(); // the picture lies above the label

    m_decoder = new AsyncPictureLoader(this);
    connect(m_decoder, &AsyncPictureLoader::loaded, this, &SlideShowWindow::decoded);
    // A frame kept while a zoom-out waits for the whole picture is let go after this long
    // whatever happens, so a decode that never lands cannot freeze the screen.
    m_frameHold = new QTimer(this);
    m_frameHold->setSingleShot(true);
    m_frameHold->setInterval(3000);
    connect(m_frameHold, &QTimer::timeout, this, [this] { holdFrame(false); });
    m_shownDeadline = new QTimer(this);
    m_shownDeadline->setSingleShot(true);
    m_shownDeadline->setInterval(kPictureLimit);
    connect(m_shownDeadline, &QTimer::timeout, this, &SlideShowWindow::shownPictureLate);
    connect(m_picture, &ImageBox::clicked, this, &SlideShowWindow::Image1_Click);
    connect(m_fileNameLabel, &ClickLabel::clicked, this, &SlideShowWindow::Label3_Click);

    SlideShow &show = program.show();
    connect(&show, &SlideShow::openedHeld, this, &SlideShowWindow::openHeld);
    connect(&show, &SlideShow::openedRunning, this, &SlideShowWindow::openRunning);
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
    // The slot's picture comes with the opening (openHeld), from the slot itself.
    showSlotPicture(file, Picture());
    setFileNameVisible(p.settings().hideFileName != 1);
}

void SlideShowWindow::Form_Unload()
{
    m_program.show().leave();
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
    p.unload(Program::Window::SlideShow);
}

void SlideShowWindow::Form_MouseUp(int, int, int, int)
{
    // A release over the background refreshes the first row's first four captions only; the
    // click it completes refreshes all of them.
    m_program.show().releaseOverBackground();
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
        m_fitted = false;
        m_picture->setStretch(true);
        QRectF r = twipRect(m_picture);
        r.setWidth(float(float(r.width()) * factor));
        r.setHeight(float(float(r.height()) * factor));
        setTwipRect(m_picture, r);
        centreImage();
        break;
    }
    case vk::Home:
        m_fitted = false;
        m_picture->setStretch(false);
        centreImage();
        break;
    case vk::End:
        // Fitted to the screen, whatever its size; Home gives the own size back.
        if (p.extras().fitLargePictures && !m_picture->picture().isEmpty()) {
            const QSizeF own = m_picture->picture().sizeTwips(m_tpp);
            const QSizeF screen = p.services().screenSizeTwips();
            showFitted(own.scaled(screen, Qt::KeepAspectRatio));
            centreImage();
            coverShownPart();
        }
        break;
    case vk::Escape:
        if (p.extras().escEndsShow) {
            Form_Click();
        }
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
    // Whatever changed, the frame shows the whole of what it is meant to show.
    coverShownPart();
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
        // Kept: the first tick of a show shows the same entry again, with the whole picture
        // already made for it.
        const Picture overview = m_overview.file == path ? m_overview : m_ahead.overview;
        showPicture(m_ahead.picture, overview, std::exchange(m_ahead.overviewTicket, 0));
    } else {
        // Not read yet. The step never waits for it: the picture on screen stays until the
        // decode lands (the read-ahead's own, when it is on its way for this file), and a file
        // that cannot be read then shows nothing under its name.
        ticket = aheadIsFile(path) ? std::exchange(m_ahead.ticket, 0) : 0;
        dropReadAhead();
        if (!ticket) {
            ticket = m_decoder->find(shownRequest(path));
        }
        if (!ticket) {
            ticket = m_decoder->request(shownRequest(path));
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
    m_ahead.ticket = m_decoder->request(shownRequest(path));
}

pictures::DecodeRequest SlideShowWindow::shownRequest(const QString &path) const
{
    if (!m_picture->stretch()) {
        return pictures::DecodeRequest::visible(path, viewportPixels());
    }
    // A zoomed show draws every picture stretched into the same box: the whole picture, reduced
    // to the box (at most a screen), so a step never shows a screen's part inside a frame meant
    // for more; the sharp part follows.
    return pictures::DecodeRequest::reduced(
        path, devicePixels(m_picture->size().boundedTo(viewportPixels())));
}

void SlideShowWindow::dropReadAhead()
{
    for (const int ticket : { m_ahead.ticket, m_ahead.overviewTicket }) {
        if (ticket) {
            m_decoder->cancel(ticket);
        }
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
        if (!picture.image.isNull() && !picture.holdsWhole()) {
            m_ahead.overviewTicket = m_decoder->request(
                pictures::DecodeRequest::reduced(picture.file, devicePixels(viewportPixels())));
        }
        return;
    }
    if (ticket == m_ahead.overviewTicket) {
        m_ahead.overviewTicket = 0;
        if (result.ok() && result.picture.file == m_ahead.picture.file) {
            m_ahead.overview = result.picture;
        }
        return;
    }
    if (ticket == m_overviewTicket) {
        m_overviewTicket = 0;
        overviewDecoded(result);
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

bool SlideShowWindow::viewCovered() const
{
    const Picture &picture = m_picture->picture();
    return updatesEnabled() && (picture.isEmpty() || holdsShownPart(picture));
}

bool SlideShowWindow::decoding() const
{
    return m_decoder->pending() > 0;
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

void SlideShowWindow::showPicture(
    const Picture &picture, const Picture &overview, int overviewTicket)
{
    holdFrame(false);
    dropShownPictureDecodes();
    m_overview = Picture();
    m_picture->setPicture(picture);
    if (m_program.extras().fitLargePictures) {
        fitNewPicture();
    }
    keepAsOverview(picture);
    keepAsOverview(overview);
    m_overviewTicket = overviewTicket;
    askForOverview();
}

QSize SlideShowWindow::overviewSize() const
{
    const QSize natural = m_picture->picture().naturalSize;
    return natural.scaled(devicePixels(viewportPixels()), Qt::KeepAspectRatio)
        .boundedTo(natural)
        .expandedTo(QSize(1, 1));
}

bool SlideShowWindow::overviewIsInterim() const
{
    // A reduced decode comes at least at the screen's size; anything smaller (a slot's
    // thumbnail) only stands in until it lands.
    const QSize wanted = overviewSize();
    const QSize held = m_overview.image.size();
    return m_overview.image.isNull()
        || (held.width() < wanted.width() && held.height() < wanted.height());
}

void SlideShowWindow::keepAsOverview(const Picture &picture)
{
    // A whole picture of the file on show, no larger than a few screens, covers any view of it
    // later; the best one so far is kept.
    const QImage &image = picture.image;
    const qint64 screens
        = 4LL * devicePixels(viewportPixels()).width() * devicePixels(viewportPixels()).height();
    if (image.isNull() || !picture.holdsWhole() || picture.file != m_picture->picture().file
        || qint64(image.width()) * image.height() > screens) {
        return;
    }
    if (m_overview.image.isNull() || m_overview.file != picture.file
        || m_overview.image.width() < image.width()) {
        m_overview = picture;
    }
}

void SlideShowWindow::askForOverview()
{
    // A picture larger than the screen is shown in part at its own size: the whole of it,
    // reduced to the screen, is decoded beside it, so that any zoom-out shows all of it at once
    // instead of bands round the part.
    const Picture &picture = m_picture->picture();
    if (picture.image.isNull() || picture.file.isEmpty() || m_overviewTicket
        || !overviewIsInterim()) {
        return;
    }
    const QSize viewport = viewportPixels();
    if (picture.naturalSize.width() <= viewport.width()
        && picture.naturalSize.height() <= viewport.height()) {
        return;
    }
    m_overviewTicket = m_decoder->request(
        pictures::DecodeRequest::reduced(picture.file, devicePixels(viewport)));
}

void SlideShowWindow::holdFrame(bool hold)
{
    if (hold) {
        m_frameHold->start();
    } else {
        m_frameHold->stop();
    }
    setUpdatesEnabled(!hold);
}

void SlideShowWindow::overviewDecoded(const pictures::LoadResult &result)
{
    const auto release = qScopeGuard([this] { holdFrame(false); });
    if (!result.ok() || result.picture.file != m_picture->picture().file) {
        return;
    }
    keepAsOverview(result.picture);
    // A stand-in on screen (a slot's thumbnail) gives way to the better whole picture.
    const Picture &shown = m_picture->picture();
    if (shown.holdsWhole() && !m_overview.image.isNull()
        && shown.image.width() < m_overview.image.width()) {
        m_picture->setPicture(m_overview);
    }
    coverShownPart();
}

void SlideShowWindow::fitNewPicture()
{
    const Picture &picture = m_picture->picture();
    const std::optional<QSizeF> fitted = picture.isEmpty()
        ? std::nullopt
        : fit::toScreen(picture.sizeTwips(m_tpp), m_program.services().screenSizeTwips());
    if (fitted) {
        showFitted(*fitted);
    } else if (m_fitted) {
        m_fitted = false;
        m_picture->setStretch(false);
    }
}

void SlideShowWindow::showFitted(const QSizeF &size)
{
    m_fitted = true;
    m_picture->setStretch(true);
    QRectF r = twipRect(m_picture);
    r.setSize(size);
    setTwipRect(m_picture, r);
}

void SlideShowWindow::coverShownPart()
{
    const Picture &picture = m_picture->picture();
    if (picture.isEmpty() || holdsShownPart(picture)) {
        // What is on hand shows the whole view: a frame kept meanwhile can go.
        holdFrame(false);
        return;
    }
    // The view shows more than the part held. Only the whole picture may stand in for it, never
    // the part with bands round it: the one kept, else the one on its way. That one is not
    // waited for (keys and clicks go on being answered): the window keeps its frame before on
    // the screen until it lands, or for a few seconds at most.
    if (m_overview.image.isNull() || m_overview.file != picture.file) {
        if (!m_overviewTicket) {
            askForOverview();
        }
        if (m_overviewTicket) {
            holdFrame(true);
            return;
        }
    }
    if (!m_overview.image.isNull() && m_overview.file == picture.file) {
        if (m_sharpTicket) {
            m_decoder->cancel(std::exchange(m_sharpTicket, 0));
        }
        m_picture->setPicture(m_overview);
        askForOverview();
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

bool SlideShowWindow::holdsShownPart(const Picture &picture) const
{
    // The part on screen is rounded out to whole pixels of the picture: a part decoded for this
    // very view may fall short of it by one screen pixel's worth on a side.
    const QSize box = m_picture->size();
    if (picture.isEmpty() || box.isEmpty()) {
        return true;
    }
    const int dx = int(std::ceil(qreal(picture.naturalSize.width()) / box.width()));
    const int dy = int(std::ceil(qreal(picture.naturalSize.height()) / box.height()));
    return picture.heldRegion().adjusted(-dx, -dy, dx, dy).contains(visibleRegion());
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
    if (holdsShownPart(picture) && heldScale >= shownScale * 0.99) {
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
    if (!result.ok() || result.picture.file != m_picture->picture().file) {
        return;
    }
    keepAsOverview(result.picture);
    // Asked for before the last zoom, it may cover less than is shown now: what is on screen
    // stays, and the sharpening asks again.
    if (!holdsShownPart(result.picture)) {
        QTimer::singleShot(0, this, &SlideShowWindow::sharpen);
        return;
    }
    m_picture->setPicture(result.picture);
    askForOverview();
}
