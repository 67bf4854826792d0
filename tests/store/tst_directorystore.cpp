#include "logcapture.h"
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbmtdata.h"
#include "store/dbuser.h"
#include "storefixture.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QtTest>

namespace {

constexpr qint64 kOwn = 1;

QJsonObject user(int id, const QString& name, const QString& state)
{
    const QString t = "/t/" + name, i = "/i/" + name;
    return {{"userId", id}, {"userName", name}, {"thumbUrl", t}, {"imageUrl", i}, {"state", state}};
}

QJsonObject group(int id, const QString& state)
{
    return {{"grpId", id}, {"grpName", QStringLiteral("G%1").arg(id)}, {"state", state}};
}

QJsonObject member(int groupId, int userId, const QString& state)
{
    return {{"grpId", groupId}, {"userId", userId}, {"mbrStatus", "1"}, {"state", state}};
}

QStringList names(const QList<DBUser>& users)
{
    QStringList out;
    for (const DBUser& u : users)
        out << u.userName();
    return out;
}

// The directory of the list tests (own user 1) and two groups; user_sort is text: "" < "0" < "1" <
// "10" < "5"...
void fillDirectory(StoreFixture& store)
{
    const QList<std::tuple<int, const char*, const char*>> users = {
        {1, "Own", "1"},      {2, "Kim", "9"},     {3, "Lee", "10"},     {4, "Park", ""},
        {5, "O'Brien", "10"}, {6, "Deleted", "0"}, {7, "50% Choi", "5"}, {8, "500 Jung", "5"},
        {9, "Han_Ra", "7"},   {10, "HanXRa", "7"}};
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

// The server options as the account holds them.
struct Options
{
    bool fileSave = false;
    bool serverHistory = false;
    bool operator==(const Options& o) const
    {
        return fileSave == o.fileSave && serverHistory == o.serverHistory;
    }
};

// What a directory cache leaves in the account values.
struct CachedAccount
{
    QString lastCacheTime, userName, thumbUrl, imageUrl;
    Options options;
    bool operator==(const CachedAccount& o) const
    {
        return lastCacheTime == o.lastCacheTime && userName == o.userName &&
               thumbUrl == o.thumbUrl && imageUrl == o.imageUrl && options == o.options;
    }
};

char* toString(const CachedAccount& a)
{
    return qstrdup(QStringLiteral("{lastCacheTime=%1 userName=\"%2\" thumbUrl=\"%3\" "
                                  "imageUrl=\"%4\" fileSave=%5 serverHistory=%6}")
                       .arg(a.lastCacheTime, a.userName, a.thumbUrl, a.imageUrl)
                       .arg(a.options.fileSave)
                       .arg(a.options.serverHistory)
                       .toUtf8()
                       .constData());
}

CachedAccount cachedAccount(const DBMTData& d)
{
    return {d.lastCacheTime(),
            d.userName(),
            d.thumbUrl(),
            d.imageUrl(),
            {d.fileSaveOption(), d.serverHistoryOption()}};
}

// The same values as the table holds them.
CachedAccount storedAccount(DBManager& db)
{
    QMap<int, QString> stored;
    for (const KeyValue& row : keyValueRows(db.database()))
        stored.insert(row.key, row.value);
    return {stored.value(DBMTData::KeyLastCacheTime),
            stored.value(DBMTData::KeyUserName),
            stored.value(DBMTData::KeyThumbUrl),
            stored.value(DBMTData::KeyImageUrl),
            {stored.value(DBMTData::KeyFileSaveOption) == QLatin1String("1"),
             stored.value(DBMTData::KeyServerHistoryOption) == QLatin1String("1")}};
}

// One of the user-list operations on a list that holds one user already; the size it returns.
int runUserList(DBManager& db, const QString& operation, QList<DBUser>& list, int limit, int offset,
                const QString& text)
{
    const QStringList ids = text.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    if (operation == QLatin1String("select"))
        return db.selectUserList(list, kOwn);
    if (operation == QLatin1String("limit"))
        return db.selectUserListLimit(list, kOwn, limit, offset);
    if (operation == QLatin1String("all"))
        return db.userList(list);
    if (operation == QLatin1String("users"))
        return db.users(list, ids);
    if (operation == QLatin1String("without"))
        return db.usersWithoutChattallow(list, ids);
    if (operation == QLatin1String("group"))
        return db.groupUserList(list, 20, limit);
    return db.searchUserList(list, kOwn, text, limit, offset);
}

} // namespace

Q_DECLARE_METATYPE(Options)
Q_DECLARE_METATYPE(QList<SqlRow>)

class TestDirectoryStore : public QObject
{
    Q_OBJECT
    std::unique_ptr<LogCapture> m_log;

private slots:
    void initTestCase() { m_log = std::make_unique<LogCapture>(); }
    void init() { m_log->clear(); }

    void batchCache_data()
    {
        QTest::addColumn<QStringList>("earlier"); // rows of an earlier cache, and its time
        QTest::addColumn<QString>("earlierTime");
        QTest::addColumn<QStringList>("groups"); // group_id
        QTest::addColumn<QList<SqlRow>>("members");
        // Options 330 (file saving: on unless 0) and 950 (server history: on only with 1), each
        // row flipping both from the opposite values; other codes are ignored.
        QTest::addColumn<QList<int>>("options"); // 330's value, 950's value
        QTest::addColumn<Options>("optionsAfter");

        // The same response in both modes: the own user 1 and user 2 changed, 3 deleted, 4 new;
        // group 10 deleted, 11 with an unknown letter, 12 new; membership 10/2 deleted, 11/3
        // changed, 12/4 new.
        const QStringList membership{"group_id", "user_id"};
        const QStringList earlier{
            "INSERT INTO TTT_USER (user_id, user_name) VALUES (1, 'Own'), (2, 'Kim'), (3, 'Lee')",
            "INSERT INTO TTT_GROUP (group_id) VALUES (10), (11)",
            "INSERT INTO TTT_USER_GROUP (group_id, user_id, state) VALUES (10, 2, 1), (10, 3, 1), "
            "(11, 3, 0)"};
        QTest::newRow("first cache: nothing deleted is written, deleted users stay")
            << QStringList() << QString() << QStringList{"11", "12"}
            << rowsOf(membership, {{"11", "3"}, {"12", "4"}}) << QList<int>{0, 1}
            << Options{false, true};
        QTest::newRow("incremental: D and unknown letters remove groups and memberships")
            << earlier << "20240101000000" << QStringList{"12"}
            << rowsOf(membership, {{"10", "3"}, {"11", "3"}, {"12", "4"}}) << QList<int>{2, 2}
            << Options{true, false};
    }

    void batchCache()
    {
        QFETCH(QStringList, earlier);
        QFETCH(QString, earlierTime);
        QFETCH(QStringList, groups);
        QFETCH(QList<SqlRow>, members);
        QFETCH(QList<int>, options);
        QFETCH(Options, optionsAfter);

        StoreFixture store("Veltri_cache");
        DBMTData account(&store.db());
        DBEditor editor;
        account.setUserId(editor, kOwn);
        account.setFileSaveOption(editor, !optionsAfter.fileSave);
        account.setServerHistoryOption(editor, !optionsAfter.serverHistory);
        for (const QString& sql : earlier)
            QVERIFY(store.exec(sql));
        account.setLastCacheTime(editor, earlierTime);
        QVERIFY(account.applyCommit(editor));
        m_log->clear();
        const auto option = [](int code, int value) {
            return QJsonObject{{"optCode", QString::number(code)},
                               {"optValue", QString::number(value)}};
        };
        const QJsonObject response{
            {"updDatetime", "20240601120000"},
            {"users", QJsonArray{user(1, "Own New", "U"), user(2, "Kim2", "U"), user(3, "Lee", "D"),
                                 user(4, "Park", "I"), user(0, "Nobody", "I")}},
            {"groups", QJsonArray{group(10, "D"), group(11, "X"), group(12, "I")}},
            {"groupMembers",
             QJsonArray{member(10, 2, "D"), member(11, 3, "U"), member(12, 4, "I")}},
            {"custOpts",
             QJsonArray{option(330, options.at(0)), option(950, options.at(1)), option(331, 1)}},
        };
        QVERIFY(store.db().batchCache(account, response));

        QCOMPARE(
            store.table("SELECT user_id, user_name, user_state FROM TTT_USER ORDER BY user_id"),
            rowsOf({"user_id", "user_name", "user_state"}, {{"1", "Own New", "1"},
                                                            {"2", "Kim2", "1"},
                                                            {"3", "Lee", "0"},
                                                            {"4", "Park", "1"}}));
        QCOMPARE(store.rows("SELECT group_id FROM TTT_GROUP ORDER BY group_id"), groups);
        QCOMPARE(store.table("SELECT group_id, user_id FROM TTT_USER_GROUP ORDER BY 1, 2"),
                 members);
        // The user without an id was refused, the others written all the same.
        QCOMPARE(
            m_log->lines("DBUser::insertOrUpdate - user_id is 0"),
            QStringList{"DBUser::insertOrUpdate - user_id is 0, It's not allow to insertOrUpdate "
                        "!!!!!!!!!!!!"});
        // The time advances; the own name and pictures and the options are refreshed in the
        // account values and the stored ones.
        const CachedAccount expected{"20240601120000", "Own New", "/t/Own New", "/i/Own New",
                                     optionsAfter};
        QCOMPARE(cachedAccount(account), expected);
        QCOMPARE(storedAccount(store.db()), expected);
    }

    // The rows are committed but the own name cannot be written: the cache reports failure and
    // keeps its time, so the next cache brings the same changes again.
    void ownValuesThatCannotBeWritten()
    {
        StoreFixture store("Veltri_cache");
        DBMTData account(&store.db());
        DBEditor editor;
        account.setUserId(editor, kOwn);
        QVERIFY(account.applyCommit(editor));
        QVERIFY(store.exec("CREATE TRIGGER refuse_name BEFORE INSERT ON TTT_MTDATA WHEN NEW.key "
                           "= 3 BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        const QJsonObject response{{"updDatetime", "20240601120000"},
                                   {"users", QJsonArray{user(1, "Own New", "U")}}};
        QVERIFY(!store.db().batchCache(account, response));
        const CachedAccount unchanged{
            "19700101000000", "", "/t/Own New", "/i/Own New", {true, false}};
        QCOMPARE(cachedAccount(account), unchanged);
        QCOMPARE(store.rows("SELECT user_name FROM TTT_USER"), QStringList{"Own New"});
        QCOMPARE(m_log->lines("DBManager::batchCache - not complete").size(), 1);
    }

    void lastCacheTime()
    {
        StoreFixture store("Veltri_cache");
        {
            DBMTData account(&store.db());
            const QJsonObject response{{"updDatetime", "20240601120000"},
                                       {"users", QJsonArray{user(2, "Kim", "I")}}};
            // Another connection holds the write lock longer than the store waits for it: the cache
            // fails, and says so, without advancing the time.
            QSqlDatabase blocker = QSqlDatabase::addDatabase("SQLITECIPHER", "blocker");
            blocker.setDatabaseName(store.file());
            blocker.setPassword(QString::fromLatin1(DBManager::kPassword));
            QVERIFY(blocker.open());
            QVERIFY(QSqlQuery(blocker).exec("BEGIN IMMEDIATE"));
            QVERIFY(!store.db().batchCache(account, response));
            QCOMPARE(account.lastCacheTime(), "19700101000000");
            blocker.close();
            blocker = QSqlDatabase();
            QSqlDatabase::removeDatabase("blocker");
            QCOMPARE(store.number("SELECT count(*) FROM TTT_USER"), 0);
            QCOMPARE(DBMTData(&store.db()).lastCacheTime(), "19700101000000");

            // Once the lock is gone the same response is stored and the time advances.
            QVERIFY(store.db().batchCache(account, response));
            QCOMPARE(account.lastCacheTime(), "20240601120000");
            QCOMPARE(store.number("SELECT count(*) FROM TTT_USER"), 1);
            // Without a time stamp the stored time becomes empty, which reads as none...
            QVERIFY(store.db().batchCache(account, QJsonObject{{"users", QJsonArray{}}}));
            QCOMPARE(store.rows("SELECT value FROM TTT_MTDATA WHERE key=8"),
                     QStringList{QString()});
            QCOMPARE(account.lastCacheTime(), "19700101000000");
        }
        // ...in a later session too, so the next cache is a whole one again.
        store.reopen();
        DBMTData account(&store.db());
        QCOMPARE(account.lastCacheTime(), "19700101000000");
        m_log->clear();
        store.db().batchCache(account, QJsonObject{{"updDatetime", "20240701000000"}});
        QCOMPARE(m_log->lines("DBManager::batchCache - isFirstCache is true").size(), 1);
    }

    void userLists_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("limit"); // for groupUserList: the user left out
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("text");         // for users: the ids, "|" between them
        QTest::addColumn<QStringList>("expected"); // after a list that held "Held"

        const QStringList byOrder{"Park",     "Lee",    "O'Brien", "50% Choi",
                                  "500 Jung", "HanXRa", "Han_Ra",  "Kim"};
        QTest::newRow("selectUserList: active, not own, appended")
            << "select" << 0 << 0 << "" << QStringList{"Held"} + byOrder;
        QTest::newRow("selectUserListLimit: by name, paged")
            << "limit" << 3 << 2 << "" << QStringList{"Held", "HanXRa", "Han_Ra", "Kim"};
        QTest::newRow("userList: everyone, emptied first")
            << "all" << 0 << 0 << ""
            << QStringList{"Own",     "Kim",      "Lee",      "Park",   "O'Brien",
                           "Deleted", "50% Choi", "500 Jung", "Han_Ra", "HanXRa"};
        QTest::newRow("search: empty text lists every active user but the own")
            << "search" << 100 << 0 << "" << byOrder;
        QTest::newRow("search: percent")
            << "search" << 100 << 0 << "50%" << QStringList{"50% Choi"};
        QTest::newRow("search: underscore") << "search" << 100 << 0 << "_" << QStringList{"Han_Ra"};
        QTest::newRow("search: quote") << "search" << 100 << 0 << "'" << QStringList{"O'Brien"};
        QTest::newRow("search: any case, paged")
            << "search" << 1 << 1 << "HAN" << QStringList{"Han_Ra"};
        // By user_sort, then by name descending; deleted users included.
        QTest::newRow("users: several") << "users" << 0 << 0 << "2|3|5|6"
                                        << QStringList{"Held", "Deleted", "O'Brien", "Lee", "Kim"};
        QTest::newRow("users: empty list") << "users" << 0 << 0 << "" << QStringList{"Held"};
        QTest::newRow("users: only integers reach the statement")
            << "users" << 0 << 0 << "2|3) OR (1=1| 3 ||x|99" << QStringList{"Held", "Lee", "Kim"};
        QTest::newRow("usersWithoutChattallow")
            << "without" << 0 << 0 << "2|3) OR (1=1|3" << QStringList{"Held", "Lee", "Kim"};
        // Group 20: Kim, Lee, O'Brien active; Park's membership inactive; Deleted is deleted.
        QTest::newRow("groupUserList: active members who are active users")
            << "group" << 99 << 0 << "" << QStringList{"Held", "Lee", "O'Brien", "Kim"};
        QTest::newRow("groupUserList leaves out the given user")
            << "group" << 3 << 0 << "" << QStringList{"Held", "O'Brien", "Kim"};
    }

    void userLists()
    {
        QFETCH(QString, operation);
        QFETCH(int, limit);
        QFETCH(int, offset);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        StoreFixture store;
        fillDirectory(store);
        DBManager& db = store.db();
        DBUser held;
        held.setUserName("Held");
        QList<DBUser> list{held};
        const int size = runUserList(db, operation, list, limit, offset, text);
        QCOMPARE(names(list), expected);
        QCOMPARE(size, expected.size());
    }

    void lookupsAndOwnProfile()
    {
        StoreFixture store;
        fillDirectory(store);
        DBManager& db = store.db();
        // The group list is emptied first.
        QList<DBGroup> groups{DBGroup()};
        QCOMPARE(db.groupList(groups), 2);
        QCOMPARE(GroupFields::of(groups.at(1)), (GroupFields{21, "R&D", 0, 0, 0, "", ""}));
        DBGroup group;
        QVERIFY(db.findGroup(21, group));
        QCOMPARE(group.groupName(), "R&D");
        QVERIFY(!db.findGroup(22, group));
        DBUser user;
        QVERIFY(db.findUser(5, user));
        QCOMPARE(UserFields::of(user),
                 (UserFields{5, "O'Brien", "", "", "", "", "", false, true, false, 1, ""}));
        QVERIFY(!db.findUser(99, user));
        QCOMPARE(UserFields::of(db.selectUserByUserId(6)),
                 (UserFields{6, "Deleted", "", "", "", "", "", false, true, false, 0, ""}));
        QCOMPARE(db.selectUserByUserId(99).userId(), 0);
        // A group leaves with its memberships; the other group keeps its own.
        QVERIFY(db.deleteGroup(20));
        QCOMPARE(store.rows("SELECT group_id FROM TTT_GROUP"), QStringList{"21"});
        QCOMPARE(store.table("SELECT group_id, user_id FROM TTT_USER_GROUP"),
                 rowsOf({"group_id", "user_id"}, {{"21", "3"}}));

        // Texts with quotes are values, not statement text.
        const QJsonObject profile{{"userId", 1},        {"userName", "Own O'Neil"},
                                  {"tel", "010-'1'"},   {"deptName", "R&D 'lab'"},
                                  {"thumbUrl", "/t/o"}, {"imageUrl", "/i/o"},
                                  {"telOpenYn", 1},     {"chattingAllowYn", 0},
                                  {"appInstallYn", 1}};
        QVERIFY(store.db().updateMyProfile(profile));
        DBUser own;
        QVERIFY(db.findUser(1, own));
        QCOMPARE(UserFields::of(own), (UserFields{1, "Own O'Neil", "010-'1'", "", "R&D 'lab'",
                                                  "/t/o", "/i/o", true, false, true, 1, ""}));
        QCOMPARE(store.number("SELECT COUNT(*) FROM TTT_USER WHERE user_name LIKE 'Own%'"), 1);
        QVERIFY(store.db().removeMyProfilePicture(1));
        QCOMPARE(store.table("SELECT thumb_url, image_url FROM TTT_USER WHERE user_id=1"),
                 rowsOf({"thumb_url", "image_url"}, {{"NULL", "NULL"}}));
    }
};

QTEST_GUILESS_MAIN(TestDirectoryStore)
#include "tst_directorystore.moc"
