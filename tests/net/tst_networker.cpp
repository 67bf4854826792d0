// The worker requests against the reference server: the directory cache and the room list are
// written into the user's database on connections of their own before their success is
// signalled; the room list then brings the members' and groups' pictures into
// the cache.
#include "main/mtdata.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"
#include "netfixture.h"
#include "store/dbchatroom.h"
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"

#include <QJsonArray>
#include <QSqlDatabase>
#include <QtTest>

#include <memory>

class TestNetWorker : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void dataCacheStoresThenSignals();
    void roomListStoresThenSignalsThenFetchesPictures();
    void twoCachesAtOnce();
    void errorStoresNothing();
    void unopenableStoreIsAFailure();
    void loggedOffWhileACacheIsInFlight();

private:
    NetFixture m_fixture;
    std::unique_ptr<DBManager> m_db;
    std::unique_ptr<MTData> m_session;
    std::unique_ptr<NetServerManager> m_net;
    std::unique_ptr<NetRecorder> m_recorder;
};

void TestNetWorker::initTestCase()
{
    QVERIFY2(m_fixture.start(), qPrintable(m_fixture.errorString()));
    m_db = std::make_unique<DBManager>(DBManager::databaseFilePath(QStringLiteral("user001")),
                                       QString::fromLatin1(DBManager::kConnection),
                                       QString::fromLatin1(DBManager::kPassword), 1);
    QVERIFY(m_db->isOpen());
    m_session = std::make_unique<MTData>(m_db.get());
    QVERIFY(m_fixture.signIn(*m_session, QStringLiteral("user001")));
    m_net =
        std::make_unique<NetServerManager>(ServerConfig::fromFile(m_fixture.server().clientIni()));
    m_net->setDbPath(m_db->dbPath());
    m_recorder = std::make_unique<NetRecorder>(m_net.get());
}

void TestNetWorker::dataCacheStoresThenSignals()
{
    QCOMPARE(m_session->lastCacheTime(), QStringLiteral("19700101000000"));
    const qint64 since = m_fixture.server().lastRequestSeq();
    m_recorder->clear();
    QVERIFY(m_net->reqDataCache(3));
    const NetRecorder::Event answer = m_recorder->answer(3);
    QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text));
    const QJsonObject received = m_fixture.lastRequest(QStringLiteral("/rest/cache"), since);
    QCOMPARE(received.value(QLatin1String("url")).toString(),
             QStringLiteral("/rest/cache/%1/19700101000000").arg(m_session->userId()));
    QCOMPARE(received.value(QLatin1String("headers")).toObject().value("device-id").toString(),
             m_session->deviceId());

    // Written before the signal: the GUI thread's own connection reads it all at once.
    const QJsonArray users = answer.object.value(QLatin1String("users")).toArray();
    QVERIFY(users.size() > 300);
    QList<DBUser> stored;
    QCOMPARE(m_db->userList(stored), users.size());
    QList<DBGroup> groups;
    QVERIFY(m_db->groupList(groups) > 0);
    const QString stamp = answer.object.value(QLatin1String("updDatetime")).toString();
    QCOMPARE(stamp.size(), 14);
    QCOMPARE(m_session->lastCacheTime(), stamp);
    QCOMPARE(DBMTData(m_db.get()).lastCacheTime(), stamp); // as stored
    DBUser me;
    QVERIFY(m_db->findUser(m_session->userId(), me));
    QCOMPARE(m_session->userName(), me.userName());
    // The cache connection was closed again.
    QVERIFY(!QSqlDatabase::contains(QString::fromLatin1(DBManager::kConnectionCache)));

    // The next cache asks for what changed since the stored time.
    const qint64 next = m_fixture.server().lastRequestSeq();
    m_recorder->clear();
    QVERIFY(m_net->reqDataCache(3));
    QCOMPARE(m_recorder->answer(3).signal, QStringLiteral("success"));
    QCOMPARE(m_fixture.lastRequest(QStringLiteral("/rest/cache"), next).value("url").toString(),
             QStringLiteral("/rest/cache/%1/%2").arg(m_session->userId()).arg(stamp));
}

void TestNetWorker::roomListStoresThenSignalsThenFetchesPictures()
{
    m_recorder->clear();
    QVERIFY(m_net->reqChatRoomList(4));
    const NetRecorder::Event answer = m_recorder->answer(4);
    QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text));
    // Nothing about pictures came before the rooms were signalled.
    QCOMPARE(m_recorder->events().first().signal, QStringLiteral("success"));

    const QJsonArray list = answer.object.value(QLatin1String("list")).toArray();
    QVERIFY(list.size() > 5);
    QMap<QString, DBChatRoom> rooms;
    QCOMPARE(m_db->chatRoomList(rooms), list.size());
    // Every other member and group with a picture: each one fetched into the cache, no other.
    QStringList expected;
    for (const QJsonValue& value : list) {
        const QJsonObject room = value.toObject();
        QVERIFY(rooms.contains(QStringLiteral("chat/%1").arg(room.value("chattRoomId").toInt())));
        DBGroup group;
        if (room.value(QLatin1String("chattRoomType")).toString() == QLatin1String("10") &&
            m_db->findGroup(room.value(QLatin1String("grpId")).toInt(), group))
            expected << group.thumbUrl();
        for (const QJsonValue& member : room.value(QLatin1String("members")).toArray()) {
            DBUser user;
            const int userId = member.toObject().value(QLatin1String("joinUserId")).toInt();
            if (userId != m_session->userId() && m_db->findUser(userId, user))
                expected << user.thumbUrl();
        }
    }
    expected.removeAll(QString());
    expected.removeDuplicates();
    QVERIFY(expected.size() > 3);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->events().size() - 1, expected.size(), 30000);
    QStringList fetched;
    for (const NetRecorder::Event& e : m_recorder->of(QStringLiteral("imageSuccess"))) {
        fetched << e.id;
        QCOMPARE(e.text, FileManager::cacheFilePath(e.id));
        QVERIFY(QFileInfo(e.text).size() > 0);
    }
    std::sort(fetched.begin(), fetched.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(fetched, expected);

    // Cached now: a second list asks for none of them again.
    m_recorder->clear();
    QVERIFY(m_net->reqChatRoomList(4));
    QCOMPARE(m_recorder->answer(4).signal, QStringLiteral("success"));
    QTest::qWait(300);
    QCOMPARE(m_recorder->events().size(), 1);
}

void TestNetWorker::twoCachesAtOnce()
{
    m_recorder->clear();
    QVERIFY(m_net->reqDataCache(30));
    QVERIFY(m_net->reqDataCache(31));
    QVERIFY(m_net->reqChatRoomList(40));
    QVERIFY(m_net->reqChatRoomList(41));
    for (int code : {30, 31, 40, 41})
        QCOMPARE(m_recorder->answer(code).signal, QStringLiteral("success"));
}

void TestNetWorker::errorStoresNothing()
{
    // A room the server does not list any more would be removed by a successful list.
    DBChatRoom extra(m_db.get());
    extra.setTopic(QStringLiteral("chat/999999"));
    extra.setType(30);
    extra.setMembers(QStringLiteral("1002"));
    QVERIFY(extra.insertOrUpdate());
    QVERIFY(m_fixture.server().setFault(QJsonObject{{"mode", "error"},
                                                    {"status", 500},
                                                    {"code", 50000},
                                                    {"path", "/rest/chatt/room"},
                                                    {"count", 1}}));
    m_recorder->clear();
    QVERIFY(m_net->reqChatRoomList(4));
    QCOMPARE(m_recorder->answer(4).errCode, 50000);
    QVERIFY(m_db->chatRoomExists(QStringLiteral("chat/999999")));

    m_recorder->clear();
    QVERIFY(m_net->reqChatRoomList(4));
    QCOMPARE(m_recorder->answer(4).signal, QStringLiteral("success"));
    QVERIFY(!m_db->chatRoomExists(QStringLiteral("chat/999999")));
}

void TestNetWorker::unopenableStoreIsAFailure()
{
    NetServerManager net(ServerConfig::fromFile(m_fixture.server().clientIni()));
    net.setDbPath(QStringLiteral("/proc/no-such-folder/veltri_user001.db"));
    NetRecorder recorder(&net);
    QVERIFY(net.reqDataCache(3));
    const NetRecorder::Event answer = recorder.answer(3);
    QCOMPARE(answer.signal, QStringLiteral("failure"));
    QCOMPARE(answer.errCode, 10001);
}

void TestNetWorker::loggedOffWhileACacheIsInFlight()
{
    const QString ownName = m_session->userName();
    QVERIFY(!ownName.isEmpty());
    QVERIFY(m_fixture.server().pause());
    m_recorder->clear();
    QVERIFY(m_net->reqDataCache(3));
    // The user logs off and another session begins before the answer arrives.
    m_session.reset();
    MTData other;
    DBEditor editor;
    other.setUserId(editor, 999999);
    other.setUserName(editor, QStringLiteral("Other"));
    QVERIFY(m_fixture.server().resume());
    const NetRecorder::Event answer = m_recorder->answer(3);
    QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text));

    // The answer belongs to the account that asked: stored in its file with its own values, and
    // nothing of it reaches the session that came after.
    const QString stamp = answer.object.value(QLatin1String("updDatetime")).toString();
    const DBMTData stored(m_db.get());
    QCOMPARE(stored.lastCacheTime(), stamp);
    QCOMPARE(stored.userName(), ownName);
    QCOMPARE(other.lastCacheTime(), QStringLiteral("19700101000000"));
    QCOMPARE(other.userName(), QStringLiteral("Other"));
}

QTEST_GUILESS_MAIN(TestNetWorker)
#include "tst_networker.moc"
