#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/unreadcounts.h"
#include "storefixture.h"

#include <QtTest>

namespace {

const QString kTopic = "chat/1";
constexpr qint64 kOwn = 1;

QStringList idsOf(const QList<DBChat>& chats)
{
    QStringList ids;
    for (const DBChat& chat : chats)
        ids << chat.msgId();
    return ids;
}

} // namespace

// A room's history pages, its outbox, drafts and read state, on a real file.
class TestChatHistory : public QObject
{
    Q_OBJECT
    std::unique_ptr<StoreFixture> m_store;

private slots:
    // Unsettled u2 (failed, 550), u1 (50), n1 (no state, 10); c6..c1 at 600..100, c3b after c3.
    void initTestCase()
    {
        m_store = std::make_unique<StoreFixture>();
        for (int i = 1; i <= 6; ++i)
            m_store->addChat(kTopic, QStringLiteral("c%1").arg(i), 5, i * 100);
        m_store->addChat(kTopic, "c3b", 5, 300);
        m_store->addChat(kTopic, "u1", kOwn, 50, 0);
        m_store->addChat(kTopic, "u2", kOwn, 550, 5);
        m_store->addChat(kTopic, "n1", kOwn, 10, 0);
        QVERIFY(m_store->exec("UPDATE TTT_CHATT SET msg_state=NULL WHERE msg_id='n1'"));
    }
    void cleanupTestCase() { m_store.reset(); }

    // A page goes to the front, before what the caller holds (an empty chat).
    void chatList()
    {
        QList<DBChat> first{DBChat()}, across{DBChat()}, all;
        m_store->db().chatList(first, kTopic, 5, 0);
        m_store->db().chatList(across, kTopic, 2, 2);
        QCOMPARE(idsOf(first), (QStringList{"c5", "c6", "n1", "u1", "u2", ""}));
        QCOMPARE(idsOf(across), (QStringList{"c6", "n1", ""}));
        // A far search match opens at its count of chats ahead (c6 after u2, u1, n1).
        DBChatRoom room(&m_store->db());
        room.setTopic(kTopic);
        QCOMPARE(room.chatsAhead("c6"), 3);
        // An export holds the whole room, oldest first.
        m_store->db().exportChatList(all, kTopic);
        QCOMPARE(idsOf(all),
                 (QStringList{"n1", "u1", "c1", "c2", "c3", "c3b", "c4", "c5", "u2", "c6"}));
    }

    // The outbox: own chats sending (0) or uploaded (4) in every room, oldest first.
    void unsentChats()
    {
        m_store->addChat("chat/2", "w4", kOwn, 20, 4);
        QList<DBChat> unsent;
        QVERIFY(m_store->db().unsentChats(unsent, kOwn));
        QCOMPARE(idsOf(unsent), (QStringList{"w4", "u1"}));
    }

    // A draft per room, kept as typed; a new one replaces it, an empty text removes it.
    void drafts()
    {
        DBManager& db = m_store->db();
        const QString typed = "it's 50% \"done\"\nsecond line";
        QVERIFY(db.saveDraft(kTopic, typed));
        QVERIFY(db.saveDraft("chat/2", "other room"));
        QVERIFY(db.saveDraft(kTopic, typed + "!"));
        QCOMPARE((QStringList{db.draft(kTopic), db.draft("chat/2"), db.draft("chat/9")}),
                 (QStringList{typed + "!", "other room", ""}));
        QVERIFY(db.saveDraft(kTopic, QString()));
        QCOMPARE(db.draft(kTopic), QString());
    }

    // Others' unread chats count, not own, read or notices; reading from a time marks from it.
    // A count lowered below 0 stays as 0, and a load keeps the entries of rooms without chats.
    void readStateAndUnreadCounts()
    {
        StoreFixture store;
        for (const char* topic : {"chat/1", "chat/2", "chat/3"})
            store.addRoom(topic, 20, "5");
        store.addChat(kTopic, "a", 5, 100, 1, 0);
        store.addChat(kTopic, "b", 6, 200, 1, 0);
        store.addChat(kTopic, "c", kOwn, 50, 1, 0);
        store.addChat(kTopic, "d", 5, 60, 1, 1);
        store.addChat(kTopic, "r", 5, 300, 1, 1);
        store.addChat(kTopic, "e", 5, 500, 1, 0, "Lee", 3);
        // chat/2: all read; chat/3: one unread; chat/9 has no room row.
        store.addChat("chat/2", "f", 6, 100, 1, 1);
        store.addChat("chat/3", "g", 7, 100, 1, 0);
        store.addChat("chat/9", "h", 7, 100, 1, 0);
        UnreadCounts counts;
        counts.set("chat/5", 2);
        counts.add("chat/5", -5);
        store.db().loadUnreadCounts(kOwn, counts);
        QCOMPARE(counts.entries(),
                 (QHash<QString, int>{{kTopic, 2}, {"chat/3", 1}, {"chat/5", 0}}));

        DBChatRoom room;
        room.setTopic(kTopic);
        QCOMPARE(store.db().firstUnreadTime(room, kOwn), 100);
        QCOMPARE(store.db().updateReadAll("chat/1' OR '1'='1", 0), 0);
        QCOMPARE(store.db().updateReadAll(kTopic, 200), 3);
        QCOMPARE(store.db().updateReadAll(kTopic, 0), 2);
        QCOMPARE(store.db().firstUnreadTime(room, kOwn), 0);
        QCOMPARE(store.column("SELECT msg_id FROM TTT_CHATT WHERE msg_read=0 ORDER BY 1"),
                 (QStringList{"g", "h"}));
    }
};

QTEST_GUILESS_MAIN(TestChatHistory)
#include "tst_chathistory.moc"
