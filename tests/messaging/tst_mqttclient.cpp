// The MQTT client layer against a real mosquitto broker on a loopback port: credentials and
// protocol level, QoS 1 both ways, delivery order and thread, offline delivery, reconnection
// after the broker was killed, and destruction while messages arrive.
#include "common/mosquittobroker.h"
#include "deliveryrecorder.h"
#include "messaging/mqttclient.h"

#include <QDir>
#include <QSet>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using QMQTT::ClientError;
using QMQTT::Message;

namespace {
const QString kUser = QStringLiteral("7");
const QByteArray kKey = "access-key-7";

QList<QByteArray> numbered(const QByteArray& prefix, int count)
{
    QList<QByteArray> out;
    for (int i = 0; i < count; ++i)
        out << prefix + QByteArray::number(i).rightJustified(5, '0');
    return out;
}

int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task"))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}
} // namespace

class TestMqttClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void connectsAsMqtt31WithCredentials();
    void refusedCredentials_data();
    void refusedCredentials();
    void qos1BothWays();
    void deliversInOrderOnOneThread();
    void offlineMessagesArriveAfterReconnect();
    void reconnectsAfterBrokerIsKilled();
    void destructionWhileMessagesArrive();

private:
    // A client of the session `clientId`, subscribed to `topic` (when given) by a persistent
    // session left at the broker before it connects.
    std::unique_ptr<QMQTT::Client> makeClient(const QString& clientId, DeliveryRecorder* recorder,
                                              const QString& topic = QString())
    {
        if (!topic.isEmpty() && !m_broker.subscribeSession(clientId, {topic}))
            qWarning() << "cannot subscribe" << clientId << m_broker.errorString();
        auto c = std::make_unique<QMQTT::Client>(recorder);
        c->setHostName(m_broker.host());
        c->setPort(m_broker.port());
        c->setClientId(clientId);
        c->setUsername(kUser);
        c->setPassword(kKey);
        c->setKeepAlive(30);
        c->setAutoReconnect(true);
        c->setAutoReconnectInterval(200);
        return c;
    }
    static bool connect(QMQTT::Client& client)
    {
        QSignalSpy connected(&client, &QMQTT::Client::connected);
        client.connectToHost();
        return connected.wait(10000);
    }

    MosquittoBroker m_broker;
};

void TestMqttClient::initTestCase()
{
    QVERIFY2(MosquittoBroker::toolsAvailable(), "mosquitto and its clients are needed");
    QVERIFY2(m_broker.addUser(kUser, QString::fromLatin1(kKey)),
             qPrintable(m_broker.errorString()));
}

void TestMqttClient::init()
{
    // A test that killed the broker leaves it to the next one to start it again.
    QVERIFY2(m_broker.start(), qPrintable(m_broker.errorString()));
}

void TestMqttClient::connectsAsMqtt31WithCredentials()
{
    DeliveryRecorder recorder;
    auto client = makeClient(QStringLiteral("session-connect"), &recorder);
    QSignalSpy errors(client.get(), &QMQTT::Client::error);
    QVERIFY(connect(*client));
    QVERIFY(client->isConnectedToHost());
    // p1: protocol level 3 (MQTT 3.1); c0: clean session off; k30: keep-alive; the user name.
    QVERIFY2(m_broker.waitForLog(QStringLiteral("as session-connect (p1, c0, k30, u'7')")),
             qPrintable(m_broker.log()));

    QSignalSpy disconnected(client.get(), &QMQTT::Client::disconnected);
    client->disconnectFromHost();
    QVERIFY(disconnected.wait(10000));
    QVERIFY(!client->isConnectedToHost());
    QVERIFY(m_broker.waitForLog(QStringLiteral("Client session-connect disconnected.")));
    QCOMPARE(errors.count(), 0);
}

void TestMqttClient::refusedCredentials_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("wrong key") << kUser << QByteArray("not-the-key");
    QTest::newRow("unknown user") << QStringLiteral("8") << kKey;
    QTest::newRow("no password") << kUser << QByteArray();
}

void TestMqttClient::refusedCredentials()
{
    QFETCH(QString, user);
    QFETCH(QByteArray, key);
    DeliveryRecorder recorder;
    auto client = makeClient(QStringLiteral("session-refused"), &recorder);
    client->setUsername(user);
    client->setPassword(key);
    QSignalSpy connected(client.get(), &QMQTT::Client::connected);
    QSignalSpy errors(client.get(), &QMQTT::Client::error);
    client->connectToHost();
    QVERIFY(errors.wait(10000));
    QCOMPARE(errors.first().first().value<ClientError>(), QMQTT::MqttNotAuthorizedError);
    QCOMPARE(connected.count(), 0);
    QVERIFY(!client->isConnectedToHost());
}

void TestMqttClient::qos1BothWays()
{
    QVERIFY(m_broker.subscribeSession(QStringLiteral("observer"), {QStringLiteral("chat/1")}));
    DeliveryRecorder recorder;
    auto client = makeClient(QStringLiteral("session-rt"), &recorder, QStringLiteral("chat/1"));
    QVERIFY(connect(*client));

    // Every byte value, so that nothing on the way treats the payload as text.
    QByteArray payload;
    for (int i = 0; i < 256; ++i)
        payload.append(char(i));
    QVERIFY(client->publish(Message(0, QStringLiteral("chat/1"), payload, 1)) != 0);

    // Another subscriber sees QoS 1, retain cleared and the exact bytes.
    QProcess observer;
    observer.start(QStringLiteral("mosquitto_sub"),
                   m_broker.clientArguments() + QStringList{"-i", "observer", "-c", "-q", "1", "-C",
                                                            "1", "-t", "chat/1", "-F",
                                                            "%q %r %t %x"});
    QVERIFY(observer.waitForFinished(10000));
    QCOMPARE(QString::fromLatin1(observer.readAllStandardOutput()).trimmed(),
             QStringLiteral("1 0 chat/1 ") + QString::fromLatin1(payload.toHex()));

    // The broker sends it back to the publishing session too, at QoS 1.
    QTRY_COMPARE_WITH_TIMEOUT(recorder.messageCount(), 1, 10000);
    const Message got = recorder.calls().back().message;
    QCOMPARE(got.topic(), QStringLiteral("chat/1"));
    QCOMPARE(got.payload(), payload);
    QCOMPARE(int(got.qos()), 1);
    QVERIFY(!got.retain());
}

void TestMqttClient::deliversInOrderOnOneThread()
{
    DeliveryRecorder recorder;
    auto client = makeClient(QStringLiteral("session-order"), &recorder, QStringLiteral("chat/2"));
    QVERIFY(connect(*client));
    const QList<QByteArray> sent = numbered("m", 500);
    QVERIFY2(m_broker.publishLines(QStringLiteral("chat/2"), sent),
             qPrintable(m_broker.errorString()));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.messageCount(), sent.size(), 30000);
    QCOMPARE(recorder.payloads(), sent);

    // The start first and once, then every message, all on one thread that is not this one.
    const std::vector<DeliveryRecorder::Call> calls = recorder.calls();
    QVERIFY(calls.front().start);
    QVERIFY(calls.front().thread != std::this_thread::get_id());
    for (size_t i = 1; i < calls.size(); ++i)
        QVERIFY(!calls[i].start && calls[i].thread == calls.front().thread);
}

void TestMqttClient::offlineMessagesArriveAfterReconnect()
{
    const QString id = QStringLiteral("session-offline");
    DeliveryRecorder recorder;
    auto client = makeClient(id, &recorder, QStringLiteral("chat/3"));
    QVERIFY(connect(*client));
    QSignalSpy disconnected(client.get(), &QMQTT::Client::disconnected);
    client->disconnectFromHost();
    QVERIFY(disconnected.wait(10000));
    QVERIFY(m_broker.waitForLog(QStringLiteral("Client %1 disconnected.").arg(id)));
    const QList<QByteArray> sent = numbered("offline", 50);
    QVERIFY(m_broker.publishLines(QStringLiteral("chat/3"), sent));
    QCOMPARE(recorder.messageCount(), 0);

    // (A new client object of the same session gets them as well: see the destruction test.)
    QVERIFY(connect(*client));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.messageCount(), sent.size(), 20000);
    QCOMPARE(recorder.payloads(), sent);
}

void TestMqttClient::reconnectsAfterBrokerIsKilled()
{
    QVERIFY(
        m_broker.subscribeSession(QStringLiteral("session-restart"), {QStringLiteral("chat/4")}));
    // A clean stop saves the session, so the kill below cannot lose it.
    m_broker.stop();
    QVERIFY2(m_broker.start(), qPrintable(m_broker.errorString()));
    DeliveryRecorder recorder;
    auto client = makeClient(QStringLiteral("session-restart"), &recorder);
    QSignalSpy connected(client.get(), &QMQTT::Client::connected);
    QSignalSpy disconnected(client.get(), &QMQTT::Client::disconnected);
    QSignalSpy errors(client.get(), &QMQTT::Client::error);
    client->connectToHost();
    QVERIFY(connected.wait(10000));

    m_broker.kill();
    QVERIFY(disconnected.wait(10000));
    QVERIFY(!client->isConnectedToHost());
    QVERIFY(!errors.isEmpty());
    QCOMPARE(errors.first().first().value<ClientError>(), QMQTT::SocketRemoteHostClosedError);
    // Published while there is no broker: kept by the client until it is connected again.
    QVERIFY(client->publish(Message(0, QStringLiteral("chat/4"), "while-down", 1)) != 0);
    // Retries meanwhile find nobody listening.
    QTRY_VERIFY_WITH_TIMEOUT(errors.count() >= 2, 10000);
    QCOMPARE(errors.last().first().value<ClientError>(), QMQTT::SocketConnectionRefusedError);

    QVERIFY2(m_broker.start(), qPrintable(m_broker.errorString()));
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 20000);
    QVERIFY(client->isConnectedToHost());
    QVERIFY(m_broker.publish(QStringLiteral("chat/4"), "after-restart"));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.messageCount(), 2, 20000);
    QList<QByteArray> got = recorder.payloads();
    std::sort(got.begin(), got.end());
    QCOMPARE(got, (QList<QByteArray>{"after-restart", "while-down"}));
}

void TestMqttClient::destructionWhileMessagesArrive()
{
    const int threadsBefore = threadCount();
    DeliveryRecorder recorder;
    recorder.slow = true;
    auto client = makeClient(QStringLiteral("session-end"), &recorder, QStringLiteral("chat/5"));
    QVERIFY(connect(*client));
    QVERIFY(threadCount() > threadsBefore);

    QProcess publisher;
    const QList<QByteArray> sent = numbered("burst", 3000);
    QVERIFY(m_broker.startPublishingLines(&publisher, QStringLiteral("chat/5"), sent));
    QTRY_VERIFY_WITH_TIMEOUT(recorder.messageCount() >= 50, 20000);
    client.reset();
    recorder.close();
    QCOMPARE(threadCount(), threadsBefore);
    // The delegate finished on the delivery thread before the client was gone.
    QVERIFY(recorder.finishedOn() == recorder.calls().front().thread);
    QVERIFY(publisher.state() == QProcess::NotRunning || publisher.waitForFinished(60000));
    QCOMPARE(publisher.exitCode(), 0);
    QTest::qWait(200);
    QVERIFY(!recorder.calledLate());

    // Nothing is lost: what the client had received (and acknowledged) reached the delegate
    // before the end, the rest waits at the broker for the session's next connection.
    DeliveryRecorder next;
    auto again = makeClient(QStringLiteral("session-end"), &next);
    again->connectToHost();
    const auto seenByBoth = [&] {
        const QList<QByteArray> all = recorder.payloads() + next.payloads();
        return QSet<QByteArray>(all.begin(), all.end()).size();
    };
    QTRY_COMPARE_WITH_TIMEOUT(seenByBoth(), sent.size(), 30000);
}

QTEST_GUILESS_MAIN(TestMqttClient)
#include "tst_mqttclient.moc"
