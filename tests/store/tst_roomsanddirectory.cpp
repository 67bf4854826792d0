#include "store/dbchatroom.h"
#include "store/dbdirectoryrow.h"
#include "store/dbmanager.h"
#include "store/dbmtdata.h"
#include "store/dbsql.h"
#include "store/dbuser.h"
#include "storefixture.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

#include <string_view>

// One row of the room list as the window shows it. Outside the unnamed namespace: a lambda of
// the test object keeps them.
struct ListedRoom
{
    QString topic;
    qint64 sortTime = 0; // the newest chat's time, or the room's update_date without chats
    QString roomName, lastMessage;
    MT_TYPED(ListedRoom, topic, sortTime, roomName, lastMessage)
};

namespace {

QList<ListedRoom> listed(const QList<DBChatRoom>& rooms)
{
    QList<ListedRoom> rows;
    for (const DBChatRoom& r : rooms)
        rows << ListedRoom{r.topic(), r.regDatetime() ? r.regDatetime() : r.updateDate(),
                           r.roomName(), r.lastMessage()};
    return rows;
}

QList<ListedRoom> listedRooms(DBManager& db)
{
    QList<DBChatRoom> rooms;
    db.chatRoomList(rooms);
    return listed(rooms);
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
                     {"grpId", 77}, // read for group rooms alone
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

constexpr qint64 kOwn = 1;

QJsonObject user(int id, const QString& name, const QString& state)
{
    return {
        {"userId", id}, {"userName", name}, {"thumbUrl", QString("/t/" + name)}, {"state", state}};
}

QJsonObject entry(int id, int userId, const QString& state)
{
    return {{"grpId", id}, {"userId", userId}, {"mbrStatus", "1"}, {"state", state}};
}

// What a directory cache leaves in the account values, in memory and on disk.
struct CachedAccount
{
    QString lastCacheTime, userName, thumbUrl;
    bool fileSave = false, serverHistory = false;
    MT_TYPED(CachedAccount, lastCacheTime, userName, thumbUrl, fileSave, serverHistory)
    static CachedAccount of(const DBMTData& d)
    {
        return {d.lastCacheTime(), d.userName(), d.thumbUrl(), d.fileSaveOption(),
                d.serverHistoryOption()};
    }
};

struct CacheRow
{
    QString earlierTime; // empty: the first cache
    Rows groups, members;
    QList<int> options; // values of 330 (file saving: on unless 0) and 950 (history: on with 1)
    CachedAccount expected;
};

// A person as the directory read hands them over.
struct Listed
{
    qint64 userId = 0;
    QString userName, deptName, thumbUrl;
    int chattAllow = 0, appInstall = 0;
    MT_TYPED(Listed, userId, userName, deptName, thumbUrl, chattAllow, appInstall)
};

// The people of the directory read, in the listing order it gives.
QList<Listed> listed(DBManager& db)
{
    const auto text = [](std::string_view t) { return QString::fromUtf8(t.data(), int(t.size())); };
    QList<Listed> visited;
    QVector<int> order;
    const bool read = db.visitDirectory(
        kOwn,
        [&](const DBDirectoryRow& r) {
            visited << Listed{r.userId,         text(r.userName),  text(r.deptName),
                              text(r.thumbUrl), int(r.chattAllow), int(r.appInstall)};
        },
        order);
    QList<Listed> out;
    for (int i : qAsConst(order))
        out << visited.value(i);
    return read ? out : QList<Listed>{};
}

// A row of TTT_USER: user_sort as bound (a null QVariant is NULL, a QByteArray a blob).
struct DirectoryUser
{
    qint64 userId = 0;
    QString userName;
    QVariant userSort;
    int userState = 1;
};

// The directory of the list tests (own user 1) and two groups; user_sort is text.
void fillDirectory(StoreFixture& store)
{
    const QList<std::tuple<int, const char*, const char*>> users = {
        {1, "Own", "1"}, {2, "Kim", "9"},      {3, "Lee", "10"},
        {4, "Park", ""}, {5, "O'Brien", "10"}, {6, "Deleted", "0"}};
    for (const auto& [id, name, sort] : users)
        store.addUser(id, QString::fromUtf8(name), QString::fromUtf8(sort), id == 6 ? 0 : 1);
    // Group 20: Kim, Lee, O'Brien and Deleted, Park's membership inactive; group 21: Lee.
    store.addGroup(20, "Sales");
    store.addGroup(21, "R&D");
    for (int id : {2, 3, 5, 6})
        store.addMembership(20, id);
    store.addMembership(20, 4, 0);
    store.addMembership(21, 3);
}

QStringList names(const QList<DBUser>& users)
{
    QStringList out;
    for (const DBUser& u : users)
        out << u.userName();
    return out;
}

} // namespace

using Fill = std::function<void(StoreFixture&)>;
Q_DECLARE_METATYPE(Fill)
Q_DECLARE_METATYPE(SyncRow)
Q_DECLARE_METATYPE(CacheRow)
Q_DECLARE_METATYPE(QList<DirectoryUser>)

// The server's room list and directory merged into the store, and what the windows read back.
class TestRoomsAndDirectory : public QObject
{
    Q_OBJECT

private slots:
    // By the newest chat's time, else update_date; a room goes with its chats and readers alone.
    // Records keep the names of their read: they outlive the connection that read them (a
    // worker's), and a name looked up later would use that connection.
    void roomListAndDeletions()
    {
        QList<DBChatRoom> rooms;
        DBChatRoom group;
        {
            StoreFixture store;
            store.addUser(2, "Lee");
            store.addGroup(5, "Sales");
            store.addRoom("chat/1", 20, "2", 100);
            store.addChat("chat/1", "a", 2, 50, 1, 1, "old");
            store.addChat("chat/1", "b", 2, 500, 1, 1, "hello");
            store.addRoom("chat/3", 20, "5", 700); // a person whose id is the group's
            store.addChat("chat/3", "d", 3, 60);
            store.addReader("chat/3", "d", 2, 60);
            store.addRoom("chat/4", 10, "5", 0);
            store.addChat("chat/4", "c", 2, 600, 1, 1, "t");
            store.addReader("chat/4", "c", 3, 600);
            DBManager& db = store.db();
            QVERIFY(db.chatRoomList(rooms) == 3 && db.findGroupChatRoom(5, group));

            QVERIFY(db.deleteChatRoom("chat/4"));
            // Deleting the conversation leaves the room listed with an empty last message.
            QVERIFY(db.deleteChatMessage("chat/3"));
            QCOMPARE(listedRooms(db).constFirst(),
                     (ListedRoom{"chat/3", 700, DBChatRoom::unknownName(), ""}));
            QCOMPARE(store.column(kAllTopics),
                     (QStringList{"chat/1", "chat/3", "chat/1", "chat/1", "chat/3"}));
        }
        QCOMPARE(listed(rooms),
                 (QList<ListedRoom>{{"chat/4", 600, "Sales", "t"},
                                    {"chat/1", 500, "Lee", "hello"},
                                    {"chat/3", 60, DBChatRoom::unknownName(), "hi"}}));
        QCOMPARE(listed({group}), (QList<ListedRoom>{{"chat/4", 0, "Sales", ""}}));
    }

    // Names are read some hundreds of ids per statement: every stored user asked for comes back
    // with its name, whatever the count, and the ids the directory lacks are left out.
    void userNamesInBatches_data()
    {
        QTest::addColumn<int>("asked");  // users 1 to asked
        QTest::addColumn<int>("stored"); // users 1 to stored are in the directory
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("one missing") << 1 << 0;
        QTest::newRow("over a thousand, the last missing") << 1100 << 1030;
    }
    void userNamesInBatches()
    {
        QFETCH(int, asked);
        QFETCH(int, stored);
        StoreFixture store;
        QHash<qint64, QString> expected;
        QVERIFY(store.exec("BEGIN"));
        for (int id = 1; id <= stored; ++id) {
            store.addUser(id, QStringLiteral("User %1").arg(id));
            expected.insert(id, QStringLiteral("User %1").arg(id));
        }
        QVERIFY(store.exec("COMMIT"));
        QSet<qint64> ids;
        for (int id = 1; id <= asked; ++id)
            ids.insert(id);
        QCOMPARE(DBSql::userNames(&store.db(), ids), expected);
    }

    // The last delete fails: the others are undone; a caller's transaction and write stay.
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

    // Before: chat/1 (20,"5"), chat/2 (30,"5,6"), chat/3 (20,"6"), each with a chat and a reader.
    // A refused answer or a failed write leaves every room, chat and user as it was.
    void syncChatRoomList_data()
    {
        QTest::addColumn<SyncRow>("row");
        using R = DBManager::SyncResult;
        const QStringList room1{"chat/1", "20", "5", "100"}, room2{"chat/2", "30", "5,6", "100"},
            room3{"chat/3", "20", "6", "100"}, room4{"chat/4", "10", "77", "999"};
        const QStringList all{"chat/1", "chat/2", "chat/3"};
        const SyncOutcome unchanged{R::Failed, {{room1, room2, room3}}, all + all, 0, false};
        const QJsonObject same1 = serverRoom(1, 20, {1, 5});
        const QJsonObject same3 = serverRoom(3, 20, {6, 1});
        const QJsonObject changed =
            list(QJsonArray{serverRoom(1, 20, {1}, 5), serverRoom(2, 30, {5, 6, 8}), same3});
        const QJsonObject newAndMissing = list(QJsonArray{same1, same3, serverRoom(4, 10, {1, 9})});
        const QStringList left1{"chat/1", "40", "5", "100"}, grown2{"chat/2", "30", "5,6,8", "100"};
        const QStringList kept{"chat/1", "chat/3", "chat/1", "chat/3"};

        QTest::newRow("equal") << SyncRow{
            list(QJsonArray{same1, serverRoom(2, 30, {5, 1, 6}), same3}),
            {},
            {R::Unchanged, unchanged.rooms, all + all, 0, false}};
        QTest::newRow("members and type change, dates stay")
            << SyncRow{changed, {}, {R::Changed, {{left1, grown2, room3}}, all + all, 1, false}};
        QTest::newRow("new and missing rooms, the missing with their chats")
            << SyncRow{newAndMissing, {}, {R::Changed, {{room1, room3, room4}}, kept, 0, false}};
        QTest::newRow("no list") << SyncRow{{{"rooms", QJsonArray{}}}, {}, unchanged};
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
        for (const QString& topic : QStringList{"chat/1", "chat/2", "chat/3"}) {
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
    // Into a store without rooms or chats, the list is given before the rows are written, as it
    // reads back once they are: ties of update time, a topic listed twice, a group room, a room
    // left by its other member and a member the directory does not know. Over stored rooms or
    // chats the list read back holds what they add: none is given ahead.
    void listShownAhead_data()
    {
        QTest::addColumn<Fill>("stored");
        QTest::addColumn<int>("givenAhead"); // lists given, each the one read back
        QTest::newRow("nothing stored") << Fill([](StoreFixture&) {}) << 1;
        QTest::newRow("a room") << Fill([](StoreFixture& s) { s.addRoom("chat/9", 20, "2", 1); })
                                << 0;
        QTest::newRow("a chat without its room")
            << Fill([](StoreFixture& s) { s.addChat("chat/9", "m9", 2, 1); }) << 0;
    }
    void listShownAhead()
    {
        QFETCH(Fill, stored);
        QFETCH(int, givenAhead);
        StoreFixture store("Veltri_chatrooms");
        fillDirectory(store);
        stored(store);
        QJsonObject group = serverRoom(4, 10, {});
        group["grpId"] = 20;
        QJsonObject older = serverRoom(3, 20, {1, 9});
        older["updDatetime"] = "500";
        const QJsonArray rooms{serverRoom(2, 30, {1, 2, 3}), group, older,
                               serverRoom(5, 20, {1}, 2), serverRoom(2, 30, {1, 3})};
        QList<QList<ListedRoom>> shown;
        store.db().syncChatRoomList(list(rooms), kOwn, [&shown](const QList<DBChatRoom>& given) {
            shown << listed(given);
        });
        QCOMPARE(shown, QVector<QList<ListedRoom>>(givenAhead, listedRooms(store.db())).toList());
    }

    // One response in both modes: users changed, deleted, new, id-less; groups and memberships
    // deleted (D), unknown letter, new; each row flips the options from the opposite values.
    void batchCache_data()
    {
        QTest::addColumn<CacheRow>("row");
        QTest::newRow("first cache: nothing deleted is removed")
            << CacheRow{{},
                        {{{"10"}, {"11"}, {"12"}}},
                        {{{"10", "2"}, {"10", "3"}, {"11", "3"}, {"12", "4"}}},
                        {0, 1},
                        {"20240601120000", "Own New", "/t/Own New", false, true}};
        QTest::newRow("incremental: D and unknown letters remove groups and memberships")
            << CacheRow{"20240101000000",
                        {{{"12"}}},
                        {{{"10", "3"}, {"11", "3"}, {"12", "4"}}},
                        {2, 2},
                        {"20240601120000", "Own New", "/t/Own New", true, false}};
    }

    void batchCache()
    {
        QFETCH(CacheRow, row);
        StoreFixture store("Veltri_cache");
        DBMTData account(&store.db());
        DBEditor editor;
        account.setUserId(editor, kOwn);
        account.setFileSaveOption(editor, !row.expected.fileSave);
        account.setServerHistoryOption(editor, !row.expected.serverHistory);
        account.setLastCacheTime(editor,
                                 row.earlierTime.isEmpty() ? "19700101000000" : row.earlierTime);
        QVERIFY(account.applyCommit(editor));
        QVERIFY(store.exec("INSERT INTO TTT_USER (user_id, user_name) VALUES (1, 'Own'), (2, "
                           "'Kim'), (3, 'Lee')"));
        QVERIFY(store.exec("INSERT INTO TTT_GROUP (group_id) VALUES (10), (11)"));
        QVERIFY(store.exec("INSERT INTO TTT_USER_GROUP (group_id, user_id, state) VALUES (10, 2, "
                           "1), (10, 3, 1), (11, 3, 0)"));
        const auto option = [](int code, int value) {
            return QJsonObject{{"optCode", QString::number(code)},
                               {"optValue", QString::number(value)}};
        };
        const QJsonObject response{
            {"updDatetime", "20240601120000"},
            {"users", QJsonArray{user(1, "Own New", "U"), user(2, "Kim2", "U"), user(3, "Lee", "D"),
                                 user(4, "Park", "I"), user(0, "Nobody", "I")}},
            {"groups", QJsonArray{entry(10, 0, "D"), entry(11, 0, "X"), entry(12, 0, "I")}},
            {"groupMembers", QJsonArray{entry(10, 2, "D"), entry(11, 3, "U"), entry(12, 4, "I")}},
            {"custOpts", QJsonArray{option(330, row.options.at(0)), option(950, row.options.at(1)),
                                    option(331, 1)}}};
        QVERIFY(store.db().batchCache(account, response));
        // The first cache starts over; users are never removed, a deleted one is marked.
        QCOMPARE(store.table("SELECT user_id, user_name, user_state FROM TTT_USER ORDER BY 1"),
                 (Rows{{{"1", "Own New", "1"},
                        {"2", "Kim2", "1"},
                        {"3", "Lee", "0"},
                        {"4", "Park", "1"}}}));
        QCOMPARE(store.table("SELECT group_id FROM TTT_GROUP ORDER BY 1"), row.groups);
        QCOMPARE(store.table("SELECT group_id, user_id FROM TTT_USER_GROUP ORDER BY 1, 2"),
                 row.members);
        QCOMPARE(CachedAccount::of(account), row.expected);
        QCOMPARE(CachedAccount::of(DBMTData(&store.db())), row.expected);
    }

    // A cache that cannot be stored (a row refused, own name refused) keeps its time, and nothing
    // of it is kept.
    void cacheThatCannotBeStored()
    {
        StoreFixture store("Veltri_cache");
        DBMTData account(&store.db());
        DBEditor editor;
        account.setUserId(editor, kOwn);
        QVERIFY(account.applyCommit(editor));
        const QJsonObject response{{"updDatetime", "20240601120000"},
                                   {"users", QJsonArray{user(1, "Own New", "U")}}};
        const CachedAccount unchanged{"19700101000000", "", "", true, false};
        store.refuse("INSERT", "TTT_USER", "NEW.user_id = 2");
        QVERIFY(!store.db().batchCache(
            account, {{"updDatetime", "20240601120000"},
                      {"users", QJsonArray{user(5, "Kim", "U"), user(2, "Lee", "U")}}}));
        QCOMPARE(store.column("SELECT user_name FROM TTT_USER"), QStringList{});
        QCOMPARE(CachedAccount::of(account), unchanged);
        QCOMPARE(CachedAccount::of(DBMTData(&store.db())), unchanged);

        store.refuse("INSERT", "TTT_MTDATA", "NEW.key = 3");
        QVERIFY(!store.db().batchCache(account, response));
        QCOMPARE(CachedAccount::of(account),
                 (CachedAccount{"19700101000000", "", "/t/Own New", true, false}));
        QCOMPARE(CachedAccount::of(DBMTData(&store.db())).lastCacheTime, "19700101000000");
        QCOMPARE(store.column("SELECT user_name FROM TTT_USER"), QStringList{"Own New"});
    }

    // However the cache orders its writes, the later of two entries for one membership decides.
    void membershipEntriesApplyInAnswerOrder()
    {
        StoreFixture store("Veltri_cacheorder");
        DBMTData account(&store.db());
        DBEditor editor;
        account.setLastCacheTime(editor, "20240101000000");
        QVERIFY(account.applyCommit(editor));
        QJsonArray members{entry(11, 7, "I"), entry(11, 8, "D")};
        // Enough entries of the same group in between that an order which does not keep equal
        // groups as they came would mix the two entries of a pair.
        for (int user = 100; user < 140; ++user)
            members.append(entry(11, user, "I"));
        members.append(entry(11, 7, "D"));
        members.append(entry(11, 8, "I"));
        members.append(entry(10, 2, "I"));
        QVERIFY(store.db().batchCache(
            account, {{"updDatetime", "20240601120000"}, {"groupMembers", members}}));
        QCOMPARE(store.table("SELECT group_id, user_id FROM TTT_USER_GROUP WHERE user_id < 100 "
                             "ORDER BY 1, 2"),
                 (Rows{{{"10", "2"}, {"11", "8"}}}));
    }

    // The read sorts what SQLite would: the same people in the order of the statement's own
    // ORDER BY, and each column as stored.
    void directoryListing_data()
    {
        QTest::addColumn<QList<DirectoryUser>>("users");
        const QVariant null;
        QTest::newRow("storage classes: NULL, then text, then a blob")
            << QList<DirectoryUser>{{2, "Blob", QByteArray("\x01")},
                                    {3, "Text", "5"},
                                    {4, "Null", null},
                                    {5, "Empty", ""},
                                    {6, "Null too", null}};
        QTest::newRow("text, not numbers; the own user and inactive users left out")
            << QList<DirectoryUser>{{kOwn, "Own", "0"}, {2, "Nine", "9"},      {3, "Ten", "10"},
                                    {4, "One", "1"},    {5, "Hundred", "100"}, {6, "Gone", "0", 0},
                                    {7, "Zero", "0"}};
        QTest::newRow("one user_sort: names byte for byte, UTF-8 order") << QList<DirectoryUser>{
            {2, "Kim", "7"},           {3, "kim", "7"},         {4, "Kimberly", "7"},
            {5, "김민수", "7"},        {6, "Émile", "7"},       {7, "Zed", "7"},
            {8, "Alexandra B", "7"},   {9, "Alexandra A", "7"}, {10, "Alexandr", "7"},
            {11, "\U0001D49Cbc", "7"}, {12, "\uFF21bc", "7"},   {13, "", "7"}};
        QTest::newRow("long texts that share their first bytes")
            << QList<DirectoryUser>{{2, "A", "12345678"},
                                    {3, "B", "1234567"},
                                    {4, "C", "123456789"},
                                    {5, "D", "12345670"},
                                    {6, "E", "1234567é"},
                                    {7, "F", "1234567"},
                                    {8, "Same start and a longer name", "1234567"},
                                    {9, "Same start and a longer nam", "1234567"}};
    }
    void directoryListing()
    {
        QFETCH(QList<DirectoryUser>, users);
        StoreFixture store("Veltri_listing");
        for (const DirectoryUser& u : users) {
            QVERIFY(store.exec("INSERT INTO TTT_USER (user_id, user_name, user_sort, user_state, "
                               "dept_name, thumb_url, chatt_allow, app_install) VALUES (?, ?, ?, "
                               "?, ?, ?, ?, ?)",
                               {u.userId, u.userName, u.userSort, u.userState,
                                QString("Dept %1").arg(u.userId % 3),
                                QString("/files/thumb/%1.png").arg(u.userId), int(u.userId % 2),
                                int(u.userId % 3 != 0)}));
        }
        QCOMPARE(listed(store.db()),
                 store.rows<Listed>("SELECT user_id, user_name, dept_name, thumb_url, chatt_allow, "
                                    "app_install FROM TTT_USER WHERE user_id != ? AND user_state = "
                                    "1 ORDER BY user_sort ASC, user_name",
                                    {kOwn}));
    }

    // By user_sort, then by name descending.
    void userLists()
    {
        StoreFixture store;
        fillDirectory(store);
        QList<DBUser> byId, members;
        store.db().users(byId, {"2", "3) OR (1=1", " 3 ", "5", "6", "x", "99"});
        store.db().groupUserList(members, 20, 3);
        // Only integer ids reach the statement; deleted users are included.
        QCOMPARE(names(byId), (QStringList{"Deleted", "O'Brien", "Lee", "Kim"}));
        // Active members who are active users, one left out.
        QCOMPARE(names(members), (QStringList{"O'Brien", "Kim"}));
    }
};

QTEST_GUILESS_MAIN(TestRoomsAndDirectory)
#include "tst_roomsanddirectory.moc"
