#include "messaging/mqttdurabilitythread.h"

#include "messaging/mqttclientdelegate.h"

#include <algorithm>

namespace QMQTT {

constexpr std::chrono::milliseconds DurabilityThread::kFirstRetry;
constexpr std::chrono::milliseconds DurabilityThread::kMaxRetry;

DurabilityThread::DurabilityThread(ClientDelegate* delegate, std::function<void(int)> settled,
                                   std::function<void()> idle)
    : m_delegate(delegate), m_settled(std::move(settled)), m_idle(std::move(idle))
{}

DurabilityThread::~DurabilityThread()
{
    hurry();
    finish();
}

void DurabilityThread::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread(&DurabilityThread::run, this);
}

void DurabilityThread::post(int count, bool caughtUp)
{
    if (count <= 0)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_runs.push_back({count, caughtUp});
    }
    m_wake.notify_one();
}

void DurabilityThread::hurry()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hurried = true;
    }
    m_wake.notify_one();
}

void DurabilityThread::finish()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void DurabilityThread::run()
{
    m_delegate->onDurabilityThreadStarted();
    auto wait = kFirstRetry;
    for (;;) {
        Run next;
        bool last = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            // Hurried, the runs wait for the last of them: one attempt then covers them all.
            m_wake.wait(lock, [this] { return m_finishing || (!m_hurried && !m_runs.empty()); });
            if (m_runs.empty())
                break;
            last = m_finishing;
            next = m_runs.front();
            if (last) {
                for (size_t i = 1; i < m_runs.size(); ++i)
                    next.count += m_runs[i].count;
                m_runs.clear();
            }
        }
        // One sync covers every commit made before it began: all of this run and those before.
        const bool durable = m_delegate->onMessagesDurable();
        if (last) {
            if (durable && m_settled)
                m_settled(next.count);
            break;
        }
        if (!durable) {
            pause(&wait);
            continue;
        }
        wait = kFirstRetry;
        bool idle = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_runs.pop_front();
            idle = m_runs.empty();
        }
        if (m_settled)
            m_settled(next.count);
        m_delegate->onMessagesSettled(next.caughtUp);
        if (idle && m_idle)
            m_idle();
    }
    m_delegate->onDurabilityThreadFinished();
}

bool DurabilityThread::pause(std::chrono::milliseconds* wait)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_wake.wait_for(lock, *wait, [this] { return m_hurried || m_finishing; }))
        return false;
    *wait = std::min(*wait * 2, kMaxRetry);
    return true;
}

} // namespace QMQTT
