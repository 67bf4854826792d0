// Reads of a big chat file (1,000 rooms, 1,000,000 chats, one room of 100,000) and a read-receipt
// batch. Each figure is the median of several runs, each on a freshly opened connection, so that
// SQLite's page cache starts empty as after a login (the file itself is in the system's cache).
//   store.roomlist         the room list (DBManager::chatRoomList); bar: at most 50 ms
//   store.history.first    the newest history page of 50 of the big room; bar: at most 5 ms
//   store.history.deep     its oldest page; bar: at most 50 ms
//   store.search           match count plus the newest match in the big room; bar: at most 100 ms
//   store.reads            batchChatReads of one reader over 1,000 own messages; reported (the
//                          bar is only a sanity ceiling)
// The generated file is kept beside this program, named after the generator's version.
#include "storebenchdata.h"

#include "bench/common/benchreport.h"

#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <limits>

namespace {

constexpr int kRuns = 7;
const QString kKey = QString::fromLatin1(DBManager::kPassword);
const QString kBigRoom = QString::fromLatin1(StoreBenchData::bigRoomTopic());

// Milliseconds of `work`, median over kRuns fresh connections; also prints the warm median
// (the same connection again) as detail.
double measure(const QString& file, const char* name, const std::function<bool(DBManager&)>& work)
{
    QVector<double> cold;
    QVector<double> warm;
    for (int run = 0; run < kRuns; ++run) {
        DBManager db(file, QStringLiteral("bench_read"), kKey, 0);
        QElapsedTimer clock;
        clock.start();
        if (!work(db)) {
            std::fprintf(stderr, "%s: wrong result\n", name);
            return std::numeric_limits<double>::quiet_NaN(); // no figure: it fails
        }
        cold << clock.nsecsElapsed() / 1e6;
        clock.restart();
        work(db);
        warm << clock.nsecsElapsed() / 1e6;
    }
    std::printf("%s: fresh connection median %.2f ms (min %.2f), warm median %.2f ms\n", name,
                MtBench::median(cold), *std::min_element(cold.begin(), cold.end()),
                MtBench::median(warm));
    return MtBench::median(cold);
}

// A room of 1,000 own confirmed messages and as many of others, for the read-receipt batch.
bool makeReadsStore(const QString& file)
{
    DBManager db(file, QStringLiteral("bench_reads_make"), kKey, 1);
    QSqlDatabase& connection = db.database();
    if (!connection.transaction())
        return false;
    QSqlQuery chat(connection);
    chat.prepare(QStringLiteral(
        "INSERT INTO TTT_CHATT (topic, msg_type, content_type, msg_id, sender_id, content, "
        "file_path, msg_time, count, msg_state, msg_read ) VALUES ('chat/9', 1, 1, ?, ?, "
        "'hello there', '', ?, 0, 1, 1)"));
    for (int i = 0; i < 2000; ++i) {
        chat.addBindValue(QStringLiteral("reads-%1").arg(i));
        chat.addBindValue(i % 2 == 0 ? StoreBenchData::kOwnUserId : 7);
        chat.addBindValue(Q_INT64_C(1700000000000) + i * 1000);
        if (!chat.exec())
            return false;
    }
    return connection.commit();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/benchdata");
    QElapsedTimer making;
    making.start();
    const QString file = StoreBenchData::cachedChatStore(folder);
    if (file.isEmpty()) {
        std::fprintf(stderr, "cannot make the chat file in %s\n", qPrintable(folder));
        return 1;
    }
    {
        // A file of an older build of the store gains the current indexes here, not in a figure.
        DBManager db(file, QStringLiteral("bench_prepare"), kKey, 0);
        if (!db.createWorkingIndexes())
            return 1;
    }
    std::printf("chat file %s ready in %.1f s\n", qPrintable(file), making.elapsed() / 1000.0);

    const double roomList = measure(file, "store.roomlist", [](DBManager& db) {
        QList<DBChatRoom> rooms;
        return db.chatRoomList(rooms) >= StoreBenchData::kRooms;
    });
    MtBench::print({"store.roomlist", roomList, "ms", std::nullopt, MtBench::Bar::AtMost, 50});

    const double first = measure(file, "store.history.first", [](DBManager& db) {
        QList<DBChat> page;
        return db.chatList(page, kBigRoom, 50, 0) == 50 && page.last().msgState() != 1;
    });
    MtBench::print({"store.history.first", first, "ms", std::nullopt, MtBench::Bar::AtMost, 5});

    int total = 0;
    {
        DBManager db(file, QStringLiteral("bench_count"), kKey, 0);
        total = db.chatCount(kBigRoom);
    }
    const double deep = measure(file, "store.history.deep", [total](DBManager& db) {
        QList<DBChat> page;
        return db.chatList(page, kBigRoom, 50, total - 50) == 50;
    });
    MtBench::print({"store.history.deep", deep, "ms", std::nullopt, MtBench::Bar::AtMost, 50});

    const QString word = QString::fromLatin1(StoreBenchData::searchWord());
    const double search = measure(file, "store.search", [&word](DBManager& db) {
        const int matches = db.searchChatTotalCount(kBigRoom, 1, word);
        return matches > 0 && !db.searchChatMessageId(kBigRoom, 1, word, 0).isEmpty();
    });
    MtBench::print({"store.search", search, "ms", std::nullopt, MtBench::Bar::AtMost, 100});

    QVector<double> reads;
    for (int run = 0; run < kRuns; ++run) {
        QTemporaryDir dir;
        const QString readsFile = dir.filePath(QStringLiteral("reads.db"));
        if (!makeReadsStore(readsFile))
            return 1;
        DBManager db(readsFile, QStringLiteral("Veltri_mqtt"), kKey, 0);
        QMap<QString, int> counts;
        QElapsedTimer clock;
        clock.start();
        db.batchChatReads(counts, QStringLiteral("chat/9"), StoreBenchData::kOwnUserId, 42,
                          Q_INT64_C(1700000000000));
        reads << clock.nsecsElapsed() / 1e6;
        if (counts.size() != 1000) {
            std::fprintf(stderr, "store.reads: %d counts instead of 1000\n", int(counts.size()));
            return 1;
        }
    }
    MtBench::print(
        {"store.reads", MtBench::median(reads), "ms", std::nullopt, MtBench::Bar::AtMost, 500});
    return 0;
}
