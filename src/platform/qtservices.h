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

private:
    QPrinter &printer();

    QString m_helpViewer;
    std::unique_ptr<QPrinter> m_printer;
};
