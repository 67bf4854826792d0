// The delivery thread on its own: what the network thread posts reaches the delegate in arrival
// order, on one thread that announced itself first; while the delegate is busy, what arrives
// meanwhile is handed over as batches of at most kMaxBatch, or message by message to a delegate
// that takes single messages only; stopping delivers what is still queued.
#include "messaging/mqttclientdelegate.h"
#include "messaging/mqttdeliverythread.h"

#include <QtTest>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

using QMQTT::DeliveryThread;
using QMQTT::Message;

namespace {

// Records every call; the first delivery waits until the test opens the gate, so that the test
// can queue messages behind it.
class Recorder : public QMQTT::ClientDelegate
{
public:
    explicit Recorder(bool takesBatches) : m_takesBatches(takesBatches) {}

    void onDeliveryThreadStarted() override { record(-1, {}); }
    void onMessageDelivered(const Message& message) override { record(0, {message}); }
    void onMessagesDelivered(const QList<Message>& messages) override
    {
        if (m_takesBatches)
            record(messages.size(), messages);
        else
            QMQTT::ClientDelegate::onMessagesDelivered(messages);
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
    bool waitForMessages(size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_delivered.size() >= count; });
    }

    // -1 for the start, then the size of each batch (single messages are not listed).
    std::vector<int> events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    std::vector<int> delivered() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_delivered;
    }
    // Every call came on one thread, and not on the test's.
    bool oneThread() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return !m_threads.empty() &&
               std::all_of(m_threads.begin(), m_threads.end(), [&](std::thread::id id) {
                   return id == m_threads.front() && id != std::this_thread::get_id();
               });
    }

private:
    void record(int event, const QList<Message>& messages)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!messages.isEmpty() && !m_held) {
            m_held = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_open; });
        }
        if (event)
            m_events.push_back(event);
        for (const Message& message : messages)
            m_delivered.push_back(message.payload().toInt());
        m_threads.push_back(std::this_thread::get_id());
        m_changed.notify_all();
    }

    const bool m_takesBatches;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_open = false;
    std::vector<int> m_events;
    std::vector<int> m_delivered;
    std::vector<std::thread::id> m_threads;
};

} // namespace

class TestDeliveryThread : public QObject
{
    Q_OBJECT
private slots:
    void deliversInOrder_data();
    void deliversInOrder();
};

void TestDeliveryThread::deliversInOrder_data()
{
    QTest::addColumn<bool>("takesBatches");
    QTest::addColumn<int>("queuedBehind");
    QTest::addColumn<std::vector<int>>("events");
    // Stopped while messages wait: they are delivered all the same, since the broker has their
    // acknowledgement and will not send them again.
    QTest::addColumn<bool>("stopAtOnce");
    QTest::newRow("batches: two full, the rest")
        << true << 600 << std::vector<int>{-1, 1, 256, 256, 88} << false;
    QTest::newRow("batches: exactly one full")
        << true << 256 << std::vector<int>{-1, 1, 256} << false;
    QTest::newRow("batches: a few") << true << 3 << std::vector<int>{-1, 1, 3} << false;
    QTest::newRow("single messages") << false << 600 << std::vector<int>{-1} << false;
    QTest::newRow("batches, stopped with messages queued")
        << true << 600 << std::vector<int>{-1, 1, 256, 256, 88} << true;
    QTest::newRow("single messages, stopped with messages queued")
        << false << 600 << std::vector<int>{-1} << true;
}

void TestDeliveryThread::deliversInOrder()
{
    QFETCH(bool, takesBatches);
    QFETCH(int, queuedBehind);
    QFETCH(std::vector<int>, events);
    QFETCH(bool, stopAtOnce);

    Recorder recorder(takesBatches);
    DeliveryThread thread(&recorder);
    thread.start();
    thread.post(Message(1, QStringLiteral("chat/1"), "0", 1));
    recorder.waitUntilHeld();
    for (int i = 1; i <= queuedBehind; ++i)
        thread.post(Message(quint16(i + 1), QStringLiteral("chat/1"), QByteArray::number(i), 1));
    recorder.open();
    if (!stopAtOnce)
        QVERIFY(recorder.waitForMessages(size_t(queuedBehind + 1)));
    thread.stop();

    QCOMPARE(recorder.events(), events);
    std::vector<int> expected(size_t(queuedBehind + 1));
    std::iota(expected.begin(), expected.end(), 0);
    QCOMPARE(recorder.delivered(), expected);
    QVERIFY(recorder.oneThread());
}

QTEST_GUILESS_MAIN(TestDeliveryThread)
#include "tst_deliverythread.moc"
