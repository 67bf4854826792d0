// Room events: a new room with the user in it (INVITE), members added (ADMISSION), a member
// leaving (LEAVE). Each writes the room and, for group rooms, a notice chat, on the delivery
// thread's store connection.
#include "messaging/mqttmanager.h"

#include "store/dbmanager.h"
#include "store/dbsql.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"

#include <QDebug>
#include <QJsonArray>
#include <QStringList>

namespace {
// A notice chat (invitation, admission, leave) as the room's conversation shows it.
DBChat noticeChat(DBManager* db, const QString& topic, int msgType, const ChatPayload& payload,
                  const QString& text)
{
    DBChat chat(db);
    chat.setTopic(topic);
    chat.setMsgType(msgType);
    chat.setContent(ContentTypeText, text);
    chat.setMsgId(payload.messageId);
    chat.setSenderId(payload.senderId);
    chat.setMsgTime(payload.msgTime);
    chat.setCount(0);
    chat.setMsgState(MsgStateConfirmed);
    chat.setMsgRead(true);
    return chat;
}

// The room's name is resolved here, on the connection's thread: the copies the items carry to
// the GUI thread hold values only, no connection.
void resolveName(DBChatRoom* room)
{
    room->roomName();
}
} // namespace

bool MqttManager::storeEventRoom(const QString& topic, const ChatPayload& payload,
                                 const QJsonObject& contents, const char* where, DBChatRoom* room)
{
    const QJsonObject info = contents.value(QStringLiteral("chatRoomInfo")).toObject();
    const qint64 roomId = DBSql::jsonInt(info, QStringLiteral("chattRoomId"));
    if (roomId == 0) {
        qWarning().noquote().nospace() << where << " - no chatRoomInfo, topic=" << topic
                                       << ", messageId=" << payload.messageId;
        return false;
    }
    // A room event travels on the topic of its own room. One that names another room would let
    // any member of one room rewrite (or invent) another room of this user.
    if (QStringLiteral("chat/%1").arg(roomId) != topic) {
        qWarning().noquote().nospace()
            << where << " - chatRoomInfo of another room, topic=" << topic
            << ", chattRoomId=" << roomId << ", messageId=" << payload.messageId;
        return false;
    }
    DBManager* db = m_threadStore.get();
    *room = DBChatRoom(db, info, session().userId);
    DBChatRoom stored(db);
    if (!db->findChatRoom(room->topic(), stored)) {
        written(room->insertOrUpdate(), where);
        room->setDataState(DataStateInsert);
    } else if (stored.type() != room->type() || stored.members() != room->members()) {
        room->setId(stored.id());
        written(room->update(), where);
        room->setDataState(DataStateUpdate);
    } else {
        room->setId(stored.id());
        room->setDataState(DataStateNone);
    }
    qDebug().noquote().nospace() << where << " - insertOrUpdate room, topic=" << room->topic();
    return true;
}

void MqttManager::receivedInviteFromMqtt(const QString& topic, const ChatPayload& payload)
{
    if (!m_threadStore)
        return;
    DBManager* db = m_threadStore.get();
    const Session s = session();
    DBChatRoom room;
    if (!storeEventRoom(topic, payload, payload.object(), "MainDialog::receivedInviteFromMqtt",
                        &room))
        return;

    DBChat chat;
    DBChat stored(db);
    const bool existed = db->findChat(room.topic(), payload.messageId, stored);
    if (existed && payload.senderId == s.userId) {
        written(stored.updateMsgStateAndTime(MsgStateConfirmed, payload.msgTime),
                "MainDialog::receivedInviteFromMqtt");
        chat = stored;
    } else if (existed) {
        qWarning().noquote().nospace()
            << "MainDialog::receivedInviteFromMqtt - already saved message, messageId="
            << payload.messageId;
        return;
    } else if (room.type() == RoomType1VSN) {
        const QStringList ids = room.members().split(QLatin1Char(','), Qt::SkipEmptyParts);
        QList<DBUser> members;
        if (!ids.isEmpty())
            db->users(members, ids);
        QStringList names;
        for (const DBUser& user : members) {
            if (user.userId() != payload.senderId && !user.userName().isEmpty())
                names << user.userName();
        }
        if (payload.senderId != s.userId && !s.userName.isEmpty())
            names << s.userName;
        chat = noticeChat(db, room.topic(), MsgTypeInvite, payload, names.join(QLatin1Char(',')));
        fillSender(db, &chat);
        written(chat.insertOrUpdate(), "MainDialog::receivedInviteFromMqtt");
        qDebug().noquote().nospace()
            << "MainDialog::receivedInviteFromMqtt - invited chat, topic=" << room.topic()
            << ", content=" << chat.content();
    }
    resolveName(&room);
    enqueue(std::make_unique<InviteMessageItem>(room, chat));
}

void MqttManager::receivedAdmissionFromMqtt(const QString& topic, const ChatPayload& payload)
{
    if (!m_threadStore)
        return;
    DBManager* db = m_threadStore.get();
    const QJsonObject contents = payload.object();
    DBChatRoom room;
    if (!storeEventRoom(topic, payload, contents, "MainDialog::receivedAdmissionFromMqtt", &room))
        return;

    if (db->chatExists(room.topic(), payload.messageId)) {
        qWarning().noquote().nospace()
            << "MainDialog::receivedAdmissionFromMqtt - already saved message, messageId="
            << payload.messageId;
        return;
    }
    DBChat chat;
    if (room.type() == RoomType1VSN) {
        QStringList names;
        const QJsonArray invited = contents.value(QStringLiteral("inviteUserIds")).toArray();
        for (const QJsonValue& value : invited) {
            DBUser user(db);
            const qint64 id = DBSql::jsonInt(value);
            if (id != 0 && db->findUser(id, user) && !user.userName().isEmpty())
                names << user.userName();
        }
        chat =
            noticeChat(db, room.topic(), MsgTypeAdmission, payload, names.join(QLatin1Char(',')));
        fillSender(db, &chat);
        written(chat.insertOrUpdate(), "MainDialog::receivedAdmissionFromMqtt");
    }
    resolveName(&room);
    enqueue(std::make_unique<AdmissionMessageItem>(room, chat));
}

void MqttManager::receivedLeaveFromMqtt(const QString& topic, const ChatPayload& payload)
{
    if (!m_threadStore)
        return;
    DBManager* db = m_threadStore.get();
    const Session s = session();
    qDebug().noquote().nospace() << "MqttManager::receivedLeaveFromMqtt - [LEAVE ROOM] room, topic="
                                 << topic << ", senderId=" << payload.senderId;
    DBChatRoom room(db);
    DBChat chat;

    if (payload.senderId == s.userId) {
        if (payload.messageId.isEmpty() || payload.messageId.startsWith(s.clientId)) {
            qDebug().noquote().nospace() << "MqttManager::receivedLeaveFromMqtt - [LEAVE ROOM] "
                                            "stop, this is my device message, clientId="
                                         << s.clientId;
            return;
        }
        // The user left the room on another session: it goes here too, with its chats.
        if (db->findChatRoom(topic, room)) {
            room.roomName();
            written(db->deleteChatRoom(topic), "MqttManager::receivedLeaveFromMqtt");
        } else {
            room.setTopic(topic);
        }
        room.setDataState(DataStateDelete);
        resolveName(&room);
        enqueue(std::make_unique<LeaveMessageItem>(room, chat));
        return;
    }

    const int roomType = int(DBSql::jsonInt(payload.object(), QStringLiteral("chatRoomType")));
    if (roomType == RoomType1VSN) {
        if (db->findChatRoom(topic, room)) {
            QStringList members = room.members().split(QLatin1Char(','), Qt::SkipEmptyParts);
            members.removeAll(QString::number(payload.senderId));
            room.setMembers(members.join(QLatin1Char(',')));
            written(room.update(), "MqttManager::receivedLeaveFromMqtt");
            room.setDataState(DataStateUpdate);
        } else {
            qWarning().noquote().nospace()
                << "MainDialog::receivedLeaveFromMqtt - [RoomType1VSN] room isn't exist, topic="
                << topic;
            room.setTopic(topic);
            room.setType(RoomType1VSN);
        }
        DBUser sender(db);
        if (!db->findUser(payload.senderId, sender)) {
            qWarning().noquote().nospace()
                << "MqttManager::receivedLeaveFromMqtt - not find sener from db, senderId="
                << payload.senderId;
            return;
        }
        if (db->chatExists(topic, payload.messageId)) {
            qWarning().noquote().nospace()
                << "MqttManager::receivedLeaveFromMqtt - already saved message, messageId="
                << payload.messageId;
            return;
        }
        chat = noticeChat(db, topic, MsgTypeLeave, payload, sender.userName());
        chat.setSenderName(sender.userName());
        chat.setSenderThumbUrl(sender.thumbUrl());
        written(chat.insertOrUpdate(), "MqttManager::receivedLeaveFromMqtt");
        resolveName(&room);
        enqueue(std::make_unique<LeaveMessageItem>(room, chat));
    } else if (roomType == RoomType1VS1) {
        if (db->findChatRoom(topic, room)) {
            written(room.updateType(RoomTypeLeave), "MqttManager::receivedLeaveFromMqtt");
            room.setDataState(DataStateUpdate);
        } else {
            qWarning().noquote().nospace()
                << "MainDialog::receivedLeaveFromMqtt - [RoomType1VS1] room isn't exist, topic="
                << topic;
            room.setTopic(topic);
            room.setType(RoomTypeLeave);
        }
        resolveName(&room);
        enqueue(std::make_unique<LeaveMessageItem>(room, chat));
    }
}
