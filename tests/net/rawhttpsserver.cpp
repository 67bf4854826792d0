#include "rawhttpsserver.h"

#include <QFile>
#include <QSslSocket>

namespace {
QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

RawHttpsServer::RawHttpsServer(const QByteArray& response) : m_response(response) {}

RawHttpsServer::RawHttpsServer(const QByteArray& response, const QString& certFile,
                               const QString& keyFile)
    : m_response(response), m_certificate(readFile(certFile), QSsl::Pem),
      m_key(readFile(keyFile), QSsl::Ec, QSsl::Pem), m_tls(true)
{}

bool RawHttpsServer::listenOnLoopback()
{
    return listen(QHostAddress::LocalHost, 0) &&
           (!m_tls || (!m_certificate.isNull() && !m_key.isNull()));
}

void RawHttpsServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    auto* request = new QByteArray;
    connect(socket, &QObject::destroyed, socket, [request] { delete request; });
    connect(socket, &QSslSocket::readyRead, this, [this, socket, request] {
        request->append(socket->readAll());
        if (!m_tls) {
            // What a plain HTTP server does with a TLS greeting: it is no request it knows.
            socket->write(m_response);
            socket->disconnectFromHost();
            return;
        }
        const int end = request->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        // Whatever body was announced is read before the answer goes out.
        const int lengthAt = request->toLower().indexOf("content-length:");
        const int length =
            lengthAt < 0 ? 0
                         : request->mid(lengthAt + 15, 12).trimmed().split('\r').value(0).toInt();
        if (request->size() < end + 4 + length)
            return;
        ++m_requests;
        socket->write(m_response);
        socket->disconnectFromHost();
    });
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    if (m_tls) {
        socket->setLocalCertificate(m_certificate);
        socket->setPrivateKey(m_key);
        socket->setPeerVerifyMode(QSslSocket::VerifyNone);
        socket->startServerEncryption();
    }
}
