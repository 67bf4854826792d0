#include "app/logging.h"
#include "common/testenv.h"
#include "common/typed.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
bool makeFile(const QString& path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.resize(size);
}

// One name in the log folder as a test sees it.
struct Entry
{
    QString name;
    bool exists = false;
    bool folder = false;
    qint64 size = 0; // files only
    MT_TYPED(Entry, name, exists, folder, size)
};

Entry entryOf(const QDir& dir, const QString& name)
{
    const QFileInfo info(dir.filePath(name));
    return Entry{name, info.exists(), info.isDir(), info.isFile() ? info.size() : 0};
}

// A day's log of `size` bytes beside 10-byte `files`, `folders` and `numbered` backups.
struct Rotation
{
    qint64 size = 0;
    QStringList files;
    QStringList folders;
    int numbered = 0;
    QString backup;     // the name chosen; empty: nothing rotated
    QList<Entry> after; // the log, the names above and the backup
};

// A child's message: whether it ended normally and where its line went.
struct ChildRun
{
    bool normalExit = false;
    bool onStderr = false;
    bool inFile = false;
    MT_TYPED(ChildRun, normalExit, onStderr, inFile)
};

// The threads mode's lines: whole ones, and whether each thread's come in its order.
struct Tally
{
    int whole = 0;
    int broken = 0;
    int outOfOrder = 0;
    MT_TYPED(Tally, whole, broken, outOfOrder)
};

void count(const QByteArray& text, const QByteArray& lineEnd, Tally& tally, QHash<int, int>& last)
{
    static const QRegularExpression line(
        QStringLiteral("^\\S+ \\S+ Warning :0 thread (\\d+) line (\\d+) x{1100} end$"));
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast(); // after the last line end
    for (QByteArray row : lines) {
        row.append('\n');
        const QRegularExpressionMatch match =
            line.match(QString::fromLatin1(row.left(row.size() - lineEnd.size())));
        const bool whole = row.endsWith(lineEnd) && match.hasMatch();
        tally.whole += whole;
        tally.broken += !whole;
        const int thread = match.captured(1).toInt();
        const int number = match.captured(2).toInt();
        tally.outOfOrder += whole && number != last.value(thread, -1) + 1;
        last[thread] = number;
    }
}

QString childLogs(const TestEnv& env)
{
    return env.path(QStringLiteral("home/.local/share/LoggingChild/logs"));
}

// logging_child in a home of its own, run to its end.
void runChild(QProcess& child, const TestEnv& env, const QString& mode)
{
    child.setProcessEnvironment(env.processEnvironment());
    child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/logging_child"), {mode});
    child.waitForFinished(120000);
}
} // namespace

Q_DECLARE_METATYPE(Rotation)
Q_DECLARE_METATYPE(ChildRun)

class TestLogging : public QObject
{
    Q_OBJECT
private slots:
    void rotation_data();
    void rotation();
    void childProcess_data();
    void childProcess();
    void threadsWriteWholeLines();
};

void TestLogging::rotation_data()
{
    QTest::addColumn<Rotation>("row");
    const QString log = QStringLiteral("log_20240105.txt");
    const QString bak = QStringLiteral("log_20240105.bak");
    const Entry noLog{log, false, false, 0};
    const auto file = [](const QString& name, qint64 size) {
        return Entry{name, true, false, size};
    };
    QTest::newRow("exactly 1 MiB stays")
        << Rotation{1048576, {}, {}, 0, QString(), {file(log, 1048576)}};
    QTest::newRow("one byte more rotates")
        << Rotation{1048577, {}, {}, 0, bak, {noLog, file(bak, 1048577)}};
    QTest::newRow("next after .bak and .bak.000") << Rotation{
        1048577,      {bak, bak + ".000"},
        {},           0,
        bak + ".001", {noLog, file(bak, 10), file(bak + ".000", 10), file(bak + ".001", 1048577)}};
    QTest::newRow("gap is filled first") << Rotation{
        2000000,      {bak, bak + ".001"},
        {},           0,
        bak + ".000", {noLog, file(bak, 10), file(bak + ".001", 10), file(bak + ".000", 2000000)}};
    QTest::newRow("other days do not count")
        << Rotation{1048577, {"log_20240104.bak"},
                    {},      0,
                    bak,     {noLog, file("log_20240104.bak", 10), file(bak, 1048577)}};
    QTest::newRow("all thousand taken: the plain backup is replaced") << Rotation{
        1048577, {bak}, {}, 1000, bak, {noLog, file(bak, 1048577), file(bak + ".999", 10)}};
    QTest::newRow("backup cannot be written: the log stays") << Rotation{
        1048577, {}, {bak}, 1000, QString(), {file(log, 1048577), Entry{bak, true, true, 0}}};
}

void TestLogging::rotation()
{
    QFETCH(Rotation, row);
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const QDate date(2024, 1, 5);
    QVERIFY(makeFile(MtLog::logFilePath(dir.path(), date), row.size));
    for (const QString& name : row.files)
        QVERIFY(makeFile(dir.filePath(name), 10));
    for (const QString& name : row.folders)
        QVERIFY(dir.mkpath(name + QStringLiteral("/inside")));
    for (int i = 0; i < row.numbered; ++i)
        QVERIFY(makeFile(
            dir.filePath(QStringLiteral("log_20240105.bak.%1").arg(i, 3, 10, QChar('0'))), 10));

    QCOMPARE(QFileInfo(MtLog::rotateIfNeeded(dir.path(), date)).fileName(), row.backup);
    QList<Entry> seen;
    for (const Entry& e : row.after)
        seen << entryOf(dir, e.name);
    QCOMPARE(seen, row.after);
}

// A warning reaches stderr and the log; a fatal one stderr only; switched off, nothing.
void TestLogging::childProcess_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<ChildRun>("expected");
    QTest::newRow("warning") << "warning" << ChildRun{true, true, true};
    QTest::newRow("fatal") << "fatal" << ChildRun{false, true, false};
    QTest::newRow("switched off") << "off" << ChildRun{true, false, false};
}

void TestLogging::childProcess()
{
    QFETCH(QString, mode);
    QFETCH(ChildRun, expected);
    TestEnv env;
    QProcess child;
    runChild(child, env, mode);
    const QByteArray line = " message from the child";
    QFile log(MtLog::logFilePath(childLogs(env), QDate::currentDate()));
    log.open(QIODevice::ReadOnly); // there is none after a fatal message alone
    const ChildRun seen{child.exitStatus() == QProcess::NormalExit,
                        child.readAllStandardError().contains(line + '\n'),
                        log.readAll().contains(line + "\r\n")};
    QCOMPARE(seen, expected);
}

// Four threads rotating the log: each line whole, once, in order, on stderr and in the files.
void TestLogging::threadsWriteWholeLines()
{
    TestEnv env;
    QProcess child;
    runChild(child, env, QStringLiteral("threads"));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    const Tally expected{4000, 0, 0};

    Tally stderrTally;
    QHash<int, int> stderrLast;
    count(child.readAllStandardError(), "\n", stderrTally, stderrLast);
    QCOMPARE(stderrTally, expected);

    // Backups in the order they were made (.bak, .bak.000, .bak.001, ...), then the current log.
    const QDir logs(childLogs(env));
    const QStringList files = logs.entryList({"log_*.bak*"}, QDir::Files, QDir::Name) +
                              logs.entryList({"log_*.txt"}, QDir::Files, QDir::Name);
    QVERIFY2(files.size() >= 4, qPrintable(files.join(QLatin1Char(' '))));
    Tally fileTally;
    QHash<int, int> fileLast;
    for (const QString& name : files) {
        QFile f(logs.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        count(f.readAll(), "\r\n", fileTally, fileLast);
    }
    QCOMPARE(fileTally, expected);
}

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
