#pragma once

#include "messaging/mqttmessage.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace QMQTT {

class ClientDelegate;

// The thread that hands received messages to the delegate. The network thread only queues them,
// so a slow delegate never holds up acknowledgements or keep-alive pings; the delivery thread
// sleeps on the queue until a message or the stop request arrives, then hands over everything
// queued by then, in arrival order, as one batch (onMessagesDelivered).
class DeliveryThread
{
public:
    // The most messages in one batch. A burst is handed over in slices of this size, so that
    // the first of them reach the delegate (and the user) while the rest still arrive, and a
    // delegate that works per batch (one transaction) never holds its locks for long.
    static constexpr int kMaxBatch = 256;

    explicit DeliveryThread(ClientDelegate* delegate);
    ~DeliveryThread();
    DeliveryThread(const DeliveryThread&) = delete;
    DeliveryThread& operator=(const DeliveryThread&) = delete;

    void start();
    // Any thread.
    void post(const Message& message);
    // Refuses further posts, delivers what is queued (the broker has its acknowledgement and will
    // not send it again) and lets the delegate finish on its thread: after this returns the
    // delegate is never called again.
    void stop();

private:
    void run();

    ClientDelegate* const m_delegate;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Message> m_queue;
    bool m_stopping = false;
};

} // namespace QMQTT
