#include "Form2.h"

#include "app/program.h"
#include "browser/startfrm.h"
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
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QTimer>

namespace {
constexpr int kDesignInterval = 3000;
}

Form2::Form2(Program &program)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_program(program)
    , m_tpp(program.services().twipsPerPixel())
{
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    setBackgroundColor(0);
    const QSizeF screen = program.services().screenSizeTwips();
    setTwipRect(this, QRectF(QPointF(0, 0), screen));
    setWindowState(Qt::WindowFullScreen);

    Label3 = new ClickLabel(QStringLiteral("file name"), this);
    QFont font = Label3->font();
    font.setFamily(QStringLiteral("Sans Serif"));
    font.setBold(true);
    font.setPointSize(12);
    Label3->setFont(font);
    Label3->setAutoFillBackground(true);
    Label3->setFocusPolicy(Qt::NoFocus);
    // A click on the label prints the screen; the hand says it can be clicked.
    Label3->setCursor(Qt::PointingHandCursor);
    setTwipRect(Label3, QRectF(0, 0, 1140, 330));
    setLabelColor(palette::kPlain);

    Image1 = new ImageBox(m_tpp, this);
    Image1->setFocusPolicy(Qt::NoFocus);
    setTwipRect(Image1, QRectF(0, 0, 9375, 6615));
    Image1->raise(); // the picture lies above the label

    Timer1 = new QTimer(this);
    Timer1->setInterval(kDesignInterval);

    m_decoder = new AsyncPictureLoader(this);
    connect(m_decoder, &AsyncPictureLoader::loaded, this, &Form2::decoded);
    connect(Timer1, &QTimer::timeout, this, &Form2::Timer1_Timer);
    connect(Image1, &ImageBox::clicked, this, &Form2::Image1_Click);
    connect(Label3, &ClickLabel::clicked, this, &Form2::Label3_Click);
}

Form2::~Form2() = default;

void Form2::Form_Load()
{
    Program &p = m_program;
    // 1: an interval the timer cannot take falls back to the default instead of reaching it.
    Timer1->setInterval(timerIntervalMs(p.settings.slideInterval).value_or(kDesignInterval));
    // 2 to 4
    setWindowTitle(Program::appTitle);
    Image1->setStretch(false);
    setBackgroundColor(p.settings.bgColorIndex);
    // 5: from here on a failing step is skipped.
    if (p.showSource == 1) {
        show();
        p.showSource = 0;
        return;
    }
    // 7: the thumbnail view.
    if (p.currentSlot < 0 || p.currentSlot >= Program::kSlotFileCount) {
        return;
    }
    const QString file = p.slotFile[std::size_t(p.currentSlot)];
    p.startForm()->Label1->setText(file);
    setLabelText(file);
    if (p.currentSlot < Program::kSlotCount) {
        showPicture(p.startForm()->open[std::size_t(p.currentSlot)]->picture());
    }
    p.services().setBusy(true);
    centreImage();
    p.services().setBusy(false);
    Label3->setVisible(p.settings.hideFileName != 1);
}

void Form2::Form_Unload()
{
    // While the main window shuts down it is no longer there to be shown, and is not brought back.
    if (m_program.isStartFormLoaded()) {
        m_program.startForm()->show();
    }
}

void Form2::closeEvent(QCloseEvent *event)
{
    // Closed through the window system: the show ends as it does on a click, so that no stale
    // full-screen window comes back at the next touch.
    event->accept();
    if (m_program.isForm2Loaded() && m_program.form2() == this) {
        Form_Click();
    }
}

void Form2::keyPressEvent(QKeyEvent *event)
{
    const int code = vk::fromQtKey(event->key());
    if (code != vk::None) {
        Form_KeyDown(code, vk::shiftState(event->modifiers()));
    }
}

void Form2::mousePressEvent(QMouseEvent *event)
{
    m_pressed = true;
    event->accept();
}

void Form2::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    Form_MouseUp(int(event->button()), vk::shiftState(event->modifiers()), at.x(), at.y());
    if (m_pressed && rect().contains(at)) {
        m_pressed = false;
        Form_Click();
    }
    m_pressed = false;
}

Form2::Hold::Hold(Form2 &show)
    : m_show(show)
    , m_wasRunning(show.Timer1->isActive())
{
    // A running show stands still while a dialog is open, so the dialog acts on the picture that
    // was on show when the key was pressed.
    show.Timer1->stop();
}

Form2::Hold::~Hold()
{
    const Program &p = m_show.m_program;
    if (m_wasRunning && p.isForm2Loaded() && p.peekForm2() == &m_show) {
        m_show.Timer1->start();
    }
}

int Form2::listIndexOf(const QString &path) const
{
    const startfrm *main = m_program.startForm();
    const Qt::CaseSensitivity rule = m_program.services().fileNameCase();
    for (int k = 0; k < main->File1->listCount(); ++k) {
        const QString entry = main->File1->filePath(main->File1->list(k));
        if (paths::same(entry, path, rule)) {
            return k;
        }
    }
    return -1;
}

void Form2::startTimer1()
{
    // Enabling a running timer does not restart its count.
    if (!Timer1->isActive()) {
        Timer1->start();
    }
}

void Form2::displayit()
{
    Program &p = m_program;
    startfrm *main = p.startForm();
    if (labelColor() == palette::kHighlight) {
        Timer1->stop();
    }
    if (labelColor() == palette::kPlain) {
        startTimer1();
    }
    // A position outside the list (the list shrank, or Left with a single entry) is taken
    // round into the list; nothing outside it is read.
    const int count = main->File1->listCount();
    QString path;
    if (count > 0) {
        const int entry = ((p.listPosition % count) + count) % count;
        path = main->File1->filePath(main->File1->list(entry));
    }
    setLabelText(path);
    showFile(path);
    main->Label1->setText(Label3->text());
    centreImage();
    p.listPosition = qint16(p.listPosition + 1);
    showEndPending = 0;
    if (p.showContinuous == 1 && p.listPosition >= count) {
        p.listPosition = 0;
    }
    if (p.showContinuous == 0 && p.listPosition >= count) {
        p.listPosition = 0;
        showEndPending = 1;
    }
    readAhead();
}

void Form2::showFile(const QString &path)
{
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

Picture Form2::pictureFor(const QString &path)
{
    const QFileInfo info(path);
    if (m_ahead.ready && m_ahead.path == path && m_ahead.size == info.size()
        && m_ahead.modified == info.lastModified()) {
        Picture picture = m_ahead.picture;
        dropReadAhead();
        return picture;
    }
    dropReadAhead();
    const pictures::LoadResult result = pictures::loadVisible(path, viewportPixels());
    // A picture that cannot be read shows nothing under its own name, never the one before.
    return result.ok() ? result.picture : Picture();
}

void Form2::readAhead()
{
    // Only a show that steps by itself gains from it.
    if (!m_readAheadEnabled || (!isVisible() && !Timer1->isActive())) {
        return;
    }
    const startfrm *main = m_program.startForm();
    const int count = main->File1->listCount();
    if (count == 0 || m_program.listPosition < 0 || m_program.listPosition >= count) {
        return;
    }
    const QString path = main->File1->filePath(main->File1->list(m_program.listPosition));
    if (m_ahead.path == path) {
        return;
    }
    dropReadAhead();
    const QFileInfo info(path);
    m_ahead.path = path;
    m_ahead.size = info.size();
    m_ahead.modified = info.lastModified();
    m_ahead.ticket = m_decoder->requestVisible(path, viewportPixels());
}

void Form2::dropReadAhead()
{
    if (m_ahead.ticket) {
        m_decoder->cancel(m_ahead.ticket);
    }
    m_ahead = ReadAhead();
}

void Form2::decoded(int ticket, const pictures::LoadResult &result)
{
    if (ticket == m_ahead.ticket) {
        m_ahead.ticket = 0;
        m_ahead.ready = true;
        m_ahead.picture = result.ok() ? result.picture : Picture();
        return;
    }
    sharpPictureDecoded(ticket, result);
}

void Form2::waitForDecodes()
{
    while (m_decoder->pending() > 0) {
        m_decoder->waitForDone();
        QCoreApplication::processEvents();
    }
}

void Form2::Timer1_Timer()
{
    if (showEndPending == 1) {
        showEndPending = 0;
        Image1_Click();
        return;
    }
    displayit();
}

void Form2::Form_Click()
{
    endShow();
}

void Form2::Image1_Click()
{
    endShow();
}

void Form2::endShow()
{
    Program &p = m_program;
    Timer1->stop();
    dropReadAhead();
    p.showSource = 0;
    refreshCaptions(Program::kSlotCount);
    if (p.isStartFormLoaded()) {
        p.startForm()->show();
    }
    p.unloadForm2();
}

void Form2::Form_MouseUp(int, int, int, int)
{
    // A release over the background refreshes the first row's first four captions only; the
    // click it completes refreshes all of them.
    refreshCaptions(4);
}

void Form2::refreshCaptions(int count)
{
    if (m_program.isStartFormLoaded()) {
        m_program.startForm()->refreshCaptionHighlight(count);
    }
}

void Form2::Label3_Click()
{
    Timer1->stop();
    if (!m_program.services().printWidget(this)) {
        m_program.services().messageBox(
            QStringLiteral("The form can't be printed or Cancel is selected.  Please check your "
                           "printer setting up properly."),
            Services::Buttons::Ok, Services::Icon::None, Program::defaultMessageTitle);
    }
}

void Form2::Form_KeyDown(int keyCode, int shift)
{
    Q_UNUSED(shift);
    Program &p = m_program;
    const auto loopRule = [&p]() { p.showContinuous = p.settings.loopMode == 1 ? 1 : 0; };
    switch (keyCode) {
    case vk::F1:
        // Help does not hold the show.
        help::showHelpContents(p);
        break;
    case vk::F7: {
        const Hold hold(*this);
        p.startForm()->renameCurrentFile(Label3->text());
        break;
    }
    case vk::Delete: {
        const Hold hold(*this);
        startfrm *main = p.startForm();
        const int shownIndex = listIndexOf(main->Label1->text());
        // The file after the deleted one moves up into its place; the position follows, so
        // that file is not skipped.
        if (main->deleteCurrentFile() && shownIndex >= 0 && shownIndex < p.listPosition) {
            p.listPosition = qint16(p.listPosition - 1);
        }
        break;
    }
    case vk::Pause:
        if (!Timer1->isActive()) {
            Timer1->start();
            setLabelColor(palette::kPlain);
        } else {
            Timer1->stop();
            setLabelColor(palette::kHighlight);
        }
        break;
    case vk::F2:
        p.settings.bgColorIndex = qint16(palette::advance(p.settings.bgColorIndex));
        if (p.isStartFormLoaded()) {
            p.startForm()->setBackgroundColor(p.settings.bgColorIndex);
        }
        setBackgroundColor(p.settings.bgColorIndex);
        // A failing write is skipped; the colours have already changed.
        p.saveSettings(p.settings.lastFolder);
        break;
    case vk::Left: {
        const int count = p.startForm()->File1->listCount();
        p.listPosition = qint16(p.listPosition - 2);
        if (p.listPosition == -1) {
            p.listPosition = qint16(count - 1);
        }
        if (p.listPosition == -2) {
            p.listPosition = qint16(count - 2);
        }
        loopRule();
        displayit();
        break;
    }
    case vk::Up:
        startTimer1();
        p.showSource = 1;
        loopRule();
        setLabelColor(palette::kPlain);
        break;
    case vk::Right:
        loopRule();
        displayit();
        break;
    case vk::Down:
        Timer1->stop();
        setLabelColor(palette::kHighlight);
        break;
    case vk::PageUp:
    case vk::PageDown: {
        const double factor = keyCode == vk::PageUp ? 1.1 : 0.9;
        Image1->setStretch(true);
        QRectF r = twipRect(Image1);
        r.setWidth(float(float(r.width()) * factor));
        r.setHeight(float(float(r.height()) * factor));
        setTwipRect(Image1, r);
        centreImage();
        break;
    }
    case vk::Home:
        Image1->setStretch(false);
        centreImage();
        break;
    default:
        break;
    }
}

void Form2::centreImage()
{
    // Every change of what is shown ends here; the sharpening waits for the last of them.
    QTimer::singleShot(0, this, &Form2::sharpen);
    const QSizeF screen = m_program.services().screenSizeTwips();
    QRectF r = twipRect(Image1);
    const float top = float(screen.height()) / 2.0f - float(r.height()) / 2.0f;
    r.moveTop(top);
    setTwipRect(Image1, r);
    const float left = float(screen.width()) / 2.0f - float(r.width()) / 2.0f;
    r.moveLeft(left);
    setTwipRect(Image1, r);
}

void Form2::setBackgroundColor(int index)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, palette::color(index));
    setPalette(pal);
}

int Form2::backgroundColor() const
{
    return palette::indexOf(palette().color(QPalette::Window));
}

void Form2::setLabelColor(int index)
{
    QPalette pal = Label3->palette();
    pal.setColor(QPalette::Window, palette::color(index));
    pal.setColor(QPalette::WindowText, Qt::black);
    Label3->setPalette(pal);
}

int Form2::labelColor() const
{
    return palette::indexOf(Label3->palette().color(QPalette::Window));
}

void Form2::setLabelText(const QString &text)
{
    Label3->setText(text);
    Label3->adjustSize(); // the label grows to fit its text
}

QRectF Form2::twipRect(const QWidget *control) const
{
    return controls::twipRect(control, m_tpp);
}

void Form2::setTwipRect(QWidget *control, const QRectF &rect)
{
    controls::setTwipRect(control, rect, m_tpp);
}

void Form2::showPicture(const Picture &picture)
{
    if (m_sharpTicket) {
        m_decoder->cancel(m_sharpTicket);
        m_sharpTicket = 0;
    }
    Image1->setPicture(picture);
}

QSize Form2::viewportPixels() const
{
    return twips::toPixels(QRectF(QPointF(0, 0), m_program.services().screenSizeTwips()), m_tpp)
        .size();
}

QRect Form2::visibleRegion() const
{
    const Picture &picture = Image1->picture();
    const QRect box = Image1->geometry();
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

void Form2::sharpen()
{
    const Picture &picture = Image1->picture();
    const QRect visible = visibleRegion();
    if (picture.file.isEmpty() || visible.isEmpty() || m_sharpTicket) {
        return;
    }
    const QRect held = picture.heldRegion();
    // Image pixels per picture pixel, against screen pixels per picture pixel (never more than
    // one: a picture blown up past its own size has nothing more to give).
    const qreal heldScale = picture.image.isNull() ? 0.0 : qreal(picture.image.width()) / held.width();
    const qreal shownScale = qMin<qreal>(1.0, qreal(Image1->width()) / picture.naturalSize.width());
    if (held.contains(visible) && heldScale >= shownScale * 0.99) {
        return;
    }
    const bool ownSize = !Image1->stretch();
    m_sharpTicket = ownSize ? m_decoder->requestVisible(picture.file, viewportPixels())
                            : m_decoder->request(picture.file, QSize());
}

void Form2::sharpPictureDecoded(int ticket, const pictures::LoadResult &result)
{
    if (ticket != m_sharpTicket) {
        return;
    }
    m_sharpTicket = 0;
    if (result.ok() && result.picture.file == Image1->picture().file) {
        Image1->setPicture(result.picture);
    }
}
