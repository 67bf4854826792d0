#include "common/testenv.h"
#include "platform/autorun.h"
#include "platform/socketlowdelay.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// The XDG autostart entry, and Nagle's algorithm on the connections to one port.
class TestPlatform : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    const QString m_app = QStringLiteral("PLOVEX(Chat)");

    // A connected client of `server`.
    static std::unique_ptr<QTcpSocket> connectTo(QTcpServer& server)
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, server.serverPort());
        socket->waitForConnected(5000);
        return socket;
    }

private slots:
    void initTestCase() { m_env.applyToCurrentProcess(); }

    // Switched on and off; in its Exec line a backslash doubled twice (quoted string, entry
    // escapes), a percent sign doubled.
    void autostart_data()
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
    void autostart()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QVERIFY(platformSetAutoRun(m_app, true, program));
        QFile entry(m_env.path(QStringLiteral("home/.config/autostart/PLOVEXChat.desktop")));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY(entry.readAll().split('\n').contains("Exec=" + exec.toUtf8()));
        QVERIFY(platformSetAutoRun(m_app, false));
        QVERIFY(!entry.exists());
    }

    // Turned off on the process's connections to the given port only.
    void lowDelayOnlyToThePort()
    {
        QTcpServer chosen, other;
        QVERIFY(chosen.listen(QHostAddress::LocalHost));
        QVERIFY(other.listen(QHostAddress::LocalHost));
        const auto first = connectTo(chosen);
        const auto second = connectTo(chosen);
        const auto elsewhere = connectTo(other);
        QCOMPARE(elsewhere->state(), QAbstractSocket::ConnectedState);

        QCOMPARE(platformSetLowDelayToPort(chosen.serverPort()), 2);
        QCOMPARE(first->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
        QCOMPARE(second->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
        QCOMPARE(elsewhere->socketOption(QAbstractSocket::LowDelayOption).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
