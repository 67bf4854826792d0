#include "session/mtcoalescer.h"

#include <algorithm>

MtCoalescer::MtCoalescer(int delayMs, int maxWaitMs, QObject* parent)
    : QObject(parent), m_delayMs(delayMs), m_maxWaitMs(std::max(delayMs, maxWaitMs))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &MtCoalescer::onTimeout);
}

void MtCoalescer::poke()
{
    if (!m_timer.isActive())
        m_runStart.start();
    const qint64 left = m_maxWaitMs - m_runStart.elapsed();
    m_timer.start(int(std::max<qint64>(0, std::min<qint64>(m_delayMs, left))));
}

void MtCoalescer::cancel()
{
    m_timer.stop();
}

void MtCoalescer::onTimeout()
{
    emit fired();
}
