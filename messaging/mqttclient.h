#pragma once

#include "messaging/mqttclienterror.h"
#include "messaging/mqttmessage.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>
#include <mutex>
#include <vector>

namespace QMQTT {

class ClientDelegate;
class DeliveryThread;
class NetworkLoop;

// An MQTT 3.1 client on libmosquitto: persistent session (clean session off), no will, keep-alive
// and automatic reconnection. The network work runs on a thread of its own; the signals come on
// the thread that owns the client; received messages go to the delegate on a delivery thread,
// in arrival order: what has arrived by the time the delegate is ready for more comes as one
// batch (ClientDelegate::onMessagesDelivered). A QoS 1 message is acknowledged to the broker
// only once the delegate has taken it and everything before it; a batch the delegate could not
// keep is offered again after a pause. At most maxUnsettled() messages wait for the delegate:
// then the client stops reading and the broker keeps the rest.
//
// The delegate must be given before connectToHost(), which starts the delivery thread: its
// first call is onDeliveryThreadStarted(), before any message. Destroying the client lets a
// delivery in progress end, lets the delegate finish (onDeliveryThreadFinished() on the delivery
// thread), disconnects and joins both threads; no signal and no delegate call follows. Messages
// still waiting for the delegate are dropped unacknowledged: the broker sends them again to the
// session's next connection.
class Client : public QObject
{
    Q_OBJECT
public:
    explicit Client(const QHostAddress& host = QHostAddress::LocalHost, quint16 port = 1883,
                    QObject* parent = nullptr);
    explicit Client(ClientDelegate* delegate, QObject* parent = nullptr);
    ~Client() override;

    QString hostName() const { return m_hostName; }
    void setHostName(const QString& hostName) { m_hostName = hostName; }
    void setHost(const QHostAddress& host) { m_hostName = host.toString(); }
    quint16 port() const { return m_port; }
    void setPort(quint16 port) { m_port = port; }
    QString clientId() const { return m_clientId; }
    void setClientId(const QString& clientId) { m_clientId = clientId; }
    QString username() const { return m_username; }
    void setUsername(const QString& username) { m_username = username; }
    QByteArray password() const { return m_password; }
    void setPassword(const QByteArray& password) { m_password = password; }
    int keepAlive() const { return m_keepAlive; }
    void setKeepAlive(int seconds) { m_keepAlive = seconds; }
    bool autoReconnect() const { return m_autoReconnect; }
    void setAutoReconnect(bool on) { m_autoReconnect = on; }
    // Milliseconds before the first retry after a lost connection; doubled for every failed
    // retry up to 30 seconds.
    int autoReconnectInterval() const { return m_autoReconnectInterval; }
    void setAutoReconnectInterval(int ms) { m_autoReconnectInterval = ms; }
    // Received messages that may wait for the delegate before the client stops reading.
    int maxUnsettled() const { return m_maxUnsettled; }
    void setMaxUnsettled(int count) { m_maxUnsettled = qMax(1, count); }
    // The most that have waited at once so far.
    quint64 unsettledHighWater() const;
    // Fixed: MQTT 3.1 (protocol level 3), persistent session.
    quint8 protocolLevel() const { return 3; }
    bool cleanSession() const { return false; }

    ClientDelegate* delegate() const { return m_delegate; }
    // False (and ignored) once the delivery thread runs.
    bool setDelegate(ClientDelegate* delegate);

    // As last signalled: true between connected() and disconnected().
    bool isConnectedToHost() const { return m_connected; }

public slots:
    // Returns at once; connected() or error() follow. Does nothing while connecting or
    // connected; the client id of the first call stays for the client's life.
    void connectToHost();
    void disconnectFromHost();
    // Thread-safe. Returns the packet id, 0 when the message was refused.
    quint16 publish(const QMQTT::Message& message);

signals:
    void connected();
    void disconnected();
    void error(const QMQTT::ClientError error);
    // Kept for the interface; received messages go to the delegate only.
    void received(const QMQTT::Message& message);

protected:
    bool event(QEvent* e) override;

private:
    struct Pending
    {
        enum Kind
        {
            Connected,
            Disconnected,
            Error
        } kind;
        ClientError error;
    };
    // Network thread: hands a signal over to the owner's thread.
    void post(Pending pending);

    QString m_hostName;
    quint16 m_port;
    QString m_clientId;
    QString m_username;
    QByteArray m_password;
    int m_keepAlive = 30;
    bool m_autoReconnect = true;
    int m_autoReconnectInterval = 1000;
    int m_maxUnsettled = 1000;
    ClientDelegate* m_delegate = nullptr;
    bool m_connected = false;

    std::unique_ptr<DeliveryThread> m_delivery;
    std::unique_ptr<NetworkLoop> m_network;

    std::mutex m_pendingMutex;
    std::vector<Pending> m_pending;
};

} // namespace QMQTT
