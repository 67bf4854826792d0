#include "net/nettls.h"

#include <QDebug>
#include <QFileInfo>
#include <QSslCertificate>

QSslConfiguration NetTls::configuration(const QString& extraCaFile)
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (extraCaFile.isEmpty())
        return config;
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(
        extraCaFile, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
    if (certificates.isEmpty()) {
        qWarning().noquote().nospace()
            << "NetTls::configuration - no certificate in CaFile:" << extraCaFile
            << (QFileInfo::exists(extraCaFile) ? "" : " (missing)");
        return config;
    }
    config.addCaCertificates(certificates);
    qDebug().noquote().nospace() << "NetTls::configuration - extra CA certificates:"
                                 << certificates.size() << " from:" << extraCaFile;
    return config;
}
