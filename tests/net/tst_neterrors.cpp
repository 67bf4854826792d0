// Every way a request can fail, on the three paths of the engine (an asynchronous request from
// the GUI thread, a worker request and an upload): no server, a certificate the configuration
// does not trust, a server that does not speak TLS, error bodies with and without JSON, an
// empty error body, an outdated client, an answer that is neither 200 nor an error, and a file
// that cannot be read. A failure is never reported as a success, and each is reported once with
// the caller's request code.
#include "netfixture.h"

#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>

namespace {
enum Setup
{
    Reference, // the reference server, with the row's fault rule when it has one
    NoServer,
    Untrusted,
    PlainHttp,
    TextError,
    OutdatedClient,
    MissingFile,
};

enum Via
{
    Gui,
    Worker,
    Upload,
};

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A loopback server for the answers the reference server never gives: over TLS with the
// reference server's own certificate, an error body that is not JSON; without a certificate,
// plain HTTP where TLS is expected.
class RawServer : public QTcpServer
{
public:
    RawServer(const QByteArray& response, const QString& tlsFiles = QString())
        : m_response(response), m_certificate(readFile(tlsFiles + ".pem")),
          m_key(readFile(tlsFiles + ".key"), QSsl::Ec)
    {
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
const QByteArray kPlainAnswer = "HTTP/1.1 400 Bad Request\r\nContent-Type: application/json\r\n"
                                "Content-Length: 2\r\nConnection: close\r\n\r\n{}";
} // namespace

class TestNetErrors : public NetFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void failures_data();
    void failures();

private:
    QTemporaryDir m_dir;
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
    QTest::addColumn<int>("setup");
    QTest::addColumn<QJsonObject>("rule");
    QTest::addColumn<int>("via");
    QTest::addColumn<bool>("signalled"); // false: nothing may come
    QTest::addColumn<int>("errCode");
    QTest::addColumn<QString>("error"); // "*" for any non-empty text

    const QJsonObject jsonError{{"status", 500}, {"code", 50012}, {"message", "Broken on purpose"}};
    for (int via : {Gui, Worker, Upload}) {
        const char* path = via == Gui ? "gui: " : via == Worker ? "worker: " : "upload: ";
        const int unanswered = via == Upload ? 0 : 10001;
        const QString noAnswer = via == Worker ? "reply is NULL" : "http error code";
        QTest::addRow("%sno server", path)
            << int(NoServer) << QJsonObject() << via << true << unanswered << noAnswer;
        QTest::addRow("%suntrusted certificate", path)
            << int(Untrusted) << QJsonObject() << via << true << unanswered << noAnswer;
        QTest::addRow("%sserver without TLS", path)
            << int(PlainHttp) << QJsonObject() << via << true << unanswered << noAnswer;
        QTest::addRow("%serror body", path)
            << int(Reference) << jsonError << via << true << 50012 << "Broken on purpose";
        QTest::addRow("%soutdated client", path)
            << int(OutdatedClient) << QJsonObject() << via << true << 40106 << "*";
        QTest::addRow("%serror body without JSON", path)
            << int(TextError) << QJsonObject() << via << true << 0 << "";
        QTest::addRow("%sempty error body", path)
            << int(Reference) << QJsonObject{{"status", 503}, {"body", "empty"}} << via << true
            << (via == Upload ? 503 : 10001) << noAnswer;
        if (via == Upload) {
            QTest::addRow("%sfile cannot be read", path)
                << int(MissingFile) << QJsonObject() << via << true << 10001 << "reply is NULL";
        } else {
            QTest::addRow("%sanswer neither 200 nor an error", path)
                << int(Reference) << QJsonObject{{"status", 201}} << via << false << 0 << "";
        }
    }
}

void TestNetErrors::failures()
{
    QFETCH(int, setup);
    QFETCH(QJsonObject, rule);
    QFETCH(int, via);
    QFETCH(bool, signalled);
    QFETCH(int, errCode);
    QFETCH(QString, error);

    const QString fault = QStringList{"/rest/auth", "/rest/chatt/room", "/rest/file/chat"}.at(via);
    if (!rule.isEmpty()) {
        rule.insert(QStringLiteral("mode"), QStringLiteral("error"));
        rule.insert(QStringLiteral("path"), fault);
        QVERIFY(m_server.setFault(rule));
    }
    if (setup == OutdatedClient)
        m_server.control("POST", QStringLiteral("/control/version"),
                         QJsonObject{{"minVersion", 1047}});
    std::unique_ptr<RawServer> raw;
    if (setup == PlainHttp)
        raw = std::make_unique<RawServer>(kPlainAnswer);
    if (setup == TextError)
        raw = std::make_unique<RawServer>(kTextError, m_server.dataDir() + "/tls/server");
    const int port = raw ? raw->serverPort() : setup == NoServer ? freePort() : m_server.restPort();
    QVERIFY(port > 0);

    NetServerManager net(ServerConfig::fromFile(writeIni(port, setup != Untrusted)));
    net.setDbPath(m_db->dbPath());
    NetRecorder recorder(&net);
    const qint64 since = m_server.lastRequestSeq();
    clearLog();
    QFile file(m_dir.filePath(QStringLiteral("upload.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("hello") == 5);
    file.close();
    if (setup == MissingFile)
        file.remove();
    const QVariant reqCode = via == Upload ? QVariant(QStringLiteral("up")) : QVariant(4);
    QVERIFY(via == Gui      ? net.reqPing(4)
            : via == Worker ? net.reqChatRoomList(4)
                            : net.uploadChatFile(QStringLiteral("up"), file.fileName()));

    if (!signalled) {
        // The request arrives and is answered; nothing follows.
        QTRY_VERIFY_WITH_TIMEOUT(m_server.requests(fault, since).size() == 1, 20000);
        QCOMPARE(recorder.answer(reqCode, 1000).signal, QStringLiteral("timeout"));
        return;
    }
    const NetRecorder::Event answer = recorder.answer(reqCode);
    QCOMPARE(answer.signal, QString(via == Upload ? "uploadFailure" : "failure"));
    QCOMPARE(answer.errCode, errCode);
    QVERIFY2(error == QLatin1String("*") ? !answer.text.isEmpty() : answer.text == error,
             qPrintable(answer.text));
    QTest::qWait(200);
    QCOMPARE(recorder.events().size() - recorder.of("uploadProgress").size(), 1);

    if (setup == OutdatedClient && via != Upload) {
        QVERIFY(answer.text.contains(QLatin1String("/download/")));
        QVERIFY(
            logged(QStringLiteral(" - [ERROR_VERSION_APP_NOT_MATCH] update link=") + answer.text));
    }
    if (errCode == 50012) {
        const QString where = via == Gui ? QStringLiteral("NetServerManager::onNetworkReplyError")
                                         : QStringLiteral("NetServerManager::httpRequest");
        QVERIFY(logged(where + QStringLiteral(" - errCode=50012, developerMessage=")));
    }
}

QTEST_GUILESS_MAIN(TestNetErrors)
#include "tst_neterrors.moc"
