// Every way a request can fail, on both paths of the engine (an asynchronous request from the
// GUI thread and a worker request): no server, a certificate the configuration does not trust,
// a server that does not speak TLS, error bodies with and without JSON, an empty error body, an
// outdated client, and an answer that is neither 200 nor an error. A failure is never reported
// as a success, and each is reported once with the caller's request code.
#include "main/mtdata.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"
#include "netfixture.h"
#include "rawhttpsserver.h"
#include "store/dbmanager.h"

#include <QtTest>

#include <memory>

namespace {
enum Setup
{
    Reference, // the reference server, with the row's fault rule when it has one
    NoServer,
    Untrusted,
    PlainHttp,
    TextError,
    OutdatedClient,
};

const QByteArray kTextError = "HTTP/1.1 502 Bad Gateway\r\nContent-Type: text/html\r\n"
                              "Content-Length: 31\r\nConnection: close\r\n\r\n"
                              "<html><b>Bad Gateway</b></html>";
const QByteArray kPlainAnswer = "HTTP/1.1 400 Bad Request\r\nContent-Type: application/json\r\n"
                                "Content-Length: 2\r\nConnection: close\r\n\r\n{}";
} // namespace

class TestNetErrors : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void failures_data();
    void failures();

private:
    NetFixture m_fixture;
    QTemporaryDir m_dir;
    std::unique_ptr<DBManager> m_db;
    std::unique_ptr<MTData> m_session;
};

void TestNetErrors::initTestCase()
{
    QVERIFY2(m_fixture.start(), qPrintable(m_fixture.errorString()));
    m_db = std::make_unique<DBManager>(m_dir.filePath(QStringLiteral("veltri_user001.db")),
                                       QString::fromLatin1(DBManager::kConnection),
                                       QString::fromLatin1(DBManager::kPassword), 1);
    QVERIFY(m_db->isOpen());
    m_session = std::make_unique<MTData>(m_db.get());
    QVERIFY(m_fixture.signIn(*m_session, QStringLiteral("user001")));
}

void TestNetErrors::cleanup()
{
    m_fixture.server().setFault(QJsonObject{{"mode", "off"}});
    m_fixture.server().control("POST", QStringLiteral("/control/version"),
                               QJsonObject{{"minVersion", QJsonValue::Null}});
}

void TestNetErrors::failures_data()
{
    QTest::addColumn<int>("setup");
    QTest::addColumn<QJsonObject>("rule");
    QTest::addColumn<bool>("worker");
    QTest::addColumn<bool>("signalled"); // false: nothing may come
    QTest::addColumn<int>("errCode");
    QTest::addColumn<QString>("error"); // "*" for any non-empty text

    const QJsonObject jsonError{{"status", 500}, {"code", 50012}, {"message", "Broken on purpose"}};
    for (bool worker : {false, true}) {
        const char* path = worker ? "worker: " : "gui: ";
        const QString noAnswer = worker ? "reply is NULL" : "http error code";
        QTest::addRow("%sno server", path)
            << int(NoServer) << QJsonObject() << worker << true << 10001 << noAnswer;
        QTest::addRow("%suntrusted certificate", path)
            << int(Untrusted) << QJsonObject() << worker << true << 10001 << noAnswer;
        QTest::addRow("%sserver without TLS", path)
            << int(PlainHttp) << QJsonObject() << worker << true << 10001 << noAnswer;
        QTest::addRow("%serror body", path)
            << int(Reference) << jsonError << worker << true << 50012 << "Broken on purpose";
        QTest::addRow("%soutdated client", path)
            << int(OutdatedClient) << QJsonObject() << worker << true << 40106 << "*";
        QTest::addRow("%serror body without JSON", path)
            << int(TextError) << QJsonObject() << worker << true << 0 << "";
        QTest::addRow("%sempty error body", path)
            << int(Reference) << QJsonObject{{"status", 503}, {"body", "empty"}} << worker << true
            << 10001 << noAnswer;
        QTest::addRow("%sanswer neither 200 nor an error", path)
            << int(Reference) << QJsonObject{{"status", 201}} << worker << false << 0 << "";
    }
}

void TestNetErrors::failures()
{
    QFETCH(int, setup);
    QFETCH(QJsonObject, rule);
    QFETCH(bool, worker);
    QFETCH(bool, signalled);
    QFETCH(int, errCode);
    QFETCH(QString, error);

    DevServer& server = m_fixture.server();
    const QString fault =
        worker ? QStringLiteral("/rest/chatt/room") : QStringLiteral("/rest/auth");
    if (!rule.isEmpty()) {
        rule.insert(QStringLiteral("mode"), QStringLiteral("error"));
        rule.insert(QStringLiteral("path"), fault);
        QVERIFY(server.setFault(rule));
    }
    if (setup == OutdatedClient)
        server.control("POST", QStringLiteral("/control/version"),
                       QJsonObject{{"minVersion", 1047}});
    std::unique_ptr<RawHttpsServer> raw;
    if (setup == PlainHttp)
        raw = std::make_unique<RawHttpsServer>(kPlainAnswer);
    if (setup == TextError)
        raw = std::make_unique<RawHttpsServer>(kTextError, server.dataDir() + "/tls/server.pem",
                                               server.dataDir() + "/tls/server.key");
    QVERIFY(!raw || raw->listenOnLoopback());
    const int port = raw                 ? raw->serverPort()
                     : setup == NoServer ? NetFixture::freePort()
                                         : server.restPort();

    NetServerManager net(ServerConfig::fromFile(m_fixture.writeIni(port, setup != Untrusted)));
    net.setDbPath(m_db->dbPath());
    NetRecorder recorder(&net);
    const qint64 since = server.lastRequestSeq();
    LogCapture log;
    const int reqCode = worker ? 4 : 9;
    QVERIFY(worker ? net.reqChatRoomList(reqCode) : net.reqPing(reqCode));

    if (!signalled) {
        // The request arrives and is answered; nothing follows.
        QTRY_VERIFY_WITH_TIMEOUT(server.requests(fault, since).size() == 1, 20000);
        QCOMPARE(recorder.answer(reqCode, 1000).signal, QStringLiteral("timeout"));
        return;
    }
    const NetRecorder::Event answer = recorder.answer(reqCode);
    QCOMPARE(answer.signal, QStringLiteral("failure"));
    QCOMPARE(answer.errCode, errCode);
    if (error == QLatin1String("*"))
        QVERIFY(!answer.text.isEmpty());
    else
        QCOMPARE(answer.text, error);
    QTest::qWait(200);
    QCOMPARE(recorder.events().size(), 1);

    if (setup == OutdatedClient) {
        QVERIFY(answer.text.contains(QLatin1String("/download/")));
        QVERIFY(log.contains(QStringLiteral(" - [ERROR_VERSION_APP_NOT_MATCH] update link=") +
                             answer.text));
    }
    if (errCode == 50012) {
        const QString where = worker ? QStringLiteral("NetServerManager::httpRequest")
                                     : QStringLiteral("NetServerManager::onNetworkReplyError");
        QVERIFY(log.contains(where + QStringLiteral(" - errCode=50012, developerMessage=")));
    }
    if (raw)
        QCOMPARE(raw->requestCount(), setup == TextError ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestNetErrors)
#include "tst_neterrors.moc"
