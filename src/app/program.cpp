#include "program.h"

#include "browser/startfrm.h"
#include "help/AboutBox.h"
#include "core/paths.h"
#include "core/settingsfile.h"
#include "setup/Form4.h"
#include "slideshow/Form2.h"

const QString Program::appTitle = QStringLiteral("VELDRANE W95 and NT");
const QString Program::defaultMessageTitle = QStringLiteral("VELDRANE.");
const QString Program::appVersion = QStringLiteral(" Ver. 4.00");
const QString Program::programFileName = QStringLiteral("QUERNDAL.EXE");

Program::Program(Services &services, QString systemFolder)
    : m_services(services)
    , m_systemFolder(std::move(systemFolder))
{
}

Program::~Program()
{
    // Tear-down destroys what is left without running unload handlers; the windows are gone
    // before the state they read.
    m_form2.reset();
    m_form4.reset();
    m_aboutBox.reset();
    m_startfrm.reset();
}

void Program::start()
{
    startForm();
}

template<class Window>
Window *Program::touch(std::unique_ptr<Window> &slot)
{
    if (!slot) {
        // The slot is filled before the load runs, so the load may touch its own window.
        slot.reset(new Window(*this));
        slot->Form_Load();
    }
    return slot.get();
}

template<class Window>
void Program::unload(std::unique_ptr<Window> &slot)
{
    if (!slot) {
        return;
    }
    // Out of the slot first: an unload handler that touches its own window does not bring it
    // back, and a window unloaded from inside its own event handler is deleted once that
    // handler has returned.
    Window *window = slot.release();
    window->Form_Unload();
    window->hide();
    window->deleteLater();
}

startfrm *Program::startForm()
{
    return touch(m_startfrm);
}

Form2 *Program::form2()
{
    return touch(m_form2);
}

Form4 *Program::form4()
{
    return touch(m_form4);
}

AboutBox *Program::aboutBox()
{
    return touch(m_aboutBox);
}

void Program::unloadAboutBox()
{
    unload(m_aboutBox);
}

void Program::unloadStartForm()
{
    unload(m_startfrm);
}

void Program::unloadForm2()
{
    unload(m_form2);
}

void Program::unloadForm4()
{
    unload(m_form4);
}

void Program::computePaths()
{
    programFolder = paths::withoutTrailingSeparator(m_systemFolder);
    programBaseName = programFileName.left(programFileName.size() - 3);
    settingsPath = programFolder + QLatin1Char('/') + programBaseName + QStringLiteral("INI");
    helpFilePath = programFolder + QLatin1Char('/') + programBaseName + QStringLiteral("hlp");
}

bool Program::saveSettings(const QString &folder)
{
    return SettingsFile(settingsPath).save(settings, folder);
}

bool Program::readSettings()
{
    return SettingsFile(settingsPath).read(settings);
}
