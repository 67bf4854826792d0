// Chat messages: live ones from the broker (delivery thread, the thread's own store connection)
// and those of a server history page (the caller's thread and connection). Both are stored the
// same way; only live chats from others can be unread.
#include "messaging/mqttmanager.h"

#include "store/dbmanager.h"
#include "store/dbsql.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/messagetrace.h"

#include <QDebug>
#include <QThread>

bool MqttManager::fillSender(DBManager* db, DBChat* chat)
{
    DBUser user(db);
    return showSender(chat, db->findUser(chat->senderId(), user) ? &user : nullptr);
}

bool MqttManager::showSender(DBChat* chat, const DBUser* sender)
{
    if (!sender) {
        chat->setSenderName(tr("Unknown user"));
        return false;
    }
    chat->setSenderName(sender->userName());
    chat->setSenderThumbUrl(sender->thumbUrl());
    return true;
}

bool MqttManager::storeChat(DBManager* db, const IncomingChat& in, bool fromHistory, DBChat* out)
{
    const char* const where =
        fromHistory ? "MqttManager::chatItemFromHistory" : "MqttManager::receivedChatFromMqtt";
    const Session s = session();
    const bool own = in.senderId == s.userId;
    // The server's nudge to the user's other sessions, not a message: it leaves no trace. Only
    // the exact text counts, so a user may still write it in other letters.
    if (own && in.contentType == ContentTypeText && in.text == QLatin1String(kRefreshText))
        return false;

    DBChat stored(db);
    const bool existed = db->findChat(in.topic, in.msgId, stored);
    if (own && existed) {
        // The echo of what this session sent (and stored as unconfirmed): confirm it with the
        // server's time instead of storing it twice.
        if (!roomExists(db, in.topic))
            enqueue(std::make_unique<NoRoomExistMessageItem>(in.topic));
        if (!written(stored.updateMsgStateAndTime(MsgStateConfirmed, in.msgTime), where))
            return false;
        if (stored.senderName().isEmpty())
            fillSenderOf(db, &stored);
        *out = stored;
        return true;
    }
    if (!ChatPayload::isKnownContentType(in.contentType)) {
        qCritical().noquote().nospace() << where << " - unknown contentType:" << in.contentType
                                        << ", topic=" << in.topic << ", messageId=" << in.msgId;
        return false;
    }
    if (!roomExists(db, in.topic))
        enqueue(std::make_unique<NoRoomExistMessageItem>(in.topic));

    DBChat chat(db);
    chat.setTopic(in.topic);
    chat.setMsgType(in.msgType);
    chat.setContent(in.contentType, in.text);
    chat.setMsgId(in.msgId);
    chat.setSenderId(in.senderId);
    chat.setMsgTime(in.msgTime);
    chat.setCount(0);
    chat.setMsgState(MsgStateConfirmed);

    if (own) {
        // Sent by another session of the user.
        chat.setMsgRead(true);
        if (!written(chat.insert() > 0, where))
            return false;
        fillSenderOf(db, &chat);
        *out = chat;
        return true;
    }

    // A live chat whose id is stored already came before: QoS 1 repeats a message whose
    // acknowledgement got lost, and a sender's outbox publishes a chat again until its echo
    // comes. It was stored, counted, shown and toasted the first time: nothing of it happens
    // twice.
    if (existed && !fromHistory)
        return false;
    // A history page keeps the read state a chat has.
    bool read = fromHistory || (existed && stored.msgRead());
    if (!read)
        read = isReadAtOnce(in.topic);
    chat.setMsgRead(read);
    if (!written(chat.insertOrUpdate(), where))
        return false;
    fillSenderOf(db, &chat);
    *out = chat;
    if (fromHistory)
        return true;

    const int unread = !read ? addUnread(in.topic, 1) : unreadCount(in.topic);
    qCDebug(lcMessageTrace).noquote().nospace()
        << "receivedChatFromMqtt - [UNREAD] isReadMessage=" << (read ? 1 : 0)
        << ", topic=" << in.topic << ", unread=" << unread;
    qCDebug(lcMessageTrace).noquote().nospace()
        << "receivedChatFromMqtt - [UNREAD] messageId=" << in.msgId << ", msgTime=" << in.msgTime
        << ", contents=" << in.text;
    return true;
}

void MqttManager::receivedChatFromMqtt(const QString& topic, const ChatPayload& payload)
{
    if (!m_threadStore)
        return;
    IncomingChat in;
    in.topic = topic;
    in.msgType = payload.messageType;
    in.contentType = payload.contentType;
    in.msgId = payload.messageId;
    in.senderId = payload.senderId;
    in.text = payload.text();
    in.msgTime = payload.msgTime;
    DBChat chat;
    // `chat` is a copy without a connection: it never leads the GUI thread to this thread's.
    if (!storeChat(m_threadStore.get(), in, false, &chat))
        return;
    enqueue(std::make_unique<ChatMessageItem>(chat));
}

std::unique_ptr<MqttManager::ChatMessageItem>
MqttManager::chatItemFromHistory(const QJsonObject& object, DBManager* db)
{
    if (!db || db->thread() != QThread::currentThread()) {
        qWarning().noquote().nospace()
            << "MqttManager::chatItemFromHistory - no store of the calling thread";
        return nullptr;
    }
    IncomingChat in;
    in.topic = object.value(QStringLiteral("topic")).toString();
    in.msgType = int(DBSql::jsonInt(object, QStringLiteral("msgType")));
    in.contentType = int(DBSql::jsonInt(object, QStringLiteral("contentType")));
    in.msgId = object.value(QStringLiteral("messageId")).toString();
    in.senderId = DBSql::jsonInt(object, QStringLiteral("senderId"));
    in.text = object.value(QStringLiteral("contents")).toString();
    in.msgTime = DBSql::jsonInt(object, QStringLiteral("timestamp"));
    if (in.topic.isEmpty() || in.msgId.isEmpty()) {
        qWarning().noquote().nospace() << "MqttManager::chatItemFromHistory - no topic or messageId"
                                       << ", topic=" << in.topic << ", messageId=" << in.msgId;
        return nullptr;
    }
    DBChat chat;
    if (!storeChat(db, in, true, &chat))
        return nullptr;
    return std::make_unique<ChatMessageItem>(chat);
}
