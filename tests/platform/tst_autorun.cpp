#include "common/testenv.h"
#include "platform/autorun.h"

#include <QtTest>

// The XDG autostart entry: switched on and off, and its Exec line for awkward program paths.
class TestAutoRun : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    const QString m_app = QStringLiteral("PLOVEX(Chat)");

    QList<QByteArray> entryLines()
    {
        QFile entry(m_env.path(QStringLiteral("home/.config/autostart/PLOVEXChat.desktop")));
        return entry.open(QIODevice::ReadOnly) ? entry.readAll().split('\n') : QList<QByteArray>();
    }

private slots:
    void initTestCase() { m_env.applyToCurrentProcess(); }

    // A backslash doubled twice (quoted string, entry escapes); a percent sign doubled.
    void switchedOnAndOff_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("percent") << "/opt/50%/v"
                                 << "\"/opt/50%%/v\"";
        QTest::newRow("quote, backquote, dollar") << "/opt/a\"b`c$d/v"
                                                  << "\"/opt/a\\\\\"b\\\\`c\\\\$d/v\"";
        QTest::newRow("backslash") << "/opt/a\\b/v"
                                   << "\"/opt/a\\\\\\\\b/v\"";
    }

    void switchedOnAndOff()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QVERIFY(platformSetAutoRun(m_app, true, program));
        QVERIFY(platformIsAutoRun(m_app));
        QVERIFY(entryLines().contains("Exec=" + exec.toUtf8()));
        QVERIFY(platformSetAutoRun(m_app, false));
        QVERIFY(!platformIsAutoRun(m_app));
    }
};

QTEST_GUILESS_MAIN(TestAutoRun)
#include "tst_autorun.moc"
