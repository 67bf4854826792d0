#include "app/logging.h"
#include "common/testenv.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
bool makeFile(const QString& path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.resize(size);
}
} // namespace

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
    void toggleSwapsHandlers();
};

void TestLogging::lineFormat_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected"); // after "2016-03-01 09:15:02.117 "
    QTest::newRow("debug, no context") << int(QtDebugMsg) << QByteArray() << "Debug :0 text";
    QTest::newRow("fatal") << int(QtFatalMsg) << QByteArray() << "Fatal :0 text";
    QTest::newRow("info is unknown") << int(QtInfoMsg) << QByteArray() << "Unknown :0 text";
    QTest::newRow("context: base name only")
        << int(QtDebugMsg) << QByteArray("/a/maindialog.tar.cpp") << "Debug maindialog.tar:42 text";
}

void TestLogging::lineFormat()
{
    QFETCH(int, type);
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    const QMessageLogContext context(file.isEmpty() ? nullptr : file.constData(),
                                     file.isEmpty() ? 0 : 42, nullptr, nullptr);
    const QDateTime time(QDate(2016, 3, 1), QTime(9, 15, 2, 117));
    QCOMPARE(MtLog::formatLine(time, QtMsgType(type), context, "text"),
             "2016-03-01 09:15:02.117 " + expected);
}

void TestLogging::rotation_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expectedBackup");
    const QString bak = QStringLiteral("log_20240105.bak");
    QTest::newRow("exactly 1 MiB stays") << qint64(1048576) << QStringList() << QString();
    QTest::newRow("one byte more rotates") << qint64(1048577) << QStringList() << bak;
    QTest::newRow("next after .bak and .bak.000")
        << qint64(1048577) << QStringList{bak, bak + ".000"} << bak + ".001";
    QTest::newRow("gap is filled first")
        << qint64(2000000) << QStringList{bak, bak + ".001"} << bak + ".000";
    QTest::newRow("other days do not count")
        << qint64(1048577) << QStringList{"log_20240104.bak"} << bak;
}

void TestLogging::rotation()
{
    QFETCH(qint64, size);
    QFETCH(QStringList, existing);
    QFETCH(QString, expectedBackup);
    QTemporaryDir dir;
    const QDate date(2024, 1, 5);
    const QString log = MtLog::logFilePath(dir.path(), date);
    QCOMPARE(QFileInfo(log).fileName(), QStringLiteral("log_20240105.txt"));
    QVERIFY(makeFile(log, size));
    for (const QString& name : existing)
        QVERIFY(makeFile(dir.filePath(name), 10));

    const QString backup = MtLog::rotateIfNeeded(dir.path(), date);
    QCOMPARE(QFileInfo(backup).fileName(), expectedBackup);
    QCOMPARE(QFileInfo(backup.isEmpty() ? log : backup).size(), size);
    QCOMPARE(QFile::exists(log), backup.isEmpty());
    for (const QString& name : existing)
        QCOMPARE(QFileInfo(dir.filePath(name)).size(), qint64(10));
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
    QTest::newRow("warning reaches stderr and file") << "warning";
    QTest::newRow("fatal reaches stderr only and aborts") << "fatal";
}

void TestLogging::childProcess()
{
    QFETCH(QString, level);
    const bool fatal = level == QLatin1String("fatal");
    TestEnv env;
    QProcess child;
    child.setProcessEnvironment(env.processEnvironment());
    child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/logging_child"), {level});
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitStatus(), fatal ? QProcess::CrashExit : QProcess::NormalExit);
    const QByteArray line = QByteArray(fatal ? "Fatal" : "Warning") + " :0 " + level.toLatin1() +
                            " message from the child";
    const QByteArray err = child.readAllStandardError();
    QVERIFY2(err.contains(line + '\n'), err.constData());
    QFile log(MtLog::logFilePath(env.path(QStringLiteral("home/.local/share/LoggingChild/logs")),
                                 QDate::currentDate()));
    log.open(QIODevice::ReadOnly); // there is none after a fatal message alone
    QCOMPARE(log.readAll().contains(line + "\r\n"), !fatal);
}

void TestLogging::toggleSwapsHandlers()
{
    toggleFileLogging();
    QVERIFY(MtLog::isFileLogging());
    const QtMessageHandler on = qInstallMessageHandler(nullptr);
    toggleFileLogging();
    QVERIFY(!MtLog::isFileLogging());
    QVERIFY(on == MtLog::fileMessageHandler &&
            qInstallMessageHandler(nullptr) == MtLog::quietMessageHandler);
}

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
