#include "session/mtsession.h"

#include "messaging/mqttmanager.h"
#include "net/netservermanager.h"
#include "session/chatwindowregistry.h"
#include "session/localsettings.h"
#include "session/mtqueuewaker.h"
#include "session/sessionrequest.h"
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/dbusergroup.h"
#include "store/messagetrace.h"
#include "store/mtdata.h"
#include "store/unreadcounts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include <utility>

namespace {
using Item = MqttManager::MessageItem;

// The messaging session of a login is due (roomListEnded()).
const QEvent::Type kMessagingDueEvent = QEvent::Type(QEvent::User + 1);

// PUSH 61 carries the user's flags as "Y"/"N", unlike the directory's "1"/"0".
DBUser userFromPush(DBManager* db, const QJsonObject& object)
{
    DBUser user(db, object);
    const auto yes = [&](const char* key) {
        return object.value(QLatin1String(key)).toString() == QLatin1String("Y");
    };
    user.setOpenCellPhone(yes("telOpenYn"));
    user.setChattAllow(yes("chattingAllowYn"));
    user.setAppInstall(yes("appInstallYn"));
    return user;
}

qint64 jsonId(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toVariant().toLongLong();
}
} // namespace

qint64 MtSession::ownUserId() const
{
    return m_mtData ? m_mtData->userId() : 0;
}

void MtSession::drainQueue()
{
    m_drainScheduled = false;
    if (!m_mqtt)
        return;
    // A budget per turn instead of a fixed number of items: a backlog reaches the window as
    // fast as it can take it while input and painting still get their turn in between.
    QElapsedTimer turn;
    turn.start();
    int handled = 0;
    while (std::unique_ptr<Item> item = m_mqtt->takeMessageItem()) {
        routeItem(*item);
        ++handled;
        if (!m_mqtt)
            return;
        if (turn.elapsed() >= kDrainBudgetMs) {
            m_drainScheduled = true;
            QTimer::singleShot(0, this, &MtSession::drainQueue);
            break;
        }
    }
    if (handled > 0) {
        m_listRefresh.poke();
        m_noticeRefresh.poke();
    }
    if (!m_drainScheduled && m_waker)
        m_waker->rearm();
}

void MtSession::routeItem(const Item& item)
{
    using M = MqttManager;
    switch (item.type()) {
    case Item::NoRoomExist:
        requestRoom(static_cast<const M::NoRoomExistMessageItem&>(item).topic());
        break;
    case Item::Chat:
        routeChat(static_cast<const M::ChatMessageItem&>(item).chat());
        break;
    case Item::Invite:
    case Item::Admission:
    case Item::Leave: {
        const auto& event = static_cast<const M::RoomMessageItem&>(item);
        const DBChatRoom& room = event.room();
        const RoomRouting::Action action =
            RoomRouting::route(item.type(), room.dataState(), room.type(), event.chat().id());
        qDebug().noquote().nospace() << "MtSession::routeItem - room event topic=" << room.topic()
                                     << ", type=" << room.type() << ", item=" << item.type();
        if (action.dropPresence)
            m_presence.dropRoom(room.topic());
        if (action.listRemove)
            m_pendingRooms.remove(room.topic());
        emit roomChanged(room, event.chat(), action);
        break;
    }
    case Item::Push: {
        const auto& push = static_cast<const M::PushMessageItem&>(item);
        pushReceived(push.senderId(), push.contents());
        break;
    }
    case Item::EnterMyRead: {
        const auto& read = static_cast<const M::EnterMyReadMessageItem&>(item);
        m_presence.enter(read.topic(), read.clientId());
        if (read.unread() >= 0)
            emit unreadChanged(read.topic(), read.unread());
        // Tells the other session that this one is inside too.
        if (m_windows && m_windows->isChatWindowActive(read.topic()))
            m_mqtt->sendReadHere(read.topic());
        break;
    }
    case Item::EnterRead: {
        const auto& read = static_cast<const M::EnterReadMessageItem&>(item);
        if (m_windows && m_windows->isChatWindowOpen(read.topic()))
            emit readCountsForWindow(read.topic(), read.mapReads());
        break;
    }
    case Item::LeaveRead:
    case Item::HereRead: {
        const auto& read = static_cast<const M::SessionReadMessageItem&>(item);
        if (read.userId() != ownUserId())
            break;
        // "Here" is the other session saying it is still inside: it refreshes the entry.
        if (item.type() == Item::HereRead)
            m_presence.enter(read.topic(), read.clientId());
        else
            m_presence.leave(read.topic(), read.clientId());
        break;
    }
    default:
        break;
    }
}

void MtSession::routeChat(const DBChat& chat)
{
    const QString topic = chat.topic();
    const bool own = chat.senderId() == ownUserId();
    if (own && chat.msgState() == MsgStateConfirmed)
        m_outbox.confirmed(chat.msgId());
    if (m_windows && m_windows->isChatWindowOpen(topic)) {
        emit chatForWindow(topic, chat, own);
        if (!own && m_windows->isChatWindowActive(topic)) {
            qCDebug(lcMessageTrace).noquote().nospace()
                << "MtSession::routeChat - [READ_ENTER] send READ_ENTER topic=" << topic
                << ", unreadTime=" << chat.msgTime();
            m_mqtt->sendReadEnter(topic, chat.msgTime());
        }
    }
    m_listChats.insert(topic, chat);
    m_noticeChats.insert(topic, chat);
}

void MtSession::flushRoomList()
{
    if (m_listChats.isEmpty())
        return;
    const QList<DBChat> chats = m_listChats.values();
    m_listChats.clear();
    emit roomListChats(chats);
}

void MtSession::flushNotices()
{
    const QMap<QString, DBChat> chats = m_noticeChats;
    m_noticeChats.clear();
    if (!m_mtData || !m_db)
        return;
    for (const DBChat& chat : chats) {
        DBUser sender(m_db.get());
        NotificationDecision::Facts facts;
        facts.login = m_state.isLoggedIn();
        facts.lock = m_state.isLocked();
        facts.own = chat.senderId() == ownUserId();
        facts.read = chat.msgRead() != 0;
        facts.inRoom = m_presence.isInRoom(chat.topic());
        facts.alarm = m_mtData->alarm();
        facts.topicAlarm = m_mtData->isTopicAlarmOn(chat.topic());
        facts.senderKnown = m_db->findUser(chat.senderId(), sender);
        facts.alarmType =
            m_settings ? m_settings->alarmType() : int(NotificationDecision::AlarmWindowAndSound);
        NotifyRequest request;
        request.notice = NotificationDecision::decide(facts);
        if (!request.notice.any())
            continue;
        request.topic = chat.topic();
        request.senderId = chat.senderId();
        request.senderName = facts.senderKnown ? sender.userName() : chat.senderName();
        request.senderThumbUrl = sender.thumbUrl();
        request.text = chat.toContentText();
        emit notify(request);
    }
}

void MtSession::requestRoom(const QString& topic)
{
    qDebug().noquote().nospace() << "MtSession::roomNoExistFromMQttManager - query chatRoom, topic="
                                 << topic;
    if (m_pendingRooms.contains(topic)) {
        qDebug().noquote() << "MtSession::roomNoExistFromMQttManager - already request chatRoom";
        return;
    }
    // Items queued before the answer was stored still name the room: it is known by now.
    if (m_db && m_db->chatRoomExists(topic)) {
        qDebug().noquote() << "MtSession::roomNoExistFromMQttManager - chatRoom already stored";
        return;
    }
    if (m_roomListPending) {
        m_roomsAfterList.insert(topic);
        return;
    }
    m_pendingRooms.insert(topic);
    m_net->reqChatRoom(SessionRequest::Room, topic);
    emit roomRequested(topic);
}

void MtSession::roomListEnded()
{
    m_roomListPending = false;
    if (std::exchange(m_messagingAfterRooms, false) && m_mtData) {
        // Behind the window's paint of the list: its update request is a posted event of low
        // priority, and this one, of the same priority and posted after it, comes after it. The
        // broker's subscriptions to every room took the processor that paint needs.
        m_messagingDue = true;
        QCoreApplication::postEvent(this, new QEvent(kMessagingDueEvent), Qt::LowEventPriority);
    }
    const QSet<QString> topics = std::exchange(m_roomsAfterList, {});
    for (const QString& topic : topics)
        requestRoom(topic);
}

void MtSession::customEvent(QEvent* event)
{
    if (event->type() != kMessagingDueEvent || !m_messagingDue)
        return;
    // The pictures of the rows in view are still being fetched: connecting subscribes the
    // session to every room, and the server doing that kept them waiting.
    if (m_net->firstPicturesPending())
        m_messagingWait.start();
    else
        startDueMessaging();
}

void MtSession::startDueMessaging()
{
    m_messagingWait.stop();
    if (std::exchange(m_messagingDue, false) && m_mtData)
        startMessaging();
}

void MtSession::roomAnswered(const QJsonObject& response)
{
    if (!m_db)
        return;
    DBChatRoom room(m_db.get(), response, ownUserId());
    if (!m_db->chatRoomExists(room.topic())) {
        qDebug().noquote().nospace()
            << "MtSession::onHttpSuccess - [REQ_HTTP_ROOM] insert chatroom topic=" << room.topic();
        room.setRoomName(room.toRoomName(room.members()));
        if (room.insertOrUpdate())
            emit roomAdded(room);
        if (room.type() == RoomTypeGroup) {
            qDebug().noquote().nospace()
                << "MtSession::onHttpSuccess - [REQ_HTTP_ROOM] request group, idGroup="
                << room.members();
            requestGroup(room.members().toLongLong());
        }
    }
    m_pendingRooms.remove(room.topic());
}

void MtSession::requestGroup(qint64 groupId)
{
    // Every member's PUSH of a new group names it: one request is enough.
    if (m_pendingGroups.contains(groupId))
        return;
    m_pendingGroups.insert(groupId);
    m_net->reqGroupInfo(SessionRequest::Group, groupId);
}

void MtSession::groupAnswered(const QJsonObject& response)
{
    if (!m_db)
        return;
    DBManager* db = m_db.get();
    DBGroup group(db, response);
    m_pendingGroups.remove(group.groupId());
    const qint64 roomId = jsonId(response, "chattRoomId");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    DBChatRoom room(db);
    room.setTopic(QStringLiteral("chat/%1").arg(roomId));
    room.setMembers(QString::number(group.groupId()));
    room.setType(RoomTypeGroup);
    room.setCreateDate(now);
    room.setUpdateDate(now);
    room.setRoomName(group.groupName());
    bool ok = db->database().transaction();
    const QJsonArray members = response.value(QStringLiteral("members")).toArray();
    for (const QJsonValue& value : members) {
        const QJsonObject member = value.toObject();
        DBUser known(db);
        if (!db->findUser(jsonId(member, "userId"), known)) {
            DBUser user(db, member.value(QStringLiteral("user")).toObject());
            ok = ok && user.insertOrUpdate();
        }
        DBUserGroup membership(db, member);
        ok = ok && membership.insertOrUpdate();
    }
    ok = ok && group.insertOrUpdate() && room.insertOrUpdate();
    ok = ok ? db->database().commit() : (db->database().rollback(), false);
    qDebug().noquote().nospace()
        << "MtSession::onHttpSuccess - [REQ_HTTP_GROUP] save group - group name="
        << group.groupName() << " ok=" << ok;
    DBChatRoom stored(db);
    if (ok && db->findChatRoom(room.topic(), stored)) {
        RoomRouting::Action action;
        action.listUpsert = true;
        action.windowRoom = true;
        emit roomChanged(stored, DBChat(), action);
    }
}

void MtSession::pushReceived(qint64 senderId, const QString& contents)
{
    qDebug().noquote().nospace() << "MtSession::pushFromMqttManager - contents=" << contents
                                 << " senderId=" << senderId;
    if (!m_db)
        return;
    DBManager* db = m_db.get();
    const QJsonObject push = QJsonDocument::fromJson(contents.toUtf8()).object();
    const int type = push.value(QStringLiteral("type")).toInt();
    const QJsonObject body = push.value(QStringLiteral("contents")).toObject();
    const qint64 groupId = jsonId(body, "grpId");
    const qint64 userId = jsonId(body, "userId");
    switch (type) {
    case 61: {
        DBUserGroup membership(db, body);
        membership.insertOrUpdate();
        DBUser known(db);
        if (userId != ownUserId() && !db->findUser(userId, known)) {
            DBUser user = userFromPush(db, body.value(QStringLiteral("user")).toObject());
            user.setUserId(userId);
            user.insertOrUpdate();
            if (!user.thumbUrl().isEmpty())
                m_net->requestImage(user.thumbUrl(), nullptr);
        }
        DBGroup group(db);
        if (!db->findGroup(groupId, group))
            requestGroup(groupId);
        break;
    }
    case 63:
        if (userId != ownUserId()) {
            DBUserGroup membership(db);
            membership.setGroupId(groupId);
            membership.setUserId(userId);
            membership.remove();
            break;
        }
        removeGroupRoom(groupId);
        break;
    case 90:
        removeGroupRoom(groupId);
        break;
    default:
        break;
    }
}

void MtSession::removeGroupRoom(qint64 groupId)
{
    DBChatRoom room(m_db.get());
    if (m_db->findGroupChatRoom(groupId, room) && !room.topic().isEmpty()) {
        m_presence.dropRoom(room.topic());
        m_db->deleteChatRoom(room.topic());
        emit roomRemoved(room.topic());
    }
    m_db->deleteGroup(groupId);
}

void MtSession::chatWindowActivated(const QString& topic)
{
    m_presence.setActiveTopic(topic);
    // The room is read now: every reader of the count (the room row, the echo of this session's
    // own READ_ENTER, a window opening later at its read marker) takes it from the table, so the
    // table itself goes to 0, not only the row.
    unreadCounts().set(topic, 0);
    emit unreadChanged(topic, 0);
}

void MtSession::chatWindowDeactivated(const QString& topic)
{
    // Deactivation matters to the receiving side although the window does nothing with it: a
    // chat arriving now is no longer read at once.
    if (m_presence.isActiveChatWindow(topic))
        m_presence.setActiveTopic(QString());
}

void MtSession::chatWindowClosed(const QString& topic)
{
    chatWindowDeactivated(topic);
}
