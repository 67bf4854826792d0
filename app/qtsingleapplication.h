#pragma once

#include <QApplication>
#include <QHash>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// A QApplication of which only one primary instance runs per user session. The primary holds a
// lock file and listens on a local socket; a later start finds the lock held, hands its message
// to the primary through the socket and ends. A lock left behind by a crashed primary is stale
// (its process is gone) and is taken over by the next start.
class QtSingleApplication : public QApplication
{
    Q_OBJECT
public:
    QtSingleApplication(const QString& appId, int& argc, char** argv);
    ~QtSingleApplication() override;

    QString id() const { return m_id; }
    // True when another instance is the primary of this session.
    bool isRunning() const { return m_running; }
    // Delivers a message to the primary; true once the primary acknowledged it.
    bool sendMessage(const QString& message, int timeout = 5000);

    // The local socket name and lock file used for an id; scoped to the user so that two users on
    // one machine each get their own primary.
    static QString serverNameFor(const QString& appId);
    // Where the socket and the lock live: the user's runtime folder (XDG_RUNTIME_DIR on Linux).
    static QString runtimeFolder();
    // The full socket name in use; the lock file is this name plus ".lock".
    QString serverName() const { return m_serverName; }

signals:
    void messageReceived(const QString& message);

private:
    void becomePrimary();
    void acceptConnection();
    void readFromClient(QLocalSocket* socket);

    QString m_id;
    QString m_serverName;
    QLockFile* m_lock = nullptr;
    QLocalServer* m_server = nullptr;
    QHash<QLocalSocket*, QByteArray> m_pending;
    bool m_running = false;
};
