// The reference server's fixture as other tests use it: each typed helper against a running
// server, its answer read back through HTTPS, the broker or the control interface.
#include "common/devserver.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <memory>

namespace {

// What a GET received: its status (0 without one), its body, and whether it ended in error.
struct Answer
{
    int status = 0;
    QByteArray body;
    bool failed = false;
    bool operator==(const Answer& o) const
    {
        return status == o.status && body == o.body && failed == o.failed;
    }
};

int unreadOf(const QVector<DevBulkRoom>& rooms)
{
    int n = 0;
    for (const DevBulkRoom& r : rooms)
        n += r.unread;
    return n;
}

// The first member of each room, in order.
QVector<qint64> firstMembers(const QVector<DevBulkRoom>& rooms)
{
    QVector<qint64> out;
    for (const DevBulkRoom& r : rooms)
        out << r.memberIds.value(0);
    return out;
}

// An MQTT 3.1.1 packet: type and flags, remaining length, body.
QByteArray mqttPacket(quint8 head, const QByteArray& body)
{
    QByteArray out(1, char(head));
    int n = body.size();
    do {
        quint8 digit = n % 128;
        n /= 128;
        out.append(char(n > 0 ? digit | 0x80 : digit));
    } while (n > 0);
    return out + body;
}

QByteArray mqttString(const QByteArray& s)
{
    QByteArray len(2, 0);
    qToBigEndian<quint16>(quint16(s.size()), len.data());
    return len + s;
}

// A CHAT payload head as the client writes it (time, type 1, content type, sender, id, no list).
QByteArray chatPayload(qint64 senderId, const QByteArray& messageId, const QByteArray& text)
{
    QByteArray p(8, 0);
    p.append(char(1)).append(char(1));
    QByteArray sender(4, 0);
    qToBigEndian<quint32>(quint32(senderId), sender.data());
    return p + sender + mqttString(messageId) + QByteArray(2, 0) + text;
}

} // namespace

namespace QTest {
template <>
inline char* toString(const Answer& a)
{
    return qstrdup(QStringLiteral("{status=%1 failed=%2 body=\"%3\"}")
                       .arg(a.status)
                       .arg(a.failed)
                       .arg(QString::fromUtf8(a.body.left(200)))
                       .toUtf8()
                       .constData());
}
template <>
inline char* toString(const DevPublished& p)
{
    return qstrdup(QStringLiteral("{topic=%1 clientId=%2 userId=%3 type=%4 messageId=%5 "
                                  "senderId=%6 contentType=%7 contents=\"%8\" dropped=\"%9\"}")
                       .arg(p.topic, p.clientId)
                       .arg(p.userId)
                       .arg(p.type)
                       .arg(p.messageId)
                       .arg(p.senderId)
                       .arg(p.contentType)
                       .arg(p.contents, p.dropped)
                       .toUtf8()
                       .constData());
}
template <>
inline char* toString(const DevHistory& h)
{
    return qstrdup(QStringLiteral("{added=%1 total=%2 first=%3@%4 last=%5@%6}")
                       .arg(h.added)
                       .arg(h.total)
                       .arg(h.firstMessageId)
                       .arg(h.firstTime)
                       .arg(h.lastMessageId)
                       .arg(h.lastTime)
                       .toUtf8()
                       .constData());
}
} // namespace QTest
Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(DevFault)

class TestDevServerFixture : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setCaCertificates(QSslCertificate::fromPath(m_server.caFile()));
        m_ssl = ssl;
    }
    void init() { QVERIFY(m_server.clearFault()); }

    void faults_data()
    {
        QTest::addColumn<DevFault>("fault");
        QTest::addColumn<QString>("path");
        QTest::addColumn<Answer>("expected");
        DevFault empty = DevFault::error(QStringLiteral("/download"), 502);
        empty.emptyBody = true;
        QTest::newRow("error without a body on a download")
            << empty << "/download/VeltriTalk-Setup-9.exe" << Answer{502, "", true};
        QTest::newRow("HTML body on a picture")
            << DevFault::body(QStringLiteral("/pictures"), "<html>x</html>", 200, "text/html")
            << "/pictures/u1002_1.png" << Answer{200, "<html>x</html>", false};
        QTest::newRow("cut-short JSON on a file")
            << DevFault::body(QStringLiteral("/files"), "{\"a\":") << "/files/seeddoc1.txt"
            << Answer{200, "{\"a\":", false};
        QTest::newRow("error body on a REST path")
            << DevFault::error(QStringLiteral("/rest/auth/ping"), 503, 50300) << "/rest/auth/ping"
            << Answer{503,
                      "{\"code\":50300,\"message\":\"The server failed on purpose.\","
                      "\"developerMessage\":\"injected fault\"}",
                      true};
    }
    void faults()
    {
        QFETCH(DevFault, fault);
        QFETCH(QString, path);
        QFETCH(Answer, expected);
        QVERIFY(m_server.fail(fault));
        QCOMPARE(get(path), expected);
    }

    void stallSendsTheFirstBytesUntilCleared()
    {
        QVERIFY(m_server.fail(DevFault::stall(QStringLiteral("/download"), 100)));
        const std::unique_ptr<QNetworkReply> reply(start("/download/VeltriTalk-Setup-9.exe"));
        QTRY_COMPARE_WITH_TIMEOUT(reply->bytesAvailable(), qint64(100), 10000);
        QVERIFY(m_server.clearFault());
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 10000);
        QCOMPARE((Answer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                         reply->readAll().left(26), reply->error() != QNetworkReply::NoError}),
                 (Answer{200, "VeltriTalk update package ", true}));
    }

    void updatePackageAndEmptyLink()
    {
        const std::optional<QString> link = m_server.setUpdate(DevUpdate{2000, {}, 1000});
        QCOMPARE(link.value_or(QString()),
                 QStringLiteral("https://localhost:%1/download/VeltriTalk-Setup-2000.exe")
                     .arg(m_server.restPort()));
        QCOMPARE(get(QUrl(*link).path()).body.size(), 1000);
        QCOMPARE(m_server.setUpdate(DevUpdate{2000, QString(), -1, true})
                     .value_or(QStringLiteral("(failed)")),
                 QString());
        QVERIFY(m_server.clearUpdate());
    }

    void rateShowsInTheRecord()
    {
        QVERIFY(m_server.setRate(65536, QStringLiteral("/files")));
        const qint64 since = m_server.lastRequestSeq();
        QCOMPARE(get(QStringLiteral("/files/seeddoc1.txt")).status, 200);
        QCOMPARE(m_server.requests(QStringLiteral("/files"), since)
                     .first()[QLatin1String("rate")]
                     .toInt(),
                 65536);
        QVERIFY(m_server.setRate(0));
    }

    void sessionHelpers()
    {
        const QString clientId = newSession(1003)[QLatin1String("clientId")].toString();
        QCOMPARE(m_server.rotateKeys(clientId), 1);
        QCOMPARE(m_server.rotateKeys(qint64(1003)), 1);
        QCOMPARE(m_server.dropBroker(qint64(1003)), 0);
        QCOMPARE(m_server.sessions(1003).first()[QLatin1String("rotate")].toBool(), true);
        QVERIFY(m_server.setSessionIdle(0.2));
        QTRY_VERIFY_WITH_TIMEOUT(m_server.sessions(1003).first()[QLatin1String("ended")].isObject(),
                                 10000);
        QVERIFY(m_server.setSessionIdle(0));
    }

    void bulkAndHistory()
    {
        const QVector<DevBulkRoom> rooms = m_server.bulk(QStringLiteral("user004"), 10, 30);
        QCOMPARE(rooms.size(), 10);
        QCOMPARE(unreadOf(rooms), 30);
        QCOMPARE(firstMembers(rooms), QVector<qint64>(10, 1004));

        DevHistoryRequest request;
        request.roomId = rooms.first().roomId;
        request.count = 10000;
        request.senders = {1004};
        request.startTime = 1700000000000;
        const DevHistory h = m_server.appendHistory(request);
        QCOMPARE(h, (DevHistory{10000, 10003, h.firstMessageId, 1700000000000, h.lastMessageId,
                                1700000000000 + 9999 * 1000}));
        QVERIFY2(h.lastMessageId.startsWith(QLatin1String("h1004-hist-1700009999000")),
                 qPrintable(h.lastMessageId));
        QCOMPARE(m_server.appendHistory(DevHistoryRequest{}).added, 0);
    }

    void publishedRecordsAClientPublish()
    {
        const QJsonValue session = newSession(1005);
        const QString clientId = session[QLatin1String("clientId")].toString();
        const QString topic = m_server.control("GET", QStringLiteral("/control/rooms?userId=1005"))
                                  .toArray()
                                  .first()[QLatin1String("topic")]
                                  .toString();
        const qint64 since = m_server.lastPublishedSeq();
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), brokerPort());
        QVERIFY(socket.waitForConnected(5000));
        const QByteArray connect =
            mqttString("MQTT") + QByteArray("\x04\xc2\x00\x3c", 4) + mqttString(clientId.toUtf8()) +
            mqttString("1005") +
            mqttString(session[QLatin1String("accessKey")].toString().toUtf8());
        socket.write(mqttPacket(0x10, connect));
        const QByteArray id = clientId.toUtf8() + "-17900000000000001";
        socket.write(mqttPacket(0x30, mqttString(topic.toUtf8()) + chatPayload(1005, id, "hello")));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.published(since).size(), 1, 10000);
        DevPublished got = m_server.published(since).first();
        QCOMPARE(got.seq, since + 1);
        QVERIFY(got.time > 0);
        got.seq = 0;
        got.time = 0;
        QCOMPARE(got, (DevPublished{0, 0, topic, clientId, 1005, 1, QString::fromUtf8(id), 1005, 1,
                                    QStringLiteral("hello"), QString()}));
    }

private:
    QNetworkReply* start(const QString& path)
    {
        QNetworkRequest request(
            QUrl(QStringLiteral("https://localhost:%1%2").arg(m_server.restPort()).arg(path)));
        request.setSslConfiguration(m_ssl);
        return m_manager.get(request);
    }
    Answer get(const QString& path)
    {
        const std::unique_ptr<QNetworkReply> reply(start(path));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        finished.wait(20000);
        return Answer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                      reply->readAll(), reply->error() != QNetworkReply::NoError};
    }
    QJsonValue newSession(qint64 userId)
    {
        return m_server.control("POST", QStringLiteral("/control/session"),
                                QJsonObject{{"userId", double(userId)}});
    }
    quint16 brokerPort()
    {
        return quint16(m_server.control("GET", QStringLiteral("/control/status"))
                           .toObject()[QLatin1String("brokerPort")]
                           .toInt());
    }

    DevServer m_server;
    QNetworkAccessManager m_manager;
    QSslConfiguration m_ssl;
};

QTEST_GUILESS_MAIN(TestDevServerFixture)
#include "tst_devserverfixture.moc"
