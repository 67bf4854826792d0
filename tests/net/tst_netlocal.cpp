// The net folder's parts that need no server: safe file names and private folders, the server
// configuration, and the picture queue's order (its answers are tst_nettransfer's).
#include "common/testenv.h"
#include "common/typed.h"
#include "net/filemanager.h"
#include "net/netpicturequeue.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"

#include <QWidget>
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

// One requestImage() in a row's script: the address, and whether a widget shows it.
struct Ask
{
    QString url;
    bool shown = true;
};
} // namespace
Q_DECLARE_METATYPE(Loaded)
Q_DECLARE_METATYPE(QVector<Ask>)

class TestNetLocal : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    QWidget m_widget;

private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
        QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
    }

    void safeFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("safe");
        auto row = [](const char* tag, const QString& name, const QString& safe) {
            QTest::newRow(tag) << name << safe;
        };
        row("url", "https://chat.example.org/files/a%20b.png?v=2#top", "a b.png");
        row("climbing", "../../x", "x");
        row("windows path", "C:\\Users\\kim\\..\\file.txt", "file.txt");
        row("drive", "C:x.txt", "C_x.txt");
        row("reserved", "a<b>c:d\"e|f?g*h", "a_b_c_d_e_f_g_h");
        row("controls", "na\tme\n\x01.txt", "name.txt");
        row("hangul", "회의록 (최종).txt", "회의록 (최종).txt");
        row("empty", "", "");
        row("dots", "...", "");
        row("blank", " \t ", "");
    }

    void safeFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, safe);
        QCOMPARE(FileManager::safeFileName(name), safe);
        // Whatever the name, its cache and data paths stay directly in their folders.
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QCOMPARE(FileManager::cacheFilePath(name),
                 safe.isEmpty() ? QString() : FileManager::cacheFolder() + '/' + safe);
        QCOMPARE(FileManager::dataFilePath(name), safe.isEmpty() ? QString() : data + '/' + safe);
        QVERIFY(safe.isEmpty() || QFileInfo(data).isDir());
    }

    void foldersAndFiles()
    {
        // The download folder is made when asked for.
        QVERIFY(QFileInfo(FileManager::downloadFolder()).isDir());

        // Texts made within the same second never overwrite each other.
        const QString text = QString::fromUtf8("긴 메시지 ") + QString(300, QLatin1Char('x'));
        QStringList paths, texts;
        for (int i = 0; i < 3; ++i)
            paths << FileManager::makeTextFile(text);
        for (const QString& path : qAsConst(paths)) {
            QFile file(path);
            texts << (file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll())
                                                     : QString());
        }
        QCOMPARE(texts, QStringList({text, text, text}));
        QCOMPARE(QDir(FileManager::cacheFolder()).entryList(QDir::Files).size(), 3);

        // A file where the cache folder should be: nothing can be made inside it.
        QVERIFY(QDir(FileManager::cacheFolder()).removeRecursively());
        QFile blocker(FileManager::cacheFolder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QCOMPARE(FileManager::makeTextFile(QStringLiteral("hello")), QString());
        QVERIFY(blocker.remove());
    }

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

    // What the queue starts, in order, when every ask of the script has come.
    void order_data()
    {
        QTest::addColumn<QVector<Ask>>("asks");
        QTest::addColumn<QStringList>("started");
        QTest::newRow("shown pictures go before prefetched ones, two of those at once")
            << QVector<Ask>{{"p1", false}, {"p2", false}, {"p3", false}, {"s1", true}}
            << QStringList{"s1", "p1", "p2"};
        QTest::newRow("at most four at once")
            << QVector<Ask>{{"s1"}, {"s2"}, {"s3"}, {"s4"}, {"s5"}}
            << QStringList{"s1", "s2", "s3", "s4"};
        QTest::newRow("a prefetch a widget asks for moves ahead")
            << QVector<Ask>{{"p1", false}, {"p2", false}, {"p3", false}, {"p3", true}}
            << QStringList{"p3", "p1", "p2"};
        QTest::newRow("an address asked for three times starts once")
            << QVector<Ask>{{"s1"}, {"s1"}, {"s1", false}} << QStringList{"s1"};
    }
    void order()
    {
        QFETCH(QVector<Ask>, asks);
        QFETCH(QStringList, started);
        NetPictureQueue queue;
        for (const Ask& ask : asks)
            queue.add(ask.url, ask.shown ? &m_widget : nullptr);
        QStringList taken;
        QString url;
        while (queue.takeNext(&url))
            taken << url;
        QCOMPARE(taken, started);
    }
};

QTEST_MAIN(TestNetLocal)
#include "tst_netlocal.moc"
