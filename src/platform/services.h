#pragma once

#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// Everything modal or outside the program goes through here, so that the windows can be driven
// by tests with scripted answers. The Qt implementation is QtServices.
class Services
{
public:
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
    enum class Icon { None, Critical, Question, Exclamation, Information };
    enum class Answer { Ok, Cancel, Yes, No };
    // How the printer-setup dialog ended.
    enum class PrinterSetup {
        Chosen, // the user accepted a printer; later prints use it
        Cancelled, // the user closed the dialog without a choice
        NoPrinter, // there was no printer to choose (none installed, or the print system did not
                   // answer in time): the dialog was not shown
    };

    virtual ~Services();

    // A modal message box; returns the button chosen.
    virtual Answer messageBox(const QString &text, Buttons buttons, Icon icon, const QString &title)
        = 0;
    // The save-as dialog opened on `initialFileName` (a full path); the chosen full path, or
    // nothing when the user cancelled.
    virtual std::optional<QString> saveAs(const QString &initialFileName) = 0;
    // The printer-setup dialog; the printer chosen is the one printWidget uses from then on.
    virtual PrinterSetup setUpPrinter() = 0;
    // Prints an image of the widget's client area on one page; false when nothing was printed.
    virtual bool printWidget(QWidget *widget) = 0;
    // Opens `helpFile` in the help viewer with a command and a keyword; returns at once.
    virtual void showHelp(const QString &helpFile, int command, const QString &keyword) = 0;
    // Sends a key (a virtual-key code) to the program's active window and returns once it has
    // been handled.
    virtual void sendKey(int virtualKey) = 0;
    // Ends the program at once: nothing is saved and no window's unload handler runs.
    virtual void endProgram() = 0;
    // The screen's size in twips.
    virtual QSizeF screenSizeTwips() const = 0;
    // Twips per pixel of the screen (15 at 96 DPI).
    virtual float twipsPerPixel() const = 0;
    // The hourglass pointer on or off.
    virtual void setBusy(bool busy) = 0;
    // How the file system compares file names.
    virtual Qt::CaseSensitivity fileNameCase() const = 0;
    // The roots of the volumes the drive list offers, the system's root first.
    virtual QStringList volumeRoots() const = 0;
};
