#include "platform/socketlowdelay.h"

// Windows gives no list of a process's sockets to walk; its connections keep Nagle's algorithm.
int platformSetLowDelayToPort(quint16 peerPort)
{
    Q_UNUSED(peerPort)
    return 0;
}
