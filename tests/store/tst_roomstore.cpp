#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "storefixture.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

namespace {

// One row of the room list as the window shows it.
struct ListedRoom
{
    QString topic;
    qint64 sortTime = 0; // the newest chat's time, or the room's update_date without chats
    QString roomName, lastMessage;
    MT_TYPED(ListedRoom, topic, sortTime, roomName, lastMessage)
};

QList<ListedRoom> listedRooms(DBManager& db)
{
    QList<DBChatRoom> rooms;
    db.chatRoomList(rooms);
    QList<ListedRoom> rows;
    for (const DBChatRoom& r : rooms)
        rows << ListedRoom{r.topic(), r.regDatetime() ? r.regDatetime() : r.updateDate(),
                           r.roomName(), r.lastMessage()};
    return rows;
}

// A merge as its caller and a later reader see it.
struct SyncOutcome
{
    DBManager::SyncResult result = DBManager::SyncResult::Failed;
    Rows rooms; // topic, type, members, update_date
    QStringList chatAndReaderTopics;
    qint64 newUsers = 0; // members stored from the server's user objects
    bool inTransaction = false;
    MT_TYPED(SyncOutcome, result, rooms, chatAndReaderTopics, newUsers, inTransaction)
};

struct SyncRow
{
    QJsonObject server;
    QStringList refused; // operation, table, condition of a write that fails
    SyncOutcome expected;
};

QJsonObject serverRoom(int id, int type, const QList<int>& members, int leaveUserId = 0)
{
    QJsonArray list;
    for (int member : members) {
        list.append(QJsonObject{{"joinUserId", member},
                                {"user", QJsonObject{{"userId", member}, {"userName", "New"}}}});
    }
    QJsonObject room{{"chattRoomId", id},
                     {"chattRoomType", QString::number(type)},
                     {"updDatetime", "999"},
                     {"members", list}};
    if (leaveUserId)
        room.insert("leaveUserId", leaveUserId);
    return room;
}

QJsonObject list(const QJsonValue& rooms)
{
    return {{"list", rooms}};
}

const QString kAllTopics = "SELECT topic FROM TTT_CHATT_ROOM UNION ALL SELECT topic FROM TTT_CHATT "
                           "UNION ALL SELECT topic FROM TTT_CHATT_READER";

} // namespace

Q_DECLARE_METATYPE(SyncRow)

class TestRoomStore : public QObject
{
    Q_OBJECT

private slots:
    void roomList()
    {
        // Rooms without chats by update_date against the newest chat of others, a room listed
        // once per chat sharing its newest time, ties, a chat of a room that is not stored; each
        // row with the names of its members or group and its last message's text.
        StoreFixture store;
        store.addUser(2, "Lee");
        store.addUser(3, "Park");
        store.addGroup(5, "Sales");
        int n = 0;
        int id = 0;
        const auto room = [&](int type, const QString& members, qint64 updated) {
            store.addRoom(QStringLiteral("chat/%1").arg(++n), type, members, updated);
        };
        const auto chat = [&](qint64 time, const QString& content, int msgType = 1, int sender = 2,
                              int contentType = 1) {
            store.addChat(QStringLiteral("chat/%1").arg(n), QString::number(++id), sender, time, 1,
                          1, content, msgType, contentType);
        };
        room(20, "2", 100);
        chat(50, "old");
        chat(500, "hello");
        room(30, "2,99,3", 300); // an unknown member named in the middle
        room(30, "2,3", 200);
        chat(250, "Park", 4, 77); // the inviter not in the directory
        room(20, "2", 0);
        chat(600, "t", 8); // text of another msg_type is shown
        chat(600, "t", 8);
        chat(400, "t");
        room(10, "5", 0);
        chat(600, "Park", 3);
        room(20, "2", 600);
        room(20, "3", 0);
        chat(100, R"({"file_name":"a.txt","file_size":3,"preview_text":"line"})", 1, 2, 4);
        store.addChat("chat/9", "m0", 5, 900);

        const QString unknown = DBChatRoom::unknownName();
        const QList<ListedRoom> expected = {{"chat/6", 600, "Lee", ""},
                                            {"chat/5", 600, "Sales", "Lee invited Park"},
                                            {"chat/4", 600, "Lee", "t"},
                                            {"chat/4", 600, "Lee", "t"},
                                            {"chat/1", 500, "Lee", "hello"},
                                            {"chat/2", 300, "Lee, " + unknown + ", Park", ""},
                                            {"chat/3", 250, "Lee, Park", unknown + " invited Park"},
                                            {"chat/7", 100, "Park", "line"}};
        QCOMPARE(listedRooms(store.db()), expected);
    }

    void lookupsAndDeletions()
    {
        StoreFixture store;
        store.addGroup(77, "Sales");
        store.addRoom("chat/1", 20, "5", 40);
        store.addRoom("chat/2", 10, "77", 50);
        store.addRoom("chat/3", 30, "77", 60);
        for (const QString& topic : QStringList{"chat/1", "chat/2"}) {
            store.addChat(topic, topic + "-m", 1, 100);
            store.addReader(topic, topic + "-m", 5, 100);
        }
        DBManager& db = store.db();
        DBChatRoom room;
        QVERIFY(db.findChatRoom("chat/1", room));
        QCOMPARE(room.members(), "5");
        // A group room is found by its group id, and only a room of type 10 holding it.
        QVERIFY(db.findGroupChatRoom(77, room));
        QCOMPARE(room.topic(), "chat/2");
        QVERIFY(!db.findGroupChatRoom(5, room));
        // A topic is a value, never part of the statement.
        QVERIFY(!db.chatRoomExists("x' OR '1'='1"));

        // A room goes with its chats and reader rows; the other rooms keep their own.
        QVERIFY(db.deleteChatRoom("chat/1"));
        QVERIFY(!db.deleteChatRoom(QString()));
        QCOMPARE(store.column(kAllTopics), (QStringList{"chat/2", "chat/3", "chat/2", "chat/2"}));
        // Deleting the conversation leaves the room listed with an empty last message.
        QVERIFY(db.deleteChatMessage("chat/2"));
        QCOMPARE(listedRooms(db), (QList<ListedRoom>{{"chat/3", 60, DBChatRoom::unknownName(), ""},
                                                     {"chat/2", 50, "Sales", ""}}));
        QCOMPARE(store.column(kAllTopics), (QStringList{"chat/2", "chat/3", "chat/2"}));
    }

    // The last of the three deletes fails: the other two are undone, and a caller's own
    // transaction and its earlier write stay.
    void deleteChatRoomUndoesAll_data()
    {
        QTest::addColumn<QString>("begin");
        QTest::newRow("on its own") << "SELECT 1";
        QTest::newRow("in a caller's transaction") << "BEGIN";
    }

    void deleteChatRoomUndoesAll()
    {
        QFETCH(QString, begin);
        StoreFixture store;
        store.addRoom("chat/1", 20, "5", 40);
        store.addChat("chat/1", "m1", 5, 100);
        store.addReader("chat/1", "m1", 5, 100);
        store.refuse("DELETE", "TTT_CHATT_READER", "1");
        QVERIFY(store.exec(begin));
        store.addRoom("chat/2", 30, "6", 50);
        QVERIFY(!store.db().deleteChatRoom("chat/1"));
        QCOMPARE(store.db().inTransaction(), begin == "BEGIN");
        QVERIFY(store.exec(QString(begin).replace("BEGIN", "COMMIT")));
        QCOMPARE(store.column(kAllTopics), (QStringList{"chat/1", "chat/2", "chat/1", "chat/1"}));
    }

    // Local rooms before: chat/1 (20, "5"), chat/2 (30, "5,6"), chat/3 (20, "6"), each with a
    // chat and a reader row. Own user id: 1. A refused answer or a failed write leaves every room,
    // chat and user as it was.
    void syncChatRoomList_data()
    {
        QTest::addColumn<SyncRow>("row");
        using R = DBManager::SyncResult;
        const QStringList room1{"chat/1", "20", "5", "100"}, room2{"chat/2", "30", "5,6", "100"},
            room3{"chat/3", "20", "6", "100"}, room4{"chat/4", "20", "9", "999"};
        const QStringList all{"chat/1", "chat/2", "chat/3"};
        const SyncOutcome unchanged{R::Failed, {{room1, room2, room3}}, all + all, 0, false};
        const QJsonObject same1 = serverRoom(1, 20, {1, 5});
        const QJsonObject same3 = serverRoom(3, 20, {6, 1});
        const QJsonObject changed =
            list(QJsonArray{serverRoom(1, 20, {1}, 5), serverRoom(2, 30, {5, 6, 8}), same3});
        const QJsonObject newAndMissing = list(QJsonArray{same1, same3, serverRoom(4, 20, {1, 9})});
        const QStringList left1{"chat/1", "40", "5", "100"}, grown2{"chat/2", "30", "5,6,8", "100"};
        const QStringList kept{"chat/1", "chat/3", "chat/1", "chat/3"};

        QTest::newRow("equal") << SyncRow{
            list(QJsonArray{same1, serverRoom(2, 30, {5, 1, 6}), same3}),
            {},
            {R::Unchanged, unchanged.rooms, all + all, 0, false}};
        QTest::newRow("members and type change, dates stay")
            << SyncRow{changed, {}, {R::Changed, {{left1, grown2, room3}}, all + all, 1, false}};
        QTest::newRow("new and missing rooms, the missing with their chats")
            << SyncRow{newAndMissing, {}, {R::Changed, {{room1, room3, room4}}, kept, 1, false}};
        QTest::newRow("empty list")
            << SyncRow{list(QJsonArray{}), {}, {R::Changed, {}, {}, 0, false}};
        QTest::newRow("no list") << SyncRow{{{"rooms", QJsonArray{}}}, {}, unchanged};
        QTest::newRow("list not an array") << SyncRow{list(QJsonValue::Null), {}, unchanged};
        QTest::newRow("list of other values")
            << SyncRow{list(QJsonArray{same1, 2, same3}), {}, unchanged};
        QTest::newRow("insert refused") << SyncRow{
            newAndMissing, {"INSERT", "TTT_CHATT_ROOM", "NEW.topic = 'chat/4'"}, unchanged};
        QTest::newRow("update refused")
            << SyncRow{changed, {"UPDATE", "TTT_CHATT_ROOM", "OLD.topic = 'chat/2'"}, unchanged};
        QTest::newRow("delete refused")
            << SyncRow{newAndMissing, {"DELETE", "TTT_CHATT_READER", "1"}, unchanged};
    }

    void syncChatRoomList()
    {
        QFETCH(SyncRow, row);
        StoreFixture store("Veltri_chatrooms");
        store.addUser(5, "Kim");
        store.addUser(6, "Lee");
        store.addRoom("chat/1", 20, "5", 100);
        store.addRoom("chat/2", 30, "5,6", 100);
        store.addRoom("chat/3", 20, "6", 100);
        for (const QString& topic : {"chat/1", "chat/2", "chat/3"}) {
            store.addChat(topic, topic + "m", 1, 10);
            store.addReader(topic, topic + "m", 5, 10);
        }
        store.refuse(row.refused.value(0, "INSERT"), row.refused.value(1, "TTT_USER"),
                     row.refused.value(2, "0"));
        const DBManager::SyncResult result = store.db().syncChatRoomList(row.server, 1);
        QCOMPARE(
            (SyncOutcome{
                result, store.table("SELECT topic, type, members, update_date FROM TTT_CHATT_ROOM"),
                store.column("SELECT topic FROM TTT_CHATT UNION ALL SELECT topic FROM "
                             "TTT_CHATT_READER"),
                store.number("SELECT count(*) FROM TTT_USER WHERE user_name = 'New'"),
                store.db().inTransaction()}),
            row.expected);
    }
};

QTEST_GUILESS_MAIN(TestRoomStore)
#include "tst_roomstore.moc"
