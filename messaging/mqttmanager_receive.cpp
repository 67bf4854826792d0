// The receiving side's entry point and the events that need no store: the dispatch by type, the
// forced logout, server notices and the presence of the user's other sessions.
#include "messaging/mqttmanager.h"

#include "messaging/payloadcodec.h"
#include "store/messagetrace.h"

#include <QDebug>
#include <QThread>

#include <limits>

namespace {
// The payload's time as local time, for the log line of every message. Asked for each message,
// the C library would look at the time zone file again every time, and Qt's formatting is not
// cheap either: the text is kept for the second it shows, and the offset from UTC for the minute
// it was found for (zones change their offset on whole minutes).
QString formatTime(qint64 msecsSinceEpoch)
{
    thread_local qint64 cachedSecond = std::numeric_limits<qint64>::min();
    thread_local QString cachedText;
    thread_local qint64 cachedMinute = std::numeric_limits<qint64>::min();
    thread_local int cachedOffset = 0;
    const qint64 second = msecsSinceEpoch / 1000;
    if (second == cachedSecond)
        return cachedText;
    const qint64 minute = msecsSinceEpoch / 60000;
    if (minute != cachedMinute) {
        cachedOffset = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).offsetFromUtc();
        cachedMinute = minute;
    }
    cachedText = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::OffsetFromUTC, cachedOffset)
                     .toString(QStringLiteral("yyyyMMdd hhmmss"));
    cachedSecond = second;
    return cachedText;
}
} // namespace

void MqttManager::receivedFromMqtt(const QMQTT::Message& message)
{
    // Only the delivery thread may reach its store connection; the client's received() signal,
    // connected for completeness, must never bring a message here from another thread.
    if (QThread::currentThread() != m_deliveryThread.load()) {
        qWarning().noquote().nospace()
            << "MqttManager::receivedFromMqtt"
            << " topic:" << message.topic() << " ignored, not on the delivery thread";
        return;
    }
    const QString topic = message.topic();
    ChatPayload payload;
    const bool complete = PayloadCodec::decode(message.payload(), &payload);
    if (payload.messageType == 0 && !complete) {
        qWarning().noquote().nospace()
            << "MqttManager::receivedFromMqtt"
            << " topic:" << topic << " payload too short, size:" << message.payload().size();
        return;
    }
    qCDebug(lcMessageTrace).noquote().nospace()
        << "MqttManager::receivedFromMqtt"
        << " topic:" << topic << " dateTime:" << formatTime(payload.msgTime)
        << " messageType:" << ChatPayload::typeName(payload.messageType);
    if (!ChatPayload::isHandledType(payload.messageType)) {
        qWarning().noquote().nospace()
            << "MqttManager::receivedFromMqtt"
            << " topic:" << topic << " unknown messageType:" << payload.messageType;
        return;
    }
    if (!complete) {
        // Shorter than the fields it announces: nothing of it can be trusted.
        qWarning().noquote().nospace()
            << "MqttManager::receivedFromMqtt"
            << " topic:" << topic
            << " truncated payload dropped, size:" << message.payload().size();
        return;
    }

    // Room events write rooms, and users that the directory did not have yet: what a batch
    // remembers of either is forgotten after each of them.
    switch (payload.messageType) {
    case ChatPayload::TypeChat:
        receivedChatFromMqtt(topic, payload);
        break;
    case ChatPayload::TypeInvite:
        receivedInviteFromMqtt(topic, payload);
        forgetLookUps();
        break;
    case ChatPayload::TypeAdmission:
        receivedAdmissionFromMqtt(topic, payload);
        forgetLookUps();
        break;
    case ChatPayload::TypeLeave:
        receivedLeaveFromMqtt(topic, payload);
        forgetLookUps();
        break;
    case ChatPayload::TypePush:
        receivedPushFromMqtt(topic, payload);
        break;
    case ChatPayload::TypeEnterRead:
        receivedEnterReadFromMqtt(topic, payload);
        break;
    case ChatPayload::TypeLeaveRead:
        receivedLeaveReadFromMqtt(topic, payload);
        break;
    case ChatPayload::TypeHereRead:
        receivedHereReadFromMqtt(topic, payload);
        break;
    case ChatPayload::TypeLogout:
        emitLogout(topic, payload.messageType, QDateTime::fromMSecsSinceEpoch(payload.msgTime));
        break;
    }
}

void MqttManager::receivedPushFromMqtt(const QString& topic, const ChatPayload& payload)
{
    Q_UNUSED(topic)
    enqueue(std::make_unique<PushMessageItem>(payload.senderId, payload.text()));
}

void MqttManager::receivedLeaveReadFromMqtt(const QString& topic, const ChatPayload& payload)
{
    const QString clientId = payload.text();
    if (clientId == session().clientId)
        return;
    enqueue(std::make_unique<LeaveReadMessageItem>(topic, payload.senderId, clientId));
}

void MqttManager::receivedHereReadFromMqtt(const QString& topic, const ChatPayload& payload)
{
    const QString clientId = payload.text();
    if (clientId == session().clientId)
        return;
    enqueue(std::make_unique<HereReadMessageItem>(topic, payload.senderId, clientId));
}
