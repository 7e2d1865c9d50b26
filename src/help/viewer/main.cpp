#include "help/viewer/helpchannel.h"
#include "help/viewer/helprequest.h"
#include "help/viewer/helpwindow.h"
#include "platform/programicon.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("querndal-help"));
    QApplication::setWindowIcon(programIcon());
    const QStringList arguments = QApplication::arguments().mid(1);
    // A viewer already showing this help file takes the request and comes to the front; there
    // is one help window per file.
    if (help::forwardToRunningViewer(arguments)) {
        return 0;
    }
    const help::Request request = help::parseArguments(arguments);
    HelpWindow window(request);
    help::ChannelServer channel;
    if (!request.helpFile.isEmpty()) {
        channel.listen(request.helpFile);
    }
    QObject::connect(
        &channel, &help::ChannelServer::received, &window, [&window](const QStringList &received) {
            window.showRequest(help::parseArguments(received));
        });
    window.show();
    return QApplication::exec();
}
