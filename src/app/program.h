#pragma once

#include "core/settings.h"
#include "core/showstate.h"
#include "core/slotring.h"
#include "windowlinks.h"

#include <QRectF>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class Services;

// Program-wide state and the one owner of the windows. A window is reached through its accessor:
// if it does not exist, the accessor creates it hidden and runs its Form_Load before returning,
// so the statement that touched it completes after the load. unload*() runs the window's
// Form_Unload and destroys it; the next touch creates it again.
class Program
{
public:
    static constexpr int kSlotCount = SlotRing::kSlotCount;

    // How the windows are made: the program knows them only by their interfaces.
    struct WindowFactories
    {
        std::function<std::unique_ptr<MainWindowLink>(Program &)> mainWindow;
        std::function<std::unique_ptr<SlideShowLink>(Program &)> slideShow;
        std::function<std::unique_ptr<SetupLink>(Program &)> setupDialog;
        std::function<std::unique_ptr<ProgramWindow>(Program &)> aboutBox;
    };

    // `systemFolder` is the program's folder as the system reports it; settings and help live
    // there.
    Program(Services &services, QString systemFolder, WindowFactories factories);
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    Services &services() { return m_services; }

    // Starts the program: loads the main window, whose load step does the rest.
    void start();

    // ---- windows
    MainWindowLink *mainWindow();
    SlideShowLink *slideShow();
    SetupLink *setupDialog();
    ProgramWindow *aboutBox();
    bool isMainWindowLoaded() const { return m_main != nullptr; }
    bool isSlideShowLoaded() const { return m_show != nullptr; }
    bool isSetupDialogLoaded() const { return m_setup != nullptr; }
    bool isAboutBoxLoaded() const { return m_about != nullptr; }
    // Whether `window` is the loaded one of its kind (not one on its way out).
    bool isCurrent(const ProgramWindow *window) const;
    void unloadMainWindow();
    void unloadSlideShow();
    void unloadSetupDialog();
    void unloadAboutBox();

    // ---- paths
    // Computes the program folder, the settings path and the help file path.
    void computePaths();
    const QString &systemProgramFolder() const { return m_systemFolder; }
    const QString &programFolder() const { return m_programFolder; }
    const QString &settingsPath() const { return m_settingsPath; }
    const QString &helpFilePath() const { return m_helpFilePath; }

    // ---- settings
    Settings &settings() { return m_settings; }
    const Settings &settings() const { return m_settings; }
    // The common write of the settings record with `folder`; false when the file was not written
    // (the settings in memory are kept either way).
    bool saveSettings(const QString &folder);
    // The common read into the settings in memory; false when the record was not read whole.
    bool readSettings();
    // The start-up error path: the default record, written over whatever the file held; put in
    // force at once when it cannot be written.
    void writeDefaultSettings();
    // Start-up hands the settings read to the Setup dialog and the show (loading both). False
    // when the interval read was one the show's timer cannot take: the default replaces it.
    bool passSettingsToWindows();

    // ---- slot and show state
    SlotRing &slotRing() { return m_slots; }
    const SlotRing &slotRing() const { return m_slots; }
    ShowState &show() { return m_showState; }
    const ShowState &show() const { return m_showState; }
    // The file the path label shows; rename and delete from the main window act on it.
    const QString &currentFile() const { return m_currentFile; }
    void setCurrentFile(const QString &path) { m_currentFile = path; }

    // The slots' geometry at the end of start-up, whole twips.
    struct SlotGeometry
    {
        int left = 0;
        int top = 0;
        int width = 0;
        int height = 0;
        QRectF rect() const { return QRectF(left, top, width, height); }
    };
    const SlotGeometry &slotGeometry(int slot) const { return m_slotGeometry[std::size_t(slot)]; }
    // Records slot `slot`'s picture box `twips`, each value rounded to the nearest whole twip.
    void setSlotGeometry(int slot, const QRectF &twips);

    static const QString appTitle;
    static const QString defaultMessageTitle;
    static const QString appVersion;
    // The program's file name as it holds it; the settings and help files are named after it.
    static const QString programFileName;

private:
    template<class Window>
    Window *touch(std::unique_ptr<Window> &slot,
        const std::function<std::unique_ptr<Window>(Program &)> &make);
    template<class Window> void unload(std::unique_ptr<Window> &slot);

    Services &m_services;
    QString m_systemFolder;
    WindowFactories m_factories;
    QString m_programFolder;
    QString m_settingsPath;
    QString m_helpFilePath;
    Settings m_settings;
    SlotRing m_slots;
    ShowState m_showState;
    QString m_currentFile;
    std::array<SlotGeometry, kSlotCount> m_slotGeometry {};
    std::unique_ptr<MainWindowLink> m_main;
    std::unique_ptr<SlideShowLink> m_show;
    std::unique_ptr<SetupLink> m_setup;
    std::unique_ptr<ProgramWindow> m_about;
};
