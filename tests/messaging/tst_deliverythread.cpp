// The delivery thread on its own: what the network thread posts reaches the delegate in arrival
// order, on one thread that announced itself first; while the delegate is busy, what arrives
// meanwhile is handed over as batches of at most kMaxBatch, or message by message to a delegate
// that takes single messages only; stopping delivers what is still queued.
#include "deliveryrecorder.h"
#include "messaging/mqttdeliverythread.h"

#include <QtTest>

#include <vector>

using QMQTT::DeliveryThread;
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

    DeliveryRecorder recorder(takesBatches, true);
    DeliveryThread thread(&recorder);
    thread.start();
    thread.post(Message(1, QStringLiteral("chat/1"), "0", 1));
    recorder.waitUntilHeld();
    for (int i = 1; i <= queuedBehind; ++i)
        thread.post(Message(quint16(i + 1), QStringLiteral("chat/1"), QByteArray::number(i), 1));
    recorder.open();
    if (!stopAtOnce)
        QVERIFY(recorder.waitForMessages(queuedBehind + 1));
    thread.stop();

    QCOMPARE(recorder.events(), events);
    QList<QByteArray> expected;
    for (int i = 0; i <= queuedBehind; ++i)
        expected << QByteArray::number(i);
    QCOMPARE(recorder.payloads(), expected);
    QVERIFY(recorder.oneThread());
}

QTEST_GUILESS_MAIN(TestDeliveryThread)
#include "tst_deliverythread.moc"
