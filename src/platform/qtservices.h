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

    Answer messageBox(
        const QString &text, Buttons buttons, Icon icon, const QString &title) override;
    std::optional<QString> saveAs(const QString &initialFileName) override;
    PrinterSetup setUpPrinter() override;
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
    // False too when the print system does not answer within kPrinterLookUpWait.
    static bool hasPrinter();

    // The installed printers and the system's default, as the print system lists them; nothing
    // when it does not answer within `wait` (a scheduler that accepts a connection and never
    // answers would otherwise hold the caller for minutes). A look-up that outlives its wait is
    // left to end on its own; the next call waits for that one instead of starting another, so
    // the print system is never asked from two threads at once.
    struct Printers
    {
        QStringList installed;
        QString currentDefault;
    };
    static std::optional<Printers> lookUpPrinters(int waitMs = kPrinterLookUpWaitMs);
    static constexpr int kPrinterLookUpWaitMs = 3000;

    // The printer a print goes to: `chosen` (picked in the setup dialog) while it is still
    // installed, else, when none was picked, the system's current default; empty when there is
    // no such printer, and then nothing may be printed.
    static QString printerToUse(
        const QString &chosen, const QStringList &installed, const QString &currentDefault);

    // Makes `printerName` the printer every later print uses, as accepting it in setUpPrinter()
    // does; an empty name goes back to following the system's default.
    void choosePrinter(const QString &printerName);
    // The printer picked in setUpPrinter(); empty while none was.
    QString chosenPrinter() const { return m_chosenPrinter; }

private:
    QPrinter &printer();

    QString m_helpViewer;
    std::unique_ptr<QPrinter> m_printer;
    QString m_chosenPrinter;
};
