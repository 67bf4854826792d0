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
    return QJsonObject{{"userId", id},
                       {"userName", name},
                       {"thumbUrl", QString(QStringLiteral("/t/") + name)},
                       {"imageUrl", QString(QStringLiteral("/i/") + name)},
                       {"chattingAllowYn", "1"},
                       {"userSortSeq", QString::number(id)},
                       {"state", state}};
}

QJsonObject group(int id, const QString& state)
{
    return QJsonObject{{"grpId", id}, {"grpName", QStringLiteral("G%1").arg(id)}, {"state", state}};
}

QJsonObject member(int groupId, int userId, const QString& state)
{
    return QJsonObject{
        {"grpId", groupId}, {"userId", userId}, {"mbrStatus", "1"}, {"state", state}};
}

QStringList names(const QList<DBUser>& users)
{
    QStringList out;
    for (const DBUser& u : users)
        out << u.userName();
    return out;
}

// The directory of the list tests (own user 1); user_sort is text: "" < "0" < "1" < "10" < "5"...
void fillDirectory(StoreFixture& store)
{
    const QList<std::tuple<int, const char*, const char*>> users = {
        {1, "Own", "1"},      {2, "Kim", "9"},     {3, "Lee", "10"},     {4, "Park", ""},
        {5, "O'Brien", "10"}, {6, "Deleted", "0"}, {7, "50% Choi", "5"}, {8, "500 Jung", "5"},
        {9, "Han_Ra", "7"},   {10, "HanXRa", "7"}};
    for (const auto& [id, name, sort] : users)
        store.addUser(id, QString::fromUtf8(name), QString::fromUtf8(sort), id == 6 ? 0 : 1);
}

} // namespace

class TestDirectoryStore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_log = std::make_unique<LogCapture>(); }
    void init() { m_log->clear(); }
    void batchCache_data();
    void batchCache();
    void options_data();
    void options();
    void lastCacheTime();
    void cacheThatCannotBeStored();
    void userLists_data();
    void userLists();
    void usersById_data();
    void usersById();
    void groupsAndSingleLookups();
    void ownProfileRow();

private:
    std::unique_ptr<LogCapture> m_log;
};

void TestDirectoryStore::batchCache_data()
{
    QTest::addColumn<bool>("first");
    QTest::addColumn<QStringList>("users");   // user_id|user_name|user_state
    QTest::addColumn<QStringList>("groups");  // group_id
    QTest::addColumn<QStringList>("members"); // group_id|user_id

    // The same response in both modes: user 2 changed, 3 deleted, 4 new; group 10 deleted, 11
    // with an unknown letter, 12 new; membership 10/2 deleted, 11/3 changed, 12/4 new.
    QTest::newRow("first cache: nothing deleted is written, deleted users stay")
        << true << QStringList{"2|Kim2|1", "3|Lee|0", "4|Park|1"} << QStringList{"11", "12"}
        << QStringList{"11|3", "12|4"};
    QTest::newRow("incremental: D and unknown letters remove groups and memberships")
        << false << QStringList{"1|Own|1", "2|Kim2|1", "3|Lee|0", "4|Park|1"} << QStringList{"12"}
        << QStringList{"10|3", "11|3", "12|4"};
}

void TestDirectoryStore::batchCache()
{
    QFETCH(bool, first);
    QFETCH(QStringList, users);
    QFETCH(QStringList, groups);
    QFETCH(QStringList, members);

    StoreFixture store(QStringLiteral("Veltri_cache"));
    DBMTData account(&store.db());
    if (!first) {
        store.addUser(1, QStringLiteral("Own"));
        store.addUser(2, QStringLiteral("Kim"));
        store.addUser(3, QStringLiteral("Lee"));
        store.addGroup(10, QStringLiteral("G10"));
        store.addGroup(11, QStringLiteral("G11"));
        store.addMembership(10, 2);
        store.addMembership(10, 3);
        store.addMembership(11, 3, 0);
        DBEditor editor;
        account.setLastCacheTime(editor, QStringLiteral("20240101000000"));
        QVERIFY(account.applyCommit(editor));
    }
    m_log->clear();
    const QJsonObject response{
        {"updDatetime", "20240601120000"},
        {"users", QJsonArray{user(2, "Kim2", "U"), user(3, "Lee", "D"), user(4, "Park", "I"),
                             user(0, "Nobody", "I")}},
        {"groups", QJsonArray{group(10, "D"), group(11, "X"), group(12, "I")}},
        {"groupMembers", QJsonArray{member(10, 2, "D"), member(11, 3, "U"), member(12, 4, "I")}},
    };
    QVERIFY(store.db().batchCache(account, response));

    QCOMPARE(store.rows("SELECT user_id, user_name, user_state FROM TTT_USER ORDER BY user_id"),
             users);
    QCOMPARE(store.rows("SELECT group_id FROM TTT_GROUP ORDER BY group_id"), groups);
    QCOMPARE(store.rows("SELECT group_id, user_id FROM TTT_USER_GROUP ORDER BY 1, 2"), members);
    // The user without an id was refused, the others written all the same.
    QCOMPARE(m_log->matching("DBUser::insertOrUpdate - user_id is 0"),
             QStringList{"DBUser::insertOrUpdate - user_id is 0, It's not allow to insertOrUpdate "
                         "!!!!!!!!!!!!"});
    QCOMPARE(account.lastCacheTime(), QStringLiteral("20240601120000"));
}

void TestDirectoryStore::options_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("stored"); // keys 16 and 17 afterwards, each "key|value"

    // Each row starts from the opposite of its expected value.
    QTest::newRow("330 with 2 is on") << 330 << 2 << "16|1";
    QTest::newRow("330 with 1 is on") << 330 << 1 << "16|1";
    QTest::newRow("330 with 0 is off") << 330 << 0 << "16|0";
    QTest::newRow("950 with 1 is on") << 950 << 1 << "17|1";
    QTest::newRow("950 with 2 is off") << 950 << 2 << "17|0";
    QTest::newRow("950 with 0 is off") << 950 << 0 << "17|0";
    QTest::newRow("other codes are ignored") << 331 << 1 << "";
}

void TestDirectoryStore::options()
{
    QFETCH(int, code);
    QFETCH(int, value);
    QFETCH(QString, stored);

    StoreFixture store;
    DBMTData account(&store.db());
    const bool on = stored.endsWith(QLatin1Char('1'));
    DBEditor start;
    account.setFileSaveOption(start, code == 330 ? !on : true);
    account.setServerHistoryOption(start, code == 950 ? !on : false);
    const QJsonObject option{{"optCode", QString::number(code)},
                             {"optValue", QString::number(value)}};
    store.db().batchCache(
        account, QJsonObject{{"updDatetime", "20240601120000"}, {"custOpts", QJsonArray{option}}});
    QCOMPARE(store.rows("SELECT key, value FROM TTT_MTDATA WHERE key IN (16, 17)").join(' '),
             stored);
    QCOMPARE(account.fileSaveOption(), code == 330 ? on : true);
    QCOMPARE(account.serverHistoryOption(), code == 950 ? on : false);
}

void TestDirectoryStore::lastCacheTime()
{
    StoreFixture store;
    {
        DBMTData account(&store.db());
        store.db().batchCache(account, QJsonObject{{"updDatetime", "20240601120000"}});
        QCOMPARE(account.lastCacheTime(), QStringLiteral("20240601120000"));
        // Without a time stamp the stored time becomes empty, which reads as none...
        store.db().batchCache(account, QJsonObject{{"users", QJsonArray{}}});
        QCOMPARE(store.rows("SELECT value FROM TTT_MTDATA WHERE key=8"), QStringList{QString()});
        QCOMPARE(account.lastCacheTime(), QStringLiteral("19700101000000"));
    }
    // ...in a later session too, so the next cache is a whole one again.
    store.reopen();
    DBMTData account(&store.db());
    QCOMPARE(account.lastCacheTime(), QStringLiteral("19700101000000"));
    m_log->clear();
    store.db().batchCache(account, QJsonObject{{"updDatetime", "20240701000000"}});
    QCOMPARE(m_log->matching("DBManager::batchCache - isFirstCache is true").size(), 1);
}

void TestDirectoryStore::cacheThatCannotBeStored()
{
    StoreFixture store(QStringLiteral("Veltri_cache"));
    DBMTData account(&store.db());
    const QJsonObject response{{"updDatetime", "20240601120000"},
                               {"users", QJsonArray{user(2, "Kim", "I")}}};
    // Another connection holds the write lock longer than the store waits for it.
    {
        QSqlDatabase blocker =
            QSqlDatabase::addDatabase(QStringLiteral("SQLITECIPHER"), QStringLiteral("blocker"));
        blocker.setDatabaseName(store.file());
        blocker.setPassword(QString::fromLatin1(DBManager::kPassword));
        QVERIFY(blocker.open());
        QSqlQuery lock(blocker);
        QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
        QVERIFY(!store.db().batchCache(account, response));
        QCOMPARE(account.lastCacheTime(), QStringLiteral("19700101000000"));
        QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
        blocker.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("blocker"));
    QCOMPARE(store.number("SELECT count(*) FROM TTT_USER"), 0);
    QCOMPARE(DBMTData(&store.db()).lastCacheTime(), QStringLiteral("19700101000000"));

    // Once the lock is gone the same response is stored and the time advances.
    QVERIFY(store.db().batchCache(account, response));
    QCOMPARE(account.lastCacheTime(), QStringLiteral("20240601120000"));
    QCOMPARE(store.number("SELECT count(*) FROM TTT_USER"), 1);
}

void TestDirectoryStore::userLists_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("text");
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
    QTest::newRow("search: empty text, second page")
        << "search" << 3 << 3 << "" << QStringList{"50% Choi", "500 Jung", "HanXRa"};
    QTest::newRow("search: percent") << "search" << 100 << 0 << "50%" << QStringList{"50% Choi"};
    QTest::newRow("search: underscore") << "search" << 100 << 0 << "_" << QStringList{"Han_Ra"};
    QTest::newRow("search: quote") << "search" << 100 << 0 << "'" << QStringList{"O'Brien"};
    QTest::newRow("search: any case") << "search" << 100 << 0 << "kIM" << QStringList{"Kim"};
    QTest::newRow("search: deleted users stay out")
        << "search" << 100 << 0 << "Del" << QStringList{};
}

void TestDirectoryStore::userLists()
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
    held.setUserName(QStringLiteral("Held"));
    QList<DBUser> list{held};
    int size = -1;
    if (operation == QLatin1String("select"))
        size = db.selectUserList(list, kOwn);
    else if (operation == QLatin1String("limit"))
        size = db.selectUserListLimit(list, kOwn, limit, offset);
    else if (operation == QLatin1String("all"))
        size = db.userList(list);
    else
        size = db.searchUserList(list, kOwn, text, limit, offset);
    QCOMPARE(names(list), expected);
    QCOMPARE(size, expected.size());
}

void TestDirectoryStore::usersById_data()
{
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty list") << QStringList{} << QStringList{};
    // By user_sort, then by name descending; deleted users included.
    QTest::newRow("several") << QStringList{"2", "3", "5", "6"}
                             << QStringList{"Deleted", "O'Brien", "Lee", "Kim"};
    QTest::newRow("only integers reach the statement")
        << QStringList{"2", "3) OR (1=1", " 3 ", "", "x"} << QStringList{"Lee", "Kim"};
    QTest::newRow("unknown ids") << QStringList{"99"} << QStringList{};
}

void TestDirectoryStore::usersById()
{
    QFETCH(QStringList, ids);
    QFETCH(QStringList, expected);
    StoreFixture store;
    fillDirectory(store);
    QList<DBUser> list;
    QCOMPARE(store.db().users(list, ids), expected.size());
    QCOMPARE(names(list), expected);
    QList<DBUser> again{DBUser()};
    QCOMPARE(store.db().usersWithoutChattallow(again, ids), expected.size() + 1);
    QCOMPARE(names(again.mid(1)), expected);
}

void TestDirectoryStore::groupsAndSingleLookups()
{
    StoreFixture store;
    fillDirectory(store);
    store.addGroup(20, QStringLiteral("Sales"));
    store.addGroup(21, QStringLiteral("R&D"));
    // Group 20: Kim, Lee, O'Brien active; Park's membership inactive; Deleted is deleted.
    for (int id : {2, 3, 5, 6})
        store.addMembership(20, id);
    store.addMembership(20, 4, 0);
    store.addMembership(21, 3);
    DBManager& db = store.db();

    QList<DBUser> members;
    QCOMPARE(db.groupUserList(members, 20, 99), 3);
    QCOMPARE(names(members), (QStringList{"Lee", "O'Brien", "Kim"}));
    // The given user is left out even as an active member; the list is appended to.
    QCOMPARE(db.groupUserList(members, 20, 3), 5);
    QCOMPARE(names(members.mid(3)), (QStringList{"O'Brien", "Kim"}));

    QList<DBGroup> groups{DBGroup()};
    QCOMPARE(db.groupList(groups), 2);
    QCOMPARE(groups.at(1).groupName(), QStringLiteral("R&D"));
    DBGroup group;
    QVERIFY(db.findGroup(21, group));
    QCOMPARE(group.groupName(), QStringLiteral("R&D"));
    QVERIFY(!db.findGroup(22, group));

    DBUser found;
    QVERIFY(db.findUser(5, found));
    QCOMPARE(fields({found.userName(), found.chattAllow()}), QStringLiteral("O'Brien|1"));
    QVERIFY(!db.findUser(99, found));
    const DBUser deleted = db.selectUserByUserId(6);
    QCOMPARE(fields({deleted.userName(), deleted.userState()}), QStringLiteral("Deleted|0"));
    QCOMPARE(db.selectUserByUserId(99).userId(), 0);

    // A group leaves with its memberships; the other group keeps its own.
    QVERIFY(db.deleteGroup(20));
    QCOMPARE(store.rows("SELECT group_id FROM TTT_GROUP"), QStringList{"21"});
    QCOMPARE(store.rows("SELECT group_id, user_id FROM TTT_USER_GROUP"), QStringList{"21|3"});
}

void TestDirectoryStore::ownProfileRow()
{
    StoreFixture store;
    fillDirectory(store);
    // Texts with quotes are values, not statement text.
    const QJsonObject profile{{"userId", 1},
                              {"userName", "Own O'Neil"},
                              {"tel", "010-'1'"},
                              {"email", "own@example.org"},
                              {"deptName", "R&D 'lab'"},
                              {"thumbUrl", "/t/own"},
                              {"imageUrl", "/i/own"},
                              {"telOpenYn", 1},
                              {"chattingAllowYn", 0},
                              {"appInstallYn", 1}};
    QVERIFY(store.db().updateMyProfile(profile));
    QCOMPARE(store.rows("SELECT user_name, cell_phone, dept_name, thumb_url, open_cell_phone, "
                        "chatt_allow, app_install, user_state FROM TTT_USER WHERE user_id=1"),
             QStringList{"Own O'Neil|010-'1'|R&D 'lab'|/t/own|1|0|1|1"});
    QCOMPARE(store.number("SELECT COUNT(*) FROM TTT_USER WHERE user_name LIKE 'Own%'"), 1);

    QVERIFY(store.db().removeMyProfilePicture(1));
    QCOMPARE(store.rows("SELECT thumb_url, image_url FROM TTT_USER WHERE user_id=1"),
             QStringList{"NULL|NULL"});

    // A directory cache refreshes the own name and pictures in the account values.
    DBMTData account(&store.db());
    DBEditor editor;
    account.setUserId(editor, kOwn);
    QVERIFY(account.applyCommit(editor));
    store.db().batchCache(account, QJsonObject{{"updDatetime", "20240601120000"},
                                               {"users", QJsonArray{user(1, "Own New", "U")}}});
    QCOMPARE(fields({account.userName(), account.thumbUrl()}),
             QStringLiteral("Own New|/t/Own New"));
    QCOMPARE(store.rows("SELECT key, value FROM TTT_MTDATA WHERE key IN (3, 4, 5) ORDER BY key"),
             (QStringList{"3|Own New", "4|/t/Own New", "5|/i/Own New"}));
}

QTEST_GUILESS_MAIN(TestDirectoryStore)
#include "tst_directorystore.moc"
