#include "messaging/mqttdeliverythread.h"

#include "messaging/mqttclientdelegate.h"

#include <algorithm>

namespace QMQTT {

constexpr std::chrono::milliseconds DeliveryThread::kFirstRetry;
constexpr std::chrono::milliseconds DeliveryThread::kMaxRetry;

DeliveryThread::DeliveryThread(ClientDelegate* delegate, std::function<void(int)> settled)
    : m_delegate(delegate), m_settled(std::move(settled))
{}

DeliveryThread::~DeliveryThread()
{
    stop();
}

void DeliveryThread::start()
{
    if (!m_thread.joinable())
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
}

void DeliveryThread::stop()
{
    requestStop();
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
            if (m_stopping)
                break;
            const int count = int(std::min<size_t>(m_queue.size(), kMaxBatch));
            batch.reserve(count);
            for (int i = 0; i < count; ++i) {
                batch.append(std::move(m_queue.front()));
                m_queue.pop_front();
            }
        }
        if (!deliver(batch))
            break;
        batch.clear();
    }
    m_delegate->onDeliveryThreadFinished();
}

bool DeliveryThread::deliver(const QList<Message>& batch)
{
    auto pause = kFirstRetry;
    while (!m_delegate->onMessagesDelivered(batch)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, pause, [this] { return m_stopping; }))
            return false;
        pause = std::min(pause * 2, kMaxRetry);
    }
    if (m_settled)
        m_settled(batch.size());
    return true;
}

} // namespace QMQTT
