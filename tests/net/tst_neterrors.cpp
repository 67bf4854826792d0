// Every way a request can fail, on the three paths of the engine (an asynchronous request from
// the GUI thread, a worker request and an upload): no server, a certificate the configuration
// does not trust, a server that does not speak TLS, error bodies with and without JSON, an
// empty error body, an outdated client, an answer that is neither 200 nor an error, and a file
// that cannot be read. A failure is never reported as a success, and each is reported once with
// the caller's request code.
#include "net/filemanager.h"
#include "netfixture.h"

#include <QTcpServer>

namespace {
// Over TLS with the reference server's own certificate, the answer the reference server never
// gives: an error body that is not JSON, sent once the whole request, with the body it announces,
// has been read.
class TextErrorServer : public QTcpServer
{
public:
    QString tlsFiles;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        connect(socket, &QSslSocket::readyRead, this, [socket, request = QString()]() mutable {
            static const QRegularExpression length(QStringLiteral("content-length: *(\\d+)"),
                                                   QRegularExpression::CaseInsensitiveOption);
            request += QString::fromLatin1(socket->readAll());
            const int end = request.indexOf(QStringLiteral("\r\n\r\n"));
            if (end < 0 || request.size() < end + 4 + length.match(request).captured(1).toInt())
                return;
            socket->write("HTTP/1.1 502 Bad Gateway\r\nContent-Type: text/html\r\n"
                          "Content-Length: 31\r\nConnection: close\r\n\r\n"
                          "<html><b>Bad Gateway</b></html>");
            socket->disconnectFromHost();
        });
        connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        socket->setLocalCertificate(tlsFiles + ".pem");
        socket->setPrivateKey(tlsFiles + ".key", QSsl::Ec);
        socket->startServerEncryption();
    }
};
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
    TextErrorServer m_textError;
};

void TestNetErrors::initTestCase()
{
    QVERIFY(start(true));
    m_textError.tlsFiles = m_server.dataDir() + "/tls/server";
    QVERIFY(m_textError.listen(QHostAddress::LocalHost));
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
    QTest::addColumn<int>("port");
    QTest::addColumn<QJsonObject>("rule");
    QTest::addColumn<QString>("path");  // of the request: a ping, a room list or an upload
    QTest::addColumn<int>("errCode");   // -1: nothing may come
    QTest::addColumn<QString>("error"); // a pattern

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const int none = closed.serverPort(), rest = m_server.restPort();
    closed.close(); // nobody listens there any more
    // The broker's port: plain TCP where TLS is expected.
    const int plain = ServerConfig::fromFile(m_server.clientIni()).brokerPort();
    const QJsonObject jsonError{{"status", 500}, {"code", 50012}, {"message", "Broken on purpose"}};
    for (const char* path : {"/rest/auth", "/rest/chatt/room", "/rest/file/chat"}) {
        const bool upload = path == QLatin1String("/rest/file/chat");
        const int unanswered = upload ? 0 : 10001;
        const QString noAnswer =
            path == QLatin1String("/rest/chatt/room") ? "reply is NULL" : "http error code";
        auto row = [&](const char* name, const char* setup, int port, const QJsonObject& rule,
                       int errCode, const QString& error) {
            QTest::addRow("%s: %s", path, name)
                << setup << port << rule << path << errCode << error;
        };
        row("no server", "", none, {}, unanswered, noAnswer);
        row("untrusted certificate", "untrusted", rest, {}, unanswered, noAnswer);
        row("server without TLS", "", plain, {}, unanswered, noAnswer);
        row("error body", "", rest, jsonError, 50012, "Broken on purpose");
        row("outdated client", "outdated", rest, {}, 40106,
            upload ? ".+" : "https://.+/download/.+");
        row("error body without JSON", "", m_textError.serverPort(), {}, 0, "");
        row("empty error body", "", rest, {{"status", 503}, {"body", "empty"}},
            upload ? 503 : 10001, noAnswer);
        if (upload)
            row("file cannot be read", "missing file", rest, {}, 10001, "reply is NULL");
        else
            row("answer neither 200 nor an error", "", rest, {{"status", 201}}, -1, "");
    }
}

void TestNetErrors::failures()
{
    QFETCH(QString, setup);
    QFETCH(int, port);
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
    QVERIFY(port > 0);
    QFile ini(m_server.dataDir() + QStringLiteral("/test.ini"));
    const QByteArray ca =
        setup == "untrusted" ? QByteArray() : "\nCaFile=" + m_server.caFile().toUtf8();
    QVERIFY(ini.open(QIODevice::WriteOnly) &&
            ini.write("[Server]\nHost=localhost\nRestPort=" + QByteArray::number(port) + ca) > 0);
    ini.close();

    NetServerManager net(ServerConfig::fromFile(ini.fileName()));
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
