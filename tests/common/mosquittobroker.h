#pragma once

#include "common/childprocess.h"

#include <QProcess>
#include <QTemporaryDir>

// A real mosquitto broker with a password file; its port and persistence outlive a kill, so a
// session survives a restart. subscribeSession stands in for the chat server's room topics.
class MosquittoBroker
{
public:
    MosquittoBroker();
    ~MosquittoBroker() { stop(); }

    static bool toolsAvailable();

    // Before start().
    bool addUser(const QString& user, const QString& password);
    void setPersistence(bool on) { m_persistence = on; }
    // QoS 1 messages sent to one client before it acknowledges them; 0: no limit. Unset, the
    // broker's own default (20).
    void setMaxInflight(int count) { m_maxInflight = count; }

    // Starts (or restarts on the same port) and waits until the broker accepts connections.
    bool start();
    // SIGTERM: the broker saves its sessions and exits.
    void stop() { ChildProcess::stop(m_process); }
    // SIGKILL: nothing more is saved.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }
    // What the broker printed and logged ("New client connected from ... as <id> (p1, c0, k30,
    // u'<user>')." and so on).
    QString log() const;
    bool waitForLog(const QString& text, int timeoutMs = 10000) const;

    // Arguments for mosquitto_pub and mosquitto_sub: address, MQTT 3.1, the helper's own account.
    QStringList clientArguments() const;
    // Leaves a persistent session for the client id subscribed with QoS 1 to the topics.
    bool subscribeSession(const QString& clientId, const QStringList& topics);
    // One message per line, in order, from one mosquitto_pub connection, with QoS 1.
    bool publishLines(const QString& topic, const QList<QByteArray>& lines);

private:
    bool runTool(const QString& program, const QStringList& args, const QByteArray& input = {});

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_persistence = true;
    int m_maxInflight = -1;
    QString m_adminPassword;
    QString m_error;
};
