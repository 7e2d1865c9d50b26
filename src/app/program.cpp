#include "program.h"

#include "core/locations.h"
#include "core/paths.h"
#include "core/settingsfile.h"
#include "platform/controls.h"

#include <QWidget>

#include <cmath>

const QString Program::appTitle = QStringLiteral("VELDRANE W95 and NT");
const QString Program::defaultMessageTitle = QStringLiteral("VELDRANE.");
const QString Program::appVersion = QStringLiteral(" Ver. 4.00");
const QString Program::programFileName = QStringLiteral("QUERNDAL.EXE");

Program::Program(Services &services, QString systemFolder, WindowFactories factories)
    : m_services(services)
    , m_systemFolder(std::move(systemFolder))
    , m_factories(std::move(factories))
{
}

Program::~Program()
{
    // Tear-down destroys what is left without running unload handlers; the windows are gone
    // before the state they read.
    m_show.reset();
    m_setup.reset();
    m_about.reset();
    m_main.reset();
}

void Program::start()
{
    mainWindow();
}

template<class Window>
Window *Program::touch(
    std::unique_ptr<Window> &slot, const std::function<std::unique_ptr<Window>(Program &)> &make)
{
    if (!slot) {
        // The slot is filled before the load runs, so the load may touch its own window.
        slot = make(*this);
        slot->Form_Load();
    }
    return slot.get();
}

template<class Window> void Program::unload(std::unique_ptr<Window> &slot)
{
    if (!slot) {
        return;
    }
    // Out of the slot first: an unload handler that touches its own window does not bring it
    // back, and a window unloaded from inside its own event handler is deleted once that
    // handler has returned.
    Window *window = slot.release();
    window->Form_Unload();
    QWidget *widget = window->widget();
    // From here on no control of the window runs a handler: hiding it moves the focus out of
    // its fields, and a handler run then would act on a window that is going away.
    controls::disconnectControls(widget);
    widget->hide();
    widget->deleteLater();
}

bool Program::isCurrent(const ProgramWindow *window) const
{
    return window
        && (window == m_main.get() || window == m_show.get() || window == m_setup.get()
            || window == m_about.get());
}

MainWindowLink *Program::mainWindow()
{
    return touch(m_main, m_factories.mainWindow);
}

SlideShowLink *Program::slideShow()
{
    return touch(m_show, m_factories.slideShow);
}

SetupLink *Program::setupDialog()
{
    return touch(m_setup, m_factories.setupDialog);
}

ProgramWindow *Program::aboutBox()
{
    return touch(m_about, m_factories.aboutBox);
}

void Program::unloadMainWindow()
{
    unload(m_main);
}

void Program::unloadSlideShow()
{
    unload(m_show);
}

void Program::unloadSetupDialog()
{
    unload(m_setup);
}

void Program::unloadAboutBox()
{
    unload(m_about);
}

void Program::computePaths()
{
    m_programFolder = paths::withoutTrailingSeparator(m_systemFolder);
    const QString baseName = programFileName.left(programFileName.size() - 3);
    // Beside the program, unless installed where the user cannot write (then the user's
    // configuration folder); the help file beside it or where an install puts it.
    // The root lost its separator above; the files still go right under it.
    const QString folder = m_programFolder.isEmpty() ? QStringLiteral("/") : m_programFolder;
    m_settingsPath = locations::settingsPath(folder, baseName + QStringLiteral("INI"));
    m_helpFilePath = locations::helpFilePath(folder, baseName + QStringLiteral("hlp"));
}

void Program::setSlotGeometry(int slot, const QRectF &twips)
{
    m_slotGeometry[std::size_t(slot)]
        = { int(std::nearbyint(twips.left())), int(std::nearbyint(twips.top())),
              int(std::nearbyint(twips.width())), int(std::nearbyint(twips.height())) };
}

bool Program::saveSettings(const QString &folder)
{
    if (!SettingsFile(m_settingsPath).save(m_settings, folder)) {
        return false;
    }
    // The file now holds this folder: a later write of "the folder that was read" (F2 in the
    // show) writes it, instead of reverting to one read earlier in the run.
    m_settings.lastFolder = folder;
    return true;
}

bool Program::readSettings()
{
    return SettingsFile(m_settingsPath).read(m_settings);
}

void Program::writeDefaultSettings()
{
    const Settings defaults = Settings::defaults(m_systemFolder);
    if (!m_settingsPath.isEmpty()
        && SettingsFile(m_settingsPath).save(defaults, defaults.lastFolder)) {
        return;
    }
    // The defaults could not be written, so no later read will bring them in: put them in force
    // here, as a read of the written file would have.
    const QString folder = m_settings.lastFolder;
    m_settings = defaults;
    m_settings.lastFolder = folder;
}

bool Program::passSettingsToWindows()
{
    // Touching the Setup dialog loads it, and its load reads the file again.
    SetupLink *setup = setupDialog();
    setup->setIntervalText(intervalText(m_settings.slideInterval));
    m_settings.bgColorIndex = m_settings.savedColorIndex;
    setup->setSwatchColor(m_settings.bgColorIndex);
    // An interval the timer cannot take never reaches it: it is replaced by the default, as the
    // Setup dialog replaces one, and the file by the defaults.
    SlideShowLink *show = slideShow();
    const auto interval = timerIntervalMs(m_settings.slideInterval);
    if (!interval) {
        m_settings.slideInterval = Settings::kDefaultInterval;
        setup->setIntervalText(intervalText(m_settings.slideInterval));
    }
    show->setInterval(*timerIntervalMs(m_settings.slideInterval));
    return interval.has_value();
}
