#pragma once

#include <QMutex>
#include <QWaitCondition>

#include <functional>

// Something one thread makes and a worker waits for, once: a store still being made when the
// requests that fill it go out, or a room list fetched ahead. Whatever the opener wrote before
// open() is seen by the waiter after wait().
class NetLatch
{
public:
    // Made (`usable`) or never will be.
    void open(bool usable);
    // Waits for open() or until `ending` holds (the engine is going away); true when what was
    // waited for is usable.
    bool wait(const std::function<bool()>& ending);

private:
    QMutex m_mutex;
    QWaitCondition m_opened;
    bool m_done = false;
    bool m_usable = false;
};
