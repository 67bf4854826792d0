#include "store/unreadcounts.h"

#include <QThread>
#include <QtTest>

#include <limits>

namespace {
// The GUI thread's read of a room: one less when there is any; 1 when it lowered.
int lowerOneIfAny(UnreadCounts& counts, const QString& topic)
{
    if (counts.get(topic) <= 0)
        return 0;
    counts.add(topic, -1);
    return 1;
}
} // namespace

// The process-wide unread counts: the get/set/add rules, and the GUI thread and the messaging
// thread working on the table at once (also run under ThreadSanitizer).
class TestUnreadCounts : public QObject
{
    Q_OBJECT

private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QList<int>>("stored"); // set before, in order (none: no entry)
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("added"); // result of add
        QTest::addColumn<int>("after"); // get afterwards
        QTest::addColumn<QStringList>("entries");

        const int most = std::numeric_limits<int>::max();
        const QStringList one{"chat/1"};
        QTest::newRow("add to no entry") << "chat/1" << QList<int>{} << 1 << 1 << 1 << one;
        QTest::newRow("add to a count") << "chat/1" << QList<int>{4} << 2 << 6 << 6 << one;
        QTest::newRow("lower a count") << "chat/1" << QList<int>{4} << -3 << 1 << 1 << one;
        QTest::newRow("delta larger than the count stores 0")
            << "chat/1" << QList<int>{2} << -5 << 0 << 0 << one;
        QTest::newRow("lower no entry") << "chat/1" << QList<int>{} << -1 << 0 << 0 << one;
        QTest::newRow("a stored negative count reads as 0")
            << "chat/1" << QList<int>{-7} << 0 << 0 << 0 << one;
        QTest::newRow("overflow stops at the largest count")
            << "chat/1" << QList<int>{most} << 5 << most << most << one;
        QTest::newRow("empty topic stores nothing")
            << "" << QList<int>{3} << 2 << 0 << 0 << QStringList();
    }

    void rules()
    {
        QFETCH(QString, topic);
        QFETCH(QList<int>, stored);
        QFETCH(int, delta);
        QFETCH(int, added);
        QFETCH(int, after);
        QFETCH(QStringList, entries);

        UnreadCounts counts;
        for (int count : stored)
            counts.set(topic, count);
        QCOMPARE(counts.add(topic, delta), added);
        QCOMPARE(counts.get(topic), after);
        QCOMPARE(QStringList(counts.entries().keys()), entries);
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
            lowered += lowerOneIfAny(counts, "chat/1");
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
