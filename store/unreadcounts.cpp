#include "store/unreadcounts.h"

#include <limits>

int UnreadCounts::get(const QString& topic) const
{
    if (topic.isEmpty())
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int count = m_counts.value(topic, 0);
    return count > 0 ? count : 0;
}

void UnreadCounts::set(const QString& topic, int count)
{
    if (topic.isEmpty())
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_counts.insert(topic, count);
}

int UnreadCounts::add(const QString& topic, int delta)
{
    if (topic.isEmpty())
        return 0;
    // Read, change and store under one lock: a chat arriving on the messaging thread while the
    // GUI thread lowers the count must not be lost between the two.
    std::lock_guard<std::mutex> lock(m_mutex);
    const qint64 sum = qint64(m_counts.value(topic, 0)) + delta;
    const int count = int(qBound<qint64>(0, sum, std::numeric_limits<int>::max()));
    m_counts.insert(topic, count);
    return count;
}

void UnreadCounts::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_counts.clear();
}

QHash<QString, int> UnreadCounts::entries() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counts;
}

UnreadCounts& unreadCounts()
{
    static UnreadCounts table;
    return table;
}
