#pragma once

#include <QObject>

#include <mutex>

class MqttManager;

// Tells the GUI thread when the messaging session has queued items, instead of a timer polling
// the queue. The session calls it on the queuing thread; once armed, the first such call posts
// itemsQueued() to the GUI thread and disarms, until the GUI thread, having found the queue
// empty again, calls rearm(). An item queued between the last take and rearm() is not lost:
// rearm() finds it and posts at once.
//
// Must be stopped (or destroyed) before the messaging session it watches goes away.
class MtQueueWaker : public QObject
{
    Q_OBJECT
public:
    explicit MtQueueWaker(MqttManager* source, QObject* parent = nullptr);
    ~MtQueueWaker() override;

    void rearm();
    // Stops listening; returns at once, a call of the session in progress having ended.
    void stop();

signals:
    void itemsQueued();

private:
    void queued();

    MqttManager* const m_source;
    std::mutex m_mutex;
    bool m_armed = true;
    bool m_stop = false;
};
