#pragma once

#include "main/noticegate.h"
#include "net/serverconfig.h"
#include "session/notificationdecision.h"
#include "session/roomrouting.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

namespace Ui {
class MainDialog;
}
class AlarmWidget;
class BackAlertDialog;
class ChatRoomList;
class ChatWindows;
class DBChat;
class DBChatRoom;
class DBManager;
class GlobalEventFilter;
class LocalSettings;
class MtLoadingWidget;
class MtSession;
class QAction;
class QListWidgetItem;
class QMenu;
class QPushButton;
class ToastStack;

// The program's one main window: login page, room list and lock page, the tray icon and its
// menus, toasts and the taskbar alert. The work of a login is the session's (MtSession); the
// window forwards what the user asks for and shows what the session reports.
//
// Sources by concern: construction, pages and window position here; login, unlock, log off and
// failures in maindialog_session.cpp; the room list, chat windows and notices in
// maindialog_routing.cpp; lock, tray, menus, alarm and settings in maindialog_tray.cpp.
class MainDialog : public QDialog
{
    Q_OBJECT
public:
    // Pages of `stackedWidget`.
    enum Page
    {
        LoginPage = 0,
        RoomListPage = 1,
        LockPage = 2
    };
    static constexpr int kPositionSaveMsec = 1000;
    static constexpr int kChatPopupButtonSize = 60;
    static constexpr int kChatPopupButtonMargin = 10; // from the window's bottom edge

    // The server named by the configuration file (ServerConfig::load()).
    explicit MainDialog(QWidget* parent = nullptr);
    MainDialog(const ServerConfig& config, QWidget* parent = nullptr);
    ~MainDialog() override;

    // The newest main window of the process, for the parts that need to reach it.
    static MainDialog* instance();

    // The session of the logins of this window, made on first use (a cold start to the login
    // page needs neither the request engine nor the store).
    MtSession* session();
    // The GUI thread's store of the current login; null while logged out.
    DBManager* dbManager() const;
    LocalSettings* settings() const { return m_settings.get(); }
    ChatRoomList* chatRoomList() const;
    ChatWindows* chatWindows() const { return m_chatWindows; }
    GlobalEventFilter* globalEventFilter() const { return m_eventFilter; }
    ToastStack* toasts();
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }
    NoticeGate& notices() { return m_notices; }
    int currentPage() const;
    bool alarmOn() const { return m_alarm; }
    // A new menu of the main menu button for the current state; the caller owns it.
    QMenu* createMainMenu();

    // Where a chat window without saved geometry goes (beside the main window, then each one
    // 10 pixels further).
    QPoint initNewChatDialogPosition(const QSize& size);
    QPoint nextNewChatDialogPosition(const QSize& size);

public slots:
    void messageReceivedFromApplication(const QString& msg);

    // Login page and session life.
    void clickedLoginButton();
    void on_passwordLineEdit_returnPressed();
    void on_lockPasswordLineEdit_returnPressed();
    void clickedLogout();
    void clickedLogoutButton();
    void profileLogoutOk();
    void doUpgrade(const QString& updateFileLinkUrl);

    // Lock, tray, menus, settings.
    void lockScreen();
    void clickedUnlockButton();
    void clickedLockMode();
    void clickedAlarmButton();
    void updateAlarmButton();
    void clickedMenuButton();
    void clickedCreateChat();
    void clickedSettings();
    void clickedExit();
    void clickedOpen();
    void clickedAbout();
    void activatedFromTrayIcon(QSystemTrayIcon::ActivationReason reason);
    void updateTrayContextMenu();
    void textChangedFromLock(const QString& text);
    void updateSettings(int updateType, int updateData);
    void startLockMode();
    void autoRunSettings();
    void saveCurrentWindowPosition();
    void restoreCurrentWindowPosition();

    // Room list, chat windows and notices.
    void on_searchLineEdit_searchText(const QString& text);
    void itemDoubleClickedFromChatRoomListWidget(QListWidgetItem* item);
    void openChatDialog(const QString& topic);
    void closeAllChatDialog();
    // A one-to-one room with the user: its window, or a window for a room still to create.
    void requestChat(qint64 userId);
    void onClickNewChatRoom(const QList<qint64>& invitedUsers);
    void addedNewChatMessage(const NotifyRequest& request);
    void flashWindow(int msec);
    void flashWindowByTopic(const QString& topic, int msec);
    void onBackAlertActivate();

private slots:
    void initUi();
    void on_minimizeButton_clicked();
    void on_maximumButton_clicked();
    void on_closeButton_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Construction pieces.
    void initAction();
    void initTrayIcon();
    void initChatPopupButton();
    void initSettings();
    void initGlobalEventFilter();
    void connectSession(MtSession* session);

    // Answers of the session (maindialog_session.cpp).
    void onLoginSucceeded();
    void onLoginFailed(int errCode, const QString& text);
    void onLoginTakenOver();
    void onUnlocked();
    void onUnlockFailed(int errCode, const QString& text);
    void onVersionRefused(const QString& link);
    void onRoomsShown(const QList<DBChatRoom>& rooms);
    void onRoomsReady(bool showPage, bool listShown);
    void fillRoomList(const QList<DBChatRoom>& rooms);
    void showRoomListPage(bool showPage);
    void onRequestFailed(int reqCode, int errCode, const QString& text);
    void onAccountRemoved(bool ok, const QString& error);
    void onSessionEnded(int errCode, const QString& text);
    // A chat window's request was refused for the whole session.
    void onChatWindowSessionFailure(int errCode, const QString& text);
    void logoutUiProcess();
    void setLoginControlsEnabled(bool enabled);
    void setLockControlsEnabled(bool enabled);
    void showLoading();
    void hideLoading();
    // One box at a time; an empty text shows nothing.
    void showNotice(const QString& text);

    // Routing (maindialog_routing.cpp).
    void attachRoomList();
    void layOutRoomListPage();
    void onRoomListChats(const QList<DBChat>& chats);
    void onRoomAdded(const DBChatRoom& room);
    void onRoomChanged(const DBChatRoom& room, const DBChat& notice,
                       const RoomRouting::Action& action);
    void onRoomRemoved(const QString& topic);
    void onUnreadChanged(const QString& topic, int unread);
    void onImageSuccess(const QString& urlFilePath, const QString& filePath, QWidget* widget);
    void playAlarmSound();
    void showPendingNotices();
    void showToast(const QString& topic, const QString& title, const QString& text,
                   const QPixmap& picture);
    // How many toasts fit one above the other on the screen.
    int toastColumnSize() const;

    // Tray and lock (maindialog_tray.cpp).
    QAction* action(int item) const { return m_actions.value(item); }
    void setLockPicture(const QString& url);
    void showPage(Page page);
    // The room list takes the keyboard, at its current row (the top one when none is).
    void focusRoomList();

    Ui::MainDialog* ui;
    const ServerConfig m_config;
    std::unique_ptr<LocalSettings> m_settings;
    MtSession* m_session = nullptr;
    ChatWindows* m_chatWindows = nullptr;
    GlobalEventFilter* m_eventFilter = nullptr;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QPointer<QMenu> m_trayMenu;
    QHash<int, QAction*> m_actions;
    QPushButton* m_chatPopupButton = nullptr;
    MtLoadingWidget* m_loading = nullptr;
    AlarmWidget* m_alarmWidget = nullptr;
    BackAlertDialog* m_backAlert = nullptr;
    ToastStack* m_toasts = nullptr;
    NoticeGate m_notices;
    QTimer m_positionTimer;
    // The engine whose picture answers reach this window (the session makes a new one at log
    // off).
    QPointer<QObject> m_pictureEngine;
    bool m_alarm = true;
    // The login page was shown and has not been painted since: once it is, the session makes a
    // login ready while the user types.
    bool m_loginAheadDue = false;
    QList<NotifyRequest> m_pendingNotices;
};
