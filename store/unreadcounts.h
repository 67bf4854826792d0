#pragma once

#include <QHash>
#include <QString>

#include <mutex>

// The unread count of every room (topic to count, never negative), kept in memory for the whole
// process. The room list and the chat windows read and set it on the GUI thread while the
// messaging session raises and lowers it on its delivery thread, so every operation takes the
// table's own mutex. A std::mutex rather than a QMutex: ThreadSanitizer understands the pthread
// lock beneath it, so the TSan build checks the guarding for real.
class UnreadCounts
{
public:
    UnreadCounts() = default;
    UnreadCounts(const UnreadCounts&) = delete;
    UnreadCounts& operator=(const UnreadCounts&) = delete;

    // The stored count when it is above 0, else 0 (also for an empty or unknown topic).
    int get(const QString& topic) const;
    // Stores the count; an empty topic is ignored.
    void set(const QString& topic, int count);
    // Adds delta (which may be negative) to the stored count, 0 when there is none, lowers a
    // negative result to 0, stores it and returns it. An empty topic stores nothing and gives 0.
    int add(const QString& topic, int delta);
    // Empties the table (a new login starts from the database again).
    void clear();
    // Every entry at one moment.
    QHash<QString, int> entries() const;

private:
    mutable std::mutex m_mutex;
    QHash<QString, int> m_counts;
};

// The process-wide table.
UnreadCounts& unreadCounts();
