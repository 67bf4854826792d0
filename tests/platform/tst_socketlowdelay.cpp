#include "platform/socketlowdelay.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// Nagle's algorithm is turned off on the process's connections to the given port only.
class TestSocketLowDelay : public QObject
{
    Q_OBJECT

    // A connected client of `server`.
    static std::unique_ptr<QTcpSocket> connectTo(QTcpServer& server)
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, server.serverPort());
        socket->waitForConnected(5000);
        return socket;
    }

private slots:
    void onlyConnectionsToThePort()
    {
        QTcpServer chosen;
        QTcpServer other;
        QVERIFY(chosen.listen(QHostAddress::LocalHost));
        QVERIFY(other.listen(QHostAddress::LocalHost));
        const auto first = connectTo(chosen);
        const auto second = connectTo(chosen);
        const auto elsewhere = connectTo(other);
        QCOMPARE(elsewhere->state(), QAbstractSocket::ConnectedState);

        QCOMPARE(platformSetLowDelayToPort(chosen.serverPort()), 2);
        QCOMPARE(first->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
        QCOMPARE(second->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
        QCOMPARE(elsewhere->socketOption(QAbstractSocket::LowDelayOption).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSocketLowDelay)
#include "tst_socketlowdelay.moc"
