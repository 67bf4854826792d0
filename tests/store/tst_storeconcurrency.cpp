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
    Worker(const char* name, int dbVersion, const char* room)
        : connection(QString::fromLatin1(name)), version(dbVersion),
          topic(QString::fromLatin1(room))
    {}
    const QString connection;
    const int version;
    const QString topic;
    int inserted = 0;
    QString failure; // the first one

    bool fail(const QString& what, const QSqlError& error = QSqlError())
    {
        failure = what + QLatin1Char(' ') + error.text();
        return false;
    }

    bool insertChat(DBManager& db)
    {
        const int n = ++inserted;
        DBChat chat(&db);
        chat.setTopic(topic);
        chat.setMsgId(topic + QLatin1Char('-') + QString::number(n));
        chat.setSenderId(n);
        chat.setMsgTime(n);
        chat.setContent(1, QStringLiteral("message %1 of %2").arg(n).arg(topic));
        return chat.insertOrUpdate() || fail(QStringLiteral("insert"));
    }

    // One round: an insert, or every tenth round a batch as the room and cache merges write
    // them; then the own rows counted while the others write theirs.
    bool round(DBManager& db, int round)
    {
        QSqlDatabase& c = db.database();
        if (round % 10 == 0) {
            if (!c.transaction())
                return fail(QStringLiteral("begin"), c.lastError());
            for (int i = 0; i < 10; ++i) {
                if (!insertChat(db))
                    return false;
            }
            if (!DBChatReader(&db, topic, topic + QStringLiteral("-1"), round, 1).insertOrUpdate())
                return fail(QStringLiteral("reader"));
            if (!c.commit())
                return fail(QStringLiteral("commit"), c.lastError());
        } else if (!insertChat(db)) {
            return false;
        }
        QSqlQuery count(c);
        count.prepare(QStringLiteral("SELECT count(*) FROM TTT_CHATT WHERE topic=?"));
        count.addBindValue(topic);
        if (!count.exec() || !count.next())
            return fail(QStringLiteral("count"), count.lastError());
        if (count.value(0).toInt() != inserted)
            return fail(QStringLiteral("own rows missing"));
        return true;
    }

    void run(const QString& file)
    {
        DBManager db(file, connection, kKey, version);
        if (!db.isOpen()) {
            fail(QStringLiteral("open"));
            return;
        }
        QElapsedTimer clock;
        clock.start();
        for (int n = 1; clock.elapsed() < kRunMs && round(db, n); ++n) {
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
    Worker workers[] = {{"Veltri", 1, "chat/1"},
                        {"Veltri_mqtt", 0, "chat/2"},
                        {"Veltri_cache", 0, "chat/3"},
                        {"Veltri_chatrooms", 0, "chat/4"}};
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
        QVERIFY2(worker.failure.isEmpty(), qPrintable(worker.connection + ": " + worker.failure));
        QVERIFY(worker.inserted > 10);
        QSqlQuery count(check.database());
        count.prepare(QStringLiteral("SELECT count(*) || '|' || count(DISTINCT msg_id) || '|' || "
                                     "max(msg_time) FROM TTT_CHATT WHERE topic=?"));
        count.addBindValue(worker.topic);
        QVERIFY(count.exec() && count.next());
        QCOMPARE(count.value(0).toString(), QStringLiteral("%1|%1|%1").arg(worker.inserted));
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
