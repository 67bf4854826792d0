// A received batch in one store transaction; the test thread plays the delivery thread.
#include "sessionfixture.h"
#include "store/dbtypes.h"
#include "store/unreadcounts.h"

#include <QSqlDriver>
#include <QtTest>

#include <sqlite3.h>

namespace {
const qint32 kDave = 11;         // not in the directory until an invitation brings him
const int kNoLimit = 1073741823; // SQLite's largest page limit

QMQTT::Message message(const QString& topic, const QByteArray& payload)
{
    return QMQTT::Message(0, topic, payload, 1);
}

QMQTT::Message chat(const QString& topic, qint32 sender, const QString& id)
{
    return message(topic, chatPayload(sender, ChatPayload::ContentText, id, id));
}

// What the rest of the program could see: an item queued, the room's unread count.
struct Seen
{
    bool items;
    int unread;
    MT_TYPED(Seen, items, unread)
};

// One stored chat as the test reads it back.
struct StoredChat
{
    QString topic;
    QString msgId;
    bool read;
    MT_TYPED(StoredChat, topic, msgId, read)
};

// A commit hook noting what was visible at each commit; refuses the first when asked.
struct CommitProbe
{
    MqttManager* manager;
    bool refuseFirst;
    int commits = 0;
    QList<Seen> seen = {};

    static int onCommit(void* self)
    {
        auto* probe = static_cast<CommitProbe*>(self);
        probe->seen << Seen{probe->manager->waitForMessageItem(0),
                            unreadCounts().get(QStringLiteral("chat/1"))};
        return probe->refuseFirst && ++probe->commits == 1 ? 1 : 0;
    }
};

// Commit refused once; page limits before and after each attempt; answers.
struct Attempts
{
    bool refuseCommit;
    int pageLimitBefore;
    QList<int> pageLimitAfter;
    QList<bool> taken;
};

void setPageLimit(sqlite3* db, int pages)
{
    const QByteArray sql = "PRAGMA max_page_count=" + QByteArray::number(pages);
    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
}
} // namespace

Q_DECLARE_METATYPE(Attempts)

class TestMqttReceiveBatch : public QObject
{
    Q_OBJECT
private slots:
    void committedBeforeQueued_data()
    {
        QTest::addColumn<Attempts>("row");
        // A batch the store cannot take hands nothing on and is taken when offered again.
        QTest::newRow("commit refused")
            << Attempts{true, kNoLimit, {kNoLimit, kNoLimit}, {false, true}};
        QTest::newRow("disk full")
            << Attempts{false, 1, {1, 1, kNoLimit, kNoLimit}, {false, false, false, true}};
    }

    void committedBeforeQueued()
    {
        QFETCH(Attempts, row);
        const auto& [refuseCommit, pageLimitBefore, pageLimitAfter, taken] = row;
        SessionFixture fixture;
        QVERIFY(fixture.store.db().createWorkingIndexes());
        fixture.store.addRoom(QStringLiteral("chat/1"), RoomType1VS1, QStringLiteral("8"));
        unreadCounts().clear();
        MqttManager manager(fixture.store.file());
        QSignalSpy logouts(&manager, &MqttManager::logout);
        QSignalSpy unavailable(&manager, &MqttManager::storeUnavailable);
        QSignalSpy available(&manager, &MqttManager::storeAvailable);
        manager.onDeliveryThreadStarted();
        CommitProbe probe{&manager, refuseCommit};
        const QSqlDatabase db =
            QSqlDatabase::database(QString::fromLatin1(DBManager::kConnectionMqtt), false);
        QVERIFY(db.isValid());
        auto* connection = static_cast<sqlite3*>(db.driver()->handle().value<void*>());
        sqlite3_commit_hook(connection, &CommitProbe::onCommit, &probe);
        // SQLite never sets the limit below the file's size: 1 means full now.
        setPageLimit(connection, pageLimitBefore);

        // A repeat, a logout with a tail, a notice, a long chat; Dave before and after his room.
        const QString topic = QStringLiteral("chat/1");
        const QList<QMQTT::Message> batch = {
            chat(topic, kAlice, QStringLiteral("a-1")),
            chat(topic, kAlice, QStringLiteral("a-2")),
            message(topic, PayloadCodec::encode(ChatPayload::logout(kT)) + "trailing"),
            chat(topic, kAlice, QStringLiteral("a-2")),
            message(topic,
                    PayloadCodec::encode(ChatPayload::push(kT, 1, QStringLiteral("notice")))),
            chat(topic, kAlice, QStringLiteral("a-3")),
            chat(QStringLiteral("chat/5"), kDave, QStringLiteral("d-1")),
            message(QStringLiteral("chat/5"),
                    eventPayload(ChatPayload::TypeInvite, kAlice, QStringLiteral("inv"),
                                 roomEvent(5, RoomType1VSN, {kMe, kDave}, {}, {{kDave, "Dave"}}))),
            chat(QStringLiteral("chat/5"), kDave, QStringLiteral("d-2")),
            message(topic, chatPayload(kAlice, ChatPayload::ContentText, QStringLiteral("a-4"),
                                       QString(6000, QLatin1Char('x')))),
        };
        QList<bool> got;
        QList<Seen> seenBetween;
        for (int attempt = 0; attempt < taken.size(); ++attempt) {
            got << manager.onMessagesDelivered(batch);
            seenBetween << Seen{manager.waitForMessageItem(0), unreadCounts().get(topic)};
            setPageLimit(connection, pageLimitAfter.at(attempt));
        }
        sqlite3_commit_hook(connection, nullptr, nullptr);
        manager.onDeliveryThreadFinished();

        QCOMPARE(got, taken);
        // Until the batch was taken, nothing of it was handed on.
        const QList<Seen> nothing = QVector<Seen>(taken.size() - 1, Seen{false, 0}).toList();
        QCOMPARE(seenBetween.mid(0, taken.size() - 1), nothing);
        QCOMPARE(probe.seen.value(probe.seen.size() - 1, Seen{true, -1}), (Seen{false, 0}));
        Items items;
        while (std::unique_ptr<Item> item = manager.takeMessageItem())
            items.push_back(std::move(item));
        QCOMPARE(describe(items, topic),
                 QList<Queued>({{"chat", {"a-1", "Alice", "0"}},
                                {"chat", {"a-2", "Alice", "0"}},
                                {"push", {}},
                                {"chat", {"a-3", "Alice", "0"}},
                                {"noroom", {}, "chat/5"},
                                {"chat", {"d-1", "Unknown user", "0"}, "chat/5"},
                                {"invite", {"30", "1", "11", "Dave,Me", "Alice"}, "chat/5"},
                                {"chat", {"d-2", "Dave", "0"}, "chat/5"},
                                {"chat", {"a-4", "Alice", "0"}}}));
        QCOMPARE(unreadCounts().get(topic), 4);
        QVERIFY(logouts.count() == 1 || logouts.wait(5000));
        QCOMPARE(logouts, (QList<QVariantList>{{topic, QVariant::fromValue<uchar>(99),
                                                QDateTime::fromMSecsSinceEpoch(kT)}}));
        // The user is told once that the store is unavailable, and once that it is back.
        QTRY_COMPARE((QList<int>{unavailable.count(), available.count()}), (QList<int>{1, 1}));
        QCOMPARE(fixture.store.rows<StoredChat>(
                     "SELECT topic, msg_id, msg_read FROM TTT_CHATT ORDER BY topic, msg_id"),
                 (QList<StoredChat>{{"chat/1", "a-1", false},
                                    {"chat/1", "a-2", false},
                                    {"chat/1", "a-3", false},
                                    {"chat/1", "a-4", false},
                                    {"chat/5", "d-1", false},
                                    {"chat/5", "d-2", false},
                                    {"chat/5", "inv", true}}));
    }
};

QTEST_GUILESS_MAIN(TestMqttReceiveBatch)
#include "tst_mqttreceivebatch.moc"
