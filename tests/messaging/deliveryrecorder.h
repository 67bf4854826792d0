#pragma once

#include "messaging/mqttclientdelegate.h"

#include <QList>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// A delivery delegate that records every call and the thread it came on. On request it takes
// batches (otherwise the base class hands them over one by one), holds its first delivery until
// open() so that a test can queue messages behind it, or works slowly.
class DeliveryRecorder : public QMQTT::ClientDelegate
{
public:
    struct Call
    {
        bool start;
        std::thread::id thread;
        QMQTT::Message message;
    };

    explicit DeliveryRecorder(bool takesBatches = false, bool holdFirst = false)
        : m_takesBatches(takesBatches), m_held(!holdFirst), m_open(!holdFirst)
    {}

    void onDeliveryThreadStarted() override { record(-1, {}); }
    void onMessageDelivered(const QMQTT::Message& message) override { record(0, {message}); }
    void onMessagesDelivered(const QList<QMQTT::Message>& messages) override
    {
        if (m_takesBatches)
            record(messages.size(), messages);
        else
            QMQTT::ClientDelegate::onMessagesDelivered(messages);
    }
    void onDeliveryThreadFinished() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finishedOn = std::this_thread::get_id();
        m_late = m_late || m_closed;
    }

    // A deep copy: the delivery thread keeps appending.
    std::vector<Call> calls() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    // The payloads delivered (on one topic, when given), in order.
    QList<QByteArray> payloads(const QString& topic = QString()) const
    {
        QList<QByteArray> out;
        for (const Call& c : calls()) {
            if (!c.start && (topic.isEmpty() || c.message.topic() == topic))
                out << c.message.payload();
        }
        return out;
    }
    int messageCount() const { return payloads().size(); }
    // -1 for the start, then the size of each batch (single messages are not listed).
    std::vector<int> events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    // Every call came on one thread, and not on the test's.
    bool oneThread() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Call& c : m_calls) {
            if (c.thread != m_calls.front().thread || c.thread == std::this_thread::get_id())
                return false;
        }
        return !m_calls.empty();
    }
    std::thread::id finishedOn() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_finishedOn;
    }

    void waitUntilHeld()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_held; });
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    bool waitForMessages(int count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return int(m_calls.size()) > count; });
    }
    // From now on every call is a call after the client's end.
    void close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }
    bool calledLate() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_late;
    }

    bool slow = false;

private:
    void record(int event, const QList<QMQTT::Message>& messages)
    {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!messages.isEmpty() && !m_held) {
                m_held = true;
                m_changed.notify_all();
                m_changed.wait(lock, [this] { return m_open; });
            }
            if (event)
                m_events.push_back(event);
            if (messages.isEmpty())
                m_calls.push_back({true, std::this_thread::get_id(), QMQTT::Message()});
            for (const QMQTT::Message& message : messages)
                m_calls.push_back({false, std::this_thread::get_id(), message});
            m_late = m_late || m_closed;
            m_changed.notify_all();
        }
        if (slow)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    const bool m_takesBatches;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held;
    bool m_open;
    bool m_closed = false;
    bool m_late = false;
    std::vector<Call> m_calls;
    std::vector<int> m_events;
    std::thread::id m_finishedOn;
};
