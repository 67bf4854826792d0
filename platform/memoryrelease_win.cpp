#include "platform/memoryrelease.h"

#include <malloc.h>

void platformReleaseFreeMemory()
{
    _heapmin();
}
