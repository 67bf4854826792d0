#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"
#include "store/unreadcounts.h"
#include "storefixture.h"

#include <QtTest>

namespace {
const QString kTopic = "chat/1";
constexpr qint64 kOwn = 1;

// A message and its number of readers.
struct ReadCount
{
    QString msgId;
    int count = 0;
    bool operator==(const ReadCount& o) const { return msgId == o.msgId && count == o.count; }
};

char* toString(const ReadCount& r)
{
    return qstrdup(
        QStringLiteral("{msgId=%1 count=%2}").arg(r.msgId).arg(r.count).toUtf8().constData());
}

QList<ReadCount> readCounts(const QMap<QString, int>& map)
{
    QList<ReadCount> out;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        out.append({it.key(), it.value()});
    return out;
}

QStringList names(const QList<DBUser>& users)
{
    QStringList out;
    for (const DBUser& user : users)
        out << user.userName();
    return out;
}

using Batch = QPair<qint64, qint64>;
} // namespace

Q_DECLARE_METATYPE(QList<ReadCount>)

class TestReadState : public QObject
{
    Q_OBJECT

private slots:
    void updateReadAll_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<int>("changed");
        QTest::addColumn<QStringList>("unreadAfter");

        // Room chat/1: a (100, read), b (200, unread), c (300, unread, own), d (400, read);
        // chat/2: e (250, unread).
        QTest::newRow("time 0: only the unread rows")
            << kTopic << qint64(0) << 2 << QStringList{"e"};
        QTest::newRow("from a time: every row at or after it, read or not")
            << kTopic << qint64(200) << 3 << QStringList{"e"};
        QTest::newRow("negative time counts as none")
            << kTopic << qint64(-5) << 2 << QStringList{"e"};
        QTest::newRow("empty topic") << QString() << qint64(0) << 0 << QStringList{"b", "c", "e"};
        QTest::newRow("topic that is not a value")
            << "chat/1' OR '1'='1" << qint64(0) << 0 << QStringList{"b", "c", "e"};
    }

    void updateReadAll()
    {
        QFETCH(QString, topic);
        QFETCH(qint64, time);
        QFETCH(int, changed);
        QFETCH(QStringList, unreadAfter);
        StoreFixture store;
        store.addChat(kTopic, "a", 5, 100, 1, 1);
        store.addChat(kTopic, "b", 5, 200, 1, 0);
        store.addChat(kTopic, "c", kOwn, 300, 1, 0);
        store.addChat(kTopic, "d", 5, 400, 1, 1);
        store.addChat("chat/2", "e", 5, 250, 1, 0);
        QCOMPARE(store.db().updateReadAll(topic, time), changed);
        QCOMPARE(store.rows("SELECT msg_id FROM TTT_CHATT WHERE msg_read=0 ORDER BY "
                            "msg_id"),
                 unreadAfter);
    }

    void unreadCountsReadersAndFirstUnreadTime()
    {
        StoreFixture store;
        store.addRoom(kTopic, 20, "5");
        store.addRoom("chat/2", 20, "6");
        store.addRoom("chat/3", 20, "7");
        // chat/1: two unread chats of others count; own, read, and notice rows do not.
        store.addChat(kTopic, "a", 5, 100, 1, 0);
        store.addChat(kTopic, "b", 6, 200, 1, 0);
        store.addChat(kTopic, "c", kOwn, 50, 1, 0);
        store.addChat(kTopic, "d", 5, 60, 1, 1);
        store.addChat(kTopic, "e", 5, 500, 1, 0, "Lee", 3);
        // chat/2: all read; chat/3: one unread; chat/9 has no room row.
        store.addChat("chat/2", "f", 6, 100, 1, 1);
        store.addChat("chat/3", "g", 7, 100, 1, 0);
        store.addChat("chat/9", "h", 7, 100, 1, 0);

        UnreadCounts counts;
        counts.set("chat/5", 4);
        store.db().loadUnreadCounts(kOwn, counts);
        const QHash<QString, int> expected{{kTopic, 2}, {"chat/3", 1}, {"chat/5", 4}};
        QCOMPARE(counts.entries(), expected);
        // The one-argument form fills the process-wide table.
        unreadCounts().clear();
        store.db().loadUnreadCounts(kOwn);
        QCOMPARE(unreadCounts().entries().size(), 2);
        QCOMPARE(unreadCounts().get(kTopic), 2);
        unreadCounts().clear();

        // The oldest unread chat of others, until the room is read.
        DBChatRoom room;
        room.setTopic(kTopic);
        QCOMPARE(store.db().firstUnreadTime(room, kOwn), 100);
        QCOMPARE(store.db().updateReadAll(kTopic, 0), 4);
        QCOMPARE(store.db().firstUnreadTime(room, kOwn), 0);

        // Readers of a message, by name, appended to the caller's list.
        store.addUser(5, "Yoon");
        store.addUser(6, "Ahn");
        store.addUser(7, "Moon");
        store.addReader(kTopic, "a", 5, 100);
        store.addReader(kTopic, "a", 6, 100);
        store.addReader(kTopic, "b", 7, 200);
        store.addReader("chat/2", "a", 7, 100);
        QList<DBUser> users{DBUser()};
        store.db().readers(users, kTopic, "a");
        QCOMPARE(names(users), (QStringList{"", "Ahn", "Yoon"}));
    }

    void batchChatReads_data()
    {
        // Room chat/1 holds own confirmed chats o1 (100), o2 (200), o3 (300), an own unconfirmed u
        // (250) and another member's x (260). Every row: reader, time; after all of them run in
        // turn: the read-count map of the last run, and the count column of o1..o3 and u.
        QTest::addColumn<QList<Batch>>("batches");
        QTest::addColumn<QList<ReadCount>>("lastMap");
        QTest::addColumn<QList<ReadCount>>("countColumn");
        QTest::addColumn<int>("readerRows");

        QTest::newRow("one reader from a time: confirmed own chats at or after it")
            << QList<Batch>{{5, 200}} << QList<ReadCount>{{"o2", 1}, {"o3", 1}}
            << QList<ReadCount>{{"o1", 0}, {"o2", 1}, {"o3", 1}, {"u", 0}} << 2;
        QTest::newRow("the same batch twice adds nothing")
            << QList<Batch>{{5, 200}, {5, 200}} << QList<ReadCount>{{"o2", 1}, {"o3", 1}}
            << QList<ReadCount>{{"o1", 0}, {"o2", 1}, {"o3", 1}, {"u", 0}} << 2;
        QTest::newRow("two readers count 2")
            << QList<Batch>{{5, 100}, {6, 200}} << QList<ReadCount>{{"o2", 2}, {"o3", 2}}
            << QList<ReadCount>{{"o1", 1}, {"o2", 2}, {"o3", 2}, {"u", 0}} << 5;
        QTest::newRow("a later batch refreshes counts from its own time only")
            << QList<Batch>{{5, 300}, {6, 100}, {7, 300}} << QList<ReadCount>{{"o3", 3}}
            << QList<ReadCount>{{"o1", 1}, {"o2", 1}, {"o3", 3}, {"u", 0}} << 5;
        QTest::newRow("nothing at or after the time")
            << QList<Batch>{{5, 301}} << QList<ReadCount>{}
            << QList<ReadCount>{{"o1", 0}, {"o2", 0}, {"o3", 0}, {"u", 0}} << 0;
    }

    void batchChatReads()
    {
        QFETCH(QList<Batch>, batches);
        QFETCH(QList<ReadCount>, lastMap);
        QFETCH(QList<ReadCount>, countColumn);
        QFETCH(int, readerRows);

        StoreFixture store("Veltri_mqtt");
        store.addChat(kTopic, "o1", kOwn, 100);
        store.addChat(kTopic, "o2", kOwn, 200);
        store.addChat(kTopic, "o3", kOwn, 300);
        store.addChat(kTopic, "u", kOwn, 250, 0);
        store.addChat(kTopic, "x", 9, 260);
        // The same message ids in another room must not mix in.
        store.addChat("chat/2", "p1", kOwn, 300);

        QMap<QString, int> map;
        for (const Batch& batch : batches) {
            map.clear();
            store.db().batchChatReads(map, kTopic, kOwn, batch.first, batch.second);
        }
        QCOMPARE(readCounts(map), lastMap);
        QList<ReadCount> counts;
        for (const SqlRow& row : store.table("SELECT msg_id, count FROM TTT_CHATT WHERE msg_id "
                                             "IN ('o1','o2','o3','u') ORDER BY msg_id"))
            counts.append({row.columns.value(0).second, row.columns.value(1).second.toInt()});
        QCOMPARE(counts, countColumn);
        QCOMPARE(store.number("SELECT COUNT(*) FROM TTT_CHATT_READER"), readerRows);
        // A reader row keeps the message's own time.
        QCOMPARE(store.number("SELECT COUNT(*) FROM TTT_CHATT_READER R JOIN TTT_CHATT "
                              "C ON R.msg_id=C.msg_id WHERE R.msg_time != C.msg_time"),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestReadState)
#include "tst_readstate.moc"
