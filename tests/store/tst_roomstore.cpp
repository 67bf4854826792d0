#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "storefixture.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSqlQuery>
#include <QtTest>

namespace {

// The room-list statement exactly as the design gives it: the operation must return its rows.
const char* const kDesignRoomList =
    "SELECT a._id, a.topic, a.type, a.members, a.create_date, a.update_date, v.sender_id, "
    "v.msg_type, v.content_type, v.content, v.reg_datetime FROM TTT_CHATT_ROOM a LEFT OUTER JOIN "
    "(SELECT b.topic, b.sender_id, b.msg_type, b.content_type, b.content, b.msg_time as "
    "reg_datetime FROM TTT_CHATT b, (SELECT topic, MAX(msg_time) as reg_datetime FROM TTT_CHATT "
    "group by topic) c WHERE b.topic=c.topic AND b.msg_time=c.reg_datetime) v "
    "ON(a.topic=v.topic) ORDER BY CASE WHEN v.reg_datetime IS NULL THEN a.update_date ELSE "
    "v.reg_datetime END desc";

// The statement leaves the order of rooms with equal times open: the rows are compared sorted,
// the order on its own.
QStringList sorted(QStringList rows)
{
    rows.sort();
    return rows;
}

// Room-list rows as "topic@sortTime:roomName:lastMessage".
QStringList describe(const QList<DBChatRoom>& rooms)
{
    QStringList rows;
    for (const DBChatRoom& r : rooms) {
        const qint64 key = r.regDatetime() != 0 ? r.regDatetime() : r.updateDate();
        rows << QStringLiteral("%1@%2:%3:%4")
                    .arg(r.topic())
                    .arg(key)
                    .arg(r.roomName(), r.lastMessage());
    }
    return rows;
}

QStringList designRoomList(DBManager& db)
{
    QList<DBChatRoom> rooms;
    QSqlQuery query(db.database());
    if (!query.exec(QString::fromLatin1(kDesignRoomList)))
        return {"design statement failed"};
    while (query.next()) {
        rooms << DBChatRoom(&db);
        rooms.last().setFromRow(query);
    }
    return describe(rooms);
}

QStringList listedRooms(DBManager& db)
{
    QList<DBChatRoom> rooms;
    db.chatRoomList(rooms);
    return describe(rooms);
}

QJsonObject serverRoom(int id, int type, const QList<int>& members, qint64 updated,
                       int leaveUserId = 0)
{
    QJsonArray list;
    for (int member : members) {
        list.append(QJsonObject{
            {"joinUserId", member},
            {"user", QJsonObject{{"userId", member},
                                 {"userName", QStringLiteral("Server user %1").arg(member)}}}});
    }
    QJsonObject room{{"chattRoomId", id},    {"chattRoomType", QString::number(type)},
                     {"openDatetime", 1000}, {"updDatetime", QString::number(updated)},
                     {"members", list},      {"grpId", 77}};
    if (leaveUserId)
        room.insert("leaveUserId", leaveUserId);
    return room;
}

} // namespace

class TestRoomStore : public QObject
{
    Q_OBJECT

private slots:
    void roomList()
    {
        // Rooms without chats by update_date against the newest chat of others, a room listed once
        // per chat sharing its newest time, ties, a chat of a room that is not stored; each row
        // with the names of its members or group and its last message's text.
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

        // Equal times put the newer room first, so the operation's own order is fixed.
        const QStringList mine = listedRooms(store.db());
        const QString unknown = DBChatRoom::unknownName();
        QCOMPARE(mine, (QStringList{"chat/6@600:Lee:", "chat/5@600:Sales:Lee invited Park",
                                    "chat/4@600:Lee:t", "chat/4@600:Lee:t", "chat/1@500:Lee:hello",
                                    "chat/2@300:Lee, " + unknown + ", Park:",
                                    "chat/3@250:Lee, Park:" + unknown + " invited Park",
                                    "chat/7@100:Park:line"}));
        QCOMPARE(sorted(mine), sorted(designRoomList(store.db())));
        // The list form appends to what the caller holds.
        QList<DBChatRoom> list{DBChatRoom()};
        QCOMPARE(store.db().chatRoomList(list), 9);
        QVERIFY(list.first().topic().isEmpty());
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

        // (A braced list runs its calls in order: each look-up before the record is read.)
        DBChatRoom room;
        QCOMPARE(fields({db.findChatRoom("chat/1", room), room.type(), room.updateDate(),
                         room.dbManager() == &db, db.findChatRoom("chat/9", room),
                         db.findChatRoom({}, room)}),
                 "1|20|40|1|0|0");
        // A group room is found by its group id, and only a room of type 10 holding it.
        QCOMPARE(fields({db.findGroupChatRoom(77, room), room.topic(), room.roomName(),
                         db.findGroupChatRoom(5, room)}),
                 "1|chat/2|Sales|0");
        // A topic is a value, never part of the statement.
        QCOMPARE(fields({db.chatRoomExists("chat/3"), db.chatRoomExists({}),
                         db.chatRoomExists("x' OR '1'='1")}),
                 "1|0|0");
        QMap<QString, DBChatRoom> map;
        QCOMPARE(fields({db.chatRoomList(map), map.value("chat/3").members()}), "3|77");

        // A room goes with its chats and reader rows; the other rooms keep their own.
        const QString all = "SELECT topic FROM TTT_CHATT_ROOM UNION ALL SELECT topic "
                            "FROM TTT_CHATT UNION ALL SELECT topic FROM "
                            "TTT_CHATT_READER";
        QVERIFY(db.deleteChatRoom("chat/1"));
        QVERIFY(!db.deleteChatRoom(QString()));
        QCOMPARE(store.rows(all), (QStringList{"chat/2", "chat/3", "chat/2", "chat/2"}));
        // Deleting the conversation leaves the room listed with an empty last message.
        QVERIFY(db.deleteChatMessage("chat/2"));
        QVERIFY(!db.deleteChatMessage(QString()));
        QCOMPARE(listedRooms(db),
                 (QStringList{"chat/3@60:" + DBChatRoom::unknownName() + ":", "chat/2@50:Sales:"}));
        QCOMPARE(store.rows(all), (QStringList{"chat/2", "chat/3", "chat/2"}));
    }

    void syncChatRoomList_data()
    {
        // Local rooms before: chat/1 (20, "5"), chat/2 (30, "5,6"), chat/3 (10, "77"), each updated
        // at 100, each with a chat and a reader row. Own user id: 1.
        QTest::addColumn<QJsonArray>("server");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QStringList>("rooms"); // topic|type|members|update_date afterwards
        QTest::addColumn<int>("newUsers");      // members stored from the server's user objects

        const QJsonObject same1 = serverRoom(1, 20, {1, 5}, 999);
        const QJsonObject same2 = serverRoom(2, 30, {5, 1, 6}, 999);
        const QJsonObject same3 = serverRoom(3, 10, {}, 999);
        QTest::newRow("equal") << QJsonArray{same1, same2, same3} << false
                               << QStringList{"chat/1|20|5|100", "chat/2|30|5,6|100",
                                              "chat/3|10|77|100"}
                               << 0;
        QTest::newRow("members and type change, dates stay")
            << QJsonArray{serverRoom(1, 20, {1}, 999, 5), serverRoom(2, 30, {5, 6, 8}, 999), same3}
            << true << QStringList{"chat/1|40|5|100", "chat/2|30|5,6,8|100", "chat/3|10|77|100"}
            << 1;
        QTest::newRow("new and missing rooms")
            << QJsonArray{same1, same3, serverRoom(4, 20, {1, 9}, 555)} << true
            << QStringList{"chat/1|20|5|100", "chat/3|10|77|100", "chat/4|20|9|555"} << 1;
        QTest::newRow("empty server list") << QJsonArray{} << true << QStringList{} << 0;
    }

    void syncChatRoomList()
    {
        QFETCH(QJsonArray, server);
        QFETCH(bool, changed);
        QFETCH(QStringList, rooms);
        QFETCH(int, newUsers);

        StoreFixture store("Veltri_chatrooms");
        store.addUser(5, "Kim");
        store.addUser(6, "Lee");
        store.addRoom("chat/1", 20, "5", 100);
        store.addRoom("chat/2", 30, "5,6", 100);
        store.addRoom("chat/3", 10, "77", 100);
        for (int i = 1; i <= 3; ++i) {
            const QString topic = QStringLiteral("chat/%1").arg(i);
            store.addChat(topic, QStringLiteral("m%1").arg(i), 1, 10);
            store.addReader(topic, QStringLiteral("m%1").arg(i), 5, 10);
        }
        QCOMPARE(store.db().syncChatRoomList(QJsonObject{{"list", server}}, 1), changed);
        QCOMPARE(store.rows("SELECT topic, type, members, update_date FROM "
                            "TTT_CHATT_ROOM ORDER BY topic"),
                 rooms);

        // A room that is gone takes its chats and reader rows along; the others keep theirs.
        QStringList topics;
        for (const QString& room : rooms)
            topics << room.section(QLatin1Char('|'), 0, 0);
        topics.removeAll("chat/4");
        QCOMPARE(store.rows("SELECT topic FROM TTT_CHATT UNION ALL SELECT topic FROM "
                            "TTT_CHATT_READER"),
                 topics + topics);
        QCOMPARE(store.number("SELECT count(*) FROM TTT_USER WHERE user_name LIKE "
                              "'Server user %'"),
                 newUsers);
    }
};

QTEST_GUILESS_MAIN(TestRoomStore)
#include "tst_roomstore.moc"
