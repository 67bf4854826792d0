// The worker requests against the reference server: the directory cache and the room list are
// written into the user's database on connections of their own before their success is
// signalled; the room list then brings the members' and groups' pictures into the cache. A room
// list that fails, cannot be read or is not a list of rooms removes nothing.
#include "net/filemanager.h"
#include "netfixture.h"
#include "store/dbchatroom.h"
#include "store/dbgroup.h"
#include "store/dbuser.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace {
// What a cache answer left behind: the stamp in the file and in the session, and the own name.
struct CacheState
{
    QString storedTime;
    QString sessionTime;
    QString userName;
    bool operator==(const CacheState& o) const
    {
        return storedTime == o.storedTime && sessionTime == o.sessionTime && userName == o.userName;
    }
};

const QString kExtraTopic = QStringLiteral("chat/999999");

// The pictures a room list names, read from the list itself and the stored groups: every member
// but the own user, and every group; each once.
QStringList roomPictures(DBManager& db, const QJsonArray& list, qint64 ownUserId)
{
    QStringList urls;
    for (const QJsonValue& room : list) {
        DBGroup group;
        if (db.findGroup(room["grpId"].toInt(), group))
            urls << group.thumbUrl();
        for (const QJsonValue& member : room["members"].toArray()) {
            if (member["joinUserId"].toInt() != ownUserId)
                urls << member["user"]["thumbUrl"].toString();
        }
    }
    urls.removeAll(QString());
    urls.removeDuplicates();
    return urls;
}
} // namespace

namespace QTest {
template <>
char* toString(const CacheState& c)
{
    return qstrdup(QStringLiteral("{storedTime=%1 sessionTime=%2 userName=%3}")
                       .arg(c.storedTime, c.sessionTime, c.userName)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class TestNetWorker : public NetFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void dataCacheStoresThenSignals();
    void roomListStoresThenSignalsThenFetchesPictures();
    void refusedRoomListRemovesNothing_data();
    void refusedRoomListRemovesNothing();
    void unreadableCacheStoresNothing_data();
    void unreadableCacheStoresNothing();
    // Last: it ends the session.
    void nothingStoredAmiss();
};

void TestNetWorker::initTestCase()
{
    QVERIFY(start(true));
}

void TestNetWorker::dataCacheStoresThenSignals()
{
    const QString me = QString::number(m_session->userId());
    const qint64 since = m_server.lastRequestSeq();
    m_recorder->clear();
    QVERIFY(m_net->reqDataCache(3));
    const NetRecorder::Event answer = m_recorder->answer(3);
    QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text()));
    const QJsonObject received = m_server.requests("/rest/cache", since).last().toObject();
    QCOMPARE(received["url"].toString(), "/rest/cache/" + me + "/19700101000000");
    QCOMPARE(sentHeaders(received["seq"].toInt()), identifyingHeaders(*m_session, "text/plain"));

    // Written before the signal: the GUI thread's own connection reads it all at once, and the
    // session object holds the stored values.
    QList<DBUser> users;
    QList<DBGroup> groups;
    QCOMPARE(m_db->userList(users), answer.object()["users"].toArray().size());
    QVERIFY(users.size() > 300 && m_db->groupList(groups) > 0);
    const QString stamp = answer.object()["updDatetime"].toString();
    DBUser user;
    QVERIFY(stamp.size() == 14 && m_db->findUser(m_session->userId(), user));
    QCOMPARE((CacheState{DBMTData(m_db.get()).lastCacheTime(), m_session->lastCacheTime(),
                         m_session->userName()}),
             (CacheState{stamp, stamp, user.userName()}));
    // The cache connection was closed again.
    QVERIFY(!QSqlDatabase::contains(QString::fromLatin1(DBManager::kConnectionCache)));

    // The next cache asks for what changed since the stored time.
    const qint64 next = m_server.lastRequestSeq();
    QVERIFY(m_net->reqDataCache(5));
    QCOMPARE(m_recorder->answer(5).signal, QStringLiteral("success"));
    QCOMPARE(m_server.requests("/rest/cache", next).last()["url"].toString(),
             "/rest/cache/" + me + "/" + stamp);
}

void TestNetWorker::roomListStoresThenSignalsThenFetchesPictures()
{
    m_recorder->clear();
    QVERIFY(m_net->reqChatRoomList(4));
    const NetRecorder::Event answer = m_recorder->answer(4);
    QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text()));
    // Nothing about pictures came before the rooms were signalled.
    QCOMPARE(m_recorder->events().first().signal, QStringLiteral("success"));
    const QJsonArray list = answer.object()["list"].toArray();
    QList<DBChatRoom> rooms;
    QCOMPARE(m_db->chatRoomList(rooms), list.size());

    // The picture of every other member and of every group of the list: each fetched into the
    // cache, no other.
    QStringList expected = roomPictures(*m_db, list, m_session->userId());
    QVERIFY(list.size() > 5 && expected.size() > 3);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->events().size() - 1, expected.size(), 30000);
    QStringList fetched;
    for (const NetRecorder::Event& e : m_recorder->of(QStringLiteral("imageSuccess")))
        fetched << e.args.value(0).toString();
    fetched.sort();
    expected.sort();
    QCOMPARE(fetched, expected);

    // Every one of them is in the cache now: asked for again, each comes at once.
    QStringList cached;
    for (const QString& url : qAsConst(expected))
        cached << m_net->requestImage(url, nullptr);
    QCOMPARE(cached.filter(FileManager::cacheFolder()).size(), expected.size());

    // Two lists and two caches at once, each on a connection of its own: all of them stored and
    // answered, and no picture is asked for again.
    auto net = std::make_unique<NetServerManager>(ServerConfig::fromFile(m_server.clientIni()));
    net->setDbPath(m_db->dbPath());
    NetRecorder recorder(net.get());
    for (int code : {40, 41})
        QVERIFY(net->reqChatRoomList(code) && net->reqDataCache(code + 10));
    for (int code : {40, 41, 50, 51})
        QCOMPARE(recorder.answer(code).signal, QStringLiteral("success"));
    finish(net);
    QList<NetOutcome> outcomes = recorder.outcomes();
    std::sort(outcomes.begin(), outcomes.end(),
              [](const NetOutcome& a, const NetOutcome& b) { return a.id < b.id; });
    QCOMPARE(outcomes,
             (QList<NetOutcome>{
                 {"success", "40"}, {"success", "41"}, {"success", "50"}, {"success", "51"}}));
}

void TestNetWorker::refusedRoomListRemovesNothing_data()
{
    QTest::addColumn<QJsonObject>("rule"); // for the room list's path
    QTest::addColumn<NetOutcome>("expected");

    auto failure = [](int code, const QString& text) {
        return NetOutcome{"failure", "4", code, text};
    };
    auto body = [](const char* raw) { return QJsonObject{{"mode", "body"}, {"raw", raw}}; };
    QTest::newRow("error answer") << QJsonObject{{"mode", "error"}, {"code", 50000}}
                                  << failure(50000, "The server failed on purpose.");
    // One answer that does not parse: the other kinds take the same way, and tst_neterrors
    // names each of them on this path.
    QTest::newRow("cut short") << body("{\"list\":[") << failure(10002, kUnreadableText);
    QTest::newRow("no list") << body("{\"rooms\":[]}") << failure(10002, kUnreadableText);
    QTest::newRow("list not an array")
        << body("{\"list\":{\"chattRoomId\":1}}") << failure(10002, kUnreadableText);
    QTest::newRow("list of numbers")
        << body("{\"list\":[1,2]}") << failure(10001, "The room list could not be stored");
    QTest::newRow("status 204") << QJsonObject{{"mode", "body"}, {"status", 204}}
                                << failure(10002, kUnreadableText);
    QTest::newRow("stops after the first bytes")
        << QJsonObject{{"mode", "stall"}, {"bytes", 20}} << failure(10001, kTimedOutText);
}

void TestNetWorker::refusedRoomListRemovesNothing()
{
    QFETCH(QJsonObject, rule);
    QFETCH(NetOutcome, expected);

    // A room the server does not list, with a chat: a room list that is stored removes both.
    DBChatRoom extra(m_db.get());
    extra.setTopic(kExtraTopic);
    extra.setType(30);
    extra.setMembers(QStringLiteral("1002"));
    QVERIFY(extra.insertOrUpdate());
    m_db->deleteChatMessage(kExtraTopic);
    QSqlQuery chat(m_db->database());
    QVERIFY(chat.exec("INSERT INTO TTT_CHATT (topic, msg_type, content_type, msg_id, sender_id, "
                      "content, file_path, msg_time, count, msg_state, msg_read) VALUES ('" +
                      kExtraTopic + "', 1, 1, 'kept', 1002, 'hi', '', 5, 0, 1, 1)"));

    rule.insert(QStringLiteral("path"), QStringLiteral("/rest/chatt/room"));
    QVERIFY(m_server.setFault(rule));
    auto net = std::make_unique<NetServerManager>(ServerConfig::fromFile(m_server.clientIni()));
    net->setDbPath(m_db->dbPath());
    net->setIdleTimeout(1000);
    NetRecorder recorder(net.get());
    QVERIFY(net->reqChatRoomList(4));
    QCOMPARE(recorder.answer(4).signal, expected.signal);
    finish(net);
    QVERIFY(m_server.setFault({{"mode", "off"}}));

    QCOMPARE(recorder.outcomes(), QList<NetOutcome>{expected});
    QVERIFY(m_db->chatRoomExists(kExtraTopic));
    QCOMPARE(m_db->chatCount(kExtraTopic), 1);
}

void TestNetWorker::unreadableCacheStoresNothing_data()
{
    QTest::addColumn<QJsonObject>("rule"); // for the cache's path
    QTest::addColumn<NetOutcome>("expected");

    const NetOutcome unreadable{"failure", "3", 10002, kUnreadableText};
    QTest::newRow("an array") << QJsonObject{{"mode", "body"}, {"raw", "[]"}} << unreadable;
    QTest::newRow("cut short") << QJsonObject{{"mode", "body"}, {"raw", "{\"users\":["}}
                               << unreadable;
    QTest::newRow("stops after the first bytes")
        << QJsonObject{{"mode", "stall"}, {"bytes", 20}}
        << NetOutcome{"failure", "3", 10001, kTimedOutText};
}

void TestNetWorker::unreadableCacheStoresNothing()
{
    QFETCH(QJsonObject, rule);
    QFETCH(NetOutcome, expected);

    const QString stamp = DBMTData(m_db.get()).lastCacheTime();
    QList<DBUser> before;
    m_db->userList(before);
    rule.insert(QStringLiteral("path"), QStringLiteral("/rest/cache"));
    QVERIFY(m_server.setFault(rule));
    auto net = std::make_unique<NetServerManager>(ServerConfig::fromFile(m_server.clientIni()));
    net->setDbPath(m_db->dbPath());
    net->setIdleTimeout(1000);
    NetRecorder recorder(net.get());
    QVERIFY(net->reqDataCache(3));
    QCOMPARE(recorder.answer(3).signal, expected.signal);
    finish(net);
    QVERIFY(m_server.setFault({{"mode", "off"}}));

    QCOMPARE(recorder.outcomes(), QList<NetOutcome>{expected});
    QList<DBUser> after;
    QCOMPARE(m_db->userList(after), before.size());
    QCOMPARE((CacheState{DBMTData(m_db.get()).lastCacheTime(), m_session->lastCacheTime(),
                         m_session->userName()}),
             (CacheState{stamp, stamp, m_session->userName()}));
}

void TestNetWorker::nothingStoredAmiss()
{
    // The room the refused lists kept goes with the next list that is stored.
    m_recorder->clear();
    QVERIFY(m_net->reqChatRoomList(4));
    QCOMPARE(m_recorder->answer(4).signal, QStringLiteral("success"));
    QVERIFY(!m_db->chatRoomExists(kExtraTopic));
    QCOMPARE(m_db->chatCount(kExtraTopic), 0);

    // A store that cannot be opened is a failure, not a success with nothing stored.
    m_net->setDbPath(QStringLiteral("/proc/no-such-folder/veltri_user001.db"));
    QVERIFY(m_net->reqDataCache(6));
    QVERIFY(m_recorder->answer(6).signal != QLatin1String("timeout"));
    QCOMPARE(m_recorder->outcomes("6"),
             (QList<NetOutcome>{{"failure", "6", 10001, "store is not open"}}));
    m_net->setDbPath(m_db->dbPath());

    // A cache in flight while the user logs off.
    const QString ownName = m_session->userName();
    QVERIFY(!ownName.isEmpty());
    QVERIFY(m_server.pause());
    m_recorder->clear();
    QVERIFY(m_net->reqDataCache(3));
    // The user logs off and another session begins before the answer arrives.
    m_session.reset();
    MTData other;
    DBEditor editor;
    other.setUserId(editor, 999999);
    other.setUserName(editor, QStringLiteral("Other"));
    QVERIFY(m_server.resume());
    const NetRecorder::Event answer = m_recorder->answer(3);
    QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text()));

    // The answer belongs to the account that asked: stored in its file with its own values, and
    // nothing of it reaches the session that came after.
    const QString stamp = answer.object()["updDatetime"].toString();
    const DBMTData stored(m_db.get());
    QCOMPARE((CacheState{stored.lastCacheTime(), stored.lastCacheTime(), stored.userName()}),
             (CacheState{stamp, stamp, ownName}));
    QCOMPARE((CacheState{other.lastCacheTime(), other.lastCacheTime(), other.userName()}),
             (CacheState{"19700101000000", "19700101000000", "Other"}));
}

QTEST_GUILESS_MAIN(TestNetWorker)
#include "tst_networker.moc"
