#include "store/mtdata.h"
#include "store/dbmanager.h"
#include "storefixture.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

// Every value of the session object, keys 2 to 17 in order.
QString summary(MTData& d)
{
    return fields({d.userId(), d.userName(), d.thumbUrl(), d.imageUrl(), d.myAccount(),
                   d.myPassword(), d.lastCacheTime(), d.custId(), d.accessKey(), d.clientId(),
                   d.deviceId(), d.autoLogin(), d.alarm(),
                   d.alarmOffTopics().join(QLatin1Char(',')), d.fileSaveOption(),
                   d.serverHistoryOption()});
}

const QString kDigest = "5mhgVG8YzbvNhrNeGLUlv/xn93LGUM7f4/96ACb6He4=";

} // namespace

// The session object and its key/value table, through real files reopened between steps.
class TestMTData : public QObject
{
    Q_OBJECT
    DBManager* db() { return &m_store->db(); }
    QStringList rows() { return m_store->rows("SELECT key, value FROM TTT_MTDATA ORDER BY key"); }
    void store(int key, const QString& value)
    {
        QVERIFY(m_store->exec("INSERT OR REPLACE INTO TTT_MTDATA VALUES (?, ?)", {key, value}));
    }

    std::unique_ptr<StoreFixture> m_store;

private slots:
    void init() { m_store = std::make_unique<StoreFixture>(); }
    void cleanup() { m_store.reset(); }

    void roundTripAndApplyZero()
    {
        {
            MTData data(db());
            QVERIFY(data.isLoaded());
            DBEditor editor;
            data.setUserId(editor, 42);
            data.setUserName(editor, "김철수");
            data.setThumbUrl(editor, "/thumb/42.png");
            data.setImageUrl(editor, "/image/42.png");
            data.setMyAccount(editor, "user042");
            data.setMyPassword(editor, "Passw0rd!");
            data.setLastCacheTime(editor, "20240101120000");
            data.setCustId(editor, 7);
            data.setAccessKey(editor, "access-key");
            data.setClientId(editor, "client-1");
            data.setDeviceId(editor, "device-1");
            data.setAutoLogin(editor, true);
            data.setAlarm(editor, false);
            data.setAlarmOffTopics(editor, {"chat/1", "chat/2"});
            data.setFileSaveOption(editor, false);
            data.setServerHistoryOption(editor, true);
            QCOMPARE(editor.size(), 16);
            QVERIFY(data.applyCommit(editor));
        }
        m_store->reopen();
        QCOMPARE(rows(),
                 (QStringList{"1|1", "2|42", "3|김철수", "4|/thumb/42.png", "5|/image/42.png",
                              "6|user042", "7|" + kDigest, "8|20240101120000", "9|7",
                              "10|access-key", "11|client-1", "12|device-1", "13|1", "14|0",
                              "15|chat/1|chat/2", "16|0", "17|1"}));
        {
            MTData data(db());
            QCOMPARE(
                summary(data),
                QString("42|김철수|/thumb/42.png|/image/42.png|user042|" + kDigest +
                        "|20240101120000|7|access-key|client-1|device-1|1|0|chat/1,chat/2|0|1"));
            QCOMPARE(data.myPassword(), DBMTData::passwordDigest("Passw0rd!"));
            // Log off: the account is gone; the device and the alarm choices stay for this session.
            data.applyZero();
            QCOMPARE(rows(), QStringList{"12|device-1"});
            QCOMPARE(summary(data), "0||||||19700101000000|0|||device-1|0|0|chat/1,"
                                    "chat/2|1|0");
        }
        m_store->reopen();
        MTData again(db());
        QCOMPARE(summary(again), "0||||||19700101000000|0|||device-1|0|1||1|0");
        MTData detached;
        QTest::ignoreMessage(QtWarningMsg, "DBMTData::applyZero dbManager is null");
        detached.applyZero();

        // A flag is on only as "1".
        store(13, "2");
        store(14, "true");
        store(16, QString(""));
        store(17, "1");
        const MTData flags(db());
        QCOMPARE(fields({flags.autoLogin(), flags.alarm(), flags.fileSaveOption(),
                         flags.serverHistoryOption()}),
                 "0|0|0|1");
    }

    void alarmOffTopics()
    {
        store(DBMTData::KeyAlarmOffTopics, QString(""));
        QCOMPARE(MTData(db()).alarmOffTopics(), QStringList());
        store(DBMTData::KeyAlarmOffTopics, "chat/1|chat/2");
        MTData data(db());
        QCOMPARE(data.alarmOffTopics(), (QStringList{"chat/1", "chat/2"}));
        QCOMPARE(fields({data.isTopicAlarmOn("chat/2"), data.isTopicAlarmOn("Chat/2")}), "0|1");
        DBEditor editor;
        data.setTopicAlarm(editor, "chat/3", false);
        data.setTopicAlarm(editor, "chat/3", false);
        data.setTopicAlarm(editor, "Chat/1", true); // other case: a different topic
        data.setTopicAlarm(editor, "chat/1", true);
        QCOMPARE(data.alarmOffTopics(), (QStringList{"chat/2", "chat/3"}));
        // Written at once, without the caller's applyCommit.
        QVERIFY(rows().contains("15|chat/2|chat/3"));
    }

    void deviceIdIsMadeOnce()
    {
        MTData memoryOnly;
        const QString made = memoryOnly.deviceId();
        QVERIFY(QRegularExpression("^[A-Za-z0-9+/]{22}==$").match(made).hasMatch());
        QVERIFY(memoryOnly.deviceId() == made && MTData().deviceId() != made);
        // Stored at once, and read back by a later instance.
        const QString stored = MTData(db()).deviceId();
        QCOMPARE(rows(), (QStringList{"1|1", "12|" + stored}));
        QCOMPARE(MTData(db()).deviceId(), stored);
    }

    void applyCommitFailures()
    {
        MTData detached;
        DBEditor editor;
        detached.setUserId(editor, 1);
        QTest::ignoreMessage(QtWarningMsg, "DBMTData::applyCommit - dbManager is null");
        QVERIFY(!detached.applyCommit(editor));

        MTData data(db());

        // One refused write undoes the whole editor.
        QVERIFY(m_store->exec("CREATE TRIGGER refuse9 BEFORE INSERT ON TTT_MTDATA WHEN "
                              "NEW.key = 9 BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        DBEditor two;
        data.setUserId(two, 5);
        data.setCustId(two, 9);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("rolled back"));
        QVERIFY(!data.applyCommit(two));
        QCOMPARE(rows(), QStringList{"1|1"});

        // A later commit on the same connection is not caught in a leftover transaction.
        DBEditor one;
        data.setUserId(one, 6);
        QVERIFY(data.applyCommit(one));
        QCOMPARE(rows(), (QStringList{"1|1", "2|6"}));

        // Loading from a closed connection fails and says so.
        DBManager closed(m_store->file(), "wrong", "not the key", 1);
        QTest::ignoreMessage(QtWarningMsg, "MTData - initMTData is false");
        QVERIFY(!MTData(&closed).isLoaded());
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
