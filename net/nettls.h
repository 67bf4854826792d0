#pragma once

#include <QSslConfiguration>
#include <QString>

// The TLS settings every request carries: the platform's default configuration, the peer always
// verified, plus the organisation's own CA from the configuration when one is named. Errors are
// never ignored: a certificate nobody trusts fails the request.
class NetTls
{
public:
    static QSslConfiguration configuration(const QString& extraCaFile);
};
