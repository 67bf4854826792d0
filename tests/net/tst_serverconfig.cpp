#include "common/typed.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"

#include <QtTest>

namespace {
// What a configuration gives: host, ports, the extra CA file and the URL of "/files/a.png?v=2".
struct Loaded
{
    QString host;
    int restPort = 0;
    int brokerPort = 0;
    QString caFile; // %dir: the folder of the INI file
    QString url;
    MT_TYPED(Loaded, host, restPort, brokerPort, caFile, url)
};
} // namespace
Q_DECLARE_METATYPE(Loaded)

class TestServerConfig : public QObject
{
    Q_OBJECT
private slots:
    void load_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<Loaded>("expected");
        const Loaded defaults{"localhost", 443, 1883, "", "https://localhost/files/a.png?v=2"};
        QTest::newRow("no file") << QString() << defaults;
        QTest::newRow("all keys")
            << "[Server]\nHost=chat.example.org\nRestPort=8443\nBrokerPort=18830\nCaFile=ca.pem\n"
            << Loaded{"chat.example.org", 8443, 18830, "%dir/ca.pem",
                      "https://chat.example.org:8443/files/a.png?v=2"};
        QTest::newRow("bad values keep defaults")
            << "[Server]\nHost=  \nRestPort=70000\nBrokerPort=abc\n"
            << defaults;
        QTest::newRow("port zero, CA by its full path")
            << "[Server]\nHost=10.0.0.5\nRestPort=0\nCaFile=/etc/org/ca.pem\n"
            << Loaded{"10.0.0.5", 443, 1883, "/etc/org/ca.pem", "https://10.0.0.5/files/a.png?v=2"};
    }

    void load()
    {
        QFETCH(QString, ini);
        QFETCH(Loaded, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("client.ini"));
        QFile f(path);
        QVERIFY(ini.isNull() || (f.open(QIODevice::WriteOnly) && f.write(ini.toUtf8()) > 0));
        f.close();
        // The environment names the file.
        qputenv(ServerConfig::kEnvironmentVariable, path.toLocal8Bit());
        const ServerConfig config = ServerConfig::load();
        qunsetenv(ServerConfig::kEnvironmentVariable);
        QCOMPARE(config.sourceFile(), path);
        expected.caFile.replace(QStringLiteral("%dir"), dir.path());
        QCOMPARE((Loaded{config.host(), config.restPort(), config.brokerPort(), config.caFile(),
                         NetServerManager(config).makeUrl("/files/a.png?v=2").toString()}),
                 expected);
    }
};

QTEST_GUILESS_MAIN(TestServerConfig)
#include "tst_serverconfig.moc"
