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
    connect(socket, &QSslSocket::readyRead, this, [this, socket] {
        QByteArray& request = m_pending[socket];
        request.append(socket->readAll());
        // A plain server answers a TLS greeting at once: it is no request it knows. Over TLS the
        // whole request, with the body it announces, is read before the answer goes out.
        if (m_tls) {
            const int end = request.indexOf("\r\n\r\n");
            const int at = request.toLower().indexOf("content-length:");
            const int length = at < 0 ? 0 : request.mid(at + 15, 12).split('\r').value(0).toInt();
            if (end < 0 || request.size() < end + 4 + length)
                return;
            ++m_requests;
        }
        socket->write(m_response);
        socket->disconnectFromHost();
    });
    connect(socket, &QSslSocket::disconnected, socket, [this, socket] {
        m_pending.remove(socket);
        socket->deleteLater();
    });
    if (m_tls) {
        socket->setLocalCertificate(m_certificate);
        socket->setPrivateKey(m_key);
        socket->startServerEncryption();
    }
}
