#include "program.h"

#include "core/locations.h"
#include "core/paths.h"
#include "filecommands.h"
#include "platform/controls.h"
#include "platform/lists.h"
#include "platform/services.h"

#include <QWidget>

const QString Program::appTitle = QStringLiteral("VELDRANE W95 and NT");
const QString Program::defaultMessageTitle = QStringLiteral("VELDRANE.");
const QString Program::appVersion = QStringLiteral(" Ver. 4.00");
const QString Program::programFileName = QStringLiteral("QUERNDAL.EXE");

Program::Program(Services &services, QString systemFolder, WindowFactories factories)
    : m_services(services)
    , m_systemFolder(std::move(systemFolder))
    , m_factories(std::move(factories))
    , m_folder(new FolderModel(this))
    , m_show(new SlideShow(*m_folder, m_settings, services.fileNameCase(), this))
{
    // The show is told of a removed file first, while the folder still lists it.
    connect(this, &Program::fileRemoved, m_show, &SlideShow::fileRemoved);
}

Program::~Program()
{
    // Tear-down destroys what is left without running unload handlers; the windows are gone
    // before the state they read.
    m_showWindow.reset();
    m_setup.reset();
    m_about.reset();
    m_main.reset();
}

void Program::start()
{
    // Before any window: the file list lists with them from its first listing, and a first
    // start has written the extras file before the user sees the program.
    m_extras = extras::readOrCreate(extras::pathBeside(computeSettingsPath()));
    m_folder->setMoreFileTypes(m_extras.moreFileTypes);
    mainWindow();
}

template<class Form>
Form *Program::touch(
    std::unique_ptr<Form> &slot, const std::function<std::unique_ptr<Form>(Program &)> &make)
{
    if (!slot) {
        // The slot is filled before the load runs, so the load may touch its own window.
        slot = make(*this);
        slot->Form_Load();
    }
    return slot.get();
}

template<class Form> void Program::unloadWindow(std::unique_ptr<Form> &slot)
{
    if (!slot) {
        return;
    }
    // Out of the slot first: an unload handler that touches its own window does not bring it
    // back, and a window unloaded from inside its own event handler is deleted once that
    // handler has returned.
    Form *window = slot.release();
    window->Form_Unload();
    QWidget *widget = window->widget();
    // From here on no control of the window runs a handler: hiding it moves the focus out of
    // its fields, and a handler run then would act on a window that is going away.
    controls::disconnectControls(widget);
    // Nor does it follow the program's models: a window on its way out shows no more steps.
    for (QObject *model : { static_cast<QObject *>(this), static_cast<QObject *>(m_show),
             static_cast<QObject *>(m_folder), static_cast<QObject *>(&m_settings) }) {
        QObject::disconnect(model, nullptr, widget, nullptr);
    }
    widget->hide();
    widget->deleteLater();
}

bool Program::isCurrent(const ProgramWindow *window) const
{
    return window
        && (window == m_main.get() || window == m_showWindow.get() || window == m_setup.get()
            || window == m_about.get());
}

ProgramWindow *Program::mainWindow()
{
    return touch(m_main, m_factories.mainWindow);
}

ProgramWindow *Program::slideShow()
{
    return touch(m_showWindow, m_factories.slideShow);
}

ProgramWindow *Program::setupDialog()
{
    return touch(m_setup, m_factories.setupDialog);
}

ProgramWindow *Program::aboutBox()
{
    return touch(m_about, m_factories.aboutBox);
}

void Program::unload(Window window)
{
    switch (window) {
    case Window::Main:
        unloadWindow(m_main);
        break;
    case Window::SlideShow:
        unloadWindow(m_showWindow);
        break;
    case Window::Setup:
        unloadWindow(m_setup);
        break;
    case Window::About:
        unloadWindow(m_about);
        break;
    }
}

void Program::computePaths()
{
    m_programFolder = paths::withoutTrailingSeparator(m_systemFolder);
    const QString baseName = programFileName.left(programFileName.size() - 3);
    // The help file beside the program or where an install puts it.
    // The root lost its separator above; the files still go right under it.
    const QString folder = m_programFolder.isEmpty() ? QStringLiteral("/") : m_programFolder;
    m_settingsPath = computeSettingsPath();
    m_helpFilePath = locations::helpFilePath(folder, baseName + QStringLiteral("hlp"));
    m_settings.setFile(m_settingsPath, m_systemFolder);
}

QString Program::computeSettingsPath() const
{
    // Beside the program, unless installed where the user cannot write (then the user's
    // configuration folder). The root keeps its separator, so the file goes right under it.
    const QString programFolder = paths::withoutTrailingSeparator(m_systemFolder);
    const QString folder = programFolder.isEmpty() ? QStringLiteral("/") : programFolder;
    const QString baseName = programFileName.left(programFileName.size() - 3);
    return locations::settingsPath(folder, baseName + QStringLiteral("INI"));
}

void Program::setCurrentFile(const QString &path)
{
    m_currentFile = path;
    Q_EMIT currentFileChanged(path);
}

bool Program::deleteFile(const QString &path)
{
    if (path.isEmpty()) {
        filecommands::sayNoFileSelected(m_services);
        return false;
    }
    if (!filecommands::confirmAndDelete(m_services, path, m_extras.deleteToTrash)) {
        return false;
    }
    Q_EMIT fileRemoved(path);
    setCurrentFile(QString());
    return true;
}

void Program::renameFile(const QString &path, const QString &dialogName)
{
    if (path.isEmpty()) {
        filecommands::sayNoFileSelected(m_services);
        return;
    }
    const std::optional<QString> newName = filecommands::askAndRename(m_services, path, dialogName);
    if (!newName) {
        return;
    }
    Q_EMIT fileRenamed(path, *newName);
    setCurrentFile(*newName);
}
