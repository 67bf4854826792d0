#include "net/netsessionheaders.h"
#include "net/netthreads.h"

#include "store/mtdata.h"

#include <QCoreApplication>
#include <QNetworkRequest>
#include <QThread>

namespace {
// The stored device id without the side effect of making one. A detached copy makes a random
// id when none is stored and writes nothing; two copies agree only on a stored value.
QString storedDeviceId(const MTData& session)
{
    // Copies are unattached.
    DBMTData first(session);
    DBMTData second(session);
    const QString id = first.deviceId();
    return id == second.deviceId() ? id : QString();
}
} // namespace

NetSessionHeaders NetSessionHeaders::capture()
{
    NetSessionHeaders headers;
    MTData* session = MTData::instance();
    if (!session)
        return headers;
    headers.m_userId = session->userId();
    headers.m_custId = session->custId();
    // On the GUI thread the session may make and store its device id (the first login of an
    // installation); elsewhere it must not write, as its connection belongs to the GUI thread.
    headers.m_deviceId = netOnApplicationThread() ? session->deviceId() : storedDeviceId(*session);
    headers.m_accessKey = session->accessKey();
    headers.m_clientId = session->clientId();
    return headers;
}

void NetSessionHeaders::apply(QNetworkRequest& request, const QByteArray& contentType) const
{
    request.setRawHeader("Accept-Charset", "UTF-8");
    request.setRawHeader("Connection", "Keep-alive");
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("Device-Platform", "C");
    request.setRawHeader("App-Ver", MTData::kVersion);
    request.setRawHeader("User-Id", QByteArray::number(m_userId));
    request.setRawHeader("Cust-Id", QByteArray::number(m_custId));
    if (!m_deviceId.isEmpty())
        request.setRawHeader("Device-Id", m_deviceId.toUtf8());
    if (!m_accessKey.isEmpty())
        request.setRawHeader("Access-Key", m_accessKey.toUtf8());
    if (!m_clientId.isEmpty())
        request.setRawHeader("Client-Id", m_clientId.toUtf8());
    request.setRawHeader("Content-Type", contentType);
}
