#pragma once

#include "messaging/chatpayload.h"
#include "messaging/mqttclient.h"
#include "messaging/mqttclientdelegate.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class DBManager;
class DBUser;
class MqttReceiveBatch;
class QThread;
class RoomPresence;

// The messaging session of the signed-in user: the connection to the broker, every outgoing chat
// event, and the receiving pipeline. Received messages arrive on the MQTT client's delivery
// thread, where they are decoded, checked against and written to the store through the thread's
// own connection ("Veltri_mqtt"), counted for the unread badges and turned into message items.
// The main window takes the items from a queue on the GUI thread. A forced logout bypasses the
// queue as the logout() signal, which always arrives on the thread that owns this object. What
// has arrived together is stored in one transaction, and its items, unread counts and logouts
// are handed on only once that has committed (MqttReceiveBatch). The commit reaches the disk
// (the log is synced) before the client acknowledges the messages to the broker: on the client's
// durability thread, through a connection of its own ("Veltri_mqtt_sync"), so that neither the
// sync nor the log's checkpoints hold up the next batch. A batch the store cannot take is rolled
// back, handed on to nobody, left unacknowledged and offered again by the client until the store
// writes again (storeUnavailable() / storeAvailable() tell the user once per outage, whether
// commits or syncs fail).
//
// Threads: construction, connection, the send operations, chatItemFromHistory() and the signals
// belong to the GUI thread; the delegate operations and every receive handler run on the
// delivery thread, but those of durability (onMessagesDurable(), onMessagesSettled()) on the
// durability thread; takeMessageItem() and waitForMessageItem() may be called from any thread.
// The handlers are split by concern: mqttmanager_receive.cpp (dispatch, push, presence events),
// mqttmanager_chat.cpp (chats, history), mqttmanager_room.cpp (invite, admission, leave),
// mqttmanager_read.cpp (read receipts).
class MqttManager : public QObject, public QMQTT::ClientDelegate
{
    Q_OBJECT
public:
    // An event handed from the delivery thread to the main window.
    class MessageItem
    {
    public:
        enum Type
        {
            NoRoomExist = 0,
            Chat = 1,
            Invite = 2,
            Admission = 3,
            Leave = 4,
            Push = 5,
            EnterMyRead = 6,
            EnterRead = 7,
            LeaveRead = 8,
            HereRead = 9,
        };
        virtual ~MessageItem();
        virtual int type() const = 0;
    };

    // A chat for a topic that has no room in the store: the room must be fetched.
    class NoRoomExistMessageItem : public MessageItem
    {
    public:
        explicit NoRoomExistMessageItem(const QString& topic) : m_topic(topic) {}
        int type() const override { return NoRoomExist; }
        QString topic() const { return m_topic; }

    private:
        QString m_topic;
    };

    // A stored chat message.
    class ChatMessageItem : public MessageItem
    {
    public:
        explicit ChatMessageItem(const DBChat& chat) : m_chat(chat) {}
        int type() const override { return Chat; }
        const DBChat& chat() const { return m_chat; }

    private:
        DBChat m_chat;
    };

    // A room event with its room and, for group rooms, the notice chat that was stored (an empty
    // chat, id 0, when none was). The room's dataState() says what happened to its row:
    // DataStateInsert, DataStateUpdate, DataStateDelete (the user left it on another session),
    // or DataStateNone (unchanged).
    class RoomMessageItem : public MessageItem
    {
    public:
        RoomMessageItem(const DBChatRoom& room, const DBChat& chat) : m_room(room), m_chat(chat) {}
        const DBChatRoom& room() const { return m_room; }
        const DBChat& chat() const { return m_chat; }

    private:
        DBChatRoom m_room;
        DBChat m_chat;
    };

    class InviteMessageItem : public RoomMessageItem
    {
    public:
        using RoomMessageItem::RoomMessageItem;
        int type() const override { return Invite; }
    };

    class AdmissionMessageItem : public RoomMessageItem
    {
    public:
        using RoomMessageItem::RoomMessageItem;
        int type() const override { return Admission; }
    };

    class LeaveMessageItem : public RoomMessageItem
    {
    public:
        using RoomMessageItem::RoomMessageItem;
        int type() const override { return Leave; }
    };

    // A notice of the server (group changes and the like), handed on unchanged.
    class PushMessageItem : public MessageItem
    {
    public:
        PushMessageItem(qint32 senderId, const QString& contents)
            : m_senderId(senderId), m_contents(contents)
        {}
        int type() const override { return Push; }
        qint32 senderId() const { return m_senderId; }
        QString contents() const { return m_contents; }

    private:
        qint32 m_senderId;
        QString m_contents;
    };

    // A session of the user entered the room; unread is the room's count after that.
    class EnterMyReadMessageItem : public MessageItem
    {
    public:
        EnterMyReadMessageItem(const QString& topic, const QString& clientId, qint32 unread)
            : m_topic(topic), m_clientId(clientId), m_unread(unread)
        {}
        int type() const override { return EnterMyRead; }
        QString topic() const { return m_topic; }
        QString clientId() const { return m_clientId; }
        qint32 unread() const { return m_unread; }

    private:
        QString m_topic;
        QString m_clientId;
        qint32 m_unread;
    };

    // Another member read the room: message id to its number of distinct readers.
    class EnterReadMessageItem : public MessageItem
    {
    public:
        EnterReadMessageItem(const QString& topic, const QVariantMap& mapReads)
            : m_topic(topic), m_mapReads(mapReads)
        {}
        int type() const override { return EnterRead; }
        QString topic() const { return m_topic; }
        QVariantMap mapReads() const { return m_mapReads; }

    private:
        QString m_topic;
        QVariantMap m_mapReads;
    };

    // Another session left or is inside the room (its window stopped or is being active).
    class SessionReadMessageItem : public MessageItem
    {
    public:
        SessionReadMessageItem(const QString& topic, qint32 userId, const QString& clientId)
            : m_topic(topic), m_userId(userId), m_clientId(clientId)
        {}
        QString topic() const { return m_topic; }
        qint32 userId() const { return m_userId; }
        QString clientId() const { return m_clientId; }

    private:
        QString m_topic;
        qint32 m_userId;
        QString m_clientId;
    };

    class LeaveReadMessageItem : public SessionReadMessageItem
    {
    public:
        using SessionReadMessageItem::SessionReadMessageItem;
        int type() const override { return LeaveRead; }
    };

    class HereReadMessageItem : public SessionReadMessageItem
    {
    public:
        using SessionReadMessageItem::SessionReadMessageItem;
        int type() const override { return HereRead; }
    };

    static constexpr quint16 kDefaultPort = 1883;
    static constexpr int kKeepAliveSeconds = 30;
    // Own chats with this text are the server's nudges to other sessions and are not messages.
    static constexpr const char* kRefreshText = "!*refresh*!";
    // How far back an ENTERREAD reaches before the time it is given, for clock differences.
    static constexpr qint64 kReadEnterMarginMs = 10000;
    // The delivery thread's commits leave the log to the durability thread's connection, which
    // copies it into the database after a run is settled: once the log holds this many frames
    // when no message waited, or kBusyCheckpointFrames during a burst (below SQLite's 1000, at
    // which any other connection's commit would run the checkpoint instead, the GUI thread's
    // among them).
    static constexpr int kIdleCheckpointFrames = 500;
    static constexpr int kBusyCheckpointFrames = 900;

    // dbPath: the user's database file, opened again on the delivery thread.
    explicit MqttManager(const QString& dbPath, QObject* parent = nullptr);
    // Stops the client (no handler runs afterwards) before anything it uses goes away.
    ~MqttManager() override;

    // The one messaging session of the process, null when there is none.
    static MqttManager* instance();

    // Stored for the parameterless connectToHost().
    void setConnectionInfo(const QString& host, quint16 port, const QString& clientId,
                           const QString& username, const QString& password);
    // Creates the client and connects, unless a client exists already: then nothing changes,
    // whatever the parameters (the first connection and its credentials stay in use).
    void connectToHost(const QString& host, quint16 port, const QString& clientId,
                       const QString& username, const QString& password);
    // Log off: leaves the broker; the client stays for the next connectToHost().
    void disconnectFromHost();
    bool isConnectedToHost() const;

    // Answers isInRoom() and isActiveChatWindow() for the receiving side; null: both false.
    // Setting another (or null) waits for a call in progress on the delivery thread, so the old
    // one may be destroyed once this returns; hence it must not be called while holding a lock
    // that the presence's own answers take.
    void setRoomPresence(RoomPresence* presence);

    // A new message id for the session's client id.
    QString makeMessageId() const;

    // Send operations: each publishes one payload with QoS 1 at once, stamped with the current
    // time and the signed-in user's id, and reports nothing.
    void sendChat(const QString& topic, int contentType, const QString& messageId,
                  const QVector<qint32>& idList, const QString& contents);
    void sendInvite(const QString& topic, const QString& messageId, const QString& contents);
    void sendAdd(const QString& topic, const QString& messageId, const QString& contents);
    void sendLeave(const QString& topic, const QString& messageId, const QString& contents);
    // readTime: the time from which the user has read the room; ten seconds earlier is sent.
    void sendReadEnter(const QString& topic, qint64 readTime);
    void sendReadHere(const QString& topic);
    void sendReadLeave(const QString& topic);

    // The oldest queued item, null when the queue is empty; the caller owns it.
    std::unique_ptr<MessageItem> takeMessageItem();
    // Blocks until an item is queued or the time is up; true when the queue is not empty. For
    // callers on threads of their own (tests, benchmarks); the GUI thread is told instead.
    bool waitForMessageItem(int timeoutMs);
    // Called on the queuing thread (most often the delivery thread) each time items have been
    // queued, after they can be taken; null to stop. Once this returns, the previous handler is
    // not running and is never called again. A handler must not call back into the manager.
    void setItemsQueuedHandler(std::function<void()> handler);

    // One chat of a server history page (topic, msgType, timestamp, senderId, messageId,
    // contentType, contents) stored on `db` and returned as an item, or null when it is not a
    // message to show. Runs on the thread that owns `db`: the chat window calls it on the GUI
    // thread with the main window's DBManager, the same one it reads its history from. A topic
    // without a room also queues a NoRoomExistMessageItem.
    std::unique_ptr<ChatMessageItem> chatItemFromHistory(const QJsonObject& object, DBManager* db);

    // QMQTT::ClientDelegate, on the delivery thread. onMessagesDelivered() handles its messages
    // in order inside one store transaction and queues what they produced once that has
    // committed; onMessageDelivered() handles one message statement by statement;
    // onMessagesDurable() syncs what the batches committed before they are acknowledged;
    // onMessagesSettled() checkpoints the log when it has grown; both on the durability thread.
    void onDeliveryThreadStarted() override;
    void onMessageDelivered(const QMQTT::Message& message) override;
    bool onMessagesDelivered(const QList<QMQTT::Message>& messages) override;
    void onDeliveryThreadFinished() override;
    void onDurabilityThreadStarted() override;
    bool onMessagesDurable() override;
    void onMessagesSettled(bool caughtUp) override;
    void onDurabilityThreadFinished() override;

signals:
    void connected();
    void disconnected();
    void logout(QString topic, unsigned char messageType, QDateTime dateTime);
    // Received messages cannot be stored (disk full, the file locked or read-only): they stay
    // unacknowledged at the broker and are stored once the store writes again. Once per outage,
    // on the thread that owns this object.
    void storeUnavailable();
    // The store took received messages again after storeUnavailable().
    void storeAvailable();

public slots:
    void connectToHost();
    void connectedFromMqtt();
    void disconnectedFromMqtt();
    void errorFromMqtt(QMQTT::ClientError error);
    // Every delivered message; on the delivery thread.
    void receivedFromMqtt(const QMQTT::Message& message);

private:
    // The signed-in user as the session object has it when a message is handled.
    struct Session
    {
        qint64 userId = 0;
        QString clientId;
        QString userName;
    };
    static Session session();

    // A chat as the broker or a history page carries it.
    struct IncomingChat
    {
        QString topic;
        int msgType = 0;
        int contentType = 0;
        QString msgId;
        qint64 senderId = 0;
        QString text;
        qint64 msgTime = 0;
    };
    // Stores a chat on `db` (confirms an own chat that is stored already) and gives the record to
    // show; false when there is nothing to show. Only live chats from others count as unread.
    bool storeChat(DBManager* db, const IncomingChat& in, bool fromHistory, DBChat* out);

    void receivedChatFromMqtt(const QString& topic, const ChatPayload& payload);
    void receivedInviteFromMqtt(const QString& topic, const ChatPayload& payload);
    void receivedAdmissionFromMqtt(const QString& topic, const ChatPayload& payload);
    void receivedLeaveFromMqtt(const QString& topic, const ChatPayload& payload);
    void receivedPushFromMqtt(const QString& topic, const ChatPayload& payload);
    void receivedEnterReadFromMqtt(const QString& topic, const ChatPayload& payload);
    void receivedLeaveReadFromMqtt(const QString& topic, const ChatPayload& payload);
    void receivedHereReadFromMqtt(const QString& topic, const ChatPayload& payload);

    // The room an INVITE or ADMISSION carries in its "chatRoomInfo", written to the store
    // (insert, or update when its type or members changed) and marked with what happened. False,
    // with a warning, when the contents name no room, or a room other than the message's topic.
    bool storeEventRoom(const QString& topic, const ChatPayload& payload,
                        const QJsonObject& contents, const char* where, DBChatRoom* room);
    // Fills the sender's name and picture from the directory; false when the sender is unknown.
    static bool fillSender(DBManager* db, DBChat* chat);
    // The sender's name and picture into the chat, or "Unknown user" when `sender` is null.
    static bool showSender(DBChat* chat, const DBUser* sender);
    bool isReadAtOnce(const QString& topic);

    // The batch being handled, when called on the delivery thread inside onMessagesDelivered();
    // null otherwise (a single delivery, the GUI thread's history chats).
    MqttReceiveBatch* batch() const;
    // What the handlers hand on goes through these: into the batch while one is handled, else
    // straight to the queue, the unread counts and the logout() signal.
    void enqueue(std::unique_ptr<MessageItem> item);
    void notifyItemsQueued();
    int addUnread(const QString& topic, int delta);
    int unreadCount(const QString& topic) const;
    void emitLogout(const QString& topic, unsigned char messageType, const QDateTime& time);
    // DBManager::chatRoomExists and fillSender(), remembered for the rest of a batch.
    bool roomExists(DBManager* db, const QString& topic);
    bool fillSenderOf(DBManager* db, DBChat* chat);
    // Room events wrote rooms and users: what the batch remembers of them is void.
    void forgetLookUps();
    void applyBatch(MqttReceiveBatch& batch);
    // A write of a receive handler: a failure is logged and, inside a batch, fails the batch (it
    // is rolled back and offered again). Returns `ok`.
    bool written(bool ok, const char* where);
    // Opens the delivery thread's connection when it is not open; false when it cannot be.
    bool openThreadStore();
    // The same for the durability thread's connection.
    bool openSyncStore();
    // What of the store a thread reports on: the delivery thread's commits, the durability
    // thread's syncs.
    enum class StoreWork
    {
        Commits,
        Syncs
    };
    // Emits storeUnavailable() when either fails from now on, storeAvailable() when both work
    // again.
    void setStoreWorking(StoreWork work, bool working);

    void publish(const QString& topic, const ChatPayload& payload);

    QMQTT::Client* m_client = nullptr;
    QString m_host;
    quint16 m_port = kDefaultPort;
    QString m_clientId;
    QString m_username;
    QString m_password;
    // Opened and closed on the delivery thread, used only there.
    std::unique_ptr<DBManager> m_threadStore;
    // Only while the delivery thread handles a batch; used only there.
    std::unique_ptr<MqttReceiveBatch> m_batch;
    // Opened and closed on the durability thread, used only there.
    std::unique_ptr<DBManager> m_syncStore;
    // The frames in the log after the delivery thread's last commit, for the durability thread.
    std::atomic<int> m_logFrames{0};
    std::mutex m_storeStateMutex;
    bool m_commitsFail = false;
    bool m_syncsFail = false;
    std::atomic<QThread*> m_deliveryThread{nullptr};
    QString m_dbPath;

    std::mutex m_queueMutex;
    std::condition_variable m_queueWake;
    // Held while the handler runs, so that replacing it waits for a call in progress.
    std::mutex m_handlerMutex;
    std::function<void()> m_itemsQueued;
    std::deque<std::unique_ptr<MessageItem>> m_messageItems;

    // Held by the delivery thread while it asks the presence, and by setRoomPresence().
    std::mutex m_presenceMutex;
    RoomPresence* m_presence = nullptr;
};
