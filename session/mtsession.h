#pragma once

#include "messaging/mqttmanager.h"
#include "net/serverconfig.h"
#include "session/mtcoalescer.h"
#include "session/mtoutbox.h"
#include "session/mtroompresence.h"
#include "session/notificationdecision.h"
#include "session/roomrouting.h"
#include "session/sessionstate.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmtdata.h"

#include <QEvent>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <memory>

class ChatWindowRegistry;
class DBManager;
class FileManager;
class LocalSettings;
class MTData;
class MtQueueWaker;
class NetServerManager;

// The widget-free work of one login: the store connection of the GUI thread, the session
// object, the request engine, the messaging session and the file-path helper. It logs in
// (by hand, restored at start, unlocked), keeps the session alive, brings directory and rooms
// up to date, drains the messaging session's queue and decides where each event goes; the
// window shows what the signals report and calls the operations the user asks for.
//
// Lives on the GUI thread. Log off and account removal leave it ready for the next login.
// Sources: login and the life of the session here, routing in mtsession_routing.cpp.
class MtSession : public QObject
{
    Q_OBJECT
public:
    // The drain hands items to the window for at most this long per turn of the event loop.
    static constexpr int kDrainBudgetMs = 8;
    static constexpr int kPingIntervalMs = 60000;
    // The longest a login's messaging session waits for the first rows' pictures.
    static constexpr int kMessagingWaitMs = 1000;
    // Error code of a login answer that could not be stored.
    static constexpr int kErrorDatabase = -1;

    explicit MtSession(const ServerConfig& config, QObject* parent = nullptr);
    ~MtSession() override;

    // Collaborators and settings the window keeps.
    void setChatWindows(ChatWindowRegistry* windows) { m_windows = windows; }
    // The user's settings: the alarm type is read from them, the account for automatic login
    // and the device id are written once an answer accepted them, and account removal resets
    // them.
    void setSettings(LocalSettings* settings) { m_settings = settings; }

    // Start with a stored session: true when the account's database holds keys and a password
    // digest; the session is then up behind the lock page (unlock() proves the password).
    bool restore(const QString& account);
    // The connections prepareLogin() opens: one on every worker thread the engine keeps. A login
    // runs its own request, the directory, the room list (fetched ahead, then stored) and the
    // first rows' pictures (as many at once as are prefetched) on threads the pool picks: a
    // picture fetched on a thread without a connection waited for a handshake, which took the
    // processor the server and the other fetches needed.
    static const int kLoginConnections;
    // The login page is up: what a login will need is made ready while the user types (the
    // connections to the server, the key of a new store file). Once per engine; a login that
    // comes first simply does it all itself.
    void prepareLogin();
    // The login page: false when the request could not be sent (its failure is signalled).
    bool login(const QString& account, const QString& password, bool autoLogin,
               const QString& deviceId);
    // After loginTakenOver(): take the session over, or leave it.
    bool forceLogin();
    void declineTakeOver();
    bool lock();
    bool unlock(const QString& password);
    // Ends the session locally (no server request): messaging stopped, stored account values
    // cleared. Answers still in flight are dropped.
    void logOff();
    // Log off, then the account's database with its -wal and -shm files is deleted;
    // accountRemoved() says whether a file stayed.
    //
    // Both may be called from a slot of one of the session's own signals: they then take effect
    // once that signal's emitter has returned (loggedOff() tells when), and nothing of the ended
    // session is handled meanwhile.
    void removeAccount();

    const SessionState& state() const { return m_state; }
    // The server the session talks to; the account dialogs and chat windows make their own
    // engines for it.
    const ServerConfig& config() const { return m_config; }
    // The account every path and setting names: the server's "loginAccnt" once answered.
    QString account() const { return m_account; }
    QString dbPath() const;
    DBManager* db() const { return m_db.get(); }
    // The user's own chats on their way out; windows send and resend through it.
    MtOutbox* outbox() { return &m_outbox; }
    MTData* mtData() const { return m_mtData.get(); }
    NetServerManager* net() const { return m_net.get(); }
    MqttManager* messaging() const { return m_mqtt.get(); }
    MtRoomPresence& presence() { return m_presence; }

public slots:
    void ping();
    // The window's reports of its chat windows.
    void chatWindowActivated(const QString& topic);
    void chatWindowDeactivated(const QString& topic);
    void chatWindowClosed(const QString& topic);
    // Takes queued items for one turn's budget; called when items are queued.
    void drainQueue();

signals:
    // Login page and lock page.
    void loginSucceeded();
    void loginFailed(int errCode, const QString& text);
    void loginTakenOver();
    void unlocked();
    void unlockFailed(int errCode, const QString& text);
    void locked();
    void versionRefused(const QString& link);
    // The room list as the store will read it once the answer is stored, before it is: show it
    // and switch to it. roomsReady() follows (or the failure of the first load).
    void roomsShown(const QList<DBChatRoom>& rooms);
    // The room list is stored: rebuild it from the store unless `listShown` (roomsShown() gave
    // it); showPage: switch to it.
    void roomsReady(bool showPage, bool listShown);
    void requestFailed(int reqCode, int errCode, const QString& text);
    void loggedOff();
    void accountRemoved(bool ok, const QString& error);
    // The server ended the session (40104, 40108): the account was removed, text says why.
    void sessionEnded(int errCode, const QString& text);
    void messagingConnected();
    // Received chats cannot be written (disk full, store locked): they stay at the broker, and
    // are stored once writing works again. Once per outage.
    void storeUnavailable();
    void messagingDisconnected();
    void remoteLogout(const QString& topic, int messageType, const QDateTime& time);

    // Routing.
    void chatForWindow(const QString& topic, const DBChat& chat, bool own);
    void roomListChats(const QList<DBChat>& lastChats);
    void notify(const NotifyRequest& request);
    void roomRequested(const QString& topic);
    void roomAdded(const DBChatRoom& room);
    void roomChanged(const DBChatRoom& room, const DBChat& notice,
                     const RoomRouting::Action& action);
    void roomRemoved(const QString& topic);
    void unreadChanged(const QString& topic, int unread);
    void readCountsForWindow(const QString& topic, const QVariantMap& reads);

protected:
    void customEvent(QEvent* event) override;
    // The messaging session a login's room list waits for starts now, if it is still due.
    void startDueMessaging();

private:
    // Marks the time the engine or the messaging session is calling the session.
    class CallbackScope
    {
    public:
        explicit CallbackScope(MtSession* session);
        ~CallbackScope();
        CallbackScope(const CallbackScope&) = delete;
        CallbackScope& operator=(const CallbackScope&) = delete;

    private:
        MtSession* m_session;
    };
    bool deferWhileInCallback(std::function<void()> end);

    void onHttpSuccess(int reqCode, const QJsonObject& response);
    void onHttpFailure(int reqCode, int errCode, const QString& error);
    void onRoomListShown(int reqCode, const QList<DBChatRoom>& rooms);
    // Codes 1 and 8: opens the answer's database, records every key, starts what is missing.
    void loginAnswered(int reqCode, const QJsonObject& response);
    // The login answer's keys into `session`, recorded in `editor` for its commit.
    void takeLoginAnswer(MTData* session, DBEditor& editor, int reqCode,
                         const QJsonObject& response) const;
    // The store file at `path` (DBManager::databaseFilePath() of the account).
    bool openStore(const QString& path);
    void closeStore();
    // Starts the messaging session for the recorded keys, replacing one with other keys.
    void startMessaging();
    void stopMessaging();
    void teardown();
    void resetEngine();
    void failLogin(int reqCode, int errCode, const QString& text);
    void abandonLogin();
    // A directory or room list that failed before a login or unlock showed its rooms: back to
    // the login or lock page (told through loginFailed or unlockFailed when `announce`). False
    // when the session had already got to its rooms.
    bool failFirstLoad(int errCode, const QString& text, bool announce = true);
    void writeAutologinAccount(const QString& account);

    // Routing (mtsession_routing.cpp).
    void routeItem(const MqttManager::MessageItem& item);
    void routeChat(const DBChat& chat);
    void flushRoomList();
    void flushNotices();
    void requestRoom(const QString& topic);
    // The room list has answered or failed: the rooms named meanwhile that it did not bring are
    // asked for one by one.
    void roomListEnded();
    void loadUnreadCounts();
    void roomAnswered(const QJsonObject& response);
    void requestGroup(qint64 groupId);
    void groupAnswered(const QJsonObject& response);
    void pushReceived(qint64 senderId, const QString& contents);
    void removeGroupRoom(qint64 groupId);
    qint64 ownUserId() const;

    const ServerConfig m_config;
    SessionState m_state;
    std::unique_ptr<NetServerManager> m_net;
    std::unique_ptr<FileManager> m_files;
    std::unique_ptr<DBManager> m_db;
    std::unique_ptr<MTData> m_mtData;
    // A manual attempt's session object, in memory until its answer names the database.
    std::unique_ptr<MTData> m_attempt;
    std::unique_ptr<MqttManager> m_mqtt;
    std::unique_ptr<MtQueueWaker> m_waker;
    MtRoomPresence m_presence;
    MtOutbox m_outbox;
    ChatWindowRegistry* m_windows = nullptr;
    LocalSettings* m_settings = nullptr;
    QString m_account;
    QString m_password;
    bool m_autoLogin = false;
    // What the running messaging session was started with.
    QString m_mqttDbPath;
    QString m_mqttClientId;
    QString m_mqttAccessKey;
    bool m_drainScheduled = false;
    int m_callbackDepth = 0;
    bool m_ending = false;

    QSet<QString> m_pendingRooms;
    // From the directory cache's request until the room list has answered: a chat of a room the
    // store does not know yet most likely names one the list brings, so its room is asked for
    // only if the list did not (a login with a backlog would otherwise ask for every room).
    bool m_roomListPending = false;
    // roomsShown() gave the list of the room-list request in flight.
    bool m_roomsShownAhead = false;
    // The directory request in flight goes on with the room list by itself once stored.
    bool m_roomListChained = false;
    // A login's messaging session waits for the end of the room list, and then for the
    // window's paint of it (customEvent()).
    bool m_messagingAfterRooms = false;
    bool m_messagingDue = false;
    // After that paint, until the first rows' pictures have come (the broker's subscriptions to
    // every room take the server that serves them), but no longer than its interval.
    QTimer m_messagingWait;
    // The unread counts were read ahead of the messaging session, for the first paint.
    bool m_countsLoadedAhead = false;
    // prepareLogin() ran for the current engine.
    bool m_loginPrepared = false;
    QSet<QString> m_roomsAfterList;
    QSet<qint64> m_pendingGroups;
    QMap<QString, DBChat> m_listChats;
    QMap<QString, DBChat> m_noticeChats;
    // A row follows its chat within 100 ms even under steady traffic, with room for the
    // delivery and the disk under load: a refresh waits at most 15 ms (one refresh of a few
    // rows costs far less). A backlog still reaches the list in one refresh per 15 ms rather
    // than one per chat.
    MtCoalescer m_listRefresh{5, 15};
    MtCoalescer m_noticeRefresh{800, 1500};
    QTimer m_pingTimer;
};
