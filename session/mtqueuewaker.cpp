#include "session/mtqueuewaker.h"

#include "messaging/mqttmanager.h"

MtQueueWaker::MtQueueWaker(MqttManager* source, QObject* parent) : QObject(parent), m_source(source)
{
    m_source->setItemsQueuedHandler([this] { queued(); });
    // Items queued before the handler was set.
    if (m_source->waitForMessageItem(0))
        queued();
}

MtQueueWaker::~MtQueueWaker()
{
    stop();
}

void MtQueueWaker::rearm()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop)
            return;
        m_armed = true;
    }
    if (m_source->waitForMessageItem(0))
        queued();
}

void MtQueueWaker::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop)
            return;
        m_stop = true;
    }
    m_source->setItemsQueuedHandler(nullptr);
}

void MtQueueWaker::queued()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop || !m_armed)
            return;
        m_armed = false;
    }
    // Posted to this object: dropped if it is gone before the GUI thread gets to it.
    QMetaObject::invokeMethod(
        this, [this] { emit itemsQueued(); }, Qt::QueuedConnection);
}
