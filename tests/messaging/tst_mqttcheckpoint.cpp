// The delivery thread's store connection checkpoints its write-ahead log itself, after a run is
// settled instead of inside its commits: through a long burst of chats from a real mosquitto
// broker into a real encrypted store, the log never grows much beyond the frames at which the
// thread checkpoints during a burst, and every chat is stored.
#include "sessionfixture.h"

#include <QFileInfo>
#include <QtTest>

namespace {
// The frames the log file has room for: its size is that of the most frames it ever held.
int logFrames(const QString& dbFile, int pageSize)
{
    const qint64 bytes = QFileInfo(dbFile + QStringLiteral("-wal")).size();
    // A 32-byte header, then a 24-byte header before each page.
    return bytes <= 32 ? 0 : int((bytes - 32) / (pageSize + 24));
}
} // namespace

class TestMqttCheckpoint : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
        QVERIFY2(startBroker(m_broker), qPrintable(m_broker.errorString()));
    }

    void logStaysBounded_data()
    {
        QTest::addColumn<QString>("clientId");
        QTest::addColumn<int>("rooms");
        QTest::addColumn<int>("chats");
        QTest::newRow("ten rooms") << "bounded-10" << 10 << 10000;
        QTest::newRow("forty rooms") << "bounded-40" << 40 << 6000;
    }
    void logStaysBounded()
    {
        QFETCH(QString, clientId);
        QFETCH(int, rooms);
        QFETCH(int, chats);
        QVERIFY(m_broker.subscribeSession(clientId, {QStringLiteral("chat/#")}));
        SessionFixture fixture;
        for (int r = 0; r < rooms; ++r)
            fixture.store.addRoom(QStringLiteral("chat/%1").arg(500 + r), 20,
                                  QStringLiteral("%1,%2").arg(kMe).arg(kAlice));
        const int page = int(fixture.store.number(QStringLiteral("PRAGMA page_size")));

        MqttManager manager(fixture.store.file());
        QVERIFY(connectManager(manager, m_broker, clientId));
        QMQTT::Client publisher;
        QVERIFY(connectClient(publisher, m_broker, clientId + QStringLiteral("-publisher")));
        for (int i = 0; i < chats; ++i) {
            const QString id = QStringLiteral("burst-%1-%2").arg(clientId).arg(i);
            publisher.publish(QMQTT::Message(
                0, QStringLiteral("chat/%1").arg(500 + i % rooms),
                chatPayload(kAlice, 1, id, QStringLiteral("chat %1").arg(i), kT + i), 1));
        }
        publishMarker(publisher);
        QCOMPARE(int(takeUntilMarker(manager).size()), chats);
        QCOMPARE(fixture.store.number(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT")),
                 qint64(chats));
        // A run ends past the burst threshold by at most the frames of its own commits.
        const int bound = 2 * MqttManager::kBusyCheckpointFrames;
        const int frames = logFrames(fixture.store.file(), page);
        QVERIFY2(
            frames <= bound,
            qPrintable(QStringLiteral("the log held %1 frames of %2 bytes").arg(frames).arg(page)));
    }

private:
    TestEnv m_env;
    MosquittoBroker m_broker;
};

QTEST_GUILESS_MAIN(TestMqttCheckpoint)
#include "tst_mqttcheckpoint.moc"
