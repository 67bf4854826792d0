// The engine keeps its connections to the reference server: a login's worth of pictures goes over
// the few connections of the threads that fetch them, not a TLS handshake each, and a kept
// connection the server has closed is opened again instead of failing the next request.
#include "net/filemanager.h"
#include "net/netpicturequeue.h"
#include "netfixture.h"

#include <QSet>

namespace {
// The numbers of the TLS connections the requests came on (the server numbers them from 1).
QSet<int> connectionsOf(const QJsonArray& requests)
{
    QSet<int> out;
    for (const QJsonValue& request : requests)
        out.insert(request[QLatin1String("connection")].toInt());
    return out;
}

// A picture the server makes on request: a version of a known user's picture.
QString pictureUrl(qint64 userId, int version)
{
    return QStringLiteral("/pictures/u%1_%2_t.png").arg(userId).arg(version);
}
} // namespace

// A request of the engine; the code or url its answer carries.
using Request = std::function<QVariant(NetServerManager&, qint64 userId)>;
Q_DECLARE_METATYPE(Request)

class TestConnectionReuse : public NetFixture
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(start()); }
    void cleanup() { m_recorder->clear(); }

    void picturesShareConnections()
    {
        constexpr int kPictures = 40;
        const qint64 since = m_server.lastRequestSeq();
        QWidget row;
        for (int version = 1; version <= kPictures; ++version)
            QCOMPARE(m_net->requestImage(pictureUrl(m_session->userId(), version), &row),
                     QString());
        QVERIFY(waitUntil([&] { return m_recorder->events().size() == kPictures; }));
        const QJsonArray served = m_server.requests(QStringLiteral("/pictures"), since);
        QCOMPARE(served.size(), kPictures);
        const QSet<int> connections = connectionsOf(served);
        QVERIFY2(!connections.contains(0), "a request came on a connection the server missed");
        QVERIFY2(connections.size() <= NetPictureQueue::kMaxRunning,
                 qPrintable(QStringLiteral("%1 connections").arg(connections.size())));
    }

    void closedConnectionsOpenAgain_data()
    {
        QTest::addColumn<Request>("request");
        QTest::addColumn<QString>("signal");
        QTest::newRow("a picture, on a worker thread")
            << Request([](NetServerManager& net, qint64 userId) {
                   net.requestImage(pictureUrl(userId, 101), nullptr);
                   return QVariant(pictureUrl(userId, 101));
               })
            << "imageSuccess";
        QTest::newRow("a keep-alive, on the GUI thread")
            << Request([](NetServerManager& net, qint64) {
                   net.reqPing(7);
                   return QVariant(7);
               })
            << "success";
    }
    // The connection the first request left open is closed by the server; the same request
    // again is answered over a new one.
    void closedConnectionsOpenAgain()
    {
        QFETCH(Request, request);
        QFETCH(QString, signal);
        const QVariant first = request(*m_net, m_session->userId());
        QCOMPARE(m_recorder->answer(first).signal, signal);
        QVERIFY(m_server.control("POST", "/control/connections/close")["closed"].toInt() > 0);
        const int opened = m_server.control("GET", "/control/connections")["opened"].toInt();
        QFile::remove(FileManager::cacheFilePath(first.toString()));
        m_recorder->clear();
        QCOMPARE(m_recorder->answer(request(*m_net, m_session->userId())).signal, signal);
        QVERIFY(m_server.control("GET", "/control/connections")["opened"].toInt() > opened);
    }
};

QTEST_MAIN(TestConnectionReuse)
#include "tst_connectionreuse.moc"
