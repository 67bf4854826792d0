#include "platform/perfcounter.h"

#include <time.h>

qint64 platformPerformanceCounter()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // 100 ns ticks, the resolution of the Windows counter.
    return qint64(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}
