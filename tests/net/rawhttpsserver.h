#pragma once

#include <QByteArray>
#include <QHash>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>

// A loopback server that answers every request with fixed bytes, for the answers the reference
// server never gives: an error body that is not JSON, or plain HTTP where TLS is expected. With
// a certificate it speaks TLS with it (the reference server's own, so the client trusts it).
class RawHttpsServer : public QTcpServer
{
    Q_OBJECT
public:
    // Plain TCP: answers whatever arrives first with the response, then closes.
    explicit RawHttpsServer(const QByteArray& response);
    // TLS with the certificate and EC key in PEM files.
    RawHttpsServer(const QByteArray& response, const QString& certFile, const QString& keyFile);

    bool listenOnLoopback();
    int requestCount() const { return m_requests; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QByteArray m_response;
    QHash<QObject*, QByteArray> m_pending; // what each connection has sent so far
    QSslCertificate m_certificate;
    QSslKey m_key;
    bool m_tls = false;
    int m_requests = 0;
};
