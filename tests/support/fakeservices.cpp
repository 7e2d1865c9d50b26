#include "fakeservices.h"

#include <QTest>

Services::Answer FakeServices::messageBox(
    const QString &text, Buttons buttons, Icon icon, const QString &title)
{
    messages.append({ text, buttons, icon, title });
    if (whileModal) {
        whileModal();
    }
    if (!answers.isEmpty()) {
        return answers.dequeue();
    }
    // A question the test did not expect fails it: answering Yes for it could delete a file no
    // test meant to.
    if (buttons != Buttons::Ok) {
        QTest::qFail(
            qPrintable(QStringLiteral("unscripted question: ") + text), __FILE__, __LINE__);
        return buttons == Buttons::OkCancel ? Answer::Cancel : Answer::No;
    }
    return Answer::Ok;
}

std::optional<QString> FakeServices::saveAs(const QString &initialFileName)
{
    saveAsCalls.append(initialFileName);
    if (whileModal) {
        whileModal();
    }
    if (!saveAsAnswers.isEmpty()) {
        return saveAsAnswers.dequeue();
    }
    return std::nullopt;
}

Services::PrinterSetup FakeServices::setUpPrinter()
{
    ++printerSetupCalls;
    return printerSetupAnswer;
}

bool FakeServices::printWidget(QWidget *)
{
    ++printCalls;
    return printSucceeds;
}

void FakeServices::showHelp(const QString &helpFile, int command, const QString &keyword)
{
    helpCalls.append({ helpFile, command, keyword });
}

void FakeServices::sendKey(int virtualKey)
{
    sentKeys.append(virtualKey);
}

void FakeServices::endProgram()
{
    ++endCalls;
}

QSizeF FakeServices::screenSizeTwips() const
{
    return screenTwips;
}

void FakeServices::setBusy(bool busy)
{
    ++busyCalls;
    busyDepth += busy ? 1 : -1;
}
