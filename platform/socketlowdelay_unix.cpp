#include "platform/socketlowdelay.h"

#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdlib>

namespace {
// The peer port of descriptor `fd` when it is a connected IPv4 or IPv6 socket, else 0.
quint16 peerPortOf(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return 0;
}
} // namespace

int platformSetLowDelayToPort(quint16 peerPort)
{
    // The process's descriptors, as the system lists them; where there is no such list the
    // connections keep the system's default.
    DIR* descriptors = opendir("/proc/self/fd");
    if (!descriptors)
        return 0;
    int changed = 0;
    const int own = dirfd(descriptors);
    while (const dirent* entry = readdir(descriptors)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own || peerPortOf(int(fd)) != peerPort)
            continue;
        const int on = 1;
        if (setsockopt(int(fd), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0)
            ++changed;
    }
    closedir(descriptors);
    return changed;
}
