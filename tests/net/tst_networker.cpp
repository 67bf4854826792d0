// The worker requests against the reference server: the directory cache and the room list are
// written into the user's database on connections of their own before their success is
// signalled on the GUI thread; the room list then brings the members' and groups' pictures into
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
    void cleanupTestCase();
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

void TestNetWorker::cleanupTestCase()
{
    m_recorder.reset();
    m_net.reset();
    m_session.reset();
    m_db.reset();
}

void TestNetWorker::dataCacheStoresThenSignals()
{
    QCOMPARE(m_session->lastCacheTime(), QStringLiteral("19700101000000"));
    const qint64 since = m_fixture.server().lastRequestSeq();
    m_recorder->clear();
    QVERIFY(m_net->reqDataCache(3));
    NetRecorder::Event answer;
    QVERIFY(m_recorder->waitForAny({"success", "failure"}, 3, &answer));
    QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text));
    QCOMPARE(answer.thread, QThread::currentThread());
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
    QVERIFY(m_recorder->waitFor(QStringLiteral("success"), 3, nullptr));
    QCOMPARE(m_fixture.lastRequest(QStringLiteral("/rest/cache"), next)
                 .value(QLatin1String("url"))
                 .toString(),
             QStringLiteral("/rest/cache/%1/%2").arg(m_session->userId()).arg(stamp));
}

void TestNetWorker::roomListStoresThenSignalsThenFetchesPictures()
{
    m_recorder->clear();
    QVERIFY(m_net->reqChatRoomList(4));
    NetRecorder::Event answer;
    QVERIFY(m_recorder->waitForAny({"success", "failure"}, 4, &answer));
    QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text));
    QCOMPARE(answer.thread, QThread::currentThread());
    // Nothing about pictures came before the rooms were signalled.
    QCOMPARE(m_recorder->events().first().signal, QStringLiteral("success"));

    const QJsonArray list = answer.object.value(QLatin1String("list")).toArray();
    QVERIFY(list.size() > 5);
    QMap<QString, DBChatRoom> rooms;
    QCOMPARE(m_db->chatRoomList(rooms), list.size());
    QSet<qint64> memberIds;
    QSet<qint64> groupIds;
    for (const QJsonValue& value : list) {
        const QJsonObject room = value.toObject();
        const qint64 id = qint64(room.value(QLatin1String("chattRoomId")).toDouble());
        QVERIFY2(rooms.contains(QStringLiteral("chat/%1").arg(id)),
                 qPrintable(QString::number(id)));
        if (room.value(QLatin1String("chattRoomType")).toString() == QLatin1String("10"))
            groupIds.insert(qint64(room.value(QLatin1String("grpId")).toDouble()));
        for (const QJsonValue& member : room.value(QLatin1String("members")).toArray()) {
            const qint64 userId = qint64(member.toObject().value("joinUserId").toDouble());
            if (userId != m_session->userId())
                memberIds.insert(userId);
        }
    }

    // Every member and group with a picture: each one fetched into the cache, nothing else.
    QStringList expected;
    for (qint64 id : qAsConst(memberIds)) {
        DBUser user;
        if (m_db->findUser(id, user) && !user.thumbUrl().isEmpty())
            expected << user.thumbUrl();
    }
    for (qint64 id : qAsConst(groupIds)) {
        DBGroup group;
        if (m_db->findGroup(id, group) && !group.thumbUrl().isEmpty())
            expected << group.thumbUrl();
    }
    expected.removeDuplicates();
    QVERIFY(expected.size() > 3);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->of(QStringLiteral("imageSuccess")).size() +
                                  m_recorder->of(QStringLiteral("imageFailure")).size(),
                              expected.size(), 30000);
    QStringList fetched;
    for (const NetRecorder::Event& e : m_recorder->of(QStringLiteral("imageSuccess"))) {
        fetched << e.id;
        QCOMPARE(e.text, FileManager::cacheFilePath(e.id));
        QVERIFY(QFileInfo(e.text).size() > 0);
        QCOMPARE(e.widget, nullptr);
        QCOMPARE(e.thread, QThread::currentThread());
    }
    std::sort(fetched.begin(), fetched.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(fetched, expected);

    // Cached now: a second list asks for none of them again.
    m_recorder->clear();
    QVERIFY(m_net->reqChatRoomList(4));
    QVERIFY(m_recorder->waitFor(QStringLiteral("success"), 4, nullptr));
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
    for (int code : {30, 31, 40, 41}) {
        NetRecorder::Event answer;
        QVERIFY(m_recorder->waitForAny({"success", "failure"}, code, &answer));
        QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text));
    }
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
    NetRecorder::Event answer;
    QVERIFY(m_recorder->waitForAny({"success", "failure"}, 4, &answer));
    QCOMPARE(answer.signal, QStringLiteral("failure"));
    QCOMPARE(answer.errCode, 50000);
    QVERIFY(m_db->chatRoomExists(QStringLiteral("chat/999999")));

    m_recorder->clear();
    QVERIFY(m_net->reqChatRoomList(4));
    QVERIFY(m_recorder->waitFor(QStringLiteral("success"), 4, nullptr));
    QVERIFY(!m_db->chatRoomExists(QStringLiteral("chat/999999")));
}

void TestNetWorker::unopenableStoreIsAFailure()
{
    NetServerManager net(ServerConfig::fromFile(m_fixture.server().clientIni()));
    net.setDbPath(QStringLiteral("/proc/no-such-folder/veltri_user001.db"));
    NetRecorder recorder(&net);
    QVERIFY(net.reqDataCache(3));
    NetRecorder::Event answer;
    QVERIFY(recorder.waitForAny({"success", "failure"}, 3, &answer));
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
    NetRecorder::Event answer;
    QVERIFY(m_recorder->waitForAny({"success", "failure"}, 3, &answer));
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
