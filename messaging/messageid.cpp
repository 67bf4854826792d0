#include "messaging/messageid.h"

#include "platform/perfcounter.h"

#include <QDateTime>

#include <atomic>

namespace {
std::atomic<qint64> lastIdTime{0};

// The current time, or one past the last id's time when the clock has not moved on (or went
// back), so that no two ids of this process share their time part.
qint64 nextIdTime()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    qint64 last = lastIdTime.load();
    qint64 next;
    do {
        next = qMax(now, last + 1);
    } while (!lastIdTime.compare_exchange_weak(last, next));
    return next;
}
} // namespace

QString formatMessageId(const QString& clientId, qint64 msecsSinceEpoch, qint64 counter)
{
    return clientId + QLatin1Char('-') + QString::number(msecsSinceEpoch) +
           QString::number(counter).left(4);
}

QString makeMessageId(const QString& clientId)
{
    const qint64 counter = platformPerformanceCounter();
    return formatMessageId(clientId, nextIdTime(), counter);
}
