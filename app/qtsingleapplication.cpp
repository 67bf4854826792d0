#include "app/qtsingleapplication.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

namespace {
// Wire format between instances: a 4-byte big-endian length and the UTF-8 text; the primary
// answers one byte once it has emitted the message.
constexpr char kAck = '\x06';
constexpr int kHeaderSize = 4;

QByteArray frame(const QString& message)
{
    const QByteArray body = message.toUtf8();
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << quint32(body.size());
    bytes.append(body);
    return bytes;
}
} // namespace

QString QtSingleApplication::runtimeFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString QtSingleApplication::serverNameFor(const QString& appId)
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    const QByteArray key = (appId + QLatin1Char('|') + user).toUtf8();
    return QStringLiteral("mtalk-") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(20));
}

QtSingleApplication::QtSingleApplication(const QString& appId, int& argc, char** argv)
    : QApplication(argc, argv), m_id(appId)
{
    // The user's private runtime folder (mode 0700) rather than the shared temporary folder: there
    // another user could take the predictable name first and keep every start from running, or
    // listen on it and read what the next start sends.
    const QString folder = runtimeFolder();
    if (folder.isEmpty())
        qWarning().noquote() << "QtSingleApplication - no runtime folder, using the temporary one";
    const QDir dir(folder.isEmpty() ? QDir::tempPath() : folder);
    m_serverName = dir.absoluteFilePath(serverNameFor(appId));
    m_lock = new QLockFile(m_serverName + QStringLiteral(".lock"));
    // Only a dead owner makes the lock stale, never its age: the primary runs for weeks.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        becomePrimary();
    } else if (m_lock->error() == QLockFile::LockFailedError) {
        m_running = true;
    } else {
        // The lock cannot be written at all; better to run unguarded than not at all.
        qWarning().noquote().nospace()
            << "QtSingleApplication - cannot create lock file, error:" << m_lock->error();
        becomePrimary();
    }
}

QtSingleApplication::~QtSingleApplication()
{
    if (m_server)
        m_server->close();
    delete m_lock;
}

void QtSingleApplication::becomePrimary()
{
    // A socket file left by a crashed primary would make listen() fail; we hold the lock, so any
    // socket of this name is stale.
    QLocalServer::removeServer(m_serverName);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName))
        qWarning().noquote().nospace()
            << "QtSingleApplication - cannot listen:" << m_server->errorString();
    connect(m_server, &QLocalServer::newConnection, this, &QtSingleApplication::acceptConnection);
}

void QtSingleApplication::acceptConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        m_pending.insert(socket, QByteArray());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFromClient(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
        readFromClient(socket);
    }
}

void QtSingleApplication::readFromClient(QLocalSocket* socket)
{
    QByteArray& buffer = m_pending[socket];
    buffer.append(socket->readAll());
    if (buffer.size() < kHeaderSize)
        return;
    quint32 length = 0;
    QDataStream(buffer.left(kHeaderSize)) >> length;
    // A peer that announces more than a message could ever be is not one of ours.
    if (length > 1024 * 1024) {
        socket->abort();
        return;
    }
    if (quint32(buffer.size() - kHeaderSize) < length)
        return;
    const QString message = QString::fromUtf8(buffer.mid(kHeaderSize, int(length)));
    buffer.clear();
    emit messageReceived(message);
    socket->write(&kAck, 1);
    socket->flush();
    socket->disconnectFromServer();
}

bool QtSingleApplication::sendMessage(const QString& message, int timeout)
{
    if (!m_running)
        return false;
    QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    // The primary may be between taking the lock and listening; keep trying until the deadline.
    for (;;) {
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(int(qMax<qint64>(0, deadline.remainingTime()))))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    socket.write(frame(message));
    if (!socket.waitForBytesWritten(int(qMax<qint64>(0, deadline.remainingTime()))))
        return false;
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(int(qMax<qint64>(0, deadline.remainingTime()))))
            return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kAck;
}
