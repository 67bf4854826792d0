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

} // namespace

class TestDirectoryStore : public QObject
{
    Q_OBJECT
    std::unique_ptr<LogCapture> m_log;

private slots:
    void initTestCase() { m_log = std::make_unique<LogCapture>(); }
    void init() { m_log->clear(); }

    void batchCache_data()
    {
        QTest::addColumn<bool>("first");
        QTest::addColumn<QStringList>("groups");  // group_id
        QTest::addColumn<QStringList>("members"); // group_id|user_id
        // Options 330 (file saving: on unless 0) and 950 (server history: on only with 1), each
        // row flipping both from the opposite values; other codes are ignored.
        QTest::addColumn<QList<int>>("options"); // 330's value, 950's value
        QTest::addColumn<QString>("flags");      // keys 16 and 17 afterwards

        // The same response in both modes: the own user 1 and user 2 changed, 3 deleted, 4 new;
        // group 10 deleted, 11 with an unknown letter, 12 new; membership 10/2 deleted, 11/3
        // changed, 12/4 new.
        QTest::newRow("first cache: nothing deleted is written, deleted users stay")
            << true << QStringList{"11", "12"} << QStringList{"11|3", "12|4"} << QList<int>{0, 1}
            << "0|1";
        QTest::newRow("incremental: D and unknown letters remove groups and memberships")
            << false << QStringList{"12"} << QStringList{"10|3", "11|3", "12|4"} << QList<int>{2, 2}
            << "1|0";
    }

    void batchCache()
    {
        QFETCH(bool, first);
        QFETCH(QStringList, groups);
        QFETCH(QStringList, members);
        QFETCH(QList<int>, options);
        QFETCH(QString, flags);

        StoreFixture store("Veltri_cache");
        DBMTData account(&store.db());
        DBEditor editor;
        account.setUserId(editor, kOwn);
        account.setFileSaveOption(editor, flags.startsWith('0'));
        account.setServerHistoryOption(editor, flags.endsWith('0'));
        if (!first) {
            QVERIFY(store.exec("INSERT INTO TTT_USER (user_id, user_name) VALUES (1, 'Own'), "
                               "(2, 'Kim'), (3, 'Lee')"));
            QVERIFY(store.exec("INSERT INTO TTT_GROUP (group_id) VALUES (10), (11)"));
            QVERIFY(store.exec("INSERT INTO TTT_USER_GROUP (group_id, user_id, state) VALUES "
                               "(10, 2, 1), (10, 3, 1), (11, 3, 0)"));
            account.setLastCacheTime(editor, "20240101000000");
        }
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

        QCOMPARE(store.rows("SELECT user_id, user_name, user_state FROM TTT_USER ORDER BY user_id"),
                 (QStringList{"1|Own New|1", "2|Kim2|1", "3|Lee|0", "4|Park|1"}));
        QCOMPARE(store.rows("SELECT group_id FROM TTT_GROUP ORDER BY group_id"), groups);
        QCOMPARE(store.rows("SELECT group_id, user_id FROM TTT_USER_GROUP ORDER BY 1, 2"), members);
        // The user without an id was refused, the others written all the same.
        QCOMPARE(
            m_log->lines("DBUser::insertOrUpdate - user_id is 0"),
            QStringList{"DBUser::insertOrUpdate - user_id is 0, It's not allow to insertOrUpdate "
                        "!!!!!!!!!!!!"});
        // The time advances; the own name and pictures and the options are refreshed in the
        // account values and the stored ones.
        QCOMPARE(fields({account.lastCacheTime(), account.userName(), account.thumbUrl(),
                         account.fileSaveOption(), account.serverHistoryOption()}),
                 "20240601120000|Own New|/t/Own New|" + flags);
        QCOMPARE(store.rows("SELECT value FROM TTT_MTDATA WHERE key IN (3, 4, 5, 16, 17) ORDER BY "
                            "key"),
                 (QStringList{"Own New", "/t/Own New", "/i/Own New"} + flags.split('|')));
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
        const QStringList ids = text.isEmpty() ? QStringList() : text.split(QLatin1Char('|'));
        int size = -1;
        if (operation == QLatin1String("select"))
            size = db.selectUserList(list, kOwn);
        else if (operation == QLatin1String("limit"))
            size = db.selectUserListLimit(list, kOwn, limit, offset);
        else if (operation == QLatin1String("all"))
            size = db.userList(list);
        else if (operation == QLatin1String("users"))
            size = db.users(list, ids);
        else if (operation == QLatin1String("without"))
            size = db.usersWithoutChattallow(list, ids);
        else if (operation == QLatin1String("group"))
            size = db.groupUserList(list, 20, limit);
        else
            size = db.searchUserList(list, kOwn, text, limit, offset);
        QCOMPARE(names(list), expected);
        QCOMPARE(size, expected.size());
    }

    void lookupsAndOwnProfile()
    {
        StoreFixture store;
        fillDirectory(store);
        DBManager& db = store.db();
        // (A braced list runs its calls in order: each look-up before the record is read.)
        QList<DBGroup> groups{DBGroup()};
        DBGroup group;
        QCOMPARE(fields({db.groupList(groups), groups.at(1).groupName(), db.findGroup(21, group),
                         group.groupName(), db.findGroup(22, group)}),
                 "2|R&D|1|R&D|0");
        DBUser user;
        QCOMPARE(fields({db.findUser(5, user), user.userName(), user.chattAllow(),
                         db.findUser(99, user), db.selectUserByUserId(6).userName(),
                         db.selectUserByUserId(6).userState(), db.selectUserByUserId(99).userId()}),
                 "1|O'Brien|1|0|Deleted|0|0");
        // A group leaves with its memberships; the other group keeps its own.
        QVERIFY(db.deleteGroup(20));
        QCOMPARE(store.rows("SELECT group_id FROM TTT_GROUP UNION ALL SELECT group_id || '/' || "
                            "user_id FROM TTT_USER_GROUP"),
                 (QStringList{"21", "21/3"}));

        // Texts with quotes are values, not statement text.
        const QJsonObject profile{{"userId", 1},        {"userName", "Own O'Neil"},
                                  {"tel", "010-'1'"},   {"deptName", "R&D 'lab'"},
                                  {"thumbUrl", "/t/o"}, {"imageUrl", "/i/o"},
                                  {"telOpenYn", 1},     {"chattingAllowYn", 0},
                                  {"appInstallYn", 1}};
        QVERIFY(store.db().updateMyProfile(profile));
        QCOMPARE(store.rows("SELECT user_name, cell_phone, dept_name, thumb_url, open_cell_phone, "
                            "chatt_allow, app_install, user_state FROM TTT_USER WHERE user_id=1"),
                 QStringList{"Own O'Neil|010-'1'|R&D 'lab'|/t/o|1|0|1|1"});
        QCOMPARE(store.number("SELECT COUNT(*) FROM TTT_USER WHERE user_name LIKE 'Own%'"), 1);
        QVERIFY(store.db().removeMyProfilePicture(1));
        QCOMPARE(store.rows("SELECT thumb_url, image_url FROM TTT_USER WHERE user_id=1"),
                 QStringList{"NULL|NULL"});
    }
};

QTEST_GUILESS_MAIN(TestDirectoryStore)
#include "tst_directorystore.moc"
