#include "common/testenv.h"
#include "platform/autorun.h"

#include <QCoreApplication>
#include <QFile>
#include <QtTest>

class TestAutoRun : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_env.applyToCurrentProcess(); }
    void switchesOnAndOff();
    void execLine_data();
    void execLine();

private:
    QString entryFile() const
    {
        return m_env.path(QStringLiteral("home/.config/autostart/PLOVEXChat.desktop"));
    }
    QString execValue() const
    {
        QFile f(entryFile());
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.startsWith("Exec="))
                return QString::fromUtf8(line.mid(5));
        }
        return QString();
    }
    TestEnv m_env;
};

void TestAutoRun::switchesOnAndOff()
{
    const QString app = QStringLiteral("PLOVEX(Chat)");
    QVERIFY(!platformIsAutoRun(app));
    QVERIFY(platformSetAutoRun(app, true));
    QVERIFY(platformIsAutoRun(app));
    QVERIFY(QFile::exists(entryFile()));
    QCOMPARE(execValue(),
             QLatin1Char('"') + QCoreApplication::applicationFilePath() + QLatin1Char('"'));
    QVERIFY(platformSetAutoRun(app, true)); // again: still one entry, still on
    QVERIFY(platformSetAutoRun(app, false));
    QVERIFY(!platformIsAutoRun(app));
    QVERIFY(platformSetAutoRun(app, false)); // nothing to remove is no failure
}

void TestAutoRun::execLine_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");
    // In the file a backslash is doubled for the quoted string and again for the entry's
    // escapes, a percent sign is doubled so as not to be a field code.
    const QList<QPair<QString, QString>> rows = {
        {"/opt/talk/veltritalk", "\"/opt/talk/veltritalk\""},
        {"/opt/My App/veltritalk", "\"/opt/My App/veltritalk\""},
        {"/opt/50%/v", "\"/opt/50%%/v\""},
        {"/opt/a\"b`c$d/v", "\"/opt/a\\\\\"b\\\\`c\\\\$d/v\""},
        {"/opt/a\\b/v", "\"/opt/a\\\\\\\\b/v\""}};
    for (const auto& row : rows)
        QTest::newRow(qPrintable(row.first)) << row.first << row.second;
}

void TestAutoRun::execLine()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QVERIFY(platformSetAutoRun(QStringLiteral("PLOVEX(Chat)"), true, program));
    QCOMPARE(execValue(), exec);
    QVERIFY(platformSetAutoRun(QStringLiteral("PLOVEX(Chat)"), false, program));
}

QTEST_GUILESS_MAIN(TestAutoRun)
#include "tst_autorun.moc"
