#pragma once

#include "store/content.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>

class QJsonArray;
class QJsonObject;
class QSqlQuery;

// A row of TTT_CHATT_ROOM, optionally with its newest message joined in. The room's topic
// ("chat/<room number>") is its key everywhere: store, broker and windows.
class DBChatRoom : public Content
{
public:
    // The name shown for a member who is not in the directory ("unknown").
    static const QString& unknownName();

    explicit DBChatRoom(DBManager* dbManager = nullptr);
    // From a room object of the server. Members missing from the directory are stored from the
    // member's "user" object on the way; the own user is left out of members. `directoryNames`,
    // when given, holds the directory's names of the members (DBSql::userNames() of a whole
    // list's memberIds()) in place of a look-up per room; those stored on the way are added.
    DBChatRoom(DBManager* dbManager, const QJsonObject& object, qint64 ownUserId,
               QHash<qint64, QString>* directoryNames = nullptr);
    // The user ids of a room object's "members", the own user left out.
    static QSet<qint64> memberIds(const QJsonArray& members, qint64 ownUserId);
    // Looks up the names of the rooms that have none yet, with a few statements for the whole
    // list; the users in `knownUsers` are taken from there.
    static void resolveRoomNames(DBManager* db, QList<DBChatRoom>& rooms,
                                 const QHash<qint64, QString>& knownUsers = {});
    ~DBChatRoom() override;
    DBChatRoom(const DBChatRoom&) = default;
    DBChatRoom& operator=(const DBChatRoom&) = default;
    DBChatRoom(DBChatRoom&&) = default;
    DBChatRoom& operator=(DBChatRoom&&) = default;

    // Fills the record from a row of: _id, topic, type, members, create_date, update_date,
    // sender_id, msg_type, content_type, content, reg_datetime (the last five describe the
    // newest message, or are zero and empty). With NameLookUp::Later the caller names the room
    // (resolveRoomNames()) before the record leaves its thread: a record looks its name up on
    // its manager's connection, which belongs to that thread.
    enum class NameLookUp
    {
        Now,
        Later
    };
    void setFromRow(const QSqlQuery& query, NameLookUp lookUp = NameLookUp::Now);

    // The display name of a member list: the group's name for a group room, else the members'
    // names joined with ", " (unknownName() for a user missing from the directory).
    QString toRoomName(const QString& members) const;

    bool insertOrUpdate();
    // Writes members and type, and recomputes roomName. Refused for an empty topic.
    bool update();
    // Writes a new type; the record takes it on success. Refused for an empty topic.
    bool updateType(int newType);
    // How many of the room's chats come before the chat with this message id in the order its
    // pages are read (unsettled chats first, then newest first): the offset of its page. -1
    // when the room holds no such chat or the read fails.
    int chatsAhead(const QString& messageId);

    QString lastMessage() const { return m_last_message; }
    void setLastMessage(const QString& text) { m_last_message = text; }
    qint64 regDatetime() const { return m_reg_datetime; }
    void setRegDatetime(qint64 time) { m_reg_datetime = time; }
    QString topic() const { return m_topic; }
    void setTopic(const QString& topic) { m_topic = topic; }
    int type() const { return m_type; }
    void setType(int type) { m_type = type; }
    QString members() const { return m_members; }
    // Sets members and recomputes roomName.
    void setMembers(const QString& members);
    qint64 createDate() const { return m_create_date; }
    void setCreateDate(qint64 date) { m_create_date = date; }
    qint64 updateDate() const { return m_update_date; }
    void setUpdateDate(qint64 date) { m_update_date = date; }
    // Computed from members the first time it is asked for when still empty.
    QString roomName() const;
    void setRoomName(const QString& name);

private:
    QString roomNameFrom(const QString& members, const QHash<qint64, QString>& users,
                         const QHash<qint64, QString>& groups) const;
    bool execByTopic(const QString& sql, const QVariant& first, const QVariant& second,
                     const char* where);

    QString m_last_message;
    qint64 m_reg_datetime = 0;
    QString m_topic;
    int m_type = 0;
    QString m_members;
    qint64 m_create_date = 0;
    qint64 m_update_date = 0;
    mutable QString m_roomName;
    mutable bool m_roomNameResolved = false;
};
