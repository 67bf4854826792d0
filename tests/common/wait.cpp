#include "common/wait.h"

#include <QDeadlineTimer>
#include <QTest>

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    // `done` is asked once more only while it does not hold: some act as well as look.
    for (QDeadlineTimer deadline(timeoutMs); !done(); QTest::qWait(10)) {
        if (deadline.hasExpired())
            return false;
    }
    return true;
}
