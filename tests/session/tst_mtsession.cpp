// One login's session against the reference server over TLS and its broker.
#include "common/devserver.h"
#include "common/loggedin.h"
#include "common/testenv.h"
#include "common/typed.h"
#include "common/wait.h"

#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"
#include "session/localsettings.h"
#include "session/sessionrequest.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbmtdata.h"
#include "store/dbtypes.h"
#include "store/mtdata.h"
#include "store/unreadcounts.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

// One signal of the session as a receiver hears it, reduced to what a test compares.
struct SessionEvent
{
    QString signal;
    QString topic = {};
    int code = 0;
    QString text = {};
    MT_TYPED(SessionEvent, signal, topic, code, text)
};

class SessionRecorder : public QObject
{
public:
    explicit SessionRecorder(MtSession* s)
    {
        using M = MtSession;
        connect(s, &M::loginSucceeded, this, [this] { add("loginSucceeded"); });
        connect(s, &M::loginFailed, this, [this](int code) { add("loginFailed", {}, code); });
        connect(s, &M::unlockFailed, this, [this](int code) { add("unlockFailed", {}, code); });
        connect(s, &M::versionRefused, this, [this](const QString& link) {
            add("versionRefused", {}, 0, link.isEmpty() ? "no link" : "link");
        });
        connect(s, &M::roomsReady, this, [this](bool show, bool listShown) {
            add("roomsReady", {}, show, listShown ? QStringLiteral("list shown") : QString());
        });
        connect(s, &M::requestFailed, this, [this](int req, int code) {
            add("requestFailed", {}, code, QString::number(req));
        });
        connect(s, &M::messagingConnected, this, [this] { add("messagingConnected"); });
        connect(s, &M::chatForWindow, this,
                [this](const QString& topic, const DBChat& c, bool own) {
                    add("chatForWindow", topic, own, c.content());
                });
        connect(s, &M::roomListChats, this, [this](const QList<DBChat>& chats) {
            for (const DBChat& c : chats)
                add("roomListChat", c.topic(), 0, c.content());
        });
        connect(s, &M::notify, this, [this](const NotifyRequest& r) {
            add("notify", r.topic, 0, r.notice.toString() + QStringLiteral(" ") + r.text);
        });
        connect(s, &M::roomRequested, this, [this](const QString& t) { add("roomRequested", t); });
        connect(s, &M::roomAdded, this,
                [this](const DBChatRoom& r) { add("roomAdded", r.topic(), r.type()); });
        connect(s, &M::unreadChanged, this,
                [this](const QString& t, int unread) { add("unread", t, unread); });
    }

    QList<SessionEvent> events;
    // The events of one signal, of one topic when given, in order.
    QList<SessionEvent> of(const QString& signal, const QString& topic = QString()) const
    {
        QList<SessionEvent> out;
        for (const SessionEvent& e : events) {
            if (e.signal == signal && (topic.isNull() || e.topic == topic))
                out << e;
        }
        return out;
    }
    // Waits until the signal has come `count` times (for the topic, when given).
    bool waitFor(const QString& signal, const QString& topic = QString(), int count = 1)
    {
        return waitUntil([&] { return of(signal, topic).size() >= count; });
    }

private:
    void add(const QString& signal, const QString& topic = {}, int code = 0,
             const QString& text = {})
    {
        events.append({signal, topic, code, text});
    }
};

namespace {
const QString kPassword = LoggedIn::kPassword; // inline in its header, so made before this
const QString kDevice = QStringLiteral("dev-pc");

// A refusal of the next request under `path`.
QJsonObject once(const QString& path, int status, int code)
{
    return DevFault::error(path, status, code, 1).toJson();
}

// A login's first signal, its store's files (the db and its journal files), settings kept, REST
// paths asked and whether it is logged in.
struct Outcome
{
    SessionEvent first;
    QStringList files;
    QString autologinAccount, deviceId;
    QStringList paths;
    bool loggedIn = false;
    MT_TYPED(Outcome, first, files, autologinAccount, deviceId, paths, loggedIn)
};
} // namespace

// A session on the test's settings file, recorded from before its login. Outside the unnamed
// namespace: the test class holds one.
struct Running
{
    Running(const ServerConfig& config, LocalSettings* settings) : s(config), r(&s)
    {
        s.setSettings(settings);
        s.setChatWindows(&windows);
    }
    bool login(const QString& account, bool autoLogin = false)
    {
        return s.login(account, kPassword, autoLogin, kDevice) && r.waitFor("roomsReady") &&
               r.waitFor("messagingConnected");
    }
    WindowsStub windows;
    MtSession s;
    SessionRecorder r;
};
Q_DECLARE_METATYPE(Outcome)

class TestMtSession : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    ServerConfig m_config;
    QTemporaryDir m_settingsDir;
    std::unique_ptr<LocalSettings> m_settings;
    std::unique_ptr<Running> m_run;

    // Topic of the room of `account` that has exactly the members given (user ids).
    QString roomOf(const QString& account, QVector<qint64> members)
    {
        std::sort(members.begin(), members.end());
        for (DevRoom room : m_server.rooms(m_server.userId(account), true)) {
            std::sort(room.memberIds.begin(), room.memberIds.end());
            if (room.memberIds == members)
                return room.topic;
        }
        return QString();
    }
    // Whether the store holds the account's rooms as the server has them.
    bool roomsStored(MtSession& s, const QString& account)
    {
        QList<DBChatRoom> rooms;
        QSet<QString> stored, served;
        if (s.db())
            s.db()->chatRoomList(rooms);
        for (const DBChatRoom& room : rooms)
            stored << room.topic();
        for (const DevRoom& room : m_server.rooms(m_server.userId(account)))
            served << room.topic;
        return stored == served;
    }
    void chat(const QString& topic, int from, const QString& text)
    {
        m_server.chat(topic.section('/', 1).toInt(), from, text);
    }
    // An own chat stored as sending, as a chat window does, optionally sent; its id.
    static QString storeOwnChat(LoggedIn& in, const QString& topic, bool send = false)
    {
        DBChat chat(in.db());
        chat.setTopic(topic);
        chat.setMsgId(in->messaging()->makeMessageId());
        chat.setMsgType(1);
        chat.setSenderId(1001);
        chat.setContent(1, QStringLiteral("on its way ") + chat.msgId());
        chat.setMsgTime(QDateTime::currentMSecsSinceEpoch());
        chat.setMsgState(MsgStateNew);
        chat.setMsgRead(true);
        DBChat stored(in.db());
        const bool found = chat.insertOrUpdate() && in.db()->findChat(topic, chat.msgId(), stored);
        if (found && send)
            in->outbox()->send(stored);
        return found ? chat.msgId() : QString();
    }
    static int stateOf(DBManager* db, const QString& topic, const QString& msgId)
    {
        DBChat chat(db);
        return db->findChat(topic, msgId, chat) ? chat.msgState() : -1;
    }
    bool brokerConnected(int user, const QString& clientId)
    {
        const QJsonArray sessions = m_server.sessions(user);
        return std::any_of(sessions.begin(), sessions.end(), [&](const QJsonValue& v) {
            return v["clientId"].toString() == clientId && v["connected"].toBool();
        });
    }

private slots:
    void initTestCase()
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_config = ServerConfig::fromFile(m_server.clientIni());
    }
    void init()
    {
        QFile::remove(m_settingsDir.filePath("settings.ini"));
        m_settings = std::make_unique<LocalSettings>(m_settingsDir.filePath("settings.ini"));
        m_run = std::make_unique<Running>(m_config, m_settings.get());
    }
    void cleanup()
    {
        m_run.reset();
        m_server.clearUpdate();
        m_server.clearFault();
    }

    // One row per kind of outcome; a refusal leaves neither files nor settings behind.
    void login_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("minVersion");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<Outcome>("outcome");
        const QJsonObject none{{"mode", "off"}};
        const QStringList asked{"/rest/auth"};
        const auto failed = [&](const SessionEvent& e) {
            return Outcome{e, {}, {}, {}, asked, false};
        };
        QTest::newRow("right password")
            << "user004" << kPassword << 0 << none
            << Outcome{{"loginSucceeded"},
                       {"veltri_user004.db", "veltri_user004.db-shm", "veltri_user004.db-wal"},
                       "user004",
                       kDevice,
                       {"/rest/auth", "/rest/cache/1004", "/rest/chatt/room"},
                       true};
        QTest::newRow("refused password")
            << "user005"
            << "Passw0rd?" << 0 << none << failed({"loginFailed", {}, 40101});
        QTest::newRow("version refused with a link")
            << "user006" << kPassword << 1047 << none << failed({"versionRefused", {}, 0, "link"});
    }
    void login()
    {
        QFETCH(QString, account);
        QFETCH(QString, password);
        QFETCH(int, minVersion);
        QFETCH(QJsonObject, fault);
        QFETCH(Outcome, outcome);
        m_server.control("POST", "/control/version", QJsonObject{{"minVersion", minVersion}});
        QVERIFY(m_server.setFault(fault));
        const qint64 since = m_server.lastRequestSeq();
        SessionRecorder& r = m_run->r;
        m_run->s.login(account, password, true, kDevice);
        // The sentinel: the room list stored, or the login ended without one.
        QVERIFY(waitUntil([&] {
            return !r.of("roomsReady").isEmpty() || !r.of("loginFailed").isEmpty() ||
                   !r.of("versionRefused").isEmpty();
        }));
        QStringList paths;
        for (const QJsonValue& v : m_server.requests("/rest", since))
            paths << v["path"].toString().section('/', 0, 3);
        // The directory and the room list are asked for at once: either may reach the server
        // first (the login, sorted first too, always comes before them).
        paths.sort();
        const LocalSettings& st = *m_settings;
        const QFileInfo db(DBManager::databaseFilePath(account));
        QCOMPARE(
            (Outcome{r.events.first(), db.dir().entryList({db.fileName() + '*'}, QDir::Files),
                     st.autologinAccount(), st.deviceId(), paths, m_run->s.state().isLoggedIn()}),
            outcome);
    }

    // A first login whose store cannot be made fails as a database error. Its directory, asked
    // for before the store was made and answered only once the next login is in, reaches
    // nobody: a refused keep-alive after it is the sentinel, reported with the server's code
    // while the session goes on (which code a failed answer carries is the network layer's to
    // decide, and tst_networker checks it).
    void firstStoreRefused()
    {
        const QString account = QStringLiteral("user019");
        const QString path = DBManager::databaseFilePath(account);
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/store.db"), path));
        DevFault hung = DevFault::hang("/rest/cache/1019");
        hung.count = 1;
        QVERIFY(m_server.setFault(hung.toJson()));
        m_run->s.login(account, kPassword, true, kDevice);
        QVERIFY(m_run->r.waitFor("loginFailed"));
        QVERIFY(QFile::remove(path));
        QVERIFY(m_run->login(account, true));
        QVERIFY(m_server.setFault(once("/rest/auth/ping", 500, 50000)));
        m_run->s.ping();
        QVERIFY(m_run->r.waitFor("requestFailed"));
        QCOMPARE(m_run->r.of("loginFailed"),
                 (QList<SessionEvent>{{"loginFailed", {}, MtSession::kErrorDatabase}}));
        QCOMPARE(m_run->r.of("requestFailed"),
                 (QList<SessionEvent>{
                     {"requestFailed", {}, 50000, QString::number(SessionRequest::Ping)}}));
        QCOMPARE(m_run->s.state().snapshot(), (SessionState::Snapshot{6, true, false}));
        QVERIFY(roomsStored(m_run->s, account));
    }

    // A picture of the first rows that does not come holds the messaging session back for a
    // moment only, far less than the picture's own time-out.
    void messagingWhilePicturesHang()
    {
        QVERIFY(QDir(FileManager::cacheFolder()).removeRecursively());
        QVERIFY(m_server.fail(DevFault::hang("/pictures/")));
        QVERIFY(m_run->s.login("user020", kPassword, false, kDevice));
        QVERIFY(waitUntil([&] { return !m_run->r.of("messagingConnected").isEmpty(); }, 5000));
    }

    // Items reach their receivers; an unknown room is fetched once; a read room stays read.
    // Another own session inside a room keeps it quiet till it leaves; locked, a flash only.
    void routingAndPresence()
    {
        LoggedIn in(m_server, "user001");
        QVERIFY(in.ok);
        SessionRecorder r(in.session.get());
        const QString open = roomOf("user001", {1001, 1002});
        const QString closed = roomOf("user001", {1001, 1003});
        in.windows.open << open;

        chat(open, 1002, "to the open room");
        chat(closed, 1003, "to a closed room");
        QVERIFY(r.waitFor("notify", closed));
        QVERIFY(r.waitFor("roomListChat", closed));
        QCOMPARE(r.of("chatForWindow"),
                 (QList<SessionEvent>{{"chatForWindow", open, 0, "to the open room"}}));

        const QJsonValue made = m_server.control(
            "POST", "/control/room",
            QJsonObject{{"userId", 1004}, {"members", QJsonArray{1001, 1005}}, {"notify", false}});
        const QString unknown = QStringLiteral("chat/%1").arg(made["chattRoomId"].toInt());
        for (const char* text : {"one", "two", "three"})
            chat(unknown, 1004, text);
        QVERIFY(r.waitFor("roomAdded", unknown));
        QVERIFY(r.waitFor("roomListChat", unknown));
        QCOMPARE(r.of("roomRequested"), (QList<SessionEvent>{{"roomRequested", unknown}}));

        // The echo of the window's own READ_ENTER leaves the count at 0.
        const int unreadBefore = r.of("unread", closed).size();
        in.windows.open.insert(closed);
        in.windows.active = closed;
        in->chatWindowActivated(closed);
        in->messaging()->sendReadEnter(closed, QDateTime::currentMSecsSinceEpoch());
        QVERIFY(r.waitFor("unread", closed, unreadBefore + 2));
        QCOMPARE(r.of("unread", closed).mid(unreadBefore),
                 (QList<SessionEvent>{{"unread", closed, 0}, {"unread", closed, 0}}));

        const QString quiet = roomOf("user001", {1001, 1004});
        const QString loud = roomOf("user001", {1001, 1005});
        const QJsonValue phone = m_server.control(
            "POST", "/control/session", QJsonObject{{"userId", 1001}, {"deviceModel", "MOBILE"}});
        QJsonObject step{{"roomId", quiet.section('/', 1).toInt()},
                         {"userId", 1001},
                         {"type", "enter"},
                         {"clientId", phone["clientId"]}};
        m_server.control("POST", "/control/read", step);
        QVERIFY(waitUntil([&] { return in->presence().isInRoom(quiet); }));

        chat(quiet, 1004, "read on the phone");
        chat(loud, 1005, "sentinel");
        QVERIFY(r.waitFor("notify", loud));
        QVERIFY(r.waitFor("roomListChat", quiet));
        QCOMPARE(r.of("notify", quiet), QList<SessionEvent>());
        QCOMPARE(r.of("notify", loud),
                 (QList<SessionEvent>{{"notify", loud, 0, "flash=1 toast=1 sound=1 sentinel"}}));

        step["type"] = "leave";
        m_server.control("POST", "/control/read", step);
        QVERIFY(waitUntil([&] { return !in->presence().isInRoom(quiet); }));
        chat(quiet, 1004, "phone gone");
        QVERIFY(r.waitFor("notify", quiet));

        // "Here" from the phone says it is inside again; its entering read the room.
        step["type"] = "here";
        m_server.control("POST", "/control/read", step);
        QVERIFY(waitUntil([&] { return in->presence().isInRoom(quiet); }));
        QCOMPARE(r.of("unread", quiet), (QList<SessionEvent>{{"unread", quiet, 0}}));

        QVERIFY(in->lock());
        chat(loud, 1005, "while locked");
        QVERIFY(r.waitFor("notify", loud, 2));
        QCOMPARE(r.of("notify", loud).last(),
                 (SessionEvent{"notify", loud, 0, "flash=1 toast=0 sound=0 while locked"}));
    }

    // Answers in flight at log off are dropped; the account is no longer logged in automatically.
    void logOff()
    {
        m_server.fail(DevFault::hang("/rest/chatt/room/1017"));
        const qint64 since = m_server.lastRequestSeq();
        m_run->s.login("user017", kPassword, true, kDevice);
        QVERIFY(waitUntil([&] { return !m_server.requests("/rest/chatt/room", since).isEmpty(); }));
        m_run->s.logOff();
        QCOMPARE(m_settings->autologinAccount(), QString());
        // The hung request is answered (503) now; the next login's own rooms are the sentinel.
        // Its store holds the directory but no room yet: the list was shown before it was stored.
        m_server.clearFault();
        QVERIFY(m_run->login("user017", true));
        QCOMPARE(m_run->r.of("roomsReady"),
                 (QList<SessionEvent>{{"roomsReady", {}, 1, "list shown"}}));
        QCOMPARE(m_run->r.of("requestFailed"), QList<SessionEvent>());
    }

    // A refused room list ends a login or an unlock; a version refusal or a wrong password keeps
    // a restored session locked; each next attempt is taken.
    void lockAndUnlock()
    {
        // The login's room list is fetched ahead, with the directory: its refusal, with the
        // server's words for it, is the login's, and the list is not asked for again.
        QJsonObject roomsRefused = once("/rest/chatt/room", 500, 50012);
        roomsRefused.insert(QStringLiteral("message"), QStringLiteral("Broken"));
        m_server.setFault(roomsRefused);
        QSignalSpy refused(&m_run->s, &MtSession::loginFailed);
        const qint64 since = m_server.lastRequestSeq();
        QVERIFY(m_run->s.login("user016", kPassword, true, kDevice));
        QVERIFY(refused.wait());
        QCOMPARE(refused.first(), (QVariantList{50012, QStringLiteral("Broken")}));
        QCOMPARE(m_server.requests(QStringLiteral("/rest/chatt/room"), since).size(), 1);
        QVERIFY(m_run->login("user016", true));

        m_run = std::make_unique<Running>(m_config, m_settings.get());
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        QVERIFY(s.restore("user016"));
        const SessionState::Snapshot locked{3, true, true};
        m_server.setFault(once("/rest/auth", 426, 40106));
        QVERIFY(s.unlock("wrong"));
        QVERIFY(r.waitFor("versionRefused"));
        QCOMPARE(s.state().snapshot(), locked);
        QVERIFY(s.unlock("wrong"));
        QVERIFY(r.waitFor("unlockFailed"));
        m_server.setFault(roomsRefused);
        QVERIFY(s.unlock(kPassword));
        QVERIFY(r.waitFor("unlockFailed", {}, 2));
        QCOMPARE(r.of("unlockFailed"),
                 (QList<SessionEvent>{{"unlockFailed", {}, 40101}, {"unlockFailed", {}, 50012}}));
        QVERIFY(s.unlock(kPassword));
        QVERIFY(r.waitFor("roomsReady"));
        QCOMPARE(r.of("roomsReady"), (QList<SessionEvent>{{"roomsReady", {}, 1}}));
    }

    // Chats left sending go out once, oldest first, at the next connect; an unconfirmed one fails.
    void outbox()
    {
        const QString topic = roomOf("user001", {1001, 1003});
        const QString foreign = roomOf("user002", {1002, 1003});
        QStringList queued; // left sending by an earlier run
        {
            LoggedIn first(m_server, "user001");
            QVERIFY(first.ok);
            queued << storeOwnChat(first, topic) << storeOwnChat(first, topic);
        }
        const qint64 since = m_server.lastPublishedSeq();
        LoggedIn in(m_server, "user001");
        QVERIFY(in.ok);
        QVERIFY(waitUntil([&] { return stateOf(in.db(), topic, queued[1]) == MsgStateConfirmed; }));

        // The sentinel: a chat sent now comes after anything published at the connect.
        const QString now = storeOwnChat(in, topic, true);
        QVERIFY(waitUntil([&] { return stateOf(in.db(), topic, now) == MsgStateConfirmed; }));
        QCOMPARE(m_server.publishedIds(since, topic), queued + QStringList{now});

        // A room of others: the broker drops the chat, no echo comes.
        in->outbox()->setConfirmWaitMs(300);
        QSignalSpy failed(in->outbox(), &MtOutbox::failed);
        const QString lost = storeOwnChat(in, foreign, true);
        QVERIFY(failed.wait(10000));
        QCOMPARE((QVector<int>{stateOf(in.db(), foreign, lost), in->outbox()->holds(lost)}),
                 (QVector<int>{2, 0}));
    }

    // New keys at unlock start a new messaging session on the same file; unread counts go on.
    // A login on a computer that keeps unread chats shows their count from the room list's
    // first paint on.
    void keysRotatedAtUnlockThenUnreadFromTheFirstPaint()
    {
        const DevRoom room = m_server.rooms(1006, true).value(0);
        int unread = 0;
        {
            LoggedIn in(m_server, "user006", kPassword, kDevice);
            QVERIFY(in.ok);
            SessionRecorder r(in.session.get());
            unread = unreadCounts().get(room.topic);
            QVERIFY(
                m_server.chats(room.roomId, room.otherThan(1006), QStringLiteral("old keys"), 2));
            QVERIFY(waitUntil([&] { return unreadCounts().get(room.topic) == unread + 2; }));
            const QString before = in->mtData()->clientId();
            QVERIFY(m_server.rotateKeys(1006) > 0);
            QVERIFY(in->lock());
            QVERIFY(in->unlock(kPassword));
            QVERIFY(r.waitFor("messagingConnected"));
            const QString after = in->mtData()->clientId();
            QVERIFY(waitUntil(
                [&] { return brokerConnected(1006, after) && !brokerConnected(1006, before); }));
            QCOMPARE(DBMTData(in.db()).clientId(), after);
            QVERIFY(!m_server.chat(room.roomId, room.otherThan(1006), QStringLiteral("new keys"))
                         .isEmpty());
            QVERIFY(waitUntil([&] { return unreadCounts().get(room.topic) == unread + 3; }));
        }
        unreadCounts().clear(); // as in a new start of the program
        int shown = -1;
        connect(&m_run->s, &MtSession::roomsReady, this,
                [&] { shown = unreadCounts().get(room.topic); });
        QVERIFY(m_run->login("user006"));
        QCOMPARE(shown, unread + 3);
    }
};

QTEST_MAIN(TestMtSession)
#include "tst_mtsession.moc"
