#include "net/netservermanager.h"
#include "net/serverconfig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestServerConfig : public QObject
{
    Q_OBJECT
private slots:
    void fromFile_data();
    void fromFile();
    void environmentNamesTheFile();
};

void TestServerConfig::fromFile_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("restPort");
    QTest::addColumn<int>("brokerPort");
    QTest::addColumn<QString>("caFile"); // relative to the INI folder, "" for none
    QTest::addColumn<QString>("url");    // of "/files/a.png?v=2"

    QTest::newRow("no file") << QString() << "localhost" << 443 << 1883 << ""
                             << "https://localhost/files/a.png?v=2";
    QTest::newRow("all keys") << "[Server]\nHost=chat.example.org\nRestPort=8443\n"
                                 "BrokerPort=18830\nCaFile=ca.pem\n"
                              << "chat.example.org" << 8443 << 18830 << "ca.pem"
                              << "https://chat.example.org:8443/files/a.png?v=2";
    QTest::newRow("bad values keep defaults")
        << "[Server]\nHost=  \nRestPort=70000\nBrokerPort=abc\n"
        << "localhost" << 443 << 1883 << ""
        << "https://localhost/files/a.png?v=2";
    QTest::newRow("port zero, CA by its full path")
        << "[Server]\nHost=10.0.0.5\nRestPort=0\nCaFile=/etc/org/ca.pem\n"
        << "10.0.0.5" << 443 << 1883 << "/etc/org/ca.pem"
        << "https://10.0.0.5/files/a.png?v=2";
}

void TestServerConfig::fromFile()
{
    QFETCH(QString, ini);
    QFETCH(QString, host);
    QFETCH(int, restPort);
    QFETCH(int, brokerPort);
    QFETCH(QString, caFile);
    QFETCH(QString, url);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("client.ini"));
    QFile f(path);
    QVERIFY(ini.isNull() || (f.open(QIODevice::WriteOnly) && f.write(ini.toUtf8()) > 0));
    f.close();
    const ServerConfig config = ServerConfig::fromFile(path);
    QCOMPARE(QVariantList({config.host(), config.restPort(), config.brokerPort(), config.caFile()}),
             QVariantList({host, restPort, brokerPort,
                           caFile.isEmpty() ? QString() : QDir(dir.path()).filePath(caFile)}));
    QCOMPARE(NetServerManager(config).makeUrl(QStringLiteral("/files/a.png?v=2")).toString(), url);
}

void TestServerConfig::environmentNamesTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("other.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("[Server]\nHost=10.1.2.3\n") > 0);
    f.close();
    QVERIFY(ServerConfig::configFilePath().endsWith(QLatin1String("/server.ini")));
    qputenv(ServerConfig::kEnvironmentVariable, path.toLocal8Bit());
    const ServerConfig config = ServerConfig::load();
    qunsetenv(ServerConfig::kEnvironmentVariable);
    QCOMPARE(config.sourceFile(), path);
    QCOMPARE(config.host(), QStringLiteral("10.1.2.3"));
}

QTEST_GUILESS_MAIN(TestServerConfig)
#include "tst_serverconfig.moc"
