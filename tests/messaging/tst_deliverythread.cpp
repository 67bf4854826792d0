// The delivery thread alone: order, batches, refusals, and settling only what was made durable.
#include "deliveryrecorder.h"
#include "messaging/mqttdeliverythread.h"

#include <QtTest>

#include <vector>

using QMQTT::Message;

class TestDeliveryThread : public QObject
{
    Q_OBJECT
private slots:
    // The disk cannot sync once: nothing is settled until it can, and nothing is taken again.
    void deliversInOrder()
    {
        // Behind a held first message: two full batches pass kMaxUndurable before the rest.
        constexpr int B = QMQTT::DeliveryThread::kMaxBatch;
        constexpr int kRest = 176;
        static_assert(1 + B < QMQTT::DeliveryThread::kMaxUndurable &&
                          QMQTT::DeliveryThread::kMaxUndurable <= 1 + 2 * B,
                      "the second full batch is expected to reach kMaxUndurable");
        DeliveryRecorder recorder(true, true);
        recorder.refuseDurable(1);
        QMQTT::DeliveryThread thread(&recorder, recorder.settler());
        thread.start();
        const QList<QByteArray> sent = post(thread, recorder, 2 * B + kRest);
        recorder.open();
        // Once the thread has caught up it makes the rest durable without being stopped.
        QTRY_COMPARE(recorder.settled(), (std::vector<int>{1 + 2 * B, kRest}));
        thread.stop();

        QCOMPARE(recorder.events(), (std::vector<int>{-1, 1, B, B, kRest, -2}));
        QCOMPARE(recorder.payloads(), sent);
        QCOMPARE(recorder.durable(), (std::vector<bool>{false, true, true}));
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
        QMQTT::DeliveryThread thread(&recorder, recorder.settler());
        thread.start();
        const QList<QByteArray> sent = post(thread, recorder, 600);
        thread.requestStop();
        recorder.open();
        thread.stop();

        QCOMPARE(recorder.events(), (std::vector<int>{-1, 1, -2}));
        QCOMPARE(recorder.payloads(), sent.mid(0, 1));
        QTEST(recorder.settled(), "settled");
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
