// What arrives while the disk has not yet synced what came before reaches the delegate at once
// (the window shows a committed chat without waiting for the sync), and none of it is settled,
// so none of it is acknowledged, until the delegate has made it durable.
#include "deliveryrecorder.h"
#include "messaging/mqttdeliverythread.h"

#include <QtTest>

#include <atomic>

using QMQTT::Message;

class TestDisplayBeforeSync : public QObject
{
    Q_OBJECT
private slots:
    void deliveredWhileNotDurable()
    {
        DeliveryRecorder recorder(true);
        recorder.refuseDurable(-1);
        std::atomic<int> settled{0};
        QMQTT::DeliveryThread thread(&recorder, [&settled](int count) { settled += count; });
        thread.start();
        thread.post(Message(1, QStringLiteral("chat/1"), "first", 1));
        // The first run is being made durable, and the disk refuses.
        QTRY_VERIFY(!recorder.durable().empty());
        thread.post(Message(2, QStringLiteral("chat/1"), "second", 1));
        QTRY_COMPARE(recorder.payloads(), (QList<QByteArray>{"first", "second"}));
        QCOMPARE(settled.load(), 0);

        recorder.refuseDurable(0);
        QTRY_COMPARE(settled.load(), 2);
        thread.stop();
    }
};

QTEST_GUILESS_MAIN(TestDisplayBeforeSync)
#include "tst_displaybeforesync.moc"
