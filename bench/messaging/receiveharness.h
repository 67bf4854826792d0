#pragma once

#include "common/mosquittobroker.h"
#include "messaging/mqttclient.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

// The broker side of the receive benchmarks: a local mosquitto broker, a burst of CHAT payloads
// for one room, a publisher that records when it handed over each payload, and the reference
// figures: mosquitto_sub receiving the same burst from the same broker in the same run, and
// the latency of mosquitto_pub to mosquitto_sub at a steady rate. The
// receiver under test connects as receiverUser() with its own client id, after
// prepareSession() left that id subscribed to its room.
class ReceiveHarness
{
public:
    ReceiveHarness();
    ~ReceiveHarness();

    bool start();
    QString errorString() const { return m_error; }
    MosquittoBroker& broker() { return m_broker; }
    QString receiverUser() const;
    QByteArray receiverPassword() const;

    // CHAT text payloads from `senderId`, message ids "bench-000000" upwards.
    static QList<QByteArray> chatBurst(int count, qint32 senderId);
    // The burst index in a message id made by chatBurst, -1 for any other id.
    static int indexOf(const QString& messageId);

    bool prepareSession(const QString& clientId, const QString& topic);
    // Messages per second that mosquitto_sub receives, from the first publish until it has the
    // last message; 0 on failure.
    double referenceRate(const QString& topic, const QList<QByteArray>& payloads);
    // One line at a time at a steady rate from mosquitto_pub to mosquitto_sub: each line's time
    // from its write to mosquitto_pub until mosquitto_sub has printed it, in ms; empty on
    // failure.
    QVector<double> referenceLatencies(const QString& topic, int count, int perSecond);
    // As fast as the publisher takes them / at a steady rate. sentAt[i]: nowNs() when payload i
    // was handed to the publisher.
    void publishBurst(const QString& topic, const QList<QByteArray>& payloads,
                      QVector<qint64>* sentAt);
    void publishPaced(const QString& topic, const QList<QByteArray>& payloads, int perSecond,
                      QVector<qint64>* sentAt);

    // A monotonic clock in nanoseconds, comparable across threads of the process.
    static qint64 nowNs();
    // Runs the event loop until the condition holds or the time is up.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs);

private:
    MosquittoBroker m_broker;
    std::unique_ptr<QMQTT::Client> m_publisher;
    QString m_error;
};
