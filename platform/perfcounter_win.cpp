#include "platform/perfcounter.h"

#include <windows.h>

qint64 platformPerformanceCounter()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}
