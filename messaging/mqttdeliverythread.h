#pragma once

#include "messaging/mqttdurabilitythread.h"
#include "messaging/mqttmessage.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace QMQTT {

class ClientDelegate;

// The thread that hands received messages to the delegate. The network thread only queues them
// and goes on reading, so a slow delegate never holds up keep-alive pings or the messages behind;
// the delivery thread sleeps on the queue until a message or the stop request arrives, then hands
// over everything queued by then, in arrival order, as one batch (onMessagesDelivered).
//
// A batch the delegate could not keep (its store cannot write) is handed over again, the same
// batch with nothing before it, after a pause that doubles from kFirstRetry up to kMaxRetry;
// what arrives meanwhile waits behind it. What the delegate has taken goes to the durability
// thread in runs: when it has taken all that had arrived and that thread is free, or when
// kMaxUndurable messages wait. There it is
// made durable (onMessagesDurable) and `settled` is told how many messages that were: they may
// now be acknowledged. The window sees a batch when it is taken; only the acknowledgements wait
// for the disk, and the next batch waits for neither.
class DeliveryThread
{
public:
    // The most messages in one batch. A burst is handed over in slices of this size, so that
    // the first of them reach the delegate (and the user) while the rest still arrive, and a
    // delegate that works per batch (one transaction) never holds its locks for long; large
    // enough that a transaction writes each page it touches for many messages (a burst across
    // forty rooms touches pages all over the chat table's indexes).
    static constexpr int kMaxBatch = 512;
    // Below the client's default bound of unsettled messages (1000), so that a long burst is
    // made durable and acknowledged in runs before the network thread has to stop reading.
    static constexpr int kMaxUndurable = 3 * kMaxBatch / 2;
    static constexpr std::chrono::milliseconds kFirstRetry = DurabilityThread::kFirstRetry;
    static constexpr std::chrono::milliseconds kMaxRetry = DurabilityThread::kMaxRetry;

    explicit DeliveryThread(ClientDelegate* delegate,
                            std::function<void(int count)> settled = nullptr);
    ~DeliveryThread();
    DeliveryThread(const DeliveryThread&) = delete;
    DeliveryThread& operator=(const DeliveryThread&) = delete;

    void start();
    // Any thread. False, and the message is dropped, once stop() has begun.
    bool post(const Message& message);
    // Refuses further posts from now on and ends the thread after the delivery in progress,
    // without waiting for it.
    void requestStop();
    // Refuses further posts, lets a delivery in progress end and the delegate finish on its
    // threads: after this returns the delegate is never called again. What was taken is settled
    // if the delegate can make it durable at once; what was not delivered yet (or not kept, or
    // not made durable) is dropped unsettled: nothing acknowledged it, the broker sends it again.
    void stop();

private:
    void run();
    bool deliver(const QList<Message>& batch);
    // The durability thread has settled every run handed to it.
    void durabilityIdle();
    // Sleeps for the pause, or until stop is requested (false).
    bool pause(std::chrono::milliseconds* pause);

    ClientDelegate* const m_delegate;
    DurabilityThread m_durability;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Message> m_queue;
    bool m_stopping = false;
    // A run was handed to the durability thread and it has not settled them all yet.
    bool m_durabilityBusy = false;
};

} // namespace QMQTT
