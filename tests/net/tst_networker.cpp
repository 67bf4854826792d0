#include "net/filemanager.h"
#include "net/netdecodedpictures.h"
#include "net/netsparefiles.h"
#include "netfixture.h"
#include "store/dbgroup.h"
#include "store/dbuser.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>

namespace {
struct CacheState
{
    QString time, userName;
    MT_TYPED(CacheState, time, userName)
    static CacheState of(const DBMTData& d) { return {d.lastCacheTime(), d.userName()}; }
};

struct FirstCache
{
    QString url;
    QStringList identity;
    int users = 0;
    CacheState stored, session;
    bool connectionOpen = false;
    QStringList signalled; // the answer's members that reach the GUI thread
    MT_TYPED(FirstCache, url, identity, users, stored, session, connectionOpen, signalled)
};

} // namespace

// What a failure must not touch: a room the server does not list, and the directory. Outside
// the unnamed namespace: the test object keeps one.
struct Stored
{
    bool extraRoom = false;
    int extraChats = 0, users = 0;
    QString cacheTime;
    MT_TYPED(Stored, extraRoom, extraChats, users, cacheTime)
};

namespace {

const QString kExtraTopic = QStringLiteral("chat/999999");

// Of `urls`, those whose pictures were kept decoded as their cached files read; each is taken.
QStringList decodedAsCached(const QStringList& urls)
{
    QStringList out;
    for (const QString& url : urls) {
        const QString file = FileManager::cachedFile(url);
        const QImage decoded = NetDecodedPictures::take(file);
        if (!decoded.isNull() && QImage(file).convertToFormat(decoded.format()) == decoded)
            out << url;
    }
    return out;
}

// Address -> file of every picture answer, or (`cached`) the file the picture cache holds for it.
QMap<QString, QString> pictures(const QList<NetRecorder::Event>& events, bool cached)
{
    QMap<QString, QString> out;
    for (const NetRecorder::Event& e : events) {
        const QString url = e.args.value(0).toString();
        if (e.signal == QLatin1String("imageSuccess"))
            out.insert(url, cached ? FileManager::cachedFile(url) : e.args.value(1).toString());
    }
    return out;
}
} // namespace

using Call = std::function<bool(NetServerManager&)>;
Q_DECLARE_METATYPE(Call)

class TestNetWorker : public NetFixture
{
    Q_OBJECT

    // The answers to requests, pictures left out.
    static QList<NetOutcome> requestAnswers(const NetRecorder& recorder)
    {
        QList<NetOutcome> out;
        for (const NetOutcome& outcome : recorder.outcomes()) {
            if (!outcome.signal.startsWith(QLatin1String("image")))
                out << outcome;
        }
        return out;
    }

private slots:
    void initTestCase() { QVERIFY(start(true)); }

    void dataCacheStoresThenSignals()
    {
        const QString me = QString::number(m_session->userId());
        const qint64 since = m_server.lastRequestSeq();
        m_recorder->clear();
        QVERIFY(m_net->reqDataCache(3));
        const NetRecorder::Event answer = m_recorder->answer(3);
        QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text()));
        const QJsonObject received = m_server.requests("/rest/cache", since).last().toObject();
        // Written before the signal, and the session object holds the stored values.
        QList<DBUser> users;
        QList<DBGroup> groups;
        DBUser user;
        const QString stamp = answer.object()["updDatetime"].toString();
        QVERIFY(stamp.size() == 14 && m_db->findUser(m_session->userId(), user));
        QCOMPARE(
            (FirstCache{received["url"].toString(), identity(received), m_db->userList(users),
                        CacheState::of(DBMTData(m_db.get())), CacheState::of(*m_session),
                        QSqlDatabase::contains(QString::fromLatin1(DBManager::kConnectionCache)),
                        answer.object().keys()}),
            (FirstCache{"/rest/cache/" + me + "/19700101000000",
                        identity(),
                        m_server.control("GET", "/control/status")["users"].toInt(),
                        {stamp, user.userName()},
                        {stamp, user.userName()},
                        false,
                        {"status", "updDatetime"}}));
        QVERIFY(m_db->groupList(groups) > 0);

        // The next cache asks for what changed since the stored time.
        const qint64 next = m_server.lastRequestSeq();
        QVERIFY(m_net->reqDataCache(5));
        QCOMPARE(m_recorder->answer(5).signal, QStringLiteral("success"));
        QCOMPARE(m_server.requests("/rest/cache", next).last()["url"].toString(),
                 "/rest/cache/" + me + "/" + stamp);
    }

    void roomListStoresThenSignals()
    {
        m_recorder->clear();
        QVERIFY(m_net->reqChatRoomList(4));
        const NetRecorder::Event answer = m_recorder->answer(4);
        QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text()));
        // The rooms' pictures are fetched while the rooms are stored, so an answer may come
        // first: each one names the file the picture cache gives for its address, where rows
        // made later look.
        QVERIFY(waitUntil([&] { return !pictures(m_recorder->events(), false).isEmpty(); }));
        const QList<NetRecorder::Event> events = m_recorder->events();
        QCOMPARE(pictures(events, true), pictures(events, false));

        // Two lists and two caches at once, stored from worker threads.
        auto net = newEngine();
        NetRecorder recorder(net.get());
        for (int code : {40, 41})
            QVERIFY(net->reqChatRoomList(code) && net->reqDataCache(code + 10));
        for (int code : {40, 41, 50, 51})
            QCOMPARE(recorder.answer(code).signal, QStringLiteral("success"));
        finish(net);
    }

    // Asked for with its room list, a directory goes on with that list once stored, without
    // waiting to be asked (a login's GUI thread is busy then): the list's answer follows the
    // directory's, and the list is fetched once.
    void dataCacheGoesOnWithItsRoomList()
    {
        const qint64 since = m_server.lastRequestSeq();
        m_recorder->clear();
        QVERIFY(m_net->reqDataCache(7, 8));
        QCOMPARE(m_recorder->answer(8).signal, QStringLiteral("success"));
        QCOMPARE(requestAnswers(*m_recorder),
                 (QList<NetOutcome>{{"success", "7"}, {"success", "8"}}));
        QCOMPARE(m_server.requests("/rest/chatt/room", since).size(), 1);
    }

    void failures_data()
    {
        // A room the server does not list, with a chat: a room list that is stored removes both.
        QSqlQuery sql(m_db->database());
        QVERIFY(sql.exec("INSERT INTO TTT_CHATT_ROOM (topic, type, members) VALUES ('" +
                         kExtraTopic + "', 30, '1002')"));
        QVERIFY(sql.exec("INSERT INTO TTT_CHATT (topic, msg_type, content_type, msg_id, sender_id, "
                         "content, msg_time, msg_state, msg_read) VALUES ('" +
                         kExtraTopic + "', 1, 1, 'kept', 1002, 'hi', 5, 1, 1)"));
        m_before = stored();
        QVERIFY(m_before.extraRoom && m_before.users > 300);

        QTest::addColumn<int>("port");
        QTest::addColumn<QByteArray>("caLine"); // of the client's configuration
        QTest::addColumn<QJsonObject>("rule");  // the reference server's fault rule
        QTest::addColumn<Call>("call");
        QTest::addColumn<NetOutcome>("expected");

        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const int none = closed.serverPort(), rest = m_server.restPort();
        closed.close(); // nobody listens there any more
        const QByteArray ca = "\nCaFile=" + m_server.caFile().toUtf8();
        const QString file = FileManager::makeTextFile("hello");

        struct Path
        {
            const char* path;
            const char* failure; // the signal of a failure
            Call call;
            int unanswered; // the code of a request that got no answer
            int emptyError; // the code of an error status without a body
        };
        const int unreadable = NetServerManager::kErrorUnreadable,
                  lost = NetServerManager::kErrorNetwork;
        const QList<Path> paths = {
            {"/rest/auth", "failure", [](NetServerManager& n) { return n.reqPing(4); }, lost, lost},
            {"/rest/chatt/room", "failure",
             [](NetServerManager& n) { return n.reqChatRoomList(4); }, lost, lost},
            {"/rest/cache", "failure", [](NetServerManager& n) { return n.reqDataCache(4); }, lost,
             lost},
            {"/rest/file/chat", "uploadFailure",
             [file](NetServerManager& n) { return n.uploadChatFile(QStringLiteral("4"), file); }, 0,
             503}};
        const auto row = [&](const Path& p, const char* name, int port, const QByteArray& caLine,
                             DevFault fault, int errCode, const QString& message = QString()) {
            fault.path = QString::fromLatin1(p.path);
            QJsonObject rule = fault.toJson();
            if (!message.isEmpty())
                rule.insert(QStringLiteral("message"), message);
            QTest::addRow("%s: %s", p.path, name)
                << port << caLine << rule << p.call << NetOutcome{p.failure, "4", errCode, message};
        };
        const auto body = [](const QByteArray& raw) { return DevFault::body({}, raw); };
        for (const Path& p : paths) {
            row(p, "no server", none, ca, {"off"}, p.unanswered);
            row(p, "certificate nobody trusts", rest, "", {"off"}, p.unanswered);
            row(p, "error body", rest, ca, DevFault::error({}, 500, 50012), 50012, "Broken");
            row(p, "error body without JSON", rest, ca,
                DevFault::body({}, "<html>Bad Gateway</html>", 502, "text/html"), 0);
            row(p, "error without a body", rest, ca, {"error", {}, {}, 0, 503, 0, true},
                p.emptyError);
            row(p, "answer neither 200 nor an error", rest, ca, DevFault::error({}, 201),
                unreadable);
            row(p, "200 cut short", rest, ca, body("{\"list\":[{\"chattRoomId\":1"), unreadable);
            row(p, "200 not an object", rest, ca, body("[{\"list\":[]}]"), unreadable);
            row(p, "no answer", rest, ca, DevFault::hang({}), lost);
            row(p, "stops after its first bytes", rest, ca, DevFault::stall({}, 20), lost);
        }
        const Path& roomList = paths.at(1);
        row(roomList, "200 without a list", rest, ca, body("{\"rooms\":[]}"), unreadable);
        row(roomList, "a list that is not a list", rest, ca, body("{\"list\":{}}"), unreadable);
        row(roomList, "a list of numbers", rest, ca, body("{\"list\":[1,2]}"), lost);
        const Call unreadableFile = [](NetServerManager& n) {
            return n.uploadChatFile(QStringLiteral("4"), "/proc/no-such-file.txt");
        };
        row({"/rest/file/chat", "uploadFailure", unreadableFile, 0, 0}, "file cannot be read", rest,
            ca, {"off"}, lost);
    }

    void failures()
    {
        QFETCH(int, port);
        QFETCH(QByteArray, caLine);
        QFETCH(QJsonObject, rule);
        QFETCH(Call, call);
        QFETCH(NetOutcome, expected);

        QVERIFY(m_server.setFault(rule));
        QFile ini(m_server.dataDir() + QStringLiteral("/test.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write("[Server]\nHost=localhost\nRestPort=" +
                                                            QByteArray::number(port) + caLine) > 0);
        ini.close();

        auto net = newEngine(ini.fileName(), 1000);
        NetRecorder recorder(net.get());
        QVERIFY(call(*net));
        QCOMPARE(recorder.answer(expected.id).signal, expected.signal);
        // Once every task of the engine has ended, the failure is all that came.
        finish(net);
        QCOMPARE(recorder.outcomes(), QList<NetOutcome>{expected});
        QCOMPARE(stored(), m_before);
    }

    void cleanup() { m_server.clearFault(); }

    // Before the list is shown, the pictures of the rooms a window shows at once, newest first,
    // and no others: one more would compete with them for the server and the processor. Each is
    // written through a spare file made ahead, not into a file made then, and kept decoded for
    // the window.
    void picturesOfTheRoomsShownAtOnce()
    {
        const QVector<DevRoom> rooms = m_server.bulk(QStringLiteral("user001"), 3, 0, false);
        QCOMPARE(rooms.size(), 3);
        const QDir cache = QFileInfo(FileManager::cacheFilePath(QStringLiteral("/p/x"))).dir();
        for (const QString& file : cache.entryList(QDir::Files))
            QVERIFY(QFile::remove(cache.filePath(file)));
        QVERIFY(m_net->reqDataCache(60));
        QCOMPARE(m_recorder->answer(60).signal, QStringLiteral("success"));
        m_net->setRoomsShownAtOnce(2);
        NetServerManager::prepareSparePictureFiles();
        const int spares = NetSpareFiles::ready();
        const qint64 since = m_server.lastRequestSeq();
        QVERIFY(m_net->reqChatRoomList(61));
        QCOMPARE(m_recorder->answer(61).signal, QStringLiteral("success"));
        QVERIFY(waitUntil([&] { return !m_net->firstPicturesPending(); }));
        QStringList asked;
        for (const QJsonValue& request : m_server.requests(QStringLiteral("/pictures"), since))
            asked << request["path"].toString();
        QStringList expected = m_server.memberPictures({rooms[2], rooms[1]}, m_session->userId());
        asked.sort();
        expected.sort();
        QCOMPARE(asked, expected);
        QCOMPARE(NetSpareFiles::ready(), spares - expected.size());
        QCOMPARE(decodedAsCached(expected), expected);
    }

    // Last: it ends the session.
    void nothingStoredAmiss()
    {
        // A store that cannot be opened is a failure, not a success with nothing stored.
        m_net->setDbPath(QStringLiteral("/proc/no-such-folder/veltri_user001.db"));
        QVERIFY(m_net->reqDataCache(6));
        QCOMPARE(m_recorder->answer(6).signal, QStringLiteral("failure"));
        m_net->setDbPath(m_db->dbPath());

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

        // The answer is stored for the account that asked, and not in the session after it.
        const QString stamp = answer.object()["updDatetime"].toString();
        QCOMPARE(CacheState::of(DBMTData(m_db.get())), (CacheState{stamp, ownName}));
        QCOMPARE(CacheState::of(other), (CacheState{"19700101000000", "Other"}));
    }

private:
    Stored stored()
    {
        QList<DBUser> users;
        return {m_db->chatRoomExists(kExtraTopic), m_db->chatCount(kExtraTopic),
                m_db->userList(users), DBMTData(m_db.get()).lastCacheTime()};
    }
    Stored m_before;
};

QTEST_GUILESS_MAIN(TestNetWorker)
#include "tst_networker.moc"
