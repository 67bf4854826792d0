// The delivery thread alone: order, batches, refusals, and settling only what was made durable.
#include "deliveryrecorder.h"
#include "messaging/mqttdeliverythread.h"

#include <QtTest>

#include <atomic>
#include <functional>
#include <mutex>
#include <numeric>
#include <vector>

using QMQTT::Message;

namespace {
const int kRefusedOne = DeliveryRecorder::kRefused - 1;

// The counts the thread reports settled, in order; filled on the delivery thread.
class Settlements
{
public:
    std::function<void(int)> callback()
    {
        return [this](int count) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_counts.push_back(count);
        };
    }
    std::vector<int> counts() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_counts;
    }
    int total() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::accumulate(m_counts.begin(), m_counts.end(), 0);
    }

private:
    mutable std::mutex m_mutex;
    std::vector<int> m_counts;
};
// Delegate kind, refusals, messages behind the held first; what delegate and settlements see.
struct Delivery
{
    bool takesBatches;
    int refused, durableRefused, queuedBehind;
    std::vector<int> events, settled;
    std::vector<bool> durable;
};
} // namespace

Q_DECLARE_METATYPE(Delivery)

class TestDeliveryThread : public QObject
{
    Q_OBJECT
private slots:
    void deliversInOrder_data()
    {
        QTest::addColumn<Delivery>("row");
        // Behind a held first message: two full batches pass kMaxUndurable before the rest.
        constexpr int B = QMQTT::DeliveryThread::kMaxBatch;
        constexpr int kRest = 176;
        constexpr int kBehind = 2 * B + kRest;
        static_assert(1 + B < QMQTT::DeliveryThread::kMaxUndurable &&
                          QMQTT::DeliveryThread::kMaxUndurable <= 1 + 2 * B,
                      "the rows expect the second full batch to reach kMaxUndurable");
        const std::vector<int> burst{-1, 1, B, B, kRest, -2};
        const std::vector<int> runs{1 + 2 * B, kRest};
        QTest::newRow("two full batches, the rest")
            << Delivery{true, 0, 0, kBehind, burst, runs, {true, true}};
        // The store cannot write twice: the same first message again, nothing overtakes it.
        QTest::newRow("first batch refused twice") << Delivery{
            true, 2,           0, kBehind, {-1, kRefusedOne, kRefusedOne, 1, B, B, kRest, -2},
            runs, {true, true}};
        // The disk cannot sync once: nothing is settled until it can, and nothing is taken again.
        QTest::newRow("made durable on the second request")
            << Delivery{true, 0, 1, kBehind, burst, runs, {false, true, true}};
    }

    void deliversInOrder()
    {
        QFETCH(Delivery, row);
        DeliveryRecorder recorder(row.takesBatches, true);
        recorder.refuseBatches(row.refused);
        recorder.refuseDurable(row.durableRefused);
        Settlements settled;
        QMQTT::DeliveryThread thread(&recorder, settled.callback());
        thread.start();
        const QList<QByteArray> sent = post(thread, recorder, row.queuedBehind);
        recorder.open();
        QTRY_COMPARE(recorder.messages().size(), sent.size());
        // Once the thread has caught up it makes the rest durable without being stopped.
        QTRY_COMPARE(settled.total(), sent.size());
        thread.stop();

        QCOMPARE(recorder.events(), row.events);
        QCOMPARE(recorder.payloads(), sent);
        QCOMPARE(settled.counts(), row.settled);
        QCOMPARE(recorder.durable(), row.durable);
        QVERIFY(recorder.oneThread());
    }

    // Stopped mid-delivery: the queued rest is never settled; the taken one only if durable now.
    void stoppedWhileDelivering_data()
    {
        QTest::addColumn<int>("durableRefused");
        QTest::addColumn<std::vector<int>>("settled");
        QTest::addColumn<std::vector<bool>>("durable");
        QTest::newRow("made durable") << 0 << std::vector<int>{1} << std::vector<bool>{true};
        QTest::newRow("the disk does not sync")
            << -1 << std::vector<int>{} << std::vector<bool>{false};
    }

    void stoppedWhileDelivering()
    {
        QFETCH(int, durableRefused);
        DeliveryRecorder recorder(true, true);
        recorder.refuseDurable(durableRefused);
        Settlements settled;
        QMQTT::DeliveryThread thread(&recorder, settled.callback());
        thread.start();
        const QList<QByteArray> sent = post(thread, recorder, 600);
        thread.requestStop();
        recorder.open();
        thread.stop();

        QCOMPARE(recorder.events(), (std::vector<int>{-1, 1, -2}));
        QCOMPARE(recorder.payloads(), sent.mid(0, 1));
        QTEST(settled.counts(), "settled");
        QTEST(recorder.durable(), "durable");
        QVERIFY(!thread.post(Message(1, QStringLiteral("chat/1"), "after the stop", 1)));
    }

private:
    // One message, held by the recorder's first delivery, then `behind` more queued behind it.
    static QList<QByteArray> post(QMQTT::DeliveryThread& thread, DeliveryRecorder& recorder,
                                  int behind)
    {
        QList<QByteArray> sent{"0"};
        thread.post(Message(1, QStringLiteral("chat/1"), sent.first(), 1));
        recorder.waitUntilHeld();
        for (int i = 1; i <= behind; ++i) {
            sent << QByteArray::number(i);
            thread.post(Message(quint16(i + 1), QStringLiteral("chat/1"), sent.last(), 1));
        }
        return sent;
    }
};

QTEST_GUILESS_MAIN(TestDeliveryThread)
#include "tst_deliverythread.moc"
