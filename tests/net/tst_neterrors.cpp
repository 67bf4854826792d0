// Every way a request can fail, on the three paths of the engine (an asynchronous request from
// the GUI thread, a worker request and an upload): no server, a certificate the configuration
// does not trust, a server that does not speak TLS, error bodies with and without JSON, an
// empty error body, an outdated client, an answer that is neither 200 nor an error, a 200 whose
// body is not a JSON object, a server that goes silent, and a file that cannot be read. A
// failure is never reported as a success, and each is reported once with the caller's request
// code.
#include "net/filemanager.h"
#include "net/netanswer.h"
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

using Call = std::function<bool(NetServerManager&)>;
Q_DECLARE_METATYPE(Call)

class TestNetErrors : public NetFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void failures_data();
    void failures();
    void preview_data();
    void preview();

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
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("caLine"); // of the client's configuration
    QTest::addColumn<QJsonObject>("rule");  // the reference server's fault rule
    QTest::addColumn<QJsonValue>("minVersion");
    QTest::addColumn<Call>("call");
    QTest::addColumn<NetOutcome>("expected");
    QTest::addColumn<QString>("logLine"); // a line that holds this text was logged

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const int none = closed.serverPort(), rest = m_server.restPort();
    closed.close(); // nobody listens there any more
    // The broker's port: plain TCP where TLS is expected.
    const int plain = ServerConfig::fromFile(m_server.clientIni()).brokerPort();
    const int textError = m_textError.serverPort();
    const QByteArray ca = "\nCaFile=" + m_server.caFile().toUtf8();
    const QJsonValue current = QJsonValue::Null;
    const QString link = m_server
                             .control("POST", QStringLiteral("/control/version"),
                                      QJsonObject{{"minVersion", 1047}})["link"]
                             .toString();
    cleanup();
    const QString file = FileManager::makeTextFile("hello");

    struct Path
    {
        const char* path;
        const char* failure; // the signal of a failure
        Call call;
        int unanswered;       // the code of a request without an answer
        QString noAnswer;     // its text
        QString errorLog;     // where an error body is logged
        QString outdated;     // the text of a refused version
        QString outdatedLog;  // its log line
        QString untrustedLog; // the log line of a certificate nobody trusts
        QString id;           // the request as logged
    };
    const QString linkLog = " - [ERROR_VERSION_APP_NOT_MATCH] update link=" + link;
    const QList<Path> paths = {
        {"/rest/auth", "failure", [](NetServerManager& n) { return n.reqPing(4); }, 10001,
         "http error code", "NetServerManager::onNetworkReplyError", link,
         "NetServerManager::onNetworkReplyError" + linkLog,
         "NetServerManager::onNetworkReplyError - reqCode=4, error=6", "reqCode=4"},
        {"/rest/chatt/room", "failure", [](NetServerManager& n) { return n.reqChatRoomList(4); },
         10001, "reply is NULL", "NetServerManager::httpRequest", link,
         "NetServerManager::httpRequest" + linkLog, "NetServerManager - sslErrors:", "reqCode=4"},
        {"/rest/file/chat", "uploadFailure",
         [file](NetServerManager& n) { return n.uploadChatFile(QStringLiteral("4"), file); }, 0,
         "http error code", "NetServerManager::httpRequest",
         "A newer version of the program is required.",
         "NetServerManager::httpRequest - errCode=40106",
         "NetServerManager - sslErrors:", "reqId=4"}};
    const QJsonObject off{{"mode", "off"}};
    for (const Path& p : paths) {
        auto row = [&](const char* name, int port, const QByteArray& caLine, QJsonObject rule,
                       const QJsonValue& minVersion, int errCode, const QString& text,
                       const QString& logged) {
            rule.insert(QStringLiteral("path"), QString::fromLatin1(p.path));
            QTest::addRow("%s: %s", p.path, name)
                << port << caLine << rule << minVersion << p.call
                << NetOutcome{p.failure, "4", errCode, text} << logged;
        };
        const QString sent = "reqUrl=https://localhost:";
        row("no server", none, ca, off, current, p.unanswered, p.noAnswer, sent);
        row("untrusted certificate", rest, "", off, current, p.unanswered, p.noAnswer,
            p.untrustedLog);
        row("server without TLS", plain, ca, off, current, p.unanswered, p.noAnswer, sent);
        row("error body", rest, ca,
            {{"mode", "error"}, {"status", 500}, {"code", 50012}, {"message", "Broken"}}, current,
            50012, "Broken", p.errorLog + " - errCode=50012, developerMessage=injected fault");
        row("outdated client", rest, ca, off, 1047, 40106, p.outdated, p.outdatedLog);
        row("error body without JSON", textError, ca, off, current, 0, "", sent);
        row("empty error body", rest, ca, {{"mode", "error"}, {"status", 503}, {"body", "empty"}},
            current, p.unanswered ? p.unanswered : 503, p.noAnswer, sent);
        row("answer neither 200 nor an error", rest, ca, {{"mode", "error"}, {"status", 201}},
            current, 10002, kUnreadableText, "not answered, httpCode=201");
        // A 200 whose body is not a JSON object; the log shows its size and first bytes.
        auto unreadable = [&](const char* name, const QString& raw, const char* type,
                              const QString& logged) {
            row(name, rest, ca, {{"mode", "body"}, {"raw", raw}, {"type", type}}, current, 10002,
                kUnreadableText, "unreadable answer " + p.id + ": " + logged);
        };
        unreadable("200, empty", "", "application/json", "0 bytes: ");
        unreadable("200, cut short", "{\"list\":[{\"chattRoomId\":1", "application/json",
                   "25 bytes: {\"list\":[{\"chattRoomId\":1");
        unreadable("200, HTML", "<html><body>Hello</body></html>", "text/html",
                   "31 bytes: <html><body>Hello</body></html>");
        unreadable("200, an array", "[{\"list\":[]}]", "application/json",
                   "13 bytes: [{\"list\":[]}]");
        unreadable("200, null", "null", "application/json", "4 bytes: null");
        unreadable("200, cut inside a key", "{\"client\":{\"accessKey\":\"AK-9f3",
                   "application/json", "30 bytes: {\"client\":{\"accessKey\":\"****");
        // The request arrives and nothing comes back: it fails after the idle time.
        row("no answer", rest, ca, {{"mode", "hang"}}, current, 10001, kTimedOutText,
            "NetIdleTimeout - no byte for 1000 ms");
    }
    QTest::newRow("/rest/chatt/room: 200 without a list")
        << rest << ca
        << QJsonObject{{"mode", "body"}, {"raw", "{\"rooms\":[]}"}, {"path", "/rest/chatt/room"}}
        << current << paths.at(1).call << NetOutcome{"failure", "4", 10002, kUnreadableText}
        << "NetServerManager::reqChatRoomList - reqCode=4 answer has no list";
    QTest::newRow("/rest/file/chat: file cannot be read")
        << rest << ca << off << current << Call([](NetServerManager& n) {
               return n.uploadChatFile(QStringLiteral("4"), "/proc/no-such-file.txt");
           })
        << NetOutcome{"uploadFailure", "4", 10001, "reply is NULL"}
        << "cannot read filePath:/proc/no-such-file.txt";
}

void TestNetErrors::failures()
{
    QFETCH(int, port);
    QFETCH(QByteArray, caLine);
    QFETCH(QJsonObject, rule);
    QFETCH(QJsonValue, minVersion);
    QFETCH(Call, call);
    QFETCH(NetOutcome, expected);
    QFETCH(QString, logLine);

    QVERIFY(m_server.setFault(rule));
    m_server.control("POST", QStringLiteral("/control/version"),
                     QJsonObject{{"minVersion", minVersion}});
    QVERIFY(port > 0);
    QFile ini(m_server.dataDir() + QStringLiteral("/test.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly) &&
            ini.write("[Server]\nHost=localhost\nRestPort=" + QByteArray::number(port) + caLine) >
                0);
    ini.close();

    auto net = std::make_unique<NetServerManager>(ServerConfig::fromFile(ini.fileName()));
    net->setDbPath(m_db->dbPath());
    net->setIdleTimeout(1000);
    NetRecorder recorder(net.get());
    clearLog();
    QVERIFY(call(*net));
    QCOMPARE(recorder.answer(expected.id).signal, expected.signal);
    // Once every task of the engine has ended, the failure is all that came.
    finish(net);
    QCOMPARE(recorder.outcomes(), QList<NetOutcome>{expected});
    QVERIFY2(logged(logLine), qPrintable(logLine));
}

void TestNetErrors::preview_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("preview");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("text") << QByteArray("<html>") << "<html>";
    // A NUL byte too: the body is read by its size.
    QTest::newRow("control and non-ASCII bytes as dots")
        << QByteArray::fromHex("610d0a0962 00ff63") << "a...b..c";
    QTest::newRow("UTF-8 one dot per byte") << QByteArray("\xed\x95\x9c!") << "...!";
    QTest::newRow("the first 64 bytes") << QByteArray(100, 'x') << QString(64, 'x');
    QTest::newRow("access key") << QByteArray(R"({"accessKey":"AK-123","userId":7})")
                                << R"({"accessKey":"****","userId":7})";
    QTest::newRow("keys of any case, spaced")
        << QByteArray(R"({"PASSWD" : "x+y=", "clientId":"c-1", "token":"t"})")
        << R"({"PASSWD" : "****", "clientId":"****", "token":"****"})";
    QTest::newRow("a value cut off")
        << QByteArray(R"({"client":{"accessKey":"AK-1)") << R"({"client":{"accessKey":"****)";
    // The key is seen whole although its value starts beyond the first 64 bytes.
    QTest::newRow("a key across the cut")
        << QByteArray(60, ' ') + R"({"accessKey":"AK-12345"})" << QString(60, ' ') + R"({"ac)";
    QTest::newRow("a value that starts just after the cut")
        << QByteArray(50, ' ') + R"({"accessKey":"AK-12345"})"
        << QString(50, ' ') + R"({"accessKey":")";
}

void TestNetErrors::preview()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, preview);
    QCOMPARE(NetAnswer::preview(body), preview);
}

QTEST_GUILESS_MAIN(TestNetErrors)
#include "tst_neterrors.moc"
