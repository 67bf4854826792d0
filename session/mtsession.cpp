#include "session/mtsession.h"

#include "messaging/mqttmanager.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "platform/memoryrelease.h"
#include "session/localsettings.h"
#include "session/mtqueuewaker.h"
#include "session/sessionrequest.h"
#include "store/dbmanager.h"
#include "store/dbsparestore.h"
#include "store/mtdata.h"
#include "store/unreadcounts.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

namespace {
// The schema version the session's store is made with.
const int kStoreVersion = 1;
const char* const kWalSuffix = "-wal";
const char* const kShmSuffix = "-shm";
} // namespace

MtSession::MtSession(const ServerConfig& config, QObject* parent)
    : QObject(parent), m_config(config), m_files(std::make_unique<FileManager>())
{
    resetEngine();
    m_pingTimer.setInterval(kPingIntervalMs);
    connect(&m_pingTimer, &QTimer::timeout, this, &MtSession::ping);
    m_messagingWait.setSingleShot(true);
    m_messagingWait.setInterval(kMessagingWaitMs);
    connect(&m_messagingWait, &QTimer::timeout, this, &MtSession::startDueMessaging);
    connect(&m_listRefresh, &MtCoalescer::fired, this, &MtSession::flushRoomList);
    connect(&m_noticeRefresh, &MtCoalescer::fired, this, &MtSession::flushNotices);
}

MtSession::~MtSession()
{
    stopMessaging();
    m_net.reset();
    m_mtData.reset();
    m_attempt.reset();
    closeStore();
}

QString MtSession::dbPath() const
{
    return m_db ? m_db->dbPath() : QString();
}

void MtSession::resetEngine()
{
    // A new engine drops whatever the old one still had in flight: its queued and running tasks
    // end with it, so no answer of the ended session is stored or signalled afterwards.
    m_net.reset();
    m_net = std::make_unique<NetServerManager>(m_config);
    m_loginPrepared = false;
    m_net->setDbPath(dbPath());
    connect(m_net.get(), &NetServerManager::onHttpSuccess, this, &MtSession::onHttpSuccess);
    connect(m_net.get(), &NetServerManager::onHttpFailure, this, &MtSession::onHttpFailure);
    connect(m_net.get(), &NetServerManager::roomListShown, this, &MtSession::onRoomListShown);
    connect(m_net.get(), &NetServerManager::firstPicturesEnded, this, [this] {
        if (m_messagingWait.isActive())
            startDueMessaging();
    });
}

const int MtSession::kLoginConnections = NetServerManager::kMinimumWorkers;

bool MtSession::openStore(const QString& path)
{
    if (m_db && m_db->dbPath() == path)
        return m_db->isOpen();
    // The messaging session reads and writes the file it was started on: it goes first.
    stopMessaging();
    if (m_mtData)
        m_mtData->attach(nullptr);
    closeStore();
    qDebug().noquote().nospace() << "MtSession::openStore dbPath:" << path;
    m_db = std::make_unique<DBManager>(path, QString::fromLatin1(DBManager::kConnection),
                                       QString::fromLatin1(DBManager::kPassword), kStoreVersion);
    m_net->setDbPath(path);
    return m_db->isOpen();
}

void MtSession::closeStore()
{
    m_db.reset();
    if (m_net)
        m_net->setDbPath(QString());
}

bool MtSession::restore(const QString& account)
{
    if (account.isEmpty() || m_state.isLoggedIn())
        return false;
    const QString path = DBManager::databaseFilePath(account);
    if (!QFileInfo::exists(path))
        return false;
    if (!openStore(path)) {
        closeStore();
        return false;
    }
    m_mtData = std::make_unique<MTData>(m_db.get());
    if (m_mtData->accessKey().isEmpty() || m_mtData->myPassword().isEmpty()) {
        qDebug().noquote().nospace()
            << "MtSession::restore - no stored session, account:" << account;
        m_mtData.reset();
        closeStore();
        return false;
    }
    m_account = account;
    m_state.apply(SessionState::Event::SessionRestored);
    startMessaging();
    m_pingTimer.start();
    emit locked();
    return true;
}

void MtSession::prepareLogin()
{
    if (m_loginPrepared)
        return;
    m_loginPrepared = true;
    m_net->connectAhead(kLoginConnections);
    QThreadPool::globalInstance()->start([] {
        DBManager::prepareNewFileKey();
        DBSpareStore::prepare(QString::fromLatin1(DBManager::kPassword), kStoreVersion);
        NetServerManager::prepareSparePictureFiles();
    });
}

bool MtSession::login(const QString& account, const QString& password, bool autoLogin,
                      const QString& deviceId)
{
    if (m_state.apply(SessionState::Event::ManualLoginSent).ignored)
        return false;
    m_account = account;
    m_password = password;
    m_autoLogin = autoLogin;
    // Every attempt starts from a session object of its own in memory: nothing of it reaches a
    // database before the server has accepted the account.
    m_attempt = std::make_unique<MTData>(nullptr);
    DBEditor editor;
    m_attempt->setAutoLogin(editor, autoLogin);
    m_attempt->setMyAccount(editor, account);
    m_attempt->setAccessKey(editor, QString());
    m_attempt->setDeviceId(editor, deviceId);
    const bool sent =
        m_net->reqLogin(SessionRequest::Login, account, DBMTData::passwordDigest(password), 0);
    // The account's store is opened once the server has answered; the key it needs is derived
    // meanwhile, once the request is on its way: begun first, it took the processor the request
    // needed.
    QThreadPool::globalInstance()->start(
        [path = DBManager::databaseFilePath(account)] { DBManager::prepareKey(path); });
    return sent;
}

bool MtSession::forceLogin()
{
    m_state.apply(SessionState::Event::ForcedLoginSent);
    return m_net->reqLogin(SessionRequest::Login, m_account, DBMTData::passwordDigest(m_password),
                           1);
}

void MtSession::declineTakeOver()
{
    if (m_state.isLocked()) {
        m_state.apply(SessionState::Event::UnlockFailed);
        emit unlockFailed(SessionRequest::ErrorTakenOver, QString());
        return;
    }
    failLogin(SessionRequest::Login, SessionRequest::ErrorTakenOver, QString());
}

bool MtSession::lock()
{
    if (m_state.apply(SessionState::Event::LockRequested).ignored)
        return false;
    m_presence.setActiveTopic(QString());
    emit locked();
    return true;
}

bool MtSession::unlock(const QString& password)
{
    if (!m_mtData || m_state.apply(SessionState::Event::UnlockSent).ignored)
        return false;
    m_password = password;
    return m_net->reqLogin(SessionRequest::Unlock, m_mtData->myAccount(),
                           DBMTData::passwordDigest(password), 0);
}

void MtSession::ping()
{
    qDebug().noquote().nospace() << "MtSession::ping m_login: " << m_state.isLoggedIn();
    if (m_state.isLoggedIn())
        m_net->reqPing(SessionRequest::Ping);
}

void MtSession::teardown()
{
    qDebug().noquote().nospace() << "MtSession::teardown - logout";
    // The delivery thread reads the session object and the unread table: it ends first.
    stopMessaging();
    resetEngine();
    m_pingTimer.stop();
    m_listRefresh.cancel();
    m_noticeRefresh.cancel();
    m_listChats.clear();
    m_noticeChats.clear();
    m_pendingRooms.clear();
    m_roomListPending = false;
    m_roomListChained = false;
    m_messagingAfterRooms = false;
    m_messagingDue = false;
    m_messagingWait.stop();
    m_countsLoadedAhead = false;
    m_roomsAfterList.clear();
    m_pendingGroups.clear();
    m_presence.clear();
    m_outbox.attach(nullptr, 0);
    m_attempt.reset();
    m_state.apply(SessionState::Event::LogOff);
}

MtSession::CallbackScope::CallbackScope(MtSession* session) : m_session(session)
{
    ++m_session->m_callbackDepth;
}

MtSession::CallbackScope::~CallbackScope()
{
    --m_session->m_callbackDepth;
}

bool MtSession::deferWhileInCallback(std::function<void()> end)
{
    // Inside a signal of the engine or the messaging session, deleting them would pull the
    // object out from under the code that emitted: the end runs once that code has returned,
    // and until then nothing more of the session is handled.
    if (m_callbackDepth == 0 && !m_ending)
        return false;
    if (m_ending)
        return true;
    m_ending = true;
    QMetaObject::invokeMethod(
        this,
        [this, end] {
            m_ending = false;
            end();
        },
        Qt::QueuedConnection);
    return true;
}

void MtSession::logOff()
{
    if (deferWhileInCallback([this] { logOff(); }))
        return;
    teardown();
    if (m_mtData)
        m_mtData->applyZero();
    m_mtData.reset();
    unreadCounts().clear();
    m_password.clear();
    writeAutologinAccount(QString());
    qDebug().noquote().nospace() << "MtSession::logOff - logout END";
    emit loggedOff();
}

void MtSession::removeAccount()
{
    if (deferWhileInCallback([this] { removeAccount(); }))
        return;
    const QString path = m_db ? m_db->dbPath() : DBManager::databaseFilePath(m_account);
    qDebug().noquote().nospace() << "MtSession::removeAccount dbPath:" << path;
    teardown();
    m_mtData.reset();
    unreadCounts().clear();
    m_password.clear();
    // Every connection onto the file is closed by now: the messaging session's with its
    // thread, the workers' with the engine, the GUI thread's here.
    closeStore();
    QStringList failed;
    QString error;
    const QStringList files{path, path + QLatin1String(kWalSuffix),
                            path + QLatin1String(kShmSuffix)};
    for (const QString& file : files) {
        QFile f(file);
        if (f.exists() && !f.remove()) {
            failed << file;
            error = f.errorString();
        }
    }
    const bool ok = failed.isEmpty();
    if (ok) {
        qDebug().noquote().nospace() << "MtSession::removeAccount remove db success";
    } else {
        qWarning().noquote().nospace()
            << "MtSession::removeAccount failed to remove filename:"
            << failed.join(QLatin1Char(',')) << " error message:" << error;
    }
    writeAutologinAccount(QString());
    if (m_settings)
        m_settings->resetForRemovedAccount();
    emit loggedOff();
    emit accountRemoved(ok, error);
}

// The rows show the counts from the first paint on; the messaging session counts on from them.
void MtSession::loadUnreadCounts()
{
    unreadCounts().clear();
    m_db->loadUnreadCounts(m_mtData->userId());
    m_countsLoadedAhead = true;
}

void MtSession::startMessaging()
{
    const QString path = dbPath();
    const QString clientId = m_mtData->clientId();
    const QString accessKey = m_mtData->accessKey();
    if (m_mqtt && path == m_mqttDbPath && clientId == m_mqttClientId &&
        accessKey == m_mqttAccessKey)
        return;
    // Other keys (a take-over, a new session of the server) or another file: the running
    // session would retry the ended credentials for ever.
    // On the same file the counts stay as the ending session left them: its threads have ended
    // and every batch it committed is counted. Read again, they would hold the GUI thread for a
    // scan of every chat at each change of keys.
    const bool countsKept = (m_mqtt && path == m_mqttDbPath) || m_countsLoadedAhead;
    stopMessaging();
    if (!countsKept)
        loadUnreadCounts();
    m_countsLoadedAhead = false;
    m_presence.clear();
    m_presence.setOwnClientId(clientId);
    m_mqtt = std::make_unique<MqttManager>(path);
    m_mqtt->setRoomPresence(&m_presence);
    m_outbox.attach(m_db.get(), m_mtData->userId());
    m_outbox.setMessaging(m_mqtt.get());
    connect(m_mqtt.get(), &MqttManager::connected, this, [this] {
        const CallbackScope scope(this);
        m_outbox.connected();
        emit messagingConnected();
    });
    connect(m_mqtt.get(), &MqttManager::disconnected, this, [this] {
        const CallbackScope scope(this);
        m_outbox.disconnected();
        emit messagingDisconnected();
    });
    connect(m_mqtt.get(), &MqttManager::storeUnavailable, this, [this] {
        const CallbackScope scope(this);
        emit storeUnavailable();
    });
    connect(m_mqtt.get(), &MqttManager::logout, this,
            [this](const QString& topic, unsigned char type, const QDateTime& time) {
                const CallbackScope scope(this);
                qDebug().noquote().nospace()
                    << "MtSession::logoutFromMqttManager topic:" << topic << " messageType:" << type
                    << " dateTime:" << time.toString();
                emit remoteLogout(topic, type, time);
            });
    m_mqttDbPath = path;
    m_mqttClientId = clientId;
    m_mqttAccessKey = accessKey;
    m_mqtt->connectToHost(m_config.host(), quint16(m_config.brokerPort()), clientId,
                          QString::number(m_mtData->userId()), accessKey);
    m_waker = std::make_unique<MtQueueWaker>(m_mqtt.get());
    // Emitted on this thread from its event loop.
    connect(m_waker.get(), &MtQueueWaker::itemsQueued, this, &MtSession::drainQueue);
}

void MtSession::stopMessaging()
{
    m_waker.reset();
    m_outbox.disconnected();
    m_outbox.setMessaging(nullptr);
    if (!m_mqtt)
        return;
    m_mqtt->setRoomPresence(nullptr);
    // Destruction joins the delivery thread before anything it reads goes.
    m_mqtt.reset();
    m_mqttDbPath.clear();
    m_mqttClientId.clear();
    m_mqttAccessKey.clear();
    m_drainScheduled = false;
}

void MtSession::failLogin(int reqCode, int errCode, const QString& text)
{
    abandonLogin();
    qDebug().noquote().nospace() << "MtSession::failLogin reqCode:" << reqCode
                                 << " errCode:" << errCode;
    emit loginFailed(errCode, text);
}

bool MtSession::failFirstLoad(int errCode, const QString& text, bool announce)
{
    const SessionState::Outcome outcome = m_state.apply(SessionState::Event::FirstLoadFailed);
    if (outcome.ignored)
        return false;
    qWarning().noquote().nospace()
        << "MtSession::failFirstLoad errCode:" << errCode << " endLogin:" << outcome.endLogin;
    if (outcome.relock) {
        m_presence.setActiveTopic(QString());
        if (announce)
            emit unlockFailed(errCode, text);
        return true;
    }
    // The login page keeps what was typed and the stored settings stay: only this attempt's
    // session ends, without the log off that forgets the account.
    const auto end = [this, errCode, text, announce] {
        teardown();
        m_mtData.reset();
        closeStore();
        unreadCounts().clear();
        if (announce)
            emit loginFailed(errCode, text);
    };
    if (!deferWhileInCallback(end))
        end();
    return true;
}

void MtSession::writeAutologinAccount(const QString& account)
{
    if (m_settings)
        m_settings->setAutologinAccount(account);
}

void MtSession::abandonLogin()
{
    m_state.apply(SessionState::Event::LoginFailed);
    m_attempt.reset();
    // A store opened for an answer that then failed is not a session.
    if (!m_state.isLoggedIn() && !m_state.isLocked()) {
        stopMessaging();
        m_mtData.reset();
        closeStore();
    }
}

void MtSession::loginAnswered(int reqCode, const QJsonObject& response)
{
    const QString account = response.value(QStringLiteral("loginAccnt")).toString();
    const QJsonObject client = response.value(QStringLiteral("client")).toObject();
    const qint64 userId = response.value(QStringLiteral("userId")).toVariant().toLongLong();
    if (account.isEmpty() || userId <= 0 ||
        client.value(QStringLiteral("accessKey")).toString().isEmpty()) {
        qWarning().noquote() << "MtSession::loginAnswered - unreadable answer";
        if (reqCode == SessionRequest::Unlock) {
            m_state.apply(SessionState::Event::UnlockFailed);
            emit unlockFailed(SessionRequest::ErrorNetwork, tr("Please check network connection"));
        } else {
            failLogin(reqCode, SessionRequest::ErrorNetwork, tr("Please check network connection"));
        }
        return;
    }
    // Every path and setting names the account the server answered, not the typed text.
    m_account = account;
    // A first login on this computer has no store to read a directory time from: the directory
    // (and the room list behind it) go out before the new file is made, whose tables and switch
    // to a write-ahead log sync the disk several times, and are stored once it is.
    const QString path = DBManager::databaseFilePath(account);
    const bool cacheAhead =
        reqCode == SessionRequest::Login && m_attempt && !m_mtData && !QFileInfo::exists(path);
    DBEditor editor;
    bool cacheAsked = false;
    if (cacheAhead) {
        takeLoginAnswer(m_attempt.get(), editor, reqCode, response);
        m_net->setDbPath(path);
        m_net->holdStore();
        cacheAsked = m_net->reqDataCache(SessionRequest::Cache, SessionRequest::Rooms);
        // The store made while the login page waited, when there is one, becomes the account's.
        DBSpareStore::take(path);
    }
    const bool stored = openStore(path);
    if (stored && m_attempt) {
        m_mtData = std::move(m_attempt);
    } else if (stored && !m_mtData) {
        m_mtData = std::make_unique<MTData>(m_db.get());
    }
    bool ok = stored && m_mtData;
    if (ok) {
        m_mtData->attach(m_db.get());
        const DBMTData storedValues(m_db.get());
        if (!cacheAhead)
            takeLoginAnswer(m_mtData.get(), editor, reqCode, response);
        m_mtData->setAlarm(editor, storedValues.isLoaded() ? storedValues.alarm() : true);
        m_mtData->setMyPassword(editor, m_password);
        ok = m_mtData->applyCommit(editor);
    }
    if (cacheAhead)
        m_net->storeMade(ok);
    if (!ok) {
        qWarning().noquote() << "MtSession::loginAnswered remove db failed";
        if (reqCode == SessionRequest::Unlock) {
            m_state.apply(SessionState::Event::UnlockFailed);
            emit unlockFailed(kErrorDatabase, tr("Database Error"));
            return;
        }
        m_mtData.reset();
        failLogin(reqCode, kErrorDatabase, tr("Database Error"));
        return;
    }
    const SessionState::Outcome outcome =
        m_state.apply(reqCode == SessionRequest::Unlock ? SessionState::Event::UnlockAnswered
                                                        : SessionState::Event::LoginAnswered);
    qDebug().noquote().nospace() << "MtSession::loginOk - lastCacheTime="
                                 << m_mtData->lastCacheTime();
    // The directory first: its request and the server's answer are on their way while the
    // settings are written and the window takes the session.
    // The room list is fetched meanwhile, and stored by the directory's task once the directory
    // is: it does not wait for this thread to hear of the directory.
    if (!cacheAhead && outcome.requestCache)
        cacheAsked = m_net->reqDataCache(SessionRequest::Cache, SessionRequest::Rooms);
    if (cacheAsked)
        m_roomListPending = true;
    m_roomListChained = cacheAsked;
    // Only an accepted account is started automatically next time. One write: each syncs the
    // disk three times, on this thread, while the window waits for the rooms.
    if (m_settings && reqCode == SessionRequest::Login)
        m_settings->setLoginValues(m_mtData->deviceId(),
                                   m_mtData->autoLogin() ? account : QString());
    else if (m_settings)
        m_settings->setDeviceId(m_mtData->deviceId());
    // A login's messaging session starts once the room list is in: its store connections and
    // the broker's subscriptions to every room would otherwise hold up the directory and the
    // rooms the window waits for. Nothing is missed meanwhile: the broker keeps the session's
    // chats until it connects.
    m_messagingAfterRooms = reqCode == SessionRequest::Login && m_roomListPending;
    if (m_messagingAfterRooms)
        loadUnreadCounts();
    else
        startMessaging();
    m_pingTimer.start();
    if (reqCode == SessionRequest::Unlock)
        emit unlocked();
    else
        emit loginSucceeded();
    if (outcome.showRoomList)
        emit roomsReady(true, false);
}

void MtSession::takeLoginAnswer(MTData* session, DBEditor& editor, int reqCode,
                                const QJsonObject& response) const
{
    const QJsonObject client = response.value(QStringLiteral("client")).toObject();
    session->setMyAccount(editor, m_account);
    session->setUserId(editor, response.value(QStringLiteral("userId")).toVariant().toLongLong());
    session->setUserName(editor, response.value(QStringLiteral("userName")).toString());
    session->setThumbUrl(editor, response.value(QStringLiteral("thumbUrl")).toString());
    session->setCustId(editor, response.value(QStringLiteral("custId")).toVariant().toLongLong());
    session->setAccessKey(editor, client.value(QStringLiteral("accessKey")).toString());
    session->setClientId(editor, client.value(QStringLiteral("clientId")).toString());
    if (reqCode == SessionRequest::Login)
        session->setAutoLogin(editor, m_autoLogin);
    const QString deviceId = session->deviceId();
    session->setDeviceId(editor, deviceId);
}

void MtSession::onHttpSuccess(int reqCode, const QJsonObject& response)
{
    const CallbackScope scope(this);
    if (m_ending || !m_state.acceptsAnswer(reqCode)) {
        qDebug().noquote().nospace() << "MtSession::onHttpSuccess - ignored reqCode:" << reqCode;
        return;
    }
    switch (reqCode) {
    case SessionRequest::Login:
    case SessionRequest::Unlock:
        loginAnswered(reqCode, response);
        break;
    case SessionRequest::Logout:
        qDebug().noquote() << "MtSession::onHttpSuccess - [REQ_HTTP_LOGOUT] logout success";
        logOff();
        break;
    case SessionRequest::Cache:
        qDebug().noquote() << "MtSession::onHttpSuccess - [REQ_HTTP_CACHE] cache success";
        m_state.apply(SessionState::Event::CacheAnswered);
        // The directory is the peak of a login: a large organisation's answer, parsed and stored,
        // leaves hundreds of megabytes free but kept by the allocator for the whole session.
        // Given back once this answer, the last reference to it, is gone.
        QTimer::singleShot(0, this, [] { platformReleaseFreeMemory(); });
        m_roomsShownAhead = false;
        if (!std::exchange(m_roomListChained, false) &&
            !m_net->reqChatRoomList(SessionRequest::Rooms))
            roomListEnded();
        break;
    case SessionRequest::Rooms: {
        qDebug().noquote() << "MtSession::onHttpSuccess - [REQ_HTTP_ROOMS] rooms success";
        const SessionState::Outcome outcome = m_state.apply(SessionState::Event::RoomsAnswered);
        emit roomsReady(outcome.showRoomList, std::exchange(m_roomsShownAhead, false));
        roomListEnded();
        break;
    }
    case SessionRequest::Room:
        roomAnswered(response);
        break;
    case SessionRequest::Group:
        groupAnswered(response);
        break;
    default:
        break;
    }
}

void MtSession::onRoomListShown(int reqCode, const QList<DBChatRoom>& rooms)
{
    const CallbackScope scope(this);
    // Only for the list this session waits for, and only when its answer would show it: the
    // list a lock page covers is rebuilt once stored, as before.
    if (m_ending || reqCode != SessionRequest::Rooms || !m_roomListPending ||
        !m_state.acceptsAnswer(reqCode) || !m_state.showsAnsweredRooms())
        return;
    m_roomsShownAhead = true;
    emit roomsShown(rooms);
}

void MtSession::onHttpFailure(int reqCode, int errCode, const QString& error)
{
    qDebug().noquote().nospace() << "MtSession::onHttpFailure reqCode:" << reqCode
                                 << " errCode:" << errCode << " error:" << error
                                 << " m_lock:" << m_state.isLocked();
    const CallbackScope scope(this);
    if (m_ending || !m_state.acceptsAnswer(reqCode)) {
        qDebug().noquote().nospace() << "MtSession::onHttpFailure - ignored reqCode:" << reqCode;
        return;
    }
    using namespace SessionRequest;
    if (errCode == ErrorSessionEnded || errCode == ErrorAccountRemoved) {
        deferWhileInCallback([this, errCode, error] {
            removeAccount();
            emit sessionEnded(errCode, error);
        });
        return;
    }
    if (errCode == ErrorVersion) {
        if (reqCode == Login)
            abandonLogin();
        if (reqCode == Unlock)
            m_state.apply(SessionState::Event::UnlockFailed);
        emit versionRefused(error);
        if (error.isEmpty()) {
            qDebug().noquote()
                << "MtSession::onHttpFailure - [ERROR_VERSION_APP_NOT_MATCH] update link is empty";
            const SessionState::Outcome outcome =
                m_state.apply(SessionState::Event::VersionRefusedWithoutLink);
            if (!outcome.ignored) {
                emit roomsReady(outcome.showRoomList, false);
                return;
            }
        }
        // A refused directory or room list leaves no half-made login behind either; the
        // refusal itself is what the user is told.
        if (reqCode != Login && reqCode != Unlock)
            failFirstLoad(errCode, QString(), false);
        return;
    }
    const QString text = errCode == ErrorNetwork ? tr("Please check network connection") : error;
    switch (reqCode) {
    case Login:
        if (errCode == ErrorTakenOver) {
            emit loginTakenOver();
            return;
        }
        failLogin(reqCode, errCode, text);
        return;
    case Unlock:
        if (errCode == ErrorTakenOver) {
            emit loginTakenOver();
            return;
        }
        m_state.apply(SessionState::Event::UnlockFailed);
        emit unlockFailed(errCode, text);
        return;
    case Cache:
    case Ping:
        if (failFirstLoad(errCode, text))
            return;
        emit requestFailed(reqCode, errCode, text);
        if (reqCode == Cache)
            roomListEnded();
        return;
    case Room:
        m_pendingRooms.clear();
        emit requestFailed(reqCode, errCode, text);
        return;
    case Group:
        m_pendingGroups.clear();
        emit requestFailed(reqCode, errCode, text);
        return;
    case Rooms:
        roomListEnded();
        if (failFirstLoad(errCode, text))
            return;
        emit requestFailed(reqCode, errCode, text);
        return;
    default:
        // The chat windows' own requests share the engine; they report their failures.
        return;
    }
}
