#include "store/dbmanager.h"
#include "store/mtdata.h"
#include "storefixture.h"

#include <QtTest>

namespace {

// Every value of the session object.
struct SessionValues
{
    qint64 userId = 0;
    QString userName, thumbUrl, imageUrl, myAccount, myPassword, lastCacheTime;
    qint64 custId = 0;
    QString accessKey, clientId, deviceId;
    bool autoLogin = false, alarm = false;
    QStringList alarmOffTopics;
    bool fileSaveOption = false, serverHistoryOption = false;
    MT_TYPED(SessionValues, userId, userName, thumbUrl, imageUrl, myAccount, myPassword,
             lastCacheTime, custId, accessKey, clientId, deviceId, autoLogin, alarm, alarmOffTopics,
             fileSaveOption, serverHistoryOption)
};

SessionValues valuesOf(const DBMTData& d)
{
    return {d.userId(),    d.userName(),       d.thumbUrl(),        d.imageUrl(),
            d.myAccount(), d.myPassword(),     d.lastCacheTime(),   d.custId(),
            d.accessKey(), d.clientId(),       d.currentDeviceId(), d.autoLogin(),
            d.alarm(),     d.alarmOffTopics(), d.fileSaveOption(),  d.serverHistoryOption()};
}

const QString kDigest = DBMTData::passwordDigest("Passw0rd!");
const QStringList kOff{"chat/1", "chat/2"};
const SessionValues kLoggedIn{
    42,    "Kim",        "/t/42",    "/i/42",    "user042", kDigest, "20240101120000",
    7,     "access-key", "client-1", "device-1", true,      false,   kOff,
    false, true};

void logIn(MTData& data)
{
    DBEditor editor;
    data.setUserId(editor, 42);
    data.setUserName(editor, "Kim");
    data.setThumbUrl(editor, "/t/42");
    data.setImageUrl(editor, "/i/42");
    data.setMyAccount(editor, "user042");
    data.setMyPassword(editor, "Passw0rd!");
    data.setLastCacheTime(editor, "20240101120000");
    data.setCustId(editor, 7);
    data.setAccessKey(editor, "access-key");
    data.setClientId(editor, "client-1");
    data.setDeviceId(editor, "device-1");
    data.setAutoLogin(editor, true);
    data.setAlarm(editor, false);
    data.setAlarmOffTopics(editor, kOff);
    data.setFileSaveOption(editor, false);
    data.setServerHistoryOption(editor, true);
    QVERIFY(data.applyCommit(editor));
}

} // namespace

// The session object and its key/value table, through real files reopened between steps.
class TestMTData : public QObject
{
    Q_OBJECT
    std::unique_ptr<StoreFixture> m_store;
    DBManager* db() { return &m_store->db(); }
    // Writes of these keys fail in SQLite, as on a full disk or a broken file.
    void refuseKeys(const QString& keys)
    {
        m_store->refuse("INSERT", "TTT_MTDATA", "NEW.key IN (" + keys + ")");
    }

private slots:
    void init() { m_store = std::make_unique<StoreFixture>(); }
    void cleanup() { m_store.reset(); }

    void logInAndOff()
    {
        {
            MTData data(db());
            QVERIFY(data.isLoaded());
            logIn(data);
            QCOMPARE(valuesOf(data), kLoggedIn);
        }
        m_store->reopen();
        SessionValues loggedOff;
        loggedOff.lastCacheTime = "19700101000000";
        loggedOff.deviceId = "device-1";
        loggedOff.fileSaveOption = true;
        {
            MTData data(db());
            QCOMPARE(valuesOf(data), kLoggedIn);
            // The account goes; the device and the alarm choices stay for this session only.
            QVERIFY(data.applyZero());
            SessionValues inSession = loggedOff;
            inSession.alarmOffTopics = kLoggedIn.alarmOffTopics;
            QCOMPARE(valuesOf(data), inSession);
        }
        m_store->reopen();
        loggedOff.alarm = true;
        QCOMPARE(valuesOf(MTData(db())), loggedOff);
        MTData detached;
        QTest::ignoreMessage(QtWarningMsg, "DBMTData::applyZero dbManager is null");
        QVERIFY(!detached.applyZero());
    }

    // A write the database refuses is reported, and memory keeps what the disk holds; one refused
    // key of an editor undoes its other keys too. Log off clears the memory even when the rows
    // stay.
    void refusedWritesAreReportedAndUndone()
    {
        MTData data(db());
        logIn(data);
        refuseKeys(QString::number(DBMTData::KeyAccessKey));
        DBEditor login;
        data.setUserId(login, 43);
        data.setCustId(login, 8);
        data.setAccessKey(login, "new-key");
        QVERIFY(!data.applyCommit(login));
        QVERIFY(!m_store->db().inTransaction());
        QCOMPARE(valuesOf(MTData(db())), kLoggedIn);
        refuseKeys("SELECT key FROM TTT_MTDATA");
        DBEditor editor;
        QVERIFY(!data.setUserName(editor, "New"));
        QVERIFY(!data.setThumbUrl(editor, "/t/new"));
        QVERIFY(!data.setImageUrl(editor, "/i/new"));
        QVERIFY(!data.setMyPassword(editor, "NewPassw0rd"));
        QVERIFY(!data.setAlarm(editor, true));
        QVERIFY(!data.setAlarmOffTopics(editor, {"chat/7"}));
        QVERIFY(!data.setTopicAlarm(editor, "chat/9", false));
        QCOMPARE(valuesOf(data), kLoggedIn);
        QCOMPARE(valuesOf(MTData(db())), kLoggedIn);

        m_store->refuse("DELETE", "TTT_MTDATA", "1");
        QTest::ignoreMessage(QtWarningMsg, "DBMTData::applyZero - remove is failure");
        QVERIFY(!data.applyZero());
        QCOMPARE(data.userId(), qint64(0));
        QCOMPARE(MTData(db()).userId(), qint64(42));
    }

    void alarmOffTopics()
    {
        MTData data(db());
        DBEditor editor;
        QVERIFY(data.setAlarmOffTopics(editor, {"chat/1", "chat/2"}));
        QCOMPARE(data.isTopicAlarmOn("chat/2"), false);
        QCOMPARE(data.isTopicAlarmOn("Chat/2"), true);
        QVERIFY(data.setTopicAlarm(editor, "chat/3", false));
        QVERIFY(data.setTopicAlarm(editor, "chat/3", false));
        QVERIFY(data.setTopicAlarm(editor, "Chat/1", true)); // other case: a different topic
        QVERIFY(data.setTopicAlarm(editor, "chat/1", true));
        // Written at once, without the caller's applyCommit.
        QCOMPARE(MTData(db()).alarmOffTopics(), (QStringList{"chat/2", "chat/3"}));
    }

    // Made once and stored at once; one that cannot be stored is used once and not kept.
    void deviceId()
    {
        MTData memoryOnly;
        const QString made = memoryOnly.deviceId();
        QVERIFY(QRegularExpression("^[A-Za-z0-9+/]{22}==$").match(made).hasMatch());
        QCOMPARE(memoryOnly.deviceId(), made);
        QVERIFY(MTData().deviceId() != made);
        QCOMPARE(MTData(db()).currentDeviceId(), QString());
        const QString stored = MTData(db()).deviceId();
        QCOMPARE(MTData(db()).currentDeviceId(), stored);
        QVERIFY(m_store->exec("DELETE FROM TTT_MTDATA"));
        refuseKeys(QString::number(DBMTData::KeyDeviceId));
        MTData data(db());
        QVERIFY(data.deviceId() != data.deviceId());
        QCOMPARE(data.currentDeviceId(), QString());
    }

    // A copy holds the values, never the database: its writes reach no file.
    void copiesCarryNoDatabase()
    {
        MTData session(db());
        DBEditor editor;
        QVERIFY(session.setUserName(editor, "Stored"));
        DBMTData copied(session);
        StoreFixture other(QStringLiteral("Other"));
        DBMTData assigned(&other.db());
        assigned = session;
        QCOMPARE(assigned.attachedDbManager(), &other.db());
        QVERIFY(!copied.setUserName(editor, "From the copy"));
        QCOMPARE(assigned.userName(), "Stored");
        QCOMPARE(MTData(db()).userName(), "Stored");
    }
};

QTEST_GUILESS_MAIN(TestMTData)
#include "tst_mtdata.moc"
