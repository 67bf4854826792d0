// The queue waker between a real messaging session (a mosquitto broker, an encrypted store) and
// the GUI thread: told by the session when items are queued, it wakes the GUI thread once per
// rearm, and no item queued between the last take and the rearm is left waiting.
#include "common/mosquittobroker.h"
#include "common/testenv.h"
#include "messaging/mqttmanager.h"
#include "messaging/payloadcodec.h"
#include "session/mtqueuewaker.h"
#include "storefixture.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
const qint32 kMe = 7;
const qint32 kAlice = 8;
const qint64 kT = 1700000000000;
const QString kKey = QStringLiteral("access-key-7");

// What the GUI thread took, as the session's drain takes it: every item at each wake-up.
struct Drained
{
    int chats = 0;
    int markers = 0;
    bool operator==(const Drained& o) const { return chats == o.chats && markers == o.markers; }
};
} // namespace

Q_DECLARE_METATYPE(Drained)
namespace QTest {
template <>
inline char* toString(const Drained& d)
{
    return qstrdup(qPrintable(QStringLiteral("chats=%1 markers=%2").arg(d.chats).arg(d.markers)));
}
} // namespace QTest

class TestQueueWaker : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        m_env.applyToCurrentProcess();
        QVERIFY2(MosquittoBroker::toolsAvailable(), "mosquitto and its clients are needed");
        QVERIFY(m_broker.addUser(QString::number(kMe), kKey));
        QVERIFY2(m_broker.start(), qPrintable(m_broker.errorString()));
    }

    void everyItemReachesTheDrain_data()
    {
        QTest::addColumn<QString>("clientId");
        QTest::addColumn<int>("chats");
        QTest::newRow("one chat") << "waker-1" << 1;
        QTest::newRow("a burst") << "waker-2" << 3000;
    }
    void everyItemReachesTheDrain()
    {
        QFETCH(QString, clientId);
        QFETCH(int, chats);
        QVERIFY(m_broker.subscribeSession(clientId, {QStringLiteral("chat/#")}));
        StoreFixture store;
        store.addRoom(QStringLiteral("chat/900"), 20, QStringLiteral("%1,%2").arg(kMe).arg(kAlice));
        MqttManager manager(store.file());
        QSignalSpy connected(&manager, &MqttManager::connected);
        manager.setConnectionInfo(m_broker.host(), m_broker.port(), clientId, QString::number(kMe),
                                  kKey);
        manager.connectToHost();
        QVERIFY(connected.wait(10000));

        MtQueueWaker waker(&manager);
        Drained drained;
        // The drain as the session runs it: everything queued, then rearmed.
        connect(&waker, &MtQueueWaker::itemsQueued, this, [&] {
            while (std::unique_ptr<MqttManager::MessageItem> item = manager.takeMessageItem()) {
                drained.chats += item->type() == MqttManager::MessageItem::Chat ? 1 : 0;
                drained.markers += item->type() == MqttManager::MessageItem::Push ? 1 : 0;
            }
            waker.rearm();
        });

        QMQTT::Client publisher(QHostAddress(m_broker.host()), m_broker.port());
        publisher.setClientId(clientId + QStringLiteral("-publisher"));
        publisher.setUsername(QString::number(kMe));
        publisher.setPassword(kKey.toLatin1());
        publisher.connectToHost();
        QTRY_VERIFY_WITH_TIMEOUT(publisher.isConnectedToHost(), 10000);
        for (int i = 0; i < chats; ++i) {
            const ChatPayload chat =
                ChatPayload::chat(kT + i, kAlice, 1, QStringLiteral("%1-%2").arg(clientId).arg(i),
                                  {}, QStringLiteral("chat %1").arg(i));
            publisher.publish(
                QMQTT::Message(0, QStringLiteral("chat/900"), PayloadCodec::encode(chat), 1));
        }
        // Published last by the same client, the marker comes after every chat.
        publisher.publish(QMQTT::Message(
            0, QStringLiteral("chat/marker"),
            PayloadCodec::encode(ChatPayload::push(kT, kAlice, QStringLiteral("end"))), 1));
        QTRY_COMPARE_WITH_TIMEOUT(drained.markers, 1, 30000);
        QCOMPARE(drained, (Drained{chats, 1}));
    }

    // A chat queued after the drain took the queue empty, before it rearms: rearming finds it
    // and wakes the GUI thread at once, with nothing queued after it.
    void queuedBeforeRearm()
    {
        const QString clientId = QStringLiteral("waker-rearm");
        QVERIFY(m_broker.subscribeSession(clientId, {QStringLiteral("chat/#")}));
        StoreFixture store;
        MqttManager manager(store.file());
        QSignalSpy connected(&manager, &MqttManager::connected);
        manager.setConnectionInfo(m_broker.host(), m_broker.port(), clientId, QString::number(kMe),
                                  kKey);
        manager.connectToHost();
        QVERIFY(connected.wait(10000));
        MtQueueWaker waker(&manager);
        QSignalSpy woken(&waker, &MtQueueWaker::itemsQueued);
        QMQTT::Client publisher(QHostAddress(m_broker.host()), m_broker.port());
        publisher.setClientId(clientId + QStringLiteral("-publisher"));
        publisher.setUsername(QString::number(kMe));
        publisher.setPassword(kKey.toLatin1());
        publisher.connectToHost();
        QTRY_VERIFY_WITH_TIMEOUT(publisher.isConnectedToHost(), 10000);
        const auto push = [&](const QString& text) {
            publisher.publish(
                QMQTT::Message(0, QStringLiteral("chat/marker"),
                               PayloadCodec::encode(ChatPayload::push(kT, kAlice, text)), 1));
        };

        push(QStringLiteral("first"));
        QTRY_COMPARE_WITH_TIMEOUT(woken.count(), 1, 10000);
        while (manager.takeMessageItem()) {
        }
        push(QStringLiteral("second"));
        QVERIFY(manager.waitForMessageItem(10000));
        waker.rearm();
        QTRY_COMPARE_WITH_TIMEOUT(woken.count(), 2, 10000);
    }

private:
    TestEnv m_env;
    MosquittoBroker m_broker;
};

QTEST_GUILESS_MAIN(TestQueueWaker)
#include "tst_queuewaker.moc"
