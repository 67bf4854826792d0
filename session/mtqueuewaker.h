#pragma once

#include <QObject>

#include <condition_variable>
#include <mutex>
#include <thread>

class MqttManager;

// Tells the GUI thread when the messaging session has queued items, instead of a timer polling
// the queue. A thread of its own blocks on the queue; once it has something it emits
// itemsQueued() (received queued on the GUI thread) and sleeps until the GUI thread, having
// found the queue empty again, calls rearm(). An item queued between the last take and rearm()
// is not lost: the next wait returns at once.
//
// Must be stopped (or destroyed) before the messaging session it watches goes away.
class MtQueueWaker : public QObject
{
    Q_OBJECT
public:
    explicit MtQueueWaker(MqttManager* source, QObject* parent = nullptr);
    ~MtQueueWaker() override;

    void rearm();
    // Ends the thread; returns once it has ended.
    void stop();

signals:
    void itemsQueued();

private:
    void run();

    // Bounds how long stop() waits for the thread, which cannot be woken inside the queue's wait.
    static constexpr int kWaitSliceMs = 250;

    MqttManager* const m_source;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_armed = true;
    bool m_stop = false;
    std::thread m_thread;
};
