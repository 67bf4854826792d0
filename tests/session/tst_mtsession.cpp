// One login's session against the reference server over TLS and its broker.
#include "common/devserver.h"
#include "common/loggedin.h"
#include "common/testenv.h"
#include "sessionrecorder.h"

#include "net/netservermanager.h"
#include "net/serverconfig.h"
#include "session/localsettings.h"
#include "session/sessionrequest.h"
#include "store/dbchat.h"
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbmtdata.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/mtdata.h"
#include "store/unreadcounts.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kPassword = QStringLiteral("Passw0rd!"); // LoggedIn::kPassword, needed before main
const QString kDevice = QStringLiteral("dev-pc");

int userId(const QString& account)
{
    return 1000 + account.mid(4).toInt();
}

QString topicOf(const QJsonValue& room)
{
    return QStringLiteral("chat/%1").arg(room["chattRoomId"].toInt());
}

int roomNumber(const QString& topic)
{
    return topic.section('/', 1).toInt();
}

// The db file and its journal files that exist.
QStringList storeFiles(const QString& account)
{
    const QString db = DBManager::databaseFilePath(account);
    QStringList found;
    for (const QString& f : QStringList{db, db + "-wal", db + "-shm"})
        found += QFileInfo::exists(f) ? QStringList{QFileInfo(f).fileName()} : QStringList{};
    return found;
}

QStringList storedTopics(MtSession& s)
{
    QList<DBChatRoom> rooms;
    QStringList topics;
    if (s.db())
        s.db()->chatRoomList(rooms);
    for (const DBChatRoom& room : rooms)
        topics << room.topic();
    topics.sort();
    return topics;
}

// What the session keeps in the user's settings.
struct SettingsView
{
    QString autologinAccount;
    QString deviceId;
    int alarmType = LocalSettings::AlarmSoundAndWindow;
    MT_TYPED(SettingsView, autologinAccount, deviceId, alarmType)
};
SettingsView view(const LocalSettings& s)
{
    return {s.autologinAccount(), s.deviceId(), s.alarmType()};
}

struct UserView
{
    QString name;
    bool chattAllow = false;
    bool appInstall = false;
    MT_TYPED(UserView, name, chattAllow, appInstall)
};

// A login's first signal, files, settings, REST paths asked and whether its rooms are stored.
struct Outcome
{
    SessionEvent first;
    QStringList files;
    SettingsView settings;
    QStringList paths;
    bool roomsStored = false;
    MT_TYPED(Outcome, first, files, settings, paths, roomsStored)
};

// What a login asked for: room-list answers it stored, rooms asked for one by one.
struct RoomAsks
{
    int lists = 0;
    QStringList rooms;
    MT_TYPED(RoomAsks, lists, rooms)
};

QStringList topicsOf(const QVector<DevBulkRoom>& rooms)
{
    QStringList topics;
    for (const DevBulkRoom& room : rooms)
        topics << room.topic;
    return topics;
}

// The newest chat of each bulk room, as the reference server words it.
QMap<QString, QString> newestOf(const QVector<DevBulkRoom>& rooms, int chats)
{
    QMap<QString, QString> newest;
    for (int r = 0; r < rooms.size(); ++r)
        newest.insert(rooms.at(r).topic, QStringLiteral("Bulk chat %1 in room %2")
                                             .arg(chats - rooms.size() + r + 1)
                                             .arg(rooms.at(r).roomId));
    return newest;
}

// A session on the test's settings file, recorded from before its login.
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
} // namespace
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
        for (DevRoom room : m_server.rooms(userId(account), true)) {
            std::sort(room.memberIds.begin(), room.memberIds.end());
            if (room.memberIds == members)
                return room.topic;
        }
        return QString();
    }
    QStringList serverTopics(const QString& account)
    {
        QStringList topics;
        for (const DevRoom& room : m_server.rooms(userId(account)))
            topics << room.topic;
        topics.sort();
        return topics;
    }
    void chat(const QString& topic, int from, const QString& text)
    {
        m_server.chat(roomNumber(topic), from, text);
    }
    QJsonValue room(int from, const QJsonArray& members, bool notify = true)
    {
        return m_server.control(
            "POST", "/control/room",
            QJsonObject{
                {"userId", from}, {"members", members}, {"roomType", 30}, {"notify", notify}});
    }
    QJsonValue group(const QString& name)
    {
        return m_server.control(
            "POST", "/control/group",
            QJsonObject{{"grpName", name}, {"members", QJsonArray{1001, 1002}}});
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
        m_server.control("POST", "/control/version", QJsonObject{{"minVersion", QJsonValue()}});
        m_server.clearFault();
    }

    // One row per kind of outcome; a refusal leaves neither files nor settings behind.
    void login_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QJsonValue>("minVersion");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<Outcome>("outcome");
        const auto auth = [](int status, QJsonObject rule) {
            rule.insert("mode", "error");
            rule.insert("status", status);
            rule.insert("path", "/rest/auth");
            rule.insert("count", 1);
            return rule;
        };
        const QStringList asked{"/rest/auth"};
        const auto failed = [&](const SessionEvent& e) { return Outcome{e, {}, {}, asked, false}; };
        QTest::newRow("right password")
            << "user004" << kPassword << QJsonValue() << QJsonObject()
            << Outcome{{"loginSucceeded"},
                       {"veltri_user004.db", "veltri_user004.db-wal", "veltri_user004.db-shm"},
                       {"user004", kDevice},
                       {"/rest/auth", "/rest/cache/1004", "/rest/chatt/room"},
                       true};
        QTest::newRow("refused password")
            << "user005"
            << "Passw0rd?" << QJsonValue() << QJsonObject() << failed({"loginFailed", {}, 40101});
        QTest::newRow("version refused with a link")
            << "user006" << kPassword << QJsonValue(1047) << QJsonObject()
            << failed({"versionRefused", {}, 0, "link"});
        QTest::newRow("version refused without a link")
            << "user007" << kPassword << QJsonValue() << auth(426, {{"code", 40106}})
            << failed({"versionRefused", {}, 0, "no link"});
        QTest::newRow("unreadable answer")
            << "user010" << kPassword << QJsonValue() << auth(200, {{"body", "empty"}})
            << failed({"loginFailed", {}, NetServerManager::kErrorUnreadable});
        QTest::newRow("network failure")
            << "user011" << kPassword << QJsonValue() << auth(503, {{"body", "empty"}})
            << failed({"loginFailed", {}, NetServerManager::kErrorNetwork});
    }
    void login()
    {
        QFETCH(QString, account);
        QFETCH(QString, password);
        QFETCH(QJsonValue, minVersion);
        QFETCH(QJsonObject, fault);
        QFETCH(Outcome, outcome);
        m_server.control("POST", "/control/version", QJsonObject{{"minVersion", minVersion}});
        m_server.setFault(fault.isEmpty() ? QJsonObject{{"mode", "off"}} : fault);
        const qint64 since = m_server.lastRequestSeq();
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        s.login(account, password, true, kDevice);
        // The sentinel: the room list stored, or the login ended without one.
        QVERIFY(waitUntil([&] {
            return !r.of("roomsReady").isEmpty() || !r.of("loginFailed").isEmpty() ||
                   !r.of("versionRefused").isEmpty();
        }));
        QStringList paths;
        for (const QJsonValue& v : m_server.requests("/rest", since))
            paths << v["path"].toString().section('/', 0, 3);
        QCOMPARE((Outcome{r.events.first(), storeFiles(account), view(*m_settings), paths,
                          storedTopics(s) == serverTopics(account)}),
                 outcome);
        QCOMPARE(s.state().isLoggedIn(), outcome.roomsStored);
    }

    // Another PC holds the session: asked, taken over, the other session ended.
    void takeOver()
    {
        const int id = userId("user002");
        m_server.control(
            "POST", "/control/session",
            QJsonObject{{"userId", id}, {"deviceModel", "PC"}, {"deviceId", "other-pc"}});
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        s.login("user002", kPassword, false, kDevice);
        QVERIFY(r.waitFor("loginTakenOver"));
        QCOMPARE(s.state().isLoggedIn(), false);
        QVERIFY(s.forceLogin());
        QVERIFY(r.waitFor("roomsReady"));
        QCOMPARE(r.of("roomsReady"), (QList<SessionEvent>{{"roomsReady", {}, 1}}));
        QMap<QString, bool> ended; // by device
        for (const QJsonValue& v : m_server.sessions(id))
            ended.insert(v["deviceId"].toString(), v["ended"].isObject());
        QCOMPARE(ended, (QMap<QString, bool>{{kDevice, false}, {"other-pc", true}}));
    }

    // Items reach their receivers, room events go where routed, group notices change the store.
    void routing()
    {
        LoggedIn in(m_server, "user001");
        QVERIFY(in.ok);
        SessionRecorder r(in.session.get());
        const QString open = roomOf("user001", {1001, 1002});
        const QString closed = roomOf("user001", {1001, 1003});
        in.windows.open << open;

        chat(open, 1002, "to the open room");
        QVERIFY(r.waitFor("chatForWindow", open));
        QCOMPARE(r.of("chatForWindow").first(),
                 (SessionEvent{"chatForWindow", open, 0, "to the open room"}));
        chat(closed, 1003, "to a closed room");
        QVERIFY(r.waitFor("notify", closed));
        QVERIFY(r.waitFor("roomListChat", closed));
        QCOMPARE(r.of("chatForWindow").size(), 1);

        // A room the store does not know: fetched once however many chats come.
        const QString unknown = topicOf(room(1004, QJsonArray{1001, 1005}, false));
        for (const char* text : {"one", "two", "three"})
            chat(unknown, 1004, text);
        QVERIFY(r.waitFor("roomAdded", unknown));
        QVERIFY(r.waitFor("roomListChat", unknown));
        QCOMPARE(r.of("roomRequested"), (QList<SessionEvent>{{"roomRequested", unknown}}));

        // A reader of the open room reads the user's own chat (sent from another session).
        chat(open, 1001, "mine");
        QVERIFY(r.waitFor("chatForWindow", 2));
        QCOMPARE(r.of("chatForWindow").last(), (SessionEvent{"chatForWindow", open, 1, "mine"}));
        m_server.control("POST", "/control/read",
                         QJsonObject{{"roomId", roomNumber(open)},
                                     {"userId", 1002},
                                     {"type", "enter"},
                                     {"readTime", QDateTime::currentMSecsSinceEpoch() - 600000}});
        QVERIFY(r.waitFor("readCounts", open));

        // A room with its window open: members come and go, then the user leaves elsewhere.
        const QJsonValue made = room(1007, QJsonArray{1001, 1008});
        const QString topic = topicOf(made);
        QVERIFY(r.waitFor("roomChanged", topic));
        in.windows.open << topic;
        const QJsonObject at{{"roomId", made["chattRoomId"]}, {"notify", true}};
        QJsonObject invite = at, partnerLeaves = at, userLeaves = at;
        invite.insert("userId", 1007);
        invite.insert("members", QJsonArray{1009});
        partnerLeaves.insert("userId", 1008);
        userLeaves.insert("userId", 1001);
        m_server.control("POST", "/control/room/invite", invite);
        QVERIFY(r.waitFor("roomChanged", topic, 2));
        m_server.control("POST", "/control/room/leave", partnerLeaves);
        QVERIFY(r.waitFor("roomChanged", topic, 3));
        m_server.control("POST", "/control/room/leave", userLeaves);
        QVERIFY(r.waitFor("roomChanged", topic, 4));
        using A = RoomRouting::Action;
        const A withNotice =
            routed({&A::listUpsert, &A::windowRoom, &A::windowNotice, &A::listLastMessage});
        const A left = routed({&A::listUpsert, &A::windowRoom, &A::windowNotice,
                               &A::listLastMessage, &A::dropPresence});
        const A gone = routed({&A::listRemove, &A::closeWindow, &A::dropPresence});
        QCOMPARE(r.of("roomChanged", topic),
                 (QList<SessionEvent>{{"roomChanged", topic, 30, withNotice.toString()},
                                      {"roomChanged", topic, 30, withNotice.toString()},
                                      {"roomChanged", topic, 30, left.toString()},
                                      {"roomChanged", topic, 30, gone.toString()}}));

        // Groups: one removed, a new member announced in another, then the user taken out.
        const QJsonValue removed = group("Removed");
        const QString removedTopic = topicOf(removed);
        QVERIFY(r.waitFor("roomChanged", removedTopic));
        QVERIFY(in.db()->chatRoomExists(removedTopic));
        m_server.control("POST", "/control/group/remove", QJsonObject{{"grpId", removed["grpId"]}});
        QVERIFY(r.waitFor("roomRemoved", removedTopic));
        QCOMPARE(in.db()->chatRoomExists(removedTopic), false);
        const QJsonValue pushes = group("Pushes");
        const QString pushesTopic = topicOf(pushes);
        QVERIFY(r.waitFor("roomChanged", pushesTopic));
        const QJsonValue person = m_server.control("POST", "/control/user",
                                                   QJsonObject{{"userName", "Push Person"},
                                                               {"chattingAllowYn", "1"},
                                                               {"appInstallYn", "1"}});
        m_server.control("POST", "/control/group/member",
                         QJsonObject{{"grpId", pushes["grpId"]}, {"userId", person["userId"]}});
        m_server.control("POST", "/control/group/member/remove",
                         QJsonObject{{"grpId", pushes["grpId"]}, {"userId", 1001}});
        QVERIFY(r.waitFor("roomRemoved", pushesTopic));
        DBUser stored;
        QVERIFY(in.db()->findUser(person["userId"].toInt(), stored));
        QCOMPARE((UserView{stored.userName(), stored.chattAllow(), stored.appInstall()}),
                 (UserView{"Push Person", true, true}));
        DBGroup groupGone;
        QCOMPARE(in.db()->findGroup(pushes["grpId"].toInt(), groupGone), false);
        QCOMPARE(in.db()->chatRoomExists(pushesTopic), false);

        // A logout notice is only reported: the session goes on.
        m_server.control("POST", "/control/logout", QJsonObject{{"userId", 1001}});
        QVERIFY(r.waitFor("remoteLogout"));
        QCOMPARE(in->state().isLoggedIn(), true);

        // A room read in its window stays at 0 when the echo of its own READ_ENTER comes back.
        const int unreadBefore = r.of("unread", closed).size();
        in.windows.open.insert(closed);
        in.windows.active = closed;
        in->chatWindowActivated(closed);
        in->messaging()->sendReadEnter(closed, QDateTime::currentMSecsSinceEpoch());
        QVERIFY(r.waitFor("unread", closed, unreadBefore + 2));
        QCOMPARE(r.of("unread", closed).mid(unreadBefore),
                 (QList<SessionEvent>{{"unread", closed, 0}, {"unread", closed, 0}}));
    }

    // A backlog reaches the list newest last in few refreshes; only rooms it lacked are asked.
    void roomsAskedFor_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<int>("roomsBefore");
        QTest::addColumn<int>("chatsBefore");
        QTest::addColumn<int>("roomsAfter");
        QTest::newRow("a long backlog in rooms the list brings") << "user012" << 40 << 8000 << 0;
        QTest::newRow("one chat per waiting room") << "user013" << 12 << 12 << 0;
        QTest::newRow("a room made after the list") << "user014" << 5 << 50 << 1;
        QTest::newRow("rooms made after the list") << "user015" << 0 << 0 << 3;
    }
    void roomsAskedFor()
    {
        QFETCH(QString, account);
        QFETCH(int, roomsBefore);
        QFETCH(int, chatsBefore);
        QFETCH(int, roomsAfter);
        const QVector<DevBulkRoom> before = roomsBefore > 0
                                                ? m_server.bulk(account, roomsBefore, chatsBefore)
                                                : QVector<DevBulkRoom>();
        QCOMPARE(before.size(), roomsBefore);
        SessionRecorder& r = m_run->r;
        QVERIFY(m_run->login(account));
        const QMap<QString, QString> expected = newestOf(before, chatsBefore);
        const auto newest = [&] {
            QMap<QString, QString> seen;
            for (const SessionEvent& e : r.of("roomListChat"))
                seen.insert(e.topic, e.text);
            return seen;
        };
        QVERIFY(waitUntil([&] { return newest() == expected; }, 60000));
        QVERIFY2(r.of("roomListChat").size() <= chatsBefore / 4 + roomsBefore,
                 qPrintable(QString::number(r.of("roomListChat").size())));

        const QVector<DevBulkRoom> after = roomsAfter > 0
                                               ? m_server.bulk(account, roomsAfter, roomsAfter)
                                               : QVector<DevBulkRoom>();
        QCOMPARE(after.size(), roomsAfter);
        for (const DevBulkRoom& room : after)
            QVERIFY(r.waitFor("roomAdded", room.topic));
        QStringList asked;
        for (const SessionEvent& e : r.of("roomRequested"))
            asked << e.topic;
        asked.sort();
        QStringList expectedAsks = topicsOf(after);
        expectedAsks.sort();
        QCOMPARE((RoomAsks{r.of("roomsReady").size(), asked}), (RoomAsks{1, expectedAsks}));
    }

    // A room list refused before the rooms showed ends the attempt, and the next attempt is taken.
    void refusedRoomList()
    {
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        const QJsonObject refusal{
            {"mode", "error"}, {"status", 500}, {"path", "/rest/chatt/room"}, {"count", 1}};
        m_server.setFault(refusal);
        QVERIFY(s.login("user016", kPassword, true, kDevice));
        QVERIFY(r.waitFor("loginFailed"));
        QCOMPARE(r.of("loginFailed"), (QList<SessionEvent>{{"loginFailed", {}, 50000}}));
        QCOMPARE(s.state().snapshot(), SessionState::Snapshot());
        QVERIFY(m_run->login("user016", true));

        QVERIFY(s.lock());
        m_server.setFault(refusal);
        QVERIFY(s.unlock(kPassword));
        QVERIFY(r.waitFor("unlockFailed"));
        QCOMPARE(r.of("unlockFailed"), (QList<SessionEvent>{{"unlockFailed", {}, 50000}}));
        QCOMPARE(s.state().snapshot(), (SessionState::Snapshot{3, true, true}));
        QVERIFY(s.unlock(kPassword));
        QVERIFY(r.waitFor("roomsReady", 2));
        QCOMPARE(s.state().snapshot(), (SessionState::Snapshot{6, true, false}));
    }

    // Another own session inside a room keeps it quiet till it leaves; locked, a flash only.
    void presence()
    {
        LoggedIn in(m_server, "user001");
        QVERIFY(in.ok);
        SessionRecorder r(in.session.get());
        const QString quiet = roomOf("user001", {1001, 1004});
        const QString loud = roomOf("user001", {1001, 1005});
        const QJsonValue phone = m_server.control(
            "POST", "/control/session", QJsonObject{{"userId", 1001}, {"deviceModel", "MOBILE"}});
        QJsonObject step{{"roomId", roomNumber(quiet)},
                         {"userId", 1001},
                         {"type", "enter"},
                         {"clientId", phone["clientId"]}};
        m_server.control("POST", "/control/read", step);
        QVERIFY(waitUntil([&] { return in->presence().isInRoom(quiet); }));

        chat(quiet, 1004, "read on the phone");
        chat(loud, 1005, "sentinel");
        QVERIFY(r.waitFor("notify", loud));
        QVERIFY(r.waitFor("roomListChat", quiet));
        QCOMPARE(r.of("notify"),
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

        // Behind the lock nothing of the conversation shows: the flash only.
        QVERIFY(in->lock());
        chat(loud, 1005, "while locked");
        QVERIFY(r.waitFor("notify", loud, 2));
        QCOMPARE(r.of("notify", loud).last(),
                 (SessionEvent{"notify", loud, 0, "flash=1 toast=0 sound=0 while locked"}));
    }

    // Failures of the keep-alive are reported; the session goes on.
    void pingFailure_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<SessionEvent>("reported");
        const QString ping = QString::number(SessionRequest::Ping);
        QTest::newRow("server fault")
            << QJsonObject{{"mode", "error"}, {"status", 500}, {"code", 50000}}
            << SessionEvent{"requestFailed", {}, 50000, ping};
        QTest::newRow("no usable answer")
            << QJsonObject{{"mode", "error"}, {"status", 503}, {"body", "empty"}}
            << SessionEvent{"requestFailed", {}, NetServerManager::kErrorNetwork, ping};
    }
    void pingFailure()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(SessionEvent, reported);
        LoggedIn in(m_server, "user001");
        QVERIFY(in.ok);
        SessionRecorder r(in.session.get());
        fault.insert("path", "/rest/auth/ping");
        fault.insert("count", 1);
        m_server.setFault(fault);
        in->ping();
        QVERIFY(r.waitFor("requestFailed"));
        QCOMPARE(r.of("requestFailed"), QList<SessionEvent>{reported});
        QCOMPARE(in->state().snapshot(), (SessionState::Snapshot{6, true, false}));
    }

    // Answers in flight at log off are dropped; log off keeps only the device id.
    void logOff()
    {
        m_server.setFault(QJsonObject{{"mode", "hang"}, {"path", "/rest/chatt/room/1017"}});
        const qint64 since = m_server.lastRequestSeq();
        m_run->s.login("user017", kPassword, false, kDevice);
        QVERIFY(waitUntil([&] { return !m_server.requests("/rest/chatt/room", since).isEmpty(); }));
        m_run->s.logOff();
        // The hung request is answered (503) now.
        m_server.clearFault();
        // The sentinel: the next login's own rooms answer.
        QVERIFY(m_run->login("user017", true));
        QCOMPARE(m_run->r.of("roomsReady"), (QList<SessionEvent>{{"roomsReady", {}, 1}}));
        QCOMPARE(m_run->r.of("requestFailed"), QList<SessionEvent>());
        QCOMPARE(m_run->r.of("loggedOff").size(), 1);

        m_run->s.logOff();
        const DBMTData stored(m_run->s.db());
        QCOMPARE((QStringList{stored.accessKey(), stored.myAccount()}), (QStringList{"", ""}));
        QCOMPARE(view(*m_settings), (SettingsView{QString(), kDevice}));
        m_run.reset();
        MtSession restarted(m_config);
        QCOMPARE(restarted.restore("user017"), false);
    }

    // The server ends the session: the account's files and settings are gone.
    void accountRemoval()
    {
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        QVERIFY(m_run->login("user008", true));
        m_settings->setAlarmType(LocalSettings::AlarmSound);
        QCOMPARE(view(*m_settings), (SettingsView{"user008", kDevice, LocalSettings::AlarmSound}));
        m_server.control("POST", "/control/session/end",
                         QJsonObject{{"userId", 1008}, {"code", 40104}});
        s.ping();
        QVERIFY(r.waitFor("sessionEnded"));
        QCOMPARE(r.of("accountRemoved"), (QList<SessionEvent>{{"accountRemoved", {}, 1}}));
        QCOMPARE(r.of("sessionEnded"), (QList<SessionEvent>{{"sessionEnded", {}, 40104}}));
        QCOMPARE(storeFiles("user008"), QStringList());
        QCOMPARE(view(*m_settings), SettingsView());
        QCOMPARE(s.state().isLoggedIn(), false);
    }

    // A stored session opens locked; a version refusal or a wrong password keeps it locked.
    void restoreAndUnlock()
    {
        QVERIFY(m_run->login("user009", true));
        m_run = std::make_unique<Running>(m_config, m_settings.get());
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        QVERIFY(s.restore("user009"));
        const SessionState::Snapshot locked{3, true, true};
        QCOMPARE(s.state().snapshot(), locked);
        m_server.setFault(QJsonObject{{"mode", "error"},
                                      {"status", 426},
                                      {"code", 40106},
                                      {"path", "/rest/auth"},
                                      {"count", 1}});
        QVERIFY(s.unlock("wrong"));
        QVERIFY(r.waitFor("versionRefused"));
        QCOMPARE(r.of("roomsReady"), QList<SessionEvent>());
        QCOMPARE(s.state().snapshot(), locked);
        QVERIFY(s.unlock("wrong"));
        QVERIFY(r.waitFor("unlockFailed"));
        QCOMPARE(r.of("unlockFailed"), (QList<SessionEvent>{{"unlockFailed", {}, 40101}}));
        QCOMPARE(s.state().snapshot(), locked);
        QVERIFY(s.unlock(kPassword));
        QVERIFY(r.waitFor("roomsReady"));
        QCOMPARE(r.of("roomsReady"), (QList<SessionEvent>{{"roomsReady", {}, 1}}));
        QCOMPARE(s.state().snapshot(), (SessionState::Snapshot{6, true, false}));
    }

    // Chats left sending go out once, oldest first, at the next connect; an unconfirmed one fails.
    void outbox()
    {
        const QString topic = roomOf("user001", {1001, 1003});
        const QString foreign = roomOf("user002", {1002, 1003});
        QVERIFY(!topic.isEmpty() && !foreign.isEmpty());
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

    // New keys in an unlock answer replace the messaging session, which connects with them.
    // New keys start a new messaging session on the same file; the rooms' unread counts carry
    // over and go on counting.
    void keysRotatedAtUnlock()
    {
        LoggedIn in(m_server, "user006");
        QVERIFY(in.ok);
        SessionRecorder r(in.session.get());
        const DevRoom room = m_server.rooms(1006, true).value(0);
        const int unread = unreadCounts().get(room.topic);
        QVERIFY(m_server.chats(room.roomId, room.otherThan(1006), QStringLiteral("old keys"), 2));
        QVERIFY(waitUntil([&] { return unreadCounts().get(room.topic) == unread + 2; }));
        const QString before = in->mtData()->clientId();
        QVERIFY(m_server.rotateKeys(1006) > 0);
        QVERIFY(in->lock());
        QVERIFY(in->unlock(kPassword));
        QVERIFY(r.waitFor("messagingConnected"));
        const QString after = in->mtData()->clientId();
        QVERIFY(after != before);
        QVERIFY(waitUntil(
            [&] { return brokerConnected(1006, after) && !brokerConnected(1006, before); }));
        QCOMPARE(DBMTData(in.db()).clientId(), after);
        QVERIFY(!m_server.chat(room.roomId, room.otherThan(1006), QStringLiteral("new keys"))
                     .isEmpty());
        QVERIFY(waitUntil([&] { return unreadCounts().get(room.topic) == unread + 3; }));
    }
};

QTEST_MAIN(TestMtSession)
#include "tst_mtsession.moc"
