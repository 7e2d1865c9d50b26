#include "startfrm.h"

#include "app/program.h"
#include "core/fit.h"
#include "core/keycodes.h"
#include "core/palette.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/settingsfile.h"
#include "core/twips.h"
#include "help/help.h"
#include "pictures/asyncpictureloader.h"
#include "platform/controls.h"
#include "platform/services.h"
#include "setup/Form4.h"
#include "slideshow/Form2.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <cmath>

using layout::ControlKind;

startfrm::startfrm(Program &program)
    : m_program(program)
    , m_tpp(program.services().twipsPerPixel())
{
    m_inner = new QWidget(this);
    m_inner->setAutoFillBackground(true);
    m_inner->installEventFilter(this);
    setCentralWidget(m_inner);
    m_decoder = new AsyncPictureLoader(this);
    connect(m_decoder, &AsyncPictureLoader::loaded, this, &startfrm::thumbnailDecoded);
    m_sharpenTimer = new QTimer(this);
    m_sharpenTimer->setSingleShot(true);
    m_sharpenTimer->setInterval(150);
    connect(m_sharpenTimer, &QTimer::timeout, this, &startfrm::sharpenThumbnails);
    createMenu();
    createControls();
    m_inner->resize(designInnerPixels());
    resize(designInnerPixels() + QSize(0, menuBar()->sizeHint().height()));
    qApp->installEventFilter(this);
}

startfrm::~startfrm()
{
    qApp->removeEventFilter(this);
}

QSize startfrm::designInnerPixels() const
{
    return QSize(twips::toPixels(kDesignWidth, m_tpp), twips::toPixels(kDesignHeight, m_tpp));
}

QAction *startfrm::addMenuItem(QMenu *menu, const QString &caption)
{
    QAction *action = menu ? menu->addAction(caption) : menuBar()->addAction(caption);
    m_controls.push_back({ ControlKind::MenuItem, nullptr });
    return action;
}

void startfrm::createMenu()
{
    setup = addMenuItem(nullptr, QStringLiteral("&Setup"));
    loopits = addMenuItem(nullptr, QStringLiteral("&Loop"));
    // Reached only through "&Loop": defined hidden and disabled.
    autoAction = addMenuItem(nullptr, QStringLiteral("&Auto"));
    autoAction->setVisible(false);
    autoAction->setEnabled(false);
    autoloop = addMenuItem(nullptr, QStringLiteral("Auto &Loop"));
    autoloop->setVisible(false);
    autoloop->setEnabled(false);
    reset = addMenuItem(nullptr, QStringLiteral("&Reset"));
    clear = addMenuItem(nullptr, QStringLiteral("&Clear"));
    printscreen = addMenuItem(nullptr, QStringLiteral("&Print"));
    rename = addMenuItem(nullptr, QStringLiteral("Re&name"));
    deleteit = addMenuItem(nullptr, QStringLiteral("&Delete"));
    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    m_controls.push_back({ ControlKind::MenuItem, nullptr });
    contents = addMenuItem(help, QStringLiteral("Contents"));
    help->addSeparator();
    m_controls.push_back({ ControlKind::MenuItem, nullptr });
    about = addMenuItem(help, QStringLiteral("About"));
    exit = addMenuItem(nullptr, QStringLiteral("&Exit"));

    connect(setup, &QAction::triggered, this, &startfrm::setup_Click);
    connect(printscreen, &QAction::triggered, this, &startfrm::printscreen_Click);
    connect(loopits, &QAction::triggered, this, &startfrm::loopits_Click);
    connect(autoAction, &QAction::triggered, this, &startfrm::auto_Click);
    connect(autoloop, &QAction::triggered, this, &startfrm::autoloop_Click);
    connect(rename, &QAction::triggered, this, &startfrm::rename_Click);
    connect(deleteit, &QAction::triggered, this, &startfrm::deleteit_Click);
    connect(contents, &QAction::triggered, this, &startfrm::contents_Click);
    connect(about, &QAction::triggered, this, &startfrm::about_Click);
    connect(reset, &QAction::triggered, this, &startfrm::reset_Click);
    connect(clear, &QAction::triggered, this, &startfrm::clear_Click);
    connect(exit, &QAction::triggered, this, &startfrm::exit_Click);
}

void startfrm::placeAtDesign(QWidget *control, float left, float top, float width, float height)
{
    setTwipRect(control, QRectF(left, top, width, height));
}

void startfrm::createControls()
{
    Picture1 = new PictureBox(m_tpp, m_inner);
    Picture1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    Picture1->setToolTip(QStringLiteral("Hot keys"));
    placeAtDesign(Picture1, 120, 120, 480, 480);
    m_controls.push_back({ ControlKind::PictureBox, Picture1 });

    Picture2 = new PictureBox(m_tpp, m_inner);
    Picture2->hide(); // the loader is never seen
    placeAtDesign(Picture2, 720, 120, 480, 480);
    m_controls.push_back({ ControlKind::PictureBox, Picture2 });

    Drive1 = new DriveList(m_inner);
    placeAtDesign(Drive1, 120, 840, 1995, 315);
    m_controls.push_back({ ControlKind::DriveList, Drive1 });

    Dir1 = new DirList(m_inner);
    placeAtDesign(Dir1, 120, 1200, 1995, 1155);
    m_controls.push_back({ ControlKind::Other, Dir1 });

    // The reference box lies beneath the file list, where nobody sees or reaches it.
    Image1 = new ImageBox(m_tpp, m_inner);
    placeAtDesign(Image1, 1800, 5820, 255, 255);
    m_controls.push_back({ ControlKind::Other, Image1 });

    File1 = new FileList(m_inner);
    placeAtDesign(File1, 120, 2400, 1995, 3930);
    m_controls.push_back({ ControlKind::Other, File1 });

    for (int i = 0; i < Program::kSlotCount; ++i) {
        const int c = i % 5;
        const int r = i / 5;
        const float left = 2220.0f + 1440.0f * float(c);
        open[i] = new ImageBox(m_tpp, m_inner);
        open[i]->setObjectName(QStringLiteral("open%1").arg(i));
        open[i]->setOutlinedWhenEmpty(true);
        if (r < 3) {
            placeAtDesign(open[i], left, 120.0f + 1440.0f * float(r), 1455, 1155);
        } else {
            placeAtDesign(open[i], left, 4440, 1455, 1215);
        }
        m_controls.push_back({ ControlKind::Other, open[i] });
    }
    for (int i = 0; i < Program::kSlotCount; ++i) {
        const int c = i % 5;
        const int r = i / 5;
        const float left = 2220.0f + 1440.0f * float(c);
        filename[i] = new CaptionBox(m_inner);
        filename[i]->setObjectName(QStringLiteral("filename%1").arg(i));
        filename[i]->setBackground(palette::color(palette::kPlain));
        placeAtDesign(filename[i], left, r < 3 ? 1260.0f + 1440.0f * float(r) : 5640.0f, 1455, 285);
        m_controls.push_back({ ControlKind::Other, filename[i] });
    }

    Label1 = new QLabel(m_inner);
    Label1->setAutoFillBackground(true);
    Label1->setTextInteractionFlags(Qt::NoTextInteraction);
    placeAtDesign(Label1, 2220, 6000, 7215, 315);
    m_controls.push_back({ ControlKind::Other, Label1 });

    Image1->lower();
    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, File1);

    connect(Drive1, &DriveList::changed, this, &startfrm::Drive1_Change);
    connect(Dir1, &DirList::changed, this, &startfrm::Dir1_Change);
    connect(Picture1, &PictureBox::clicked, this, &startfrm::Picture1_Click);
    connect(File1, &FileList::mouseUp, this, &startfrm::File1_MouseUp);
    connect(File1, &FileList::mouseDown, this, &startfrm::File1_MouseDown);
    connect(File1, &FileList::keyUp, this, &startfrm::File1_KeyUp);
    for (int i = 0; i < Program::kSlotCount; ++i) {
        open[i]->setAcceptDrops(true);
        connect(open[i], &ImageBox::mouseUp, this,
                [this, i](int button, int shift, int x, int y) { open_MouseUp(i, button, shift, x, y); });
        connect(open[i], &ImageBox::dropped, this, [this, i]() { open_DragDrop(i); });
        connect(filename[i], &CaptionBox::gotFocus, this, [this, i]() { filename_GotFocus(i); });
        connect(filename[i], &CaptionBox::lostFocus, this, [this, i]() { filename_LostFocus(i); });
    }
}

QSizeF startfrm::innerSize() const
{
    if (!m_shown) {
        return QSizeF(kDesignWidth, kDesignHeight);
    }
    return QSizeF(twips::fromPixels(m_inner->width(), m_tpp),
                  twips::fromPixels(m_inner->height(), m_tpp));
}

QRectF startfrm::twipRect(const QWidget *control) const
{
    return controls::twipRect(control, m_tpp);
}

void startfrm::setTwipRect(QWidget *control, const QRectF &rect)
{
    controls::setTwipRect(control, rect, m_tpp);
}

void startfrm::setBackgroundColor(int index)
{
    QPalette p = m_inner->palette();
    p.setColor(QPalette::Window, palette::color(index));
    m_inner->setPalette(p);
}

int startfrm::backgroundColor() const
{
    return palette::indexOf(m_inner->palette().color(QPalette::Window));
}

void startfrm::Form_Load()
{
    Program &p = m_program;
    Services &services = p.services();

    // 1
    setWindowTitle(Program::appTitle);
    // 2
    m_proportionTable.assign(m_controls.size(), layout::ControlProportion());
    arrayInitialize();
    // 3: centred, so that a restore from maximised lands in the middle of the screen.
    const QSizeF screen = services.screenSizeTwips();
    const float widthTwips = twips::fromPixels(width(), m_tpp);
    const float heightTwips = twips::fromPixels(height(), m_tpp);
    const float left = (float(screen.width()) - widthTwips) / 2.0f;
    const float top = (float(screen.height()) - heightTwips) / 2.0f;
    move(twips::toPixels(left, m_tpp), twips::toPixels(top, m_tpp));
    // 4
    p.currentSlot = 0;
    // 5, every failure ignored
    Drive1->setRoots(services.volumeRoots());
    if (Drive1->setDrive(p.systemProgramFolder())) {
        Dir1->setPath(p.systemProgramFolder());
    }
    // 6
    m_shown = true;
    showMaximized();
    // Let the window system finish maximising, so that the slot geometry recorded below is the
    // maximised one. The user's input waits until start-up is done: a key here would act on
    // settings not yet read.
    const QDeadlineTimer deadline(500);
    while (!deadline.hasExpired() && !(windowHandle() && windowHandle()->isExposed()
                                       && windowHandle()->windowStates() & Qt::WindowMaximized)) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // 7
    p.computePaths();
    // 8: from here on a failing step writes the defaults and start-up goes on with the next.
    auto step = [this](bool ok) {
        if (!ok) {
            writeDefaultSettings();
        }
    };
    // 9
    step(p.readSettings());
    // 10, 11
    step(Drive1->setDrive(p.settings.lastFolder));
    step(Dir1->setPath(p.settings.lastFolder));
    // 12
    for (int i = 0; i < Program::kSlotCount; ++i) {
        const QRectF r = twipRect(open[i]);
        p.slotHeight[i] = int(std::nearbyint(r.height()));
        p.slotLeft[i] = int(std::nearbyint(r.left()));
        p.slotTop[i] = int(std::nearbyint(r.top()));
        p.slotWidth[i] = int(std::nearbyint(r.width()));
    }
    // 13: touching the Setup dialog loads it, and its load reads the file again.
    Form4 *setupDialog = p.form4();
    setupDialog->Text1->setText(intervalText(p.settings.slideInterval));
    // 14
    p.settings.bgColorIndex = p.settings.savedColorIndex;
    setupDialog->setSwatchColor(p.settings.bgColorIndex);
    // 15
    // An interval the timer cannot take never reaches it: it is replaced by the default, as the
    // Setup dialog replaces one, and the file by the defaults.
    Form2 *show = p.form2();
    const auto interval = timerIntervalMs(p.settings.slideInterval);
    if (!interval) {
        p.settings.slideInterval = Settings::kDefaultInterval;
        setupDialog->Text1->setText(intervalText(p.settings.slideInterval));
    }
    show->Timer1->setInterval(*timerIntervalMs(p.settings.slideInterval));
    step(interval.has_value());
    // 16
    setBackgroundColor(p.settings.bgColorIndex);
}

void startfrm::writeDefaultSettings()
{
    Program &p = m_program;
    const Settings defaults = Settings::defaults(p.systemProgramFolder());
    if (!p.settingsPath.isEmpty()
        && SettingsFile(p.settingsPath).save(defaults, defaults.lastFolder)) {
        return;
    }
    // The defaults could not be written, so no later read will bring them in: put them in force
    // here, as a read of the written file would have.
    const QString folder = p.settings.lastFolder;
    p.settings = defaults;
    p.settings.lastFolder = folder;
}

void startfrm::arrayInitialize()
{
    for (std::size_t k = 0; k < m_controls.size(); ++k) {
        const Control &control = m_controls[k];
        if (!control.widget) {
            continue;
        }
        if (const auto proportion = layout::record(control.kind, twipRect(control.widget), innerSize())) {
            m_proportionTable[k] = *proportion;
        }
    }
}

void startfrm::Form_Resize()
{
    const QSizeF inner = innerSize();
    // A minimised window has no inner area; there is nothing to lay out.
    if (inner.width() <= 0 || inner.height() <= 0 || m_proportionTable.empty()) {
        return;
    }
    for (std::size_t k = 0; k < m_controls.size(); ++k) {
        const Control &control = m_controls[k];
        if (!control.widget) {
            continue;
        }
        if (const auto rect = layout::apply(control.kind, m_proportionTable[k],
                                            twipRect(control.widget), inner)) {
            setTwipRect(control.widget, *rect);
        }
    }
    // Filled slots are fitted again from the pictures they hold; no file is read.
    const QRectF reference = twipRect(Image1);
    for (int i = 0; i < Program::kSlotCount; ++i) {
        const Picture &picture = open[i]->picture();
        if (m_program.slotFile[i].size() < 2 || picture.isEmpty()) {
            continue;
        }
        const QSizeF size = picture.sizeTwips(m_tpp);
        const auto d = fit::divisor(float(size.width()), float(size.height()),
                                    float(reference.width()), float(reference.height()));
        if (d) {
            setTwipRect(open[i], fit::fitSlot(twipRect(open[i]), float(size.width()),
                                              float(size.height()), *d));
        }
    }
    m_sharpenTimer->start();
}

void startfrm::Form_Unload()
{
    m_program.unloadForm2();
    m_program.unloadForm4();
}

void startfrm::closeEvent(QCloseEvent *event)
{
    // Closing the window saves nothing; the program ends when its last window is gone.
    event->accept();
    if (m_program.isStartFormLoaded() && m_program.startForm() == this) {
        m_program.unloadStartForm();
    }
}

void startfrm::exit_Click()
{
    m_program.saveSettings(File1->path());
    m_program.services().endProgram();
}

void startfrm::Form_KeyDown(int keyCode, int shift)
{
    Q_UNUSED(shift);
    if (keyCode == vk::F4) {
        m_program.services().endProgram();
        return;
    }
    if (keyCode == vk::F7) {
        renameCurrentFile();
    }
    if (keyCode == vk::Delete) {
        deleteCurrentFile();
    }
    if (keyCode == vk::F1) {
        help::showHelpContents(m_program);
    }
}

bool startfrm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_inner && event->type() == QEvent::Resize) {
        if (m_shown) {
            Form_Resize();
        }
        return false;
    }
    // Key preview: the window sees every key pressed in it before the focused control, which
    // still gets it. A key that a control ignores travels up to its parents as the same event;
    // it is handled once, at the first receiver, even when the handler opened a dialog and the
    // focus moved meanwhile.
    if (event->type() == QEvent::KeyRelease) {
        if (m_keyDepth == 0) {
            m_previewedKey = nullptr;
        }
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || widget->window() != this || event == m_previewedKey) {
            return false;
        }
        auto *key = static_cast<QKeyEvent *>(event);
        const int code = vk::fromQtKey(key->key());
        if (code == vk::None) {
            return false;
        }
        m_previewedKey = event;
        ++m_keyDepth;
        Form_KeyDown(code, vk::shiftState(key->modifiers()));
        --m_keyDepth;
        // Dialogs run their own event loops; whatever they did, this press stays handled until
        // its delivery is over.
        m_previewedKey = event;
        QTimer::singleShot(0, this, [this, event]() {
            if (m_keyDepth == 0 && m_previewedKey == event) {
                m_previewedKey = nullptr;
            }
        });
    }
    return false;
}

void startfrm::Drive1_Change()
{
    // A volume that cannot be listed leaves the folder and file lists as they were.
    Dir1->setPath(Drive1->currentFolder(Drive1->drive()));
}

void startfrm::Dir1_Change()
{
    Drive1->rememberFolder(Dir1->path());
    File1->setPath(Dir1->path());
    m_program.listPosition = 0;
}

void startfrm::File1_MouseUp(int, int, int, int)
{
    refreshCaptionHighlight();
}

void startfrm::refreshCaptionHighlight(int count)
{
    const Qt::CaseSensitivity rule = m_program.services().fileNameCase();
    const QString current = Label1->text();
    for (int i = 0; i < count && i < Program::kSlotCount; ++i) {
        CaptionBox *caption = filename[i];
        if (paths::same(caption->text(), current, rule)) {
            if (!caption->text().isEmpty()) {
                caption->setBackground(palette::color(palette::kHighlight));
            }
        } else {
            caption->setBackground(palette::color(palette::kPlain));
        }
    }
}

void startfrm::File1_MouseDown(int, int, int, int)
{
    File1->setFocus();
    if (File1->fileName().isEmpty()) {
        return;
    }
    selectCurrentFile(false);
}

void startfrm::File1_KeyUp(int keyCode, int)
{
    if (File1->fileName().isEmpty() || (keyCode != vk::Left && keyCode != vk::Right)) {
        return;
    }
    selectCurrentFile(true);
}

void startfrm::selectCurrentFile(bool fromKeyboard)
{
    Program &p = m_program;
    const QString path = File1->filePath(File1->fileName());
    Label1->setText(path);
    // Only the size is read now, from the file's header, so the slot takes its shape at once; the
    // pixels are decoded for the slot's size away from this thread.
    const pictures::LoadResult header = pictures::readSize(path);
    if (header.ok()) {
        Picture2->setPicture(header.picture);
    }
    if (p.nextSlot > Program::kSlotCount - 1) {
        p.nextSlot = 0;
    }
    const int s = p.nextSlot;
    if (header.ok()) {
        const QSizeF size = Picture2->sizeTwips();
        const QRectF reference = twipRect(Image1);
        if (const auto d = fit::divisor(float(size.width()), float(size.height()),
                                        float(reference.width()), float(reference.height()))) {
            fitDivisor = *d;
            fitSlot(s);
        }
    }
    // A file that cannot be read leaves its slot empty under its own name, never showing the
    // picture of the file before it.
    open[s]->setPicture(header.ok() ? header.picture : Picture());
    p.slotFile[s] = path;
    filename[s]->setText(path);
    if (header.ok()) {
        requestThumbnail(s);
    } else {
        cancelThumbnail(s);
    }
    if (fromKeyboard) {
        refreshCaptionHighlight();
    }
    p.nextSlot = qint16(s + 1);
}

void startfrm::fitSlot(int index)
{
    const QSizeF size = Picture2->sizeTwips();
    setTwipRect(open[index], fit::fitSlot(twipRect(open[index]), float(size.width()),
                                          float(size.height()), fitDivisor));
}

void startfrm::requestThumbnail(int index)
{
    ImageBox *slot = open[index];
    cancelThumbnail(index);
    const qreal ratio = slot->devicePixelRatioF();
    const QSize target(std::max(1, int(std::ceil(slot->width() * ratio))),
                       std::max(1, int(std::ceil(slot->height() * ratio))));
    m_thumbnailTicket[index] = m_decoder->request(slot->picture().file, target);
}

void startfrm::cancelThumbnail(int index)
{
    if (m_thumbnailTicket[index]) {
        m_decoder->cancel(m_thumbnailTicket[index]);
        m_thumbnailTicket[index] = 0;
    }
}

void startfrm::thumbnailDecoded(int ticket, const pictures::LoadResult &result)
{
    for (int i = 0; i < Program::kSlotCount; ++i) {
        if (m_thumbnailTicket[i] != ticket) {
            continue;
        }
        m_thumbnailTicket[i] = 0;
        // The slot may have been cleared or refilled while the decode ran.
        if (result.ok() && result.picture.file == open[i]->picture().file) {
            open[i]->setPicture(result.picture);
        }
        return;
    }
}

void startfrm::sharpenThumbnails()
{
    for (int i = 0; i < Program::kSlotCount; ++i) {
        const Picture &picture = open[i]->picture();
        if (picture.image.isNull() || m_thumbnailTicket[i]) {
            continue;
        }
        const QSize held = picture.image.size();
        const QSize shown = open[i]->size() * open[i]->devicePixelRatioF();
        const bool smallerThanShown = shown.width() > held.width() + 1
            || shown.height() > held.height() + 1;
        const bool moreToHave = held.width() < picture.naturalSize.width();
        if (smallerThanShown && moreToHave) {
            requestThumbnail(i);
        }
    }
}

void startfrm::waitForThumbnails()
{
    while (m_decoder->pending() > 0) {
        m_decoder->waitForDone();
        QCoreApplication::processEvents();
    }
}

void startfrm::filename_GotFocus(int index)
{
    filename_LostFocus(index);
    m_program.currentSlot = qint16(index);
    Label1->setText(m_program.slotFile[std::size_t(index)]);
}

void startfrm::filename_LostFocus(int index)
{
    for (CaptionBox *caption : filename) {
        caption->setBackground(palette::color(palette::kPlain));
    }
    if (!filename[index]->text().isEmpty()) {
        filename[index]->setBackground(palette::color(palette::kHighlight));
    }
}

void startfrm::open_MouseUp(int index, int, int, int, int)
{
    Program &p = m_program;
    File1->setFocus();
    p.showSource = 0;
    p.currentSlot = qint16(index);
    const QString file = p.slotFile[std::size_t(index)];
    if (file.isEmpty()) {
        return;
    }
    Label1->setText(file);
    Form2 *show = p.form2(); // a first touch loads it, with the slot already chosen
    show->setLabelText(file);
    show->showPicture(open[index]->picture());
    p.services().setBusy(true);
    show->centreImage();
    p.services().setBusy(false);
    p.showContinuous = p.settings.loopMode == 1 ? 1 : 0;
    show->setLabelColor(palette::kHighlight);
    show->show();
    hide();
}

void startfrm::open_DragDrop(int index)
{
    m_program.currentSlot = qint16(index);
    Label1->setText(m_program.slotFile[std::size_t(index)]);
}

void startfrm::clear_Click()
{
    Program &p = m_program;
    // A settings file that cannot be written does not stop the clearing.
    p.saveSettings(File1->path());
    for (int i = 0; i < Program::kSlotCount; ++i) {
        cancelThumbnail(i);
        open[i]->clearPicture();
        p.slotFile[i].clear();
        filename[i]->setText(QString());
        Label1->setText(QString());
        filename[i]->setBackground(palette::color(palette::kPlain));
    }
    p.listPosition = 0;
    p.nextSlot = 0;
    showMaximized();
    for (int i = 0; i < Program::kSlotCount; ++i) {
        setTwipRect(open[i], QRectF(p.slotLeft[i], p.slotTop[i], p.slotWidth[i], p.slotHeight[i]));
    }
}

void startfrm::reset_Click()
{
    m_program.listPosition = 0;
    m_program.nextSlot = 0;
}

void startfrm::loopits_Click()
{
    if (File1->listCount() == 0) {
        m_program.services().messageBox(QStringLiteral("No image file in the current directory!"),
                                        Services::Buttons::Ok, Services::Icon::None,
                                        Program::defaultMessageTitle);
        return;
    }
    if (m_program.settings.loopMode == 1) {
        autoloop_Click();
    } else {
        auto_Click();
    }
}

void startfrm::auto_Click()
{
    startShow(0);
}

void startfrm::autoloop_Click()
{
    startShow(1);
}

void startfrm::startShow(int continuous)
{
    Program &p = m_program;
    Form2 *show = p.form2();
    show->Timer1->start();
    show->show();
    p.showSource = 1;
    p.showContinuous = qint16(continuous);
    show->setBackgroundColor(p.settings.bgColorIndex);
    // The position is not checked here: "&Loop" has checked the list is not empty and the show
    // keeps the position inside the list; an entry outside it names no file.
    const QString path = File1->filePath(File1->list(p.listPosition));
    show->setLabelText(path);
    show->showFile(path);
    show->centreImage();
}

void startfrm::rename_Click()
{
    // The menu command only sends F7: the key handler does the renaming.
    m_program.services().sendKey(vk::F7);
}

void startfrm::deleteit_Click()
{
    deleteCurrentFile();
}

void startfrm::contents_Click()
{
    help::showHelpContents(m_program);
}

void startfrm::about_Click()
{
    help::showAboutBox(m_program);
}

namespace {
const QString kNoFileSelected = QStringLiteral("No file is selected!");
}

bool startfrm::deleteCurrentFile()
{
    Program &p = m_program;
    Services &services = p.services();
    // The path is taken once: whatever the path label shows while the box is open, the file
    // named in the box is the one deleted.
    const QString path = Label1->text();
    if (path.isEmpty()) {
        services.messageBox(kNoFileSelected, Services::Buttons::Ok, Services::Icon::Exclamation,
                            Program::appTitle);
        return false;
    }
    const QString question = QStringLiteral("Do you really want to delete this file, ") + path
        + QStringLiteral(", permanently?");
    if (services.messageBox(question, Services::Buttons::YesNo, Services::Icon::Question,
                            Program::appTitle)
        == Services::Answer::No) {
        return false;
    }
    QFile file(path);
    // Only a file: a path label naming a folder never takes the folder with it.
    if (!QFileInfo(path).isFile() || !file.remove()) {
        const QString reason = QFileInfo::exists(path) ? file.errorString()
                                                       : QStringLiteral("It no longer exists.");
        services.messageBox(QStringLiteral("The file %1 could not be deleted. %2").arg(path, reason),
                            Services::Buttons::Ok, Services::Icon::Exclamation, Program::appTitle);
        return false;
    }
    p.form2()->Image1->clearPicture();
    File1->setPath(Dir1->path());
    File1->refresh();
    const Qt::CaseSensitivity rule = services.fileNameCase();
    for (int i = 0; i < Program::kSlotCount; ++i) {
        if (paths::same(filename[i]->text(), path, rule)) {
            cancelThumbnail(i);
            open[i]->clearPicture();
            filename[i]->setText(QString());
            p.slotFile[i].clear();
        }
    }
    Label1->setText(QString());
    p.form2()->setLabelText(QString());
    return true;
}

void startfrm::renameCurrentFile(const QString &dialogName)
{
    Program &p = m_program;
    Services &services = p.services();
    const QString oldName = Label1->text();
    if (oldName.isEmpty()) {
        services.messageBox(kNoFileSelected, Services::Buttons::Ok, Services::Icon::Exclamation,
                            Program::appTitle);
        return;
    }
    const std::optional<QString> chosen = services.saveAs(dialogName.isEmpty() ? oldName : dialogName);
    // Cancelled, or the same name picked again: nothing to do, and nothing visible changes.
    if (!chosen || QDir::cleanPath(*chosen) == QDir::cleanPath(oldName)) {
        return;
    }
    const QString newName = QDir::toNativeSeparators(QDir::cleanPath(*chosen));
    // A name that is taken is refused, never replaced; a refused rename leaves the slots and
    // the labels on the old name.
    QString refusal;
    if (QFileInfo::exists(newName) || QFileInfo(newName).isSymLink()) {
        refusal = QStringLiteral("A file with that name already exists.");
    } else {
        QFile file(oldName);
        if (!file.rename(newName)) {
            refusal = file.errorString();
        }
    }
    if (!refusal.isEmpty()) {
        services.messageBox(QStringLiteral("The file %1 could not be renamed to %2. %3")
                                .arg(oldName, newName, refusal),
                            Services::Buttons::Ok, Services::Icon::Exclamation, Program::appTitle);
        return;
    }
    File1->refresh();
    const Qt::CaseSensitivity rule = services.fileNameCase();
    for (int i = 0; i < Program::kSlotCount; ++i) {
        if (paths::same(filename[i]->text(), oldName, rule)) {
            filename[i]->setText(newName);
            p.slotFile[i] = newName;
            // The slot keeps its picture, now under the new name; a decode still on its way
            // was asked for under the old one and is asked for again.
            Picture picture = open[i]->picture();
            picture.file = newName;
            open[i]->setPicture(picture);
            if (m_thumbnailTicket[i]) {
                requestThumbnail(i);
            }
        }
    }
    Label1->setText(newName);
    p.form2()->setLabelText(newName);
}

void startfrm::setup_Click()
{
    Form4 *dialog = m_program.form4();
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

QString startfrm::hotKeyList()
{
    const QStringList lines = {
        QStringLiteral("        ~~* Hot Key Function *~~"),
        QString(),
        QStringLiteral("   Loop Mode"),
        QStringLiteral("      Pause Image <Down Arrow>"),
        QStringLiteral("      Previous Image <Left Arrow>"),
        QStringLiteral("      Next Image <Right Arrow>"),
        QStringLiteral("      Resume Loop <Up Arrow>"),
        QString(),
        QStringLiteral("   Loop/Full Screen Mode"),
        QStringLiteral("      Enlarge Image <Page Up>"),
        QStringLiteral("      Reduce Image <Page Down>"),
        QStringLiteral("      Normal Size <Home>"),
        QString(),
        QStringLiteral("   Loop/Full Screen/Multiple Screen Mode"),
        QStringLiteral("      Rename File <F7>"),
        QStringLiteral("      Delete File <Del>"),
        QStringLiteral("      Background Color<F2>"),
        QStringLiteral("      Help <F1>"),
    };
    return lines.join(QLatin1Char('\n'));
}

void startfrm::Picture1_Click()
{
    m_program.services().messageBox(hotKeyList(), Services::Buttons::Ok, Services::Icon::Question,
                                    Program::appTitle);
}

void startfrm::printscreen_Click()
{
    if (!m_program.services().printWidget(m_inner)) {
        m_program.services().messageBox(
            QStringLiteral("The form can't be printed.  Please check your printer setting up "
                           "properly."),
            Services::Buttons::Ok, Services::Icon::None, Program::defaultMessageTitle);
    }
}
