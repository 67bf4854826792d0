// The whole program as its users meet it, checked only from outside.
#include "common/appclient.h"
#include "common/devserver.h"
#include "common/sqlcipherfile.h"
#include "common/typed.h"
#include "common/wait.h"
#include "common/xsession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QUrl>
#include <QtTest>

#include <algorithm>
#include <functional>

namespace {
constexpr int kWait = 20000;
// A session ended by the server is noticed at the client's next keep-alive, one a minute.
constexpr int kPingWait = 80000;
// The lock page's password field and Unlock button in the 360 x 600 main window.
const QPoint kLockField(180, 330);
const QPoint kUnlockButton(180, 400);
const QString kUnread = QStringLiteral("SELECT count(*) FROM TTT_CHATT WHERE topic='%1' AND "
                                       "msg_read=0");

struct HiddenChat
{
    qint64 toasts, unreadRows;
    QString mainWindowState;
    bool attention, soundFile;
    MT_TYPED(HiddenChat, toasts, mainWindowState, attention, unreadRows, soundFile)
};

struct SessionView
{
    int boxes;
    bool ended, connected, database, running;
    MT_TYPED(SessionView, ended, connected, database, boxes, running)
};

struct RemovedAccount
{
    QString autologinAccount, deviceId;
    int boxes;
    bool database, wal, shm, running;
    MT_TYPED(RemovedAccount, database, wal, shm, autologinAccount, deviceId, boxes, running)
};

// Where a version refusal's update leaves the program; `opened` as files of the cache folder.
struct Update
{
    bool running, servedBytes; // servedBytes: the opened file holds what the link serves
    int exitCode, boxes;
    QStringList cacheFiles, opened;
    MT_TYPED(Update, running, exitCode, boxes, cacheFiles, opened, servedBytes)
};

struct LoggedOff
{
    QStringList storedKeys;
    bool sessionEnded, connected, running;
    MT_TYPED(LoggedOff, storedKeys, sessionEnded, connected, running)
};

// The idle client's main window and the busy one's room window, once the idle one's is gone.
struct IdleLock
{
    int busyRoomWindows;
    bool idleMainShown;
    MT_TYPED(IdleLock, idleMainShown, busyRoomWindows)
};
} // namespace
Q_DECLARE_METATYPE(Update)

class TestScenarios : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_x = std::make_unique<XSession>(true, true);
        QVERIFY2(m_x->isValid(), qPrintable(m_x->errorString()));
    }

    void init()
    {
        QVERIFY(m_server.clearFault());
        QVERIFY(m_server.clearUpdate());
    }

    // A chat while in the tray: a toast, the window asking for attention, the chat stored unread.
    void chatWhileHiddenShowsToastAndAsksForAttention()
    {
        const QString account = QStringLiteral("user002");
        const qint64 id = m_server.userId(account);
        AppClient client(*m_x, m_server);
        QVERIFY(inTray(client, account));

        const DevRoom room = m_server.rooms(id, true).value(0);
        QVERIFY(!m_server.chat(room.roomId, room.otherThan(id), "While you were away").isEmpty());
        const QString unread =
            kUnread.arg(room.topic) + QStringLiteral(" AND content='While you were away'");
        QTRY_COMPARE_WITH_TIMEOUT(
            (HiddenChat{int(client.toasts().size()), client.store(account).number(unread),
                        m_x->wmState(client.mainWindow()),
                        m_x->demandsAttention(client.mainWindow()),
                        QFile::exists(client.tempDir() + QStringLiteral("/veltri_alarm.wav"))}),
            (HiddenChat{1, 1, QStringLiteral("Iconic"), true, true}), kWait);
    }

    // The idle lock locks the client left alone, not the one in use; a wrong password is refused.
    void idleLockThenWrongPasswordIsRefused()
    {
        const qint64 idleId =
            m_server.addUser(QStringLiteral("Ida Idle"), QStringLiteral("idaidle"));
        const qint64 busyId = m_server.addUser(QStringLiteral("Bo Busy"), QStringLiteral("bobusy"));
        const qint64 thirdId =
            m_server.addUser(QStringLiteral("Kim Lowe"), QStringLiteral("kimlowe"));
        QVERIFY(m_server.addRoom(idleId, {busyId, thirdId}).roomId > 0);
        AppClient busy(*m_x, m_server);
        m_locked = std::make_unique<AppClient>(*m_x, m_server);
        AppClient& idle = *m_locked;
        busy.presetSetting(QStringLiteral("Settings/AutoLock"), 1);
        idle.presetSetting(QStringLiteral("Settings/AutoLock"), 1);
        QVERIFY(!busy.logIn(QStringLiteral("bobusy"), 0).isEmpty());
        const QString busyRoom = busy.openRoom(QStringLiteral("Kim Lowe"));
        QVERIFY(!busyRoom.isEmpty());
        m_lockedDevice = idle.logIn(QStringLiteral("idaidle"), 800);
        QVERIFY(!m_lockedDevice.isEmpty());
        QVERIFY(!idle.openRoom(QStringLiteral("Kim Lowe")).isEmpty());
        // From here on the idle client gets no input at all.
        QVERIFY(idleUntil(busy, busyRoom,
                          [&] { return idle.windows(QStringLiteral("Kim Lowe")).isEmpty(); }));
        const IdleLock locked{int(busy.windows(QStringLiteral("Kim Lowe")).size()),
                              m_x->isViewable(idle.mainWindow())};
        QCOMPARE(locked, (IdleLock{1, true}));

        m_refusedSince = m_server.lastRequestSeq();
        QVERIFY(idle.click(idle.mainWindow(), kLockField));
        QVERIFY(idle.typeInto(idle.mainWindow(), QStringLiteral("Wrong-pass1"), QString()));
        QVERIFY(idle.click(idle.mainWindow(), kUnlockButton));
        QTRY_COMPARE_WITH_TIMEOUT(idle.boxes().size(), 1, kWait);
        QCOMPARE(
            m_server.logins(m_refusedSince),
            (QVector<DevLogin>{{QStringLiteral("idaidle"), QStringLiteral("0"), m_lockedDevice}}));
        QVERIFY(idle.typeInto(idle.boxes().value(0), QString(), QStringLiteral("Return")));
    }

    // Ended or taken-over sessions remove the account at the next keep-alive; a notice alone does
    // not.
    void forcedLogoutAndTakeOverRemoveAccounts()
    {
        const QString forced = QStringLiteral("user005");
        const QString taken = QStringLiteral("user006");
        const QString noticed = QStringLiteral("user009");
        AppClient forcedClient(*m_x, m_server);
        AppClient first(*m_x, m_server);
        AppClient second(*m_x, m_server);
        AppClient noticedClient(*m_x, m_server);
        // Each window to the tray once logged in: the next client's window opens where it was.
        const QString noticedDevice = noticedClient.logIn(noticed);
        QVERIFY(!noticedDevice.isEmpty() && toTray(noticedClient));
        QVERIFY(inTray(forcedClient, forced));
        const QString firstDevice = first.logIn(taken);
        QVERIFY(!firstDevice.isEmpty() && toTray(first));
        QVERIFY(QFile::exists(forcedClient.databasePath(forced) + QStringLiteral("-wal")));

        QVERIFY(m_server.logout(m_server.userId(forced), true));
        const qint64 noticeSince = m_server.lastRequestSeq();
        QVERIFY(m_server.logout(m_server.userId(noticed), false));

        const qint64 since = m_server.lastRequestSeq();
        QVERIFY(typedLogin(second, taken));
        // "You are already logged in. Continue to login?"
        QTRY_COMPARE_WITH_TIMEOUT(second.boxes().size(), 1, kWait);
        QVERIFY(second.typeInto(second.boxes().value(0), QString(), QStringLiteral("Return")));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.logins(since).size(), 2, kWait);
        QVector<DevLogin> forms = m_server.logins(since);
        for (DevLogin& form : forms)
            form.deviceId.clear();
        QCOMPARE(forms, (QVector<DevLogin>{{taken, "0", {}}, {taken, "1", {}}}));
        const auto removed = [](const AppClient& c, const QString& account) {
            const QString db = c.databasePath(account);
            return RemovedAccount{c.setting(QStringLiteral("Settings/AutologinAccount")).toString(),
                                  c.setting(QStringLiteral("Settings/DeviceID")).toString(),
                                  int(c.boxes().size()),
                                  QFile::exists(db),
                                  QFile::exists(db + QStringLiteral("-wal")),
                                  QFile::exists(db + QStringLiteral("-shm")),
                                  c.isRunning()};
        };
        const RemovedAccount expected{QString(), QString(), 1, false, false, false, true};
        QTRY_COMPARE_WITH_TIMEOUT(removed(forcedClient, forced), expected, kPingWait);
        QTRY_COMPARE_WITH_TIMEOUT(removed(first, taken), expected, kPingWait);

        // Logged in first, its keep-alive after the notice came before the others' ones.
        QTRY_VERIFY_WITH_TIMEOUT(m_server.answeredPings(noticedDevice, noticeSince) > 0, kPingWait);
        QCOMPARE(sessionView(noticedClient, noticed, noticedDevice),
                 (SessionView{0, false, true, true, true}));
    }

    // After the forced logout, whose own keep-alives take more than a minute: the refused client
    // is still locked, its session alive, its next keep-alive answered.
    void refusedUnlockKeepsPinging()
    {
        QVERIFY2(m_locked, "the idle lock scenario left no client");
        QTRY_VERIFY_WITH_TIMEOUT(m_server.answeredPings(m_lockedDevice, m_refusedSince) > 0,
                                 kPingWait);
        QCOMPARE(sessionView(*m_locked, QStringLiteral("idaidle"), m_lockedDevice),
                 (SessionView{0, false, true, true, true}));
        QCOMPARE(m_server.requestsOf(m_lockedDevice, m_refusedSince),
                 (QVector<DevRequest>{{"POST", "/rest/auth"}}));
        m_locked.reset();
    }

    void updateAtVersionRefusal_data()
    {
        QTest::addColumn<QString>("package");
        QTest::addColumn<Update>("expected");
        const QString served = QStringLiteral("VeltriTalk-Setup-99999.exe");
        QTest::newRow("downloaded, handed to the opener, the program ends")
            << served << Update{false, true, 0, 0, {served}, {served}};
        // "Download error": nothing left nor opened, the program stays.
        QTest::newRow("a link the server refuses (404)")
            << QStringLiteral("Bad~Name.exe") << Update{true, false, 0, 0, {}, {}};
    }

    // A version refusal at login: the update behind its link.
    void updateAtVersionRefusal()
    {
        QFETCH(QString, package);
        QFETCH(Update, expected);
        const QString link =
            QStringLiteral("https://localhost:%1/download/").arg(m_server.restPort()) + package;
        QVERIFY(m_server.setUpdate(DevUpdate{99999, link}));
        QProcess curl;
        curl.start(QStringLiteral("curl"),
                   {"-sSf", "--cacert", m_server.caFile(), "-o", "-", link});
        QVERIFY(curl.waitForFinished(kWait));
        const QByteArray served = curl.readAllStandardOutput();

        AppClient client(*m_x, m_server);
        QVERIFY(typedLogin(client, QStringLiteral("user007")));
        // "The latest version is updated. Use the latest version."
        QTRY_COMPARE_WITH_TIMEOUT(client.boxes().size(), 1, kWait);
        QVERIFY(client.typeInto(client.boxes().value(0), QString(), QStringLiteral("Return")));
        // The download dialog and over it "Completed" or the error, which has the focus.
        QTRY_COMPARE_WITH_TIMEOUT(client.boxes().size(), 2, kWait);
        QVERIFY(client.keyToActive(QStringLiteral("Return")));
        const QDir cache(client.cacheDir());
        const auto seen = [&] {
            QStringList opened;
            for (const QString& url : client.opened())
                opened << cache.relativeFilePath(QUrl(url).toLocalFile());
            QFile file(cache.filePath(opened.value(0)));
            return Update{client.isRunning(),
                          file.open(QIODevice::ReadOnly) && file.readAll() == served,
                          client.process().exitCode(),
                          int(client.boxes().size()),
                          cache.entryList(QDir::Files),
                          opened};
        };
        // The opener runs detached: it may write after the program has gone.
        QTRY_COMPARE_WITH_TIMEOUT(seen(), expected, kWait);
    }

    // Log off while the rooms request hangs: its late failure is ignored; a refused login the
    // sentinel.
    void logOffWhileRoomsAreFetched()
    {
        const QString account = QStringLiteral("user008");
        const qint64 id = m_server.userId(account);
        QVERIFY(m_server.fail(DevFault::hang(QStringLiteral("/rest/chatt/room/"))));
        AppClient client(*m_x, m_server);
        const qint64 since = m_server.lastRequestSeq();
        QVERIFY(typedLogin(client, account));
        QTRY_COMPARE_WITH_TIMEOUT(
            m_server.requests(QStringLiteral("/rest/chatt/room/") + QString::number(id), since)
                .size(),
            1, kWait);
        const QString device = m_server.logins(since).value(0).deviceId;
        // Logged in (the rooms are asked for after the login's answer), its messaging session not
        // started before the room list is in: Open, Lock Mode, Log off, Exit.
        QVERIFY(client.pickTrayEntry(2));
        QTRY_VERIFY_WITH_TIMEOUT(!m_server.session(id, device)["connected"].toBool(), kWait);
        // The hung request now gets its 503.
        QVERIFY(m_server.clearFault());

        const qint64 sentinel = m_server.lastRequestSeq();
        QVERIFY(client.typeLogin(account, QStringLiteral("Wrong-pass1")));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.logins(sentinel).size(), 1, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(client.boxes().size(), 1, kWait);
        const QJsonObject live = m_server.session(id, device);
        const LoggedOff seen{
            client.store(account).column(QStringLiteral("SELECT key FROM TTT_MTDATA ORDER BY key")),
            live["ended"].isObject(), live["connected"].toBool(), client.isRunning()};
        QCOMPARE(seen, (LoggedOff{{QStringLiteral("12")}, false, false, true}));
    }

private:
    // Moves the pointer over a window of the busy client every few seconds until `done`.
    bool idleUntil(const AppClient& busy, const QString& window, const std::function<bool()>& done)
    {
        // Well past the idle lock's minute.
        QDeadlineTimer deadline(150000);
        const QPoint points[] = {QPoint(150, 250), QPoint(200, 300)};
        for (int moves = 0; !waitUntil(done, 5000); ++moves) {
            if (deadline.hasExpired() || !busy.pointAt(window, points[moves % 2]))
                return false;
        }
        return true;
    }

    SessionView sessionView(AppClient& client, const QString& account, const QString& device)
    {
        const QJsonObject live = m_server.session(m_server.userId(account), device);
        return SessionView{int(client.boxes().size()), live["ended"].isObject(),
                           live["connected"].toBool(), QFile::exists(client.databasePath(account)),
                           client.isRunning()};
    }

    // Escape closes the main window to the tray; true once it is gone from the screen.
    bool toTray(AppClient& client)
    {
        return client.typeInto(client.mainWindow(), QString(), QStringLiteral("Escape")) &&
               waitUntil([&] { return !m_x->isViewable(client.mainWindow()); }, kWait);
    }

    // A client logged in to `account`, its window then closed to the tray.
    bool inTray(AppClient& client, const QString& account)
    {
        return !client.logIn(account).isEmpty() && toTray(client);
    }

    // A client started with the login typed, not waiting for its outcome.
    bool typedLogin(AppClient& client, const QString& account)
    {
        return client.start() && client.typeLogin(account, DevServer::kPassword);
    }

    DevServer m_server;
    std::unique_ptr<XSession> m_x;
    // The idle client left at its lock page after a refused password, for the keep-alives after.
    std::unique_ptr<AppClient> m_locked;
    QString m_lockedDevice;
    qint64 m_refusedSince = 0;
};

QTEST_GUILESS_MAIN(TestScenarios)
#include "tst_scenarios.moc"
