// Read notices: another session of the user read a room (its unread chats here become read), or
// another member read the user's messages (their reader counts grow).
#include "messaging/mqttmanager.h"

#include "store/dbmanager.h"
#include "store/messagetrace.h"

#include <QDebug>

void MqttManager::receivedEnterReadFromMqtt(const QString& topic, const ChatPayload& payload)
{
    if (!m_threadStore)
        return;
    DBManager* db = m_threadStore.get();
    const Session s = session();
    qCDebug(lcMessageTrace).noquote().nospace()
        << "MqttManager::receivedEnterReadFromMqtt"
        << " topic:" << topic << " messageType:" << ChatPayload::typeName(payload.messageType)
        << " senderId:" << payload.senderId << " messageId:" << payload.messageId
        << " contents:" << payload.text();
    const QJsonObject contents = payload.object();
    const QString clientId = contents.value(QStringLiteral("clientId")).toString();
    const qint64 readTime = ChatPayload::toInt64(contents.value(QStringLiteral("readTime")));

    if (payload.senderId == s.userId) {
        if (clientId != s.clientId) {
            qCDebug(lcMessageTrace).noquote().nospace()
                << "MqttManager::receivedEnterReadFromMqtt - [READ_ENTER][MYCHAT] topic=" << topic
                << ", readTime=" << readTime;
            if (readTime != 0) {
                const int marked = db->updateReadAll(topic, readTime);
                addUnread(topic, -marked);
            }
        }
        enqueue(std::make_unique<EnterMyReadMessageItem>(topic, clientId, unreadCount(topic)));
        return;
    }
    if (readTime == 0)
        return;
    QMap<QString, int> readCounts;
    db->batchChatReads(readCounts, topic, s.userId, payload.senderId, readTime);
    if (readCounts.isEmpty())
        return;
    QVariantMap mapReads;
    for (auto it = readCounts.cbegin(); it != readCounts.cend(); ++it)
        mapReads.insert(it.key(), it.value());
    enqueue(std::make_unique<EnterReadMessageItem>(topic, mapReads));
}
