#include "net/netservermanager.h"
#include "net/serverconfig.h"

#include <QtTest>

class TestServerConfig : public QObject
{
    Q_OBJECT
private slots:
    void load_data();
    void load();
};

void TestServerConfig::load_data()
{
    QTest::addColumn<QString>("ini");
    // Host, REST port, broker port, CA file (relative to the INI folder in %dir) and the URL of
    // "/files/a.png?v=2".
    QTest::addColumn<QString>("expected");
    const QString defaults =
        QStringLiteral("localhost 443 1883  https://localhost/files/a.png?v=2");
    QTest::newRow("no file") << QString() << defaults;
    QTest::newRow("all keys")
        << "[Server]\nHost=chat.example.org\nRestPort=8443\nBrokerPort=18830\nCaFile=ca.pem\n"
        << "chat.example.org 8443 18830 %dir/ca.pem https://chat.example.org:8443/files/a.png?v=2";
    QTest::newRow("bad values keep defaults")
        << "[Server]\nHost=  \nRestPort=70000\nBrokerPort=abc\n"
        << defaults;
    QTest::newRow("port zero, CA by its full path")
        << "[Server]\nHost=10.0.0.5\nRestPort=0\nCaFile=/etc/org/ca.pem\n"
        << "10.0.0.5 443 1883 /etc/org/ca.pem https://10.0.0.5/files/a.png?v=2";
}

void TestServerConfig::load()
{
    QFETCH(QString, ini);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("client.ini"));
    QFile f(path);
    QVERIFY(ini.isNull() || (f.open(QIODevice::WriteOnly) && f.write(ini.toUtf8()) > 0));
    f.close();
    // The environment names the file; without it, the file is in the configuration folder.
    qputenv(ServerConfig::kEnvironmentVariable, path.toLocal8Bit());
    const ServerConfig config = ServerConfig::load();
    qunsetenv(ServerConfig::kEnvironmentVariable);
    QVERIFY(ServerConfig::configFilePath().endsWith(QLatin1String("/server.ini")));
    QCOMPARE(config.sourceFile(), path);
    QCOMPARE(QStringList({config.host(), QString::number(config.restPort()),
                          QString::number(config.brokerPort()), config.caFile(),
                          NetServerManager(config).makeUrl("/files/a.png?v=2").toString()})
                 .join(' '),
             expected.replace(QStringLiteral("%dir"), dir.path()));
}

QTEST_GUILESS_MAIN(TestServerConfig)
#include "tst_serverconfig.moc"
