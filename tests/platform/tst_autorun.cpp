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
    void switchedOnAndOff_data();
    void switchedOnAndOff();

private:
    TestEnv m_env;
};

void TestAutoRun::switchedOnAndOff_data()
{
    QTest::addColumn<QString>("program"); // empty: the running one
    QTest::addColumn<QString>("exec");
    QTest::newRow("running program")
        << QString() << '"' + QCoreApplication::applicationFilePath() + '"';
    // In the file a backslash is doubled for the quoted string and again for the entry's
    // escapes, a percent sign is doubled so as not to be a field code.
    const QList<QPair<QString, QString>> rows{
        {"/opt/My App/v", "\"/opt/My App/v\""},
        {"/opt/50%/v", "\"/opt/50%%/v\""},
        {"/opt/a\"b`c$d/v", "\"/opt/a\\\\\"b\\\\`c\\\\$d/v\""},
        {"/opt/a\\b/v", "\"/opt/a\\\\\\\\b/v\""}};
    for (const auto& [program, exec] : rows)
        QTest::newRow(qPrintable(program)) << program << exec;
}

void TestAutoRun::switchedOnAndOff()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    const QString app = QStringLiteral("PLOVEX(Chat)");
    QVERIFY(!platformIsAutoRun(app));
    QVERIFY(program.isEmpty() ? platformSetAutoRun(app, true)
                              : platformSetAutoRun(app, true, program));
    QVERIFY(platformIsAutoRun(app));
    QFile entry(m_env.path(QStringLiteral("home/.config/autostart/PLOVEXChat.desktop")));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QVERIFY(entry.readAll().split('\n').contains("Exec=" + exec.toUtf8()));
    QVERIFY(platformSetAutoRun(app, false));
    QVERIFY(!platformIsAutoRun(app));
    QVERIFY(platformSetAutoRun(app, false)); // nothing to remove is no failure
}

QTEST_GUILESS_MAIN(TestAutoRun)
#include "tst_autorun.moc"
