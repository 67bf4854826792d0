#include "store/dbmanager.h"
#include "store/mtdata.h"
#include "storefixture.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

// Every value of the session object, keys 2 to 17 in order.
struct SessionValues
{
    qint64 userId = 0;
    QString userName;
    QString thumbUrl;
    QString imageUrl;
    QString myAccount;
    QString myPassword;
    QString lastCacheTime;
    qint64 custId = 0;
    QString accessKey;
    QString clientId;
    QString deviceId;
    bool autoLogin = false;
    bool alarm = false;
    QStringList alarmOffTopics;
    bool fileSaveOption = false;
    bool serverHistoryOption = false;

    bool operator==(const SessionValues& o) const
    {
        return userId == o.userId && userName == o.userName && thumbUrl == o.thumbUrl &&
               imageUrl == o.imageUrl && myAccount == o.myAccount && myPassword == o.myPassword &&
               lastCacheTime == o.lastCacheTime && custId == o.custId && accessKey == o.accessKey &&
               clientId == o.clientId && deviceId == o.deviceId && autoLogin == o.autoLogin &&
               alarm == o.alarm && alarmOffTopics == o.alarmOffTopics &&
               fileSaveOption == o.fileSaveOption && serverHistoryOption == o.serverHistoryOption;
    }
};

char* toString(const SessionValues& v)
{
    return qstrdup(
        QStringLiteral("{userId=%1 userName=\"%2\" thumbUrl=\"%3\" imageUrl=\"%4\" "
                       "myAccount=\"%5\" myPassword=\"%6\" lastCacheTime=%7 custId=%8 "
                       "accessKey=\"%9\" clientId=\"%10\" deviceId=\"%11\" "
                       "autoLogin=%12 alarm=%13 alarmOffTopics=[%14] "
                       "fileSaveOption=%15 serverHistoryOption=%16}")
            .arg(v.userId)
            .arg(v.userName, v.thumbUrl, v.imageUrl, v.myAccount, v.myPassword, v.lastCacheTime)
            .arg(v.custId)
            .arg(v.accessKey, v.clientId, v.deviceId)
            .arg(v.autoLogin)
            .arg(v.alarm)
            .arg(v.alarmOffTopics.join(QLatin1String(", ")))
            .arg(v.fileSaveOption)
            .arg(v.serverHistoryOption)
            .toUtf8()
            .constData());
}

SessionValues valuesOf(const DBMTData& d)
{
    return {d.userId(),    d.userName(),       d.thumbUrl(),        d.imageUrl(),
            d.myAccount(), d.myPassword(),     d.lastCacheTime(),   d.custId(),
            d.accessKey(), d.clientId(),       d.currentDeviceId(), d.autoLogin(),
            d.alarm(),     d.alarmOffTopics(), d.fileSaveOption(),  d.serverHistoryOption()};
}

const QString kDigest = "5mhgVG8YzbvNhrNeGLUlv/xn93LGUM7f4/96ACb6He4=";
const QString kNoCacheTime = "19700101000000";

// The value of one key as the record holds it in memory, in the text the table stores.
QString textOf(const DBMTData& d, int key)
{
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    switch (key) {
    case DBMTData::KeyUserId:
        return QString::number(d.userId());
    case DBMTData::KeyUserName:
        return d.userName();
    case DBMTData::KeyThumbUrl:
        return d.thumbUrl();
    case DBMTData::KeyImageUrl:
        return d.imageUrl();
    case DBMTData::KeyMyPassword:
        return d.myPassword();
    case DBMTData::KeyCustId:
        return QString::number(d.custId());
    case DBMTData::KeyAccessKey:
        return d.accessKey();
    case DBMTData::KeyAlarm:
        return flag(d.alarm());
    case DBMTData::KeyAlarmOffTopics:
        return d.alarmOffTopics().join(QLatin1Char('|'));
    case DBMTData::KeyAutoLogin:
        return flag(d.autoLogin());
    case DBMTData::KeyFileSaveOption:
        return flag(d.fileSaveOption());
    case DBMTData::KeyServerHistoryOption:
        return flag(d.serverHistoryOption());
    default:
        return QStringLiteral("(no such key in this test)");
    }
}

// The changes a test makes through the record's own operations.
enum class Change
{
    UserName,
    ThumbUrl,
    ImageUrl,
    Password,
    AlarmOff,
    AlarmOffTopics,
    OneRoomAlarmOff,
    LoginValues, // user id, customer id and access key through one applyCommit
};

bool makeChange(MTData& data, Change change)
{
    DBEditor editor;
    switch (change) {
    case Change::UserName:
        return data.setUserName(editor, "New name");
    case Change::ThumbUrl:
        return data.setThumbUrl(editor, "/thumb/new.png");
    case Change::ImageUrl:
        return data.setImageUrl(editor, "/image/new.png");
    case Change::Password:
        return data.setMyPassword(editor, "NewPassw0rd");
    case Change::AlarmOff:
        return data.setAlarm(editor, false);
    case Change::AlarmOffTopics:
        return data.setAlarmOffTopics(editor, {"chat/7", "chat/8"});
    case Change::OneRoomAlarmOff:
        return data.setTopicAlarm(editor, "chat/9", false);
    case Change::LoginValues:
        data.setUserId(editor, 43);
        data.setCustId(editor, 8);
        data.setAccessKey(editor, "new-key");
        return data.applyCommit(editor);
    }
    return false;
}

// A change as its caller and a later reader see it: what the operation returned, the value in
// memory and the value in the table.
struct ChangeOutcome
{
    bool returned = false;
    QString inMemory;
    QString onDisk;
    bool operator==(const ChangeOutcome& o) const
    {
        return returned == o.returned && inMemory == o.inMemory && onDisk == o.onDisk;
    }
};

char* toString(const ChangeOutcome& o)
{
    return qstrdup(QStringLiteral("{returned=%1 inMemory=\"%2\" onDisk=\"%3\"}")
                       .arg(o.returned)
                       .arg(o.inMemory, o.onDisk)
                       .toUtf8()
                       .constData());
}

// Where a copy of a record points, after each way of copying.
struct Attachments
{
    DBManager* copyConstructed = nullptr;
    DBManager* copyAssigned = nullptr;
    bool copyWrote = true;
    bool operator==(const Attachments& o) const
    {
        return copyConstructed == o.copyConstructed && copyAssigned == o.copyAssigned &&
               copyWrote == o.copyWrote;
    }
};

char* toString(const Attachments& a)
{
    return qstrdup(QStringLiteral("{copyConstructed=%1 copyAssigned=%2 copyWrote=%3}")
                       .arg(quintptr(a.copyConstructed), 0, 16)
                       .arg(quintptr(a.copyAssigned), 0, 16)
                       .arg(a.copyWrote)
                       .toUtf8()
                       .constData());
}

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(ChangeOutcome)

// The session object and its key/value table, through real files reopened between steps.
class TestMTData : public QObject
{
    Q_OBJECT
    DBManager* db() { return &m_store->db(); }
    QList<KeyValue> rows() { return keyValueRows(m_store->db().database()); }
    void store(int key, const QString& value)
    {
        QVERIFY(m_store->exec("INSERT OR REPLACE INTO TTT_MTDATA VALUES (?, ?)", {key, value}));
    }
    QString storedText(int key)
    {
        const QStringList found =
            m_store->rows("SELECT value FROM TTT_MTDATA WHERE key = ?", {key});
        return found.isEmpty() ? QStringLiteral("(no row)") : found.first();
    }
    // A write of `key` that SQLite refuses, as a full disk or a broken file would.
    void refuseWritesOf(int key)
    {
        QVERIFY(m_store->exec(QStringLiteral("CREATE TRIGGER refuse_%1 BEFORE INSERT ON "
                                             "TTT_MTDATA WHEN NEW.key = %1 BEGIN SELECT "
                                             "RAISE(ABORT, 'refused'); END")
                                  .arg(key)));
    }

    std::unique_ptr<StoreFixture> m_store;

private slots:
    void init() { m_store = std::make_unique<StoreFixture>(); }
    void cleanup() { m_store.reset(); }

    void roundTripAndApplyZero()
    {
        const SessionValues loggedIn{42,
                                     "김철수",
                                     "/thumb/42.png",
                                     "/image/42.png",
                                     "user042",
                                     kDigest,
                                     "20240101120000",
                                     7,
                                     "access-key",
                                     "client-1",
                                     "device-1",
                                     true,
                                     false,
                                     {"chat/1", "chat/2"},
                                     false,
                                     true};
        {
            MTData data(db());
            QVERIFY(data.isLoaded());
            DBEditor editor;
            data.setUserId(editor, 42);
            QVERIFY(data.setUserName(editor, "김철수"));
            QVERIFY(data.setThumbUrl(editor, "/thumb/42.png"));
            QVERIFY(data.setImageUrl(editor, "/image/42.png"));
            data.setMyAccount(editor, "user042");
            QVERIFY(data.setMyPassword(editor, "Passw0rd!"));
            data.setLastCacheTime(editor, "20240101120000");
            data.setCustId(editor, 7);
            data.setAccessKey(editor, "access-key");
            data.setClientId(editor, "client-1");
            data.setDeviceId(editor, "device-1");
            data.setAutoLogin(editor, true);
            QVERIFY(data.setAlarm(editor, false));
            QVERIFY(data.setAlarmOffTopics(editor, {"chat/1", "chat/2"}));
            data.setFileSaveOption(editor, false);
            data.setServerHistoryOption(editor, true);
            QCOMPARE(editor.size(), 16);
            QVERIFY(data.applyCommit(editor));
        }
        m_store->reopen();
        QCOMPARE(rows(), (QList<KeyValue>{{1, "1"},
                                          {2, "42"},
                                          {3, "김철수"},
                                          {4, "/thumb/42.png"},
                                          {5, "/image/42.png"},
                                          {6, "user042"},
                                          {7, kDigest},
                                          {8, "20240101120000"},
                                          {9, "7"},
                                          {10, "access-key"},
                                          {11, "client-1"},
                                          {12, "device-1"},
                                          {13, "1"},
                                          {14, "0"},
                                          {15, "chat/1|chat/2"},
                                          {16, "0"},
                                          {17, "1"}}));
        SessionValues loggedOff;
        loggedOff.lastCacheTime = kNoCacheTime;
        loggedOff.deviceId = "device-1";
        loggedOff.fileSaveOption = true;
        {
            MTData data(db());
            QCOMPARE(valuesOf(data), loggedIn);
            QCOMPARE(data.myPassword(), DBMTData::passwordDigest("Passw0rd!"));
            // Log off: the account is gone; the device and the alarm choices stay for this session.
            QVERIFY(data.applyZero());
            QCOMPARE(rows(), (QList<KeyValue>{{12, "device-1"}}));
            SessionValues inSession = loggedOff;
            inSession.alarmOffTopics = loggedIn.alarmOffTopics;
            QCOMPARE(valuesOf(data), inSession);
        }
        m_store->reopen();
        SessionValues nextStart = loggedOff;
        nextStart.alarm = true;
        QCOMPARE(valuesOf(MTData(db())), nextStart);
        MTData detached;
        QTest::ignoreMessage(QtWarningMsg, "DBMTData::applyZero dbManager is null");
        QVERIFY(!detached.applyZero());
    }

    // A flag is on only as the text "1".
    void storedFlags_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("inMemory");

        QTest::newRow("auto-login 1") << int(DBMTData::KeyAutoLogin) << "1"
                                      << "1";
        QTest::newRow("auto-login 2") << int(DBMTData::KeyAutoLogin) << "2"
                                      << "0";
        QTest::newRow("alarm true") << int(DBMTData::KeyAlarm) << "true"
                                    << "0";
        QTest::newRow("alarm empty") << int(DBMTData::KeyAlarm) << ""
                                     << "0";
        QTest::newRow("file save option empty") << int(DBMTData::KeyFileSaveOption) << ""
                                                << "0";
        QTest::newRow("server history 1") << int(DBMTData::KeyServerHistoryOption) << "1"
                                          << "1";
    }

    void storedFlags()
    {
        QFETCH(int, key);
        QFETCH(QString, stored);
        QFETCH(QString, inMemory);

        store(key, stored);
        QCOMPARE(textOf(MTData(db()), key), inMemory);
    }

    void alarmOffTopics()
    {
        store(DBMTData::KeyAlarmOffTopics, QString(""));
        QCOMPARE(MTData(db()).alarmOffTopics(), QStringList());
        store(DBMTData::KeyAlarmOffTopics, "chat/1|chat/2");
        MTData data(db());
        QCOMPARE(data.alarmOffTopics(), (QStringList{"chat/1", "chat/2"}));
        QCOMPARE(data.isTopicAlarmOn("chat/2"), false);
        QCOMPARE(data.isTopicAlarmOn("Chat/2"), true);
        DBEditor editor;
        QVERIFY(data.setTopicAlarm(editor, "chat/3", false));
        QVERIFY(data.setTopicAlarm(editor, "chat/3", false));
        QVERIFY(data.setTopicAlarm(editor, "Chat/1", true)); // other case: a different topic
        QVERIFY(data.setTopicAlarm(editor, "chat/1", true));
        QCOMPARE(data.alarmOffTopics(), (QStringList{"chat/2", "chat/3"}));
        // Written at once, without the caller's applyCommit.
        QCOMPARE(storedText(DBMTData::KeyAlarmOffTopics), "chat/2|chat/3");
    }

    void deviceIdIsMadeOnce()
    {
        MTData memoryOnly;
        const QString made = memoryOnly.deviceId();
        QVERIFY(QRegularExpression("^[A-Za-z0-9+/]{22}==$").match(made).hasMatch());
        QCOMPARE(memoryOnly.deviceId(), made);
        QVERIFY(MTData().deviceId() != made);
        // Stored at once, and read back by a later instance.
        const QString stored = MTData(db()).deviceId();
        QCOMPARE(rows(), (QList<KeyValue>{{1, "1"}, {12, stored}}));
        QCOMPARE(MTData(db()).deviceId(), stored);
    }

    // A device id that cannot be stored is used once and not kept: the next use makes another
    // and tries again.
    void deviceIdThatCannotBeStored()
    {
        refuseWritesOf(DBMTData::KeyDeviceId);
        MTData data(db());
        const QString first = data.deviceId();
        QCOMPARE(first.size(), 24);
        QCOMPARE(data.currentDeviceId(), QString());
        QVERIFY(data.deviceId() != first);
        QCOMPARE(rows(), (QList<KeyValue>{{1, "1"}}));
    }

    // What a change returns and leaves: written, it is in memory and on disk; refused by the
    // database, memory keeps what the disk holds.
    void changesAreWrittenOrUndone_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<int>("refusedKey"); // 0: no write is refused
        QTest::addColumn<int>("key");
        QTest::addColumn<ChangeOutcome>("expected");

        const int name = DBMTData::KeyUserName;
        const int alarm = DBMTData::KeyAlarm;
        const int topics = DBMTData::KeyAlarmOffTopics;
        QTest::newRow("user name written")
            << Change::UserName << 0 << name << ChangeOutcome{true, "New name", "New name"};
        QTest::newRow("user name refused")
            << Change::UserName << name << name << ChangeOutcome{false, "Old name", "Old name"};
        QTest::newRow("thumbnail refused")
            << Change::ThumbUrl << int(DBMTData::KeyThumbUrl) << int(DBMTData::KeyThumbUrl)
            << ChangeOutcome{false, "/thumb/old.png", "/thumb/old.png"};
        QTest::newRow("image refused")
            << Change::ImageUrl << int(DBMTData::KeyImageUrl) << int(DBMTData::KeyImageUrl)
            << ChangeOutcome{false, "/image/old.png", "/image/old.png"};
        QTest::newRow("password refused")
            << Change::Password << int(DBMTData::KeyMyPassword) << int(DBMTData::KeyMyPassword)
            << ChangeOutcome{false, kDigest, kDigest};
        QTest::newRow("alarm written")
            << Change::AlarmOff << 0 << alarm << ChangeOutcome{true, "0", "0"};
        QTest::newRow("alarm refused")
            << Change::AlarmOff << alarm << alarm << ChangeOutcome{false, "1", "1"};
        QTest::newRow("alarm-off list refused") << Change::AlarmOffTopics << topics << topics
                                                << ChangeOutcome{false, "chat/1", "chat/1"};
        QTest::newRow("one room's alarm written")
            << Change::OneRoomAlarmOff << 0 << topics
            << ChangeOutcome{true, "chat/1|chat/9", "chat/1|chat/9"};
        QTest::newRow("one room's alarm refused") << Change::OneRoomAlarmOff << topics << topics
                                                  << ChangeOutcome{false, "chat/1", "chat/1"};
        QTest::newRow("login values written")
            << Change::LoginValues << 0 << int(DBMTData::KeyUserId)
            << ChangeOutcome{true, "43", "43"};
        // One refused key undoes the editor's other keys too.
        QTest::newRow("login values, access key refused")
            << Change::LoginValues << int(DBMTData::KeyAccessKey) << int(DBMTData::KeyUserId)
            << ChangeOutcome{false, "42", "42"};
        QTest::newRow("login values, access key refused: the key itself")
            << Change::LoginValues << int(DBMTData::KeyAccessKey) << int(DBMTData::KeyAccessKey)
            << ChangeOutcome{false, "old-key", "old-key"};
    }

    void changesAreWrittenOrUndone()
    {
        QFETCH(Change, change);
        QFETCH(int, refusedKey);
        QFETCH(int, key);
        QFETCH(ChangeOutcome, expected);

        const QList<KeyValue> before = {{DBMTData::KeyUserId, "42"},
                                        {DBMTData::KeyUserName, "Old name"},
                                        {DBMTData::KeyThumbUrl, "/thumb/old.png"},
                                        {DBMTData::KeyImageUrl, "/image/old.png"},
                                        {DBMTData::KeyMyPassword, kDigest},
                                        {DBMTData::KeyCustId, "7"},
                                        {DBMTData::KeyAccessKey, "old-key"},
                                        {DBMTData::KeyAlarm, "1"},
                                        {DBMTData::KeyAlarmOffTopics, "chat/1"}};
        for (const KeyValue& row : before)
            store(row.key, row.value);
        refuseWritesOf(refusedKey);
        MTData data(db());

        const bool returned = makeChange(data, change);
        QCOMPARE((ChangeOutcome{returned, textOf(data, key), storedText(key)}), expected);
        // A later reader of the file sees what memory holds.
        QCOMPARE(textOf(MTData(db()), key), expected.onDisk);
    }

    // Log off clears the memory even when the rows stay, and says they stayed.
    void applyZeroThatCannotDelete()
    {
        store(DBMTData::KeyUserId, "42");
        QVERIFY(m_store->exec("CREATE TRIGGER keep BEFORE DELETE ON TTT_MTDATA BEGIN SELECT "
                              "RAISE(ABORT, 'kept'); END"));
        MTData data(db());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("kept"));
        QTest::ignoreMessage(QtWarningMsg, "DBMTData::applyZero - remove is failure");
        QCOMPARE(data.applyZero(), false);
        QCOMPARE(data.userId(), qint64(0));
        QCOMPARE(rows(), (QList<KeyValue>{{1, "1"}, {2, "42"}}));
    }

    void applyCommitFailures()
    {
        MTData detached;
        DBEditor editor;
        detached.setUserId(editor, 1);
        QTest::ignoreMessage(QtWarningMsg, "DBMTData::applyCommit - dbManager is null");
        QVERIFY(!detached.applyCommit(editor));
        // Without a database the record lives in memory: nothing written, nothing undone.
        QCOMPARE(detached.userId(), 1);

        MTData data(db());
        DBEditor empty;
        QVERIFY(!data.applyCommit(empty));

        // One refused write undoes the whole editor, on disk and in memory.
        refuseWritesOf(DBMTData::KeyCustId);
        DBEditor two;
        data.setUserId(two, 5);
        data.setCustId(two, 9);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused"));
        QTest::ignoreMessage(QtWarningMsg,
                             "DBMTData::applyCommit - not written, keys 2,9 keep their stored "
                             "values");
        QVERIFY(!data.applyCommit(two));
        QCOMPARE(rows(), (QList<KeyValue>{{1, "1"}}));
        QCOMPARE(data.userId(), qint64(0));

        // A later commit on the same connection is not caught in a leftover transaction.
        DBEditor one;
        data.setUserId(one, 6);
        QVERIFY(data.applyCommit(one));
        QCOMPARE(rows(), (QList<KeyValue>{{1, "1"}, {2, "6"}}));

        // Loading from a closed connection fails and says so.
        DBManager closed(m_store->file(), "wrong", "not the key", 1);
        QTest::ignoreMessage(QtWarningMsg, "MTData - initMTData is false");
        QVERIFY(!MTData(&closed).isLoaded());
    }

    // A copy holds the values, never the database: copy construction leaves it unattached, copy
    // assignment keeps the target's own, and the copy's writes reach no file.
    void copiesCarryNoDatabase()
    {
        store(DBMTData::KeyUserName, "Stored");
        MTData session(db());
        DBMTData copied(session);
        StoreFixture other(QStringLiteral("Other"));
        DBMTData assigned(&other.db());
        assigned = session;
        DBEditor editor;
        QTest::ignoreMessage(QtWarningMsg, "DBMTData::applyCommit - dbManager is null");
        const bool copyWrote = copied.setUserName(editor, "From the copy");
        QCOMPARE((Attachments{copied.attachedDbManager(), assigned.attachedDbManager(), copyWrote}),
                 (Attachments{nullptr, &other.db(), false}));
        QCOMPARE(copied.userName(), "From the copy");
        QCOMPARE(assigned.userName(), "Stored");
        QCOMPARE(storedText(DBMTData::KeyUserName), "Stored");
    }

    void newestInstance()
    {
        auto first = std::make_unique<MTData>();
        QCOMPARE(MTData::instance(), first.get());
        auto second = std::make_unique<MTData>(db());
        QCOMPARE(MTData::instance(), second.get());
        first.reset();
        QCOMPARE(MTData::instance(), second.get());
        // The newest going first hands the pointer back to the one still alive.
        auto newer = std::make_unique<MTData>();
        QCOMPARE(MTData::instance(), newer.get());
        newer.reset();
        QCOMPARE(MTData::instance(), second.get());
        second.reset();
        QCOMPARE(MTData::instance(), nullptr);
    }
};

QTEST_GUILESS_MAIN(TestMTData)
#include "tst_mtdata.moc"
