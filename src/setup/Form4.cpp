#include "Form4.h"

#include "app/program.h"
#include "browser/startfrm.h"
#include "core/palette.h"
#include "core/settings.h"
#include "core/twips.h"
#include "platform/controls.h"
#include "platform/services.h"
#include "slideshow/Form2.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

Form4::Form4(Program &program)
    : QWidget(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , m_program(program)
    , m_tpp(program.services().twipsPerPixel())
{
    setFixedSize(twips::toPixels(kDesignWidth, m_tpp), twips::toPixels(kDesignHeight, m_tpp));

    Label1 = new QLabel(QStringLiteral("Timer interval between each image, in sec."), this);
    Label1->setWordWrap(true);
    place(Label1, 60, 60, 2475, 675);
    Text1 = new CaptionBox(this);
    place(Text1, 2640, 120, 495, 435);

    Frame1 = new QGroupBox(QStringLiteral("Loop Mode"), this);
    place(Frame1, 60, 840, 3375, 735);
    Option1 = new QRadioButton(QStringLiteral("Single"), Frame1);
    place(Option1, 120, 360, 2235, 315);
    Option2 = new QRadioButton(QStringLiteral("Continuous"), Frame1);
    place(Option2, 1680, 360, 1575, 315);
    Option2->setChecked(true);

    Check1 = new QCheckBox(QStringLiteral("Hide file name on full screen"), this);
    place(Check1, 120, 1740, 3315, 375);
    Label2 = new QLabel(QStringLiteral("Background Color"), this);
    place(Label2, 120, 2280, 2115, 375);
    Text2 = new CaptionBox(this);
    Text2->setReadOnly(true);
    Text2->setCursor(Qt::PointingHandCursor);
    place(Text2, 2340, 2220, 675, 495);

    Command1 = new QPushButton(QStringLiteral("Save"), this);
    place(Command1, 420, 2880, 1275, 555);
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    place(Command2, 1860, 2880, 1275, 555);
    auto *line1 = new QFrame(this);
    line1->setFrameShape(QFrame::HLine);
    line1->setFrameShadow(QFrame::Sunken);
    place(line1, 0, 3510, 3480, 60);
    Command3 = new QPushButton(QStringLiteral("Print Setup"), this);
    place(Command3, 420, 3660, 2715, 615);

    // Tab order by tab index: Text1, Label1, Command1, Frame1, Option1, Option2, Label2, Text2,
    // Command2, Command3, Check1 (labels and the frame take no focus).
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Option1);
    setTabOrder(Option1, Option2);
    setTabOrder(Option2, Text2);
    setTabOrder(Text2, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Check1);

    // Connected after the design state is set: only changes made from here on run handlers.
    connect(Text1, &CaptionBox::lostFocus, this, &Form4::Text1_LostFocus);
    connect(Text2, &CaptionBox::clicked, this, &Form4::text2_Click);
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option1_Click();
        }
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option2_Click();
        }
    });
    connect(Check1, &QCheckBox::toggled, this, &Form4::Check1_Click);
    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form4::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form4::Command3_Click);
}

Form4::~Form4() = default;

void Form4::place(QWidget *control, float left, float top, float width, float height)
{
    controls::setTwipRect(control, QRectF(left, top, width, height), m_tpp);
}

void Form4::Form_Load()
{
    Program &p = m_program;
    setWindowTitle(Program::appTitle);
    const QSizeF screen = p.services().screenSizeTwips();
    const float left = (float(screen.width()) - kDesignWidth) / 2.0f;
    const float top = (float(screen.height()) - kDesignHeight) / 2.0f;
    move(twips::toPixels(left, m_tpp), twips::toPixels(top, m_tpp));

    // A file that cannot be read (gone since start-up, or damaged by hand) leaves the dialog
    // showing the settings in memory.
    const Settings before = p.settings;
    if (!p.readSettings()) {
        p.settings = before;
    }
    Text1->setText(intervalText(p.settings.slideInterval));
    p.settings.bgColorIndex = p.settings.savedColorIndex;
    setSwatchColor(p.settings.bgColorIndex);
    if (p.settings.loopMode == 0) {
        Option1->setChecked(true);
    }
    Check1->setChecked(p.settings.hideFileName != 0);
}

void Form4::Text1_LostFocus()
{
    const auto typed = parseIntervalText(Text1->text());
    const float interval = validatedInterval(typed);
    if (!typed || *typed != interval) {
        Text1->setText(QStringLiteral("3"));
    }
    m_program.settings.slideInterval = interval;
    m_program.form2()->Timer1->setInterval(*timerIntervalMs(interval));
}

void Form4::text2_Click()
{
    m_program.settings.bgColorIndex = qint16(palette::advance(m_program.settings.bgColorIndex));
    setSwatchColor(m_program.settings.bgColorIndex);
}

void Form4::Option1_Click()
{
    m_program.settings.loopMode = 0;
}

void Form4::Option2_Click()
{
    m_program.settings.loopMode = 1;
}

void Form4::Check1_Click()
{
    m_program.settings.hideFileName = Check1->isChecked() ? 1 : 0;
}

void Form4::Command1_Click()
{
    Program &p = m_program;
    // The same check as at focus loss, for an interval typed and saved straight away.
    p.settings.slideInterval = validatedInterval(parseIntervalText(Text1->text()));
    p.settings.savedColorIndex = p.settings.bgColorIndex;
    p.saveSettings(p.startForm()->File1->path());
    p.unloadForm4();
    p.startForm()->setBackgroundColor(p.settings.bgColorIndex);
    Form2 *show = p.form2();
    show->setBackgroundColor(p.settings.bgColorIndex);
    show->Label3->setVisible(p.settings.hideFileName != 1);
    p.startForm()->show();
}

void Form4::Command2_Click()
{
    m_program.unloadForm4();
    showMainWindow();
}

void Form4::Command3_Click()
{
    m_program.services().printerSetup();
    m_program.unloadForm4();
    showMainWindow();
}

void Form4::Form_Unload()
{
    showMainWindow();
}

void Form4::showMainWindow()
{
    if (m_program.isStartFormLoaded()) {
        m_program.startForm()->show();
    }
}

void Form4::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_program.isForm4Loaded() && m_program.form4() == this) {
        m_program.unloadForm4();
    }
}

void Form4::setSwatchColor(int index)
{
    Text2->setBackground(palette::color(index));
}

int Form4::swatchColor() const
{
    return palette::indexOf(Text2->background());
}
