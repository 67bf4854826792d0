#include "sqlciphercli.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "storefixture.h"

#include <QJsonArray>
#include <QJsonDocument>
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

QStringList designRoomList(DBManager& db)
{
    QStringList rows;
    QSqlQuery query(db.database());
    if (!query.exec(QString::fromLatin1(kDesignRoomList)))
        return {QStringLiteral("design statement failed")};
    while (query.next()) {
        DBChatRoom room(&db);
        room.setFromRow(query);
        rows << describe(room);
    }
    return rows;
}

QStringList listedRooms(DBManager& db)
{
    QList<DBChatRoom> rooms;
    db.chatRoomList(rooms);
    QStringList rows;
    for (const DBChatRoom& room : rooms)
        rows << describe(room);
    return rows;
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
    void roomList_data();
    void roomList();
    void roomRow_data();
    void roomRow();
    void lookups();
    void deletions();
    void syncChatRoomList_data();
    void syncChatRoomList();
    void indexesReachExistingFiles();
};

void TestRoomStore::roomList_data()
{
    // rooms: "topic:update_date" ; chats: "topic:msg_time" ; expected: "topic@time" in order
    QTest::addColumn<QStringList>("rooms");
    QTest::addColumn<QStringList>("chats");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("rooms without chats by update_date")
        << QStringList{"chat/1:100", "chat/2:300", "chat/3:200"} << QStringList{}
        << QStringList{"chat/2@300", "chat/3@200", "chat/1@100"};
    QTest::newRow("newest chat against update_date")
        << QStringList{"chat/1:100", "chat/2:300", "chat/3:200"}
        << QStringList{"chat/1:50", "chat/1:500", "chat/3:250"}
        << QStringList{"chat/1@500", "chat/2@300", "chat/3@250"};
    QTest::newRow("once per chat sharing the newest time")
        << QStringList{"chat/1:0", "chat/2:0"}
        << QStringList{"chat/1:400", "chat/1:500", "chat/1:500", "chat/2:450"}
        << QStringList{"chat/1@500", "chat/1@500", "chat/2@450"};
    QTest::newRow("rooms tied on time") << QStringList{"chat/1:0", "chat/2:0", "chat/3:500"}
                                        << QStringList{"chat/1:500", "chat/2:500"}
                                        << QStringList{"chat/3@500", "chat/2@500", "chat/1@500"};
    QTest::newRow("chats of a room not in the list")
        << QStringList{"chat/1:0"} << QStringList{"chat/1:10", "chat/9:900"}
        << QStringList{"chat/1@10"};
    QTest::newRow("no rooms") << QStringList{} << QStringList{"chat/1:10"} << QStringList{};
}

void TestRoomStore::roomList()
{
    QFETCH(QStringList, rooms);
    QFETCH(QStringList, chats);
    QFETCH(QStringList, expected);
    StoreFixture store;
    for (const QString& room : rooms)
        store.addRoom(room.section(':', 0, 0), 20, QString(), room.section(':', 1).toLongLong());
    for (int n = 0; n < chats.size(); ++n) {
        const QString& chat = chats.at(n);
        store.addChat(chat.section(':', 0, 0), QStringLiteral("m%1").arg(n), 5,
                      chat.section(':', 1).toLongLong(), 1, 1, QStringLiteral("text %1").arg(n));
    }

    const QStringList mine = listedRooms(store.db());
    QCOMPARE(sorted(mine), sorted(designRoomList(store.db())));
    // Equal times put the newer room first, so the operation's own order is fixed.
    QStringList topicsAndTimes;
    for (const QString& row : mine)
        topicsAndTimes << row.section(QLatin1Char(':'), 0, 0);
    QCOMPARE(topicsAndTimes, expected);

    // The list form appends to what the caller holds.
    QList<DBChatRoom> list{DBChatRoom()};
    QCOMPARE(store.db().chatRoomList(list), expected.size() + 1);
    QVERIFY(list.first().topic().isEmpty());
}

void TestRoomStore::roomRow_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("members");
    QTest::addColumn<int>("msgType"); // 0: the room has no chat
    QTest::addColumn<int>("contentType");
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("senderId");
    QTest::addColumn<QString>("listed"); // type|members|roomName|last message|its time

    const QString unknown = DBChatRoom::unknownName();
    QTest::newRow("text") << 20 << "2" << 1 << 1 << "hello" << 2 << "20|2|Lee|hello|333";
    QTest::newRow("unknown member named in the middle")
        << 30 << "2,99,3" << 3 << 1 << "Park" << 2
        << "30|2,99,3|Lee, " + unknown + ", Park|Lee invited Park|333";
    QTest::newRow("inviter not in the directory")
        << 30 << "2,3" << 4 << 1 << "Park" << 77
        << "30|2,3|Lee, Park|" + unknown + " invited Park|333";
    QTest::newRow("text of another msg_type is shown")
        << 20 << "2" << 8 << 1 << "hello" << 2 << "20|2|Lee|hello|333";
    QTest::newRow("file with preview")
        << 20 << "2" << 1 << 4 << R"({"file_name":"a.txt","file_size":3,"preview_text":"line"})"
        << 2 << "20|2|Lee|line|333";
    QTest::newRow("group") << 10 << "5" << 1 << 1 << "hi" << 2 << "10|5|Sales|hi|333";
    QTest::newRow("group not stored") << 10 << "6" << 1 << 1 << "hi" << 2 << "10|6||hi|333";
    QTest::newRow("no chat") << 20 << "2" << 0 << 0 << "" << 0 << "20|2|Lee||0";
}

void TestRoomStore::roomRow()
{
    QFETCH(int, type);
    QFETCH(QString, members);
    QFETCH(int, msgType);
    QFETCH(int, contentType);
    QFETCH(QString, content);
    QFETCH(int, senderId);
    QFETCH(QString, listed);
    StoreFixture store;
    store.addUser(2, QStringLiteral("Lee"));
    store.addUser(3, QStringLiteral("Park"));
    store.addGroup(5, QStringLiteral("Sales"));
    store.addRoom(QStringLiteral("chat/1"), type, members, 222);
    if (msgType) {
        store.addChat(QStringLiteral("chat/1"), QStringLiteral("m"), senderId, 333, 1, 1, content,
                      msgType, contentType);
    }
    QList<DBChatRoom> rooms;
    QCOMPARE(store.db().chatRoomList(rooms), 1);
    const DBChatRoom& r = rooms.first();
    QCOMPARE(fields({r.type(), r.members(), r.roomName(), r.lastMessage(), r.regDatetime()}),
             listed);
    QCOMPARE(fields({r.topic(), r.createDate(), r.updateDate()}), QStringLiteral("chat/1|222|222"));
}

void TestRoomStore::lookups()
{
    StoreFixture store;
    store.addGroup(77, QStringLiteral("Sales"));
    store.addRoom(QStringLiteral("chat/1"), 20, QStringLiteral("5"), 40);
    store.addRoom(QStringLiteral("chat/2"), 10, QStringLiteral("77"), 50);
    store.addRoom(QStringLiteral("chat/3"), 30, QStringLiteral("77"), 60);
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
    QVERIFY(!db.chatRoomExists(QStringLiteral("chat/4")));
    QVERIFY(!db.chatRoomExists(QString()));
    // A topic is a value, never part of the statement.
    QVERIFY(!db.chatRoomExists(QStringLiteral("x' OR '1'='1")));

    QMap<QString, DBChatRoom> map;
    QCOMPARE(db.chatRoomList(map), 3);
    QCOMPARE(map.value(QStringLiteral("chat/3")).members(), QStringLiteral("77"));
}

void TestRoomStore::deletions()
{
    StoreFixture store;
    for (const QString& topic : {QStringLiteral("chat/1"), QStringLiteral("chat/2")}) {
        store.addRoom(topic, 20, QStringLiteral("5"), 70);
        store.addChat(topic, topic + QStringLiteral("-m"), 1, 100);
        store.addReader(topic, topic + QStringLiteral("-m"), 5, 100);
    }
    const QString rooms = QStringLiteral("SELECT topic FROM TTT_CHATT_ROOM");
    const QString chats = QStringLiteral("SELECT topic FROM TTT_CHATT");
    const QString readers = QStringLiteral("SELECT topic FROM TTT_CHATT_READER");
    // A room goes with its chats and reader rows; the other room keeps its own.
    QVERIFY(store.db().deleteChatRoom(QStringLiteral("chat/1")));
    QCOMPARE(store.rows(rooms) + store.rows(chats) + store.rows(readers),
             (QStringList{"chat/2", "chat/2", "chat/2"}));

    // Deleting the conversation leaves the room listed with an empty last message.
    QVERIFY(store.db().deleteChatMessage(QStringLiteral("chat/2")));
    QCOMPARE(listedRooms(store.db()), QStringList{"chat/2@70:"});
    QCOMPARE(store.rows(chats), QStringList());

    QVERIFY(!store.db().deleteChatRoom(QString()));
    QVERIFY(!store.db().deleteChatMessage(QString()));
    QCOMPARE(store.rows(rooms), QStringList{"chat/2"});
}

void TestRoomStore::syncChatRoomList_data()
{
    // Local rooms before: chat/1 (20, "5"), chat/2 (30, "5,6"), chat/3 (10, "77"), each updated
    // at 100, each with a chat and a reader row. Own user id: 1.
    QTest::addColumn<QJsonArray>("server");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QStringList>("rooms"); // topic|type|members|update_date afterwards

    const QJsonObject same1 = serverRoom(1, 20, {1, 5}, 999);
    const QJsonObject same2 = serverRoom(2, 30, {5, 1, 6}, 999);
    const QJsonObject same3 = serverRoom(3, 10, {}, 999);
    QTest::newRow("equal") << QJsonArray{same1, same2, same3} << false
                           << QStringList{"chat/1|20|5|100", "chat/2|30|5,6|100",
                                          "chat/3|10|77|100"};
    QTest::newRow("members and type change, dates stay")
        << QJsonArray{serverRoom(1, 20, {1}, 999, 5), serverRoom(2, 30, {5, 6, 8}, 999), same3}
        << true << QStringList{"chat/1|40|5|100", "chat/2|30|5,6,8|100", "chat/3|10|77|100"};
    QTest::newRow("new room") << QJsonArray{same1, same2, same3, serverRoom(4, 20, {1, 9}, 555)}
                              << true
                              << QStringList{"chat/1|20|5|100", "chat/2|30|5,6|100",
                                             "chat/3|10|77|100", "chat/4|20|9|555"};
    QTest::newRow("missing room") << QJsonArray{same1, same3} << true
                                  << QStringList{"chat/1|20|5|100", "chat/3|10|77|100"};
    QTest::newRow("empty server list") << QJsonArray{} << true << QStringList{};
}

void TestRoomStore::syncChatRoomList()
{
    QFETCH(QJsonArray, server);
    QFETCH(bool, changed);
    QFETCH(QStringList, rooms);

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
    QCOMPARE(store.rows(QStringLiteral("SELECT topic FROM TTT_CHATT ORDER BY topic")), topics);
    QCOMPARE(store.rows(QStringLiteral("SELECT topic FROM TTT_CHATT_READER ORDER BY topic")),
             topics);
    // Members unknown to the directory were stored from the server's user objects.
    if (QTest::currentDataTag() == QLatin1String("new room")) {
        QCOMPARE(store.rows(QStringLiteral("SELECT user_name FROM TTT_USER WHERE user_id=9")),
                 QStringList{"Server user 9"});
    }
}

void TestRoomStore::indexesReachExistingFiles()
{
    StoreFixture store;
    store.addRoom(QStringLiteral("chat/1"), 20, QStringLiteral("5"));
    const QString indexes = QStringLiteral(
        "SELECT name FROM sqlite_master WHERE type='index' AND name IN ('TTT_CHATT_TOPIC_MSGTIME', "
        "'TTT_CHATT_TOPIC_UNSETTLED', 'TTT_CHATT_TOPIC_UNREAD', "
        "'TTT_CHATT_TOPIC_SEARCH', 'TTT_CHATT_READER_MSGID') ORDER BY name;");
    // A file made before these indexes existed: opening it adds nothing (the schema step only
    // makes missing tables)...
    store.reopen();
    QCOMPARE(SqlCipherCli::run(store.file(), QString::fromLatin1(DBManager::kPassword), indexes),
             QStringList{});
    // ...the first chat operation of a connection does.
    QList<DBChatRoom> rooms;
    QCOMPARE(store.db().chatRoomList(rooms), 1);
    QCOMPARE(
        SqlCipherCli::run(store.file(), QString::fromLatin1(DBManager::kPassword), indexes),
        (QStringList{"TTT_CHATT_READER_MSGID", "TTT_CHATT_TOPIC_MSGTIME", "TTT_CHATT_TOPIC_SEARCH",
                     "TTT_CHATT_TOPIC_UNREAD", "TTT_CHATT_TOPIC_UNSETTLED"}));
}

QTEST_GUILESS_MAIN(TestRoomStore)
#include "tst_roomstore.moc"
