// The main window's own rules against the reference server; whole journeys are the scenarios'.
#include "common/boxanswerer.h"
#include "common/devserver.h"
#include "common/filesizelimit.h"
#include "common/testenv.h"
#include "common/typed.h"
#include "common/wait.h"

#include "main/chatroomlist.h"
#include "main/chatroomlistwidgetitem.h"
#include "main/chatwindows.h"
#include "main/globaleventfilter.h"
#include "main/maindialog.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "notify/toaststack.h"
#include "resources/mtresources.h"
#include "session/localsettings.h"
#include "session/mtsession.h"
#include "session/sessionrequest.h"
#include "store/mtdata.h"

#include <QApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QString& kPassword = DevServer::kPassword;
constexpr int kLoginWait = 60000;
} // namespace

// The window shown, every box it raises answered (OK or Cancel) and counted. Outside the unnamed
// namespace: the test functions' lambdas capture it.
struct ShownWindow
{
    explicit ShownWindow(const ServerConfig& config, bool accept = true)
        : dialog(config), answerer([] {}, accept ? "okButton" : "cancelButton")
    {
        dialog.show();
    }
    template <typename T>
    T* child(const char* name) const
    {
        return dialog.findChild<T*>(QLatin1String(name));
    }
    // initUi runs once the window's event loop turns; it shows the version.
    bool started() const
    {
        return waitUntil(
            [&] { return child<QLabel>("msgLabel")->text() == QLatin1String(MTData::kVersion); },
            10000);
    }
    void fill(const QString& account, const QString& password = kPassword) const
    {
        child<QLineEdit>("idLineEdit")->setText(account);
        child<QLineEdit>("passwordLineEdit")->setText(password);
    }
    bool loginAs(const QString& account)
    {
        fill(account);
        QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
        return waitUntil([&] { return dialog.currentPage() == MainDialog::RoomListPage; },
                         kLoginWait);
    }
    int boxes() const { return int(answerer.texts.size()); }
    MainDialog dialog;
    BoxAnswerer answerer;
};

namespace {
// Where a refused login leaves the window.
struct LoginView
{
    int page = MainDialog::LoginPage;
    bool loginEnabled = true;
    int boxes = 1;
    int logins = 0; // login requests the server received
    MT_TYPED(LoginView, page, loginEnabled, boxes, logins)
};
// What was typed, the version the server asks for, and the logins it receives.
struct LoginRow
{
    QString account, password;
    int minVersion = 0;
    int logins = 0;
};

// What the lock leaves open.
struct LockView
{
    int page = MainDialog::LoginPage, chatWindows = 0, toasts = 0;
    bool loggedIn = false;
    int boxes = 0;
    MT_TYPED(LockView, page, chatWindows, toasts, loggedIn, boxes)
};

// Where a login or unlock whose directory or room list failed leaves the window.
struct AttemptView
{
    int page = MainDialog::LoginPage, boxes = 0;
    QString typed;       // the account (login page) or password (lock page) as typed
    QString autoAccount; // the stored account for automatic login
    bool retryEnabled = false;
    MT_TYPED(AttemptView, page, boxes, typed, autoAccount, retryEnabled)
};

// The settings file and a new window's lock time and boxes, and what its close left.
struct SettingsView
{
    int autoLock = LocalSettings::kAutoLockOff;
    int alarmType = LocalSettings::AlarmSoundAndWindow;
    int lockTimeout = 0, boxes = 0;
    bool hidden = false, inTray = false, quit = false;
    MT_TYPED(SettingsView, autoLock, alarmType, lockTimeout, boxes, hidden, inTray, quit)
};
} // namespace

Q_DECLARE_METATYPE(LoginRow)

class TestMainDialog : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    ServerConfig m_config;

    int logins(qint64 since) { return m_server.logins(since).size(); }
    static QString settingsFile() { return LocalSettings::defaultFilePath(); }

private slots:
    void initTestCase()
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        mtInitResources();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_config = ServerConfig::fromFile(m_server.clientIni());
    }
    // Every window starts without an account for automatic login.
    void init() { QFile::remove(settingsFile()); }
    void cleanup() { m_server.clearUpdate(); }

    // Return in the password field; the login page stays usable after each refusal.
    void refusedLogin_data()
    {
        QTest::addColumn<LoginRow>("row");
        QTest::newRow("empty id") << LoginRow{"", kPassword, 0, 0};
        QTest::newRow("wrong password, sent once") << LoginRow{"user002", "Passw0rd?", 0, 1};
        // The question is declined: no update is downloaded.
        QTest::newRow("version refused, update declined")
            << LoginRow{"user003", kPassword, 99999, 1};
    }
    void refusedLogin()
    {
        QFETCH(LoginRow, row);
        QVERIFY(m_server.setUpdate(DevUpdate{row.minVersion, {}, -1, false, 0}));
        ShownWindow w(m_config, false);
        QVERIFY(w.started());
        const qint64 since = m_server.lastRequestSeq();
        w.child<QLineEdit>("idLineEdit")->setText(row.account);
        auto* field = w.child<QLineEdit>("passwordLineEdit");
        QTest::keyClicks(field, row.password);
        QTest::keyClick(field, Qt::Key_Return);
        auto* button = w.child<QPushButton>("loginButton");
        QTRY_COMPARE_WITH_TIMEOUT(
            (LoginView{w.dialog.currentPage(), button->isEnabled(), w.boxes(), logins(since)}),
            (LoginView{MainDialog::LoginPage, true, 1, row.logins}), kLoginWait);
    }

    // The login page opens the session's connections while the user types; the login and the
    // lists after it go over them.
    void loginOverConnectionsMadeAhead()
    {
        const int before = m_server.connectionsOpened();
        ShownWindow w(m_config);
        QVERIFY(w.started());
        QVERIFY(waitUntil(
            [&] { return m_server.connectionsOpened() == before + MtSession::kLoginConnections; }));
        const qint64 since = m_server.lastRequestSeq();
        QVERIFY(w.loginAs(QStringLiteral("user005")));
        QStringList madeOn;
        for (const QJsonValue& request : m_server.requests(QStringLiteral("/rest/"), since)) {
            const int connection = request["connection"].toInt();
            if (connection <= before || connection > before + MtSession::kLoginConnections)
                madeOn << request["path"].toString();
        }
        QCOMPARE(madeOn, QStringList());
    }

    // A question (update, take over) over a notice is asked on top, not dropped like a notice.
    void questionOverANotice_data()
    {
        QTest::addColumn<LoginRow>("row");
        QTest::newRow("update") << LoginRow{"user010", kPassword, 99999, 1};
        QTest::newRow("take over") << LoginRow{"user011", kPassword, 0, 1};
    }
    void questionOverANotice()
    {
        QFETCH(LoginRow, row);
        QVERIFY(m_server.setUpdate(DevUpdate{row.minVersion, {}, -1, false, 0}));
        m_server.control("POST", "/control/session",
                         QJsonObject{{"userId", m_server.userId(row.account)},
                                     {"deviceModel", "PC"},
                                     {"deviceId", "other-pc"}});
        ShownWindow w(m_config, false);
        QVERIFY(w.started());
        w.fill(row.account, row.password);
        // The login's answers come inside the notice's turn, as in a box's own event loop.
        w.dialog.notices().run([&] {
            QTest::mouseClick(w.child<QPushButton>("loginButton"), Qt::LeftButton);
            return int(waitUntil([&] { return w.boxes() > 0; }, kLoginWait));
        });
        QCOMPARE(w.boxes(), 1);
    }

    // A stored session only pings; a wrong password or failed room list keeps the lock page with
    // the text; the lock closes chat windows and toasts and nothing opens behind it.
    void lockRules()
    {
        const QString account = QStringLiteral("user007");
        {
            ShownWindow first(m_config);
            QVERIFY(first.started());
            QVERIFY(first.loginAs(account));
        }
        qint64 since = m_server.lastRequestSeq();
        ShownWindow w(m_config);
        MainDialog& dialog = w.dialog;
        QTRY_COMPARE_WITH_TIMEOUT(dialog.currentPage(), int(MainDialog::LockPage), 10000);
        // A fresh keep-alive answered: nothing else was sent before it.
        dialog.session()->ping();
        const QString device = LocalSettings(settingsFile()).deviceId();
        QVERIFY(waitUntil([&] { return m_server.answeredPings(device, since) > 0; }));
        QCOMPARE(m_server.requestsOf(device, since), QVector<DevRequest>());
        const auto view = [&] {
            return LockView{dialog.currentPage(), dialog.chatWindows()->count(),
                            int(dialog.toasts()->toasts().size()),
                            dialog.session()->state().isLoggedIn(), w.boxes()};
        };
        auto* field = w.child<QLineEdit>("lockPasswordLineEdit");
        since = m_server.lastRequestSeq();
        QTest::keyClicks(field, QStringLiteral("Passw0rd?"));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(waitUntil([&] { return w.boxes() > 0; }, kLoginWait));
        QCOMPARE(logins(since), 1);
        // The next try is typed straight into the field, never into "Logout".
        QTRY_COMPARE((QVariantList{dialog.focusWidget() == field, field->selectedText()}),
                     (QVariantList{true, "Passw0rd?"}));

        QVERIFY(m_server.fail(DevFault::error(QStringLiteral("/rest/chatt/room/"), 500, 0, 1)));
        QTest::keyClicks(field, kPassword);
        QTest::keyClick(field, Qt::Key_Return);
        auto* unlock = w.child<QPushButton>("unlockButton");
        QTRY_COMPARE_WITH_TIMEOUT(
            (AttemptView{dialog.currentPage(), w.boxes(), field->text(),
                         LocalSettings(settingsFile()).autologinAccount(), unlock->isEnabled()}),
            (AttemptView{MainDialog::LockPage, 2, kPassword, account, true}), kLoginWait);
        QTest::mouseClick(unlock, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(view(), (LockView{1, 0, 0, true, 2}), kLoginWait);
        ChatRoomList* list = dialog.chatRoomList();
        QCOMPARE(list->count(),
                 m_server.control("GET", "/control/rooms?userId=1007").toArray().size());

        const QString topic = list->topics().value(0);
        dialog.itemDoubleClickedFromChatRoomListWidget(list->chatRoomItem(topic));
        NotifyRequest notice;
        notice.topic = list->topics().value(1);
        notice.senderName = QStringLiteral("Someone");
        notice.text = QStringLiteral("Are you there?");
        notice.notice.toast = true;
        dialog.addedNewChatMessage(notice);
        QTRY_COMPARE_WITH_TIMEOUT(view(), (LockView{1, 1, 1, true, 2}), 10000);
        dialog.clickedLockMode();
        QTRY_COMPARE_WITH_TIMEOUT(view(), (LockView{2, 0, 0, true, 2}), 10000);
        dialog.openChatDialog(topic);
        dialog.itemDoubleClickedFromChatRoomListWidget(list->chatRoomItem(topic));
        QCOMPARE(view(), (LockView{2, 0, 0, true, 2}));
    }

    // While the room list is up the lock page's picture is only prefetched, behind the pictures of
    // the rows in view, and the pictures of every other room's row are fetched too, those of rooms
    // far below the view.
    void picturesOfEveryRoomAndOfTheLockPage()
    {
        // An account with a picture of its own.
        const QString account = QStringLiteral("user009");
        const QVector<DevRoom> rooms = m_server.bulk(account, 60, 0, false);
        QCOMPARE(rooms.size(), 60);
        const QStringList pictures = m_server.memberPictures(rooms, m_server.userId(account));
        ShownWindow w(m_config);
        QVERIFY(w.started());
        // Picture answer -> whether the lock page's label waited for it.
        QHash<QString, bool> answered;
        QLabel* label = w.child<QLabel>("lockImgLabel");
        connect(w.dialog.session()->net(), &NetServerManager::onImageSuccess, &w.dialog,
                [&](const QString& url, const QString&, QWidget* widget) {
                    answered.insert(url, widget == label);
                });
        QVERIFY(w.loginAs(account));
        const QString url = w.dialog.session()->mtData()->imageUrl();
        QVERIFY(waitUntil(
            [&] {
                return answered.contains(url) &&
                       std::all_of(pictures.cbegin(), pictures.cend(), [](const QString& url) {
                           return !FileManager::cachedFile(url).isEmpty();
                       });
            },
            kLoginWait));
        QCOMPARE(answered.value(url), false);
    }

    // The first rows' pictures are asked for before the list shows: by then the engine knows how
    // many rows the list's page shows at once, though that page was never shown before.
    void rowsShownAtOnceKnownBeforeTheListShows()
    {
        const QString account = QStringLiteral("user014");
        QCOMPARE(m_server.bulk(account, 20, 0, false).size(), 20);
        ShownWindow w(m_config);
        QVERIFY(w.started());
        int told = 0;
        connect(w.dialog.session(), &MtSession::loginSucceeded, &w.dialog,
                [&] { told = w.dialog.session()->net()->roomsShownAtOnce(); });
        QVERIFY(w.loginAs(account));
        QCOMPARE(told, int(w.dialog.chatRoomList()->rowsInView().size()));
    }

    // Only the user's moves of the window are written, not the window's own placement when it
    // shows or moves itself: that repeated what the next start works out again, with a disk sync
    // a second after the start, in the middle of a login.
    void ownPlacementNotWritten()
    {
        ShownWindow w(m_config);
        QVERIFY(w.started());
        w.dialog.move(w.dialog.pos() + QPoint(10, 10));
        QCOMPARE(w.child<QTimer>("positionTimer")->isActive(), false);
    }

    // A failed directory keeps the login page usable (the retry used to be ignored); then log off.
    void loginAfterFailedDirectoryThenLogOff()
    {
        const QString account = QStringLiteral("user008");
        ShownWindow w(m_config);
        MainDialog& dialog = w.dialog;
        QVERIFY(w.started());
        QVERIFY(m_server.fail(DevFault::error(QStringLiteral("/rest/cache/"), 500, 0, 1)));
        auto* login = w.child<QPushButton>("loginButton");
        w.fill(account);
        QTest::mouseClick(login, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(
            (AttemptView{dialog.currentPage(), w.boxes(), w.child<QLineEdit>("idLineEdit")->text(),
                         LocalSettings(settingsFile()).autologinAccount(), login->isEnabled()}),
            (AttemptView{MainDialog::LoginPage, 1, account, account, true}), kLoginWait);
        QTest::mouseClick(login, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.currentPage(), int(MainDialog::RoomListPage), kLoginWait);
        QTest::mouseClick(w.child<QPushButton>("alarmButton"), Qt::LeftButton);
        QCOMPARE((QVector<bool>{dialog.alarmOn(), dialog.session()->mtData()->alarm()}),
                 (QVector<bool>{false, false}));
        dialog.clickedLogout();
        QCOMPARE(dialog.currentPage(), int(MainDialog::LoginPage));
    }

    // A login whose rooms were shown before they were stored, and then failed (the store did
    // not take them), is back on the login page, usable, not on an empty room list.
    void failureAfterTheRoomsWereShown()
    {
        ShownWindow w(m_config);
        QVERIFY(w.started());
        // The failure comes after the stored rooms too: a later answer would show them again.
        QSignalSpy stored(w.dialog.session(), &MtSession::roomsReady);
        QVERIFY(w.loginAs(QStringLiteral("user013")));
        QVERIFY(waitUntil([&] { return !stored.isEmpty(); }, kLoginWait));
        emit w.dialog.session()->loginFailed(SessionRequest::ErrorNetwork, QStringLiteral("x"));
        QCOMPARE((QVector<bool>{w.dialog.currentPage() == MainDialog::LoginPage,
                                w.child<QPushButton>("loginButton")->isEnabled()}),
                 (QVector<bool>{true, true}));
    }

    // Settings outlive the window; one the file cannot keep still applies, told; close hides.
    void settingsOutliveTheWindow()
    {
        {
            ShownWindow w(m_config);
            QVERIFY(w.started());
            w.dialog.updateSettings(0, 3);
            w.dialog.updateSettings(2, 0);
        }
        ShownWindow w(m_config);
        QVERIFY(w.started());
        {
            const FileSizeLimit limit(16);
            w.dialog.updateSettings(0, 7);
        }
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        QTest::mouseClick(w.child<QPushButton>("closeButton"), Qt::LeftButton);
        const LocalSettings stored(settingsFile());
        QCOMPARE((SettingsView{stored.autoLock(), stored.alarmType(),
                               w.dialog.globalEventFilter()->lockTimeout(), w.boxes(),
                               w.dialog.isHidden(), w.dialog.trayIcon()->isVisible(),
                               !quitting.isEmpty()}),
                 (SettingsView{3, 0, 7 * GlobalEventFilter::kMsecPerMinute, 1, true, true, false}));
        w.dialog.messageReceivedFromApplication(QStringLiteral("show"));
        QCOMPARE(w.dialog.isVisible(), true);
    }
};

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
