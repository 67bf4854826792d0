// The worker requests whose answers are stored before they are signalled: the directory cache
// and the room list, each on a store connection of its own on the worker's thread.
#include "net/netservermanager.h"

#include "net/netanswer.h"
#include "net/netlatch.h"
#include "net/netroomlisttrim.h"
#include "net/netsessionheaders.h"
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/mtdata.h"

#include <QDebug>
#include <QJsonArray>
#include <QMutex>
#include <QSet>
#include <QVector>

#include <algorithm>
#include <utility>

namespace {
// A connection name is process-wide: two requests of one kind at the same time would each
// open it on their own thread. They take turns for the store part instead.
QMutex g_cacheStoreMutex;
QMutex g_roomStoreMutex;

QString myId(const NetSessionHeaders& headers)
{
    return QString::number(headers.userId());
}

// Where the user's room list is asked for.
QString roomListPath(const NetSessionHeaders& headers)
{
    return QStringLiteral("/rest/chatt/room/") + myId(headers);
}

// The failure of a request made ahead that never got an answer of its own.
NetFailure notFetched()
{
    return NetFailure{true, NetServerManager::kErrorNetwork, QStringLiteral("not fetched")};
}

// An answer's own values without its lists: what the GUI thread gets once the lists are stored.
// Sent whole, a large answer was freed there, between the window's first rows and their paint.
QJsonObject answerStamp(const QJsonObject& response)
{
    QJsonObject stamp;
    for (auto it = response.constBegin(); it != response.constEnd(); ++it) {
        if (!it.value().isArray() && !it.value().isObject())
            stamp.insert(it.key(), it.value());
    }
    return stamp;
}

// The answer's rooms, newest first as the list shows rooms without chats.
QVector<QJsonObject> roomsNewestFirst(const QJsonObject& response)
{
    // Each room's time read once, not at every comparison of the sort.
    QVector<std::pair<qint64, QJsonObject>> timed;
    for (const QJsonValue& value : response.value(QLatin1String("list")).toArray()) {
        const QJsonObject room = value.toObject();
        timed.append({room.value(QLatin1String("updDatetime")).toVariant().toLongLong(), room});
    }
    std::stable_sort(timed.begin(), timed.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    QVector<QJsonObject> rooms;
    rooms.reserve(timed.size());
    for (const auto& room : qAsConst(timed))
        rooms.append(room.second);
    return rooms;
}
} // namespace

// What the rows of some rooms need for their pictures, in the rooms' order: a group's id, or the
// members other than the user. Kept without the answer, which may be large.
struct NetServerManager::RoomPictureNeeds
{
    QList<qint64> groups; // 0 for a room of members
    QList<QVector<qint64>> members;

    static RoomPictureNeeds of(const QVector<QJsonObject>& rooms, qint64 ownUserId)
    {
        RoomPictureNeeds needs;
        for (const QJsonObject& room : rooms) {
            QVector<qint64> ids;
            if (room.value(QLatin1String("chattRoomType")).toVariant().toInt() == RoomTypeGroup) {
                needs.groups << room.value(QLatin1String("grpId")).toVariant().toLongLong();
                needs.members << ids;
                continue;
            }
            for (const QJsonValue& member : room.value(QLatin1String("members")).toArray()) {
                const qint64 id =
                    member.toObject().value(QLatin1String("joinUserId")).toVariant().toLongLong();
                if (id != ownUserId)
                    ids << id;
            }
            needs.groups << 0;
            needs.members << ids;
        }
        return needs;
    }

    // The pictures the rows show (so that the rows the user sees first are fetched first), as
    // the directory names them: a group's picture, or the first four members that the
    // directory knows (the room picture's mosaic). Only those rows are read: the directory can
    // hold tens of thousands of users.
    QStringList urls(DBManager& db) const
    {
        constexpr int kMosaic = 4;
        QSet<QString> userIds;
        for (const QVector<qint64>& ids : members) {
            for (const qint64 id : ids)
                userIds.insert(QString::number(id));
        }
        QList<DBUser> users;
        db.users(users, userIds.values());
        QHash<qint64, QString> thumbs;
        for (const DBUser& user : qAsConst(users))
            thumbs.insert(user.userId(), user.thumbUrl());
        QStringList out;
        for (int i = 0; i < members.size(); ++i) {
            DBGroup group;
            if (groups[i] != 0 && db.findGroup(groups[i], group))
                out << group.thumbUrl();
            int shown = 0;
            for (const qint64 id : members[i]) {
                const auto it = thumbs.constFind(id);
                if (it == thumbs.cend())
                    continue;
                out << it.value();
                if (++shown == kMosaic)
                    break;
            }
        }
        out.removeAll(QString());
        out.removeDuplicates();
        return out;
    }
};

// The rooms whose pictures are asked for after the first rows are painted, as the answer gave
// them: what they need is worked out then, by the task that asks, not on the way to that paint.
struct NetServerManager::LaterRooms
{
    QVector<QJsonObject> rooms;
    qint64 ownUserId = 0;
};

namespace {
// On the GUI thread, before the answer is signalled: the session object takes the values the
// directory cache stored (they are in its file already), unless the user has logged off or
// another account has signed in since the request was made.
void refreshSession(const DBMTData& stored)
{
    MTData* session = MTData::instance();
    if (!session || session->userId() != stored.userId())
        return;
    DBEditor memoryOnly;
    session->setLastCacheTime(memoryOnly, stored.lastCacheTime());
    session->setFileSaveOption(memoryOnly, stored.fileSaveOption());
    session->setServerHistoryOption(memoryOnly, stored.serverHistoryOption());
    // These setters write at once; only a changed value is written (again).
    if (session->userName() != stored.userName()) {
        DBEditor editor;
        session->setUserName(editor, stored.userName());
    }
    if (session->thumbUrl() != stored.thumbUrl()) {
        DBEditor editor;
        session->setThumbUrl(editor, stored.thumbUrl());
    }
    if (session->imageUrl() != stored.imageUrl()) {
        DBEditor editor;
        session->setImageUrl(editor, stored.imageUrl());
    }
}
} // namespace

// A room list fetched ahead: its answer or its failure once the fetch has ended.
struct NetServerManager::RoomListAhead
{
    QUrl url;
    NetLatch ended;
    // Written before `ended` opens.
    QJsonObject response;
    NetFailure failure;

    // Waits for the fetch, or until `ending` holds (the engine is going away); false with
    // `failure` set when it failed.
    bool result(QJsonObject* answer, NetFailure* failed, const std::function<bool()>& ending)
    {
        if (!ended.wait(ending)) {
            *failed = notFetched();
            return false;
        }
        *answer = response;
        *failed = failure;
        return !failure.failed;
    }
};

void NetServerManager::startRoomListAhead(const NetSessionHeaders& headers)
{
    auto ahead = std::make_shared<RoomListAhead>();
    ahead->url = makeUrl(roomListPath(headers));
    {
        QMutexLocker lock(&m_aheadMutex);
        m_roomListAhead = ahead;
    }
    const bool started = startTask([this, ahead, headers] {
        QJsonObject response;
        NetFailure failure;
        {
            const NetCapturedFailure capture(&failure);
            if (!fetchRoomList(0, ahead->url, headers, &response) && !failure.failed)
                failure = notFetched();
        }
        ahead->response = response;
        ahead->failure = failure;
        ahead->ended.open(true);
    });
    if (!started)
        takeRoomListAhead(ahead->url);
}

std::shared_ptr<NetServerManager::RoomListAhead>
NetServerManager::takeRoomListAhead(const QUrl& url)
{
    QMutexLocker lock(&m_aheadMutex);
    if (!m_roomListAhead || m_roomListAhead->url != url)
        return nullptr;
    return std::exchange(m_roomListAhead, nullptr);
}

bool NetServerManager::reqDataCache(int reqCode, int roomListCode)
{
    // The worker stores with a copy of the session as it is now, never with the session object
    // itself: storing takes seconds, in which the user may log off (the object is deleted) or
    // another account may sign in.
    const MTData* session = MTData::instance();
    // A copy is unattached: it never reaches the session's connection.
    DBMTData account = session ? DBMTData(*session) : DBMTData();
    const bool hasSession = session != nullptr;
    const NetSessionHeaders headers = NetSessionHeaders::capture();
    const QUrl url = makeUrl(QStringLiteral("/rest/cache/") + myId(headers) + QLatin1Char('/') +
                             account.lastCacheTime());
    const QString dbPath = m_dbPath;
    const std::shared_ptr<NetLatch> gate = m_storeGate;
    return startTask([=] {
        runDataCache(reqCode, url, dbPath, headers, account, hasSession, roomListCode, gate);
    });
}

void NetServerManager::holdStore()
{
    m_storeGate = std::make_shared<NetLatch>();
}

void NetServerManager::storeMade(bool usable)
{
    if (const std::shared_ptr<NetLatch> gate = std::exchange(m_storeGate, nullptr))
        gate->open(usable);
}

bool NetServerManager::reqChatRoomList(int reqCode)
{
    const NetSessionHeaders headers = NetSessionHeaders::capture();
    const QUrl url = makeUrl(roomListPath(headers));
    const QString dbPath = m_dbPath;
    return startTask([=] { runChatRoomList(reqCode, url, dbPath, headers); });
}

bool NetServerManager::fetchObject(int reqCode, const QUrl& url, const NetSessionHeaders& headers,
                                   QJsonObject* object, const QString& method,
                                   const QUrlQuery& form,
                                   const std::function<void()>& whenAnswering,
                                   QByteArray (*trim)(const QByteArray&))
{
    QNetworkReply* reply =
        startRequest(m_keptManagers.current(), url, reqCode, method, form, headers);
    if (reply) {
        if (whenAnswering) {
            auto begun = std::make_shared<bool>(false);
            connect(reply, &QNetworkReply::metaDataChanged, reply, [whenAnswering, begun] {
                if (!std::exchange(*begun, true))
                    whenAnswering();
            });
        }
        reply = waitForReply(reply, reqCode);
    }
    if (!reply) {
        fail(reqCode, kErrorNetwork, QStringLiteral("reply is NULL"));
        return false;
    }
    // An error answer (or a time-out) was signalled by the request itself.
    const bool answered = reply->error() == QNetworkReply::NoError;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    bool read = false;
    if (answered && status == 200) {
        const QByteArray body = reply->readAll();
        const QByteArray shorter = trim ? trim(body) : QByteArray();
        const NetAnswer answer =
            NetAnswer::read(shorter.isEmpty() ? body : shorter, "NetServerManager::httpRequest",
                            QStringLiteral("reqCode=%1").arg(reqCode));
        read = answer.isReadable();
        *object = answer.object();
        if (!read)
            fail(reqCode, kErrorUnreadable, unreadableText());
    } else if (answered) {
        // Neither 200 nor an error: nothing to store, and the caller must hear of it.
        qWarning().noquote().nospace() << "NetServerManager::httpRequest - reqCode=" << reqCode
                                       << " not answered, httpCode=" << status;
        fail(reqCode, kErrorUnreadable, unreadableText());
    }
    delete reply;
    return read;
}

bool NetServerManager::fetchRoomList(int reqCode, const QUrl& url, const NetSessionHeaders& headers,
                                     QJsonObject* list)
{
    return fetchObject(reqCode, url, headers, list, QStringLiteral("GET"), QUrlQuery(), nullptr,
                       &NetRoomListTrim::trimmed);
}

void NetServerManager::runDataCache(int reqCode, const QUrl& url, const QString& dbPath,
                                    const NetSessionHeaders& headers, const DBMTData& account,
                                    bool hasSession, int roomListCode,
                                    const std::shared_ptr<NetLatch>& gate)
{
    DBMTData stored(account);
    QJsonObject stamp;
    if (!storeDataCache(reqCode, url, dbPath, headers, hasSession, roomListCode != 0, gate, &stored,
                        &stamp)) {
        // Nobody asks for the room list after a failed directory: its answer is not kept.
        QMutexLocker lock(&m_aheadMutex);
        m_roomListAhead.reset();
        return;
    }
    // Queued to the GUI thread ahead of the answer, so its receivers see the refreshed session.
    QMetaObject::invokeMethod(
        this, [stored] { refreshSession(stored); }, Qt::QueuedConnection);
    emit onHttpSuccess(reqCode, stamp);
    // Its signals are queued behind the directory's success.
    if (roomListCode != 0)
        runChatRoomList(roomListCode, makeUrl(roomListPath(headers)), dbPath, headers);
}

bool NetServerManager::storeDataCache(int reqCode, const QUrl& url, const QString& dbPath,
                                      const NetSessionHeaders& headers, bool hasSession,
                                      bool roomListAhead, const std::shared_ptr<NetLatch>& gate,
                                      DBMTData* stored, QJsonObject* stamp)
{
    // The answer lives in this function only: a large organisation's parsed lists are freed
    // here, on the worker, before anybody hears of the success (the session then gives the
    // freed memory back; freed after the signal, it was still in use when that ran).
    QJsonObject response;
    // The room list is asked for once the directory's answer has begun, not before: a server
    // that works on both at once answers the directory only with the room list, which then
    // waits for the directory to be stored. Not once the directory is in either: the server
    // works on the room list while this answer comes and is stored.
    const auto roomsBehind = [this, roomListAhead, &headers] {
        if (roomListAhead)
            startRoomListAhead(headers);
    };
    NetFailure failure;
    bool fetched = false;
    {
        const NetCapturedFailure capture(&failure);
        fetched = fetchObject(reqCode, url, headers, &response, QStringLiteral("GET"), QUrlQuery(),
                              roomsBehind);
    }
    // Asked for while its store was still being made: when that failed, neither the answer nor
    // its failure is anybody's (the login that asked has ended, and the next must not hear of
    // it).
    if (gate && !gate->wait([this] { return m_inflight.isAborting(); }))
        return false;
    if (!fetched) {
        if (failure.failed)
            emit onHttpFailure(reqCode, failure.errCode, failure.text);
        return false;
    }
    {
        QMutexLocker lock(&g_cacheStoreMutex);
        DBManager db(dbPath, QString::fromLatin1(DBManager::kConnectionCache),
                     QString::fromLatin1(DBManager::kPassword), 0);
        if (!db.isOpen() || !hasSession) {
            qWarning().noquote().nospace()
                << "NetServerManager::reqDataCache - not stored, dbPath:" << dbPath
                << " session:" << hasSession;
            emit onHttpFailure(reqCode, kErrorNetwork, QStringLiteral("store is not open"));
            return false;
        }
        if (!db.batchCache(*stored, response)) {
            emit onHttpFailure(reqCode, kErrorNetwork, QStringLiteral("store failed"));
            return false;
        }
    }
    // The lists are in the store now; only the answer's own values (its stamp) go to the GUI
    // thread.
    *stamp = answerStamp(response);
    return true;
}

void NetServerManager::runChatRoomList(int reqCode, const QUrl& url, const QString& dbPath,
                                       const NetSessionHeaders& headers)
{
    QJsonObject response;
    if (const std::shared_ptr<RoomListAhead> ahead = takeRoomListAhead(url)) {
        NetFailure failure;
        if (!ahead->result(&response, &failure, [this] { return m_inflight.isAborting(); })) {
            emit onHttpFailure(reqCode, failure.errCode, failure.text);
            return;
        }
    } else if (!fetchRoomList(reqCode, url, headers, &response)) {
        return;
    }
    // Read as an empty list, an answer without one would remove every stored room.
    if (!response.value(QLatin1String("list")).isArray()) {
        qWarning().noquote().nospace()
            << "NetServerManager::reqChatRoomList - reqCode=" << reqCode << " answer has no list";
        emit onHttpFailure(reqCode, kErrorUnreadable, unreadableText());
        return;
    }
    const QVector<QJsonObject> newest = roomsNewestFirst(response);
    // The pictures of the rows a window shows first are asked for before the list is stored;
    // one more row's would compete with them for the server and the processor.
    const int shownFirst = m_roomsShownAtOnce.load();
    const RoomPictureNeeds first =
        RoomPictureNeeds::of(newest.mid(0, shownFirst), headers.userId());
    {
        // Before the list is shown: the window asks for them once it has painted the list.
        QMutexLocker lock(&m_aheadMutex);
        m_laterPictures = std::make_shared<const LaterRooms>(
            LaterRooms{newest.mid(shownFirst), headers.userId()});
    }
    {
        QMutexLocker lock(&g_roomStoreMutex);
        DBManager db(dbPath, QString::fromLatin1(DBManager::kConnectionChatRooms),
                     QString::fromLatin1(DBManager::kPassword), 0);
        if (!db.isOpen()) {
            qWarning().noquote().nospace()
                << "NetServerManager::reqChatRoomList - not stored, dbPath:" << dbPath;
            emit onHttpFailure(reqCode, kErrorNetwork, QStringLiteral("store is not open"));
            return;
        }
        // The pictures are fetched while the rooms are stored: the answer and the directory
        // (stored before the room list is asked for) name them, and a fetched picture goes into
        // the cache, where the rows made later look first. An answer that comes before the rooms
        // only finds no row that waits for it.
        const QStringList urls = first.urls(db);
        {
            // Counted before they are asked for: a fetch may end before the next is asked.
            QMutexLocker lock(&m_aheadMutex);
            m_firstPictures = QSet<QString>(urls.begin(), urls.end());
        }
        for (const QString& url : urls) {
            if (!requestImage(url, nullptr).isEmpty())
                firstPictureEnded(url);
        }
        // The window may show the list before its rows are written: those are the last part of
        // the merge, its longest for a first login of many rooms.
        const auto shown = [this, reqCode](const QList<DBChatRoom>& rooms) {
            QMetaObject::invokeMethod(
                this, [this, reqCode, rooms] { emit roomListShown(reqCode, rooms); },
                Qt::QueuedConnection);
        };
        if (db.syncChatRoomList(response, headers.userId(), shown) ==
            DBManager::SyncResult::Failed) {
            emit onHttpFailure(reqCode, kErrorNetwork, tr("The room list could not be stored"));
            return;
        }
    }
    emit onHttpSuccess(reqCode, answerStamp(response));
}

void NetServerManager::setRoomsShownAtOnce(int rooms)
{
    m_roomsShownAtOnce.store(qMax(1, rooms));
}

bool NetServerManager::firstPicturesPending()
{
    QMutexLocker lock(&m_aheadMutex);
    return !m_firstPictures.isEmpty();
}

void NetServerManager::firstPictureEnded(const QString& urlFilePath)
{
    bool last = false;
    {
        QMutexLocker lock(&m_aheadMutex);
        last = m_firstPictures.remove(urlFilePath) && m_firstPictures.isEmpty();
    }
    if (last)
        emit firstPicturesEnded();
}

void NetServerManager::prefetchRoomPictures()
{
    std::shared_ptr<const LaterRooms> later;
    {
        QMutexLocker lock(&m_aheadMutex);
        later = std::exchange(m_laterPictures, nullptr);
    }
    if (!later || later->rooms.isEmpty())
        return;
    const QString dbPath = m_dbPath;
    startTask([this, later, dbPath] {
        const RoomPictureNeeds needs = RoomPictureNeeds::of(later->rooms, later->ownUserId);
        QMutexLocker lock(&g_roomStoreMutex);
        DBManager db(dbPath, QString::fromLatin1(DBManager::kConnectionChatRooms),
                     QString::fromLatin1(DBManager::kPassword), 0);
        // Without the store the rows ask for their pictures themselves, when they are shown.
        if (!db.isOpen())
            return;
        for (const QString& url : needs.urls(db))
            requestImage(url, nullptr);
    });
}
