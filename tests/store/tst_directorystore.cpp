#include "logcapture.h"
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbmtdata.h"
#include "store/dbuser.h"
#include "storefixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <functional>

namespace {

constexpr qint64 kOwn = 1;

QJsonObject user(int id, const QString& name, const QString& state)
{
    return {
        {"userId", id}, {"userName", name}, {"thumbUrl", QString("/t/" + name)}, {"state", state}};
}

QJsonObject entry(const char* idKey, int id, int userId, const QString& state)
{
    return {{idKey, id}, {"grpId", id}, {"userId", userId}, {"mbrStatus", "1"}, {"state", state}};
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

// One of the user-list operations on a list that holds "Held" already, and the names after it.
struct ListRow
{
    std::function<int(DBManager&, QList<DBUser>&)> run;
    QStringList expected;
};

// The directory of the list tests (own user 1) and two groups; user_sort is text.
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

Q_DECLARE_METATYPE(CacheRow)
Q_DECLARE_METATYPE(ListRow)

class TestDirectoryStore : public QObject
{
    Q_OBJECT
    std::unique_ptr<LogCapture> m_log;

private slots:
    void initTestCase() { m_log = std::make_unique<LogCapture>(); }
    void init() { m_log->clear(); }

    // The same response in both modes: the own user 1 and user 2 changed, 3 deleted, 4 new, one
    // without an id; group 10 deleted, 11 with an unknown letter, 12 new; membership 10/2
    // deleted, 11/3 changed, 12/4 new. Each row flips the options from the opposite values.
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
            {"groups", QJsonArray{entry("grpId", 10, 0, "D"), entry("grpId", 11, 0, "X"),
                                  entry("grpId", 12, 0, "I")}},
            {"groupMembers", QJsonArray{entry("grpId", 10, 2, "D"), entry("grpId", 11, 3, "U"),
                                        entry("grpId", 12, 4, "I")}},
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
        QCOMPARE(m_log->lines("DBUser::insertOrUpdate - user_id is 0").size(), 1);
        QCOMPARE(CachedAccount::of(account), row.expected);
        QCOMPARE(CachedAccount::of(DBMTData(&store.db())), row.expected);
    }

    // A cache that cannot be stored reports it and keeps its time, so the next one brings the
    // same changes again: the write lock held by another connection, then the own name refused.
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
        {
            QSqlDatabase blocker = QSqlDatabase::addDatabase("SQLITECIPHER", "blocker");
            blocker.setDatabaseName(store.file());
            blocker.setPassword(QString::fromLatin1(DBManager::kPassword));
            QVERIFY(blocker.open());
            QVERIFY(QSqlQuery(blocker).exec("BEGIN IMMEDIATE"));
            QVERIFY(!store.db().batchCache(account, response));
            QCOMPARE(CachedAccount::of(account), unchanged);
            QCOMPARE(store.number("SELECT count(*) FROM TTT_USER"), 0);
            blocker.close();
        }
        QSqlDatabase::removeDatabase("blocker");

        store.refuse("INSERT", "TTT_MTDATA", "NEW.key = 3");
        QVERIFY(!store.db().batchCache(account, response));
        QCOMPARE(CachedAccount::of(account),
                 (CachedAccount{"19700101000000", "", "/t/Own New", true, false}));
        QCOMPARE(CachedAccount::of(DBMTData(&store.db())).lastCacheTime, "19700101000000");
        QCOMPARE(store.column("SELECT user_name FROM TTT_USER"), QStringList{"Own New"});
        QCOMPARE(m_log->lines("DBManager::batchCache - not complete").size(), 1);
    }

    void userLists_data()
    {
        QTest::addColumn<ListRow>("row");
        const QStringList byOrder{"Park",     "Lee",    "O'Brien", "50% Choi",
                                  "500 Jung", "HanXRa", "Han_Ra",  "Kim"};
        const auto search = [](const QString& text, int limit = 100, int offset = 0) {
            return [=](DBManager& db, QList<DBUser>& l) {
                return db.searchUserList(l, kOwn, text, limit, offset);
            };
        };
        QTest::newRow("active users but the own, by user_sort, appended")
            << ListRow{[](DBManager& db, QList<DBUser>& l) { return db.selectUserList(l, kOwn); },
                       QStringList{"Held"} + byOrder};
        QTest::newRow("search: empty text") << ListRow{search(""), byOrder};
        QTest::newRow("search: percent") << ListRow{search("50%"), {"50% Choi"}};
        QTest::newRow("search: underscore") << ListRow{search("_"), {"Han_Ra"}};
        QTest::newRow("search: quote") << ListRow{search("'"), {"O'Brien"}};
        QTest::newRow("search: any case, paged") << ListRow{search("HAN", 1, 1), {"Han_Ra"}};
        QTest::newRow("only integer ids reach the statement") << ListRow{
            [](DBManager& db, QList<DBUser>& l) {
                return db.usersWithoutChattallow(l, {"2", "3) OR (1=1", " 3 ", "", "x", "99"});
            },
            {"Held", "Lee", "Kim"}};
        QTest::newRow("active members who are active users, one left out")
            << ListRow{[](DBManager& db, QList<DBUser>& l) { return db.groupUserList(l, 20, 3); },
                       {"Held", "O'Brien", "Kim"}};
    }

    void userLists()
    {
        QFETCH(ListRow, row);
        StoreFixture store;
        fillDirectory(store);
        DBUser held;
        held.setUserName("Held");
        QList<DBUser> list{held};
        const int size = row.run(store.db(), list);
        QStringList names;
        for (const DBUser& u : list)
            names << u.userName();
        QCOMPARE(names, row.expected);
        QCOMPARE(size, row.expected.size());
    }

    void groupsAndOwnProfile()
    {
        StoreFixture store;
        fillDirectory(store);
        DBManager& db = store.db();
        // A group leaves with its memberships; the other group keeps its own.
        QVERIFY(db.deleteGroup(20));
        QCOMPARE(store.table("SELECT group_id, user_id FROM TTT_USER_GROUP"),
                 (Rows{{{"21", "3"}}}));
        // Texts with quotes are values, not statement text.
        QVERIFY(db.updateMyProfile(QJsonDocument::fromJson(R"({"userId":1,"userName":"Own O'Neil",
            "tel":"010-'1'","deptName":"R&D 'lab'","thumbUrl":"/t/o","imageUrl":"/i/o",
            "telOpenYn":1,"chattingAllowYn":0,"appInstallYn":1})")
                                       .object()));
        DBUser own;
        QVERIFY(db.findUser(1, own));
        QCOMPARE(UserFields::of(own), (UserFields{1, "Own O'Neil", "010-'1'", "", "R&D 'lab'",
                                                  "/t/o", "/i/o", true, false, true, 1, ""}));
        QVERIFY(db.removeMyProfilePicture(1));
        QCOMPARE(store.table("SELECT thumb_url, image_url FROM TTT_USER WHERE user_id=1"),
                 (Rows{{{"NULL", "NULL"}}}));
    }
};

QTEST_GUILESS_MAIN(TestDirectoryStore)
#include "tst_directorystore.moc"
