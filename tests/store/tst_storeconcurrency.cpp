#include "store/dbchat.h"
#include "store/dbchatreader.h"
#include "store/dbmanager.h"
#include "store/mtdata.h"
#include "store/unreadcounts.h"
#include "storefixture.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

const QString kKey = QString::fromLatin1(DBManager::kPassword);

// One thread's connection writing (every tenth round a batch) and counting; the first failure.
QString runWorker(const QString& file, const QString& connection, const QString& topic,
                  int& inserted)
{
    DBManager db(file, connection, kKey, connection == "Veltri" ? 1 : 0);
    QSqlDatabase& c = db.database();
    QElapsedTimer clock;
    clock.start();
    for (int round = 1; db.isOpen() && clock.elapsed() < 3000; ++round) {
        const int chats = round % 10 == 0 ? 10 : 1;
        if (chats > 1 && !c.transaction())
            return "begin " + c.lastError().text();
        for (int i = 0; i < chats; ++i) {
            DBChat chat(&db);
            chat.setTopic(topic);
            chat.setMsgId(topic + QLatin1Char('-') + QString::number(++inserted));
            chat.setMsgTime(inserted);
            chat.setContent(1, QStringLiteral("message %1 of %2").arg(inserted).arg(topic));
            if (!chat.insertOrUpdate())
                return "insert";
        }
        if (chats > 1 &&
            !(DBChatReader(&db, topic, topic + "-1", round, 1).insertOrUpdate() && c.commit()))
            return "batch " + c.lastError().text();
        if (db.chatCount(topic) != inserted)
            return "own rows missing";
    }
    return db.isOpen() ? QString() : "open";
}

struct WorkerResult
{
    QString connection, failure;
    bool moreThanTenRows = false;
    int rowsFound = 0;
    MT_TYPED(WorkerResult, connection, failure, moreThanTenRows, rowsFound)
};

} // namespace

// std::threads: ThreadSanitizer sees their join, not QThread::wait() inside Qt.
class TestStoreConcurrency : public QObject
{
    Q_OBJECT
private slots:
    void fourConnectionsOnFourThreads()
    {
        TestEnv env;
        const QString file = env.path("veltri_four.db");
        const QStringList names{"Veltri", "Veltri_mqtt", "Veltri_cache", "Veltri_chatrooms"};
        QString failures[4];
        int inserted[4] = {};
        // All four open the new file at once, so the schema is made under contention too.
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i) {
            threads.emplace_back([&, i] {
                failures[i] = runWorker(file, names[i], "chat/" + names[i], inserted[i]);
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        DBManager check(file, "check", kKey, 0);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE((WorkerResult{names[i], failures[i], inserted[i] > 10,
                                   check.chatCount("chat/" + names[i])}),
                     (WorkerResult{names[i], QString(), true, inserted[i]}));
        }
    }

    // Ids and keys read during log in and off are the logged-in ones or none.
    void sessionReadsDuringLoginAndLogoff()
    {
        TestEnv env;
        DBManager db(env.path("veltri_session.db"), "Veltri", kKey, 1);
        MTData session(&db);
        std::atomic<bool> stop{false};
        std::atomic<int> reads{0}, torn{0};
        std::thread reader([&] {
            for (MTData* current = MTData::instance(); !stop.load(); ++reads) {
                const qint64 id = current->userId();
                const QString key = current->accessKey();
                torn += (id != 0 && id != 42) || (!key.isEmpty() && key != "access-key");
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

    // Counts raised on one thread while another reads, zeroes and lowers: no increment lost.
    void unreadCountsFromTwoThreads()
    {
        constexpr int kChats = 20000;
        UnreadCounts& counts = unreadCounts();
        counts.clear();
        std::thread messaging([&] {
            for (int i = 0; i < kChats; ++i) {
                counts.add("chat/1", 1);
                counts.add(QStringLiteral("chat/%1").arg(2 + i % 5), 1);
            }
        });
        int lowered = 0;
        for (int i = 0; i < kChats; ++i) {
            const bool any = counts.get("chat/1") > 0;
            counts.add("chat/1", -int(any));
            lowered += any;
            counts.set(QStringLiteral("chat/%1").arg(2 + i % 5), 0);
            counts.entries();
        }
        messaging.join();
        QCOMPARE(counts.get("chat/1"), kChats - lowered);
        counts.clear();
    }
};

QTEST_GUILESS_MAIN(TestStoreConcurrency)
#include "tst_storeconcurrency.moc"
