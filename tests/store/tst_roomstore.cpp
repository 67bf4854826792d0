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

// A room-list row as "topic@sortTime:lastMessage".
QString describe(const DBChatRoom& room)
{
    const qint64 key = room.regDatetime() != 0 ? room.regDatetime() : room.updateDate();
    return room.topic() + QLatin1Char('@') + QString::number(key) + QLatin1Char(':') +
           room.lastMessage();
}

// The statement leaves the order of rooms with equal times open: the rows are compared sorted,
// the order on its own.
QStringList sorted(QStringList rows)
{
    rows.sort();
    return rows;
}

QStringList describe(const QList<DBChatRoom>& rooms)
{
    QStringList rows;
    for (const DBChatRoom& room : rooms)
        rows << describe(room);
    return rows;
}

QStringList designRoomList(DBManager& db)
{
    QList<DBChatRoom> rooms;
    QSqlQuery query(db.database());
    if (!query.exec(QString::fromLatin1(kDesignRoomList)))
        return {QStringLiteral("design statement failed")};
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
        room.insert(QStringLiteral("leaveUserId"), leaveUserId);
    return room;
}

} // namespace

class TestRoomStore : public QObject
{
    Q_OBJECT
private slots:
    void roomList();
    void roomRow();
    void lookupsAndDeletions();
    void syncChatRoomList_data();
    void syncChatRoomList();
};

void TestRoomStore::roomList()
{
    // Rooms without chats by update_date against the newest chat of others, a room listed once
    // per chat sharing its newest time, ties, and a chat of a room that is not stored.
    StoreFixture store;
    const QList<QPair<qint64, QList<qint64>>> rooms = {
        {100, {50, 500}}, {300, {}}, {200, {250}}, {0, {600, 600, 400}}, {0, {600}}, {600, {}}};
    int n = 0;
    for (int i = 0; i < rooms.size(); ++i) {
        const QString topic = QStringLiteral("chat/%1").arg(i + 1);
        store.addRoom(topic, 20, QString(), rooms[i].first);
        for (qint64 time : rooms[i].second)
            store.addChat(topic, QString::number(++n), 5, time, 1, 1,
                          QStringLiteral("t%1").arg(time));
    }
    store.addChat(QStringLiteral("chat/9"), QStringLiteral("m0"), 5, 900);

    // Equal times put the newer room first, so the operation's own order is fixed.
    const QStringList mine = listedRooms(store.db());
    QCOMPARE(mine,
             (QStringList{"chat/6@600:", "chat/5@600:t600", "chat/4@600:t600", "chat/4@600:t600",
                          "chat/1@500:t500", "chat/2@300:", "chat/3@250:t250"}));
    QCOMPARE(sorted(mine), sorted(designRoomList(store.db())));
    // The list form appends to what the caller holds.
    QList<DBChatRoom> list{DBChatRoom()};
    QCOMPARE(store.db().chatRoomList(list), 8);
    QVERIFY(list.first().topic().isEmpty());
}

void TestRoomStore::roomRow()
{
    // Each room's row: the names of its members or its group, and its last message's text.
    StoreFixture store;
    store.addUser(2, QStringLiteral("Lee"));
    store.addUser(3, QStringLiteral("Park"));
    store.addGroup(5, QStringLiteral("Sales"));
    int n = 0;
    const auto room = [&](int type, const QString& members, int msgType, int contentType,
                          const QString& content, int senderId) {
        const QString topic = QStringLiteral("chat/%1").arg(n++);
        store.addRoom(topic, type, members, 222);
        if (msgType) // 0: no chat
            store.addChat(topic, topic, senderId, 333, 1, 1, content, msgType, contentType);
    };
    room(20, "2", 1, 1, "hello", 2);
    room(30, "2,99,3", 3, 1, "Park", 2); // an unknown member named in the middle
    room(30, "2,3", 4, 1, "Park", 77);   // the inviter not in the directory
    room(20, "2", 8, 1, "hello", 2);     // text of another msg_type is shown
    room(20, "2", 1, 4, R"({"file_name":"a.txt","file_size":3,"preview_text":"line"})", 2);
    room(10, "5", 1, 1, "hi", 2);
    room(20, "2", 0, 0, "", 0);
    QList<DBChatRoom> list;
    QStringList listed;
    store.db().chatRoomList(list);
    for (const DBChatRoom& r : list)
        listed << fields({r.topic(), r.type(), r.members(), r.roomName(), r.lastMessage(),
                          r.regDatetime(), r.createDate(), r.updateDate()});
    const QString unknown = DBChatRoom::unknownName();
    QCOMPARE(
        sorted(listed),
        (QStringList{"chat/0|20|2|Lee|hello|333|222|222",
                     "chat/1|30|2,99,3|Lee, " + unknown + ", Park|Lee invited Park|333|222|222",
                     "chat/2|30|2,3|Lee, Park|" + unknown + " invited Park|333|222|222",
                     "chat/3|20|2|Lee|hello|333|222|222", "chat/4|20|2|Lee|line|333|222|222",
                     "chat/5|10|5|Sales|hi|333|222|222", "chat/6|20|2|Lee||0|222|222"}));
}

void TestRoomStore::lookupsAndDeletions()
{
    StoreFixture store;
    store.addGroup(77, QStringLiteral("Sales"));
    store.addRoom(QStringLiteral("chat/1"), 20, QStringLiteral("5"), 40);
    store.addRoom(QStringLiteral("chat/2"), 10, QStringLiteral("77"), 50);
    store.addRoom(QStringLiteral("chat/3"), 30, QStringLiteral("77"), 60);
    for (const QString& topic : {QStringLiteral("chat/1"), QStringLiteral("chat/2")}) {
        store.addChat(topic, topic + QStringLiteral("-m"), 1, 100);
        store.addReader(topic, topic + QStringLiteral("-m"), 5, 100);
    }
    DBManager& db = store.db();

    DBChatRoom room;
    QVERIFY(db.findChatRoom(QStringLiteral("chat/1"), room));
    QCOMPARE(fields({room.type(), room.updateDate()}), QStringLiteral("20|40"));
    QCOMPARE(room.dbManager(), &db);
    QVERIFY(!db.findChatRoom(QStringLiteral("chat/9"), room));
    QVERIFY(!db.findChatRoom(QString(), room));
    // A group room is found by its group id, and only a room of type 10 holding it.
    QVERIFY(db.findGroupChatRoom(77, room));
    QCOMPARE(fields({room.topic(), room.roomName()}), QStringLiteral("chat/2|Sales"));
    QVERIFY(!db.findGroupChatRoom(5, room));
    QVERIFY(db.chatRoomExists(QStringLiteral("chat/3")));
    QVERIFY(!db.chatRoomExists(QString()));
    // A topic is a value, never part of the statement.
    QVERIFY(!db.chatRoomExists(QStringLiteral("x' OR '1'='1")));
    QMap<QString, DBChatRoom> map;
    QCOMPARE(db.chatRoomList(map), 3);
    QCOMPARE(map.value(QStringLiteral("chat/3")).members(), QStringLiteral("77"));

    // A room goes with its chats and reader rows; the other rooms keep their own.
    const QString all = QStringLiteral("SELECT topic FROM TTT_CHATT_ROOM UNION ALL SELECT topic "
                                       "FROM TTT_CHATT UNION ALL SELECT topic FROM "
                                       "TTT_CHATT_READER");
    QVERIFY(db.deleteChatRoom(QStringLiteral("chat/1")));
    QVERIFY(!db.deleteChatRoom(QString()));
    QCOMPARE(store.rows(all), (QStringList{"chat/2", "chat/3", "chat/2", "chat/2"}));
    // Deleting the conversation leaves the room listed with an empty last message.
    QVERIFY(db.deleteChatMessage(QStringLiteral("chat/2")));
    QVERIFY(!db.deleteChatMessage(QString()));
    QCOMPARE(listedRooms(db), (QStringList{"chat/3@60:", "chat/2@50:"}));
    QCOMPARE(store.rows(all), (QStringList{"chat/2", "chat/3", "chat/2"}));
}

void TestRoomStore::syncChatRoomList_data()
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
        << true << QStringList{"chat/1|40|5|100", "chat/2|30|5,6,8|100", "chat/3|10|77|100"} << 1;
    QTest::newRow("new and missing rooms")
        << QJsonArray{same1, same3, serverRoom(4, 20, {1, 9}, 555)} << true
        << QStringList{"chat/1|20|5|100", "chat/3|10|77|100", "chat/4|20|9|555"} << 1;
    QTest::newRow("empty server list") << QJsonArray{} << true << QStringList{} << 0;
}

void TestRoomStore::syncChatRoomList()
{
    QFETCH(QJsonArray, server);
    QFETCH(bool, changed);
    QFETCH(QStringList, rooms);
    QFETCH(int, newUsers);

    StoreFixture store(QStringLiteral("Veltri_chatrooms"));
    store.addUser(5, QStringLiteral("Kim"));
    store.addUser(6, QStringLiteral("Lee"));
    store.addRoom(QStringLiteral("chat/1"), 20, QStringLiteral("5"), 100);
    store.addRoom(QStringLiteral("chat/2"), 30, QStringLiteral("5,6"), 100);
    store.addRoom(QStringLiteral("chat/3"), 10, QStringLiteral("77"), 100);
    for (int i = 1; i <= 3; ++i) {
        const QString topic = QStringLiteral("chat/%1").arg(i);
        store.addChat(topic, QStringLiteral("m%1").arg(i), 1, 10);
        store.addReader(topic, QStringLiteral("m%1").arg(i), 5, 10);
    }
    QCOMPARE(store.db().syncChatRoomList(QJsonObject{{"list", server}}, 1), changed);
    QCOMPARE(store.rows(QStringLiteral("SELECT topic, type, members, update_date FROM "
                                       "TTT_CHATT_ROOM ORDER BY topic")),
             rooms);

    // A room that is gone takes its chats and reader rows along; the others keep theirs.
    QStringList topics;
    for (const QString& room : rooms)
        topics << room.section(QLatin1Char('|'), 0, 0);
    topics.removeAll(QStringLiteral("chat/4"));
    QCOMPARE(store.rows(QStringLiteral("SELECT topic FROM TTT_CHATT UNION ALL SELECT topic FROM "
                                       "TTT_CHATT_READER")),
             topics + topics);
    QCOMPARE(store.number(QStringLiteral("SELECT count(*) FROM TTT_USER WHERE user_name LIKE "
                                         "'Server user %'")),
             newUsers);
}

QTEST_GUILESS_MAIN(TestRoomStore)
#include "tst_roomstore.moc"
