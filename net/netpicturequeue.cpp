#include "net/netpicturequeue.h"

bool NetPictureQueue::add(const QString& url, QWidget* waiter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_entries.find(url);
    const bool fresh = it == m_entries.end();
    if (fresh)
        it = m_entries.insert(url, Entry());
    Entry& entry = it.value();
    entry.waiters.append(waiter);
    if (waiter && !entry.shown) {
        entry.shown = true;
        if (!entry.running) {
            m_prefetch.removeOne(url);
            m_shown.append(url);
        }
        return fresh;
    }
    if (fresh)
        (entry.shown ? m_shown : m_prefetch).append(url);
    return fresh;
}

bool NetPictureQueue::takeNext(QString* next)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return takeNextLocked(next);
}

bool NetPictureQueue::takeNextLocked(QString* next)
{
    if (m_running >= kMaxRunning)
        return false;
    QString url;
    if (!m_shown.isEmpty())
        url = m_shown.takeFirst();
    else if (!m_prefetch.isEmpty() && m_prefetching < kMaxPrefetching)
        url = m_prefetch.takeFirst();
    else
        return false;
    *next = url;
    Entry& entry = m_entries[url];
    entry.running = true;
    entry.prefetching = !entry.shown;
    ++m_running;
    if (entry.prefetching)
        ++m_prefetching;
    return true;
}

QList<QWidget*> NetPictureQueue::finish(const QString& url)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return finishLocked(url);
}

QList<QWidget*> NetPictureQueue::finishAndTakeNext(const QString& url, QString* next, bool* taken)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const QList<QWidget*> waiters = finishLocked(url);
    *taken = takeNextLocked(next);
    return waiters;
}

QList<QWidget*> NetPictureQueue::finishLocked(const QString& url)
{
    const auto it = m_entries.constFind(url);
    if (it == m_entries.cend() || !it->running)
        return {};
    const Entry entry = it.value();
    m_entries.erase(it);
    --m_running;
    if (entry.prefetching)
        --m_prefetching;
    return entry.waiters;
}

void NetPictureQueue::clearWaiting()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const QString& url : qAsConst(m_shown))
        m_entries.remove(url);
    for (const QString& url : qAsConst(m_prefetch))
        m_entries.remove(url);
    m_shown.clear();
    m_prefetch.clear();
}

int NetPictureQueue::running() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running;
}

QStringList NetPictureQueue::waiting() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_shown + m_prefetch;
}
