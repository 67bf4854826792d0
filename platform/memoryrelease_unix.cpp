#include "platform/memoryrelease.h"

// Any C library header defines __GLIBC__ when the library is glibc.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void platformReleaseFreeMemory()
{
#if defined(__GLIBC__)
    // Every thread's arena, not only the top of the main heap: the directory is parsed on a
    // worker thread.
    malloc_trim(0);
#endif
}
