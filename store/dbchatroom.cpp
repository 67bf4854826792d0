#include "store/dbchatroom.h"

#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbsql.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlQuery>
#include <QStringList>

const QString& DBChatRoom::unknownName()
{
    static const QString name = QStringLiteral("알수없음");
    return name;
}

DBChatRoom::DBChatRoom(DBManager* dbManager) : Content(dbManager) {}

DBChatRoom::DBChatRoom(DBManager* dbManager, const QJsonObject& object, qint64 ownUserId)
    : Content(dbManager)
{
    m_topic = QStringLiteral("chat/%1").arg(DBSql::jsonInt(object, QStringLiteral("chattRoomId")));
    m_type = DBSql::jsonText(object, QStringLiteral("chattRoomType")).toInt();
    m_create_date = DBSql::jsonInt(object, QStringLiteral("openDatetime"));
    m_update_date = DBSql::jsonInt(object, QStringLiteral("updDatetime"));

    if (m_type != RoomTypeGroup) {
        QStringList ids;
        QStringList names;
        const QJsonArray members = object.value(QStringLiteral("members")).toArray();
        for (const QJsonValue& value : members) {
            const QJsonObject member = value.toObject();
            const qint64 userId = DBSql::jsonInt(member, QStringLiteral("joinUserId"));
            if (userId == ownUserId)
                continue;
            QString name;
            if (!m_dbManager || !DBSql::findUserName(m_dbManager, userId, &name)) {
                DBUser user(m_dbManager, member.value(QStringLiteral("user")).toObject());
                if (m_dbManager)
                    user.insertOrUpdate();
                name = user.userName();
            }
            ids << QString::number(userId);
            names << name;
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

DBChatRoom::~DBChatRoom() = default;

void DBChatRoom::setFromRow(const QSqlQuery& query)
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
    m_roomName = toRoomName(m_members);
    m_roomNameResolved = true;

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
    if (m_type == RoomTypeGroup) {
        QString name;
        if (!DBSql::findGroupName(m_dbManager, members.toLongLong(), &name)) {
            qDebug().noquote().nospace()
                << "DBChatRoom::toRoomName - Not found group from DB, groupId=" << members;
            return QString();
        }
        return name;
    }
    QStringList names;
    for (const QString& id : members.split(QLatin1Char(','))) {
        QString name;
        if (!DBSql::findUserName(m_dbManager, id.toLongLong(), &name)) {
            qDebug().noquote().nospace()
                << "DBChatRoom::toRoomName - Not found User from DB, userId=" << id;
            name = unknownName();
        }
        names << name;
    }
    return names.join(QStringLiteral(", "));
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
