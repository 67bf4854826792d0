#include "store/unreadcounts.h"

#include <QThread>
#include <QtTest>

#include <limits>

// The process-wide unread counts: the get/set/add rules, and the GUI thread and the messaging
// thread working on the table at once (also run under ThreadSanitizer).
class TestUnreadCounts : public QObject
{
    Q_OBJECT

private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<int>("stored"); // -1: no entry
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("added"); // result of add
        QTest::addColumn<int>("after"); // get afterwards

        QTest::newRow("add to no entry") << "chat/1" << -1 << 1 << 1 << 1;
        QTest::newRow("add to a count") << "chat/1" << 4 << 2 << 6 << 6;
        QTest::newRow("lower a count") << "chat/1" << 4 << -3 << 1 << 1;
        QTest::newRow("delta larger than the count stores 0") << "chat/1" << 2 << -5 << 0 << 0;
        QTest::newRow("lower no entry") << "chat/1" << -1 << -1 << 0 << 0;
        QTest::newRow("a stored negative count reads as 0") << "chat/1" << -7 << 0 << 0 << 0;
        QTest::newRow("overflow stops at the largest count")
            << "chat/1" << std::numeric_limits<int>::max() << 5 << std::numeric_limits<int>::max()
            << std::numeric_limits<int>::max();
        QTest::newRow("empty topic stores nothing") << "" << 3 << 2 << 0 << 0;
    }

    void rules()
    {
        QFETCH(QString, topic);
        QFETCH(int, stored);
        QFETCH(int, delta);
        QFETCH(int, added);
        QFETCH(int, after);

        UnreadCounts counts;
        if (stored != -1)
            counts.set(topic, stored);
        QCOMPARE(counts.add(topic, delta), added);
        QCOMPARE(counts.get(topic), after);
        QCOMPARE(QStringList(counts.entries().keys()),
                 topic.isEmpty() ? QStringList() : QStringList{topic});
    }

    void twoThreads()
    {
        // The messaging thread raises counts one chat at a time while the GUI thread reads, sets
        // rooms it shows to 0 and lowers others: no increment may be lost between a read and a
        // store of the other thread.
        constexpr int kChats = 20000;
        UnreadCounts& counts = unreadCounts();
        counts.clear();
        QThread* messaging = QThread::create([&] {
            for (int i = 0; i < kChats; ++i) {
                counts.add("chat/1", 1);
                counts.add(QStringLiteral("chat/%1").arg(2 + i % 5), 1);
            }
        });
        messaging->start();
        int lowered = 0;
        for (int i = 0; i < kChats; ++i) {
            if (counts.get("chat/1") > 0) {
                counts.add("chat/1", -1);
                ++lowered;
            }
            counts.set(QStringLiteral("chat/%1").arg(2 + i % 5), 0);
            counts.entries();
        }
        QVERIFY(messaging->wait(60000));
        delete messaging;
        QCOMPARE(counts.get("chat/1"), kChats - lowered);
        counts.clear();
    }
};

QTEST_GUILESS_MAIN(TestUnreadCounts)
#include "tst_unreadcounts.moc"
