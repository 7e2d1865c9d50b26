#include "fakeservices.h"

Services::Answer FakeServices::messageBox(const QString &text, Buttons buttons, Icon icon,
                                          const QString &title)
{
    messages.append({ text, buttons, icon, title });
    if (whileModal) {
        whileModal();
    }
    if (!answers.isEmpty()) {
        return answers.dequeue();
    }
    return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::Yes : Answer::Ok;
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

bool FakeServices::printerSetup()
{
    ++printerSetupCalls;
    return printerSetupSucceeds;
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
