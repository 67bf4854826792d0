#include "net/serverconfig.h"

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

    QTest::newRow("no file") << QString() << "localhost" << 443 << 1883 << "";
    QTest::newRow("empty file") << ""
                                << "localhost" << 443 << 1883 << "";
    QTest::newRow("all keys") << "[Server]\nHost=chat.example.org\nRestPort=8443\n"
                                 "BrokerPort=18830\nCaFile=ca.pem\n"
                              << "chat.example.org" << 8443 << 18830 << "ca.pem";
    QTest::newRow("bad ports keep defaults") << "[Server]\nHost=h\nRestPort=0\nBrokerPort=abc\n"
                                             << "h" << 443 << 1883 << "";
    QTest::newRow("port above range") << "[Server]\nRestPort=70000\n"
                                      << "localhost" << 443 << 1883 << "";
    QTest::newRow("blank host keeps default") << "[Server]\nHost=  \n"
                                              << "localhost" << 443 << 1883 << "";
}

void TestServerConfig::fromFile()
{
    QFETCH(QString, ini);
    QFETCH(QString, host);
    QFETCH(int, restPort);
    QFETCH(int, brokerPort);
    QFETCH(QString, caFile);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("client.ini"));
    if (!ini.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ini.toUtf8());
    }
    const ServerConfig config = ServerConfig::fromFile(path);
    QCOMPARE(config.host(), host);
    QCOMPARE(config.restPort(), restPort);
    QCOMPARE(config.brokerPort(), brokerPort);
    QCOMPARE(config.caFile(), caFile.isEmpty() ? QString() : dir.filePath(caFile));
}

void TestServerConfig::environmentNamesTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("other.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Server]\nHost=10.1.2.3\nCaFile=/etc/org/ca.pem\n");
    f.close();
    qputenv(ServerConfig::kEnvironmentVariable, path.toLocal8Bit());
    const ServerConfig config = ServerConfig::load();
    qunsetenv(ServerConfig::kEnvironmentVariable);
    QCOMPARE(ServerConfig::configFilePath().endsWith(QLatin1String("/server.ini")), true);
    QCOMPARE(config.sourceFile(), path);
    QCOMPARE(config.host(), QStringLiteral("10.1.2.3"));
    QCOMPARE(config.caFile(), QStringLiteral("/etc/org/ca.pem"));
}

QTEST_GUILESS_MAIN(TestServerConfig)
#include "tst_serverconfig.moc"
