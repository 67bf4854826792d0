// The queue waker between a real messaging session and the GUI thread: no item is left waiting.
#include "common/typed.h"
#include "messaging/sessionfixture.h"
#include "session/mtqueuewaker.h"

#include <QtTest>

namespace {
// What the GUI thread took, as the session's drain takes it: every item at each wake-up.
struct Drained
{
    int chats = 0;
    int markers = 0;
    MT_TYPED(Drained, chats, markers)
};
} // namespace

class TestQueueWaker : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
        QVERIFY2(startBroker(m_broker), qPrintable(m_broker.errorString()));
    }

    void everyItemReachesTheDrain()
    {
        const QString clientId = QStringLiteral("waker-burst");
        const int chats = 3000;
        QVERIFY(m_broker.subscribeSession(clientId, {QStringLiteral("chat/#")}));
        StoreFixture store;
        store.addRoom(QStringLiteral("chat/900"), 20, QStringLiteral("%1,%2").arg(kMe).arg(kAlice));
        MqttManager manager(store.file());
        QVERIFY(connectManager(manager, m_broker, clientId));
        MtQueueWaker waker(&manager);
        Drained drained;
        // The drain as the session runs it: everything queued, then rearmed.
        connect(&waker, &MtQueueWaker::itemsQueued, this, [&] {
            while (std::unique_ptr<Item> item = manager.takeMessageItem()) {
                drained.chats += item->type() == Item::Chat;
                drained.markers += item->type() == Item::Push;
            }
            waker.rearm();
        });
        QMQTT::Client publisher;
        QVERIFY(connectClient(publisher, m_broker, clientId + QStringLiteral("-publisher")));
        for (int i = 0; i < chats; ++i)
            publisher.publish(
                QMQTT::Message(0, QStringLiteral("chat/900"),
                               chatPayload(kAlice, 1, QStringLiteral("%1-%2").arg(clientId).arg(i),
                                           "chat", kT + i),
                               1));
        publishMarker(publisher);
        QTRY_COMPARE_WITH_TIMEOUT(drained.markers, 1, 30000);
        QCOMPARE(drained, (Drained{chats, 1}));
    }

    // A chat queued between the drain's last take and its rearm wakes the GUI thread at once.
    void queuedBeforeRearm()
    {
        const QString clientId = QStringLiteral("waker-rearm");
        QVERIFY(m_broker.subscribeSession(clientId, {QStringLiteral("chat/#")}));
        StoreFixture store;
        MqttManager manager(store.file());
        QVERIFY(connectManager(manager, m_broker, clientId));
        MtQueueWaker waker(&manager);
        QSignalSpy woken(&waker, &MtQueueWaker::itemsQueued);
        QMQTT::Client publisher;
        QVERIFY(connectClient(publisher, m_broker, clientId + QStringLiteral("-publisher")));
        publishMarker(publisher);
        QTRY_COMPARE_WITH_TIMEOUT(woken.count(), 1, 10000);
        while (manager.takeMessageItem()) {
        }
        publishMarker(publisher);
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
