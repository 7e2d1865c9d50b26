#include "setupdialog.h"

#include "app/program.h"
#include "core/palette.h"
#include "core/settings.h"
#include "core/twips.h"
#include "platform/controls.h"
#include "platform/lists.h"
#include "platform/services.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

SetupDialog::SetupDialog(Program &program)
    : QWidget(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , m_program(program)
    , m_tpp(program.services().twipsPerPixel())
{
    setObjectName(QStringLiteral("Form4"));
    setFixedSize(twips::toPixels(kDesignWidth, m_tpp), twips::toPixels(kDesignHeight, m_tpp));

    auto *intervalLabel
        = new QLabel(QStringLiteral("Timer interval between each image, in sec."), this);
    intervalLabel->setWordWrap(true);
    controls::place(intervalLabel, "Label1", QRectF(60, 60, 2475, 675), m_tpp);
    m_intervalField = new CaptionBox(this);
    controls::place(m_intervalField, "Text1", QRectF(2640, 120, 495, 435), m_tpp);
    m_intervalField->setAccessibleName(QStringLiteral("Timer interval in seconds"));
    m_intervalField->setAccessibleDescription(
        QStringLiteral("Seconds between the pictures of a slide show"));

    auto *loopModeFrame = new QGroupBox(QStringLiteral("Loop Mode"), this);
    controls::place(loopModeFrame, "Frame1", QRectF(60, 840, 3375, 735), m_tpp);
    m_singleOption = new QRadioButton(QStringLiteral("Single"), loopModeFrame);
    controls::place(m_singleOption, "Option1", QRectF(120, 360, 2235, 315), m_tpp);
    m_continuousOption = new QRadioButton(QStringLiteral("Continuous"), loopModeFrame);
    controls::place(m_continuousOption, "Option2", QRectF(1680, 360, 1575, 315), m_tpp);
    m_continuousOption->setChecked(true);

    m_hideFileNameBox = new QCheckBox(QStringLiteral("Hide file name on full screen"), this);
    controls::place(m_hideFileNameBox, "Check1", QRectF(120, 1740, 3315, 375), m_tpp);
    auto *colourLabel = new QLabel(QStringLiteral("Background Color"), this);
    controls::place(colourLabel, "Label2", QRectF(120, 2280, 2115, 375), m_tpp);
    m_swatch = new CaptionBox(this);
    m_swatch->setReadOnly(true);
    m_swatch->setCursor(Qt::PointingHandCursor);
    m_swatch->setAccessibleName(QStringLiteral("Background Color"));
    m_swatch->setAccessibleDescription(
        QStringLiteral("A click or Space steps to the next colour of the slide show's background"));
    controls::place(m_swatch, "Text2", QRectF(2340, 2220, 675, 495), m_tpp);

    auto *saveButton = new QPushButton(QStringLiteral("Save"), this);
    controls::place(saveButton, "Command1", QRectF(420, 2880, 1275, 555), m_tpp);
    auto *cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    controls::place(cancelButton, "Command2", QRectF(1860, 2880, 1275, 555), m_tpp);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    controls::place(line, "Line1", QRectF(0, 3510, 3480, 60), m_tpp);
    auto *printSetupButton = new QPushButton(QStringLiteral("Print Setup"), this);
    controls::place(printSetupButton, "Command3", QRectF(420, 3660, 2715, 615), m_tpp);

    // Tab order by tab index: Text1, Label1, Command1, Frame1, Option1, Option2, Label2, Text2,
    // Command2, Command3, Check1 (labels and the frame take no focus).
    setTabOrder(m_intervalField, saveButton);
    setTabOrder(saveButton, m_singleOption);
    setTabOrder(m_singleOption, m_continuousOption);
    setTabOrder(m_continuousOption, m_swatch);
    setTabOrder(m_swatch, cancelButton);
    setTabOrder(cancelButton, printSetupButton);
    setTabOrder(printSetupButton, m_hideFileNameBox);

    // Connected after the design state is set: only changes made from here on run handlers.
    connect(m_intervalField, &CaptionBox::lostFocus, this, &SetupDialog::Text1_LostFocus);
    connect(m_swatch, &CaptionBox::clicked, this, &SetupDialog::text2_Click);
    connect(m_singleOption, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option1_Click();
        }
    });
    connect(m_continuousOption, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option2_Click();
        }
    });
    connect(m_hideFileNameBox, &QCheckBox::toggled, this, &SetupDialog::Check1_Click);
    connect(saveButton, &QPushButton::clicked, this, &SetupDialog::Command1_Click);
    connect(cancelButton, &QPushButton::clicked, this, &SetupDialog::Command2_Click);
    connect(printSetupButton, &QPushButton::clicked, this, &SetupDialog::Command3_Click);
    connect(
        &program.settingsModel(), &ProgramSettings::changed, this, &SetupDialog::followSettings);
}

SetupDialog::~SetupDialog()
{
    controls::disconnectControls(this);
}

void SetupDialog::Form_Load()
{
    Program &p = m_program;
    ProgramSettings &settings = p.settingsModel();
    setWindowTitle(Program::appTitle);
    // Centred by its outer size, its own window frame included (a maximised window's differs).
    const QSizeF screen = p.services().screenSizeTwips();
    const QMargins frame = controls::windowFrameFor(this);
    const float outerWidth = kDesignWidth + twips::fromPixels(frame.left() + frame.right(), m_tpp);
    const float outerHeight
        = kDesignHeight + twips::fromPixels(frame.top() + frame.bottom(), m_tpp);
    const float left = (float(screen.width()) - outerWidth) / 2.0f;
    const float top = (float(screen.height()) - outerHeight) / 2.0f;
    move(twips::toPixels(left, m_tpp), twips::toPixels(top, m_tpp));

    // A file that cannot be read (gone since start-up, or damaged by hand) leaves the dialog
    // showing the settings in memory.
    settings.readWhole();
    const Settings &values = settings.values();
    m_intervalField->setText(intervalText(values.slideInterval));
    settings.setBgColorIndex(values.savedColorIndex);
    setSwatchColor(values.bgColorIndex);
    if (values.loopMode == 0) {
        m_singleOption->setChecked(true);
    }
    m_hideFileNameBox->setChecked(values.hideFileName != 0);
}

void SetupDialog::followSettings()
{
    const float interval = m_program.settings().slideInterval;
    if (parseIntervalText(m_intervalField->text()) != interval) {
        m_intervalField->setText(intervalText(interval));
    }
}

void SetupDialog::Text1_LostFocus()
{
    const auto typed = parseIntervalText(m_intervalField->text());
    const float interval = validatedInterval(typed);
    if (!typed || *typed != interval) {
        m_intervalField->setText(intervalText(Settings::kDefaultInterval));
    }
    m_program.settingsModel().setSlideInterval(interval);
}

void SetupDialog::text2_Click()
{
    ProgramSettings &settings = m_program.settingsModel();
    settings.setBgColorIndex(palette::advance(settings.values().bgColorIndex));
    setSwatchColor(settings.values().bgColorIndex);
}

void SetupDialog::Option1_Click()
{
    m_program.settingsModel().setLoopMode(0);
}

void SetupDialog::Option2_Click()
{
    m_program.settingsModel().setLoopMode(1);
}

void SetupDialog::Check1_Click()
{
    m_program.settingsModel().setHideFileName(m_hideFileNameBox->isChecked() ? 1 : 0);
}

void SetupDialog::Command1_Click()
{
    Program &p = m_program;
    ProgramSettings &settings = p.settingsModel();
    // The same check as at focus loss, for an interval typed and saved straight away.
    settings.setSlideInterval(validatedInterval(parseIntervalText(m_intervalField->text())));
    settings.setSavedColorIndex(settings.values().bgColorIndex);
    settings.save(p.folder().path());
    p.unload(Program::Window::Setup);
    // The windows that are there take the colour and the file-name switch; one loaded later
    // reads them at its load.
    settings.wearBackgroundColor();
    settings.applyFileNameSwitch();
    showMainWindow();
}

void SetupDialog::Command2_Click()
{
    m_program.unload(Program::Window::Setup);
    showMainWindow();
}

void SetupDialog::Command3_Click()
{
    Services &services = m_program.services();
    if (services.setUpPrinter() == Services::PrinterSetup::NoPrinter) {
        services.messageBox(QStringLiteral("No printer is installed.  Please install a printer, "
                                           "then choose Print Setup again."),
            Services::Buttons::Ok, Services::Icon::Information, Program::appTitle);
    }
    m_program.unload(Program::Window::Setup);
    showMainWindow();
}

void SetupDialog::Form_Unload()
{
    showMainWindow();
}

void SetupDialog::showMainWindow()
{
    if (m_program.isMainWindowLoaded()) {
        m_program.mainWindow()->widget()->show();
    }
}

void SetupDialog::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_program.isCurrent(this)) {
        m_program.unload(Program::Window::Setup);
    }
}

void SetupDialog::setSwatchColor(int index)
{
    m_swatch->setBackground(palette::color(index));
}

int SetupDialog::swatchColor() const
{
    return palette::indexOf(m_swatch->background());
}
