#include "messaging/mqttdeliverythread.h"

#include "messaging/mqttclientdelegate.h"

#include <algorithm>

namespace QMQTT {

DeliveryThread::DeliveryThread(ClientDelegate* delegate) : m_delegate(delegate) {}

DeliveryThread::~DeliveryThread()
{
    stop();
}

void DeliveryThread::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread(&DeliveryThread::run, this);
}

void DeliveryThread::post(const Message& message)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping)
            return;
        m_queue.push_back(message);
    }
    m_wake.notify_one();
}

void DeliveryThread::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void DeliveryThread::run()
{
    m_delegate->onDeliveryThreadStarted();
    QList<Message> batch;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            // What is queued has been acknowledged to the broker, which will not send it again:
            // it is delivered before the thread ends.
            if (m_queue.empty())
                break;
            const int count = int(std::min<size_t>(m_queue.size(), kMaxBatch));
            batch.reserve(count);
            for (int i = 0; i < count; ++i) {
                batch.append(std::move(m_queue.front()));
                m_queue.pop_front();
            }
        }
        m_delegate->onMessagesDelivered(batch);
        batch.clear();
    }
    m_delegate->onDeliveryThreadFinished();
}

} // namespace QMQTT
