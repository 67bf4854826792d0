// The MQTT client against a real broker: order, offline, broker kill, late acks.
#include "deliveryrecorder.h"
#include "messaging/mqttclient.h"
#include "sessionfixture.h"

#include <QSignalSpy>
#include <QtTest>

using QMQTT::Message;

namespace {
QList<QByteArray> numbered(const QByteArray& prefix, int count)
{
    QList<QByteArray> out;
    for (int i = 0; i < count; ++i)
        out << prefix + QByteArray::number(i).rightJustified(5, '0');
    return out;
}

} // namespace

class TestMqttClient : public QObject
{
    Q_OBJECT
    // A client connected to the broker as `clientId`; none when it could not connect.
    std::unique_ptr<QMQTT::Client> connected(const QString& clientId, DeliveryRecorder* recorder,
                                             int maxUnsettled = 0)
    {
        auto c = std::make_unique<QMQTT::Client>(recorder);
        if (maxUnsettled > 0)
            c->setMaxUnsettled(maxUnsettled);
        c->setAutoReconnectInterval(200);
        return connectClient(*c, m_broker, clientId) ? std::move(c) : nullptr;
    }

    MosquittoBroker m_broker;

private slots:
    void initTestCase()
    {
        // No in-flight limit, as the chat server: only the client's own bound stops it reading on.
        m_broker.setMaxInflight(0);
        QVERIFY2(startBroker(m_broker), qPrintable(m_broker.errorString()));
    }

    void init()
    {
        // A test that killed the broker leaves it to the next one to start it again.
        QVERIFY2(m_broker.start(), qPrintable(m_broker.errorString()));
    }

    void oneSessionThroughOfflineAndBrokerRestart()
    {
        const QString topic = QStringLiteral("chat/2");
        QVERIFY(m_broker.subscribeSession(QStringLiteral("session-order"), {topic}));
        // A clean stop saves the session, so the kill below cannot lose it.
        m_broker.stop();
        QVERIFY2(m_broker.start(), qPrintable(m_broker.errorString()));
        DeliveryRecorder recorder;
        auto client = connected(QStringLiteral("session-order"), &recorder);
        QVERIFY(client);
        QSignalSpy reconnected(client.get(), &QMQTT::Client::connected);
        QSignalSpy disconnected(client.get(), &QMQTT::Client::disconnected);
        QSignalSpy errors(client.get(), &QMQTT::Client::error);

        // Every byte value, so nothing treats the payload as text; the echo keeps QoS 1.
        QByteArray binary;
        for (int i = 0; i < 256; ++i)
            binary.append(char(i));
        QVERIFY(client->publish(Message(0, topic, binary, 1)) != 0);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.messages().size(), 1, 10000);
        const Message echo = recorder.messages().first();
        QVERIFY(echo.topic() == topic && echo.qos() == 1 && !echo.retain());
        QList<QByteArray> sent = numbered("m", 500);
        QVERIFY2(m_broker.publishLines(topic, sent), qPrintable(m_broker.errorString()));
        sent.prepend(binary);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.messages().size(), sent.size(), 30000);

        // Published while the session is away: the broker keeps them for its next connection.
        client->disconnectFromHost();
        QVERIFY(disconnected.wait(10000) && !client->isConnectedToHost());
        QVERIFY(m_broker.waitForLog(QStringLiteral("Client session-order disconnected.")));
        const QList<QByteArray> offline = numbered("offline", 50);
        QVERIFY(m_broker.publishLines(topic, offline));
        client->connectToHost();
        sent += offline;
        QTRY_COMPARE_WITH_TIMEOUT(recorder.messages().size(), sent.size(), 20000);

        // Broker killed: the client keeps what it publishes, retries, and reconnects on its own.
        m_broker.kill();
        QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 2, 10000);
        QVERIFY(client->publish(Message(0, topic, "while-down", 1)) != 0);
        QTRY_VERIFY_WITH_TIMEOUT(errors.count() >= 2, 10000);
        QVERIFY2(m_broker.start(), qPrintable(m_broker.errorString()));
        QTRY_COMPARE_WITH_TIMEOUT(reconnected.count(), 2, 20000);
        QVERIFY(m_broker.publishLines(topic, {"after-restart"}));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.messages().size(), sent.size() + 2, 20000);
        QList<QByteArray> got = recorder.payloads();
        std::sort(got.end() - 2, got.end());
        QCOMPARE(got, sent + QList<QByteArray>({"after-restart", "while-down"}));
    }

    // Batches refused before and after the bound, then 600 taken: acknowledged only after.
    void acknowledgedOnlyWhenTaken()
    {
        const int maxUnsettled = 50;
        const QString clientId = QStringLiteral("held");
        const QString topic = QStringLiteral("chat/9");
        QVERIFY(m_broker.subscribeSession(clientId, {topic}));
        auto recorder = std::make_unique<DeliveryRecorder>(true);
        recorder->refuseBatches(3);
        auto client = connected(clientId, recorder.get(), maxUnsettled);
        QVERIFY(client);
        const QList<QByteArray> sent = numbered("held", 600);
        QVERIFY2(m_broker.publishLines(topic, sent), qPrintable(m_broker.errorString()));
        // The client reads up to its bound and no further while the delegate refuses.
        QTRY_COMPARE_WITH_TIMEOUT(client->unsettledHighWater(), quint64(maxUnsettled), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(recorder->events().size() > 1, 20000);

        recorder->refuseBatches(0);
        QTRY_COMPARE_WITH_TIMEOUT(recorder->payloads().size(), sent.size(), 30000);
        QCOMPARE(recorder->payloads(), sent);
        // Destroyed mid-offer: the delegate finished last on its thread, gone with the client.
        client.reset();
        const std::vector<int> events = recorder->events();
        QCOMPARE(events.back(), DeliveryRecorder::kFinish);
        QVERIFY(recorder->oneThread());

        // Everything taken was acknowledged: the next connection gets only the sentinel.
        DeliveryRecorder next(true);
        const auto again = connected(clientId, &next);
        QVERIFY(again);
        QVERIFY(m_broker.publishLines(topic, {"sentinel"}));
        QTRY_VERIFY_WITH_TIMEOUT(next.payloads().contains("sentinel"), 30000);
        QCOMPARE(next.payloads(), QList<QByteArray>{"sentinel"});
        // By now (the sentinel) a late call to the first delegate would have come.
        QCOMPARE(recorder->events(), events);
    }
};

QTEST_GUILESS_MAIN(TestMqttClient)
#include "tst_mqttclient.moc"
