#include "help/viewer/helpchannel.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace help {

namespace {

    constexpr char kTaken = 'k';
    constexpr quint32 kMaxMessage = 64 * 1024;

    QByteArray encode(const QStringList &arguments)
    {
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream << arguments;
        return bytes;
    }

    // A folder nobody but this user can enter or plant anything in: the folder itself, not a
    // link to one, owned by this user, with no rights for anyone else.
    bool isPrivateFolder(const QString &path)
    {
        struct stat info = {};
        if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &info) != 0) {
            return false;
        }
        return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
            && (info.st_mode & 07777) == S_IRWXU;
    }

    // Whether the process at the other end of the connected `socket` runs as this user.
    bool peerIsThisUser(qintptr socket)
    {
        struct ucred credentials = {};
        socklen_t size = sizeof credentials;
        if (socket < 0
            || ::getsockopt(int(socket), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0
            || size != sizeof credentials) {
            return false;
        }
        return credentials.uid == ::geteuid();
    }

} // namespace

QString channelFolder()
{
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (isPrivateFolder(runtime)) {
        return runtime;
    }
    // Made with no rights for others from the start; one that is there already counts only if
    // this user made it so (another user may have made it first, to listen in).
    const QString own = QDir::tempPath() + QStringLiteral("/querndal-%1").arg(::geteuid());
    ::mkdir(QFile::encodeName(own).constData(), S_IRWXU);
    return isPrivateFolder(own) ? own : QString();
}

QString channelName(const QString &helpFile)
{
    const QString folder = channelFolder();
    if (folder.isEmpty()) {
        return QString();
    }
    const QFileInfo info(helpFile);
    const QString canonical = info.canonicalFilePath();
    const QString path = canonical.isEmpty() ? info.absoluteFilePath() : canonical;
    const QByteArray hash
        = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return folder + QStringLiteral("/querndal-help-") + QString::fromLatin1(hash);
}

bool forwardToRunningViewer(const QStringList &arguments, int waitMs)
{
    if (arguments.isEmpty() || arguments.first().isEmpty()) {
        return false;
    }
    const QString name = channelName(arguments.first());
    if (name.isEmpty()) {
        return false;
    }
    const QDeadlineTimer deadline(waitMs);
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        return false;
    }
    // The help file's path and the keyword go to this user's own viewer or nowhere.
    if (!peerIsThisUser(socket.socketDescriptor())) {
        socket.abort();
        return false;
    }
    const QByteArray message = encode(arguments);
    QDataStream(&socket) << quint32(message.size());
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) {
            return false;
        }
    }
    // The answer comes once the viewer has shown the request, so the caller's next step (a
    // screenshot, a key) meets the window at the keyword.
    if (!socket.waitForReadyRead(int(deadline.remainingTime()))) {
        return false;
    }
    return socket.read(1) == QByteArray(1, kTaken);
}

ChannelServer::ChannelServer(QObject *parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &ChannelServer::takeConnection);
}

bool ChannelServer::listen(const QString &helpFile)
{
    const QString name = channelName(helpFile);
    if (name.isEmpty()) {
        return false;
    }
    if (m_server->listen(name)) {
        return true;
    }
    // A viewer that was killed leaves its socket behind, one that hangs keeps it: either way
    // nobody answered on it (the caller asked first), so the name is taken over and later
    // requests come here. The folder is this user's own, so what is removed is too.
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

void ChannelServer::takeConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        // Only this user's processes may tell the window what to show.
        if (!peerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            QDataStream stream(socket);
            stream.startTransaction();
            quint32 size = 0;
            stream >> size;
            // Arguments are a few short strings; anything longer is not a request.
            if (stream.status() == QDataStream::Ok && size > kMaxMessage) {
                socket->abort();
                return;
            }
            if (stream.status() != QDataStream::Ok || socket->bytesAvailable() < qint64(size)) {
                stream.rollbackTransaction();
                return;
            }
            QStringList arguments;
            stream >> arguments;
            if (!stream.commitTransaction()) {
                socket->abort();
                return;
            }
            Q_EMIT received(arguments);
            socket->write(QByteArray(1, kTaken));
            socket->flush();
        });
    }
}

} // namespace help
