#include "Form2.h"

#include "app/program.h"
#include "browser/startfrm.h"
#include "core/palette.h"
#include "core/settings.h"
#include "platform/asyncpictureloader.h"
#include "platform/controls.h"
#include "platform/services.h"

#include <QCloseEvent>
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
    setTwipRect(Label3, QRectF(0, 0, 1140, 330));
    setLabelColor(palette::kPlain);

    Image1 = new ImageBox(m_tpp, this);
    Image1->setFocusPolicy(Qt::NoFocus);
    setTwipRect(Image1, QRectF(0, 0, 9375, 6615));
    Image1->raise(); // the picture lies above the label

    Timer1 = new QTimer(this);
    Timer1->setInterval(kDesignInterval);

    m_decoder = new AsyncPictureLoader(this);
    connect(m_decoder, &AsyncPictureLoader::loaded, this, &Form2::sharpPictureDecoded);
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
    event->accept();
    if (m_program.isForm2Loaded() && m_program.form2() == this) {
        m_program.unloadForm2();
    }
}

void Form2::centreImage()
{
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
    if (!picture.isEmpty() && picture.image.size() != picture.naturalSize) {
        m_sharpTicket = m_decoder->request(picture.file, QSize());
    }
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
