// The messaging session handling a batch of received messages in one store transaction, on a
// real encrypted file. The test thread plays the delivery thread: it calls the delegate
// operations itself, which is where the client's delivery thread hands its batches over, and so
// owns the session's "Veltri_mqtt" connection; a commit hook on that connection watches (or
// refuses) the commit.
#include "main/mtdata.h"
#include "messaging/mqttmanager.h"
#include "messaging/payloadcodec.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/unreadcounts.h"
#include "storefixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QSqlDriver>
#include <QtTest>

#include <sqlite3.h>

#include <memory>
#include <vector>

using Item = MqttManager::MessageItem;
using Items = std::vector<std::unique_ptr<Item>>;

namespace {
const qint32 kMe = 7;
const qint32 kAlice = 8;
const qint32 kDave = 11; // not in the directory until an invitation brings him
const qint64 kT = 1700000000000;

QMQTT::Message message(const QString& topic, const ChatPayload& payload)
{
    return QMQTT::Message(0, topic, PayloadCodec::encode(payload), 1);
}

QMQTT::Message chat(const QString& topic, qint32 sender, const QString& id)
{
    return message(topic, ChatPayload::chat(kT, sender, ChatPayload::ContentText, id, {}, id));
}

// An invitation into a new group room that brings a user unknown to the directory along.
QMQTT::Message inviteToGroup(int roomId, qint32 sender, qint32 newcomer, const QString& newName)
{
    const QJsonArray members{
        QJsonObject{{"joinUserId", kMe}},
        QJsonObject{{"joinUserId", newcomer},
                    {"user", QJsonObject{{"userId", newcomer}, {"userName", newName}}}}};
    const QJsonObject info{{"chattRoomId", roomId},
                           {"chattRoomType", QString::number(RoomType1VSN)},
                           {"members", members}};
    return message(
        QStringLiteral("chat/%1").arg(roomId),
        ChatPayload::event(kT, ChatPayload::TypeInvite, sender, QStringLiteral("inv"),
                           QString::fromUtf8(QJsonDocument(QJsonObject{{"chatRoomInfo", info}})
                                                 .toJson(QJsonDocument::Compact))));
}

// Watches the commits of a connection (SQLite calls the hook for every transaction that ends
// in a commit, an autocommit statement's included) and refuses the first one when asked to.
struct CommitProbe
{
    MqttManager* manager = nullptr;
    QString topic;
    bool refuseFirst = false;
    int commits = 0;
    // What the rest of the program could see when the first commit came.
    bool itemsQueuedAtFirstCommit = false;
    int unreadAtFirstCommit = -1;

    static int onCommit(void* self)
    {
        auto* probe = static_cast<CommitProbe*>(self);
        if (++probe->commits > 1)
            return 0;
        probe->itemsQueuedAtFirstCommit = probe->manager->waitForMessageItem(0);
        probe->unreadAtFirstCommit = unreadCounts().get(probe->topic);
        return probe->refuseFirst ? 1 : 0;
    }
};
} // namespace

class TestMqttReceiveBatch : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void committedBeforeQueued_data();
    void committedBeforeQueued();
    void lookUpsFollowRoomEvents();

private:
    sqlite3* threadConnection() const;
    Items takeAll();
    QStringList describe(const Items& items);

    std::unique_ptr<StoreFixture> m_store;
    std::unique_ptr<MTData> m_session;
    std::unique_ptr<MqttManager> m_manager;
    CommitProbe m_probe;
};

void TestMqttReceiveBatch::init()
{
    m_store = std::make_unique<StoreFixture>();
    DBManager* db = &m_store->db();
    QVERIFY(db->createWorkingIndexes());
    m_session = std::make_unique<MTData>(db);
    DBEditor editor;
    m_session->setUserId(editor, kMe);
    m_session->setClientId(editor, QStringLiteral("client-A"));
    m_session->setUserName(editor, QStringLiteral("Me"));
    m_store->addUser(kAlice, QStringLiteral("Alice"));
    m_store->addRoom(QStringLiteral("chat/1"), RoomType1VS1, QStringLiteral("8"));
    unreadCounts().clear();

    m_manager = std::make_unique<MqttManager>(m_store->file());
    m_manager->onDeliveryThreadStarted();
    QVERIFY(threadConnection());
    m_probe = CommitProbe();
    m_probe.manager = m_manager.get();
    m_probe.topic = QStringLiteral("chat/1");
    sqlite3_commit_hook(threadConnection(), &CommitProbe::onCommit, &m_probe);
}

void TestMqttReceiveBatch::cleanup()
{
    if (m_manager) {
        if (sqlite3* db = threadConnection())
            sqlite3_commit_hook(db, nullptr, nullptr);
        m_manager->onDeliveryThreadFinished();
    }
    m_manager.reset();
    m_session.reset();
    m_store.reset();
}

sqlite3* TestMqttReceiveBatch::threadConnection() const
{
    const QSqlDatabase db =
        QSqlDatabase::database(QString::fromLatin1(DBManager::kConnectionMqtt), false);
    return db.isValid() ? static_cast<sqlite3*>(db.driver()->handle().value<void*>()) : nullptr;
}

Items TestMqttReceiveBatch::takeAll()
{
    Items items;
    while (std::unique_ptr<Item> item = m_manager->takeMessageItem())
        items.push_back(std::move(item));
    return items;
}

// Each item as "<type> <msg_id or topic> <sender name>".
QStringList TestMqttReceiveBatch::describe(const Items& items)
{
    QStringList out;
    for (const auto& item : items) {
        if (const auto* c = dynamic_cast<const MqttManager::ChatMessageItem*>(item.get())) {
            out << QStringLiteral("chat %1 %2").arg(c->chat().msgId(), c->chat().senderName());
        } else if (const auto* n =
                       dynamic_cast<const MqttManager::NoRoomExistMessageItem*>(item.get())) {
            out << QStringLiteral("noroom %1").arg(n->topic());
        } else if (const auto* r = dynamic_cast<const MqttManager::RoomMessageItem*>(item.get())) {
            out << QStringLiteral("room%1 %2").arg(item->type()).arg(r->room().topic());
        } else {
            out << QStringLiteral("type%1").arg(item->type());
        }
    }
    return out;
}

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
    m_probe.refuseFirst = refuseCommit;
    QSignalSpy logouts(m_manager.get(), &MqttManager::logout);
    const QString topic = QStringLiteral("chat/1");
    // Three chats of Alice, one of them delivered twice (QoS 1 may repeat), a forced logout and
    // a server notice.
    const QList<QMQTT::Message> batch = {
        chat(topic, kAlice, QStringLiteral("a-1")),
        chat(topic, kAlice, QStringLiteral("a-2")),
        message(topic, ChatPayload::logout(kT)),
        chat(topic, kAlice, QStringLiteral("a-2")),
        message(topic, ChatPayload::push(kT, 1, QStringLiteral("notice"))),
        chat(topic, kAlice, QStringLiteral("a-3")),
    };
    if (refuseCommit) {
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral(
                                 "^MqttManager::onMessagesDelivered - commit failed, one by one")));
    }
    m_manager->onMessagesDelivered(batch);

    if (refuseCommit)
        QVERIFY(m_probe.commits > 1);
    else
        QCOMPARE(m_probe.commits, 1);
    // At the batch's commit nothing was handed on yet: no item, no unread count.
    QVERIFY(!m_probe.itemsQueuedAtFirstCommit);
    QCOMPARE(m_probe.unreadAtFirstCommit, 0);
    // Afterwards everything, once, in the order of the messages.
    QCOMPARE(describe(takeAll()), QStringList({"chat a-1 Alice", "chat a-2 Alice", "chat a-2 Alice",
                                               "type5", "chat a-3 Alice"}));
    QCOMPARE(unreadCounts().get(topic), 3);
    QVERIFY(logouts.count() == 1 || logouts.wait(5000));
    QCOMPARE(logouts.count(), 1);
    QCOMPARE(m_store->number(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT WHERE msg_read=0")), 3);
    QCOMPARE(m_store->number(QStringLiteral("SELECT COUNT(DISTINCT msg_id) FROM TTT_CHATT")), 3);
}

void TestMqttReceiveBatch::lookUpsFollowRoomEvents()
{
    // Dave writes into a room the store does not know yet, then the invitation that makes the
    // room and brings Dave into the directory arrives, then Dave writes again: the batch must
    // not answer the second chat with what it learnt before the invitation.
    const QString topic = QStringLiteral("chat/5");
    m_manager->onMessagesDelivered({chat(topic, kDave, QStringLiteral("d-1")),
                                    inviteToGroup(5, kAlice, kDave, QStringLiteral("Dave")),
                                    chat(topic, kDave, QStringLiteral("d-2"))});
    QCOMPARE(describe(takeAll()), QStringList({"noroom chat/5", "chat d-1 Unknown user",
                                               "room2 chat/5", "chat d-2 Dave"}));
    QCOMPARE(m_probe.commits, 1);
    QCOMPARE(
        m_store->number(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT_ROOM WHERE topic='chat/5'")),
        1);
}

QTEST_GUILESS_MAIN(TestMqttReceiveBatch)
#include "tst_mqttreceivebatch.moc"
