#pragma once

#include "services.h"

#include <memory>

class QPrinter;

// The real dialogs, printer, help viewer and screen of this desktop.
class QtServices : public Services
{
public:
    // `helpViewer` is the program that shows help files.
    explicit QtServices(QString helpViewer = QString());
    ~QtServices() override;

    Answer messageBox(const QString &text, Buttons buttons, Icon icon,
                      const QString &title) override;
    std::optional<QString> saveAs(const QString &initialFileName) override;
    bool printerSetup() override;
    bool printWidget(QWidget *widget) override;
    void showHelp(const QString &helpFile, int command, const QString &keyword) override;
    void sendKey(int virtualKey) override;
    void endProgram() override;
    QSizeF screenSizeTwips() const override;
    float twipsPerPixel() const override;
    void setBusy(bool busy) override;
    Qt::CaseSensitivity fileNameCase() const override;
    QStringList volumeRoots() const override;

    // Whether any printer is installed; with none, printing must fail rather than make a file.
    static bool hasPrinter();

    // The printer a print goes to: `chosen` (picked in the setup dialog) while it is still
    // installed, else, when none was picked, the system's current default; empty when there is
    // no such printer, and then nothing may be printed.
    static QString printerToUse(const QString &chosen, const QStringList &installed,
                                const QString &currentDefault);

    // Makes `printerName` the printer every later print uses, as accepting it in printerSetup()
    // does; an empty name goes back to following the system's default.
    void choosePrinter(const QString &printerName);
    // The printer picked in printerSetup(); empty while none was.
    QString chosenPrinter() const { return m_chosenPrinter; }

private:
    QPrinter &printer();

    QString m_helpViewer;
    std::unique_ptr<QPrinter> m_printer;
    QString m_chosenPrinter;
};
