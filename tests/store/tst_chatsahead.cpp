#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "storefixture.h"

#include <QtTest>

namespace {

const QString kTopic = QStringLiteral("chat/1");

} // namespace

// A room's chats ahead of one chat in the order its history pages are read: unsettled chats
// first, then the newest first, equal times by the later row first. The chat window reads
// every page up to a far search match at once by it.
class TestChatsAhead : public QObject
{
    Q_OBJECT
    std::unique_ptr<StoreFixture> m_store;

    int chatsAhead(const QString& topic, const QString& messageId)
    {
        DBChatRoom room(&m_store->db());
        room.setTopic(topic);
        return room.chatsAhead(messageId);
    }

private slots:
    void init()
    {
        m_store = std::make_unique<StoreFixture>();
        // Confirmed c1..c6 at 100..600, c3b at c3's time stored after it; unsettled u2 (upload
        // failed, 550), u1 (new, 50) and n1 (no state, 10); another room's x1 in between.
        for (int i = 1; i <= 6; ++i)
            m_store->addChat(kTopic, QStringLiteral("c%1").arg(i), 5, i * 100);
        m_store->addChat(kTopic, "c3b", 5, 300);
        m_store->addChat(kTopic, "u1", 1, 50, 0);
        m_store->addChat(kTopic, "u2", 1, 550, 5);
        m_store->addChat(kTopic, "n1", 1, 10, 0);
        QVERIFY(m_store->exec("UPDATE TTT_CHATT SET msg_state=NULL WHERE msg_id='n1'"));
        m_store->addChat("chat/2", "x1", 5, 450);
    }
    void cleanup() { m_store.reset(); }

    void chatsAhead_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("messageId");
        QTest::addColumn<int>("ahead");
        QTest::newRow("the newest unsettled chat") << kTopic << "u2" << 0;
        QTest::newRow("an unsettled chat older than every confirmed one") << kTopic << "u1" << 1;
        QTest::newRow("a chat without a state is unsettled") << kTopic << "n1" << 2;
        QTest::newRow("the newest confirmed chat, after every unsettled one")
            << kTopic << "c6" << 3;
        QTest::newRow("a confirmed chat") << kTopic << "c4" << 5;
        QTest::newRow("equal times: the later row first") << kTopic << "c3b" << 6;
        QTest::newRow("equal times: the earlier row after it") << kTopic << "c3" << 7;
        QTest::newRow("the oldest chat") << kTopic << "c1" << 9;
        QTest::newRow("a chat of another room") << kTopic << "x1" << -1;
        QTest::newRow("no such chat") << kTopic << "none" << -1;
        QTest::newRow("no room") << QString() << "c1" << -1;
    }
    void chatsAhead()
    {
        QFETCH(QString, topic);
        QFETCH(QString, messageId);
        QFETCH(int, ahead);
        QCOMPARE(this->chatsAhead(topic, messageId), ahead);
    }

    // The page read at that offset starts with the chat itself.
    void pageAtTheOffset_data()
    {
        QTest::addColumn<QString>("messageId");
        for (const char* id : {"u2", "u1", "n1", "c6", "c5", "c4", "c3b", "c3", "c2", "c1"})
            QTest::newRow(id) << QString::fromLatin1(id);
    }
    void pageAtTheOffset()
    {
        QFETCH(QString, messageId);
        QList<DBChat> page;
        m_store->db().chatList(page, kTopic, 1, chatsAhead(kTopic, messageId));
        QCOMPARE(page.value(0).msgId(), messageId);
    }
};

QTEST_GUILESS_MAIN(TestChatsAhead)
#include "tst_chatsahead.moc"
