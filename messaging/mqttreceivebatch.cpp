#include "messaging/mqttreceivebatch.h"

#include "store/dbmanager.h"
#include "store/unreadcounts.h"

#include <limits>

MqttReceiveBatch::MqttReceiveBatch(UnreadCounts& counts) : m_counts(counts) {}

int MqttReceiveBatch::unreadCount(const QString& topic) const
{
    const auto it = m_unread.constFind(topic);
    return it != m_unread.cend() ? it.value() : m_counts.get(topic);
}

int MqttReceiveBatch::addUnread(const QString& topic, int delta)
{
    if (topic.isEmpty())
        return 0;
    // The same arithmetic as UnreadCounts::add, from the count the earlier changes lead to.
    const qint64 sum = qint64(unreadCount(topic)) + delta;
    const int count = int(qBound<qint64>(0, sum, std::numeric_limits<int>::max()));
    m_unread.insert(topic, count);
    m_unreadChanges.emplace_back(topic, delta);
    return count;
}

void MqttReceiveBatch::queue(std::unique_ptr<MqttManager::MessageItem> item)
{
    m_items.push_back(std::move(item));
}

void MqttReceiveBatch::logout(const QString& topic, unsigned char messageType,
                              const QDateTime& time)
{
    m_logouts.push_back({topic, messageType, time});
}

bool MqttReceiveBatch::roomExists(DBManager* db, const QString& topic)
{
    const auto it = m_rooms.constFind(topic);
    if (it != m_rooms.cend())
        return it.value();
    const bool exists = db->chatRoomExists(topic);
    m_rooms.insert(topic, exists);
    return exists;
}

const DBUser* MqttReceiveBatch::findUser(DBManager* db, qint64 userId)
{
    auto it = m_users.find(userId);
    if (it == m_users.end()) {
        // Left with user_id 0 when there is no such user (none is ever stored with id 0).
        DBUser found(db);
        db->findUser(userId, found);
        it = m_users.insert(userId, found);
    }
    return it.value().userId() != 0 ? &it.value() : nullptr;
}

void MqttReceiveBatch::forgetLookUps()
{
    m_rooms.clear();
    m_users.clear();
}

void MqttReceiveBatch::applyUnreadChanges()
{
    // Replayed as changes rather than set as totals: the GUI thread may have changed a count
    // meanwhile (a room read), and that must not be overwritten.
    for (const auto& change : m_unreadChanges)
        m_counts.add(change.first, change.second);
    m_unreadChanges.clear();
}

std::vector<std::unique_ptr<MqttManager::MessageItem>> MqttReceiveBatch::takeItems()
{
    return std::move(m_items);
}
