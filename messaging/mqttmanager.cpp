#include "messaging/mqttmanager.h"

#include "messaging/messageid.h"
#include "messaging/mqttreceivebatch.h"
#include "messaging/payloadcodec.h"
#include "messaging/roompresence.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"
#include "store/messagetrace.h"
#include "store/mtdata.h"
#include "store/unreadcounts.h"

#include <QDebug>
#include <QHostAddress>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <atomic>
#include <chrono>

namespace {
std::atomic<MqttManager*> g_instance{nullptr};

void registerManagerTypes()
{
    // The logout() signal crosses threads when a receiver lives elsewhere, and so may the
    // client's signals.
    qRegisterMetaType<QMQTT::Message>("QMQTT::Message");
    qRegisterMetaType<QMQTT::ClientError>("QMQTT::ClientError");
    qRegisterMetaType<unsigned char>("unsigned char");
}
} // namespace

MqttManager::MessageItem::~MessageItem() = default;

MqttManager::MqttManager(const QString& dbPath, QObject* parent)
    : QObject(parent), m_port(kDefaultPort), m_dbPath(dbPath)
{
    registerManagerTypes();
    setObjectName(QStringLiteral("MqttManager"));
    g_instance.store(this);
}

MqttManager::~MqttManager()
{
    // The client first: its destruction lets a handler still running on the delivery thread
    // finish and closes the thread's store connection there, so nothing uses the store or the
    // queue once the client is gone.
    delete m_client;
    m_client = nullptr;
    m_threadStore.reset();
    m_syncStore.reset();
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_messageItems.clear();
    }
    MqttManager* self = this;
    g_instance.compare_exchange_strong(self, nullptr);
}

MqttManager* MqttManager::instance()
{
    return g_instance.load();
}

void MqttManager::setConnectionInfo(const QString& host, quint16 port, const QString& clientId,
                                    const QString& username, const QString& password)
{
    m_host = host;
    m_port = port;
    m_clientId = clientId;
    m_username = username;
    m_password = password;
}

void MqttManager::connectToHost()
{
    connectToHost(m_host, m_port, m_clientId, m_username, m_password);
}

void MqttManager::connectToHost(const QString& host, quint16 port, const QString& clientId,
                                const QString& username, const QString& password)
{
    if (m_client) {
        qDebug().noquote().nospace() << "MqttManager::connectToHost - already connected";
        return;
    }
    m_client = new QMQTT::Client(QHostAddress::LocalHost, kDefaultPort);
    m_client->setHostName(host);
    m_client->setPort(port);
    m_client->setAutoReconnect(true);
    m_client->setKeepAlive(kKeepAliveSeconds);
    // Before the connection starts the delivery thread, whose first call opens the store.
    m_client->setDelegate(this);
    connect(m_client, &QMQTT::Client::connected, this, &MqttManager::connectedFromMqtt);
    connect(m_client, &QMQTT::Client::disconnected, this, &MqttManager::disconnectedFromMqtt);
    connect(m_client, &QMQTT::Client::error, this, &MqttManager::errorFromMqtt);
    // The client delivers through the delegate only; the signal stays silent.
    connect(m_client, &QMQTT::Client::received, this, &MqttManager::receivedFromMqtt);
    m_client->setClientId(clientId);
    m_client->setUsername(username);
    m_client->setPassword(password.toLocal8Bit());
    m_client->connectToHost();
    qDebug().noquote().nospace() << "MqttManager::connectToHost connecting " << host << " ...";
}

void MqttManager::disconnectFromHost()
{
    if (m_client)
        m_client->disconnectFromHost();
}

bool MqttManager::isConnectedToHost() const
{
    return m_client && m_client->isConnectedToHost();
}

void MqttManager::connectedFromMqtt()
{
    qDebug().noquote().nospace() << "MqttManager::connectedFromMqtt thread:"
                                 << QThread::currentThread();
    emit connected();
}

void MqttManager::disconnectedFromMqtt()
{
    qDebug().noquote().nospace() << "MqttManager::disconnectedFromMqtt";
    emit disconnected();
}

void MqttManager::errorFromMqtt(QMQTT::ClientError error)
{
    qDebug().noquote().nospace() << "MqttManager::errorFromMqtt error:" << int(error);
    if (error == QMQTT::SocketRemoteHostClosedError)
        qDebug().noquote().nospace()
            << "MqttManager::errorFromMqtt ################################";
}

void MqttManager::setRoomPresence(RoomPresence* presence)
{
    std::lock_guard<std::mutex> lock(m_presenceMutex);
    m_presence = presence;
}

bool MqttManager::isReadAtOnce(const QString& topic)
{
    std::lock_guard<std::mutex> lock(m_presenceMutex);
    if (!m_presence)
        return false;
    return m_presence->isInRoom(topic) || m_presence->isActiveChatWindow(topic);
}

MqttManager::Session MqttManager::session()
{
    // Read on the delivery thread too, while the GUI thread may delete the session object at
    // log off.
    Session s;
    MTData::withInstance([&s](const MTData* data) {
        if (!data)
            return;
        s.userId = data->userId();
        s.clientId = data->clientId();
        s.userName = data->userName();
    });
    return s;
}

QString MqttManager::makeMessageId() const
{
    return ::makeMessageId(session().clientId);
}

void MqttManager::publish(const QString& topic, const ChatPayload& payload)
{
    if (!m_client) {
        qWarning().noquote().nospace()
            << "MqttManager::publish - no client yet, dropped"
            << " topic:" << topic << " messageType:" << ChatPayload::typeName(payload.messageType);
        return;
    }
    m_client->publish(QMQTT::Message(0, topic, PayloadCodec::encode(payload), 1));
}

void MqttManager::sendChat(const QString& topic, int contentType, const QString& messageId,
                           const QVector<qint32>& idList, const QString& contents)
{
    qCDebug(lcMessageTrace).noquote().nospace()
        << "MqttManager::sendChat"
        << " topic:" << topic << " messageId:" << messageId
        << " messageId.size():" << messageId.size() << " contentType:" << contentType
        << " contents:" << contents;
    publish(topic, ChatPayload::chat(QDateTime::currentMSecsSinceEpoch(), qint32(session().userId),
                                     quint8(contentType), messageId, idList, contents));
}

void MqttManager::sendInvite(const QString& topic, const QString& messageId,
                             const QString& contents)
{
    qDebug().noquote().nospace() << "MqttManager::sendInvite"
                                 << " topic:" << topic << " contents:" << contents;
    publish(topic, ChatPayload::event(QDateTime::currentMSecsSinceEpoch(), ChatPayload::TypeInvite,
                                      qint32(session().userId), messageId, contents));
}

void MqttManager::sendAdd(const QString& topic, const QString& messageId, const QString& contents)
{
    qDebug().noquote().nospace() << "MqttManager::sendAdd"
                                 << " topic:" << topic << " contents:" << contents;
    publish(topic,
            ChatPayload::event(QDateTime::currentMSecsSinceEpoch(), ChatPayload::TypeAdmission,
                               qint32(session().userId), messageId, contents));
}

void MqttManager::sendLeave(const QString& topic, const QString& messageId, const QString& contents)
{
    qDebug().noquote().nospace() << "MqttManager::sendLeave"
                                 << " topic:" << topic << " contents:" << contents;
    publish(topic, ChatPayload::event(QDateTime::currentMSecsSinceEpoch(), ChatPayload::TypeLeave,
                                      qint32(session().userId), messageId, contents));
}

void MqttManager::sendReadEnter(const QString& topic, qint64 readTime)
{
    qCDebug(lcMessageTrace).noquote().nospace() << "MqttManager::sendReadEnter"
                                                << " topic:" << topic << ", readTime:" << readTime;
    const qint64 from = qMax<qint64>(0, readTime - kReadEnterMarginMs);
    const Session s = session();
    publish(topic,
            ChatPayload::event(QDateTime::currentMSecsSinceEpoch(), ChatPayload::TypeEnterRead,
                               qint32(s.userId), ::makeMessageId(s.clientId),
                               ChatPayload::enterReadContents(s.clientId, from)));
}

void MqttManager::sendReadHere(const QString& topic)
{
    qDebug().noquote().nospace() << "MqttManager::sendReadHere"
                                 << " topic:" << topic;
    const Session s = session();
    publish(topic,
            ChatPayload::event(QDateTime::currentMSecsSinceEpoch(), ChatPayload::TypeHereRead,
                               qint32(s.userId), ::makeMessageId(s.clientId), s.clientId));
}

void MqttManager::sendReadLeave(const QString& topic)
{
    qDebug().noquote().nospace() << "MqttManager::sendReadLeave"
                                 << " topic:" << topic;
    const Session s = session();
    publish(topic,
            ChatPayload::event(QDateTime::currentMSecsSinceEpoch(), ChatPayload::TypeLeaveRead,
                               qint32(s.userId), ::makeMessageId(s.clientId), s.clientId));
}

MqttReceiveBatch* MqttManager::batch() const
{
    // m_batch belongs to the delivery thread: any other thread must not even read it.
    if (QThread::currentThread() != m_deliveryThread.load())
        return nullptr;
    return m_batch.get();
}

void MqttManager::enqueue(std::unique_ptr<MessageItem> item)
{
    if (MqttReceiveBatch* b = batch()) {
        b->queue(std::move(item));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_messageItems.push_back(std::move(item));
    }
    m_queueWake.notify_all();
    notifyItemsQueued();
}

void MqttManager::notifyItemsQueued()
{
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    if (m_itemsQueued)
        m_itemsQueued();
}

void MqttManager::setItemsQueuedHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    m_itemsQueued = std::move(handler);
}

int MqttManager::addUnread(const QString& topic, int delta)
{
    if (MqttReceiveBatch* b = batch())
        return b->addUnread(topic, delta);
    return unreadCounts().add(topic, delta);
}

int MqttManager::unreadCount(const QString& topic) const
{
    if (const MqttReceiveBatch* b = batch())
        return b->unreadCount(topic);
    return unreadCounts().get(topic);
}

void MqttManager::emitLogout(const QString& topic, unsigned char messageType, const QDateTime& time)
{
    if (MqttReceiveBatch* b = batch()) {
        b->logout(topic, messageType, time);
        return;
    }
    // Emitted from this object's own thread, so that every receiver gets it there, whatever its
    // connection type; it is dropped with this object.
    QMetaObject::invokeMethod(
        this, [this, topic, messageType, time] { emit logout(topic, messageType, time); },
        Qt::QueuedConnection);
}

bool MqttManager::roomExists(DBManager* db, const QString& topic)
{
    if (MqttReceiveBatch* b = batch())
        return b->roomExists(db, topic);
    return db->chatRoomExists(topic);
}

bool MqttManager::fillSenderOf(DBManager* db, DBChat* chat)
{
    if (MqttReceiveBatch* b = batch())
        return showSender(chat, b->findUser(db, chat->senderId()));
    return fillSender(db, chat);
}

void MqttManager::forgetLookUps()
{
    if (MqttReceiveBatch* b = batch())
        b->forgetLookUps();
}

void MqttManager::applyBatch(MqttReceiveBatch& batch)
{
    // The counts first: the GUI thread reads them when it handles the items.
    batch.applyUnreadChanges();
    std::vector<std::unique_ptr<MessageItem>> items = batch.takeItems();
    if (!items.empty()) {
        // One lock for the whole batch: a few hundred pointers moved, and the GUI thread sees
        // the batch's items together.
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            for (auto& item : items)
                m_messageItems.push_back(std::move(item));
        }
        m_queueWake.notify_all();
        notifyItemsQueued();
    }
    for (const MqttReceiveBatch::Logout& logout : batch.logouts())
        emitLogout(logout.topic, logout.messageType, logout.time);
}

std::unique_ptr<MqttManager::MessageItem> MqttManager::takeMessageItem()
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    if (m_messageItems.empty())
        return nullptr;
    std::unique_ptr<MessageItem> item = std::move(m_messageItems.front());
    m_messageItems.pop_front();
    return item;
}

bool MqttManager::waitForMessageItem(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_queueMutex);
    return m_queueWake.wait_for(lock, std::chrono::milliseconds(qMax(0, timeoutMs)),
                                [this] { return !m_messageItems.empty(); });
}

void MqttManager::onDeliveryThreadStarted()
{
    if (m_threadStore)
        return;
    m_deliveryThread.store(QThread::currentThread());
    openThreadStore();
}

bool MqttManager::openThreadStore()
{
    if (m_threadStore && m_threadStore->isOpen())
        return true;
    m_threadStore.reset();
    m_threadStore =
        std::make_unique<DBManager>(m_dbPath, QString::fromLatin1(DBManager::kConnectionMqtt),
                                    QString::fromLatin1(DBManager::kPassword), 0);
    if (!m_threadStore->isOpen()) {
        qWarning().noquote().nospace()
            << "MqttManager::openThreadStore - the store does not open, path:" << m_dbPath;
        return false;
    }
    m_threadStore->deferCheckpoints();
    return true;
}

void MqttManager::onMessageDelivered(const QMQTT::Message& message)
{
    receivedFromMqtt(message);
}

bool MqttManager::written(bool ok, const char* where)
{
    if (ok)
        return true;
    qWarning().noquote().nospace() << where << " - the store did not take a received message";
    if (MqttReceiveBatch* b = batch())
        b->markFailed();
    return false;
}

void MqttManager::setStoreWorking(StoreWork work, bool working)
{
    // Both threads report: the state and the order of the signals change under one lock.
    std::lock_guard<std::mutex> lock(m_storeStateMutex);
    const bool wasDown = m_commitsFail || m_syncsFail;
    (work == StoreWork::Commits ? m_commitsFail : m_syncsFail) = !working;
    const bool down = m_commitsFail || m_syncsFail;
    if (down == wasDown)
        return;
    qWarning().noquote().nospace()
        << "MqttManager - received messages " << (down ? "cannot be stored" : "are stored again");
    // Emitted from this object's own thread, like logout().
    QMetaObject::invokeMethod(
        this,
        [this, down] {
            if (down)
                emit storeUnavailable();
            else
                emit storeAvailable();
        },
        Qt::QueuedConnection);
}

bool MqttManager::onMessagesDelivered(const QList<QMQTT::Message>& messages)
{
    // The whole batch in one transaction. Committed one by one, every PUBLISH would cost a commit
    // of its own: each page it touched (the chat row, the row id counter and every index of the
    // chat table) written to the WAL again, enciphered, authenticated and synced again, where a
    // burst of chats into one room touches the same few pages over and over and one commit
    // writes each of them once.
    //
    // What the handlers hand on waits in the batch until the commit has succeeded, so the GUI
    // thread never sees an item whose row is not committed. When the transaction cannot begin
    // (another writer holds the file beyond the busy time-out), a write fails (disk full,
    // read-only) or the commit fails, everything is rolled back and nothing is handed on: the
    // client keeps the batch unacknowledged and offers it again.
    if (QThread::currentThread() != m_deliveryThread.load()) {
        for (const QMQTT::Message& message : messages)
            receivedFromMqtt(message);
        return true;
    }
    if (!openThreadStore()) {
        setStoreWorking(StoreWork::Commits, false);
        return false;
    }
    QSqlDatabase& db = m_threadStore->database();
    if (!db.transaction()) {
        qWarning().noquote().nospace()
            << "MqttManager::onMessagesDelivered - no transaction, kept for later, count:"
            << messages.size() << " error:" << db.lastError().text();
        setStoreWorking(StoreWork::Commits, false);
        return false;
    }
    m_batch = std::make_unique<MqttReceiveBatch>(unreadCounts());
    bool intact = true;
    for (const QMQTT::Message& message : messages) {
        receivedFromMqtt(message);
        // Some failures (a full disk, an I/O error) make SQLite roll the whole transaction back
        // at once; the statements after it would then commit one by one, unseen by the batch.
        if (m_batch->failed() || !m_threadStore->inTransaction()) {
            intact = false;
            break;
        }
    }
    std::unique_ptr<MqttReceiveBatch> done = std::move(m_batch);
    if (intact && db.commit()) {
        // Shown at once; acknowledged only once onMessagesDurable() has synced it. The commit
        // itself does not sync (WAL, synchronous=NORMAL), so the window never waits for the disk.
        m_logFrames.store(m_threadStore->logFrames());
        applyBatch(*done);
        setStoreWorking(StoreWork::Commits, true);
        return true;
    }
    qWarning().noquote().nospace()
        << "MqttManager::onMessagesDelivered - not stored, kept for later, count:"
        << messages.size() << " error:" << db.lastError().text();
    if (m_threadStore->inTransaction())
        db.rollback();
    setStoreWorking(StoreWork::Commits, false);
    return false;
}

void MqttManager::onDurabilityThreadStarted()
{
    openSyncStore();
}

bool MqttManager::openSyncStore()
{
    if (m_syncStore && m_syncStore->isOpen())
        return true;
    m_syncStore.reset();
    m_syncStore =
        std::make_unique<DBManager>(m_dbPath, QString::fromLatin1(DBManager::kConnectionMqttSync),
                                    QString::fromLatin1(DBManager::kPassword), 0);
    if (!m_syncStore->isOpen()) {
        qWarning().noquote().nospace()
            << "MqttManager::openSyncStore - the store does not open, path:" << m_dbPath;
        return false;
    }
    return true;
}

bool MqttManager::onMessagesDurable()
{
    // One sync of the log for every batch committed since the last one makes them as durable as
    // synced commits: during a burst the disk is synced once per run of batches, not per batch.
    // The log is one file, whichever connection's handle syncs it. Until it succeeds they stay
    // unacknowledged; the broker sends them again after a crash, and the store takes them again
    // as the repeats of a QoS 1 delivery.
    if (!openSyncStore() || !m_syncStore->syncWriteAheadLog()) {
        setStoreWorking(StoreWork::Syncs, false);
        return false;
    }
    setStoreWorking(StoreWork::Syncs, true);
    return true;
}

void MqttManager::onMessagesSettled(bool caughtUp)
{
    // A failed checkpoint leaves the log as it is: it is tried again after the next run. A
    // passive checkpoint never holds up the delivery thread's commits.
    if (m_syncStore &&
        m_logFrames.load() >= (caughtUp ? kIdleCheckpointFrames : kBusyCheckpointFrames) &&
        m_syncStore->checkpointWriteAheadLog())
        m_logFrames.store(m_syncStore->logFrames());
}

void MqttManager::onDurabilityThreadFinished()
{
    m_syncStore.reset();
}

void MqttManager::onDeliveryThreadFinished()
{
    // A connection is closed on the thread that opened it.
    m_threadStore.reset();
    m_deliveryThread.store(nullptr);
}
