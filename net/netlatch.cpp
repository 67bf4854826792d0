#include "net/netlatch.h"

#include <QMutexLocker>

void NetLatch::open(bool usable)
{
    QMutexLocker lock(&m_mutex);
    m_done = true;
    m_usable = usable;
    m_opened.wakeAll();
}

bool NetLatch::wait(const std::function<bool()>& ending)
{
    constexpr int kLookMs = 50;
    QMutexLocker lock(&m_mutex);
    while (!m_done && !ending())
        m_opened.wait(&m_mutex, kLookMs);
    return m_done && m_usable;
}
