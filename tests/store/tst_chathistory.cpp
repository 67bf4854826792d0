#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "storefixture.h"

#include <QtTest>

#include <numeric>
#include <random>

namespace {

// The reference history statement, word for word: every page must hold its rows.
const char* const kReferencePage =
    "SELECT C._id, topic, C.msg_id, C.sender_id, U.user_name, U.thumb_url, msg_type, "
    "content_type, content, file_path, msg_time, msg_state, count, msg_read FROM TTT_CHATT C LEFT "
    "OUTER JOIN TTT_USER U ON(C.sender_id=U.user_id) WHERE topic=?ORDER BY (CASE msg_state WHEN 1 "
    "THEN 1 ELSE 0 END), msg_time DESC LIMIT ? OFFSET ?";

const QString kTopic = "chat/1";

QStringList ids(const QList<DBChat>& chats)
{
    QStringList out;
    for (const DBChat& chat : chats)
        out << chat.msgId();
    return out;
}

// msg_ids of a page of the reference statement, in the order the operation leaves them in the
// list (reversed).
QStringList referencePage(DBManager& db, int limit, int offset)
{
    QStringList out;
    for (const SqlRow& row : table(db.database(), kReferencePage, {kTopic, limit, offset}))
        out.prepend(row.columns.value(2).second);
    return out;
}

QStringList page(DBManager& db, int limit, int offset)
{
    QList<DBChat> chats;
    db.chatList(chats, kTopic, limit, offset);
    return ids(chats);
}

} // namespace

class TestChatHistory : public QObject
{
    Q_OBJECT
    std::unique_ptr<StoreFixture> m_store;

private slots:
    void cleanup() { m_store.reset(); }

    void init()
    {
        m_store = std::make_unique<StoreFixture>();
        m_store->addUser(5, "Kim");
        // Ten confirmed chats c1..c10 at 100..1000, and three unsettled ones however old: u2
        // (upload failed, 550), u1 (new, 50), n1 (no state at all, 10). Another room's chat
        // between.
        for (int i = 1; i <= 10; ++i)
            m_store->addChat(kTopic, QStringLiteral("c%1").arg(i), 5, i * 100);
        m_store->addChat(kTopic, "u1", 1, 50, 0);
        m_store->addChat(kTopic, "u2", 1, 550, 5);
        m_store->addChat(kTopic, "n1", 1, 10, 0);
        QVERIFY(m_store->exec("UPDATE TTT_CHATT SET msg_state=NULL WHERE msg_id='n1'"));
        m_store->addChat("chat/2", "x1", 5, 650, 0);
    }

    void chatList_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QStringList>("expected"); // the list afterwards, front to back
        QTest::addColumn<QString>("firstSender");  // the first chat's sender name and topic
        QTest::addColumn<QString>("firstTopic");   // (a chat of user 1, who is not stored, has
                                                   // no name; past the end: the caller's chat)
        QTest::newRow("first page: unsettled at the end, however old")
            << 5 << 0 << QStringList{"c9", "c10", "n1", "u1", "u2"} << "Kim" << kTopic;
        QTest::newRow("page across both parts")
            << 2 << 2 << QStringList{"c10", "n1"} << "Kim" << kTopic;
        QTest::newRow("inside the unsettled part")
            << 2 << 1 << QStringList{"n1", "u1"} << "" << kTopic;
        QTest::newRow("last, short page") << 5 << 11 << QStringList{"c1", "c2"} << "Kim" << kTopic;
        QTest::newRow("past the end") << 5 << 13 << QStringList{} << ""
                                      << "";
        QTest::newRow("negative offset is the first page")
            << 3 << -4 << QStringList{"n1", "u1", "u2"} << "" << kTopic;
    }

    void chatList()
    {
        QFETCH(int, limit);
        QFETCH(int, offset);
        QFETCH(QStringList, expected);
        QFETCH(QString, firstSender);
        QFETCH(QString, firstTopic);
        QCOMPARE(expected, referencePage(m_store->db(), limit, offset));
        // Rows go to the front, before what the caller holds, each a whole chat with its sender.
        QList<DBChat> chats{DBChat()};
        QCOMPARE(m_store->db().chatList(chats, kTopic, limit, offset), expected.size());
        QCOMPARE(ids(chats), expected + QStringList{QString()});
        QCOMPARE(chats.first().senderName(), firstSender);
        QCOMPARE(chats.first().topic(), firstTopic);
    }

    void chatListMatchesTheReferenceStatement()
    {
        // A room of 300 chats with every state the store knows, at distinct times in random order;
        // every page of every size holds exactly the rows of the reference statement.
        StoreFixture store;
        std::mt19937 random(7);
        std::vector<int> times(300);
        std::iota(times.begin(), times.end(), 1000);
        std::shuffle(times.begin(), times.end(), random);
        const int states[] = {1, 1, 1, 1, 0, 3, 4, 5};
        QVERIFY(store.exec("BEGIN"));
        for (int i = 0; i < 300; ++i)
            store.addChat(kTopic, QStringLiteral("r%1").arg(i), 5, times[i], states[random() % 8]);
        QVERIFY(store.exec("COMMIT"));
        for (int limit : {1, 7, 50}) {
            for (int offset = 0; offset <= 300; offset += limit)
                QCOMPARE(page(store.db(), limit, offset), referencePage(store.db(), limit, offset));
        }
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("matches"); // newest first

        QTest::newRow("percent is a plain character") << "50%" << QStringList{"s1"};
        QTest::newRow("underscore is a plain character") << "r_s" << QStringList{"s4"};
        QTest::newRow("escaped-looking text") << "\\%" << QStringList{"s7"};
        QTest::newRow("single quote") << "it's" << QStringList{"s3"};
        QTest::newRow("statement-breaking quote") << "' OR '1'='1" << QStringList{};
        QTest::newRow("ASCII letters in any case") << "HELLO" << QStringList{"s8", "s5"};
        QTest::newRow("empty text matches every chat")
            << "" << QStringList{"s8", "s7", "s6", "s5", "s4", "s3", "s2", "s1"};
    }

    void search()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, matches);
        StoreFixture store;
        const QStringList contents{"50% off",     "500 apples",  "it's fine",  "under_score",
                                   "hello there", "back\\slash", "a \\% sign", "Hello again"};
        for (int i = 0; i < contents.size(); ++i)
            store.addChat(kTopic, QStringLiteral("s%1").arg(i + 1), 5, 100 + i, 1, 1,
                          contents.at(i));
        // Other msg_types and other rooms are not searched.
        store.addChat(kTopic, "notice", 5, 900, 1, 1, "50% hello", 5);
        store.addChat("chat/2", "other", 5, 900, 1, 1, "50% hello");

        DBManager& db = store.db();
        QCOMPARE(db.searchChatTotalCount(kTopic, 1, text), matches.size());
        QStringList found;
        for (int offset = 0; offset <= matches.size(); ++offset)
            found << db.searchChatMessageId(kTopic, 1, text, offset);
        QCOMPARE(found, matches + QStringList{QString()});
        QCOMPARE(db.totalChatCount(kTopic, 1), 8);
        QCOMPARE(db.totalChatCount(kTopic, 5), 1);
    }

    void lookups()
    {
        DBManager& db = m_store->db();
        // The newest chat by time whatever its state, a chat looked up in its own room only, and
        // the oldest for the first message id.
        DBChat chat;
        QVERIFY(db.lastChat(kTopic, chat));
        QCOMPARE(chat.msgId(), "c10");
        QCOMPARE(chat.senderName(), "Kim");
        QVERIFY(!db.lastChat("chat/9", chat));
        QVERIFY(db.chatExists(kTopic, "u1"));
        QVERIFY(!db.chatExists(kTopic, "x1"));
        QCOMPARE(db.firstChatMessageId(kTopic), "n1");
        QCOMPARE(db.chatCount(kTopic), 13);
        QCOMPARE(db.firstChatMessageId("chat/9"), QString());
        QCOMPARE(db.chatCount("chat/9"), 0);
        // Export: the whole room, oldest first, at the front of the list.
        QList<DBChat> all{DBChat()};
        QCOMPARE(db.exportChatList(all, kTopic), 13);
        QCOMPARE(ids(all), (QStringList{"n1", "u1", "c1", "c2", "c3", "c4", "c5", "u2", "c6", "c7",
                                        "c8", "c9", "c10", ""}));
        // An empty topic is refused with each operation's failure value.
        QCOMPARE(db.chatList(all, QString(), 50, 0), 0);
        QCOMPARE(db.exportChatList(all, QString()), 0);
        QCOMPARE(db.findChat(QString(), "c1", chat), false);
        QCOMPARE(db.totalChatCount(QString(), 1), -1);
        QCOMPARE(db.searchChatTotalCount(QString(), 1, "a"), -1);
    }
};

QTEST_GUILESS_MAIN(TestChatHistory)
#include "tst_chathistory.moc"
