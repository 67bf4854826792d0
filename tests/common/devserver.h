#pragma once

#include "common/childprocess.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

// The reference chat server (devserver/server.mjs under Node.js) for one test: its own data
// folder with its own CA, free ports chosen by the server, and its control interface (plain
// HTTP on loopback) to drive it and to read back what its REST side received.
class DevServer
{
public:
    DevServer();
    ~DevServer() { stop(); }

    // Starts and waits for the server's READY line.
    bool start();
    // SIGTERM, then waits for the exit.
    void stop() { ChildProcess::stop(m_process); }
    // SIGSTOP and SIGCONT: while paused the server answers nothing (its control interface
    // neither), so that a test can act while a request is known to be in flight.
    bool pause();
    bool resume();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    QString errorString() const { return m_error; }
    int restPort() const { return m_restPort; }
    QString dataDir() const { return m_dir.filePath(QStringLiteral("data")); }
    // The client configuration the server wrote (host, ports, CaFile=ca.pem).
    QString clientIni() const { return dataDir() + QStringLiteral("/client.ini"); }
    QString caFile() const { return dataDir() + QStringLiteral("/ca.pem"); }

    // One call of the control interface; the answer's JSON (null when there was none).
    // `status` receives the HTTP status (0 without an answer).
    QJsonValue control(const QByteArray& method, const QString& path,
                       const QJsonValue& body = QJsonValue(), int* status = nullptr);
    // The same as the raw JSON text of the answer (key order kept).
    QByteArray controlRaw(const QByteArray& method, const QString& path,
                          const QJsonValue& body = QJsonValue(), int* status = nullptr);
    // What the REST side received, oldest first, optionally only paths starting with a prefix
    // and only after a sequence number.
    QJsonArray requests(const QString& pathPrefix = QString(), qint64 since = 0);
    // The sequence number of the newest request received (0 when none).
    qint64 lastRequestSeq();
    // A fault rule for the REST side ({"mode": "error"|"hang"|"off", ...}).
    bool setFault(const QJsonObject& rule);
    // A directory user by account ("user001"), with "userId".
    QJsonObject user(const QString& account);

private:
    // Everything the server printed.
    QString output() const;

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_restPort = 0;
    int m_controlPort = 0;
    QString m_error;
};
