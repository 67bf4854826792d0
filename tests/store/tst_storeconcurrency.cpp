#include "common/testenv.h"
#include "logcapture.h"
#include "main/mtdata.h"
#include "store/dbchat.h"
#include "store/dbchatreader.h"
#include "store/dbmanager.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

const QString kKey = QString::fromLatin1(DBManager::kPassword);
constexpr qint64 kRunMs = 3000;

// One thread of the program: its own named connection, writing and reading the shared file.
struct Worker
{
    QString connection;
    int version = 0;
    QString topic;
    int inserted = 0;
    int failures = 0;
    QString firstFailure;

    void fail(const QString& what)
    {
        if (!failures++)
            firstFailure = what;
    }

    bool insertChat(DBManager& db, int n)
    {
        DBChat chat(&db);
        chat.setTopic(topic);
        chat.setMsgId(topic + QLatin1Char('-') + QString::number(n));
        chat.setSenderId(n);
        chat.setMsgTime(n);
        chat.setContent(1, QStringLiteral("message %1 of %2").arg(n).arg(topic));
        return chat.insertOrUpdate();
    }

    void run(const QString& file)
    {
        DBManager db(file, connection, kKey, version);
        if (!db.isOpen())
            return fail(QStringLiteral("open"));
        QElapsedTimer clock;
        clock.start();
        int round = 0;
        while (clock.elapsed() < kRunMs) {
            ++round;
            if (round % 10 == 0) {
                // A batch, as the room and cache merges write them.
                if (!db.database().transaction())
                    return fail(QStringLiteral("begin: ") + db.database().lastError().text());
                for (int i = 0; i < 10; ++i) {
                    if (!insertChat(db, inserted + 1))
                        return fail(QStringLiteral("batch insert"));
                    ++inserted;
                }
                if (!DBChatReader(&db, topic, topic + QStringLiteral("-1"), round, 1)
                         .insertOrUpdate())
                    return fail(QStringLiteral("reader"));
                if (!db.database().commit())
                    return fail(QStringLiteral("commit: ") + db.database().lastError().text());
            } else {
                if (!insertChat(db, inserted + 1))
                    return fail(QStringLiteral("insert"));
                ++inserted;
            }
            QSqlQuery count(db.database());
            count.prepare(QStringLiteral("SELECT count(*) FROM TTT_CHATT WHERE topic=?"));
            count.addBindValue(topic);
            if (!count.exec() || !count.next())
                return fail(QStringLiteral("count: ") + count.lastError().text());
            if (count.value(0).toInt() != inserted)
                return fail(QStringLiteral("own rows missing"));
            QSqlQuery all(db.database());
            if (!all.exec(QStringLiteral("SELECT C._id, U.user_name FROM TTT_CHATT C LEFT JOIN "
                                         "TTT_USER U ON C.sender_id = U.user_id ORDER BY "
                                         "C.msg_time DESC LIMIT 20")))
                return fail(QStringLiteral("read: ") + all.lastError().text());
            while (all.next()) {
            }
        }
    }
};

} // namespace

// Threads are std::threads: ThreadSanitizer sees their start and join, while QThread::wait()
// synchronises inside Qt, which is not built for it.
class TestStoreConcurrency : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_log = std::make_unique<LogCapture>(); }
    void cleanupTestCase() { m_log.reset(); }
    void fourConnectionsOnFourThreads();
    void connectionStaysOnItsThread();
    void sessionReadsDuringLoginAndLogoff();

private:
    std::unique_ptr<LogCapture> m_log;
};

void TestStoreConcurrency::fourConnectionsOnFourThreads()
{
    TestEnv env;
    const QString file = env.path(QStringLiteral("veltri_four.db"));
    Worker workers[4];
    const char* names[] = {"Veltri", "Veltri_mqtt", "Veltri_cache", "Veltri_chatrooms"};
    for (int i = 0; i < 4; ++i) {
        workers[i].connection = QString::fromLatin1(names[i]);
        workers[i].version = i == 0 ? 1 : 0;
        workers[i].topic = QStringLiteral("chat/%1").arg(i + 1);
    }
    m_log->clear();
    // All four open the new file at once, so the schema is made under contention too.
    std::vector<std::thread> threads;
    for (Worker& worker : workers)
        threads.emplace_back([&worker, file] { worker.run(file); });
    for (std::thread& thread : threads)
        thread.join();

    QCOMPARE(m_log->matching(QStringLiteral("DBManager::createDB() TTT_USER")).size(), 1);
    QStringList problems;
    for (const QString& line : m_log->lines()) {
        if (line.contains(QLatin1String("fail")) || line.contains(QLatin1String("locked")))
            problems << line;
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));

    DBManager check(file, QStringLiteral("check"), kKey, 0);
    for (const Worker& worker : workers) {
        QVERIFY2(worker.failures == 0,
                 qPrintable(worker.connection + QStringLiteral(": ") + worker.firstFailure));
        QVERIFY(worker.inserted > 10);
        QSqlQuery count(check.database());
        count.prepare(QStringLiteral("SELECT count(*), count(DISTINCT msg_id), max(msg_time) "
                                     "FROM TTT_CHATT WHERE topic=?"));
        count.addBindValue(worker.topic);
        QVERIFY(count.exec() && count.next());
        QCOMPARE(count.value(0).toInt(), worker.inserted);
        QCOMPARE(count.value(1).toInt(), worker.inserted);
        QCOMPARE(count.value(2).toInt(), worker.inserted);
        qInfo().noquote() << worker.connection << "inserted" << worker.inserted;
    }
}

void TestStoreConcurrency::connectionStaysOnItsThread()
{
#ifdef NDEBUG
    QSKIP("the driver checks the owning thread in debug builds only");
#else
    TestEnv env;
    DBManager db(env.path(QStringLiteral("veltri_owner.db")), QStringLiteral("Veltri"), kKey, 1);
    QVERIFY(db.isOpen());
    QSqlDatabase connection = db.database();
    bool executed = true;
    QString error;
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral(
                                            "^SqlCipherDriver::prepare - connection of .* used "
                                            "outside the thread that opened it$")));
    std::thread other([&] {
        QSqlQuery query(connection);
        executed = query.exec(QStringLiteral("SELECT count(*) FROM TTT_CHATT"));
        error = query.lastError().text();
    });
    other.join();
    QVERIFY(!executed);
    QVERIFY2(error.contains(QLatin1String("outside its thread")), qPrintable(error));
    // The owner goes on using it.
    QVERIFY(QSqlQuery(connection).exec(QStringLiteral("SELECT count(*) FROM TTT_CHATT")));
#endif
}

void TestStoreConcurrency::sessionReadsDuringLoginAndLogoff()
{
    TestEnv env;
    DBManager db(env.path(QStringLiteral("veltri_session.db")), QStringLiteral("Veltri"), kKey, 1);
    MTData session(&db);
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<int> torn{0};

    // The messaging and request threads read ids and keys while the GUI thread logs in and off.
    std::thread reader([&] {
        while (!stop.load()) {
            MTData* current = MTData::instance();
            if (!current)
                continue;
            const qint64 userId = current->userId();
            const QString key = current->accessKey();
            const QString client = current->clientId();
            if ((userId != 0 && userId != 42) ||
                (!key.isEmpty() && key != QLatin1String("access-key")) ||
                (!client.isEmpty() && client != QLatin1String("client-1")))
                ++torn;
            current->isTopicAlarmOn(QStringLiteral("chat/1"));
            current->lastCacheTime();
            ++reads;
        }
    });
    for (int cycle = 0; cycle < 100; ++cycle) {
        DBEditor editor;
        session.setUserId(editor, 42);
        session.setAccessKey(editor, QStringLiteral("access-key"));
        session.setClientId(editor, QStringLiteral("client-1"));
        session.setTopicAlarm(editor, QStringLiteral("chat/1"), cycle % 2 == 0);
        QVERIFY(session.applyCommit(editor));
        session.applyZero();
    }
    while (reads.load() < 100)
        QThread::yieldCurrentThread();
    stop = true;
    reader.join();
    QCOMPARE(torn.load(), 0);
}

QTEST_GUILESS_MAIN(TestStoreConcurrency)
#include "tst_storeconcurrency.moc"
