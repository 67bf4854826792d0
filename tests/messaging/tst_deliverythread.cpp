// The delivery thread on its own: what the network thread posts reaches the delegate in arrival
// order, on one thread that announced itself first; while the delegate is busy, what arrives
// meanwhile is handed over as batches of at most kMaxBatch, or message by message to a delegate
// that takes single messages only; stopping delivers what is still queued.
#include "deliveryrecorder.h"
#include "messaging/mqttdeliverythread.h"

#include <QtTest>

using QMQTT::Message;

class TestDeliveryThread : public QObject
{
    Q_OBJECT
private slots:
    void deliversInOrder_data();
    void deliversInOrder();
};

void TestDeliveryThread::deliversInOrder_data()
{
    // Batches taken by a delegate that can (at most kMaxBatch), or message by message; stopped
    // while messages wait, they are delivered all the same, since the broker has their
    // acknowledgement and will not send them again.
    QTest::addColumn<bool>("takesBatches");
    QTest::addColumn<int>("queuedBehind");
    QTest::addColumn<bool>("stopAtOnce");
    QTest::addColumn<std::vector<int>>("events");
    std::vector<int> singles(603, 0);
    singles.front() = DeliveryRecorder::kStart;
    singles.back() = DeliveryRecorder::kFinish;
    QTest::newRow("two full batches, the rest")
        << true << 600 << false << std::vector<int>{-1, 1, 256, 256, 88, -2};
    QTest::newRow("exactly one full batch")
        << true << 256 << false << std::vector<int>{-1, 1, 256, -2};
    QTest::newRow("stopped with batches queued")
        << true << 600 << true << std::vector<int>{-1, 1, 256, 256, 88, -2};
    QTest::newRow("single messages") << false << 600 << false << singles;
}

void TestDeliveryThread::deliversInOrder()
{
    QFETCH(bool, takesBatches);
    QFETCH(int, queuedBehind);
    QFETCH(bool, stopAtOnce);
    DeliveryRecorder recorder(takesBatches, true);
    QMQTT::DeliveryThread thread(&recorder);
    thread.start();
    QList<QByteArray> sent;
    for (int i = 0; i <= queuedBehind; ++i) {
        sent << QByteArray::number(i);
        thread.post(Message(quint16(i + 1), QStringLiteral("chat/1"), sent.last(), 1));
        if (i == 0)
            recorder.waitUntilHeld();
    }
    recorder.open();
    if (!stopAtOnce)
        QTRY_COMPARE(recorder.messages().size(), sent.size());
    thread.stop();

    QTEST(recorder.events(), "events");
    QCOMPARE(recorder.payloads(), sent);
    QVERIFY(recorder.oneThread());
}

QTEST_GUILESS_MAIN(TestDeliveryThread)
#include "tst_deliverythread.moc"
