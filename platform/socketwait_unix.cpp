#include "platform/socketwait.h"

#include <QDebug>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

MtSocketWait::MtSocketWait()
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning().noquote().nospace()
            << "MtSocketWait - no wake-up pipe, error:" << std::strerror(errno);
        m_pipe[0] = m_pipe[1] = -1;
    }
}

MtSocketWait::~MtSocketWait()
{
    for (int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void MtSocketWait::wake()
{
    const char byte = 0;
    // A full pipe already holds a wake-up.
    if (m_pipe[1] >= 0 && ::write(m_pipe[1], &byte, 1) < 0 && errno != EAGAIN)
        qWarning().noquote().nospace() << "MtSocketWait::wake error:" << std::strerror(errno);
}

namespace {
#ifdef POLLRDHUP
constexpr short kReadableEvents = POLLIN | POLLERR | POLLHUP | POLLNVAL | POLLRDHUP;
#else
constexpr short kReadableEvents = POLLIN | POLLERR | POLLHUP | POLLNVAL;
#endif
} // namespace

int MtSocketWait::wait(int fd, bool forRead, bool forWrite, std::chrono::milliseconds timeout)
{
    pollfd fds[2] = {{m_pipe[0], POLLIN, 0}, {fd, 0, 0}};
    if (forRead)
        fds[1].events |= POLLIN;
    if (forWrite)
        fds[1].events |= POLLOUT;
#ifdef POLLRDHUP
    // A peer that closed is seen also while reading waits for settlements: reported readable,
    // the end of the connection is read at once, not at the next keep-alive.
    fds[1].events |= POLLRDHUP;
    const nfds_t count = fd >= 0 ? 2 : 1;
#else
    // Errors and hang-ups are reported even when nothing is asked for; a socket neither read
    // nor written is left out, or a hang-up would wake the wait again and again.
    const nfds_t count = fd >= 0 && (forRead || forWrite) ? 2 : 1;
#endif
    const int n = ::poll(fds, count, int(qBound<qint64>(0, timeout.count(), 60000)));
    if (n <= 0)
        return None;
    int ready = None;
    if (fds[0].revents & POLLIN) {
        char buffer[64];
        while (::read(m_pipe[0], buffer, sizeof buffer) > 0) {
        }
        ready |= Woken;
    }
    if (count == 2) {
        if (fds[1].revents & kReadableEvents)
            ready |= Readable;
        if (fds[1].revents & POLLOUT)
            ready |= Writable;
    }
    return ready;
}

void MtSocketWait::shutdown(int fd)
{
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}
