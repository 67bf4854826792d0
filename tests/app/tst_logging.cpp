#include "app/logging.h"
#include "common/testenv.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// The program logs without source context: no file name at all, not an empty one.
const char* fileOrNull(const QByteArray& file)
{
    return file.isEmpty() ? nullptr : file.constData();
}

bool makeFile(const QString& path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.resize(size);
}

// One name in the log folder as a test sees it.
struct Entry
{
    enum Kind
    {
        Missing,
        File,
        Folder
    };
    QString name;
    Kind kind = Missing;
    qint64 size = 0; // files only

    bool operator==(const Entry& o) const
    {
        return name == o.name && kind == o.kind && size == o.size;
    }
};

Entry entryOf(const QDir& dir, const QString& name)
{
    const QFileInfo info(dir.filePath(name));
    return Entry{name,
                 info.isDir()    ? Entry::Folder
                 : info.exists() ? Entry::File
                                 : Entry::Missing,
                 info.isFile() ? info.size() : 0};
}

// What the file handler's lines of the threads mode of logging_child add up to: whole lines, and
// whether each thread's lines appear in the order it sent them.
struct Tally
{
    int whole = 0;
    int broken = 0;
    int outOfOrder = 0;

    bool operator==(const Tally& o) const
    {
        return whole == o.whole && broken == o.broken && outOfOrder == o.outOfOrder;
    }
};

void count(const QByteArray& text, const QByteArray& lineEnd, Tally& tally, QHash<int, int>& last)
{
    static const QRegularExpression line(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} Warning :0 thread (\\d+) "
        "line (\\d+) x{1100} end$"));
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
} // namespace

Q_DECLARE_METATYPE(Entry)

namespace QTest {
template <>
char* toString(const Entry& e)
{
    static const char* const kinds[] = {"missing", "file", "folder"};
    return qstrdup(QStringLiteral("%1: %2 of %3 bytes")
                       .arg(e.name, QLatin1String(kinds[e.kind]))
                       .arg(e.size)
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const Tally& t)
{
    const QByteArray text = "whole " + QByteArray::number(t.whole) + ", broken " +
                            QByteArray::number(t.broken) + ", out of order " +
                            QByteArray::number(t.outOfOrder);
    return qstrdup(text.constData());
}
} // namespace QTest

class TestLogging : public QObject
{
    Q_OBJECT
private slots:
    void lineFormat_data();
    void lineFormat();
    void rotation_data();
    void rotation();
    void appendLine();
    void childProcess_data();
    void childProcess();
    void threadsWriteWholeLines();
    void toggleSwapsHandlers();
};

void TestLogging::lineFormat_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected"); // after "2016-03-01 09:15:02.117 "
    QTest::newRow("debug, no context") << int(QtDebugMsg) << QByteArray() << 0 << "Debug :0 text";
    QTest::newRow("fatal") << int(QtFatalMsg) << QByteArray() << 0 << "Fatal :0 text";
    QTest::newRow("info is unknown") << int(QtInfoMsg) << QByteArray() << 0 << "Unknown :0 text";
    QTest::newRow("context: base name only")
        << int(QtDebugMsg) << QByteArray("/a/maindialog.tar.cpp") << 42
        << "Debug maindialog.tar:42 text";
}

void TestLogging::lineFormat()
{
    QFETCH(int, type);
    QFETCH(QByteArray, file);
    QFETCH(int, line);
    QFETCH(QString, expected);
    const QMessageLogContext context(fileOrNull(file), line, nullptr, nullptr);
    const QDateTime time(QDate(2016, 3, 1), QTime(9, 15, 2, 117));
    QCOMPARE(MtLog::formatLine(time, QtMsgType(type), context, "text"),
             "2016-03-01 09:15:02.117 " + expected);
}

void TestLogging::rotation_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QStringList>("files");      // 10 bytes each, present before the rotation
    QTest::addColumn<QStringList>("folders");    // non-empty folders in the way
    QTest::addColumn<int>("numbered");           // .bak.000 ... present before, 10 bytes each
    QTest::addColumn<QString>("expectedBackup"); // empty: nothing rotated
    QTest::addColumn<QList<Entry>>("after");     // the log, the names above and the backup
    const QString log = QStringLiteral("log_20240105.txt");
    const QString bak = QStringLiteral("log_20240105.bak");
    const Entry noLog{log, Entry::Missing, 0};
    QTest::newRow("exactly 1 MiB stays") << qint64(1048576) << QStringList() << QStringList() << 0
                                         << QString() << QList<Entry>{{log, Entry::File, 1048576}};
    QTest::newRow("one byte more rotates")
        << qint64(1048577) << QStringList() << QStringList() << 0 << bak
        << QList<Entry>{noLog, {bak, Entry::File, 1048577}};
    QTest::newRow("next after .bak and .bak.000")
        << qint64(1048577) << QStringList{bak, bak + ".000"} << QStringList() << 0 << bak + ".001"
        << QList<Entry>{noLog,
                        {bak, Entry::File, 10},
                        {bak + ".000", Entry::File, 10},
                        {bak + ".001", Entry::File, 1048577}};
    QTest::newRow("gap is filled first")
        << qint64(2000000) << QStringList{bak, bak + ".001"} << QStringList() << 0 << bak + ".000"
        << QList<Entry>{noLog,
                        {bak, Entry::File, 10},
                        {bak + ".001", Entry::File, 10},
                        {bak + ".000", Entry::File, 2000000}};
    QTest::newRow("other days do not count")
        << qint64(1048577) << QStringList{"log_20240104.bak"} << QStringList() << 0 << bak
        << QList<Entry>{noLog, {"log_20240104.bak", Entry::File, 10}, {bak, Entry::File, 1048577}};
    QTest::newRow("all thousand taken: the plain backup is replaced")
        << qint64(1048577) << QStringList{bak} << QStringList() << 1000 << bak
        << QList<Entry>{noLog, {bak, Entry::File, 1048577}, {bak + ".999", Entry::File, 10}};
    // The backup name cannot be written (a folder with contents): the log stays whole.
    QTest::newRow("backup cannot be written: the log stays")
        << qint64(1048577) << QStringList() << QStringList{bak} << 1000 << QString()
        << QList<Entry>{{log, Entry::File, 1048577}, {bak, Entry::Folder, 0}};
}

void TestLogging::rotation()
{
    QFETCH(qint64, size);
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(int, numbered);
    QFETCH(QString, expectedBackup);
    QFETCH(QList<Entry>, after);
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const QDate date(2024, 1, 5);
    const QString log = MtLog::logFilePath(dir.path(), date);
    QCOMPARE(QFileInfo(log).fileName(), QStringLiteral("log_20240105.txt"));
    QVERIFY(makeFile(log, size));
    for (const QString& name : files)
        QVERIFY(makeFile(dir.filePath(name), 10));
    for (const QString& name : folders)
        QVERIFY(dir.mkpath(name + QStringLiteral("/inside")));
    for (int i = 0; i < numbered; ++i)
        QVERIFY(makeFile(
            dir.filePath(QStringLiteral("log_20240105.bak.%1").arg(i, 3, 10, QChar('0'))), 10));

    const QString backup = MtLog::rotateIfNeeded(dir.path(), date);
    QCOMPARE(QFileInfo(backup).fileName(), expectedBackup);
    QList<Entry> seen;
    for (const Entry& e : after)
        seen << entryOf(dir, e.name);
    QCOMPARE(seen, after);
}

void TestLogging::appendLine()
{
    QTemporaryDir dir;
    const QString logs = dir.filePath(QStringLiteral("a/b/logs"));
    const QDate date(2024, 1, 5);
    const QString log = MtLog::logFilePath(logs, date);
    QVERIFY(MtLog::appendLine(logs, date, QStringLiteral("first")));
    QVERIFY(MtLog::appendLine(logs, date, QStringLiteral("second")));
    QFile f(log);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("first\r\nsecond\r\n"));

    // An oversized file is moved away before the next line, which starts a fresh file.
    QVERIFY(makeFile(log, 1048577));
    QVERIFY(MtLog::appendLine(logs, date, QStringLiteral("after")));
    QCOMPARE(QFileInfo(log).size(), qint64(7));
    QCOMPARE(QFileInfo(logs + QStringLiteral("/log_20240105.bak")).size(), qint64(1048577));

    // A plain file where the folder should be: nothing can be created below it, even for root.
    QVERIFY(!MtLog::appendLine(log, date, QStringLiteral("lost")));
    QCOMPARE(QFileInfo(log).size(), qint64(7));
}

void TestLogging::childProcess_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("inFile");
    QTest::newRow("warning reaches stderr and file")
        << "warning" << int(QProcess::NormalExit)
        << QByteArray("Warning :0 warning message from the child") << true;
    QTest::newRow("fatal reaches stderr only and aborts")
        << "fatal" << int(QProcess::CrashExit)
        << QByteArray("Fatal :0 fatal message from the child") << false;
}

void TestLogging::childProcess()
{
    QFETCH(QString, level);
    QFETCH(int, exitStatus);
    QFETCH(QByteArray, line);
    QFETCH(bool, inFile);
    TestEnv env;
    QProcess child;
    child.setProcessEnvironment(env.processEnvironment());
    child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/logging_child"), {level});
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(int(child.exitStatus()), exitStatus);
    const QByteArray err = child.readAllStandardError();
    QVERIFY2(err.contains(line + '\n'), err.constData());
    QFile log(MtLog::logFilePath(env.path(QStringLiteral("home/.local/share/LoggingChild/logs")),
                                 QDate::currentDate()));
    log.open(QIODevice::ReadOnly); // there is none after a fatal message alone
    QCOMPARE(log.readAll().contains(line + "\r\n"), inFile);
}

// Four threads log long lines at once, rotating the day's log a few times on the way: every line
// arrives whole, once, in its thread's order, on standard error and across the log and its
// backups alike.
void TestLogging::threadsWriteWholeLines()
{
    TestEnv env;
    QProcess child;
    child.setProcessEnvironment(env.processEnvironment());
    child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/logging_child"),
                {QStringLiteral("threads")});
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    const Tally expected{4000, 0, 0};

    Tally stderrTally;
    QHash<int, int> stderrLast;
    count(child.readAllStandardError(), "\n", stderrTally, stderrLast);
    QCOMPARE(stderrTally, expected);

    // Backups in the order they were made (.bak, .bak.000, .bak.001, ...), then the current log.
    const QDir logs(env.path(QStringLiteral("home/.local/share/LoggingChild/logs")));
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

void TestLogging::toggleSwapsHandlers()
{
    toggleFileLogging();
    QVERIFY(MtLog::isFileLogging());
    const QtMessageHandler on = qInstallMessageHandler(nullptr);
    toggleFileLogging();
    QVERIFY(!MtLog::isFileLogging());
    const QtMessageHandler off = qInstallMessageHandler(nullptr);
    // Function pointers have no printable form in Qt Test: one check per handler.
    QVERIFY(on == MtLog::fileMessageHandler);
    QVERIFY(off == MtLog::quietMessageHandler);
}

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
