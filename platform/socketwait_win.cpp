#include "platform/socketwait.h"

#include <QDebug>

#include <winsock2.h>
#include <ws2tcpip.h>

namespace {
// A connected pair of loopback TCP sockets stands in for a pipe: WSAPoll waits on sockets only.
bool makeSocketPair(int pair[2])
{
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET)
        return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    SOCKET writer = INVALID_SOCKET;
    SOCKET reader = INVALID_SOCKET;
    const bool listening =
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        ::listen(listener, 1) == 0;
    if (listening) {
        writer = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (writer != INVALID_SOCKET &&
            ::connect(writer, reinterpret_cast<sockaddr*>(&address), length) == 0)
            reader = ::accept(listener, nullptr, nullptr);
    }
    ::closesocket(listener);
    if (reader == INVALID_SOCKET) {
        if (writer != INVALID_SOCKET)
            ::closesocket(writer);
        return false;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(reader, FIONBIO, &nonBlocking);
    ::ioctlsocket(writer, FIONBIO, &nonBlocking);
    pair[0] = int(reader);
    pair[1] = int(writer);
    return true;
}
} // namespace

MtSocketWait::MtSocketWait()
{
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0 || !makeSocketPair(m_pipe)) {
        qWarning().noquote().nospace()
            << "MtSocketWait - no wake-up socket pair, error:" << ::WSAGetLastError();
        m_pipe[0] = m_pipe[1] = -1;
    }
}

MtSocketWait::~MtSocketWait()
{
    for (int fd : m_pipe) {
        if (fd >= 0)
            ::closesocket(SOCKET(fd));
    }
    ::WSACleanup();
}

void MtSocketWait::wake()
{
    const char byte = 0;
    // A full buffer already holds a wake-up.
    if (m_pipe[1] >= 0 && ::send(SOCKET(m_pipe[1]), &byte, 1, 0) == SOCKET_ERROR &&
        ::WSAGetLastError() != WSAEWOULDBLOCK)
        qWarning().noquote().nospace() << "MtSocketWait::wake error:" << ::WSAGetLastError();
}

int MtSocketWait::wait(int fd, bool forRead, bool forWrite, std::chrono::milliseconds timeout)
{
    WSAPOLLFD fds[2] = {{SOCKET(m_pipe[0]), POLLRDNORM, 0}, {SOCKET(fd), 0, 0}};
    if (forRead)
        fds[1].events |= POLLRDNORM;
    if (forWrite)
        fds[1].events |= POLLWRNORM;
    const ULONG count = fd >= 0 && (forRead || forWrite) ? 2 : 1;
    const int n = ::WSAPoll(fds, count, int(qBound<qint64>(0, timeout.count(), 60000)));
    if (n <= 0)
        return None;
    int ready = None;
    if (fds[0].revents & POLLRDNORM) {
        char buffer[64];
        while (::recv(SOCKET(m_pipe[0]), buffer, sizeof buffer, 0) > 0) {
        }
        ready |= Woken;
    }
    if (count == 2) {
        if (fds[1].revents & (POLLRDNORM | POLLERR | POLLHUP | POLLNVAL))
            ready |= Readable;
        if (fds[1].revents & POLLWRNORM)
            ready |= Writable;
    }
    return ready;
}

void MtSocketWait::shutdown(int fd)
{
    if (fd >= 0)
        ::shutdown(SOCKET(fd), SD_BOTH);
}
