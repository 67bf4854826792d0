#pragma once

#include "messaging/mqttclientdelegate.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Records every delegate call and its thread; takes batches or singles; may hold the first.
class DeliveryRecorder : public QMQTT::ClientDelegate
{
public:
    explicit DeliveryRecorder(bool takesBatches = false, bool holdFirst = false)
        : m_takesBatches(takesBatches), m_held(!holdFirst), m_open(!holdFirst)
    {}

    void onDeliveryThreadStarted() override { record(kStart, {}); }
    void onMessageDelivered(const QMQTT::Message& message) override { record(0, {message}); }
    bool onMessagesDelivered(const QList<QMQTT::Message>& messages) override
    {
        if (spend(m_refuse)) {
            record(kRefused - messages.size(), {});
            return false;
        }
        if (!m_takesBatches)
            return QMQTT::ClientDelegate::onMessagesDelivered(messages);
        record(messages.size(), messages);
        return true;
    }
    bool onMessagesDurable() override
    {
        const bool refused = spend(m_refuseDurable);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_durable.push_back(!refused);
        return !refused;
    }
    void onDeliveryThreadFinished() override { record(kFinish, {}); }
    // The counts the thread reports settled, in order.
    std::function<void(int)> settler()
    {
        return [this](int count) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_settled.push_back(count);
        };
    }

    static constexpr int kStart = -1;
    static constexpr int kFinish = -2;
    static constexpr int kRefused = -1000;
    // Calls in order: kStart, 0 per single, a batch's size, kRefused minus a refused size, kFinish.
    std::vector<int> events() const { return locked(m_events); }
    std::vector<bool> durable() const { return locked(m_durable); }
    std::vector<int> settled() const { return locked(m_settled); }
    // A deep copy: Qt's containers grow in a library the thread sanitizer does not see.
    QList<QMQTT::Message> messages() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return QList<QMQTT::Message>(m_messages.begin(), m_messages.end());
    }
    QList<QByteArray> payloads() const
    {
        QList<QByteArray> out;
        for (const QMQTT::Message& m : messages())
            out << m.payload();
        return out;
    }
    // Every call came on one thread, and not on the test's.
    bool oneThread() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (std::thread::id t : m_threads) {
            if (t != m_threads.front() || t == std::this_thread::get_id())
                return false;
        }
        return !m_threads.empty();
    }

    void refuseBatches(int count)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_refuse = count;
    }
    // -1: every one.
    void refuseDurable(int count)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_refuseDurable = count;
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

private:
    // A copy taken under the lock.
    template <typename T>
    T locked(const T& value) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return value;
    }
    // Whether a refusal is left (-1: one for every call), spending it.
    bool spend(int& refusals)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (refusals == 0)
            return false;
        if (refusals > 0)
            --refusals;
        return true;
    }

    void record(int event, const QList<QMQTT::Message>& messages)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!messages.isEmpty() && !m_held) {
            m_held = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_open; });
        }
        m_events.push_back(event);
        m_messages.insert(m_messages.end(), messages.begin(), messages.end());
        m_threads.push_back(std::this_thread::get_id());
    }

    const bool m_takesBatches;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held, m_open;
    int m_refuse = 0;
    int m_refuseDurable = 0;
    std::vector<bool> m_durable;
    std::vector<int> m_events, m_settled;
    std::vector<QMQTT::Message> m_messages;
    std::vector<std::thread::id> m_threads;
};
