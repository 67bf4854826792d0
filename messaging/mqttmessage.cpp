#include "messaging/mqttmessage.h"

namespace QMQTT {

Message::Message(quint16 id, const QString& topic, const QByteArray& payload, quint8 qos,
                 bool retain, bool dup)
    : m_id(id), m_topic(topic), m_payload(payload), m_qos(qos), m_retain(retain), m_dup(dup)
{}

} // namespace QMQTT
