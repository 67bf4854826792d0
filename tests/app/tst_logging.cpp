#include "app/logging.h"
#include "common/testenv.h"
#include "common/typed.h"

#include <QtTest>

namespace {
struct Tally
{
    int whole = 0, broken = 0, outOfOrder = 0;
    MT_TYPED(Tally, whole, broken, outOfOrder)
};

// Each line whole, once, and in its thread's order, across all the texts; `cr` before each line
// end.
Tally tally(const QList<QByteArray>& texts, const QString& cr)
{
    const QRegularExpression line("^\\S+ \\S+ Warning :0 thread (\\d+) line (\\d+) x{1100} end" +
                                  cr + "\\z");
    Tally tally;
    QHash<int, int> last;
    for (const QByteArray& text : texts) {
        QList<QByteArray> lines = text.split('\n');
        lines.removeLast(); // after the last line end
        for (const QByteArray& row : lines) {
            const QRegularExpressionMatch match = line.match(QString::fromLatin1(row));
            const bool whole = match.hasMatch();
            tally.whole += whole;
            tally.broken += !whole;
            const int thread = match.captured(1).toInt();
            const int number = match.captured(2).toInt();
            tally.outOfOrder += whole && number != last.value(thread, -1) + 1;
            last[thread] = number;
        }
    }
    return tally;
}
} // namespace

class TestLogging : public QObject
{
    Q_OBJECT
private slots:
    // Four threads rotating the log: each line whole, once, in order, on stderr and in the files.
    void threadsWriteWholeLines()
    {
        TestEnv env;
        QProcess child;
        child.setProcessEnvironment(env.processEnvironment());
        child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/logging_child"),
                    QStringList());
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        const Tally expected{4000, 0, 0};
        QCOMPARE(tally({child.readAllStandardError()}, ""), expected);
        // Backups in the order they were made (.bak, .bak.000, .bak.001, ...), then the log.
        const QDir logs(env.path(QStringLiteral("home/.local/share/LoggingChild/logs")));
        const QStringList files = logs.entryList({"log_*.bak*"}, QDir::Files, QDir::Name) +
                                  logs.entryList({"log_*.txt"}, QDir::Files, QDir::Name);
        QVERIFY2(files.size() >= 4, qPrintable(files.join(QLatin1Char(' '))));
        QList<QByteArray> texts;
        for (const QString& name : files) {
            QFile f(logs.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            texts << f.readAll();
        }
        QCOMPARE(tally(texts, "\r"), expected);
    }
};

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
