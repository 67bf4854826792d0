#include "messaging/mqttdeliverythread.h"

#include "messaging/mqttclientdelegate.h"

#include <algorithm>

namespace QMQTT {

constexpr int DeliveryThread::kMaxUndurable;
constexpr std::chrono::milliseconds DeliveryThread::kFirstRetry;
constexpr std::chrono::milliseconds DeliveryThread::kMaxRetry;

DeliveryThread::DeliveryThread(ClientDelegate* delegate, std::function<void(int)> settled)
    : m_delegate(delegate), m_durability(delegate, std::move(settled), [this] { durabilityIdle(); })
{}

DeliveryThread::~DeliveryThread()
{
    stop();
}

void DeliveryThread::start()
{
    if (m_thread.joinable())
        return;
    m_durability.start();
    m_thread = std::thread(&DeliveryThread::run, this);
}

bool DeliveryThread::post(const Message& message)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping)
            return false;
        m_queue.push_back(message);
    }
    m_wake.notify_one();
    return true;
}

void DeliveryThread::requestStop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_durability.hurry();
}

void DeliveryThread::stop()
{
    requestStop();
    if (m_thread.joinable())
        m_thread.join();
    // Only once the last run has been handed over.
    m_durability.finish();
}

void DeliveryThread::run()
{
    m_delegate->onDeliveryThreadStarted();
    QList<Message> batch;
    // Taken by the delegate, not yet handed to the durability thread.
    int taken = 0;
    for (;;) {
        bool caughtUp = false;
        bool durabilityBusy = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this, taken] {
                return m_stopping || !m_queue.empty() || (taken > 0 && !m_durabilityBusy);
            });
            if (m_stopping)
                break;
            const int count = int(std::min<size_t>(m_queue.size(), kMaxBatch));
            batch.reserve(count);
            for (int i = 0; i < count; ++i) {
                batch.append(std::move(m_queue.front()));
                m_queue.pop_front();
            }
        }
        if (!batch.isEmpty()) {
            if (!deliver(batch))
                break;
            taken += batch.size();
            batch.clear();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            caughtUp = m_queue.empty();
            durabilityBusy = m_durabilityBusy;
        }
        // Caught up: made durable as soon as the durability thread is free, because a broker
        // that lets only a few messages wait for their acknowledgements sends nothing more until
        // then. While it syncs, what is taken meanwhile gathers into the next run, so that one
        // sync covers it all, as many as arrive during a sync.
        if ((caughtUp && !durabilityBusy) || taken >= kMaxUndurable) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_durabilityBusy = true;
            }
            m_durability.post(taken, caughtUp);
            taken = 0;
        }
    }
    // What was taken is kept: acknowledged if the delegate can make it durable at once.
    m_durability.post(taken, false);
    m_delegate->onDeliveryThreadFinished();
}

void DeliveryThread::durabilityIdle()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_durabilityBusy = false;
    }
    m_wake.notify_one();
}

bool DeliveryThread::deliver(const QList<Message>& batch)
{
    auto wait = kFirstRetry;
    while (!m_delegate->onMessagesDelivered(batch)) {
        if (!pause(&wait))
            return false;
    }
    return true;
}

bool DeliveryThread::pause(std::chrono::milliseconds* wait)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_wake.wait_for(lock, *wait, [this] { return m_stopping; }))
        return false;
    *wait = std::min(*wait * 2, kMaxRetry);
    return true;
}

} // namespace QMQTT
