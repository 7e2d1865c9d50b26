#include "programsettings.h"

#include "core/settingsfile.h"

void ProgramSettings::setFile(const QString &path, const QString &systemFolder)
{
    m_path = path;
    m_systemFolder = systemFolder;
}

template<class Value> void ProgramSettings::set(Value &field, Value value)
{
    if (field == value) {
        return;
    }
    field = value;
    Q_EMIT changed();
}

void ProgramSettings::setSlideInterval(float seconds)
{
    set(m_values.slideInterval, seconds);
}

void ProgramSettings::setBgColorIndex(int paletteIndex)
{
    set(m_values.bgColorIndex, qint16(paletteIndex));
}

void ProgramSettings::setSavedColorIndex(int paletteIndex)
{
    set(m_values.savedColorIndex, qint16(paletteIndex));
}

void ProgramSettings::setLoopMode(int mode)
{
    set(m_values.loopMode, qint16(mode));
}

void ProgramSettings::setHideFileName(int hide)
{
    set(m_values.hideFileName, qint16(hide));
}

void ProgramSettings::wearBackgroundColor()
{
    m_windowColor = m_values.bgColorIndex;
    Q_EMIT windowColorChanged(m_windowColor);
}

void ProgramSettings::applyFileNameSwitch()
{
    Q_EMIT fileNameSwitchApplied(m_values.hideFileName != 1);
}

bool ProgramSettings::save(const QString &folder)
{
    if (!SettingsFile(m_path).save(m_values, folder)) {
        return false;
    }
    // The file now holds this folder: a later write of "the folder that was read" (F2 in the
    // show) writes it, instead of reverting to one read earlier in the run.
    m_values.lastFolder = folder;
    return true;
}

bool ProgramSettings::read()
{
    return read(false);
}

bool ProgramSettings::readWhole()
{
    return read(true);
}

bool ProgramSettings::read(bool onlyWhole)
{
    // A read that fails part-way keeps what it has read, as the record's fields are read in turn.
    Settings values = m_values;
    const bool whole = SettingsFile(m_path).read(values);
    if ((whole || !onlyWhole) && values != m_values) {
        m_values = values;
        Q_EMIT changed();
    }
    return whole;
}

void ProgramSettings::writeDefaults()
{
    const Settings defaults = Settings::defaults(m_systemFolder);
    if (!m_path.isEmpty() && SettingsFile(m_path).save(defaults, defaults.lastFolder)) {
        return;
    }
    // The defaults could not be written, so no later read will bring them in: put them in force
    // here, as a read of the written file would have.
    const QString folder = m_values.lastFolder;
    m_values = defaults;
    m_values.lastFolder = folder;
    Q_EMIT changed();
}
