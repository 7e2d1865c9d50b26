#include "mainwindow.h"

#include "app/program.h"
#include "core/keycodes.h"
#include "core/palette.h"
#include "core/twips.h"
#include "help/help.h"
#include "platform/controls.h"
#include "platform/lists.h"
#include "platform/services.h"
#include "system/bounded.h"
#include "system/files.h"

#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMenuBar>

MainWindow::MainWindow(Program &program)
    : m_program(program)
    , m_tpp(program.services().twipsPerPixel())
    , m_inner(new QWidget(this))
    , m_layout(m_tpp)
    , m_c(m_inner, m_layout, m_tpp)
{
    setObjectName(QStringLiteral("startfrm"));
    m_inner->setAutoFillBackground(true);
    m_inner->installEventFilter(this);
    setCentralWidget(m_inner);
    createMenu();
    connectControls();
    m_inner->resize(designInnerPixels());
    resize(designInnerPixels() + QSize(0, menuBar()->sizeHint().height()));
    // The window sees every key pressed in its controls first; the control still gets it.
    auto *preview = new KeyPreview(this);
    connect(preview, &KeyPreview::keyDown, this, &MainWindow::Form_KeyDown);
    // The file list shows the program's folder, which the slide show walks too.
    m_c.fileList->setFolder(&program.folder());
    connect(&program, &Program::currentFileChanged, m_c.pathLabel,
        [label = m_c.pathLabel](const QString &path) { setPathLabel(label, path); });
    connect(&program, &Program::fileRemoved, this, &MainWindow::fileRemoved);
    connect(&program, &Program::fileRenamed, this, &MainWindow::fileRenamed);
    connect(&program.settingsModel(), &ProgramSettings::windowColorChanged, this,
        &MainWindow::setBackgroundColor);
    // Connected before the show's window connects: the captions and this window come back
    // before the show's window goes.
    SlideShow &show = program.show();
    connect(&show, &SlideShow::ended, this, &MainWindow::showEnded);
    connect(&show, &SlideShow::left, this, &MainWindow::showLeft);
    connect(&show, &SlideShow::captionsToRefresh, this, &MainWindow::refreshCaptionHighlight);
}

void MainWindow::showEnded()
{
    refreshCaptionHighlight();
    showLeft();
}

void MainWindow::showLeft()
{
    // While this window shuts down it is no longer there to be shown, and is not brought back.
    if (m_program.isCurrent(this)) {
        show();
    }
}

MainWindow::~MainWindow()
{
    // Destroying the controls moves the focus out of a caption: no handler may run for a window
    // half destroyed.
    controls::disconnectControls(this);
}

QSize MainWindow::designInnerPixels() const
{
    return QSize(twips::toPixels(kDesignWidth, m_tpp), twips::toPixels(kDesignHeight, m_tpp));
}

void MainWindow::createMenu()
{
    using Place = MenuItem::Place;
    // In menu order. "&Auto" and "Auto &Loop" are reached only through "&Loop".
    buildMenu(*this,
        {
            { "setup", "&Setup", Place::Bar, [this] { setup_Click(); } },
            { "loopits", "&Loop", Place::Bar, [this] { loopits_Click(); } },
            { "auto", "&Auto", Place::Hidden, [this] { auto_Click(); } },
            { "autoloop", "Auto &Loop", Place::Hidden, [this] { autoloop_Click(); } },
            { "reset", "&Reset", Place::Bar, [this] { reset_Click(); } },
            { "clear", "&Clear", Place::Bar, [this] { clear_Click(); } },
            { "printscreen", "&Print", Place::Bar, [this] { printscreen_Click(); } },
            { "rename", "Re&name", Place::Bar, [this] { rename_Click(); } },
            { "deleteit", "&Delete", Place::Bar, [this] { deleteit_Click(); } },
            { "contents", "Contents", Place::Help, [this] { contents_Click(); } },
            { "line1", "-", Place::Separator, nullptr },
            { "about", "About", Place::Help, [this] { about_Click(); } },
            { "exit", "&Exit", Place::Bar, [this] { exit_Click(); } },
        },
        m_layout);
}

void MainWindow::connectControls()
{
    connect(m_c.driveList, &DriveList::changed, this, &MainWindow::Drive1_Change);
    connect(m_c.folderList, &DirList::changed, this, &MainWindow::Dir1_Change);
    // A folder that vanished or cannot be listed is a folder change that failed: the lists show
    // the folder they really show, and the show starts again from the first file.
    connect(m_c.folderList, &DirList::openFailed, this, &MainWindow::Dir1_Change);
    connect(m_c.hotKeyPicture, &PictureBox::clicked, this, &MainWindow::Picture1_Click);
    connect(m_c.fileList, &FileList::mouseUp, this, &MainWindow::File1_MouseUp);
    connect(m_c.fileList, &FileList::mouseDown, this, &MainWindow::File1_MouseDown);
    connect(m_c.fileList, &FileList::keyUp, this, &MainWindow::File1_KeyUp);
    connect(m_c.strip, &ThumbnailStrip::pictureReleased, this, &MainWindow::open_MouseUp);
    connect(m_c.strip, &ThumbnailStrip::pictureDropped, this, &MainWindow::open_DragDrop);
    connect(m_c.strip, &ThumbnailStrip::captionGotFocus, this, &MainWindow::filename_GotFocus);
    connect(m_c.strip, &ThumbnailStrip::captionLostFocus, this, &MainWindow::filename_LostFocus);
}

QSizeF MainWindow::innerSize() const
{
    if (!m_shown) {
        return QSizeF(kDesignWidth, kDesignHeight);
    }
    return QSizeF(
        twips::fromPixels(m_inner->width(), m_tpp), twips::fromPixels(m_inner->height(), m_tpp));
}

QRectF MainWindow::twipRect(const QWidget *control) const
{
    return controls::twipRect(control, m_tpp);
}

void MainWindow::setTwipRect(QWidget *control, const QRectF &rect)
{
    controls::setTwipRect(control, rect, m_tpp);
}

void MainWindow::setBackgroundColor(int index)
{
    QPalette p = m_inner->palette();
    p.setColor(QPalette::Window, palette::color(index));
    m_inner->setPalette(p);
}

int MainWindow::backgroundColor() const
{
    return palette::indexOf(m_inner->palette().color(QPalette::Window));
}

void MainWindow::Form_Load()
{
    Program &p = m_program;
    Services &services = p.services();
    ProgramSettings &settings = p.settingsModel();

    setWindowTitle(Program::appTitle);
    arrayInitialize();
    // Centred by its outer size, so that a restore from maximised lands in the middle: the frame
    // it will have at normal size, which the window manager tells before the window is shown.
    const QSizeF screen = services.screenSizeTwips();
    const QMargins frame = controls::windowFrameFor(this);
    const QSize outer = size().grownBy(frame);
    const float left = (float(screen.width()) - twips::fromPixels(outer.width(), m_tpp)) / 2.0f;
    const float top = (float(screen.height()) - twips::fromPixels(outer.height(), m_tpp)) / 2.0f;
    move(twips::toPixels(left, m_tpp), twips::toPixels(top, m_tpp));
    p.slotRing().setCurrentSlot(0);
    // The program's own folder first; a failure here is ignored.
    // The volumes are read again each time the list opens: a stick plugged in later is there.
    m_c.driveList->setRootSource([&services]() { return services.volumeRoots(); });
    if (m_c.driveList->setDrive(p.systemProgramFolder())) {
        m_c.folderList->setPath(p.systemProgramFolder());
    }
    m_shown = true;
    showMaximized();
    // Let the window system finish maximising, so that the slot geometry recorded below is the
    // maximised one. The user's input waits until start-up is done: a key here would act on
    // settings not yet read.
    controls::waitUntilMaximized(this, 500);
    p.computePaths();
    // From here on a failing step writes the defaults and start-up goes on with the next.
    auto step = [&settings](bool ok) {
        if (!ok) {
            settings.writeDefaults();
        }
    };
    step(settings.read());
    step(m_c.driveList->setDrive(settings.values().lastFolder));
    step(m_c.folderList->setPath(settings.values().lastFolder));
    for (int i = 0; i < Program::kSlotCount; ++i) {
        p.slotRing().setGeometry(i, twipRect(m_c.strip->picture(i)));
    }
    // Both other windows exist, hidden, from here on. The Setup dialog's load reads the file
    // again and shows what it read.
    p.setupDialog();
    settings.setBgColorIndex(settings.values().savedColorIndex);
    p.slideShow();
    // An interval the timer cannot take never reaches it: it is replaced by the default, as the
    // Setup dialog replaces one, and the file by the defaults.
    if (!timerIntervalMs(settings.values().slideInterval)) {
        settings.setSlideInterval(Settings::kDefaultInterval);
        settings.writeDefaults();
    }
    settings.wearBackgroundColor();
}

void MainWindow::arrayInitialize()
{
    m_layout.record(innerSize());
}

void MainWindow::Form_Resize()
{
    m_layout.apply(innerSize());
    m_c.strip->refit(
        m_program.slotRing(), twipRect(m_c.referenceBox), [this](int i) { return slotBox(i); });
    m_c.strip->scheduleSharpening();
}

void MainWindow::Form_Unload()
{
    m_program.unload(Program::Window::SlideShow);
    m_program.unload(Program::Window::Setup);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window saves nothing; the program ends when its last window is gone.
    event->accept();
    if (m_program.isCurrent(this)) {
        m_program.unload(Program::Window::Main);
    }
}

void MainWindow::exit_Click()
{
    m_program.settingsModel().save(m_c.fileList->path());
    m_program.services().endProgram();
}

void MainWindow::Form_KeyDown(int keyCode, int shift)
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
    // F5 reads the drives, folders and files again, keeping the selection where it still exists.
    if (keyCode == vk::F5) {
        lists::refreshAll(*m_c.driveList, *m_c.folderList, *m_c.fileList);
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_inner && event->type() == QEvent::Resize && m_shown) {
        Form_Resize();
    }
    return false;
}

void MainWindow::Drive1_Change()
{
    // A volume that cannot be listed leaves the folder and file lists as they were.
    m_c.folderList->setPath(m_c.driveList->currentFolder(m_c.driveList->drive()));
}

void MainWindow::Dir1_Change()
{
    m_c.driveList->rememberFolder(m_c.folderList->path());
    m_c.fileList->setPath(m_c.folderList->path());
    m_program.show().rewind();
}

void MainWindow::File1_MouseUp(int, int, int, int)
{
    refreshCaptionHighlight();
}

void MainWindow::refreshCaptionHighlight(int count)
{
    m_c.strip->highlightShowing(
        m_program.slotRing(), m_program.currentFile(), m_program.services().fileNameCase(), count);
}

namespace {
// A picture's header comes in a few milliseconds from any disk that answers.
constexpr std::chrono::milliseconds kHeaderLimit { 1000 };
} // namespace

void MainWindow::File1_MouseDown(int, int, int, int)
{
    m_c.fileList->setFocus();
    if (m_c.fileList->fileName().isEmpty()) {
        return;
    }
    selectCurrentFile(false);
}

void MainWindow::File1_KeyUp(int keyCode, int)
{
    if (m_c.fileList->fileName().isEmpty() || (keyCode != vk::Left && keyCode != vk::Right)) {
        return;
    }
    selectCurrentFile(true);
}

void MainWindow::selectCurrentFile(bool fromKeyboard)
{
    Program &p = m_program;
    const QString path = m_c.fileList->filePath(m_c.fileList->fileName());
    p.setCurrentFile(path);
    // Only the size is read now, from the file's header, so the slot takes its shape at once; the
    // pixels are decoded for the slot's size away from this thread. A header that does not come
    // in time (its mount does not answer) is a file that cannot be read.
    const pictures::LoadResult header
        = systemfiles::callWithin<pictures::LoadResult>(kHeaderLimit,
            QStringLiteral("header:") + path, [path] { return pictures::readSize(path); })
              .value_or(pictures::failedLoad(pictures::Failure::Unreadable,
                  QStringLiteral("The file system does not answer.")));
    if (header.ok()) {
        m_c.loader->setPicture(header.picture);
    }
    const int s = p.slotRing().take();
    if (header.ok()) {
        m_c.strip->fit(s, m_c.loader->sizeTwips(), twipRect(m_c.referenceBox), slotBox(s));
    }
    // A file that cannot be read leaves its slot empty under its own name, never showing the
    // picture of the file before it.
    p.slotRing().setFile(s, path);
    m_c.strip->fill(s, path, header.ok() ? header.picture : Picture());
    if (fromKeyboard) {
        refreshCaptionHighlight();
    }
}

QRectF MainWindow::slotBox(int index) const
{
    return m_layout.placeOf(m_c.strip->picture(index), innerSize());
}

void MainWindow::waitForThumbnails()
{
    m_c.strip->waitForThumbnails();
}

void MainWindow::filename_GotFocus(int index)
{
    m_c.strip->highlightOnly(m_program.slotRing(), index);
    m_program.slotRing().setCurrentSlot(index);
    m_program.setCurrentFile(m_program.slotRing().file(index));
}

void MainWindow::filename_LostFocus(int index)
{
    m_c.strip->highlightOnly(m_program.slotRing(), index);
}

void MainWindow::open_MouseUp(int index, int, int, int, int)
{
    Program &p = m_program;
    m_c.fileList->setFocus();
    p.show().setFromList(false);
    p.slotRing().setCurrentSlot(index);
    const QString file = p.slotRing().file(index);
    if (file.isEmpty()) {
        return;
    }
    p.setCurrentFile(file);
    // A first touch loads the show, with the slot already chosen.
    p.slideShow();
    p.show().openHeld(file, m_c.strip->picture(index)->picture());
    hide();
}

void MainWindow::open_DragDrop(int index)
{
    m_program.slotRing().setCurrentSlot(index);
    m_program.setCurrentFile(m_program.slotRing().file(index));
}

void MainWindow::clear_Click()
{
    Program &p = m_program;
    // A settings file that cannot be written does not stop the clearing.
    p.settingsModel().save(m_c.fileList->path());
    p.slotRing().clear();
    m_c.strip->clear();
    p.setCurrentFile(QString());
    p.show().rewind();
    showMaximized();
    for (int i = 0; i < Program::kSlotCount; ++i) {
        setTwipRect(m_c.strip->picture(i), p.slotRing().geometry(i).rect());
    }
}

void MainWindow::reset_Click()
{
    m_program.show().rewind();
    m_program.slotRing().reset();
}

void MainWindow::loopits_Click()
{
    if (m_c.fileList->listCount() == 0) {
        m_program.services().messageBox(QStringLiteral("No image file in the current directory!"),
            Services::Buttons::Ok, Services::Icon::None, Program::defaultMessageTitle);
        return;
    }
    if (m_program.settings().loopMode == 1) {
        autoloop_Click();
    } else {
        auto_Click();
    }
}

void MainWindow::auto_Click()
{
    startShow(false);
}

void MainWindow::autoloop_Click()
{
    startShow(true);
}

void MainWindow::startShow(bool continuous)
{
    Program &p = m_program;
    // Started after the touch: a show loaded by it first takes the current slot, as any load
    // does.
    p.slideShow();
    p.show().startFromList(continuous);
}

void MainWindow::rename_Click()
{
    // The menu command only sends F7: the key handler does the renaming.
    m_program.services().sendKey(vk::F7);
}

void MainWindow::deleteit_Click()
{
    deleteCurrentFile();
}

void MainWindow::contents_Click()
{
    help::showHelpContents(m_program);
}

void MainWindow::about_Click()
{
    help::showAboutBox(m_program);
}

bool MainWindow::deleteCurrentFile()
{
    // Taken once: a show stepping behind the box changes the current file, not the one asked
    // about.
    return m_program.deleteFile(m_program.currentFile());
}

void MainWindow::renameCurrentFile()
{
    const QString path = m_program.currentFile();
    m_program.renameFile(path, path);
}

void MainWindow::fileRemoved(const QString &path)
{
    Program &p = m_program;
    m_c.fileList->setPath(m_c.folderList->path());
    m_c.fileList->refresh();
    for (const int slot : p.slotRing().slotsShowing(path, p.services().fileNameCase())) {
        m_c.strip->empty(slot);
        p.slotRing().setFile(slot, QString());
    }
}

void MainWindow::fileRenamed(const QString &from, const QString &to)
{
    Program &p = m_program;
    m_c.fileList->refresh();
    for (const int slot : p.slotRing().slotsShowing(from, p.services().fileNameCase())) {
        p.slotRing().setFile(slot, to);
        m_c.strip->rename(slot, to);
    }
}

void MainWindow::setup_Click()
{
    QWidget *dialog = m_program.setupDialog()->widget();
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void MainWindow::Picture1_Click()
{
    m_program.services().messageBox(
        help::hotKeyList(), Services::Buttons::Ok, Services::Icon::Question, Program::appTitle);
}

void MainWindow::printscreen_Click()
{
    if (!m_program.services().printWidget(m_inner)) {
        m_program.services().messageBox(
            QStringLiteral("The form can't be printed.  Please check your printer setting up "
                           "properly."),
            Services::Buttons::Ok, Services::Icon::None, Program::defaultMessageTitle);
    }
}

QString MainWindow::openPath(const QString &path)
{
    // Asked through the name's own bytes, which need not be text, and waited for a bounded time.
    const std::optional<systemfiles::NodeKind> answer
        = systemfiles::callWithin<systemfiles::NodeKind>(
            lists::kListingLimit, QString(), [path] { return systemfiles::kindOf(path); });
    const QString shown = systemfiles::displayName(path);
    if (!answer) {
        return QStringLiteral("%1: the file system does not answer").arg(shown);
    }
    const systemfiles::NodeKind kind = *answer;
    if (kind == systemfiles::NodeKind::Missing) {
        return QStringLiteral("%1: no such file or folder").arg(shown);
    }
    if (kind == systemfiles::NodeKind::Other) {
        return QStringLiteral("%1: not a folder or a file").arg(shown);
    }
    const QString absolute
        = QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().filePath(path));
    const qsizetype slash = absolute.lastIndexOf(QLatin1Char('/'));
    // As if the folder had been chosen in the lists.
    const bool isFolder = kind == systemfiles::NodeKind::Folder;
    const QString folder
        = isFolder ? absolute : (slash <= 0 ? QDir::rootPath() : absolute.left(slash));
    m_c.driveList->setDrive(folder);
    if (!m_c.folderList->setPath(folder)) {
        return QStringLiteral("%1: the folder cannot be listed")
            .arg(systemfiles::displayName(folder));
    }
    if (isFolder) {
        return QString();
    }
    // A file goes into the next slot as a click on it in the file list would put it.
    const int row = int(m_program.folder().names().indexOf(absolute.mid(slash + 1)));
    if (row < 0) {
        return QStringLiteral("%1: not a picture the viewer shows (BMP, GIF, JPEG, WMF)")
            .arg(shown);
    }
    m_c.fileList->setCurrentRow(row);
    File1_MouseDown(Qt::LeftButton, 0, 0, 0);
    File1_MouseUp(Qt::LeftButton, 0, 0, 0);
    return QString();
}

QString MainWindow::openGivenPath(const QString &path)
{
    const int slotBefore = m_program.slotRing().nextSlot();
    const QString problem = openPath(path);
    if (!problem.isEmpty()) {
        m_program.services().messageBox(
            problem, Services::Buttons::Ok, Services::Icon::Exclamation, Program::appTitle);
        return problem;
    }
    // A folder fills no slot; a picture went into the one before the next.
    if (m_program.slotRing().nextSlot() == slotBefore) {
        return QString();
    }
    // The slot the file just went into; the show takes the picture the slot holds, so that one
    // is waited for first.
    const int slot = m_program.slotRing().nextSlot() - 1;
    waitForThumbnails();
    open_MouseUp(slot, Qt::LeftButton, 0, 0, 0);
    return QString();
}
