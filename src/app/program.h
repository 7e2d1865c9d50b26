#pragma once

#include "core/settings.h"

#include <QString>

#include <array>
#include <memory>

class Services;
class SettingsFile;
class startfrm;
class Form2;
class Form4;
class AboutBox;

// Program-wide state and the one owner of the windows. A window is reached through its accessor:
// if it does not exist, the accessor creates it hidden and runs its Form_Load before returning,
// so the statement that touched it completes after the load. unload*() runs the window's
// Form_Unload and destroys it; the next touch creates it again.
class Program
{
public:
    static constexpr int kSlotCount = 20;
    static constexpr int kSlotFileCount = 23;

    // `systemFolder` is the program's folder as the system reports it; settings and help live there.
    Program(Services &services, QString systemFolder);
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    Services &services() { return m_services; }

    // Starts the program: loads the main window, whose load step does the rest.
    void start();

    // ---- windows
    startfrm *startForm();
    Form2 *form2();
    Form4 *form4();
    AboutBox *aboutBox();
    bool isStartFormLoaded() const { return m_startfrm != nullptr; }
    bool isForm2Loaded() const { return m_form2 != nullptr; }
    // The slide-show window if it exists, without loading it.
    const Form2 *peekForm2() const { return m_form2.get(); }
    bool isForm4Loaded() const { return m_form4 != nullptr; }
    bool isAboutBoxLoaded() const { return m_aboutBox != nullptr; }
    void unloadStartForm();
    void unloadForm2();
    void unloadForm4();
    void unloadAboutBox();

    // ---- paths
    // Computes programFolder, settingsPath and helpFilePath from the system's folder.
    void computePaths();
    const QString &systemProgramFolder() const { return m_systemFolder; }
    QString programFolder;
    QString programBaseName;
    QString settingsPath;
    QString helpFilePath;

    // ---- settings
    Settings settings;
    // The common write of the settings record with `folder`; false when the file was not written
    // (the settings in memory are kept either way).
    bool saveSettings(const QString &folder);
    // The common read into the settings in memory; false when the record was not read whole.
    bool readSettings();

    // ---- slot and show state
    std::array<QString, kSlotFileCount> slotFile;
    qint16 nextSlot = 0;
    qint16 currentSlot = 0;
    qint16 listPosition = 0;
    qint16 showSource = 0;
    qint16 showContinuous = 0;
    // The slots' geometry at the end of start-up, whole twips. Wider than the 16 bits they once
    // had: a large screen's twips pass 32767.
    std::array<int, kSlotCount> slotHeight {};
    std::array<int, kSlotCount> slotLeft {};
    std::array<int, kSlotCount> slotTop {};
    std::array<int, kSlotCount> slotWidth {};

    static const QString appTitle;
    static const QString defaultMessageTitle;
    static const QString appVersion;
    // The program's file name as it holds it; the settings and help files are named after it.
    static const QString programFileName;

private:
    template<class Window>
    Window *touch(std::unique_ptr<Window> &slot);
    template<class Window>
    void unload(std::unique_ptr<Window> &slot);

    Services &m_services;
    QString m_systemFolder;
    std::unique_ptr<startfrm> m_startfrm;
    std::unique_ptr<Form2> m_form2;
    std::unique_ptr<Form4> m_form4;
    std::unique_ptr<AboutBox> m_aboutBox;
};
