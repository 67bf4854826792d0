#include "common/devserver.h"
#include "common/testenv.h"
#include "sessionrecorder.h"

#include "net/netservermanager.h"
#include "session/localsettings.h"
#include "session/mtsession.h"
#include "session/sessionrequest.h"
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbmtdata.h"
#include "store/dbuser.h"
#include "store/mtdata.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kPassword = QStringLiteral("Passw0rd!");
const QString kDevice = QStringLiteral("dev-pc");

int userId(const QString& account)
{
    return 1000 + account.mid(4).toInt();
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

// A directory user as the store has it.
struct UserView
{
    QString name;
    bool chattAllow = false;
    bool appInstall = false;
    bool operator==(const UserView& o) const
    {
        return name == o.name && chattAllow == o.chattAllow && appInstall == o.appInstall;
    }
};

// What the session keeps in the user's settings.
struct SettingsView
{
    QString autologinAccount;
    QString deviceId;
    int alarmType = LocalSettings::AlarmSoundAndWindow;
    bool operator==(const SettingsView& o) const
    {
        return autologinAccount == o.autologinAccount && deviceId == o.deviceId &&
               alarmType == o.alarmType;
    }
};
SettingsView view(const LocalSettings& s)
{
    return {s.autologinAccount(), s.deviceId(), s.alarmType()};
}

// A session on the test's settings file, with the chat windows it asks about and a recorder of
// its signals.
struct Running
{
    Running(const ServerConfig& config, LocalSettings* settings) : s(config), r(&s)
    {
        s.setSettings(settings);
        s.setChatWindows(&windows);
    }
    OpenWindows windows;
    MtSession s;
    SessionRecorder r;
};
} // namespace
Q_DECLARE_METATYPE(SettingsView)
namespace QTest {
template <>
inline char* toString(const UserView& v)
{
    return qstrdup(qPrintable(QStringLiteral("name=%1 chattAllow=%2 appInstall=%3")
                                  .arg(v.name)
                                  .arg(v.chattAllow)
                                  .arg(v.appInstall)));
}
template <>
inline char* toString(const SettingsView& v)
{
    return qstrdup(qPrintable(QStringLiteral("autologin=%1 deviceId=%2 alarmType=%3")
                                  .arg(v.autologinAccount, v.deviceId)
                                  .arg(v.alarmType)));
}
} // namespace QTest

// The session of one login against the reference server over TLS and its broker.
class TestMtSession : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    ServerConfig m_config;
    QTemporaryDir m_settingsDir;
    std::unique_ptr<LocalSettings> m_settings;
    std::unique_ptr<Running> m_run; // a new one for each test

    // Topic of the room of `account` that has exactly the members given (user ids).
    QString roomOf(const QString& account, QList<int> members)
    {
        std::sort(members.begin(), members.end());
        const QJsonArray rooms =
            m_server.control("GET", "/control/rooms?userId=" + QString::number(userId(account)))
                .toArray();
        for (const QJsonValue& v : rooms) {
            QList<int> ids;
            for (const QJsonValue& id : v["memberIds"].toArray())
                ids << id.toInt();
            std::sort(ids.begin(), ids.end());
            if (ids == members && v["chattRoomType"].toString() != QLatin1String("10"))
                return v["topic"].toString();
        }
        return QString();
    }
    static int roomNumber(const QString& topic) { return topic.section('/', 1).toInt(); }
    void chat(const QString& topic, int from, const QString& text)
    {
        m_server.control(
            "POST", "/control/chat",
            QJsonObject{{"roomId", roomNumber(topic)}, {"userId", from}, {"text", text}});
    }
    // Logs in and waits until the room list is stored.
    bool loginAs(MtSession& s, SessionRecorder& r, const QString& account, bool autoLogin = false)
    {
        return s.login(account, kPassword, autoLogin, kDevice) && r.waitFor("roomsReady") &&
               r.waitFor("messagingConnected");
    }
    // Whether the broker has a connection of the session with the client id.
    bool brokerConnected(int user, const QString& clientId)
    {
        const QJsonArray sessions =
            m_server.control("GET", "/control/sessions?userId=" + QString::number(user)).toArray();
        return std::any_of(sessions.begin(), sessions.end(), [&](const QJsonValue& v) {
            return v["clientId"].toString() == clientId && v["connected"].toBool();
        });
    }
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!done() && !deadline.hasExpired())
            QTest::qWait(10);
        return done();
    }
    static bool loginEnded(const SessionRecorder& r)
    {
        return !r.of("loginSucceeded").isEmpty() || !r.of("loginFailed").isEmpty() ||
               !r.of("versionRefused").isEmpty() || !r.of("loginTakenOver").isEmpty();
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
        m_server.setFault(QJsonObject{{"mode", "off"}});
    }

    void login_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QJsonObject>("version");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<SessionEvent>("outcome");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<SettingsView>("settings");
        const QJsonObject none;
        const SettingsView untouched;
        QTest::newRow("right password")
            << "user004" << kPassword << none << none << SessionEvent{"loginSucceeded"}
            << QStringList{"veltri_user004.db", "veltri_user004.db-wal", "veltri_user004.db-shm"}
            << SettingsView{"user004", kDevice};
        QTest::newRow("wrong password")
            << "user005"
            << "Passw0rd?" << none << none << SessionEvent{"loginFailed", {}, 40101}
            << QStringList() << untouched;
        QTest::newRow("version refused with a link")
            << "user006" << kPassword << QJsonObject{{"minVersion", 1047}} << none
            << SessionEvent{"versionRefused", {}, 0, "link"} << QStringList() << untouched;
        QTest::newRow("version refused without a link")
            << "user007" << kPassword << none
            << QJsonObject{{"mode", "error"},
                           {"status", 426},
                           {"code", 40106},
                           {"path", "/rest/auth"},
                           {"count", 1}}
            << SessionEvent{"versionRefused", {}, 0, "no link"} << QStringList() << untouched;
        QTest::newRow("unreadable answer")
            << "user010" << kPassword << none
            << QJsonObject{{"mode", "error"},
                           {"status", 200},
                           {"body", "empty"},
                           {"path", "/rest/auth"},
                           {"count", 1}}
            << SessionEvent{"loginFailed", {}, NetServerManager::kErrorUnreadable} << QStringList()
            << untouched;
    }
    void login()
    {
        QFETCH(QString, account);
        QFETCH(QString, password);
        QFETCH(QJsonObject, version);
        QFETCH(QJsonObject, fault);
        QFETCH(SessionEvent, outcome);
        QFETCH(QStringList, files);
        QFETCH(SettingsView, settings);
        m_server.control("POST", "/control/version",
                         version.isEmpty() ? QJsonObject{{"minVersion", QJsonValue()}} : version);
        m_server.setFault(fault.isEmpty() ? QJsonObject{{"mode", "off"}} : fault);
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        s.login(account, password, true, kDevice);
        QVERIFY(waitUntil([&] { return loginEnded(r); }));
        QCOMPARE(r.events.first(), outcome);
        QCOMPARE(storeFiles(account), files);
        QCOMPARE(view(*m_settings), settings);
        QCOMPARE(s.state().isLoggedIn(), outcome.signal == QLatin1String("loginSucceeded"));
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
        const QJsonArray sessions =
            m_server.control("GET", "/control/sessions?userId=" + QString::number(id)).toArray();
        QMap<QString, bool> ended; // by device
        for (const QJsonValue& v : sessions)
            ended.insert(v["deviceId"].toString(), v["ended"].isObject());
        QCOMPARE(ended, (QMap<QString, bool>{{"dev-pc", false}, {"other-pc", true}}));
    }

    // After login the directory, then the rooms; the store holds the server's rooms.
    void cacheThenRooms()
    {
        const qint64 since = m_server.lastRequestSeq();
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        QVERIFY(loginAs(s, r, "user001"));
        QStringList paths;
        for (const QJsonValue& v : m_server.requests("/rest", since))
            paths << v["path"].toString().section('/', 0, 3);
        QCOMPARE(paths, (QStringList{"/rest/auth", "/rest/cache/1001", "/rest/chatt/room"}));
        QList<DBChatRoom> rooms;
        s.db()->chatRoomList(rooms);
        QSet<QString> topics;
        for (const DBChatRoom& room : rooms)
            topics << room.topic();
        QSet<QString> expected;
        for (const QJsonValue& v : m_server.control("GET", "/control/rooms?userId=1001").toArray())
            expected << v["topic"].toString();
        QCOMPARE(topics, expected);
    }

    // Every kind of item reaches its receiver.
    void routing()
    {
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        OpenWindows& windows = m_run->windows;
        QVERIFY(loginAs(s, r, "user001"));
        const QString open = roomOf("user001", {1001, 1002});
        const QString closed = roomOf("user001", {1001, 1003});
        QVERIFY(!open.isEmpty() && !closed.isEmpty());
        windows.open << open;

        chat(open, 1002, "to the open room");
        QVERIFY(r.waitFor("chatForWindow", open));
        QCOMPARE(r.of("chatForWindow").first(),
                 (SessionEvent{"chatForWindow", open, 0, "to the open room"}));

        chat(closed, 1003, "to a closed room");
        QVERIFY(r.waitFor("notify", closed));
        QCOMPARE(r.of("chatForWindow").size(), 1);
        QVERIFY(r.waitFor("roomListChat", closed));

        // A room the store does not know: fetched once however many chats come.
        const QJsonValue made = m_server.control("POST", "/control/room",
                                                 QJsonObject{{"userId", 1004},
                                                             {"members", QJsonArray{1001, 1005}},
                                                             {"roomType", 30},
                                                             {"notify", false}});
        const QString unknown = QStringLiteral("chat/%1").arg(made["chattRoomId"].toInt());
        for (const char* text : {"one", "two", "three"})
            chat(unknown, 1004, text);
        QVERIFY(r.waitFor("roomAdded", unknown));
        QVERIFY(r.waitFor("roomListChat", unknown));
        QCOMPARE(r.of("roomRequested"), (QList<SessionEvent>{{"roomRequested", unknown}}));

        // An invitation into a new one-to-many room.
        const QJsonValue invited = m_server.control("POST", "/control/room",
                                                    QJsonObject{{"userId", 1006},
                                                                {"members", QJsonArray{1001, 1007}},
                                                                {"roomType", 30},
                                                                {"notify", true}});
        const QString inviteTopic = QStringLiteral("chat/%1").arg(invited["chattRoomId"].toInt());
        QVERIFY(r.waitFor("roomChanged", inviteTopic));

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

        // A new group with the user in it, then the group removed.
        const QJsonValue group = m_server.control(
            "POST", "/control/group",
            QJsonObject{{"grpName", "Session test"}, {"members", QJsonArray{1001, 1002}}});
        const QString groupTopic = QStringLiteral("chat/%1").arg(group["chattRoomId"].toInt());
        QVERIFY(r.waitFor("roomChanged", groupTopic));
        DBChatRoom stored;
        QVERIFY(s.db()->findChatRoom(groupTopic, stored));
        m_server.control("POST", "/control/group/remove", QJsonObject{{"grpId", group["grpId"]}});
        QVERIFY(r.waitFor("roomRemoved", groupTopic));
        QCOMPARE(s.db()->chatRoomExists(groupTopic), false);

        // A logout notice is only reported: the session goes on.
        m_server.control("POST", "/control/logout", QJsonObject{{"userId", 1001}});
        QVERIFY(r.waitFor("remoteLogout"));
        QCOMPARE(s.state().isLoggedIn(), true);
    }

    // Room events reach the list and the window as the routing decides; the server's group
    // notices change the store.
    void roomEventsAndPushes()
    {
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        OpenWindows& windows = m_run->windows;
        QVERIFY(loginAs(s, r, "user001"));
        const QJsonValue made = m_server.control("POST", "/control/room",
                                                 QJsonObject{{"userId", 1007},
                                                             {"members", QJsonArray{1001, 1008}},
                                                             {"roomType", 30},
                                                             {"notify", true}});
        const int roomId = made["chattRoomId"].toInt();
        const QString topic = QStringLiteral("chat/%1").arg(roomId);
        QVERIFY(r.waitFor("roomChanged", topic));
        windows.open << topic;
        m_server.control("POST", "/control/room/invite",
                         QJsonObject{{"roomId", roomId},
                                     {"userId", 1007},
                                     {"members", QJsonArray{1009}},
                                     {"notify", true}});
        QVERIFY(r.waitFor("roomChanged", topic, 2));
        m_server.control("POST", "/control/room/leave",
                         QJsonObject{{"roomId", roomId}, {"userId", 1008}, {"notify", true}});
        QVERIFY(r.waitFor("roomChanged", topic, 3));
        // The user leaves on another session.
        m_server.control("POST", "/control/room/leave",
                         QJsonObject{{"roomId", roomId}, {"userId", 1001}, {"notify", true}});
        QVERIFY(r.waitFor("roomChanged", topic, 4));
        RoomRouting::Action added;
        added.listUpsert = added.windowRoom = true;
        RoomRouting::Action withNotice = added;
        withNotice.windowNotice = withNotice.listLastMessage = true;
        RoomRouting::Action leftWithNotice = withNotice;
        leftWithNotice.dropPresence = true;
        RoomRouting::Action gone;
        gone.listRemove = gone.closeWindow = gone.dropPresence = true;
        QCOMPARE(r.of("roomChanged", topic),
                 (QList<SessionEvent>{{"roomChanged", topic, 30, withNotice.toString()},
                                      {"roomChanged", topic, 30, withNotice.toString()},
                                      {"roomChanged", topic, 30, leftWithNotice.toString()},
                                      {"roomChanged", topic, 30, gone.toString()}}));

        // A new member announced in a group of the user, then the user taken out of it.
        const QJsonValue group = m_server.control(
            "POST", "/control/group",
            QJsonObject{{"grpName", "Pushes"}, {"members", QJsonArray{1001, 1002}}});
        const QString groupTopic = QStringLiteral("chat/%1").arg(group["chattRoomId"].toInt());
        QVERIFY(r.waitFor("roomChanged", groupTopic));
        const QJsonValue person = m_server.control("POST", "/control/user",
                                                   QJsonObject{{"userName", "Push Person"},
                                                               {"chattingAllowYn", "1"},
                                                               {"appInstallYn", "1"}});
        m_server.control("POST", "/control/group/member",
                         QJsonObject{{"grpId", group["grpId"]}, {"userId", person["userId"]}});
        m_server.control("POST", "/control/group/member/remove",
                         QJsonObject{{"grpId", group["grpId"]}, {"userId", 1001}});
        QVERIFY(r.waitFor("roomRemoved", groupTopic));
        DBUser stored;
        QVERIFY(s.db()->findUser(person["userId"].toInt(), stored));
        QCOMPARE((UserView{stored.userName(), stored.chattAllow(), stored.appInstall()}),
                 (UserView{"Push Person", true, true}));
        DBGroup removed;
        QCOMPARE(s.db()->findGroup(group["grpId"].toInt(), removed), false);
        QCOMPARE(s.db()->chatRoomExists(groupTopic), false);
    }

    // A backlog waiting at the broker reaches the room list whole, the newest chat of each room
    // last, in far fewer refreshes than chats.
    void backlogDrain()
    {
        const int rooms = 40;
        const int chats = 8000;
        const QJsonArray made = m_server
                                    .control("POST", "/control/bulk",
                                             QJsonObject{{"account", "user012"},
                                                         {"rooms", rooms},
                                                         {"chats", chats},
                                                         {"contentTypes", QJsonArray{1}}})["rooms"]
                                    .toArray();
        QCOMPARE(made.size(), rooms);
        QMap<QString, QString> expected;
        for (int r = 0; r < rooms; ++r)
            expected.insert(made.at(r)["topic"].toString(),
                            QStringLiteral("Bulk chat %1 in room %2")
                                .arg(chats - rooms + r + 1)
                                .arg(made.at(r)["roomId"].toInt()));
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        QVERIFY(loginAs(s, r, "user012"));
        const auto newest = [&] {
            QMap<QString, QString> seen;
            for (const SessionEvent& e : r.of("roomListChat"))
                seen.insert(e.topic, e.text);
            return seen;
        };
        QVERIFY(waitUntil([&] { return newest() == expected; }, 60000));
        QVERIFY2(r.of("roomListChat").size() < chats / 4,
                 qPrintable(QString::number(r.of("roomListChat").size())));
    }

    // Another session of the user inside a room keeps that room quiet until it leaves.
    void presence()
    {
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        QVERIFY(loginAs(s, r, "user001"));
        const QString quiet = roomOf("user001", {1001, 1004});
        const QString loud = roomOf("user001", {1001, 1005});
        const QJsonValue phone = m_server.control(
            "POST", "/control/session", QJsonObject{{"userId", 1001}, {"deviceModel", "MOBILE"}});
        const QJsonObject enter{{"roomId", roomNumber(quiet)},
                                {"userId", 1001},
                                {"type", "enter"},
                                {"clientId", phone["clientId"]}};
        m_server.control("POST", "/control/read", enter);
        QVERIFY(waitUntil([&] { return s.presence().isInRoom(quiet); }));

        chat(quiet, 1004, "read on the phone");
        chat(loud, 1005, "sentinel");
        QVERIFY(r.waitFor("notify", loud));
        QVERIFY(r.waitFor("roomListChat", quiet));
        QCOMPARE(r.of("notify"),
                 (QList<SessionEvent>{{"notify", loud, 0, "flash=1 toast=1 sound=1 sentinel"}}));

        QJsonObject leave = enter;
        leave["type"] = "leave";
        m_server.control("POST", "/control/read", leave);
        QVERIFY(waitUntil([&] { return !s.presence().isInRoom(quiet); }));
        chat(quiet, 1004, "phone gone");
        QVERIFY(r.waitFor("notify", quiet));

        // "Here" from the phone says it is inside again; its entering read the room.
        QJsonObject here = enter;
        here["type"] = "here";
        m_server.control("POST", "/control/read", here);
        QVERIFY(waitUntil([&] { return s.presence().isInRoom(quiet); }));
        QCOMPARE(r.of("unread", quiet), (QList<SessionEvent>{{"unread", quiet, 0}}));
    }

    // Failures of the keep-alive are reported; the session goes on.
    void pingFailure_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<SessionEvent>("reported");
        QTest::newRow("server fault") << QJsonObject{{"mode", "error"},
                                                     {"status", 500},
                                                     {"code", 50000},
                                                     {"path", "/rest/auth/ping"},
                                                     {"count", 1}}
                                      << SessionEvent{"requestFailed", {}, 50000, "9"};
        QTest::newRow("no usable answer") << QJsonObject{{"mode", "error"},
                                                         {"status", 503},
                                                         {"body", "empty"},
                                                         {"path", "/rest/auth/ping"},
                                                         {"count", 1}}
                                          << SessionEvent{"requestFailed", {}, 10001, "9"};
    }
    void pingFailure()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(SessionEvent, reported);
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        QVERIFY(loginAs(s, r, "user001"));
        m_server.setFault(fault);
        s.ping();
        QVERIFY(r.waitFor("requestFailed"));
        QCOMPARE(r.of("requestFailed"), QList<SessionEvent>{reported});
        QCOMPARE(s.state().snapshot(), (SessionState::Snapshot{6, true, false}));
    }

    // Answers of requests in flight at log off are dropped; nothing reaches the window.
    void logOffDuringRequests()
    {
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        m_server.setFault(QJsonObject{{"mode", "hang"}, {"path", "/rest/chatt/room/1001"}});
        const qint64 since = m_server.lastRequestSeq();
        s.login("user001", kPassword, false, kDevice);
        QVERIFY(waitUntil([&] { return !m_server.requests("/rest/chatt/room", since).isEmpty(); }));
        s.logOff();
        // The hung request is answered (503) now.
        m_server.setFault(QJsonObject{{"mode", "off"}});
        // The sentinel: the next login's own rooms answer.
        QVERIFY(loginAs(s, r, "user001"));
        QCOMPARE(r.of("roomsReady"), (QList<SessionEvent>{{"roomsReady", {}, 1}}));
        QCOMPARE(r.of("requestFailed"), QList<SessionEvent>());
        QCOMPARE(r.of("loggedOff").size(), 1);
    }

    // Log off keeps only the device id; the next start finds no stored session.
    void logOffClearsAccount()
    {
        QVERIFY(loginAs(m_run->s, m_run->r, "user003", true));
        m_run->s.logOff();
        const DBMTData stored(m_run->s.db());
        QCOMPARE((QStringList{stored.accessKey(), stored.myAccount()}), (QStringList{"", ""}));
        QCOMPARE(view(*m_settings), (SettingsView{QString(), kDevice}));
        m_run.reset();
        MtSession restarted(m_config);
        QCOMPARE(restarted.restore("user003"), false);
    }

    // The server ends the session: the account's files are gone.
    void accountRemoval()
    {
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        QVERIFY(loginAs(s, r, "user008", true));
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

    // A stored session opens behind the lock; a wrong password keeps it up and locked.
    void restoreAndUnlock()
    {
        QVERIFY(loginAs(m_run->s, m_run->r, "user009", true));
        m_run.reset();
        m_run = std::make_unique<Running>(m_config, m_settings.get());
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        QVERIFY(s.restore("user009"));
        QCOMPARE(s.state().snapshot(), (SessionState::Snapshot{3, true, true}));
        // A refusal for the version never opens the lock, whatever password was typed.
        m_server.setFault(QJsonObject{{"mode", "error"},
                                      {"status", 426},
                                      {"code", 40106},
                                      {"path", "/rest/auth"},
                                      {"count", 1}});
        QVERIFY(s.unlock("wrong"));
        QVERIFY(r.waitFor("versionRefused"));
        QCOMPARE(r.of("roomsReady"), QList<SessionEvent>());
        QCOMPARE(s.state().snapshot(), (SessionState::Snapshot{3, true, true}));
        QVERIFY(s.unlock("wrong"));
        QVERIFY(r.waitFor("unlockFailed"));
        QCOMPARE(r.of("unlockFailed"), (QList<SessionEvent>{{"unlockFailed", {}, 40101}}));
        QCOMPARE(s.state().snapshot(), (SessionState::Snapshot{3, true, true}));
        QVERIFY(s.unlock(kPassword));
        QVERIFY(r.waitFor("roomsReady"));
        QCOMPARE(r.of("roomsReady"), (QList<SessionEvent>{{"roomsReady", {}, 1}}));
        QCOMPARE(s.state().snapshot(), (SessionState::Snapshot{6, true, false}));
    }

    // New keys in an unlock answer replace the messaging session, which connects with them.
    void keysRotatedAtUnlock()
    {
        MtSession& s = m_run->s;
        SessionRecorder& r = m_run->r;
        QVERIFY(loginAs(s, r, "user006"));
        const QString before = s.mtData()->clientId();
        m_server.control("POST", "/control/session/rotate", QJsonObject{{"userId", 1006}});
        QVERIFY(s.lock());
        QVERIFY(s.unlock(kPassword));
        QVERIFY(r.waitFor("messagingConnected", 2));
        const QString after = s.mtData()->clientId();
        QVERIFY(after != before);
        QVERIFY(waitUntil(
            [&] { return brokerConnected(1006, after) && !brokerConnected(1006, before); }));
        DBMTData stored(s.db());
        QCOMPARE(stored.clientId(), after);
    }
};

QTEST_MAIN(TestMtSession)
#include "tst_mtsession.moc"
