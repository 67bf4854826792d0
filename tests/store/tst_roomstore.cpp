#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "storefixture.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSqlQuery>
#include <QtTest>

#include <algorithm>
#include <tuple>

namespace {

// The reference room-list statement, newest activity first with each room's newest message: the
// operation must return its rows.
const char* const kReferenceRoomList =
    "SELECT a._id, a.topic, a.type, a.members, a.create_date, a.update_date, v.sender_id, "
    "v.msg_type, v.content_type, v.content, v.reg_datetime FROM TTT_CHATT_ROOM a LEFT OUTER JOIN "
    "(SELECT b.topic, b.sender_id, b.msg_type, b.content_type, b.content, b.msg_time as "
    "reg_datetime FROM TTT_CHATT b, (SELECT topic, MAX(msg_time) as reg_datetime FROM TTT_CHATT "
    "group by topic) c WHERE b.topic=c.topic AND b.msg_time=c.reg_datetime) v "
    "ON(a.topic=v.topic) ORDER BY CASE WHEN v.reg_datetime IS NULL THEN a.update_date ELSE "
    "v.reg_datetime END desc";

// One row of the room list as the window shows it.
struct ListedRoom
{
    QString topic;
    qint64 sortTime = 0; // the newest chat's time, or the room's update_date without chats
    QString roomName = {};
    QString lastMessage = {};
    bool operator==(const ListedRoom& o) const
    {
        return topic == o.topic && sortTime == o.sortTime && roomName == o.roomName &&
               lastMessage == o.lastMessage;
    }
    bool operator<(const ListedRoom& o) const
    {
        return std::tie(topic, sortTime, roomName, lastMessage) <
               std::tie(o.topic, o.sortTime, o.roomName, o.lastMessage);
    }
};

// A row of TTT_CHATT_ROOM as stored.
struct StoredRoom
{
    QString topic;
    int type = 0;
    QString members = {};
    qint64 updateDate = 0;
    bool operator==(const StoredRoom& o) const
    {
        return topic == o.topic && type == o.type && members == o.members &&
               updateDate == o.updateDate;
    }
    static StoredRoom of(const DBChatRoom& r)
    {
        return {r.topic(), r.type(), r.members(), r.updateDate()};
    }
};

} // namespace

namespace QTest {
template <>
char* toString(const ListedRoom& r)
{
    return qstrdup(QStringLiteral("{topic=%1 sortTime=%2 roomName=\"%3\" lastMessage=\"%4\"}")
                       .arg(r.topic)
                       .arg(r.sortTime)
                       .arg(r.roomName, r.lastMessage)
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const StoredRoom& r)
{
    return qstrdup(QStringLiteral("{topic=%1 type=%2 members=%3 updateDate=%4}")
                       .arg(r.topic)
                       .arg(r.type)
                       .arg(r.members)
                       .arg(r.updateDate)
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const DBManager::SyncResult& r)
{
    const char* names[] = {"Changed", "Unchanged", "Failed"};
    return qstrdup(names[int(r)]);
}
} // namespace QTest

Q_DECLARE_METATYPE(StoredRoom)
Q_DECLARE_METATYPE(DBManager::SyncResult)

namespace {

ListedRoom describe(const DBChatRoom& r)
{
    const qint64 key = r.regDatetime() != 0 ? r.regDatetime() : r.updateDate();
    return {r.topic(), key, r.roomName(), r.lastMessage()};
}

// The statement leaves the order of rooms with equal times open: the rows are compared sorted,
// the order on its own.
QList<ListedRoom> sorted(QList<ListedRoom> rows)
{
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Each row described while its record still has the connection that names its members.
QList<ListedRoom> referenceRoomList(DBManager& db)
{
    QList<ListedRoom> rows;
    QSqlQuery query(db.database());
    const bool ran = query.exec(QString::fromLatin1(kReferenceRoomList));
    while (query.next()) {
        DBChatRoom room(&db);
        room.setFromRow(query);
        rows << describe(room);
    }
    return ran ? rows : QList<ListedRoom>{{"reference statement failed"}};
}

QList<ListedRoom> listedRooms(DBManager& db)
{
    QList<DBChatRoom> rooms;
    db.chatRoomList(rooms);
    QList<ListedRoom> rows;
    std::transform(rooms.begin(), rooms.end(), std::back_inserter(rows),
                   [](const DBChatRoom& r) { return describe(r); });
    return rows;
}

// Every stored room by topic, read by a plain statement.
QList<StoredRoom> storedRooms(DBManager& db)
{
    QSqlQuery query(db.database());
    const bool ran = query.exec(QStringLiteral(
        "SELECT topic, type, members, update_date FROM TTT_CHATT_ROOM ORDER BY topic"));
    QList<StoredRoom> rooms;
    while (query.next())
        rooms << StoredRoom{query.value(0).toString(), query.value(1).toInt(),
                            query.value(2).toString(), query.value(3).toLongLong()};
    return ran ? rooms : QList<StoredRoom>{{"statement failed"}};
}

// A trigger that makes one kind of write of one topic fail, as a full disk or a locked table
// would: the statement is refused and the transaction stays open for the caller to undo.
QString refusal(const QString& operation, const QString& table, const QString& topic)
{
    const QString row = operation == QLatin1String("INSERT") ? "NEW" : "OLD";
    return QStringLiteral("CREATE TRIGGER refuse BEFORE %1 ON %2 WHEN %3.topic = '%4' BEGIN "
                          "SELECT RAISE(ABORT, 'refused on purpose'); END")
        .arg(operation, table, row, topic);
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
        const QList<ListedRoom> mine = listedRooms(store.db());
        const QString unknown = DBChatRoom::unknownName();
        const QList<ListedRoom> expected = {{"chat/6", 600, "Lee", ""},
                                            {"chat/5", 600, "Sales", "Lee invited Park"},
                                            {"chat/4", 600, "Lee", "t"},
                                            {"chat/4", 600, "Lee", "t"},
                                            {"chat/1", 500, "Lee", "hello"},
                                            {"chat/2", 300, "Lee, " + unknown + ", Park", ""},
                                            {"chat/3", 250, "Lee, Park", unknown + " invited Park"},
                                            {"chat/7", 100, "Park", "line"}};
        QCOMPARE(mine, expected);
        QCOMPARE(sorted(mine), sorted(referenceRoomList(store.db())));
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

        DBChatRoom room;
        QVERIFY(db.findChatRoom("chat/1", room));
        QCOMPARE(StoredRoom::of(room), (StoredRoom{"chat/1", 20, "5", 40}));
        QCOMPARE(room.dbManager(), &db);
        QVERIFY(!db.findChatRoom("chat/9", room));
        QVERIFY(!db.findChatRoom({}, room));
        // A group room is found by its group id, and only a room of type 10 holding it.
        QVERIFY(db.findGroupChatRoom(77, room));
        QCOMPARE(QStringList({room.topic(), room.roomName()}), QStringList({"chat/2", "Sales"}));
        QVERIFY(!db.findGroupChatRoom(5, room));
        // A topic is a value, never part of the statement.
        QVERIFY(db.chatRoomExists("chat/3"));
        QVERIFY(!db.chatRoomExists({}));
        QVERIFY(!db.chatRoomExists("x' OR '1'='1"));
        QMap<QString, DBChatRoom> map;
        QCOMPARE(db.chatRoomList(map), 3);
        QCOMPARE(map.value("chat/3").members(), QStringLiteral("77"));

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
        QCOMPARE(listedRooms(db), (QList<ListedRoom>{{"chat/3", 60, DBChatRoom::unknownName(), ""},
                                                     {"chat/2", 50, "Sales", ""}}));
        QCOMPARE(store.rows(all), (QStringList{"chat/2", "chat/3", "chat/2"}));
    }

    void deleteChatRoomUndoesAll_data()
    {
        QTest::addColumn<QString>("table"); // whose delete of chat/1 is refused
        QTest::addColumn<bool>("inCallersTransaction");
        for (const char* table : {"TTT_CHATT_ROOM", "TTT_CHATT", "TTT_CHATT_READER"}) {
            QTest::addRow("%s refused", table) << table << false;
            QTest::addRow("%s refused in a caller's transaction", table) << table << true;
        }
    }

    void deleteChatRoomUndoesAll()
    {
        QFETCH(QString, table);
        QFETCH(bool, inCallersTransaction);

        StoreFixture store;
        store.addRoom("chat/1", 20, "5", 40);
        store.addChat("chat/1", "m1", 5, 100);
        store.addReader("chat/1", "m1", 5, 100);
        QVERIFY(store.exec(refusal("DELETE", table, "chat/1")));
        const QString all = "SELECT topic FROM TTT_CHATT_ROOM UNION ALL SELECT topic "
                            "FROM TTT_CHATT UNION ALL SELECT topic FROM TTT_CHATT_READER";
        // The caller's own write before the removal stays, and its transaction goes on.
        const QStringList begin = {"SELECT 1", "BEGIN"};
        const QStringList commit = {"SELECT 1", "COMMIT"};
        QVERIFY(store.exec(begin.at(inCallersTransaction)));
        store.addRoom("chat/2", 30, "6", 50);

        QVERIFY(!store.db().deleteChatRoom("chat/1"));
        QCOMPARE(store.db().inTransaction(), inCallersTransaction);
        QVERIFY(store.exec(commit.at(inCallersTransaction)));
        QCOMPARE(store.rows(all), (QStringList{"chat/1", "chat/2", "chat/1", "chat/1"}));
    }

    void syncChatRoomList_data()
    {
        // Local rooms before: chat/1 (20, "5"), chat/2 (30, "5,6"), chat/3 (10, "77"), each updated
        // at 100, each with a chat and a reader row. Own user id: 1.
        QTest::addColumn<QJsonObject>("server");
        QTest::addColumn<QString>("refused"); // a trigger that makes one write fail
        QTest::addColumn<DBManager::SyncResult>("result");
        QTest::addColumn<QList<StoredRoom>>("rooms"); // afterwards
        QTest::addColumn<int>("newUsers"); // members stored from the server's user objects

        using R = DBManager::SyncResult;
        const QJsonObject same1 = serverRoom(1, 20, {1, 5}, 999);
        const QJsonObject same2 = serverRoom(2, 30, {5, 1, 6}, 999);
        const QJsonObject same3 = serverRoom(3, 10, {}, 999);
        const QList<StoredRoom> before = {
            {"chat/1", 20, "5", 100}, {"chat/2", 30, "5,6", 100}, {"chat/3", 10, "77", 100}};
        const QString none = refusal("INSERT", "TTT_CHATT_ROOM", "no such room");
        auto list = [](const QJsonValue& rooms) { return QJsonObject{{"list", rooms}}; };

        QTest::newRow("equal") << list(QJsonArray{same1, same2, same3}) << none << R::Unchanged
                               << before << 0;
        const QJsonArray changed{serverRoom(1, 20, {1}, 999, 5), serverRoom(2, 30, {5, 6, 8}, 999),
                                 same3};
        QTest::newRow("members and type change, dates stay")
            << list(changed) << none << R::Changed
            << QList<StoredRoom>{{"chat/1", 40, "5", 100},
                                 {"chat/2", 30, "5,6,8", 100},
                                 {"chat/3", 10, "77", 100}}
            << 1;
        const QJsonArray newAndMissing{same1, same3, serverRoom(4, 20, {1, 9}, 555)};
        QTest::newRow("new and missing rooms") << list(newAndMissing) << none << R::Changed
                                               << QList<StoredRoom>{{"chat/1", 20, "5", 100},
                                                                    {"chat/3", 10, "77", 100},
                                                                    {"chat/4", 20, "9", 555}}
                                               << 1;
        QTest::newRow("empty server list")
            << list(QJsonArray{}) << none << R::Changed << QList<StoredRoom>{} << 0;

        // Refused answers and failed writes leave every room, chat and user as it was.
        QTest::newRow("no list") << QJsonObject{{"rooms", QJsonArray{}}} << none << R::Failed
                                 << before << 0;
        QTest::newRow("empty answer") << QJsonObject{} << none << R::Failed << before << 0;
        QTest::newRow("list not an array")
            << list(QJsonObject{{"0", same1}}) << none << R::Failed << before << 0;
        QTest::newRow("list of other values")
            << list(QJsonArray{same1, 2, same3}) << none << R::Failed << before << 0;
        QTest::newRow("list of null") << list(QJsonValue::Null) << none << R::Failed << before << 0;
        QTest::newRow("insert refused")
            << list(QJsonArray{serverRoom(1, 20, {1, 8}, 999), serverRoom(4, 20, {1, 9}, 555)})
            << refusal("INSERT", "TTT_CHATT_ROOM", "chat/4") << R::Failed << before << 0;
        QTest::newRow("update refused")
            << list(changed) << refusal("UPDATE", "TTT_CHATT_ROOM", "chat/2") << R::Failed << before
            << 0;
        for (const char* table : {"TTT_CHATT_ROOM", "TTT_CHATT", "TTT_CHATT_READER"}) {
            QTest::addRow("delete from %s refused", table)
                << list(newAndMissing) << refusal("DELETE", table, "chat/2") << R::Failed << before
                << 0;
        }
    }

    void syncChatRoomList()
    {
        QFETCH(QJsonObject, server);
        QFETCH(QString, refused);
        QFETCH(DBManager::SyncResult, result);
        QFETCH(QList<StoredRoom>, rooms);
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
        QVERIFY(store.exec(refused));
        QCOMPARE(store.db().syncChatRoomList(server, 1), result);
        QCOMPARE(storedRooms(store.db()), rooms);
        QVERIFY(!store.db().inTransaction());

        // A room that is gone takes its chats and reader rows along; the others keep theirs.
        QStringList topics;
        for (const StoredRoom& room : rooms)
            topics << room.topic;
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
