#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace QMQTT {

class ClientDelegate;

// The thread that makes what the delegate has taken durable (onMessagesDurable) and then lets
// it be acknowledged (`settled`), one run at a time, in the order the runs were taken. It is a
// thread of its own because a sync of the disk can take tens of milliseconds on a busy machine:
// on the delivery thread, a chat arriving meanwhile would wait for it before the user sees it,
// although showing a committed chat needs no sync; only its acknowledgement does.
//
// A refused run is asked again after a pause that doubles from kFirstRetry up to kMaxRetry, and
// nothing behind it is settled first. Once hurried (the client is stopping) it no longer pauses:
// at finish() everything still waiting gets one attempt, and what that cannot make durable is
// dropped unsettled (the broker sends it again).
class DurabilityThread
{
public:
    static constexpr std::chrono::milliseconds kFirstRetry{100};
    static constexpr std::chrono::milliseconds kMaxRetry{5000};

    // `idle` is called on this thread whenever it has settled every run posted so far.
    DurabilityThread(ClientDelegate* delegate, std::function<void(int count)> settled,
                     std::function<void()> idle = nullptr);
    ~DurabilityThread();
    DurabilityThread(const DurabilityThread&) = delete;
    DurabilityThread& operator=(const DurabilityThread&) = delete;

    void start();
    // `count` messages the delegate has taken since the last post, each of them committed before
    // this call; `caughtUp` when no message was waiting behind them.
    void post(int count, bool caughtUp);
    // Stops the pauses between attempts; the runs wait for finish().
    void hurry();
    // After the last post: gives what waits its last attempt, lets the delegate finish on this
    // thread and joins it. The delegate is never called again afterwards.
    void finish();

private:
    struct Run
    {
        int count = 0;
        bool caughtUp = false;
    };

    void run();
    // Sleeps for the pause, or until hurried (false).
    bool pause(std::chrono::milliseconds* wait);

    ClientDelegate* const m_delegate;
    const std::function<void(int)> m_settled;
    const std::function<void()> m_idle;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Run> m_runs;
    bool m_hurried = false;
    bool m_finishing = false;
};

} // namespace QMQTT
