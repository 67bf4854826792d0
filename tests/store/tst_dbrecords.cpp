#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/mtdata.h"
#include "storefixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

// The session values with a rule of their own at log-off or on a refused write.
struct SessionValues
{
    qint64 userId = 0;
    QString userName, myPassword, lastCacheTime, accessKey, deviceId;
    bool autoLogin = false, alarm = false;
    QStringList alarmOffTopics;
    bool fileSaveOption = false;
    MT_TYPED(SessionValues, userId, userName, myPassword, lastCacheTime, accessKey, deviceId,
             autoLogin, alarm, alarmOffTopics, fileSaveOption)
};

SessionValues valuesOf(const DBMTData& d)
{
    return {d.userId(),         d.userName(),        d.myPassword(), d.lastCacheTime(),
            d.accessKey(),      d.currentDeviceId(), d.autoLogin(),  d.alarm(),
            d.alarmOffTopics(), d.fileSaveOption()};
}

const QString kDigest = DBMTData::passwordDigest("Passw0rd!");
const QStringList kOff{"chat/1", "chat/2"};
const SessionValues kLoggedIn{
    42, "Kim", kDigest, "20240101120000", "access-key", "device-1", true, false, kOff, false};

void logIn(MTData& data)
{
    DBEditor editor;
    data.setUserId(editor, 42);
    data.setUserName(editor, "Kim");
    data.setMyPassword(editor, "Passw0rd!");
    data.setLastCacheTime(editor, "20240101120000");
    data.setAccessKey(editor, "access-key");
    data.setDeviceId(editor, "device-1");
    data.setAutoLogin(editor, true);
    data.setAlarm(editor, false);
    data.setAlarmOffTopics(editor, kOff);
    data.setFileSaveOption(editor, false);
    QVERIFY(data.applyCommit(editor));
}

} // namespace

// The record classes and the session values on a real file: JSON, writes, refused writes.
class TestDBRecords : public QObject
{
    Q_OBJECT
    std::unique_ptr<StoreFixture> m_store;
    DBManager& db() { return m_store->db(); }

private slots:
    void init() { m_store = std::make_unique<StoreFixture>(); }
    void cleanup() { m_store.reset(); }

    // A number beyond 64 bits must not be converted (undefined behaviour).
    void userNumbersOutOfRange()
    {
        const auto object =
            QJsonDocument::fromJson(R"({"userId":1e30,"userName":-1e300,"userSortSeq":9.5e18})");
        const DBUser user(&db(), object.object());
        QCOMPARE((QStringList{QString::number(user.userId()), user.userName(), user.userSort()}),
                 (QStringList{"0", "-1e+300", "9.5e+18"}));
    }

    // Inside a transaction (no statement journal) the rows must come out the same.
    void chatRowAndReplace_data()
    {
        QTest::addColumn<QString>("begin");
        QTest::newRow("autocommit") << "SELECT 1";
        QTest::newRow("in a transaction") << "BEGIN";
    }

    void chatRowAndReplace()
    {
        QFETCH(QString, begin);
        QVERIFY(m_store->exec(begin));
        DBChat first(&db());
        first.setTopic("chat/7");
        first.setMsgId("c-1");
        first.setSenderId(2);
        first.setMsgTime(Q_INT64_C(1700000000000));
        first.setMsgState(MsgStateConfirmed);
        first.setContent(ContentTypeText, "first");
        QVERIFY(first.insertOrUpdate());
        QCOMPARE(first.insert(), -1); // a stored record is never inserted twice
        // The same msg_id replaces the row, even from another room; a copy writes once attached.
        DBChat again(first);
        again.setId(0);
        again.setTopic("chat/8");
        again.setContent(ContentTypeText, "second");
        QCOMPARE(again.insert(), -1);
        again.setDbManager(&db());
        const qint64 secondId = again.insert();
        QVERIFY(secondId > first.id());
        again.setContent(ContentTypeText, "third");
        QVERIFY(again.insertOrUpdate());
        QCOMPARE(again.id(), secondId);
        QVERIFY(m_store->exec(QString(begin).replace("BEGIN", "COMMIT")));
        QCOMPARE(m_store->table("SELECT topic, content, typeof(msg_read) FROM TTT_CHATT"),
                 (Rows{{{"chat/8", "third", "integer"}}}));
    }

    // An uploaded file's place on the server is written with its state at once.
    void stateUpdates()
    {
        DBChat file(&db());
        file.setTopic("chat/8");
        file.setMsgId("u-1");
        file.setFile(QString(), "a.txt", 3, QString());
        QVERIFY(file.insertOrUpdate());
        const QString uploaded = R"({"file_name":"a.txt","remote_path_url":"/r"})";
        QVERIFY(file.updateMsgStateAndContent(MsgStateUploaded, uploaded));
        QCOMPARE(m_store->table("SELECT msg_state, content FROM TTT_CHATT"),
                 (Rows{{{QString::number(MsgStateUploaded), uploaded}}}));
        // Peer content that does not parse is refused, and leaves no attachment behind.
        QVERIFY(!file.setContent(ContentTypeFile, "[1, 2"));
        QCOMPARE(file.fileName(), QString());
    }

    void logInAndOff()
    {
        // A device id made before any log-in is stored at once, for every later session.
        const QString made = MTData(&db()).deviceId();
        QCOMPARE(MTData(&db()).currentDeviceId(), made);
        {
            MTData data(&db());
            logIn(data);
            // A copy holds the values, never the database: its writes reach no file.
            DBEditor editor;
            QVERIFY(!DBMTData(data).setUserName(editor, "From a copy"));
        }
        m_store->reopen();
        SessionValues loggedOff;
        loggedOff.lastCacheTime = "19700101000000";
        loggedOff.deviceId = "device-1";
        loggedOff.fileSaveOption = true;
        {
            MTData data(&db());
            QCOMPARE(valuesOf(data), kLoggedIn);
            // The account goes; the device and the alarm choices stay for this session only.
            QVERIFY(data.applyZero());
            SessionValues inSession = loggedOff;
            inSession.alarmOffTopics = kLoggedIn.alarmOffTopics;
            QCOMPARE(valuesOf(data), inSession);
        }
        m_store->reopen();
        loggedOff.alarm = true;
        QCOMPARE(valuesOf(MTData(&db())), loggedOff);
    }

    // A refused write is reported and undoes its editor's other keys; memory keeps the disk's.
    void refusedWritesAreReportedAndUndone()
    {
        MTData data(&db());
        logIn(data);
        // As on a full disk or a broken file.
        m_store->refuse("INSERT", "TTT_MTDATA",
                        "NEW.key = " + QString::number(DBMTData::KeyAccessKey));
        DBEditor login;
        data.setUserId(login, 43);
        data.setCustId(login, 8);
        data.setAccessKey(login, "new-key");
        QVERIFY(!data.applyCommit(login));
        QVERIFY(!m_store->db().inTransaction());
        QCOMPARE(valuesOf(MTData(&db())), kLoggedIn);
        m_store->refuse("INSERT", "TTT_MTDATA", "1");
        DBEditor editor;
        QVERIFY(!data.setUserName(editor, "New"));
        QVERIFY(!data.setTopicAlarm(editor, "chat/9", false));
        QCOMPARE(valuesOf(data), kLoggedIn);
        QCOMPARE(valuesOf(MTData(&db())), kLoggedIn);

        m_store->refuse("DELETE", "TTT_MTDATA", "1");
        QVERIFY(!data.applyZero());
        QCOMPARE(data.userId(), qint64(0));
        QCOMPARE(MTData(&db()).userId(), qint64(42));
    }

    void alarmOffTopics()
    {
        MTData data(&db());
        DBEditor editor;
        QVERIFY(data.setAlarmOffTopics(editor, {"chat/1", "chat/2"}));
        QCOMPARE(data.isTopicAlarmOn("chat/2"), false);
        QCOMPARE(data.isTopicAlarmOn("Chat/2"), true);
        QVERIFY(data.setTopicAlarm(editor, "chat/3", false));
        QVERIFY(data.setTopicAlarm(editor, "Chat/1", true)); // other case: a different topic
        QVERIFY(data.setTopicAlarm(editor, "chat/1", true));
        // Written at once, without the caller's applyCommit.
        QCOMPARE(MTData(&db()).alarmOffTopics(), (QStringList{"chat/2", "chat/3"}));
    }
};

QTEST_GUILESS_MAIN(TestDBRecords)
#include "tst_dbrecords.moc"
