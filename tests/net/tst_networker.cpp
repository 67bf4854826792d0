// The worker requests against the reference server: the directory cache and the room list are
// written into the user's database on connections of their own before their success is
// signalled; the room list then brings the members' and groups' pictures into
// the cache.
#include "netfixture.h"
#include "store/dbchatroom.h"
#include "store/dbgroup.h"
#include "store/dbuser.h"

#include <QSqlDatabase>

class TestNetWorker : public NetFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void dataCacheStoresThenSignals();
    void roomListStoresThenSignalsThenFetchesPictures();
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
    QCOMPARE(QStringList({m_session->lastCacheTime(), DBMTData(m_db.get()).lastCacheTime(),
                          m_session->userName()}),
             QStringList({stamp, stamp, user.userName()}));
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
    QStringList expected;
    for (const QJsonValue& room : list) {
        DBGroup group;
        if (m_db->findGroup(room["grpId"].toInt(), group))
            expected << group.thumbUrl();
        for (const QJsonValue& member : room["members"].toArray()) {
            if (member["joinUserId"].toInt() != m_session->userId())
                expected << member["user"]["thumbUrl"].toString();
        }
    }
    expected.removeAll(QString());
    expected.removeDuplicates();
    QVERIFY(list.size() > 5 && expected.size() > 3);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->events().size() - 1, expected.size(), 30000);
    QStringList fetched;
    for (const NetRecorder::Event& e : m_recorder->of(QStringLiteral("imageSuccess")))
        fetched << e.args.value(0).toString();
    fetched.sort();
    expected.sort();
    QCOMPARE(fetched, expected);

    // Two lists and two caches at once, each on a connection of its own: all of them stored and
    // answered, and no picture is asked for again.
    m_recorder->clear();
    for (int code : {40, 41})
        QVERIFY(m_net->reqChatRoomList(code) && m_net->reqDataCache(code + 10));
    for (int code : {40, 41, 50, 51})
        QCOMPARE(m_recorder->answer(code).signal, QStringLiteral("success"));
    QTest::qWait(300);
    QCOMPARE(m_recorder->events().size(), 4);
}

void TestNetWorker::nothingStoredAmiss()
{
    // A room the server does not list any more, which a successful list removes.
    DBChatRoom extra(m_db.get());
    extra.setTopic(QStringLiteral("chat/999999"));
    extra.setType(30);
    extra.setMembers(QStringLiteral("1002"));
    QVERIFY(extra.insertOrUpdate());
    QVERIFY(m_server.setFault(
        {{"mode", "error"}, {"code", 50000}, {"path", "/rest/chatt/room"}, {"count", 1}}));
    // The failed list keeps it; the next one removes it.
    for (const bool kept : {true, false}) {
        m_recorder->clear();
        QVERIFY(m_net->reqChatRoomList(4));
        QCOMPARE(m_recorder->answer(4).errCode(), kept ? 50000 : 0);
        QCOMPARE(m_db->chatRoomExists(QStringLiteral("chat/999999")), kept);
    }

    // A store that cannot be opened is a failure, not a success with nothing stored.
    m_net->setDbPath(QStringLiteral("/proc/no-such-folder/veltri_user001.db"));
    QVERIFY(m_net->reqDataCache(6));
    const NetRecorder::Event failed = m_recorder->answer(6);
    QCOMPARE(QVariantList({failed.signal, failed.errCode()}), QVariantList({"failure", 10001}));
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
    QCOMPARE(QStringList({stored.lastCacheTime(), stored.userName(), other.lastCacheTime(),
                          other.userName()}),
             QStringList({stamp, ownName, "19700101000000", "Other"}));
}

QTEST_GUILESS_MAIN(TestNetWorker)
#include "tst_networker.moc"
