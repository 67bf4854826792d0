// The main window's own rules against the reference server; whole journeys are the scenarios'.
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
#include "notify/toaststack.h"
#include "resources/mtresources.h"
#include "session/localsettings.h"
#include "session/mtsession.h"
#include "store/mtdata.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mtsearchlineedit.h"

#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {
const QString kPassword = QStringLiteral("Passw0rd!");
constexpr int kLoginWait = 60000;

// The window shown, every box it raises answered (OK or Cancel) and counted.
class ShownWindow : public QObject
{
public:
    explicit ShownWindow(const ServerConfig& config, bool accept = true)
        : dialog(config), m_accept(accept)
    {
        qApp->installEventFilter(this);
        dialog.show();
    }
    ~ShownWindow() override { qApp->removeEventFilter(this); }
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
    bool loginAs(const QString& account)
    {
        child<QLineEdit>("idLineEdit")->setText(account);
        child<QLineEdit>("passwordLineEdit")->setText(kPassword);
        QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
        return waitUntil([&] { return dialog.currentPage() == MainDialog::RoomListPage; },
                         kLoginWait);
    }
    MainDialog dialog;
    int boxes = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<MtMessageDialog*>(watched);
        if (box && event->type() == QEvent::Show) {
            ++boxes;
            QMetaObject::invokeMethod(box, m_accept ? "accept" : "reject", Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool m_accept;
};

// Where a refused login leaves the window.
struct LoginView
{
    int page = MainDialog::LoginPage;
    bool loginEnabled = true;
    int boxes = 0;
    int logins = 0; // login requests the server received
    MT_TYPED(LoginView, page, loginEnabled, boxes, logins)
};
// What was typed, the version the server asks for, and the view afterwards.
struct LoginRow
{
    QString account, password;
    int minVersion = 0;
    LoginView expected;
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

// The user's settings as the file holds them, and where a new window opens.
struct SettingsView
{
    int autoLock = LocalSettings::kAutoLockOff;
    int alarmType = LocalSettings::AlarmSoundAndWindow;
    QRect geometry;
    MT_TYPED(SettingsView, autoLock, alarmType, geometry)
};
// The settings and place given to a window, and what a new window finds.
struct SettingsRow
{
    SettingsView given, expected;
};
} // namespace

Q_DECLARE_METATYPE(LoginRow)
Q_DECLARE_METATYPE(SettingsRow)

class TestMainDialog : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    ServerConfig m_config;

    int logins(qint64 since) { return m_server.logins(since).size(); }
    // REST paths after `since` up to a fresh ping: proves the action sent nothing before it.
    QStringList requestsUntilPing(MainDialog& d, qint64 since)
    {
        d.session()->ping();
        QStringList paths;
        waitUntil([&] {
            paths.clear();
            for (const QJsonValue& r : m_server.requests(QStringLiteral("/rest"), since))
                paths << r["path"].toString();
            return paths.contains(QStringLiteral("/rest/auth/ping"));
        });
        return paths;
    }
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

    // Close and Escape hide to the tray, only Exit quits; another start's "show" restores it.
    void closeKeepsTheProgramInTheTray()
    {
        ShownWindow w(m_config);
        QVERIFY(w.started());
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        QTest::mouseClick(w.child<QPushButton>("closeButton"), Qt::LeftButton);
        const bool hiddenByClose = w.dialog.isHidden();
        w.dialog.show();
        QTest::keyClick(&w.dialog, Qt::Key_Escape);
        const bool hiddenByEscape = w.dialog.isHidden();
        // Another start of the program shows the window only when it asks to.
        w.dialog.messageReceivedFromApplication(QStringLiteral("other"));
        const bool hiddenByOther = w.dialog.isHidden();
        w.dialog.showMinimized();
        w.dialog.messageReceivedFromApplication(QStringLiteral("show"));
        QCOMPARE((QVector<bool>{hiddenByClose, hiddenByEscape, w.dialog.trayIcon()->isVisible(),
                                quitting.isEmpty(), hiddenByOther,
                                w.dialog.isVisible() && !w.dialog.isMinimized()}),
                 (QVector<bool>{true, true, true, true, true, true}));
    }

    // Return in the password field; the login page stays usable after each refusal.
    void refusedLogin_data()
    {
        QTest::addColumn<LoginRow>("row");
        QTest::newRow("empty id") << LoginRow{"", kPassword, 0, {0, true, 1, 0}};
        QTest::newRow("empty password") << LoginRow{"user002", "", 0, {0, true, 1, 0}};
        QTest::newRow("wrong password, sent once")
            << LoginRow{"user002", "Passw0rd?", 0, {0, true, 1, 1}};
        // The question is declined: no update is downloaded.
        QTest::newRow("version refused, update declined")
            << LoginRow{"user003", kPassword, 99999, {0, true, 1, 1}};
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
        QVERIFY(waitUntil([&] { return w.boxes > 0; }, kLoginWait));
        auto* button = w.child<QPushButton>("loginButton");
        QVERIFY(waitUntil([&] { return button->isEnabled(); }));
        QCOMPARE((LoginView{w.dialog.currentPage(), button->isEnabled(), w.boxes, logins(since)}),
                 row.expected);
    }

    // A question (update, take over) over a notice is asked on top, not dropped like a notice.
    void questionOverANotice_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<int>("minVersion");
        QTest::newRow("update") << "user010" << 99999;
        QTest::newRow("take over") << "user011" << 0;
    }
    void questionOverANotice()
    {
        QFETCH(QString, account);
        QFETCH(int, minVersion);
        QVERIFY(m_server.setUpdate(DevUpdate{minVersion, {}, -1, false, 0}));
        m_server.control("POST", "/control/session",
                         QJsonObject{{"userId", m_server.userId(account)},
                                     {"deviceModel", "PC"},
                                     {"deviceId", "other-pc"}});
        ShownWindow w(m_config, false);
        QVERIFY(w.started());
        w.child<QLineEdit>("idLineEdit")->setText(account);
        w.child<QLineEdit>("passwordLineEdit")->setText(kPassword);
        // The login's answers come inside the notice's turn, as in a box's own event loop.
        w.dialog.notices().run([&] {
            QTest::mouseClick(w.child<QPushButton>("loginButton"), Qt::LeftButton);
            return int(waitUntil([&] { return w.boxes > 0; }, kLoginWait));
        });
        QCOMPARE(w.boxes, 1);
    }

    // A wrong password keeps lock and session, text selected; the lock closes windows and toasts.
    void lockRules()
    {
        ShownWindow w(m_config);
        MainDialog& dialog = w.dialog;
        QVERIFY(w.started());
        QVERIFY(w.loginAs(QStringLiteral("user005")));
        auto* field = w.child<QLineEdit>("lockPasswordLineEdit");
        const auto view = [&] {
            return LockView{dialog.currentPage(), dialog.chatWindows()->count(),
                            int(dialog.toasts()->toasts().size()),
                            dialog.session()->state().isLoggedIn(), w.boxes};
        };
        dialog.clickedLockMode();
        const qint64 since = m_server.lastRequestSeq();
        QTest::keyClicks(field, QStringLiteral("Passw0rd?"));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(waitUntil([&] { return w.boxes > 0; }, kLoginWait));
        QCOMPARE(view(), (LockView{2, 0, 0, true, 1}));
        QCOMPARE(logins(since), 1);
        // The next try is typed straight into the field, never into "Logout".
        QTRY_COMPARE((QVariantList{dialog.focusWidget() == field, field->selectedText()}),
                     (QVariantList{true, "Passw0rd?"}));

        field->setText(kPassword);
        QTest::mouseClick(w.child<QPushButton>("unlockButton"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(view(), (LockView{1, 0, 0, true, 1}), kLoginWait);

        ChatRoomList* list = dialog.chatRoomList();
        const QString topic = list->topics().value(0);
        dialog.itemDoubleClickedFromChatRoomListWidget(list->chatRoomItem(topic));
        NotifyRequest notice;
        notice.topic = list->topics().value(1);
        notice.senderName = QStringLiteral("Someone");
        notice.text = QStringLiteral("Are you there?");
        notice.notice.toast = true;
        dialog.addedNewChatMessage(notice);
        QTRY_COMPARE_WITH_TIMEOUT(view(), (LockView{1, 1, 1, true, 1}), 10000);

        dialog.clickedLockMode();
        QTRY_COMPARE_WITH_TIMEOUT(view(), (LockView{2, 0, 0, true, 1}), 10000);
        dialog.openChatDialog(topic);
        dialog.itemDoubleClickedFromChatRoomListWidget(list->chatRoomItem(topic));
        QCOMPARE(view(), (LockView{2, 0, 0, true, 1}));
    }

    // A stored session only pings before the password; a failed room list keeps the lock page.
    void restartWithStoredSessionOpensTheLockPage()
    {
        const QString account = QStringLiteral("user007");
        {
            ShownWindow first(m_config);
            QVERIFY(first.started());
            QVERIFY(first.child<QCheckBox>("autoLoginCheckBox")->isChecked());
            QVERIFY(first.loginAs(account));
        }
        const qint64 since = m_server.lastRequestSeq();
        ShownWindow w(m_config);
        MainDialog& dialog = w.dialog;
        QTRY_COMPARE_WITH_TIMEOUT(dialog.currentPage(), int(MainDialog::LockPage), 10000);
        QCOMPARE(w.child<QLabel>("lockAccntLabel")->text(), account);
        QCOMPARE(requestsUntilPing(dialog, since), QStringList{"/rest/auth/ping"});
        DevFault fault = DevFault::error(QStringLiteral("/rest/chatt/room/"), 500);
        fault.count = 1;
        QVERIFY(m_server.fail(fault));
        auto* field = w.child<QLineEdit>("lockPasswordLineEdit");
        QTest::keyClicks(field, kPassword);
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(waitUntil([&] { return w.boxes > 0; }, kLoginWait));
        auto* unlock = w.child<QPushButton>("unlockButton");
        QVERIFY(waitUntil([&] { return unlock->isEnabled(); }));
        QCOMPARE(
            (AttemptView{dialog.currentPage(), w.boxes, field->text(),
                         LocalSettings(settingsFile()).autologinAccount(), unlock->isEnabled()}),
            (AttemptView{MainDialog::LockPage, 1, kPassword, account, true}));
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.currentPage(), int(MainDialog::RoomListPage), kLoginWait);
        QCOMPARE(dialog.chatRoomList()->count(),
                 m_server.control("GET", "/control/rooms?userId=1007").toArray().size());
    }

    // A failed directory keeps the login page usable (the retry used to be ignored); then log off.
    void loginAfterFailedDirectoryThenLogOff()
    {
        const QString account = QStringLiteral("user008");
        ShownWindow w(m_config);
        MainDialog& dialog = w.dialog;
        QVERIFY(w.started());
        DevFault fault = DevFault::error(QStringLiteral("/rest/cache/"), 500);
        fault.count = 1;
        QVERIFY(m_server.fail(fault));
        auto* login = w.child<QPushButton>("loginButton");
        w.child<QLineEdit>("idLineEdit")->setText(account);
        w.child<QLineEdit>("passwordLineEdit")->setText(kPassword);
        QTest::mouseClick(login, Qt::LeftButton);
        QVERIFY(waitUntil([&] { return w.boxes > 0 && login->isEnabled(); }, kLoginWait));
        QCOMPARE(
            (AttemptView{dialog.currentPage(), w.boxes, w.child<QLineEdit>("idLineEdit")->text(),
                         LocalSettings(settingsFile()).autologinAccount(), login->isEnabled()}),
            (AttemptView{MainDialog::LoginPage, 1, account, account, true}));
        QTest::mouseClick(login, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.currentPage(), int(MainDialog::RoomListPage), kLoginWait);
        // The floating new-chat button covers no row: the rows end above it.
        ChatRoomList* list = dialog.chatRoomList();
        const QPoint rowsEnd =
            list->viewport()->mapTo(&dialog, list->viewport()->rect().bottomLeft());
        QVERIFY(rowsEnd.y() < w.child<QPushButton>("chatPopupButton")->geometry().top());

        QCOMPARE(dialog.settings()->autologinAccount(), account);
        auto* search = dialog.findChild<MtSearchLineEdit*>(QStringLiteral("searchLineEdit"));
        search->setText(QStringLiteral("no room is called this"));
        QCOMPARE(list->visibleTopics(), QStringList());
        QTest::mouseClick(w.child<QPushButton>("alarmButton"), Qt::LeftButton);
        QCOMPARE((QVector<bool>{dialog.alarmOn(), dialog.session()->mtData()->alarm()}),
                 (QVector<bool>{false, false}));
        dialog.clickedLogout();
        QCOMPARE((QStringList{QString::number(dialog.currentPage()),
                              LocalSettings(settingsFile()).autologinAccount(),
                              w.child<QLineEdit>("idLineEdit")->text()}),
                 (QStringList{"0", "", ""}));
    }

    // A change the settings file cannot keep still applies now, and the user is told.
    void unstoredSettingStillApplies()
    {
        ShownWindow w(m_config);
        QVERIFY(w.started());
        {
            const FileSizeLimit limit(16);
            w.dialog.updateSettings(0, 7);
        }
        QCOMPARE((QVector<int>{w.dialog.globalEventFilter()->lockTimeout(), w.boxes}),
                 (QVector<int>{7 * GlobalEventFilter::kMsecPerMinute, 1}));
    }

    void settingsOutliveTheWindow_data()
    {
        QTest::addColumn<SettingsRow>("row");
        // A window off the 800 x 600 offscreen screen keeps only its size.
        const QRect placed(120, 80, 340, 480);
        QTest::newRow("on the screen") << SettingsRow{{3, 0, placed}, {3, 0, placed}};
        QTest::newRow("partly off the screen")
            << SettingsRow{{-1, 1, QRect(600, 300, 340, 480)}, {-1, 1, QRect(0, 0, 340, 480)}};
    }
    void settingsOutliveTheWindow()
    {
        QFETCH(SettingsRow, row);
        {
            ShownWindow w(m_config);
            QVERIFY(w.started());
            w.dialog.updateSettings(0, row.given.autoLock);
            w.dialog.updateSettings(2, row.given.alarmType);
            w.dialog.setGeometry(row.given.geometry);
            // The position is written once the window has rested for a second.
            QTRY_COMPARE_WITH_TIMEOUT(LocalSettings(settingsFile()).windowGeometry(),
                                      row.given.geometry, 10000);
        }
        MainDialog dialog(m_config);
        const LocalSettings stored(settingsFile());
        QCOMPARE((SettingsView{stored.autoLock(), stored.alarmType(), dialog.geometry()}),
                 row.expected);
    }
};

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
