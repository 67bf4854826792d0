#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

namespace QMQTT {

// One PUBLISH: its topic, payload bytes and QoS. The packet id is given by the client when it
// sends or receives the message; retain and dup are what the broker said on receipt.
class Message
{
public:
    Message() = default;
    Message(quint16 id, const QString& topic, const QByteArray& payload, quint8 qos = 0,
            bool retain = false, bool dup = false);

    quint16 id() const { return m_id; }
    void setId(quint16 id) { m_id = id; }
    QString topic() const { return m_topic; }
    void setTopic(const QString& topic) { m_topic = topic; }
    QByteArray payload() const { return m_payload; }
    void setPayload(const QByteArray& payload) { m_payload = payload; }
    quint8 qos() const { return m_qos; }
    void setQos(quint8 qos) { m_qos = qos; }
    bool retain() const { return m_retain; }
    void setRetain(bool retain) { m_retain = retain; }
    bool dup() const { return m_dup; }
    void setDup(bool dup) { m_dup = dup; }

private:
    quint16 m_id = 0;
    QString m_topic;
    QByteArray m_payload;
    quint8 m_qos = 0;
    bool m_retain = false;
    bool m_dup = false;
};

} // namespace QMQTT

Q_DECLARE_METATYPE(QMQTT::Message)
