#pragma once

#include <QMutex>
#include <QWaitCondition>

#include <functional>

// A store still being made when the requests that fill it go out. Their tasks wait here before
// they open it, so that the file's making (its tables, its switch to a write-ahead log, each a
// sync of the disk) is done while the server works on the answers.
class NetStoreGate
{
public:
    // On the thread that makes the store: it is ready (`usable`) or it never will be.
    void open(bool usable);
    // On a worker: waits for open() or until `ending` holds (the engine is going away); true
    // when the store may be used.
    bool wait(const std::function<bool()>& ending);

private:
    QMutex m_mutex;
    QWaitCondition m_opened;
    bool m_done = false;
    bool m_usable = false;
};
