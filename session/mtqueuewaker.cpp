#include "session/mtqueuewaker.h"

#include "messaging/mqttmanager.h"

MtQueueWaker::MtQueueWaker(MqttManager* source, QObject* parent) : QObject(parent), m_source(source)
{
    m_thread = std::thread([this] { run(); });
}

MtQueueWaker::~MtQueueWaker()
{
    stop();
}

void MtQueueWaker::rearm()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_armed = true;
    }
    m_wake.notify_one();
}

void MtQueueWaker::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void MtQueueWaker::run()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_armed; });
            if (m_stop)
                return;
        }
        if (!m_source->waitForMessageItem(kWaitSliceMs))
            continue;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                return;
            m_armed = false;
        }
        emit itemsQueued();
    }
}
