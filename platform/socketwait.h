#pragma once

#include <chrono>

// Waits on one socket for reading and/or writing, or until another thread calls wake(). The
// network thread uses it instead of libmosquitto's own loop, so that it decides itself when to
// read and when to write: libmosquitto's wake-up socket cannot be reached from outside.
// POSIX: poll and a pipe; Windows: WSAPoll and a loopback socket pair.
class MtSocketWait
{
public:
    enum Ready
    {
        None = 0,
        Readable = 1, // data, end of stream or an error to read
        Writable = 2,
        Woken = 4,
    };

    MtSocketWait();
    ~MtSocketWait();
    MtSocketWait(const MtSocketWait&) = delete;
    MtSocketWait& operator=(const MtSocketWait&) = delete;

    bool isValid() const { return m_pipe[0] >= 0; }
    // Any thread: ends the current wait, or the next one at once.
    void wake();
    // fd < 0: only the wake-up and the time-out count. Returns a combination of Ready.
    int wait(int fd, bool forRead, bool forWrite, std::chrono::milliseconds timeout);
    // Ends the connection on the socket in both directions without closing the descriptor, which
    // stays libmosquitto's: its next read then sees the end of the connection.
    static void shutdown(int fd);

private:
    // The wake-up channel: a pipe on POSIX, a connected loopback socket pair on Windows.
    int m_pipe[2] = {-1, -1};
};
