#include "common/testenv.h"
#include "main/mtdata.h"
#include "store/dbmanager.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

// The session object and its key/value table, through real files reopened between steps.
class TestMTData : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void roundTripOfEveryKey();
    void storedFlags_data();
    void storedFlags();
    void alarmOffTopics();
    void applyZeroKeepsTheDeviceId();
    void deviceIdIsMadeOnce();
    void applyCommitFailures();
    void newestInstance();

private:
    void reopen();
    QStringList rows();
    void store(int key, const QString& value);

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<DBManager> m_db;
};

void TestMTData::init()
{
    m_env = std::make_unique<TestEnv>();
    reopen();
}

void TestMTData::cleanup()
{
    m_db.reset();
    m_env.reset();
}

void TestMTData::reopen()
{
    m_db.reset();
    m_db = std::make_unique<DBManager>(m_env->path(QStringLiteral("veltri_s.db")),
                                       QStringLiteral("Veltri"),
                                       QString::fromLatin1(DBManager::kPassword), 1);
    QVERIFY(m_db->isOpen());
}

QStringList TestMTData::rows()
{
    QStringList found;
    QSqlQuery query(m_db->database());
    query.exec(QStringLiteral("SELECT key, value FROM TTT_MTDATA ORDER BY key"));
    while (query.next())
        found << query.value(0).toString() + QLatin1Char('=') + query.value(1).toString();
    return found;
}

void TestMTData::store(int key, const QString& value)
{
    QSqlQuery query(m_db->database());
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO TTT_MTDATA (key, value) VALUES (?, ?)"));
    query.addBindValue(key);
    query.addBindValue(value);
    QVERIFY(query.exec());
}

void TestMTData::roundTripOfEveryKey()
{
    {
        MTData data(m_db.get());
        QVERIFY(data.isLoaded());
        DBEditor editor;
        data.setUserId(editor, 42);
        data.setUserName(editor, QStringLiteral("김철수"));
        data.setThumbUrl(editor, QStringLiteral("/thumb/42.png"));
        data.setImageUrl(editor, QStringLiteral("/image/42.png"));
        data.setMyAccount(editor, QStringLiteral("user042"));
        data.setMyPassword(editor, QStringLiteral("Passw0rd!"));
        data.setLastCacheTime(editor, QStringLiteral("20240101120000"));
        data.setCustId(editor, 7);
        data.setAccessKey(editor, QStringLiteral("access-key"));
        data.setClientId(editor, QStringLiteral("client-1"));
        data.setDeviceId(editor, QStringLiteral("device-1"));
        data.setAutoLogin(editor, true);
        data.setAlarm(editor, false);
        data.setAlarmOffTopics(editor, {QStringLiteral("chat/1"), QStringLiteral("chat/2")});
        data.setFileSaveOption(editor, false);
        data.setServerHistoryOption(editor, true);
        QCOMPARE(editor.size(), 16);
        QVERIFY(data.applyCommit(editor));
    }
    reopen();
    QCOMPARE(rows(),
             (QStringList{"1=1", "2=42", "3=김철수", "4=/thumb/42.png", "5=/image/42.png",
                          "6=user042", "7=5mhgVG8YzbvNhrNeGLUlv/xn93LGUM7f4/96ACb6He4=",
                          "8=20240101120000", "9=7", "10=access-key", "11=client-1", "12=device-1",
                          "13=1", "14=0", "15=chat/1|chat/2", "16=0", "17=1"}));
    const MTData data(m_db.get());
    QCOMPARE(data.userId(), 42);
    QCOMPARE(data.userName(), QStringLiteral("김철수"));
    QCOMPARE(data.thumbUrl(), QStringLiteral("/thumb/42.png"));
    QCOMPARE(data.imageUrl(), QStringLiteral("/image/42.png"));
    QCOMPARE(data.myAccount(), QStringLiteral("user042"));
    QCOMPARE(data.myPassword(), DBMTData::passwordDigest(QStringLiteral("Passw0rd!")));
    QCOMPARE(data.lastCacheTime(), QStringLiteral("20240101120000"));
    QCOMPARE(data.custId(), 7);
    QCOMPARE(data.accessKey(), QStringLiteral("access-key"));
    QCOMPARE(data.clientId(), QStringLiteral("client-1"));
    QCOMPARE(const_cast<MTData&>(data).deviceId(), QStringLiteral("device-1"));
    QVERIFY(data.autoLogin());
    QVERIFY(!data.alarm());
    QCOMPARE(data.alarmOffTopics(), (QStringList{"chat/1", "chat/2"}));
    QVERIFY(!data.fileSaveOption());
    QVERIFY(data.serverHistoryOption());
    QCOMPARE(data.version(), QStringLiteral("1046"));
}

void TestMTData::storedFlags_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("stored"); // "-": no row
    QTest::addColumn<bool>("on");

    for (int key : {13, 14, 16, 17}) {
        const bool defaultOn = key == 14 || key == 16;
        const QByteArray k = QByteArray::number(key);
        QTest::newRow(QByteArray(k + " absent").constData()) << key << "-" << defaultOn;
        QTest::newRow(QByteArray(k + " 1").constData()) << key << "1" << true;
        QTest::newRow(QByteArray(k + " 0").constData()) << key << "0" << false;
        QTest::newRow(QByteArray(k + " 2").constData()) << key << "2" << false;
        QTest::newRow(QByteArray(k + " text").constData()) << key << "true" << false;
        QTest::newRow(QByteArray(k + " empty").constData()) << key << "" << false;
    }
}

void TestMTData::storedFlags()
{
    QFETCH(int, key);
    QFETCH(QString, stored);
    QFETCH(bool, on);
    if (stored != QLatin1String("-"))
        store(key, stored);
    const MTData data(m_db.get());
    const bool values[] = {data.autoLogin(), data.alarm(), data.fileSaveOption(),
                           data.serverHistoryOption()};
    const int index = key == 13 ? 0 : key == 14 ? 1 : key == 16 ? 2 : 3;
    QCOMPARE(values[index], on);
}

void TestMTData::alarmOffTopics()
{
    {
        store(DBMTData::KeyAlarmOffTopics, QString());
        const MTData empty(m_db.get());
        QVERIFY(empty.alarmOffTopics().isEmpty());
        QVERIFY(empty.isTopicAlarmOn(QStringLiteral("chat/1")));
    }
    store(DBMTData::KeyAlarmOffTopics, QStringLiteral("chat/1|chat/2"));
    MTData data(m_db.get());
    QCOMPARE(data.alarmOffTopics(), (QStringList{"chat/1", "chat/2"}));
    QVERIFY(!data.isTopicAlarmOn(QStringLiteral("chat/2")));
    QVERIFY(data.isTopicAlarmOn(QStringLiteral("Chat/2")));

    DBEditor editor;
    data.setTopicAlarm(editor, QStringLiteral("chat/3"), false);
    data.setTopicAlarm(editor, QStringLiteral("chat/3"), false);
    data.setTopicAlarm(editor, QStringLiteral("Chat/1"), true); // other case: a different topic
    data.setTopicAlarm(editor, QStringLiteral("chat/1"), true);
    QCOMPARE(data.alarmOffTopics(), (QStringList{"chat/2", "chat/3"}));
    // Written at once, without the caller's applyCommit.
    QVERIFY(rows().contains(QStringLiteral("15=chat/2|chat/3")));
}

void TestMTData::applyZeroKeepsTheDeviceId()
{
    QString deviceId;
    {
        MTData data(m_db.get());
        DBEditor editor;
        data.setUserId(editor, 42);
        data.setCustId(editor, 7);
        data.setAccessKey(editor, QStringLiteral("access-key"));
        data.setClientId(editor, QStringLiteral("client-1"));
        data.setMyAccount(editor, QStringLiteral("user042"));
        data.setLastCacheTime(editor, QStringLiteral("20240101120000"));
        data.setAutoLogin(editor, true);
        data.setFileSaveOption(editor, false);
        data.setServerHistoryOption(editor, true);
        data.setMyPassword(editor, QStringLiteral("pw"));
        data.setAlarm(editor, false);
        data.setTopicAlarm(editor, QStringLiteral("chat/5"), false);
        deviceId = data.deviceId();

        data.applyZero();
        QCOMPARE(rows(), QStringList{QStringLiteral("12=") + deviceId});
        QCOMPARE(data.userId(), 0);
        QCOMPARE(data.custId(), 0);
        QCOMPARE(data.accessKey(), QString());
        QCOMPARE(data.clientId(), QString());
        QCOMPARE(data.myAccount(), QString());
        QCOMPARE(data.myPassword(), QString());
        QCOMPARE(data.lastCacheTime(), QStringLiteral("19700101000000"));
        QVERIFY(!data.autoLogin());
        QVERIFY(data.fileSaveOption());
        QVERIFY(!data.serverHistoryOption());
        QCOMPARE(data.deviceId(), deviceId);
        QVERIFY(!data.alarm());
        QCOMPARE(data.alarmOffTopics(), QStringList{"chat/5"});
    }
    reopen();
    MTData again(m_db.get());
    QCOMPARE(again.deviceId(), deviceId);
    QCOMPARE(again.lastCacheTime(), QStringLiteral("19700101000000"));

    MTData detached;
    QTest::ignoreMessage(QtWarningMsg, "DBMTData::applyZero dbManager is null");
    detached.applyZero();
}

void TestMTData::deviceIdIsMadeOnce()
{
    MTData memoryOnly;
    const QString made = memoryOnly.deviceId();
    QCOMPARE(made.size(), 24);
    QVERIFY(QRegularExpression(QStringLiteral("^[A-Za-z0-9+/]{22}==$")).match(made).hasMatch());
    QCOMPARE(memoryOnly.deviceId(), made);
    QVERIFY(MTData().deviceId() != made);

    MTData stored(m_db.get());
    const QString storedId = stored.deviceId();
    QVERIFY(rows().contains(QStringLiteral("12=") + storedId));
    QCOMPARE(stored.deviceId(), storedId);
    QCOMPARE(MTData(m_db.get()).deviceId(), storedId);
}

void TestMTData::applyCommitFailures()
{
    MTData detached;
    DBEditor editor;
    detached.setUserId(editor, 1);
    QTest::ignoreMessage(QtWarningMsg, "DBMTData::applyCommit - dbManager is null");
    QVERIFY(!detached.applyCommit(editor));

    MTData data(m_db.get());
    QTest::ignoreMessage(QtDebugMsg, "DBMTData::applyCommit - editor is empty");
    QVERIFY(!data.applyCommit(DBEditor()));

    // One refused write undoes the whole editor.
    QSqlQuery query(m_db->database());
    QVERIFY(query.exec(QStringLiteral("CREATE TRIGGER refuse9 BEFORE INSERT ON TTT_MTDATA WHEN "
                                      "NEW.key = 9 BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    DBEditor two;
    data.setUserId(two, 5);
    data.setCustId(two, 9);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refused")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("rolled back")));
    QVERIFY(!data.applyCommit(two));
    QCOMPARE(rows(), QStringList{"1=1"});

    // A later commit on the same connection is not caught in a leftover transaction.
    DBEditor one;
    data.setUserId(one, 6);
    QVERIFY(data.applyCommit(one));
    QCOMPARE(rows(), (QStringList{"1=1", "2=6"}));

    // Loading from a closed connection fails and says so.
    DBManager closed(m_env->path(QStringLiteral("veltri_s.db")), QStringLiteral("wrong"),
                     QStringLiteral("not the key"), 1);
    QTest::ignoreMessage(QtWarningMsg, "MTData - initMTData is false");
    const MTData unloaded(&closed);
    QVERIFY(!unloaded.isLoaded());
}

void TestMTData::newestInstance()
{
    auto first = std::make_unique<MTData>();
    QCOMPARE(MTData::instance(), first.get());
    auto second = std::make_unique<MTData>(m_db.get());
    QCOMPARE(MTData::instance(), second.get());
    first.reset();
    QCOMPARE(MTData::instance(), second.get());
    second.reset();
    QCOMPARE(MTData::instance(), nullptr);

    // The newest going first hands the pointer back to the one still alive.
    auto older = std::make_unique<MTData>();
    auto newer = std::make_unique<MTData>();
    QCOMPARE(MTData::instance(), newer.get());
    newer.reset();
    QCOMPARE(MTData::instance(), older.get());
    older.reset();
    QCOMPARE(MTData::instance(), nullptr);
}

QTEST_GUILESS_MAIN(TestMTData)
#include "tst_mtdata.moc"
