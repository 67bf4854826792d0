#include "common/wait.h"

#include <QDeadlineTimer>
#include <QTest>

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QTest::qWait(10);
    return done();
}
