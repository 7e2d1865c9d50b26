#pragma once

#include "core/extras.h"
#include "core/slotring.h"
#include "programsettings.h"
#include "slideshow.h"
#include "windowlinks.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class FolderModel;
class Services;

// Program-wide state and the one owner of the windows. A window is reached through its accessor:
// if it does not exist, the accessor creates it hidden and runs its Form_Load before returning,
// so the statement that touched it completes after the load. unload() runs the window's
// Form_Unload and destroys it; the next touch creates it again. The state lives in models with
// signals (the settings, the current folder, the slide show, the current file, the file
// commands' outcomes): the windows follow them and never steer each other by calls.
class Program : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSlotCount = SlotRing::kSlotCount;

    // How the windows are made: the program knows them only as windows.
    struct WindowFactories
    {
        std::function<std::unique_ptr<ProgramWindow>(Program &)> mainWindow;
        std::function<std::unique_ptr<ProgramWindow>(Program &)> slideShow;
        std::function<std::unique_ptr<ProgramWindow>(Program &)> setupDialog;
        std::function<std::unique_ptr<ProgramWindow>(Program &)> aboutBox;
    };

    // `systemFolder` is the program's folder as the system reports it; settings and help live
    // there.
    Program(Services &services, QString systemFolder, WindowFactories factories);
    ~Program() override;
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    Services &services() { return m_services; }

    // Starts the program: loads the main window, whose load step does the rest.
    void start();

    // ---- windows
    ProgramWindow *mainWindow();
    ProgramWindow *slideShow();
    ProgramWindow *setupDialog();
    ProgramWindow *aboutBox();
    bool isMainWindowLoaded() const { return m_main != nullptr; }
    bool isSlideShowLoaded() const { return m_showWindow != nullptr; }
    bool isSetupDialogLoaded() const { return m_setup != nullptr; }
    bool isAboutBoxLoaded() const { return m_about != nullptr; }
    // Whether `window` is the loaded one of its kind (not one on its way out).
    bool isCurrent(const ProgramWindow *window) const;
    // The windows by kind, for unload().
    enum class Window { Main, SlideShow, Setup, About };
    // Runs the window's Form_Unload and destroys it; one that is not loaded is skipped.
    void unload(Window window);

    // ---- paths
    // Computes the program folder, the settings path and the help file path.
    void computePaths();
    const QString &systemProgramFolder() const { return m_systemFolder; }
    const QString &programFolder() const { return m_programFolder; }
    const QString &settingsPath() const { return m_settingsPath; }
    const QString &helpFilePath() const { return m_helpFilePath; }

    // ---- extras
    // What the extras file beside the settings file switches on; read by start(), all off
    // before.
    const Extras &extras() const { return m_extras; }

    // ---- settings
    const Settings &settings() const { return m_settings.values(); }
    ProgramSettings &settingsModel() { return m_settings; }

    // ---- the current folder, the slots, the show
    FolderModel &folder() { return *m_folder; }
    SlotRing &slotRing() { return m_slots; }
    SlideShow &show() { return *m_show; }
    // The file the path label shows; rename and delete from the main window act on it.
    const QString &currentFile() const { return m_currentFile; }
    void setCurrentFile(const QString &path);

    // ---- file commands
    // Deletes `path` after the user confirmed it; fileRemoved() tells who shows it. True when it
    // was deleted.
    bool deleteFile(const QString &path);
    // Renames `path` to a name picked in a save-as dialog opened on `dialogName`; fileRenamed()
    // tells who shows it.
    void renameFile(const QString &path, const QString &dialogName);

Q_SIGNALS:
    void currentFileChanged(const QString &path);
    void fileRemoved(const QString &path);
    void fileRenamed(const QString &from, const QString &to);

public:
    static const QString appTitle;
    static const QString defaultMessageTitle;
    static const QString appVersion;
    // The program's file name as it holds it; the settings and help files are named after it.
    static const QString programFileName;

private:
    // Where the settings file is, from the program's folder as the system reports it.
    QString computeSettingsPath() const;
    template<class Form>
    Form *touch(
        std::unique_ptr<Form> &slot, const std::function<std::unique_ptr<Form>(Program &)> &make);
    template<class Form> void unloadWindow(std::unique_ptr<Form> &slot);

    Services &m_services;
    QString m_systemFolder;
    WindowFactories m_factories;
    QString m_programFolder;
    QString m_settingsPath;
    QString m_helpFilePath;
    ProgramSettings m_settings;
    Extras m_extras;
    FolderModel *m_folder;
    SlotRing m_slots;
    SlideShow *m_show;
    QString m_currentFile;
    std::unique_ptr<ProgramWindow> m_main;
    std::unique_ptr<ProgramWindow> m_showWindow;
    std::unique_ptr<ProgramWindow> m_setup;
    std::unique_ptr<ProgramWindow> m_about;
};
