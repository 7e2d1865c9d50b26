#include "AboutBox.h"

#include "app/program.h"
#include "core/twips.h"
#include "platform/controls.h"
#include "platform/services.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <cmath>

const QString AboutBox::makerName = QStringLiteral("Harrowgate Pixelworks");
const QString AboutBox::creditLine = QStringLiteral("Made with care for people who keep pictures.");
const QString AboutBox::postalAddress = QStringLiteral("14 Lantern Row, Millbrook MB4 2QT");
const QString AboutBox::supportLine = QStringLiteral("Support: weekdays 9:00 to 17:00, telephone 555-0142");
const QString AboutBox::webNote = QStringLiteral(
    "For the latest version, visit our web site at www.example.com/veldrane.");

AboutBox::AboutBox(Program &program)
    // A fixed dialog frame with no close button in its title bar: "OK" closes it.
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::MSWindowsFixedSizeDialogHint)
    , m_program(program)
    , m_tpp(program.services().twipsPerPixel())
{
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(twips::toPixels(kDesignWidth, m_tpp), twips::toPixels(kDesignHeight, m_tpp));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 192));
    setPalette(pal);

    Pic_ApplicationIcon = new QLabel(this);
    Pic_ApplicationIcon->setPixmap(style()->standardIcon(QStyle::SP_DesktopIcon).pixmap(32, 32));
    place(Pic_ApplicationIcon, 240, 240, 480, 480);
    Lbl_IconWorks = new QLabel(this);
    QFont title = Lbl_IconWorks->font();
    title.setBold(true);
    title.setPointSize(title.pointSize() + 4);
    Lbl_IconWorks->setFont(title);
    place(Lbl_IconWorks, 960, 240, 5700, 420);
    Lbl_Version = new QLabel(this);
    place(Lbl_Version, 960, 720, 5700, 300);
    Lbl_Dozodoziv = new QLabel(makerName, this);
    place(Lbl_Dozodoziv, 960, 1080, 5700, 300);
    Label1 = new QLabel(creditLine, this);
    Label1->setWordWrap(true);
    place(Label1, 960, 1440, 5700, 540);
    auto *lin_HorizontalLine1 = new QFrame(this);
    lin_HorizontalLine1->setFrameShape(QFrame::HLine);
    lin_HorizontalLine1->setFrameShadow(QFrame::Sunken);
    place(lin_HorizontalLine1, 240, 2100, 6450, 60);
    Lbl_Info = new QLabel(this);
    Lbl_Info->setWordWrap(true);
    place(Lbl_Info, 240, 2280, 6450, 480);
    Lbl_InfoValues = new QLabel(this);
    Lbl_InfoValues->setWordWrap(true);
    place(Lbl_InfoValues, 240, 2820, 6450, 480);
    Text1 = new QLineEdit(this);
    Text1->setReadOnly(true);
    Text1->setFrame(false);
    place(Text1, 240, 3420, 6450, 780);
    Cmd_OK = new QPushButton(QStringLiteral("OK"), this);
    Cmd_OK->setDefault(true);
    place(Cmd_OK, 5250, 4500, 1440, 540);
    connect(Cmd_OK, &QPushButton::clicked, this, &AboutBox::Cmd_OK_Click);
}

AboutBox::~AboutBox() = default;

void AboutBox::place(QWidget *control, float left, float top, float width, float height)
{
    controls::setTwipRect(control, QRectF(left, top, width, height), m_tpp);
}

void AboutBox::Form_Load()
{
    // Above every window of every program, so it is never lost behind a full-screen show.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const QSizeF screen = m_program.services().screenSizeTwips();
    // Each difference is rounded to whole twips, then halved with the fraction dropped.
    const int left = int(std::nearbyint(screen.width() - kDesignWidth)) / 2;
    const int top = int(std::nearbyint(screen.height() - kDesignHeight)) / 2;
    controls::setTwipRect(this, QRectF(left, top, kDesignWidth, kDesignHeight), m_tpp);
    Lbl_IconWorks->setText(Program::appTitle);
    Lbl_Info->setText(postalAddress);
    Lbl_InfoValues->setText(supportLine);
    Lbl_Version->setText(Program::appVersion);
    Text1->setText(webNote);
    Text1->setCursorPosition(0);
}

void AboutBox::Cmd_OK_Click()
{
    m_program.unloadAboutBox();
}

void AboutBox::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_program.isAboutBoxLoaded() && m_program.aboutBox() == this) {
        m_program.unloadAboutBox();
    }
}
