// The whole program as its users meet it: each client in a home of its own on a virtual display
// with a window manager and a tray, against the reference server. Only what can be seen from
// outside is checked: windows, files, the encrypted database read with the sqlcipher shell and
// the server's record of requests and sessions.
#include "common/appclient.h"
#include "common/devserver.h"
#include "common/sqlcipherfile.h"
#include "common/xsession.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QUrl>
#include <QtTest>

#include <functional>

namespace {
const QString kPassword = QStringLiteral("Passw0rd!");
constexpr int kWait = 20000;
// A session ended by the server is noticed at the client's next keep-alive, one a minute.
constexpr int kPingWait = 80000;
const QString kPing = QStringLiteral("/rest/auth/ping");
// Centres of the lock page's password field and Unlock button in the 360 x 600 main window.
const QPoint kLockField(180, 330);
const QPoint kUnlockButton(180, 400);

// One request the REST side received.
struct RequestLine
{
    QString method;
    QString path;
    bool operator==(const RequestLine& o) const { return method == o.method && path == o.path; }
};

// The form of one login as the server received it.
struct LoginForm
{
    QString account;
    QString forceYn;
    bool operator==(const LoginForm& o) const
    {
        return account == o.account && forceYn == o.forceYn;
    }
};

// What a login leaves behind, in the client's database and settings and at the server.
struct StoredLogin
{
    qint64 rooms = 0;
    QString accessKey;
    QString deviceId;
    QString autologinAccount;
    QString settingsDeviceId;
    bool connected = false;
    bool operator==(const StoredLogin& o) const
    {
        return rooms == o.rooms && accessKey == o.accessKey && deviceId == o.deviceId &&
               autologinAccount == o.autologinAccount && settingsDeviceId == o.settingsDeviceId &&
               connected == o.connected;
    }
};

// A chat that arrived while the window was in the tray.
struct HiddenChat
{
    int toasts = 0;
    QSize toastSize;
    bool toastAtBottomRight = false;
    QString mainWindowState;
    bool attention = false;
    qint64 unreadRows = 0;
    bool soundFile = false;
    bool operator==(const HiddenChat& o) const
    {
        return toasts == o.toasts && toastSize == o.toastSize &&
               toastAtBottomRight == o.toastAtBottomRight && mainWindowState == o.mainWindowState &&
               attention == o.attention && unreadRows == o.unreadRows && soundFile == o.soundFile;
    }
};

// The server's view of one session and the client's files.
struct SessionView
{
    bool ended = false;
    bool connected = false;
    bool database = false;
    int boxes = 0;
    bool running = false;
    bool operator==(const SessionView& o) const
    {
        return ended == o.ended && connected == o.connected && database == o.database &&
               boxes == o.boxes && running == o.running;
    }
};

// An account removed from a client: its files and settings.
struct RemovedAccount
{
    bool database = true;
    bool wal = true;
    bool shm = true;
    QString autologinAccount;
    QString deviceId;
    int boxes = 0;
    bool operator==(const RemovedAccount& o) const
    {
        return database == o.database && wal == o.wal && shm == o.shm &&
               autologinAccount == o.autologinAccount && deviceId == o.deviceId && boxes == o.boxes;
    }
};

// The update that a version refusal led to.
struct UpdateRun
{
    bool exited = false;
    int exitCode = -1;
    int opened = 0;
    bool inCacheFolder = false;
    QByteArray sha256;
    bool operator==(const UpdateRun& o) const
    {
        return exited == o.exited && exitCode == o.exitCode && opened == o.opened &&
               inCacheFolder == o.inCacheFolder && sha256 == o.sha256;
    }
};

// An update whose download failed.
struct FailedUpdate
{
    bool running = false;
    int boxes = -1;
    QStringList opened;
    QStringList cacheFiles;
    bool operator==(const FailedUpdate& o) const
    {
        return running == o.running && boxes == o.boxes && opened == o.opened &&
               cacheFiles == o.cacheFiles;
    }
};

// A log off while the rooms were still being fetched.
struct LoggedOff
{
    QStringList storedKeys;
    QString autologinAccount;
    bool sessionEnded = true;
    bool connected = true;
    int boxes = 0;
    bool running = false;
    bool operator==(const LoggedOff& o) const
    {
        return storedKeys == o.storedKeys && autologinAccount == o.autologinAccount &&
               sessionEnded == o.sessionEnded && connected == o.connected && boxes == o.boxes &&
               running == o.running;
    }
};

// A steady stream of chats in one room after a burst.
struct SteadyChats
{
    bool toastWhileArriving = false;
    int toasts = 0;
    qint64 unreadRows = 0;
    bool operator==(const SteadyChats& o) const
    {
        return toastWhileArriving == o.toastWhileArriving && toasts == o.toasts &&
               unreadRows == o.unreadRows;
    }
};

// Two clients with the idle lock, one left alone and one whose window the pointer moves over.
struct IdleLock
{
    int idleRoomWindows = -1;
    bool idleMainShown = false;
    int busyRoomWindows = -1;
    bool operator==(const IdleLock& o) const
    {
        return idleRoomWindows == o.idleRoomWindows && idleMainShown == o.idleMainShown &&
               busyRoomWindows == o.busyRoomWindows;
    }
};
} // namespace

namespace QTest {
template <>
char* toString(const QVector<RequestLine>& v)
{
    QStringList lines;
    for (const RequestLine& r : v)
        lines << r.method + QLatin1Char(' ') + r.path;
    return qstrdup(
        qPrintable(QLatin1Char('[') + lines.join(QStringLiteral(", ")) + QLatin1Char(']')));
}
template <>
char* toString(const QVector<LoginForm>& v)
{
    QStringList lines;
    for (const LoginForm& f : v)
        lines << f.account + QStringLiteral(" forceYn=") + f.forceYn;
    return qstrdup(
        qPrintable(QLatin1Char('[') + lines.join(QStringLiteral(", ")) + QLatin1Char(']')));
}
template <>
char* toString(const StoredLogin& v)
{
    return qstrdup(
        qPrintable(QStringLiteral("rooms=%1 accessKey=%2 deviceId=%3 autologin=%4 "
                                  "settingsDeviceId=%5 connected=%6")
                       .arg(v.rooms)
                       .arg(v.accessKey, v.deviceId, v.autologinAccount, v.settingsDeviceId)
                       .arg(v.connected)));
}
template <>
char* toString(const HiddenChat& v)
{
    return qstrdup(qPrintable(QStringLiteral("toasts=%1 size=%2x%3 bottomRight=%4 state=%5 "
                                             "attention=%6 unread=%7 sound=%8")
                                  .arg(v.toasts)
                                  .arg(v.toastSize.width())
                                  .arg(v.toastSize.height())
                                  .arg(v.toastAtBottomRight)
                                  .arg(v.mainWindowState)
                                  .arg(v.attention)
                                  .arg(v.unreadRows)
                                  .arg(v.soundFile)));
}
template <>
char* toString(const SessionView& v)
{
    return qstrdup(
        qPrintable(QStringLiteral("ended=%1 connected=%2 database=%3 boxes=%4 running=%5")
                       .arg(v.ended)
                       .arg(v.connected)
                       .arg(v.database)
                       .arg(v.boxes)
                       .arg(v.running)));
}
template <>
char* toString(const RemovedAccount& v)
{
    return qstrdup(
        qPrintable(QStringLiteral("db=%1 wal=%2 shm=%3 autologin=%4 deviceId=%5 boxes=%6")
                       .arg(v.database)
                       .arg(v.wal)
                       .arg(v.shm)
                       .arg(v.autologinAccount, v.deviceId)
                       .arg(v.boxes)));
}
template <>
char* toString(const UpdateRun& v)
{
    return qstrdup(qPrintable(QStringLiteral("exited=%1 code=%2 opened=%3 inCache=%4 sha256=%5")
                                  .arg(v.exited)
                                  .arg(v.exitCode)
                                  .arg(v.opened)
                                  .arg(v.inCacheFolder)
                                  .arg(QString::fromLatin1(v.sha256.toHex()))));
}
template <>
char* toString(const FailedUpdate& v)
{
    return qstrdup(
        qPrintable(QStringLiteral("running=%1 boxes=%2 opened=[%3] cache=[%4]")
                       .arg(v.running)
                       .arg(v.boxes)
                       .arg(v.opened.join(QLatin1Char(',')), v.cacheFiles.join(QLatin1Char(',')))));
}
template <>
char* toString(const LoggedOff& v)
{
    return qstrdup(qPrintable(
        QStringLiteral("keys=[%1] autologin=%2 ended=%3 connected=%4 boxes=%5 running=%6")
            .arg(v.storedKeys.join(QLatin1Char(',')), v.autologinAccount)
            .arg(v.sessionEnded)
            .arg(v.connected)
            .arg(v.boxes)
            .arg(v.running)));
}
template <>
char* toString(const SteadyChats& v)
{
    return qstrdup(qPrintable(QStringLiteral("toastWhileArriving=%1 toasts=%2 unread=%3")
                                  .arg(v.toastWhileArriving)
                                  .arg(v.toasts)
                                  .arg(v.unreadRows)));
}
template <>
char* toString(const IdleLock& v)
{
    return qstrdup(qPrintable(QStringLiteral("idleRoomWindows=%1 idleMainShown=%2 "
                                             "busyRoomWindows=%3")
                                  .arg(v.idleRoomWindows)
                                  .arg(v.idleMainShown)
                                  .arg(v.busyRoomWindows)));
}
} // namespace QTest

class TestScenarios : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void loginFillsStoreAndSession();
    void chatWhileHiddenShowsToastAndAsksForAttention();
    void burstInOneRoomGivesOneToast();
    void lockThenWrongPasswordKeepsSession();
    void idleLockThenWrongPasswordIsRefused();
    void forcedLogoutAndTakeOverRemoveAccounts();
    // After the forced logout, whose own keep-alives take more than a minute.
    void refusedUnlockKeepsPinging();
    void versionRefusalDownloadsAndStartsUpdate();
    void failedUpdateDownloadStartsNothing();
    void logOffWhileRoomsAreFetched();

private:
    qint64 userId(const QString& account)
    {
        return m_server.user(account)["userId"].toVariant().toLongLong();
    }
    // The rooms of an account at the server that have members besides it.
    QJsonArray rooms(const QString& account);
    // Every room of the account at the server.
    QJsonArray allRooms(const QString& account)
    {
        return m_server.control("GET", "/control/rooms?userId=" + QString::number(userId(account)))
            .toArray();
    }
    QJsonObject session(qint64 userId, const QString& deviceId);
    // REST requests of one device after a sequence number, keep-alives left out.
    QVector<RequestLine> requestsOf(const QString& deviceId, qint64 since);
    QJsonArray rawRequestsOf(const QString& deviceId, qint64 since);
    // The logins (POST /rest/auth) of every client after a sequence number, once read.
    QJsonArray logins(qint64 since);
    QVector<LoginForm> loginForms(qint64 since);
    // Keep-alives of one device after a sequence number that the server answered with 200.
    int answeredPings(const QString& deviceId, qint64 since);
    // Starts the client, types the login and waits until its rooms are stored and its broker
    // connection is up. The device id it used goes to `deviceId`.
    bool login(AppClient& client, const QString& account, QString* deviceId);
    bool chat(const QJsonObject& room, qint64 senderId, const QString& text);
    // `count` chats "<text> <n>" one after the other.
    bool chats(const QJsonObject& room, qint64 senderId, const QString& text, int count);
    // A member of the room other than the account.
    static qint64 otherMember(const QJsonObject& room, qint64 userId);
    // `count` chats "<text> <n>", one every `intervalMs`; true when `seen` held before the last
    // one was sent.
    bool steadyChats(const QJsonObject& room, qint64 senderId, const QString& text, int count,
                     int intervalMs, const std::function<bool()>& seen);
    // Moves the pointer over a window of the busy client every few seconds until `done`.
    bool idleUntil(const AppClient& busy, const QString& window, const std::function<bool()>& done);
    // A user of the server's directory made for one scenario, with the common password.
    qint64 addUser(const QString& name, const QString& account);

    DevServer m_server;
    std::unique_ptr<XSession> m_x;
    // The idle client left at its lock page after a refused password, and its keep-alives
    // counted from the refusal.
    std::unique_ptr<AppClient> m_locked;
    qint64 m_lockedId = 0;
    QString m_lockedDevice;
    qint64 m_refusedSince = 0;
};

void TestScenarios::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    m_x = std::make_unique<XSession>(true, true);
    QVERIFY2(m_x->isValid(), qPrintable(m_x->errorString()));
}

void TestScenarios::init()
{
    QVERIFY(m_server.clearFault());
    QVERIFY(m_server.clearUpdate());
}

void TestScenarios::cleanupTestCase()
{
    m_locked.reset();
    m_x.reset();
    m_server.stop();
}

QJsonArray TestScenarios::rooms(const QString& account)
{
    QJsonArray out;
    const QJsonArray all =
        m_server.control("GET", "/control/rooms?userId=" + QString::number(userId(account)))
            .toArray();
    for (const QJsonValue& room : all) {
        if (room["chattRoomType"].toString() != QLatin1String("10") &&
            room["memberIds"].toArray().size() > 1)
            out.append(room);
    }
    return out;
}

QJsonObject TestScenarios::session(qint64 user, const QString& deviceId)
{
    for (const QJsonValue& s : m_server.sessions(user)) {
        if (s["deviceId"].toString() == deviceId)
            return s.toObject();
    }
    return QJsonObject();
}

QJsonArray TestScenarios::rawRequestsOf(const QString& deviceId, qint64 since)
{
    QJsonArray out;
    for (const QJsonValue& r : m_server.requests(QStringLiteral("/rest"), since)) {
        if (r["headers"]["device-id"].toString() == deviceId && r["path"].toString() != kPing)
            out.append(r);
    }
    return out;
}

QJsonArray TestScenarios::logins(qint64 since)
{
    QJsonArray out;
    for (const QJsonValue& r : m_server.requests(QStringLiteral("/rest/auth"), since)) {
        // A request is recorded with its form once it has been read whole.
        if (r["method"].toString() == QLatin1String("POST") &&
            r["path"].toString() == QLatin1String("/rest/auth") && r["form"].isObject())
            out.append(r);
    }
    return out;
}

QVector<LoginForm> TestScenarios::loginForms(qint64 since)
{
    QVector<LoginForm> out;
    for (const QJsonValue& r : logins(since))
        out.append({r["form"]["loginAccnt"].toString(), r["form"]["forceYn"].toString()});
    return out;
}

int TestScenarios::answeredPings(const QString& deviceId, qint64 since)
{
    int count = 0;
    for (const QJsonValue& r : m_server.requests(kPing, since)) {
        if (r["headers"]["device-id"].toString() == deviceId && r["status"].toInt() == 200)
            ++count;
    }
    return count;
}

QVector<RequestLine> TestScenarios::requestsOf(const QString& deviceId, qint64 since)
{
    QVector<RequestLine> out;
    for (const QJsonValue& r : rawRequestsOf(deviceId, since))
        out.append({r["method"].toString(), r["path"].toString()});
    return out;
}

bool TestScenarios::login(AppClient& client, const QString& account, QString* deviceId)
{
    const qint64 since = m_server.lastRequestSeq();
    if (!client.start()) {
        qWarning("%s: the program showed no window", qPrintable(account));
        return false;
    }
    if (!client.typeLogin(account, kPassword)) {
        qWarning("%s: the login could not be typed", qPrintable(account));
        return false;
    }
    const qint64 id = userId(account);
    const qint64 expected = allRooms(account).size();
    QDeadlineTimer deadline(kWait);
    QString device;
    while (!deadline.hasExpired()) {
        const QJsonArray auth = logins(since);
        device = auth.isEmpty() ? QString() : auth.last()["headers"]["device-id"].toString();
        const SqlCipherFile db(client.databasePath(account));
        if (!device.isEmpty() && session(id, device)["connected"].toBool() &&
            db.number(QStringLiteral("SELECT count(*) FROM TTT_CHATT_ROOM")) >= expected) {
            *deviceId = device;
            return true;
        }
        QThread::msleep(100);
    }
    qWarning("%s: no stored room list and broker connection in time", qPrintable(account));
    return false;
}

bool TestScenarios::chats(const QJsonObject& room, qint64 senderId, const QString& text, int count)
{
    for (int i = 1; i <= count; ++i) {
        if (!chat(room, senderId, QStringLiteral("%1 %2").arg(text).arg(i)))
            return false;
    }
    return true;
}

qint64 TestScenarios::otherMember(const QJsonObject& room, qint64 userId)
{
    for (const QJsonValue& member : room["memberIds"].toArray()) {
        if (member.toVariant().toLongLong() != userId)
            return member.toVariant().toLongLong();
    }
    return 0;
}

bool TestScenarios::chat(const QJsonObject& room, qint64 senderId, const QString& text)
{
    int status = 0;
    m_server.control(
        "POST", "/control/chat",
        QJsonObject{{"roomId", room["chattRoomId"]}, {"userId", senderId}, {"text", text}},
        &status);
    return status == 200;
}

bool TestScenarios::steadyChats(const QJsonObject& room, qint64 senderId, const QString& text,
                                int count, int intervalMs, const std::function<bool()>& seen)
{
    bool seenBeforeLast = false;
    for (int i = 1; i <= count; ++i) {
        QDeadlineTimer slot(intervalMs);
        seenBeforeLast = seenBeforeLast || seen();
        if (!chat(room, senderId, QStringLiteral("%1 %2").arg(text).arg(i)))
            return false;
        while (!slot.hasExpired())
            QThread::msleep(20);
    }
    return seenBeforeLast;
}

bool TestScenarios::idleUntil(const AppClient& busy, const QString& window,
                              const std::function<bool()>& done)
{
    // Well past the idle lock's minute.
    QDeadlineTimer deadline(150000);
    const QPoint points[] = {QPoint(150, 250), QPoint(200, 300)};
    for (int moves = 0; !done(); ++moves) {
        if (deadline.hasExpired() || !busy.pointAt(window, points[moves % 2]))
            return false;
        QDeadlineTimer pause(5000);
        while (!pause.hasExpired() && !done())
            QThread::msleep(100);
    }
    return true;
}

qint64 TestScenarios::addUser(const QString& name, const QString& account)
{
    return m_server
        .control("POST", QStringLiteral("/control/user"),
                 QJsonObject{{"userName", name}, {"loginAccnt", account}, {"password", kPassword}})
        .toObject()["userId"]
        .toVariant()
        .toLongLong();
}

// E4: the login typed into the login page reaches the server in order and leaves its keys, its
// rooms and the account for the next start behind.
void TestScenarios::loginFillsStoreAndSession()
{
    const QString account = QStringLiteral("user001");
    const qint64 id = userId(account);
    AppClient client(*m_x, m_server);
    const qint64 since = m_server.lastRequestSeq();
    QString device;
    QVERIFY2(login(client, account, &device), "the login did not reach the room list");

    const QString uid = QString::number(id);
    const QVector<RequestLine> expectedOrder{{"POST", "/rest/auth"},
                                             {"GET", "/rest/cache/" + uid + "/19700101000000"},
                                             {"GET", "/rest/chatt/room/" + uid}};
    QCOMPARE(requestsOf(device, since).mid(0, 3), expectedOrder);

    const QJsonObject live = session(id, device);
    const SqlCipherFile db(client.databasePath(account));
    const StoredLogin stored{
        db.number(QStringLiteral("SELECT count(*) FROM TTT_CHATT_ROOM")),
        db.column(QStringLiteral("SELECT value FROM TTT_MTDATA WHERE key=10")).value(0),
        db.column(QStringLiteral("SELECT value FROM TTT_MTDATA WHERE key=12")).value(0),
        client.setting(QStringLiteral("Settings/AutologinAccount")).toString(),
        client.setting(QStringLiteral("Settings/DeviceID")).toString(),
        live["connected"].toBool()};
    const StoredLogin expected{qint64(allRooms(account).size()),
                               live["accessKey"].toString(),
                               device,
                               account,
                               device,
                               true};
    QCOMPARE(stored, expected);
}

// E5: a chat for a user whose window is in the tray: a toast at the bottom right, the window
// shown minimised asking for attention, the chat stored unread and the sound file in place.
void TestScenarios::chatWhileHiddenShowsToastAndAsksForAttention()
{
    const QString account = QStringLiteral("user002");
    const qint64 id = userId(account);
    AppClient client(*m_x, m_server);
    QString device;
    QVERIFY2(login(client, account, &device), "the login did not reach the room list");
    // Escape closes the window to the tray.
    QVERIFY(client.typeInto(client.mainWindow(), QString(), QStringLiteral("Escape")));
    QTRY_VERIFY_WITH_TIMEOUT(!m_x->isViewable(client.mainWindow()), kWait);

    const QJsonObject room = rooms(account).first().toObject();
    QVERIFY(chat(room, otherMember(room, id), QStringLiteral("While you were away")));
    QTRY_COMPARE_WITH_TIMEOUT(client.toasts().size(), 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_x->demandsAttention(client.mainWindow()), kWait);

    const QString toast = client.toasts().value(0);
    const QRect place = m_x->geometry(toast);
    const SqlCipherFile db(client.databasePath(account));
    const HiddenChat seen{
        int(client.toasts().size()),
        place.size(),
        place.right() >= 1280 - 40 && place.bottom() >= 1024 - 160,
        m_x->wmState(client.mainWindow()),
        m_x->demandsAttention(client.mainWindow()),
        db.number(QStringLiteral("SELECT count(*) FROM TTT_CHATT WHERE topic='%1' AND "
                                 "msg_read=0 AND content='While you were away'")
                      .arg(room["topic"].toString())),
        QFile::exists(client.tempDir() + QStringLiteral("/veltri_alarm.wav"))};
    const HiddenChat expected{1, QSize(360, 100), true, QStringLiteral("Iconic"), true, 1, true};
    QCOMPARE(seen, expected);
}

// E6: fifty chats in one room in a burst show one toast; a chat in a second room afterwards is
// the sentinel that the burst left no other toast behind. Then a chat every half second for ten
// seconds in a third room: its toast comes while the chats still arrive, the gathering of a
// burst never waits for a pause that does not come.
void TestScenarios::burstInOneRoomGivesOneToast()
{
    const QString account = QStringLiteral("user003");
    const qint64 id = userId(account);
    AppClient client(*m_x, m_server);
    // Long enough for every toast of this scenario to stay up.
    client.presetSetting(QStringLiteral("Settings/AlarmDisplayTime"), 60);
    QString device;
    QVERIFY2(login(client, account, &device), "the login did not reach the room list");
    QVERIFY(client.typeInto(client.mainWindow(), QString(), QStringLiteral("Escape")));
    QTRY_VERIFY_WITH_TIMEOUT(!m_x->isViewable(client.mainWindow()), kWait);

    const QJsonArray all = rooms(account);
    QVERIFY(all.size() >= 2);
    const QJsonObject burstRoom = all.at(0).toObject();
    const QJsonObject sentinelRoom = all.at(1).toObject();
    QVERIFY(chats(burstRoom, otherMember(burstRoom, id), QStringLiteral("Burst"), 50));
    const SqlCipherFile db(client.databasePath(account));
    const QString unread =
        QStringLiteral("SELECT count(*) FROM TTT_CHATT WHERE topic='%1' AND msg_read=0");
    QTRY_COMPARE_WITH_TIMEOUT(db.number(unread.arg(burstRoom["topic"].toString())), qint64(50),
                              kWait);
    QVERIFY(chat(sentinelRoom, otherMember(sentinelRoom, id), QStringLiteral("Sentinel")));
    QTRY_COMPARE_WITH_TIMEOUT(db.number(unread.arg(sentinelRoom["topic"].toString())), qint64(1),
                              kWait);
    QTRY_VERIFY_WITH_TIMEOUT(client.toasts().size() >= 2, kWait);
    QCOMPARE(client.toasts().size(), 2);

    QVERIFY(all.size() >= 3);
    const QJsonObject steadyRoom = all.at(2).toObject();
    const bool toastWhileArriving =
        steadyChats(steadyRoom, otherMember(steadyRoom, id), QStringLiteral("Steady"), 20, 500,
                    [&] { return client.toasts().size() == 3; });
    QTRY_COMPARE_WITH_TIMEOUT(db.number(unread.arg(steadyRoom["topic"].toString())), qint64(20),
                              kWait);
    const SteadyChats seen{toastWhileArriving, int(client.toasts().size()),
                           db.number(unread.arg(steadyRoom["topic"].toString()))};
    QCOMPARE(seen, (SteadyChats{true, 3, 20}));
}

// E13/E14: the tray's lock; at the lock page Return does nothing, a wrong password sent with
// the Unlock button is refused (still locked, the session alive), then the right one unlocks
// through a login of the same device.
void TestScenarios::lockThenWrongPasswordKeepsSession()
{
    const QString account = QStringLiteral("user004");
    const qint64 id = userId(account);
    AppClient client(*m_x, m_server);
    QString device;
    QVERIFY2(login(client, account, &device), "the login did not reach the room list");
    // The tray menu logged in: Open, Lock Mode, Log off, Exit.
    QVERIFY2(client.pickTrayEntry(3), "the tray menu did not open and close");

    const qint64 wrongSince = m_server.lastRequestSeq();
    // Return first: the request that follows is the Unlock button's alone.
    QVERIFY(client.typeInto(client.mainWindow(), QStringLiteral("Wrong-pass1"),
                            QStringLiteral("Return")));
    QVERIFY(client.click(client.mainWindow(), kUnlockButton));
    QTRY_COMPARE_WITH_TIMEOUT(client.boxes().size(), 1, kWait);
    const QJsonArray wrong = rawRequestsOf(device, wrongSince);
    QCOMPARE(requestsOf(device, wrongSince), (QVector<RequestLine>{{"POST", "/rest/auth"}}));
    QCOMPARE(wrong.at(0)["form"]["forceYn"].toString(), QStringLiteral("0"));
    const QJsonObject live = session(id, device);
    const SessionView afterWrong{live["ended"].isObject(), live["connected"].toBool(),
                                 QFile::exists(client.databasePath(account)),
                                 int(client.boxes().size()),
                                 client.process().state() == QProcess::Running};
    QCOMPARE(afterWrong, (SessionView{false, true, true, 1, true}));

    QVERIFY(client.typeInto(client.boxes().value(0), QString(), QStringLiteral("Return")));
    QTRY_COMPARE_WITH_TIMEOUT(client.boxes().size(), 0, kWait);
    const qint64 rightSince = m_server.lastRequestSeq();
    // The refused password is still in the field.
    QVERIFY(client.click(client.mainWindow(), kLockField));
    QVERIFY(client.typeInto(client.mainWindow(), QString(), QStringLiteral("ctrl+a BackSpace")));
    QVERIFY(client.typeInto(client.mainWindow(), kPassword, QString()));
    QVERIFY(client.click(client.mainWindow(), kUnlockButton));
    const QString uid = QString::number(id);
    const QVector<RequestLine> unlock{
        {"POST", "/rest/auth"}, {"GET", "/rest/cache/" + uid}, {"GET", "/rest/chatt/room/" + uid}};
    QTRY_COMPARE_WITH_TIMEOUT(requestsOf(device, rightSince).size(), 3, kWait);
    const QVector<RequestLine> seen = requestsOf(device, rightSince);
    // The cache request names the time of the last one, which differs from run to run.
    const QVector<RequestLine> shortened{
        seen.at(0), {seen.at(1).method, seen.at(1).path.section('/', 0, 3)}, seen.at(2)};
    QCOMPARE(shortened, unlock);
}

// E13/E14: two clients with the idle lock after a minute. The busy one logged in first and the
// pointer moves over its room's window now and then; the idle one gets no input. Once the idle
// one has locked itself (its room's window gone), the busy one's minute has passed too and its
// window is still open. At the idle one's lock page, which knows the account, a wrong password
// is refused and the client stays there for the keep-alives that follow.
void TestScenarios::idleLockThenWrongPasswordIsRefused()
{
    const qint64 idleId = addUser(QStringLiteral("Ida Idle"), QStringLiteral("idaidle"));
    const qint64 busyId = addUser(QStringLiteral("Bo Busy"), QStringLiteral("bobusy"));
    const qint64 thirdId = addUser(QStringLiteral("Kim Lowe"), QStringLiteral("kimlowe"));
    int status = 0;
    m_server.control(
        "POST", QStringLiteral("/control/room"),
        QJsonObject{{"userId", idleId}, {"members", QJsonArray{busyId, thirdId}}, {"roomType", 30}},
        &status);
    QCOMPARE(status, 200);
    AppClient busy(*m_x, m_server);
    m_locked = std::make_unique<AppClient>(*m_x, m_server);
    AppClient& idle = *m_locked;
    busy.presetSetting(QStringLiteral("Settings/AutoLock"), 1);
    idle.presetSetting(QStringLiteral("Settings/AutoLock"), 1);
    QString busyDevice;
    QString idleDevice;
    QVERIFY2(login(busy, QStringLiteral("bobusy"), &busyDevice),
             "the login did not reach the room list");
    QVERIFY(busy.placeAt(0));
    const QString busyRoom = busy.openRoom(QStringLiteral("Kim Lowe"));
    QVERIFY(!busyRoom.isEmpty());
    QVERIFY2(login(idle, QStringLiteral("idaidle"), &idleDevice),
             "the login did not reach the room list");
    QVERIFY(idle.placeAt(800));
    QVERIFY(!idle.openRoom(QStringLiteral("Kim Lowe")).isEmpty());
    // From here on the idle client gets no input at all.
    QVERIFY(idleUntil(busy, busyRoom,
                      [&] { return idle.windows(QStringLiteral("Kim Lowe")).isEmpty(); }));
    const IdleLock locked{int(idle.windows(QStringLiteral("Kim Lowe")).size()),
                          m_x->isViewable(idle.mainWindow()),
                          int(busy.windows(QStringLiteral("Kim Lowe")).size())};
    QCOMPARE(locked, (IdleLock{0, true, 1}));

    const qint64 refusedSince = m_server.lastRequestSeq();
    QVERIFY(idle.click(idle.mainWindow(), kLockField));
    QVERIFY(idle.typeInto(idle.mainWindow(), QStringLiteral("Wrong-pass1"), QString()));
    QVERIFY(idle.click(idle.mainWindow(), kUnlockButton));
    QTRY_COMPARE_WITH_TIMEOUT(idle.boxes().size(), 1, kWait);
    QCOMPARE(loginForms(refusedSince),
             (QVector<LoginForm>{{QStringLiteral("idaidle"), QStringLiteral("0")}}));
    QVERIFY(idle.typeInto(idle.boxes().value(0), QString(), QStringLiteral("Return")));
    QTRY_COMPARE_WITH_TIMEOUT(idle.boxes().size(), 0, kWait);
    m_lockedId = idleId;
    m_lockedDevice = idleDevice;
    m_refusedSince = refusedSince;
}

// E14: the client whose unlock was refused is still locked (nothing fetched since), its session
// alive, and the keep-alive that comes next is recorded answered.
void TestScenarios::refusedUnlockKeepsPinging()
{
    QVERIFY2(m_locked, "the idle lock scenario left no client");
    QTRY_VERIFY_WITH_TIMEOUT(answeredPings(m_lockedDevice, m_refusedSince) > 0, kPingWait);
    const QJsonObject live = session(m_lockedId, m_lockedDevice);
    const SessionView afterRefusal{live["ended"].isObject(), live["connected"].toBool(),
                                   QFile::exists(m_locked->databasePath(QStringLiteral("idaidle"))),
                                   int(m_locked->boxes().size()), m_locked->isRunning()};
    QCOMPARE(afterRefusal, (SessionView{false, true, true, 0, true}));
    QCOMPARE(requestsOf(m_lockedDevice, m_refusedSince),
             (QVector<RequestLine>{{"POST", "/rest/auth"}}));
    m_locked.reset();
}

// E18/E19: an administrator ends one account's sessions, another account is taken over by a
// second client; both first clients learn it at their next keep-alive and remove the account
// (database with its WAL files, the account of the automatic login) and show why. A third
// account only told to log out keeps its session, files and quiet window.
void TestScenarios::forcedLogoutAndTakeOverRemoveAccounts()
{
    const QString forced = QStringLiteral("user005");
    const QString taken = QStringLiteral("user006");
    AppClient forcedClient(*m_x, m_server);
    AppClient first(*m_x, m_server);
    AppClient second(*m_x, m_server);
    // Only told to log out: it goes on.
    const QString noticed = QStringLiteral("user009");
    AppClient noticedClient(*m_x, m_server);
    QString noticedDevice;
    QString forcedDevice;
    QString firstDevice;
    // Each window goes to the tray once logged in: the next client's window opens where it was.
    QVERIFY2(login(noticedClient, noticed, &noticedDevice),
             "the login did not reach the room list");
    QVERIFY(
        noticedClient.typeInto(noticedClient.mainWindow(), QString(), QStringLiteral("Escape")));
    QTRY_VERIFY_WITH_TIMEOUT(!m_x->isViewable(noticedClient.mainWindow()), kWait);
    QVERIFY2(login(forcedClient, forced, &forcedDevice), "the login did not reach the room list");
    QVERIFY(forcedClient.typeInto(forcedClient.mainWindow(), QString(), QStringLiteral("Escape")));
    QTRY_VERIFY_WITH_TIMEOUT(!m_x->isViewable(forcedClient.mainWindow()), kWait);
    QVERIFY2(login(first, taken, &firstDevice), "the login did not reach the room list");
    QVERIFY(first.typeInto(first.mainWindow(), QString(), QStringLiteral("Escape")));
    QTRY_VERIFY_WITH_TIMEOUT(!m_x->isViewable(first.mainWindow()), kWait);
    QVERIFY(QFile::exists(forcedClient.databasePath(forced) + QStringLiteral("-wal")));

    int status = 0;
    m_server.control("POST", "/control/logout",
                     QJsonObject{{"userId", userId(forced)}, {"end", true}}, &status);
    QCOMPARE(status, 200);
    const qint64 noticeSince = m_server.lastRequestSeq();
    m_server.control("POST", "/control/logout", QJsonObject{{"userId", userId(noticed)}}, &status);
    QCOMPARE(status, 200);

    const qint64 since = m_server.lastRequestSeq();
    QVERIFY(second.start());
    QVERIFY(second.typeLogin(taken, kPassword));
    // "You are already logged in. Continue to login?"
    QTRY_COMPARE_WITH_TIMEOUT(second.boxes().size(), 1, kWait);
    QVERIFY(second.typeInto(second.boxes().value(0), QString(), QStringLiteral("Return")));
    QTRY_COMPARE_WITH_TIMEOUT(loginForms(since).size(), 2, kWait);
    QCOMPARE(loginForms(since), (QVector<LoginForm>{{taken, "0"}, {taken, "1"}}));
    QTRY_VERIFY_WITH_TIMEOUT(session(userId(taken), firstDevice)["ended"].isObject(), kWait);

    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(forcedClient.databasePath(forced)), kPingWait);
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(first.databasePath(taken)), kPingWait);
    QTRY_COMPARE_WITH_TIMEOUT(forcedClient.boxes().size(), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(first.boxes().size(), 1, kWait);
    const auto removed = [](const AppClient& c, const QString& account) {
        const QString db = c.databasePath(account);
        return RemovedAccount{QFile::exists(db),
                              QFile::exists(db + QStringLiteral("-wal")),
                              QFile::exists(db + QStringLiteral("-shm")),
                              c.setting(QStringLiteral("Settings/AutologinAccount")).toString(),
                              c.setting(QStringLiteral("Settings/DeviceID")).toString(),
                              int(c.boxes().size())};
    };
    const RemovedAccount expected{false, false, false, QString(), QString(), 1};
    QCOMPARE(removed(forcedClient, forced), expected);
    QCOMPARE(removed(first, taken), expected);
    QCOMPARE(forcedClient.process().state(), QProcess::Running);
    QCOMPARE(first.process().state(), QProcess::Running);

    // Logged in first, its keep-alive after the notice came before the others' ones.
    QTRY_VERIFY_WITH_TIMEOUT(answeredPings(noticedDevice, noticeSince) > 0, kPingWait);
    const QJsonObject live = session(userId(noticed), noticedDevice);
    const SessionView afterNotice{live["ended"].isObject(), live["connected"].toBool(),
                                  QFile::exists(noticedClient.databasePath(noticed)),
                                  int(noticedClient.boxes().size()),
                                  noticedClient.process().state() == QProcess::Running};
    QCOMPARE(afterNotice, (SessionView{false, true, true, 0, true}));
}

// E20: a version refusal at login: the question, the download into the cache folder, the
// installer handed to the desktop's opener, and the program ends.
void TestScenarios::versionRefusalDownloadsAndStartsUpdate()
{
    DevUpdate update;
    update.minVersion = 99999;
    const std::optional<QString> link = m_server.setUpdate(update);
    QVERIFY(link);
    QProcess curl;
    curl.start(QStringLiteral("curl"), {"-sSf", "--cacert", m_server.caFile(), "-o", "-", *link});
    QVERIFY(curl.waitForFinished(kWait));
    const QByteArray served = curl.readAllStandardOutput();
    QVERIFY(served.size() > 65536);

    AppClient client(*m_x, m_server);
    QVERIFY(client.start());
    QVERIFY(client.typeLogin(QStringLiteral("user007"), kPassword));
    // "The latest version is updated. Use the latest version."
    QTRY_COMPARE_WITH_TIMEOUT(client.boxes().size(), 1, kWait);
    QVERIFY(client.typeInto(client.boxes().value(0), QString(), QStringLiteral("Return")));
    // The download dialog and over it "Completed", which has the focus.
    const QString package = client.cacheDir() + QStringLiteral("/VeltriTalk-Setup-99999.exe");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(package), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(client.boxes().size(), 2, kWait);
    QVERIFY(client.keyToActive(QStringLiteral("Return")));
    const bool exited = client.process().waitForFinished(kWait);
    // The opener runs detached: it may write after the program has gone.
    QTRY_VERIFY_WITH_TIMEOUT(!client.opened().isEmpty(), kWait);

    // The desktop's opener gets the file as a URL.
    const QString opened = QUrl(client.opened().value(0)).toLocalFile();
    QFile file(opened);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const UpdateRun run{exited, client.process().exitCode(), int(client.opened().size()),
                        opened == package,
                        QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)};
    const UpdateRun expected{true, 0, 1, true,
                             QCryptographicHash::hash(served, QCryptographicHash::Sha256)};
    QCOMPARE(run, expected);
}

// E20, the failing side: the link names a package the server refuses (404). "Download error"
// is shown, the dialog goes with it, nothing is left in the cache folder nor opened, and the
// program stays.
void TestScenarios::failedUpdateDownloadStartsNothing()
{
    DevUpdate update;
    update.minVersion = 99999;
    update.link =
        QStringLiteral("https://localhost:%1/download/Bad~Name.exe").arg(m_server.restPort());
    QVERIFY(m_server.setUpdate(update));
    AppClient client(*m_x, m_server);
    QVERIFY(client.start());
    QVERIFY(client.typeLogin(QStringLiteral("user010"), kPassword));
    QTRY_COMPARE_WITH_TIMEOUT(client.boxes().size(), 1, kWait);
    QVERIFY(client.typeInto(client.boxes().value(0), QString(), QStringLiteral("Return")));
    // The download dialog and over it the error, which has the focus.
    QTRY_COMPARE_WITH_TIMEOUT(client.boxes().size(), 2, kWait);
    QVERIFY(client.keyToActive(QStringLiteral("Return")));
    QTRY_COMPARE_WITH_TIMEOUT(client.boxes().size(), 0, kWait);

    const FailedUpdate seen{client.process().state() == QProcess::Running,
                            int(client.boxes().size()), client.opened(),
                            QDir(client.cacheDir()).entryList(QDir::Files)};
    QCOMPARE(seen, (FailedUpdate{true, 0, {}, {}}));
}

// E21: log off from the tray while the rooms request hangs; its late failure is ignored. A
// refused login afterwards is the sentinel: its notice is the only box.
void TestScenarios::logOffWhileRoomsAreFetched()
{
    const QString account = QStringLiteral("user008");
    const qint64 id = userId(account);
    QVERIFY(m_server.fail(DevFault::hang(QStringLiteral("/rest/chatt/room/"))));
    AppClient client(*m_x, m_server);
    const qint64 since = m_server.lastRequestSeq();
    QVERIFY(client.start());
    QVERIFY(client.typeLogin(account, kPassword));
    QTRY_COMPARE_WITH_TIMEOUT(
        m_server.requests(QStringLiteral("/rest/chatt/room/") + QString::number(id), since).size(),
        1, kWait);
    const QString device = logins(since).at(0)["headers"]["device-id"].toString();
    QTRY_VERIFY_WITH_TIMEOUT(session(id, device)["connected"].toBool(), kWait);
    // Logged in: Open, Lock Mode, Log off, Exit.
    QVERIFY2(client.pickTrayEntry(2), "the tray menu did not open and close");
    QTRY_VERIFY_WITH_TIMEOUT(!session(id, device)["connected"].toBool(), kWait);
    // The hung request now gets its 503.
    QVERIFY(m_server.clearFault());

    const qint64 sentinel = m_server.lastRequestSeq();
    QVERIFY(client.typeLogin(account, QStringLiteral("Wrong-pass1")));
    QTRY_COMPARE_WITH_TIMEOUT(logins(sentinel).size(), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(client.boxes().size(), 1, kWait);
    const SqlCipherFile db(client.databasePath(account));
    const QJsonObject live = session(id, device);
    const LoggedOff seen{db.column(QStringLiteral("SELECT key FROM TTT_MTDATA ORDER BY key")),
                         client.setting(QStringLiteral("Settings/AutologinAccount")).toString(),
                         live["ended"].isObject(),
                         live["connected"].toBool(),
                         int(client.boxes().size()),
                         client.process().state() == QProcess::Running};
    QCOMPARE(seen, (LoggedOff{{QStringLiteral("12")}, QString(), false, false, 1, true}));
}

QTEST_GUILESS_MAIN(TestScenarios)
#include "tst_scenarios.moc"
