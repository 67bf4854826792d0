// The receiving side's entry point and the events that need no store: the dispatch by type, the
// forced logout, server notices and the presence of the user's other sessions.
#include "messaging/mqttmanager.h"

#include "messaging/payloadcodec.h"

#include <QDebug>
#include <QThread>

namespace {
QString formatTime(qint64 msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch)
        .toString(QStringLiteral("yyyyMMdd hhmmss"));
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
    qDebug().noquote().nospace() << "MqttManager::receivedFromMqtt"
                                 << " topic:" << topic
                                 << " dateTime:" << formatTime(payload.msgTime)
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

    switch (payload.messageType) {
    case ChatPayload::TypeChat:
        receivedChatFromMqtt(topic, payload);
        break;
    case ChatPayload::TypeInvite:
        receivedInviteFromMqtt(topic, payload);
        break;
    case ChatPayload::TypeAdmission:
        receivedAdmissionFromMqtt(topic, payload);
        break;
    case ChatPayload::TypeLeave:
        receivedLeaveFromMqtt(topic, payload);
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
    case ChatPayload::TypeLogout: {
        // Emitted from this object's own thread, so that every receiver gets it there, whatever
        // its connection type; it is dropped with this object.
        const unsigned char type = payload.messageType;
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(payload.msgTime);
        QMetaObject::invokeMethod(
            this, [this, topic, type, time] { emit logout(topic, type, time); },
            Qt::QueuedConnection);
        break;
    }
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
