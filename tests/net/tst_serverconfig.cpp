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
    // Host, REST port, broker port, CA file (relative to the INI folder) and the URL of
    // "/files/a.png?v=2".
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("no file") << QString()
                             << QStringList{"localhost", "443", "1883", "",
                                            "https://localhost/files/a.png?v=2"};
    QTest::newRow("all keys") << "[Server]\nHost=chat.example.org\nRestPort=8443\n"
                                 "BrokerPort=18830\nCaFile=ca.pem\n"
                              << QStringList{"chat.example.org", "8443", "18830", "ca.pem",
                                             "https://chat.example.org:8443/files/a.png?v=2"};
    QTest::newRow("bad values keep defaults")
        << "[Server]\nHost=  \nRestPort=70000\nBrokerPort=abc\n"
        << QStringList{"localhost", "443", "1883", "", "https://localhost/files/a.png?v=2"};
    QTest::newRow("port zero, CA by its full path")
        << "[Server]\nHost=10.0.0.5\nRestPort=0\nCaFile=/etc/org/ca.pem\n"
        << QStringList{"10.0.0.5", "443", "1883", "/etc/org/ca.pem",
                       "https://10.0.0.5/files/a.png?v=2"};
}

void TestServerConfig::load()
{
    QFETCH(QString, ini);
    QFETCH(QStringList, expected);
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
    if (QDir::isRelativePath(expected[3]) && !expected[3].isEmpty())
        expected[3] = QDir(dir.path()).filePath(expected[3]);
    QCOMPARE(QStringList({config.host(), QString::number(config.restPort()),
                          QString::number(config.brokerPort()), config.caFile(),
                          NetServerManager(config).makeUrl("/files/a.png?v=2").toString()}),
             expected);
}

QTEST_GUILESS_MAIN(TestServerConfig)
#include "tst_serverconfig.moc"
