#include "app/logging.h"
#include "common/testenv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestLogging : public QObject
{
    Q_OBJECT
private slots:
    void lineFormat_data();
    void lineFormat();
    void rotation_data();
    void rotation();
    void appendWritesCrLf();
    void unwritableFolderLosesLine();
    void childProcess_data();
    void childProcess();
    void toggleSwapsHandlers();

private:
    static void makeFile(const QString& path, qint64 size)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(size));
    }
};

void TestLogging::lineFormat_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected");
    const QString t = QStringLiteral("2016-03-01 09:15:02.117 ");
    QTest::newRow("debug, no context")
        << int(QtDebugMsg) << QString() << 0 << t + QStringLiteral("Debug :0 MainDialog::loginOk");
    QTest::newRow("fatal") << int(QtFatalMsg) << QString() << 0
                           << t + QStringLiteral("Fatal :0 MainDialog::loginOk");
    QTest::newRow("info is unknown")
        << int(QtInfoMsg) << QString() << 0 << t + QStringLiteral("Unknown :0 MainDialog::loginOk");
    QTest::newRow("context: base name only")
        << int(QtDebugMsg) << QStringLiteral("/src/main/maindialog.tar.cpp") << 42
        << t + QStringLiteral("Debug maindialog.tar:42 MainDialog::loginOk");
}

void TestLogging::lineFormat()
{
    QFETCH(int, type);
    QFETCH(QString, file);
    QFETCH(int, line);
    QFETCH(QString, expected);
    const QByteArray fileBytes = file.toLocal8Bit();
    const QMessageLogContext context(file.isEmpty() ? nullptr : fileBytes.constData(), line,
                                     nullptr, nullptr);
    const QDateTime time(QDate(2016, 3, 1), QTime(9, 15, 2, 117));
    QCOMPARE(
        MtLog::formatLine(time, QtMsgType(type), context, QStringLiteral("MainDialog::loginOk")),
        expected);
}

void TestLogging::rotation_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expectedBackup");

    QTest::newRow("exactly 1 MiB stays") << qint64(1048576) << QStringList() << QString();
    const QString bak = QStringLiteral("log_20240105.bak");
    QTest::newRow("one byte more rotates") << qint64(1048577) << QStringList() << bak;
    QTest::newRow("next after .bak and .bak.000")
        << qint64(1048577) << QStringList{bak, bak + ".000"} << bak + ".001";
    QTest::newRow("gap is filled first")
        << qint64(2000000) << QStringList{bak, bak + ".001"} << bak + ".000";
    QTest::newRow("other days do not count")
        << qint64(1048577) << QStringList{QStringLiteral("log_20240104.bak")} << bak;
}

void TestLogging::rotation()
{
    QFETCH(qint64, size);
    QFETCH(QStringList, existing);
    QFETCH(QString, expectedBackup);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QDate date(2024, 1, 5);
    const QString log = MtLog::logFilePath(dir.path(), date);
    QCOMPARE(QFileInfo(log).fileName(), QStringLiteral("log_20240105.txt"));
    makeFile(log, size);
    for (const QString& name : existing)
        makeFile(dir.filePath(name), 10);

    const QString backup = MtLog::rotateIfNeeded(dir.path(), date);
    if (expectedBackup.isEmpty()) {
        QVERIFY(backup.isEmpty());
        QCOMPARE(QFileInfo(log).size(), size);
        return;
    }
    QCOMPARE(QFileInfo(backup).fileName(), expectedBackup);
    QCOMPARE(QFileInfo(backup).size(), size);
    QVERIFY(!QFile::exists(log));
    for (const QString& name : existing)
        QCOMPARE(QFileInfo(dir.filePath(name)).size(), qint64(10));
}

void TestLogging::appendWritesCrLf()
{
    QTemporaryDir dir;
    const QString logs = dir.filePath(QStringLiteral("a/b/logs"));
    const QDate date(2024, 1, 5);
    QVERIFY(MtLog::appendLine(logs, date, QStringLiteral("first")));
    QVERIFY(MtLog::appendLine(logs, date, QStringLiteral("second")));
    QFile f(MtLog::logFilePath(logs, date));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("first\r\nsecond\r\n"));

    // An oversized file is moved away before the next line, which starts a fresh file.
    f.close();
    makeFile(MtLog::logFilePath(logs, date), 1048577);
    QVERIFY(MtLog::appendLine(logs, date, QStringLiteral("after")));
    QCOMPARE(QFileInfo(MtLog::logFilePath(logs, date)).size(), qint64(7));
    QCOMPARE(QFileInfo(logs + QStringLiteral("/log_20240105.bak")).size(), qint64(1048577));
}

void TestLogging::unwritableFolderLosesLine()
{
    // A plain file where the folder should be: nothing can be created below it, even for root.
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("logs"));
    makeFile(blocker, 3);
    QVERIFY(!MtLog::appendLine(blocker, QDate(2024, 1, 5), QStringLiteral("lost")));
    QCOMPARE(QFileInfo(blocker).size(), qint64(3));
}

void TestLogging::childProcess_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("stderrPattern");
    QTest::addColumn<bool>("inFile");
    QTest::newRow("warning reaches stderr and file")
        << QStringLiteral("warning") << int(QProcess::NormalExit)
        << QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} Warning :0 "
                          "warning message from the child$")
        << true;
    QTest::newRow("fatal reaches stderr only and aborts")
        << QStringLiteral("fatal") << int(QProcess::CrashExit)
        << QStringLiteral("Fatal :0 fatal message from the child$") << false;
}

void TestLogging::childProcess()
{
    QFETCH(QString, level);
    QFETCH(int, exitStatus);
    QFETCH(QString, stderrPattern);
    QFETCH(bool, inFile);
    TestEnv env;
    QProcess child;
    child.setProcessEnvironment(env.processEnvironment());
    child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/logging_child"), {level});
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(int(child.exitStatus()), exitStatus);
    const QString err = QString::fromLocal8Bit(child.readAllStandardError());
    QVERIFY2(QRegularExpression(stderrPattern, QRegularExpression::MultilineOption)
                 .match(err)
                 .hasMatch(),
             qPrintable(err));

    const QString logs = env.path(QStringLiteral("home/.local/share/LoggingChild/logs"));
    QFile log(MtLog::logFilePath(logs, QDate::currentDate()));
    if (inFile) {
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("Warning :0 warning message from the child\r\n"));
    } else {
        QVERIFY(!log.exists() ||
                (log.open(QIODevice::ReadOnly) && !log.readAll().contains("fatal")));
    }
}

void TestLogging::toggleSwapsHandlers()
{
    QVERIFY(!MtLog::isFileLogging());
    toggleFileLogging();
    QVERIFY(MtLog::isFileLogging());
    toggleFileLogging();
    QVERIFY(!MtLog::isFileLogging());
    qInstallMessageHandler(nullptr);
}

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
