#include "help/viewer/helpchannel.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

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

} // namespace

QString channelName(const QString &helpFile)
{
    const QFileInfo info(helpFile);
    const QString canonical = info.canonicalFilePath();
    const QString path = canonical.isEmpty() ? info.absoluteFilePath() : canonical;
    const QByteArray hash
        = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("querndal-help-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

bool forwardToRunningViewer(const QStringList &arguments, int waitMs)
{
    if (arguments.isEmpty() || arguments.first().isEmpty()) {
        return false;
    }
    const QDeadlineTimer deadline(waitMs);
    QLocalSocket socket;
    socket.connectToServer(channelName(arguments.first()));
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
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
    if (m_server->listen(name)) {
        return true;
    }
    // A viewer that was killed leaves its socket behind; nobody answers on it any more (the
    // caller asked first), so it can go.
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

void ChannelServer::takeConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
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
