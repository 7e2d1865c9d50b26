#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

// One help window per help file: a viewer that runs listens on a local socket named after the
// file, and a later request for that file is handed to it instead of starting another viewer.
// The socket lives in a folder only this user can enter, and each end makes sure the other runs
// as this user, so a request never reaches another user's process.
namespace help {

// How long a request waits for a running viewer to take it: a viewer that does not answer by
// then is taken for dead, and the new viewer takes its name over.
constexpr int kForwardWaitMs = 1500;

// The folder the channel lives in: $XDG_RUNTIME_DIR, or else a folder of this user's own in the
// temporary folder; either must be a real folder (no link), owned by this user, mode 0700.
// Empty when there is none such: the viewer then works alone.
QString channelFolder();

// The socket's path for `helpFile`: the same for every spelling of the same file, different for
// different files. Empty when there is no channel folder.
QString channelName(const QString &helpFile);

// Hands the viewer's command line `arguments` (help file first) to the viewer that shows their
// help file. True once that viewer has taken them; false at once when none runs or the socket
// is held by another user, and after at most `waitMs` when one does not answer.
bool forwardToRunningViewer(const QStringList &arguments, int waitMs = kForwardWaitMs);

// The listening side, in the viewer: received() carries each request's arguments, from
// processes of this user only.
class ChannelServer : public QObject
{
    Q_OBJECT
public:
    explicit ChannelServer(QObject *parent = nullptr);
    // Starts listening for `helpFile`, in place of whatever held the name before (the caller
    // found nobody there to answer); false when the socket cannot be made.
    bool listen(const QString &helpFile);

Q_SIGNALS:
    void received(const QStringList &arguments);

private:
    void takeConnection();

    QLocalServer *m_server = nullptr;
};

} // namespace help
