// The messaging session handling a batch of received messages in one store transaction, on a
// real encrypted file. The test thread plays the delivery thread: it calls the delegate
// operations itself, which is where the client's delivery thread hands its batches over, and so
// owns the session's "Veltri_mqtt" connection; a commit hook on that connection watches (or
// refuses) the commit.
#include "sessionfixture.h"
#include "store/dbtypes.h"
#include "store/unreadcounts.h"

#include <QSignalSpy>
#include <QSqlDriver>
#include <QtTest>

#include <sqlite3.h>

namespace {
const qint32 kDave = 11; // not in the directory until an invitation brings him

QMQTT::Message message(const QString& topic, const QByteArray& payload)
{
    return QMQTT::Message(0, topic, payload, 1);
}

QMQTT::Message chat(const QString& topic, qint32 sender, const QString& id)
{
    return message(topic, chatPayload(sender, ChatPayload::ContentText, id, id));
}

// Watches the commits of a connection (SQLite calls the hook for every transaction that ends
// in a commit, an autocommit statement's included), notes what the rest of the program could see
// at the first one, and refuses that one when asked to.
struct CommitProbe
{
    MqttManager* manager;
    bool refuseFirst;
    int commits = 0;
    QString seenAtFirstCommit = {};

    static int onCommit(void* self)
    {
        auto* probe = static_cast<CommitProbe*>(self);
        if (++probe->commits > 1)
            return 0;
        probe->seenAtFirstCommit = QStringLiteral("items %1, unread %2")
                                       .arg(probe->manager->waitForMessageItem(0))
                                       .arg(unreadCounts().get(QStringLiteral("chat/1")));
        return probe->refuseFirst ? 1 : 0;
    }
};

sqlite3* deliveryConnection()
{
    const QSqlDatabase db =
        QSqlDatabase::database(QString::fromLatin1(DBManager::kConnectionMqtt), false);
    return db.isValid() ? static_cast<sqlite3*>(db.driver()->handle().value<void*>()) : nullptr;
}
} // namespace

class TestMqttReceiveBatch : public QObject
{
    Q_OBJECT
private slots:
    void committedBeforeQueued_data();
    void committedBeforeQueued();
};

void TestMqttReceiveBatch::committedBeforeQueued_data()
{
    QTest::addColumn<bool>("refuseCommit");
    // One commit for the whole batch.
    QTest::newRow("committed") << false;
    // The batch's commit refused: rolled back, then each message on its own, every statement
    // committing by itself.
    QTest::newRow("commit refused") << true;
}

void TestMqttReceiveBatch::committedBeforeQueued()
{
    QFETCH(bool, refuseCommit);
    SessionFixture fixture;
    QVERIFY(fixture.store.db().createWorkingIndexes());
    fixture.store.addRoom(QStringLiteral("chat/1"), RoomType1VS1, QStringLiteral("8"));
    unreadCounts().clear();
    MqttManager manager(fixture.store.file());
    QSignalSpy logouts(&manager, &MqttManager::logout);
    manager.onDeliveryThreadStarted();
    CommitProbe probe{&manager, refuseCommit};
    QVERIFY(deliveryConnection());
    sqlite3_commit_hook(deliveryConnection(), &CommitProbe::onCommit, &probe);

    // On chat/1: three chats of Alice, one of them delivered twice (QoS 1 may repeat), a forced
    // logout (only its 9-byte head counts) and a server notice. On chat/5: Dave writes into a
    // room the store does not know yet, then the invitation that makes the room and brings Dave
    // into the directory arrives, then Dave writes again: the batch must not answer the second
    // chat with what it learnt before the invitation.
    const QString topic = QStringLiteral("chat/1");
    const QList<QMQTT::Message> batch = {
        chat(topic, kAlice, QStringLiteral("a-1")),
        chat(topic, kAlice, QStringLiteral("a-2")),
        message(topic, PayloadCodec::encode(ChatPayload::logout(kT)) + "trailing"),
        chat(topic, kAlice, QStringLiteral("a-2")),
        message(topic, PayloadCodec::encode(ChatPayload::push(kT, 1, QStringLiteral("notice")))),
        chat(topic, kAlice, QStringLiteral("a-3")),
        chat(QStringLiteral("chat/5"), kDave, QStringLiteral("d-1")),
        message(QStringLiteral("chat/5"),
                eventPayload(ChatPayload::TypeInvite, kAlice, QStringLiteral("inv"),
                             roomEvent(5, RoomType1VSN, {kMe, kDave}, {}, {{kDave, "Dave"}}))),
        chat(QStringLiteral("chat/5"), kDave, QStringLiteral("d-2")),
    };
    if (refuseCommit) {
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral(
                                 "^MqttManager::onMessagesDelivered - commit failed, one by one")));
    }
    manager.onMessagesDelivered(batch);
    sqlite3_commit_hook(deliveryConnection(), nullptr, nullptr);
    manager.onDeliveryThreadFinished();

    QVERIFY(refuseCommit ? probe.commits > 1 : probe.commits == 1);
    // At the batch's commit nothing was handed on yet: no item, no unread count.
    QCOMPARE(probe.seenAtFirstCommit, QStringLiteral("items 0, unread 0"));
    // Afterwards everything, once, in the order of the messages.
    Items items;
    while (std::unique_ptr<Item> item = manager.takeMessageItem())
        items.push_back(std::move(item));
    QCOMPARE(
        describe(items, topic),
        QStringList({"chat a-1 Alice 0", "chat a-2 Alice 0", "chat a-2 Alice 0", "push",
                     "chat a-3 Alice 0", "noroom on chat/5", "chat d-1 Unknown user 0 on chat/5",
                     "invite 30 1 11 Dave,Me by Alice on chat/5", "chat d-2 Dave 0 on chat/5"}));
    QCOMPARE(unreadCounts().get(topic), 3);
    QVERIFY(logouts.count() == 1 || logouts.wait(5000));
    QCOMPARE(logouts, (QList<QVariantList>{{topic, QVariant::fromValue<uchar>(99),
                                            QDateTime::fromMSecsSinceEpoch(kT)}}));
    // Each chat stored once; the notice of the invitation is read.
    QCOMPARE(
        fixture.store.rows("SELECT topic, msg_id, msg_read FROM TTT_CHATT ORDER BY topic, msg_id"),
        QStringList({"chat/1|a-1|0", "chat/1|a-2|0", "chat/1|a-3|0", "chat/5|d-1|0", "chat/5|d-2|0",
                     "chat/5|inv|1"}));
}

QTEST_GUILESS_MAIN(TestMqttReceiveBatch)
#include "tst_mqttreceivebatch.moc"
