// Which rooms a login asks the reference server for one by one: chats of rooms the store does
// not know yet arrive while the room list is on its way, and the list brings those rooms; only
// a room it did not bring is asked for, once.
#include "common/devserver.h"
#include "common/testenv.h"
#include "session/localsettings.h"
#include "session/mtsession.h"
#include "sessionrecorder.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kPassword = QStringLiteral("Passw0rd!");
const QString kDevice = QStringLiteral("dev-pc");

// What a login asked for: room-list answers it stored, and the rooms asked for one by one.
struct RoomAsks
{
    int lists = 0;
    QStringList rooms;
    bool operator==(const RoomAsks& o) const { return lists == o.lists && rooms == o.rooms; }
};

QStringList topicsOf(const QVector<DevBulkRoom>& rooms)
{
    QStringList topics;
    for (const DevBulkRoom& room : rooms)
        topics << room.topic;
    return topics;
}
} // namespace

Q_DECLARE_METATYPE(RoomAsks)
namespace QTest {
template <>
inline char* toString(const RoomAsks& a)
{
    return qstrdup(qPrintable(
        QStringLiteral("lists=%1 rooms=[%2]").arg(a.lists).arg(a.rooms.join(QLatin1Char(' ')))));
}
} // namespace QTest

class TestRoomRequests : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    ServerConfig m_config;
    QTemporaryDir m_settingsDir;

private slots:
    void initTestCase()
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_config = ServerConfig::fromFile(m_server.clientIni());
    }

    void roomsAskedFor_data()
    {
        // Rooms with chats waiting at the broker before the login, and rooms made (each with a
        // chat) once the room list is stored.
        QTest::addColumn<QString>("account");
        QTest::addColumn<int>("roomsBefore");
        QTest::addColumn<int>("chatsBefore");
        QTest::addColumn<int>("roomsAfter");
        QTest::newRow("a backlog in rooms the list brings") << "user005" << 30 << 600 << 0;
        QTest::newRow("one chat per waiting room") << "user006" << 12 << 12 << 0;
        QTest::newRow("a room made after the list") << "user007" << 5 << 50 << 1;
        QTest::newRow("rooms made after the list") << "user008" << 0 << 0 << 3;
    }
    void roomsAskedFor()
    {
        QFETCH(QString, account);
        QFETCH(int, roomsBefore);
        QFETCH(int, chatsBefore);
        QFETCH(int, roomsAfter);
        const QVector<DevBulkRoom> before =
            roomsBefore > 0 ? m_server.bulk(account, roomsBefore, chatsBefore, true)
                            : QVector<DevBulkRoom>();
        QCOMPARE(before.size(), roomsBefore);

        LocalSettings settings(m_settingsDir.filePath(account + ".ini"));
        OpenWindows windows;
        MtSession s(m_config);
        s.setSettings(&settings);
        s.setChatWindows(&windows);
        SessionRecorder r(&s);
        QVERIFY(s.login(account, kPassword, false, kDevice));
        QVERIFY(r.waitFor("roomsReady"));
        QVERIFY(r.waitFor("messagingConnected"));
        // Every waiting room's chats have reached the list: what the login asks for is asked.
        for (const DevBulkRoom& room : before)
            QVERIFY(r.waitFor("roomListChat", room.topic, 1, 60000));

        const QVector<DevBulkRoom> after =
            roomsAfter > 0 ? m_server.bulk(account, roomsAfter, roomsAfter, true)
                           : QVector<DevBulkRoom>();
        QCOMPARE(after.size(), roomsAfter);
        for (const DevBulkRoom& room : after)
            QVERIFY(r.waitFor("roomAdded", room.topic, 1, 30000));

        QStringList asked;
        for (const SessionEvent& e : r.of("roomRequested"))
            asked << e.topic;
        asked.sort();
        QStringList expected = topicsOf(after);
        expected.sort();
        QCOMPARE((RoomAsks{int(r.of("roomsReady").size()), asked}), (RoomAsks{1, expected}));
    }
};

QTEST_GUILESS_MAIN(TestRoomRequests)
#include "tst_roomrequests.moc"
