// Every way a request can fail, on both paths of the engine (an asynchronous request from the
// GUI thread and a worker request): no server, a certificate the configuration does not trust,
// a server that does not speak TLS, error bodies with and without JSON, an empty error body, an
// outdated client, and an answer that is neither 200 nor an error. A failure is never reported
// as a success, and each is reported once, on the GUI thread, with the caller's request code.
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
    NoServer,
    Untrusted,
    PlainHttp,
    JsonError,
    OutdatedClient,
    TextError,
    EmptyBody,
    Created,
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
    QString writeIni(int port, bool withCa);
    int freePort();

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

QString TestNetErrors::writeIni(int port, bool withCa)
{
    static int n = 0;
    const QString path = m_dir.filePath(QStringLiteral("client%1.ini").arg(++n));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    QByteArray ini = "[Server]\nHost=localhost\nRestPort=" + QByteArray::number(port) + "\n";
    if (withCa)
        ini += "CaFile=" + m_fixture.server().caFile().toUtf8() + "\n";
    file.write(ini);
    return path;
}

int TestNetErrors::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void TestNetErrors::failures_data()
{
    QTest::addColumn<int>("setup");
    QTest::addColumn<bool>("worker");
    QTest::addColumn<bool>("signalled"); // false: nothing may come
    QTest::addColumn<int>("errCode");
    QTest::addColumn<QString>("error"); // "*" for any non-empty text

    const QString nullReply = QStringLiteral("reply is NULL");
    const QString httpError = QStringLiteral("http error code");
    for (bool worker : {false, true}) {
        const QString path = worker ? QStringLiteral("worker: ") : QStringLiteral("gui: ");
        const QString noAnswer = worker ? nullReply : httpError;
        QTest::addRow("%sno server", qPrintable(path))
            << int(NoServer) << worker << true << 10001 << noAnswer;
        QTest::addRow("%suntrusted certificate", qPrintable(path))
            << int(Untrusted) << worker << true << 10001 << noAnswer;
        QTest::addRow("%sserver without TLS", qPrintable(path))
            << int(PlainHttp) << worker << true << 10001 << noAnswer;
        QTest::addRow("%serror body", qPrintable(path))
            << int(JsonError) << worker << true << 50012 << "Broken on purpose";
        QTest::addRow("%soutdated client", qPrintable(path))
            << int(OutdatedClient) << worker << true << 40106 << "*";
        QTest::addRow("%serror body without JSON", qPrintable(path))
            << int(TextError) << worker << true << 0 << "";
        QTest::addRow("%sempty error body", qPrintable(path))
            << int(EmptyBody) << worker << true << 10001 << noAnswer;
        QTest::addRow("%sanswer neither 200 nor an error", qPrintable(path))
            << int(Created) << worker << false << 0 << "";
    }
}

void TestNetErrors::failures()
{
    QFETCH(int, setup);
    QFETCH(bool, worker);
    QFETCH(bool, signalled);
    QFETCH(int, errCode);
    QFETCH(QString, error);

    DevServer& server = m_fixture.server();
    std::unique_ptr<RawHttpsServer> raw;
    QString ini = writeIni(server.restPort(), true);
    const QString fault =
        worker ? QStringLiteral("/rest/chatt/room") : QStringLiteral("/rest/auth");
    switch (Setup(setup)) {
    case NoServer:
        ini = writeIni(freePort(), true);
        break;
    case Untrusted:
        ini = writeIni(server.restPort(), false);
        break;
    case PlainHttp:
        raw = std::make_unique<RawHttpsServer>(kPlainAnswer);
        QVERIFY(raw->listenOnLoopback());
        ini = writeIni(raw->serverPort(), true);
        break;
    case TextError:
        raw = std::make_unique<RawHttpsServer>(
            kTextError, server.dataDir() + QStringLiteral("/tls/server.pem"),
            server.dataDir() + QStringLiteral("/tls/server.key"));
        QVERIFY(raw->listenOnLoopback());
        ini = writeIni(raw->serverPort(), true);
        break;
    case JsonError:
        QVERIFY(server.setFault(QJsonObject{{"mode", "error"},
                                            {"status", 500},
                                            {"code", 50012},
                                            {"message", "Broken on purpose"},
                                            {"path", fault}}));
        break;
    case OutdatedClient:
        server.control("POST", QStringLiteral("/control/version"),
                       QJsonObject{{"minVersion", 1047}});
        break;
    case EmptyBody:
        QVERIFY(server.setFault(
            QJsonObject{{"mode", "error"}, {"status", 503}, {"body", "empty"}, {"path", fault}}));
        break;
    case Created:
        QVERIFY(server.setFault(QJsonObject{{"mode", "error"}, {"status", 201}, {"path", fault}}));
        break;
    }

    NetServerManager net(ServerConfig::fromFile(ini));
    net.setDbPath(m_db->dbPath());
    NetRecorder recorder(&net);
    const qint64 since = server.lastRequestSeq();
    LogCapture log;
    const int reqCode = worker ? 4 : 9;
    QVERIFY(worker ? net.reqChatRoomList(reqCode) : net.reqPing(reqCode));

    NetRecorder::Event answer;
    if (!signalled) {
        // The request arrives and is answered; nothing follows.
        QTRY_VERIFY_WITH_TIMEOUT(server.requests(fault, since).size() == 1, 20000);
        QTest::qWait(300);
        QVERIFY(!recorder.waitForAny({"success", "failure"}, reqCode, &answer, 700));
        return;
    }
    QVERIFY(recorder.waitForAny({"success", "failure"}, reqCode, &answer));
    QCOMPARE(answer.signal, QStringLiteral("failure"));
    QCOMPARE(answer.thread, QThread::currentThread());
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
    if (setup == JsonError) {
        const QString where = worker ? QStringLiteral("NetServerManager::httpRequest")
                                     : QStringLiteral("NetServerManager::onNetworkReplyError");
        QVERIFY(log.contains(where + QStringLiteral(" - errCode=50012, developerMessage=")));
    }
    if (raw)
        QCOMPARE(raw->requestCount(), setup == TextError ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestNetErrors)
#include "tst_neterrors.moc"
