// The delivery thread on its own: what the network thread posts reaches the delegate in arrival
// order, on one thread that announced itself first; while the delegate is busy, what arrives
// meanwhile is handed over as batches of at most kMaxBatch, or message by message to a delegate
// that takes single messages only; a batch the delegate refuses is offered again, alone, until it
// is taken; only what was taken counts as settled; stopping drops what was not delivered yet.
#include "deliveryrecorder.h"
#include "messaging/mqttdeliverythread.h"

#include <QtTest>

#include <atomic>

using QMQTT::Message;

namespace {
const int kRefusedOne = DeliveryRecorder::kRefused - 1;
}

class TestDeliveryThread : public QObject
{
    Q_OBJECT
private slots:
    void deliversInOrder_data()
    {
        QTest::addColumn<bool>("takesBatches");
        QTest::addColumn<int>("refused");
        QTest::addColumn<int>("queuedBehind");
        QTest::addColumn<std::vector<int>>("events");
        QTest::addColumn<int>("delivered");
        std::vector<int> singles(603, 0);
        singles.front() = DeliveryRecorder::kStart;
        singles.back() = DeliveryRecorder::kFinish;
        QTest::newRow("two full batches, the rest")
            << true << 0 << 600 << std::vector<int>{-1, 1, 256, 256, 88, -2} << 601;
        QTest::newRow("exactly one full batch")
            << true << 0 << 256 << std::vector<int>{-1, 1, 256, -2} << 257;
        QTest::newRow("single messages") << false << 0 << 600 << singles << 601;
        // The store cannot write twice: the same first message again, nothing overtakes it.
        QTest::newRow("first batch refused twice")
            << true << 2 << 600
            << std::vector<int>{-1, kRefusedOne, kRefusedOne, 1, 256, 256, 88, -2} << 601;
    }

    void deliversInOrder()
    {
        QFETCH(bool, takesBatches);
        QFETCH(int, refused);
        QFETCH(int, queuedBehind);
        QFETCH(int, delivered);
        DeliveryRecorder recorder(takesBatches, true);
        recorder.refuseBatches(refused);
        std::atomic<int> settled{0};
        QMQTT::DeliveryThread thread(&recorder, [&settled](int count) { settled += count; });
        thread.start();
        const QList<QByteArray> sent = post(thread, recorder, queuedBehind);
        recorder.open();
        QTRY_COMPARE(recorder.messages().size(), delivered);
        thread.stop();

        QTEST(recorder.events(), "events");
        QCOMPARE(recorder.payloads(), sent.mid(0, delivered));
        QCOMPARE(settled.load(), delivered);
        QVERIFY(recorder.oneThread());
    }

    // Stopped while the first delivery runs: it ends, the queued rest is never delivered nor
    // settled (so never acknowledged: the broker sends it again), and nothing is taken after.
    void stoppedWhileDelivering()
    {
        DeliveryRecorder recorder(true, true);
        std::atomic<int> settled{0};
        QMQTT::DeliveryThread thread(&recorder, [&settled](int count) { settled += count; });
        thread.start();
        const QList<QByteArray> sent = post(thread, recorder, 600);
        thread.requestStop();
        recorder.open();
        thread.stop();

        QCOMPARE(recorder.events(), (std::vector<int>{-1, 1, -2}));
        QCOMPARE(recorder.payloads(), sent.mid(0, 1));
        QCOMPARE(settled.load(), 1);
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
