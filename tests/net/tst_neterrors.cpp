// Every way a request can fail, on the three paths of the engine (an asynchronous request from
// the GUI thread, a worker request and an upload): no server, a certificate the configuration
// does not trust, a server that does not speak TLS, error bodies with and without JSON, an
// empty error body, an outdated client, an answer that is neither 200 nor an error, and a file
// that cannot be read. A failure is never reported as a success, and each is reported once with
// the caller's request code.
#include "net/filemanager.h"
#include "netfixture.h"

#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>

namespace {
// A loopback server for the answers the reference server never gives: over TLS with the
// reference server's own certificate, an error body that is not JSON; without a certificate,
// plain HTTP where TLS is expected.
class RawServer : public QTcpServer
{
public:
    RawServer(const QByteArray& response, const QString& tlsFiles = QString())
        : m_response(response)
    {
        QFile key(tlsFiles + ".key");
        if (key.open(QIODevice::ReadOnly)) {
            m_certificate = QSslCertificate::fromPath(tlsFiles + ".pem").value(0);
            m_key = QSslKey(&key, QSsl::Ec);
        }
        listen(QHostAddress::LocalHost, 0);
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        const bool tls = !m_certificate.isNull();
        // A plain server answers a TLS greeting at once: it is no request it knows. Over TLS the
        // whole request, with the body it announces, is read before the answer goes out.
        connect(socket, &QSslSocket::readyRead, this, [=, request = QByteArray()]() mutable {
            request += socket->readAll();
            const int end = request.indexOf("\r\n\r\n");
            const int at = request.toLower().indexOf("content-length:");
            const int length = at < 0 ? 0 : request.mid(at + 15, 12).split('\r').value(0).toInt();
            if (tls && (end < 0 || request.size() < end + 4 + length))
                return;
            socket->write(m_response);
            socket->disconnectFromHost();
        });
        connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        if (tls) {
            socket->setLocalCertificate(m_certificate);
            socket->setPrivateKey(m_key);
            socket->startServerEncryption();
        }
    }

private:
    QByteArray m_response;
    QSslCertificate m_certificate;
    QSslKey m_key;
};

const QByteArray kTextError = "HTTP/1.1 502 Bad Gateway\r\nContent-Type: text/html\r\n"
                              "Content-Length: 31\r\nConnection: close\r\n\r\n"
                              "<html><b>Bad Gateway</b></html>";
} // namespace

class TestNetErrors : public NetFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void failures_data();
    void failures();
};

void TestNetErrors::initTestCase()
{
    QVERIFY2(start(true), qPrintable(errorString()));
}

void TestNetErrors::cleanup()
{
    m_server.setFault(QJsonObject{{"mode", "off"}});
    m_server.control("POST", QStringLiteral("/control/version"),
                     QJsonObject{{"minVersion", QJsonValue::Null}});
}

void TestNetErrors::failures_data()
{
    QTest::addColumn<QString>("setup"); // "": the reference server with the row's fault rule
    QTest::addColumn<QJsonObject>("rule");
    QTest::addColumn<QString>("path");  // of the request: a ping, a room list or an upload
    QTest::addColumn<int>("errCode");   // -1: nothing may come
    QTest::addColumn<QString>("error"); // a pattern

    const QJsonObject jsonError{{"status", 500}, {"code", 50012}, {"message", "Broken on purpose"}};
    for (const char* path : {"/rest/auth", "/rest/chatt/room", "/rest/file/chat"}) {
        const bool upload = path == QLatin1String("/rest/file/chat");
        const int unanswered = upload ? 0 : 10001;
        const QString noAnswer =
            path == QLatin1String("/rest/chatt/room") ? "reply is NULL" : "http error code";
        auto row = [&](const char* name, const char* setup, const QJsonObject& rule, int errCode,
                       const QString& error) {
            QTest::addRow("%s: %s", path, name) << setup << rule << path << errCode << error;
        };
        row("no server", "no server", {}, unanswered, noAnswer);
        row("untrusted certificate", "untrusted", {}, unanswered, noAnswer);
        row("server without TLS", "plain", {}, unanswered, noAnswer);
        row("error body", "", jsonError, 50012, "Broken on purpose");
        row("outdated client", "outdated", {}, 40106, upload ? ".+" : "https://.+/download/.+");
        row("error body without JSON", "text error", {}, 0, "");
        row("empty error body", "", {{"status", 503}, {"body", "empty"}}, upload ? 503 : 10001,
            noAnswer);
        if (upload)
            row("file cannot be read", "missing file", {}, 10001, "reply is NULL");
        else
            row("answer neither 200 nor an error", "", {{"status", 201}}, -1, "");
    }
}

void TestNetErrors::failures()
{
    QFETCH(QString, setup);
    QFETCH(QJsonObject, rule);
    QFETCH(QString, path);
    QFETCH(int, errCode);
    QFETCH(QString, error);

    if (!rule.isEmpty()) {
        rule.insert(QStringLiteral("mode"), QStringLiteral("error"));
        rule.insert(QStringLiteral("path"), path);
        QVERIFY(m_server.setFault(rule));
    }
    if (setup == "outdated")
        m_server.control("POST", QStringLiteral("/control/version"),
                         QJsonObject{{"minVersion", 1047}});
    std::unique_ptr<RawServer> raw;
    if (setup == "plain")
        raw = std::make_unique<RawServer>("HTTP/1.1 400 Bad Request\r\n\r\n");
    if (setup == "text error")
        raw = std::make_unique<RawServer>(kTextError, m_server.dataDir() + "/tls/server");
    if (setup == "no server")
        raw = std::make_unique<RawServer>(QByteArray());
    const int port = raw ? raw->serverPort() : m_server.restPort();
    QVERIFY(port > 0);
    if (setup == "no server")
        raw->close(); // nobody listens there any more

    NetServerManager net(ServerConfig::fromFile(writeIni(port, setup != "untrusted")));
    net.setDbPath(m_db->dbPath());
    NetRecorder recorder(&net);
    const qint64 since = m_server.lastRequestSeq();
    clearLog();
    const bool upload = path == "/rest/file/chat";
    const QString file =
        setup == "missing file" ? "/proc/no-such-file.txt" : FileManager::makeTextFile("hello");
    QVERIFY(path == "/rest/auth" ? net.reqPing(4)
            : upload             ? net.uploadChatFile(QStringLiteral("4"), file)
                                 : net.reqChatRoomList(4));
    const QVariant reqCode = upload ? QVariant(QStringLiteral("4")) : QVariant(4);

    if (errCode < 0) {
        // The request arrives and is answered; nothing follows.
        QTRY_VERIFY_WITH_TIMEOUT(m_server.requests(path, since).size() == 1, 20000);
        QCOMPARE(recorder.answer(reqCode, 1000).signal, QStringLiteral("timeout"));
        return;
    }
    const NetRecorder::Event answer = recorder.answer(reqCode);
    QCOMPARE(answer.signal, QString(upload ? "uploadFailure" : "failure"));
    QCOMPARE(answer.errCode(), errCode);
    QVERIFY2(QRegularExpression("^(" + error + ")$").match(answer.text()).hasMatch(),
             qPrintable(answer.text()));
    QTest::qWait(200);
    QCOMPARE(recorder.events().size() - recorder.of("uploadProgress").size(), 1);

    if (setup == "outdated" && !upload)
        QVERIFY(logged(" - [ERROR_VERSION_APP_NOT_MATCH] update link=" + answer.text()));
    if (errCode == 50012)
        QVERIFY(logged(QString(path == "/rest/auth" ? "NetServerManager::onNetworkReplyError"
                                                    : "NetServerManager::httpRequest") +
                       " - errCode=50012, developerMessage="));
}

QTEST_GUILESS_MAIN(TestNetErrors)
#include "tst_neterrors.moc"
