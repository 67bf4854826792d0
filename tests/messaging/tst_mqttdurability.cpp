// Nothing acknowledged is lost when the session is killed (SIGKILL) mid-burst.
#include "common/wait.h"
#include "sessionfixture.h"
#include "store/dbtypes.h"

#include <QCoreApplication>
#include <QProcess>
#include <QtTest>

namespace {
const QString kTopic = QStringLiteral("chat/1");
const int kBurst = 3000;

QString chatId(int i)
{
    return QStringLiteral("burst-%1").arg(i, 5, 10, QLatin1Char('0'));
}

// Waits for a child's line "<prefix> <n>" with n >= minimum (no number counts as 0).
bool waitForLine(QProcess& child, const QByteArray& prefix, int minimum, int timeoutMs)
{
    return waitUntil(
        [&] {
            while (child.canReadLine()) {
                const QByteArray line = child.readLine().trimmed();
                if (line.startsWith(prefix) && line.mid(prefix.size()).trimmed().toInt() >= minimum)
                    return true;
            }
            return false;
        },
        timeoutMs);
}

} // namespace

class TestMqttDurability : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // As the chat server: no in-flight limit, so a killed session holds the most unstored.
        m_env.applyToCurrentProcess();
        m_broker.setMaxInflight(0);
        QVERIFY2(startBroker(m_broker), qPrintable(m_broker.errorString()));
        QVERIFY(connectClient(m_publisher, m_broker, QStringLiteral("durability-publisher")));
    }

    void killedMidBurst_data()
    {
        QTest::addColumn<QString>("clientId");
        QTest::addColumn<bool>("holdStore");
        // The first run is killed once it reports this line (and at least this many chats).
        QTest::addColumn<QByteArray>("killAt");
        QTest::addColumn<int>("killAtCount");
        QTest::newRow("killed while storing") << "durable-1" << false << QByteArray("taken") << 300;
        QTest::newRow("killed while another writer holds the store")
            << "durable-2" << true << QByteArray("store unavailable") << 0;
    }

    void killedMidBurst()
    {
        QFETCH(QString, clientId);
        QFETCH(bool, holdStore);
        QFETCH(QByteArray, killAt);
        QFETCH(int, killAtCount);
        StoreFixture store;
        store.addUser(kAlice, QStringLiteral("Alice"));
        store.addRoom(kTopic, RoomType1VS1, QString::number(kAlice));
        QVERIFY(store.db().createWorkingIndexes());
        QVERIFY(m_broker.subscribeSession(clientId, {kTopic}));
        QProcess first;
        startSession(first, store.file(), clientId);
        QVERIFY2(waitForLine(first, "connected", 0, 10000), qPrintable(childOutput(first)));
        // Taken once the session has opened the file, before the first chat arrives.
        auto holder = std::make_unique<DBManager>(store.file(), QStringLiteral("holder"),
                                                  QString::fromLatin1(DBManager::kPassword), 1);
        QCOMPARE(holdStore && holder->database().transaction(), holdStore);
        QStringList expected;
        for (int i = 0; i < kBurst; ++i) {
            expected << chatId(i);
            QVERIFY(m_publisher.publish(QMQTT::Message(
                0, kTopic, chatPayload(kAlice, 1, expected.last(), "hello", kT + i), 1)));
        }
        QVERIFY2(waitForLine(first, killAt, killAtCount, 60000), qPrintable(childOutput(first)));
        first.kill();
        QVERIFY(first.waitForFinished(10000));
        holder.reset(); // closing rolls back

        // The second run gets the rest and all the first had not stored: each chat once.
        QProcess second;
        startSession(second, store.file(), clientId);
        QTRY_COMPARE_WITH_TIMEOUT(
            store.number(QStringLiteral("SELECT count(*) FROM TTT_CHATT WHERE topic=?"), {kTopic}),
            qint64(kBurst), 60000);
        second.kill();
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(store.column(
                     QStringLiteral("SELECT msg_id FROM TTT_CHATT WHERE topic=? ORDER BY msg_id"),
                     {kTopic}),
                 expected);
    }

    void cleanupTestCase() { m_broker.stop(); }

private:
    void startSession(QProcess& child, const QString& file, const QString& clientId)
    {
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/mqtt_receiver_child"),
                    {file, m_broker.host(), QString::number(m_broker.port()), clientId,
                     QString::number(kMe), kKey});
        QVERIFY(child.waitForStarted(10000));
    }

    static QString childOutput(QProcess& child)
    {
        return QStringLiteral("the session did not report; it printed: ") +
               QString::fromLocal8Bit(child.readAll());
    }

    TestEnv m_env;
    MosquittoBroker m_broker;
    QMQTT::Client m_publisher;
};

QTEST_GUILESS_MAIN(TestMqttDurability)
#include "tst_mqttdurability.moc"
