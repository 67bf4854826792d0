#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QNetworkRequest;

// The identifying headers of every REST request, taken from the session object at one moment.
// Worker tasks get a copy taken on the thread that queued them, so a session value read there
// is the value of the moment of the call and nothing on the worker touches the session.
class NetSessionHeaders
{
public:
    // Reads the newest session object; without one the ids are 0 and the keys empty.
    static NetSessionHeaders capture();

    // Sets the headers in their fixed order; the optional ones only when not empty, and
    // Content-Type last.
    void apply(QNetworkRequest& request, const QByteArray& contentType) const;

    qint64 userId() const { return m_userId; }
    qint64 custId() const { return m_custId; }
    QString deviceId() const { return m_deviceId; }
    QString accessKey() const { return m_accessKey; }
    QString clientId() const { return m_clientId; }

private:
    qint64 m_userId = 0;
    qint64 m_custId = 0;
    QString m_deviceId;
    QString m_accessKey;
    QString m_clientId;
};
