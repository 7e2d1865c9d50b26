#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

// One help window per help file: a viewer that runs listens on a local socket named after the
// file, and a later request for that file is handed to it instead of starting another viewer.
namespace help {

// The socket's name for `helpFile`: the same for every spelling of the same file, different for
// different files and users.
QString channelName(const QString &helpFile);

// Hands the viewer's command line `arguments` (help file first) to the viewer that shows their
// help file. True once that viewer has taken them; false at once when none runs, and after at
// most `waitMs` when one does not answer.
bool forwardToRunningViewer(const QStringList &arguments, int waitMs = 2000);

// The listening side, in the viewer: received() carries each request's arguments.
class ChannelServer : public QObject
{
    Q_OBJECT
public:
    explicit ChannelServer(QObject *parent = nullptr);
    // Starts listening for `helpFile`; false when the socket cannot be made.
    bool listen(const QString &helpFile);

Q_SIGNALS:
    void received(const QStringList &arguments);

private:
    void takeConnection();

    QLocalServer *m_server = nullptr;
};

} // namespace help
