// Store benchmarks:
//   store.insert.autocommit  chats inserted one per transaction through DBChat::insertOrUpdate,
//                            against the sqlcipher tool running the same INSERT statements on the
//                            same kind of file (same key, WAL, synchronous=NORMAL, the same tables
//                            and indexes, our working indexes included); bar: ratio >= 1
//   store.open               opening a keyed connection (the key derivation runs here); bar: at
//                            most 200 ms, a third of the budget from start to the lock page
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "storebenchtool.h"

#include "bench/common/benchreport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kInserts = 3000;
constexpr int kRounds = 7;
constexpr int kOpens = 7;
constexpr double kOpenBarMs = 200;

const QString kKey = QString::fromLatin1(DBManager::kPassword);

QString content(int i)
{
    return QStringLiteral("message number %1, a line of ordinary chat text").arg(i);
}

QString msgId(int round, int i)
{
    return QStringLiteral("bench-%1-1700000000000-%2").arg(round).arg(i, 4, 10, QLatin1Char('0'));
}

// A file as the program's own are after the first login: the schema's tables and indexes plus
// the working indexes that the room list and history add. Both sides insert into such a file,
// since every index makes each insert write more pages.
bool makeStore(const QString& file)
{
    DBManager db(file, QStringLiteral("bench_make"), kKey, 1);
    return db.isOpen() && db.createWorkingIndexes();
}

// The file's tables and indexes, by name.
QStringList schemaOf(const QString& file)
{
    DBManager db(file, QStringLiteral("bench_schema"), kKey, 0);
    QSqlQuery query(db.database());
    QStringList names;
    if (query.exec(QStringLiteral("SELECT type || ' ' || name FROM sqlite_master ORDER BY 1"))) {
        while (query.next())
            names << query.value(0).toString();
    }
    return names;
}

// Seconds for kInserts chats through the store's own path.
double ourInserts(const QString& file, int round)
{
    DBManager db(file, QStringLiteral("bench_ours"), kKey, 1);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kInserts; ++i) {
        DBChat chat(&db);
        chat.setTopic(QStringLiteral("chat/1"));
        chat.setMsgType(1);
        chat.setMsgId(msgId(round, i));
        chat.setSenderId(42);
        chat.setContent(1, content(i));
        chat.setMsgTime(Q_INT64_C(1700000000000) + i);
        chat.setMsgState(1);
        if (!chat.insertOrUpdate()) {
            std::fprintf(stderr, "insert %d failed\n", i);
            return -1;
        }
    }
    return clock.nsecsElapsed() / 1e9;
}

QString writeScript(const QString& path, int round)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    QTextStream out(&file);
    out << StoreBenchTool::scriptHead(kKey) << "PRAGMA journal_mode=WAL;\n"
        << "PRAGMA synchronous=NORMAL;\n"
        << StoreBenchTool::markStatement();
    for (int i = 0; i < kInserts; ++i) {
        out << "INSERT OR REPLACE INTO TTT_CHATT (topic, msg_type, content_type, msg_id, "
               "sender_id, content, file_path, msg_time, count, msg_state, msg_read ) VALUES "
               "('chat/1', 1, 1, '"
            << msgId(round, i) << "', 42, '" << content(i) << "', '', "
            << (Q_INT64_C(1700000000000) + i) << ", 0, 1, 0);\n";
    }
    out << StoreBenchTool::markStatement();
    return path;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString ours = dir.filePath(QStringLiteral("veltri_ours.db"));
    const QString theirs = dir.filePath(QStringLiteral("veltri_tool.db"));
    if (!makeStore(ours) || !makeStore(theirs))
        return 1;
    const QStringList schema = schemaOf(ours);
    if (schema.isEmpty() || schema != schemaOf(theirs)) {
        std::fprintf(stderr, "the two files differ in their tables and indexes\n");
        return 1;
    }
    std::printf("both files: %d tables and indexes (%s)\n", int(schema.size()),
                qPrintable(schema.filter(QStringLiteral("index TTT_")).join(QStringLiteral(", "))));

    // Rounds alternate between the two sides; each side keeps its best round, so that a burst
    // of load from elsewhere on a shared machine does not decide the ratio.
    double bestOurs = 1e9;
    double bestTool = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const double mine = ourInserts(ours, round);
        const double tool = StoreBenchTool::secondsBetweenMarks(
            theirs, writeScript(dir.filePath("inserts.sql"), round));
        if (mine < 0 || tool <= 0)
            return 1;
        bestOurs = std::min(bestOurs, mine);
        bestTool = std::min(bestTool, tool);
        std::printf("round %d: ours %.3f s, sqlcipher %.3f s\n", round, mine, tool);
    }
    const double ourRate = kInserts / bestOurs;
    const double toolRate = kInserts / bestTool;
    MtBench::print(
        {"store.insert.autocommit", ourRate, "inserts/s", toolRate, MtBench::Bar::AtLeast, 1.0});

    QVector<double> opens;
    for (int i = 0; i < kOpens; ++i) {
        QElapsedTimer clock;
        clock.start();
        DBManager db(ours, QStringLiteral("bench_open"), kKey, 1);
        opens.append(clock.nsecsElapsed() / 1e6);
        if (!db.isOpen())
            return 1;
    }
    const double openMs = MtBench::median(opens);
    MtBench::print({"store.open", openMs, "ms", std::nullopt, MtBench::Bar::AtMost, kOpenBarMs});
    std::printf("store.open: median of %d opens of an existing %d-chat file\n", kOpens, kInserts);
    return 0;
}
