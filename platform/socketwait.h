#pragma once

#include <chrono>

namespace QMQTT {

// Waits on one socket for reading and/or writing, or until another thread calls wake(). The
// network thread uses it instead of libmosquitto's own loop, so that it decides itself when to
// read and when to write: libmosquitto's wake-up socket cannot be reached from outside.
// POSIX (poll and a pipe); a Windows build needs WSAPoll and a socket pair behind the same class.
class SocketWait
{
public:
    enum Ready
    {
        None = 0,
        Readable = 1, // data, end of stream or an error to read
        Writable = 2,
        Woken = 4,
    };

    SocketWait();
    ~SocketWait();
    SocketWait(const SocketWait&) = delete;
    SocketWait& operator=(const SocketWait&) = delete;

    bool isValid() const { return m_pipe[0] >= 0; }
    // Any thread: ends the current wait, or the next one at once.
    void wake();
    // fd < 0: only the wake-up and the time-out count. Returns a combination of Ready.
    int wait(int fd, bool forRead, bool forWrite, std::chrono::milliseconds timeout);
    // Ends the connection on the socket in both directions without closing the descriptor, which
    // stays libmosquitto's: its next read then sees the end of the connection.
    static void shutdown(int fd);

private:
    int m_pipe[2] = {-1, -1};
};

} // namespace QMQTT
