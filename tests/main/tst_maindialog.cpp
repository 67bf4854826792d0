// The main window as the user handles it, against the reference server over TLS and its broker:
// the login page and its answers, the room list, a chat from another user while the window is
// hidden, lock and unlock, log off, a restart with a stored session, the menus per state and the
// settings that outlive the window.
#include "common/devserver.h"
#include "common/testenv.h"

#include "main/chatroomlist.h"
#include "main/chatroomlistwidgetitem.h"
#include "main/chatwindows.h"
#include "main/globaleventfilter.h"
#include "main/maindialog.h"
#include "notify/toastchatmessage.h"
#include "notify/toaststack.h"
#include "resources/mtresources.h"
#include "session/localsettings.h"
#include "session/mtsession.h"
#include "store/mtdata.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mtsearchlineedit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {
const QString kPassword = QStringLiteral("Passw0rd!");
const int kLoginTimeoutMs = 60000;

qint64 userIdOf(const QString& account)
{
    return 1000 + account.mid(4).toInt();
}

// Pressed on `w` at `at`, moved by `travel` and released; the move and the release go to the
// window, as they do while it grabs the mouse.
void drag(QWidget* w, const QPoint& at, const QPoint& travel)
{
    const auto send = [](QWidget* to, QEvent::Type type, const QPoint& local,
                         Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(local), QPointF(to->mapToGlobal(local)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(to, &event);
    };
    send(w, QEvent::MouseButtonPress, at, Qt::LeftButton);
    const QPoint end = w->mapTo(w->window(), at) + travel;
    send(w->window(), QEvent::MouseMove, end, Qt::LeftButton);
    send(w->window(), QEvent::MouseButtonRelease, end, Qt::NoButton);
}

// Answers every box of the program as it shows (OK or Cancel) and keeps its text.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(bool accept = true) : m_accept(accept) { qApp->installEventFilter(this); }
    ~BoxAnswerer() override { qApp->removeEventFilter(this); }
    QStringList texts;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<MtMessageDialog*>(watched);
        if (box && event->type() == QEvent::Show) {
            texts << box->text();
            QMetaObject::invokeMethod(box, m_accept ? "accept" : "reject", Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool m_accept;
};

// The window shown, with every box it raises answered.
struct ShownWindow
{
    explicit ShownWindow(const ServerConfig& config, bool accept = true)
        : boxes(accept), dialog(config)
    {
        dialog.show();
    }
    BoxAnswerer boxes;
    MainDialog dialog;
};

QStringList menuTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* a : menu ? menu->actions() : QList<QAction*>()) {
        if (!a->isSeparator())
            texts << a->text();
    }
    return texts;
}

// What the window shows.
struct WindowView
{
    int page = MainDialog::LoginPage;
    bool loginEnabled = true;
    int rows = 0;
    QStringList tray;
    QStringList mainMenu;
    QStringList notices;
    bool operator==(const WindowView& o) const
    {
        return page == o.page && loginEnabled == o.loginEnabled && rows == o.rows &&
               tray == o.tray && mainMenu == o.mainMenu && notices == o.notices;
    }
};

// What a chat from another user changed.
struct ReceiveView
{
    QString topRow;
    int unread = 0;
    QString rowText;
    QString toastTopic;
    QString toastTitle;
    QString toastText;
    bool windowShown = false;
    bool operator==(const ReceiveView& o) const
    {
        return topRow == o.topRow && unread == o.unread && rowText == o.rowText &&
               toastTopic == o.toastTopic && toastTitle == o.toastTitle &&
               toastText == o.toastText && windowShown == o.windowShown;
    }
};

// What the lock leaves open.
struct LockView
{
    int page = MainDialog::LoginPage;
    int chatWindows = 0;
    int toasts = 0;
    bool operator==(const LockView& o) const
    {
        return page == o.page && chatWindows == o.chatWindows && toasts == o.toasts;
    }
};

// The user's settings as the file holds them.
struct SettingsView
{
    int autoLock = LocalSettings::kAutoLockOff;
    int alarmType = LocalSettings::AlarmSoundAndWindow;
    QRect geometry;
    bool operator==(const SettingsView& o) const
    {
        return autoLock == o.autoLock && alarmType == o.alarmType && geometry == o.geometry;
    }
};

const QStringList kTrayLoggedOut{"Open", "Exit"};
const QStringList kTrayLoggedIn{"Open", "Lock Mode", "Log off", "Exit"};
const QStringList kTrayLocked{"Open", "Log off", "Exit"};
const QStringList kMenuLoggedOut{"Exit"};
const QStringList kMenuLoggedIn{"Create Chat", "Lock Mode", "Settings", "Log off", "Exit"};

// The window on each page, with the menus that page offers.
WindowView onLoginPage(const QStringList& notices = {})
{
    return {MainDialog::LoginPage, true, 0, kTrayLoggedOut, kMenuLoggedOut, notices};
}
WindowView onRoomList(bool loginEnabled, int rows, const QStringList& notices = {})
{
    return {MainDialog::RoomListPage, loginEnabled, rows, kTrayLoggedIn, kMenuLoggedIn, notices};
}
WindowView onLockPage(bool loginEnabled, int rows, const QStringList& notices = {})
{
    return {MainDialog::LockPage, loginEnabled, rows, kTrayLocked, kMenuLoggedOut, notices};
}
} // namespace

Q_DECLARE_METATYPE(WindowView)
Q_DECLARE_METATYPE(SettingsView)
namespace QTest {
template <>
inline char* toString(const WindowView& v)
{
    return qstrdup(qPrintable(
        QStringLiteral("page=%1 loginEnabled=%2 rows=%3 tray=[%4] mainMenu=[%5] notices=[%6]")
            .arg(v.page)
            .arg(v.loginEnabled)
            .arg(v.rows)
            .arg(v.tray.join(QLatin1Char(',')), v.mainMenu.join(QLatin1Char(',')),
                 v.notices.join(QLatin1Char('|')))));
}
template <>
inline char* toString(const ReceiveView& v)
{
    return qstrdup(qPrintable(QStringLiteral("topRow=%1 unread=%2 rowText=%3 toastTopic=%4 "
                                             "toastTitle=%5 toastText=%6 windowShown=%7")
                                  .arg(v.topRow)
                                  .arg(v.unread)
                                  .arg(v.rowText, v.toastTopic, v.toastTitle, v.toastText)
                                  .arg(v.windowShown)));
}
template <>
inline char* toString(const LockView& v)
{
    return qstrdup(qPrintable(QStringLiteral("page=%1 chatWindows=%2 toasts=%3")
                                  .arg(v.page)
                                  .arg(v.chatWindows)
                                  .arg(v.toasts)));
}
template <>
inline char* toString(const SettingsView& v)
{
    return qstrdup(qPrintable(QStringLiteral("autoLock=%1 alarmType=%2 geometry=%3,%4 %5x%6")
                                  .arg(v.autoLock)
                                  .arg(v.alarmType)
                                  .arg(v.geometry.x())
                                  .arg(v.geometry.y())
                                  .arg(v.geometry.width())
                                  .arg(v.geometry.height())));
}
} // namespace QTest

class TestMainDialog : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    ServerConfig m_config;

    template <typename T>
    static T* child(const MainDialog& d, const char* name)
    {
        return d.findChild<T*>(QLatin1String(name));
    }
    static WindowView view(ShownWindow& w)
    {
        MainDialog& d = w.dialog;
        std::unique_ptr<QMenu> menu(d.createMainMenu());
        return {d.currentPage(),           child<QPushButton>(d, "loginButton")->isEnabled(),
                d.chatRoomList()->count(), menuTexts(d.trayIcon()->contextMenu()),
                menuTexts(menu.get()),     w.boxes.texts};
    }
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!done() && !deadline.hasExpired())
            QTest::qWait(10);
        return done();
    }
    // Waits for initUi, which runs once the window's event loop turns.
    static bool started(const MainDialog& d)
    {
        return waitUntil(
            [&] { return child<QLabel>(d, "msgLabel")->text() == QLatin1String("1046"); }, 10000);
    }
    static void typeLogin(MainDialog& d, const QString& account, const QString& password)
    {
        child<QLineEdit>(d, "idLineEdit")->setText(account);
        child<QLineEdit>(d, "passwordLineEdit")->setText(password);
        QTest::mouseClick(child<QPushButton>(d, "loginButton"), Qt::LeftButton);
    }
    // The login ended: the rooms are shown, or the login page is usable again.
    static bool loginEnded(const MainDialog& d)
    {
        return waitUntil(
            [&] {
                return d.currentPage() == MainDialog::RoomListPage ||
                       child<QPushButton>(d, "loginButton")->isEnabled();
            },
            kLoginTimeoutMs);
    }
    // Waits for the window to start, then logs in and waits for the rooms.
    static bool loginAs(MainDialog& d, const QString& account)
    {
        if (!started(d))
            return false;
        typeLogin(d, account, kPassword);
        return waitUntil([&] { return d.currentPage() == MainDialog::RoomListPage; },
                         kLoginTimeoutMs);
    }
    int serverRoomCount(const QString& account)
    {
        return m_server
            .control("GET", "/control/rooms?userId=" + QString::number(userIdOf(account)))
            .toArray()
            .size();
    }
    // The topic of the one-to-one room of `account` with `other`.
    QString roomWith(const QString& account, const QString& other)
    {
        const QJsonArray rooms =
            m_server.control("GET", "/control/rooms?userId=" + QString::number(userIdOf(account)))
                .toArray();
        for (const QJsonValue& v : rooms) {
            const QJsonArray ids = v["memberIds"].toArray();
            if (ids.size() == 2 && ids.contains(int(userIdOf(other))) &&
                v["chattRoomType"].toString() != QLatin1String("10"))
                return v["topic"].toString();
        }
        return QString();
    }
    // Paths of the REST requests after `since`, up to and including the first ping: a ping
    // sent after an action proves that the action sent nothing before it.
    QStringList requestsUntilPing(MainDialog& d, qint64 since)
    {
        d.session()->ping();
        QStringList paths;
        QDeadlineTimer deadline(30000);
        while (!paths.contains(QStringLiteral("/rest/auth/ping")) && !deadline.hasExpired()) {
            QTest::qWait(20);
            paths.clear();
            for (const QJsonValue& r : m_server.requests(QStringLiteral("/rest"), since))
                paths << r["path"].toString();
        }
        return paths;
    }
    static QString settingsFile() { return LocalSettings::defaultFilePath(); }
    // The force flag of every login request after `since`, in order.
    QStringList forceFlags(qint64 since)
    {
        QStringList flags;
        for (const QJsonValue& r : m_server.requests(QStringLiteral("/rest/auth"), since)) {
            if (r["path"].toString() == QLatin1String("/rest/auth"))
                flags << r["form"]["forceYn"].toVariant().toString();
        }
        return flags;
    }

private slots:
    void initTestCase()
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        mtInitResources();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_config = ServerConfig::fromFile(m_server.clientIni());
    }
    void init()
    {
        // Every window starts without an account for automatic login.
        QFile::remove(settingsFile());
    }
    void cleanup()
    {
        m_server.clearUpdate();
        m_server.clearFault();
    }

    void movedByTitleResizedByEdge();
    void showMessageRestoresTheWindow();
    void closeKeepsTheProgramInTheTray();
    void login_data();
    void login();
    void returnInThePasswordFieldLogsInOnce();
    void takeOverAsksAndLogsIn();
    void chatFromAnotherUserWhileHidden();
    void lockAndUnlock();
    void lockClosesChatWindowsAndToasts();
    void idleLock();
    void logOffReturnsToTheLoginPage();
    void restartWithStoredSessionOpensTheLockPage();
    void settingsOutliveTheWindow_data();
    void settingsOutliveTheWindow();
};

void TestMainDialog::movedByTitleResizedByEdge()
{
    MainDialog dialog(m_config);
    dialog.setGeometry(100, 100, 360, 600);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    const QRect before = dialog.geometry();
    // The press lands on the title text and reaches the window, as a click on it would.
    auto* title = dialog.findChild<QLabel*>(QStringLiteral("titleLabel"));
    QVERIFY(title);
    drag(title, title->rect().center(), QPoint(30, 20));
    QCOMPARE(dialog.geometry(), before.translated(30, 20));
    drag(&dialog, QPoint(dialog.width() - 2, dialog.height() / 2), QPoint(40, 0));
    QCOMPARE(dialog.geometry(), before.translated(30, 20).adjusted(0, 0, 40, 0));
}

void TestMainDialog::showMessageRestoresTheWindow()
{
    MainDialog dialog(m_config);
    dialog.messageReceivedFromApplication(QStringLiteral("other"));
    QVERIFY(dialog.isHidden());
    dialog.showMinimized();
    dialog.messageReceivedFromApplication(QStringLiteral("show"));
    QVERIFY(dialog.isVisible() && !dialog.isMinimized());
}

void TestMainDialog::closeKeepsTheProgramInTheTray()
{
    MainDialog dialog(m_config);
    dialog.show();
    QVERIFY(started(dialog));
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    QTest::mouseClick(child<QPushButton>(dialog, "closeButton"), Qt::LeftButton);
    QVERIFY(dialog.isHidden());
    QVERIFY(dialog.trayIcon()->isVisible());
    // Escape hides it as well; Exit in the menu is the only way out.
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isHidden());
    QCOMPARE(quitting.count(), 0);
}

void TestMainDialog::login_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("minVersion");
    QTest::addColumn<WindowView>("expected");
    const QString refusal =
        QStringLiteral("The latest version is updated. Use the latest version.");
    QTest::newRow("right password")
        << "user001" << kPassword << 0 << onRoomList(false, serverRoomCount("user001"));
    QTest::newRow("empty id") << "" << kPassword << 0 << onLoginPage({"Please enter your ID"});
    QTest::newRow("empty password") << "user002"
                                    << "" << 0 << onLoginPage({"Please enter your Password"});
    QTest::newRow("version refused, update declined")
        << "user003" << kPassword << 1047 << onLoginPage({refusal});
}

void TestMainDialog::login()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(int, minVersion);
    QFETCH(WindowView, expected);
    QVERIFY(m_server.setUpdate(DevUpdate{minVersion, {}, -1, false, 0}));
    // Questions are declined: an update is not downloaded here.
    ShownWindow w(m_config, false);
    QVERIFY(started(w.dialog));
    typeLogin(w.dialog, account, password);
    QVERIFY(loginEnded(w.dialog));
    QCOMPARE(view(w), expected);
}

// Return in the password field sends one login; a wrong password leaves the login page usable.
void TestMainDialog::returnInThePasswordFieldLogsInOnce()
{
    ShownWindow w(m_config);
    QVERIFY(started(w.dialog));
    const qint64 since = m_server.lastRequestSeq();
    child<QLineEdit>(w.dialog, "idLineEdit")->setText(QStringLiteral("user002"));
    auto* password = child<QLineEdit>(w.dialog, "passwordLineEdit");
    QTest::keyClicks(password, QStringLiteral("Passw0rd?"));
    QTest::keyClick(password, Qt::Key_Return);
    QVERIFY(loginEnded(w.dialog));
    QCOMPARE(forceFlags(since), QStringList{"0"});
    QCOMPARE(view(w), onLoginPage({"The account or the password is wrong."}));
}

void TestMainDialog::takeOverAsksAndLogsIn()
{
    const QString account = QStringLiteral("user008");
    m_server.control("POST", "/control/session",
                     QJsonObject{{"userId", userIdOf(account)},
                                 {"deviceModel", "PC"},
                                 {"deviceId", "another-pc"}});
    ShownWindow w(m_config);
    const qint64 since = m_server.lastRequestSeq();
    QVERIFY(loginAs(w.dialog, account));
    QCOMPARE(forceFlags(since), (QStringList{"0", "1"}));
    QCOMPARE(view(w), onRoomList(false, serverRoomCount(account),
                                 {"You are already logged in. Continue to login?"}));
}

void TestMainDialog::chatFromAnotherUserWhileHidden()
{
    const QString account = QStringLiteral("user004");
    const QString topic = roomWith(account, QStringLiteral("user001"));
    QVERIFY(!topic.isEmpty());
    ShownWindow w(m_config);
    MainDialog& dialog = w.dialog;
    QVERIFY(loginAs(dialog, account));
    QTRY_VERIFY_WITH_TIMEOUT(
        dialog.session()->messaging() && dialog.session()->messaging()->isConnectedToHost(), 30000);
    dialog.hide();
    const QString text = QStringLiteral("Lunch at noon?");
    m_server.control("POST", "/control/chat",
                     QJsonObject{{"roomId", topic.section('/', 1).toInt()},
                                 {"userId", userIdOf("user001")},
                                 {"text", text}});
    QTRY_COMPARE_WITH_TIMEOUT(dialog.toasts()->toasts().size(), 1, 30000);
    const ToastChatMessage* toast = dialog.toasts()->toasts().value(0);
    const ChatRoomList* list = dialog.chatRoomList();
    const ChatRoomListWidgetItem* row = list->chatRoomItem(topic);
    QVERIFY(row);
    const QString sender = m_server.user(QStringLiteral("user001"))["userName"].toString();
    QCOMPARE((ReceiveView{list->topics().value(0), row->state().unread, row->state().lastText,
                          toast->topic(), toast->title(), toast->message(), dialog.isVisible()}),
             (ReceiveView{topic, 1, text, topic, sender, text, true}));
    QCOMPARE(w.boxes.texts, QStringList());
}

void TestMainDialog::lockAndUnlock()
{
    const QString account = QStringLiteral("user005");
    ShownWindow w(m_config);
    MainDialog& dialog = w.dialog;
    QVERIFY(loginAs(dialog, account));
    auto* field = child<QLineEdit>(dialog, "lockPasswordLineEdit");
    auto* unlock = child<QPushButton>(dialog, "unlockButton");

    dialog.clickedLockMode();
    QCOMPARE(view(w), onLockPage(false, serverRoomCount(account)));
    QCOMPARE(child<QLabel>(dialog, "lockAccntLabel")->text(), account);

    // Return in the password field sends nothing; only the button unlocks.
    const qint64 beforeReturn = m_server.lastRequestSeq();
    QTest::keyClicks(field, kPassword);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(requestsUntilPing(dialog, beforeReturn), QStringList{"/rest/auth/ping"});
    QCOMPARE(dialog.currentPage(), int(MainDialog::LockPage));

    // A wrong password keeps the lock page and the session behind it.
    field->setText(QStringLiteral("Passw0rd?"));
    QTest::mouseClick(unlock, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.boxes.texts.size(), 1, kLoginTimeoutMs);
    QCOMPARE(view(w),
             onLockPage(true, serverRoomCount(account), {"The account or the password is wrong."}));
    QVERIFY(dialog.session()->state().isLoggedIn());
    // The next try is typed straight into the field, never into "Logout".
    QCOMPARE(dialog.focusWidget(), static_cast<QWidget*>(field));
    QCOMPARE(field->selectedText(), QStringLiteral("Passw0rd?"));

    field->setText(kPassword);
    QTest::mouseClick(unlock, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(dialog.currentPage(), int(MainDialog::RoomListPage), kLoginTimeoutMs);
    QCOMPARE(view(w),
             onRoomList(true, serverRoomCount(account), {"The account or the password is wrong."}));
}

void TestMainDialog::lockClosesChatWindowsAndToasts()
{
    const QString account = QStringLiteral("user009");
    ShownWindow w(m_config);
    MainDialog& dialog = w.dialog;
    QVERIFY(loginAs(dialog, account));
    const auto lockView = [&] {
        return LockView{dialog.currentPage(), dialog.chatWindows()->count(),
                        int(dialog.toasts()->toasts().size())};
    };
    ChatRoomList* list = dialog.chatRoomList();
    const QString topic = list->topics().value(0);
    // A double click opens the room's window; a second one raises the same window.
    dialog.itemDoubleClickedFromChatRoomListWidget(list->chatRoomItem(topic));
    dialog.itemDoubleClickedFromChatRoomListWidget(list->chatRoomItem(topic));
    QCOMPARE(dialog.chatWindows()->isChatWindowOpen(topic), true);
    NotifyRequest notice;
    notice.topic = list->topics().value(1);
    notice.senderName = QStringLiteral("Someone");
    notice.text = QStringLiteral("Are you there?");
    notice.notice.toast = true;
    dialog.addedNewChatMessage(notice);
    QTRY_COMPARE_WITH_TIMEOUT(lockView(), (LockView{MainDialog::RoomListPage, 1, 1}), 10000);

    dialog.clickedLockMode();
    QTRY_COMPARE_WITH_TIMEOUT(lockView(), (LockView{MainDialog::LockPage, 0, 0}), 10000);
    // Neither a toast click nor the list opens a room behind the lock.
    dialog.openChatDialog(topic);
    dialog.itemDoubleClickedFromChatRoomListWidget(list->chatRoomItem(topic));
    QCOMPARE(lockView(), (LockView{MainDialog::LockPage, 0, 0}));
    QCOMPARE(w.boxes.texts, QStringList());
}

void TestMainDialog::idleLock()
{
    const QString account = QStringLiteral("user010");
    ShownWindow w(m_config);
    MainDialog& dialog = w.dialog;
    QVERIFY(loginAs(dialog, account));
    dialog.globalEventFilter()->setLockTimeout(200);
    dialog.globalEventFilter()->startLockMode();
    QTRY_COMPARE_WITH_TIMEOUT(dialog.currentPage(), int(MainDialog::LockPage), 10000);
    QCOMPARE(view(w), onLockPage(false, serverRoomCount(account)));
}

void TestMainDialog::logOffReturnsToTheLoginPage()
{
    const QString account = QStringLiteral("user006");
    ShownWindow w(m_config);
    MainDialog& dialog = w.dialog;
    QVERIFY(loginAs(dialog, account));
    QCOMPARE(dialog.settings()->autologinAccount(), account);
    // The search field filters the rows as it is typed.
    auto* search = dialog.findChild<MtSearchLineEdit*>(QStringLiteral("searchLineEdit"));
    ChatRoomList* list = dialog.chatRoomList();
    search->setText(QStringLiteral("no room is called this"));
    QCOMPARE(list->visibleTopics(), QStringList());
    search->setText(QString());
    QCOMPARE(list->visibleTopics(), list->topics());
    // The bell is the user's, kept in the account's store.
    QTest::mouseClick(child<QPushButton>(dialog, "alarmButton"), Qt::LeftButton);
    QCOMPARE((QVector<bool>{dialog.alarmOn(), dialog.session()->mtData()->alarm()}),
             (QVector<bool>{false, false}));
    dialog.clickedLogout();
    QCOMPARE(view(w), onLoginPage());
    QCOMPARE(LocalSettings(settingsFile()).autologinAccount(), QString());
    QCOMPARE(child<QLineEdit>(dialog, "idLineEdit")->text(), QString());
}

void TestMainDialog::restartWithStoredSessionOpensTheLockPage()
{
    const QString account = QStringLiteral("user007");
    {
        ShownWindow first(m_config);
        QVERIFY(started(first.dialog));
        QVERIFY(child<QCheckBox>(first.dialog, "autoLoginCheckBox")->isChecked());
        QVERIFY(loginAs(first.dialog, account));
    }
    const qint64 since = m_server.lastRequestSeq();
    ShownWindow w(m_config);
    MainDialog& dialog = w.dialog;
    QTRY_COMPARE_WITH_TIMEOUT(dialog.currentPage(), int(MainDialog::LockPage), 10000);
    QCOMPARE(child<QLabel>(dialog, "lockAccntLabel")->text(), account);
    // Nothing but the keep-alive reaches the server before the password is proven.
    QCOMPARE(requestsUntilPing(dialog, since), QStringList{"/rest/auth/ping"});
    QCOMPARE(view(w), onLockPage(true, 0));
    // The password brings the directory and the rooms up to date, then the rooms show.
    child<QLineEdit>(dialog, "lockPasswordLineEdit")->setText(kPassword);
    QTest::mouseClick(child<QPushButton>(dialog, "unlockButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(dialog.currentPage(), int(MainDialog::RoomListPage), kLoginTimeoutMs);
    QCOMPARE(view(w), onRoomList(true, serverRoomCount(account)));
}

void TestMainDialog::settingsOutliveTheWindow_data()
{
    QTest::addColumn<int>("autoLock");
    QTest::addColumn<int>("alarmType");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<SettingsView>("expected");
    // The offscreen screen is 800 x 600; a window that does not fit on it keeps only its size
    // and the place a new window gets.
    QTest::newRow("lock after 3 minutes, sound only, on the screen")
        << 3 << 0 << QRect(120, 80, 340, 480) << SettingsView{3, 0, QRect(120, 80, 340, 480)};
    QTest::newRow("no idle lock, alarm window only, partly off the screen")
        << -1 << 1 << QRect(600, 300, 340, 480) << SettingsView{-1, 1, QRect(0, 0, 340, 480)};
}

void TestMainDialog::settingsOutliveTheWindow()
{
    QFETCH(int, autoLock);
    QFETCH(int, alarmType);
    QFETCH(QRect, geometry);
    QFETCH(SettingsView, expected);
    {
        MainDialog dialog(m_config);
        dialog.show();
        QVERIFY(started(dialog));
        dialog.updateSettings(0, autoLock);
        dialog.updateSettings(2, alarmType);
        dialog.setGeometry(geometry);
        // The position is written once the window has rested for a second.
        QTRY_COMPARE_WITH_TIMEOUT(LocalSettings(settingsFile()).windowGeometry(), geometry, 10000);
    }
    MainDialog dialog(m_config);
    const LocalSettings stored(settingsFile());
    QCOMPARE((SettingsView{stored.autoLock(), stored.alarmType(), dialog.geometry()}), expected);
}

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
