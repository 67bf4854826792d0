#include "store/dbchatroom.h"

#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbsql.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QSqlQuery>
#include <QStringList>

const QString& DBChatRoom::unknownName()
{
    static const QString name = QStringLiteral("알수없음");
    return name;
}

DBChatRoom::DBChatRoom(DBManager* dbManager) : Content(dbManager) {}

DBChatRoom::DBChatRoom(DBManager* dbManager, const QJsonObject& object, qint64 ownUserId,
                       QHash<qint64, QString>* directoryNames)
    : Content(dbManager)
{
    m_topic = QStringLiteral("chat/%1").arg(DBSql::jsonInt(object, QStringLiteral("chattRoomId")));
    m_type = DBSql::jsonText(object, QStringLiteral("chattRoomType")).toInt();
    m_create_date = DBSql::jsonInt(object, QStringLiteral("openDatetime"));
    m_update_date = DBSql::jsonInt(object, QStringLiteral("updDatetime"));

    if (m_type != RoomTypeGroup) {
        const QJsonArray members = object.value(QStringLiteral("members")).toArray();
        QHash<qint64, QString> ownNames;
        if (!directoryNames) {
            if (m_dbManager)
                ownNames = DBSql::userNames(m_dbManager, memberIds(members, ownUserId));
            directoryNames = &ownNames;
        }
        QStringList ids;
        QStringList names;
        for (const QJsonValue& value : members) {
            const QJsonObject member = value.toObject();
            const qint64 userId = DBSql::jsonInt(member, QStringLiteral("joinUserId"));
            if (userId == ownUserId)
                continue;
            auto known = directoryNames->find(userId);
            if (known == directoryNames->end()) {
                DBUser user(m_dbManager, member.value(QStringLiteral("user")).toObject());
                if (m_dbManager)
                    user.insertOrUpdate();
                known = directoryNames->insert(userId, user.userName());
            }
            ids << QString::number(userId);
            names << known.value();
        }
        m_members = ids.join(QLatin1Char(','));
        m_roomName = names.join(QLatin1Char(','));
        m_roomNameResolved = !m_roomName.isEmpty();
    }
    if (m_type == RoomType1VS1 && object.contains(QStringLiteral("leaveUserId"))) {
        m_type = RoomTypeLeave;
        if (m_members.isEmpty())
            m_members = DBSql::jsonText(object, QStringLiteral("leaveUserId"));
    }
    if (m_type == RoomTypeGroup)
        m_members = DBSql::jsonText(object, QStringLiteral("grpId"));
}

QSet<qint64> DBChatRoom::memberIds(const QJsonArray& members, qint64 ownUserId)
{
    QSet<qint64> ids;
    for (const QJsonValue& value : members) {
        const qint64 userId = DBSql::jsonInt(value.toObject(), QStringLiteral("joinUserId"));
        if (userId != ownUserId)
            ids.insert(userId);
    }
    return ids;
}

DBChatRoom::~DBChatRoom() = default;

void DBChatRoom::setFromRow(const QSqlQuery& query, NameLookUp lookUp)
{
    m_id = query.value(0).toLongLong();
    m_topic = query.value(1).toString();
    m_type = query.value(2).toInt();
    m_members = query.value(3).toString();
    m_create_date = query.value(4).toLongLong();
    m_update_date = query.value(5).toLongLong();
    const qint64 senderId = query.value(6).toLongLong();
    const int msgType = query.value(7).toInt();
    const int contentType = query.value(8).toInt();
    const QString content = query.value(9).toString();
    m_reg_datetime = query.value(10).toLongLong();
    // A list looks the names of all its rooms up at once (resolveRoomNames()).
    m_roomName = lookUp == NameLookUp::Now ? toRoomName(m_members) : QString();
    m_roomNameResolved = lookUp == NameLookUp::Now;

    QString senderName;
    if (contentType == ContentTypeText &&
        (msgType == MsgTypeInvite || msgType == MsgTypeAdmission) &&
        !DBSql::findUserName(m_dbManager, senderId, &senderName)) {
        senderName = unknownName();
    }
    QString previewText;
    if (contentType == ContentTypeFile) {
        DBChat file;
        file.setContent(contentType, content);
        previewText = file.previewText();
    }
    m_last_message =
        DBChat::displayText(msgType, contentType, content, senderName, previewText, true);
}

QString DBChatRoom::toRoomName(const QString& members) const
{
    if (members.isEmpty())
        return QString();
    if (m_type == RoomTypeGroup)
        return roomNameFrom(members, {}, DBSql::groupNames(m_dbManager, {members.toLongLong()}));
    QSet<qint64> ids;
    for (const QString& id : members.split(QLatin1Char(',')))
        ids.insert(id.toLongLong());
    return roomNameFrom(members, DBSql::userNames(m_dbManager, ids), {});
}

QString DBChatRoom::roomNameFrom(const QString& members, const QHash<qint64, QString>& users,
                                 const QHash<qint64, QString>& groups) const
{
    if (members.isEmpty())
        return QString();
    if (m_type == RoomTypeGroup) {
        const auto group = groups.constFind(members.toLongLong());
        if (group != groups.cend())
            return group.value();
        qDebug().noquote().nospace()
            << "DBChatRoom::toRoomName - Not found group from DB, groupId=" << members;
        return QString();
    }
    QStringList names;
    for (const QString& id : members.split(QLatin1Char(','))) {
        const auto user = users.constFind(id.toLongLong());
        if (user != users.cend()) {
            names << user.value();
            continue;
        }
        qDebug().noquote().nospace()
            << "DBChatRoom::toRoomName - Not found User from DB, userId=" << id;
        names << unknownName();
    }
    return names.join(QStringLiteral(", "));
}

void DBChatRoom::resolveRoomNames(DBManager* db, QList<DBChatRoom>& rooms,
                                  const QHash<qint64, QString>& knownUsers)
{
    QSet<qint64> userIds;
    QSet<qint64> groupIds;
    for (const DBChatRoom& room : qAsConst(rooms)) {
        if (room.m_roomNameResolved || room.m_members.isEmpty())
            continue;
        if (room.m_type == RoomTypeGroup) {
            groupIds.insert(room.m_members.toLongLong());
            continue;
        }
        for (const QString& id : room.m_members.split(QLatin1Char(','))) {
            const qint64 userId = id.toLongLong();
            if (!knownUsers.contains(userId))
                userIds.insert(userId);
        }
    }
    QHash<qint64, QString> users = DBSql::userNames(db, userIds);
    for (auto it = knownUsers.cbegin(); it != knownUsers.cend(); ++it)
        users.insert(it.key(), it.value());
    const QHash<qint64, QString> groups = DBSql::groupNames(db, groupIds);
    for (DBChatRoom& room : rooms) {
        if (room.m_roomNameResolved)
            continue;
        room.m_roomName = room.roomNameFrom(room.m_members, users, groups);
        room.m_roomNameResolved = true;
    }
}

void DBChatRoom::setMembers(const QString& members)
{
    m_members = members;
    m_roomName = toRoomName(m_members);
    m_roomNameResolved = true;
}

QString DBChatRoom::roomName() const
{
    if (m_roomName.isEmpty() && !m_roomNameResolved) {
        m_roomName = toRoomName(m_members);
        m_roomNameResolved = true;
    }
    return m_roomName;
}

void DBChatRoom::setRoomName(const QString& name)
{
    m_roomName = name;
    m_roomNameResolved = !name.isEmpty();
}

bool DBChatRoom::insertOrUpdate()
{
    QSqlQuery* query =
        DBSql::prepared(m_dbManager,
                        QStringLiteral("INSERT OR REPLACE INTO TTT_CHATT_ROOM (topic, type, "
                                       "members, create_date, update_date) VALUES (?, ?, ?, ?, ?)"),
                        "DBChatRoom::insertOrUpdate");
    if (!query)
        return false;
    query->addBindValue(DBSql::text(m_topic));
    query->addBindValue(m_type);
    query->addBindValue(DBSql::text(m_members));
    query->addBindValue(m_create_date);
    query->addBindValue(m_update_date);
    return DBSql::execInsert(*query, "DBChatRoom::insertOrUpdate", &m_id);
}

bool DBChatRoom::execByTopic(const QString& sql, const QVariant& first, const QVariant& second,
                             const char* where)
{
    if (m_topic.isEmpty()) {
        qWarning().noquote().nospace() << where << " - topic is empty";
        return false;
    }
    QSqlQuery* query = DBSql::prepared(m_dbManager, sql, where);
    if (!query)
        return false;
    if (first.isValid())
        query->addBindValue(first);
    if (second.isValid())
        query->addBindValue(second);
    query->addBindValue(m_topic);
    return DBSql::exec(*query, where);
}

bool DBChatRoom::update()
{
    if (!execByTopic(QStringLiteral("UPDATE TTT_CHATT_ROOM SET members=?, type=?  WHERE topic=?"),
                     DBSql::text(m_members), m_type, "DBChatRoom::update"))
        return false;
    setMembers(m_members);
    return true;
}

bool DBChatRoom::updateType(int newType)
{
    if (!execByTopic(QStringLiteral("UPDATE TTT_CHATT_ROOM SET type=? WHERE topic=?"), newType,
                     QVariant(), "DBChatRoom::updateType"))
        return false;
    m_type = newType;
    return true;
}

int DBChatRoom::chatsAhead(const QString& messageId)
{
    const char* where = "DBChatRoom::chatsAhead";
    if (m_topic.isEmpty()) {
        qWarning().noquote().nospace() << where << " - topic is empty";
        return -1;
    }
    // The page order is "unsettled first, then msg_time DESC, _id DESC"; no row when the
    // chat is not in the room.
    QSqlQuery* query = DBSql::prepared(
        m_dbManager,
        QStringLiteral(
            "SELECT (SELECT COUNT(*) FROM TTT_CHATT C WHERE C.topic=M.topic AND ("
            "(C.msg_state IS NOT 1) > (M.msg_state IS NOT 1) OR "
            "((C.msg_state IS NOT 1) = (M.msg_state IS NOT 1) AND (C.msg_time > M.msg_time OR "
            "(C.msg_time = M.msg_time AND C._id > M._id))))) "
            "FROM TTT_CHATT M WHERE M.topic=? AND M.msg_id=?"),
        where);
    if (!query)
        return -1;
    query->addBindValue(m_topic);
    query->addBindValue(messageId);
    if (!DBSql::exec(*query, where))
        return -1;
    const bool found = query->next();
    const int ahead = found ? query->value(0).toInt() : -1;
    query->finish();
    return ahead;
}
