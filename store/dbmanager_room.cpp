// Rooms: the room list, look-ups, leaving a room and merging the server's room list.
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbsql.h"
#include "store/dbtypes.h"
#include "store/messagetrace.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>

namespace {

// The room columns alone, in the row layout DBChatRoom::setFromRow reads.
const char* const kRoomOnly =
    "SELECT _id, topic, type, members, create_date, update_date, 0 as sender_id, 0 as msg_type, "
    "0 as content_type, '' as content, 0 as reg_datetime FROM TTT_CHATT_ROOM";

// Each room with its newest chat. Rows as the plain form (the newest time of each room from a
// GROUP BY over every chat, joined back to its chats), but the newest time comes from one index
// look-up per room instead of a pass over the whole chat table. A room whose newest chats share
// one msg_time still comes once per such chat, and a room without chats once, with NULLs, sorted
// by its update_date. Equal times keep the newest room (and chat) first.
const char* const kRoomList =
    "SELECT a._id, a.topic, a.type, a.members, a.create_date, a.update_date, b.sender_id, "
    "b.msg_type, b.content_type, b.content, b.msg_time AS reg_datetime FROM TTT_CHATT_ROOM a "
    "LEFT OUTER JOIN TTT_CHATT b ON (b.topic = a.topic AND b.msg_time = (SELECT MAX(msg_time) "
    "FROM TTT_CHATT WHERE topic = a.topic)) ORDER BY CASE WHEN b.msg_time IS NULL THEN "
    "a.update_date ELSE b.msg_time END DESC, a._id DESC, b._id DESC";

// Runs one of the two room-list statements; false after logging the statement when it fails.
bool runRoomList(QSqlQuery& query, const char* statement)
{
    const QString sql = QString::fromLatin1(statement);
    query.setForwardOnly(true);
    if (query.prepare(sql) && query.exec())
        return true;
    qWarning().noquote().nospace()
        << "DBManager::chatRoomList"
        << " failed to sql:" << sql << " error:" << query.lastError().text();
    return false;
}

} // namespace

int DBManager::chatRoomList(QList<DBChatRoom>& list)
{
    ensureWorkingIndexes();
    QSqlQuery query(m_db);
    if (!runRoomList(query, kRoomList))
        return list.size();
    while (query.next()) {
        DBChatRoom room(this);
        room.setFromRow(query, DBChatRoom::NameLookUp::Later);
        list.append(room);
    }
    DBChatRoom::resolveRoomNames(this, list);
    return list.size();
}

int DBManager::chatRoomList(QMap<QString, DBChatRoom>& rooms)
{
    QSqlQuery query(m_db);
    if (!runRoomList(query, kRoomOnly))
        return -1;
    QList<DBChatRoom> read;
    while (query.next()) {
        DBChatRoom room(this);
        room.setFromRow(query, DBChatRoom::NameLookUp::Later);
        read.append(room);
    }
    DBChatRoom::resolveRoomNames(this, read);
    for (const DBChatRoom& room : qAsConst(read))
        rooms.insert(room.topic(), room);
    return rooms.size();
}

namespace {

// One room row from a kept query, finished afterwards so that it holds no read snapshot.
bool readOneRoom(DBManager* db, QSqlQuery* query, DBChatRoom& room, const char* where)
{
    const bool found = DBSql::exec(*query, where) && query->next();
    if (found) {
        room.setDbManager(db);
        room.setFromRow(*query);
    }
    query->finish();
    return found;
}

} // namespace

bool DBManager::findChatRoom(const QString& topic, DBChatRoom& room)
{
    if (refuseEmptyTopic(topic, "DBManager::findChatRoom"))
        return false;
    QSqlQuery* query =
        DBSql::prepared(this, QString::fromLatin1(kRoomOnly) + QStringLiteral(" WHERE topic=?"),
                        "DBManager::findChatRoom");
    if (!query)
        return false;
    query->addBindValue(topic);
    return readOneRoom(this, query, room, "DBManager::findChatRoom");
}

bool DBManager::findGroupChatRoom(qint64 groupId, DBChatRoom& room)
{
    QSqlQuery* query = DBSql::prepared(
        this, QString::fromLatin1(kRoomOnly) + QStringLiteral(" WHERE members=? AND type=?"),
        "DBManager::findGroupChatRoom");
    if (!query)
        return false;
    // members is a text column: the group id is compared as the text a group room stores.
    query->addBindValue(QString::number(groupId));
    query->addBindValue(QString::number(RoomTypeGroup));
    return readOneRoom(this, query, room, "DBManager::findGroupChatRoom");
}

bool DBManager::chatRoomExists(const QString& topic)
{
    if (refuseEmptyTopic(topic, "DBManager::chatRoomExists"))
        return false;
    QSqlQuery* query =
        DBSql::prepared(this, QStringLiteral("SELECT _id FROM TTT_CHATT_ROOM WHERE topic=?"),
                        "DBManager::chatRoomExists");
    if (!query)
        return false;
    query->addBindValue(topic);
    const bool found = DBSql::exec(*query, "DBManager::chatRoomExists") && query->next();
    query->finish();
    return found;
}

namespace {

// The room row, its chats and its reader rows, each delete checked: the caller undoes the
// others when one fails, so a room never survives without its chats or the reverse.
bool removeRoomRows(DBManager* db, const QString& topic, const char* where)
{
    static const char* const kDeletes[] = {"DELETE FROM TTT_CHATT_ROOM WHERE topic=?",
                                           "DELETE FROM TTT_CHATT WHERE topic=?",
                                           "DELETE FROM TTT_CHATT_READER WHERE topic=?"};
    for (const char* sql : kDeletes) {
        QSqlQuery* query = DBSql::prepared(db, QString::fromLatin1(sql), where);
        if (!query)
            return false;
        query->addBindValue(topic);
        if (!DBSql::exec(*query, where))
            return false;
    }
    return true;
}

bool execPlain(QSqlDatabase& db, const char* sql, const char* where)
{
    QSqlQuery query(db);
    if (query.exec(QString::fromLatin1(sql)))
        return true;
    DBSql::logFailure(query, where);
    return false;
}

} // namespace

bool DBManager::deleteChatRoom(const QString& topic)
{
    if (refuseEmptyTopic(topic, "DBManager::deleteChatRoom"))
        return false;
    const char* const where = "DBManager::deleteChatRoom";
    bool removed = false;
    if (inTransaction()) {
        // Inside a caller's transaction a savepoint undoes this room's deletes alone and leaves
        // the caller's other work, and its transaction, as they were.
        if (!execPlain(m_db, "SAVEPOINT room_remove", where))
            return false;
        removed = removeRoomRows(this, topic, where);
        if (!removed)
            execPlain(m_db, "ROLLBACK TO room_remove", where);
        execPlain(m_db, "RELEASE room_remove", where);
    } else if (m_db.transaction()) {
        removed = removeRoomRows(this, topic, where) && m_db.commit();
        if (!removed && inTransaction())
            m_db.rollback();
    }
    if (!removed)
        qWarning().noquote().nospace() << "DBManager::deleteChatRoom failed to remove chatRoom";
    return removed;
}

namespace {

// Whether the store holds any chat; true when that cannot be read, as nothing may be assumed then.
bool holdsChats(DBManager* db)
{
    QSqlQuery* query = DBSql::prepared(db, QStringLiteral("SELECT 1 FROM TTT_CHATT LIMIT 1"),
                                       "DBManager::syncChatRoomList");
    if (!query || !DBSql::exec(*query, "DBManager::syncChatRoomList"))
        return true;
    const bool any = query->next();
    query->finish();
    return any;
}

// The room list a store without rooms or chats reads back once `added` is written in its order:
// newest update first and, of equal ones, the room written last; a topic written twice is the
// room written last (it replaced the first); named as a read names its rooms, from the users'
// names the merge already knows where it can.
QList<DBChatRoom> listOfAddedRooms(DBManager* db, const QList<DBChatRoom>& added,
                                   const QHash<qint64, QString>& knownUsers)
{
    QList<DBChatRoom> list;
    QSet<QString> topics;
    for (auto it = added.crbegin(); it != added.crend(); ++it) {
        if (topics.contains(it->topic()))
            continue;
        topics.insert(it->topic());
        DBChatRoom room = *it;
        room.setDataState(DataStateNone);
        room.setRoomName(QString());
        list.append(room);
    }
    std::stable_sort(list.begin(), list.end(), [](const DBChatRoom& a, const DBChatRoom& b) {
        return a.updateDate() > b.updateDate();
    });
    DBChatRoom::resolveRoomNames(db, list, knownUsers);
    return list;
}

} // namespace

DBManager::SyncResult
DBManager::syncChatRoomList(const QJsonObject& response, qint64 ownUserId,
                            const std::function<void(const QList<DBChatRoom>&)>& shownAhead)
{
    const char* const where = "DBManager::syncChatRoomList";
    // Read as an empty list, an answer without one would remove every stored room.
    const QJsonValue listValue = response.value(QStringLiteral("list"));
    const QJsonArray list = listValue.toArray();
    const bool wellFormed =
        listValue.isArray() && std::all_of(list.begin(), list.end(),
                                           [](const QJsonValue& room) { return room.isObject(); });
    if (!wellFormed) {
        qWarning().noquote().nospace() << where << " refused: no list of room objects";
        return SyncResult::Failed;
    }
    // One transaction from the first read on: the room list of the other threads never shows
    // half a merge, and the members that reading the rooms adds to the directory go or stay
    // with it.
    if (!m_db.transaction()) {
        qWarning().noquote().nospace()
            << where << " failed to begin error:" << m_db.lastError().text();
        return SyncResult::Failed;
    }
    QMap<QString, DBChatRoom> local;
    if (chatRoomList(local) < 0) {
        qWarning().noquote().nospace() << where << " failed to chatRoomList";
        m_db.rollback();
        return SyncResult::Failed;
    }
    const bool firstRooms = shownAhead && local.isEmpty() && !holdsChats(this);

    QSet<qint64> memberIds;
    for (const QJsonValue& value : list)
        memberIds += DBChatRoom::memberIds(value[QLatin1String("members")].toArray(), ownUserId);
    QHash<qint64, QString> names = DBSql::userNames(this, memberIds);
    QList<DBChatRoom> changes;
    // In the answer's order: a user the directory lacks is stored from the first member record
    // of the user, the only one a trimmed answer keeps.
    for (const QJsonValue& value : list) {
        DBChatRoom room(this, value.toObject(), ownUserId, &names);
        const auto it = local.find(room.topic());
        if (it != local.end()) {
            const DBChatRoom stored = it.value();
            local.erase(it);
            if (room.type() == stored.type() && room.members() == stored.members())
                continue;
            room.setDataState(DataStateUpdate);
        } else {
            room.setDataState(DataStateInsert);
        }
        changes.append(room);
    }
    for (DBChatRoom& gone : local) {
        gone.setDataState(DataStateDelete);
        changes.append(gone);
    }

    // Every room is new then, and its row in the list has no chat: the list is known before
    // the rows are written.
    if (firstRooms)
        shownAhead(listOfAddedRooms(this, changes, names));

    bool written = true;
    for (auto it = changes.begin(); written && it != changes.end(); ++it) {
        DBChatRoom& room = *it;
        // The list holds copies, which carry no connection.
        room.setDbManager(this);
        const int state = room.dataState();
        const char* tag = state == DataStateInsert   ? "[INSERT]"
                          : state == DataStateUpdate ? "[UPDATE]"
                                                     : "[DELETE]";
        qCDebug(lcMessageTrace).noquote().nospace()
            << where << " - " << tag << " topic=" << room.topic() << ", room=" << room.roomName();
        if (state == DataStateInsert)
            written = room.insertOrUpdate();
        else if (state == DataStateUpdate)
            written = room.update();
        else
            written = removeRoomRows(this, room.topic(), where);
    }
    if (!written || !m_db.commit()) {
        qWarning().noquote().nospace()
            << where << " rolled back, error:" << m_db.lastError().text();
        m_db.rollback();
        return SyncResult::Failed;
    }
    qDebug().noquote().nospace() << where << " END";
    return changes.isEmpty() ? SyncResult::Unchanged : SyncResult::Changed;
}
