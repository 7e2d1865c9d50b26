#include "aboutbox.h"

#include "app/program.h"
#include "core/twips.h"
#include "platform/controls.h"
#include "platform/services.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

#include <cmath>

const QString AboutBox::makerName = QStringLiteral("Harrowgate Pixelworks");
const QString AboutBox::creditLine = QStringLiteral("Made with care for people who keep pictures.");
const QString AboutBox::postalAddress = QStringLiteral("14 Lantern Row, Millbrook MB4 2QT");
const QString AboutBox::supportLine
    = QStringLiteral("Support: weekdays 9:00 to 17:00, telephone 555-0142");
const QString AboutBox::webNote
    = QStringLiteral("For the latest version, visit our web site at www.example.com/veldrane.");

AboutBox::AboutBox(Program &program)
    // A fixed dialog frame with no close button in its title bar: "OK" closes it.
    : QWidget(nullptr,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
            | Qt::MSWindowsFixedSizeDialogHint)
    , m_program(program)
    , m_tpp(program.services().twipsPerPixel())
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(twips::toPixels(kDesignWidth, m_tpp), twips::toPixels(kDesignHeight, m_tpp));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 192));
    setPalette(pal);

    auto *icon = new QLabel(this);
    icon->setPixmap(windowIcon().pixmap(32, 32));
    controls::place(icon, "Pic_ApplicationIcon", QRectF(240, 240, 480, 480), m_tpp);
    m_titleLabel = new QLabel(this);
    QFont title = m_titleLabel->font();
    title.setBold(true);
    title.setPointSize(title.pointSize() + 4);
    m_titleLabel->setFont(title);
    controls::place(m_titleLabel, "Lbl_IconWorks", QRectF(960, 240, 5700, 420), m_tpp);
    m_versionLabel = new QLabel(this);
    controls::place(m_versionLabel, "Lbl_Version", QRectF(960, 720, 5700, 300), m_tpp);
    controls::place(
        new QLabel(makerName, this), "Lbl_Dozodoziv", QRectF(960, 1080, 5700, 300), m_tpp);
    auto *credit = new QLabel(creditLine, this);
    credit->setWordWrap(true);
    controls::place(credit, "Label1", QRectF(960, 1440, 5700, 540), m_tpp);
    auto *rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    controls::place(rule, "lin_HorizontalLine1", QRectF(240, 2100, 6450, 60), m_tpp);
    m_addressLabel = new QLabel(this);
    m_addressLabel->setWordWrap(true);
    controls::place(m_addressLabel, "Lbl_Info", QRectF(240, 2280, 6450, 480), m_tpp);
    m_supportLabel = new QLabel(this);
    m_supportLabel->setWordWrap(true);
    controls::place(m_supportLabel, "Lbl_InfoValues", QRectF(240, 2820, 6450, 480), m_tpp);
    // A text box that wraps, so the whole note is seen, not the start of one long line.
    m_webNote = new QPlainTextEdit(this);
    m_webNote->setReadOnly(true);
    m_webNote->setFrameShape(QFrame::NoFrame);
    m_webNote->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_webNote->viewport()->setAutoFillBackground(false);
    controls::place(m_webNote, "Text1", QRectF(240, 3420, 6450, 780), m_tpp);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    controls::place(ok, "Cmd_OK", QRectF(5250, 4500, 1440, 540), m_tpp);
    connect(ok, &QPushButton::clicked, this, &AboutBox::Cmd_OK_Click);
}

AboutBox::~AboutBox()
{
    controls::disconnectControls(this);
}

void AboutBox::Form_Load()
{
    // Above every window of every program, so it is never lost behind a full-screen show.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const QSizeF screen = m_program.services().screenSizeTwips();
    // Each difference is rounded to whole twips, then halved with the fraction dropped.
    // The outer size counts, the window frame included; the inner area sits inside the frame.
    const QMargins frame = controls::windowFrame();
    const float frameLeft = twips::fromPixels(frame.left(), m_tpp);
    const float frameTop = twips::fromPixels(frame.top(), m_tpp);
    const float outerWidth = kDesignWidth + frameLeft + twips::fromPixels(frame.right(), m_tpp);
    const float outerHeight = kDesignHeight + frameTop + twips::fromPixels(frame.bottom(), m_tpp);
    const int left = int(std::nearbyint(screen.width() - outerWidth)) / 2;
    const int top = int(std::nearbyint(screen.height() - outerHeight)) / 2;
    controls::setTwipRect(
        this, QRectF(left + frameLeft, top + frameTop, kDesignWidth, kDesignHeight), m_tpp);
    m_titleLabel->setText(Program::appTitle);
    m_addressLabel->setText(postalAddress);
    m_supportLabel->setText(supportLine);
    m_versionLabel->setText(Program::appVersion);
    m_webNote->setPlainText(webNote);
}

void AboutBox::Cmd_OK_Click()
{
    // Closed as its close box closes it: when it is the program's last window, the program ends.
    close();
}

void AboutBox::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_program.isCurrent(this)) {
        m_program.unload(Program::Window::About);
    }
}
