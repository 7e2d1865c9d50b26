#pragma once

#include "core/settings.h"

#include <QObject>
#include <QString>

// The settings in memory for the whole run, with the one read and the one write of the settings
// file. Every change is announced by changed(); the windows follow it instead of being told.
class ProgramSettings : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    const Settings &values() const { return m_values; }
    // The file the settings are read from and written to; `systemFolder` is the program's folder
    // as the system reports it, the folder of the default record.
    void setFile(const QString &path, const QString &systemFolder);
    const QString &path() const { return m_path; }

    void setSlideInterval(float seconds);
    void setBgColorIndex(int paletteIndex);
    void setSavedColorIndex(int paletteIndex);
    void setLoopMode(int mode);
    void setHideFileName(int hide);

    // The colour the windows wear: start-up, "Save" and F2 put the background colour on them;
    // the Setup dialog's swatch alone does not.
    int windowColor() const { return m_windowColor; }
    void wearBackgroundColor();
    // "Save" applies the hide-file-name switch to the slide show's label.
    void applyFileNameSwitch();

    // The common write of the record with `folder`; false when the file was not written (the
    // settings in memory are kept either way).
    bool save(const QString &folder);
    // The common read into the settings in memory; false when the record was not read whole.
    bool read();
    // The read, where a record not read whole leaves the settings in memory as they were.
    bool readWhole();
    // The start-up error path: the default record, written over whatever the file held; put in
    // force at once when it cannot be written.
    void writeDefaults();

Q_SIGNALS:
    void changed();
    void windowColorChanged(int paletteIndex);
    void fileNameSwitchApplied(bool shown);

private:
    template<class Value> void set(Value &field, Value value);
    bool read(bool onlyWhole);

    Settings m_values;
    QString m_path;
    QString m_systemFolder;
    int m_windowColor = Settings::kDefaultColor;
};
