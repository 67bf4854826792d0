#include "logcapture.h"
#include "store/dbchat.h"
#include "store/dbchatreader.h"
#include "store/dbmanager.h"
#include "store/mtdata.h"
#include "storefixture.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {

const QString kKey = QString::fromLatin1(DBManager::kPassword);
constexpr qint64 kRunMs = 3000;

// One thread of the program: its own named connection, writing and reading the shared file.
// Every tenth round writes a batch in a transaction, as the room and cache merges do; every
// round counts the own rows while the others write theirs.
struct Worker
{
    const QString connection;
    const int version;
    const QString topic;
    int inserted = 0;
    QString failure; // the first one

    bool insertChat(DBManager& db)
    {
        const int n = ++inserted;
        DBChat chat(&db);
        chat.setTopic(topic);
        chat.setMsgId(topic + QLatin1Char('-') + QString::number(n));
        chat.setSenderId(n);
        chat.setMsgTime(n);
        chat.setContent(1, QStringLiteral("message %1 of %2").arg(n).arg(topic));
        return chat.insertOrUpdate();
    }

    bool round(DBManager& db, int round)
    {
        QSqlDatabase& c = db.database();
        const bool batch = round % 10 == 0;
        if (batch && !c.transaction())
            return fail("begin " + c.lastError().text());
        for (int i = 0; i < (batch ? 10 : 1); ++i) {
            if (!insertChat(db))
                return fail("insert");
        }
        if (batch && !DBChatReader(&db, topic, topic + "-1", round, 1).insertOrUpdate())
            return fail("reader");
        if (batch && !c.commit())
            return fail("commit " + c.lastError().text());
        return db.chatCount(topic) == inserted || fail("own rows missing");
    }

    bool fail(const QString& what)
    {
        failure = what;
        return false;
    }

    void run(const QString& file)
    {
        DBManager db(file, connection, kKey, version);
        QElapsedTimer clock;
        clock.start();
        for (int n = 1; clock.elapsed() < kRunMs && (db.isOpen() || fail("open")) && round(db, n);
             ++n) {
        }
    }
};

// 1 for a session value that is neither the logged-in one nor none.
int isTorn(qint64 userId, const QString& key)
{
    const bool userTorn = userId != 0 && userId != 42;
    const bool keyTorn = !key.isEmpty() && key != QLatin1String("access-key");
    return userTorn || keyTorn ? 1 : 0;
}

// One worker's run: its first failure, whether it got far, and its rows found afterwards.
struct WorkerResult
{
    QString connection;
    QString failure;
    bool moreThanTenRows = false;
    int rowsFound = 0;
    bool operator==(const WorkerResult& o) const
    {
        return connection == o.connection && failure == o.failure &&
               moreThanTenRows == o.moreThanTenRows && rowsFound == o.rowsFound;
    }
};

char* toString(const WorkerResult& w)
{
    return qstrdup(QStringLiteral("{connection=%1 failure=\"%2\" moreThanTenRows=%3 rowsFound=%4}")
                       .arg(w.connection, w.failure)
                       .arg(w.moreThanTenRows)
                       .arg(w.rowsFound)
                       .toUtf8()
                       .constData());
}

// What another thread tries on a connection that is not its own.
enum class ForeignUse
{
    Query,
    Transaction,
    KeptQuery,
    RecordWrite,
    ReadOwnersRows, // the rows of a query the owner ran
};

bool useConnection(DBManager& db, ForeignUse use, QSqlQuery& ownersQuery)
{
    const QString insert = "INSERT INTO TTT_CHATT (topic, msg_id) VALUES ('chat/9', 'x')";
    DBChat chat(&db);
    chat.setTopic("chat/9");
    chat.setMsgId("x");
    switch (use) {
    case ForeignUse::Query:
        return QSqlQuery(db.database()).exec(insert);
    case ForeignUse::Transaction:
        return db.database().transaction();
    case ForeignUse::KeptQuery:
        return db.preparedQuery(insert) != nullptr;
    case ForeignUse::RecordWrite:
        return chat.insertOrUpdate();
    case ForeignUse::ReadOwnersRows:
        // The first row was read by the owner's exec(); the next needs SQLite.
        return ownersQuery.next() && ownersQuery.next();
    }
    return true;
}

// The other thread's attempt and the store afterwards.
struct ForeignOutcome
{
    bool succeeded = false;
    QStringList criticalLines; // the critical lines about the misuse
    qint64 chats = 0;          // rows of TTT_CHATT afterwards
    bool ownerWrites = false;  // the owning thread still writes
    bool operator==(const ForeignOutcome& o) const
    {
        return succeeded == o.succeeded && criticalLines == o.criticalLines && chats == o.chats &&
               ownerWrites == o.ownerWrites;
    }
};

char* toString(const ForeignOutcome& o)
{
    return qstrdup(QStringLiteral("{succeeded=%1 criticalLines=[%2] chats=%3 ownerWrites=%4}")
                       .arg(o.succeeded)
                       .arg(o.criticalLines.join(QLatin1String(" / ")))
                       .arg(o.chats)
                       .arg(o.ownerWrites)
                       .toUtf8()
                       .constData());
}

} // namespace

Q_DECLARE_METATYPE(ForeignUse)

// Threads are std::threads: ThreadSanitizer sees their start and join, while QThread::wait()
// synchronises inside Qt, which is not built for it.
class TestStoreConcurrency : public QObject
{
    Q_OBJECT
    std::unique_ptr<LogCapture> m_log;

private slots:
    void initTestCase() { m_log = std::make_unique<LogCapture>(); }
    void cleanupTestCase() { m_log.reset(); }

    void fourConnectionsOnFourThreads()
    {
        TestEnv env;
        const QString file = env.path("veltri_four.db");
        Worker workers[] = {{"Veltri", 1, "chat/1", 0, {}},
                            {"Veltri_mqtt", 0, "chat/2", 0, {}},
                            {"Veltri_cache", 0, "chat/3", 0, {}},
                            {"Veltri_chatrooms", 0, "chat/4", 0, {}}};
        m_log->clear();
        // All four open the new file at once, so the schema is made under contention too.
        std::vector<std::thread> threads;
        for (Worker& worker : workers)
            threads.emplace_back([&worker, file] { worker.run(file); });
        for (std::thread& thread : threads)
            thread.join();

        QCOMPARE(m_log->lines("DBManager::createDB() TTT_USER").size(), 1);
        const QStringList problems = m_log->lines().filter(QRegularExpression("fail|locked"));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        DBManager check(file, "check", kKey, 0);
        for (const Worker& worker : workers) {
            QCOMPARE((WorkerResult{worker.connection, worker.failure, worker.inserted > 10,
                                   check.chatCount(worker.topic)}),
                     (WorkerResult{worker.connection, QString(), true, worker.inserted}));
        }
    }

    // In every build type: the other thread's use fails, says why, and writes nothing; the
    // owner goes on.
    void connectionStaysOnItsThread_data()
    {
        QTest::addColumn<ForeignUse>("use");
        QTest::addColumn<QString>("criticalLine");

        const QString driver = "SqlCipherDriver::%1 - connection of %2 used outside the thread "
                               "that opened it";
        QTest::newRow("a query") << ForeignUse::Query << driver.arg("prepare");
        QTest::newRow("a transaction") << ForeignUse::Transaction << driver.arg("execDirect");
        QTest::newRow("the manager's kept query")
            << ForeignUse::KeptQuery
            << "DBManager::preparedQuery - connection Veltri used outside its thread";
        QTest::newRow("a record attached to the other thread's manager")
            << ForeignUse::RecordWrite
            << "DBManager::preparedQuery - connection Veltri used outside its thread";
        QTest::newRow("the rows of the owner's query")
            << ForeignUse::ReadOwnersRows << driver.arg("fetch");
    }

    void connectionStaysOnItsThread()
    {
        QFETCH(ForeignUse, use);
        QFETCH(QString, criticalLine);

        StoreFixture store;
        store.addChat("chat/1", "m-1", 5, 100);
        store.addChat("chat/1", "m-2", 5, 200);
        QSqlQuery ownersQuery(store.db().database());
        ownersQuery.setForwardOnly(true);
        QVERIFY(ownersQuery.exec("SELECT msg_id FROM TTT_CHATT"));
        m_log->clear();
        bool succeeded = true;
        std::thread([&] { succeeded = useConnection(store.db(), use, ownersQuery); }).join();
        ownersQuery.finish();
        const ForeignOutcome outcome{succeeded, m_log->lines(" - connection "),
                                     store.number("SELECT count(*) FROM TTT_CHATT"),
                                     store.exec("INSERT INTO TTT_CHATT (topic, msg_id) VALUES "
                                                "('chat/1', 'm-3')")};
        QCOMPARE(outcome, (ForeignOutcome{false, {criticalLine.arg(store.file())}, 2, true}));
    }

    void sessionReadsDuringLoginAndLogoff()
    {
        TestEnv env;
        DBManager db(env.path("veltri_session.db"), "Veltri", kKey, 1);
        MTData session(&db);
        std::atomic<bool> stop{false};
        std::atomic<int> reads{0};
        std::atomic<int> torn{0};

        // The messaging and request threads read ids and keys while the GUI thread logs in and off:
        // each value is either the logged-in one or none.
        std::thread reader([&] {
            for (MTData* current = MTData::instance(); !stop.load(); ++reads) {
                torn += isTorn(current->userId(), current->accessKey());
                current->isTopicAlarmOn("chat/1");
            }
        });
        for (int cycle = 0; cycle < 100; ++cycle) {
            DBEditor editor;
            session.setUserId(editor, 42);
            session.setAccessKey(editor, "access-key");
            session.setTopicAlarm(editor, "chat/1", cycle % 2 == 0);
            QVERIFY(session.applyCommit(editor));
            session.applyZero();
        }
        while (reads.load() < 100)
            QThread::yieldCurrentThread();
        stop = true;
        reader.join();
        QCOMPARE(torn.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TestStoreConcurrency)
#include "tst_storeconcurrency.moc"
