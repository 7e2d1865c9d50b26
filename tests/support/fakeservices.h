#pragma once

#include "platform/services.h"

#include <QList>
#include <QQueue>
#include <QStringList>

#include <functional>

// Services with scripted answers: every call is recorded, and modal calls take their answer from
// a queue. A box with only OK needs none; a question with no queued answer fails the test.
class FakeServices : public Services
{
public:
    struct MessageCall
    {
        QString text;
        Buttons buttons;
        Icon icon;
        QString title;
    };
    struct HelpCall
    {
        QString file;
        int command;
        QString keyword;
    };

    Answer messageBox(
        const QString &text, Buttons buttons, Icon icon, const QString &title) override;
    std::optional<QString> saveAs(const QString &initialFileName) override;
    PrinterSetup setUpPrinter() override;
    bool printWidget(QWidget *widget) override;
    void showHelp(const QString &helpFile, int command, const QString &keyword) override;
    void sendKey(int virtualKey) override;
    void endProgram() override;
    QSizeF screenSizeTwips() const override;
    float twipsPerPixel() const override { return tpp; }
    void setBusy(bool busy) override;
    Qt::CaseSensitivity fileNameCase() const override { return caseRule; }
    QStringList volumeRoots() const override { return roots; }

    // Script
    QQueue<Answer> answers;
    QQueue<std::optional<QString>> saveAsAnswers;
    bool printSucceeds = true;
    PrinterSetup printerSetupAnswer = PrinterSetup::Chosen;
    QSizeF screenTwips { 800 * 15.0, 800 * 15.0 };
    float tpp = 15.0f;
    Qt::CaseSensitivity caseRule = Qt::CaseSensitive;
    QStringList roots { QStringLiteral("/") };

    // Runs while a modal message box or save-as dialog is open, as the event loop would run
    // timers and other events then.
    std::function<void()> whileModal;

    // Record
    QList<MessageCall> messages;
    QStringList saveAsCalls;
    QList<HelpCall> helpCalls;
    QList<int> sentKeys;
    int printCalls = 0;
    int printerSetupCalls = 0;
    int endCalls = 0;
    int busyDepth = 0;
    int busyCalls = 0;
};
